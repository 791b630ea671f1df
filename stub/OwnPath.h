// Where the running stub finds its own file, the archive it extracts.
#pragma once

#include <string>

namespace stub {

// The executable's path: SystemPath, what the system names as the running program, when it names one.
// When it cannot (Linux without /proc mounted), the program's first argument is resolved as the shell
// resolved it: a name with a separator is a path from the current folder; a bare name is the first
// executable file of that name in the folders of SearchPath (a PATH value: ":"-separated, ";" on
// Windows; an empty folder is the current one), else the name in the current folder. Empty when there
// is nothing to go by.
std::u16string OwnPath(const std::u16string& SystemPath, const std::u16string& Argument0,
                       const std::u16string& SearchPath);

}  // namespace stub
