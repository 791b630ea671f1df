#include "engine/util/CVStrFunc.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

using testing_support::PathExists;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

std::vector<std::u16string> ListNames(const std::u16string& pattern, uint32_t attr) {
    std::vector<std::u16string> names;
    platform::SearchRec rec;
    for (int found = FindFirstEntry(pattern, attr, rec); found == 0; found = FindNextEntry(rec))
        names.push_back(rec.Name);
    CloseFind(rec);
    CloseFind(rec);   // harmless twice
    return names;
}

TEST(StrFuncFileSystem, ExistenceTests) {
    ScratchDir dir;
    WriteBytes(dir / "file", "x");
    std::filesystem::create_directory(dir / "folder");
    std::filesystem::create_symlink(dir / "folder", dir / "folder-link");
    std::filesystem::create_symlink(dir / "missing", dir / "dangling");

    EXPECT_TRUE(IsExistingFile(dir.P16("file")));
    EXPECT_FALSE(IsExistingFolder(dir.P16("file")));
    EXPECT_TRUE(IsExistingFolder(dir.P16("folder")));
    EXPECT_TRUE(IsExistingFolder(dir.P16("folder/")));
    EXPECT_FALSE(IsExistingFile(dir.P16("folder")));
    EXPECT_TRUE(IsExistingFolder(dir.P16("folder-link")));   // links are followed
    EXPECT_FALSE(IsExistingFile(dir.P16("dangling")));
    EXPECT_FALSE(IsExistingFolder(dir.P16("dangling")));
    EXPECT_FALSE(IsExistingFile(u""));
    EXPECT_FALSE(IsExistingFolder(u""));
}

TEST(StrFuncFileSystem, ForceFolders) {
    ScratchDir dir;
    EXPECT_TRUE(ForceFolders(dir.P16("a/b/c/d")));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "a/b/c/d"));
    EXPECT_TRUE(ForceFolders(dir.P16("a/b/c/d/")));   // already there
    EXPECT_TRUE(ForceFolders(dir.P16("a/x/")));
    EXPECT_TRUE(ForceFolders(dir.P16("a/../y")));
    EXPECT_TRUE(std::filesystem::is_directory(dir / "y"));

    WriteBytes(dir / "file", "x");
    EXPECT_FALSE(ForceFolders(dir.P16("file/sub")));   // a file is in the way
    EXPECT_EQ(ReadBytes(dir / "file"), "x");
    EXPECT_FALSE(ForceFolders(u""));

    // Many levels at once, created from the outside in.
    std::u16string deepButAllowed = dir.P16("ok");
    for (int k = 0; k < 300; ++k) deepButAllowed += u"/d";
    EXPECT_TRUE(ForceFolders(deepButAllowed));
}

TEST(StrFuncFileSystem, DeleteRenameCopy) {
    ScratchDir dir;
    WriteBytes(dir / "a", "first");
    WriteBytes(dir / "b", "second");

    EXPECT_FALSE(CopyDiskFile(dir.P16("a"), dir.P16("b"), true));   // refuses to overwrite
    EXPECT_EQ(ReadBytes(dir / "b"), "second");
    EXPECT_TRUE(CopyDiskFile(dir.P16("a"), dir.P16("b"), false));
    EXPECT_EQ(ReadBytes(dir / "b"), "first");
    EXPECT_TRUE(CopyDiskFile(dir.P16("a"), dir.P16("c"), true));
    EXPECT_FALSE(CopyDiskFile(dir.P16("missing"), dir.P16("d"), false));

    EXPECT_TRUE(RenameDiskFile(dir.P16("c"), dir.P16("e")));
    EXPECT_FALSE(PathExists(dir / "c"));
    EXPECT_EQ(ReadBytes(dir / "e"), "first");
    EXPECT_FALSE(RenameDiskFile(dir.P16("missing"), dir.P16("f")));

    EXPECT_TRUE(DeleteDiskFile(dir.P16("e")));
    EXPECT_FALSE(DeleteDiskFile(dir.P16("e")));

    for (bool flag : {false, true}) EXPECT_FALSE(CopyDiskFile(u"", u"", flag));
    EXPECT_FALSE(RenameDiskFile(u"", u""));
    EXPECT_FALSE(DeleteDiskFile(u""));
}

TEST(StrFuncFileSystem, ListingSkipsWhatTheAttributeSetLacks) {
    ScratchDir dir;
    WriteBytes(dir / "a.txt", "x");
    WriteBytes(dir / ".hidden", "x");
    WriteBytes(dir / "B.dat", "x");
    std::filesystem::create_directory(dir / "sub");

    const std::u16string all = dir.P16("*");
    EXPECT_EQ(ListNames(all, 0x20), (std::vector<std::u16string>{u"a.txt", u"B.dat"}));
    EXPECT_EQ(ListNames(all, 0x22), (std::vector<std::u16string>{u".hidden", u"a.txt", u"B.dat"}));
    EXPECT_EQ(ListNames(all, 0x30), (std::vector<std::u16string>{u"a.txt", u"B.dat", u"sub"}));
    EXPECT_EQ(ListNames(dir.P16("*.txt"), 0x28BF), (std::vector<std::u16string>{u"a.txt"}));
    EXPECT_TRUE(ListNames(dir.P16("nothing-*"), 0x28BF).empty());
    EXPECT_TRUE(ListNames(dir.P16("missing-folder/*"), 0x28BF).empty());
    EXPECT_TRUE(ListNames(u"", 0x28BF).empty());

    platform::SearchRec rec;
    ASSERT_EQ(FindFirstEntry(dir.P16("B.dat"), 0x20, rec), 0);
    EXPECT_EQ(rec.Size, 1);
    EXPECT_NE(FindNextEntry(rec), 0);
    CloseFind(rec);
}

TEST(StrFuncFileSystem, AttributesAndTimes) {
    ScratchDir dir;
    WriteBytes(dir / "file", "x");
    std::filesystem::create_directory(dir / "folder");

    const int32_t fileAttr = ReadAttributes(dir.P16("file"));
    ASSERT_NE(fileAttr, -1);
    EXPECT_TRUE(fileAttr & platform::faArchive);
    EXPECT_TRUE(ReadAttributes(dir.P16("folder")) & platform::faDirectory);
    EXPECT_EQ(ReadAttributes(dir.P16("missing")), -1);
    EXPECT_EQ(ReadAttributes(u""), -1);

    EXPECT_TRUE(WriteAttributes(dir.P16("file"), platform::faArchive | platform::faReadOnly));
    EXPECT_TRUE(ReadAttributes(dir.P16("file")) & platform::faReadOnly);
    EXPECT_TRUE(WriteAttributes(dir.P16("file"), platform::faArchive));
    EXPECT_FALSE(ReadAttributes(dir.P16("file")) & platform::faReadOnly);
    EXPECT_FALSE(WriteAttributes(dir.P16("missing"), platform::faArchive));
    EXPECT_FALSE(WriteAttributes(u"", platform::faArchive));

    const int32_t stamp = DateTimeToDosTime(TCVDateTime{2014, 6, 15, 13, 45, 30});
    ASSERT_TRUE(platform::SetFileDosTime(dir.P16("file"), static_cast<uint32_t>(stamp)));
    EXPECT_EQ(FileDosTime(dir.P16("file")), stamp);
    ASSERT_TRUE(platform::SetFileDosTime(dir.P16("folder"), static_cast<uint32_t>(stamp)));
    EXPECT_EQ(FileDosTime(dir.P16("folder")), -1);   // a folder has no time here, whatever its own
    EXPECT_EQ(FileDosTime(dir.P16("missing")), -1);
    EXPECT_EQ(FileDosTime(u""), -1);
}

TEST(StrFuncFileSystem, PathsLongerThanTheSystemTakesFailQuietly) {
    const std::u16string huge = u"/" + std::u16string(100000, u'n');
    EXPECT_FALSE(IsExistingFile(huge));
    EXPECT_FALSE(IsExistingFolder(huge));
    EXPECT_EQ(ReadAttributes(huge), -1);
    EXPECT_EQ(FileDosTime(huge), -1);
    EXPECT_FALSE(WriteAttributes(huge, platform::faArchive));
    EXPECT_FALSE(DeleteDiskFile(huge));
    EXPECT_FALSE(ForceFolders(huge));
    EXPECT_TRUE(ListNames(huge + u"/*", 0x28BF).empty());
    EXPECT_TRUE(RemoveEmptyFolders(huge + u"/"));   // no such folder afterwards
}

TEST(StrFuncFileSystem, Drives) {
    struct Case {
        const char16_t* path;
        bool floppy;
    };
    const Case cases[] = {{u"a:\\x", true}, {u"B:", true}, {u"C:\\", false}, {u"\\\\a:", false}, {u"", false}};
    for (const auto& c : cases) EXPECT_EQ(IsFloppyDrive(c.path, psWindows), c.floppy) << platform::Utf16ToUtf8(c.path);
    EXPECT_FALSE(IsFloppyDrive(u"a:/x", psPosix));
    EXPECT_FALSE(IsRemovableDrive(u"/tmp"));
    EXPECT_FALSE(IsRemovableDrive(u""));
}

TEST(StrFuncFileSystem, RemoveEmptyFoldersRemovesAWholeEmptyTree) {
    ScratchDir dir;
    for (const char* sub : {"t/a/a1/a2", "t/b", "t/.hidden/x"}) std::filesystem::create_directories(dir / sub);
    EXPECT_TRUE(RemoveEmptyFolders(dir.P16("t/")));
    EXPECT_FALSE(PathExists(dir / "t"));

    std::filesystem::create_directories(dir / "u/v");
    EXPECT_TRUE(RemoveEmptyFolders(dir.P16("u")));   // the separator may be missing
    EXPECT_FALSE(PathExists(dir / "u"));

    std::string deep = "deep";
    for (int k = 0; k < 300; ++k) deep += "/d";
    std::filesystem::create_directories(dir / deep);
    EXPECT_TRUE(RemoveEmptyFolders(dir.P16("deep/")));
    EXPECT_FALSE(PathExists(dir / "deep"));

    EXPECT_TRUE(RemoveEmptyFolders(dir.P16("never-there/")));   // nothing left to remove
    EXPECT_FALSE(RemoveEmptyFolders(u""));                     // would be the root
}

TEST(StrFuncFileSystem, RemoveEmptyFoldersKeepsFilesAndStopsAtTheFirstFolderThatHoldsOne) {
    ScratchDir dir;
    for (const char* sub : {"t/a/inner", "t/b", "t/c"}) std::filesystem::create_directories(dir / sub);
    WriteBytes(dir / "t/b/keep.txt", "data");

    EXPECT_FALSE(RemoveEmptyFolders(dir.P16("t/")));
    EXPECT_FALSE(PathExists(dir / "t/a"));          // listed before b: already gone
    EXPECT_EQ(ReadBytes(dir / "t/b/keep.txt"), "data");
    EXPECT_TRUE(PathExists(dir / "t/c"));           // after b: never reached
    EXPECT_TRUE(PathExists(dir / "t"));

    WriteBytes(dir / "top/file", "x");
    EXPECT_FALSE(RemoveEmptyFolders(dir.P16("top/")));
    EXPECT_EQ(ReadBytes(dir / "top/file"), "x");
}

TEST(StrFuncFileSystem, RemoveEmptyFoldersSurvivesALinkLoop) {
    ScratchDir dir;
    std::filesystem::create_directories(dir / "t/sub");
    std::filesystem::create_directory_symlink(dir / "t", dir / "t/sub/loop");

    EXPECT_FALSE(RemoveEmptyFolders(dir.P16("t/")));
    EXPECT_TRUE(PathExists(dir / "t/sub/loop"));   // a link is not deleted like a folder
}

}  // namespace
