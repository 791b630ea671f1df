// Extracting selected entries to disk: what lands where, which entries a selection reaches, the
// overwrite modes, read-only targets, folders, times and attributes, and what the failure, progress
// and confirmation events do to a batch.
#include "process_test_support.h"

#include <set>
#include <thread>

#include "engine/archiver/CVEngineLock.h"

using namespace process_tests;

namespace {

const uint32_t kEntryTime = Dos(2021, 3, 4, 5, 6, 8);

std::vector<RawEntry> SelectionArchive() {
    return {
        RawEntry("a.txt", "a"),
        RawEntry("b.md", "b"),
        RawEntry("README", "readme"),
        Folder("docs/"),
        RawEntry("docs/a.txt", "docs a"),
        RawEntry("docs/notes", "notes"),
        Folder("docs/sub/"),
        RawEntry("docs/sub/c.txt", "c"),
    };
}

TEST(ProcessExtract, DefaultRunRestoresNamesBytesFoldersTimesAndModes) {
    ArchiveOnDisk a;
    std::string big;
    for (int i = 0; i < 3000; ++i) big += "row " + std::to_string(i) + "\n";
    RawEntry stored = UnixFile("docs/stored.bin", std::string("\0\1\2\3", 4), 0100600);
    stored.Deflate = false;
    RawEntry readOnly("locked.txt", "locked");
    readOnly.ExternalAttr = 0x21;
    a.Open(BuildZip({Folder("docs/"), UnixFile("docs/big.txt", big, 0100644), stored,
                     UnixFile("run.sh", "#!/bin/sh\n", 0100755), readOnly, Folder("empty/")}));
    // Existing targets are replaced by default, a read-only one included.
    WriteBytes(a.Out("run.sh"), "old");
    WriteBytes(a.Out("locked.txt"), "old");
    ASSERT_EQ(chmod(a.Out("locked.txt").c_str(), 0444), 0);

    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");

    EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"docs/", "docs/big.txt", "docs/stored.bin", "empty/",
                                                          "locked.txt", "run.sh"}));
    EXPECT_EQ(ReadBytes(a.Out("docs/big.txt")), big);
    EXPECT_EQ(ReadBytes(a.Out("docs/stored.bin")), std::string("\0\1\2\3", 4));
    EXPECT_EQ(ReadBytes(a.Out("run.sh")), "#!/bin/sh\n");
    EXPECT_EQ(ReadBytes(a.Out("locked.txt")), "locked");
    const int64_t when = platform::DosTimeToTime(kEntryTime);
    for (const char* name : {"docs/big.txt", "docs/stored.bin", "run.sh", "locked.txt"})
        EXPECT_EQ(MTimeOf(a.Out(name)), when) << name;
    EXPECT_EQ(ModeOf(a.Out("run.sh")), 0755u);
    EXPECT_EQ(ModeOf(a.Out("docs/stored.bin")), 0600u);
    EXPECT_EQ(ModeOf(a.Out("locked.txt")) & 0222, 0u);
}

TEST(ProcessExtract, SetAttributesOffLeavesTheModeTheSystemGave) {
    ArchiveOnDisk a;
    a.Open(BuildZip({UnixFile("run.sh", "x", 0100700)}));
    a.arc.Options().SetSetAttributes(false);
    a.arc.ExtractFiles();   // FileMasks is empty: nothing is selected
    EXPECT_FALSE(std::filesystem::exists(a.Out("run.sh")));
    a.arc.SetFileMasks({u"*.*"});
    a.arc.ExtractFiles();
    EXPECT_NE(ModeOf(a.Out("run.sh")), 0700u);
    EXPECT_EQ(MTimeOf(a.Out("run.sh")), platform::DosTimeToTime(kEntryTime));
}

TEST(ProcessExtract, ArchiveBehindAStubExtractsWhicheverWayItsOffsetsCount) {
    for (auto offsets : {testing_support::StubOffsets::FromArchiveStart, testing_support::StubOffsets::FromFileStart}) {
        ArchiveOnDisk a;
        WriteBytes(a.scratch / "plain.zip", BuildZip({Folder("d/"), RawEntry("d/x.txt", std::string(4000, 'x')),
                                                      RawEntry("y.txt", "y")}));
        testing_support::PutBehindStub(a.scratch / "plain.zip", std::string(5000, '\x7F'), a.ArchivePath(), offsets);
        std::filesystem::remove(a.scratch / "plain.zip");
        a.Reopen();
        a.RecordFailures();
        a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
        EXPECT_TRUE(a.failures.empty());
        EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"d/", "d/x.txt", "y.txt"}));
        EXPECT_EQ(ReadBytes(a.Out("d/x.txt")), std::string(4000, 'x'));
    }
}

struct SelectionCase {
    const char* Mask;
    bool Recurse;
    const char* Exclusion;
    std::vector<std::string> OnDisk;
};

TEST(ProcessExtract, SelectionsReachTheEntriesTheyName) {
    const std::vector<SelectionCase> cases = {
        {"*.*", true, "", {"README", "a.txt", "b.md", "docs/", "docs/a.txt", "docs/notes", "docs/sub/", "docs/sub/c.txt"}},
        {"*.txt", true, "", {"a.txt", "docs/", "docs/a.txt", "docs/sub/", "docs/sub/c.txt"}},
        {"*.txt", false, "", {"a.txt"}},
        {"docs\\*.txt", false, "", {"docs/", "docs/a.txt"}},
        // "*." reaches the names without an extension: folders are such names too.
        {"*.", true, "", {"README", "docs/", "docs/notes", "docs/sub/"}},
        {"*.*", true, "*.md", {"README", "a.txt", "docs/", "docs/a.txt", "docs/notes", "docs/sub/", "docs/sub/c.txt"}},
        {"*.*", true, "docs/*", {"README", "a.txt", "b.md", "docs/"}},
        // One exact name without recursion: only that entry.
        {"docs/a.txt", false, "", {"docs/", "docs/a.txt"}},
        {"missing.txt", false, "", {}},
    };
    for (const SelectionCase& c : cases) {
        ArchiveOnDisk a;
        a.Open(BuildZip(SelectionArchive()));
        a.arc.Options().SetRecurse(c.Recurse);
        a.arc.ExtractFiles(U16(c.Mask), 0x28BF, U16(c.Exclusion));
        EXPECT_EQ(NamesIn(a.Out()), c.OnDisk) << c.Mask << " recurse " << c.Recurse << " excluding " << c.Exclusion;
    }
}

TEST(ProcessExtract, SingleNamedEntryLeavesOtherTagsAlone) {
    ArchiveOnDisk a;
    a.Open(BuildZip(SelectionArchive()));
    a.arc.Options().SetRecurse(false);
    a.Item("b.md").Tagged = true;
    a.arc.ExtractFiles(u"a.txt", 0x28BF, u"");
    EXPECT_EQ(NamesIn(a.Out()), std::vector<std::string>{"a.txt"});
    EXPECT_TRUE(a.Item("b.md").Tagged);
}

struct OverwriteCase {
    TCVOverwriteMode Mode;
    int DiskDayOffset;   // the disk file's time against the entry's: -1 older, 0 equal, +1 newer
    bool Replaced;
};

TEST(ProcessExtract, OverwriteModesDecideByTimeAndEqualTimesNeverReplace) {
    const std::vector<OverwriteCase> cases = {
        {omAlways, 0, true},   {omAlways, 1, true},   {omNever, -1, false},  {omNever, 0, false},
        {omIfNewer, -1, true}, {omIfNewer, 0, false}, {omIfNewer, 1, false}, {omIfOlder, -1, false},
        {omIfOlder, 0, false}, {omIfOlder, 1, true},
    };
    for (const OverwriteCase& c : cases) {
        ArchiveOnDisk a;
        a.Open(BuildZip({RawEntry("x.txt", "new")}));
        WriteBytes(a.Out("x.txt"), "old");
        const std::string when = c.DiskDayOffset < 0 ? "2021-03-03 05:06:08" : c.DiskDayOffset > 0 ? "2021-03-05 05:06:08"
                                                                                                  : "2021-03-04 05:06:08";
        ASSERT_EQ(Sh("touch -d " + Quote(when) + " " + Quote(a.Out("x.txt"))), 0);
        a.arc.Options().SetOverwriteMode(c.Mode);
        a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
        EXPECT_EQ(ReadBytes(a.Out("x.txt")), c.Replaced ? "new" : "old") << "mode " << int(c.Mode) << " day " << c.DiskDayOffset;
    }
}

TEST(ProcessExtract, PromptAsksWithTargetAndNameAndRemembersToAllAnswers) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("1.txt", "new1"), RawEntry("2.txt", "new2"),
                     RawEntry("3.txt", "new3"), RawEntry("4.txt", "new4")}));
    for (const char* name : {"1.txt", "2.txt", "3.txt", "4.txt"}) WriteBytes(a.Out(name), "old");
    a.arc.Options().SetOverwriteMode(omPrompt);
    ScriptedAnswers dialogs({platform::Button::Yes, platform::Button::No, platform::Button::NoToAll});
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");

    EXPECT_EQ(ReadBytes(a.Out("1.txt")), "new1");
    EXPECT_EQ(ReadBytes(a.Out("2.txt")), "old");
    EXPECT_EQ(ReadBytes(a.Out("3.txt")), "old");
    EXPECT_EQ(ReadBytes(a.Out("4.txt")), "old");
    ASSERT_EQ(dialogs.Script().Messages.size(), 3u);   // No to All: the fourth is not asked
    EXPECT_EQ(U8(dialogs.Script().Messages[0].Text), "Overwrite file \"" + a.Out("1.txt") + "\" with \"1.txt\"");
    EXPECT_EQ(a.arc.Options().OverwriteMode(), omNever);
}

TEST(ProcessExtract, PromptHandlerMayRedirectTheTarget) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("x.txt", "new")}));
    WriteBytes(a.Out("x.txt"), "old");
    a.arc.Options().SetOverwriteMode(omPrompt);
    a.arc.SetOnConfirmOverwrite([&](TCVBaseArchiver*, const std::u16string& source, std::u16string& dest, bool& confirm) {
        EXPECT_EQ(U8(source), "x.txt");
        dest = U16(a.Out("copy.txt"));
        confirm = true;
    });
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(ReadBytes(a.Out("x.txt")), "old");
    EXPECT_EQ(ReadBytes(a.Out("copy.txt")), "new");
}

TEST(ProcessExtract, WithoutCreateDirsEveryEntryLandsInTheBaseFolderAndTheLaterWins) {
    ArchiveOnDisk a;
    a.Open(BuildZip({Folder("a/"), RawEntry("a/x.txt", "from a"), RawEntry("b/x.txt", "from b")}));
    std::filesystem::create_directories(a.Out());
    a.arc.Options().SetCreateDirs(false);
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(NamesIn(a.Out()), std::vector<std::string>{"x.txt"});
    EXPECT_EQ(ReadBytes(a.Out("x.txt")), "from b");
}

TEST(ProcessExtract, ReadOnlyTargetIsSkippedSilentlyUnlessReplaceReadOnly) {
    for (bool replace : {false, true}) {
        ArchiveOnDisk a;
        a.Open(BuildZip({RawEntry("x.txt", "new"), RawEntry("y.txt", "y")}));
        a.RecordFailures();
        WriteBytes(a.Out("x.txt"), "old");
        ASSERT_EQ(chmod(a.Out("x.txt").c_str(), 0444), 0);
        a.arc.Options().SetReplaceReadOnly(replace);
        a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
        EXPECT_EQ(ReadBytes(a.Out("x.txt")), replace ? "new" : "old");
        EXPECT_EQ(ReadBytes(a.Out("y.txt")), "y");
        EXPECT_TRUE(a.failures.empty());
    }
}

TEST(ProcessExtract, FolderEntriesMakeFoldersOnly) {
    ArchiveOnDisk a;
    // A folder known only by its attribute, without the trailing separator, is a folder all the same.
    RawEntry bare = Folder("plain");
    a.Open(BuildZip({Folder("docs/"), Folder("docs/deep/er/"), bare}));
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"docs/", "docs/deep/", "docs/deep/er/", "plain/"}));
}

TEST(ProcessExtract, FolderThatCannotBeCreatedIsNative20WithItsPath) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("docs/x.txt", "x"), RawEntry("y.txt", "y")}));
    a.RecordFailures();
    WriteBytes(a.Out("docs"), "a file where the folder should be");
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 1u);
    EXPECT_EQ(a.failures[0].NativeError, neCannotCreateFolder);
    EXPECT_EQ(a.failures[0].FileName, "docs/x.txt");
    EXPECT_EQ(ReadBytes(a.Out("y.txt")), "y");
}

TEST(ProcessExtract, DamagedEntryFollowsTheDefaultFailureBox) {
    struct Case {
        std::vector<platform::Button> Answers;
        size_t Boxes;
        bool NextExtracted;
    };
    const std::vector<Case> cases = {
        {{platform::Button::Ignore}, 1, true},
        {{platform::Button::Retry, platform::Button::Ignore}, 2, true},
        {{platform::Button::Abort}, 1, false},
        {{platform::Button::None}, 1, false},   // a box closed otherwise counts as Abort
    };
    for (const Case& c : cases) {
        ArchiveOnDisk a;
        RawEntry bad("bad.txt", "the data");
        bad.CrcValue = 1234;
        a.Open(BuildZip({bad, RawEntry("next.txt", "n")}));
        ScriptedAnswers dialogs(c.Answers);
        a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
        ASSERT_EQ(dialogs.Script().Messages.size(), c.Boxes);
        const std::string text = U8(dialogs.Script().Messages[0].Text);
        EXPECT_NE(text.find("Invalid size or check sum"), std::string::npos) << text;
        EXPECT_NE(text.find("Native error: 00008. File processing error, possibly disk is full"), std::string::npos) << text;
        EXPECT_EQ(dialogs.Script().Messages[0].Buttons,
                  platform::Button::Abort | platform::Button::Retry | platform::Button::Ignore);
        EXPECT_FALSE(PathExists(a.Out("bad.txt")));
        EXPECT_EQ(std::filesystem::exists(a.Out("next.txt")), c.NextExtracted);
    }
}

TEST(ProcessExtract, CancelFromProgressDeletesTheCurrentFileAndEndsTheWalk) {
    ArchiveOnDisk a;
    std::string big(3 << 20, 'z');
    RawEntry stored("big.bin", big);
    stored.Deflate = false;
    a.Open(BuildZip({stored, RawEntry("next.txt", "n")}));
    std::vector<std::string> events;
    a.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool& cancel) {
        events.push_back(U8(name) + ":" + std::to_string(int(phase)));
        if (phase == ppProcess) cancel = true;
    });
    a.arc.SetOnOverallProgress([&](TCVBaseArchiver*, double, TCVProcessOperation, TCVProgressPhase phase, bool&) {
        events.push_back("overall:" + std::to_string(int(phase)));
    });
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_FALSE(PathExists(a.Out("big.bin")));
    EXPECT_FALSE(PathExists(a.Out("next.txt")));
    ASSERT_GE(events.size(), 5u);
    EXPECT_EQ(std::vector<std::string>(events.begin(), events.begin() + 3),
              (std::vector<std::string>{"overall:0", "big.bin:0", "big.bin:1"}));
    EXPECT_EQ(std::vector<std::string>(events.end() - 2, events.end()),
              (std::vector<std::string>{"big.bin:2", "overall:2"}));
}

TEST(ProcessExtract, DeclinedEntriesAreSkippedWithoutEvents) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("keep.txt", "k"), RawEntry("skip.txt", "s")}));
    std::vector<std::string> progress;
    a.arc.SetOnConfirmProcessFile([](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation op, bool& confirm) {
        EXPECT_EQ(op, poExtract);
        confirm = name != u"skip.txt";
    });
    a.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string& name, double, TCVProcessOperation,
                                TCVProgressPhase, bool&) { progress.push_back(U8(name)); });
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(NamesIn(a.Out()), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(std::set<std::string>(progress.begin(), progress.end()), std::set<std::string>{"keep.txt"});
}

TEST(ProcessExtract, ExtractFileHandlerRenamesAndChangesAttributes) {
    ArchiveOnDisk a;
    a.Open(BuildZip({UnixFile("docs/x.txt", "x", 0100644)}));
    a.arc.SetOnExtractFile([](TCVBaseArchiver*, std::u16string& name, uint32_t& attr, const std::string&) {
        EXPECT_EQ(name, u"docs/x.txt");
        name = u"renamed/y.txt";
        attr = (0100700u << 16) | 0x20;
    });
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(NamesIn(a.Out()), (std::vector<std::string>{"renamed/", "renamed/y.txt"}));
    EXPECT_EQ(ModeOf(a.Out("renamed/y.txt")), 0700u);
}

TEST(ProcessExtract, EmptyBaseDirUsesTheCurrentFolderOfTheFirstEntryAndKeepsIt) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("x.txt", "x")}));
    a.arc.SetBaseDir(u"");
    struct RestoreCwd {
        std::u16string saved = platform::CurrentFolder();
        ~RestoreCwd() { platform::SetCurrentFolder(saved); }
    } restoreCwd;
    std::filesystem::create_directories(a.scratch / "first");
    std::filesystem::create_directories(a.scratch / "second");
    ASSERT_TRUE(platform::SetCurrentFolder(a.scratch.P16("first")));
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_TRUE(platform::SetCurrentFolder(a.scratch.P16("second")));
    std::filesystem::remove(a.scratch / "first/x.txt");
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_TRUE(PathExists(a.scratch / "first/x.txt"));
    EXPECT_FALSE(PathExists(a.scratch / "second/x.txt"));
}

// Whether another thread could take the engine lock right now.
bool LockFreeForOthers() {
    bool taken = false;
    std::thread other([&] {
        taken = EngineLock().try_lock();
        if (taken) EngineLock().unlock();
    });
    other.join();
    return taken;
}

TEST(ProcessExtract, BatchHoldsTheEngineLockAndTheHoldingThreadMayReenterIt) {
    ArchiveOnDisk a;
    ArchiveOnDisk inner;
    a.Open(BuildZip({RawEntry("x.txt", "x")}));
    inner.Open(BuildZip({RawEntry("y.txt", "y")}));
    bool freeInside = true;
    a.arc.SetOnFileProgress([&](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation,
                                TCVProgressPhase phase, bool&) {
        if (phase != ppStart) return;
        freeInside = LockFreeForOthers();
        inner.arc.ExtractFiles(u"*.*", 0x28BF, u"");   // same thread: no deadlock
    });
    a.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_FALSE(freeInside);
    EXPECT_TRUE(PathExists(inner.Out("y.txt")));
    EXPECT_TRUE(LockFreeForOthers());

    // Let go also when a handler's own exception ends the batch.
    a.arc.SetOnFileProgress([](TCVBaseArchiver*, const std::u16string&, double, TCVProcessOperation, TCVProgressPhase,
                               bool&) { throw std::runtime_error("handler failed"); });
    EXPECT_THROW(a.arc.TestFiles(u"*.*", 0x28BF, u""), std::runtime_error);
    EXPECT_TRUE(LockFreeForOthers());
}

TEST(ProcessExtract, RefusedOutsideAnOpenArchiveOrInsideAnUpdate) {
    ArchiveOnDisk a;
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ExtractFiles(u"*.*", 0x28BF, u""); }), neArchiveNotOpen);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.TestFiles(); }), neArchiveNotOpen);
    a.Open(BuildZip({RawEntry("x.txt", "x")}));
    a.arc.BeginUpdate();
    EXPECT_EQ(NativeErrorOf([&] { a.arc.ExtractFiles(u"*.*", 0x28BF, u""); }), neInUpdate);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.TestFiles(u"*.*", 0x28BF, u""); }), neInUpdate);
    a.arc.CancelUpdate();
    EXPECT_FALSE(PathExists(a.Out()));
}

}  // namespace
