// The event dispatchers: handlers when assigned, otherwise the defaults and their questions.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "engine/Corvane.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

using platform::Button;

namespace {

// Scripted answers that also record what the password prompt showed.
class RecordingDialogs : public platform::ScriptedDialogs {
public:
    std::vector<std::u16string> Prompts;
    std::vector<std::u16string> InitialValues;
    bool PasswordPrompt(const std::u16string& caption, const std::u16string& prompt,
                        std::u16string& value) override {
        Prompts.push_back(prompt);
        InitialValues.push_back(value);
        return ScriptedDialogs::PasswordPrompt(caption, prompt, value);
    }
};

class ArchiverDispatchers : public ::testing::Test {
protected:
    void SetUp() override {
        auto dialogs = std::make_unique<RecordingDialogs>();
        dialogs_ = dialogs.get();
        previous_ = platform::InstallDialogs(std::move(dialogs));
    }
    void TearDown() override { platform::InstallDialogs(std::move(previous_)); }

    RecordingDialogs& Dialogs() { return *dialogs_; }

    TCorvane archiver_;

private:
    RecordingDialogs* dialogs_ = nullptr;
    std::unique_ptr<platform::Dialogs> previous_;
};

TEST_F(ArchiverDispatchers, FailureWithoutHandlerAsksAbortRetryIgnore) {
    struct Case {
        Button answer;
        TCVAction action;
    };
    const Case cases[] = {{Button::Retry, fxaRetry}, {Button::Ignore, fxaIgnore}, {Button::Abort, fxaAbort},
                          {Button::None, fxaAbort}};
    for (const Case& c : cases) {
        Dialogs().Answers = {c.answer};
        Dialogs().Messages.clear();
        TCVAction action = fxaRetry;
        archiver_.DoProcessFileFailure(u"docs/a.txt", poAdd, 33, 12, u"Cannot open file \"a.txt\"", action);
        EXPECT_EQ(action, c.action) << "answer " << uint32_t(c.answer);
        ASSERT_EQ(Dialogs().Messages.size(), 1u);
        EXPECT_EQ(Dialogs().Messages[0].Text,
                  u"Cannot open file \"a.txt\". File processing error, possibly disk is full");
        EXPECT_EQ(Dialogs().Messages[0].Buttons, Button::Abort | Button::Retry | Button::Ignore);
    }
}

TEST_F(ArchiverDispatchers, FailureOfATooLongNameOffersNoRetry) {
    const std::u16string message = u"File name is too long: \r\n\"x\"";
    Dialogs().Answers = {Button::Ignore, Button::None};
    TCVAction action = fxaRetry;
    archiver_.DoProcessFileFailure(u"x", poAdd, 61, 36, message, action);
    EXPECT_EQ(action, fxaIgnore);
    archiver_.DoProcessFileFailure(u"x", poAdd, 61, 36, message, action);
    EXPECT_EQ(action, fxaAbort);
    ASSERT_EQ(Dialogs().Messages.size(), 2u);
    EXPECT_EQ(Dialogs().Messages[0].Text, message);
    EXPECT_EQ(Dialogs().Messages[0].Buttons, Button::Abort | Button::Ignore);
}

TEST_F(ArchiverDispatchers, CancelledVolumeRequestAbortsWithoutAsking) {
    TCVAction action = fxaIgnore;
    archiver_.DoProcessFileFailure(u"x", poExtract, 45, 24, u"whatever", action);
    EXPECT_EQ(action, fxaAbort);
    EXPECT_TRUE(Dialogs().Messages.empty());
}

TEST_F(ArchiverDispatchers, FailureHandlerStartsFromIgnoreAndDecides) {
    std::vector<int32_t> seen;
    archiver_.SetOnProcessFileFailure([&](TCVBaseArchiver* sender, const std::u16string& name, TCVProcessOperation op,
                                          int32_t native, int32_t code, const std::u16string& message,
                                          TCVAction& action) {
        EXPECT_EQ(sender, &archiver_);
        EXPECT_EQ(name, u"a.txt");
        EXPECT_EQ(op, poExtract);
        EXPECT_EQ(message, u"m");
        EXPECT_EQ(action, fxaIgnore);
        seen = {native, code};
        action = fxaRetry;
    });
    TCVAction action = fxaAbort;
    archiver_.DoProcessFileFailure(u"a.txt", poExtract, 45, 24, u"m", action);
    EXPECT_EQ(action, fxaRetry);
    EXPECT_EQ(seen, (std::vector<int32_t>{45, 24}));
    EXPECT_TRUE(Dialogs().Messages.empty());
}

TEST_F(ArchiverDispatchers, OverwriteQuestion) {
    struct Case {
        Button answer;
        bool confirm;
        TCVOverwriteMode mode;
    };
    const Case cases[] = {{Button::Yes, true, omPrompt},       {Button::No, false, omPrompt},
                          {Button::NoToAll, false, omNever},   {Button::YesToAll, true, omAlways},
                          {Button::None, false, omPrompt}};
    for (const Case& c : cases) {
        archiver_.Options().SetOverwriteMode(omPrompt);
        Dialogs().Answers = {c.answer};
        Dialogs().Messages.clear();
        std::u16string dest = u"/out/a.txt";
        bool confirm = !c.confirm;
        archiver_.DoConfirmOverwrite(u"docs/a.txt", dest, confirm);
        EXPECT_EQ(confirm, c.confirm) << "answer " << uint32_t(c.answer);
        EXPECT_EQ(archiver_.Options().OverwriteMode(), c.mode) << "answer " << uint32_t(c.answer);
        ASSERT_EQ(Dialogs().Messages.size(), 1u);
        EXPECT_EQ(Dialogs().Messages[0].Text, u"Overwrite file \"/out/a.txt\" with \"docs/a.txt\"");
        EXPECT_EQ(Dialogs().Messages[0].Buttons, Button::Yes | Button::No | Button::NoToAll | Button::YesToAll);
    }
}

TEST_F(ArchiverDispatchers, OverwriteHandlerMayRedirect) {
    archiver_.SetOnConfirmOverwrite([](TCVBaseArchiver*, const std::u16string&, std::u16string& dest, bool& confirm) {
        dest += u".new";
        confirm = true;
    });
    std::u16string dest = u"a.txt";
    bool confirm = false;
    archiver_.DoConfirmOverwrite(u"src", dest, confirm);
    EXPECT_TRUE(confirm);
    EXPECT_EQ(dest, u"a.txt.new");
    EXPECT_TRUE(Dialogs().Messages.empty());
}

TEST_F(ArchiverDispatchers, PasswordPrompt) {
    Dialogs().Passwords = {u"s3cret", u"\u00e9t\u00e9"};
    std::string password = "old";
    bool skip = true;
    archiver_.DoPassword(u"docs/a.txt", password, skip);
    EXPECT_EQ(password, "s3cret");
    EXPECT_FALSE(skip);
    archiver_.DoPassword(u"b.txt", password, skip);
#if !defined(_WIN32)
    EXPECT_EQ(password, "\xC3\xA9t\xC3\xA9");   // the bytes other tools here would take from the same text
#endif
    const std::string typed = password;
    archiver_.DoPassword(u"c.txt", password, skip);   // no answer left: cancelled
    EXPECT_TRUE(skip);
    EXPECT_EQ(password, typed);

    ASSERT_EQ(Dialogs().PasswordCaptions.size(), 3u);
    EXPECT_EQ(Dialogs().PasswordCaptions[0], u"Password for \"docs/a.txt\"");
    EXPECT_EQ(Dialogs().Prompts[0], u"Enter password: ");
    EXPECT_EQ(Dialogs().InitialValues[0], u"");
}

TEST_F(ArchiverDispatchers, DiskFull) {
    archiver_.SetName(u"Archiver");
    bool cancel = false;
    try {
        archiver_.DoDiskFull(0, u"a.zip", cancel);
        FAIL() << "a full disk without a handler must raise";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neDiskFull);
        EXPECT_EQ(e.Message(), u"Disk is full. There is not enough free space on disk. - Native error: 00065");
    }

    int32_t volume = -1;
    archiver_.SetOnDiskFull([&](TCVBaseArchiver*, int32_t number, const std::u16string& name, bool& c) {
        volume = number;
        EXPECT_EQ(name, u"a.zip");
        c = true;
    });
    archiver_.DoDiskFull(2, u"a.zip", cancel);
    EXPECT_EQ(volume, 3);
    EXPECT_TRUE(cancel);
}

TEST_F(ArchiverDispatchers, DefaultsThatAskNothing) {
    bool cancel = true;
    archiver_.DoOverallProgress(50, poAdd, ppProcess, cancel);
    EXPECT_FALSE(cancel);
    cancel = true;
    archiver_.DoFileProgress(u"a/b", 50, poAdd, ppProcess, cancel);
    EXPECT_FALSE(cancel);
    cancel = true;
    archiver_.DoCopyTempFileProgress(50, ppProcess, cancel);
    EXPECT_FALSE(cancel);
    bool confirm = false;
    archiver_.DoConfirmProcessFile(u"a", poExtract, confirm);
    EXPECT_TRUE(confirm);
    std::u16string volume;
    archiver_.DoRequestFirstVolume(volume, cancel);
    EXPECT_TRUE(cancel);   // nobody to supply a volume
    EXPECT_TRUE(Dialogs().Messages.empty());
}

TEST_F(ArchiverDispatchers, HandlersStartFromGoOn) {
    bool seenCancel = true, seenConfirm = false;
    archiver_.SetOnCopyTempFileProgress([&](TCVBaseArchiver*, double, TCVProgressPhase, bool& cancel) {
        seenCancel = cancel;
    });
    archiver_.SetOnConfirmProcessFile([&](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, bool& confirm) {
        seenConfirm = confirm;
        confirm = false;
    });
    bool cancel = true;
    archiver_.DoCopyTempFileProgress(10, ppStart, cancel);
    EXPECT_FALSE(seenCancel);
    bool confirm = false;
    archiver_.DoConfirmProcessFile(u"a", poTest, confirm);
    EXPECT_TRUE(seenConfirm);
    EXPECT_FALSE(confirm);
}

// Stored names use "/", names on disk the system's separator: handlers see the latter.
TEST_F(ArchiverDispatchers, HandlersSeeDiskSeparatorsAndStoredNamesComeBack) {
    const std::u16string sep(1, PathDelimiter());
    std::u16string progressName;
    archiver_.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double, TCVProcessOperation,
                                    TCVProgressPhase, bool&) { progressName = name; });
    bool cancel = false;
    archiver_.DoFileProgress(u"docs/sub/a.txt", 0, poAdd, ppStart, cancel);
    EXPECT_EQ(progressName, u"docs" + sep + u"sub" + sep + u"a.txt");

    // Without a handler the stored name is left alone; with one it goes out and comes back.
    std::u16string stored = u"docs/a.txt";
    int32_t attr = 0x20;
    std::string comment;
    archiver_.DoStoreFile(stored, attr, comment, u"/src/docs/a.txt");
    EXPECT_EQ(stored, u"docs/a.txt");
    archiver_.SetOnStoreFile([&](TCVBaseArchiver*, std::u16string& name, int32_t& a, std::string& c,
                                 const std::u16string& original) {
        EXPECT_EQ(name, u"docs" + sep + u"a.txt");
        EXPECT_EQ(original, u"/src/docs/a.txt");
        name = u"renamed" + sep + name;
        a |= 0x01;
        c = "note";
    });
    archiver_.DoStoreFile(stored, attr, comment, u"/src/docs/a.txt");
    EXPECT_EQ(stored, u"renamed/docs/a.txt");
    EXPECT_EQ(attr, 0x21);
    EXPECT_EQ(comment, "note");

    // Extraction always works with the name as a path on disk.
    std::u16string extracted = u"docs/a.txt";
    uint32_t extractAttr = 0x20;
    archiver_.DoExtractFile(extracted, extractAttr, "");
    EXPECT_EQ(extracted, u"docs" + sep + u"a.txt");
}

}  // namespace
