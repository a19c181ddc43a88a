#include "window/PollLogReport.h"

#include "component/Clock.h"
#include "component/Database.h"
#include "component/DateTime.h"
#include "component/modGlobal.h"

#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLocale>
#include <QPainter>
#include <QPdfWriter>
#include <QPrintPreviewDialog>
#include <QPrinter>

namespace hx {
namespace {
const QString kCaption = QStringLiteral("Poll Log List Report");

// Letter where it is the custom (the United States and Canada), A4
// elsewhere; the locale of paper is LC_PAPER's, as the C library takes it.
QPageSize::PageSizeId paperOfLocale() {
    QString name;
    for (const char *var : {"LC_ALL", "LC_PAPER", "LANG"}) {
        name = qEnvironmentVariable(var);
        if (!name.isEmpty()) break;
    }
    const QLocale locale = name.isEmpty() ? QLocale::system() : QLocale(name.section(QLatin1Char('.'), 0, 0));
    const auto territory = locale.territory();
    return territory == QLocale::UnitedStates || territory == QLocale::Canada ? QPageSize::Letter
                                                                                : QPageSize::A4;
}

void setPage(QPagedPaintDevice &device) {
    device.setPageLayout(QPageLayout(QPageSize(paperOfLocale()), QPageLayout::Portrait,
                                     QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter));
}

QFont font(qreal points, bool bold = false) {
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}
} // namespace

void setReportPage(QPagedPaintDevice &device) {
    setPage(device);
}

void renderPollLogReport(QPagedPaintDevice &device, const std::vector<PollLogRow> &rows) {
    QPainter p(&device);
    const QRectF page(QPointF(0, 0), QSizeF(device.width(), device.height()));
    const QFont titleFont = font(16, true), labelFont = font(10, true), detailFont = font(10),
                smallFont = font(8);
    const qreal title = QFontMetricsF(titleFont, &device).height();
    const qreal label = QFontMetricsF(labelFont, &device).height();
    const qreal line = QFontMetricsF(detailFont, &device).height() * 1.3;
    const qreal small = QFontMetricsF(smallFont, &device).height();
    const qreal gap = line * 0.5;
    const qreal headerTop = title;
    const qreal labelsTop = headerTop + small + gap;
    const qreal detailTop = labelsTop + label + gap;
    const qreal detailBottom = page.height() - small - gap;
    const QString printed = QStringLiteral("Printed ") + formatGeneralDate(Clock::nowSerial());
    const QString database =
        QStringLiteral("Database: ") + maskPassword(strDatabaseFullPath(strGetDatabaseFilePath()));

    // Column places as parts of the width: date, clock, punches (right edge), file.
    const qreal w = page.width();
    const qreal xDate = 0, xClock = 0.27 * w, xClockRight = 0.54 * w, xPunchesRight = 0.68 * w,
                xFile = 0.73 * w;
    const int wrap = int(Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap);
    auto cell = [&](qreal x0, qreal x1, qreal y, qreal h, const QString &text, Qt::Alignment align,
                    bool cut = true) {
        p.drawText(QRectF(x0, y, x1 - x0, h), int(align | Qt::AlignVCenter | Qt::TextSingleLine),
                   cut ? p.fontMetrics().elidedText(text, Qt::ElideRight, int(x1 - x0)) : text);
    };
    // A clock name wraps in its column, so the row grows instead of cutting it.
    p.setFont(detailFont);
    std::vector<qreal> heights;
    heights.reserve(rows.size());
    const qreal lead = line - QFontMetricsF(detailFont, &device).height();
    for (const PollLogRow &r : rows) {
        const QRectF need = p.boundingRect(QRectF(xClock, 0, xClockRight - xClock, 1e9), wrap, r.clockName);
        heights.push_back(std::max(line, need.height() + lead));
    }
    // The rows of each page, then the totals line under the last one.
    std::vector<size_t> pageStarts{0};
    qreal y = detailTop;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (y + heights[i] > detailBottom && i > pageStarts.back()) {
            pageStarts.push_back(i);
            y = detailTop;
        }
        y += heights[i];
    }
    const bool totalsOwnPage = y + line * 1.5 > detailBottom;
    const int pages = int(pageStarts.size()) + (totalsOwnPage ? 1 : 0);
    long long punches = 0;
    for (const PollLogRow &r : rows)
        punches += r.approximatePunches;

    for (int n = 1; n <= pages; ++n) {
        if (n > 1) device.newPage();
        p.setPen(Qt::black);
        p.setFont(titleFont);
        cell(0, w, 0, title, QStringLiteral("Poll Log Files"), Qt::AlignLeft);
        p.setFont(smallFont);
        p.setPen(QColor(0x55, 0x55, 0x55));
        cell(0, w * 0.7, headerTop, small, database, Qt::AlignLeft);
        cell(w * 0.7, w, headerTop, small, printed, Qt::AlignRight);
        p.setPen(Qt::black);
        p.setFont(labelFont);
        cell(xDate, xClock, labelsTop, label, QStringLiteral("Poll Date & Time"), Qt::AlignLeft);
        cell(xClock, xClockRight, labelsTop, label, QStringLiteral("Clock Name"), Qt::AlignLeft);
        cell(xPunchesRight - 0.25 * w, xPunchesRight, labelsTop, label, QStringLiteral(" Approx. Punches"),
             Qt::AlignRight, false);
        cell(xFile, w, labelsTop, label, QStringLiteral("File Name"), Qt::AlignLeft);
        p.setPen(QPen(Qt::black, std::max(1.0, device.logicalDpiY() / 72.0)));
        const qreal rule = labelsTop + label + gap * 0.4;
        p.drawLine(QPointF(0, rule), QPointF(w, rule));

        p.setFont(detailFont);
        p.setPen(Qt::black);
        qreal top = detailTop;
        if (size_t(n) <= pageStarts.size()) {
            const size_t end = size_t(n) < pageStarts.size() ? pageStarts[size_t(n)] : rows.size();
            for (size_t i = pageStarts[size_t(n) - 1]; i < end; ++i) {
                const PollLogRow &r = rows[i];
                cell(xDate, xClock, top, line, r.pollDate, Qt::AlignLeft);
                p.drawText(QRectF(xClock, top + lead / 2, xClockRight - xClock, heights[i]), wrap, r.clockName);
                cell(xClockRight, xPunchesRight, top, line, QString::number(r.approximatePunches), Qt::AlignRight);
                cell(xFile, w, top, line, r.fileName, Qt::AlignLeft);
                top += heights[i];
            }
        }
        if (n == pages) {
            p.setFont(labelFont);
            const qreal at = top + line * 0.5;
            cell(0, w, at, line,
                 QStringLiteral("%1 poll log%2, about %3 punch%4")
                     .arg(rows.size())
                     .arg(rows.size() == 1 ? QString() : QStringLiteral("s"))
                     .arg(punches)
                     .arg(punches == 1 ? QString() : QStringLiteral("es")),
                 Qt::AlignLeft);
        }

        p.setFont(smallFont);
        p.setPen(QColor(0x55, 0x55, 0x55));
        const qreal footerTop = page.height() - small;
        cell(w / 2, w, footerTop, small, QStringLiteral("Page %1 of %2").arg(n).arg(pages), Qt::AlignRight);
    }
}

bool blnWriteReportPdf(const QString &file, const QString &caption,
                       const std::function<void(QPagedPaintDevice &)> &render, QString *why) {
    {
        QFile probe(file);
        if (!probe.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            if (why) *why = QStringLiteral("%1 cannot be written: %2").arg(file, probe.errorString());
            return false;
        }
    }
    QPdfWriter writer(file);
    writer.setTitle(caption);
    writer.setCreator(QStringLiteral("hxpolllog"));
    writer.setResolution(600);
    setReportPage(writer);
    render(writer);
    if (!QFileInfo(file).isFile() || QFileInfo(file).size() == 0) {
        if (why) *why = QStringLiteral("%1 cannot be written.").arg(file);
        return false;
    }
    return true;
}

QPrintPreviewDialog *createReportPreview(QPrinter &printer, const QString &caption,
                                         const std::function<void(QPrinter &)> &render, QWidget *parent) {
    setReportPage(printer);
    printer.setDocName(caption);
    auto *preview = new QPrintPreviewDialog(&printer, parent);
    preview->setWindowTitle(caption);
    QObject::connect(preview, &QPrintPreviewDialog::paintRequested, preview,
                     [render](QPrinter *target) { render(*target); });
    preview->resize(760, 900);
    return preview;
}

bool blnWritePollLogReportPdf(const std::vector<PollLogRow> &rows, const QString &file, QString *why) {
    return blnWriteReportPdf(
        file, kCaption, [&rows](QPagedPaintDevice &device) { renderPollLogReport(device, rows); }, why);
}

QPrintPreviewDialog *createPollLogReportPreview(const std::vector<PollLogRow> &rows, QPrinter &printer,
                                                QWidget *parent) {
    return createReportPreview(
        printer, kCaption, [rows](QPrinter &target) { renderPollLogReport(target, rows); }, parent);
}

void showPollLogReportPreview(const std::vector<PollLogRow> &rows, QWidget *parent) {
    QPrinter printer(QPrinter::HighResolution);
    std::unique_ptr<QPrintPreviewDialog> preview(createPollLogReportPreview(rows, printer, parent));
    preview->exec();
}

} // namespace hx
