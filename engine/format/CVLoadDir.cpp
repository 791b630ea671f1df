// Loading the central directory: the end record is found by a backward search from the end of the
// stream, so an archive behind arbitrary leading bytes (a self-extracting stub) is found like any
// other; the leading bytes are then measured and, when the stored offsets count from the archive's
// own start, the offsets are shifted by them.
//
// Every count and length read from the archive is checked against the bytes that can hold it before
// anything is sized by it, and every scan reads each byte of the stream about once.

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

#include "engine/base/CVExcept.h"
#include "engine/util/CVCoding.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVStreamWindow.h"
#include "engine/format/CVStreamPosition.h"
#include "platform/Platform.h"

namespace {

// An end record with the longest comment (22 + 65535 bytes) lies wholly in the stream's last 65600.
constexpr int64_t EndSearchSpan = 65600;

// The loader's own failures carry no component name.
[[noreturn]] void Damaged() { throw ECVException(neDamagedArchive, nullptr); }

// The digital signature that may close a central directory, inside its recorded size.
constexpr uint32_t CentralDirSignatureRecord = 0x05054B50;

}  // namespace

// ---------------------------------------------------------------------------------------------------
// The end records

bool TCVDirManager::IsPlausibleCentralDirEnd(const TCVZipCentralDirEnd& Rec, int64_t C, int64_t StreamSize) {
    const int64_t Q = C + static_cast<int64_t>(TCVZipCentralDirEnd::RecordSize);
    if (Q > StreamSize) return false;
    if (Rec.startDiskNumber > Rec.diskNumber) return false;
    if (Rec.entriesOnDisk > Rec.entriesCentralDir) return false;
    if (Rec.centralDirSize != CVSentinel32 && Rec.centralDirSize >= Q) return false;
    if (!(Rec.startDiskNumber < Rec.diskNumber || Rec.offsetStartDir == CVSentinel32 ||
          static_cast<int64_t>(Rec.offsetStartDir) < Q - static_cast<int64_t>(Rec.centralDirSize)))
        return false;
    return Rec.commentLength <= StreamSize - Q;
}

bool TCVDirManager::ValidateCentralDirEnd(int64_t C, TCVZipCentralDirEnd& Rec) {
    TCVStreamPosition keep(*FCompressedStream);
    const int64_t size = FCompressedStream->Size();
    uint8_t image[TCVZipCentralDirEnd::RecordSize] = {};
    if (C >= 0 && C < size) {
        FCompressedStream->SetPosition(C);
        const auto n = static_cast<size_t>(std::min<int64_t>(sizeof image, size - C));
        FCompressedStream->ReadBuffer(image, n);
    }
    Rec.Decode(image);
    return C >= 0 && IsPlausibleCentralDirEnd(Rec, C, size);
}

bool TCVDirManager::FindCentralDirEnd(TCVZipCentralDirEnd& Rec, int64_t& P) {
    TCVStreamPosition keep(*FCompressedStream);
    P = -1;
    ArchiveComment.clear();
    Rec = TCVZipCentralDirEnd{};
    const int64_t size = FCompressedStream->Size();
    const int64_t W = std::min(size, EndSearchSpan);
    if (W < 4) return false;
    std::vector<uint8_t> tail(static_cast<size_t>(W));
    FCompressedStream->SetPosition(size - W);
    FCompressedStream->ReadBuffer(tail.data(), tail.size());

    // The candidates are judged from the block already read; the one nearest to the end wins.
    const auto EndSize = static_cast<int64_t>(TCVZipCentralDirEnd::RecordSize);
    for (int64_t i = W - 1; i >= 3; --i) {
        const uint8_t* sig = &tail[static_cast<size_t>(i - 3)];
        if (sig[0] != 0x50 || sig[1] != 0x4B || sig[2] != 0x05 || sig[3] != 0x06) continue;
        const int64_t C = size - W + (i - 3);
        uint8_t image[TCVZipCentralDirEnd::RecordSize] = {};
        std::memcpy(image, sig, static_cast<size_t>(std::min(EndSize, W - (i - 3))));
        Rec.Decode(image);
        if (!IsPlausibleCentralDirEnd(Rec, C, size)) continue;
        P = C;
        const size_t commentAt = static_cast<size_t>(i - 3 + EndSize);
        ArchiveComment.assign(reinterpret_cast<const char*>(tail.data()) + commentAt, Rec.commentLength);
        return true;
    }
    return false;
}

bool TCVDirManager::ReadZip64Locator(int64_t& P) {
    const auto size = static_cast<int64_t>(TCVZip64CentralDirEndLocator::RecordSize);
    if (P <= size) return false;
    TCVStreamPosition keep(*FCompressedStream);
    uint8_t image[TCVZip64CentralDirEndLocator::RecordSize];
    FCompressedStream->SetPosition(P - size);
    FCompressedStream->ReadBuffer(image, sizeof image);
    Zip64CentralDirEndLocator.Decode(image);
    if (Zip64CentralDirEndLocator.signature != CVZip64CentralDirEndLocatorSignature) return false;
    P -= size;
    return true;
}

bool TCVDirManager::ReadZip64CentralDirEnd(int64_t& P) {
    const auto size = static_cast<int64_t>(TCVZip64CentralDirEnd::RecordSize);
    if (P <= size) return false;
    const int64_t streamSize = FCompressedStream->Size();
    TCVStreamPosition keep(*FCompressedStream);
    const auto readRecordAt = [&](uint64_t at) {
        if (at > static_cast<uint64_t>(streamSize - size)) return false;
        uint8_t image[TCVZip64CentralDirEnd::RecordSize];
        FCompressedStream->SetPosition(static_cast<int64_t>(at));
        FCompressedStream->ReadBuffer(image, sizeof image);
        Zip64CentralDirEnd.Decode(image);
        return Zip64CentralDirEnd.signature == CVZip64CentralDirEndSignature;
    };
    const uint64_t at = Zip64CentralDirEndLocator.offsetStartDirEnd;
    if (!readRecordAt(at)) {
        // An archive put behind a stub keeps a locator that counts from the archive's own start. A
        // record of the plain 56 bytes right in front of the locator is the one it means: taking it
        // lets a self-extracting file of 65535 entries or more be read (and its offsets corrected).
        const uint64_t inFront = static_cast<uint64_t>(P - size);
        if (inFront == at || !readRecordAt(inFront) ||
            Zip64CentralDirEnd.centralDirEndSize != TCVZip64CentralDirEnd::RemainingSize)
            return false;
        P -= size;
        return true;
    }
    // A record followed by an extensible data sector is longer than 56 bytes: when the record's own
    // size says it ends right at the locator, it starts where the locator says.
    const uint64_t rest = Zip64CentralDirEnd.centralDirEndSize;
    if (rest > TCVZip64CentralDirEnd::RemainingSize && rest < static_cast<uint64_t>(P) - 12 &&
        at == static_cast<uint64_t>(P) - 12 - rest)
        P = static_cast<int64_t>(at);
    else
        P -= size;
    return true;
}

bool TCVDirManager::HasCentralDirEnd() {
    int64_t P;
    const bool found = FindCentralDirEnd(CentralDirEnd, P);
    return found || (FArc && FArc->DirOpenCorruptedArchives());
}

// ---------------------------------------------------------------------------------------------------
// The central headers

void TCVDirManager::ReadExtraFields(TDirItem& Item, const uint8_t* Area, size_t Length) {
    Item.ExtraFields = ParseExtraFields(Area, Length);
    Item.bHugeFile = false;
    for (const TCVExtraFieldDataBlock& block : Item.ExtraFields) {
        if (block.headerID == CVZip64ExtraID) {
            // Takes only the values the field wholly holds; the field is rebuilt when saved.
            ReadZip64ExtendedInfo(Item.CentralDir, block, Item.Zip64ExtInfo);
            Item.bHugeFile = true;
        } else if (block.headerID == CVAesExtraID) {
            TCVAesExtraInfo aes;
            if (!aes.FromBlock(block)) continue;
            if (aes.strength == CVAesStrength128) Item.CVEncryptionAlgorithm = caAES_128;
            if (aes.strength == CVAesStrength192) Item.CVEncryptionAlgorithm = caAES_192;
            if (aes.strength == CVAesStrength256) Item.CVEncryptionAlgorithm = caAES_256;
            Item.CompressionMethod = aes.compMethod;
        }
    }
}

void TCVDirManager::LoadCentralHeaders(int64_t Start, int64_t End, uint64_t Count) {
    // Each header takes 46 bytes at least: a count the directory's bytes cannot hold is a damaged
    // archive, never an allocation.
    const uint64_t room = static_cast<uint64_t>(End - Start) / TCVZipCentralDir::RecordSize;
    if (Count > room || Count > static_cast<uint64_t>(INT32_MAX)) Damaged();
    CentralDirOffset = Start;
    const auto total = static_cast<int32_t>(Count);

    TCVStreamWindow& window = Window();
    int64_t pos = Start;
    // The bytes of one header part; a part running past the directory is damage.
    static const uint8_t nothing = 0;
    auto take = [&](size_t n) -> const uint8_t* {
        if (n == 0) return &nothing;
        if (End - pos < static_cast<int64_t>(n)) Damaged();
        const uint8_t* bytes = window.At(pos, n);
        if (!bytes) throw platform::StreamError(u"Stream read error");
        pos += static_cast<int64_t>(n);
        return bytes;
    };
    const bool oemNames = FArc ? FArc->DirOEMFileNames() : true;
    // Items take several times the bytes of their headers: the array grows with the headers actually
    // read, doubling, rather than to the count at once, so a count the bytes only seem to hold costs
    // memory in proportion to the headers that turn out to be there.
    constexpr int32_t FirstBatch = 1024;
    for (int32_t i = 0; i < total; ++i) {
        if (i == CDir.Count())
            CDir.SetCount(static_cast<int32_t>(std::min<int64_t>(total, std::max<int64_t>(FirstBatch, 2 * int64_t{i}))));
        TDirItem& item = CDir.GetItemPtr(i);
        TCVZipCentralDir& header = item.CentralDir;
        header.Decode(take(TCVZipCentralDir::RecordSize));
        if (header.signature != CVCentralDirSignature) Damaged();
        if (header.genPurposeFlag & CVFlagEncrypted) item.CVEncryptionAlgorithm = caPkzipClassic;
        item.CompressionMethod = header.compMethod;

        const uint8_t* nameBytes = take(header.nameLength);
        const std::string rawName(reinterpret_cast<const char*>(nameBytes), header.nameLength);
        const uint8_t* extra = take(header.extraLength);
        ReadExtraFields(item, extra, header.extraLength);
        const uint8_t* comment = take(header.commentLength);
        item.Comment.assign(reinterpret_cast<const char*>(comment), header.commentLength);

        CDir.SetItemName(i, DecodeStoredName(rawName, header.genPurposeFlag, oemNames, item.ExtraFields));
    }
    // Headers left over behind the counted ones mean the end record's count is wrong, and entries
    // would go missing without a word. Only a closing digital signature may follow the last header.
    if (pos != End) {
        const uint8_t* rest = End - pos >= 4 ? window.At(pos, 4) : nullptr;
        if (!rest || DecodeFixed32(rest) != CentralDirSignatureRecord) Damaged();
    }
}

bool TCVDirManager::SpansVolumes() const {
    // A 0xFFFF defers to the Zip64 records; any volume but the first means a split or spanned archive.
    if (CentralDirEnd.diskNumber != 0 && CentralDirEnd.diskNumber != CVSentinel16) return true;
    if (CentralDirEnd.startDiskNumber != 0 && CentralDirEnd.startDiskNumber != CVSentinel16) return true;
    if (!FZip64) return false;
    return Zip64CentralDirEnd.diskNumber != 0 || Zip64CentralDirEnd.startDiskNumber != 0 ||
           Zip64CentralDirEndLocator.startDiskNumber != 0 || Zip64CentralDirEndLocator.totalNumberOfDisks > 1;
}

void TCVDirManager::LoadDir() {
    struct DropWindows {
        TCVDirManager& m;
        ~DropWindows() { m.FWindow.reset(); m.FDescriptorWindow.reset(); }
    } drop{*this};
    FWindow.reset();
    ClearDir();
    StubSize = 0;
    Rebuilt = false;

    TCVZipCentralDirEnd found;
    int64_t P;
    if (!FindCentralDirEnd(found, P)) {
        RebuildDir();
        return;
    }
    CentralDirEnd = found;
    FZip64 = ReadZip64Locator(P);
    if (FZip64 && !ReadZip64CentralDirEnd(P)) throw ECVException(neZip64EndMissing, nullptr);
    if (!FZip64 && CentralDirEnd.entriesCentralDir == CVSentinel16) {
        RebuildDir();
        return;
    }

    // Volumes are never switched to: reading a piece of a split archive as if it were whole would
    // only give every entry as damaged.
    if (SpansVolumes() && !MultiVolume()) throw ECVException(neMultiVolume, nullptr);

    uint32_t lastVolume = CentralDirEnd.diskNumber;
    if (lastVolume == CVSentinel16)
        lastVolume = FZip64 ? Zip64CentralDirEndLocator.totalNumberOfDisks - 1 : 0;

    const bool openCorrupted = FArc && FArc->DirOpenCorruptedArchives();
    try {
        const uint64_t dirSize = FZip64 ? Zip64CentralDirEnd.centralDirSize : CentralDirEnd.centralDirSize;
        const uint64_t count = FZip64 ? Zip64CentralDirEnd.entriesCentralDir : CentralDirEnd.entriesCentralDir;
        int64_t start;
        int64_t end = P;
        if (MultiVolume()) {
            // Volumes are not switched here: the directory is read where the record says it starts.
            const uint64_t recorded = FZip64 ? Zip64CentralDirEnd.offsetStartDir : CentralDirEnd.offsetStartDir;
            const int64_t size = FCompressedStream->Size();
            if (recorded > static_cast<uint64_t>(size)) Damaged();
            start = static_cast<int64_t>(recorded);
            end = start + static_cast<int64_t>(std::min<uint64_t>(dirSize, static_cast<uint64_t>(size - start)));
        } else {
            // The directory ends where the end records begin; its recorded offset is not used, which
            // is what lets an archive behind a stub be read whatever its offsets count from.
            if (dirSize > static_cast<uint64_t>(P)) Damaged();
            start = P - static_cast<int64_t>(dirSize);
        }
        // Every entry of a single volume is on it: counts that differ are a damaged directory.
        const uint64_t onDisk = FZip64 ? Zip64CentralDirEnd.entriesOnDisk : CentralDirEnd.entriesOnDisk;
        if (!MultiVolume() && onDisk != count) Damaged();
        LoadCentralHeaders(start, end, count);
    } catch (const platform::Exception&) {
        // ECVException is a platform::Exception too.
        if (!openCorrupted) throw;
        RebuildDir();
        return;
    }

    if (!openCorrupted && !MultiVolume()) CheckCompressedSizes();
    if (lastVolume == 0) DetectStubSize(P);
    if (!CheckOffsetsAbsolute()) ApplyStubOffset();
    // Not subject to OpenCorruptedArchives: a rebuild from the local headers would bring the shared
    // data back.
    CheckOverlaps();
}

void TCVDirManager::CheckOverlaps() {
    // The least each entry with data takes: its fixed local header and its data (name and extra area
    // are not counted, as the local ones are not read here), so entries that meet here really share
    // bytes. Entries without data cannot expand to anything and are left out.
    std::vector<std::pair<int64_t, int64_t>> spans;
    spans.reserve(static_cast<size_t>(CDir.Count()));
    for (int32_t i = 0; i < CDir.Count(); ++i) {
        const TDirItem& item = CDir.GetItemPtr(i);
        const int64_t at = ItemLocalHeaderOffset(item);
        const int64_t compSize = ItemCompressedSize(item);
        if (at < 0 || compSize <= 0) continue;   // a negative one: reading the entry finds it damaged
        int64_t end = 0;
        if (__builtin_add_overflow(at, static_cast<int64_t>(TCVZipLocalHeader::RecordSize), &end) ||
            __builtin_add_overflow(end, compSize, &end))
            end = INT64_MAX;
        spans.emplace_back(at, end);
    }
    std::sort(spans.begin(), spans.end());
    for (size_t i = 1; i < spans.size(); ++i)
        if (spans[i].first < spans[i - 1].second) Damaged();
}

void TCVDirManager::CheckCompressedSizes() {
    const uint64_t size = static_cast<uint64_t>(FCompressedStream->Size());
    uint64_t total = 0;
    for (int32_t i = 0; i < CDir.Count(); ++i) {
        const TDirItem& item = CDir.GetItemPtr(i);
        const int64_t compSize = ItemCompressedSize(item);
        // A negative 64-bit size is as impossible as one beyond the stream.
        if (compSize < 0 || static_cast<uint64_t>(compSize) > size - total) throw ECVException(neDamagedArchive, nullptr);
        total += static_cast<uint64_t>(compSize);
    }
}

// ---------------------------------------------------------------------------------------------------
// The stub in front of the archive

bool TCVDirManager::FindSignature(int64_t& X, uint32_t Sig) {
    TCVStreamPosition keep(*FCompressedStream);
    const int64_t at = Window().Find(X, Sig);
    if (at < 0) return false;
    X = at;
    return true;
}

bool TCVDirManager::LocalHeaderMatches(int64_t X, const TCVZipCentralDir& Ref) {
    const uint8_t* image = Window().At(X, TCVZipLocalHeader::RecordSize);
    if (!image) return false;
    TCVZipLocalHeader local;
    local.Decode(image);
    if (local.signature != CVLocalHeaderSignature) return false;
    const int64_t nameEnd = X + static_cast<int64_t>(TCVZipLocalHeader::RecordSize) + local.nameLength;
    if (nameEnd > Window().StreamSize()) return false;
    if (local.extractVersion != Ref.extractVersion || local.compMethod != Ref.compMethod ||
        local.lastModTime != Ref.lastModTime || local.lastModDate != Ref.lastModDate)
        return false;
    // Writers that stream their output put CRC and sizes in a data descriptor behind the data (flag
    // bit 3) and zeros here; a Zip64 entry may hold its sizes in the local Zip64 field only.
    if (local.genPurposeFlag & CVFlagDataDescriptor) return true;
    if (local.crc32 != Ref.crc32) return false;
    if (local.compSize != CVSentinel32 && local.compSize != Ref.compSize) return false;
    if (local.unCompSize != CVSentinel32 && local.unCompSize != Ref.unCompSize) return false;
    return true;
}

bool TCVDirManager::MatchLocalHeader(int64_t X, const TCVZipCentralDir& Ref) {
    TCVStreamPosition keep(*FCompressedStream);
    if (X != 0) return LocalHeaderMatches(X, Ref);
    const uint8_t* image = Window().At(0, TCVZipLocalHeader::RecordSize);
    if (!image) return false;
    TCVZipLocalHeader local;
    local.Decode(image);
    return local.signature == CVLocalHeaderSignature &&
           static_cast<int64_t>(TCVZipLocalHeader::RecordSize) + local.nameLength <= Window().StreamSize();
}

void TCVDirManager::DetectStubSize(int64_t P) {
    if (CDir.Count() == 0 || CentralDirEnd.entriesCentralDir == 0) {
        // An empty archive's end records start right after the stub.
        StubSize = P;
        return;
    }
    const TDirItem& first = CDir.GetItemPtr(0);
    int64_t X = std::max<int64_t>(ItemLocalHeaderOffset(first), 0);
    const int64_t size = Window().StreamSize();
    while (X < size) {
        if (!FindSignature(X, CVLocalHeaderSignature)) break;
        if (MatchLocalHeader(X, first.CentralDir)) {
            StubSize = X;
            return;
        }
        ++X;
    }
}

bool TCVDirManager::CheckOffsetsAbsolute() {
    // The first entry with data decides; an archive of folders and empty files only is decided by its
    // first entry, so that it too is readable once put behind a stub.
    int32_t decider = -1;
    for (int32_t i = 0; i < CDir.Count() && decider < 0; ++i)
        if (CDir.GetItemPtr(i).CentralDir.compSize != 0) decider = i;
    if (decider < 0 && CDir.Count() > 0) decider = 0;
    if (decider < 0) return true;
    const TDirItem& item = CDir.GetItemPtr(decider);
    const int64_t offset = ItemLocalHeaderOffset(item);
    // Folders and empty files in front of the first entry with data can take StubSize bytes or more of
    // headers, and then its offset alone cannot tell. When its local header is found at exactly one
    // of the two places, that settles it.
    if (StubSize > 0 && offset >= 0 && offset <= INT64_MAX - StubSize) {
        TCVStreamPosition keep(*FCompressedStream);
        const bool atStored = LocalHeaderMatches(offset, item.CentralDir);
        const bool atShifted = LocalHeaderMatches(offset + StubSize, item.CentralDir);
        if (atStored != atShifted) return atStored;
    }
    return offset >= StubSize;
}

void TCVDirManager::ApplyStubOffset() {
    // Folder entries move too: they have local headers like any entry, and other readers look there.
    for (int32_t i = 0; i < CDir.Count(); ++i) {
        TDirItem& item = CDir.GetItemPtr(i);
        TCVZipCentralDir& header = item.CentralDir;
        if (header.relOffsetLH == CVSentinel32) {
            // An offset the shift would carry past 64 bits points nowhere either way: it is left as it
            // stands, and reading that entry finds it damaged.
            int64_t shifted = 0;
            if (!__builtin_add_overflow(item.Zip64ExtInfo.relOffsetLH, StubSize, &shifted))
                item.Zip64ExtInfo.relOffsetLH = shifted;
            continue;
        }
        const int64_t shifted = static_cast<int64_t>(header.relOffsetLH) + StubSize;
        if (shifted >= static_cast<int64_t>(CVSentinel32)) {
            // Beyond what 32 bits can state: the offset moves into the Zip64 form.
            header.relOffsetLH = CVSentinel32;
            item.Zip64ExtInfo.relOffsetLH = shifted;
            item.bHugeFile = true;
        } else {
            header.relOffsetLH = static_cast<uint32_t>(shifted);
        }
    }
}
