#pragma once
// The printed exceptions report: a header naming the database and the print
// time, one heading per section with its count, the rows under column labels,
// page numbers in the footer.
#include "hours/ExceptionsReport.h"

#include <QString>

class QPagedPaintDevice;
class QPrintPreviewDialog;
class QPrinter;
class QWidget;

namespace hx {

void renderExceptionsReport(QPagedPaintDevice &device, const ExceptionsReport &report);
// Writes the report as a PDF file; false and the reason when it cannot.
bool blnWriteExceptionsReportPdf(const ExceptionsReport &report, const QString &file, QString *why);
// The preview of the report, which can print it; not yet shown.
QPrintPreviewDialog *createExceptionsReportPreview(const ExceptionsReport &report, QPrinter &printer,
                                                   QWidget *parent);
// Previews the report modally.
void showExceptionsReportPreview(const ExceptionsReport &report, QWidget *parent);

} // namespace hx
