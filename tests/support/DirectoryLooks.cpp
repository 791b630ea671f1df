#include "support/DirectoryLooks.h"

#include <stdexcept>

#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace testing_support {

std::vector<std::string> NamesOf(TCVDirArray& dir) {
    std::vector<std::string> names;
    for (int32_t i = 0; i < dir.Count(); ++i) names.push_back(platform::Utf16ToUtf8(dir.GetItemPtr(i).Name));
    return names;
}

TDirItem& ItemNamed(TCVDirArray& dir, const std::string& name) {
    int32_t index = -1;
    if (!dir.FileExists(platform::Utf8ToUtf16(name), index)) throw std::runtime_error("no item " + name);
    return dir.GetItemPtr(index);
}

uint32_t Dos(int year, int month, int day, int hour, int minute, int second) {
    return static_cast<uint32_t>(DateTimeToDosTime(TCVDateTime{year, month, day, hour, minute, second}));
}

}  // namespace testing_support
