#include "engine/format/CVZipRecords.h"

#include "engine/util/CVCoding.h"

// Offsets are written out per field so that each routine can be read against the record tables.

uint16_t MadeByVersion(bool oemNames, bool zip64, TCVHostSystem host) {
    if (host == hsPosix) return zip64 ? CVVersionPosixZip64 : CVVersionPosix;
    if (zip64) return CVVersionZip64;
    return oemNames ? CVVersionOEM : CVVersionAnsi;
}

uint16_t ExtractVersion(bool oemNames, bool zip64, TCVHostSystem host) {
    // Only the low byte matters to readers of extractVersion; the POSIX layer keeps the plain values
    // while on Windows the made-by value is stored here as well.
    if (host == hsPosix) return zip64 ? CVVersionZip64 : CVVersionOEM;
    return MadeByVersion(oemNames, zip64, host);
}

uint32_t CompleteUnixMode(uint32_t externalAttr, TCVHostSystem host) {
    if (host != hsPosix || (externalAttr >> 16) != 0) return externalAttr;
    uint32_t mode;
    if (externalAttr & 0x10)
        mode = 0040755;
    else if (externalAttr & 0x01)
        mode = 0100444;
    else
        mode = 0100644;
    return externalAttr | (mode << 16);
}

void TCVZipLocalHeader::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed16(b + 4, extractVersion);
    EncodeFixed16(b + 6, genPurposeFlag);
    EncodeFixed16(b + 8, compMethod);
    EncodeFixed16(b + 10, lastModTime);
    EncodeFixed16(b + 12, lastModDate);
    EncodeFixed32(b + 14, crc32);
    EncodeFixed32(b + 18, compSize);
    EncodeFixed32(b + 22, unCompSize);
    EncodeFixed16(b + 26, nameLength);
    EncodeFixed16(b + 28, extraLength);
}

void TCVZipLocalHeader::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    extractVersion = DecodeFixed16(b + 4);
    genPurposeFlag = DecodeFixed16(b + 6);
    compMethod = DecodeFixed16(b + 8);
    lastModTime = DecodeFixed16(b + 10);
    lastModDate = DecodeFixed16(b + 12);
    crc32 = DecodeFixed32(b + 14);
    compSize = DecodeFixed32(b + 18);
    unCompSize = DecodeFixed32(b + 22);
    nameLength = DecodeFixed16(b + 26);
    extraLength = DecodeFixed16(b + 28);
}

void TCVZipCentralDir::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed16(b + 4, versionMadeBy);
    EncodeFixed16(b + 6, extractVersion);
    EncodeFixed16(b + 8, genPurposeFlag);
    EncodeFixed16(b + 10, compMethod);
    EncodeFixed16(b + 12, lastModTime);
    EncodeFixed16(b + 14, lastModDate);
    EncodeFixed32(b + 16, crc32);
    EncodeFixed32(b + 20, compSize);
    EncodeFixed32(b + 24, unCompSize);
    EncodeFixed16(b + 28, nameLength);
    EncodeFixed16(b + 30, extraLength);
    EncodeFixed16(b + 32, commentLength);
    EncodeFixed16(b + 34, diskNumberStart);
    EncodeFixed16(b + 36, internalAttr);
    EncodeFixed32(b + 38, externalAttr);
    EncodeFixed32(b + 42, relOffsetLH);
}

void TCVZipCentralDir::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    versionMadeBy = DecodeFixed16(b + 4);
    extractVersion = DecodeFixed16(b + 6);
    genPurposeFlag = DecodeFixed16(b + 8);
    compMethod = DecodeFixed16(b + 10);
    lastModTime = DecodeFixed16(b + 12);
    lastModDate = DecodeFixed16(b + 14);
    crc32 = DecodeFixed32(b + 16);
    compSize = DecodeFixed32(b + 20);
    unCompSize = DecodeFixed32(b + 24);
    nameLength = DecodeFixed16(b + 28);
    extraLength = DecodeFixed16(b + 30);
    commentLength = DecodeFixed16(b + 32);
    diskNumberStart = DecodeFixed16(b + 34);
    internalAttr = DecodeFixed16(b + 36);
    externalAttr = DecodeFixed32(b + 38);
    relOffsetLH = DecodeFixed32(b + 42);
}

void TCVZipCentralDirEnd::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed16(b + 4, diskNumber);
    EncodeFixed16(b + 6, startDiskNumber);
    EncodeFixed16(b + 8, entriesOnDisk);
    EncodeFixed16(b + 10, entriesCentralDir);
    EncodeFixed32(b + 12, centralDirSize);
    EncodeFixed32(b + 16, offsetStartDir);
    EncodeFixed16(b + 20, commentLength);
}

void TCVZipCentralDirEnd::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    diskNumber = DecodeFixed16(b + 4);
    startDiskNumber = DecodeFixed16(b + 6);
    entriesOnDisk = DecodeFixed16(b + 8);
    entriesCentralDir = DecodeFixed16(b + 10);
    centralDirSize = DecodeFixed32(b + 12);
    offsetStartDir = DecodeFixed32(b + 16);
    commentLength = DecodeFixed16(b + 20);
}

void TCVZip64CentralDirEnd::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed64(b + 4, centralDirEndSize);
    EncodeFixed16(b + 12, versionMadeBy);
    EncodeFixed16(b + 14, versionNeededToExtract);
    EncodeFixed32(b + 16, diskNumber);
    EncodeFixed32(b + 20, startDiskNumber);
    EncodeFixed64(b + 24, entriesOnDisk);
    EncodeFixed64(b + 32, entriesCentralDir);
    EncodeFixed64(b + 40, centralDirSize);
    EncodeFixed64(b + 48, offsetStartDir);
}

void TCVZip64CentralDirEnd::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    centralDirEndSize = DecodeFixed64(b + 4);
    versionMadeBy = DecodeFixed16(b + 12);
    versionNeededToExtract = DecodeFixed16(b + 14);
    diskNumber = DecodeFixed32(b + 16);
    startDiskNumber = DecodeFixed32(b + 20);
    entriesOnDisk = DecodeFixed64(b + 24);
    entriesCentralDir = DecodeFixed64(b + 32);
    centralDirSize = DecodeFixed64(b + 40);
    offsetStartDir = DecodeFixed64(b + 48);
}

void TCVZip64CentralDirEndLocator::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed32(b + 4, startDiskNumber);
    EncodeFixed64(b + 8, offsetStartDirEnd);
    EncodeFixed32(b + 16, totalNumberOfDisks);
}

void TCVZip64CentralDirEndLocator::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    startDiskNumber = DecodeFixed32(b + 4);
    offsetStartDirEnd = DecodeFixed64(b + 8);
    totalNumberOfDisks = DecodeFixed32(b + 16);
}

void TCVZipDataDescriptor::Encode(uint8_t* b) const {
    EncodeFixed32(b + 0, signature);
    EncodeFixed32(b + 4, crc32);
    EncodeFixed32(b + 8, compSize);
    EncodeFixed32(b + 12, unCompSize);
}

void TCVZipDataDescriptor::Decode(const uint8_t* b) {
    signature = DecodeFixed32(b + 0);
    crc32 = DecodeFixed32(b + 4);
    compSize = DecodeFixed32(b + 8);
    unCompSize = DecodeFixed32(b + 12);
}
