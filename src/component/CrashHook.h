#pragma once
// A deterministic way to end the process abruptly, for the tests that prove an
// import leaves nothing half done. With HXPOLLLOG_CRASH_AT=n in the
// environment the process kills itself (SIGKILL, as a power loss would end it)
// at the n-th crash point it passes: before every statement and before and
// after every commit. Without the variable a
// crash point costs one comparison.
namespace hx {

void crashPoint();
// How many crash points this process has passed.
long crashPointsPassed();
// True when HXPOLLLOG_CRASH_AT is set (the host then reports the count).
bool crashHookArmed();

} // namespace hx
