#pragma once
// Start-up and shut-down of a session of the component, shared by the window
// and the command-line host: the one connection gConn and the rules gTCRules.
#include <QString>
#include <cstdint>

namespace hx {

// Opens gConn on the database the paths name (a bare name in the application
// folder) and loads gTCRules. Returns the opener's result: -1 opened, 100 the
// database was not found (nothing shown), 0 opening failed (the user was told).
int32_t lngStartSession();
// The result of the last lngStartSession, so that a host whose window did not
// open can say why; -1 before the first.
int32_t lngLastStartResult();
// Why a session did not start, for a host: the start result (100 or 0) and
// the prompt of the data access box the opener showed, if any.
QString strStartFailure(int32_t result, const QString &openerPrompt);
// Closes gConn. The rules stay until the next start-up replaces them.
void subEndSession();

} // namespace hx
