#include "engine/util/CVStrFunc.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

struct PackCase {
    TCVDateTime time;
    uint32_t expected;
};

TEST(StrFuncDosTime, PackingAndItsBounds) {
    const PackCase cases[] = {
        {{1980, 1, 1, 0, 0, 0}, 0x00210000u},
        {{2107, 12, 31, 23, 59, 59}, 0xFF9FBF7Du},     // the last representable second, halved
        {{2014, 6, 15, 13, 45, 31}, (34u << 9 | 6u << 5 | 15u) << 16 | (13u << 11 | 45u << 5 | 15u)},
        {{2014, 6, 15, 13, 45, 30}, (34u << 9 | 6u << 5 | 15u) << 16 | (13u << 11 | 45u << 5 | 15u)},
        {{2000, 2, 29, 12, 0, 60}, (20u << 9 | 2u << 5 | 29u) << 16 | (12u << 11 | 29u)},   // leap second
        {{1979, 12, 31, 23, 59, 58}, 0},
        {{2108, 1, 1, 0, 0, 0}, 0},
        {{2014, 0, 1, 0, 0, 0}, 0},                    // fields that would spill into their neighbours
        {{2014, 13, 1, 0, 0, 0}, 0},
        {{2014, 1, 0, 0, 0, 0}, 0},
        {{2014, 1, 32, 0, 0, 0}, 0},
        {{2014, 1, 1, 24, 0, 0}, 0},
        {{2014, 1, 1, 0, 60, 0}, 0},
        {{2014, 1, 1, 0, 0, 61}, 0},
        {{2014, 1, 1, -1, 0, 0}, 0},
        {{}, 0},
    };
    for (const auto& c : cases) {
        const TCVDateTime& t = c.time;
        EXPECT_EQ(static_cast<uint32_t>(DateTimeToDosTime(t)), c.expected)
            << t.year << "-" << t.month << "-" << t.day << " " << t.hour << ":" << t.minute << ":" << t.second;
    }
    // From 2044 on the date's top bit is set: negative as a signed value, but not the failure value.
    EXPECT_LT(DateTimeToDosTime(TCVDateTime{2044, 1, 1, 0, 0, 0}), 0);
    EXPECT_NE(DateTimeToDosTime(TCVDateTime{2107, 12, 31, 23, 59, 59}), -1);
}

TEST(StrFuncDosTime, UnpackingReversesPacking) {
    for (int year : {1980, 1999, 2043, 2044, 2107})
        for (int month : {1, 7, 12})
            for (int second : {0, 2, 58}) {
                const TCVDateTime t{year, month, 28, 23, 59, second};
                EXPECT_EQ(DosTimeToDateTime(static_cast<uint32_t>(DateTimeToDosTime(t))), t);
            }
    // A damaged value unpacks as it stands.
    EXPECT_EQ(DosTimeToDateTime(0), (TCVDateTime{1980, 0, 0, 0, 0, 0}));
    EXPECT_EQ(DosTimeToDateTime(0xFFFFFFFFu), (TCVDateTime{2107, 15, 31, 31, 63, 62}));
}

TEST(StrFuncDosTime, CalendarTimesAndNow) {
    const std::time_t t = testing_support::LocalTime(2014, 6, 15, 13, 45, 31);
    EXPECT_EQ(DateTimeToDosTime(t), DateTimeToDosTime(TCVDateTime{2014, 6, 15, 13, 45, 31}));
    EXPECT_EQ(DateTimeToDosTime(std::time_t(0)), 0);   // 1970: before the first DOS year

    const TCVDateTime now = CurrentDateTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_NE(DateTimeToDosTime(now), 0);
}

}  // namespace
