#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <sys/stat.h>

namespace platform {

int32_t ReadAttributes(const std::u16string& path) {
    std::string native;
    struct stat st {};
    if (!posix::NativePath(path, native) || stat(native.c_str(), &st) != 0) return -1;
    return posix::AttributesOf(st, native);
}

// An archive made on a POSIX system carries the whole mode, so its permission bits win (a script keeps
// its execute bits). Set-id and sticky bits are dropped: an archive must not hand out privileges.
// Anything else only has the read-only bit to go by.
bool WriteAttributes(const std::u16string& path, uint32_t attributes) {
    std::string native;
    struct stat st {};
    if (!posix::NativePath(path, native) || stat(native.c_str(), &st) != 0) return false;
    const auto unixMode = static_cast<mode_t>(attributes >> 16);
    const mode_t type = unixMode & S_IFMT;
    mode_t mode = st.st_mode & 07777;
    if (type == S_IFREG || type == S_IFDIR) mode = unixMode & 0777;
    else if (attributes & faReadOnly) mode &= ~mode_t(0222);
    else mode |= S_IWUSR;
    return chmod(native.c_str(), mode) == 0;
}

}  // namespace platform
