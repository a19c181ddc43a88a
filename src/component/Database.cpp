#include "component/Database.h"

#include "component/CrashHook.h"
#include "component/DateTime.h"
#include "component/LibPq.h"
#include "component/SqliteStatements.h"

#include <QAtomicInt>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSqlError>
#include <QSqlRecord>
#include <QUrl>
#include <algorithm>
#include <sqlite3.h>

namespace hx {
namespace {
QAtomicInt g_connectionCounter;

// Where a session is, as a URI without password: the host and port libpq
// reached (of several, the one that answered), a socket directory as a query
// item.
QString describePg(PGconn *conn, const ConnectionSpec &target) {
    if (!conn)
        return QStringLiteral("postgresql://%1@%2/%3")
            .arg(target.option(u"user"), target.option(u"host"), target.option(u"dbname"));
    const LibPq &pq = libpq();
    const QString host = QString::fromUtf8(pq.PQhost(conn)), port = QString::fromUtf8(pq.PQport(conn)),
                  user = QString::fromUtf8(pq.PQuser(conn)), database = QString::fromUtf8(pq.PQdb(conn));
    if (host.isEmpty() || host.startsWith(QLatin1Char('/')))
        return QStringLiteral("postgresql://%1@/%2?host=%3&port=%4").arg(user, database, host, port);
    const QString shownHost =
        host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("postgresql://%1@%2:%3/%4").arg(user, shownHost, port, database);
}

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

namespace {
// The keywords that go through the Qt driver's own fields rather than its
// connect options.
bool isDriverField(QStringView keyword) {
    return keyword == u"host" || keyword == u"dbname" || keyword == u"user" || keyword == u"password";
}

// Asks libpq's own table, which knows the keywords of the installed version.
bool isLibpqKeyword(const QString &word) {
    static const QRegularExpression plain(QStringLiteral("^[a-z_]+$"));
    const LibPq *pq = findLibPq();
    if (!pq || !plain.match(word).hasMatch()) return false;
    char *error = nullptr;
    PQconninfoOption *parsed =
        pq->PQconninfoParse((word + QStringLiteral("=''")).toUtf8().constData(), &error);
    pq->PQfreemem(error);
    if (!parsed) return false;
    pq->PQconninfoFree(parsed);
    return true;
}

// The value of a password found in a text: where it starts and how long it is.
struct Span {
    qsizetype start, length;
};

// The places of the passwords in a text: the password of a URI, a password=
// query item and the value of password= or pwd= in key=value text. A plain
// value of a line holding ";" runs to the next ";" (the suite's own form, whose
// values may hold blanks); elsewhere to a blank that starts another key=.
QList<Span> passwordSpans(const QString &text) {
    static const QRegularExpression urlPassword(
        QStringLiteral("\\b[a-z][a-z0-9+.-]*://[^:@/\\s]*:([^\\s/?#]*)@"),
        QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression queryPassword(QStringLiteral("[?&](?:password|pwd)=([^&#\\s]*)"),
                                                  QRegularExpression::CaseInsensitiveOption);
    static const QString keyHead =
        QStringLiteral("(?<![\\w?&])(?:password|pwd)\\s*=\\s*('(?:[^'\\\\]|\\\\.)*'?|\"[^\"]*\"?|");
    static const QRegularExpression separatedPassword(keyHead + QStringLiteral("[^;\\r\\n]*)"),
                                                      QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression blankPassword(keyHead +
                                                      QStringLiteral("(?:[^\\s;]|[ \\t]+(?![a-z_]+\\s*=))*)"),
                                                  QRegularExpression::CaseInsensitiveOption);
    QList<Span> spans;
    auto collect = [&](const QRegularExpression &re, qsizetype from, qsizetype to) {
        for (auto it = re.globalMatch(QStringView(text).mid(from, to - from)); it.hasNext();) {
            const QRegularExpressionMatch m = it.next();
            if (m.capturedLength(1) > 0) spans.append({from + m.capturedStart(1), m.capturedLength(1)});
        }
    };
    collect(urlPassword, 0, text.size());
    collect(queryPassword, 0, text.size());
    for (qsizetype from = 0; from <= text.size();) {
        qsizetype to = text.indexOf(QLatin1Char('\n'), from);
        if (to < 0) to = text.size();
        const bool separated = QStringView(text).mid(from, to - from).contains(QLatin1Char(';'));
        collect(separated ? separatedPassword : blankPassword, from, to);
        from = to + 1;
    }
    std::sort(spans.begin(), spans.end(), [](const Span &a, const Span &b) { return a.start < b.start; });
    // A password found twice (a "password=" inside a URI's password) is one place.
    QList<Span> merged;
    for (const Span &s : std::as_const(spans)) {
        if (!merged.isEmpty() && s.start <= merged.last().start + merged.last().length)
            merged.last().length = std::max(merged.last().length, s.start + s.length - merged.last().start);
        else
            merged.append(s);
    }
    return merged;
}

// libpq's complaint about a text it could not parse may quote a piece of it:
// a piece that is, or is part of, a password is masked.
QString withoutPasswords(QString message, const QString &text) {
    QStringList secrets;
    for (const Span &s : passwordSpans(text)) {
        QString secret = text.mid(s.start, s.length);
        if (secret.size() > 1 &&
            (secret.startsWith(QLatin1Char('\'')) || secret.startsWith(QLatin1Char('"'))))
            secret = secret.mid(1, secret.size() - 2);
        if (secret.isEmpty()) continue;
        secrets << secret << QUrl::fromPercentEncoding(secret.toUtf8());
    }
    static const QRegularExpression quoted(QStringLiteral("\"([^\"]*)\""));
    QString out;
    qsizetype from = 0;
    for (auto it = quoted.globalMatch(message); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        const QString piece = m.captured(1);
        const bool secret =
            !piece.isEmpty() && std::any_of(secrets.cbegin(), secrets.cend(), [&](const QString &s) {
                return s.contains(piece) || piece.contains(s);
            });
        out += QStringView(message).mid(from, m.capturedStart(0) - from);
        out += secret ? QStringLiteral("\"***\"") : m.captured(0);
        from = m.capturedEnd(0);
    }
    out += QStringView(message).mid(from);
    for (const QString &s : std::as_const(secrets))
        if (!s.isEmpty()) out.replace(s, QStringLiteral("***"));
    return maskPassword(out);
}

// The options of a libpq connection string or URI as libpq's parser reads
// them; `shown` is the text the user gave, for the error message.
std::optional<ConnectionSpec> parseLibpq(const QString &conninfo, const QString &shown, QString *error) {
    QString missing;
    const LibPq *pq = findLibPq(&missing);
    if (!pq) {
        if (error) *error = missing;
        return std::nullopt;
    }
    char *why = nullptr;
    PQconninfoOption *parsed = pq->PQconninfoParse(conninfo.toUtf8().constData(), &why);
    if (!parsed) {
        const QString reason = why ? QString::fromUtf8(why).trimmed() : QStringLiteral("out of memory");
        pq->PQfreemem(why);
        if (error)
            *error = QStringLiteral("The connection string is not valid: ") + withoutPasswords(reason, shown);
        return std::nullopt;
    }
    ConnectionSpec s;
    s.engine = Engine::PostgreSQL;
    for (const PQconninfoOption *o = parsed; o->keyword; ++o)
        if (o->val) s.options.append({QString::fromUtf8(o->keyword), QString::fromUtf8(o->val)});
    pq->PQconninfoFree(parsed);

    // A port list has one port per host; an empty item is the default port.
    for (const QString &item : s.option(u"port").split(QLatin1Char(','))) {
        const QString port = item.trimmed();
        if (port.isEmpty()) continue;
        bool ok = false;
        const int n = port.toInt(&ok);
        if (!ok) {
            if (error) *error = QStringLiteral("The port is not a number: ") + port;
            return std::nullopt;
        }
        if (n < 1 || n > 65535) {
            if (error) *error = QStringLiteral("The port %1 is outside 1 to 65535.").arg(port);
            return std::nullopt;
        }
    }
    if (!driverConnectOptions(s, error)) return std::nullopt;
    return s;
}

bool isUri(QStringView text) {
    return text.startsWith(QLatin1String("postgresql://"), Qt::CaseInsensitive) ||
           text.startsWith(QLatin1String("postgres://"), Qt::CaseInsensitive);
}
} // namespace

QString ConnectionSpec::option(QStringView keyword) const {
    for (const auto &[k, v] : options)
        if (k == keyword) return v;
    return QString();
}

bool ConnectionSpec::hasOption(QStringView keyword) const {
    return std::any_of(options.cbegin(), options.cend(), [&](const auto &o) { return o.first == keyword; });
}

void ConnectionSpec::setOption(const QString &keyword, const QString &value) {
    for (auto &o : options)
        if (o.first == keyword) {
            o.second = value;
            return;
        }
    options.append({keyword, value});
}

ConnectionSpec ConnectionSpec::forSqliteFile(const QString &path) {
    ConnectionSpec s;
    s.engine = Engine::SQLite;
    s.sqliteFile = path;
    return s;
}

bool isConnectionText(const QString &name) {
    if (name.contains(QLatin1String("://"))) return true;
    static const QRegularExpression firstKey(QStringLiteral("^\\s*([a-z_]+)\\s*="));
    const QRegularExpressionMatch m = firstKey.match(name);
    return m.hasMatch() && isLibpqKeyword(m.captured(1));
}

std::optional<QString> driverConnectOptions(const ConnectionSpec &target, QString *error) {
    QStringList opts;
    if (!target.hasOption(u"connect_timeout")) opts << QStringLiteral("connect_timeout=10");
    for (const auto &[keyword, value] : target.options) {
        if (isDriverField(keyword)) continue;
        // The driver turns every ";" of its options into a blank, quoted or not.
        if (value.contains(QLatin1Char(';'))) {
            if (error) *error = QStringLiteral("The value of %1 cannot hold \";\".").arg(keyword);
            return std::nullopt;
        }
        opts << keyword + QLatin1Char('=') + quoteConnectionOption(value);
    }
    return opts.join(QLatin1Char(' '));
}

std::optional<ConnectionSpec> ConnectionSpec::parse(const QString &textIn, const QString &baseDir,
                                                    QString *error) {
    auto fail = [&](const QString &why) -> std::optional<ConnectionSpec> {
        if (error) *error = why;
        return std::nullopt;
    };
    const QString text = textIn.trimmed();
    if (text.isEmpty()) return fail(QStringLiteral("The connection string is empty."));
    // libpq reads a C string: whatever followed a NUL would be dropped unseen.
    if (text.contains(QChar(0))) return fail(QStringLiteral("The connection string holds a NUL character."));

    auto resolve = [&](const QString &file) {
        if (QDir::isAbsolutePath(file) || baseDir.isEmpty()) return file;
        return QDir(baseDir).filePath(file);
    };

    if (isUri(text)) {
        // libpq knows the scheme in small letters only.
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        return parseLibpq(text.left(colon).toLower() + text.mid(colon), text, error);
    }
    if (text.startsWith(QLatin1String("sqlite:"), Qt::CaseInsensitive)) {
        QString file = text.mid(7);
        if (file.startsWith(QLatin1String("//"))) file = file.mid(2);
        if (file.isEmpty()) return fail(QStringLiteral("The connection string names no database file."));
        return forSqliteFile(resolve(file));
    }
    // The suite's own form names its engine; anything else starting with a
    // libpq keyword is libpq's.
    static const QRegularExpression engineKey(QStringLiteral("(^|;)\\s*engine\\s*="),
                                              QRegularExpression::CaseInsensitiveOption);
    if (!engineKey.match(text).hasMatch() && isConnectionText(text)) return parseLibpq(text, text, error);

    QList<std::pair<QString, QString>> kv;
    for (const QString &part : text.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        if (part.trimmed().isEmpty()) continue;
        int eq = part.indexOf(QLatin1Char('='));
        // The part is not quoted: it may be the rest of a password.
        if (eq <= 0) return fail(QStringLiteral("The connection string holds a part without \"KEY=\"."));
        kv.append({part.left(eq).trimmed().toLower(), part.mid(eq + 1).trimmed()});
    }
    auto value = [&](const QString &key, const QString &otherwise = QString()) {
        for (const auto &[k, v] : kv)
            if (k == key) return v;
        return otherwise;
    };
    const QString engine = value(QStringLiteral("engine")).toLower();
    if (engine == QLatin1String("sqlite")) {
        QString file = value(QStringLiteral("data source"), value(QStringLiteral("file")));
        if (file.isEmpty()) return fail(QStringLiteral("The connection string names no database file."));
        return forSqliteFile(resolve(file));
    }
    if (engine == QLatin1String("postgresql") || engine == QLatin1String("postgres")) {
        // No Host= means this machine over TCP; an empty one is a mistake, not
        // a wish for the local socket (which host=/var/run/postgresql names).
        bool hasHost = false;
        QStringList conninfo;
        for (const auto &[k, v] : kv) {
            if (k == QLatin1String("engine")) continue;
            const QString keyword = k == QLatin1String("database") ? QStringLiteral("dbname")
                                    : k == QLatin1String("pwd")    ? QStringLiteral("password")
                                                                   : k;
            if (keyword == QLatin1String("host")) {
                if (v.isEmpty()) return fail(QStringLiteral("The connection string gives an empty Host=."));
                hasHost = true;
            }
            if (!isLibpqKeyword(keyword))
                return fail(
                    QStringLiteral("The connection string holds the key \"%1\", which PostgreSQL does "
                                   "not know.")
                        .arg(k));
            conninfo << keyword + QLatin1Char('=') + quoteConnectionOption(v);
        }
        if (!hasHost) conninfo.prepend(QStringLiteral("host=localhost"));
        if (value(QStringLiteral("database")).isEmpty() && value(QStringLiteral("dbname")).isEmpty())
            return fail(QStringLiteral("The connection string names no database."));
        return parseLibpq(conninfo.join(QLatin1Char(' ')), text, error);
    }
    return fail(QStringLiteral("The connection string names no known engine (a postgresql:// URI, libpq "
                               "key=value pairs, Engine=SQLite or Engine=PostgreSQL)."));
}

QString maskPassword(const QString &text) {
    QString s = text;
    const QList<Span> spans = passwordSpans(text);
    // From the end, so that the places before stay where they are.
    for (auto it = spans.crbegin(); it != spans.crend(); ++it)
        s.replace(it->start, it->length, QStringLiteral("***"));
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
    for (qsizetype i = 0; i < names.size(); ++i)
        exact.emplace(names[i], int(i));
}

int RecordColumns::indexOf(QStringView name) const {
    // Callers mostly spell a column as the schema does: try that first.
    if (const auto it = exact.find(name); it != exact.end()) return it->second;
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

Recordset Recordset::streaming(std::shared_ptr<const RecordColumns> columns,
                               std::unique_ptr<RowSource> source) {
    Recordset rs;
    rs.m_columns = std::move(columns);
    rs.m_source = std::move(source);
    rs.m_open = true;
    rs.fetchStreamRow();
    return rs;
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
        // libpq's keywords reach it through the driver: host, database, user
        // and password by the driver's own quoted fields, the rest as quoted
        // connect options appended to the same connection string.
        QString why;
        const std::optional<QString> options = driverConnectOptions(target, &why);
        if (!options) {
            c = QSqlDatabase();
            QSqlDatabase::removeDatabase(db->m_connectionName);
            db->m_connectionName.clear();
            throw HxError(why, ErrNo::Database);
        }
        c.setHostName(target.option(u"host"));
        c.setDatabaseName(target.option(u"dbname"));
        c.setUserName(target.option(u"user"));
        c.setPassword(target.option(u"password"));
        c.setConnectOptions(*options);
    }
    if (!c.open()) {
        // libpq's own words (which name the server it tried), not the driver's.
        const QSqlError e = c.lastError();
        QString reason = e.databaseText().trimmed();
        if (reason.isEmpty()) reason = sqlError(e, QString()).description();
        HxError failure(maskPassword(reason), ErrNo::Database);
        c = QSqlDatabase();
        QSqlDatabase::removeDatabase(db->m_connectionName);
        db->m_connectionName.clear();
        throw failure;
    }
    if (sqlite) {
        if (sqlite3 *handle = SqliteStatements::handleOf(c))
            db->m_native = std::make_unique<SqliteStatements>(*db, handle);
        // WAL with NORMAL sync keeps a commit cheap without giving up
        // consistency after a crash. A file that is not
        // a database fails here, not at the first real statement.
        db->firstValue(QStringLiteral("PRAGMA journal_mode=WAL"));
        db->execute(QStringLiteral("PRAGMA synchronous=NORMAL"));
        // An import is one transaction over ten MiB or more of pages: a cache
        // that holds them keeps them from being spilled to the log mid-import,
        // and a large import's walks over IMPORT (in badge order, not the
        // order its rows were written) from reading the same pages again and
        // again. The pages are taken only as they are used.
        db->execute(QStringLiteral("PRAGMA cache_size=-65536"));
        // What a statement changes inside the import's savepoints is kept
        // for its undo in memory rather than written to a file beside it:
        // pages that changed before are kept once, new pages not at all.
        db->execute(QStringLiteral("PRAGMA temp_store=MEMORY"));
        db->firstValue(QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } else {
        db->m_pgconn = db->pgConnection();
        db->m_description = describePg(db->m_pgconn, target);
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
    ++m_txSerial;
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

std::optional<QVariant> Database::keySequencePosition(const QString &table, const QString &column) {
    if (m_engine != Engine::PostgreSQL) return std::nullopt;
    // Null while the sequence has not given a value yet.
    return firstValue(QStringLiteral("SELECT pg_sequence_last_value(pg_get_serial_sequence(?, ?)::regclass)"),
                      {QLatin1Char('"') + table + QLatin1Char('"'), column})
        .value_or(QVariant());
}

void Database::restoreKeySequence(const QString &table, const QString &column,
                                  const std::optional<QVariant> &position) {
    if (!position) return;
    const QString quoted = QLatin1Char('"') + table + QLatin1Char('"');
    if (position->isNull())
        firstValue(QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), 1, false)"), {quoted, column});
    else
        firstValue(QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), ?, true)"),
                   {quoted, column, position->toLongLong()});
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
    if (m_pgconn && m_txDepth > 0) {
        requireOpen();
        if (m_broken) throw FatalDatabaseError(m_brokenReason, ErrNo::Database);
        return pgOpenCursor(m_pgconn, sql, params);
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
