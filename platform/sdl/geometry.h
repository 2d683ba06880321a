// Rectangles of the pictures the devices show.
#pragma once

#include <SDL.h>

#include "platform/api/win32_api.h"

namespace platform::sdl {

// Where a picture goes in an output: as large as fits with its aspect ratio
// kept, centred, with black bars on two sides.
SDL_Rect FitRect(int outputWidth, int outputHeight, int pictureWidth, int pictureHeight);

bool IsEmpty(const RECT& rect);

// The part of rect that lies inside a width x height surface.
RECT Clip(const RECT& rect, int width, int height);

// The smallest rectangle that holds both; an empty one adds nothing.
RECT Union(const RECT& a, const RECT& b);

SDL_Rect ToSdl(const RECT& rect);

}  // namespace platform::sdl
