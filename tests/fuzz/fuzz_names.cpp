// Name decoding on any bytes: the header name in each code-page road (UTF-8 flag, OEM, UTF-8 found
// without the flag, code page 437), with the extra fields that may replace it (the Unicode Path field
// with its CRC, the Unicode name field). Whatever is decoded must store again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/CVExcept.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"
#include "platform/Platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 3) return 0;
    // Byte 0: flag bit 11 and the OEM switch; byte 1: the name's length; then the name, then the
    // extra area.
    const uint16_t flags = (data[0] & 1) ? 0x0800 : 0;
    const bool oemNames = (data[0] & 2) != 0;
    const size_t nameLength = data[1] < size - 2 ? data[1] : size - 2;
    const std::string_view rawName(reinterpret_cast<const char*>(data + 2), nameLength);
    const uint8_t* extra = data + 2 + nameLength;
    const size_t extraLength = size - 2 - nameLength;

    const TCVExtraFields fields = ParseExtraFields(extra, extraLength);
    const std::u16string name = DecodeStoredName(rawName, flags, oemNames, fields);
    uint16_t storedFlags = 0;
    try {
        const std::string stored = EncodeStoredName(name, storedFlags, oemNames);
        (void)DecodeHeaderName(stored, storedFlags, oemNames);
    } catch (const platform::Exception&) {
        // A name too long for its header is refused, which is the answer for it.
    }
    return 0;
}
