#include "platform/Platform.h"
#include "platform/StreamSupport.h"

#include <algorithm>

namespace platform {

size_t NullStream::Read(void*, size_t) { return 0; }

// Counting what was written lets a caller measure output (a compressed size, say) without storing it.
size_t NullStream::Write(const void*, size_t count) {
    int64_t end = 0;
    if (__builtin_add_overflow(position_, static_cast<int64_t>(count), &end) ||
        static_cast<int64_t>(count) < 0)
        return 0;
    position_ = end;
    size_ = std::max(size_, position_);
    return count;
}

int64_t NullStream::Seek(int64_t offset, SeekOrigin origin) {
    position_ = detail::ResolveSeek(position_, size_, offset, origin);
    return position_;
}

void NullStream::SetSize(int64_t size) {
    detail::CheckNewSize(size);
    size_ = size;
    position_ = std::min(position_, size_);
}

}  // namespace platform
