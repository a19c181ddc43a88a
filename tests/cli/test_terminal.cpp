// The terminal face and the progress display of the command-line host. Their
// sources belong to the host program, not to the core library, so they are
// compiled into this test directly.
#include "cli/TerminalFace.cpp"
#include "cli/TerminalProgress.cpp"

#include <gtest/gtest.h>

using namespace hx;
using namespace hx::cli;

namespace {
// A scratch stream: written by the code, read back by the test.
class Stream {
public:
    Stream() : m_file(std::tmpfile()) {}
    explicit Stream(const QByteArray &content) : Stream() {
        std::fwrite(content.constData(), 1, size_t(content.size()), m_file);
        std::rewind(m_file);
    }
    ~Stream() { std::fclose(m_file); }
    std::FILE *get() const { return m_file; }
    QString text() const {
        std::fflush(m_file);
        const long end = std::ftell(m_file);
        QByteArray all(end, '\0');
        std::rewind(m_file);
        const size_t n = std::fread(all.data(), 1, size_t(end), m_file);
        std::fseek(m_file, 0, SEEK_END);
        return QString::fromLocal8Bit(all.left(qsizetype(n)));
    }

private:
    std::FILE *m_file;
};
} // namespace

TEST(TerminalFace, PresetsAnswerEveryButtonSetAndFallBackToTheSafeAnswer) {
    using P = PresetAnswer;
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::Yes, Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::No, Buttons::YesNo), Answer::No);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::Yes, Buttons::OkCancel | Buttons::Information), Answer::Ok);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::No, Buttons::OkCancel | Buttons::Information),
              Answer::Cancel);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::Yes, Buttons::RetryCancel), Answer::Retry);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::No, Buttons::AbortRetryIgnore), Answer::Abort);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::No, Buttons::YesNoCancel), Answer::No);
    EXPECT_EQ(TerminalMessageBox::presetAnswer(P::None, Buttons::YesNoCancel), Answer::Cancel);
}

TEST(TerminalFace, TypedAnswersAreNamesPrefixesOrNumbersOfOfferedButtons) {
    EXPECT_EQ(TerminalMessageBox::parseAnswer(QStringLiteral("y"), Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(TerminalMessageBox::parseAnswer(QStringLiteral(" NO "), Buttons::YesNo), Answer::No);
    EXPECT_EQ(TerminalMessageBox::parseAnswer(QStringLiteral("6"), Buttons::YesNo), Answer::Yes);
    EXPECT_EQ(TerminalMessageBox::parseAnswer(QStringLiteral("ok"), Buttons::OkCancel), Answer::Ok);
    // Not offered, unknown, empty, or ambiguous ("R" is Retry only in one set).
    EXPECT_FALSE(TerminalMessageBox::parseAnswer(QStringLiteral("1"), Buttons::YesNo));
    EXPECT_FALSE(TerminalMessageBox::parseAnswer(QStringLiteral("maybe"), Buttons::YesNo));
    EXPECT_FALSE(TerminalMessageBox::parseAnswer(QString(), Buttons::YesNo));
    EXPECT_EQ(TerminalMessageBox::parseAnswer(QStringLiteral("r"), Buttons::AbortRetryIgnore), Answer::Retry);
}

TEST(TerminalFace, PrintsTitleAndPromptAndGivesTheSafeAnswerWithoutATerminal) {
    Stream out, in;
    TerminalMessageBox face(out.get(), in.get());
    face.setInteractive(false);
    EXPECT_EQ(
        face.show(QStringLiteral("Import Poll Log"), QStringLiteral("Sure?\r\nWARNING!"), Buttons::YesNo, 0),
        Answer::No);
    EXPECT_EQ(face.show(QStringLiteral("Success"), QStringLiteral("Done"), Buttons::Exclamation, 0),
              Answer::Ok);
    const QString text = out.text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("[Import Poll Log]\nSure?\nWARNING!\nYes/No? No")))
        << text.toStdString();
    EXPECT_FALSE(text.contains(QLatin1Char('\r')));
    EXPECT_TRUE(text.endsWith(QStringLiteral("[Success]\nDone\n"))) << text.toStdString();
}

TEST(TerminalFace, AsksOnATerminalUntilTheAnswerIsUnderstood) {
    Stream out, in(QByteArrayLiteral("perhaps\n1\nn\nyes\n"));
    TerminalMessageBox face(out.get(), in.get());
    face.setInteractive(true);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::YesNo, 0), Answer::No);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::YesNo, 0), Answer::Yes);
    EXPECT_EQ(out.text().count(QStringLiteral("Please answer Yes/No")), 2);
    // At the end of the input the safe answer is taken.
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::OkCancel, 0), Answer::Cancel);
}

TEST(TerminalFace, AnEmptyAnswerIsTheSafeOne) {
    Stream out, in(QByteArrayLiteral("\n  \nyes\n"));
    TerminalMessageBox face(out.get(), in.get());
    face.setInteractive(true);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::YesNo, 0), Answer::No);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::OkCancel, 0), Answer::Cancel);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::YesNo, 0), Answer::Yes);
}

TEST(TerminalFace, ThePresetWinsOverATerminalAndIsShown) {
    Stream out, in(QByteArrayLiteral("n\n"));
    TerminalMessageBox face(out.get(), in.get());
    face.setInteractive(true);
    face.setPreset(PresetAnswer::Yes);
    EXPECT_EQ(face.show(QStringLiteral("Q"), QStringLiteral("?"), Buttons::YesNo, 0), Answer::Yes);
    EXPECT_TRUE(out.text().contains(QStringLiteral("Yes/No? Yes (--yes)")));
}

TEST(TerminalProgress, DrawsStatusBarAndPercentageOfTheChannel) {
    Stream out;
    TerminalProgress progress({out.get(), 60, std::chrono::milliseconds(0)});
    {
        clsMessage channel;
        progress.attach(channel);
        channel.setLngProgressTotal(100000);
        channel.setLngProgressValue(50000);
        channel.setBlnIsProgress(true);
        channel.setStrUIMessage(QStringLiteral("Importing Poll Log File"));
        const QString line = progress.render();
        EXPECT_EQ(line.size(), 59);
        EXPECT_TRUE(line.startsWith(QStringLiteral("Importing Poll Log File "))) << line.toStdString();
        EXPECT_TRUE(line.endsWith(QStringLiteral("]  50%"))) << line.toStdString();
        EXPECT_EQ(line.count(QLatin1Char('#')), line.count(QLatin1Char('.')));
        TerminalProgress::detach(channel);
    }
    // Every draw starts at the line's beginning: the bar is redrawn in place.
    const QString text = out.text();
    EXPECT_FALSE(text.contains(QLatin1Char('\n')));
    EXPECT_TRUE(text.contains(QStringLiteral("\rImporting Poll Log File")));
}

TEST(TerminalProgress, ThrottlesValueRedrawsButNotStatusChanges) {
    Stream out;
    TerminalProgress progress({out.get(), 80, std::chrono::hours(1)});
    clsMessage channel;
    progress.attach(channel);
    channel.setIntProgressTotal(1000);
    channel.setBlnIsProgress(true);
    channel.setStrUIMessage(QStringLiteral("Reading"));
    const int drawsBefore = int(out.text().count(QLatin1Char('\r')));
    for (int i = 1; i <= 1000; ++i)
        channel.setIntProgressValue(int16_t(i));
    EXPECT_EQ(out.text().count(QLatin1Char('\r')), drawsBefore);
    channel.setStrUIMessage(QStringLiteral("Posting"));
    EXPECT_EQ(out.text().count(QLatin1Char('\r')), drawsBefore + 1);
    EXPECT_TRUE(progress.render().endsWith(QStringLiteral("100%")));
    TerminalProgress::detach(channel);
}

TEST(TerminalProgress, ElidesLongTextAndGivesWayToMessageBoxes) {
    Stream out;
    {
        TerminalProgress progress({out.get(), 40, std::chrono::milliseconds(0)});
        progress.status()->setCaption(QString(100, QLatin1Char('x')));
        EXPECT_EQ(progress.render(), QString(36, QLatin1Char('x')) + QStringLiteral("..."));

        // A box first erases the live line, so its text starts on a clean line.
        Stream in;
        TerminalMessageBox face(out.get(), in.get());
        face.show(QStringLiteral("Note"), QStringLiteral("text"), Buttons::OkOnly, 0);
        EXPECT_TRUE(out.text().endsWith(QStringLiteral("\r\033[K[Note]\ntext\n")))
            << out.text().toStdString();
        // The next update draws the line again.
        progress.status()->setCaption(QStringLiteral("again"));
        EXPECT_TRUE(out.text().endsWith(QStringLiteral("\ragain\033[K")));
    }
    // Gone from the screen when the display ends.
    EXPECT_TRUE(out.text().endsWith(QStringLiteral("\r\033[K")));
}
