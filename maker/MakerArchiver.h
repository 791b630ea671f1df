// The maker's archiver: the engine set up as the maker builds, remembering whether the user answered
// Abort to a failure question, since an aborted update still returns normally.
#pragma once

#include <cstdint>
#include <string>

#include "engine/Corvane.h"

namespace maker {

class TMakerArchiver : public TCorvane {
public:
    TMakerArchiver();

    void DoProcessFileFailure(const std::u16string& FileName, TCVProcessOperation Operation,
                              int32_t NativeError, int32_t ErrorCode, const std::u16string& ErrorMessage,
                              TCVAction& Action) override;

    // Whether a failure question was answered Abort since the last ClearAbort.
    bool AbortAnswered() const { return FAbortAnswered; }
    void ClearAbort() { FAbortAnswered = false; }

private:
    bool FAbortAnswered = false;
};

}  // namespace maker
