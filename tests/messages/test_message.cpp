// The message and progress channel, seen through recording display elements.
#include "component/modGlobal.h"
#include "messages/clsMessage.h"
#include "support/TestSupport.h"


using namespace hx;
using namespace Qt::Literals::StringLiterals;

namespace {
// One recording element; each test uses an instance per role.
struct Element : ProgressBarElement, LabelElement, MessageListElement {
    int minimum = -1, maximum = -1, value = -1;
    bool visible = true;
    QString caption = u"untouched"_s;
    QStringList entries;
    void setMinimum(int v) override { minimum = v; }
    void setMaximum(int v) override { maximum = v; }
    void setValue(int v) override { value = v; }
    void setVisible(bool v) override { visible = v; }
    void setCaption(const QString &t) override { caption = t; }
    void addEntry(const QString &t) override { entries << t; }
};

class MessageTest : public hx::test::SiteTest {};
} // namespace

// A large total is scaled into the bar's sixteen bits (the percentage of a
// large total: the terminal progress test); a value never passes the total;
// cancel is set once and stays.
TEST_F(MessageTest, ProgressFitsTheBarAndCancelStays) {
    Element bar, percent;
    clsMessage m;
    m.setProProgressBar(&bar);
    m.setLblPercentage(&percent);
    m.setBlnIsProgress(true);
    EXPECT_TRUE(bar.visible && percent.visible);
    m.setLngProgressTotal(100000);
    m.setLngProgressValue(50000);
    EXPECT_EQ(bar.maximum, 25000);
    EXPECT_EQ(bar.value, 12500);
    m.setIntProgressTotal(100);
    m.setIntProgressValue(150);
    EXPECT_EQ(bar.value, 100);
    EXPECT_EQ(percent.caption, u"100%"_s);
    m.setBlnIsProgress(false);
    EXPECT_FALSE(bar.visible || percent.visible);

    m.setBlnCancelPressed(true);
    m.setBlnIsCancel(false);
    EXPECT_TRUE(m.blnIsCancel());
}

// The status text goes to what is attached and, while it is on, to the
// message log. Going away clears the status and hides the progress.
TEST_F(MessageTest, StatusTextGoesToWhatIsAttachedAndTheMessageLog) {
    Element list, status, bar;
    {
        clsMessage m;
        m.setLstUIMessageList(&list);
        m.setLblStatus(&status);
        m.setProProgressBar(&bar);
        m.setBlnIsProgress(true);
        m.setStrUIMessage(u"Importing 0426171709A1.txt"_s);
        m.setStrUIMessage(u"Posting"_s);
        EXPECT_EQ(list.entries, (QStringList{u"Importing 0426171709A1.txt"_s, u"Posting"_s}));
        EXPECT_EQ(status.caption, u"Posting"_s);

        m.setBlnLogMessages(true);
        m.setStrUIMessage(u"Reading file"_s);
        m.setBlnLogMessages(false);
        m.setStrUIMessage(u"not logged"_s);
    }
    EXPECT_EQ(status.caption, QString());
    EXPECT_FALSE(bar.visible);
    EXPECT_EQ(readFile(u"app/MessageLog.txt"_s), QByteArray("4/26/2007 5:17:00 PM        Reading file\r\n"));
}
