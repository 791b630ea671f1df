// Update transactions: beginning, nesting, ending (whose outermost level commits, CVCommit.cpp) and
// cancelling, and the frame the changing operations run in.
#include "engine/archiver/CVBaseArchiver.h"
#include "engine/archiver/CVCommit.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"

namespace {

constexpr uint16_t WriteAccessOrCreate = 0xFF03;

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
    TCVCommit(*this).Run();
}
