// Takes the README's pictures of the poll log window on a demonstration site:
// the window with two logs selected, the print preview, and the import's
// confirmation box (answered No, so nothing is imported).
//   hxscreenshots SITE_DIR OUT_DIR
#include "component/modGlobal.h"
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

        QTimer::singleShot(600, [&] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                ok &= save(box, out.filePath(QStringLiteral("poll-log-confirm.png")));
                box->button(QMessageBox::No)->click();
            } else {
                ok = false;
            }
        });
        form.buttonClick(QStringLiteral("IMPORT"));
        form.shutDown();
    }
    setMessageBoxFace(nullptr);
    return ok ? 0 : 1;
}
