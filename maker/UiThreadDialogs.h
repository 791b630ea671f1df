// Dialogs that a build running off the interface thread can show: a question asked from another
// thread is handed to the interface thread, which shows it between its events, and the asking thread
// waits for the answer. Asked on the interface thread, the dialogs are shown at once.
#pragma once

#include <memory>

#include "platform/Platform.h"

namespace maker {

// Wraps Inner; must be made on the interface thread after Fl::lock() has been called there once.
std::unique_ptr<platform::Dialogs> MakeUiThreadDialogs(std::unique_ptr<platform::Dialogs> Inner);

}  // namespace maker
