#include "component/SqliteStatements.h"

#include <QDateTime>
#include <QSqlDriver>
#include <sqlite3.h>

namespace hx {

struct SqliteStatements::Statement {
    sqlite3_stmt *stmt = nullptr;
    std::shared_ptr<const RecordColumns> columns;
    int placeholders = 0;
    bool inUse = false; // held by an open cursor
    // The texts bound, kept until the statement is reset.
    BoundTexts texts;
    ~Statement() { sqlite3_finalize(stmt); }
};

// The rows of a statement read as the walk goes. The statement stays in use
// until the last row or the recordset's end.
class SqliteStatements::Cursor : public RowSource {
public:
    Cursor(SqliteStatements &owner, Statement &st, QString sql)
        : m_owner(owner), m_st(st), m_sql(std::move(sql)) {
        m_st.inUse = true;
    }
    ~Cursor() override { end(); }
    bool fetch(std::vector<QVariant> &row) override {
        if (m_done) return false;
        bool more = false;
        try {
            more = m_owner.step(m_st, m_sql);
        } catch (...) {
            end();
            throw;
        }
        if (!more) {
            end();
            return false;
        }
        m_owner.readRow(m_st, row);
        return true;
    }

private:
    void end() {
        if (m_done) return;
        m_done = true;
        m_owner.finish(m_st);
        m_st.inUse = false;
    }
    SqliteStatements &m_owner;
    Statement &m_st;
    QString m_sql;
    bool m_done = false;
};

SqliteStatements::SqliteStatements(Database &owner, sqlite3 *handle) : m_owner(owner), m_db(handle) {}

SqliteStatements::~SqliteStatements() {
    clear();
}

sqlite3 *SqliteStatements::handleOf(const QSqlDatabase &connection) {
    const QVariant v = connection.driver() ? connection.driver()->handle() : QVariant();
    if (!v.isValid() || qstrcmp(v.typeName(), "sqlite3*") != 0) return nullptr;
    return *static_cast<sqlite3 *const *>(v.constData());
}

void SqliteStatements::clear() {
    m_byData.clear();
    m_statements.clear();
}

void SqliteStatements::fail(int code, const QString &what, const QString &sql, QSqlError::ErrorType type) {
    // The driver's own wording: the engine's message, then what failed.
    const QSqlError e(what, QString::fromUtf8(sqlite3_errmsg(m_db)), type, QString::number(code));
    m_owner.fail(e, sql);
}

namespace {
constexpr size_t kByDataLimit = 256;
} // namespace

SqliteStatements::Statement &SqliteStatements::acquire(const QString &sql) {
    if (m_owner.m_broken) throw FatalDatabaseError(m_owner.m_brokenReason, ErrNo::Database);
    StatementList *found = nullptr;
    if (auto it = m_byData.find(sql.constData());
        it != m_byData.end() && it->second.text.size() == sql.size())
        found = it->second.list;
    if (!found) {
        found = &m_statements[sql];
        // Texts built for one call are never met there again: they are let go
        // of now and then rather than kept.
        if (m_byData.size() >= kByDataLimit) m_byData.clear();
        m_byData[sql.constData()] = {sql, found};
    }
    StatementList &list = *found;
    for (auto &st : list)
        if (!st->inUse) return *st;
    auto st = std::make_unique<Statement>();
    const QByteArray text = sql.toUtf8();
    const char *tail = nullptr;
    const int rc = sqlite3_prepare_v3(m_db, text.constData(), int(text.size()), SQLITE_PREPARE_PERSISTENT,
                                      &st->stmt, &tail);
    if (rc != SQLITE_OK || !st->stmt) {
        if (rc == SQLITE_OK)
            throw HxError(QStringLiteral("The statement is empty [%1]").arg(sql), ErrNo::Database);
        fail(rc, QStringLiteral("Unable to execute statement"), sql);
    }
    // One statement a text, as the driver takes it: a second one would be
    // dropped without a word.
    if (tail && !QByteArray(tail).trimmed().isEmpty())
        throw HxError(
            QStringLiteral("Unable to execute multiple statements at a time [%1]").arg(sql.simplified()),
            ErrNo::Database);
    st->placeholders = sqlite3_bind_parameter_count(st->stmt);
    const int n = sqlite3_column_count(st->stmt);
    QStringList names;
    names.reserve(n);
    for (int i = 0; i < n; ++i)
        names << QString::fromUtf8(sqlite3_column_name(st->stmt, i));
    // Every copy of the same text reads the same columns.
    st->columns =
        list.empty() ? std::make_shared<const RecordColumns>(std::move(names)) : list.front()->columns;
    list.push_back(std::move(st));
    return *list.back();
}

namespace {
// The database holds UTF-8: a text goes in that form, so that the engine
// neither copies nor converts it. A text that is not valid UTF-16 goes as
// it is, for the engine to convert as it always has.
int bindText(SqliteStatements::BoundTexts &keep, sqlite3_stmt *st, int i, const QString &s) {
    // Most values are plain ASCII (dates, times, names): narrowed into the
    // statement's buffer, which was made large enough for all its values.
    const char16_t *from = reinterpret_cast<const char16_t *>(s.constData());
    const qsizetype n = s.size();
    if (keep.ascii.capacity() - keep.ascii.size() >= size_t(n)) {
        const size_t at = keep.ascii.size();
        qsizetype k = 0;
        for (; k < n && from[k] < 0x80; ++k)
            keep.ascii.push_back(char(from[k]));
        if (k == n) return sqlite3_bind_text(st, i, keep.ascii.data() + at, int(n), SQLITE_STATIC);
        keep.ascii.resize(at);
    }
    if (!s.isValidUtf16())
        return sqlite3_bind_text16(st, i, s.utf16(), int(s.size() * sizeof(QChar)), SQLITE_TRANSIENT);
    keep.utf8.push_back(s.toUtf8());
    const QByteArray &b = keep.utf8.back();
    return sqlite3_bind_text(st, i, b.constData(), int(b.size()), SQLITE_STATIC);
}
} // namespace

void SqliteStatements::bindAll(Statement &st, const QString &sql, const QVariantList &params) {
    m_owner.beforeStatement(sql, st.placeholders, params);
    st.texts.utf8.clear();
    st.texts.ascii.clear();
    // Room for every text value as ASCII, so that the buffer never moves
    // while the values bound point into it.
    size_t chars = 0;
    for (const QVariant &v : params)
        if (v.typeId() == QMetaType::QString)
            chars += size_t(static_cast<const QString *>(v.constData())->size());
    st.texts.ascii.reserve(chars);
    for (int i = 0; i < params.size(); ++i) {
        const QVariant &v = params[i];
        const int at = i + 1;
        int rc = SQLITE_OK;
        const int type = v.typeId();
        if (type == QMetaType::Int && !v.isNull()) {
            rc = sqlite3_bind_int(st.stmt, at, *static_cast<const int *>(v.constData()));
        } else if (boundAsNull(v)) {
            rc = sqlite3_bind_null(st.stmt, at);
        } else {
            switch (type) {
            case QMetaType::QByteArray: {
                const QByteArray *b = static_cast<const QByteArray *>(v.constData());
                rc = sqlite3_bind_blob(st.stmt, at, b->constData(), int(b->size()), SQLITE_TRANSIENT);
                break;
            }
            case QMetaType::Int:
            case QMetaType::Bool:
                rc = sqlite3_bind_int(st.stmt, at, v.toInt());
                break;
            case QMetaType::Double:
                rc = sqlite3_bind_double(st.stmt, at, v.toDouble());
                break;
            case QMetaType::UInt:
            case QMetaType::LongLong:
                rc = sqlite3_bind_int64(st.stmt, at, v.toLongLong());
                break;
            case QMetaType::QDateTime:
                rc = bindText(st.texts, st.stmt, at, v.toDateTime().toString(Qt::ISODateWithMs));
                break;
            case QMetaType::QTime:
                rc = bindText(st.texts, st.stmt, at, v.toTime().toString(u"hh:mm:ss.zzz"));
                break;
            case QMetaType::QString:
                rc = bindText(st.texts, st.stmt, at, *static_cast<const QString *>(v.constData()));
                break;
            default:
                // Every other type goes as its text, as the driver sends it.
                rc = bindText(st.texts, st.stmt, at, v.toString());
                break;
            }
        }
        if (rc != SQLITE_OK) {
            sqlite3_clear_bindings(st.stmt);
            fail(rc, QStringLiteral("Unable to bind parameters"), sql);
        }
    }
}

bool SqliteStatements::step(Statement &st, const QString &sql) {
    const int rc = sqlite3_step(st.stmt);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    const int code = sqlite3_reset(st.stmt);
    sqlite3_clear_bindings(st.stmt);
    fail(code != SQLITE_OK ? code : rc, QStringLiteral("Unable to fetch row"), sql,
         QSqlError::ConnectionError);
}

void SqliteStatements::readRow(Statement &st, std::vector<QVariant> &row) const {
    const int n = int(st.columns->names.size());
    for (int i = 0; i < n; ++i) {
        switch (sqlite3_column_type(st.stmt, i)) {
        case SQLITE_INTEGER:
            row.emplace_back(qlonglong(sqlite3_column_int64(st.stmt, i)));
            break;
        case SQLITE_FLOAT:
            row.emplace_back(sqlite3_column_double(st.stmt, i));
            break;
        case SQLITE_NULL:
            row.emplace_back(QMetaType::fromType<QString>());
            break;
        case SQLITE_BLOB: {
            const char *p = static_cast<const char *>(sqlite3_column_blob(st.stmt, i));
            row.emplace_back(QByteArray(p, sqlite3_column_bytes(st.stmt, i)));
            break;
        }
        default: {
            const char *p = reinterpret_cast<const char *>(sqlite3_column_text(st.stmt, i));
            row.emplace_back(QString::fromUtf8(p, sqlite3_column_bytes(st.stmt, i)));
            break;
        }
        }
    }
}

void SqliteStatements::finish(Statement &st) {
    sqlite3_reset(st.stmt);
    sqlite3_clear_bindings(st.stmt);
    st.texts.utf8.clear();
    st.texts.ascii.clear();
}

int SqliteStatements::execute(const QString &sql, const QVariantList &params) {
    Statement &st = acquire(sql);
    bindAll(st, sql, params);
    while (step(st, sql)) {
    }
    finish(st);
    return sqlite3_changes(m_db);
}

Recordset SqliteStatements::openRecordset(const QString &sql, const QVariantList &params) {
    Statement &st = acquire(sql);
    bindAll(st, sql, params);
    Recordset rs;
    rs.m_columns = st.columns;
    while (step(st, sql))
        readRow(st, rs.m_values);
    finish(st);
    rs.m_open = true;
    rs.m_pos = 0;
    return rs;
}

Recordset SqliteStatements::openCursor(const QString &sql, const QVariantList &params) {
    Statement &st = acquire(sql);
    bindAll(st, sql, params);
    Recordset rs;
    rs.m_columns = st.columns;
    rs.m_source = std::make_unique<Cursor>(*this, st, sql);
    rs.m_open = true;
    rs.m_pos = 0;
    rs.fetchStreamRow();
    return rs;
}

std::optional<QVariant> SqliteStatements::firstValue(const QString &sql, const QVariantList &params) {
    Statement &st = acquire(sql);
    bindAll(st, sql, params);
    std::optional<QVariant> v;
    if (step(st, sql)) {
        std::vector<QVariant> row;
        readRow(st, row);
        if (!row.empty()) v = std::move(row.front());
    }
    finish(st);
    return v;
}

void SqliteStatements::plain(const QString &sql) {
    char *message = nullptr;
    const int rc = sqlite3_exec(m_db, sql.toUtf8().constData(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (rc != SQLITE_OK) fail(rc, QStringLiteral("Unable to execute statement"), sql);
}

} // namespace hx
