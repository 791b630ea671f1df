#include "engine/base/CVExcept.h"

#include <string>

#include "engine/base/CVComponent.h"
#include "engine/base/CVConst.h"

namespace {

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::u16string ArgText(const TCVFormatArg& arg) {
    if (const auto* text = std::get_if<std::u16string>(&arg)) return *text;
    return Widen(std::to_string(std::get<int64_t>(arg)));
}

// "%5d" with every blank turned into a zero: 12 gives 00012; wider numbers are printed in full.
std::u16string NativeNumber(int32_t nativeError) {
    std::string number = std::to_string(nativeError);
    if (number.size() < 5) number.insert(0, 5 - number.size(), '0');
    return Widen(number);
}

std::u16string Compose(int32_t nativeErr, const TCVFormatArgs* args, const TComponent* component,
                       const std::u16string& reason = {}) {
    std::u16string_view message = ErrorMessageOfCode(ErrorCodeOfNative(nativeErr));
    std::u16string text = args ? FormatCVMessage(message, *args) : std::u16string(message);
    if (!reason.empty()) text += u": " + reason;
    if (component && !component->Name().empty()) text = component->Name() + u": " + text;
    return text + u" - Native error: " + NativeNumber(nativeErr);
}

}  // namespace

std::u16string FormatCVMessage(std::u16string_view pattern, const TCVFormatArgs& args) {
    std::u16string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        char16_t c = pattern[i];
        if (c != u'%' || i + 1 == pattern.size()) {
            out += c;
            continue;
        }
        char16_t kind = pattern[i + 1];
        if (kind == u'%') {
            out += u'%';
            ++i;
        } else if ((kind == u's' || kind == u'd') && next < args.size()) {
            out += ArgText(args[next++]);
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

ECVException::ECVException(int32_t nativeErr, const TComponent* component)
    : platform::Exception(Compose(nativeErr, nullptr, component)),
      FErrorCode(ErrorCodeOfNative(nativeErr)),
      FNativeError(nativeErr) {}

ECVException::ECVException(int32_t nativeErr, const TCVFormatArgs& args, const TComponent* component)
    : platform::Exception(Compose(nativeErr, &args, component)),
      FErrorCode(ErrorCodeOfNative(nativeErr)),
      FNativeError(nativeErr) {}

ECVException::ECVException(int32_t nativeErr, const TCVFormatArgs& args, const TComponent* component,
                           const std::u16string& reason)
    : platform::Exception(Compose(nativeErr, &args, component, reason)),
      FErrorCode(ErrorCodeOfNative(nativeErr)),
      FNativeError(nativeErr) {}
