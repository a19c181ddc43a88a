// The terminal face and the progress display of the command-line host. Their
// sources belong to the host program, not to the core library, so they are
// compiled into this test directly.
#include "cli/TerminalFace.cpp"
#include "cli/TerminalProgress.cpp"

#include <gtest/gtest.h>

using namespace Qt::Literals::StringLiterals;

using namespace hx;
using namespace hx::cli;

namespace {
// A scratch stream: written by the code (or read by it), read back by the test.
struct Stream {
    std::FILE *f = std::tmpfile();
    explicit Stream(const char *content = "") {
        std::fputs(content, f);
        std::rewind(f);
    }
    ~Stream() { std::fclose(f); }
    QString text() const {
        std::fflush(f);
        QByteArray all(std::ftell(f), '\0');
        std::rewind(f);
        all.resize(qsizetype(std::fread(all.data(), 1, size_t(all.size()), f)));
        return QString::fromLocal8Bit(all);
    }
};
} // namespace

TEST(TerminalFace, PresetAndTypedAnswersPickOnlyOfferedButtons) {
    using P = PresetAnswer;
    for (const auto &[preset, buttons, expected] :
         {std::tuple{P::Yes, int(Buttons::YesNo), int(Answer::Yes)}, {P::No, Buttons::YesNo, Answer::No},
          {P::Yes, Buttons::OkCancel | Buttons::Information, Answer::Ok}, {P::No, Buttons::OkCancel, Answer::Cancel},
          {P::Yes, Buttons::RetryCancel, Answer::Retry}, {P::No, Buttons::AbortRetryIgnore, Answer::Abort},
          {P::None, Buttons::YesNoCancel, Answer::Cancel}})
        EXPECT_EQ(TerminalMessageBox::presetAnswer(preset, buttons), expected) << int(preset) << ", " << buttons;

    // A name, a prefix or the number of an offered answer; nothing else.
    for (const auto &[text, buttons, expected] :
         {std::tuple{"y", int(Buttons::YesNo), std::optional<int>(Answer::Yes)}, {" NO ", Buttons::YesNo, Answer::No},
          {"6", Buttons::YesNo, Answer::Yes}, {"ok", Buttons::OkCancel, Answer::Ok},
          {"r", Buttons::AbortRetryIgnore, Answer::Retry}, {"1", Buttons::YesNo, {}}, {"maybe", Buttons::YesNo, {}},
          {"", Buttons::YesNo, {}}})
        EXPECT_EQ(TerminalMessageBox::parseAnswer(QString::fromLatin1(text), buttons), expected) << '"' << text << '"';
}

TEST(TerminalFace, OnATerminalThePresetWinsElseItAsksUntilUnderstood) {
    Stream out, in("perhaps\n1\nn\n\n  \nyes\n");
    TerminalMessageBox face(out.f, in.f);
    face.setInteractive(true);
    // The preset leaves the input unread; an empty line and the end of the
    // input take the safe answer.
    int step = 0;
    for (const auto &[preset, buttons, expected] :
         {std::tuple{PresetAnswer::Yes, int(Buttons::YesNo), int(Answer::Yes)},
          {PresetAnswer::None, Buttons::YesNo, Answer::No}, {PresetAnswer::None, Buttons::YesNo, Answer::No},
          {PresetAnswer::None, Buttons::OkCancel, Answer::Cancel}, {PresetAnswer::None, Buttons::YesNo, Answer::Yes},
          {PresetAnswer::None, Buttons::OkCancel, Answer::Cancel}}) {
        face.setPreset(preset);
        EXPECT_EQ(face.show(u"Q"_s, u"?"_s, buttons, 0), expected) << "step " << ++step;
    }
    EXPECT_TRUE(out.text().contains(u"Yes/No? Yes (--yes)"_s));
    EXPECT_EQ(out.text().count(u"Please answer Yes/No"_s), 2);
}

TEST(TerminalProgress, DrawsTheChannelInPlaceAndThrottlesValueRedraws) {
    Stream out;
    TerminalProgress progress({out.f, 60, std::chrono::hours(1)});
    clsMessage channel;
    progress.attach(channel);
    channel.setLngProgressTotal(100000);
    channel.setBlnIsProgress(true);
    channel.setStrUIMessage(u"Importing Poll Log File"_s);
    const auto draws = [&] { return out.text().count(u'\r'); };
    const auto before = draws();
    for (int i = 1; i <= 50000; ++i)
        channel.setLngProgressValue(i);
    EXPECT_EQ(draws(), before);
    const QString line = progress.render();
    EXPECT_EQ(line.size(), 59);
    EXPECT_TRUE(line.startsWith(u"Importing Poll Log File "_s)) << line.toStdString();
    EXPECT_TRUE(line.endsWith(u"]  50%"_s)) << line.toStdString();
    EXPECT_EQ(line.count(u'#'), line.count(u'.'));
    // A new status is drawn at once, over the old line.
    channel.setStrUIMessage(u"Posting"_s);
    EXPECT_EQ(draws(), before + 1);
    EXPECT_FALSE(out.text().contains(u'\n'));
    EXPECT_TRUE(out.text().contains(u"\rPosting"_s));
    TerminalProgress::detach(channel);
}

TEST(TerminalProgress, ElidesLongTextAndGivesWayToMessageBoxes) {
    Stream out;
    {
        TerminalProgress progress({out.f, 40, std::chrono::milliseconds(0)});
        progress.status()->setCaption(QString(100, u'x'));
        EXPECT_EQ(progress.render(), QString(36, u'x') + u"..."_s);

        // A box first erases the live line, so its text starts on a clean line.
        Stream in;
        TerminalMessageBox face(out.f, in.f);
        face.show(u"Note"_s, u"text"_s, Buttons::OkOnly, 0);
        EXPECT_TRUE(out.text().endsWith(u"\r\033[K[Note]\ntext\n"_s)) << out.text().toStdString();
        // The next update draws the line again.
        progress.status()->setCaption(u"again"_s);
        EXPECT_TRUE(out.text().endsWith(u"\ragain\033[K"_s));
    }
    // Gone from the screen when the display ends.
    EXPECT_TRUE(out.text().endsWith(u"\r\033[K"_s));
}
