#pragma once
// The statements of an SQLite session run straight on the connection's
// sqlite3 handle, which QtSql opened and still owns: binding and reading
// through QSqlQuery cost more than the statements themselves. Values are
// bound and read exactly as the QSQLITE driver binds and reads them, so the
// stored rows and the values handed back are the same either way.
#include "component/Database.h"

#include <QSqlError>

struct sqlite3;
struct sqlite3_stmt;

namespace hx {

class SqliteStatements {
public:
    SqliteStatements(Database &owner, sqlite3 *handle);
    ~SqliteStatements();
    SqliteStatements(const SqliteStatements &) = delete;
    SqliteStatements &operator=(const SqliteStatements &) = delete;

    // The connection's handle, from the QSQLITE driver; null when it has none.
    static sqlite3 *handleOf(const QSqlDatabase &connection);

    int execute(const QString &sql, const QVariantList &params);
    Recordset openRecordset(const QString &sql, const QVariantList &params);
    Recordset openCursor(const QString &sql, const QVariantList &params);
    std::optional<QVariant> firstValue(const QString &sql, const QVariantList &params);
    // Runs one statement of a script or of transaction control, unprepared.
    void plain(const QString &sql);
    // Finalizes every statement (before the connection closes).
    void clear();

    // The bytes of a statement's bound texts, which the engine reads in place.
    struct BoundTexts {
        std::vector<char> ascii; // reserved before binding; never grows past it
        std::vector<QByteArray> utf8;
    };

private:
    struct Statement;
    class Cursor;
    // A prepared statement of that text not in use by an open cursor.
    Statement &acquire(const QString &sql);
    void bindAll(Statement &st, const QString &sql, const QVariantList &params);
    // Steps once; true on a row, false when done. Raises on an error, after
    // resetting the statement.
    bool step(Statement &st, const QString &sql);
    void readRow(Statement &st, std::vector<QVariant> &row) const;
    void finish(Statement &st);
    [[noreturn]] void fail(int code, const QString &what, const QString &sql,
                           QSqlError::ErrorType type = QSqlError::StatementError);

    Database &m_owner;
    sqlite3 *m_db;
    using StatementList = std::vector<std::unique_ptr<Statement>>;
    std::unordered_map<QString, StatementList> m_statements;
    // The same lists by where a text's characters are: the hot statements are
    // kept texts, so most look-ups need not hash the whole text. The entry's
    // copy holds those characters, so no other text can come to be there
    // while it is kept (a statement's text is never QString::fromRawData over
    // a buffer rewritten later).
    struct ByData {
        QString text;
        StatementList *list;
    };
    std::unordered_map<const QChar *, ByData> m_byData;
};

} // namespace hx
