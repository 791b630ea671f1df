// Extra fields: opaque blocks kept byte for byte, bounded parsing, and the Zip64, Unicode name and AES
// fields the engine understands.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVExtraFields.h"
#include "platform/Platform.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

Bytes Encode(const TCVExtraFields& fields) {
    Bytes out;
    AppendExtraFields(out, fields);
    return out;
}

TEST(ExtraFields, UnknownFieldsRoundTripByteForByte) {
    // The local and central extra areas another tool wrote for "café.txt": a time stamp (0x5455) and
    // Unix owner ids (0x7875), neither of which the engine interprets.
    const Bytes local = FromHex("5554090003a6e2ef5fa6e2ef5f75780b000104000000000400000000");
    const Bytes central = FromHex("5554050003a6e2ef5f75780b000104000000000400000000");
    for (const Bytes& area : {local, central}) {
        TCVExtraFields fields = ParseExtraFields(area.data(), area.size());
        ASSERT_EQ(fields.size(), 2u);
        EXPECT_EQ(fields[0].headerID, 0x5455);
        EXPECT_EQ(fields[1].headerID, 0x7875);
        EXPECT_EQ(fields[1].dataSize, 11);
        EXPECT_EQ(ExtraFieldsLength(fields), area.size());
        EXPECT_EQ(Encode(fields), area);
        EXPECT_EQ(FindExtraField(fields, 0x7875), &fields[1]);
        EXPECT_EQ(FindExtraField(fields, CVZip64ExtraID), nullptr);
    }
}

TEST(ExtraFields, ParsingNeverReadsPastTheArea) {
    const struct {
        const char* what;
        std::string area;
        std::vector<std::pair<uint16_t, std::string>> blocks;   // what the parse keeps
    } cases[] = {
        {"empty area", "", {}},
        {"too short for a header", "\x01\x00\x10", {}},
        {"header only, no data", std::string("\x34\x12\x00\x00", 4), {{0x1234, ""}}},
        {"size runs past the end", std::string("\x01\x00\x10\x00", 4) + "abc", {{0x0001, "abc"}}},
        {"second block cut short",
         std::string("\xAA\xAA\x02\x00", 4) + "xy" + std::string("\xBB\xBB\xFF\xFF", 4) + "z",
         {{0xAAAA, "xy"}, {0xBBBB, "z"}}},
        {"trailing bytes dropped", std::string("\xAA\xAA\x01\x00", 4) + "q" + "\x01\x02",
         {{0xAAAA, "q"}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        // Exactly the area's bytes on the heap, so that any overread shows under the sanitizer.
        Bytes area(c.area.begin(), c.area.end());
        TCVExtraFields fields = ParseExtraFields(area.empty() ? nullptr : area.data(), area.size());
        ASSERT_EQ(fields.size(), c.blocks.size());
        for (size_t i = 0; i < fields.size(); ++i) {
            EXPECT_EQ(fields[i].headerID, c.blocks[i].first);
            EXPECT_EQ(fields[i].dataSize, c.blocks[i].second.size());
            EXPECT_EQ(std::string(fields[i].data.begin(), fields[i].data.end()), c.blocks[i].second);
            // A cut block is written back consistently: its header states what it holds.
            Bytes again = Encode({fields[i]});
            EXPECT_EQ(again.size(), 4 + c.blocks[i].second.size());
        }
        if (!fields.empty() && fields[0].data.empty()) {
            EXPECT_EQ(fields[0].pData(), nullptr);
        }
    }
}

TEST(ExtraFields, BlocksKeepTheirSizeHonest) {
    EXPECT_THROW(MakeExtraField(1, Bytes(0x10000)), std::length_error);
    EXPECT_EQ(MakeExtraField(1, Bytes(0xFFFF)).dataSize, 0xFFFF);
    TCVExtraFieldDataBlock lying = MakeExtraField(0x4242, Bytes{1, 2, 3});
    lying.dataSize = 5;
    Bytes out;
    EXPECT_THROW(AppendExtraField(out, lying), std::logic_error);
}

TEST(ExtraFields, Zip64CentralFormHoldsOnlySentinelFieldsInOrder) {
    const TCVZip64ExtendedInfo info{0x1122334455667788, 0x0102030405060708, 0x7A7B7C7D7E7F7071, 0xCAFEBABE};
    const struct {
        const char* what;
        uint32_t unComp, comp, offset;
        uint16_t disk;
        std::string data;   // hex of the field's data, or empty when no field is due
    } cases[] = {
        {"nothing over the limits", 10, 10, 10, 0, ""},
        {"offset only", 10, 10, CVSentinel32, 0, "71707f7e7d7c7b7a"},
        {"disk only", 10, 10, 10, CVSentinel16, "bebafeca"},
        {"sizes and offset, as zmAlways writes them", CVSentinel32, CVSentinel32, CVSentinel32, 0,
         "88776655443322110807060504030201" "71707f7e7d7c7b7a"},
        {"all four", CVSentinel32, CVSentinel32, CVSentinel32, CVSentinel16,
         "88776655443322110807060504030201" "71707f7e7d7c7b7a" "bebafeca"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TCVZipCentralDir header;
        header.unCompSize = c.unComp;
        header.compSize = c.comp;
        header.relOffsetLH = c.offset;
        header.diskNumberStart = c.disk;
        auto field = MakeZip64CentralField(header, info);
        if (c.data.empty()) {
            EXPECT_FALSE(field.has_value());
            continue;
        }
        ASSERT_TRUE(field.has_value());
        EXPECT_EQ(field->headerID, CVZip64ExtraID);
        EXPECT_EQ(field->data, FromHex(c.data));
        // Read back, the announced values return and the others stay as they were.
        TCVZip64ExtendedInfo back{-1, -1, -1, 7};
        EXPECT_TRUE(ReadZip64ExtendedInfo(header, *field, back));
        EXPECT_EQ(back.uncompSize, c.unComp == CVSentinel32 ? info.uncompSize : -1);
        EXPECT_EQ(back.compSize, c.comp == CVSentinel32 ? info.compSize : -1);
        EXPECT_EQ(back.relOffsetLH, c.offset == CVSentinel32 ? info.relOffsetLH : -1);
        EXPECT_EQ(back.diskNumberStart, c.disk == CVSentinel16 ? info.diskNumberStart : 7u);
    }
}

TEST(ExtraFields, ShortZip64FieldYieldsOnlyTheValuesItHolds) {
    TCVZipCentralDir header;
    header.unCompSize = header.compSize = header.relOffsetLH = CVSentinel32;
    header.diskNumberStart = CVSentinel16;
    const Bytes full = FromHex("0100000000000000" "0200000000000000" "0300000000000000" "04000000");
    const struct {
        size_t length;
        TCVZip64ExtendedInfo expected;
        bool complete;
    } cases[] = {
        {0, {-1, -1, -1, 9}, false},
        {7, {-1, -1, -1, 9}, false},
        {8, {1, -1, -1, 9}, false},
        {23, {1, 2, -1, 9}, false},
        {27, {1, 2, 3, 9}, false},
        {28, {1, 2, 3, 4}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.length);
        TCVExtraFieldDataBlock block =
            MakeExtraField(CVZip64ExtraID, Bytes(full.begin(), full.begin() + static_cast<long>(c.length)));
        TCVZip64ExtendedInfo info{-1, -1, -1, 9};
        EXPECT_EQ(ReadZip64ExtendedInfo(header, block, info), c.complete);
        EXPECT_EQ(info, c.expected);
    }
}

TEST(ExtraFields, Zip64LocalFormIsTwentyBytes) {
    uint8_t field[CVZip64LocalFieldSize];
    EncodeZip64LocalField(field, 0x100000000, 0xFFFFFFFF);
    EXPECT_EQ(Bytes(field, field + sizeof field),
              FromHex("01001000" "0000000001000000" "ffffffff00000000"));
}

TEST(UnicodeExtendedInfo, FieldRoundTripsThroughStreamsAndBlocks) {
    const std::u16string name = u"한글/café.txt";
    TCVExtraFieldDataBlock block = MakeUnicodeNameField(name);
    EXPECT_EQ(block.headerID, CVUnicodeNameExtraID);
    EXPECT_EQ(block.dataSize, 8 + 2 * name.size());
    Bytes header;
    AppendExtraField(header, block);
    EXPECT_EQ(Bytes(header.begin(), header.begin() + 12), FromHex("4e551e00" "4e554358" "0b000000"));
    EXPECT_EQ(Bytes(header.begin() + 12, header.begin() + 16), FromHex("5cd500ae"));

    TUnicodeExtendedInfo info;
    ASSERT_TRUE(info.Load(block.pData(), block.dataSize));
    EXPECT_EQ(info.FName, name);
    EXPECT_EQ(info.FAdditionalSignature, CVUnicodeNameMarker);

    // LoadFromStream reads from the start whatever the stream's position.
    platform::MemoryStream stream;
    TUnicodeExtendedInfo out;
    out.FName = u"x";
    out.SaveToStream(stream);
    EXPECT_EQ(stream.Position(), 10);
    TUnicodeExtendedInfo in;
    ASSERT_TRUE(in.LoadFromStream(stream));
    EXPECT_EQ(in.FName, u"x");

    TUnicodeExtendedInfo empty;
    ASSERT_TRUE(empty.Load(MakeUnicodeNameField(u"").pData(), 8));
    EXPECT_EQ(empty.FName, u"");
}

TEST(UnicodeExtendedInfo, RefusesWrongMarkerAndCountsTheDataCannotHold) {
    const struct {
        const char* what;
        std::string data;
    } cases[] = {
        {"no data", ""},
        {"marker cut short", "NUC"},
        {"wrong marker", std::string("NUCY\x01\x00\x00\x00" "a\x00", 10)},
        {"count missing", "NUCX"},
        {"count beyond the data", std::string("NUCX\x02\x00\x00\x00" "a\x00", 10)},
        {"half a code unit short", std::string("NUCX\x01\x00\x00\x00" "a", 9)},
        {"negative count", std::string("NUCX\xFF\xFF\xFF\xFF" "a\x00", 10)},
        {"huge count", std::string("NUCX\xFF\xFF\xFF\x7F" "a\x00", 10)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        TUnicodeExtendedInfo info;
        info.FName = u"kept";
        EXPECT_FALSE(info.Load(c.data.data(), c.data.size()));
        EXPECT_EQ(info.FName, u"kept");
    }
}

TEST(UnicodeExtendedInfo, NameTooLongForTheFieldIsRefusedByName) {
    EXPECT_NO_THROW(MakeUnicodeNameField(std::u16string((0xFFFF - 8) / 2, u'a')));
    try {
        MakeUnicodeNameField(std::u16string((0xFFFF - 8) / 2 + 1, u'a'));
        FAIL() << "no exception";
    } catch (const ECVException& e) {
        EXPECT_EQ(e.NativeError(), neNameTooLong);
        EXPECT_EQ(e.ErrorCode(), 36);
    }
}

TEST(AesExtraInfo, SevenBytesBothWays) {
    TCVAesExtraInfo aes;
    aes.version = 2;
    aes.strength = CVAesStrength256;
    aes.compMethod = CVMethodDeflated;
    Bytes out;
    AppendExtraField(out, aes.ToBlock());
    EXPECT_EQ(out, FromHex("01990700" "0200" "4145" "03" "0800"));
    EXPECT_EQ(out.size(), CVAesExtraFieldSize);

    TCVAesExtraInfo back;
    ASSERT_TRUE(back.FromBlock(aes.ToBlock()));
    EXPECT_EQ(back, aes);
    EXPECT_FALSE(back.FromBlock(MakeExtraField(CVAesExtraID, Bytes{2, 0, 'A', 'E', 3, 8})));
    EXPECT_FALSE(back.FromBlock(MakeExtraField(0x9902, aes.ToBlock().data)));
}

}  // namespace
