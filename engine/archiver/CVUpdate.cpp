// Update transactions and the commit that rewrites the archive in place.
//
// Everything in front of the first changed entry stays where it is. The old archive from that entry on
// is saved to a temporary file, the archive is cut there, and the entries from there on are written
// anew: changed ones compressed again by the per-item writer, unchanged ones copied back from the
// temporary file. A new central directory follows. A failure, a cancel or an abort puts the old bytes
// back, so the archive on disk is always either the old one or the new one.
#include <algorithm>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVCoding.h"
#include "engine/util/CVStrFunc.h"

namespace {

constexpr int64_t Limit32 = 0xFFFFFFFF;
constexpr uint16_t WriteAccessOrCreate = 0xFF03;
// The desktop system's limit for the temporary folder; POSIX paths may be as long as PATH_MAX.
constexpr size_t MaxTempPath = NativePathStyle == psWindows ? 260 : 4096;

// The saved old tail of the archive. Deleted when dropped, unless Keep() was called: a tail that could
// not be put back is the only copy of those entries left.
class TTempTail {
public:
    TTempTail() = default;
    ~TTempTail() { Discard(); }
    TTempTail(const TTempTail&) = delete;
    TTempTail& operator=(const TTempTail&) = delete;

    void Create(const std::u16string& tempDir) {
        std::u16string folder = tempDir.empty() ? platform::TempFolder() : tempDir;
        if (folder.size() >= MaxTempPath) throw platform::FileError(u"Temporary folder name is too long: " + folder, 0);
        FFileName = platform::CreateTempFile(folder, u"FC");
        if (FFileName.size() > MaxTempPath) FFileName.resize(MaxTempPath);
        FStream = std::make_unique<platform::FileStream>(FFileName, platform::fmCreate);
    }
    platform::FileStream* Stream() const { return FStream.get(); }
    void Keep() { FKeep = true; }
    void Discard() {
        FStream.reset();
        if (!FFileName.empty() && !FKeep) DeleteDiskFile(FFileName);
        FFileName.clear();
    }

private:
    std::u16string FFileName;
    std::unique_ptr<platform::FileStream> FStream;
    bool FKeep = false;
};

// Bytes of a data descriptor behind an entry's data (flag bit 3), so that a copied entry keeps the
// record a reader walking the entries in order expects there. Its signature is optional; its sizes
// are 64-bit when the local header defers them to the Zip64 field.
int64_t DataDescriptorLength(platform::Stream& tail, int64_t dataEnd, const TCVZipLocalHeader& local) {
    if (!(local.genPurposeFlag & CVFlagDataDescriptor)) return 0;
    const bool zip64 = local.compSize == CVSentinel32 || local.unCompSize == CVSentinel32;
    int64_t length = 4 + (zip64 ? 16 : 8);
    const int64_t size = tail.Size();
    if (dataEnd + 4 <= size) {
        uint8_t sig[4];
        tail.SetPosition(dataEnd);
        tail.ReadBuffer(sig, 4);
        if (DecodeFixed32(sig) == CVDataDescriptorSignature) length += 4;
    }
    // A descriptor cut off by the end of the old archive is left behind rather than read past it.
    return dataEnd + length <= size ? length : 0;
}

}  // namespace

void TCVBaseArchiver::BeginUpdate() {
    if (FSpanningMode != smNone && FUpdated) throw ECVException(neMultiVolumeSecondUpdate, nullptr);
    if (FUpdateCount == 0) {
        if (!FActive) OpenArchive();
        if ((FFileOpenMode & WriteAccessOrCreate) == 0 && !FIsCustomStream) throw ECVException(neReadOnlyArchive, this);
        TCVDirArray& cdir = FDMHandle->CDir;
        for (int32_t i = 0; i < cdir.Count(); ++i) cdir.GetItemPtr(i).Modified = false;
        FDMHandle->RBCDir.Assign(cdir);
    }
    ++FUpdateCount;
}

void TCVBaseArchiver::EndUpdate() {
    if (FUpdateCount <= 0) return;
    if (FUpdateCount > 1) {
        --FUpdateCount;
        return;
    }
    FUpdated = true;
    CommitUpdate();
    if (FSpanningMode != smNone && FFileOpenMode == cvOpenCreate) FFileOpenMode = cvOpenReadWrite;
}

void TCVBaseArchiver::CancelUpdate() {
    if (FUpdateCount <= 0) return;
    FUpdateCount = 0;
    // Entries the interrupted operation recorded exist only in memory. Left in the directory, the next
    // update would take them for entries on disk, and closing a new archive would write a directory
    // that points at data that was never written.
    if (FDMHandle) FDMHandle->CDir.Assign(FDMHandle->RBCDir);
}

void TCVBaseArchiver::RunInUpdate(const std::function<void()>& Change) {
    BeginUpdate();
    try {
        Change();
        EndUpdate();
    } catch (...) {
        CancelUpdate();
        throw;
    }
}

void TCVBaseArchiver::CommitUpdate() {
    if (FUpdateCount <= 0) return;
    FUpdateCount = 0;
    FProcessedFileNo = 0;
    FProcessedFileCount = 0;
    FProgressCancel = false;
    FProgressEnabled = true;
    FProcessedFilesTotalSize = 0;
    FProcessedFilesSize = 0;
    if (!FDMHandle || !FCompressedStream) return;

    TCVDirArray& cdir = FDMHandle->CDir;
    TCVDirArray& rbcdir = FDMHandle->RBCDir;

    int32_t firstModified = -1;
    for (int32_t i = 0; i < cdir.Count(); ++i) {
        const TDirItem& item = cdir.GetItemPtr(i);
        if (!item.Modified) continue;
        FProcessedFilesTotalSize += item.bHugeFile ? item.Zip64ExtInfo.uncompSize : int64_t(item.CentralDir.unCompSize);
        ++FProcessedFileCount;
        if (firstModified < 0) firstModified = i;
    }

    const int32_t common = std::min(cdir.Count(), rbcdir.Count());
    int32_t first = common;
    for (int32_t i = 0; i < common; ++i) {
        if (rbcdir.GetItemPtr(i).Name != cdir.GetItemPtr(i).Name || cdir.GetItemPtr(i).Modified) {
            first = i;
            break;
        }
    }

    platform::Stream* archive = FCompressedStream;

    // Where rewriting starts. Archives written elsewhere need not keep their entries in directory
    // order: the cut must lie behind every entry that stays and in front of every entry that moves,
    // so the first index comes down until the entries in front of it all end before the cut.
    const int32_t oldCount = rbcdir.Count();
    std::vector<int64_t> cutFrom(static_cast<size_t>(oldCount) + 1);   // the cut when rewriting from k
    cutFrom[oldCount] = oldCount == 0 ? FDMHandle->StubSize : FDMHandle->CentralDirOffset;
    for (int32_t k = oldCount - 1; k >= 0; --k) {
        const int64_t offset = ItemLocalHeaderOffset(rbcdir.GetItemPtr(k));
        cutFrom[k] = k == oldCount - 1 ? offset : std::min(offset, cutFrom[k + 1]);
    }
    std::vector<int64_t> keptEnd(static_cast<size_t>(oldCount) + 1, 0);   // where the entries before k end
    for (int32_t k = 0; k < oldCount; ++k) {
        // The name and extra fields only add to this, so it never claims an overlap that is not there.
        const TDirItem& kept = rbcdir.GetItemPtr(k);
        // Offsets and sizes come from the archive: one near the top of 64 bits only saturates the end.
        int64_t end = 0;
        if (__builtin_add_overflow(ItemLocalHeaderOffset(kept), int64_t(TCVZipLocalHeader::RecordSize), &end) ||
            __builtin_add_overflow(end, ItemCompressedSize(kept), &end))
            end = INT64_MAX;
        keptEnd[k + 1] = std::max(keptEnd[k], end);
    }
    while (first > 0 && keptEnd[first] > cutFrom[first]) --first;
    // An offset pointing past the end of the archive must not place the cut there: cutting would then
    // lengthen the file, and putting the tail back would leave it lengthened, its end records buried.
    const int64_t baseOffset = std::min(cutFrom[first], archive->Size());

    const TCVProcessOperation progressOperation = firstModified >= 0 ? cdir.GetItemPtr(firstModified).Operation : poDelete;
    bool cancel = false;
    DoOverallProgress(0, progressOperation, ppStart, cancel);
    if (cancel) {
        // Nothing is written, so nothing recorded in memory may outlive the transaction.
        cdir.Assign(rbcdir);
        return;
    }

    TTempTail tail;
    bool archiveCut = false;
    bool stopped = false;   // the main pass ended by a cancel or an abort

    const auto rollback = [&]() {
        cdir.Assign(rbcdir);
        if (!FCompressedStream || !archiveCut) return;
        platform::Stream& stream = *FCompressedStream;
        if (tail.Stream()) {
            try {
                stream.SetPosition(baseOffset);
                stream.SetSize(baseOffset);
                if (tail.Stream()->Size() > 0) {
                    tail.Stream()->SetPosition(0);
                    stream.CopyFrom(*tail.Stream(), tail.Stream()->Size());
                }
            } catch (...) {
                tail.Keep();
                throw;
            }
        } else {
            stream.SetPosition(baseOffset);
            stream.SetSize(baseOffset);
            FDMHandle->SaveDir(true, &stream);
        }
    };

    // Finds the pre-update copy of an entry by its exact name; the first one wins, as on disk.
    std::unordered_map<std::u16string, int32_t> oldIndex;
    oldIndex.reserve(static_cast<size_t>(rbcdir.Count()));
    for (int32_t j = rbcdir.Count() - 1; j >= 0; --j) oldIndex[rbcdir.GetItemPtr(j).Name] = j;

    const auto copyEntry = [&](int32_t i) {
        TDirItem& current = cdir.GetItemPtr(i);
        const bool renamed = current.Modified && current.Operation == poRename;
        auto found = oldIndex.find(renamed ? current.OldName : current.Name);
        if (found == oldIndex.end()) throw ECVException(neCommitSourceMissing, this);
        const TDirItem old = rbcdir.GetItem(found->second);
        if (current.Operation == poUpdate) cdir.SetItem(i, old);
        TDirItem& item = cdir.GetItemPtr(i);

        platform::FileStream* source = tail.Stream();
        const int64_t sourcePos = ItemLocalHeaderOffset(old) - baseOffset;
        // Only entries at or behind the cut were saved; anything else cannot be copied from here.
        if (!source || sourcePos < 0 || sourcePos > source->Size() - int64_t(TCVZipLocalHeader::RecordSize))
            throw ECVException(neCommitSourceMissing, this);
        uint8_t image[TCVZipLocalHeader::RecordSize];
        source->SetPosition(sourcePos);
        source->ReadBuffer(image, sizeof image);
        TCVZipLocalHeader local;
        local.Decode(image);
        // The local header's own lengths say where its data begins; the central header of an archive
        // written elsewhere may disagree with them.
        const int64_t dataPos = sourcePos + int64_t(sizeof image) + local.nameLength + local.extraLength;
        // Data running past the saved tail cannot be copied from it; checked here, a hostile size also
        // cannot overflow the sums below.
        const int64_t compSize = ItemCompressedSize(old);
        if (compSize < 0 || compSize > source->Size() - dataPos) throw ECVException(neCommitSourceMissing, this);
        const int64_t dataLength = compSize + DataDescriptorLength(*source, dataPos + compSize, local);

        const int64_t position = archive->Position();
        if (position >= Limit32) {
            item.bHugeFile = true;
            item.CentralDir.relOffsetLH = CVSentinel32;
            item.Zip64ExtInfo.relOffsetLH = position;
        } else if (item.CentralDir.unCompSize == CVSentinel32) {
            item.CentralDir.relOffsetLH = CVSentinel32;
            item.Zip64ExtInfo.relOffsetLH = position;
        } else {
            item.CentralDir.relOffsetLH = static_cast<uint32_t>(position);
        }

        if (renamed) {
            uint16_t flag = local.genPurposeFlag;
            const std::string name = EncodeStoredName(item.Name, flag, FOptions.OEMFileNames(), this);
            local.genPurposeFlag = flag;
            item.CentralDir.genPurposeFlag |= flag & CVFlagUtf8Name;
            const bool zip64Field = old.CentralDir.unCompSize == CVSentinel32;
            std::vector<uint8_t> extra;
            if (zip64Field) {
                extra.resize(CVZip64LocalFieldSize);
                EncodeZip64LocalField(extra.data(), ItemUncompressedSize(old), ItemCompressedSize(old));
            }
            for (const TCVExtraFieldDataBlock& field : item.ExtraFields)
                if (field.headerID != CVZip64ExtraID) AppendExtraField(extra, field);
            if (extra.size() > CVMaxExtraDataSize) throw ECVException(neNameTooLong, {item.Name}, this);
            local.nameLength = static_cast<uint16_t>(name.size());
            local.extraLength = static_cast<uint16_t>(extra.size());
            local.Encode(image);
            archive->WriteBuffer(image, sizeof image);
            archive->WriteBuffer(name.data(), name.size());
            if (!extra.empty()) archive->WriteBuffer(extra.data(), extra.size());
            source->SetPosition(dataPos);
            if (dataLength > 0) archive->CopyFrom(*source, dataLength);
        } else {
            const int64_t span = dataPos + dataLength - sourcePos;
            source->SetPosition(sourcePos);
            archive->CopyFrom(*source, span);
        }
    };

    try {
        if (first < rbcdir.Count()) {
            tail.Create(FTempDir);
            archive->SetPosition(baseOffset);
            const int64_t length = archive->Size() - baseOffset;
            if (length > 0) tail.Stream()->CopyFrom(*archive, length);
        }
        archive->SetPosition(baseOffset);
        archiveCut = true;
        archive->SetSize(baseOffset);
        FVolumeNumberInfo.SetFirstVolume();

        int32_t i = first;
        while (i < cdir.Count() && !FProgressCancel) {
            bool written = true;
            do {
                FCommitAction = fxaIgnore;
                written = true;
                const TDirItem& item = cdir.GetItemPtr(i);
                if (item.Modified && item.Operation != poRename && item.Operation != poChangeComment &&
                    item.Operation != poChangeAttr)
                    written = WriteNewItem(i);
                else
                    copyEntry(i);
            } while (FCommitAction == fxaRetry);
            if (FCommitAction == fxaAbort || FProgressCancel) {
                stopped = true;
                break;
            }
            if (written) {
                ++FProcessedFileNo;
                ++i;
            } else {
                const TCVProcessOperation operation = cdir.GetItemPtr(i).Operation;
                // A skipped new entry leaves the directory; a skipped replacement keeps the old entry.
                if (operation == poAdd || operation == poMove) {
                    cdir.DeleteItem(i);
                } else {
                    copyEntry(i);
                    ++i;
                }
            }
        }
        if (FProgressCancel) stopped = true;

        if (!stopped) {
            FDMHandle->SaveDir(true, archive);
            tail.Discard();
        }
    } catch (...) {
        rollback();
        throw;
    }

    if (stopped) {
        rollback();
        return;
    }

    // The new archive is complete on disk from here on; what follows cannot undo it.
    bool abortRemoval = false;
    const auto removeMoved = [&](bool folders) {
        for (int32_t i = 0; i < cdir.Count() && !abortRemoval; ++i) {
            const TDirItem& item = cdir.GetItemPtr(i);
            if (!item.Modified || item.Operation != poMove) continue;
            if (((item.CentralDir.externalAttr & platform::faDirectory) != 0) != folders) continue;
            const std::u16string source = item.SrcFileName;
            const TCVProcessOperation operation = item.Operation;
            TCVAction action;
            do {
                action = fxaIgnore;
                try {
                    if (folders) {
                        if (!RemoveEmptyFolders(IncludePathDelimiter(source)) && IsExistingFolder(source))
                            throw ECVException(neCannotRemoveMovedFolder, {source}, this);
                    } else if (!DeleteDiskFile(source)) {
                        WriteAttributes(source, 0);
                        if (!DeleteDiskFile(source)) throw ECVException(neCannotDeleteMovedFile, {source}, this);
                    }
                } catch (const ECVException& e) {
                    DoProcessFileFailure(source, operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
                }
            } while (action == fxaRetry);
            if (action == fxaAbort) abortRemoval = true;
        }
    };
    removeMoved(false);
    removeMoved(true);

    // A cancel asked for at the end comes after the new archive is in place: there is nothing left to
    // cancel, and the archive stays as committed.
    cancel = false;
    DoOverallProgress(100, progressOperation, ppEnd, cancel);

    if (FOptions.FlushBuffers())
        if (auto* file = dynamic_cast<platform::FileStream*>(archive)) file->Flush();
}
