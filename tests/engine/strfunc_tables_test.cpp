#include "engine/util/CVStrFunc.h"

#include <gtest/gtest.h>

#include <array>

namespace {

TEST(StrFuncTables, LevelsAndModes) {
    EXPECT_EQ(ModeForLevel(clNone), 0);
    EXPECT_EQ(ModeForLevel(clFastest), 1);
    EXPECT_EQ(ModeForLevel(clNormal), 6);
    EXPECT_EQ(ModeForLevel(clMax), 9);

    const TCVCompressionLevel levels[] = {clNone, clFastest, clFastest, clFastest, clNormal, clNormal,
                                          clNormal, clMax, clMax, clMax, clNone, clNone};
    for (int mode = 0; mode < 12; ++mode) EXPECT_EQ(LevelForMode(mode), levels[mode]) << mode;
    EXPECT_EQ(LevelForMode(-1), clNone);
    EXPECT_EQ(LevelForMode(255), clNone);

    for (TCVCompressionLevel level : {clNone, clFastest, clNormal, clMax})
        EXPECT_EQ(LevelForMode(ModeForLevel(level)), level);
}

TEST(StrFuncTables, BlockSizes) {
    const uint32_t sizes[] = {0x100000, 0x80000,  0x80000,  0x80000,  0x100000, 0x100000,
                              0x100000, 0x180000, 0x180000, 0x180000, 0x100000, 0x100000};
    for (int mode = 0; mode < 12; ++mode) EXPECT_EQ(BufferSizeForMode(mode), sizes[mode]) << mode;
    EXPECT_EQ(BufferSizeForMode(0), 1048576u);   // stored entries read in the middle size, not the small one
    EXPECT_EQ(BufferSizeForMode(-5), 0x100000u);
}

TEST(StrFuncTables, ZlibHeaders) {
    using H = std::array<uint8_t, 2>;
    const H headers[] = {{0x78, 0xDA}, {0x78, 0x01}, {0x78, 0x01}, {0x78, 0x5E}, {0x78, 0x5E}, {0x78, 0x9C},
                         {0x78, 0x9C}, {0x78, 0xDA}, {0x78, 0xDA}, {0x78, 0xDA}, {0x00, 0x00}, {0x00, 0x00}};
    for (int mode = 0; mode < 12; ++mode) {
        EXPECT_EQ(ZlibHeaderForMode(mode), headers[mode]) << mode;
        // Every real header passes the inflater's own check: the pair is a multiple of 31.
        if (mode <= 9) {
            EXPECT_EQ((headers[mode][0] << 8 | headers[mode][1]) % 31, 0) << mode;
        }
    }
}

}  // namespace
