// Single-call file and folder services. Each answers true or false; the reason stays with the system.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

bool StatPath(const std::u16string& path, struct stat& st) {
    std::string native;
    return posix::NativePath(path, native) && stat(native.c_str(), &st) == 0;
}

int OpenRetrying(const char* path, int flags, mode_t mode = 0) {
    int fd = -1;
    do {
        fd = open(path, flags, mode);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

bool WriteAll(int fd, const uint8_t* data, size_t count) {
    while (count > 0) {
        const ssize_t n = write(fd, data, count);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

// Copies the bytes, the permission bits and the modification time, as the desktop copy does.
bool CopyContents(int in, int out, const struct stat& source) {
    std::vector<uint8_t> block(256 * 1024);
    while (true) {
        const ssize_t n = read(in, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) break;
        if (!WriteAll(out, block.data(), static_cast<size_t>(n))) return false;
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    return fchmod(out, source.st_mode & 0777) == 0 && futimens(out, times) == 0;
}

}  // namespace

bool FileExists(const std::u16string& path) {
    struct stat st {};
    return StatPath(path, st) && !S_ISDIR(st.st_mode);
}

bool FolderExists(const std::u16string& path) {
    struct stat st {};
    return StatPath(path, st) && S_ISDIR(st.st_mode);
}

bool CreateFolder(const std::u16string& path) {
    std::string native;
    return posix::NativePath(path, native) && mkdir(native.c_str(), 0777) == 0;
}

bool RemoveFolder(const std::u16string& path) {
    std::string native;
    return posix::NativePath(path, native) && rmdir(native.c_str()) == 0;
}

bool DeleteFile(const std::u16string& path) {
    std::string native;
    return posix::NativePath(path, native) && unlink(native.c_str()) == 0;
}

// Renaming never replaces an existing file: the desktop call fails then, and callers that mean to
// replace delete the old file first. A silent replacement here could lose a file.
bool RenameFile(const std::u16string& oldPath, const std::u16string& newPath) {
    std::string from, to;
    if (!posix::NativePath(oldPath, from) || !posix::NativePath(newPath, to)) return false;
    // The system call itself: not every C library has a wrapper for it (the stub's has none).
    constexpr unsigned RenameNoReplace = 1;
    if (syscall(SYS_renameat2, AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RenameNoReplace) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // A file system without the no-replace flag: check first (a small race, the best it allows).
    struct stat st {};
    if (lstat(to.c_str(), &st) == 0) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool ReplaceFile(const std::u16string& source, const std::u16string& dest) {
    std::string from, to;
    if (!posix::NativePath(source, from) || !posix::NativePath(dest, to)) return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool CopyFile(const std::u16string& source, const std::u16string& dest, bool failIfExists) {
    std::string from, to;
    if (!posix::NativePath(source, from) || !posix::NativePath(dest, to)) return false;
    const int in = OpenRetrying(from.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (in < 0) return false;
    struct stat st {};
    // Only regular files: a device or a FIFO would be copied without end, or not at all.
    if (fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(in);
        return false;
    }
    fcntl(in, F_SETFL, fcntl(in, F_GETFL) & ~O_NONBLOCK);
    // O_NONBLOCK keeps a FIFO in the target's place from holding the open; it is refused below.
    const int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | (failIfExists ? O_EXCL : 0);
    const int out = OpenRetrying(to.c_str(), flags, 0600);
    if (out < 0) {
        close(in);
        return false;
    }
    // Truncate only after making sure the target is not the source itself, which truncating would
    // empty before a single byte was read.
    struct stat target {};
    if (fstat(out, &target) != 0 || !S_ISREG(target.st_mode) ||
        (target.st_dev == st.st_dev && target.st_ino == st.st_ino)) {
        close(out);
        close(in);
        return false;
    }
    bool ok = ftruncate(out, 0) == 0 && CopyContents(in, out, st);
    ok = close(out) == 0 && ok;
    close(in);
    // A partial copy would pass for the whole file later.
    if (!ok) unlink(to.c_str());
    return ok;
}

bool GetFolderId(const std::u16string& path, FolderId& id) {
    struct stat st {};
    if (!StatPath(path, st)) return false;
    id.Device = static_cast<uint64_t>(st.st_dev);
    id.Inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

int64_t FreeSpace(const std::u16string& path) {
    std::string native;
    if (!posix::NativePath(path, native)) return -1;
    // A folder still to be made will be on the file system of the nearest one that exists.
    while (true) {
        struct statvfs fs {};
        if (statvfs(native.empty() ? "/" : native.c_str(), &fs) == 0) {
            const unsigned __int128 bytes = static_cast<unsigned __int128>(fs.f_bavail) * fs.f_frsize;
            return bytes > static_cast<unsigned __int128>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(bytes);
        }
        if (errno != ENOENT && errno != ENOTDIR) return -1;
        while (!native.empty() && native.back() == '/') native.pop_back();
        const size_t slash = native.rfind('/');
        if (slash == std::string::npos) {
            native = ".";
            if (statvfs(".", &fs) == 0) continue;
            return -1;
        }
        native.resize(slash == 0 ? 1 : slash);
    }
}

}  // namespace platform
