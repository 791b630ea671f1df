// Names in a Unicode Path field (0x7075) whose characters lie outside the Basic Multilingual Plane:
// their UTF-16 form is a surrogate pair, and a pair is no sign of bytes that were not UTF-8.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>

#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"

namespace {

TCVExtraFieldDataBlock UnicodePathField(const std::string& rawName, const std::string& utf8) {
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(rawName.data()), static_cast<uInt>(rawName.size())));
    std::vector<uint8_t> data{1, static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8),
                              static_cast<uint8_t>(crc >> 16), static_cast<uint8_t>(crc >> 24)};
    data.insert(data.end(), utf8.begin(), utf8.end());
    return MakeExtraField(CVUnicodePathExtraID, std::move(data));
}

TEST(NameCodingPlanes, UnicodePathFieldTakesCharactersBeyondTheBasicPlane) {
    // A writer on another system put a placeholder in the header name and the real name in the field.
    const std::string raw = "_.txt";
    const struct {
        std::string utf8;
        std::u16string expected;
    } cases[] = {
        {"\xF0\x9F\x92\x80.txt", u"\U0001F480.txt"},   // low surrogate U+DC80: the first that looked like an escape
        {"\xF0\x9F\x92\xA9.txt", u"\U0001F4A9.txt"},   // U+DCA9
        {"\xF0\x9F\x93\xBF.txt", u"\U0001F4FF.txt"},   // U+DCFF: the last
        {"\xF0\x9F\x98\x80.txt", u"\U0001F600.txt"},   // U+DE00, never in doubt
    };
    for (const auto& c : cases) {
        std::u16string name = u"unchanged";
        EXPECT_TRUE(UnicodePathName(UnicodePathField(raw, c.utf8), raw, name));
        EXPECT_EQ(name, c.expected);
        EXPECT_EQ(DecodeStoredName(raw, 0, false, {UnicodePathField(raw, c.utf8)}), c.expected);
    }
    // Bytes that are not UTF-8 are still refused, and the header name stands.
    std::u16string name = u"unchanged";
    EXPECT_FALSE(UnicodePathName(UnicodePathField(raw, "bad\x80.txt"), raw, name));
    EXPECT_EQ(name, u"unchanged");
}

}  // namespace
