#include "component/Database.h"

#include "component/CrashHook.h"
#include "component/DateTime.h"
#include "component/SqliteStatements.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <QUrlQuery>
#include <sqlite3.h>

namespace hx {
namespace {
QAtomicInt g_connectionCounter;

QString errorText(const QSqlError &e, const QString &sql) {
    QString text = e.text().trimmed();
    if (text.isEmpty()) text = QStringLiteral("Database error");
    if (!sql.isEmpty()) text += QStringLiteral(" [") + sql.simplified() + QLatin1Char(']');
    return text;
}

HxError sqlError(const QSqlError &e, const QString &sql) {
    return HxError(errorText(e, sql), ErrNo::Database);
}

const QString kStatementSavepoint = QStringLiteral("hx_statement");

// The places of the "?" and ";" of a statement outside quoted text, quoted
// names and comments.
template <typename Visit> void forEachPlaceholder(const QString &sql, Visit visit) {
    for (qsizetype i = 0; i < sql.size(); ++i) {
        const QChar c = sql[i];
        if (c == QLatin1Char('\'') || c == QLatin1Char('"')) {
            // A doubled quote inside stays inside.
            for (++i; i < sql.size(); ++i) {
                if (sql[i] != c) continue;
                if (i + 1 < sql.size() && sql[i + 1] == c)
                    ++i;
                else
                    break;
            }
        } else if (c == QLatin1Char('-') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('-')) {
            while (i < sql.size() && sql[i] != QLatin1Char('\n'))
                ++i;
        } else if (c == QLatin1Char('/') && i + 1 < sql.size() && sql[i + 1] == QLatin1Char('*')) {
            const qsizetype end = sql.indexOf(QLatin1String("*/"), i + 2);
            i = end < 0 ? sql.size() : end + 1;
        } else if (c == QLatin1Char('?') || c == QLatin1Char(';')) {
            visit(i, c);
        }
    }
}

int countPlaceholders(const QString &sql) {
    int n = 0;
    forEachPlaceholder(sql, [&](qsizetype, QChar c) { n += c == QLatin1Char('?') ? 1 : 0; });
    return n;
}

// Statements are prepared one to a text; a server would run a second one at
// once, at the prepare, and the embedded engine would drop it unseen.
void requireOneStatement(const QString &sql) {
    qsizetype end = -1;
    forEachPlaceholder(sql, [&](qsizetype at, QChar c) {
        if (c == QLatin1Char(';') && end < 0) end = at;
    });
    if (end >= 0 && !QStringView(sql).mid(end + 1).trimmed().isEmpty())
        throw HxError(
            QStringLiteral("Unable to execute multiple statements at a time [%1]").arg(sql.simplified()),
            ErrNo::Database);
}
} // namespace

int statementPlaceholders(const QString &sql) {
    return countPlaceholders(sql);
}

void requireSingleStatement(const QString &sql) {
    requireOneStatement(sql);
}

QString dollarPlaceholders(const QString &sql) {
    QString out;
    out.reserve(sql.size() + 16);
    qsizetype from = 0;
    int n = 0;
    forEachPlaceholder(sql, [&](qsizetype at, QChar c) {
        if (c != QLatin1Char('?')) return;
        out += QStringView(sql).mid(from, at - from);
        out += QLatin1Char('$') + QString::number(++n);
        from = at + 1;
    });
    out += QStringView(sql).mid(from);
    return out;
}

bool boundAsNull(const QVariant &v) {
    if (v.isNull()) return true;
    switch (v.typeId()) {
    case QMetaType::QString:
        return static_cast<const QString *>(v.constData())->isNull();
    case QMetaType::QByteArray:
        return static_cast<const QByteArray *>(v.constData())->isNull();
    case QMetaType::QDate:
        return !static_cast<const QDate *>(v.constData())->isValid();
    case QMetaType::QTime:
        return !static_cast<const QTime *>(v.constData())->isValid();
    case QMetaType::QDateTime:
        return !static_cast<const QDateTime *>(v.constData())->isValid();
    default:
        return false;
    }
}

// ---------------------------------------------------------------- ConnectionSpec

ConnectionSpec ConnectionSpec::forSqliteFile(const QString &path) {
    ConnectionSpec s;
    s.engine = Engine::SQLite;
    s.sqliteFile = path;
    return s;
}

std::optional<ConnectionSpec> ConnectionSpec::parse(const QString &textIn, const QString &baseDir,
                                                    QString *error) {
    auto fail = [&](const QString &why) -> std::optional<ConnectionSpec> {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString text = textIn.trimmed();
    if (text.isEmpty()) return fail(QStringLiteral("The connection string is empty."));

    auto resolve = [&](const QString &file) {
        if (QDir::isAbsolutePath(file) || baseDir.isEmpty()) return file;
        return QDir(baseDir).filePath(file);
    };
    // The driver's options are separated by ";" before libpq sees them, so a
    // value holding one cannot be passed through whole.
    auto checkPassFile = [&](const ConnectionSpec &s) -> std::optional<ConnectionSpec> {
        if (s.passFile.contains(QLatin1Char(';')))
            return fail(QStringLiteral("The pass file path cannot hold \";\": ") + s.passFile);
        return s;
    };

    if (text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
        text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive)) {
        // The URL parser calls a port out of range merely invalid; say which.
        const QString authority =
            text.mid(text.indexOf(QLatin1String("://")) + 3).section(QLatin1Char('/'), 0, 0);
        const QString hostPort = authority.section(QLatin1Char('@'), -1).section(QLatin1Char('?'), 0, 0);
        static const QRegularExpression portPattern(QStringLiteral(":([0-9]*)$"));
        const QRegularExpressionMatch portMatch = portPattern.match(hostPort);
        if (portMatch.hasMatch() && !portMatch.captured(1).isEmpty() &&
            !hostPort.endsWith(QLatin1Char(']'))) {
            bool ok = false;
            const int port = portMatch.captured(1).toInt(&ok);
            if (!ok || port < 1 || port > 65535)
                return fail(QStringLiteral("The port %1 is outside 1 to 65535.").arg(portMatch.captured(1)));
        }
        QUrl url(text);
        if (!url.isValid())
            return fail(QStringLiteral("The connection URL is not valid: ") + maskPassword(text));
        if (url.host().isEmpty())
            return fail(QStringLiteral("The connection URL names no host: ") + maskPassword(text));
        ConnectionSpec s;
        s.engine = Engine::PostgreSQL;
        s.host = url.host();
        s.port = url.port(5432);
        if (s.port < 1 || s.port > 65535)
            return fail(QStringLiteral("The port %1 is outside 1 to 65535.").arg(s.port));
        s.database = url.path(QUrl::FullyDecoded).mid(1);
        s.user = url.userName(QUrl::FullyDecoded);
        s.password = url.password(QUrl::FullyDecoded);
        QUrlQuery q(url);
        s.passFile = q.queryItemValue(QStringLiteral("passfile"), QUrl::FullyDecoded);
        if (s.database.isEmpty())
            return fail(QStringLiteral("The connection URL names no database: ") + maskPassword(text));
        return checkPassFile(s);
    }
    if (text.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
        QString file = text.mid(7);
        if (file.startsWith(QLatin1String("//"))) file = file.mid(2);
        if (file.isEmpty()) return fail(QStringLiteral("The connection string names no database file."));
        return forSqliteFile(resolve(file));
    }

    QHash<QString, QString> kv;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty()) continue;
        int eq = part.indexOf(QLatin1Char('='));
        // The part is not quoted: it may be the rest of a password.
        if (eq <= 0) return fail(QStringLiteral("The connection string holds a part without \"KEY=\"."));
        kv.insert(part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed());
    }
    const QString engine = kv.value(QStringLiteral("engine")).toLower();
    if (engine == QLatin1String("sqlite")) {
        QString file = kv.value(QStringLiteral("data source"), kv.value(QStringLiteral("file")));
        if (file.isEmpty()) return fail(QStringLiteral("The connection string names no database file."));
        return forSqliteFile(resolve(file));
    }
    if (engine == QLatin1String("postgresql") || engine == QLatin1String("postgres")) {
        ConnectionSpec s;
        s.engine = Engine::PostgreSQL;
        // No Host= means this machine over TCP; an empty one is a mistake, not
        // a wish for the local socket.
        s.host = kv.value(QStringLiteral("host"), QStringLiteral("localhost"));
        if (s.host.isEmpty()) return fail(QStringLiteral("The connection string gives an empty Host=."));
        if (kv.contains(QStringLiteral("port"))) {
            bool ok = false;
            const QString port = kv.value(QStringLiteral("port"));
            s.port = port.toInt(&ok);
            if (!ok) return fail(QStringLiteral("The port is not a number: ") + port);
            if (s.port < 1 || s.port > 65535)
                return fail(QStringLiteral("The port %1 is outside 1 to 65535.").arg(port));
        }
        s.database = kv.value(QStringLiteral("database"));
        s.user = kv.value(QStringLiteral("user"));
        s.password = kv.value(QStringLiteral("password"), kv.value(QStringLiteral("pwd")));
        s.passFile = kv.value(QStringLiteral("passfile"));
        if (s.database.isEmpty()) return fail(QStringLiteral("The connection string names no database."));
        return checkPassFile(s);
    }
    return fail(
        QStringLiteral("The connection string names no known engine (Engine=SQLite or Engine=PostgreSQL)."));
}

QString maskPassword(const QString &text) {
    // The password of a URL runs from the first ":" of the user part to the
    // last "@" before the host.
    static const QRegularExpression urlPassword(
        QStringLiteral("(\\b[a-z][a-z0-9+.-]*://[^:@/\\s]*:)[^\\s/?#]*@"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression queryPassword(QStringLiteral("([?&](?:password|pwd)=)[^&#\\s]*"),
                                                  QRegularExpression::CaseInsensitiveOption);
    // Password=VALUE up to the next ";" or line end, or a quoted value.
    static const QRegularExpression keyPassword(
        QStringLiteral(
            "((?<![\\w?&])(?:password|pwd)\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'?|\"[^\"]*\"?|[^;\\r\\n]*)"),
        QRegularExpression::CaseInsensitiveOption);
    QString s = text;
    s.replace(urlPassword, QStringLiteral("\\1***@"));
    s.replace(queryPassword, QStringLiteral("\\1***"));
    s.replace(keyPassword, QStringLiteral("\\1***"));
    return s;
}

QString quoteConnectionOption(const QString &value) {
    QString s = value;
    s.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    s.replace(QLatin1Char('\''), QLatin1String("\\'"));
    return QLatin1Char('\'') + s + QLatin1Char('\'');
}

// ---------------------------------------------------------------- Recordset

RecordColumns::RecordColumns(QStringList columnNames) : names(std::move(columnNames)) {
    lowerNames.reserve(names.size());
    for (const QString &n : names)
        lowerNames << n.toLower();
}

int RecordColumns::indexOf(QStringView name) const {
    // Callers mostly spell a column as the schema does: try that first.
    for (qsizetype i = 0; i < names.size(); ++i)
        if (names[i] == name) return int(i);
    for (qsizetype i = 0; i < names.size(); ++i)
        if (name.compare(names[i], Qt::CaseInsensitive) == 0) return int(i);
    return -1;
}

int Recordset::recordCount() const {
    if (isStreaming())
        throw HxError(QStringLiteral("The row count of a forward-only recordset is not known."),
                      ErrNo::Database);
    return rowCount();
}

const QStringList &Recordset::columns() const {
    static const QStringList none;
    return m_columns ? m_columns->names : none;
}

void Recordset::moveFirst() {
    if (isStreaming()) {
        if (m_pos != 0)
            throw HxError(QStringLiteral("A forward-only recordset cannot move back to its first row."),
                          ErrNo::Database);
        return;
    }
    m_pos = 0;
}

void Recordset::moveNext() {
    if (isStreaming()) {
        if (m_streamEnded) return;
        ++m_pos;
        fetchStreamRow();
        return;
    }
    if (m_pos < rowCount()) ++m_pos;
}

void Recordset::fetchStreamRow() {
    m_values.clear();
    bool more = false;
    try {
        more = m_source->fetch(m_values);
    } catch (...) {
        m_values.clear();
        m_source.reset();
        m_streamEnded = true;
        throw;
    }
    if (!more) {
        m_values.clear();
        m_source.reset();
        m_streamEnded = true;
    }
}

void Recordset::close() {
    m_open = false;
    m_source.reset();
    m_values.clear();
    m_values.shrink_to_fit();
    m_pos = 0;
}

QVariant Recordset::value(QStringView name) const {
    int i = fieldIndex(name);
    if (i < 0)
        throw HxError(
            QStringLiteral("Item cannot be found in the collection corresponding to the requested name "
                           "or ordinal: ") +
                name.toString(),
            ErrNo::ItemNotFound);
    return value(i);
}

QVariant Recordset::value(int column) const {
    const int n = columnCount();
    if (column < 0 || column >= n)
        throw HxError(
            QStringLiteral("Item cannot be found in the collection corresponding to the requested name "
                           "or ordinal."),
            ErrNo::ItemNotFound);
    if (eof() || m_pos < 0)
        throw HxError(QStringLiteral("Either BOF or EOF is True, or the current record has been deleted."),
                      3021);
    if (isStreaming()) return m_values[size_t(column)];
    return m_values[size_t(m_pos) * size_t(n) + size_t(column)];
}

// ---------------------------------------------------------------- Database

Database::Database() = default;

Database::~Database() {
    close();
}

std::unique_ptr<Database> Database::open(const ConnectionSpec &target) {
    std::unique_ptr<Database> db(new Database());
    db->m_engine = target.engine;
    db->m_connectionName = QStringLiteral("hxpolllog-%1").arg(g_connectionCounter.fetchAndAddRelaxed(1));
    const bool sqlite = target.engine == Engine::SQLite;
    if (!QSqlDatabase::isDriverAvailable(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL")))
        throw HxError(QStringLiteral("The Qt SQL driver %1 is not installed.")
                          .arg(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL")),
                      ErrNo::Database);
    QSqlDatabase c = QSqlDatabase::addDatabase(sqlite ? QStringLiteral("QSQLITE") : QStringLiteral("QPSQL"),
                                               db->m_connectionName);
    if (sqlite) {
        c.setDatabaseName(target.sqliteFile);
        c.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=30000"));
        db->m_description = target.sqliteFile;
    } else {
        c.setHostName(target.host);
        c.setPort(target.port);
        c.setDatabaseName(target.database);
        c.setUserName(target.user);
        c.setPassword(target.password);
        QStringList opts{QStringLiteral("connect_timeout=10")};
        // The driver pastes its options into libpq's connection text as they
        // stand: every value is quoted so that none can add a key of its own.
        if (!target.passFile.isEmpty())
            opts << QStringLiteral("passfile=") + quoteConnectionOption(target.passFile);
        c.setConnectOptions(opts.join(QLatin1Char(';')));
        db->m_description = QStringLiteral("postgresql://%1@%2:%3/%4")
                                .arg(target.user, target.host)
                                .arg(target.port)
                                .arg(target.database);
    }
    if (!c.open()) {
        HxError e(maskPassword(sqlError(c.lastError(), QString()).description()), ErrNo::Database);
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(db->m_connectionName);
        db->m_connectionName.clear();
        throw e;
    }
    if (sqlite) {
        if (sqlite3 *handle = SqliteStatements::handleOf(c))
            db->m_native = std::make_unique<SqliteStatements>(*db, handle);
        // WAL with NORMAL sync keeps a commit cheap without giving up
        // consistency after a crash. A file that is not
        // a database fails here, not at the first real statement.
        db->firstValue(QStringLiteral("PRAGMA journal_mode=WAL"));
        db->execute(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // An import is one transaction over ten MiB or more of pages: a cache of
        // that size keeps them from being spilled to the log mid-import.
        db->execute(QStringLiteral("PRAGMA cache_size=-16384"));
        db->firstValue(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } else {
        db->m_pgconn = db->pgConnection();
        // Session settings cannot be prepared; they run as plain text.
        QSqlQuery q(c);
        // A fixed session zone: nothing then depends on the server's TimeZone
        // setting, whatever the server or the database was given.
        for (const QString &setting :
             {QStringLiteral("SET datestyle TO ISO, MDY"), QStringLiteral("SET TIME ZONE 'UTC'")})
            if (!q.exec(setting)) throw sqlError(q.lastError(), q.lastQuery());
    }
    return db;
}

bool Database::isOpen() const {
    return !m_connectionName.isEmpty() && QSqlDatabase::database(m_connectionName, false).isOpen();
}

void Database::close() {
    // The statements go before the connection that runs them.
    m_native.reset();
    m_pgconn = nullptr;
    m_pgWrites.clear();
    m_pool.clear();
    m_placeholders.clear();
    m_columnsOf.clear();
    m_txDepth = 0;
    m_broken = false;
    m_statementSavepoint = false;
    if (m_connectionName.isEmpty()) return;
    {
        QSqlDatabase c = QSqlDatabase::database(m_connectionName, false);
        if (c.isOpen()) c.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
    m_connectionName.clear();
}

QSqlDatabase Database::handle() const {
    return QSqlDatabase::database(m_connectionName, false);
}

QVariant Database::date(double serial) const {
    if (m_engine == Engine::SQLite) return formatIsoDate(serial);
    return toQDate(serial);
}
QVariant Database::date(std::optional<double> serial) const {
    return serial ? date(*serial) : QVariant();
}

QVariant Database::time(double serial) const {
    if (m_engine == Engine::SQLite) return formatIsoTime(serial);
    return toQTime(serial);
}
QVariant Database::time(std::optional<double> serial) const {
    return serial ? time(*serial) : QVariant();
}

QVariant Database::dateTime(double serial) const {
    // As text on both engines: the driver sends a date-time as a zoned moment,
    // which the server moves into its session zone before storing it in a
    // column without zone. The text is read in the column's own type.
    return formatIsoDateTime(serial);
}
QVariant Database::dateTime(std::optional<double> serial) const {
    return serial ? dateTime(*serial) : QVariant();
}

QVariant Database::boolean(bool value) const {
    if (m_engine == Engine::SQLite) return value ? 1 : 0;
    return value;
}

std::unique_ptr<QSqlQuery> Database::acquire(const QString &sql) {
    auto it = m_pool.find(sql);
    if (it != m_pool.end() && !it->second.empty()) {
        auto q = std::move(it->second.back());
        it->second.pop_back();
        return q;
    }
    if (m_connectionName.isEmpty())
        throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
    if (m_broken) throw FatalDatabaseError(m_brokenReason, ErrNo::Database);
    requireOneStatement(sql);
    auto q = std::make_unique<QSqlQuery>(handle());
    q->setForwardOnly(true);
    // PostgreSQL prepares on the server: a failed prepare aborts the
    // transaction like a failed statement.
    const bool guarded = m_engine == Engine::PostgreSQL && m_txDepth > 0;
    if (guarded) guardStatement();
    if (!q->prepare(sql)) {
        const QSqlError e = q->lastError();
        if (guarded && !isFatal(e)) undoStatement();
        fail(e, sql);
    }
    if (m_placeholders.find(sql) == m_placeholders.end()) m_placeholders.emplace(sql, countPlaceholders(sql));
    return q;
}

void Database::release(const QString &sql, std::unique_ptr<QSqlQuery> q) {
    q->finish();
    auto &free = m_pool[sql];
    if (free.size() < 4) free.push_back(std::move(q));
}

void Database::beforeStatement(const QString &sql, int placeholders, const QVariantList &params) {
    if (m_broken) throw FatalDatabaseError(m_brokenReason, ErrNo::Database);
    if (m_observer) m_observer(sql);
    crashPoint();
    // A pooled statement keeps the values of its last run: a short list would
    // quietly reuse them.
    if (placeholders >= 0 && placeholders != params.size())
        throw HxError(QStringLiteral("The statement takes %1 values, not %2 [%3]")
                          .arg(placeholders)
                          .arg(params.size())
                          .arg(sql.simplified()),
                      ErrNo::Database);
}

void Database::run(QSqlQuery &q, const QString &sql, const QVariantList &params) {
    const auto count = m_placeholders.find(sql);
    beforeStatement(sql, count != m_placeholders.end() ? count->second : -1, params);
    for (int i = 0; i < params.size(); ++i)
        q.bindValue(i, params[i]);
    const bool guarded = m_engine == Engine::PostgreSQL && m_txDepth > 0;
    if (guarded) guardStatement();
    if (!q.exec()) {
        const QSqlError e = q.lastError();
        if (guarded && !isFatal(e)) undoStatement();
        fail(e, sql);
    }
    if (guarded && !q.isSelect()) m_statementSavepointStale = true;
}

void Database::guardStatement() {
    if (!m_statementSavepoint) {
        plain(QStringLiteral("SAVEPOINT ") + kStatementSavepoint);
        m_statementSavepoint = true;
        m_statementSavepointStale = false;
    } else if (m_statementSavepointStale) {
        plain(QStringLiteral("RELEASE SAVEPOINT %1; SAVEPOINT %1").arg(kStatementSavepoint));
        m_statementSavepointStale = false;
    }
}

void Database::undoStatement() {
    // Leaves the transaction as it was before the failed statement.
    plain(QStringLiteral("ROLLBACK TO SAVEPOINT ") + kStatementSavepoint);
}

bool Database::isFatal(const QSqlError &e) const {
    const QString code = e.nativeErrorCode();
    if (m_engine == Engine::SQLite) {
        bool ok = false;
        const int primary = code.toInt(&ok) & 0xff;
        if (!ok) return false;
        switch (primary) {
        case 5:  // busy past the timeout
        case 6:  // locked
        case 7:  // out of memory
        case 8:  // read-only database
        case 9:  // interrupted
        case 10: // I/O error
        case 11: // corrupt
        case 13: // disk full
        case 14: // cannot open
        case 15: // lock protocol
        case 26: // not a database
            return true;
        default:
            return false;
        }
    }
    // A statement the server refused carries its SQLSTATE; none means the
    // connection itself failed.
    if (code.isEmpty()) return true;
    static const char *const fatalClasses[] = {"08", "25", "40", "53", "57", "58", "XX"};
    for (const char *c : fatalClasses)
        if (code.startsWith(QLatin1String(c))) return true;
    return code == QLatin1String("55P03");
}

void Database::fail(const QSqlError &e, const QString &sql) {
    const QString text = errorText(e, sql);
    if (isFatal(e)) {
        if (m_txDepth > 0) {
            m_broken = true;
            m_brokenReason = text;
        }
        throw FatalDatabaseError(text, ErrNo::Database);
    }
    throw HxError(text, ErrNo::Database);
}

void Database::plain(const QString &sql) {
    if (m_connectionName.isEmpty())
        throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
    if (m_native) {
        m_native->plain(sql);
        return;
    }
    QSqlQuery q(handle());
    if (!q.exec(sql)) fail(q.lastError(), sql);
}

void Database::beginTransaction() {
    if (m_txDepth > 0) {
        ++m_txDepth;
        return;
    }
    plain(m_engine == Engine::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
    m_txDepth = 1;
    m_broken = false;
    m_brokenReason.clear();
    m_statementSavepoint = false;
    m_statementSavepointStale = false;
    m_savepointDepth = 0;
}

void Database::commitTransaction() {
    if (m_txDepth <= 0) throw HxError(QStringLiteral("There is no transaction to commit."));
    if (m_txDepth > 1) {
        --m_txDepth;
        return;
    }
    if (m_broken) {
        const QString why = m_brokenReason;
        rollbackTransaction();
        throw FatalDatabaseError(why, ErrNo::Database);
    }
    crashPoint();
    try {
        plain(QStringLiteral("COMMIT"));
    } catch (...) {
        rollbackTransaction();
        throw;
    }
    m_txDepth = 0;
    crashPoint();
}

void Database::rollbackTransaction() {
    if (m_txDepth <= 0) return;
    if (m_txDepth > 1) {
        --m_txDepth;
        return;
    }
    m_txDepth = 0;
    m_broken = false;
    m_brokenReason.clear();
    m_statementSavepoint = false;
    m_statementSavepointStale = false;
    m_savepointDepth = 0;
    // SQLite may have rolled back by itself after a fatal error; a lost
    // server has nothing left to roll back. Neither is worth a report here.
    if (m_connectionName.isEmpty()) return;
    if (m_native) {
        try {
            m_native->plain(QStringLiteral("ROLLBACK"));
        } catch (const std::exception &) {
        }
        return;
    }
    QSqlQuery q(handle());
    q.exec(QStringLiteral("ROLLBACK"));
}

// ---------------------------------------------------------------- guards

Transaction::Transaction(Database &db) : m_db(&db) {
    db.beginTransaction();
}

Transaction::~Transaction() {
    if (m_done) return;
    if (m_db->m_txDepth > 1)
        --m_db->m_txDepth;
    else
        m_db->rollbackTransaction();
}

void Transaction::commit() {
    if (m_done) return;
    m_done = true;
    m_db->commitTransaction();
}

void Transaction::rollback() {
    if (m_done) return;
    m_done = true;
    m_db->rollbackTransaction();
}

Savepoint::Savepoint(Database &db) : m_db(&db) {
    if (db.m_txDepth == 0) {
        m_own.emplace(db);
        return;
    }
    if (db.m_broken) throw FatalDatabaseError(db.m_brokenReason, ErrNo::Database);
    m_name = QStringLiteral("hx_savepoint_%1").arg(++db.m_savepointDepth);
    db.plain(QStringLiteral("SAVEPOINT ") + m_name);
    // The statement savepoint of the enclosing level must not be released
    // from inside this one: statements in here get their own.
    m_outerStatementSavepoint = db.m_statementSavepoint;
    db.m_statementSavepoint = false;
}

Savepoint::~Savepoint() {
    if (m_done) return;
    try {
        end(false);
    } catch (...) {
        // The transaction is broken then; its outermost guard rolls it back.
    }
}

void Savepoint::release() {
    end(true);
}

void Savepoint::rollback() {
    end(false);
}

void Savepoint::end(bool keep) {
    if (m_done) return;
    m_done = true;
    if (m_own) {
        if (keep)
            m_own->commit();
        else
            m_own->rollback();
        return;
    }
    Database &db = *m_db;
    --db.m_savepointDepth;
    db.m_statementSavepoint = m_outerStatementSavepoint;
    db.m_statementSavepointStale = m_outerStatementSavepoint;
    if (db.m_broken || db.m_txDepth == 0) return;
    if (keep) {
        db.plain(QStringLiteral("RELEASE SAVEPOINT ") + m_name);
    } else {
        db.plain(QStringLiteral("ROLLBACK TO SAVEPOINT ") + m_name);
        db.plain(QStringLiteral("RELEASE SAVEPOINT ") + m_name);
    }
}

void Database::requireOpen() const {
    if (m_connectionName.isEmpty())
        throw HxError(QStringLiteral("Operation is not allowed when the object is closed."), 3704);
}

int Database::execute(const QString &sql, const QVariantList &params) {
    if (m_native) {
        requireOpen();
        return m_native->execute(sql, params);
    }
    if (m_pgconn && m_txDepth > 0) {
        requireOpen();
        if (m_broken) throw FatalDatabaseError(m_brokenReason, ErrNo::Database);
        return executePipelined(m_pgconn, sql, params);
    }
    auto q = acquire(sql);
    try {
        run(*q, sql, params);
    } catch (...) {
        release(sql, std::move(q));
        throw;
    }
    int n = q->numRowsAffected();
    release(sql, std::move(q));
    return n;
}

Recordset Database::openCursor(const QString &sql, const QVariantList &params) {
    if (m_native) {
        requireOpen();
        return m_native->openCursor(sql, params);
    }
    return openRecordset(sql, params);
}

Recordset Database::openRecordset(const QString &sql, const QVariantList &params) {
    if (m_native) {
        requireOpen();
        return m_native->openRecordset(sql, params);
    }
    auto q = acquire(sql);
    Recordset rs;
    try {
        run(*q, sql, params);
        const QSqlRecord rec = q->record();
        const int n = rec.count();
        auto &known = m_columnsOf[sql];
        if (!known || known->names.size() != n) {
            QStringList names;
            for (int i = 0; i < n; ++i)
                names << rec.fieldName(i);
            known = std::make_shared<const RecordColumns>(std::move(names));
        }
        rs.m_columns = known;
        while (q->next())
            for (int i = 0; i < n; ++i)
                rs.m_values.push_back(q->value(i));
        if (q->lastError().isValid()) fail(q->lastError(), sql);
    } catch (...) {
        release(sql, std::move(q));
        throw;
    }
    release(sql, std::move(q));
    rs.m_open = true;
    rs.m_pos = 0;
    return rs;
}

std::optional<QVariant> Database::firstValue(const QString &sql, const QVariantList &params) {
    if (m_native) {
        requireOpen();
        return m_native->firstValue(sql, params);
    }
    auto q = acquire(sql);
    std::optional<QVariant> v;
    try {
        run(*q, sql, params);
        if (q->next())
            v = q->value(0);
        else if (q->lastError().isValid())
            fail(q->lastError(), sql);
    } catch (...) {
        release(sql, std::move(q));
        throw;
    }
    release(sql, std::move(q));
    return v;
}

void Database::executeScript(const QString &script) {
    QString current;
    for (const QString &rawLine : script.split(QLatin1Char('\n'))) {
        QString line = rawLine;
        int dash = line.indexOf(QLatin1String("--"));
        if (dash >= 0) line = line.left(dash);
        if (line.trimmed().isEmpty()) continue;
        current += line + QLatin1Char('\n');
        if (line.trimmed().endsWith(QLatin1Char(';'))) {
            plain(current);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty()) plain(current);
}

bool Database::hasTable(const QString &name) const {
    const QStringList tables = handle().tables();
    for (const QString &t : tables)
        if (t.compare(name, Qt::CaseInsensitive) == 0) return true;
    return false;
}

} // namespace hx
