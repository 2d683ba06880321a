// The platform API over the SDL backend on a real X server (the test runs
// under a private Xvfb with one 640x480 screen): enumeration, lost
// surfaces, a window manager's close request and the loss of focus.
// gtest comes before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xlib.h>

#include <chrono>
#include <functional>
#include <vector>

#include "platform/win32.h"

namespace {

std::vector<UINT> Received;
std::vector<WPARAM> Activations;

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Received.push_back(message);
    if (message == WM_ACTIVATE) {
        Activations.push_back(wParam & 0xFFFF);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

bool Seen(UINT message) {
    for (UINT received : Received) {
        if (received == message) {
            return true;
        }
    }
    return false;
}

// Dispatches messages until the condition holds; false after ten seconds.
bool PumpUntil(const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    MSG message;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        SDL_Delay(10);
    }
    return true;
}

HWND ShowTestWindow() {
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.lpszClassName = "backend test";
        RegisterClassA(&windowClass);
        registered = true;
    }
    const HWND window = CreateWindowExA(0, "backend test", "backend test", WS_POPUP, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                        nullptr, nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    return window;
}

// The X window behind the program's one shown SDL window.
Window XWindowOfShownWindow() {
    for (Uint32 id = 1; id < 64; ++id) {
        SDL_Window* window = SDL_GetWindowFromID(id);
        if (window == nullptr || (SDL_GetWindowFlags(window) & SDL_WINDOW_SHOWN) == 0) {
            continue;
        }
        SDL_SysWMinfo info;
        SDL_VERSION(&info.version);
        if (SDL_GetWindowWMInfo(window, &info) && info.subsystem == SDL_SYSWM_X11) {
            return info.info.x11.window;
        }
    }
    return 0;
}

struct Enumerated {
    std::vector<bool> withGuid;
    std::vector<GUID> guids;
};

BOOL CALLBACK Collect(GUID* guid, LPSTR description, LPSTR, LPVOID context, HMONITOR) {
    auto* found = static_cast<Enumerated*>(context);
    found->withGuid.push_back(guid != nullptr);
    if (guid != nullptr) {
        found->guids.push_back(*guid);
        EXPECT_NE(description[0], '\0');
    }
    return DDENUMRET_OK;
}

Enumerated Enumerate() {
    Enumerated found;
    DirectDrawEnumerateExA(Collect, &found, DDENUM_ATTACHEDSECONDARYDEVICES);
    return found;
}

TEST(SdlBackend, EnumeratesTheEntryWithoutGuidThenOneMonitor) {
    const Enumerated found = Enumerate();
    ASSERT_EQ(found.withGuid.size(), 2u);
    EXPECT_FALSE(found.withGuid[0]);
    EXPECT_TRUE(found.withGuid[1]);
    // The same monitor keeps its GUID.
    EXPECT_TRUE(Enumerate().guids[0] == found.guids[0]);
}

// An open device on the program's window, as the screen saver opens it.
struct Device {
    IDirectDraw7* directDraw = nullptr;
    IDirectDrawSurface7* primary = nullptr;
    IDirectDrawSurface7* back = nullptr;

    explicit Device(HWND window) {
        GUID guid = Enumerate().guids.at(0);
        EXPECT_EQ(DirectDrawCreateEx(&guid, reinterpret_cast<LPVOID*>(&directDraw),
                                     IID_IDirectDraw7, nullptr),
                  DD_OK);
        EXPECT_EQ(directDraw->SetCooperativeLevel(
                      window, DDSCL_FULLSCREEN | DDSCL_ALLOWREBOOT | DDSCL_EXCLUSIVE),
                  DD_OK);
        EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
        DDSURFACEDESC2 description = {};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        EXPECT_EQ(directDraw->CreateSurface(&description, &primary, nullptr), DD_OK);
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = 640;
        description.dwHeight = 480;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        EXPECT_EQ(directDraw->CreateSurface(&description, &back, nullptr), DD_OK);
    }
    ~Device() {
        back->Release();
        primary->Release();
        directDraw->Release();
    }
    HRESULT Present() {
        RECT inner{2, 2, 638, 478};
        return primary->Blt(&inner, back, &inner, 0, nullptr);
    }
};

TEST(SdlBackend, AResetRendererLosesTheSurfacesUntilTheyAreRestored) {
    const HWND window = ShowTestWindow();
    Device device(window);
    ASSERT_EQ(device.Present(), DD_OK);

    SDL_Event reset = {};
    reset.type = SDL_RENDER_DEVICE_RESET;
    SDL_PushEvent(&reset);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);

    EXPECT_EQ(device.Present(), DDERR_SURFACELOST);
    EXPECT_EQ(device.primary->Restore(), DD_OK);
    EXPECT_EQ(device.back->Restore(), DD_OK);
    EXPECT_EQ(device.Present(), DD_OK);
    DestroyWindow(window);
}

TEST(SdlBackend, AWindowManagersCloseRequestDestroysTheWindow) {
    Received.clear();
    ShowTestWindow();
    const Window target = XWindowOfShownWindow();
    ASSERT_NE(target, 0u);

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    XEvent request = {};
    request.xclient.type = ClientMessage;
    request.xclient.window = target;
    request.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    request.xclient.format = 32;
    request.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    request.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, target, False, NoEventMask, &request);
    XFlush(display);

    EXPECT_TRUE(PumpUntil([] { return Seen(WM_DESTROY); }));
    EXPECT_TRUE(Seen(WM_CLOSE));
    XCloseDisplay(display);
}

TEST(SdlBackend, FocusTakenByAnotherProgramDeactivatesAndComingBackActivates) {
    const HWND window = ShowTestWindow();
    const Window ours = XWindowOfShownWindow();
    ASSERT_NE(ours, 0u);
    Activations.clear();

    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const Window other = XCreateSimpleWindow(display, DefaultRootWindow(display), 0, 0, 50, 50,
                                             0, 0, 0);
    XMapRaised(display, other);
    XSync(display, False);
    XSetInputFocus(display, other, RevertToNone, CurrentTime);
    XFlush(display);
    EXPECT_TRUE(PumpUntil([] { return !Activations.empty() && Activations.back() == WA_INACTIVE; }));

    XSetInputFocus(display, ours, RevertToNone, CurrentTime);
    XFlush(display);
    EXPECT_TRUE(PumpUntil([] { return !Activations.empty() && Activations.back() == WA_ACTIVE; }));

    XDestroyWindow(display, other);
    XCloseDisplay(display);
    DestroyWindow(window);
}

}  // namespace
