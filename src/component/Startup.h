#pragma once
// Start-up and shut-down of a session of the component, shared by the window
// and the command-line host: the one connection gConn and the rules gTCRules.
#include <cstdint>

namespace hx {

// Opens gConn on the database the paths name (a bare name in the application
// folder) and loads gTCRules. Returns the opener's result: -1 opened, 100 the
// database was not found (nothing shown), 0 opening failed (the user was told).
int32_t lngStartSession();
// Closes gConn. The rules stay until the next start-up replaces them.
void subEndSession();

} // namespace hx
