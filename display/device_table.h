// The display devices: one DirectDraw object per monitor, each in exclusive
// full-screen 640x480 mode with 256 colours, a primary surface, a back
// surface in system memory and, once the picture is decoded, a palette.
#pragma once

#include <cstddef>
#include <vector>

#include "platform/win32.h"

// Window class name, window title, class menu name and message-box caption.
inline constexpr char ProgramName[] = "Glorp 1.1";

// The program's one window, the cooperative window of every device and the
// owner of the failure box. Null until the shell has created it.
extern HWND MainWindow;

// Five parallel lists; entry i of each belongs to device i, numbered in the
// order enumeration reported the devices. The pointer lists hold the one
// reference the program takes on each object; ReleaseDisplays gives it back
// and sets the entry to null. The lists are sized once, when the devices are
// opened, and never grow afterwards.
struct DeviceLists {
    std::vector<GUID> guids;
    std::vector<IDirectDraw7*> directDraws;
    std::vector<IDirectDrawSurface7*> primarySurfaces;
    std::vector<IDirectDrawSurface7*> backSurfaces;
    std::vector<IDirectDrawPalette*> palettes;
};

extern DeviceLists DeviceTable;

// The number of devices that have an entry in every list.
std::size_t DeviceCount();

// Enumerates the devices and opens each in turn. Returns 1 when every device
// is open (also when there is none), 0 after reporting the first failing call
// through ReportDisplayFailure.
int OpenDisplays();

// The enumeration callback: keeps the GUID of every entry that has one.
BOOL CALLBACK OnDisplayEnumerated(GUID* guid, LPSTR description, LPSTR name,
                                  LPVOID context, HMONITOR monitor);

// Gives every open device a palette of its own holding these 256 colours and
// attaches it to the device's primary surface.
void InstallPalette(PALETTEENTRY (&entries)[256]);

// Releases every surface, palette and DirectDraw object still held. Safe to
// call any number of times: a released entry is null and is not touched again.
void ReleaseDisplays();

// Releases the displays, shows the formatted text (at most 127 characters) in
// a message box owned by window, then destroys window. Always returns 0, the
// failure result of the start-up step that reports.
[[gnu::format(printf, 2, 3)]]
int ReportDisplayFailure(HWND window, const char* format, ...);
