#include "platform/sdl/foreign_window.h"

#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <charconv>
#include <cstring>

namespace platform::sdl {

namespace {

int IgnoreError(::Display*, XErrorEvent*) {
    return 0;
}

// What the trap's handler saw: one trap at a time, on the one thread that
// talks to X.
struct TrappedErrors {
    unsigned long window = 0;
    bool windowGone = false;
    XErrorHandler previous = nullptr;
};
TrappedErrors Trapped;

int TrapError(::Display*, XErrorEvent* error) {
    const bool noWindow = error->error_code == BadWindow || error->error_code == BadDrawable;
    if (noWindow && error->resourceid == Trapped.window) {
        Trapped.windowGone = true;
    }
    return 0;
}

bool X11Window(SDL_Window* window, SDL_SysWMinfo& info) {
    SDL_VERSION(&info.version);
    return window != nullptr && SDL_GetWindowWMInfo(window, &info) &&
           info.subsystem == SDL_SYSWM_X11;
}

}  // namespace

std::optional<unsigned long> ParseWindowId(const char* text) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const char* first = text;
    const char* last = text + std::strlen(text);
    int base = 10;
    if (last - first > 2 && first[0] == '0' && (first[1] == 'x' || first[1] == 'X')) {
        first += 2;
        base = 16;
    }
    unsigned long id = 0;
    // from_chars takes no sign and no prefix of its own, so "-1", "+1" and
    // "0x0x1" are refused.
    const auto [end, error] = std::from_chars(first, last, id, base);
    if (first == last || error != std::errc{} || end != last || id == 0) {
        return std::nullopt;
    }
    return id;
}

bool WindowExists(unsigned long id) {
    ::Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XErrorHandler previous = XSetErrorHandler(IgnoreError);
    XWindowAttributes attributes;
    const Status found = XGetWindowAttributes(display, static_cast<Window>(id), &attributes);
    XSync(display, False);
    XSetErrorHandler(previous);
    XCloseDisplay(display);
    return found != 0;
}

void FollowChanges(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Window(window, info)) {
        return;
    }
    // Our own selection on the window; the owner's selections stay as they are.
    XSelectInput(info.info.x11.display, info.info.x11.window, StructureNotifyMask | ExposureMask);
    XFlush(info.info.x11.display);
}

bool SaysDestroyed(const SDL_SysWMmsg& message, SDL_Window* window) {
    SDL_SysWMinfo info;
    return message.subsystem == SDL_SYSWM_X11 && message.msg.x11.event.type == DestroyNotify &&
           X11Window(window, info) &&
           message.msg.x11.event.xdestroywindow.window == info.info.x11.window;
}

XErrorTrap::XErrorTrap(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (!X11Window(window, info)) {
        return;
    }
    display_ = info.info.x11.display;
    Trap(info.info.x11.window);
}

XErrorTrap::XErrorTrap(unsigned long window) {
    Trap(window);
}

XErrorTrap::~XErrorTrap() {
    if (!trapping_) {
        return;
    }
    if (display_ != nullptr) {
        XSync(display_, False);
    }
    XSetErrorHandler(Trapped.previous);
}

void XErrorTrap::Trap(unsigned long window) {
    Trapped = TrappedErrors{window, false, nullptr};
    Trapped.previous = XSetErrorHandler(TrapError);
    trapping_ = true;
}

void XErrorTrap::Watch(SDL_Window* window) {
    SDL_SysWMinfo info;
    if (X11Window(window, info)) {
        display_ = info.info.x11.display;
    }
}

bool XErrorTrap::WindowGone() {
    if (!trapping_) {
        return false;
    }
    if (display_ != nullptr) {
        XSync(display_, False);
    }
    return Trapped.windowGone;
}

}  // namespace platform::sdl
