// Row changes inside a PostgreSQL transaction, sent with the move of the
// statement savepoint in one round trip: the statement, then RELEASE and
// SAVEPOINT, in one pipeline. The statement runs exactly as the QPSQL driver
// runs a prepared statement (EXECUTE with the values as the driver writes
// them), so what is stored does not change; only the waiting does.
#include "component/Database.h"
#include "component/LibPq.h"

#include <QDateTime>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlQuery>
#include <QSqlRecord>
#include <optional>

namespace hx {

namespace {
const char *const kRelease = "RELEASE SAVEPOINT hx_statement";
const char *const kSavepoint = "SAVEPOINT hx_statement";

// The error as the driver reports it, so that messages read the same.
QSqlError errorOf(PGconn *conn, const PGresult *res) {
    const LibPq &pq = libpq();
    QString msg = QString::fromUtf8(res ? pq.PQresultErrorMessage(res) : pq.PQerrorMessage(conn));
    QString code;
    if (res) {
        const char *state = pq.PQresultErrorField(res, PG_DIAG_SQLSTATE);
        code = QString::fromLatin1(state ? state : "");
        if (state) msg += QStringLiteral("(%1)").arg(code);
    }
    return QSqlError(QStringLiteral("QPSQL: Unable to create query"), msg, QSqlError::StatementError, code);
}
} // namespace

PGconn *Database::pgConnection() const {
    const QSqlDatabase c = handle();
    const QVariant v = c.driver() ? c.driver()->handle() : QVariant();
    if (!v.isValid() || (qstrcmp(v.typeName(), "PGconn*") != 0 && qstrcmp(v.typeName(), "pg_conn*") != 0))
        return nullptr;
    return *static_cast<PGconn *const *>(v.constData());
}

const Database::Prepared &Database::pgPrepared(PGconn *conn, const QString &sql, bool guarded) {
    const LibPq &pq = libpq();
    // Prepared once per text on the server, as the driver would.
    auto named = m_pgWrites.find(sql);
    if (named != m_pgWrites.end()) return named->second;
    requireSingleStatement(sql);
    if (guarded) guardStatement();
    const QString name = QStringLiteral("hxw_%1").arg(m_pgWrites.size() + 1);
    const QByteArray prepare =
        (QStringLiteral("PREPARE ") + name + QStringLiteral(" AS ") + dollarPlaceholders(sql)).toUtf8();
    PGresult *res = pq.PQexec(conn, prepare.constData());
    const bool ok = res && pq.PQresultStatus(res) == PGRES_COMMAND_OK;
    const QSqlError e = ok ? QSqlError() : errorOf(conn, res);
    pq.PQclear(res);
    if (!ok) {
        if (guarded && !isFatal(e)) undoStatement();
        fail(e, sql);
    }
    return m_pgWrites.emplace(sql, Prepared{name, statementPlaceholders(sql)}).first->second;
}

QByteArray Database::pgExecuteText(const Prepared &p, const QVariantList &params) const {
    QString text = QStringLiteral("EXECUTE ") + p.name;
    if (!params.isEmpty()) {
        const QSqlDriver *driver = handle().driver();
        text += QStringLiteral(" (");
        QSqlField f;
        for (int i = 0; i < params.size(); ++i) {
            const QVariant &v = params[i];
            f.setMetaType(v.metaType());
            if (boundAsNull(v))
                f.clear();
            else
                f.setValue(v);
            if (i > 0) text += QStringLiteral(", ");
            text += driver->formatValue(f);
        }
        text += QLatin1Char(')');
    }
    return text.toUtf8();
}

namespace {
// The driver reads a forward-only query a row at a time and may leave the
// end of one unread; a pipeline needs the connection idle.
void drainDriver(PGconn *conn) {
    const LibPq &pq = libpq();
    while (pq.PQtransactionStatus(conn) == PQTRANS_ACTIVE) {
        PGresult *rest = pq.PQgetResult(conn);
        if (!rest) break;
        pq.PQclear(rest);
    }
}
} // namespace

int Database::executePipelined(PGconn *conn, const QString &sql, const QVariantList &params) {
    const LibPq &pq = libpq();
    const Prepared &named = pgPrepared(conn, sql, true);
    beforeStatement(sql, named.placeholders, params);
    const QByteArray statement = pgExecuteText(named, params);

    // A statement savepoint must stand before the statement; one is made in
    // the same round trip when none does.
    const bool open = m_statementSavepoint && !m_statementSavepointStale;
    drainDriver(conn);
    const bool entered = pq.PQenterPipelineMode(conn) == 1;
    bool sent = entered;
    if (sent && !m_statementSavepoint)
        sent = pq.PQsendQueryParams(conn, kSavepoint, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    else if (sent && !open)
        sent = pq.PQsendQueryParams(conn, kRelease, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
               pq.PQsendQueryParams(conn, kSavepoint, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
    sent = sent &&
           pq.PQsendQueryParams(conn, statement.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
           pq.PQsendQueryParams(conn, kRelease, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
           pq.PQsendQueryParams(conn, kSavepoint, 0, nullptr, nullptr, nullptr, nullptr, 0) == 1 &&
           pq.PQpipelineSync(conn) == 1;
    const int before = !m_statementSavepoint ? 1 : !open ? 2 : 0;
    const int commands = before + 3;

    // Every result up to the sync is read, whatever happened, so that the
    // connection is idle again for the driver.
    int affected = 0;
    std::optional<QSqlError> failure;
    bool statementFailed = false;
    bool synced = false;
    if (sent) {
        for (int command = 0; command <= commands && !synced;) {
            PGresult *res = pq.PQgetResult(conn);
            if (!res) {
                // The end of one command's results.
                ++command;
                if (pq.PQstatus(conn) != CONNECTION_OK) break;
                continue;
            }
            const ExecStatusType status = pq.PQresultStatus(res);
            if (status == PGRES_PIPELINE_SYNC) {
                synced = true;
            } else if (status == PGRES_FATAL_ERROR && !failure) {
                failure = errorOf(conn, res);
                statementFailed = command == before;
            } else if (status == PGRES_COMMAND_OK && command == before) {
                affected = QByteArray(pq.PQcmdTuples(res)).toInt();
            }
            pq.PQclear(res);
        }
    }
    if (entered && pq.PQexitPipelineMode(conn) != 1) {
        // Results still pending mean the connection cannot be trusted.
        if (!failure) failure = errorOf(conn, nullptr);
        synced = false;
    }
    if (!sent || !synced) {
        QSqlError e = failure ? *failure : errorOf(conn, nullptr);
        // Without its results the session's state is unknown: that is fatal.
        fail(QSqlError(e.driverText(), e.databaseText(), e.type(), QString()), sql);
    }
    if (failure) {
        if (statementFailed && !isFatal(*failure)) {
            // The savepoint before the statement still stands: back to it.
            m_statementSavepoint = true;
            m_statementSavepointStale = false;
            undoStatement();
            fail(*failure, sql);
        }
        // A savepoint command failed: nothing short of the rollback helps.
        fail(QSqlError(failure->driverText(), failure->databaseText(), failure->type(), QString()), sql);
    }
    m_statementSavepoint = true;
    m_statementSavepointStale = false;
    return affected;
}

void Database::pgSendBatch(PGconn *conn, std::vector<Queued> &queue) {
    const LibPq &pq = libpq();
    // Statements new to the session are prepared first, each on its own.
    for (const Queued &q : queue)
        pgPrepared(conn, q.sql, false);
    drainDriver(conn);
    std::optional<QSqlError> failure;
    QString failedSql;
    bool lost = false;
    // A few hundred a round trip keeps what the server sends back well
    // within the socket's buffers while nothing reads it.
    constexpr size_t kPerSync = 500;
    for (size_t from = 0; from < queue.size() && !failure && !lost; from += kPerSync) {
        const size_t to = std::min(queue.size(), from + kPerSync);
        bool sent = pq.PQenterPipelineMode(conn) == 1;
        for (size_t i = from; i < to && sent; ++i) {
            const Prepared &p = m_pgWrites.find(queue[i].sql)->second;
            beforeStatement(queue[i].sql, p.placeholders, queue[i].params);
            const QByteArray text = pgExecuteText(p, queue[i].params);
            sent =
                pq.PQsendQueryParams(conn, text.constData(), 0, nullptr, nullptr, nullptr, nullptr, 0) == 1;
        }
        sent = sent && pq.PQpipelineSync(conn) == 1;
        bool synced = false;
        if (sent) {
            // Every result up to the sync is read, whatever happened.
            size_t command = from;
            while (!synced) {
                PGresult *res = pq.PQgetResult(conn);
                if (!res) {
                    ++command;
                    if (pq.PQstatus(conn) != CONNECTION_OK) break;
                    continue;
                }
                const ExecStatusType status = pq.PQresultStatus(res);
                if (status == PGRES_PIPELINE_SYNC) {
                    synced = true;
                } else if (status == PGRES_FATAL_ERROR && !failure) {
                    failure = errorOf(conn, res);
                    failedSql = command < to ? queue[command].sql : QString();
                }
                pq.PQclear(res);
            }
        }
        if (pq.PQexitPipelineMode(conn) != 1) synced = false;
        if (!sent || !synced) lost = true;
    }
    queue.clear();
    if (lost) {
        const QSqlError e = failure ? *failure : errorOf(conn, nullptr);
        // Without its results the session's state is unknown: that is fatal.
        fail(QSqlError(e.driverText(), e.databaseText(), e.type(), QString()), failedSql);
    }
    // The statement savepoint, where one stands, is behind these changes.
    if (m_statementSavepoint) m_statementSavepointStale = true;
    if (failure) fail(*failure, failedSql);
}

void WriteBatch::add(const QString &sql, QVariantList params) {
    Database &db = m_db;
    if (db.m_pgconn && db.m_txDepth > 0) {
        db.requireOpen();
        if (db.m_broken) throw FatalDatabaseError(db.m_brokenReason, ErrNo::Database);
        m_queue.push_back({sql, std::move(params)});
        if (m_queue.size() >= 2000) send();
        return;
    }
    db.execute(sql, params);
}

void WriteBatch::send() {
    if (m_queue.empty()) return;
    m_db.requireOpen();
    m_db.pgSendBatch(m_db.m_pgconn, m_queue);
}

// ---------------------------------------------------------------- cursors

namespace {
// A value as the driver writes it into the EXECUTE of a prepared statement,
// without the quotes of its literal: the text the server reads for it is the
// same, sent apart from the statement as a parameter.
QByteArray parameterText(PGconn *conn, const QSqlDriver *driver, const QVariant &v) {
    QSqlField f;
    f.setMetaType(v.metaType());
    f.setValue(v);
    const QString literal = driver->formatValue(f);
    // A literal may carry its type before the quote (TIMESTAMP WITH TIME ZONE '...').
    const qsizetype open = literal.indexOf(QLatin1Char('\''));
    if (open < 0 || literal.size() - open < 2 || !literal.endsWith(QLatin1Char('\''))) return literal.toUtf8();
    QString inner = literal.mid(open + 1, literal.size() - open - 2);
    inner.replace(QLatin1String("''"), QLatin1String("'"));
    const char *standard = libpq().PQparameterStatus(conn, "standard_conforming_strings");
    if (standard && qstrcmp(standard, "off") == 0) inner.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    return inner.toUtf8();
}
} // namespace

// Rows of a server-side cursor, fetched a batch at a time. The cursor sees
// the rows as they stood when it was declared, as a snapshot would; between
// batches the connection is free for other statements.
class PgCursor final : public RowSource {
public:
    PgCursor(Database &db, QString name, QString sql)
        : m_db(db), m_name(std::move(name)), m_sql(std::move(sql)), m_tx(db.m_txSerial) {}
    ~PgCursor() override { abandon(); }

    bool fetch(std::vector<QVariant> &row) override {
        if (m_at == m_rows) {
            if (m_ended) return false;
            refill();
            if (m_rows == 0) return false;
        }
        const auto from = m_buffer.begin() + qsizetype(m_at * m_columnCount);
        row.assign(std::make_move_iterator(from), std::make_move_iterator(from + qsizetype(m_columnCount)));
        ++m_at;
        return true;
    }

    // Reads the next batch; closes the cursor after the last.
    void refill() {
        Database &db = m_db;
        if (db.m_broken) throw FatalDatabaseError(db.m_brokenReason, ErrNo::Database);
        if (db.m_txDepth == 0 || db.m_txSerial != m_tx)
            throw HxError(QStringLiteral("The transaction of the walk has ended [%1]").arg(m_sql.simplified()),
                          ErrNo::Database);
        m_buffer.clear();
        m_at = m_rows = 0;
        db.guardStatement();
        QSqlQuery q(db.handle());
        q.setForwardOnly(true);
        if (!q.exec(QStringLiteral("FETCH %1 FROM %2").arg(kBatch).arg(m_name))) {
            const QSqlError e = q.lastError();
            if (!db.isFatal(e)) db.undoStatement();
            m_ended = true;
            db.fail(e, m_sql);
        }
        const QSqlRecord rec = q.record();
        m_columnCount = size_t(rec.count());
        if (!m_columns) {
            QStringList names;
            for (int i = 0; i < rec.count(); ++i)
                names << rec.fieldName(i);
            m_columns = std::make_shared<const RecordColumns>(std::move(names));
        }
        while (q.next()) {
            for (int i = 0; i < rec.count(); ++i)
                m_buffer.push_back(q.value(i));
            ++m_rows;
        }
        if (q.lastError().isValid()) {
            m_ended = true;
            db.fail(q.lastError(), m_sql);
        }
        q.finish();
        if (m_rows < kBatch) {
            m_ended = true;
            db.plain(QStringLiteral("CLOSE ") + m_name);
            m_closed = true;
        }
    }

    const std::shared_ptr<const RecordColumns> &columns() const { return m_columns; }

private:
    // A walk left before its end: the cursor goes now if it still stands (a
    // rolled-back savepoint may have closed it). Nothing is sent into a
    // failed or ended transaction, which closes it anyway.
    void abandon() noexcept {
        const LibPq &pq = libpq();
        if (m_closed) return;
        Database &db = m_db;
        PGconn *conn = db.m_pgconn;
        if (!conn || db.m_broken || db.m_txDepth == 0 || db.m_txSerial != m_tx) return;
        drainDriver(conn);
        if (pq.PQtransactionStatus(conn) != PQTRANS_INTRANS) return;
        const QByteArray name = m_name.toUtf8();
        const char *values[] = {name.constData()};
        PGresult *res = pq.PQexecParams(conn, "SELECT 1 FROM pg_cursors WHERE name = $1", 1, nullptr, values,
                                        nullptr, nullptr, 0);
        const bool open = pq.PQresultStatus(res) == PGRES_TUPLES_OK && pq.PQntuples(res) > 0;
        pq.PQclear(res);
        if (open) pq.PQclear(pq.PQexec(conn, ("CLOSE " + name).constData()));
    }

    static constexpr size_t kBatch = 1000;
    Database &m_db;
    const QString m_name, m_sql;
    const quint64 m_tx;
    std::shared_ptr<const RecordColumns> m_columns;
    std::vector<QVariant> m_buffer;
    size_t m_columnCount = 0, m_rows = 0, m_at = 0;
    bool m_ended = false, m_closed = false;
};

Recordset Database::pgOpenCursor(PGconn *conn, const QString &sql, const QVariantList &params) {
    const LibPq &pq = libpq();
    requireSingleStatement(sql);
    const int placeholders = statementPlaceholders(sql);
    beforeStatement(sql, placeholders, params);
    const QSqlDriver *driver = handle().driver();
    std::vector<QByteArray> texts(size_t(params.size()));
    std::vector<const char *> values(size_t(params.size()), nullptr);
    for (qsizetype i = 0; i < params.size(); ++i)
        if (!boundAsNull(params[i])) {
            texts[size_t(i)] = parameterText(conn, driver, params[i]);
            values[size_t(i)] = texts[size_t(i)].constData();
        }
    const QString name = QStringLiteral("hx_cursor_%1").arg(++m_cursorSerial);
    const QByteArray declare =
        (QStringLiteral("DECLARE ") + name + QStringLiteral(" NO SCROLL CURSOR FOR ") + dollarPlaceholders(sql))
            .toUtf8();
    guardStatement();
    drainDriver(conn);
    PGresult *res = pq.PQexecParams(conn, declare.constData(), int(values.size()), nullptr, values.data(),
                                    nullptr, nullptr, 0);
    const bool ok = res && pq.PQresultStatus(res) == PGRES_COMMAND_OK;
    const QSqlError e = ok ? QSqlError() : errorOf(conn, res);
    pq.PQclear(res);
    if (!ok) {
        if (!isFatal(e)) undoStatement();
        fail(e, sql);
    }
    // The cursor stands after the statement savepoint: a later statement's
    // undo must not reach back past it.
    m_statementSavepointStale = true;

    auto source = std::make_unique<PgCursor>(*this, name, sql);
    source->refill();
    Recordset rs;
    rs.m_columns = source->columns();
    rs.m_source = std::move(source);
    rs.m_open = true;
    rs.m_pos = 0;
    rs.fetchStreamRow();
    return rs;
}

} // namespace hx
