// The message and progress channel, seen through recording display elements.
#include "component/modGlobal.h"
#include "messages/clsMessage.h"
#include "support/TestSupport.h"

#include <QFile>

using namespace hx;

namespace {
struct Bar : ProgressBarElement {
    int minimum = -1, maximum = -1, value = -1;
    bool visible = true;
    void setMinimum(int v) override { minimum = v; }
    void setMaximum(int v) override { maximum = v; }
    void setValue(int v) override { value = v; }
    void setVisible(bool v) override { visible = v; }
};
struct Label : LabelElement {
    QString caption = QStringLiteral("untouched");
    bool visible = true;
    void setCaption(const QString &t) override { caption = t; }
    void setVisible(bool v) override { visible = v; }
};
struct List : MessageListElement {
    QStringList entries;
    void addEntry(const QString &t) override { entries << t; }
};

class MessageTest : public hx::test::SiteTest {};
} // namespace

TEST_F(MessageTest, LargeProgressIsScaledIntoSixteenBits) {
    Bar bar;
    Label percent;
    clsMessage m;
    m.setProProgressBar(&bar);
    m.setLblPercentage(&percent);
    m.setBlnIsProgress(true);
    m.setLngProgressTotal(100000);
    EXPECT_EQ(m.scaleDivisor(), 4);
    EXPECT_EQ(m.intProgressTotal(), 25000);
    EXPECT_EQ(m.lngProgressTotal(), 100000);
    EXPECT_EQ(bar.maximum, 25000);
    m.setLngProgressValue(50000);
    EXPECT_EQ(m.intProgressValue(), 12500);
    EXPECT_EQ(m.lngProgressValue(), 50000);
    EXPECT_EQ(bar.value, 12500);
    EXPECT_EQ(percent.caption, QStringLiteral("50%"));

    // The divisor never shrinks.
    m.setLngProgressTotal(1000);
    EXPECT_EQ(m.scaleDivisor(), 4);
    EXPECT_EQ(m.intProgressTotal(), 250);

    // 65537 is the largest total that one halving brings under 32769.
    clsMessage edge;
    edge.setLngProgressTotal(65537);
    EXPECT_EQ(edge.scaleDivisor(), 2);
    EXPECT_EQ(edge.intProgressTotal(), 32767); // 32768 does not fit: the top step shows full
    edge.setLngProgressTotal(65538);
    EXPECT_EQ(edge.scaleDivisor(), 3);
    EXPECT_EQ(edge.intProgressTotal(), 21846);
}

TEST_F(MessageTest, AValueThatGrowsTheDivisorRescalesTheTotal) {
    clsMessage m;
    m.setLngProgressTotal(10000);
    EXPECT_EQ(m.scaleDivisor(), 1);
    m.setLngProgressValue(40000);
    EXPECT_EQ(m.scaleDivisor(), 2);
    EXPECT_EQ(m.intProgressTotal(), 5000);
    EXPECT_EQ(m.intProgressValue(), 5000); // never above the total
}

TEST_F(MessageTest, ValueTotalAndPercentageRules) {
    Bar bar;
    Label percent;
    clsMessage m;
    EXPECT_EQ(m.intProgressTotal(), 100);
    EXPECT_EQ(m.intProgressValue(), 1);
    m.setProProgressBar(&bar);
    EXPECT_EQ(bar.maximum, 100);
    EXPECT_EQ(bar.value, 1);
    EXPECT_FALSE(bar.visible);
    m.setLblPercentage(&percent);
    EXPECT_FALSE(percent.visible);

    m.setBlnIsProgress(true);
    EXPECT_TRUE(bar.visible);
    EXPECT_TRUE(percent.visible);
    EXPECT_EQ(bar.minimum, 0);

    m.setIntProgressTotal(0);
    m.setIntProgressTotal(-5);
    EXPECT_EQ(m.intProgressTotal(), 100);
    m.setIntProgressValue(150);
    EXPECT_EQ(m.intProgressValue(), 100);
    EXPECT_EQ(bar.value, 100);
    EXPECT_EQ(percent.caption, QStringLiteral("100%"));

    // Halves go to the even percentage.
    m.setIntProgressTotal(200);
    m.setIntProgressValue(1);
    EXPECT_EQ(percent.caption, QStringLiteral("0%"));
    m.setIntProgressValue(3);
    EXPECT_EQ(percent.caption, QStringLiteral("2%"));
    m.setIntProgressTotal(8);
    m.setIntProgressValue(1);
    EXPECT_EQ(percent.caption, QStringLiteral("12%"));

    m.setBlnIsProgress(false);
    EXPECT_FALSE(bar.visible);
    EXPECT_FALSE(percent.visible);
}

TEST_F(MessageTest, CancelIsSetOnceAndStays) {
    clsMessage m;
    EXPECT_FALSE(m.blnIsCancel());
    m.setBlnIsCancel(false);
    EXPECT_FALSE(m.blnCancelPressed());
    m.setBlnCancelPressed(true);
    m.setBlnIsCancel(false);
    EXPECT_TRUE(m.blnIsCancel());
    EXPECT_TRUE(m.blnCancelPressed());
}

TEST_F(MessageTest, StatusTextGoesToWhatIsAttached) {
    {
        clsMessage bare;
        bare.setStrUIMessage(QStringLiteral("Reading"));
        EXPECT_EQ(bare.strUIMessage(), QStringLiteral("Reading"));
    }
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("app/MessageLog.txt"))));
    EXPECT_TRUE(boxes.shown().empty());

    List list;
    Label status;
    Bar bar;
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
                  (QStringList{QStringLiteral("Importing 0426171709A1.txt"), QStringLiteral("Posting")}));
        EXPECT_EQ(status.caption, QStringLiteral("Posting"));
        EXPECT_TRUE(bar.visible);
    }
    // Going away clears the status and hides the progress.
    EXPECT_EQ(status.caption, QString());
    EXPECT_FALSE(bar.visible);
}

TEST_F(MessageTest, MessageLogLinesUseTheNextPrintZone) {
    {
        clsMessage m;
        m.setBlnLogMessages(true);
        m.setBlnLogMessages(true);
        EXPECT_TRUE(m.blnLogMessages());
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

TEST_F(MessageTest, AMessageLogThatCannotBeOpenedIsReported) {
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
