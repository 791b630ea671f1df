#include "platform/Platform.h"
#include "platform/StreamSupport.h"

namespace platform {

size_t MemoryStream::Read(void* buffer, size_t count) {
    return detail::ReadFromBuffer(data_, position_, buffer, count);
}

size_t MemoryStream::Write(const void* buffer, size_t count) {
    return detail::WriteToBuffer(data_, position_, buffer, count);
}

int64_t MemoryStream::Seek(int64_t offset, SeekOrigin origin) {
    position_ = detail::ResolveSeek(position_, Size(), offset, origin);
    return position_;
}

void MemoryStream::SetSize(int64_t size) { detail::ResizeBuffer(data_, position_, size); }

}  // namespace platform
