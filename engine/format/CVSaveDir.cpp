// Saving the central directory: the items in index order, the Zip64 end records when a count or an
// offset no longer fits the plain end record, the end record and the archive comment.

#include <algorithm>
#include <optional>
#include <stdexcept>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVStreamWindow.h"
#include "engine/util/CVCoding.h"
#include "platform/Platform.h"

namespace {

constexpr uint8_t UnixHost = 3;
constexpr size_t MaxFieldLength = 0xFFFF;   // every length in a header is 16 bits wide
constexpr size_t WriteBlock = 1 << 16;

}  // namespace

int64_t TCVDirManager::InPlaceTailStart(int64_t P) {
    // Where the old central directory began: for a plain tail, P minus the directory size the
    // manager last read or wrote. A Zip64 tail puts its record and locator between the directory
    // and P, so the directory ends where that record begins.
    const int64_t locatorSize = static_cast<int64_t>(TCVZip64CentralDirEndLocator::RecordSize);
    const int64_t recordSize = static_cast<int64_t>(TCVZip64CentralDirEnd::RecordSize);
    int64_t end = P;
    uint64_t dirSize = CentralDirEnd.centralDirSize;
    if (P >= locatorSize + recordSize) {
        uint8_t image[TCVZip64CentralDirEndLocator::RecordSize];
        FCompressedStream->SetPosition(P - locatorSize);
        FCompressedStream->ReadBuffer(image, sizeof image);
        TCVZip64CentralDirEndLocator locator;
        locator.Decode(image);
        if (locator.signature == CVZip64CentralDirEndLocatorSignature) {
            end = P - locatorSize - recordSize;
            // The locator's own offset is right unless the archive has since been moved behind a stub.
            const uint64_t recorded = locator.offsetStartDirEnd;
            if (recorded < static_cast<uint64_t>(end)) {
                uint8_t sig[4];
                FCompressedStream->SetPosition(static_cast<int64_t>(recorded));
                FCompressedStream->ReadBuffer(sig, sizeof sig);
                if (DecodeFixed32(sig) == CVZip64CentralDirEndSignature) end = static_cast<int64_t>(recorded);
            }
            if (dirSize == CVSentinel32) dirSize = Zip64CentralDirEnd.centralDirSize;
        }
    }
    if (dirSize == CVSentinel32) dirSize = Zip64CentralDirEnd.centralDirSize;
    if (dirSize > static_cast<uint64_t>(end)) return -1;
    const int64_t start = end - static_cast<int64_t>(dirSize);
    // Never cut in front of the directory as last read or written: a size taken from a damaged end
    // record (one the loader had to rebuild around) would otherwise cut away entry data.
    return start < CentralDirOffset ? -1 : start;
}

namespace {

// What one central header needs beyond the item itself, worked out before anything is written.
struct TPreparedItem {
    std::string Name;     // the header bytes of the name
    uint16_t Flags = 0;   // genPurposeFlag with bit 11 as the name's encoding needs it
    std::optional<TCVExtraFieldDataBlock> Zip64;
    size_t ExtraLength = 0;
};

// Refuses whatever the 16-bit length fields cannot hold before the stream is touched, so a refusal
// leaves the archive as it was: a length that wrapped would corrupt every record behind it.
std::vector<TPreparedItem> PrepareItems(const TCVDirArray& Dir, const std::string& ArchiveComment, bool OemNames,
                                        const TComponent* Component) {
    if (ArchiveComment.size() > MaxFieldLength)
        throw platform::Exception(u"The archive comment is longer than 65535 bytes");
    std::vector<TPreparedItem> prepared(static_cast<size_t>(Dir.Count()));
    for (int32_t i = 0; i < Dir.Count(); ++i) {
        const TDirItem& item = Dir.GetItemPtr(i);
        TPreparedItem& p = prepared[static_cast<size_t>(i)];
        p.Flags = item.CentralDir.genPurposeFlag;
        p.Name = EncodeStoredName(item.Name, p.Flags, OemNames, Component);
        // A Zip64 field read from an archive is never copied: it is made again from the values.
        p.Zip64 = MakeZip64CentralField(item.CentralDir, item.Zip64ExtInfo);
        p.ExtraLength = p.Zip64 ? CVExtraHeaderSize + p.Zip64->data.size() : 0;
        for (const TCVExtraFieldDataBlock& block : item.ExtraFields) {
            if (block.dataSize != block.data.size())
                throw std::logic_error("extra field dataSize does not match its data");
            if (block.headerID != CVZip64ExtraID) p.ExtraLength += CVExtraHeaderSize + block.data.size();
        }
        if (p.ExtraLength > MaxFieldLength || item.Comment.size() > MaxFieldLength)
            throw platform::Exception(u"The extra fields or the comment of \"" + item.Name +
                                      u"\" are longer than 65535 bytes");
    }
    return prepared;
}

// The central headers in index order. The lengths and bit 11 written are stored back into the items,
// so the directory in memory describes the file.
void WriteItems(platform::Stream& Stream, TCVDirArray& Dir, const std::vector<TPreparedItem>& Prepared,
                const TComponent* Component) {
    std::vector<uint8_t> out;
    out.reserve(WriteBlock + 3 * MaxFieldLength + TCVZipCentralDir::RecordSize);
    auto flush = [&](bool all) {
        if (out.empty() || (!all && out.size() < WriteBlock)) return;
        if (Stream.Write(out.data(), out.size()) != out.size()) throw ECVException(neShortWrite, Component);
        out.clear();
    };
    for (int32_t i = 0; i < Dir.Count(); ++i) {
        TDirItem& item = Dir.GetItemPtr(i);
        const TPreparedItem& p = Prepared[static_cast<size_t>(i)];
        TCVZipCentralDir& header = item.CentralDir;
        // An entry that says its attributes are Unix ones must carry a mode, or readers see mode 0.
        if ((header.versionMadeBy >> 8) == UnixHost) header.externalAttr = CompleteUnixMode(header.externalAttr);
        header.genPurposeFlag = p.Flags;
        header.nameLength = static_cast<uint16_t>(p.Name.size());
        header.extraLength = static_cast<uint16_t>(p.ExtraLength);
        header.commentLength = static_cast<uint16_t>(item.Comment.size());

        const size_t at = out.size();
        out.resize(at + TCVZipCentralDir::RecordSize);
        header.Encode(out.data() + at);
        out.insert(out.end(), p.Name.begin(), p.Name.end());
        if (p.Zip64) AppendExtraField(out, *p.Zip64);
        for (const TCVExtraFieldDataBlock& block : item.ExtraFields)
            if (block.headerID != CVZip64ExtraID) AppendExtraField(out, block);
        out.insert(out.end(), item.Comment.begin(), item.Comment.end());
        flush(false);
    }
    flush(true);
}

}  // namespace

void TCVDirManager::SaveDir(bool RecreateCDirEnd, platform::Stream* Stream) {
    if (Stream) SetStream(Stream);
    FWindow.reset();
    FDescriptorWindow.reset();
    const bool oemNames = FArc ? FArc->DirOEMFileNames() : true;
    const std::vector<TPreparedItem> prepared = PrepareItems(CDir, ArchiveComment, oemNames, Component());

    // The end-record search reloads the comment from the file: keep the one to be written.
    const std::string comment = ArchiveComment;
    int64_t start = -1;
    if (!RecreateCDirEnd) {
        TCVZipCentralDirEnd found;
        int64_t P;
        if (FindCentralDirEnd(found, P)) start = InPlaceTailStart(P);
    }
    ArchiveComment = comment;
    if (start < 0) start = FCompressedStream->Size();

    FCompressedStream->SetSize(start);
    FCompressedStream->SetPosition(start);
    const int64_t S = start;
    CentralDirOffset = S;
    const int32_t volume = std::max<int32_t>(FArc ? FArc->DirVolumeNumber() : 0, 0);
    const uint16_t volume16 = volume >= CVSentinel16 ? CVSentinel16 : static_cast<uint16_t>(volume);
    CentralDirEnd.startDiskNumber = volume16;

    WriteItems(*FCompressedStream, CDir, prepared, Component());

    const int64_t E = FCompressedStream->Position();
    const int64_t dirSize = E - S;
    const auto count = static_cast<uint64_t>(CDir.Count());
    CentralDirEnd.signature = CVCentralDirEndSignature;
    CentralDirEnd.entriesOnDisk = count >= CVSentinel16 ? CVSentinel16 : static_cast<uint16_t>(count);
    CentralDirEnd.entriesCentralDir = CentralDirEnd.entriesOnDisk;
    CentralDirEnd.centralDirSize =
        dirSize >= static_cast<int64_t>(CVSentinel32) ? CVSentinel32 : static_cast<uint32_t>(dirSize);
    CentralDirEnd.offsetStartDir = S >= static_cast<int64_t>(CVSentinel32) ? CVSentinel32 : static_cast<uint32_t>(S);
    CentralDirEnd.commentLength = static_cast<uint16_t>(ArchiveComment.size());
    CentralDirEnd.diskNumber = volume16;

    if (E >= static_cast<int64_t>(CVSentinel32) || count >= CVSentinel16) {
        Zip64CentralDirEndLocator.offsetStartDirEnd = static_cast<uint64_t>(E);
        Zip64CentralDirEnd = TCVZip64CentralDirEnd{};
        Zip64CentralDirEnd.signature = CVZip64CentralDirEndSignature;
        Zip64CentralDirEnd.centralDirEndSize = TCVZip64CentralDirEnd::RemainingSize;
        Zip64CentralDirEnd.versionMadeBy = CVVersionZip64Record;
        Zip64CentralDirEnd.versionNeededToExtract = CVVersionZip64Record;
        Zip64CentralDirEnd.diskNumber = static_cast<uint32_t>(volume);
        Zip64CentralDirEnd.startDiskNumber = static_cast<uint32_t>(volume);
        Zip64CentralDirEnd.entriesOnDisk = count;
        Zip64CentralDirEnd.entriesCentralDir = count;
        Zip64CentralDirEnd.centralDirSize = static_cast<uint64_t>(dirSize);
        Zip64CentralDirEnd.offsetStartDir = static_cast<uint64_t>(S);
        uint8_t record[TCVZip64CentralDirEnd::RecordSize];
        Zip64CentralDirEnd.Encode(record);
        FCompressedStream->WriteBuffer(record, sizeof record);

        Zip64CentralDirEndLocator.signature = CVZip64CentralDirEndLocatorSignature;
        Zip64CentralDirEndLocator.startDiskNumber = static_cast<uint32_t>(volume);
        Zip64CentralDirEndLocator.totalNumberOfDisks = static_cast<uint32_t>(volume) + 1;
        uint8_t locator[TCVZip64CentralDirEndLocator::RecordSize];
        Zip64CentralDirEndLocator.Encode(locator);
        FCompressedStream->WriteBuffer(locator, sizeof locator);
    }

    uint8_t end[TCVZipCentralDirEnd::RecordSize];
    CentralDirEnd.Encode(end);
    FCompressedStream->WriteBuffer(end, sizeof end);
    if (!ArchiveComment.empty()) FCompressedStream->WriteBuffer(ArchiveComment.data(), ArchiveComment.size());
}

bool TCVDirManager::IsSFXArchive() const {
    // The 64-bit offset when the field holds the sentinel: an archive that keeps every offset in its
    // Zip64 fields has no stub for holding 0xFFFFFFFF there.
    return CDir.Count() > 0 && ItemLocalHeaderOffset(CDir.GetItemPtr(0)) != 0;
}

void TCVDirManager::MergeWith(TCVDirManager& DMHandleToAdd) {
    CDir.ClearTags();
    CDir.Append(DMHandleToAdd.CDir);
    for (int32_t i = 0; i < CDir.Count(); ++i) {
        TDirItem& item = CDir.GetItemPtr(i);
        if (!item.Tagged) continue;
        item.Tagged = false;
        const bool wasHuge = item.CentralDir.relOffsetLH == CVSentinel32;
        const int64_t offset = ItemLocalHeaderOffset(item) + CentralDirOffset;
        if (wasHuge || offset >= static_cast<int64_t>(CVSentinel32)) {
            item.bHugeFile = true;
            item.CentralDir.relOffsetLH = CVSentinel32;
            item.Zip64ExtInfo.relOffsetLH = offset;
        } else {
            item.CentralDir.relOffsetLH = static_cast<uint32_t>(offset);
        }
    }
}
