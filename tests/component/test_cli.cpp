// The command-line host, run as a separate process: what the other command
// tests leave out (the clock's forms, the rules command).
#include "cli/CliTest.h"

using namespace hx;
using namespace hx::test;

namespace {
class CliTest : public CliSiteTest {};
} // namespace

TEST_F(CliTest, TheClockAndTheRulesCommand) {
    // Usage errors, without the site's options.
    qputenv("HXPOLLLOG_NOW", "26/04/2007");
    const Result badClock = run({u"rules"_s}, false);
    qunsetenv("HXPOLLLOG_NOW");
    EXPECT_EQ(badClock.exitCode, 2);
    EXPECT_TRUE(badClock.err.contains(u"HXPOLLLOG_NOW"_s)) << badClock.err.toStdString();
    for (const QStringList &args : {QStringList{}, QStringList{u"--now"_s, u"tomorrow"_s, u"rules"_s},
                                    QStringList{u"init-db"_s}, QStringList{u"rules"_s, u"extra"_s}})
        EXPECT_EQ(run(args, false).exitCode, 2) << args.join(u' ').toStdString();

    // The empty table gets its row.
    db().execute(u"DELETE FROM \"TCRULES\""_s);
    const Result r = run({u"rules"_s});
    ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
    for (const char *line : {"blnEditOn = True\n", "sngRateOT1 = 1.5\n", "strPayType = Custom\n",
                             "dtmPayStart = 2007-04-26 00:00:00\n", "dtmPayThru = 2007-05-02 00:00:00\n"})
        EXPECT_TRUE(r.out.contains(QLatin1String(line))) << line;
    EXPECT_EQ(db().firstValue(u"SELECT COUNT(*) FROM \"TCRULES\""_s)->toInt(), 1);
    // The clock fixed by a later option.
    db().execute(u"DELETE FROM \"TCRULES\""_s);
    const Result later = run({u"--now"_s, u"2010-01-05T08:00:00"_s, u"rules"_s});
    ASSERT_EQ(later.exitCode, 0) << later.err.toStdString();
    EXPECT_TRUE(later.out.contains(u"dtmPayStart = 2010-01-05 00:00:00\n"_s));
    EXPECT_EQ(run({u"--db"_s, path(u"junk.db"_s), u"rules"_s}).exitCode, 1);
}
