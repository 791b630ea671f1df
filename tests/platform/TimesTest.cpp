// MS-DOS date and time: packing, bounds, and file modification times.
#include "platform/Platform.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace platform;
using testing_support::LocalTime;
using testing_support::ScratchDir;
using testing_support::WriteBytes;

namespace {

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return (uint32_t(year - 1980) << 25) | (uint32_t(month) << 21) | (uint32_t(day) << 16) |
           (uint32_t(hour) << 11) | (uint32_t(minute) << 5) | uint32_t(second / 2);
}

TEST(DosTime, PacksLocalTimeAndHalvesSeconds) {
    EXPECT_EQ(TimeToDosTime(LocalTime(2014, 3, 9, 17, 45, 59)), Dos(2014, 3, 9, 17, 45, 58));
    EXPECT_EQ(TimeToDosTime(LocalTime(1980, 1, 1, 0, 0, 0)), Dos(1980, 1, 1, 0, 0, 0));
    EXPECT_EQ(TimeToDosTime(LocalTime(2107, 12, 31, 23, 59, 58)), Dos(2107, 12, 31, 23, 59, 58));
    EXPECT_EQ(TimeToDosTime(LocalTime(1979, 12, 31, 23, 59, 59)), 0u);
    EXPECT_EQ(TimeToDosTime(LocalTime(2108, 1, 1, 0, 0, 0)), 0u);
    EXPECT_EQ(TimeToDosTime(0), 0u);
}

TEST(DosTime, DecodesAndRejectsImpossibleFields) {
    EXPECT_EQ(DosTimeToTime(Dos(2014, 3, 9, 17, 45, 58)), LocalTime(2014, 3, 9, 17, 45, 58));
    EXPECT_EQ(DosTimeToTime(Dos(2024, 2, 29, 0, 0, 0)), LocalTime(2024, 2, 29, 0, 0, 0));
    for (const uint32_t bad : {Dos(2023, 2, 29, 0, 0, 0), Dos(2014, 0, 1, 0, 0, 0), Dos(2014, 13, 1, 0, 0, 0),
                               Dos(2014, 4, 31, 0, 0, 0), Dos(2014, 4, 0, 0, 0, 0), Dos(2014, 4, 1, 24, 0, 0),
                               Dos(2014, 4, 1, 0, 60, 0), Dos(2014, 4, 1, 0, 0, 60)})
        EXPECT_EQ(DosTimeToTime(bad), std::time_t(-1)) << std::hex << bad;
    const uint32_t now = NowDosTime();
    EXPECT_NE(now, 0u);
    EXPECT_NE(DosTimeToTime(now), std::time_t(-1));
}

TEST(DosTime, FileTimesSetAndRead) {
    ScratchDir dir;
    WriteBytes(dir / "f", "x");
    std::filesystem::create_directory(dir / "d");
    const uint32_t when = Dos(2001, 9, 8, 7, 6, 4);
    ASSERT_TRUE(SetFileDosTime(dir.P16("f"), when));
    EXPECT_EQ(FileDosTime(dir.P16("f")), static_cast<int32_t>(when));
    EXPECT_FALSE(SetFileDosTime(dir.P16("f"), Dos(2001, 2, 30, 0, 0, 0)));
    EXPECT_EQ(FileDosTime(dir.P16("f")), static_cast<int32_t>(when));

    EXPECT_TRUE(SetFileDosTime(dir.P16("d"), when));
    EXPECT_EQ(FileDosTime(dir.P16("d")), -1) << "a folder has no file time";
    EXPECT_EQ(FileDosTime(dir.P16("absent")), -1);
    EXPECT_FALSE(SetFileDosTime(dir.P16("absent"), when));

    ASSERT_EQ(testing_support::Run("touch -d '1975-05-05 12:00' " + testing_support::Quote(dir / "f")), 0);
    EXPECT_EQ(FileDosTime(dir.P16("f")), -1) << "a time before 1980 cannot be converted";
}

}  // namespace
