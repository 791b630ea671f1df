// Renaming entries: which part of a stored name changes, folders with everything below them, the
// Unicode name field, and the committed archive as other readers see it.
#include "process_test_support.h"

#include <algorithm>

using namespace process_tests;

namespace {

std::vector<std::string> PythonNames(const std::string& archive) {
    std::vector<std::string> names;
    for (const testing_support::ToolEntry& e : testing_support::ListWithPython(archive)) names.push_back(e.Name);
    return names;
}

// Every entry's data as Python's zipfile reads it: it compares each local header's name with the
// central directory's, so a renamed entry whose local header kept the old name fails here.
std::string PythonReadsAll(const std::string& archive) {
    const std::string script =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "for i in z.infolist():\n"
        "    print(i.filename, len(z.read(i)))\n";
    std::string output;
    if (Sh("python3 -c " + Quote(script) + " " + Quote(archive), &output) != 0) return "FAILED: " + output;
    return output;
}

std::vector<RawEntry> FolderArchive() {
    return {Folder("docs/"),
            RawEntry("docs/x.txt", std::string(2000, 'x')),
            Folder("docs/sub/"),
            RawEntry("docs/sub/y.txt", "why"),
            Folder("a/"),
            RawEntry("a/data.txt", "data"),
            RawEntry("other/docs/z.txt", "not below docs/"),
            RawEntry("docs.txt", "a sibling, not below")};
}

TEST(MaintenanceRename, OneEntryGetsItsNewNameInBothHeadersWithItsDataUnchanged) {
    ArchiveOnDisk a;
    a.Open(BuildZip(FolderArchive()));
    const auto before = testing_support::ListWithPython(a.ArchivePath());
    a.arc.RenameFile(u"docs\\x.txt", u"docs\\renamed.txt");
    a.arc.CloseArchive();

    std::string output;
    EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
    EXPECT_EQ(PythonReadsAll(a.ArchivePath()).find("FAILED"), std::string::npos) << PythonReadsAll(a.ArchivePath());
    const auto after = testing_support::ListWithPython(a.ArchivePath());
    ASSERT_EQ(after.size(), before.size());
    EXPECT_EQ(after[1].Name, "docs/renamed.txt");
    EXPECT_EQ(after[1].Crc, before[1].Crc);
    EXPECT_EQ(after[1].CompSize, before[1].CompSize);
    for (size_t i = 0; i < after.size(); ++i) {
        if (i == 1) continue;
        EXPECT_EQ(after[i].Name, before[i].Name);
    }
}

TEST(MaintenanceRename, FolderTakesEverythingBelowItAndNothingElse) {
    for (bool recurse : {true, false}) {
        ArchiveOnDisk a;
        a.Open(BuildZip(FolderArchive()));
        a.arc.Options().SetRecurse(true);
        a.arc.RenameFile(u"docs", u"papers");
        // Without recursion a bare folder name is looked up exactly, with its separator; the entries
        // below it still follow, however deep.
        a.arc.Options().SetRecurse(recurse);
        a.arc.RenameFile(recurse ? u"a" : u"a/", u"b");
        a.arc.CloseArchive();

        const std::vector<std::string> expected = {"papers/", "papers/x.txt", "papers/sub/", "papers/sub/y.txt",
                                                   "b/", "b/data.txt", "other/docs/z.txt", "docs.txt"};
        EXPECT_EQ(PythonNames(a.ArchivePath()), expected) << "recurse " << recurse;
        std::string output;
        EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
        EXPECT_EQ(PythonReadsAll(a.ArchivePath()).find("FAILED"), std::string::npos);
    }
}

struct RenameCase {
    std::vector<std::string> Names;
    const char* Old;
    const char* New;
    std::vector<std::string> After;
};

TEST(MaintenanceRename, OnlyTheMatchedPartOfANameChanges) {
    const std::vector<RenameCase> cases = {
        // The folder's name also occurs further on in the entries below it.
        {{"a/", "a/data.txt", "a/a/a.txt"}, "a", "b", {"b/", "b/data.txt", "b/a/a.txt"}},
        // Found by its name part: only that part changes.
        {{"docs/a.txt", "a.txt.d/keep"}, "a.txt", "b.txt", {"docs/b.txt", "a.txt.d/keep"}},
        // Letter case is ignored.
        {{"Docs/Readme.txt"}, "docs/readme.txt", "docs/read.me", {"docs/read.me"}},
    };
    for (const RenameCase& c : cases) {
        std::vector<RawEntry> entries;
        for (const std::string& name : c.Names)
            entries.push_back(name.back() == '/' ? Folder(name) : RawEntry(name, "data of " + name));
        ArchiveOnDisk a;
        a.Open(BuildZip(entries));
        a.arc.RenameFile(U16(c.Old), U16(c.New));
        EXPECT_EQ(a.Names(), c.After) << c.Old << " -> " << c.New;
        a.Reopen();
        EXPECT_EQ(a.Names(), c.After) << c.Old << " -> " << c.New;
    }
}

TEST(MaintenanceRename, UnicodeNameFieldIsRebuiltWithTheWholeNewName) {
    const std::u16string oldName = u"docs/old.txt";
    const TCVExtraFieldDataBlock field = MakeUnicodeNameField(oldName);
    RawEntry e("docs/old.txt", "payload");
    Put16(e.CentralExtra, field.headerID);
    Put16(e.CentralExtra, field.dataSize);
    e.CentralExtra.append(field.data.begin(), field.data.end());
    ArchiveOnDisk a;
    a.Open(BuildZip({e}));
    a.arc.RenameFile(u"docs/old.txt", u"docs/nouveau-été.txt");

    const TCVExtraFieldDataBlock* rebuilt = FindExtraField(a.Item("docs/nouveau-été.txt").ExtraFields, CVUnicodeNameExtraID);
    ASSERT_NE(rebuilt, nullptr);
    TUnicodeExtendedInfo info;
    ASSERT_TRUE(info.Load(rebuilt->pData(), rebuilt->dataSize));
    EXPECT_EQ(info.FName, u"docs/nouveau-été.txt");
    EXPECT_EQ(rebuilt->dataSize, 8 + 2 * info.FName.size());

    a.Reopen();
    EXPECT_EQ(a.Names(), std::vector<std::string>{"docs/nouveau-été.txt"});
    std::string text;
    a.arc.ExtractToString(u"docs/nouveau-été.txt", text);
    EXPECT_EQ(text, "payload");
}

TEST(MaintenanceRename, RenamesPileUpInsideAnOuterUpdate) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("a.txt", "alpha"), RawEntry("z.txt", "zulu")}));
    a.arc.BeginUpdate();
    a.arc.ChangeFilesComment(u"a.txt", "first");
    a.arc.RenameFile(u"a.txt", u"b.txt");
    a.arc.RenameFile(u"b.txt", u"c.txt");
    EXPECT_EQ(a.Item("c.txt").OldName, u"a.txt");
    a.arc.EndUpdate();
    a.Reopen();
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"c.txt", "z.txt"}));
    EXPECT_EQ(a.Item("c.txt").Comment, "first");
    std::string text;
    a.arc.ExtractToString(u"c.txt", text);
    EXPECT_EQ(text, "alpha");
}

TEST(MaintenanceRename, FailuresLeaveArchiveAndDirectoryAsTheyWere) {
    ArchiveOnDisk a;
    a.Open(BuildZip({Folder("a/"), RawEntry("a/x.txt", "ax"), RawEntry("b/x.txt", "bx")}));
    const std::string before = ReadBytes(a.ArchivePath());

    try {
        a.arc.RenameFile(u"nothing.txt", u"x.txt");
        ADD_FAILURE() << "no error";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neRenameNotFound);
        EXPECT_NE(U8(e.Message()).find("File \"nothing.txt\" not found"), std::string::npos) << U8(e.Message());
    }
    // Two entries of one name would follow: 'a/x.txt' would become 'b/x.txt'.
    EXPECT_EQ(NativeErrorOf([&] { a.arc.RenameFile(u"a", u"b"); }), neNameIndexOnRename);
    EXPECT_EQ(NativeErrorOf([&] { a.arc.RenameFile(u"a/x.txt", u"\\"); }), neBlankFileName);
    EXPECT_FALSE(a.arc.InUpdate());
    EXPECT_EQ(a.Names(), (std::vector<std::string>{"a/", "a/x.txt", "b/x.txt"}));
    EXPECT_EQ(ReadBytes(a.ArchivePath()), before);

    a.arc.CloseArchive();
    EXPECT_EQ(NativeErrorOf([&] { a.arc.RenameFile(u"a", u"c"); }), neArchiveNotOpen);
}

TEST(MaintenanceRename, NewNameNeverStartsAtARoot) {
    ArchiveOnDisk a;
    a.Open(BuildZip({RawEntry("x.txt", "x")}));
    a.arc.RenameFile(u"x.txt", u"\\abs\\y.txt");
    EXPECT_EQ(a.Names(), std::vector<std::string>{"abs/y.txt"});
}

TEST(MaintenanceRename, ArchiveOfAnotherToolRenamesCleanly) {
    ArchiveOnDisk a;
    std::filesystem::create_directories(a.scratch / "tree/docs/sub");
    WriteBytes(a.scratch / "tree/docs/x.txt", std::string(5000, 'x'));
    WriteBytes(a.scratch / "tree/docs/sub/y.txt", "why");
    // Streamed: every entry carries a data descriptor behind its data.
    ASSERT_EQ(Sh("cd " + Quote(a.scratch / "tree") + " && zip -r -q - docs | cat > " + Quote(a.ArchivePath())), 0);
    a.Reopen();
    a.arc.RenameFile(u"docs", u"papers");
    a.arc.CloseArchive();
    std::string output;
    EXPECT_TRUE(testing_support::UnzipTestsClean(a.ArchivePath(), &output)) << output;
    std::vector<std::string> names = PythonNames(a.ArchivePath());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"papers/", "papers/sub/", "papers/sub/y.txt", "papers/x.txt"}));
    EXPECT_EQ(PythonReadsAll(a.ArchivePath()).find("FAILED"), std::string::npos);
}

}  // namespace
