// The poll log window on Qt's offscreen platform: start-up, the list and its
// toolbar, sorting, the bar table, the column widths, and an import.
#include "cli/CliTest.h"
#include "component/ImportLock.h"
#include "component/modGlobal.h"
#include "import/PollLogListModel.h"
#include "window/QtMessageBox.h"
#include "window/frmPollLog.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPrintPreviewDialog>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QTreeView>

using namespace hx;
using namespace hx::test;

namespace {
QApplication &qtApplication() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

// The command-line fixture's site with three employees, per-user settings in
// the test's folder, and no connection: the window opens its own.
class WindowTest : public CliSiteTest {
protected:
    void SetUp() override {
        qtApplication();
        CliSiteTest::SetUp();
        addEmployees(1, 3);
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, path(u"settings"_s));
        gConn.reset();
    }
    // Three poll logs of today (two of six shifts, padded by a comment to an
    // estimate of 10, and an empty one) and a file of an unknown clock.
    void writeSite() {
        const QDate today(2007, 4, 26);
        const QList<QByteArray> pad = {";" + QByteArray(700, '-')};
        writePoll(demo::pollFileName(QDateTime(today, QTime(9, 0)), 1), 1, 3,
                  {today.addDays(-3), today.addDays(-2)}, pad);
        writePoll(demo::pollFileName(QDateTime(today, QTime(13, 0)), 2), 1, 3, {today.addDays(-1), today},
                  pad);
        writeFile(u"polllogs/"_s + demo::pollFileName(QDateTime(today, QTime(11, 0)), 1), ";empty\r\n");
        writeFile(u"polllogs/"_s + demo::pollFileName(QDateTime(today, QTime(12, 0)), 9),
                  ";no such clock\r\n");
    }
    // Counts in the database, through a connection of the test's own.
    int checkCount(const char *table) {
        if (!m_check) m_check = Database::open(ConnectionSpec::forSqliteFile(path(u"site.db"_s)));
        return m_check->firstValue(u"SELECT COUNT(*) FROM \"%1\""_s.arg(QLatin1String(table)))->toInt();
    }
    static QStringList column(const frmPollLog &form, int c) {
        QStringList out;
        for (int r = 0; r < form.model().rowCount(); ++r)
            out << form.model().index(r, c).data().toString();
        return out;
    }
    static void select(frmPollLog &form, const QList<int> &rows) {
        auto *sel = form.listView()->selectionModel();
        sel->clearSelection();
        for (int r : rows)
            sel->select(form.model().index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    // Closes each print preview as soon as it is shown; counts them.
    static void closePreviews(QTimer &probe, int &shown) {
        QObject::connect(&probe, &QTimer::timeout, [&shown] {
            if (auto *preview = qobject_cast<QPrintPreviewDialog *>(QApplication::activeModalWidget())) {
                EXPECT_EQ(preview->windowTitle(), u"Exceptions Report"_s);
                ++shown;
                preview->reject();
            }
        });
        probe.start(0);
    }
    static void clickButton(frmPollLog &form, const QString &key) {
        QWidget *button = form.toolBar()->widgetForAction(form.action(key));
        ASSERT_NE(button, nullptr);
        QTest::mouseClick(button, Qt::LeftButton);
    }
    static bool imported(const frmPollLog &form, int row) {
        return form.model().index(row, 0).data(Qt::ToolTipRole).toString() == u"Imported"_s;
    }
    std::unique_ptr<Database> m_check;
};

QImage picture(const QVariant &icon) {
    return icon.value<QIcon>().pixmap(16).toImage();
}
} // namespace

// A file that is no database: the opener's box, and its cause for the host (a
// missing database: the C host's test).
TEST_F(WindowTest, StartUpFailuresGiveTheirReason) {
    subSetDatabaseFilePath(writeFile(u"garbage.db"_s, "not a database at all"));
    QString why;
    EXPECT_FALSE(ShowPollLog(&why));
    EXPECT_EQ(boxes.shown().size(), 1u);
    EXPECT_TRUE(why.startsWith(u"the database "_s + path(u"garbage.db"_s) + u" could not be opened: "_s))
        << why.toStdString();
    EXPECT_FALSE(why.contains(u"MDAC"_s)) << "the cause, not the box's frame";
}

TEST_F(WindowTest, ListToolbarMenuSortingAndSelection) {
    writeSite();
    frmPollLog form;
    ASSERT_TRUE(form.startUp());
    form.show();

    // The pop-up menu runs the toolbar's actions.
    const QList<QAction *> actions = form.toolBar()->actions();
    QList<QAction *> menu = form.popupMenu()->actions();
    menu.removeIf([](QAction *a) { return a->isSeparator(); });
    EXPECT_EQ(menu, (QList<QAction *>{actions[0], actions[1], actions[3], actions[4]}));
    EXPECT_FALSE(form.progressBar()->isVisible() || form.cancelButton()->isVisible());

    // Newest first; the file of the unknown clock is left out (moved to Pruned/).
    EXPECT_EQ(column(form, 0),
              (QStringList{u"04/26/07 01:00:00 pm"_s, u"04/26/07 11:00:00 am"_s, u"04/26/07 09:00:00 am"_s}));
    // An empty log shows the bad picture, the others the good one.
    EXPECT_EQ(picture(form.model().index(0, 0).data(Qt::DecorationRole)),
              picture(QIcon(u":/icons/POLL_LOG_GOOD.png"_s)));
    EXPECT_EQ(picture(form.model().index(1, 0).data(Qt::DecorationRole)),
              picture(QIcon(u":/icons/POLL_LOG_BAD.png"_s)));

    // The bar table and the caption follow the selection.
    struct Case {
        QList<int> rows;
        bool print, view, import;
        QString caption;
    };
    for (const Case &c : {Case{{}, false, false, false, u"Import Log"_s}, Case{{1}, true, true, true, u"Import Log"_s},
                          Case{{0, 2}, true, false, true, u"Import Logs"_s}}) {
        SCOPED_TRACE(c.rows.size());
        select(form, c.rows);
        EXPECT_EQ(form.action(u"PRINT"_s)->isEnabled(), c.print);
        EXPECT_EQ(form.action(u"VIEW"_s)->isEnabled(), c.view);
        EXPECT_EQ(form.action(u"IMPORT"_s)->isEnabled(), c.import);
        EXPECT_EQ(form.action(u"IMPORT"_s)->text(), c.caption);
    }
}

TEST_F(WindowTest, ImportOfTwoSelectedRowsThroughTheToolbar) {
    writeSite();
    frmPollLog form;
    ASSERT_TRUE(form.startUp());
    form.show();
    select(form, {0, 2});
    for (int answer : {Answer::Yes, Answer::Ok, Answer::Yes})
        boxes.pushAnswer(answer);
    QTimer previews;
    int previewsShown = 0;
    closePreviews(previews, previewsShown);
    bool statusShown = false, disabled = false;
    // The channel's repaints let the test look at the window mid-import.
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (!form.isImporting()) return;
        statusShown |= form.progressBar()->isVisible() && form.cancelButton()->isVisible();
        disabled |= !form.listView()->isEnabled() && !form.action(u"IMPORT"_s)->isEnabled();
    });
    probe.start(0);
    clickButton(form, u"IMPORT"_s);
    probe.stop();

    ASSERT_EQ(boxes.shown().size(), 3u);
    EXPECT_EQ(boxes.shown()[0].title, u"Import Poll Log"_s);
    EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(u"Are you sure you want to import 2 poll logs?\r\nWARNING!"_s));
    EXPECT_EQ(boxes.shown()[1].title, u"Success"_s);
    EXPECT_EQ(boxes.shown()[1].prompt, u"Poll Logs Imported Successfully"_s);
    // The rules' high warning of 0 gives each of the twelve pairs code 4.
    EXPECT_EQ(boxes.shown()[2].title, u"Import Summary"_s);
    EXPECT_TRUE(boxes.shown()[2].prompt.endsWith(
        u"\r\n\r\nThe import left 12 exceptions to look at (error codes). Show them now?"_s));
    EXPECT_EQ(boxes.shown()[2].buttons, Buttons::YesNo | Buttons::Question);
    EXPECT_EQ(previewsShown, 1);
    EXPECT_EQ(checkCount("IMPORT"), 0);
    EXPECT_EQ(postedPunches(), 24);
    EXPECT_TRUE(statusShown);
    EXPECT_TRUE(disabled);

    // The imported files are marked.
    EXPECT_FALSE(form.isImporting() || form.progressBar()->isVisible());
    EXPECT_TRUE(imported(form, 0));
    EXPECT_FALSE(imported(form, 1));
    EXPECT_TRUE(form.listView()->isEnabled() && form.action(u"IMPORT"_s)->isEnabled());
}

// Nothing is imported when the user answers No, when another import holds
// the lock (no waiting) or when the user cancels (a file that fails: the
// import command's test, through the same import).
TEST_F(WindowTest, AnsweredNoLockedCancelledOrFailedImportsNothing) {
    writeSite();
    frmPollLog form;
    ASSERT_TRUE(form.startUp());
    form.show();
    select(form, {0});
    boxes.pushAnswer(Answer::No);
    form.buttonClick(u"IMPORT"_s);
    ASSERT_EQ(boxes.shown().size(), 1u);

    {
        QString why;
        auto db = Database::open(ConnectionSpec::forSqliteFile(path(u"site.db"_s)));
        auto other = ImportLock::acquire(*db, std::chrono::milliseconds(0), &why);
        ASSERT_TRUE(other) << why.toStdString();
        select(form, {0});
        boxes.clear();
        form.buttonClick(u"IMPORT"_s);
        ASSERT_EQ(boxes.shown().size(), 1u);
        EXPECT_TRUE(boxes.shown()[0].prompt.startsWith(u"Another import is running"_s));
        EXPECT_FALSE(form.isImporting());
    }

    // Cancel as soon as the first file is under way: the second is never read.
    select(form, {0, 2});
    boxes.clear();
    boxes.pushAnswer(Answer::Yes);
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] {
        if (form.isImporting() && form.cancelButton()->isVisible() && form.cancelButton()->isEnabled())
            QTest::mouseClick(form.cancelButton(), Qt::LeftButton);
    });
    probe.start(0);
    clickButton(form, u"IMPORT"_s);
    probe.stop();
    ASSERT_EQ(boxes.shown().size(), 2u);
    EXPECT_EQ(boxes.shown()[1].title, u"Import Cancelled"_s);
    EXPECT_EQ(checkCount("PUNCH") + checkCount("IMPORT"), 0);
    EXPECT_FALSE(imported(form, 0));
    EXPECT_TRUE(form.listView()->isEnabled());
}

TEST_F(WindowTest, ShowPollLogIsTrueAfterTheUserClosesTheWindow) {
    writeSite();
    QString title;
    int rows = -1;
    QTimer::singleShot(50, [&] {
        auto *form = qobject_cast<frmPollLog *>(QApplication::activeModalWidget());
        ASSERT_NE(form, nullptr);
        title = form->windowTitle();
        rows = form->model().rowCount();
        form->close();
    });
    EXPECT_TRUE(ShowPollLog());
    EXPECT_EQ(title, u"POLL LOG"_s);
    EXPECT_EQ(rows, 3);
    EXPECT_FALSE(gConn) << "shut-down closed the connection";
}

TEST(QtMessageBoxFace, ButtonSetsSymbolsAndAnswers) {
    qtApplication();
    using B = QMessageBox;
    const struct {
        int buttons;
        QMessageBox::Icon icon;
        QList<QMessageBox::StandardButton> shown; // in the order of their values
        QMessageBox::StandardButton press;
        int answer;
    } cases[] = {
        {0, B::NoIcon, {B::Ok}, B::Ok, Answer::Ok},
        {Buttons::YesNoCancel | Buttons::Question, B::Question, {B::Yes, B::No, B::Cancel}, B::Yes, Answer::Yes},
        {Buttons::YesNo | Buttons::Exclamation, B::Warning, {B::Yes, B::No}, B::No, Answer::No},
    };
    QtMessageBox face;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.buttons);
        // The real face, answered by a click on the box it shows.
        QTimer::singleShot(0, [&] {
            auto *open = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            ASSERT_NE(open, nullptr);
            EXPECT_EQ(open->windowTitle(), u"Title"_s);
            EXPECT_EQ(open->text(), u"line one\nline two"_s);
            EXPECT_EQ(open->icon(), c.icon);
            QList<QMessageBox::StandardButton> shown;
            for (QAbstractButton *b : open->buttons())
                shown << open->standardButton(b);
            std::sort(shown.begin(), shown.end());
            EXPECT_EQ(shown, c.shown);
            open->button(c.press)->click();
        });
        EXPECT_EQ(face.show(u"Title"_s, u"line one\r\nline two"_s, c.buttons, 0), c.answer);
    }
    // Escape gives the answer that does no harm.
    QTimer::singleShot(0, [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    EXPECT_EQ(face.show(u"Title"_s, u"Prompt"_s, Buttons::YesNo, 0), Answer::No);
}
