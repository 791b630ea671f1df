// UTF-8 <-> UTF-16 with a reversible escape for bytes that are not UTF-8.
//
// A POSIX file name is any run of bytes. So that every name read from disk can be opened again, a byte
// that does not start a valid UTF-8 sequence becomes the lone surrogate U+DC00 + byte (U+DC80..U+DCFF,
// the bytes 0x80..0xFF; ASCII bytes are always valid) and encodes back to that same byte. Validity is
// strict: overlong forms, encoded surrogates and code points above U+10FFFF are escaped byte by byte,
// so bytes -> text -> bytes is exact for any input. Other lone surrogates (U+D800..U+DC7F,
// U+DD00..U+DFFF, or a high surrogate without its low half) have no byte form; they encode as U+FFFD
// (EF BF BD), which no file name on disk produces, rather than as ill-formed UTF-8.
#include "platform/Platform.h"

namespace platform {

namespace {

constexpr char16_t escapeBase = 0xDC00;

bool IsContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Length of the valid UTF-8 sequence at bytes[i] and its code point; 0 when it is not valid.
size_t DecodeSequence(std::string_view bytes, size_t i, char32_t& codePoint) {
    const auto at = [&](size_t k) { return static_cast<unsigned char>(bytes[i + k]); };
    const unsigned char b0 = at(0);
    const size_t left = bytes.size() - i;
    if (b0 < 0x80) {
        codePoint = b0;
        return 1;
    }
    size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;   // allowed range of the second byte
    if (b0 >= 0xC2 && b0 <= 0xDF) {
        length = 2;
    } else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) low = 0xA0;        // overlong
        if (b0 == 0xED) high = 0x9F;       // surrogates
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) low = 0x90;        // overlong
        if (b0 == 0xF4) high = 0x8F;       // above U+10FFFF
    } else {
        return 0;
    }
    if (left < length || at(1) < low || at(1) > high) return 0;
    for (size_t k = 2; k < length; ++k)
        if (!IsContinuation(at(k))) return 0;
    char32_t cp = b0 & (0x7F >> length);
    for (size_t k = 1; k < length; ++k) cp = (cp << 6) | (at(k) & 0x3F);
    codePoint = cp;
    return length;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    size_t i = 0;
    while (i < utf8.size()) {
        char32_t cp = 0;
        const size_t length = DecodeSequence(utf8, i, cp);
        if (length == 0) {
            out += static_cast<char16_t>(escapeBase + static_cast<unsigned char>(utf8[i]));
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
    std::string out;
    out.reserve(utf16.size());
    for (size_t i = 0; i < utf16.size(); ++i) {
        const char16_t c = utf16[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
            utf16[i + 1] <= 0xDFFF) {
            AppendUtf8(out, 0x10000 + ((char32_t(c) - 0xD800) << 10) + (utf16[i + 1] - 0xDC00));
            ++i;
        } else if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - escapeBase);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            AppendUtf8(out, 0xFFFD);
        } else {
            AppendUtf8(out, c);
        }
    }
    return out;
}

bool IsMultiByteUtf8(std::string_view bytes) {
    bool multiByte = false;
    size_t i = 0;
    while (i < bytes.size()) {
        char32_t cp = 0;
        const size_t length = DecodeSequence(bytes, i, cp);
        if (length == 0) return false;
        multiByte = multiByte || length > 1;
        i += length;
    }
    return multiByte;
}

}  // namespace platform
