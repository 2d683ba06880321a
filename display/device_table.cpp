#include "display/device_table.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

HWND MainWindow = nullptr;
DeviceLists DeviceTable;

namespace {

// Device 0 lets Ctrl+Alt+Del through; every later device needs a device
// window of its own and shares the focus window with device 0.
constexpr DWORD FirstDeviceLevel = DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE;
constexpr DWORD LaterDeviceLevel =
    DDSCL_FULLSCREEN | DDSCL_EXCLUSIVE | DDSCL_SETFOCUSWINDOW | DDSCL_CREATEDEVICEWINDOW;

constexpr DWORD ModeWidth = 640;
constexpr DWORD ModeHeight = 480;
constexpr DWORD ModeBitsPerPixel = 8;

template <typename Interface>
void ReleaseEntry(Interface*& entry)
{
    if (entry != nullptr) {
        entry->Release();
        entry = nullptr;
    }
}

// Both surfaces come from one description: zeroed for the primary surface,
// then overwritten for the back surface, which takes the display's 8-bit
// format since none is given. Frames reach the screen by blitting, so no
// flipping chain is asked for.
int CreateSurfaces(std::size_t device)
{
    IDirectDraw7* directDraw = DeviceTable.directDraws[device];
    DDSURFACEDESC2 description;
    std::memset(&description, 0, sizeof description);
    description.dwSize = sizeof description;
    description.dwFlags = DDSD_CAPS;
    description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
    if (directDraw->CreateSurface(&description, &DeviceTable.primarySurfaces[device], nullptr) !=
        DD_OK) {
        return ReportDisplayFailure(MainWindow, "CreateSurface FAILED");
    }
    description.dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH;
    description.dwHeight = ModeHeight;
    description.dwWidth = ModeWidth;
    description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
    if (directDraw->CreateSurface(&description, &DeviceTable.backSurfaces[device], nullptr) !=
        DD_OK) {
        return ReportDisplayFailure(MainWindow, "CreateSurface FAILED");
    }
    return 1;
}

int OpenDevice(std::size_t device)
{
    if (DirectDrawCreateEx(&DeviceTable.guids[device],
                           reinterpret_cast<LPVOID*>(&DeviceTable.directDraws[device]),
                           IID_IDirectDraw7, nullptr) != DD_OK) {
        return ReportDisplayFailure(MainWindow, "DirectDrawCreateEx FAILED");
    }
    IDirectDraw7* directDraw = DeviceTable.directDraws[device];
    const DWORD level = device == 0 ? FirstDeviceLevel : LaterDeviceLevel;
    if (directDraw->SetCooperativeLevel(MainWindow, level) != DD_OK) {
        return ReportDisplayFailure(MainWindow, "SetCooperativeLevel FAILED");
    }
    if (directDraw->SetDisplayMode(ModeWidth, ModeHeight, ModeBitsPerPixel, 0, 0) != DD_OK) {
        return ReportDisplayFailure(MainWindow, "SetDisplayMode FAILED");
    }
    return CreateSurfaces(device);
}

}  // namespace

std::size_t DeviceCount()
{
    return DeviceTable.directDraws.size();
}

BOOL CALLBACK OnDisplayEnumerated(GUID* guid, LPSTR, LPSTR, LPVOID, HMONITOR)
{
    // The entry without a GUID stands for the default device; every monitor
    // is opened through its own GUID instead.
    if (guid != nullptr) {
        DeviceTable.guids.push_back(*guid);
    }
    return DDENUMRET_OK;
}

int OpenDisplays()
{
    DirectDrawEnumerateExA(OnDisplayEnumerated, nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
    const std::size_t count = DeviceTable.guids.size();
    DeviceTable.directDraws.assign(count, nullptr);
    DeviceTable.primarySurfaces.assign(count, nullptr);
    DeviceTable.backSurfaces.assign(count, nullptr);
    DeviceTable.palettes.assign(count, nullptr);
    for (std::size_t device = 0; device < count; ++device) {
        if (!OpenDevice(device)) {
            return 0;
        }
    }
    return 1;
}

void InstallPalette(PALETTEENTRY (&entries)[256])
{
    // A failed creation leaves the entry null; attaching null is harmless.
    for (std::size_t device = 0; device < DeviceCount(); ++device) {
        DeviceTable.directDraws[device]->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries,
                                                       &DeviceTable.palettes[device], nullptr);
        DeviceTable.primarySurfaces[device]->SetPalette(DeviceTable.palettes[device]);
    }
}

void ReleaseDisplays()
{
    // Releasing the DirectDraw object gives the display back; no mode or
    // cooperative level is restored by hand.
    for (std::size_t device = 0; device < DeviceCount(); ++device) {
        if (DeviceTable.directDraws[device] == nullptr) {
            continue;
        }
        ReleaseEntry(DeviceTable.primarySurfaces[device]);
        ReleaseEntry(DeviceTable.backSurfaces[device]);
        ReleaseEntry(DeviceTable.palettes[device]);
        ReleaseEntry(DeviceTable.directDraws[device]);
    }
}

int ReportDisplayFailure(HWND window, const char* format, ...)
{
    char text[128];
    va_list arguments;
    va_start(arguments, format);
    if (std::vsnprintf(text, sizeof text, format, arguments) < 0) {
        text[0] = '\0';
    }
    va_end(arguments);

    // The box comes up on the desktop, after every display has been given
    // back. Destroying the window runs ReleaseDisplays once more, which then
    // finds nothing left to release.
    ReleaseDisplays();
    MessageBoxA(window, text, ProgramName, MB_OK);
    DestroyWindow(window);
    return 0;
}
