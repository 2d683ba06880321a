// What the software core needs from the outside world. The core implements
// the Win32 and DirectDraw semantics once (message queue, windows, surfaces,
// palettes, resources); a backend supplies only monitors, displays, input,
// the vertical blank, the clock and message boxes.
//
// Selection is at link time: every backend library defines ActiveBackend(),
// and a program links exactly one backend. Everything is called on the
// program's one thread; no method may call back into the platform API.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "platform/api/win32_api.h"

namespace platform {

// ---- Monitors ----------------------------------------------------------------

struct MonitorInfo {
    GUID guid;                 // the identity DirectDrawCreateEx is given
    int width = 0;             // desktop size in pixels
    int height = 0;
    int refresh = 0;           // Hz, 0 when unknown
    char description[64] = {}; // shown to the enumeration callback
    char name[32] = {};        // "\\.\DISPLAY1" and the like
};

// ---- Input -------------------------------------------------------------------

enum class InputKind {
    KeyDown,         // key: virtual-key code; repeat: auto-repeat
    KeyUp,           // key
    SysKeyDown,      // key, with Alt held or F10
    SysKeyUp,        // key
    MouseMove,       // x, y
    ButtonDown,      // button 0 left, 1 right, 2 middle; x, y
    ButtonUp,        // button; x, y
    Wheel,           // delta in multiples of 120; x, y
    Activate,        // activation state WA_ACTIVE or WA_CLICKACTIVE; minimized
    Deactivate,      // minimized
    Close,           // the user asked to close the window
};

// One event from the user. Coordinates are in the screen space of the
// program's windows: the primary screen's top-left corner is (0, 0) and its
// size is PrimaryScreenSize(), whatever the backend shows the devices on.
struct InputEvent {
    InputKind kind = InputKind::MouseMove;
    int key = 0;
    bool repeat = false;
    int x = 0;
    int y = 0;
    int button = 0;
    int delta = 0;
    WORD state = WA_ACTIVE;
    bool minimized = false;
};

// ---- Frames ------------------------------------------------------------------

// A primary surface as it stands: 8-bit palette indices, rows `pitch` bytes
// apart, and its 256 palette entries (null while no palette is attached).
// Valid only during the Show call.
struct ShownSurface {
    const std::uint8_t* pixels = nullptr;
    int width = 0;
    int height = 0;
    int pitch = 0;
    const PALETTEENTRY* palette = nullptr;
    // The part of the surface this change wrote (right and bottom
    // exclusive); empty when only the palette changed. Pixels that no change
    // ever wrote are not part of the picture.
    RECT changed{};
};

// ---- Call interception -------------------------------------------------------

enum class ApiObject { None, DirectDraw, PrimarySurface, Surface, Palette };

// One argument of an intercepted call, kept as a value so that it can be
// matched or formatted after the fact without allocating.
struct ApiArg {
    enum class Kind { Int, Hex, Handle, Text, Rect, Guid, Object };
    const char* key = "";
    Kind kind = Kind::Int;
    long long value = 0;       // Int, Hex, Handle; ApiObject for Object
    const char* text = nullptr;  // Text (null prints as null)
    RECT rect{};               // Rect, when `present`
    GUID guid{};               // Guid, when `present`
    bool present = true;       // false: a null pointer argument
};

// A platform call as the core reports it before running it.
struct ApiCall {
    static constexpr int MaxArgs = 12;
    const char* name = "";     // "Blt", "PeekMessageA", "WindowProc", ...
    ApiObject object = ApiObject::None;  // the object of a method call
    int device = -1;           // the device a DirectDraw call belongs to, or -1
    int argCount = 0;
    ApiArg args[MaxArgs];

    // Writes "Name object device=N key=value ..." into out (always
    // terminated, cut to size); returns the length it needed.
    std::size_t Format(char* out, std::size_t size) const;
};

// ---- The backend -------------------------------------------------------------

class Backend {
public:
    // Monitors, in the order enumeration reports them after the entry without
    // a GUID. Monitor 0 is the primary one. The list must not change while
    // devices are open.
    virtual int MonitorCount() = 0;
    virtual MonitorInfo Monitor(int index) = 0;
    // Whether enumeration reports the entry without a GUID (standing for the
    // primary monitor) before the monitors. The platform always does.
    virtual bool ReportsGuidlessEntry() { return true; }
    // The primary screen's desktop size, for GetSystemMetrics.
    virtual void PrimaryScreenSize(int& width, int& height) = 0;

    // Devices are numbered from 0 in creation order. OpenDevice reserves the
    // device on a monitor; a failure is returned by DirectDrawCreateEx.
    virtual HRESULT OpenDevice(int device, int monitor) = 0;
    // The device's cooperation with a window. With DDSCL_EXCLUSIVE and
    // DDSCL_FULLSCREEN it takes its monitor over (with
    // DDSCL_CREATEDEVICEWINDOW in a window of its own). The core has checked
    // the flags' consistency and the window.
    virtual HRESULT SetCooperativeLevel(int device, HWND window, DWORD flags) = 0;
    // The device's mode; the core only asks for 8 bits per pixel, and only
    // while the device is exclusive. Showing a smaller mode scaled on a
    // larger desktop is the backend's choice.
    virtual HRESULT SetDisplayMode(int device, int width, int height, int bitsPerPixel,
                                   int refresh) = 0;
    // The primary surface of the device changed (pixels or palette). Called
    // after every Unlock of, and Blt onto, a primary surface and after
    // SetPalette on one. Must not keep the pointers.
    virtual void Show(int device, const ShownSurface& surface) = 0;
    // Returns at the start of the device's next vertical blank.
    virtual void WaitForVerticalBlank(int device) = 0;
    // True while the device's display is taken away (another program holds
    // the monitor): the core marks the device's surfaces lost, and Restore
    // fails with DDERR_WRONGMODE until this turns false.
    virtual bool SurfacesLost(int device) = 0;
    // The device's last reference is gone: give the monitor back.
    virtual void CloseDevice(int device) = 0;

    // The next input event, without blocking; false when none waits.
    virtual bool PollInput(InputEvent& event) = 0;
    // Blocks until an input event waits. May end the process when none can
    // ever come.
    virtual void WaitForInput() = 0;

    // A window is about to become the active one; false refuses (the window
    // is shown but not activated).
    virtual bool GrantActivation(HWND) { return true; }
    // A top-level window was shown, hidden or destroyed (rectangle in screen
    // coordinates). For backends that show the program's own windows.
    virtual void WindowChanged(HWND, bool /*visible*/, const RECT&) {}
    virtual void WindowDestroyed(HWND) {}
    // Whether the pointer is to be drawn over the program's windows.
    virtual void SetCursorVisible(bool visible) = 0;

    // A modal message box; returns the button chosen (IDOK, ...).
    virtual int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) = 0;

    // Milliseconds, wrapping at 2^32.
    virtual DWORD Milliseconds() = 0;

    // Every platform call is reported here before it runs. A value makes the
    // call return it at once without running (calls that create an object
    // also set their out-pointer to null); nullopt lets it run. Each call of
    // a window procedure by the core is reported as "WindowProc" too; its
    // value is ignored. Real backends keep the default.
    virtual std::optional<long long> Intercept(const ApiCall&) { return std::nullopt; }

protected:
    ~Backend() = default;
};

// Defined by the backend library the program links.
Backend& ActiveBackend();

}  // namespace platform
