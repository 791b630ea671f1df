// The maker's window: a folder field, a browse button, the build button and the exit button.
#pragma once

namespace maker {

// Shows the window and runs it until it is closed (the maker started without arguments; argv[0] is the
// program). The window writes the temporary stub file as it is created and deletes it when it closes;
// each press of the build button checks the folder text and runs the build. While it runs, the
// platform's dialogs are FLTK message boxes and password prompts (the ones in force before are put back
// at the end). Returns the process's exit status: 0, or 1 when no display can be opened (said on
// standard error).
int RunMainWindow(int argc, char** argv);

}  // namespace maker
