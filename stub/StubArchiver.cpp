#include "stub/StubArchiver.h"


namespace stub {

// The stub reads names from the Unicode extra field where an archive has one.
TStubArchiver::TStubArchiver() { SetUpFormArchiver(*this, true); }

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

}  // namespace stub
