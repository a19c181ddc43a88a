// Transactions and savepoints of the statement layer, on either engine.
#include "component/Database.h"
#include "support/TestSupport.h"

using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
class TransactionTest : public hx::test::SiteTest {
protected:
    void SetUp() override {
        SiteTest::SetUp();
        db().executeScript(u"CREATE TABLE \"T\" (\"ID\" integer PRIMARY KEY, \"V\" varchar(20));"_s);
    }
    // A second session on the site's database.
    std::unique_ptr<Database> openOther() {
        return Database::open(onServer() ? *ConnectionSpec::parse(databaseName(), QString(), nullptr)
                                         : ConnectionSpec::forSqliteFile(databaseName()));
    }
    void insert(int id) { db().execute(u"INSERT INTO \"T\" (\"ID\", \"V\") VALUES (?, ?)"_s, {id, u"x"_s}); }
    // The committed rows, as a second session sees them.
    QList<int> committed() {
        Recordset rs = openOther()->openRecordset(u"SELECT \"ID\" FROM \"T\" ORDER BY \"ID\""_s);
        QList<int> ids;
        for (; !rs.eof(); rs.moveNext())
            ids << rs.value(0).toInt();
        return ids;
    }
};
} // namespace

// Only the outermost guard begins and commits; left without commit it rolls
// back, inner commits and all. A handled failure (a duplicate key, a statement
// that cannot be prepared) undoes only its statement and the rest commits.
TEST_F(TransactionTest, OnlyTheOutermostGuardCommitsAndAHandledFailureCostsOnlyItself) {
    for (bool commit : {true, false}) {
        Transaction outer(db());
        insert(commit ? 1 : 3);
        Transaction inner(db());
        insert(commit ? 2 : 4);
        inner.commit();
        EXPECT_TRUE(db().inTransaction());
        EXPECT_EQ(committed(), commit ? QList<int>{} : (QList<int>{1, 2}));
        if (commit) outer.commit();
    }
    EXPECT_FALSE(db().inTransaction());
    EXPECT_EQ(committed(), (QList<int>{1, 2}));

    Transaction tx(db());
    try {
        insert(1);
        ADD_FAILURE() << "a duplicate key was accepted";
    } catch (const FatalDatabaseError &) {
        ADD_FAILURE() << "a duplicate key broke the transaction";
    } catch (const HxError &) {
    }
    EXPECT_FALSE(db().isBroken());
    insert(3);
    db().execute(u"UPDATE \"T\" SET \"V\" = ? WHERE \"ID\" = ?"_s, {u"y"_s, 2});
    EXPECT_THROW(db().execute(u"UPDATE \"NoSuchTable\" SET \"V\" = ?"_s, {u"z"_s}), HxError);
    insert(4);
    tx.commit();
    EXPECT_EQ(committed(), (QList<int>{1, 2, 3, 4}));
    EXPECT_EQ(db().firstValue(u"SELECT \"V\" FROM \"T\" WHERE \"ID\" = ?"_s, {2})->toString(), u"y"_s);
}

TEST_F(TransactionTest, ASavepointUndoesItsOwnStatementsAndNestsInTheTransaction) {
    Transaction tx(db());
    insert(1);
    {
        Savepoint sp(db());
        insert(2);
        {
            Savepoint inner(db());
            insert(3);
            inner.release();
        }
        insert(4);
    } // rolled back: 2, 3 and 4 go
    {
        Savepoint sp(db());
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
        Savepoint sp(db());
        insert(8);
    }
    {
        Savepoint sp(db());
        insert(9);
        sp.release();
    }
    EXPECT_EQ(committed(), (QList<int>{1, 5, 6, 7, 9}));
}

TEST_F(TransactionTest, AFatalFailureRefusesEveryLaterStatementAndRollsBackWhole) {
    insert(1);
    std::unique_ptr<Database> killer;
    {
        Transaction tx(db());
        insert(2);
        if (!onServer()) {
            // The database can grow no further: "database or disk is full".
            const int pages = db().firstValue(u"PRAGMA page_count"_s)->toInt();
            db().firstValue(u"PRAGMA max_page_count = %1"_s.arg(pages + 1));
            EXPECT_THROW(for (int i = 0; i < 200; ++i)
                             db().execute(u"INSERT INTO \"T\" (\"ID\", \"V\") VALUES (?, ?)"_s,
                                           {100 + i, QString(20, u'z')}),
                         FatalDatabaseError);
        } else {
            // The server ends the session, as when it is stopped.
            const QVariant pid = *db().firstValue(u"SELECT pg_backend_pid()"_s);
            killer = openOther();
            killer->firstValue(u"SELECT pg_terminate_backend(?)"_s, {pid});
            EXPECT_THROW(insert(3), FatalDatabaseError);
        }
        EXPECT_TRUE(db().isBroken());
        // No handler can go on writing after it.
        EXPECT_THROW(insert(4), FatalDatabaseError);
        EXPECT_THROW(db().firstValue(u"SELECT COUNT(*) FROM \"T\""_s), FatalDatabaseError);
        EXPECT_THROW(tx.commit(), FatalDatabaseError);
    }
    EXPECT_FALSE(db().isBroken());
    EXPECT_EQ(committed(), QList<int>{1});
}

