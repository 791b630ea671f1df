// The unpacking's progress on a terminal: nothing for the first moment (most archives are done by
// then), after that one line on standard error that redraws itself in place and is erased at the end.
#pragma once

#include <chrono>
#include <string>

namespace stub {

class TStubProgress {
public:
    // Shows nothing unless Enabled (the caller checks for a terminal and for -q).
    explicit TStubProgress(bool Enabled);
    ~TStubProgress();
    TStubProgress(const TStubProgress&) = delete;
    TStubProgress& operator=(const TStubProgress&) = delete;

    void Step(const std::u16string& FileName, double Percent);
    // Erases the line, if one was drawn.
    void Finish();

private:
    bool FEnabled;
    bool FDrawn = false;
    std::chrono::steady_clock::time_point FStart;
    std::chrono::steady_clock::time_point FLastDraw;
};

}  // namespace stub
