#include "window/PollLogReport.h"

#include "component/Clock.h"
#include "component/DateTime.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace hx {
namespace {
const QString kCaption = QStringLiteral("Poll Log List Report");

void setPage(QPagedPaintDevice &device) {
    device.setPageLayout(QPageLayout(QPageSize(QPageSize::Letter), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter));
}

QFont font(qreal points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

void renderPollLogReport(QPagedPaintDevice &device, const std::vector<PollLogRow> &rows) {
    QPainter p(&device);
    const QRectF page(QPointF(0, 0), QSizeF(device.width(), device.height()));
    const QFont titleFont = font(16, true), labelFont = font(10, true), detailFont = font(10),
                footerFont = font(8);
    const qreal title = QFontMetricsF(titleFont, &device).height();
    const qreal label = QFontMetricsF(labelFont, &device).height();
    const qreal line = QFontMetricsF(detailFont, &device).height() * 1.3;
    const qreal footer = QFontMetricsF(footerFont, &device).height();
    const qreal gap = line * 0.5;
    const qreal detailTop = title + gap + label + gap;
    const qreal detailBottom = page.height() - footer - gap;
    const int perPage = std::max(1, int((detailBottom - detailTop) / line));
    const int pages = std::max(1, int((rows.size() + size_t(perPage) - 1) / size_t(perPage)));
    const QString printed = QStringLiteral("Printed ") + formatGeneralDate(Clock::nowSerial());

    // Column places as parts of the width: date, clock, punches (right edge), file.
    const qreal w = page.width();
    const qreal xDate = 0, xClock = 0.27 * w, xPunchesRight = 0.68 * w, xFile = 0.73 * w;
    // Values too long for their column are cut with an ellipsis; labels always fit.
    auto cell = [&](qreal x0, qreal x1, qreal y, qreal h, const QString &text, Qt::Alignment align,
                    bool cut = true) {
        p.drawText(QRectF(x0, y, x1 - x0, h), int(align | Qt::AlignVCenter | Qt::TextSingleLine),
                   cut ? p.fontMetrics().elidedText(text, Qt::ElideRight, int(x1 - x0)) : text);
    };

    size_t next = 0;
    for (int n = 1; n <= pages; ++n) {
        if (n > 1) device.newPage();
        p.setPen(Qt::black);
        p.setFont(titleFont);
        cell(0, w, 0, title, QStringLiteral("Poll Log Files"), Qt::AlignLeft);
        const qreal labelsTop = title + gap;
        p.setFont(labelFont);
        cell(xDate, xClock, labelsTop, label, QStringLiteral("Poll Date & Time"), Qt::AlignLeft);
        cell(xClock, xPunchesRight - 0.14 * w, labelsTop, label, QStringLiteral("Clock Name"), Qt::AlignLeft);
        cell(xPunchesRight - 0.25 * w, xPunchesRight, labelsTop, label, QStringLiteral(" Approx. Punches"),
             Qt::AlignRight, false);
        cell(xFile, w, labelsTop, label, QStringLiteral("File Name"), Qt::AlignLeft);
        p.setPen(QPen(Qt::black, std::max(1.0, device.logicalDpiY() / 72.0)));
        const qreal rule = labelsTop + label + gap * 0.4;
        p.drawLine(QPointF(0, rule), QPointF(w, rule));

        p.setFont(detailFont);
        p.setPen(Qt::black);
        for (int i = 0; i < perPage && next < rows.size(); ++i, ++next) {
            const PollLogRow &r = rows[next];
            const qreal y = detailTop + i * line;
            cell(xDate, xClock, y, line, r.pollDate, Qt::AlignLeft);
            cell(xClock, xPunchesRight - 0.14 * w, y, line, r.clockName, Qt::AlignLeft);
            cell(xPunchesRight - 0.14 * w, xPunchesRight, y, line, QString::number(r.approximatePunches),
                 Qt::AlignRight);
            cell(xFile, w, y, line, r.fileName, Qt::AlignLeft);
        }

        p.setFont(footerFont);
        p.setPen(QColor(0x55, 0x55, 0x55));
        const qreal footerTop = page.height() - footer;
        cell(0, w / 2, footerTop, footer, printed, Qt::AlignLeft);
        cell(w / 2, w, footerTop, footer, QStringLiteral("Page %1 of %2").arg(n).arg(pages), Qt::AlignRight);
    }
}

bool blnWritePollLogReportPdf(const std::vector<PollLogRow> &rows, const QString &file, QString *why) {
    {
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (why) *why = QStringLiteral("%1 cannot be written: %2").arg(file, probe.errorString());
            return false;
        }
    }
    QPdfWriter writer(file);
    writer.setTitle(kCaption);
    writer.setCreator(QStringLiteral("hxpolllog"));
    writer.setResolution(600);
    setPage(writer);
    renderPollLogReport(writer, rows);
    if (!QFileInfo(file).isFile() || QFileInfo(file).size() == 0) {
        if (why) *why = QStringLiteral("%1 cannot be written.").arg(file);
        return false;
    }
    return true;
}

QPrintPreviewDialog *createPollLogReportPreview(const std::vector<PollLogRow> &rows, QPrinter &printer,
                                                QWidget *parent) {
    setPage(printer);
    printer.setDocName(kCaption);
    auto *preview = new QPrintPreviewDialog(&printer, parent);
    preview->setWindowTitle(kCaption);
    QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                     [rows](QPrinter *target) { renderPollLogReport(*target, rows); });
    preview->resize(760, 900);
    return preview;
}

void showPollLogReportPreview(const std::vector<PollLogRow> &rows, QWidget *parent) {
    QPrinter printer(QPrinter::HighResolution);
    std::unique_ptr<QPrintPreviewDialog> preview(createPollLogReportPreview(rows, printer, parent));
    preview->exec();
}

} // namespace hx
