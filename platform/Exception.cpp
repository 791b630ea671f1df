#include "platform/Platform.h"

#include <utility>

namespace platform {

Exception::Exception(std::u16string message) { SetMessage(std::move(message)); }

void Exception::SetMessage(std::u16string message) {
    message_ = std::move(message);
    utf8_ = Utf16ToUtf8(message_);
}

FileError::FileError(std::u16string message, int systemError)
    : Exception(std::move(message)), systemError_(systemError) {}

}  // namespace platform
