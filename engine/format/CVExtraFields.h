// Extra fields: the opaque blocks every entry keeps, and the three the engine understands (Zip64
// extended information, the Unicode name, AES). Blocks of any other ID are kept as bytes and written
// back unchanged, so whatever another tool stored survives an update.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "engine/format/CVZipRecords.h"

class TComponent;
namespace platform {
class Stream;
}

inline constexpr size_t CVExtraHeaderSize = 4;   // headerID (2) + dataSize (2)
inline constexpr size_t CVMaxExtraDataSize = 0xFFFF;

inline constexpr uint16_t CVZip64ExtraID = 0x0001;
inline constexpr uint16_t CVUnicodeNameExtraID = 0x554E;   // bytes 4E 55
inline constexpr uint16_t CVAesExtraID = 0x9901;
// Written by other tools: version 1, CRC-32 of the header name, the name in UTF-8.
inline constexpr uint16_t CVUnicodePathExtraID = 0x7075;

// ---------------------------------------------------------------------------------------------------
// Opaque blocks

// One extra field as met on disk. `dataSize` always equals data.size(); MakeExtraField keeps them in
// step, and the writers refuse a block where they differ rather than write a header that lies.
struct TCVExtraFieldDataBlock {
    uint16_t headerID = 0;
    uint16_t dataSize = 0;
    std::vector<uint8_t> data;

    // The block's bytes, or null when it has none (then only the 4-byte header is written).
    const uint8_t* pData() const noexcept { return data.empty() ? nullptr : data.data(); }
    bool operator==(const TCVExtraFieldDataBlock&) const = default;
};
using TCVExtraFields = std::vector<TCVExtraFieldDataBlock>;

// Throws std::length_error when `data` is longer than a 16-bit size can state.
TCVExtraFieldDataBlock MakeExtraField(uint16_t headerID, std::vector<uint8_t> data);

// Splits an extra area into blocks, in disk order. The area is never read past: a block whose
// dataSize runs past the area keeps only the bytes the area holds (and ends the parse), and fewer than
// four trailing bytes, too short for a header, are dropped.
TCVExtraFields ParseExtraFields(const uint8_t* area, size_t length);

// Bytes the blocks take on disk, headers included. The caller checks that it fits extraLength.
size_t ExtraFieldsLength(const TCVExtraFields& fields);
// Appends header and data of each block. Throws std::logic_error for a block whose dataSize and data
// disagree.
void AppendExtraField(std::vector<uint8_t>& out, const TCVExtraFieldDataBlock& field);
void AppendExtraFields(std::vector<uint8_t>& out, const TCVExtraFields& fields);

// The first block with the ID, or null.
const TCVExtraFieldDataBlock* FindExtraField(const TCVExtraFields& fields, uint16_t headerID);

// ---------------------------------------------------------------------------------------------------
// Zip64 extended information (ID 0x0001)

// An entry's 64-bit values; each is meaningful only while its header field holds the sentinel.
struct TCVZip64ExtendedInfo {
    int64_t uncompSize = 0;
    int64_t compSize = 0;
    int64_t relOffsetLH = 0;
    uint32_t diskNumberStart = 0;
    bool operator==(const TCVZip64ExtendedInfo&) const = default;
};

inline constexpr size_t CVZip64LocalFieldSize = 20;   // header + uncompressed + compressed size

// The central form: only the values whose header field holds the sentinel, in the fixed order
// uncompressed size, compressed size, local header offset, disk start number. None: no field at all.
std::optional<TCVExtraFieldDataBlock> MakeZip64CentralField(const TCVZipCentralDir& header,
                                                            const TCVZip64ExtendedInfo& info);

// The local form: always both sizes, 20 bytes written at `out`.
void EncodeZip64LocalField(uint8_t* out, int64_t uncompSize, int64_t compSize);

// The extra area of a local header: first, when the header defers its sizes to it, the local Zip64
// field with the two sizes, then `fields` without any Zip64 block among them (the one field is made
// here). An area too long for the header's 16-bit length is refused with neNameTooLong naming `name`.
std::vector<uint8_t> MakeLocalExtraArea(bool zip64Field, int64_t uncompSize, int64_t compSize,
                                        const TCVExtraFields& fields, const std::u16string& name,
                                        const TComponent* component);

// Takes from a Zip64 block the values whose central header field holds the sentinel, in the fixed
// order, stopping at the first value the block does not wholly hold; the others in `info` are left
// alone. Returns whether every announced value was present.
bool ReadZip64ExtendedInfo(const TCVZipCentralDir& header, const TCVExtraFieldDataBlock& block,
                           TCVZip64ExtendedInfo& info);

// ---------------------------------------------------------------------------------------------------
// Unicode name (ID 0x554E): marker "NUCX", the count n of UTF-16 code units, then the name in UTF-16LE

inline constexpr int32_t CVUnicodeNameMarker = 0x5843554E;

class TUnicodeExtendedInfo {
public:
    std::u16string FName;
    int32_t FAdditionalSignature = 0;

    // Reads the field's data. False, with FName untouched, when the marker is wrong or the data does
    // not hold the n code units it announces (a hostile count never sizes an allocation).
    bool Load(const void* Data, size_t Size);
    bool LoadFromStream(platform::Stream& Stream);
    void SaveToStream(platform::Stream& Stream) const;
};

// The whole block for a name. Names whose field would not fit a 16-bit size are refused with
// neNameTooLong ("File name is too long") naming them.
TCVExtraFieldDataBlock MakeUnicodeNameField(const std::u16string& name,
                                            const TComponent* component = nullptr);

// ---------------------------------------------------------------------------------------------------
// Extended timestamp (ID 0x5455): a flag byte (bit 0: the modification time follows), then the
// modification time in seconds since 1970 UTC, 32 bits signed. Unlike the MS-DOS fields it does not
// depend on the time zone of the machine that reads it, and covers 1901 to 2038.

inline constexpr uint16_t CVExtendedTimeExtraID = 0x5455;   // bytes 55 54, "UT"
inline constexpr uint8_t CVExtendedTimeModified = 0x01;

// The block for a modification time; none when the time does not fit 32 signed bits.
std::optional<TCVExtraFieldDataBlock> MakeExtendedTimeField(std::time_t modified);
// The modification time of the first extended timestamp among the blocks, when it carries one.
bool ReadExtendedTime(const TCVExtraFields& fields, std::time_t& modified);

// ---------------------------------------------------------------------------------------------------
// AES (ID 0x9901): version (2), vendor "AE" (2), key strength (1), real compression method (2)

inline constexpr uint16_t CVAesExtraDataSize = 7;
inline constexpr size_t CVAesExtraFieldSize = CVExtraHeaderSize + CVAesExtraDataSize;
inline constexpr uint16_t CVAesVendorID = 0x4541;   // bytes 'A' 'E'
inline constexpr uint8_t CVAesStrength128 = 1;
inline constexpr uint8_t CVAesStrength192 = 2;
inline constexpr uint8_t CVAesStrength256 = 3;

struct TCVAesExtraInfo {
    uint16_t version = 0;
    uint16_t vendorID = CVAesVendorID;
    uint8_t strength = 0;
    uint16_t compMethod = 0;

    TCVExtraFieldDataBlock ToBlock() const;
    // False when the block is not an AES field of the full seven bytes.
    bool FromBlock(const TCVExtraFieldDataBlock& block);
    bool operator==(const TCVAesExtraInfo&) const = default;
};
