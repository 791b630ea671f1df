// File streams: open-mode words, sharing between two opens, errors, sizes and large offsets.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace platform;
using testing_support::ReadBytes;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

struct SharingCase {
    uint16_t first;
    uint16_t second;
    bool secondOpens;
};

class FileSharing : public ::testing::TestWithParam<SharingCase> {};

TEST_P(FileSharing, SecondOpenSeesTheFirstOnesSharing) {
    ScratchDir dir;
    WriteBytes(dir / "f", "data");
    const auto [first, second, secondOpens] = GetParam();
    FileStream held(dir.P16("f"), first);
    if (secondOpens) {
        EXPECT_NO_THROW(FileStream(dir.P16("f"), second));
    } else {
        try {
            FileStream(dir.P16("f"), second);
            ADD_FAILURE() << "second open should fail";
        } catch (const FileError& e) {
            EXPECT_NE(e.Message().find(u"in use by another process"), std::u16string::npos);
        }
        EXPECT_EQ(ReadBytes(dir / "f"), (first & fmCreate) == fmCreate ? "" : "data");
    }
}

constexpr uint16_t R = fmOpenRead;
INSTANTIATE_TEST_SUITE_P(
    Modes, FileSharing,
    ::testing::Values(SharingCase{R | fmShareDenyNone, R | fmShareCompat, true},
                      SharingCase{R | fmShareDenyNone, fmCreate, true},
                      SharingCase{R | fmShareDenyWrite, R | fmShareDenyWrite, true},
                      SharingCase{R | fmShareDenyWrite, R | fmShareDenyNone, true},
                      SharingCase{R | fmShareDenyWrite, fmOpenReadWrite | fmShareExclusive, false},
                      SharingCase{R | fmShareCompat, R | fmShareDenyWrite, false},
                      SharingCase{R | fmShareDenyRead, R | fmShareDenyRead, false},
                      SharingCase{fmOpenReadWrite | fmShareExclusive, R | fmShareDenyNone, true},
                      SharingCase{fmCreate, R | fmShareDenyWrite, false}));

TEST(FileStream, CreateOfAFileHeldByAnotherLeavesItsBytesAlone) {
    ScratchDir dir;
    WriteBytes(dir / "f", "precious");
    FileStream held(dir.P16("f"), fmOpenRead | fmShareExclusive);
    EXPECT_THROW(FileStream(dir.P16("f"), fmCreate), FileError);
    EXPECT_EQ(ReadBytes(dir / "f"), "precious");
}

TEST(FileStream, CreateTruncatesAndOpensForReadAndWrite) {
    ScratchDir dir;
    WriteBytes(dir / "f", "old contents");
    {
        FileStream s(dir.P16("f"), fmCreate);
        EXPECT_EQ(s.Size(), 0);
        s.WriteBuffer("new", 3);
        s.SetPosition(0);
        char buffer[3];
        s.ReadBuffer(buffer, 3);
        EXPECT_EQ(std::string(buffer, 3), "new");
    }
    EXPECT_EQ(ReadBytes(dir / "f"), "new");
}

TEST(FileStream, AccessBitsDecideWhatTheStreamMayDo) {
    ScratchDir dir;
    WriteBytes(dir / "f", "abc");
    FileStream readOnly(dir.P16("f"), fmOpenRead | fmShareDenyNone);
    EXPECT_THROW(readOnly.Write("x", 1), FileError);
    FileStream writeOnly(dir.P16("f"), fmOpenWrite | fmShareDenyNone);
    char c;
    EXPECT_THROW(writeOnly.Read(&c, 1), FileError);
    writeOnly.WriteBuffer("X", 1);
    EXPECT_EQ(ReadBytes(dir / "f"), "Xbc") << "opening for writing does not truncate";
}

TEST(FileStream, ErrorsNameTheFileAndTheReason) {
    ScratchDir dir;
    const std::u16string missing = dir.P16("no/such");
    struct Case {
        uint16_t mode;
        std::u16string expected;
    } cases[] = {
        {fmCreate, u"Cannot create file \"" + missing + u"\". No such file or directory"},
        {fmOpenRead, u"Cannot open file \"" + missing + u"\". No such file or directory"},
    };
    for (const auto& c : cases) {
        try {
            FileStream s(missing, c.mode);
            ADD_FAILURE() << "opened a missing file";
        } catch (const FileError& e) {
            EXPECT_EQ(e.Message(), c.expected);
            EXPECT_NE(e.SystemError(), 0);
        }
    }
    EXPECT_THROW(FileStream(dir.Path16(), fmOpenRead), FileError) << "a folder is not a file";
    EXPECT_THROW(FileStream(dir.P16("f") + std::u16string(1, u'\0') + u"x", fmCreate), FileError);
    EXPECT_FALSE(testing_support::PathExists(dir / "f")) << "a name with U+0000 must not be cut short";
    EXPECT_THROW(FileStream(dir.P16("f"), fmOpenRead | 0x0050), FileError) << "unknown share bits";
}

TEST(FileStream, OpeningAFifoDoesNotWaitForAWriter) {
    ScratchDir dir;
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    FileStream s(dir.P16("fifo"), fmOpenRead | fmShareDenyNone);
    char c;
    EXPECT_EQ(s.Read(&c, 1), 0u);
}

TEST(FileStream, ShortReadOnlyAtTheEnd) {
    ScratchDir dir;
    WriteBytes(dir / "f", "0123456789");
    FileStream s(dir.P16("f"), fmOpenRead | fmShareDenyNone);
    char buffer[100];
    s.SetPosition(4);
    EXPECT_EQ(s.Read(buffer, sizeof buffer), 6u);
    EXPECT_EQ(s.Read(buffer, sizeof buffer), 0u);
    s.SetPosition(8);
    EXPECT_THROW(s.ReadBuffer(buffer, 3), StreamError);
}

TEST(FileStream, SetSizeCutsAndGrowsAndClampsThePosition) {
    ScratchDir dir;
    FileStream s(dir.P16("f"), fmCreate);
    s.WriteBuffer("0123456789", 10);
    s.SetSize(4);
    EXPECT_EQ(s.Size(), 4);
    EXPECT_EQ(s.Position(), 4);
    s.SetSize(6);
    EXPECT_EQ(s.Position(), 4);
    EXPECT_EQ(ReadBytes(dir / "f"), std::string("0123\0\0", 6));
    EXPECT_THROW(s.SetSize(-1), FileError);
}

TEST(FileStream, OffsetsBeyondFourGigabytes) {
    ScratchDir dir;
    constexpr int64_t far = (int64_t(5) << 30) + 3;
    FileStream s(dir.P16("big"), fmCreate);
    EXPECT_EQ(s.Seek(far, SeekOrigin::Begin), far);
    s.WriteBuffer("Z", 1);
    EXPECT_EQ(s.Size(), far + 1);
    EXPECT_EQ(s.Seek(-1, SeekOrigin::End), far);
    char c = 0;
    s.ReadBuffer(&c, 1);
    EXPECT_EQ(c, 'Z');
    EXPECT_THROW(s.Seek(-1, SeekOrigin::Begin), FileError);
}

TEST(FileStream, AFullDeviceGivesAShortCountNotAnException) {
    FileStream s(u"/dev/full", fmOpenWrite | fmShareDenyNone);
    EXPECT_EQ(s.Write("abc", 3), 0u);
    EXPECT_THROW(s.WriteBuffer("abc", 3), StreamError);
}

}  // namespace
