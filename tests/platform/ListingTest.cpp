// Folder listing: the mask rules, the skip rule, the order, and what is never listed.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace platform;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

std::vector<std::u16string> List(const std::u16string& pattern, uint32_t attr) {
    std::vector<std::u16string> names;
    SearchRec rec;
    for (int result = FindFirst(pattern, attr, rec); result == 0; result = FindNext(rec)) names.push_back(rec.Name);
    FindClose(rec);
    FindClose(rec);
    return names;
}

constexpr uint32_t everything = 0x28BF;

TEST(Listing, SortsWithAsciiLettersFoldedAndTiesInByteOrder) {
    ScratchDir dir;
    for (const char* name : {"b", "a", "_x", "B1", "A", "\xc3\xa9", "Z"}) WriteBytes(dir / name, "");
    EXPECT_EQ(List(dir.Path16() + u"/*", everything),
              (std::vector<std::u16string>{u"A", u"a", u"b", u"B1", u"Z", u"_x", u"\u00e9"}));
}

TEST(Listing, SkipsHiddenAndFoldersUnlessAsked) {
    ScratchDir dir;
    WriteBytes(dir / "file", "");
    WriteBytes(dir / ".hidden", "");
    std::filesystem::create_directory(dir / "sub");
    std::filesystem::create_directory(dir / ".hiddensub");
    const std::u16string pattern = dir.Path16() + u"/*.*";
    struct Case {
        uint32_t attr;
        std::vector<std::u16string> names;
    } cases[] = {
        {0, {u"file"}},
        {faArchive | faReadOnly, {u"file"}},
        {faHidden, {u".hidden", u"file"}},
        {faDirectory, {u"file", u"sub"}},
        {faDirectory | faHidden, {u".hidden", u".hiddensub", u"file", u"sub"}},
        {everything, {u".hidden", u".hiddensub", u"file", u"sub"}},
    };
    for (const auto& c : cases) EXPECT_EQ(List(pattern, c.attr), c.names) << "attr " << c.attr;
}

TEST(Listing, MasksFollowTheEngineWildcardRules) {
    ScratchDir dir;
    for (const char* name : {"readme", "a.txt", "A.TXT2", "abc", "b.TXT", "x.tar.gz", "\xc3\x89.txt"})
        WriteBytes(dir / name, "");
    struct Case {
        std::u16string mask;
        std::vector<std::u16string> names;
    } cases[] = {
        {u"*.*", {u"a.txt", u"A.TXT2", u"abc", u"b.TXT", u"readme", u"x.tar.gz", u"\u00c9.txt"}},
        {u"*.", {}},
        {u"*.txt", {u"a.txt", u"b.TXT", u"\u00c9.txt"}},
        {u"?.txt", {u"a.txt", u"b.TXT", u"\u00c9.txt"}},
        {u"\u00e9.txt", {}},   // only A-Z are folded
        {u"A.TXT", {u"a.txt"}},
        {u"abc*.*", {}},
        {u"abc*", {u"abc"}},
        {u"*.gz", {u"x.tar.gz"}},
        {u"a*", {u"a.txt", u"A.TXT2", u"abc"}},
        {u"**", {u"a.txt", u"A.TXT2", u"abc", u"b.TXT", u"readme", u"x.tar.gz", u"\u00c9.txt"}},
        {u"nothing", {}},
    };
    for (const auto& c : cases) EXPECT_EQ(List(dir.Path16() + u"/" + c.mask, everything), c.names);
}

TEST(Listing, HostileMaskEndsQuickly) {
    ScratchDir dir;
    WriteBytes(dir / std::string(200, 'a'), "");
    std::u16string mask;
    for (int i = 0; i < 40; ++i) mask += u"*a";
    EXPECT_EQ(List(dir.Path16() + u"/" + mask + u"b", everything).size(), 0u);
    EXPECT_EQ(List(dir.Path16() + u"/" + std::u16string(100000, u'*') + u"a", everything).size(), 1u);
    EXPECT_EQ(List(dir.Path16() + u"/" + std::u16string(100000, u'?'), everything).size(), 0u);
}

TEST(Listing, FillsAttributesSizeAndTime) {
    ScratchDir dir;
    WriteBytes(dir / "f", "12345");
    std::filesystem::create_directory(dir / "d");
    ASSERT_TRUE(SetFileDosTime(dir.P16("f"), (uint32_t(44) << 25) | (6u << 21) | (15u << 16) | (12u << 11)));
    SearchRec rec;
    ASSERT_EQ(FindFirst(dir.Path16() + u"/*", everything, rec), 0);
    EXPECT_EQ(rec.Name, u"d");
    EXPECT_EQ(rec.Attr & 0xFFFF, faDirectory);
    EXPECT_EQ(rec.Attr >> 16 & S_IFMT, unsigned(S_IFDIR));
    EXPECT_EQ(rec.Size, 0);
    ASSERT_EQ(FindNext(rec), 0);
    EXPECT_EQ(rec.Name, u"f");
    EXPECT_EQ(rec.Attr & 0xFFFF, faArchive);
    EXPECT_EQ(rec.Size, 5);
    EXPECT_EQ(rec.Time, (uint32_t(44) << 25) | (6u << 21) | (15u << 16) | (12u << 11));
    EXPECT_NE(FindNext(rec), 0);
    FindClose(rec);
    EXPECT_NE(FindNext(rec), 0) << "a closed listing gives nothing";
}

TEST(Listing, LeavesOutSpecialFilesAndDanglingLinksButFollowsGoodOnes) {
    ScratchDir dir;
    WriteBytes(dir / "real", "abc");
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    ASSERT_EQ(symlink("missing", (dir / "dangling").c_str()), 0);
    ASSERT_EQ(symlink("real", (dir / "link").c_str()), 0);
    const int sock = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir / "sock";
    if (socketPath.size() < sizeof address.sun_path) {
        socketPath.copy(address.sun_path, socketPath.size());
        ASSERT_EQ(bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    }
    close(sock);
    EXPECT_EQ(List(dir.Path16() + u"/*", everything), (std::vector<std::u16string>{u"link", u"real"}));
    SearchRec rec;
    ASSERT_EQ(FindFirst(dir.P16("link"), everything, rec), 0);
    EXPECT_EQ(rec.Size, 3);
    FindClose(rec);
}

TEST(Listing, MissingFolderOrNoMatchIsAnError) {
    ScratchDir dir;
    SearchRec rec;
    EXPECT_NE(FindFirst(dir.P16("absent/*"), everything, rec), 0);
    EXPECT_NE(FindFirst(dir.P16("*"), everything, rec), 0);
    EXPECT_NE(FindFirst(dir.Path16() + u"/", everything, rec), 0);
}

TEST(Listing, NamesThatAreNotUtf8ComeBackUsable) {
    ScratchDir dir;
    WriteBytes(dir / "caf\xe9", "x");
    SearchRec rec;
    ASSERT_EQ(FindFirst(dir.Path16() + u"/*", everything, rec), 0);
    EXPECT_EQ(rec.Name, u"caf\xdce9");
    EXPECT_TRUE(FileExists(dir.Path16() + u"/" + rec.Name));
    FindClose(rec);
}

}  // namespace
