#include "stub/OwnPath.h"

#include <cstdint>

#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

namespace stub {

namespace {

// A file a shell would start: a Unix mode without any execute bit rules it out.
bool IsProgramFile(const std::u16string& path) {
    if (!platform::FileExists(path)) return false;
    const uint32_t mode = static_cast<uint32_t>(platform::ReadAttributes(path)) >> 16;
    return mode == 0 || (mode & 0111) != 0;
}

}  // namespace

std::u16string OwnPath(const std::u16string& SystemPath, const std::u16string& Argument0,
                       const std::u16string& SearchPath) {
    if (!SystemPath.empty()) return SystemPath;
    if (Argument0.empty()) return {};
    const std::u16string separators = NativePathStyle == psWindows ? u"\\/:" : u"/";
    if (Argument0.find_first_of(separators) != std::u16string::npos) return platform::FullPath(Argument0);
    const char16_t listSeparator = NativePathStyle == psWindows ? u';' : u':';
    size_t start = 0;
    while (start <= SearchPath.size()) {
        size_t end = SearchPath.find(listSeparator, start);
        if (end == std::u16string::npos) end = SearchPath.size();
        const std::u16string folder = SearchPath.substr(start, end - start);
        const std::u16string candidate =
            folder.empty() ? Argument0 : IncludePathDelimiter(folder) + Argument0;
        if (IsProgramFile(candidate)) return platform::FullPath(candidate);
        start = end + 1;
    }
    return platform::FullPath(Argument0);
}

}  // namespace stub
