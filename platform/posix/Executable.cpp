#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

std::u16string ExecutablePath() {
    std::vector<char> buffer(256);
    while (true) {
        const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (n < 0) return {};
        if (static_cast<size_t>(n) < buffer.size()) return Utf8ToUtf16(std::string_view(buffer.data(), size_t(n)));
        if (buffer.size() > (1u << 20)) return {};
        buffer.resize(buffer.size() * 2);
    }
}

std::u16string ExecutableExtension() { return u".run"; }

bool IsRemovableDrive(const std::u16string&) { return false; }

// Execute permission for exactly those who may read, as a freshly built program gets it.
bool MakeExecutable(const std::u16string& path) {
    std::string native;
    struct stat st {};
    if (!posix::NativePath(path, native) || stat(native.c_str(), &st) != 0) return false;
    const mode_t mode = (st.st_mode & 07777) | ((st.st_mode & 0444) >> 2);
    return chmod(native.c_str(), mode) == 0;
}

}  // namespace platform
