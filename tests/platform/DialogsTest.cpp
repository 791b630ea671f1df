// The dialogs: scripted answers, the non-interactive policy, and terminal prompts fed through pipes.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

using namespace platform;

namespace {

constexpr uint32_t abortRetryIgnore = Button::Abort | Button::Retry | Button::Ignore;
constexpr uint32_t overwrite = Button::Yes | Button::No | Button::NoToAll | Button::YesToAll;

TEST(ScriptedDialogs, AnswersInOrderAndRecordsWhatWasShown) {
    ScriptedDialogs dialogs;
    dialogs.Answers = {Button::Retry, Button::Ignore};
    dialogs.Passwords = {u"secret"};
    EXPECT_EQ(dialogs.MessageBox(u"one", MessageKind::Confirmation, abortRetryIgnore), Button::Retry);
    EXPECT_EQ(dialogs.MessageBox(u"two", MessageKind::Error, abortRetryIgnore), Button::Ignore);
    EXPECT_EQ(dialogs.MessageBox(u"three", MessageKind::Information, uint32_t(Button::Ok)), Button::None);
    ASSERT_EQ(dialogs.Messages.size(), 3u);
    EXPECT_EQ(dialogs.Messages[1].Text, u"two");
    EXPECT_EQ(dialogs.Messages[1].Kind, MessageKind::Error);
    EXPECT_EQ(dialogs.Messages[2].Buttons, uint32_t(Button::Ok));

    std::u16string value;
    EXPECT_TRUE(dialogs.PasswordPrompt(u"Password for \"a\"", u"Enter password: ", value));
    EXPECT_EQ(value, u"secret");
    EXPECT_FALSE(dialogs.PasswordPrompt(u"again", u"Enter password: ", value));
    EXPECT_EQ(dialogs.PasswordCaptions, (std::vector<std::u16string>{u"Password for \"a\"", u"again"}));
}

TEST(Dialogs, InstallReplacesTheCurrentOne) {
    auto scripted = std::make_unique<ScriptedDialogs>();
    ScriptedDialogs* raw = scripted.get();
    auto previous = InstallDialogs(std::move(scripted));
    EXPECT_EQ(&CurrentDialogs(), raw);
    auto back = InstallDialogs(std::move(previous));
    EXPECT_EQ(back.get(), raw);
}

TEST(Dialogs, ButtonCaptionsAndOrder) {
    EXPECT_EQ(ButtonCaption(Button::NoToAll), u"No to All");
    EXPECT_EQ(ButtonCaption(Button::Ok), u"OK");
    EXPECT_EQ(ButtonCaption(Button::None), u"");
    EXPECT_EQ(ButtonsOf(overwrite),
              (std::vector<Button>{Button::Yes, Button::No, Button::NoToAll, Button::YesToAll}));
}

TEST(NonInteractiveDialogs, AnswersTheSafeWay) {
    auto dialogs = MakeNonInteractiveDialogs();
    struct Case {
        uint32_t buttons;
        Button answer;
    } cases[] = {
        {abortRetryIgnore, Button::Abort},
        {Button::Abort | Button::Ignore, Button::Abort},
        {overwrite, Button::No},
        {Button::Yes | Button::No, Button::No},
        {Button::Ok | Button::Cancel, Button::Cancel},
        {uint32_t(Button::Ok), Button::Ok},
        {0, Button::None},
    };
    testing::internal::CaptureStderr();
    for (const auto& c : cases)
        EXPECT_EQ(dialogs->MessageBox(u"Question?", MessageKind::Confirmation, c.buttons), c.answer);
    std::u16string value;
    EXPECT_FALSE(dialogs->PasswordPrompt(u"Password for \"x\"", u"Enter password: ", value));
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_NE(log.find("Question: Question? [answered Abort: no terminal to ask]"), std::string::npos) << log;
    EXPECT_NE(log.find("Password for \"x\""), std::string::npos);
}

// A terminal dialog reading from a pipe that holds `input`; the prompts are collected from another.
class TerminalFeed {
public:
    explicit TerminalFeed(const std::string& input) {
        EXPECT_EQ(pipe(in_), 0);
        EXPECT_EQ(pipe(out_), 0);
        fcntl(out_[0], F_SETFL, O_NONBLOCK);
        EXPECT_EQ(write(in_[1], input.data(), input.size()), ssize_t(input.size()));
        close(in_[1]);
        dialogs = posix::MakeTerminalDialogsOn(in_[0], out_[1]);
    }
    ~TerminalFeed() {
        close(in_[0]);
        close(out_[0]);
        close(out_[1]);
    }
    std::string Output() {
        std::string text;
        char buffer[4096];
        ssize_t n;
        while ((n = read(out_[0], buffer, sizeof buffer)) > 0) text.append(buffer, size_t(n));
        return text;
    }
    std::unique_ptr<Dialogs> dialogs;

private:
    int in_[2];
    int out_[2];
};

TEST(TerminalDialogs, ReadsNumbersNamesAndPrefixes) {
    struct Case {
        std::string input;
        uint32_t buttons;
        Button answer;
    } cases[] = {
        {"2\n", abortRetryIgnore, Button::Retry},
        {"ignore\n", abortRetryIgnore, Button::Ignore},
        {"  A \n", abortRetryIgnore, Button::Abort},
        {"no to all\n", overwrite, Button::NoToAll},
        {"yes\n", overwrite, Button::Yes},
        {"y\nyesto\n", overwrite, Button::YesToAll},       // "y" is ambiguous: asked again
        {"9\nbanana\n3\n", abortRetryIgnore, Button::Ignore},
        {"", abortRetryIgnore, Button::None},                // end of input closes the box
        {"x\nx\nx\nx\nx\n1\n", abortRetryIgnore, Button::None},   // gives up after five tries
        {"\n", uint32_t(Button::Ok), Button::Ok},
        {std::string(60000, 'z') + "\n1\n", abortRetryIgnore, Button::Abort},
    };
    for (const auto& c : cases) {
        TerminalFeed feed(c.input);
        EXPECT_EQ(feed.dialogs->MessageBox(u"Cannot open", MessageKind::Error, c.buttons), c.answer)
            << c.input.substr(0, 40);
    }
}

TEST(TerminalDialogs, ShowsTheQuestionAndTheChoices) {
    TerminalFeed feed("3\n");
    feed.dialogs->MessageBox(u"Overwrite file \"a\" with \"b\"", MessageKind::Confirmation, overwrite);
    EXPECT_EQ(feed.Output(), "Overwrite file \"a\" with \"b\"\n  1 Yes 2 No 3 No to All 4 Yes to All\nChoose 1-4: ");
}

TEST(TerminalDialogs, PasswordIsTheLineTypedAndEndOfInputCancels) {
    {
        TerminalFeed feed("s\xc3\xa9same\r\n");
        std::u16string value;
        EXPECT_TRUE(feed.dialogs->PasswordPrompt(u"Password for \"a\"", u"Enter password: ", value));
        EXPECT_EQ(value, u"s\u00e9same");
        EXPECT_EQ(feed.Output(), "Password for \"a\"\nEnter password: ");
    }
    TerminalFeed feed("");
    std::u16string value = u"untouched";
    EXPECT_FALSE(feed.dialogs->PasswordPrompt(u"c", u"p", value));
    EXPECT_EQ(value, u"untouched");
}

}  // namespace
