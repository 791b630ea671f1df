// Stored names both ways: what goes into headers, and what is read back from bytes other tools wrote.
// The expectations are those of the POSIX layer, whose "ANSI" code page is ASCII when encoding and
// code page 437 when decoding.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"

namespace {

#ifdef _WIN32
#define SKIP_OFF_POSIX() GTEST_SKIP() << "expectations of the POSIX code pages"
#else
#define SKIP_OFF_POSIX() (void)0
#endif

const std::string kCafeUtf8 = "caf\xC3\xA9.txt";
// 한글/문서.txt
const std::string kHangulUtf8 = "\xED\x95\x9C\xEA\xB8\x80/\xEB\xAC\xB8\xEC\x84\x9C.txt";

TEST(NameCoding, EncodesAsciiAsIsAndEverythingElseAsFlaggedUtf8) {
    SKIP_OFF_POSIX();
    const struct {
        std::u16string name;
        bool oem;
        uint16_t flagIn;
        std::string bytes;
        uint16_t flagOut;
    } cases[] = {
        {u"dir/a.txt", false, 0, "dir/a.txt", 0},
        {u"dir/a.txt", true, CVFlagFolderEntry, "dir/a.txt", CVFlagFolderEntry},
        // A flag already set is left alone (an entry read from an archive keeps its own).
        {u"a.txt", true, CVFlagUtf8Name, "a.txt", CVFlagUtf8Name},
        {u"café.txt", false, 0, kCafeUtf8, CVFlagUtf8Name},
        {u"café.txt", true, CVFlagEncrypted, kCafeUtf8, CVFlagEncrypted | CVFlagUtf8Name},
        {u"한글/문서.txt", true, 0, kHangulUtf8, CVFlagUtf8Name},
        {u"", true, 0, "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bytes << " oem=" << c.oem);
        uint16_t flag = c.flagIn;
        EXPECT_EQ(EncodeStoredName(c.name, flag, c.oem), c.bytes);
        EXPECT_EQ(flag, c.flagOut);
        // And back, whatever the OEM setting on the reading side.
        for (bool oem : {false, true}) EXPECT_EQ(DecodeHeaderName(c.bytes, flag, oem), c.name);
    }
}

TEST(NameCoding, DecodesBytesOtherToolsWrite) {
    SKIP_OFF_POSIX();
    const struct {
        const char* what;
        std::string bytes;
        uint16_t flag;
        std::u16string name;
    } cases[] = {
        {"ascii", "dir/a.txt", 0, u"dir/a.txt"},
        {"UTF-8 with the flag", kHangulUtf8, CVFlagUtf8Name, u"한글/문서.txt"},
        {"UTF-8 without the flag", kCafeUtf8, 0, u"café.txt"},
        {"code page 437", "caf\x82.txt", 0, u"café.txt"},
        {"code page 437 that is not UTF-8", "\x84\x94\x81\xE1", 0, u"äöüß"},
        // What this engine stores for a file name that was not valid UTF-8 on disk: the same bytes
        // come back (as the escapes that give them back on disk).
        {"flag set but bytes are not UTF-8", "\xC3(", CVFlagUtf8Name, u"\xDCC3("},
        {"a Latin-1 file name", "lat\xE9in1.txt", CVFlagUtf8Name, u"lat\xDCE9in1.txt"},
        {"a lone continuation byte", "a\x80", 0, u"aÇ"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (bool oem : {false, true}) EXPECT_EQ(DecodeHeaderName(c.bytes, c.flag, oem), c.name);
    }
}

TEST(NameCoding, NamesBeyondSixteenBitLengthsAreRefused) {
    uint16_t flag = 0;
    EXPECT_EQ(EncodeStoredName(std::u16string(CVMaxStoredNameLength, u'a'), flag, true).size(),
              CVMaxStoredNameLength);
    // 21846 Hangul syllables are 65538 bytes of UTF-8, though only 21846 code units.
    for (const std::u16string& name :
         {std::u16string(CVMaxStoredNameLength + 1, u'a'), std::u16string(21846, u'한')}) {
        flag = 0;
        try {
            EncodeStoredName(name, flag, false);
            FAIL() << "accepted a name of " << name.size() << " characters";
        } catch (const ECVException& e) {
            EXPECT_EQ(e.NativeError(), neNameTooLong);
            EXPECT_EQ(e.ErrorCode(), 36);
        }
    }
}

TCVExtraFieldDataBlock UnicodePathField(uint8_t version, const std::string& rawName,
                                        const std::string& utf8) {
    std::vector<uint8_t> data{version};
    uint32_t crc = static_cast<uint32_t>(
        ::crc32(0, reinterpret_cast<const Bytef*>(rawName.data()), static_cast<uInt>(rawName.size())));
    for (int i = 0; i < 4; ++i) data.push_back(static_cast<uint8_t>(crc >> (8 * i)));
    data.insert(data.end(), utf8.begin(), utf8.end());
    return MakeExtraField(CVUnicodePathExtraID, std::move(data));
}

TCVExtraFieldDataBlock UnicodeNameField(const std::string& marker, const std::u16string& name) {
    TCVExtraFieldDataBlock field = MakeUnicodeNameField(name);
    std::copy(marker.begin(), marker.end(), field.data.begin());
    return field;
}

TEST(NameCoding, ExtraFieldsReplaceTheHeaderNameOnlyWhenTheyCheckOut) {
    SKIP_OFF_POSIX();
    const std::string raw = "caf\x82.txt";   // reads as café.txt in code page 437
    const struct {
        const char* what;
        TCVExtraFields extra;
        std::u16string name;
    } cases[] = {
        {"no fields", {}, u"café.txt"},
        {"unknown field", {MakeExtraField(0x5455, {1, 2, 3})}, u"café.txt"},
        {"Unicode name field", {UnicodeNameField("NUCX", u"한글.txt")}, u"한글.txt"},
        {"Unicode name field, wrong marker", {UnicodeNameField("NUCY", u"한글.txt")}, u"café.txt"},
        {"Unicode path field", {UnicodePathField(1, raw, kHangulUtf8)}, u"한글/문서.txt"},
        {"Unicode path field for another name", {UnicodePathField(1, "old.txt", kHangulUtf8)}, u"café.txt"},
        {"Unicode path field of an unknown version", {UnicodePathField(2, raw, kHangulUtf8)}, u"café.txt"},
        {"Unicode path field with invalid UTF-8", {UnicodePathField(1, raw, "a\xFF")}, u"café.txt"},
        {"Unicode path field without a name", {UnicodePathField(1, raw, "")}, u"café.txt"},
        {"Unicode path field cut short", {MakeExtraField(CVUnicodePathExtraID, {1, 0, 0})}, u"café.txt"},
        {"both: the engine's own field wins",
         {UnicodeNameField("NUCX", u"own.txt"), UnicodePathField(1, raw, kHangulUtf8)}, u"own.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(DecodeStoredName(raw, 0, true, c.extra), c.name);
    }
}

}  // namespace
