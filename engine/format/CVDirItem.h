// One archive entry in memory: its central header image, its names and extra fields, its 64-bit values
// and what the next commit must do with it.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/format/CVExtraFields.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVTypes.h"

namespace platform {
class Stream;
}

struct TDirItem {
    TCVZipCentralDir CentralDir{};       // the 46-byte central header
    std::u16string Name;                 // stored name: "/" separators, a folder ends in "/"
    std::u16string OldName;              // the name on disk before a pending rename
    std::string Comment;                 // entry comment (its length is CentralDir.commentLength)
    std::vector<TCVExtraFieldDataBlock> ExtraFields;   // in disk order
    TCVCryptoAlgorithm CVEncryptionAlgorithm = caPkzipClassic;
    bool bHugeFile = false;              // the entry uses Zip64 values
    TCVZip64ExtendedInfo Zip64ExtInfo{};
    bool Modified = false;               // new or changed: the next commit writes it
    std::string Password;
    // Source of an entry added from memory. Shared so that the roll-back copy of the directory never
    // holds a dangling stream; bDestroyStream says the item owns it (it is released with the item).
    std::shared_ptr<platform::Stream> Stream;
    bool bDestroyStream = false;
    int64_t Position = 0;                // start of the data in Stream
    bool Tagged = false;                 // selected by the running operation
    std::u16string SrcFileName;          // source file of a new entry
    uint16_t CompressionMethod = 0;      // effective method (compMethod, or the one in the AES field)
    uint8_t CompressionMode = 0;         // deflate level 0..9 used when the entry is written
    TCVProcessOperation Operation = poAdd;
    bool UseOldRijndael = false;
};

// A folder entry: the folder attribute, or a stored name ending in "/".
inline bool IsFolderItem(const TDirItem& Item) {
    return (Item.CentralDir.externalAttr & 0x10) != 0 || (!Item.Name.empty() && Item.Name.back() == u'/');
}

// An entry's sizes and local header offset: the 64-bit value when the 32-bit field holds the sentinel.
inline int64_t ItemLocalHeaderOffset(const TDirItem& Item) {
    return Item.CentralDir.relOffsetLH == CVSentinel32 ? Item.Zip64ExtInfo.relOffsetLH
                                                        : static_cast<int64_t>(Item.CentralDir.relOffsetLH);
}
// Records that the entry's local header now lies at Offset. An offset beyond 32 bits, or Zip64 (the
// entry keeps its offset among its Zip64 values whatever its size), puts the sentinel in the 32-bit
// field and the offset in the Zip64 values; the entry then uses Zip64 values.
inline void PlaceLocalHeader(TDirItem& Item, int64_t Offset, bool Zip64) {
    if (Offset >= static_cast<int64_t>(CVSentinel32) || Zip64) {
        Item.bHugeFile = true;
        Item.CentralDir.relOffsetLH = CVSentinel32;
        Item.Zip64ExtInfo.relOffsetLH = Offset;
    } else {
        Item.CentralDir.relOffsetLH = static_cast<uint32_t>(Offset);
    }
}
inline int64_t ItemCompressedSize(const TDirItem& Item) {
    return Item.CentralDir.compSize == CVSentinel32 ? Item.Zip64ExtInfo.compSize
                                                     : static_cast<int64_t>(Item.CentralDir.compSize);
}
inline int64_t ItemUncompressedSize(const TDirItem& Item) {
    return Item.CentralDir.unCompSize == CVSentinel32 ? Item.Zip64ExtInfo.uncompSize
                                                       : static_cast<int64_t>(Item.CentralDir.unCompSize);
}
