// The maker's window: a folder field, a browse button, the build button and the exit button.
#pragma once

#include <functional>
#include <string>

namespace maker {

// What the window asks of the rest of the maker. The window knows nothing of the stub file or of the
// archiver; it only calls these at the moments the user's actions call for.
struct MainWindowActions {
    // Runs once as the window is created, before it is shown (the stub file is written here). An
    // exception is shown in an error box and the window opens all the same.
    std::function<void()> FormCreate;
    // The build of one folder, given the folder text exactly as typed and already checked to name an
    // existing folder. Returns the message that reports success, shown in a plain message box. An
    // exception ends the build: its message is shown in an error box and the window stays usable.
    std::function<std::u16string(const std::u16string& folder)> Build;
    // Runs once when the window closes, however it is closed (the stub file is deleted here).
    std::function<void()> FormClose;
};

// Shows the window and runs it until it is closed. While it runs, the platform's dialogs are FLTK
// message boxes and password prompts (the ones in force before are put back at the end). Returns the
// process's exit status: 0, or 1 when no display can be opened (said on standard error).
int RunMainWindow(const MainWindowActions& actions);

}  // namespace maker
