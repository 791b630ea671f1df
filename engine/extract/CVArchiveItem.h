// The caller's record of a FindFirst / FindNext search over the open archive's entries.
#pragma once

#include <cstdint>
#include <string>

// The search state; the caller does not interpret it.
struct TInternalSearchRec {
    int32_t ItemNo = 0;               // where the next scan starts; after a hit, the hit's index
    char16_t CFindMask[260] = {};     // the converted mask of a mask search (at most 259 characters)
    bool FWildCards = false;          // the mask holds "*" or "?"
    int32_t FFindAttr = 0;            // attribute filter
    std::u16string ExclusionMask;     // as the caller gave it
    bool UseProperties = false;       // test names against FileMasks / ExclusionMasks
};

struct TCVArchiveItem {
    std::u16string FileName;          // name part ("docs/sub/" gives "sub")
    std::u16string StoredPath;        // folder part with the trailing separator ("docs\")
    int64_t CompressedSize = 0;
    int64_t UncompressedSize = 0;
    double CompressionRate = 0;       // percent saved; 100 for an empty entry, never negative
    bool Encrypted = false;
    uint16_t LastModFileDate = 0;     // MS-DOS date
    uint16_t LastModFileTime = 0;     // MS-DOS time
    int32_t CRC = 0;
    uint32_t ExternalFileAttributes = 0;
    std::string Comment;
    TInternalSearchRec Handle;
};
