// The window another program hands over to draw in, as XScreenSaver does
// through $XSCREENSAVER_WINDOW.
#pragma once

#include <SDL.h>

#include <optional>

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

}  // namespace platform::sdl
