// The terminal face of the command-line host: the answers --yes, --no and a
// user at the terminal give. Its sources belong to the host program, not to
// the core library, so they are compiled into this test directly.
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
          {P::No, Buttons::AbortRetryIgnore, Answer::Abort}, {P::None, Buttons::YesNoCancel, Answer::Cancel}})
        EXPECT_EQ(TerminalMessageBox::presetAnswer(preset, buttons), expected) << int(preset) << ", " << buttons;

    // A name, a prefix or the number of an offered answer; nothing else (more
    // refusals below, where a user types them).
    for (const auto &[text, buttons, expected] :
         {std::tuple{" NO ", int(Buttons::YesNo), std::optional<int>(Answer::No)}, {"6", Buttons::YesNo, Answer::Yes},
          {"r", Buttons::AbortRetryIgnore, Answer::Retry}, {"1", Buttons::YesNo, {}}})
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
