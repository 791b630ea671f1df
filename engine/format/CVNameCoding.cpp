#include "engine/format/CVNameCoding.h"

#include "engine/base/CVExcept.h"
#include "engine/util/CVCoding.h"
#include "engine/util/CVStrFunc.h"
#include "platform/Platform.h"

std::string EncodeStoredName(const std::u16string& name, uint16_t& genPurposeFlag, bool oemNames,
                             const TComponent* component) {
    std::string bytes;
    if (WideToAnsiName(name, bytes)) genPurposeFlag |= CVFlagUtf8Name;
    if (bytes.size() > CVMaxStoredNameLength) throw ECVException(neNameTooLong, {name}, component);
    if (oemNames && !(genPurposeFlag & CVFlagUtf8Name)) platform::CharToOem(bytes);
    return bytes;
}

std::u16string DecodeHeaderName(std::string_view bytes, uint16_t genPurposeFlag, bool oemNames) {
    std::string ansi(bytes);
    if (oemNames && !(genPurposeFlag & CVFlagUtf8Name)) platform::OemToChar(ansi);
    // The flag is not trusted either way: many tools write UTF-8 without it, and a name that is not
    // valid UTF-8 cannot be read as UTF-8 whatever the flag claims. Where names are bytes (POSIX), a
    // flagged name that is not valid UTF-8 is a file name that was not valid UTF-8 on the disk it came
    // from (this engine stores those bytes as they are): it comes back as the same bytes.
    if (platform::IsMultiByteUtf8(ansi)) return platform::Utf8ToUtf16(ansi);
    if (NativePathStyle == psPosix && (genPurposeFlag & CVFlagUtf8Name)) return platform::Utf8ToUtf16(ansi);
    return platform::AnsiToWide(ansi);
}

bool UnicodePathName(const TCVExtraFieldDataBlock& field, std::string_view rawName, std::u16string& name) {
    const std::vector<uint8_t>& data = field.data;
    if (field.headerID != CVUnicodePathExtraID || data.size() <= 5 || data[0] != 1) return false;
    const uint32_t crc = ~UpdateCrc32(0xFFFFFFFF, rawName.data(), rawName.size());
    if (DecodeFixed32(data.data() + 1) != crc) return false;
    const std::string_view utf8(reinterpret_cast<const char*>(data.data() + 5), data.size() - 5);
    std::u16string decoded = platform::Utf8ToUtf16(utf8);
    // Invalid bytes come back as lone U+DC80..U+DCFF. The low half of a surrogate pair (a character
    // beyond U+FFFF, valid UTF-8) can take the same values, but always right behind its high half.
    for (size_t i = 0; i < decoded.size(); ++i) {
        const bool escape = decoded[i] >= 0xDC80 && decoded[i] <= 0xDCFF;
        const bool lowHalf = i > 0 && decoded[i - 1] >= 0xD800 && decoded[i - 1] <= 0xDBFF;
        if (escape && !lowHalf) return false;
    }
    name = std::move(decoded);
    return true;
}

std::u16string DecodeStoredName(std::string_view rawName, uint16_t genPurposeFlag, bool oemNames,
                                const TCVExtraFields& extraFields) {
    std::u16string name = DecodeHeaderName(rawName, genPurposeFlag, oemNames);
    for (const TCVExtraFieldDataBlock& field : extraFields) {
        if (field.headerID == CVUnicodePathExtraID) UnicodePathName(field, rawName, name);
    }
    // The engine's own field is the most faithful (UTF-16, written by this engine): it has the last word.
    for (const TCVExtraFieldDataBlock& field : extraFields) {
        if (field.headerID != CVUnicodeNameExtraID) continue;
        TUnicodeExtendedInfo info;
        if (info.Load(field.pData(), field.data.size())) name = info.FName;
    }
    return name;
}
