#include "window/ExceptionsReportPrint.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/modGlobal.h"
#include "window/PollLogReport.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <memory>

namespace hx {
namespace {
const QString kCaption = QStringLiteral("Exceptions Report");

QFont font(qreal points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

// Run twice: once to count the pages, once to paint them with "Page n of N".
int layOut(QPagedPaintDevice &device, QPainter *p, const ExceptionsReport &report, int pages) {
    const qreal w = device.width(), h = device.height();
    const QFont titleFont = font(16, true), headingFont = font(11, true), subFont = font(10, true),
                labelFont = font(9, true), detailFont = font(9), smallFont = font(8);
    const qreal title = QFontMetricsF(titleFont, &device).height();
    const qreal heading = QFontMetricsF(headingFont, &device).height() * 1.6;
    const qreal line = QFontMetricsF(detailFont, &device).height() * 1.3;
    const qreal small = QFontMetricsF(smallFont, &device).height();
    const qreal bottom = h - small - line * 0.5;
    // Column edges as parts of the width: date, employee, times, detail, clock.
    const qreal edges[] = {0, 0.115 * w, 0.30 * w, 0.43 * w, 0.78 * w, w};
    const QString printed = QStringLiteral("Printed ") + formatGeneralDate(Clock::nowSerial());
    const QString database =
        QStringLiteral("Database: ") + maskPassword(strDatabaseFullPath(strGetDatabaseFilePath()));

    auto cell = [&](qreal x0, qreal x1, qreal y, qreal height, const QString &text, Qt::Alignment align) {
        if (!p) return;
        p->drawText(QRectF(x0, y, x1 - x0, height), int(align | Qt::AlignVCenter | Qt::TextSingleLine),
                    p->fontMetrics().elidedText(text, Qt::ElideRight, int(x1 - x0 - 0.01 * w)));
    };
    int page = 1;
    qreal y = 0;
    auto header = [&] {
        if (p) {
            p->setPen(Qt::black);
            p->setFont(titleFont);
        }
        cell(0, w, 0, title, exceptionsTitle(report), Qt::AlignLeft);
        if (p) {
            p->setFont(smallFont);
            p->setPen(QColor(0x55, 0x55, 0x55));
        }
        cell(0, w * 0.7, title, small, database, Qt::AlignLeft);
        cell(w * 0.7, w, title, small, printed, Qt::AlignRight);
        if (p) {
            const qreal footer = h - small;
            cell(w / 2, w, footer, small, QStringLiteral("Page %1 of %2").arg(page).arg(pages),
                 Qt::AlignRight);
            p->setPen(Qt::black);
        }
        y = title + small + line;
    };
    auto need = [&](qreal height) {
        if (y + height <= bottom) return;
        if (p) device.newPage();
        ++page;
        header();
    };
    auto labels = [&] {
        if (p) p->setFont(labelFont);
        for (int c = 0; c < kExceptionColumns.size(); ++c)
            cell(edges[c], edges[c + 1], y, line, kExceptionColumns[c], Qt::AlignLeft);
        y += line;
        if (p) {
            p->setPen(QPen(Qt::black, std::max(1.0, device.logicalDpiY() / 72.0)));
            p->drawLine(QPointF(0, y), QPointF(w, y));
            p->setPen(Qt::black);
        }
        y += line * 0.2;
    };

    header();
    for (const ExceptionsSection &s : exceptionsSections(report)) {
        // A heading never ends a page: it keeps its labels and first row.
        need(heading + (s.rows.empty() ? 0 : 2.2 * line));
        if (p) p->setFont(s.sub ? subFont : headingFont);
        cell(s.sub ? 0.03 * w : 0, w, y, heading, s.heading, Qt::AlignLeft);
        y += heading;
        if (s.rows.empty()) continue;
        labels();
        for (const QStringList &row : s.rows) {
            const int before = page;
            need(line);
            if (page != before) labels();
            if (p) p->setFont(detailFont);
            for (int c = 0; c < row.size() && c < kExceptionColumns.size(); ++c)
                cell(edges[c], edges[c + 1], y, line, row[c], Qt::AlignLeft);
            y += line;
        }
    }
    return page;
}
} // namespace

void renderExceptionsReport(QPagedPaintDevice &device, const ExceptionsReport &report) {
    QPainter p(&device);
    // Counting needs the painter's metrics only, not its output.
    const int pages = layOut(device, nullptr, report, 0);
    layOut(device, &p, report, pages);
}

bool blnWriteExceptionsReportPdf(const ExceptionsReport &report, const QString &file, QString *why) {
    return blnWriteReportPdf(
        file, kCaption, [&report](QPagedPaintDevice &device) { renderExceptionsReport(device, report); }, why);
}

QPrintPreviewDialog *createExceptionsReportPreview(const ExceptionsReport &report, QPrinter &printer,
                                                   QWidget *parent) {
    return createReportPreview(
        printer, kCaption, [report](QPrinter &target) { renderExceptionsReport(target, report); }, parent);
}

void showExceptionsReportPreview(const ExceptionsReport &report, QWidget *parent) {
    QPrinter printer(QPrinter::HighResolution);
    std::unique_ptr<QPrintPreviewDialog> preview(createExceptionsReportPreview(report, printer, parent));
    preview->exec();
}

} // namespace hx
