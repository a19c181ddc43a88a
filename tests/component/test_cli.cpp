// The command-line host, run as a separate process: what the other command
// tests leave out (a clock that cannot be read).
#include "cli/CliTest.h"

using namespace hx;
using namespace hx::test;

namespace {
class CliTest : public CliSiteTest {};
} // namespace

// A clock that cannot be read is a usage error, never the real time.
TEST_F(CliTest, AClockThatCannotBeReadIsRefused) {
    qputenv("HXPOLLLOG_NOW", "26/04/2007");
    const Result badClock = run({u"rules"_s}, false);
    qunsetenv("HXPOLLLOG_NOW");
    EXPECT_EQ(badClock.exitCode, 2);
    EXPECT_TRUE(badClock.err.contains(u"HXPOLLLOG_NOW"_s)) << badClock.err.toStdString();
    EXPECT_EQ(run({u"--now"_s, u"tomorrow"_s, u"rules"_s}, false).exitCode, 2);
}
