#include "platform/Platform.h"
#include "platform/posix/PosixSupport.h"

#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

std::mutex dialogsLock;
std::unique_ptr<Dialogs> installed;

}  // namespace

std::unique_ptr<Dialogs> MakeTerminalDialogs() {
    return posix::MakeTerminalDialogsOn(STDIN_FILENO, STDERR_FILENO);
}

// A terminal only when someone can both see the question and answer it; otherwise a run from a script
// must not wait on input that never comes.
Dialogs& CurrentDialogs() {
    std::lock_guard<std::mutex> guard(dialogsLock);
    if (!installed)
        installed = isatty(STDIN_FILENO) && isatty(STDERR_FILENO) ? MakeTerminalDialogs()
                                                                  : MakeNonInteractiveDialogs();
    return *installed;
}

std::unique_ptr<Dialogs> InstallDialogs(std::unique_ptr<Dialogs> dialogs) {
    std::lock_guard<std::mutex> guard(dialogsLock);
    std::swap(installed, dialogs);
    return dialogs;
}

}  // namespace platform
