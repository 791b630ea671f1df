// The fixed ZIP records against archives made by other tools, byte for byte, and archives assembled
// from the records checked by other readers.
#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVZipRecords.h"
#include "support/TestSupport.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

// Decodes the record at `offset`, checks that encoding it again gives the same bytes, returns it.
template <typename Record>
Record RoundTrip(const std::vector<uint8_t>& archive, size_t offset) {
    Record record;
    record.Decode(archive.data() + offset);
    std::vector<uint8_t> image(Record::RecordSize);
    record.Encode(image.data());
    const auto start = archive.begin() + static_cast<std::ptrdiff_t>(offset);
    EXPECT_EQ(image, std::vector<uint8_t>(start, start + Record::RecordSize));
    return record;
}

// `zip -X` of one file "a.txt" holding "hello\n", stored, dated 2020-05-17 10:20:30.
const std::vector<uint8_t> kPlainZip = FromHex(
    "504b03040a00000000008f52b15020303a36060000000600000005000000612e74787468656c6c6f0a504b01021e030a"
    "00000000008f52b15020303a360600000006000000050000000000000001000000a48100000000612e747874504b0506"
    "000000000100010033000000290000000000");

// `zip -fz` of "hi" from standard input: both local sizes in a Zip64 field, only the uncompressed size
// in the central one, and the directory offset only in the Zip64 end record.
const std::vector<uint8_t> kZip64Zip = FromHex(
    "504b03042d00000000007d5e8b5dac2a93d8ffffffffffffffff010014002d0100100002000000000000000200000000"
    "0000006869504b01021e032d00000000007d5e8b5dac2a93d802000000ffffffff01000c000000000001000000801100"
    "0000002d010008000200000000000000504b06062c000000000000001e032d0000000000000000000100000000000000"
    "01000000000000003b000000000000003500000000000000504b060700000000700000000000000001000000504b0506"
    "00000000010001003b000000ffffffff0000");

// `zip` writing to a pipe: sizes and CRC in a data descriptor behind the deflated data.
const std::vector<uint8_t> kStreamedZip = FromHex(
    "504b03041400080008008b5e8b5d000000000000000000000000010000002dcbc80400504b0708ac2a93d80400000002"
    "000000504b01021e031400080008008b5e8b5dac2a93d804000000020000000100000000000000010000008011000000"
    "002d504b050600000000010001002f000000330000000000");

TEST(ZipRecords, PlainArchiveFromAnotherTool) {
    auto local = RoundTrip<TCVZipLocalHeader>(kPlainZip, 0);
    EXPECT_EQ(local.signature, CVLocalHeaderSignature);
    EXPECT_EQ(local.extractVersion, 10);
    EXPECT_EQ(local.genPurposeFlag, 0);
    EXPECT_EQ(local.compMethod, CVMethodStored);
    EXPECT_EQ(local.lastModTime, 10 * 2048 + 20 * 32 + 30 / 2);
    EXPECT_EQ(local.lastModDate, (2020 - 1980) * 512 + 5 * 32 + 17);
    EXPECT_EQ(local.crc32, 0x363A3020u);
    EXPECT_EQ(local.compSize, 6u);
    EXPECT_EQ(local.unCompSize, 6u);
    EXPECT_EQ(local.nameLength, 5);
    EXPECT_EQ(local.extraLength, 0);

    auto central = RoundTrip<TCVZipCentralDir>(kPlainZip, 41);
    EXPECT_EQ(central.signature, CVCentralDirSignature);
    EXPECT_EQ(central.versionMadeBy, 0x031E);
    EXPECT_EQ(central.extractVersion, 10);
    EXPECT_EQ(central.lastModTime, local.lastModTime);
    EXPECT_EQ(central.lastModDate, local.lastModDate);
    EXPECT_EQ(central.crc32, local.crc32);
    EXPECT_EQ(central.compSize, 6u);
    EXPECT_EQ(central.unCompSize, 6u);
    EXPECT_EQ(central.nameLength, 5);
    EXPECT_EQ(central.extraLength, 0);
    EXPECT_EQ(central.commentLength, 0);
    EXPECT_EQ(central.diskNumberStart, 0);
    EXPECT_EQ(central.internalAttr, 1);
    EXPECT_EQ(central.externalAttr, 0100644u << 16);
    EXPECT_EQ(central.relOffsetLH, 0u);

    auto end = RoundTrip<TCVZipCentralDirEnd>(kPlainZip, 92);
    EXPECT_EQ(end.signature, CVCentralDirEndSignature);
    EXPECT_EQ(end.diskNumber, 0);
    EXPECT_EQ(end.startDiskNumber, 0);
    EXPECT_EQ(end.entriesOnDisk, 1);
    EXPECT_EQ(end.entriesCentralDir, 1);
    EXPECT_EQ(end.centralDirSize, 51u);
    EXPECT_EQ(end.offsetStartDir, 41u);
    EXPECT_EQ(end.commentLength, 0);
    EXPECT_EQ(92 + TCVZipCentralDirEnd::RecordSize, kPlainZip.size());
}

TEST(ZipRecords, Zip64ArchiveFromAnotherTool) {
    auto local = RoundTrip<TCVZipLocalHeader>(kZip64Zip, 0);
    EXPECT_EQ(local.extractVersion, CVVersionZip64);
    EXPECT_EQ(local.compSize, CVSentinel32);
    EXPECT_EQ(local.unCompSize, CVSentinel32);
    ASSERT_EQ(local.extraLength, CVZip64LocalFieldSize);
    uint8_t localField[CVZip64LocalFieldSize];
    EncodeZip64LocalField(localField, 2, 2);
    EXPECT_EQ(std::vector<uint8_t>(localField, localField + sizeof localField),
              std::vector<uint8_t>(kZip64Zip.begin() + 31, kZip64Zip.begin() + 51));

    auto central = RoundTrip<TCVZipCentralDir>(kZip64Zip, 53);
    EXPECT_EQ(central.compSize, 2u);
    EXPECT_EQ(central.unCompSize, CVSentinel32);
    EXPECT_EQ(central.relOffsetLH, 0u);
    ASSERT_EQ(central.extraLength, 12);
    const uint8_t* area = kZip64Zip.data() + 53 + 46 + central.nameLength;
    TCVExtraFields fields = ParseExtraFields(area, central.extraLength);
    ASSERT_EQ(fields.size(), 1u);
    TCVZip64ExtendedInfo info;
    info.compSize = -5;   // not announced by a sentinel: must stay as it was
    EXPECT_TRUE(ReadZip64ExtendedInfo(central, fields[0], info));
    EXPECT_EQ(info.uncompSize, 2);
    EXPECT_EQ(info.compSize, -5);
    // Rebuilt from the values, the central field comes out as the other tool wrote it.
    EXPECT_EQ(MakeZip64CentralField(central, info), fields[0]);

    auto end64 = RoundTrip<TCVZip64CentralDirEnd>(kZip64Zip, 112);
    EXPECT_EQ(end64.signature, CVZip64CentralDirEndSignature);
    EXPECT_EQ(end64.centralDirEndSize, TCVZip64CentralDirEnd::RemainingSize);
    EXPECT_EQ(end64.versionMadeBy, 0x031E);
    EXPECT_EQ(end64.versionNeededToExtract, CVVersionZip64Record);
    EXPECT_EQ(end64.diskNumber, 0u);
    EXPECT_EQ(end64.startDiskNumber, 0u);
    EXPECT_EQ(end64.entriesOnDisk, 1u);
    EXPECT_EQ(end64.entriesCentralDir, 1u);
    EXPECT_EQ(end64.centralDirSize, 59u);
    EXPECT_EQ(end64.offsetStartDir, 53u);

    auto locator = RoundTrip<TCVZip64CentralDirEndLocator>(kZip64Zip, 168);
    EXPECT_EQ(locator.signature, CVZip64CentralDirEndLocatorSignature);
    EXPECT_EQ(locator.startDiskNumber, 0u);
    EXPECT_EQ(locator.offsetStartDirEnd, 112u);
    EXPECT_EQ(locator.totalNumberOfDisks, 1u);

    auto end = RoundTrip<TCVZipCentralDirEnd>(kZip64Zip, 188);
    EXPECT_EQ(end.entriesCentralDir, 1);
    EXPECT_EQ(end.centralDirSize, 59u);
    EXPECT_EQ(end.offsetStartDir, CVSentinel32);
}

TEST(ZipRecords, DataDescriptorFromAnotherTool) {
    auto local = RoundTrip<TCVZipLocalHeader>(kStreamedZip, 0);
    EXPECT_TRUE(local.genPurposeFlag & CVFlagDataDescriptor);
    EXPECT_EQ(local.compMethod, CVMethodDeflated);
    EXPECT_EQ(local.crc32, 0u);
    auto descriptor = RoundTrip<TCVZipDataDescriptor>(kStreamedZip, 35);
    EXPECT_EQ(descriptor.signature, CVDataDescriptorSignature);
    EXPECT_EQ(descriptor.crc32, 0xD8932AACu);
    EXPECT_EQ(descriptor.compSize, 4u);
    EXPECT_EQ(descriptor.unCompSize, 2u);
}

TEST(ZipRecords, SignaturesAndSizesAsOnDisk) {
    const struct {
        uint32_t signature;
        const char* bytes;
    } signatures[] = {
        {CVLocalHeaderSignature, "PK\x03\x04"},
        {CVCentralDirSignature, "PK\x01\x02"},
        {CVCentralDirEndSignature, "PK\x05\x06"},
        {CVZip64CentralDirEndSignature, "PK\x06\x06"},
        {CVZip64CentralDirEndLocatorSignature, "PK\x06\x07"},
        {CVDataDescriptorSignature, "PK\x07\x08"},
    };
    for (const auto& s : signatures) {
        TCVZipDataDescriptor record;
        record.signature = s.signature;
        uint8_t image[TCVZipDataDescriptor::RecordSize];
        record.Encode(image);
        EXPECT_EQ(std::string(reinterpret_cast<char*>(image), 4), s.bytes);
    }
    EXPECT_EQ(TCVZipLocalHeader::RecordSize, 30u);
    EXPECT_EQ(TCVZipCentralDir::RecordSize, 46u);
    EXPECT_EQ(TCVZipCentralDirEnd::RecordSize, 22u);
    EXPECT_EQ(TCVZip64CentralDirEnd::RecordSize, 56u);
    EXPECT_EQ(TCVZip64CentralDirEndLocator::RecordSize, 20u);
    EXPECT_EQ(TCVZipDataDescriptor::RecordSize, 16u);
}

TEST(ZipRecords, WideValuesSurviveEncoding) {
    TCVZip64CentralDirEnd end64;
    end64.signature = CVZip64CentralDirEndSignature;
    end64.entriesCentralDir = 0x0102030405060708ull;
    end64.offsetStartDir = 0xFFFFFFFFFFFFFFFEull;
    end64.diskNumber = 0x89ABCDEF;
    uint8_t image[TCVZip64CentralDirEnd::RecordSize];
    end64.Encode(image);
    EXPECT_EQ(image[32], 0x08);
    EXPECT_EQ(image[39], 0x01);
    TCVZip64CentralDirEnd back;
    back.Decode(image);
    EXPECT_EQ(back, end64);
}

TEST(ZipRecords, VersionsAndUnixModes) {
    const struct {
        bool oem, zip64;
        TCVHostSystem host;
        uint16_t madeBy, extract;
    } versions[] = {
        {true, false, hsWindows, 0x0014, 0x0014},
        {false, false, hsWindows, 0x0B14, 0x0B14},
        {true, true, hsWindows, 0x002D, 0x002D},
        {false, true, hsWindows, 0x002D, 0x002D},
        {true, false, hsPosix, 0x0314, 0x0014},
        {false, false, hsPosix, 0x0314, 0x0014},
        {false, true, hsPosix, 0x032D, 0x002D},
    };
    for (const auto& v : versions) {
        SCOPED_TRACE(testing::Message() << v.oem << v.zip64 << int(v.host));
        EXPECT_EQ(MadeByVersion(v.oem, v.zip64, v.host), v.madeBy);
        EXPECT_EQ(ExtractVersion(v.oem, v.zip64, v.host), v.extract);
    }

    const struct {
        uint32_t attr;
        TCVHostSystem host;
        uint32_t expected;
    } modes[] = {
        {0x10, hsPosix, 0x10 | (0040755u << 16)},
        {0x11, hsPosix, 0x11 | (0040755u << 16)},   // a read-only folder stays enterable
        {0x20, hsPosix, 0x20 | (0100644u << 16)},
        {0x21, hsPosix, 0x21 | (0100444u << 16)},
        {0x00, hsPosix, 0100644u << 16},
        {0x20 | (0100755u << 16), hsPosix, 0x20 | (0100755u << 16)},   // a mode is never replaced
        {0x21, hsWindows, 0x21},
    };
    for (const auto& m : modes) EXPECT_EQ(CompleteUnixMode(m.attr, m.host), m.expected) << std::hex << m.attr;
}

// ---------------------------------------------------------------------------------------------------
// Archives assembled from the records must satisfy other readers.

struct Entry {
    std::u16string name;
    std::string data;
    uint32_t attr;
};

void Append(std::vector<uint8_t>& out, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    out.insert(out.end(), p, p + size);
}

template <typename Record>
void AppendRecord(std::vector<uint8_t>& out, const Record& record) {
    uint8_t image[Record::RecordSize];
    record.Encode(image);
    Append(out, image, sizeof image);
}

// Stored entries; with `zip64` every size and offset goes through its sentinel, as with zmAlways.
std::vector<uint8_t> BuildArchive(const std::vector<Entry>& entries, bool zip64) {
    std::vector<uint8_t> out;
    std::vector<uint8_t> central;
    for (const Entry& e : entries) {
        uint16_t flag = (e.attr & 0x10) ? CVFlagFolderEntry : 0;
        const std::string name = EncodeStoredName(e.name, flag, false);
        const uint32_t crc = static_cast<uint32_t>(
            ::crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size())));
        const uint32_t size = static_cast<uint32_t>(e.data.size());
        const uint32_t offset = static_cast<uint32_t>(out.size());

        TCVZipLocalHeader local;
        local.signature = CVLocalHeaderSignature;
        local.extractVersion = ExtractVersion(false, zip64);
        local.genPurposeFlag = flag;
        local.compMethod = CVMethodStored;
        local.lastModTime = 12 * 2048;
        local.lastModDate = 44 * 512 + 2 * 32 + 29;
        local.crc32 = crc;
        local.compSize = local.unCompSize = zip64 ? CVSentinel32 : size;
        local.nameLength = static_cast<uint16_t>(name.size());
        local.extraLength = zip64 ? CVZip64LocalFieldSize : 0;
        AppendRecord(out, local);
        Append(out, name.data(), name.size());
        if (zip64) {
            uint8_t field[CVZip64LocalFieldSize];
            EncodeZip64LocalField(field, size, size);
            Append(out, field, sizeof field);
        }
        Append(out, e.data.data(), e.data.size());

        TCVZipCentralDir header;
        header.signature = CVCentralDirSignature;
        header.versionMadeBy = MadeByVersion(false, zip64);
        header.extractVersion = local.extractVersion;
        header.genPurposeFlag = flag;
        header.compMethod = CVMethodStored;
        header.lastModTime = local.lastModTime;
        header.lastModDate = local.lastModDate;
        header.crc32 = crc;
        header.compSize = header.unCompSize = local.compSize;
        header.relOffsetLH = zip64 ? CVSentinel32 : offset;
        header.nameLength = local.nameLength;
        header.externalAttr = CompleteUnixMode(e.attr);
        TCVExtraFields extra;
        if (auto field = MakeZip64CentralField(header, {size, size, offset, 0})) extra.push_back(*field);
        header.extraLength = static_cast<uint16_t>(ExtraFieldsLength(extra));
        AppendRecord(central, header);
        Append(central, name.data(), name.size());
        AppendExtraFields(central, extra);
    }
    const uint64_t centralOffset = out.size();
    out.insert(out.end(), central.begin(), central.end());

    TCVZipCentralDirEnd end;
    end.signature = CVCentralDirEndSignature;
    end.entriesOnDisk = end.entriesCentralDir = static_cast<uint16_t>(entries.size());
    end.centralDirSize = static_cast<uint32_t>(central.size());
    end.offsetStartDir = static_cast<uint32_t>(centralOffset);
    if (zip64) {
        TCVZip64CentralDirEnd end64;
        end64.signature = CVZip64CentralDirEndSignature;
        end64.centralDirEndSize = TCVZip64CentralDirEnd::RemainingSize;
        end64.versionMadeBy = end64.versionNeededToExtract = CVVersionZip64Record;
        end64.entriesOnDisk = end64.entriesCentralDir = entries.size();
        end64.centralDirSize = central.size();
        end64.offsetStartDir = centralOffset;
        TCVZip64CentralDirEndLocator locator;
        locator.signature = CVZip64CentralDirEndLocatorSignature;
        locator.offsetStartDirEnd = out.size();
        locator.totalNumberOfDisks = 1;
        AppendRecord(out, end64);
        AppendRecord(out, locator);
        end.centralDirSize = end.offsetStartDir = CVSentinel32;
    }
    AppendRecord(out, end);
    return out;
}

TEST(ZipRecords, AssembledArchivesReadByOtherTools) {
    using testing_support::Quote;
    using testing_support::Run;
    const std::vector<Entry> entries = {
        {u"dir/", "", 0x10},
        {u"dir/a.txt", "hello\n", 0x20},
        {u"한글/café.txt", "data", 0x21},
    };
    const char* check =
        "import sys, zipfile\n"
        "z = zipfile.ZipFile(sys.argv[1])\n"
        "assert z.testzip() is None\n"
        "for i in z.infolist():\n"
        "    print(i.filename, oct(i.external_attr >> 16), z.read(i).decode())\n";
    testing_support::ScratchDir dir;
    for (bool zip64 : {false, true}) {
        SCOPED_TRACE(zip64 ? "zip64" : "plain");
        const std::vector<uint8_t> archive = BuildArchive(entries, zip64);
        const std::string path = dir / (zip64 ? "z64.zip" : "plain.zip");
        testing_support::WriteBytes(path, std::string(archive.begin(), archive.end()));
        testing_support::WriteBytes(dir / "check.py", check);

        std::string output;
        EXPECT_EQ(Run("python3 " + Quote(dir / "check.py") + " " + Quote(path), &output), 0) << output;
        EXPECT_EQ(output,
                  "dir/ 0o40755 \n"
                  "dir/a.txt 0o100644 hello\n\n"
                  "\xED\x95\x9C\xEA\xB8\x80/caf\xC3\xA9.txt 0o100444 data\n");
        EXPECT_EQ(Run("unzip -tq " + Quote(path), &output), 0) << output;
        EXPECT_EQ(Run("7z t -bd " + Quote(path), &output), 0) << output;
    }
}

}  // namespace
