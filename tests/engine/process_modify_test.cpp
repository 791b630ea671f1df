// Deleting entries and refreshing them from the disk: what the batch records, what the commit then
// writes, and what an abort or a failing handler leaves.
#include "process_test_support.h"

using namespace process_tests;

namespace {

std::string Extracted(TCorvane& arc, const std::string& name) {
    std::string text;
    arc.ExtractToString(U16(name), text);
    return text;
}

std::vector<RawEntry> FourFiles() {
    return {RawEntry("a.txt", "alpha"), RawEntry("b1.txt", "beta one"), RawEntry("b2.txt", "beta two"),
            RawEntry("c.txt", "gamma")};
}

TEST(ProcessDelete, AdjacentTaggedEntriesAreAllRemovedAndTheArchiveStaysSound) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FourFiles()));
    a.arc.DeleteFiles(u"b*.txt", 0x28BF, u"");
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"a.txt", "c.txt"}));
    a.arc.CloseArchive();
    std::string output;
    EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
    a.Reopen();
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"a.txt", "c.txt"}));
    EXPECT_EQ(Extracted(a.arc, "c.txt"), "gamma");
}

TEST(ProcessDelete, DeclinedEntryStaysAndTheNextOneIsStillReached) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FourFiles()));
    a.arc.SetOnConfirmProcessFile([](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation op, bool& confirm) {
        EXPECT_EQ(op, poDelete);
        confirm = name != u"b1.txt";
    });
    a.arc.SetFileMasks({u"*.*"});
    a.arc.DeleteFiles();
    EXPECT_EQ(a.Names(), std::vector<std::string>{"b1.txt"});
    a.Reopen();
    EXPECT_EQ(Extracted(a.arc, "b1.txt"), "beta one");
}

TEST(ProcessDelete, AbortLeavesTheArchiveAsItWas) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FourFiles()));
    const std::string before = ReadBytes(a.ArchivePath());
    a.RecordFailures();
    a.answers = {fxaAbort};
    // An engine error while an entry is processed goes to the failure event.
    a.arc.SetOnConfirmProcessFile([](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation, bool&) {
        if (name == u"b2.txt") throw ECVException(8, nullptr);
    });
    a.arc.DeleteFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(a.failures.size(), 1u);
    EXPECT_EQ(a.failures[0].FileName, "b2.txt");
    EXPECT_FALSE(a.arc.InUpdate());
    EXPECT_EQ(a.Names().size(), 4u);
    EXPECT_EQ(ReadBytes(a.ArchivePath()), before);
}

TEST(ProcessDelete, OtherExceptionsLeaveTheBatchAndNoUpdateStaysOpen) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FourFiles()));
    const std::string before = ReadBytes(a.ArchivePath());
    a.arc.SetOnConfirmProcessFile([](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation, bool&) {
        if (name == u"b1.txt") throw std::runtime_error("host gave up");
    });
    EXPECT_THROW(a.arc.DeleteFiles(u"*.*", 0x28BF, u""), std::runtime_error);
    EXPECT_FALSE(a.arc.InUpdate());
    EXPECT_EQ(a.Names().size(), 4u);
    EXPECT_EQ(ReadBytes(a.ArchivePath()), before);
    // The engine lock was let go: another batch runs.
    a.arc.SetOnConfirmProcessFile(nullptr);
    a.arc.DeleteFiles(u"a.txt", 0x28BF, u"");
    EXPECT_EQ(a.Names().size(), 3u);
}

TEST(ProcessDelete, PerEntryRoutinesCheckIndexAndTransaction) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FourFiles()));
    EXPECT_EQ(NativeErrorOf([&] { a.arc.DeleteArchiveItem(0); }), neDeleteOutsideUpdate);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.MarkItemForUpdate(0, a.scratch.P16("x")); }), neUpdateOutsideUpdate);
    a.arc.BeginUpdate();
    EXPECT_EQ(NativeErrorOf([&] { a.arc.DeleteArchiveItem(4); }), neDeleteIndex);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.DeleteArchiveItem(-1); }), neDeleteIndex);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.MarkItemForUpdate(4, a.scratch.P16("x")); }), neUpdateIndex);
    a.arc.CancelUpdate();
}

// The disk copy of x.txt against the entry: which of them is newer decides under the time modes.
struct UpdateCase {
    TCVOverwriteMode Mode;
    const char* DiskTime;
    bool Updated;
};

TEST(ProcessUpdate, OverwriteModesDecideWhichEntriesAreStoredAgain) {
    const std::vector<UpdateCase> cases = {
        {omAlways, "2021-03-04 05:06:08", true},   {omNever, "2021-03-05 05:06:08", false},
        {omIfNewer, "2021-03-05 05:06:08", true},  {omIfNewer, "2021-03-04 05:06:08", false},
        {omIfNewer, "2021-03-03 05:06:08", false}, {omIfOlder, "2021-03-03 05:06:08", true},
        {omIfOlder, "2021-03-04 05:06:08", false}, {omIfOlder, "2021-03-05 05:06:08", false},
    };
    for (const UpdateCase& c : cases) {
        ArchiveOnDisk a;
        a.Open(BuildZip({Folder("docs/"), RawEntry("docs/x.txt", "old x"), RawEntry("keep.txt", "kept")}));
        WriteBytes(a.Out("docs/x.txt"), "new x, longer than before");
        ASSERT_EQ(Sh("touch -d " + Quote(c.DiskTime) + " " + Quote(a.Out("docs/x.txt"))), 0);
        a.arc.Options().SetOverwriteMode(c.Mode);
        a.arc.UpdateFiles(u"*.*", 0x28BF, u"");
        a.Reopen();
        EXPECT_EQ(Extracted(a.arc, "docs/x.txt"), c.Updated ? "new x, longer than before" : "old x")
            << int(c.Mode) << " " << c.DiskTime;
        EXPECT_EQ(Extracted(a.arc, "keep.txt"), "kept");
        EXPECT_EQ(a.Names(), (std::vector<std::string>{"docs/", "docs/x.txt", "keep.txt"}));
        a.arc.CloseArchive();
        std::string output;
        EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
    }
}

TEST(ProcessUpdate, EntriesWithoutADiskFileOrReadOnlyStayAsTheyAre) {
    ArchiveOnDisk a;
    RawEntry readOnly("ro.txt", "ro old");
    readOnly.ExternalAttr = 0x21;
    a.Open(BuildZip({RawEntry("gone.txt", "gone old"), readOnly}));
    WriteBytes(a.Out("ro.txt"), "ro new");
    a.arc.Options().SetReplaceReadOnly(false);
    a.arc.UpdateFiles(u"*.*", 0x28BF, u"");
    a.Reopen();
    EXPECT_EQ(Extracted(a.arc, "gone.txt"), "gone old");
    EXPECT_EQ(Extracted(a.arc, "ro.txt"), "ro old");

    a.arc.Options().SetReplaceReadOnly(true);
    a.arc.UpdateFiles(u"*.*", 0x28BF, u"");
    a.Reopen();
    EXPECT_EQ(Extracted(a.arc, "ro.txt"), "ro new");
}

TEST(ProcessUpdate, PromptNamesTheDiskFileAndTheEntry) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("x.txt", "old"), RawEntry("y.txt", "old")}));
    WriteBytes(a.Out("x.txt"), "new");
    WriteBytes(a.Out("y.txt"), "new");
    a.arc.Options().SetOverwriteMode(omPrompt);
    std::vector<std::string> asked;
    a.arc.SetOnConfirmOverwrite([&](TCVBaseArchiver*, const std::u16string& source, std::u16string& dest, bool& confirm) {
        asked.push_back(U8(source) + " -> " + U8(dest));
        confirm = dest == u"x.txt";
    });
    a.arc.UpdateFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(asked, (std::vector<std::string>{a.Out("x.txt") + " -> x.txt", a.Out("y.txt") + " -> y.txt"}));
    a.Reopen();
    EXPECT_EQ(Extracted(a.arc, "x.txt"), "new");
    EXPECT_EQ(Extracted(a.arc, "y.txt"), "old");
}

TEST(ProcessUpdate, RefusedOnAnArchiveOpenedReadOnly) {
    ArchiveOnDisk a;
    WriteBytes(a.ArchivePath(), BuildZip(FourFiles()));
    a.arc.SetFileName(U16(a.ArchivePath()));
    a.arc.OpenArchive(cvOpenReadOnly);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.UpdateFiles(u"*.*", 0x28BF, u""); }), neReadOnlyArchive);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.DeleteFiles(u"*.*", 0x28BF, u""); }), neReadOnlyArchive);
    EXPECT_FALSE(a.arc.InUpdate());
    a.arc.CloseArchive();
    EXPECT_EQ(NativeErrorOf([&] { a.arc.DeleteFiles(); }), neArchiveNotOpen);
}

}  // namespace
