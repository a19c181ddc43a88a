// Takes the README's pictures of the poll log window on a demonstration site:
// the window with two logs selected, the print preview, the exceptions
// preview, the import's confirmation box, the window during an import of
// every listed file (the site's poll logs copied ten times over) and the
// summary box after it.
//   hxscreenshots SITE_DIR OUT_DIR
#include "component/Database.h"
#include "component/modGlobal.h"
#include "hours/ExceptionsReport.h"
#include "window/ExceptionsReportPrint.h"
#include "window/PollLogReport.h"
#include "window/QtMessageBox.h"
#include "window/frmPollLog.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrinter>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>
#include <QLabel>
#include <QProgressBar>
#include <QTreeView>
#include <cstdio>

using namespace hx;

namespace {
void settle(int ms) {
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QApplication::processEvents(QEventLoop::AllEvents, 20);
}

bool save(QWidget *w, const QString &file) {
    const bool ok = w->grab().save(file);
    std::fprintf(stderr, "%s %s\n", ok ? "wrote" : "could not write", qPrintable(file));
    return ok;
}
} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    if (argc != 3) {
        std::fputs("usage: hxscreenshots SITE_DIR OUT_DIR\n", stderr);
        return 2;
    }
    const QDir site(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());
    subSetDatabaseFilePath(site.filePath(QStringLiteral("site.db")));
    subSetApplicationPath(site.filePath(QStringLiteral("app")));
    subSetPollLogPath(site.filePath(QStringLiteral("polllogs")));
    subSetErrorLogPath(site.filePath(QStringLiteral("logs")));
    // The user's own column widths stay out of the pictures.
    QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());

    QtMessageBox face;
    setMessageBoxFace(&face);
    bool ok = true;
    {
        frmPollLog form;
        if (!form.startUp()) {
            std::fputs("the demonstration site's database did not open\n", stderr);
            return 1;
        }
        form.show();
        auto *sel = form.listView()->selectionModel();
        for (int r : {1, 2})
            sel->select(form.listView()->model()->index(r, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
        settle(400);
        ok &= save(&form, out.filePath(QStringLiteral("poll-log-window.png")));

        QPrinter printer(QPrinter::HighResolution);
        std::unique_ptr<QPrintPreviewDialog> preview(
            createPollLogReportPreview(form.recordset().rows(), printer, &form));
        preview->show();
        settle(1200);
        ok &= save(preview.get(), out.filePath(QStringLiteral("poll-log-preview.png")));
        preview->close();

        {
            QPrinter exceptionsPrinter(QPrinter::HighResolution);
            const auto [since, until] = defaultExceptionsRange(gConn.get());
            std::unique_ptr<QPrintPreviewDialog> exceptions(
                createExceptionsReportPreview(collectExceptions(*gConn, since, until), exceptionsPrinter, &form));
            exceptions->show();
            settle(1200);
            ok &= save(exceptions.get(), out.filePath(QStringLiteral("exceptions-preview.png")));
            exceptions->close();
        }

        // Many files for the import: each poll log again under nine later poll
        // times (the hexadecimal time code before the year), same clock.
        for (const QString &name : QDir(site.filePath(QStringLiteral("polllogs"))).entryList({QStringLiteral("*.}??")})) {
            bool hex = false;
            const qint64 code = name.left(name.size() - 6).toLongLong(&hex, 16);
            if (!hex) continue;
            for (int k = 1; k < 10; ++k)
                QFile::copy(site.filePath(QStringLiteral("polllogs/") + name),
                            site.filePath(QStringLiteral("polllogs/") +
                                          QStringLiteral("%1").arg(code + k, int(name.size()) - 6, 16, QLatin1Char('0')).toUpper() +
                                          name.right(6)));
        }
        form.refresh();

        // The import of every file: its confirmation, the window under way,
        // and the summary after it (exceptions not shown).
        form.listView()->selectAll();
        bool confirmed = false, during = false, summary = false;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (box && !confirmed) {
                confirmed = true;
                ok &= save(box, out.filePath(QStringLiteral("poll-log-confirm.png")));
                box->button(QMessageBox::Yes)->click();
            } else if (box && box->windowTitle().contains(QStringLiteral("Summary"))) {
                summary = true;
                ok &= save(box, out.filePath(QStringLiteral("import-summary.png")));
                if (auto *no = box->button(QMessageBox::No)) no->click();
                else box->button(QMessageBox::Ok)->click();
            } else if (box) {
                box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
            } else if (!during && form.isImporting() && form.fileCountLabel()->text().startsWith(QStringLiteral("File 4"))) {
                during = true;
                form.repaint();
                ok &= save(&form, out.filePath(QStringLiteral("poll-log-importing.png")));
            }
        });
        watch.start(0);
        form.buttonClick(QStringLiteral("IMPORT"));
        watch.stop();
        ok &= confirmed && during && summary;
        form.shutDown();
    }
    setMessageBoxFace(nullptr);
    return ok ? 0 : 1;
}
