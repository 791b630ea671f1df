// Rebuilding a directory that cannot be read, from the local headers: every local header signature
// in the stream that passes two plausibility tests becomes an item. Entry data is not skipped, so a
// signature inside compressed data can yield an item too; the offsets found are absolute positions.

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVStreamPosition.h"
#include "engine/format/CVStreamWindow.h"
#include "platform/Platform.h"

namespace {

// An extra area longer than this is taken as a sign that the "header" is not one.
constexpr uint16_t MaxPlausibleLocalExtra = 260;

}  // namespace

void TCVDirManager::RebuildDir() {
    CDir.Clear();
    CDir.SetCount(0);
    Rebuilt = true;
    if (MultiVolume()) throw ECVException(neOpenAborted, nullptr);
    ScanLocalHeaders();
    CentralDirOffset = FCompressedStream->Size();
}

int64_t TCVDirManager::FindLocalHeader(int64_t X) {
    TCVStreamPosition keep(*FCompressedStream);
    TCVStreamWindow& window = Window();
    const int64_t at = window.Find(X, CVLocalHeaderSignature);
    if (at < 0 || window.StreamSize() - at < static_cast<int64_t>(TCVZipLocalHeader::RecordSize)) return -1;
    return at;
}

bool TCVDirManager::FindDataDescriptor(int64_t X, TCVZipDataDescriptor& Descriptor) {
    TCVStreamPosition keep(*FCompressedStream);
    if (!FDescriptorWindow) {
        FDescriptorWindow = std::make_unique<TCVStreamWindow>(*FCompressedStream);
        FDescriptorFrom = -1;
    }
    // The searches come with growing X: while X has not passed the descriptor the last search found
    // (or, when it found none, from anywhere behind its start), the answer is the same. So the
    // stream is searched once however many entries ask.
    if (!(FDescriptorFrom >= 0 && X >= FDescriptorFrom && (FDescriptorAt < 0 || X <= FDescriptorAt))) {
        FDescriptorFrom = X;
        FDescriptorAt = FDescriptorWindow->Find(X, CVDataDescriptorSignature);
    }
    if (FDescriptorAt < 0) return false;
    const uint8_t* image = FDescriptorWindow->At(FDescriptorAt, TCVZipDataDescriptor::RecordSize);
    if (!image) return false;
    Descriptor.Decode(image);
    return true;
}

void TCVDirManager::ScanLocalHeaders() {
    TCVStreamPosition keep(*FCompressedStream);
    FDescriptorWindow.reset();
    int64_t X = FindLocalHeader(0);
    if (X < 0) throw ECVException(neInvalidArchive, nullptr);
    TCVStreamWindow& window = Window();
    const int64_t size = window.StreamSize();
    const bool oemNames = FArc ? FArc->DirOEMFileNames() : true;
    while (X >= 0) {
        TCVZipLocalHeader local;
        local.Decode(window.At(X, TCVZipLocalHeader::RecordSize));
        if (local.compSize < static_cast<uint64_t>(size) && local.extraLength <= MaxPlausibleLocalExtra) {
            TDirItem item;
            TCVZipCentralDir& header = item.CentralDir;
            header.signature = CVCentralDirSignature;
            header.versionMadeBy = local.extractVersion;
            header.extractVersion = local.extractVersion;
            header.genPurposeFlag = local.genPurposeFlag;
            header.compMethod = local.compMethod;
            item.CompressionMethod = local.compMethod;
            header.lastModTime = local.lastModTime;
            header.lastModDate = local.lastModDate;
            header.crc32 = local.crc32;
            header.compSize = local.compSize;
            header.unCompSize = local.unCompSize;
            header.nameLength = local.nameLength;
            header.extraLength = local.extraLength;
            const bool descriptor = (local.genPurposeFlag & CVFlagDataDescriptor) != 0;
            header.externalAttr = (local.unCompSize != 0 || descriptor) ? 0x20 : 0x10;
            // Offsets beyond 32 bits go into the Zip64 form rather than losing their high bits.
            const bool hugeOffset = X >= static_cast<int64_t>(CVSentinel32);
            header.relOffsetLH = hugeOffset ? CVSentinel32 : static_cast<uint32_t>(X);
            if (local.genPurposeFlag & CVFlagEncrypted) item.CVEncryptionAlgorithm = caPkzipClassic;

            const int64_t nameAt = X + static_cast<int64_t>(TCVZipLocalHeader::RecordSize);
            std::string rawName;
            if (const uint8_t* name = window.At(nameAt, local.nameLength))
                rawName.assign(reinterpret_cast<const char*>(name), local.nameLength);
            if (const uint8_t* extra = window.At(nameAt + local.nameLength, local.extraLength))
                ReadExtraFields(item, extra, local.extraLength);
            if (hugeOffset) {
                item.Zip64ExtInfo.relOffsetLH = X;
                item.bHugeFile = true;
            }
            // The same decoding as for central headers, so an entry keeps its name whichever way
            // the directory was read.
            item.Name = DecodeStoredName(rawName, local.genPurposeFlag, oemNames, item.ExtraFields);

            TCVZipDataDescriptor dd;
            if (descriptor && FindDataDescriptor(X, dd)) {
                header.crc32 = dd.crc32;
                header.compSize = dd.compSize;
                header.unCompSize = dd.unCompSize;
            }
            // SetItem indexes the name without looking it up, so entries without names (or with
            // equal names) are all kept.
            const int32_t n = CDir.Count();
            if (n == INT32_MAX) break;
            CDir.SetCount(n + 1);
            CDir.SetItem(n, item);
        }
        X = FindLocalHeader(X + 4);
    }
}
