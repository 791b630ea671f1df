#include "engine/archiver/CVCommit.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "engine/add/CVDeflatePool.h"
#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/format/CVExtraFields.h"
#include "engine/format/CVNameCoding.h"
#include "engine/format/CVZipRecords.h"
#include "engine/util/CVCoding.h"
#include "engine/util/CVStrFunc.h"

namespace {

// The desktop system's limit for the temporary folder; POSIX paths may be as long as PATH_MAX.
constexpr size_t MaxTempPath = NativePathStyle == psWindows ? 260 : 4096;

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

// Whether the main pass writes the item anew (its data is compressed again) rather than copying it.
bool IsWrittenAnew(const TDirItem& item) {
    return item.Modified && item.Operation != poRename && item.Operation != poChangeComment &&
           item.Operation != poChangeAttr;
}

}  // namespace

// The saved old tail of the archive. Deleted when dropped, unless Keep() was called: a tail that could
// not be put back is the only copy of those entries left.
class TCVTempTail {
public:
    TCVTempTail() = default;
    ~TCVTempTail() { Discard(); }
    TCVTempTail(const TCVTempTail&) = delete;
    TCVTempTail& operator=(const TCVTempTail&) = delete;

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

TCVCommit::TCVCommit(TCVBaseArchiver& Arc)
    : FArc(Arc), FDir(Arc.FDMHandle->CDir), FOldDir(Arc.FDMHandle->RBCDir), FTail(std::make_unique<TCVTempTail>()) {}

TCVCommit::~TCVCommit() = default;

void TCVCommit::Run() {
    CountChangedItems();
    PlanCut();
    if (!ReportStart()) {
        // Nothing is written, so nothing recorded in memory may outlive the transaction.
        FDir.Assign(FOldDir);
        return;
    }
    bool completed = false;
    try {
        SaveTail();
        completed = WriteEntries();
        if (completed) WriteDirectory();
    } catch (...) {
        RollBack();
        throw;
    }
    if (!completed) {
        RollBack();
        return;
    }
    // The new archive is complete on disk from here on; what follows cannot undo it.
    RemoveMovedSources(false);
    RemoveMovedSources(true);
    ReportEnd();
}

// The progress totals, and the operation the overall progress reports: that of the first changed
// item, or deleting when only deletions happened.
void TCVCommit::CountChangedItems() {
    int32_t firstModified = -1;
    for (int32_t i = 0; i < FDir.Count(); ++i) {
        const TDirItem& item = FDir.GetItemPtr(i);
        if (!item.Modified) continue;
        FArc.FProcessedFilesTotalSize += item.bHugeFile ? item.Zip64ExtInfo.uncompSize : int64_t(item.CentralDir.unCompSize);
        ++FArc.FProcessedFileCount;
        if (firstModified < 0) firstModified = i;
    }
    FProgressOperation = firstModified >= 0 ? FDir.GetItemPtr(firstModified).Operation : poDelete;
}

// The first index written anew and the offset where the archive is cut: the first entry whose name
// moved or that changed, brought down until every entry kept in front of it ends before the cut.
void TCVCommit::PlanCut() {
    const int32_t common = std::min(FDir.Count(), FOldDir.Count());
    FFirst = common;
    for (int32_t i = 0; i < common; ++i) {
        if (FOldDir.GetItemPtr(i).Name != FDir.GetItemPtr(i).Name || FDir.GetItemPtr(i).Modified) {
            FFirst = i;
            break;
        }
    }

    // Archives written elsewhere need not keep their entries in directory order: the cut must lie
    // behind every entry that stays and in front of every entry that moves.
    const int32_t oldCount = FOldDir.Count();
    std::vector<int64_t> cutFrom(static_cast<size_t>(oldCount) + 1);   // the cut when rewriting from k
    cutFrom[oldCount] = oldCount == 0 ? FArc.FDMHandle->StubSize : FArc.FDMHandle->CentralDirOffset;
    for (int32_t k = oldCount - 1; k >= 0; --k) {
        const int64_t offset = ItemLocalHeaderOffset(FOldDir.GetItemPtr(k));
        cutFrom[k] = k == oldCount - 1 ? offset : std::min(offset, cutFrom[k + 1]);
    }
    std::vector<int64_t> keptEnd(static_cast<size_t>(oldCount) + 1, 0);   // where the entries before k end
    for (int32_t k = 0; k < oldCount; ++k) {
        // The name and extra fields only add to this, so it never claims an overlap that is not there.
        const TDirItem& kept = FOldDir.GetItemPtr(k);
        // Offsets and sizes come from the archive: one near the top of 64 bits only saturates the end.
        int64_t end = 0;
        if (__builtin_add_overflow(ItemLocalHeaderOffset(kept), int64_t(TCVZipLocalHeader::RecordSize), &end) ||
            __builtin_add_overflow(end, ItemCompressedSize(kept), &end))
            end = INT64_MAX;
        keptEnd[k + 1] = std::max(keptEnd[k], end);
    }
    while (FFirst > 0 && keptEnd[FFirst] > cutFrom[FFirst]) --FFirst;
    // An offset pointing past the end of the archive must not place the cut there: cutting would then
    // lengthen the file, and putting the tail back would leave it lengthened, its end records buried.
    FBaseOffset = std::min(cutFrom[FFirst], FArc.FCompressedStream->Size());
}

// False when the handler cancels the commit before anything is written.
bool TCVCommit::ReportStart() {
    bool cancel = false;
    FArc.DoOverallProgress(0, FProgressOperation, ppStart, cancel);
    return !cancel;
}

// Saves the old archive from the cut on (when any old entry is rewritten) and cuts the archive there.
void TCVCommit::SaveTail() {
    platform::Stream& archive = *FArc.FCompressedStream;
    if (FFirst < FOldDir.Count()) {
        FTail->Create(FArc.FTempDir);
        archive.SetPosition(FBaseOffset);
        const int64_t length = archive.Size() - FBaseOffset;
        if (length > 0) FTail->Stream()->CopyFrom(archive, length);
    }
    archive.SetPosition(FBaseOffset);
    FArchiveCut = true;
    archive.SetSize(FBaseOffset);
    FArc.FVolumeNumberInfo.SetFirstVolume();
}

// The main pass: each entry from the first changed one on, in directory order, written anew by the
// per-item writer or copied from the saved tail. A failure the writer reports is answered per entry:
// retry it, skip it (a new entry leaves the directory, a replacement keeps the old entry) or abort.
bool TCVCommit::WriteEntries() {
    FOldIndex.reserve(static_cast<size_t>(FOldDir.Count()));
    for (int32_t j = FOldDir.Count() - 1; j >= 0; --j) FOldIndex[FOldDir.GetItemPtr(j).Name] = j;

    // The files to store are compressed ahead on the other cores; the workers stop with this pass,
    // whichever way it ends.
    FArc.StartDeflatePool(FFirst);
    struct TPoolEnd {
        std::unique_ptr<TCVDeflatePool>& Pool;
        ~TPoolEnd() { Pool.reset(); }
    } poolEnd{FArc.FDeflatePool};

    int32_t i = FFirst;
    while (i < FDir.Count() && !FArc.FProgressCancel) {
        bool written = true;
        do {
            FArc.FCommitAction = fxaIgnore;
            written = true;
            if (IsWrittenAnew(FDir.GetItemPtr(i)))
                written = FArc.WriteNewItem(i);
            else
                CopyKeptEntry(i);
        } while (FArc.FCommitAction == fxaRetry);
        if (FArc.FCommitAction == fxaAbort || FArc.FProgressCancel) return false;
        if (written) {
            ++FArc.FProcessedFileNo;
            ++i;
        } else {
            const TCVProcessOperation operation = FDir.GetItemPtr(i).Operation;
            if (operation == poAdd || operation == poMove) {
                FDir.DeleteItem(i);
            } else {
                CopyKeptEntry(i);
                ++i;
            }
        }
    }
    return !FArc.FProgressCancel;
}

// Copies entry Index, which keeps its compressed data, from the saved tail to the archive's position;
// a renamed entry gets a new local header in front of its data.
void TCVCommit::CopyKeptEntry(int32_t Index) {
    TDirItem& current = FDir.GetItemPtr(Index);
    const bool renamed = current.Modified && current.Operation == poRename;
    auto found = FOldIndex.find(renamed ? current.OldName : current.Name);
    if (found == FOldIndex.end()) throw ECVException(neCommitSourceMissing, &FArc);
    const TDirItem old = FOldDir.GetItem(found->second);
    if (current.Operation == poUpdate) FDir.SetItem(Index, old);
    TDirItem& item = FDir.GetItemPtr(Index);

    platform::Stream& archive = *FArc.FCompressedStream;
    platform::FileStream* source = FTail->Stream();
    const int64_t sourcePos = ItemLocalHeaderOffset(old) - FBaseOffset;
    // Only entries at or behind the cut were saved; anything else cannot be copied from here.
    if (!source || sourcePos < 0 || sourcePos > source->Size() - int64_t(TCVZipLocalHeader::RecordSize))
        throw ECVException(neCommitSourceMissing, &FArc);
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
    if (compSize < 0 || compSize > source->Size() - dataPos) throw ECVException(neCommitSourceMissing, &FArc);
    const int64_t dataLength = compSize + DataDescriptorLength(*source, dataPos + compSize, local);

    // An entry that already keeps its sizes in Zip64 values keeps its offset there too.
    PlaceLocalHeader(item, archive.Position(), item.CentralDir.unCompSize == CVSentinel32);

    if (!renamed) {
        source->SetPosition(sourcePos);
        archive.CopyFrom(*source, dataPos + dataLength - sourcePos);
        return;
    }
    uint16_t flag = local.genPurposeFlag;
    const std::string name = EncodeStoredName(item.Name, flag, FArc.FOptions.OEMFileNames(), &FArc);
    local.genPurposeFlag = flag;
    item.CentralDir.genPurposeFlag |= flag & CVFlagUtf8Name;
    const std::vector<uint8_t> extra =
        MakeLocalExtraArea(old.CentralDir.unCompSize == CVSentinel32, ItemUncompressedSize(old),
                           ItemCompressedSize(old), item.ExtraFields, item.Name, &FArc);
    local.nameLength = static_cast<uint16_t>(name.size());
    local.extraLength = static_cast<uint16_t>(extra.size());
    local.Encode(image);
    archive.WriteBuffer(image, sizeof image);
    archive.WriteBuffer(name.data(), name.size());
    if (!extra.empty()) archive.WriteBuffer(extra.data(), extra.size());
    source->SetPosition(dataPos);
    if (dataLength > 0) archive.CopyFrom(*source, dataLength);
}

// The central directory and end records behind the entries; the saved tail is no longer needed.
void TCVCommit::WriteDirectory() {
    FArc.FDMHandle->SaveDir(true, FArc.FCompressedStream);
    FTail->Discard();
}

// Puts the archive back as it was before the update: the saved tail behind the cut, or, when only new
// entries were appended, the old directory written again at the cut.
void TCVCommit::RollBack() {
    FDir.Assign(FOldDir);
    if (!FArc.FCompressedStream || !FArchiveCut) return;
    platform::Stream& stream = *FArc.FCompressedStream;
    if (FTail->Stream()) {
        try {
            stream.SetPosition(FBaseOffset);
            stream.SetSize(FBaseOffset);
            if (FTail->Stream()->Size() > 0) {
                FTail->Stream()->SetPosition(0);
                stream.CopyFrom(*FTail->Stream(), FTail->Stream()->Size());
            }
        } catch (...) {
            FTail->Keep();
            throw;
        }
    } else {
        stream.SetPosition(FBaseOffset);
        stream.SetSize(FBaseOffset);
        FArc.FDMHandle->SaveDir(true, &stream);
    }
}

// Deletes the sources of moved entries, the files (Folders false) or the emptied folders. A failure is
// answered per item; an abort ends this pass and the next.
void TCVCommit::RemoveMovedSources(bool Folders) {
    for (int32_t i = 0; i < FDir.Count() && !FRemovalAborted; ++i) {
        const TDirItem& item = FDir.GetItemPtr(i);
        if (!item.Modified || item.Operation != poMove) continue;
        if (((item.CentralDir.externalAttr & platform::faDirectory) != 0) != Folders) continue;
        const std::u16string source = item.SrcFileName;
        const TCVProcessOperation operation = item.Operation;
        TCVAction action;
        do {
            action = fxaIgnore;
            try {
                if (Folders) {
                    if (!RemoveEmptyFolders(IncludePathDelimiter(source)) && IsExistingFolder(source))
                        throw ECVException(neCannotRemoveMovedFolder, {source}, &FArc);
                } else if (!DeleteDiskFile(source)) {
                    WriteAttributes(source, 0);
                    if (!DeleteDiskFile(source)) throw ECVException(neCannotDeleteMovedFile, {source}, &FArc);
                }
            } catch (const ECVException& e) {
                FArc.DoProcessFileFailure(source, operation, e.NativeError(), e.ErrorCode(), e.Message(), action);
            }
        } while (action == fxaRetry);
        if (action == fxaAbort) FRemovalAborted = true;
    }
}

void TCVCommit::ReportEnd() {
    // A cancel asked for at the end comes after the new archive is in place: there is nothing left to
    // cancel, and the archive stays as committed.
    bool cancel = false;
    FArc.DoOverallProgress(100, FProgressOperation, ppEnd, cancel);

    if (FArc.FOptions.FlushBuffers())
        if (auto* file = dynamic_cast<platform::FileStream*>(FArc.FCompressedStream)) file->Flush();
}
