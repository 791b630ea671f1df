#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <system_error>

namespace platform {

int LastSystemError() { return errno; }

std::u16string SystemReason(int systemError) {
    return Utf8ToUtf16(std::system_category().message(systemError));
}

}  // namespace platform

namespace platform::posix {

bool NativePath(const std::u16string& path, std::string& native) {
    if (path.find(u'\0') != std::u16string::npos) return false;
    native = Utf16ToUtf8(path);
    return true;
}

FileError MakeFileError(const char16_t* action, const std::u16string& name, int error) {
    return FileError(std::u16string(action) + u" \"" + name + u"\". " + SystemReason(error), error);
}

int32_t AttributesOf(const struct stat& st, std::string_view name) {
    uint32_t attributes = 0;
    if (S_ISDIR(st.st_mode)) attributes |= faDirectory;
    else if (S_ISREG(st.st_mode)) attributes |= faArchive;
    else attributes |= faSysFile;
    if ((st.st_mode & S_IWUSR) == 0) attributes |= faReadOnly;
    while (name.size() > 1 && name.back() == '/') name.remove_suffix(1);
    const size_t slash = name.rfind('/');
    if (slash != std::string_view::npos) name.remove_prefix(slash + 1);
    if (name.size() > 1 && name[0] == '.' && name != "..") attributes |= faHidden;
    attributes |= (static_cast<uint32_t>(st.st_mode) & 0xFFFF) << 16;
    return static_cast<int32_t>(attributes);
}

}  // namespace platform::posix
