// Quick looks at the directory an archiver holds in memory, and the DOS time stamps its items carry.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/format/CVDirArray.h"

namespace testing_support {

// The item names in directory order (UTF-8).
std::vector<std::string> NamesOf(TCVDirArray& dir);
// The item of that name; throws std::runtime_error when there is none.
TDirItem& ItemNamed(TCVDirArray& dir, const std::string& name);

// A packed DOS date and time (date in the high 16 bits), as the directory stores it.
uint32_t Dos(int year, int month, int day, int hour, int minute, int second);

}  // namespace testing_support
