// The produced executable's own command line. Without arguments it unpacks as it always does; the
// options list or test the archive, pick another target folder, or keep it from asking and talking.
#pragma once

#include <string>
#include <vector>

namespace stub {

enum class TStubAction { Extract, List, Test, Help, Version };

struct TStubOptions {
    TStubAction Action = TStubAction::Extract;
    std::u16string Target;   // -d / --target; empty: the folder named after the executable
    bool Unattended = false; // -y: never ask, take the answers given when nobody is there
    bool Quiet = false;      // -q: no progress
    std::u16string Error;    // what is wrong with the arguments; empty when they can be used
};

// Reads the arguments (without the program's own name). "/?" asks for help as "--help" does.
TStubOptions ParseStubOptions(const std::vector<std::u16string>& Args);

// The usage text for the executable named ProgramName (its file name).
std::u16string StubUsage(const std::u16string& ProgramName);

}  // namespace stub
