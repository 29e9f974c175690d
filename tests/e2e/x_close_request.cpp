// Sends a window the window manager's close request, for the end-to-end
// scripts.
//   x_close_request WINDOW-ID
#include <X11/Xlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "../x_close.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: x_close_request WINDOW-ID\n");
        return 2;
    }
    char* end = nullptr;
    const Window window = std::strtoul(argv[1], &end, 0);
    if (!*argv[1] || *end) {
        std::fprintf(stderr, "x_close_request: not a window id: %s\n", argv[1]);
        return 2;
    }
    // A busy Xvfb refuses a connection now and then.
    Display* display = nullptr;
    for (int attempt = 0; attempt < 5 && !display; ++attempt) {
        display = XOpenDisplay(nullptr);
        if (!display) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (!display) {
        std::fprintf(stderr, "x_close_request: cannot open the display\n");
        return 1;
    }
    const bool sent = SendDeleteWindow(display, window);
    XCloseDisplay(display);
    return sent ? 0 : 1;
}
