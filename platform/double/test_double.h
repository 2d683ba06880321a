// The scriptable test double behind the platform layer. A test describes a
// world in a Script (monitors, failing calls, input and when it arrives, the
// clock, message-box answers), runs the program's code against it in a fresh
// child process, and reads back the exit code and a log of every platform
// call with its arguments.
//
//     testdouble::Script script;
//     script.Monitors({testdouble::MonitorGuid(0), testdouble::MonitorGuid(1)})
//           .Fail(testdouble::Call("SetDisplayMode").Device(1), DDERR_GENERIC);
//     testdouble::ScenarioResult result = testdouble::RunScenario(script, [] {
//         char commandLine[] = "/s";
//         return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine, SW_SHOWDEFAULT);
//     });
//     EXPECT_EQ(result.exitCode, 0);
//     EXPECT_TRUE(result.Has(R"(MessageBoxA owner=1 text="SetDisplayMode FAILED" caption="Glorp 1.1" type=0x0)"));
//
// Log lines. One line per call, made before the call runs: the function or
// method name, then for methods the object ("directDraw", "primarySurface",
// "backSurface" for any other surface, "palette"), then "device=N" when the
// call belongs to a device (devices are numbered from 0 in the order
// DirectDrawCreateEx created them; DirectDrawCreateEx itself carries the number
// the new device gets), then the arguments as key=value:
//
//     RegisterClassA style=0x3 class="Glorp 1.1" menu="Glorp 1.1" cursor=0
//     CreateWindowExA exStyle=0x0 class="Glorp 1.1" title="Glorp 1.1" style=0x80000000 x=0 y=0 width=1920 height=1080 parent=0
//     ShowWindow hwnd=1 command=10
//     DirectDrawEnumerateExA flags=0x1
//     DirectDrawCreateEx device=0 guid={67C10000-0000-4000-8000-000000000000}
//     SetCooperativeLevel directDraw device=1 hwnd=1 flags=0x291
//     SetDisplayMode directDraw device=0 width=640 height=480 bpp=8 refresh=0 flags=0x0
//     CreateSurface directDraw device=0 flags=0x7 caps=0x840 width=640 height=480
//     Lock backSurface device=0 rect=null flags=0x1
//     Blt primarySurface device=0 dst=(2,2,638,478) src=backSurface srcRect=(2,2,638,478) flags=0x0
//     WaitForVerticalBlank directDraw device=0 flags=0x1
//     Release backSurface device=0
//     PostMessageA hwnd=1 message=0x2 wParam=0x0 lParam=0x0
//     MessageBoxA owner=1 text="SetDisplayMode FAILED" caption="Glorp 1.1" type=0x0
//
// Windows are numbered from 1 in creation order and that number is the HWND
// value, so the program's main window is hwnd=1. Null handles print as 0.
// Besides the calls, the log holds a line for every message the core sends to
// or dispatches into a window procedure ("WindowProc hwnd=1 message=0x6
// wParam=0x1 lParam=0x0") and the lines the body adds with Note().
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/win32.h"

namespace testdouble {

inline constexpr int AnyDevice = -1;

// A result that lets the call run for real; usable in a Results() sequence.
inline constexpr long long Pass = 0x7FFFFFFFFFFFFFFFLL;

// Exit codes of a child that the double ended because the program would
// otherwise have waited forever or run forever.
inline constexpr int BlockedExitCode = 97;     // blocked for input with nothing left to come
inline constexpr int FrameLimitExitCode = 98;  // reached the vertical-blank limit

// A platform call, or the calls that a rule or trigger matches. The name is
// the function or method name as it appears in the log; Device and Object
// narrow the match; Nth picks the nth matching call, counted from 1.
class Call {
public:
    explicit Call(std::string name) : name_(std::move(name)) {}
    Call& Device(int device) {
        device_ = device;
        return *this;
    }
    // "directDraw", "primarySurface", "backSurface" or "palette".
    Call& Object(std::string object) {
        object_ = std::move(object);
        return *this;
    }
    Call& Nth(int nth) {
        nth_ = nth;
        return *this;
    }

    const std::string& name() const { return name_; }
    int device() const { return device_; }
    const std::string& object() const { return object_; }
    int nth() const { return nth_; }

private:
    std::string name_;
    int device_ = AnyDevice;
    std::string object_;
    int nth_ = 1;
};

// When a scripted input event, clock change or surface loss takes effect.
// Start: before the program's first call. At(call): when that call is made,
// before it runs, so input triggered at a WaitMessage call wakes that very
// WaitMessage and input triggered at the 3rd WaitForVerticalBlank is
// dispatched before the next frame.
class When {
public:
    static When Start() { return When(); }
    static When At(Call call) { return When(std::move(call)); }

    bool atStart() const { return atStart_; }
    const Call& call() const { return call_; }

private:
    When() : atStart_(true), call_("") {}
    explicit When(Call call) : atStart_(false), call_(std::move(call)) {}
    bool atStart_;
    Call call_;
};

struct Monitor {
    GUID guid;
    int width = 1920;
    int height = 1080;
    int refresh = 60;
};

// A distinct, stable GUID for monitor i: {67C1000i-0000-4000-8000-000000000000}.
GUID MonitorGuid(int i);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the form the log uses.
std::string GuidText(const GUID& guid);

// Virtual-key codes of the keys tests press most.
inline constexpr int VK_RETURN = 0x0D;
inline constexpr int VK_ESCAPE = 0x1B;
inline constexpr int VK_SPACE = 0x20;
inline constexpr int VK_F10 = 0x79;

class Script {
public:
    // ---- The world ----
    // Replaces the monitors. The default world is one 1920x1080 monitor at
    // 60 Hz with MonitorGuid(0). Enumeration reports the entry without a GUID
    // first (unless WithoutGuidlessEntry), then one entry per monitor.
    Script& Monitors(std::vector<Monitor> monitors);
    Script& Monitors(std::initializer_list<GUID> guids);  // default sizes
    Script& WithoutGuidlessEntry();
    // The primary screen size that GetSystemMetrics reports; by default the
    // first monitor's size (640x480 with no monitor).
    Script& PrimaryScreen(int width, int height);

    // ---- Failures ----
    // The matching calls, from the Nth on and `times` of them (0 = all),
    // return `result` without running. Calls that create objects also set
    // their out-pointer to null. Meant for failures; a BOOL, int or handle
    // result is given as its integer value (0 for a failed CreateWindowExA).
    Script& Fail(const Call& call, long long result, int times = 1);
    // The matching calls, from the Nth on, return these results in turn,
    // then run normally. Pass lets one call in the sequence run.
    //     Results(Call("Blt").Device(0), {DDERR_WASSTILLDRAWING,
    //             DDERR_WASSTILLDRAWING, DDERR_SURFACELOST})
    Script& Results(const Call& call, std::vector<long long> results);
    // The device's surfaces are lost at that point: their next Lock, Blt or
    // Unlock reports DDERR_SURFACELOST until Restore; the first Restore call
    // on the device after the loss finds the display back.
    Script& LoseSurfaces(int device, When when);

    // ---- Input ----
    // Key presses go to the active window, or the last shown one.
    Script& KeyDown(int virtualKey, When when = When::Start());
    Script& SysKeyDown(int virtualKey, When when = When::Start());
    Script& KeyUp(int virtualKey, When when = When::Start());
    // A pointer move to (x, y) in screen coordinates; the core first sends
    // WM_SETCURSOR, then queues WM_MOUSEMOVE.
    Script& MouseMove(int x, int y, When when = When::Start());
    Script& LeftButtonDown(int x, int y, When when = When::Start());
    // WM_ACTIVATE sent to the window: state WA_ACTIVE or WA_CLICKACTIVE, and
    // the minimised flag in the high word. Sent only when activation changes.
    Script& Activate(When when, WORD state = WA_ACTIVE, bool minimized = false);
    Script& Deactivate(When when, bool minimized = false);
    // The user closes the window: WM_CLOSE is posted to it.
    Script& Close(When when = When::Start());
    // ShowWindow with an activating command does not activate the window
    // (as when another program keeps the foreground).
    Script& ShowDoesNotActivate();

    // ---- Clock ----
    // timeGetTime starts at `start` and advances by `stepPerVerticalBlank` at
    // every WaitForVerticalBlank call (defaults 0 and 16).
    Script& Clock(DWORD start, DWORD stepPerVerticalBlank = 16);
    Script& SetClock(DWORD milliseconds, When when);

    // ---- Message boxes ----
    // Results of the successive MessageBoxA calls; IDOK after these.
    Script& MessageBoxAnswers(std::vector<int> answers);

    // ---- Ending and logging ----
    // After this many WaitForVerticalBlank calls the scenario ends with
    // FrameLimitExitCode (default 1000).
    Script& MaxVerticalBlanks(int count);
    // Calls that are not logged (still counted, matched and reported).
    Script& Unlogged(std::vector<std::string> names);
    // No log at all; SetLogging(true) in the body turns it on again.
    Script& Silent();

    // Read by the double.
    struct Rule {
        Call call;
        std::vector<long long> results;  // a sequence, one per matching call
        long long result = 0;            // or this one result
        int times = 1;                   // for `result`: how many calls, 0 = all
        bool sequence = false;
    };
    enum class EventKind {
        KeyDown,
        SysKeyDown,
        KeyUp,
        MouseMove,
        LeftButtonDown,
        Activate,
        Deactivate,
        Close,
        SetClock,
        LoseSurfaces,
    };
    struct Event {
        EventKind kind;
        When when;
        int a = 0;  // key, x, activation state, clock, device
        int b = 0;  // y, minimised flag
    };
    struct Data {
        std::vector<Monitor> monitors{Monitor{MonitorGuid(0)}};
        bool guidlessEntry = true;
        int primaryWidth = 0;  // 0: from the first monitor
        int primaryHeight = 0;
        std::vector<Rule> rules;
        std::vector<Event> events;
        bool showActivates = true;
        DWORD clockStart = 0;
        DWORD clockStep = 16;
        std::vector<int> messageBoxAnswers;
        int maxVerticalBlanks = 1000;
        std::vector<std::string> unlogged;
        bool logging = true;
    };
    const Data& data() const { return data_; }

private:
    Data data_;
};

enum class Ending {
    Returned,    // the body returned; exitCode is its result
    Blocked,     // the program waited for input that would never come
    FrameLimit,  // MaxVerticalBlanks reached
    Crashed,     // the child died of a signal or exited on its own
};

struct ScenarioResult {
    Ending ending = Ending::Crashed;
    int exitCode = -1;  // the child's exit status
    int signal = 0;     // the signal that ended the child, if any
    int liveObjects = 0;  // DirectDraw objects still alive at the end
    std::vector<std::string> log;

    // The log line equal to `line` exists.
    bool Has(std::string_view line) const;
    // The log lines that start with `prefix`, in order.
    std::vector<std::string> Lines(std::string_view prefix) const;
    int Count(std::string_view prefix) const;
    // Index of the first line starting with `prefix` at or after `from`, or -1.
    int Find(std::string_view prefix, int from = 0) const;
    // The whole log, one line each, for failure messages.
    std::string Text() const;
};

// Runs body in a fresh child process against the script and collects what
// happened. The platform's state and the program's static tables start fresh
// in the child; nothing the body does reaches the calling process except
// through the result.
ScenarioResult RunScenario(const Script& script, std::function<int()> body);

// ---- Inside a body ------------------------------------------------------

// Adds a line to the log.
void Note(std::string_view line);
// Turns the log on or off from here on (counting and failures go on).
void SetLogging(bool on);

// What the backend last showed for a device: its primary surface's pixels
// and palette as of the latest change.
struct ShownFrame {
    const std::uint8_t* pixels = nullptr;  // null until something was shown
    int width = 0;
    int height = 0;
    int pitch = 0;
    PALETTEENTRY palette[256] = {};
    bool hasPalette = false;
    int presents = 0;  // how many times the device showed a change
};
const ShownFrame& Shown(int device);

// Thrown by the double when it ends a scenario (Blocked, FrameLimit) inside
// the calling process, after Install; RunScenario's child exits instead.
struct ScenarioEnded {
    Ending ending;
};

// Installs a script in this process without forking, for tests of the
// platform layer itself; resets the platform's state. RunScenario does this
// in its child.
void Install(const Script& script);
// The log gathered since Install, in this process.
const std::vector<std::string>& CurrentLog();

}  // namespace testdouble
