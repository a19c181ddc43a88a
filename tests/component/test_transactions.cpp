// Transactions and savepoints of the statement layer, on both engines: the
// PostgreSQL half runs against a throwaway server of this test program.
#include "component/Database.h"
#include "support/PgSandbox.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
hx::test::PgSandbox *const g_server =
    static_cast<hx::test::PgSandbox *>(::testing::AddGlobalTestEnvironment(new hx::test::PgSandbox()));

class TransactionTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::SQLite) {
            ASSERT_TRUE(m_dir.isValid());
            m_target = ConnectionSpec::forSqliteFile(m_dir.filePath(u"t.db"_s));
        } else {
            ASSERT_GT(g_server->port(), 0) << g_server->error().toStdString();
            static int counter = 0;
            const QString name = hx::test::PgSandbox::database(u"hx_tx_%1"_s.arg(++counter));
            Database::open(pg(u"hxtest"_s))->executeScript(u"CREATE DATABASE %1;"_s.arg(name));
            m_target = pg(name);
        }
        m_db = Database::open(m_target);
        m_db->executeScript(u"CREATE TABLE \"T\" (\"ID\" integer PRIMARY KEY, \"V\" varchar(20));"_s);
    }

    static ConnectionSpec pg(const QString &database) {
        return ConnectionSpec::parse(g_server->url(database), QString(), nullptr).value_or(ConnectionSpec());
    }

    void insert(int id) { m_db->execute(u"INSERT INTO \"T\" (\"ID\", \"V\") VALUES (?, ?)"_s, {id, u"x"_s}); }
    // The committed rows, as a second session sees them.
    QList<int> committed() const {
        auto other = Database::open(m_target);
        Recordset rs = other->openRecordset(u"SELECT \"ID\" FROM \"T\" ORDER BY \"ID\""_s);
        QList<int> ids;
        for (; !rs.eof(); rs.moveNext())
            ids << rs.value(0).toInt();
        return ids;
    }

    QTemporaryDir m_dir;
    ConnectionSpec m_target;
    std::unique_ptr<Database> m_db;
};

// Only the outermost guard begins and commits; left without commit it rolls
// back, inner commits and all. A handled failure (a duplicate key, a statement
// that cannot be prepared) undoes only its statement and the rest commits.
TEST_P(TransactionTest, OnlyTheOutermostGuardCommitsAndAHandledFailureCostsOnlyItself) {
    for (bool commit : {true, false}) {
        Transaction outer(*m_db);
        insert(commit ? 1 : 3);
        Transaction inner(*m_db);
        insert(commit ? 2 : 4);
        inner.commit();
        EXPECT_TRUE(m_db->inTransaction());
        EXPECT_EQ(committed(), commit ? QList<int>{} : (QList<int>{1, 2}));
        if (commit) outer.commit();
    }
    EXPECT_FALSE(m_db->inTransaction());
    EXPECT_EQ(committed(), (QList<int>{1, 2}));

    Transaction tx(*m_db);
    try {
        insert(1);
        ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const FatalDatabaseError &) {
        ADD_FAILURE() << "a duplicate key broke the transaction";
    } catch (const HxError &) {
    }
    EXPECT_FALSE(m_db->isBroken());
    insert(3);
    m_db->execute(u"UPDATE \"T\" SET \"V\" = ? WHERE \"ID\" = ?"_s, {u"y"_s, 2});
    EXPECT_THROW(m_db->execute(u"UPDATE \"NoSuchTable\" SET \"V\" = ?"_s, {u"z"_s}), HxError);
    insert(4);
    tx.commit();
    EXPECT_EQ(committed(), (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(m_db->firstValue(u"SELECT \"V\" FROM \"T\" WHERE \"ID\" = ?"_s, {2})->toString(), u"y"_s);
}

TEST_P(TransactionTest, ASavepointUndoesItsOwnStatementsAndNestsInTheTransaction) {
    Transaction tx(*m_db);
    insert(1);
    {
        Savepoint sp(*m_db);
        insert(2);
        {
            Savepoint inner(*m_db);
            insert(3);
            inner.release();
        }
        insert(4);
    } // rolled back: 2, 3 and 4 go
    {
        Savepoint sp(*m_db);
        insert(5);
        EXPECT_THROW(insert(5), HxError);
        insert(6);
        sp.release();
    }
    EXPECT_THROW(insert(1), HxError);
    insert(7);
    tx.commit();
    EXPECT_EQ(committed(), (QList<int>{1, 5, 6, 7}));

    // Outside a transaction a savepoint is one of its own.
    {
        Savepoint sp(*m_db);
        insert(8);
    }
    {
        Savepoint sp(*m_db);
        insert(9);
        sp.release();
    }
    EXPECT_EQ(committed(), (QList<int>{1, 5, 6, 7, 9}));
}

TEST_P(TransactionTest, AFatalFailureRefusesEveryLaterStatementAndRollsBackWhole) {
    insert(1);
    std::unique_ptr<Database> killer;
    {
        Transaction tx(*m_db);
        insert(2);
        if (GetParam() == Engine::SQLite) {
            // The database can grow no further: "database or disk is full".
            const int pages = m_db->firstValue(u"PRAGMA page_count"_s)->toInt();
            m_db->firstValue(u"PRAGMA max_page_count = %1"_s.arg(pages + 1));
            EXPECT_THROW(for (int i = 0; i < 200; ++i)
                             m_db->execute(u"INSERT INTO \"T\" (\"ID\", \"V\") VALUES (?, ?)"_s,
                                           {100 + i, QString(20, u'z')}),
                         FatalDatabaseError);
        } else {
            // The server ends the session, as when it is stopped.
            const QVariant pid = *m_db->firstValue(u"SELECT pg_backend_pid()"_s);
            killer = Database::open(m_target);
            killer->firstValue(u"SELECT pg_terminate_backend(?)"_s, {pid});
            EXPECT_THROW(insert(3), FatalDatabaseError);
        }
        EXPECT_TRUE(m_db->isBroken());
        // No handler can go on writing after it.
        EXPECT_THROW(insert(4), FatalDatabaseError);
        EXPECT_THROW(m_db->firstValue(u"SELECT COUNT(*) FROM \"T\""_s), FatalDatabaseError);
        EXPECT_THROW(tx.commit(), FatalDatabaseError);
    }
    EXPECT_FALSE(m_db->isBroken());
    EXPECT_EQ(committed(), QList<int>{1});
}

INSTANTIATE_TEST_SUITE_P(Engines, TransactionTest, ::testing::Values(Engine::SQLite, Engine::PostgreSQL),
                         [](const auto &info) {
                             return info.param == Engine::SQLite ? std::string("SQLite")
                                                                 : std::string("PostgreSQL");
                         });
} // namespace
