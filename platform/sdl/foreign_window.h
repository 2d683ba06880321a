// The window another program hands over to draw in, as XScreenSaver does
// through $XSCREENSAVER_WINDOW.
#pragma once

#include <SDL.h>

#include <optional>

// SDL's window-manager message and Xlib's display, declared here so that
// Xlib's macros stay out of the files that include this one.
struct SDL_SysWMmsg;
struct _XDisplay;

namespace platform::sdl {

// An X window id written in decimal or as 0x followed by hexadecimal digits;
// nothing for any other text, and for 0.
std::optional<unsigned long> ParseWindowId(const char* text);

// Whether the window exists on the X server that $DISPLAY names. Asked
// before SDL sees the id, since SDL ends the process on an X error.
bool WindowExists(unsigned long id);

// Asks the X server to tell SDL when the window changes size or has to be
// drawn again: a window SDL did not create reports neither by itself.
void FollowChanges(SDL_Window* window);

// Whether an event SDL passed on as a window-manager message says that the
// window was destroyed (XScreenSaver destroys its window when it is done).
bool SaysDestroyed(const SDL_SysWMmsg& message, SDL_Window* window);

// While it lives, X errors caused by requests on the window are collected
// instead of reaching the default handler, which ends the process. A window
// another program owns may change size or disappear between two of our
// requests. Does nothing for a window that is not on X.
class XErrorTrap {
public:
    explicit XErrorTrap(SDL_Window* window);
    // For a window that SDL is about to take: errors are collected at once,
    // and answers are waited for once Watch names SDL's window for it.
    explicit XErrorTrap(unsigned long window);
    // Waits for the answers to every request made meanwhile, then gives the
    // previous handler back.
    ~XErrorTrap();
    XErrorTrap(const XErrorTrap&) = delete;
    XErrorTrap& operator=(const XErrorTrap&) = delete;

    // Whether an error said that the window no longer exists.
    bool WindowGone();
    void Watch(SDL_Window* window);

private:
    void Trap(unsigned long window);

    ::_XDisplay* display_ = nullptr;
    bool trapping_ = false;
};

}  // namespace platform::sdl
