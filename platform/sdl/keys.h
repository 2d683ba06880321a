// Keys as the program's windows receive them: SDL key presses become the
// platform's key messages, with its virtual-key codes.
#pragma once

#include <SDL.h>

#include "platform/core/backend.h"

namespace platform::sdl {

// The virtual-key code of an SDL key; 0 for keys that have none.
int VirtualKey(SDL_Keycode key);

// A key press or release. With Alt held, or for F10, it is a system key, as
// the platform reports those keys to a window.
InputEvent KeyEvent(const SDL_KeyboardEvent& key);

}  // namespace platform::sdl
