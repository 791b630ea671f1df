// Reading one entry: from its local header to the caller's stream, decompressed and checked against
// the central directory; and the three public methods that read one entry into memory.
#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/extract/CVInflater.h"
#include "engine/extract/CVNullStream.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVZipRecords.h"

namespace {

// Options.Recurse off for the duration of an in-memory read: a name given with wildcards then finds
// the first match in the folder that the name itself names.
class TRecurseOff {
public:
    explicit TRecurseOff(TCVOptions& options) : FOptions(options), FSaved(options.Recurse()) {
        options.SetRecurse(false);
    }
    ~TRecurseOff() { FOptions.SetRecurse(FSaved); }
    TRecurseOff(const TRecurseOff&) = delete;
    TRecurseOff& operator=(const TRecurseOff&) = delete;

private:
    TCVOptions& FOptions;
    bool FSaved;
};

}  // namespace

void TCVBaseArchiver::ExtractItem(int32_t ItemNo, platform::Stream& Stream, int32_t Count, int64_t StartPosition) {
    TCVDirArray& dir = FDMHandle->CDir;
    if (ItemNo < 0 || ItemNo >= dir.Count()) throw ECVException(neItemIndex, this);
    // A single-file archive is its own volume: only open it when nothing is open yet.
    if (FCompressedStream == nullptr) OpenVolumeFile(FFileName);

    // A copy: the event handlers that run while the entry is read must not leave us a dangling item.
    TDirItem item = dir.GetItem(ItemNo);
    const int64_t offset = ItemLocalHeaderOffset(item);
    bool ok = false;
    // An offset at or past the end names no entry, and one near the top of 64 bits cannot even be
    // sought to: either way the entry is damaged, which the batch reports for this entry alone.
    if (offset >= 0 && offset < FCompressedStream->Size()) {
        FCompressedStream->SetPosition(offset);
        ok = DecompressItem(*FCompressedStream, Stream, item, Count, StartPosition);
    }
    if (!ok && !FProgressCancel && !FExtractCorruptedFiles && !FSkipFile) throw ECVException(neDamagedItem, this);
}

bool TCVBaseArchiver::DecompressItem(platform::Stream& ArchiveStream, platform::Stream& OutStream, TDirItem& Item,
                                     int32_t Count, int64_t StartPosition) {
    // Of the local header only the lengths in front of the data count; sizes and CRC come from the
    // central directory. A header cut off by the end of the file, or lengths that point past it, make
    // the entry damaged.
    uint8_t raw[TCVZipLocalHeader::RecordSize];
    if (ArchiveStream.ReadFully(raw, sizeof raw) < sizeof raw) return false;
    TCVZipLocalHeader local;
    local.Decode(raw);
    const int64_t dataStart = ArchiveStream.Position() + local.nameLength + local.extraLength;
    if (dataStart > ArchiveStream.Size()) return false;
    ArchiveStream.SetPosition(dataStart);

    const TCVZipCentralDir& cd = Item.CentralDir;
    TCVInflateJob job;
    job.Method = Item.CompressionMethod;
    job.BytesToRead = ItemCompressedSize(Item);
    job.ExpectedLength = ItemUncompressedSize(Item);
    job.ExpectedCrc = cd.crc32;
    job.Count = Count;
    job.StartPosition = StartPosition;
    if (job.BytesToRead < 0 || job.ExpectedLength < 0) return false;
    // On a single volume the entry's data cannot run into the central directory: a damaged size
    // would otherwise read directory bytes as data.
    if (FSpanningMode == smNone && job.BytesToRead > FDMHandle->CentralDirOffset - dataStart)
        job.BytesToRead = std::max<int64_t>(FDMHandle->CentralDirOffset - dataStart, 0);

    int64_t rangeEnd = 0;
    if (__builtin_add_overflow(StartPosition, static_cast<int64_t>(Count), &rangeEnd)) rangeEnd = INT64_MAX;
    FProgressMax = rangeEnd != 0 ? rangeEnd : job.ExpectedLength;
    if (FProgressMax == 0) FProgressMax = 2;

    FSkipFile = false;
    if (Item.CompressionMethod == CVMethodDeflate64) throw ECVException(neDeflate64, nullptr);
    if (Item.CompressionMethod != CVMethodStored && Item.CompressionMethod != CVMethodDeflated) return false;
    // The encryption schemes are not part of this engine: decompressing the encrypted bytes would
    // only produce noise, so the entry is refused with a message that says why.
    if (cd.genPurposeFlag & CVFlagEncrypted) throw ECVException(neEncryptedItem, this);

    TCVInflater inflater(ArchiveStream, OutStream);
    inflater.SetWriter([this](platform::Stream& out, const uint8_t* data, size_t count) {
        return WriteToStream(out, data, static_cast<int64_t>(count));
    });
    inflater.SetProgress([this, &Item](int64_t progress) {
        FProgress = progress;
        if (FProgressEnabled) {
            const double fileShare = static_cast<double>(FProgress) / static_cast<double>(FProgressMax);
            DoFileProgress(Item.Name, fileShare * 100.0, Item.Operation, ppProcess, FProgressCancel);
            if (FProgressCancel) return false;
            const double files = FProcessedFileCount > 0 ? FProcessedFileCount : 1;
            DoOverallProgress((fileShare + FProcessedFileNo) / files * 100.0, Item.Operation, ppProcess,
                              FProgressCancel);
        }
        return !FProgressCancel;
    });
    const TCVInflateOutcome outcome = inflater.Run(job);

    if (outcome.Damaged) return false;
    if (Count == 0 && outcome.Produced != job.ExpectedLength) return false;
    if (FSkipFile || Count != 0) return true;
    return outcome.Crc == job.ExpectedCrc;
}

void TCVBaseArchiver::ExtractToStream(const std::u16string& FileName, platform::Stream* Stream) {
    CheckActive();
    CheckNotInUpdate();
    if (Stream == nullptr) throw ECVException(neNilPointer, this);
    FProgressEnabled = true;
    // A cancel or skip left over from an earlier operation would end this read at once and hide a
    // damaged entry: each read starts clean.
    FProgressCancel = false;
    FSkipFile = false;
    TRecurseOff recurseOff(FOptions);
    FProcessedFileNo = 0;
    DoOverallProgress(0, poExtract, ppStart, FProgressCancel);
    int32_t itemNo = -1;
    if (!FindItemIndex(FileName, itemNo)) throw ECVException(neItemNotFound, {FileName}, this);
    FProcessedFileCount = 1;
    ExtractItem(itemNo, *Stream, 0, 0);
    const std::u16string name = FDMHandle->CDir.GetItemPtr(itemNo).Name;
    DoFileProgress(name, 100, poExtract, ppEnd, FProgressCancel);
    DoOverallProgress(100, poExtract, ppEnd, FProgressCancel);
}

void TCVBaseArchiver::ExtractToBuffer(const std::u16string& FileName, void* Buffer, int32_t Count,
                                      int64_t StartPosition) {
    CheckActive();
    CheckNotInUpdate();
    if (Buffer == nullptr && Count > 0) throw ECVException(neNilPointer, this);
    if (Count < 0 || StartPosition < 0)
        throw platform::StreamError(u"Invalid range: Count and StartPosition must not be negative");
    FProgressEnabled = false;
    FProgressCancel = false;
    FSkipFile = false;
    TRecurseOff recurseOff(FOptions);
    int32_t itemNo = -1;
    if (!FindItemIndex(FileName, itemNo)) throw ECVException(neItemNotFound, {FileName}, this);
    // With Count 0 the entry is only read and checked: nothing of it needs to be kept.
    if (Count == 0) {
        TNullStream sink;
        ExtractItem(itemNo, sink, 0, StartPosition);
        return;
    }
    platform::MemoryStream memory;
    ExtractItem(itemNo, memory, Count, StartPosition);
    if (StartPosition == 0) memory.SetPosition(0);
    memory.ReadBuffer(Buffer, static_cast<size_t>(Count));
}

void TCVBaseArchiver::ExtractToString(const std::u16string& FileName, std::string& Text) {
    CheckActive();
    CheckNotInUpdate();
    FProgressEnabled = false;
    FProgressCancel = false;
    FSkipFile = false;
    TRecurseOff recurseOff(FOptions);
    int32_t itemNo = -1;
    if (!FindItemIndex(FileName, itemNo)) throw ECVException(neItemNotFound, {FileName}, this);
    // Text of this engine's 8-bit strings is in the system's ANSI code page already: the entry's bytes
    // are the text as they stand.
    platform::StringStream text;
    ExtractItem(itemNo, text, 0, 0);
    Text = text.DataString();
}
