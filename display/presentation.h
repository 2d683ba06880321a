// Bringing each frame to every monitor: the frame is rendered into the back
// surface of every device, and after the vertical blank each back surface is
// blitted onto its primary surface.
#pragma once

#include <cstdint>

#include "effect/effect.h"

// The frame is rendered here when there is not exactly one device, and from
// here copied to every device, so it is computed once however many there are.
extern std::uint8_t StagingFrame[FrameBytes];

// Renders the next frame into the back surface of every device. A device
// whose back surface cannot be locked keeps its previous frame this time.
void RenderToDevices();

// Blits the inner 636x476 pixels of every back surface onto its primary
// surface, waiting out a busy blitter and restoring lost surfaces. A device
// that still fails misses this frame; nothing is reported.
void PresentToDevices();
