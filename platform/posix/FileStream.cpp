// File streams over POSIX descriptors. Sharing modes have no mandatory counterpart here; they become
// non-blocking advisory locks (flock) that every process of this project takes, so two of them see each
// other's sharing the way the desktop programs do.
#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <memory>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

static_assert(sizeof(off_t) == 8, "file streams need 64-bit offsets");

namespace platform {

namespace {

// The lock a share word asks for: 0 for none, else LOCK_SH or LOCK_EX; -1 for an unknown word.
int LockForShare(uint16_t share) {
    switch (share) {
        case fmShareDenyNone: return 0;
        case fmShareDenyWrite: return LOCK_SH;
        case fmShareCompat:
        case fmShareExclusive:
        case fmShareDenyRead: return LOCK_EX;
        default: return -1;
    }
}

// A lock held by another open of the file fails like a sharing violation. File systems that cannot
// lock at all (some network ones) do not stop the open: there is nothing to share with there.
int TakeLock(int fd, int lock) {
    if (lock == 0) return 0;
    while (flock(fd, lock | LOCK_NB) != 0) {
        if (errno == EINTR) continue;
        if (errno == EWOULDBLOCK) return EWOULDBLOCK;
        return 0;
    }
    return 0;
}

const char16_t* const inUse = u"The file is in use by another process";

}  // namespace

FileStream::FileStream(const std::u16string& fileName, uint16_t mode) : fileName_(fileName) {
    const bool create = (mode & fmCreate) == fmCreate;
    const char16_t* action = create ? u"Cannot create file" : u"Cannot open file";
    std::string path;
    if (!posix::NativePath(fileName, path)) throw posix::MakeFileError(action, fileName, EINVAL);

    const uint16_t access = mode & 0x0003;
    const int lock = LockForShare(mode & 0x00F0);
    if (lock < 0 || (!create && access == 3)) throw posix::MakeFileError(action, fileName, EINVAL);

    int flags = O_CLOEXEC | O_NOCTTY;
    if (create) flags |= O_RDWR | O_CREAT;
    else flags |= access == fmOpenRead ? O_RDONLY : access == fmOpenWrite ? O_WRONLY : O_RDWR;
    // Without O_NONBLOCK, opening a FIFO would wait for a peer that may never come; the flag is
    // dropped again once the file is open.
    int fd = -1;
    do {
        fd = open(path.c_str(), flags | O_NONBLOCK, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) throw posix::MakeFileError(action, fileName, errno);

    const auto fail = [&](int error) {
        close(fd);
        return posix::MakeFileError(action, fileName, error);
    };
    struct stat st {};
    if (fstat(fd, &st) != 0) throw fail(errno);
    if (S_ISDIR(st.st_mode)) throw fail(EISDIR);
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);

    if (TakeLock(fd, lock) != 0) {
        close(fd);
        throw FileError(std::u16string(action) + u" \"" + fileName + u"\". " + inUse, EWOULDBLOCK);
    }
    // Truncate only once the lock is ours: cutting first would destroy a file someone else holds.
    if (create && S_ISREG(st.st_mode) && st.st_size != 0 && ftruncate(fd, 0) != 0) throw fail(errno);
    handle_ = fd;
}

std::unique_ptr<FileStream> FileStream::CreateUnique(const std::u16string& folder, const std::u16string& prefix) {
    std::u16string stem = folder;
    if (!stem.empty() && stem.back() != PathDelim) stem += PathDelim;
    stem += prefix;
    std::string native;
    if (!posix::NativePath(stem, native)) throw posix::MakeFileError(u"Cannot create file", stem, EINVAL);
    // Not mkstemp: its file is private (0600), where an extracted file must get the permissions of
    // any new file (0666 less the umask) unless the archive says otherwise.
    static uint64_t counter = 0;
    uint64_t seed = static_cast<uint64_t>(getpid()) << 32 ^ static_cast<uint64_t>(time(nullptr));
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    int error = EEXIST;
    for (int attempt = 0; attempt < 100 && error == EEXIST; ++attempt) {
        uint64_t tail = (seed + ++counter) * 0x9E3779B97F4A7C15ull;
        std::string name = native;
        for (int i = 0; i < 8; ++i, tail /= 62) name += digits[tail % 62];
        int fd = -1;
        do {
            fd = open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0666);
        } while (fd < 0 && errno == EINTR);
        if (fd >= 0) return std::unique_ptr<FileStream>(new FileStream(Adopt{}, Utf8ToUtf16(name), fd));
        error = errno;
    }
    throw posix::MakeFileError(u"Cannot create file", stem, error);
}

FileStream::~FileStream() {
    if (handle_ >= 0) close(handle_);
}

// Fills the whole request unless the end comes first, so a short count always means the end.
size_t FileStream::Read(void* buffer, size_t count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const size_t chunk = std::min<size_t>(count - done, SSIZE_MAX);
        const ssize_t n = read(handle_, bytes + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            throw posix::MakeFileError(u"Cannot read file", fileName_, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

// A full device is not an exception: the short count lets the engine ask what to do about it.
size_t FileStream::Write(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const size_t chunk = std::min<size_t>(count - done, SSIZE_MAX);
        const ssize_t n = write(handle_, bytes + done, chunk);
        if (n < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSPC || errno == EDQUOT || errno == EFBIG) break;
            throw posix::MakeFileError(u"Cannot write file", fileName_, errno);
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return done;
}

int64_t FileStream::Seek(int64_t offset, SeekOrigin origin) {
    const int whence = origin == SeekOrigin::Begin ? SEEK_SET : origin == SeekOrigin::Current ? SEEK_CUR : SEEK_END;
    const off_t position = lseek(handle_, offset, whence);
    if (position < 0) throw posix::MakeFileError(u"Cannot seek in file", fileName_, errno);
    return position;
}

void FileStream::SetSize(int64_t size) {
    if (size < 0) throw posix::MakeFileError(u"Cannot set the size of file", fileName_, EINVAL);
    const int64_t position = Position();
    int result = 0;
    do {
        result = ftruncate(handle_, size);
    } while (result != 0 && errno == EINTR);
    if (result != 0) throw posix::MakeFileError(u"Cannot set the size of file", fileName_, errno);
    if (position > size) Seek(size, SeekOrigin::Begin);
}

int64_t FileStream::Size() {
    struct stat st {};
    if (fstat(handle_, &st) != 0) throw posix::MakeFileError(u"Cannot read file", fileName_, errno);
    // A pipe or device has no size of its own; ask the position machinery as any stream would.
    if (!S_ISREG(st.st_mode)) return Stream::Size();
    return st.st_size;
}

void FileStream::Flush() {
    if (fsync(handle_) == 0) return;
    // Pipes and devices cannot be synchronised; there is nothing of theirs to lose.
    if (errno == EINVAL || errno == EROFS) return;
    throw posix::MakeFileError(u"Cannot flush file", fileName_, errno);
}

}  // namespace platform
