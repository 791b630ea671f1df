// The stub's archiver: the engine set up as the stub extracts, keeping count of the entries that did
// not make it to disk so the program can say so and end with a failure status.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/Corvane.h"

namespace stub {

class TStubArchiver : public TCorvane {
public:
    TStubArchiver();

    // The default questions still decide (Abort, Retry, Ignore; the password prompt); the answers
    // that leave an entry behind are counted on the way out.
    void DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                              int32_t NativeError, int32_t ErrorCode, const std::u16string& ErrorMessage,
                              TCVAction& Action) override;
    void DoPassword(const std::u16string& FileName, std::string& NewPassword, bool& SkipFile) override;
    void DoFileProgress(const std::u16string& FileName, double Progress, TCVProcessOperation Operation,
                        TCVProgressPhase ProgressPhase, bool& Cancel) override;
    void DoOverallProgress(double Progress, TCVProcessOperation Operation, TCVProgressPhase ProgressPhase,
                           bool& Cancel) override;

    // Checking instead of unpacking: every failure is noted (name and message) and the entry passed
    // over, without a question, so that one check names every damaged entry.
    void SetNoteFailures(bool Value) { FNoteFailures = Value; }
    struct TFailure {
        std::u16string FileName;
        std::u16string Message;
    };
    const std::vector<TFailure>& Failures() const { return FFailures; }

    // Called at every progress step with the entry being processed and the share of entries done.
    void SetProgressHandler(std::function<void(const std::u16string& FileName, double Percent)> Handler) {
        FProgressHandler = std::move(Handler);
    }

    // Entries that reached the disk in the last batch (a batch counts a password-skipped entry as
    // done, though its file is deleted again).
    int32_t ExtractedCount() const { return FProcessedFileNo - FPasswordSkipped; }
    // Entries left out by an Ignore answer or a cancelled password prompt.
    int32_t SkippedCount() const { return FSkipped; }
    // Whether an Abort answer ended the batch.
    bool Aborted() const { return FAborted; }

private:
    int32_t FSkipped = 0;
    int32_t FPasswordSkipped = 0;
    bool FAborted = false;
    bool FNoteFailures = false;
    std::vector<TFailure> FFailures;
    std::function<void(const std::u16string&, double)> FProgressHandler;
    std::u16string FCurrentFile;
};

}  // namespace stub
