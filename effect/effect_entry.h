// The effect's two entry points that reach the platform: the picture comes
// from the executable's resources and the scroll from the millisecond clock.
#pragma once

#include <cstdint>

#include "platform/win32.h"

// Finds the picture resource (RT_RCDATA, identifier 106), decodes it into
// PaletteRgb and TextureTable and fills the 256 palette entries that the
// displays are to be given. Returns 1 on success, 0 when the resource is
// missing or shorter than a picture, in which case nothing is read.
int LoadImageResource(PALETTEENTRY (&entries)[256]);

// With a null target: the renderer's one-time preparation. Otherwise renders
// the frame for the current clock reading into 307,200 bytes at target.
void RenderFrame(std::uint8_t* target);
