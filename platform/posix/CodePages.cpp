// POSIX has no ANSI or OEM code page. Names are made interoperable instead: the "ANSI" round trip
// holds only for ASCII, so every other name is stored as UTF-8 with its flag, and names without the
// flag are read as code page 437, the code page ZIP readers assume.
#include "platform/Platform.h"

#include <locale.h>
#include <wctype.h>

namespace platform {

bool WideToAnsi(std::u16string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    bool exact = true;
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        }
        exact = false;
        out += '?';
        // One replacement per character, not per half of a surrogate pair.
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
            ++i;
    }
    return exact;
}

std::u16string AnsiToWide(std::string_view bytes) { return Cp437ToWide(bytes); }

void CharToOem(std::string&) {}

void OemToChar(std::string&) {}

// Case folding from the system's Unicode tables, independent of the locale the program was started
// in (a "C" locale folds ASCII only).
std::u16string LowerCaseLocale(std::u16string_view text) {
    static const locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    std::u16string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char32_t c = text[i];
        const bool pair = c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                          text[i + 1] <= 0xDFFF;
        if (pair) c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        char32_t lower = c;
        if (unicode) lower = static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), unicode));
        else if (c >= U'A' && c <= U'Z') lower = c + (U'a' - U'A');
        // Keep the length: a mapping that would move between one and two code units is not taken.
        if ((lower >= 0x10000) != (c >= 0x10000) || (lower >= 0xD800 && lower <= 0xDFFF)) lower = c;
        if (lower >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((lower - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((lower - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(lower);
        }
        if (pair) ++i;
    }
    return out;
}

}  // namespace platform
