// The maker: without arguments the window, with arguments the command line.
#include <cstdio>

#include "maker/CommandLine.h"
#if defined(SELFPACK_HAS_WINDOW)
#include "maker/MainWindow.h"
#endif

int main(int argc, char** argv) {
    if (argc > 1) return maker::RunCommandLine(argc, argv);
#if defined(SELFPACK_HAS_WINDOW)
    return maker::RunMainWindow(argc, argv);
#else
    std::fputs("selfpack: this build has no window; see 'selfpack --help'\n", stderr);
    return 2;
#endif
}
