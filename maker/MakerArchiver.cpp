#include "maker/MakerArchiver.h"

namespace maker {

// The maker writes no Unicode extra field.
TMakerArchiver::TMakerArchiver() { SetUpFormArchiver(*this, false); }

void TMakerArchiver::DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                                          int32_t NativeError, int32_t ErrorCode,
                                          const std::u16string& ErrorMessage, TCVAction& Action) {
    TCorvane::DoProcessFileFailure(FileName, Operation, NativeError, ErrorCode, ErrorMessage, Action);
    if (Action == fxaAbort) FAbortAnswered = true;
    if (Action == fxaIgnore) ++FIgnoredCount;
}

void TMakerArchiver::DoFileProgress(const std::u16string& FileName, double Progress, TCVProcessOperation Operation,
                                    TCVProgressPhase ProgressPhase, bool& Cancel) {
    TCorvane::DoFileProgress(FileName, Progress, Operation, ProgressPhase, Cancel);
    FCurrentFile = FileName;
    if (FStopRequested) Cancel = true;
}

void TMakerArchiver::DoOverallProgress(double Progress, TCVProcessOperation Operation,
                                       TCVProgressPhase ProgressPhase, bool& Cancel) {
    TCorvane::DoOverallProgress(Progress, Operation, ProgressPhase, Cancel);
    // Only the commit's steps count: they are the ones that measure the bytes stored.
    if (FProgressHandler && Operation == poAdd) {
        TBuildProgress step;
        step.FileName = FCurrentFile;
        step.Percent = Progress;
        step.BytesTotal = FProcessedFilesTotalSize;
        step.BytesDone = static_cast<int64_t>(static_cast<double>(FProcessedFilesTotalSize) * Progress / 100.0);
        FProgressHandler(step);
    }
    if (FStopRequested) Cancel = true;
}

}  // namespace maker
