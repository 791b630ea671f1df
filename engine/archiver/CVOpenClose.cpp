// Opening an archive (new, existing, or on a caller's stream) and closing it.
#include <memory>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"

void TCVBaseArchiver::OpenArchive() {
    if (!FInMemory && FileNamePart(FFileName).empty()) throw ECVException(neBlankFileName, this);
    FUpdated = false;
    uint16_t mode;
    if (FInMemory || !IsExistingFile(FFileName)) {
        mode = cvOpenCreate;
    } else {
        // Write access is taken when nobody else holds the file; otherwise the archive can at least be
        // read while the other holder keeps it.
        try {
            platform::FileStream probe(FFileName, cvOpenReadWrite);
            mode = cvOpenReadWrite;
        } catch (const platform::Exception&) {
            mode = cvOpenReadOnly;
        }
    }
    FFileOpenMode = mode;
    OpenArchive(mode);
}

void TCVBaseArchiver::OpenArchive(uint16_t Mode) {
    // Every refusal comes before CloseArchive, so a refused open leaves the previous archive open.
    if (!FInMemory && FileNamePart(FFileName).empty()) throw ECVException(neBlankFileNameForMode, this);
    if (Mode != cvOpenCreate && !IsExistingFile(FFileName) && FSpanningMode != smSpanning &&
        !IsRemovableDrive(FFileName))
        throw ECVException(neArchiveNotFound, {FFileName}, this);
    if (Mode != cvOpenCreate && FInMemory) throw ECVException(neInMemoryNotCreate, {FFileName}, this);
    // Volumes are never written: a new archive under either mode would come out as one ordinary file.
    if ((Mode == cvOpenCreate || FInMemory) && FSpanningMode != smNone) throw ECVException(neSplitWrite, this);
    FUpdated = false;

    CloseArchive();
    FIsCustomStream = false;
    FFileOpenMode = Mode;
    try {
        if (Mode == cvOpenCreate || FInMemory)
            CreateNewArchive();
        else
            OpenExistingArchive();
    } catch (...) {
        // A half-opened archive must not keep its file held until the next open or close.
        ReleaseArchiveStream();
        throw;
    }
    FActive = true;
    if (FAfterOpen) FAfterOpen(this);
}

void TCVBaseArchiver::OpenArchive(platform::Stream* Stream, bool Create) {
    if (FSpanningMode != smNone) throw ECVException(neMultiVolumeCustomStream, this);
    if (Stream == nullptr) throw ECVException(neNilPointer, this);
    CloseArchive();
    FUpdated = false;
    FIsCustomStream = true;
    try {
        if (Create) Stream->SetSize(0);
        FDMHandle = std::make_unique<TCVDirManager>(Stream, this, Create);
        FCompressedStream = Stream;
        if (Create)
            FDMHandle->SaveDir(true, nullptr);
        else
            FDMHandle->LoadDir();
    } catch (...) {
        ReleaseArchiveStream();
        throw;
    }
    FActive = true;
    if (FAfterOpen) FAfterOpen(this);
}

void TCVBaseArchiver::CreateNewArchive() {
    if (FInMemory) {
        FCompressedStream = new platform::MemoryStream();
    } else {
        // Spanned and split archives would ask for their first volume here; a single file is its own.
        OpenVolumeFile(FFileName);
    }
    FVolumeNumberInfo.SetFirstVolume();
    // The new file stays empty (or holds only the stub) until a commit or the close writes a directory.
    FDMHandle = std::make_unique<TCVDirManager>(FCompressedStream, this, true);
}

void TCVBaseArchiver::OpenExistingArchive() {
    FSpanningMode = smNone;
    FVolumeNumberInfo.Reset();
    // While the file is examined a missing end record must be seen as missing: with the switch on, the
    // directory manager would report one whatever it found. The host's setting is back in force for
    // the decision and the load, so a damaged directory is rebuilt from the local headers when the host
    // allows it (the default), and a file without an end record is refused only when it does not.
    bool found;
    {
        struct RestoreFlag {
            bool& flag;
            bool saved;
            ~RestoreFlag() { flag = saved; }
        } restore{FOpenCorruptedArchives, FOpenCorruptedArchives};
        FOpenCorruptedArchives = false;
        OpenVolumeFile(FFileName);
        FDMHandle = std::make_unique<TCVDirManager>(FCompressedStream, this, false);
        found = FDMHandle->HasCentralDirEnd();
    }
    // A record naming another disk, or no record on a removable drive, would lead into the search for
    // the other volumes of a multi-volume archive; a single file goes on as it is.
    if (!found && !FOpenCorruptedArchives) {
        ReleaseArchiveStream();
        throw ECVException(neNoEndRecord, this);
    }
    FDMHandle->LoadDir();
}

void TCVBaseArchiver::OpenVolumeFile(const std::u16string& VolumeName) {
    if (FCompressedStream == nullptr) FCompressedStream = new platform::FileStream(VolumeName, FFileOpenMode);
    VolumeFileName = VolumeName;
}

void TCVBaseArchiver::FinishPendingWrites() {
    CommitUpdate();
    // A new archive that never received an update is still empty (or only its stub): give it the
    // directory that makes it a valid, empty ZIP file.
    if (FCompressedStream && FDMHandle && FCompressedStream->Size() == FDMHandle->StubSize)
        FDMHandle->SaveDir(true, nullptr);
}

void TCVBaseArchiver::ReleaseArchiveStream() {
    FDMHandle.reset();
    if (!FIsCustomStream) delete FCompressedStream;
    FCompressedStream = nullptr;
}

void TCVBaseArchiver::CloseArchive() {
    if (FActive) {
        // Closing never fails because of what it writes: a host that must see commit errors ends its
        // update with EndUpdate before closing.
        try {
            FinishPendingWrites();
        } catch (...) {
        }
        FActive = false;
    }
    ReleaseArchiveStream();
}
