// The one window of the program: a borderless popup over the primary screen
// with no cursor, the cooperative window of every display device. Its window
// procedure turns any key press, or a mouse move away from the first reported
// position, into the end of the run.
#pragma once

#include <cstdint>

#include "display/device_table.h"
#include "platform/win32.h"

// The low word of the last WM_ACTIVATE's wParam: 0 while the window is
// inactive. Frames are produced only while it is nonzero.
extern std::uint32_t AppActive;

// The one message record of the run, shared by the frame loop and
// DiscardPendingMouseMove.
extern MSG MessageRecord;

// Registers the window class, creates the window at the primary screen's
// size and shows it. Returns 1 when the window exists, 0 when it could not
// be created.
int CreateMainWindow(HINSTANCE instance, int showCommand);

// Removes one waiting WM_MOUSEMOVE without dispatching it, so that the move
// the mode switch produces never ends the run.
void DiscardPendingMouseMove();

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
