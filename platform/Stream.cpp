#include "platform/Platform.h"
#include "platform/StreamSupport.h"

#include <vector>

namespace platform {

namespace detail {

int64_t ResolveSeek(int64_t position, int64_t size, int64_t offset, SeekOrigin origin) {
    int64_t base = 0;
    switch (origin) {
        case SeekOrigin::Begin: base = 0; break;
        case SeekOrigin::Current: base = position; break;
        case SeekOrigin::End: base = size; break;
    }
    int64_t target = 0;
    if (__builtin_add_overflow(base, offset, &target) || target < 0)
        throw StreamError(u"Invalid stream position");
    return target;
}

void CheckNewSize(int64_t size) {
    if (size < 0) throw StreamError(u"Invalid stream size");
}

}  // namespace detail

int64_t Stream::Size() {
    const int64_t position = Position();
    const int64_t size = Seek(0, SeekOrigin::End);
    Seek(position, SeekOrigin::Begin);
    return size;
}

// Read and Write may return fewer bytes than asked without having reached the end (a pipe, a
// signal), so the exact variants keep asking until nothing more comes.
void Stream::ReadBuffer(void* buffer, size_t count) {
    if (ReadFully(buffer, count) < count) throw StreamError(u"Stream read error");
}

size_t Stream::ReadFully(void* buffer, size_t count) {
    auto* bytes = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const size_t n = Read(bytes + done, count - done);
        if (n == 0) break;
        done += n;
    }
    return done;
}

void Stream::WriteBuffer(const void* buffer, size_t count) {
    const auto* bytes = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < count) {
        const size_t n = Write(bytes + done, count - done);
        if (n == 0) throw StreamError(u"Stream write error");
        done += n;
    }
}

int64_t Stream::CopyFrom(Stream& source, int64_t count) {
    if (count < 0) throw StreamError(u"Invalid copy count");
    if (count == 0) {
        source.SetPosition(0);
        count = source.Size();
    }
    constexpr int64_t blockSize = 64 * 1024;
    std::vector<uint8_t> block(static_cast<size_t>(std::min(count, blockSize)));
    int64_t left = count;
    while (left > 0) {
        const auto n = static_cast<size_t>(std::min(left, blockSize));
        source.ReadBuffer(block.data(), n);
        WriteBuffer(block.data(), n);
        left -= static_cast<int64_t>(n);
    }
    return count;
}

}  // namespace platform
