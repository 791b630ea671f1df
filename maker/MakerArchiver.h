// The maker's archiver: the engine set up as the maker builds, remembering whether the user answered
// Abort to a failure question (an aborted update still returns normally), passing the engine's
// progress on to the host, and stopping a build when the host asks it to.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/Corvane.h"

namespace maker {

// Where a build stands: the file being stored (its path on disk) and the share of the bytes to store
// that are done.
struct TBuildProgress {
    std::u16string FileName;
    double Percent = 0;
    int64_t BytesDone = 0;
    int64_t BytesTotal = 0;
};
using TBuildProgressHandler = std::function<void(const TBuildProgress&)>;

class TMakerArchiver : public TCorvane {
public:
    TMakerArchiver();

    void DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                              int32_t NativeError, int32_t ErrorCode, const std::u16string& ErrorMessage,
                              TCVAction& Action) override;
    void DoFileProgress(const std::u16string& FileName, double Progress, TCVProcessOperation Operation,
                        TCVProgressPhase ProgressPhase, bool& Cancel) override;
    void DoOverallProgress(double Progress, TCVProcessOperation Operation, TCVProgressPhase ProgressPhase,
                           bool& Cancel) override;

    // Whether a failure question was answered Abort since the last ClearAbort.
    bool AbortAnswered() const { return FAbortAnswered; }
    // Files and folders left out by an Ignore answer since the last ClearAbort.
    int32_t IgnoredCount() const { return FIgnoredCount; }
    void ClearAbort() {
        FAbortAnswered = false;
        FIgnoredCount = 0;
    }

    // Called on the building thread at every progress step of the commit.
    void SetProgressHandler(TBuildProgressHandler Handler) { FProgressHandler = std::move(Handler); }
    // May be called from any thread: the commit stops at its next progress step and rolls back.
    void RequestStop() { FStopRequested = true; }
    bool StopRequested() const { return FStopRequested; }
    void ClearStop() { FStopRequested = false; }

private:
    bool FAbortAnswered = false;
    int32_t FIgnoredCount = 0;
    std::atomic<bool> FStopRequested{false};
    TBuildProgressHandler FProgressHandler;
    std::u16string FCurrentFile;
};

}  // namespace maker
