#include "platform/Platform.h"

#include <unistd.h>

namespace platform {

bool StdOutIsTerminal() { return isatty(STDOUT_FILENO) == 1; }
bool StdErrIsTerminal() { return isatty(STDERR_FILENO) == 1; }

}  // namespace platform
