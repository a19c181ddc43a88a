#pragma once
// The main log "QX8log.txt" in the error log folder: one entry of four or five
// lines per call, the file opened for appending and closed again each time,
// every failure swallowed.
#include "component/Error.h"

#include <QString>
#include <functional>

namespace hx {

// Called, with the log file's path and the reason, each time an entry cannot
// be written. The log itself stays silent; a host that wants the user to know
// installs one. An empty function removes it.
using LogWriteFailureHandler = std::function<void(const QString &file, const QString &reason)>;
void setLogWriteFailureHandler(LogWriteFailureHandler handler);
// Called with every note as it is written (a host's --verbose); empty removes it.
using LogNoteEcho = std::function<void(const QString &module, const QString &text)>;
void setLogNoteEcho(LogNoteEcho echo);

// The error box and an "E" entry for the error being handled.
void subReportError(const QString &module, const QString &kind, const QString &procedure,
                    const QString &detail, const HxError &error);
// A message box and an "M" entry; returns the answer (1 to 7).
int intShowMessage(const QString &module, const QString &kind, const QString &procedure,
                   const QString &detail, const QString &title, const QString &prompt, long buttons,
                   int helpId);
// The forwarding entry through which the import, posting and hours code reports.
int intReportMessage(const QString &module, const QString &kind, const QString &procedure,
                     const QString &detail, const QString &title, const QString &prompt, long buttons,
                     int helpId);
// An "N" entry; shows nothing.
void subLogNote(const QString &module, const QString &text);

// The single writer behind the three above.
void subWriteLogEntry(const QString &kind, const QString &module, const QString &text, int response,
                      int helpId, long errorCode, const QString &procedure, const QString &procedureKind,
                      const QString &detail);
QString strLogHeader();
// The log file's full path for the current error log folder.
QString strLogFilePath();

// The errors reported so far (boxes, and failures only written to the log):
// an import that saved its work but reported errors on the way says so in its
// outcome. subReportError and reportImportError count themselves; other
// reporters of a failure call noteReportedError.
void noteReportedError();
long lngReportedErrors();

// Shorthand for the import, posting and hours procedures' error handlers:
// module "modImportToPunch", kind "Procedure", title "ERROR", buttons 65.
void reportImportError(const QString &procedure, const QString &step, const QString &description);

} // namespace hx
