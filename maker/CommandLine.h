// The maker's command line: selfpack [-o OUTPUT] FOLDER.
#pragma once

namespace maker {

// Runs the build the arguments ask for (argv[0] is the program) and gives the exit status: 0 when the
// executable was made, 1 when the build failed or was aborted, 2 for arguments it cannot use.
int RunCommandLine(int argc, char** argv);

}  // namespace maker
