// MS-DOS dates and times are local time wherever the ZIP format uses them; mktime and localtime_r do
// the local-time arithmetic, daylight saving included.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

namespace platform {

namespace {

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : days[month - 1];
}

}  // namespace

uint32_t TimeToDosTime(std::time_t t) {
    struct tm local {};
    if (!localtime_r(&t, &local)) return 0;
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return 0;
    return (uint32_t(year - 1980) << 25) | (uint32_t(local.tm_mon + 1) << 21) |
           (uint32_t(local.tm_mday) << 16) | (uint32_t(local.tm_hour) << 11) |
           (uint32_t(local.tm_min) << 5) | uint32_t(local.tm_sec / 2);
}

// Fields out of their range (month 0, the 31st of April, hour 31...) give -1 instead of the day
// mktime would roll over to: an archive's damaged time must not become some other valid time.
std::time_t DosTimeToTime(uint32_t dosTime) {
    struct tm local {};
    local.tm_year = int(dosTime >> 25) + 80;
    local.tm_mon = int((dosTime >> 21) & 0x0F) - 1;
    local.tm_mday = int((dosTime >> 16) & 0x1F);
    local.tm_hour = int((dosTime >> 11) & 0x1F);
    local.tm_min = int((dosTime >> 5) & 0x3F);
    local.tm_sec = int(dosTime & 0x1F) * 2;
    local.tm_isdst = -1;
    if (local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 ||
        local.tm_mday > DaysInMonth(local.tm_year + 1900, local.tm_mon + 1) || local.tm_hour > 23 ||
        local.tm_min > 59 || local.tm_sec > 59)
        return -1;
    return mktime(&local);
}

uint32_t NowDosTime() { return TimeToDosTime(std::time(nullptr)); }

int32_t FileDosTime(const std::u16string& path) {
    std::string native;
    struct stat st {};
    if (!posix::NativePath(path, native) || stat(native.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    const uint32_t dosTime = TimeToDosTime(st.st_mtime);
    return dosTime == 0 ? -1 : static_cast<int32_t>(dosTime);
}

bool FileTime(const std::u16string& path, std::time_t& t) {
    std::string native;
    struct stat st {};
    if (!posix::NativePath(path, native) || stat(native.c_str(), &st) != 0) return false;
    t = st.st_mtime;
    return true;
}

bool SetFileTime(const std::u16string& path, std::time_t t) {
    std::string native;
    if (!posix::NativePath(path, native)) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
    return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0;
}

// Only the modification time is set; the access time stays as it is.
bool SetFileDosTime(const std::u16string& path, uint32_t dosTime) {
    std::string native;
    const std::time_t t = DosTimeToTime(dosTime);
    if (t == -1 || !posix::NativePath(path, native)) return false;
    const struct timespec times[2] = {{0, UTIME_OMIT}, {t, 0}};
    return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0;
}

}  // namespace platform
