#include "engine/util/CVStrFunc.h"

namespace {

constexpr int FirstDosYear = 1980;
constexpr int LastDosYear = 2107;   // seven bits of years

bool InRange(int value, int low, int high) { return value >= low && value <= high; }

}  // namespace

// Every field is checked, not only the year: a field out of range would spill into its neighbour's
// bits and give a different, valid-looking time.
int32_t DateTimeToDosTime(const TCVDateTime& T) {
    if (!InRange(T.year, FirstDosYear, LastDosYear) || !InRange(T.month, 1, 12) || !InRange(T.day, 1, 31) ||
        !InRange(T.hour, 0, 23) || !InRange(T.minute, 0, 59) || !InRange(T.second, 0, 60))
        return 0;
    const uint32_t second = static_cast<uint32_t>(T.second == 60 ? 59 : T.second);
    const uint32_t time = static_cast<uint32_t>(T.hour) << 11 | static_cast<uint32_t>(T.minute) << 5 | second / 2;
    const uint32_t date = static_cast<uint32_t>(T.year - FirstDosYear) << 9 | static_cast<uint32_t>(T.month) << 5 |
                          static_cast<uint32_t>(T.day);
    return static_cast<int32_t>(date << 16 | time);
}

int32_t DateTimeToDosTime(std::time_t T) { return static_cast<int32_t>(platform::TimeToDosTime(T)); }

TCVDateTime DosTimeToDateTime(uint32_t DosTime) {
    const uint32_t time = DosTime & 0xFFFF;
    const uint32_t date = DosTime >> 16;
    TCVDateTime result;
    result.year = static_cast<int>(date >> 9) + FirstDosYear;
    result.month = static_cast<int>(date >> 5 & 0x0F);
    result.day = static_cast<int>(date & 0x1F);
    result.hour = static_cast<int>(time >> 11);
    result.minute = static_cast<int>(time >> 5 & 0x3F);
    result.second = static_cast<int>(time & 0x1F) * 2;
    return result;
}

TCVDateTime CurrentDateTime() { return DosTimeToDateTime(platform::NowDosTime()); }
