#pragma once
// A site for the window: the command-line fixture's clocks, three employees and poll
// logs, a QApplication on the offscreen platform, and per-user settings kept
// in the test's own folder.
#include "cli/CliTest.h"

#include "component/modGlobal.h"

#include <QApplication>
#include <QSettings>

namespace hx::test {

inline QApplication &qtApplication() {
    static int argc = 1;
    static char name[] = "window_tests";
    static char *argv[] = {name, nullptr};
    static QApplication *app = new QApplication(argc, argv);
    return *app;
}

class WindowSiteTest : public CliSiteTest {
protected:
    void SetUp() override {
        qtApplication();
        CliSiteTest::SetUp();
        addEmployees(1, 3);
        for (auto format : {QSettings::NativeFormat, QSettings::IniFormat})
            QSettings::setPath(format, QSettings::UserScope, path(u"settings"_s));
        // The window opens its own connection at start-up.
        gConn.reset();
    }
    void TearDown() override { CliSiteTest::TearDown(); }
    // Opens a connection of the test's own to look at the database.
    Database &check() {
        if (!m_check) m_check = Database::open(ConnectionSpec::forSqliteFile(path(u"site.db"_s)));
        return *m_check;
    }
    int checkCount(const QString &sql) { return check().firstValue(sql)->toInt(); }
    QSettings settings() const { return QSettings(u"QX8"_s, u"QX8"_s); }

    std::unique_ptr<Database> m_check;
};

} // namespace hx::test
