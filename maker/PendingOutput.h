// An output that appears whole or not at all: it is written under a unique temporary name in the
// folder of its final name and takes that name only when complete, in one rename that replaces
// whatever held the name before. A build that fails, is stopped or is interrupted leaves an older
// output as it was and no temporary file behind.
#pragma once

#include <string>

namespace maker {

class TPendingOutput {
public:
    // Creates the temporary file beside FinalName. Throws platform::FileError naming FinalName when its
    // folder cannot take a new file (missing, not writable, full).
    explicit TPendingOutput(std::u16string FinalName);
    // Deletes the temporary file unless it was committed.
    ~TPendingOutput();
    TPendingOutput(const TPendingOutput&) = delete;
    TPendingOutput& operator=(const TPendingOutput&) = delete;

    const std::u16string& TempName() const { return FTempName; }
    const std::u16string& FinalName() const { return FFinalName; }

    // Gives the finished file the permissions of a newly created executable and moves it to its final
    // name. Throws platform::FileError when the rename fails; the temporary file is then deleted.
    void Commit();

private:
    std::u16string FFinalName;
    std::u16string FTempName;
    bool FCommitted = false;
};

// Deletes the temporary file of the output being written, and the stub file, when the process is
// interrupted (Ctrl-C, a hang-up, a termination request), then ends it as the signal would have. Only
// a kill that cannot be caught leaves the temporary file (a hidden name beside the output).
void RemovePendingOutputOnInterrupt(const std::u16string& StubFileName);

}  // namespace maker
