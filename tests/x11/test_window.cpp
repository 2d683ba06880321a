// glorp-test-window WIDTH HEIGHT X Y: maps a plain window of that size at that
// place, the way XScreenSaver makes one for a screen saver to draw in, prints
// its id in hexadecimal and keeps it until the process is ended.
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s WIDTH HEIGHT X Y\n", argv[0]);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "%s: cannot open the display\n", argv[0]);
        return 1;
    }
    const int screen = DefaultScreen(display);
    // Red, so that any part the screen saver leaves undrawn shows.
    XSetWindowAttributes attributes{};
    attributes.background_pixel = 0xFF0000;
    attributes.override_redirect = True;
    const Window window = XCreateWindow(
        display, RootWindow(display, screen), std::atoi(argv[3]), std::atoi(argv[4]),
        static_cast<unsigned>(std::atoi(argv[1])), static_cast<unsigned>(std::atoi(argv[2])), 0,
        CopyFromParent, InputOutput, CopyFromParent, CWBackPixel | CWOverrideRedirect,
        &attributes);
    XSelectInput(display, window, StructureNotifyMask);
    XMapWindow(display, window);
    for (;;) {
        XEvent event;
        XNextEvent(display, &event);
        if (event.type == MapNotify) {
            std::printf("0x%lx\n", window);
            std::fflush(stdout);
        }
    }
}
