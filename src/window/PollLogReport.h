#pragma once
// The printed poll log list "Poll Log List Report": a page header with the
// title and column labels over a rule, one line per row of the list, page
// numbers in the footer.
#include "import/PollLogList.h"

#include <QString>
#include <functional>
#include <vector>

class QPagedPaintDevice;
class QPrintPreviewDialog;
class QPrinter;
class QWidget;

namespace hx {

// The page of the printed reports: the paper of the locale, portrait, margins.
void setReportPage(QPagedPaintDevice &device);
// What the printed reports share: a PDF file written by `render` (false and
// the reason when it cannot be), and a preview that renders on request.
bool blnWriteReportPdf(const QString &file, const QString &caption,
                       const std::function<void(QPagedPaintDevice &)> &render, QString *why);
QPrintPreviewDialog *createReportPreview(QPrinter &printer, const QString &caption,
                                         const std::function<void(QPrinter &)> &render, QWidget *parent);
// Draws the report on a printer or a PDF writer, a page per new page.
void renderPollLogReport(QPagedPaintDevice &device, const std::vector<PollLogRow> &rows);
// Writes the report as a PDF file; false and the reason when it cannot.
bool blnWritePollLogReportPdf(const std::vector<PollLogRow> &rows, const QString &file, QString *why);
// The preview of the report, which can print it; not yet shown.
QPrintPreviewDialog *createPollLogReportPreview(const std::vector<PollLogRow> &rows, QPrinter &printer,
                                                QWidget *parent);
// Previews the report modally.
void showPollLogReportPreview(const std::vector<PollLogRow> &rows, QWidget *parent);

} // namespace hx
