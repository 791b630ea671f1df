// The fixed-size ZIP records as they lie on disk, with their signatures, sentinels, flag bits and
// version values. Each record is a plain struct whose fields carry the on-disk names; Encode and
// Decode move it to and from a byte image of exactly RecordSize bytes, field by field, little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

// ---------------------------------------------------------------------------------------------------
// Signatures

inline constexpr uint32_t CVLocalHeaderSignature = 0x04034B50;                // PK 03 04
inline constexpr uint32_t CVCentralDirSignature = 0x02014B50;                 // PK 01 02
inline constexpr uint32_t CVCentralDirEndSignature = 0x06054B50;              // PK 05 06
inline constexpr uint32_t CVZip64CentralDirEndSignature = 0x06064B50;         // PK 06 06
inline constexpr uint32_t CVZip64CentralDirEndLocatorSignature = 0x07064B50;  // PK 06 07
inline constexpr uint32_t CVDataDescriptorSignature = 0x08074B50;             // PK 07 08

// A 32-bit size or offset, or a 16-bit count or disk number, holding its sentinel means the real value
// lives in the Zip64 record or extra field.
inline constexpr uint32_t CVSentinel32 = 0xFFFFFFFF;
inline constexpr uint16_t CVSentinel16 = 0xFFFF;

// ---------------------------------------------------------------------------------------------------
// General purpose flag bits

inline constexpr uint16_t CVFlagEncrypted = 0x0001;
// A new folder entry gets exactly this flag word.
inline constexpr uint16_t CVFlagFolderEntry = 0x0002;
// Sizes and CRC follow the data in a descriptor (never written; the recovery scan honours it).
inline constexpr uint16_t CVFlagDataDescriptor = 0x0008;
// The stored name is UTF-8.
inline constexpr uint16_t CVFlagUtf8Name = 0x0800;

// ---------------------------------------------------------------------------------------------------
// Compression methods

inline constexpr uint16_t CVMethodStored = 0;
inline constexpr uint16_t CVMethodDeflated = 8;
inline constexpr uint16_t CVMethodDeflate64 = 9;   // refused when reading
inline constexpr uint16_t CVMethodAes = 99;        // the real method is in the AES extra field

// ---------------------------------------------------------------------------------------------------
// Version values

// On Windows the engine writes one value into both versionMadeBy and extractVersion.
inline constexpr uint16_t CVVersionOEM = 0x0014;     // 2.0, host 0 (MS-DOS): OEMFileNames on
inline constexpr uint16_t CVVersionAnsi = 0x0B14;    // 2.0, host 11: OEMFileNames off
inline constexpr uint16_t CVVersionZip64 = 0x002D;   // 4.5, host 0: an entry stored with Zip64
inline constexpr uint16_t CVVersionZip64Record = 45; // both version fields of the Zip64 end record

// The upper byte of versionMadeBy names the system whose attributes externalAttr holds. On POSIX the
// high 16 bits of externalAttr carry the Unix mode, so the entries say host 3 (UNIX); readers then
// restore execute bits and trust flag bit 11 for the name.
inline constexpr uint16_t CVVersionPosix = 0x0314;
inline constexpr uint16_t CVVersionPosixZip64 = 0x032D;

enum TCVHostSystem : uint8_t { hsWindows, hsPosix };
#ifdef _WIN32
inline constexpr TCVHostSystem CVNativeHostSystem = hsWindows;
#else
inline constexpr TCVHostSystem CVNativeHostSystem = hsPosix;
#endif

// versionMadeBy and extractVersion of an entry the engine writes.
uint16_t MadeByVersion(bool oemNames, bool zip64, TCVHostSystem host = CVNativeHostSystem);
uint16_t ExtractVersion(bool oemNames, bool zip64, TCVHostSystem host = CVNativeHostSystem);

// An entry whose externalAttr carries no Unix mode in its high 16 bits gets one made from its
// attribute bits (folder 040755, read-only file 0100444, other file 0100644), so that no reader of a
// host-3 entry sees mode 0. On a Windows host the attributes are returned unchanged.
uint32_t CompleteUnixMode(uint32_t externalAttr, TCVHostSystem host = CVNativeHostSystem);

// ---------------------------------------------------------------------------------------------------
// Records

// Followed by nameLength bytes of stored name and extraLength bytes of extra fields, then the data.
struct TCVZipLocalHeader {
    static constexpr size_t RecordSize = 30;

    uint32_t signature = 0;
    uint16_t extractVersion = 0;
    uint16_t genPurposeFlag = 0;
    uint16_t compMethod = 0;
    uint16_t lastModTime = 0;
    uint16_t lastModDate = 0;
    uint32_t crc32 = 0;
    uint32_t compSize = 0;
    uint32_t unCompSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZipLocalHeader&) const = default;
};

// Followed by nameLength bytes of name, extraLength bytes of extra fields and commentLength bytes of
// comment.
struct TCVZipCentralDir {
    static constexpr size_t RecordSize = 46;

    uint32_t signature = 0;
    uint16_t versionMadeBy = 0;
    uint16_t extractVersion = 0;
    uint16_t genPurposeFlag = 0;
    uint16_t compMethod = 0;
    uint16_t lastModTime = 0;
    uint16_t lastModDate = 0;
    uint32_t crc32 = 0;
    uint32_t compSize = 0;
    uint32_t unCompSize = 0;
    uint16_t nameLength = 0;
    uint16_t extraLength = 0;
    uint16_t commentLength = 0;
    uint16_t diskNumberStart = 0;
    uint16_t internalAttr = 0;
    uint32_t externalAttr = 0;
    uint32_t relOffsetLH = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZipCentralDir&) const = default;
};

// Followed by commentLength bytes of archive comment.
struct TCVZipCentralDirEnd {
    static constexpr size_t RecordSize = 22;

    uint32_t signature = 0;
    uint16_t diskNumber = 0;
    uint16_t startDiskNumber = 0;
    uint16_t entriesOnDisk = 0;
    uint16_t entriesCentralDir = 0;
    uint32_t centralDirSize = 0;
    uint32_t offsetStartDir = 0;
    uint16_t commentLength = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZipCentralDirEnd&) const = default;
};

// Only these 56 bytes are written or read; an extensible data sector is never written and is skipped.
struct TCVZip64CentralDirEnd {
    static constexpr size_t RecordSize = 56;
    // centralDirEndSize counts the record after its first 12 bytes.
    static constexpr uint64_t RemainingSize = RecordSize - 12;

    uint32_t signature = 0;
    uint64_t centralDirEndSize = 0;
    uint16_t versionMadeBy = 0;
    uint16_t versionNeededToExtract = 0;
    uint32_t diskNumber = 0;
    uint32_t startDiskNumber = 0;
    uint64_t entriesOnDisk = 0;
    uint64_t entriesCentralDir = 0;
    uint64_t centralDirSize = 0;
    uint64_t offsetStartDir = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZip64CentralDirEnd&) const = default;
};

// Ends exactly where the end of central directory record begins.
struct TCVZip64CentralDirEndLocator {
    static constexpr size_t RecordSize = 20;

    uint32_t signature = 0;
    uint32_t startDiskNumber = 0;
    uint64_t offsetStartDirEnd = 0;
    uint32_t totalNumberOfDisks = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZip64CentralDirEndLocator&) const = default;
};

// Never written; read only by the recovery scan for entries with CVFlagDataDescriptor.
struct TCVZipDataDescriptor {
    static constexpr size_t RecordSize = 16;

    uint32_t signature = 0;
    uint32_t crc32 = 0;
    uint32_t compSize = 0;
    uint32_t unCompSize = 0;

    void Encode(uint8_t* buffer) const;
    void Decode(const uint8_t* buffer);
    bool operator==(const TCVZipDataDescriptor&) const = default;
};
