// Attribute bits read from and written to the file system, the Unix mode in the high 16 bits included.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

mode_t ModeOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0);
    return st.st_mode;
}

TEST(Attributes, ReadFromTypePermissionsAndName) {
    ScratchDir dir;
    WriteBytes(dir / "plain", "");
    WriteBytes(dir / "locked", "");
    WriteBytes(dir / ".dotfile", "");
    std::filesystem::create_directory(dir / ".dotdir");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    struct Case {
        std::string name;
        mode_t mode;
        uint32_t expected;
    } cases[] = {
        {"plain", 0644, faArchive | (uint32_t(S_IFREG | 0644) << 16)},
        {"locked", 0444, faArchive | faReadOnly | (uint32_t(S_IFREG | 0444) << 16)},
        {".dotfile", 0600, faArchive | faHidden | (uint32_t(S_IFREG | 0600) << 16)},
        {".dotdir/", 0750, faDirectory | faHidden | (uint32_t(S_IFDIR | 0750) << 16)},
        {".dotdir/.", 0750, faDirectory | (uint32_t(S_IFDIR | 0750) << 16)},
        {"fifo", 0644, faSysFile | (uint32_t(S_IFIFO | 0644) << 16)},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(chmod((dir / c.name).c_str(), c.mode), 0);
        EXPECT_EQ(static_cast<uint32_t>(ReadAttributes(dir.P16(c.name))), c.expected) << c.name;
    }
    EXPECT_EQ(ReadAttributes(dir.P16("absent")), -1);
}

TEST(Attributes, UnixModeRoundTrips) {
    ScratchDir dir;
    WriteBytes(dir / "script", "#!/bin/sh\n");
    WriteBytes(dir / "copy", "");
    chmod((dir / "script").c_str(), 0751);
    const auto attributes = static_cast<uint32_t>(ReadAttributes(dir.P16("script")));
    ASSERT_TRUE(WriteAttributes(dir.P16("copy"), attributes));
    EXPECT_EQ(ModeOf(dir / "copy") & 07777, 0751u);
    EXPECT_EQ(ReadAttributes(dir.P16("copy")), static_cast<int32_t>(attributes));
}

TEST(Attributes, WriteRules) {
    ScratchDir dir;
    struct Case {
        const char* what;
        mode_t before;
        uint32_t attributes;
        mode_t after;
    } cases[] = {
        {"read-only bit clears every write bit", 0666, faReadOnly | faArchive, 0444},
        {"no read-only bit gives the owner write", 0444, faArchive, 0644},
        {"zero, as before a delete, unlocks", 0555, 0, 0755},
        {"a file mode's permissions win", 0600, (uint32_t(S_IFREG | 0755) << 16) | faArchive, 0755},
        {"set-id and sticky bits are dropped", 0600, (uint32_t(S_IFREG | 07755) << 16), 0755},
        {"a folder mode counts too", 0600, (uint32_t(S_IFDIR | 0700) << 16) | faDirectory, 0700},
        {"a link mode falls back to the bit", 0600, (uint32_t(S_IFLNK | 0777) << 16) | faReadOnly, 0400},
        {"a mode without type bits is ignored", 0600, (uint32_t(0777) << 16), 0600},
    };
    for (const auto& c : cases) {
        WriteBytes(dir / "f", "");
        chmod((dir / "f").c_str(), c.before);
        EXPECT_TRUE(WriteAttributes(dir.P16("f"), c.attributes)) << c.what;
        EXPECT_EQ(ModeOf(dir / "f") & 07777, c.after) << c.what;
        chmod((dir / "f").c_str(), 0600);
    }
    EXPECT_FALSE(WriteAttributes(dir.P16("absent"), 0));
}

TEST(Attributes, MakeExecutableFollowsTheReadBits) {
    ScratchDir dir;
    WriteBytes(dir / "f", "");
    chmod((dir / "f").c_str(), 0640);
    EXPECT_TRUE(MakeExecutable(dir.P16("f")));
    EXPECT_EQ(ModeOf(dir / "f") & 07777, 0750u);
    EXPECT_FALSE(MakeExecutable(dir.P16("absent")));
}

}  // namespace
