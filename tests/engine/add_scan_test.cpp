// The file-system scan: which files and folders become items, in which order, and what it leaves out.
// Each test holds an outer update, so the items are looked at before anything is written.
#include "tests/engine/add_test_support.h"

#include <atomic>
#include <sys/stat.h>
#include <stdexcept>
#include <thread>

#include "engine/archiver/CVEngineLock.h"
#include "engine/format/CVZipRecords.h"

using namespace add_tests;

namespace {

using Names = std::vector<std::string>;

// a.txt, an empty folder e, and s holding b.txt: the tree of the maker's example.
void MakeSmallTree(NewArchive& a) {
    WriteBytes(a.Tree("a.txt"), "a");
    std::filesystem::create_directories(a.Tree("e"));
    WriteBytes(a.Tree("s/b.txt"), "b");
}

Names Scan(NewArchive& a, const std::u16string& mask, int32_t attr, const std::u16string& exclusion = u"") {
    a.Hold();
    a.arc.AddFiles(mask, attr, exclusion);
    Names names = a.Names();
    a.Drop();
    return names;
}

}  // namespace

TEST(AddScan, AttributeSetAndRecursionChooseWhatIsTaken) {
    struct Case {
        int32_t attr;
        bool recurse;
        Names expected;
    };
    const Case cases[] = {
        {0x28BF, true, {"a.txt", "e/", "s/", "s/b.txt"}},
        // With the folder bit a matching folder and all it holds are taken even without recursion.
        {0x28BF, false, {"a.txt", "e/", "s/", "s/b.txt"}},
        {0x28AF, true, {"a.txt", "s/b.txt"}},
        {0x28AF, false, {"a.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.attr << " recurse " << c.recurse);
        NewArchive a("tree/test.zip");
        MakeSmallTree(a);
        a.arc.Options().SetRecurse(c.recurse);
        EXPECT_EQ(Scan(a, u"*.*", c.attr), c.expected);
    }
}

TEST(AddScan, TheArgumentLessFormUsesTheComponentsLists) {
    NewArchive a;
    MakeSmallTree(a);
    WriteBytes(a.Tree("c.log"), "c");
    a.arc.SetFileMasks({u"*.txt", u"*.log"});
    a.arc.SetExclusionMasks({u"b*"});
    a.Hold();
    a.arc.AddFiles();
    // Masks in list order; each mask walks the whole tree.
    EXPECT_EQ(a.Names(), (Names{"a.txt", "c.log"}));
    a.Drop();
}

TEST(AddScan, TheArchiveItselfIsNeverTaken) {
    NewArchive a("tree/test.zip");
    MakeSmallTree(a);
    // On POSIX another case is another file, and it is taken.
    WriteBytes(a.Tree("TEST.ZIP"), "not the archive");
    EXPECT_EQ(Scan(a, u"*.*", 0x28BF), (Names{"a.txt", "TEST.ZIP", "e/", "s/", "s/b.txt"}));

    // Nor when the scan reaches it through a link to its folder, or a link to the file itself.
    std::filesystem::create_directory_symlink(a.Tree(), a.scratch / "linked");
    std::filesystem::create_symlink(a.Tree("test.zip"), a.Tree("s/alias.zip"));
    a.arc.SetBaseDir(a.scratch.P16("linked"));
    EXPECT_EQ(Scan(a, u"*.*", 0x28AF), (Names{"a.txt", "TEST.ZIP", "s/b.txt"}));

    // Moving must not take it either: the commit would delete the archive it just wrote.
    a.Hold();
    a.arc.MoveFiles(u"*.zip", 0x28AF, u"");
    EXPECT_EQ(a.Names(), (Names{"TEST.ZIP"}));
    EXPECT_EQ(a.Item("TEST.ZIP").Operation, poMove);
    a.Drop();
}

TEST(AddScan, ExclusionAndNoCompressionMasks) {
    struct Case {
        std::u16string exclusion;
        Names expected;
    };
    NewArchive a;
    WriteBytes(a.Tree("a.txt"), "a");
    WriteBytes(a.Tree("x.tmp"), "x");
    WriteBytes(a.Tree("s/b.txt"), "b");
    WriteBytes(a.Tree("s/t/c.txt"), "c");
    WriteBytes(a.Tree("temp/d.txt"), "d");
    const std::u16string tree = U16(a.Tree());
    const Case cases[] = {
        {u"*.tmp", {"a.txt", "s/", "s/b.txt", "s/t/", "s/t/c.txt", "temp/", "temp/d.txt"}},
        // A relative mask names folders only with a trailing "*".
        {u"temp", {"a.txt", "x.tmp", "s/", "s/b.txt", "s/t/", "s/t/c.txt", "temp/", "temp/d.txt"}},
        {u"temp*", {"a.txt", "x.tmp", "s/", "s/b.txt", "s/t/", "s/t/c.txt"}},
        // An absolute mask names its folder exactly, "*.*" behind it everything below.
        {tree + u"s/*.txt", {"a.txt", "x.tmp", "s/", "s/t/", "s/t/c.txt", "temp/", "temp/d.txt"}},
        {tree + u"s/*.*", {"a.txt", "x.tmp", "s/", "temp/", "temp/d.txt"}},
        {tree + u"S/T", {"a.txt", "x.tmp", "s/", "s/b.txt", "temp/", "temp/d.txt"}},
        // A relative mask with a folder part is taken from the base folder.
        {u"s/*.txt", {"a.txt", "x.tmp", "s/", "s/t/", "temp/", "temp/d.txt"}},
        {u"\\s\\t", {"a.txt", "x.tmp", "s/", "s/b.txt", "temp/", "temp/d.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(U8(c.exclusion));
        EXPECT_EQ(Scan(a, u"*.*", 0x28BF, c.exclusion), c.expected);
    }

    a.arc.SetCompressionMode(9);
    a.arc.SetNoCompressionMasks({u"*.tmp"});
    a.Hold();
    a.arc.AddFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(a.Item("x.tmp").CompressionMode, 0);
    EXPECT_EQ(a.Item("x.tmp").CentralDir.compMethod, CVMethodStored);
    EXPECT_EQ(a.Item("x.tmp").CompressionMethod, CVMethodStored);
    EXPECT_EQ(a.Item("a.txt").CentralDir.compMethod, CVMethodDeflated);
    a.Drop();
}

TEST(AddScan, MasksWithPathsAndHiddenFiles) {
    NewArchive a;
    MakeSmallTree(a);
    WriteBytes(a.Tree(".hidden"), "h");
    WriteBytes(a.Tree("s/t/c.txt"), "c");
    const std::u16string tree = U16(a.Tree());

    EXPECT_EQ(Scan(a, u"*.*", 0x28AF), (Names{".hidden", "a.txt", "s/b.txt", "s/t/c.txt"}));
    EXPECT_EQ(Scan(a, u"*.*", 0x28AD), (Names{"a.txt", "s/b.txt", "s/t/c.txt"}));
    // An absolute path without wildcards names exactly one file or folder; nothing below it.
    EXPECT_EQ(Scan(a, tree + u"s", 0x28BF), (Names{"s/"}));
    EXPECT_EQ(Scan(a, tree + u"s/b.txt", 0x28BF), (Names{"s/b.txt"}));
    EXPECT_EQ(Scan(a, tree + u"s/missing.txt", 0x28BF), Names{});
    // Relative masks with a folder part, typed with either separator.
    EXPECT_EQ(Scan(a, u"s/*.txt", 0x28AF), (Names{"s/b.txt", "s/t/c.txt"}));
    EXPECT_EQ(Scan(a, u"s\\*.txt", 0x28AF), (Names{"s/b.txt", "s/t/c.txt"}));
    EXPECT_EQ(Scan(a, u"\\s\\b.txt", 0x28AF), (Names{"s/b.txt"}));
    EXPECT_EQ(Scan(a, u"b.txt", 0x28AF), (Names{"s/b.txt"}));
    EXPECT_EQ(Scan(a, u"", 0x28BF), Names{});
}

TEST(AddScan, ConfirmationDecliningAFolderStillOffersItsContents) {
    NewArchive a;
    MakeSmallTree(a);
    std::vector<std::u16string> offered;
    const std::u16string declined = U16(a.Tree("s/"));
    a.arc.SetOnConfirmProcessFile(
        [&](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation operation, bool& confirm) {
            EXPECT_EQ(operation, poAdd);
            offered.push_back(name);
            confirm = name != declined;
        });
    EXPECT_EQ(Scan(a, u"*.*", 0x28BF), (Names{"a.txt", "e/", "s/b.txt"}));
    EXPECT_EQ(offered, (std::vector<std::u16string>{U16(a.Tree("a.txt")), U16(a.Tree("e/")), declined,
                                                    U16(a.Tree("s/b.txt"))}));
}

TEST(AddScan, SpecialFilesAreSkipped) {
    NewArchive a;
    MakeSmallTree(a);
    ASSERT_EQ(Sh("mkfifo " + Quote(a.Tree("pipe")) + " " + Quote(a.Tree("s/pipe2"))), 0);
    EXPECT_EQ(Scan(a, u"*.*", 0x28BF), (Names{"a.txt", "e/", "s/", "s/b.txt"}));
    EXPECT_EQ(Scan(a, U16(a.Tree("pipe")), 0x28BF), Names{});
}

TEST(AddScan, FolderLoopsThroughLinksEnd) {
    NewArchive a;
    MakeSmallTree(a);
    WriteBytes(a.scratch / "outside/o.txt", "o");
    std::filesystem::create_directory_symlink("..", a.Tree("s/up"));
    std::filesystem::create_directory_symlink(".", a.Tree("s/self"));
    // A link to a folder elsewhere is followed.
    std::filesystem::create_directory_symlink(a.scratch / "outside", a.Tree("ext"));
    EXPECT_EQ(Scan(a, u"*.*", 0x28BF), (Names{"a.txt", "e/", "ext/", "ext/o.txt", "s/", "s/b.txt"}));
    EXPECT_EQ(Scan(a, u"*.txt", 0x28AF), (Names{"a.txt", "ext/o.txt", "s/b.txt"}));
    // Also when the mask starts the walk below the base folder.
    EXPECT_EQ(Scan(a, u"s/*.txt", 0x28AF), (Names{"s/b.txt"}));
}

TEST(AddScan, SizesFromTheListingAndZip64) {
    NewArchive a;
    // Sparse files: nothing is read before the commit, which these tests never run.
    ASSERT_EQ(Sh("truncate -s 4294967295 " + Quote(a.Tree("huge.bin"))), 0);
    ASSERT_EQ(Sh("truncate -s 4294967294 " + Quote(a.Tree("large.bin"))), 0);
    a.Hold();
    a.arc.AddFiles(u"*.*", 0x28BF, u"");
    const TDirItem& huge = a.Item("huge.bin");
    EXPECT_TRUE(huge.bHugeFile);
    EXPECT_EQ(huge.CentralDir.unCompSize, 0xFFFFFFFFu);
    EXPECT_EQ(huge.Zip64ExtInfo.uncompSize, 0xFFFFFFFFll);
    const TDirItem& large = a.Item("large.bin");
    EXPECT_FALSE(large.bHugeFile);
    EXPECT_EQ(large.CentralDir.unCompSize, 0xFFFFFFFEu);
    a.Drop();
}

TEST(AddScan, SameFolderTwiceKeepsOneItemPerName) {
    NewArchive a;
    MakeSmallTree(a);
    a.Hold();
    a.arc.AddFiles(u"*.*", 0x28BF, u"");
    a.arc.AddFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(a.Names(), (Names{"a.txt", "e/", "s/", "s/b.txt"}));
    for (int32_t i = 0; i < a.Dir().Count(); ++i) EXPECT_EQ(a.Dir().GetItemPtr(i).Operation, poUpdate);
    a.arc.Options().SetOverwriteMode(omNever);
    WriteBytes(a.Tree("new.txt"), "n");
    a.arc.AddFiles(u"*.*", 0x28BF, u"");
    EXPECT_EQ(a.Names(), (Names{"a.txt", "e/", "s/", "s/b.txt", "new.txt"}));
    a.Drop();
}

TEST(AddScan, AFailingHandlerEndsTheScanCleanly) {
    NewArchive a;
    MakeSmallTree(a);
    a.arc.SetCurrentDir(u"/somewhere/else");
    a.arc.SetOnConfirmProcessFile([](TCVBaseArchiver*, const std::u16string&, TCVProcessOperation, bool&) {
        throw std::runtime_error("handler failed");
    });
    EXPECT_THROW(a.arc.AddFiles(u"*.*", 0x28BF, u""), std::runtime_error);
    EXPECT_FALSE(a.arc.InUpdate());
    EXPECT_EQ(a.arc.CurrentDir(), u"/somewhere/else");
    // The engine lock was given back: another thread can take it.
    std::atomic<bool> taken{false};
    std::thread other([&] {
        if (EngineLock().try_lock()) {
            taken = true;
            EngineLock().unlock();
        }
    });
    other.join();
    EXPECT_TRUE(taken);
    a.Dir().Clear();
}

TEST(AddScan, AFolderThatCannotBeListedGivesNothing) {
    NewArchive a;
    a.arc.SetBaseDir(a.scratch.P16("no/such/folder"));
    EXPECT_EQ(Scan(a, u"*.*", 0x28BF), Names{});
}

// A folder that cannot be listed is a failure of that folder, put to the failure question like a
// file that cannot be read; it is never packed as if it were empty. Permission bits bind only
// without root's powers, so each case runs in an unprivileged child.
TEST(AddScan, AFolderThatCannotBeReadIsPutToTheFailureQuestion) {
    struct Case {
        const char* what;
        bool lockBase;
        TCVAction answer;
        Names expected;
    };
    const Case cases[] = {
        {"ignored: the folder and all below it are left out", false, fxaIgnore, {"a.txt", "e/", "s/", "s/b.txt"}},
        {"aborted: nothing is added", false, fxaAbort, {}},
        {"retried once readable", false, fxaRetry, {"a.txt", "e/", "locked/", "locked/c.txt", "s/", "s/b.txt"}},
        {"the base folder itself", true, fxaIgnore, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string result = testing_support::RunUnprivileged({}, [&]() -> std::string {
            NewArchive a;
            MakeSmallTree(a);
            WriteBytes(a.Tree("locked/c.txt"), "c");
            const std::string locked = c.lockBase ? a.scratch / "tree" : a.Tree("locked");
            chmod(locked.c_str(), 0);
            std::vector<std::string> asked;
            a.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation,
                                              int32_t native, int32_t, const std::u16string& message, TCVAction& action) {
                asked.push_back(U8(name) + " " + std::to_string(native) + " " + U8(message));
                action = c.answer;
                // A retry finds the folder readable: the user mended it meanwhile.
                if (action == fxaRetry) chmod(locked.c_str(), 0755);
            });
            a.arc.AddFiles(u"*.*", 0x28BF, u"");
            const Names names = a.Names();
            chmod(locked.c_str(), 0755);
            std::string problems;
            if (names != c.expected) {
                problems += "names:";
                for (const std::string& n : names) problems += " " + n;
                problems += "\n";
            }
            const std::string expectedQuestion = locked + "/ 33 Archiver: Cannot open file \"" + locked + "/\": Permission denied";
            if (asked.size() != 1 || asked[0].rfind(expectedQuestion, 0) != 0)
                problems += "questions: " + (asked.empty() ? std::string("none") : asked[0]) + "\n";
            if (a.arc.InUpdate()) problems += "the update is still open\n";
            return problems;
        });
        EXPECT_EQ(result, "");
    }
}

// Packing for Windows, a name Windows cannot hold fails at packing time, through the failure
// question, so the packer decides; a folder left out takes its contents with it. For the system the
// archive is made on, the same names are ordinary.
TEST(AddScan, NamesWindowsCannotHoldFailWhenPackingForWindows) {
    for (const TCVPathStyle target : {psPosix, psWindows}) {
        SCOPED_TRACE(target == psWindows ? "for Windows" : "for here");
        NewArchive a;
        for (const char* name : {"ok.txt", "c:d.txt", "CON.txt", "trail.", "bad?dir/x.txt", "good/aux"})
            WriteBytes(a.Tree(name), "x");
        a.arc.SetNameTarget(target);
        std::vector<std::string> failed;
        a.arc.SetOnProcessFileFailure([&](TCVBaseArchiver*, const std::u16string& name, TCVProcessOperation,
                                          int32_t native, int32_t, const std::u16string& message, TCVAction& action) {
            failed.push_back(U8(name).substr(a.Tree().size()));
            EXPECT_EQ(native, 19);
            EXPECT_NE(U8(message).find("Windows"), std::string::npos) << U8(message);
            action = fxaIgnore;
        });
        const Names everything = {"c:d.txt", "CON.txt", "ok.txt", "trail.", "bad?dir/", "bad?dir/x.txt", "good/", "good/aux"};
        const Names windowsOnes = {"ok.txt", "good/"};
        EXPECT_EQ(Scan(a, u"*.*", 0x28BF), target == psWindows ? windowsOnes : everything);
        EXPECT_EQ(failed, target == psWindows ? (std::vector<std::string>{"c:d.txt", "CON.txt", "trail.", "bad?dir/", "good/aux"})
                                              : std::vector<std::string>{});
    }
}
