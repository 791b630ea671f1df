#include "platform/Platform.h"
#include "platform/StreamSupport.h"

#include <utility>

namespace platform {

StringStream::StringStream(std::string data) : data_(std::move(data)) {}

size_t StringStream::Read(void* buffer, size_t count) {
    return detail::ReadFromBuffer(data_, position_, buffer, count);
}

size_t StringStream::Write(const void* buffer, size_t count) {
    return detail::WriteToBuffer(data_, position_, buffer, count);
}

int64_t StringStream::Seek(int64_t offset, SeekOrigin origin) {
    position_ = detail::ResolveSeek(position_, Size(), offset, origin);
    return position_;
}

void StringStream::SetSize(int64_t size) { detail::ResizeBuffer(data_, position_, size); }

}  // namespace platform
