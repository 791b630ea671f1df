// The per-item writer: one new or replaced entry of the directory becomes a local header, its name,
// its extra fields and its data at the archive's current position. The data part itself (reading the
// source, CRC-32, deflate blocks) is DeflateItem's; this unit places it in the archive and keeps the
// header and the directory item in step with it.
#include <memory>
#include <string>
#include <vector>

#include "engine/add/CVBlockDeflate.h"
#include "engine/add/CVDeflatePool.h"
#include "engine/add/CVDeflater.h"
#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The longest source path the system opens without help: the desktop system's 260 characters (more
// only behind its long-path prefix), PATH_MAX on POSIX.
constexpr size_t MaxSourcePath = NativePathStyle == psWindows ? 260 : 4096;
constexpr char16_t LongPathPrefix[] = u"\\\\?\\";

constexpr int64_t Limit32 = 0xFFFFFFFF;

// Deflate may make an entry slightly larger than its source (incompressible data, plus the sync-flush
// marker of every block). A source this close to the 32-bit limit may come out at or above it, and a
// local header that was written without the Zip64 field could then not state the compressed size;
// such a source gets the Zip64 field from the start when Zip64 is allowed at all.
bool MayOutgrow32(int64_t sourceSize, uint16_t method) {
    if (method != CVMethodDeflated) return false;
    return sourceSize + (sourceSize >> 11) + 65536 >= Limit32;
}

// The Unix file type bits of the mode the POSIX layer keeps in the high 16 bits of the attributes.
constexpr uint32_t UnixTypeMask = 0170000;
constexpr uint32_t UnixRegularFile = 0100000;

// The source of one entry while it is stored: an opened file or the item's own stream. A caller's
// stream gets its position back whichever way the writer leaves.
class TItemSource {
public:
    TItemSource() = default;
    ~TItemSource() { Release(); }
    TItemSource(const TItemSource&) = delete;
    TItemSource& operator=(const TItemSource&) = delete;

    void UseStream(std::shared_ptr<platform::Stream> stream, int64_t position) {
        FStream = std::move(stream);
        FSavedPosition = FStream->Position();
        FStream->SetPosition(position);
    }
    void UseFile(std::unique_ptr<platform::FileStream> file) { FFile = std::move(file); }

    platform::Stream* Get() const { return FFile ? FFile.get() : FStream.get(); }

    void Release() {
        FFile.reset();
        if (FStream) {
            try {
                FStream->SetPosition(FSavedPosition);
            } catch (...) {
                // A stream that cannot seek back has nothing more to lose; the entry is what counts.
            }
            FStream.reset();
        }
    }

private:
    std::unique_ptr<platform::FileStream> FFile;
    std::shared_ptr<platform::Stream> FStream;
    int64_t FSavedPosition = 0;
};

void RemoveExtraFields(TCVExtraFields& fields, uint16_t headerID) {
    std::erase_if(fields, [headerID](const TCVExtraFieldDataBlock& f) { return f.headerID == headerID; });
}

}  // namespace

bool TCVBaseArchiver::WriteToStream(platform::Stream& Stream, const void* Buffer, int64_t Count) {
    const int64_t position = Stream.Position();
    size_t written = Stream.Write(Buffer, static_cast<size_t>(Count));
    while (static_cast<int64_t>(written) < Count) {
        bool cancel = true;
        DoDiskFull(-1, FFileName, cancel);
        if (cancel) {
            FProgressCancel = true;
            return false;
        }
        Stream.SetPosition(position);
        written = Stream.Write(Buffer, static_cast<size_t>(Count));
    }
    return true;
}

void TCVBaseArchiver::StartDeflatePool(int32_t First) {
    FDeflatePool.reset();
    const unsigned threads = TCVDeflatePool::DefaultThreads();
    if (threads == 0) return;
    // Room for a few large blocks per core and their output; the workers wait for the writer beyond it.
    constexpr size_t Budget = 32 << 20;
    const TCVDirArray& cdir = FDMHandle->CDir;
    std::vector<TCVDeflatePool::TEntry> entries;
    for (int32_t i = std::max(First, 0); i < cdir.Count(); ++i) {
        const TDirItem& item = cdir.GetItemPtr(i);
        // Files only, as the writer will store them: streams, folders and encrypted items stay with it.
        if (!item.Modified || item.Operation == poRename || item.Operation == poChangeComment ||
            item.Operation == poChangeAttr || item.Stream || (item.CentralDir.externalAttr & platform::faDirectory) ||
            item.SrcFileName.empty() || !item.Password.empty())
            continue;
        const int64_t size = ItemUncompressedSize(item);
        if (size <= 0) continue;
        entries.push_back({item.SrcFileName, size, item.CompressionMode, DeflateLevel(item),
                           item.CompressionMethod == CVMethodDeflated ? CVMethodDeflated : CVMethodStored});
    }
    if (entries.empty()) return;
    FDeflatePool = std::make_unique<TCVDeflatePool>(std::move(entries), threads, Budget);
}

int TCVBaseArchiver::DeflateLevel(const TDirItem& Item) const {
    return FBestCompression && Item.CompressionMethod == CVMethodDeflated ? BestDeflateLevel() : Item.CompressionMode;
}

bool TCVBaseArchiver::CompressItem(platform::Stream& Source, platform::Stream& Output, TDirItem& Item) {
    // The encryption schemes are not part of this engine. Writing the item unencrypted, or with the
    // encrypted flag over plain data, would each be a lie about what the archive holds.
    if (!Item.Password.empty())
        throw platform::Exception(u"Encrypted entries cannot be written: \"" + Item.Name + u"\"");

    TCVZipCentralDir header = Item.CentralDir;
    bool huge = Item.bHugeFile;
    TCVZip64ExtendedInfo zip64 = Item.Zip64ExtInfo;

    TCVDeflateParams params;
    params.CompressionMode = Item.CompressionMode;
    params.CompressionMethod = Item.CompressionMethod;
    params.Level = DeflateLevel(Item);
    params.BeforeBlock = [&](int64_t bytesRead, int64_t sourceSize) {
        FProgress = bytesRead;
        FProgressMax = sourceSize;
        if (!FProgressEnabled) return true;
        bool cancel = false;
        DoFileProgress(Item.SrcFileName, sourceSize > 0 ? double(bytesRead) / double(sourceSize) * 100.0 : 0.0,
                       Item.Operation, ppProcess, cancel);
        if (!cancel) {
            double overall = FProcessedFilesTotalSize > 0
                                 ? double(FProcessedFilesSize + bytesRead) / double(FProcessedFilesTotalSize) * 100.0
                                 : 50.0;
            DoOverallProgress(overall, Item.Operation, ppProcess, cancel);
        }
        if (cancel) FProgressCancel = true;
        return !cancel;
    };
    params.Sink = [&](const uint8_t* data, size_t count) {
        return WriteToStream(Output, data, static_cast<int64_t>(count));
    };

    // A file the commit's pool compressed ahead comes from there; anything else is compressed here.
    TCVDeflateResult result;
    if (Item.Stream || !FDeflatePool || !FDeflatePool->Deliver(Item.SrcFileName, Source.Size(), params, result))
        result = DeflateItem(Source, params);
    FProcessedFilesSize += result.SourceSize;

    // The size is taken again now: a source that grew or shrank while it was read has given bytes of
    // two different files, and its CRC and sizes would describe neither.
    const int64_t sizeNow = Source.Size();
    if (result.Complete && result.BytesRead == sizeNow) {
        if (result.CompressedSize >= Limit32 || FZip64Mode == zmAlways) {
            huge = true;
            header.compSize = CVSentinel32;
            zip64.compSize = result.CompressedSize;
        } else {
            header.compSize = static_cast<uint32_t>(result.CompressedSize);
        }
        if (result.SourceSize >= Limit32 || FZip64Mode == zmAlways) {
            huge = true;
            header.unCompSize = CVSentinel32;
            zip64.uncompSize = result.SourceSize;
        } else {
            header.unCompSize = static_cast<uint32_t>(result.SourceSize);
        }
        header.crc32 = result.Crc32;
        if (huge && FZip64Mode == zmDisabled) throw ECVException(neZip64DisabledCompress, {Item.SrcFileName}, this);
        // An empty source is stored: it has no data bytes at all.
        if (result.SourceSize == 0) {
            header.compMethod = CVMethodStored;
            Item.CompressionMethod = CVMethodStored;
        }
        Item.CentralDir = header;
        Item.bHugeFile = huge;
        Item.Zip64ExtInfo = zip64;
        return true;
    }
    if (FProgressCancel || result.Cancelled) {
        FProgressCancel = true;
        return false;
    }
    throw ECVException(neCompressedSizeMismatch, {TCVFormatArg(int64_t(sizeNow)), TCVFormatArg(int64_t(result.BytesRead))}, this);
}

// A new entry between its preparation and its local header's final form: the opened source, the
// stored name, and the local header with its extra area as they are first written.
struct TCVNewEntry {
    TItemSource Source;
    std::string StoredName;
    TCVZipLocalHeader Local;
    std::vector<uint8_t> Extra;
    bool Zip64Field = false;   // the local header defers its sizes to a Zip64 field
    int64_t Start = -1;        // where the local header lies; -1 until it is placed
};

void TCVBaseArchiver::OpenNewEntry(TDirItem& Item, TCVNewEntry& Entry) {
    TCVZipCentralDir& cd = Item.CentralDir;
    uint16_t flag = cd.genPurposeFlag;
    Entry.StoredName = EncodeStoredName(Item.Name, flag, FOptions.OEMFileNames(), this);
    cd.genPurposeFlag = flag;
    Item.bHugeFile = false;

    const bool folder = !Item.Stream && (cd.externalAttr & platform::faDirectory);
    // Only what the data will be made with goes into the headers: a method this writer cannot
    // produce would label stored bytes as something else, and an entry without data is stored
    // (no deflate stream is zero bytes long).
    const uint16_t method = Item.CompressionMethod == CVMethodDeflated && !folder ? CVMethodDeflated : CVMethodStored;
    Item.CompressionMethod = method;
    cd.compMethod = method;

    if (Item.Stream) {
        Entry.Source.UseStream(Item.Stream, Item.Position);
    } else if (!folder) {
        const std::u16string& path = Item.SrcFileName;
        const bool prefixed = NativePathStyle == psWindows && path.find(LongPathPrefix) != std::u16string::npos;
        if (path.size() >= MaxSourcePath && !prefixed) throw ECVException(neNameTooLong, {path}, this);
        // Anything but a plain file (a FIFO put in the file's place, say) would block the read
        // or give bytes that are no file's content.
        const int32_t attr = platform::ReadAttributes(path);
        const uint32_t mode = static_cast<uint32_t>(attr) >> 16;
        if (attr != -1 && mode != 0 && (mode & UnixTypeMask) != UnixRegularFile)
            throw ECVException(neCannotOpenSource, {path}, this, u"not a regular file");
        try {
            Entry.Source.UseFile(std::make_unique<platform::FileStream>(
                path, platform::fmOpenRead | TCVOptions::ShareBits(FOptions.ShareMode())));
        } catch (const platform::FileError& e) {
            throw ECVException(neCannotOpenSource, {path}, this, platform::SystemReason(e.SystemError()));
        } catch (const platform::Exception&) {
            throw ECVException(neCannotOpenSource, {path}, this);
        }
    }
}

void TCVBaseArchiver::PlaceNewEntry(TDirItem& Item, TCVNewEntry& Entry, int64_t Start) {
    TCVZipCentralDir& cd = Item.CentralDir;
    platform::Stream* src = Entry.Source.Get();
    const int64_t sourceSize = src ? src->Size() : 0;

    Entry.Start = Start;
    PlaceLocalHeader(Item, Start, FZip64Mode == zmAlways);

    TCVZipLocalHeader& local = Entry.Local;
    local.signature = CVLocalHeaderSignature;
    local.genPurposeFlag = cd.genPurposeFlag;
    local.compMethod = cd.compMethod;
    local.lastModTime = cd.lastModTime;
    local.lastModDate = cd.lastModDate;
    local.crc32 = cd.crc32;
    local.compSize = 0;
    if (src && (sourceSize >= Limit32 || FZip64Mode == zmAlways ||
                (FZip64Mode == zmAuto && MayOutgrow32(sourceSize, cd.compMethod)))) {
        Item.bHugeFile = true;
        local.unCompSize = CVSentinel32;
    } else {
        local.unCompSize = static_cast<uint32_t>(sourceSize);
    }
    const bool zip64 = Item.bHugeFile || sourceSize >= Limit32;
    local.extractVersion = ExtractVersion(FOptions.OEMFileNames(), zip64);
    cd.extractVersion = local.extractVersion;
    cd.versionMadeBy = MadeByVersion(FOptions.OEMFileNames(), zip64);
    cd.externalAttr = CompleteUnixMode(cd.externalAttr);

    if (FZip64Mode == zmDisabled && Item.bHugeFile) throw ECVException(neZip64DisabledStore, {Item.SrcFileName}, this);

    // The Zip64 field's sizes are filled in once the data is written.
    Entry.Zip64Field = local.unCompSize == CVSentinel32;
    TCVExtraFields localFields;
    RemoveExtraFields(Item.ExtraFields, CVUnicodeNameExtraID);   // a retry must not add it twice
    if (FUnicodeFilenames) {
        localFields.push_back(MakeUnicodeNameField(Item.Name, this));
        Item.ExtraFields.push_back(localFields.back());
    }
    // The time in UTC goes into both headers, as readers look for it in either.
    if (const TCVExtraFieldDataBlock* time = FindExtraField(Item.ExtraFields, CVExtendedTimeExtraID))
        localFields.push_back(*time);
    Entry.Extra = MakeLocalExtraArea(Entry.Zip64Field, 0, 0, localFields, Item.Name, this);
    local.nameLength = static_cast<uint16_t>(Entry.StoredName.size());
    local.extraLength = static_cast<uint16_t>(Entry.Extra.size());
}

bool TCVBaseArchiver::WriteLocalHeader(platform::Stream& Archive, const TCVNewEntry& Entry) {
    uint8_t image[TCVZipLocalHeader::RecordSize];
    Entry.Local.Encode(image);
    return WriteToStream(Archive, image, sizeof image) &&
           WriteToStream(Archive, Entry.StoredName.data(), static_cast<int64_t>(Entry.StoredName.size())) &&
           (Entry.Extra.empty() || WriteToStream(Archive, Entry.Extra.data(), static_cast<int64_t>(Entry.Extra.size())));
}

bool TCVBaseArchiver::CompleteLocalHeader(platform::Stream& Archive, TDirItem& Item, TCVNewEntry& Entry) {
    TCVZipCentralDir& cd = Item.CentralDir;
    TCVZipLocalHeader& local = Entry.Local;
    local.crc32 = cd.crc32;
    local.compSize = (cd.compSize == CVSentinel32 || FZip64Mode == zmAlways) ? CVSentinel32 : cd.compSize;
    local.compMethod = cd.compMethod;
    const int64_t compressed = ItemCompressedSize(Item);
    const int64_t uncompressed = ItemUncompressedSize(Item);
    // Keep the central values in step with the local ones: a Zip64 field in the local header means
    // its sizes live in the Zip64 values of the directory as well.
    if (Entry.Zip64Field && cd.unCompSize != CVSentinel32) {
        cd.unCompSize = CVSentinel32;
        Item.Zip64ExtInfo.uncompSize = uncompressed;
    }
    if (local.compSize == CVSentinel32 && cd.compSize != CVSentinel32) {
        cd.compSize = CVSentinel32;
        Item.Zip64ExtInfo.compSize = compressed;
    }
    Archive.SetPosition(Entry.Start);
    uint8_t image[TCVZipLocalHeader::RecordSize];
    local.Encode(image);
    if (!WriteToStream(Archive, image, sizeof image)) return false;
    if (!Entry.Zip64Field) return true;
    Archive.Seek(static_cast<int64_t>(Entry.StoredName.size()), platform::SeekOrigin::Current);
    uint8_t field[CVZip64LocalFieldSize];
    EncodeZip64LocalField(field, uncompressed, compressed);
    return WriteToStream(Archive, field, sizeof field);
}

bool TCVBaseArchiver::WriteNewItem(int32_t Index) {
    UpdateCompressionMethod();
    TDirItem& item = FDMHandle->CDir.GetItemPtr(Index);
    const TCVProcessOperation operation = item.Operation;
    const std::u16string progressName =
        (operation == poAdd || operation == poMove) ? item.SrcFileName : item.Name;

    bool cancel = false;
    DoFileProgress(progressName, 0, operation, ppStart, cancel);
    if (cancel) FProgressCancel = true;
    if (FProgressCancel) return false;

    platform::Stream* archive = FCompressedStream;
    if (!archive) {
        FCommitAction = fxaAbort;
        return false;
    }

    TCVNewEntry entry;
    try {
        OpenNewEntry(item, entry);
        PlaceNewEntry(item, entry, archive->Position());
        platform::Stream* src = entry.Source.Get();
        bool written = WriteLocalHeader(*archive, entry);
        if (written && src) {
            // The data: compressed from the source straight behind the header.
            written = CompressItem(*src, *archive, item) && CompleteLocalHeader(*archive, item, entry);
        } else if (written) {
            // A folder entry: no data, nothing to patch.
            item.CentralDir.crc32 = 0;
            item.CentralDir.compSize = 0;
            item.CentralDir.unCompSize = 0;
        }

        if (!written || FProgressCancel) {
            entry.Source.Release();
            return false;
        }
        archive->Seek(0, platform::SeekOrigin::End);
        entry.Source.Release();
        // An item that owned its stream is done with it; the roll-back copy keeps its own reference.
        if (item.bDestroyStream) {
            item.Stream.reset();
            item.bDestroyStream = false;
        }
    } catch (const ECVException& e) {
        entry.Source.Release();
        // The failed attempt's bytes go: whatever comes next (a retry, the next entry, the old entry
        // copied back, or the directory) starts where this entry started, so no stray local header
        // is left between the entries for a reader that walks them in order.
        if (entry.Start >= 0 && FCompressedStream) {
            FCompressedStream->SetPosition(entry.Start);
            FCompressedStream->SetSize(entry.Start);
        }
        if (!FCompressedStream) {
            FCommitAction = fxaAbort;
            return false;
        }
        TDirItem& failed = FDMHandle->CDir.GetItemPtr(Index);
        const std::u16string& name =
            (failed.Operation == poUpdate || failed.SrcFileName.empty()) ? failed.Name : failed.SrcFileName;
        TCVAction action = fxaIgnore;
        DoProcessFileFailure(name, failed.Operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
        FCommitAction = action;
        return false;
    }

    cancel = false;
    DoFileProgress(progressName, 100, operation, ppEnd, cancel);
    // The entry is stored; a cancel asked for now stops the commit before the next one.
    if (cancel) FProgressCancel = true;
    return true;
}
