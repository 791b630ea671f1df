#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace platform {

// Lexical on purpose, as the desktop call is: "a/link/.." is "a", wherever the link points. A trailing
// separator stays, since callers use it to say "this is a folder". Empty when the current folder is
// needed and cannot be had (it was removed).
std::u16string FullPath(const std::u16string& path) {
    if (path.empty()) return {};
    std::u16string joined = path;
    if (path[0] != PathDelim) {
        const std::u16string current = CurrentFolder();
        if (current.empty()) return {};
        joined = current + PathDelim + path;
    }
    std::vector<std::u16string_view> parts;
    std::u16string_view rest = joined;
    while (!rest.empty()) {
        const size_t slash = rest.find(PathDelim);
        const std::u16string_view part = rest.substr(0, slash);
        rest = slash == std::u16string_view::npos ? std::u16string_view() : rest.substr(slash + 1);
        if (part.empty() || part == u".") continue;
        if (part == u"..") {
            if (!parts.empty()) parts.pop_back();
            continue;
        }
        parts.push_back(part);
    }
    std::u16string result;
    for (const auto part : parts) {
        result += PathDelim;
        result += part;
    }
    if (result.empty() || path.back() == PathDelim) result += PathDelim;
    return result;
}

std::u16string CurrentFolder() {
    std::vector<char> buffer(256);
    while (true) {
        if (getcwd(buffer.data(), buffer.size())) return Utf8ToUtf16(buffer.data());
        if (errno != ERANGE || buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

bool SetCurrentFolder(const std::u16string& path) {
    std::string native;
    return posix::NativePath(path, native) && chdir(native.c_str()) == 0;
}

}  // namespace platform
