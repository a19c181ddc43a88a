// The message and progress channel, seen through recording display elements.
#include "component/modGlobal.h"
#include "messages/clsMessage.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace hx;

namespace {
// One recording element; each test uses an instance per role.
struct Element : ProgressBarElement, LabelElement, MessageListElement {
    int minimum = -1, maximum = -1, value = -1;
    bool visible = true;
    QString caption = QStringLiteral("untouched");
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

TEST_F(MessageTest, LargeProgressIsScaledIntoSixteenBits) {
    Element bar, percent;
    clsMessage m;
    m.setProProgressBar(&bar);
    m.setLblPercentage(&percent);
    m.setBlnIsProgress(true);
    m.setLngProgressTotal(100000);
    EXPECT_EQ(m.scaleDivisor(), 4);
    EXPECT_EQ(bar.maximum, 25000);
    m.setLngProgressValue(50000);
    EXPECT_EQ(m.lngProgressValue(), 50000);
    EXPECT_EQ(bar.value, 12500);
    EXPECT_EQ(percent.caption, QStringLiteral("50%"));
    m.setLngProgressTotal(1000); // the divisor never shrinks
    EXPECT_EQ(m.intProgressTotal(), 250);

    // {total, divisor, scaled total}: 65537 is the largest total one halving
    // brings under 32769, and 32768 does not fit: the top step shows full.
    for (const auto &[total, divisor, scaled] :
         {std::tuple{32767, 1, 32767}, std::tuple{65537, 2, 32767}, std::tuple{65538, 3, 21846}}) {
        clsMessage edge;
        edge.setLngProgressTotal(total);
        EXPECT_EQ(edge.scaleDivisor(), divisor) << total;
        EXPECT_EQ(edge.intProgressTotal(), scaled) << total;
    }
    // A value that grows the divisor rescales the total; the value never passes it.
    clsMessage grows;
    grows.setLngProgressTotal(10000);
    grows.setLngProgressValue(40000);
    EXPECT_EQ(grows.scaleDivisor(), 2);
    EXPECT_EQ(grows.intProgressTotal(), 5000);
    EXPECT_EQ(grows.intProgressValue(), 5000);
}

TEST_F(MessageTest, ValueTotalAndPercentageRules) {
    Element bar, percent;
    clsMessage m;
    m.setProProgressBar(&bar);
    m.setLblPercentage(&percent);
    EXPECT_EQ(bar.maximum, 100);
    EXPECT_EQ(bar.value, 1);
    EXPECT_FALSE(bar.visible || percent.visible);
    m.setBlnIsProgress(true);
    EXPECT_TRUE(bar.visible && percent.visible);

    m.setIntProgressTotal(0); // not a total: ignored
    m.setIntProgressTotal(-5);
    m.setIntProgressValue(150);
    EXPECT_EQ(m.intProgressTotal(), 100);
    EXPECT_EQ(bar.value, 100);
    EXPECT_EQ(percent.caption, QStringLiteral("100%"));
    // Halves go to the even percentage.
    for (const auto &[total, value, text] :
         {std::tuple{200, 1, "0%"}, std::tuple{200, 3, "2%"}, std::tuple{8, 1, "12%"}}) {
        m.setIntProgressTotal(int16_t(total));
        m.setIntProgressValue(int16_t(value));
        EXPECT_EQ(percent.caption, QLatin1String(text)) << value << "/" << total;
    }
    m.setBlnIsProgress(false);
    EXPECT_FALSE(bar.visible || percent.visible);

    // Cancel is set once and stays.
    m.setBlnCancelPressed(true);
    m.setBlnIsCancel(false);
    EXPECT_TRUE(m.blnIsCancel());
}

TEST_F(MessageTest, StatusTextGoesToWhatIsAttached) {
    Element list, status, bar;
    {
        clsMessage m;
        m.setLstUIMessageList(&list);
        m.setLblStatus(&status);
        EXPECT_EQ(status.caption, QString());
        m.setProProgressBar(&bar);
        m.setBlnIsProgress(true);
        m.setStrUIMessage(QStringLiteral("Importing 0426171709A1.txt"));
        m.setStrUIMessage(QStringLiteral("Posting"));
        EXPECT_EQ(list.entries,
                  QStringList({QStringLiteral("Importing 0426171709A1.txt"), QStringLiteral("Posting")}));
        EXPECT_EQ(status.caption, QStringLiteral("Posting"));
    }
    // Going away clears the status and hides the progress; nothing was logged.
    EXPECT_EQ(status.caption, QString());
    EXPECT_FALSE(bar.visible);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("app/MessageLog.txt"))));
}

TEST_F(MessageTest, MessageLogLinesUseTheNextPrintZone) {
    {
        clsMessage m;
        m.setBlnLogMessages(true);
        m.setBlnLogMessages(true);
        m.setStrUIMessage(QStringLiteral("Reading file"));
        setNow(QStringLiteral("2007-11-30 00:00:00"));
        m.setStrUIMessage(QStringLiteral("Midnight"));
        m.setBlnLogMessages(false);
        m.setStrUIMessage(QStringLiteral("not logged"));
        setNow(QStringLiteral("2007-04-26 09:05:01"));
        m.setBlnLogMessages(true);
        m.setStrUIMessage(QStringLiteral("again"));
    }
    // "4/26/2007 5:17:00 PM" is 20 wide: the text starts at column 29. Going
    // away clears the status text while the log is still on.
    EXPECT_EQ(readFile(QStringLiteral("app/MessageLog.txt")),
              QByteArray("4/26/2007 5:17:00 PM        Reading file\r\n"
                         "11/30/2007    Midnight\r\n"
                         "4/26/2007 9:05:01 AM        again\r\n"
                         "4/26/2007 9:05:01 AM        \r\n"));
}

TEST_F(MessageTest, AMessageLogThatCannotBeOpenedIsReportedAndLoggingStaysOff) {
    subSetApplicationPath(path(QStringLiteral("missing")));
    clsMessage m;
    m.setBlnLogMessages(true);
    EXPECT_FALSE(m.blnLogMessages());
    ASSERT_EQ(boxes.shown().size(), 1u);
    EXPECT_EQ(boxes.shown()[0].title, QStringLiteral("Horalis Error"));
    EXPECT_TRUE(
        readFile(QStringLiteral("logs/QX8log.txt")).contains("Where: clsMessage:_Let blnLogMessages \r\n"));
    m.setStrUIMessage(QStringLiteral("still works"));
    EXPECT_EQ(m.strUIMessage(), QStringLiteral("still works"));
}
