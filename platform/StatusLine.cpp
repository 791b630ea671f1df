#include <cstdio>

#include "platform/Platform.h"

namespace platform {

void DrawStatusLine(const std::string& text) {
    const std::string line = "\r" + text + "\x1b[K";
    std::fwrite(line.data(), 1, line.size(), stderr);
    std::fflush(stderr);
}

void ClearStatusLine() {
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
}

}  // namespace platform
