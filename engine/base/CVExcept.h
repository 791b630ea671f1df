// ECVException: the one exception the engine raises for the failures it detects itself. It carries
// the native error (where and why) and the error code (what kind, selecting the message); its text
// names the component that raised it and ends with the native error, so a user who only sees the text
// can still tell where it came from.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "engine/base/CVNativeErrors.h"
#include "platform/Platform.h"

class TComponent;

// Arguments for the "%s" and "%d" placeholders of a message.
using TCVFormatArg = std::variant<std::u16string, int64_t>;
using TCVFormatArgs = std::vector<TCVFormatArg>;

class ECVException : public platform::Exception {
public:
    // `component` may be null; a null or unnamed component leaves the name out of the text.
    ECVException(int32_t nativeErr, const TComponent* component);
    ECVException(int32_t nativeErr, const TCVFormatArgs& args, const TComponent* component);
    // With the system's reason for the failure (platform::SystemReason), shown right behind the
    // message: Cannot create file "/x/y": Permission denied - Native error: 00019. An empty reason
    // leaves the text as the other forms give it.
    ECVException(int32_t nativeErr, const TCVFormatArgs& args, const TComponent* component,
                 const std::u16string& reason);

    int32_t ErrorCode() const noexcept { return FErrorCode; }
    int32_t NativeError() const noexcept { return FNativeError; }

private:
    int32_t FErrorCode;
    int32_t FNativeError;
};

// Fills "%s" and "%d" from `args` in order; "%%" gives "%". Arguments are inserted as they are, never
// formatted again, so a name containing "%s" cannot pull in the next argument. Surplus arguments are
// ignored; a placeholder without an argument is left as written. A string given for "%d" or an integer
// for "%s" is shown as it is rather than failing: composing an error must not raise another.
std::u16string FormatCVMessage(std::u16string_view pattern, const TCVFormatArgs& args);
