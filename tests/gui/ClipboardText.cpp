// Prints the X clipboard's text (UTF-8) on standard output: the window test reads back what a message
// box copied with Ctrl+C, since the box's text cannot be read from outside otherwise.
// Exit status 0 with the text, 1 when there is no display, no owner or no answer within the timeout.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

int ReadClipboard(Display* display, int timeoutMs) {
    const Atom clipboard = XInternAtom(display, "CLIPBOARD", False);
    const Atom utf8 = XInternAtom(display, "UTF8_STRING", False);
    const Atom property = XInternAtom(display, "SELFPACK_TEST_CLIPBOARD", False);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    // The key that copies may still be on its way to the program that takes the clipboard.
    while (XGetSelectionOwner(display, clipboard) == None) {
        if (std::chrono::steady_clock::now() >= deadline) return 1;
        poll(nullptr, 0, 50);
    }
    const Window window = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(display, clipboard, utf8, property, window, CurrentTime);
    XFlush(display);

    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type != SelectionNotify) continue;
            if (event.xselection.property == None) return 1;
            Atom type;
            int format;
            unsigned long count, after;
            unsigned char* data = nullptr;
            if (XGetWindowProperty(display, window, property, 0, 1 << 20, True, AnyPropertyType, &type,
                                   &format, &count, &after, &data) != Success)
                return 1;
            if (data) {
                std::fwrite(data, 1, count * (format / 8), stdout);
                XFree(data);
            }
            return 0;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return 1;
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, int(left.count()));
    }
}

}  // namespace

int main(int argc, char** argv) {
    Display* display = XOpenDisplay(nullptr);
    if (!display) return 1;
    const int status = ReadClipboard(display, argc > 1 ? std::atoi(argv[1]) : 5000);
    XCloseDisplay(display);
    return status;
}
