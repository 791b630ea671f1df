// Self-extracting conversion: the stub program followed by a finished archive, with the directory
// rewritten so that every offset counts from the start of the joined file.
#include <algorithm>
#include <memory>
#include <vector>

#include "engine/archiver/CVBaseArchiver.h"
#include "engine/base/CVExcept.h"
#include "engine/format/CVDirManager.h"
#include "engine/util/CVStrFunc.h"

namespace {

constexpr size_t AppendBlockSize = 1 << 20;

// Whether two names reach the same file: the same full path, or (when both exist) the same file
// identity, which also sees through symbolic links, hard links and other spellings of a path.
bool NamesSameFile(const std::u16string& A, const std::u16string& B) {
    std::u16string fullA = FullPath(A);
    std::u16string fullB = FullPath(B);
    if (NativePathStyle == psWindows) {
        fullA = UpperCaseAscii(fullA);
        fullB = UpperCaseAscii(fullB);
    }
    if (!fullA.empty() && fullA == fullB) return true;
    platform::FolderId idA;
    platform::FolderId idB;
    return platform::GetFolderId(A, idA) && platform::GetFolderId(B, idB) && idA == idB;
}

}  // namespace

void TCVBaseArchiver::MakeSFX(const std::u16string& SFXFileName) {
    if (FSFXStub.empty()) throw ECVException(neNoSFXStub, this);
    if (!IsExistingFile(FSFXStub)) throw ECVException(neSFXStubNotFound, {FSFXStub}, this);
    if (FSpanningMode != smNone) throw ECVException(neSFXOnMultiVolume, this);

    // The target is created (and so emptied) before the source is read: were it the source archive
    // or the stub itself, that would destroy the very bytes about to be copied.
    const bool openOnFile = FActive && FCompressedStream && !FIsCustomStream && !FInMemory;
    const std::u16string sourceName = openOnFile && !VolumeFileName.empty() ? VolumeFileName : FFileName;
    const bool sourceIsFile = !FActive || openOnFile;
    if ((sourceIsFile && NamesSameFile(SFXFileName, sourceName)) || NamesSameFile(SFXFileName, FSFXStub))
        throw ECVException(neCannotCreateFile, {SFXFileName}, this);

    if (InUpdate()) CommitUpdate();

    platform::FileStream stub(FSFXStub, platform::fmOpenRead | platform::fmShareDenyNone);
    platform::FileStream target(SFXFileName, platform::fmCreate);

    std::unique_ptr<platform::FileStream> ownSource;
    platform::Stream* source = FCompressedStream;
    bool hasStub;
    if (FActive && FCompressedStream && FDMHandle) {
        hasStub = FDMHandle->IsSFXArchive();
    } else {
        ownSource = std::make_unique<platform::FileStream>(FFileName, platform::fmOpenRead | platform::fmShareDenyNone);
        source = ownSource.get();
        TCVDirManager sourceDir(source, this, false);
        sourceDir.LoadDir();
        hasStub = sourceDir.IsSFXArchive();
    }
    source->SetPosition(0);
    if (hasStub) throw ECVException(neAlreadySFX, this);

    const int64_t stubSize = target.CopyFrom(stub, 0);
    const int64_t sourceSize = source->Size();
    FProgressEnabled = true;
    if (!FastFileAppend(target, *source, FFileName)) throw ECVException(neSFXAppendFailed, this);
    // A progress handler may stop the append early without it counting as a failure; a file holding
    // only part of the archive must not pass for a finished conversion.
    if (target.Size() != stubSize + sourceSize) throw ECVException(neSFXAppendFailed, this);

    // Loading the joined file measures the stub and, since the copied offsets still count from the
    // archive's own start, shifts them; saving in place then writes them back over the old directory.
    TCVDirManager joined(&target, this, false);
    joined.LoadDir();
    joined.SaveDir(false);
}

bool TCVBaseArchiver::FastFileAppend(platform::Stream& Output, platform::Stream& InFileStream,
                                     const std::u16string& FileName) {
    bool result = true;
    Output.Seek(0, platform::SeekOrigin::End);
    const int64_t total = InFileStream.Size();
    InFileStream.SetPosition(0);
    int64_t done = 0;
    std::vector<uint8_t> buffer(AppendBlockSize);

    bool cancel = false;
    if (FProgressEnabled) {
        DoFileProgress(FileName, 0, poMakeSFX, ppStart, cancel);
        DoOverallProgress(0, poMakeSFX, ppStart, cancel);
    }
    FProgressMax = total;
    while (true) {
        FProgress = done;
        if (FProgressEnabled) {
            // Nothing to copy is as good as all of it copied; it must not become a division by zero.
            const double percent = total > 0 ? static_cast<double>(done) / static_cast<double>(total) * 100.0 : 100.0;
            cancel = false;
            DoFileProgress(FileName, percent, poMakeSFX, ppProcess, cancel);
            if (cancel) break;
            DoOverallProgress(percent, poMakeSFX, ppProcess, cancel);
            if (cancel) break;
        }
        // Never more than the size taken at the start: a source that grows meanwhile is not followed.
        const size_t ask = static_cast<size_t>(std::min<int64_t>(AppendBlockSize, total - done));
        const size_t n = InFileStream.Read(buffer.data(), ask);
        done += static_cast<int64_t>(n);
        if (n < ask && done < total) {
            result = false;
            break;
        }
        if (Output.Write(buffer.data(), n) < n) {
            result = false;
            break;
        }
        if (done >= total) break;
    }
    if (FProgressEnabled) {
        cancel = false;
        DoFileProgress(FileName, 100, poMakeSFX, ppEnd, cancel);
        DoOverallProgress(100, poMakeSFX, ppEnd, cancel);
    }
    return result;
}
