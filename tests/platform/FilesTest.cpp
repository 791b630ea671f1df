// File and folder services, paths, temporary files and the running executable.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::PathExists;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

TEST(Files, ExistenceFollowsLinks) {
    ScratchDir dir;
    WriteBytes(dir / "f", "");
    std::filesystem::create_directory(dir / "d");
    symlink("d", (dir / "dlink").c_str());
    symlink("nowhere", (dir / "dangling").c_str());
    EXPECT_TRUE(FileExists(dir.P16("f")));
    EXPECT_FALSE(FileExists(dir.P16("d")));
    EXPECT_TRUE(FolderExists(dir.P16("dlink")));
    EXPECT_FALSE(FileExists(dir.P16("dangling")));
    EXPECT_FALSE(FolderExists(dir.P16("f")));
    EXPECT_FALSE(FileExists(dir.P16("f") + std::u16string(1, u'\0')));
    EXPECT_FALSE(FileExists(u""));

    FolderId a, b;
    ASSERT_TRUE(GetFolderId(dir.P16("d"), a));
    ASSERT_TRUE(GetFolderId(dir.P16("dlink"), b));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(GetFolderId(dir.P16("absent"), a));
}

TEST(Files, FoldersAndDeletion) {
    ScratchDir dir;
    EXPECT_TRUE(CreateFolder(dir.P16("d")));
    EXPECT_FALSE(CreateFolder(dir.P16("d")));
    EXPECT_FALSE(CreateFolder(dir.P16("x/y"))) << "one level only";
    WriteBytes(dir / "d/f", "");
    EXPECT_FALSE(RemoveFolder(dir.P16("d"))) << "not empty";
    EXPECT_FALSE(DeleteFile(dir.P16("d")));
    EXPECT_TRUE(DeleteFile(dir.P16("d/f")));
    EXPECT_FALSE(DeleteFile(dir.P16("d/f")));
    EXPECT_TRUE(RemoveFolder(dir.P16("d")));
}

TEST(Files, RenameNeverReplaces) {
    ScratchDir dir;
    WriteBytes(dir / "a", "A");
    WriteBytes(dir / "b", "B");
    EXPECT_FALSE(RenameFile(dir.P16("a"), dir.P16("b")));
    EXPECT_EQ(ReadBytes(dir / "b"), "B");
    EXPECT_TRUE(RenameFile(dir.P16("a"), dir.P16("c")));
    EXPECT_EQ(ReadBytes(dir / "c"), "A");
    EXPECT_FALSE(PathExists(dir / "a"));
}

TEST(Files, CopyKeepsBytesModeAndTime) {
    ScratchDir dir;
    const std::string data(300000, 'q');
    WriteBytes(dir / "src", data);
    chmod((dir / "src").c_str(), 0750);
    const uint32_t when = (uint32_t(30) << 25) | (1u << 21) | (2u << 16);
    ASSERT_TRUE(SetFileDosTime(dir.P16("src"), when));
    ASSERT_TRUE(CopyFile(dir.P16("src"), dir.P16("dst"), true));
    EXPECT_EQ(ReadBytes(dir / "dst"), data);
    EXPECT_EQ(static_cast<uint32_t>(ReadAttributes(dir.P16("dst"))) >> 16, uint32_t(S_IFREG | 0750));
    EXPECT_EQ(FileDosTime(dir.P16("dst")), static_cast<int32_t>(when));

    WriteBytes(dir / "other", "other");
    EXPECT_FALSE(CopyFile(dir.P16("other"), dir.P16("dst"), true));
    EXPECT_EQ(ReadBytes(dir / "dst"), data);
    EXPECT_TRUE(CopyFile(dir.P16("other"), dir.P16("dst"), false));
    EXPECT_EQ(ReadBytes(dir / "dst"), "other");
}

TEST(Files, CopyRefusesWhatWouldLoseOrHang) {
    ScratchDir dir;
    WriteBytes(dir / "f", "keep me");
    symlink("f", (dir / "alias").c_str());
    EXPECT_FALSE(CopyFile(dir.P16("f"), dir.P16("f"), false));
    EXPECT_FALSE(CopyFile(dir.P16("f"), dir.P16("alias"), false));
    EXPECT_EQ(ReadBytes(dir / "f"), "keep me");
    mkfifo((dir / "fifo").c_str(), 0600);
    EXPECT_FALSE(CopyFile(dir.P16("fifo"), dir.P16("g"), false));
    EXPECT_FALSE(CopyFile(dir.P16("f"), dir.P16("fifo"), false));
    EXPECT_FALSE(CopyFile(dir.Path16(), dir.P16("g"), false));
    EXPECT_FALSE(CopyFile(dir.P16("absent"), dir.P16("g"), false));
    EXPECT_FALSE(PathExists(dir / "g"));
}

TEST(Paths, FullPathIsLexical) {
    const std::u16string cwd = CurrentFolder();
    ASSERT_FALSE(cwd.empty());
    struct Case {
        std::u16string path;
        std::u16string full;
    } cases[] = {
        {u"/a/b/../c/./d", u"/a/c/d"},
        {u"/a//b/", u"/a/b/"},
        {u"/a/b/..", u"/a"},
        {u"/../..", u"/"},
        {u"/", u"/"},
        {u"x/y", cwd + u"/x/y"},
        {u".", cwd},
        {u"./sub/", cwd + u"/sub/"},
        {u"", u""},
    };
    for (const auto& c : cases) EXPECT_EQ(FullPath(c.path), c.full) << std::string(c.path.begin(), c.path.end());
}

TEST(Paths, CurrentFolderCanBeChanged) {
    ScratchDir dir;
    const std::u16string before = CurrentFolder();
    ASSERT_TRUE(SetCurrentFolder(dir.Path16()));
    EXPECT_EQ(FullPath(u"x"), FullPath(dir.Path16()) + u"/x");
    ASSERT_TRUE(SetCurrentFolder(before));
    EXPECT_FALSE(SetCurrentFolder(dir.P16("absent")));
}

// Restores an environment variable when it goes.
class EnvironmentValue {
public:
    EnvironmentValue(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old, had_ = true;
        if (value) setenv(name, value, 1);
        else unsetenv(name);
    }
    ~EnvironmentValue() {
        if (had_) setenv(name_, old_.c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

TEST(TempFiles, TempFolderIsTheUsersOwn) {
    {
        EnvironmentValue tmpdir("TMPDIR", "/some/where");
        EXPECT_EQ(TempFolder(), u"/some/where/");
    }
    EnvironmentValue tmpdir("TMPDIR", nullptr);
    const std::u16string folder = TempFolder();
    EXPECT_EQ(folder, Utf8ToUtf16("/tmp/selfpack-" + std::to_string(getuid()) + "/"));
    struct stat st {};
    ASSERT_EQ(lstat(Utf16ToUtf8(folder).c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    EXPECT_EQ(st.st_uid, getuid());
}

TEST(TempFiles, CreateTempFileMakesNewEmptyFiles) {
    ScratchDir dir;
    const std::u16string a = CreateTempFile(dir.Path16(), u"FC");
    const std::u16string b = CreateTempFile(dir.Path16() + u"/", u"FC");
    EXPECT_NE(a, b);
    for (const auto& path : {a, b}) {
        EXPECT_EQ(path.rfind(dir.Path16() + u"/FC", 0), 0u);
        EXPECT_EQ(ReadBytes(Utf16ToUtf8(path)), "");
    }
    EXPECT_THROW(CreateTempFile(dir.P16("absent"), u"FC"), FileError);
}

TEST(TempFiles, WriteFileNoFollowWritesButNeverThroughALink) {
    ScratchDir dir;
    WriteFileNoFollow(dir.P16("stub"), "payload", 7, 0700);
    EXPECT_EQ(ReadBytes(dir / "stub"), "payload");
    WriteFileNoFollow(dir.P16("stub"), "new", 3, 0600);
    EXPECT_EQ(ReadBytes(dir / "stub"), "new");
    struct stat st {};
    ASSERT_EQ(stat((dir / "stub").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    WriteBytes(dir / "victim", "untouched");
    symlink("victim", (dir / "planted").c_str());
    EXPECT_THROW(WriteFileNoFollow(dir.P16("planted"), "evil", 4, 0600), FileError);
    EXPECT_EQ(ReadBytes(dir / "victim"), "untouched");
    mkfifo((dir / "fifo").c_str(), 0600);
    EXPECT_THROW(WriteFileNoFollow(dir.P16("fifo"), "x", 1, 0600), FileError);
}

TEST(Executable, KnowsItself) {
    const std::u16string self = ExecutablePath();
    EXPECT_EQ(self, Utf8ToUtf16(std::filesystem::read_symlink("/proc/self/exe").string()));
    EXPECT_EQ(ExecutableExtension(), u".run");
    EXPECT_FALSE(IsRemovableDrive(u"/"));
}

}  // namespace
