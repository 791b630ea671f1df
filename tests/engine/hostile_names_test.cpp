// Names and links that would lead an extraction out of its destination folder: each such entry is
// refused through the failure event, every harmless entry of the same archive is still written, and
// nothing outside the destination changes.
#include "process_test_support.h"

#include <unistd.h>

using namespace process_tests;

namespace {

// The scratch folder holds the archive, out/ (the destination) and outside/ (which must stay as the
// test left it).
struct HostileArchive : ArchiveOnDisk {
    HostileArchive() {
        std::filesystem::create_directories(Out());
        std::filesystem::create_directories(Outside());
        WriteBytes(Outside("precious.txt"), "precious");
    }
    std::string Outside(const std::string& name = "") const { return scratch / ("outside/" + name); }
    std::map<std::string, DiskEntry> OutsideNow() const { return Snapshot(Outside()); }
};

TEST(HostileNames, ClimbingRootedAndPrefixedNamesAreRefusedOneByOne) {
    for (bool createDirs : {true, false}) {
        HostileArchive h;
        const std::string absolute = h.Outside("abs.txt");
        // A drive is one only where the system has drives; here "c:" is part of a name.
        const std::vector<std::string> refused = {
            "../evil.txt", "a/../../evil.txt", "a/..", absolute,
            "\\\\server\\share\\evil.txt", "//server/share/evil.txt", "..\\evil.txt", "../up/",
        };
        const std::vector<std::string> harmless = {"ok.txt", "a/b.txt", "a/./c.txt", "x..y.txt", "..ok.txt", "colon:in.txt",
                                                   "c:d.txt", "C:/e.txt"};
        std::vector<RawEntry> entries;
        for (size_t i = 0; i < std::max(refused.size(), harmless.size()); ++i) {
            if (i < refused.size())
                entries.push_back(refused[i].back() == '/' ? Folder(refused[i]) : RawEntry(refused[i], "evil"));
            if (i < harmless.size()) entries.push_back(RawEntry(harmless[i], "fine " + harmless[i]));
        }
        h.Open(BuildZip(entries));
        h.RecordFailures();
        h.arc.Options().SetCreateDirs(createDirs);
        h.arc.ExtractFiles(u"*.*", 0x28BF, u"");

        std::vector<std::string> failedNames;
        for (const Failure& f : h.failures) {
            failedNames.push_back(f.FileName);
            EXPECT_EQ(f.NativeError, neCannotCreateFile) << f.FileName;
        }
        EXPECT_EQ(failedNames, refused);
        const std::vector<std::string> written =
            createDirs ? std::vector<std::string>{"..ok.txt", "C:/", "C:/e.txt", "a/", "a/b.txt", "a/c.txt", "c:d.txt",
                                                  "colon:in.txt", "ok.txt", "x..y.txt"}
                       : std::vector<std::string>{"..ok.txt", "b.txt", "c.txt", "c:d.txt", "colon:in.txt", "e.txt", "ok.txt",
                                                  "x..y.txt"};
        EXPECT_EQ(NamesIn(h.Out()), written);
        EXPECT_EQ(h.ElsewhereNames(), (std::vector<std::string>{"outside/", "outside/precious.txt"}));
    }
}

TEST(HostileNames, RefusalNamesTheEntryInTheDefaultBoxAndAbortEndsTheBatch) {
    HostileArchive h;
    h.Open(BuildZip({RawEntry("../evil.txt", "evil"), RawEntry("later.txt", "later")}));
    ScriptedAnswers dialogs({platform::Button::Abort});
    h.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(dialogs.Script().Messages.size(), 1u);
    const std::string text = U8(dialogs.Script().Messages[0].Text);
    EXPECT_NE(text.find("Cannot create file \"../evil.txt\""), std::string::npos) << text;
    EXPECT_NE(text.find("Native error: 00019"), std::string::npos) << text;
    EXPECT_TRUE(NamesIn(h.Out()).empty());
    EXPECT_EQ(h.ElsewhereNames(), (std::vector<std::string>{"outside/", "outside/precious.txt"}));
}

TEST(HostileNames, NameFromTheExtractHandlerIsCheckedToo) {
    HostileArchive h;
    h.Open(BuildZip({RawEntry("x.txt", "x")}));
    h.RecordFailures();
    h.arc.SetOnExtractFile([](TCVBaseArchiver*, std::u16string& name, uint32_t&, const std::string&) {
        name = u"../outside/x.txt";
    });
    h.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    ASSERT_EQ(h.failures.size(), 1u);
    EXPECT_EQ(h.failures[0].NativeError, neCannotCreateFile);
    EXPECT_FALSE(PathExists(h.Outside("x.txt")));
}

TEST(HostileNames, FolderLinkLeadingOutIsNeverWrittenThrough) {
    HostileArchive h;
    ASSERT_EQ(symlink("../outside", h.Out("link").c_str()), 0);
    std::filesystem::create_directories(h.Out("real"));
    // A link to a folder beside it stays inside the destination: that one may be used.
    ASSERT_EQ(symlink("real", h.Out("alias").c_str()), 0);
    h.Open(BuildZip({RawEntry("link/evil.txt", "evil"), RawEntry("link/sub/evil.txt", "evil"), Folder("link/made/"),
                     RawEntry("alias/x.txt", "via alias"), RawEntry("fine.txt", "fine")}));
    h.RecordFailures();
    const auto before = h.OutsideNow();
    h.arc.ExtractFiles(u"*.*", 0x28BF, u"");

    ASSERT_EQ(h.failures.size(), 3u);
    for (const Failure& f : h.failures) EXPECT_EQ(f.NativeError, neCannotCreateFolder) << f.FileName;
    EXPECT_EQ(h.OutsideNow(), before);
    EXPECT_EQ(ReadBytes(h.Out("fine.txt")), "fine");
    EXPECT_EQ(ReadBytes(h.Out("real/x.txt")), "via alias");
}

TEST(HostileNames, FileLinkInThePlaceOfATargetIsReplacedNotFollowed) {
    HostileArchive h;
    ASSERT_EQ(symlink("../outside/precious.txt", h.Out("victim.txt").c_str()), 0);
    ASSERT_EQ(symlink("../outside/created.txt", h.Out("dangling.txt").c_str()), 0);
    RawEntry readOnly("victim.txt", "replacement");
    readOnly.ExternalAttr = 0x21;
    h.Open(BuildZip({readOnly, UnixFile("dangling.txt", "new", 0100777)}));
    h.RecordFailures();
    const auto before = h.OutsideNow();
    h.arc.ExtractFiles(u"*.*", 0x28BF, u"");

    EXPECT_TRUE(h.failures.empty());
    EXPECT_EQ(h.OutsideNow(), before);
    EXPECT_FALSE(IsLink(h.Out("victim.txt")));
    EXPECT_EQ(ReadBytes(h.Out("victim.txt")), "replacement");
    EXPECT_FALSE(IsLink(h.Out("dangling.txt")));
    EXPECT_EQ(ReadBytes(h.Out("dangling.txt")), "new");
}

TEST(HostileNames, LinkEntriesBecomePlainFilesSoLaterEntriesCannotUseThem) {
    HostileArchive h;
    h.Open(BuildZip({UnixFile("ln", "../outside", 0120777), RawEntry("ln/evil.txt", "evil")}));
    h.RecordFailures();
    h.arc.ExtractFiles(u"*.*", 0x28BF, u"");
    EXPECT_FALSE(IsLink(h.Out("ln")));
    EXPECT_EQ(ReadBytes(h.Out("ln")), "../outside");
    ASSERT_EQ(h.failures.size(), 1u);
    EXPECT_EQ(h.failures[0].NativeError, neCannotCreateFolder);
    EXPECT_EQ(h.ElsewhereNames(), (std::vector<std::string>{"outside/", "outside/precious.txt"}));
}

TEST(HostileNames, UpdateNeverPullsInAFileFromOutsideTheBaseFolder) {
    HostileArchive h;
    h.Open(BuildZip({RawEntry("../outside/precious.txt", "archived"), RawEntry("in.txt", "old")}));
    WriteBytes(h.Out("in.txt"), "new");
    h.arc.UpdateFiles(u"*.*", 0x28BF, u"");
    h.Reopen();
    std::string text;
    h.arc.ExtractToString(u"../outside/precious.txt", text);
    EXPECT_EQ(text, "archived");
    h.arc.ExtractToString(u"in.txt", text);
    EXPECT_EQ(text, "new");
}

}  // namespace
