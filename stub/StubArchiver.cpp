#include "stub/StubArchiver.h"

#include "engine/format/CVDirManager.h"

namespace stub {

TStubArchiver::TStubArchiver() {
    SetName(u"Archiver");
    // The values the stub's form stores for its archiver; everything else keeps the defaults, among
    // them OverwriteMode omAlways, CreateDirs, ReplaceReadOnly, SetAttributes, Recurse and
    // OpenCorruptedArchives.
    SetExtractCorruptedFiles(false);
    SetCompressionLevel(clMax);
    SetCompressionMode(9);
    SetSpanningMode(smNone);
    SpanningOptions().SetAdvancedNaming(true);
    SpanningOptions().SetFirstVolumeSize(0);
    SpanningOptions().SetVolumeSize(vsAutoDetect);
    SpanningOptions().SetCustomVolumeSize(65536);
    Options().SetShareMode(smShareCompat);
    Options().SetFlushBuffers(true);
    Options().SetOEMFileNames(true);
    SetInMemory(false);
    SetZip64Mode(zmDisabled);
    SetUnicodeFilenames(true);
    SetEncryptionMethod(caPkzipClassic);
}

void TStubArchiver::DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                                         int32_t NativeError, int32_t ErrorCode,
                                         const std::u16string& ErrorMessage, TCVAction& Action) {
    if (FNoteFailures) {
        FFailures.push_back({FileName, ErrorMessage});
        Action = fxaIgnore;
        return;
    }
    TCorvane::DoProcessFileFailure(FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
    if (Action == fxaIgnore)
        ++FSkipped;
    else if (Action == fxaAbort)
        FAborted = true;
}

void TStubArchiver::DoPassword(const std::u16string& FileName, std::string& NewPassword, bool& SkipFile) {
    TCorvane::DoPassword(FileName, NewPassword, SkipFile);
    if (SkipFile) {
        ++FSkipped;
        ++FPasswordSkipped;
    }
}

void TStubArchiver::DoFileProgress(const std::u16string& FileName, double Progress, TCVProcessOperation Operation,
                                   TCVProgressPhase ProgressPhase, bool& Cancel) {
    TCorvane::DoFileProgress(FileName, Progress, Operation, ProgressPhase, Cancel);
    FCurrentFile = FileName;
}

void TStubArchiver::DoOverallProgress(double Progress, TCVProcessOperation Operation, TCVProgressPhase ProgressPhase,
                                      bool& Cancel) {
    TCorvane::DoOverallProgress(Progress, Operation, ProgressPhase, Cancel);
    if (FProgressHandler) FProgressHandler(FCurrentFile, Progress);
}

int32_t TStubArchiver::EntryCount() const { return DMHandle() ? DMHandle()->CDir.Count() : 0; }

bool TStubArchiver::HasEndRecord() const {
    if (!CompressedStream()) return false;
    TCVDirManager probe(CompressedStream(), nullptr, false);
    TCVZipCentralDirEnd record;
    int64_t position = -1;
    return probe.FindCentralDirEnd(record, position);
}

}  // namespace stub
