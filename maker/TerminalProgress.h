// The command line's progress: one line on a terminal's standard error that redraws itself in place
// (share of bytes stored, rate, the file being stored) and is erased when the build ends. Anywhere
// else (a pipe, a file) it writes nothing, so logs hold only the outcome.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

#include "maker/MakerArchiver.h"

namespace maker {

// The line for one step: " 42%  12.3 MiB/s  docs/guide.txt", the rate left out while too little time
// has passed to measure it, the file named relative to BaseDir when it lies below it, and its start
// cut (marked "...") so that the line fits Width columns.
std::string ProgressLine(const TBuildProgress& Step, double Seconds, const std::u16string& BaseDir, size_t Width);

class TTerminalProgress {
public:
    // Shows nothing unless Enabled (the caller checks for a terminal and for -q).
    TTerminalProgress(std::u16string BaseDir, bool Enabled);
    ~TTerminalProgress();
    TTerminalProgress(const TTerminalProgress&) = delete;
    TTerminalProgress& operator=(const TTerminalProgress&) = delete;

    void Step(const TBuildProgress& Step);
    // Erases the line (nothing if none was drawn).
    void Finish();

private:
    std::u16string FBaseDir;
    bool FEnabled;
    bool FDrawn = false;
    size_t FWidth;
    std::chrono::steady_clock::time_point FStart;
    std::chrono::steady_clock::time_point FLastDraw;
};

}  // namespace maker
