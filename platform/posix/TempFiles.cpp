// Temporary files live in the user's own folder. A folder shared by every user (/tmp) would let
// another user plant a file or a symbolic link under a name this program is about to write.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::u16string WithDelimiter(std::u16string folder) {
    if (folder.empty() || folder.back() != PathDelim) folder += PathDelim;
    return folder;
}

FileError FolderError(const std::u16string& folder, const char16_t* reason, int error) {
    return FileError(u"Cannot use temporary folder \"" + folder + u"\". " + reason, error);
}

}  // namespace

std::u16string TempFolder() {
    if (const char* tmpdir = std::getenv("TMPDIR"); tmpdir && *tmpdir)
        return WithDelimiter(Utf8ToUtf16(tmpdir));

    const std::string native = "/tmp/selfpack-" + std::to_string(getuid());
    const std::u16string folder = Utf8ToUtf16(native);
    if (mkdir(native.c_str(), 0700) != 0 && errno != EEXIST)
        throw posix::MakeFileError(u"Cannot create folder", folder, errno);
    // Check what is there through a descriptor, so that nothing can be swapped in between.
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP || error == ENOTDIR)
            throw FolderError(folder, u"It is not a folder", ENOTDIR);
        throw posix::MakeFileError(u"Cannot use temporary folder", folder, error);
    }
    struct stat st {};
    const bool examined = fstat(fd, &st) == 0;
    const bool owned = examined && st.st_uid == getuid();
    const bool private_ = owned && ((st.st_mode & 077) == 0 || fchmod(fd, 0700) == 0);
    close(fd);
    if (!owned) throw FolderError(folder, u"It belongs to another user", EPERM);
    if (!private_) throw FolderError(folder, u"Others can open it", EPERM);
    return WithDelimiter(folder);
}

std::u16string CreateTempFile(const std::u16string& folder, const std::u16string& prefix) {
    const std::u16string pattern = (folder.empty() ? std::u16string() : WithDelimiter(folder)) + prefix;
    std::string native;
    if (!posix::NativePath(pattern, native)) throw posix::MakeFileError(u"Cannot create file", pattern, EINVAL);
    native += "XXXXXX";
    const int fd = mkostemp(native.data(), O_CLOEXEC);
    if (fd < 0) throw posix::MakeFileError(u"Cannot create file", pattern + u"XXXXXX", errno);
    close(fd);
    return Utf8ToUtf16(native);
}

void WriteFileNoFollow(const std::u16string& path, const void* data, size_t size, uint32_t mode) {
    std::string native;
    if (!posix::NativePath(path, native)) throw posix::MakeFileError(u"Cannot create file", path, EINVAL);
    // O_NONBLOCK: a FIFO planted under the name must not hold the open; it is refused below.
    int fd = -1;
    do {
        fd = open(native.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw posix::MakeFileError(u"Cannot create file", path, errno);
    struct stat st {};
    int error = 0;
    if (fstat(fd, &st) != 0) error = errno;
    else if (!S_ISREG(st.st_mode)) error = EINVAL;
    else if (ftruncate(fd, 0) != 0) error = errno;
    if (error != 0) {
        close(fd);
        throw posix::MakeFileError(u"Cannot create file", path, error);
    }
    const auto* bytes = static_cast<const uint8_t*>(data);
    size_t done = 0;
    while (done < size && error == 0) {
        const ssize_t n = write(fd, bytes + done, size - done);
        if (n > 0) done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR) error = errno;
        else if (n == 0) error = ENOSPC;
    }
    if (error == 0 && fchmod(fd, static_cast<mode_t>(mode & 0777)) != 0) error = errno;
    if (close(fd) != 0 && error == 0) error = errno;
    if (error != 0) {
        // A cut-off file under the fixed name would pass for the whole one later.
        unlink(native.c_str());
        throw posix::MakeFileError(u"Cannot write file", path, error);
    }
}

}  // namespace platform

namespace platform {

namespace {

// Read once, before any thread starts: setting the mask is the only way to learn it, and the moment
// it is changed must not be one in which another thread creates a file.
const mode_t startUmask = [] {
    const mode_t mask = umask(022);
    umask(mask);
    return mask;
}();

}  // namespace

bool GiveNewFilePermissions(const std::u16string& path) {
    std::string native;
    return posix::NativePath(path, native) && chmod(native.c_str(), 0666 & ~startUmask) == 0;
}

}  // namespace platform
