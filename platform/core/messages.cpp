// Window classes, windows and the thread's message queue.
//
// One queue holds posted messages and the input the backend reports, in
// arrival order; the quit request is a flag, so WM_QUIT comes out only when
// nothing else matches. Activation, close requests and cursor queries are
// sent: the window procedure runs at once, from inside the call that pulled
// the input (PeekMessageA, GetMessageA, WaitMessage) or that caused them
// (ShowWindow, DestroyWindow).
#include <cstring>
#include <string>
#include <strings.h>
#include <type_traits>
#include <vector>

#include "platform/core/internal.h"

namespace platform {

namespace {

struct WindowClass {
    std::string name;
    UINT style = 0;
    WNDPROC proc = nullptr;
    HCURSOR cursor = nullptr;
};

struct Window {
    int classIndex = 0;
    WNDPROC proc = nullptr;
    RECT rect{};
    bool visible = false;
    bool destroying = false;
    bool destroyed = false;
};

// Posted messages beyond this are refused, as the platform refuses them once
// a thread's queue is full.
constexpr int QueueCapacity = 1024;
constexpr ATOM FirstAtom = 0xC000;

// The pointer shown before the program sets one.
HCURSOR const ArrowCursor = reinterpret_cast<HCURSOR>(static_cast<std::uintptr_t>(0x10003));

struct MessageState {
    std::vector<WindowClass> classes;
    std::vector<Window> windows;  // window i has the handle i + 1; never reused
    MSG queue[QueueCapacity] = {};
    int head = 0;
    int count = 0;
    bool quitPosted = false;
    int quitCode = 0;
    bool newMessages = false;  // something arrived since the last look
    HWND active = nullptr;
    HWND lastShown = nullptr;
    HCURSOR cursor = ArrowCursor;
    POINT pointer{};
};

MessageState State;

HWND HandleOf(std::size_t index) {
    return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(index + 1));
}

Window* Find(HWND window) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(window);
    if (value == 0 || value > State.windows.size()) {
        return nullptr;
    }
    Window& found = State.windows[value - 1];
    return found.destroyed ? nullptr : &found;
}

// The special window filter that selects only thread messages.
HWND const ThreadMessagesOnly = reinterpret_cast<HWND>(static_cast<std::intptr_t>(-1));

bool MatchesFilter(const MSG& message, HWND window, UINT filterMin, UINT filterMax) {
    if (window == ThreadMessagesOnly) {
        if (message.hwnd != nullptr) {
            return false;
        }
    } else if (window != nullptr && message.hwnd != window) {
        return false;
    }
    if (filterMin == 0 && filterMax == 0) {
        return true;
    }
    return message.message >= filterMin && message.message <= filterMax;
}

MSG& QueueAt(int i) {
    return State.queue[(State.head + i) % QueueCapacity];
}

void RemoveQueued(int i) {
    for (int j = i; j > 0; --j) {
        QueueAt(j) = QueueAt(j - 1);
    }
    State.head = (State.head + 1) % QueueCapacity;
    --State.count;
}

bool Enqueue(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (State.count == QueueCapacity) {
        return false;
    }
    MSG& slot = State.queue[(State.head + State.count) % QueueCapacity];
    slot = MSG{window, message, wParam, lParam, ActiveBackend().Milliseconds(), State.pointer};
    ++State.count;
    State.newMessages = true;
    return true;
}

// The report of a call that carries a window message.
CallReport MessageReport(const char* name, HWND window, UINT message, WPARAM wParam,
                         LPARAM lParam) {
    CallReport report(name);
    report.Handle("hwnd", window)
        .Hex("message", message)
        .Hex("wParam", wParam)
        .Hex("lParam", static_cast<unsigned long long>(lParam));
    return report;
}

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* target = Find(window);
    if (target == nullptr || target->proc == nullptr) {
        return 0;
    }
    MessageReport("WindowProc", window, message, wParam, lParam).Intercept();
    return target->proc(window, message, wParam, lParam);
}

WPARAM ActivationParam(WORD state, bool minimized) {
    return static_cast<WPARAM>(state) | (minimized ? 0x10000u : 0u);
}

void Deactivate(bool minimized) {
    const HWND previous = State.active;
    if (previous == nullptr) {
        return;
    }
    State.active = nullptr;
    Send(previous, WM_ACTIVATE, ActivationParam(WA_INACTIVE, minimized), 0);
}

void Activate(HWND window, WORD state, bool minimized) {
    if (State.active == window) {
        return;
    }
    const HWND previous = State.active;
    Deactivate(false);
    State.active = window;
    Send(window, WM_ACTIVATE, ActivationParam(state, minimized),
         reinterpret_cast<LPARAM>(previous));
}

// Input goes to the active window, or else to the window shown last.
HWND InputTarget() {
    if (Find(State.active) != nullptr) {
        return State.active;
    }
    const Window* shown = Find(State.lastShown);
    return shown != nullptr && shown->visible ? State.lastShown : nullptr;
}

LPARAM ClientPoint(HWND window, int x, int y) {
    const Window* target = Find(window);
    const int left = target != nullptr ? target->rect.left : 0;
    const int top = target != nullptr ? target->rect.top : 0;
    return MAKELPARAM(static_cast<WORD>(x - left), static_cast<WORD>(y - top));
}

void PostMouse(HWND target, UINT message, WPARAM wParam, const InputEvent& event) {
    State.pointer = POINT{event.x, event.y};
    Send(target, WM_SETCURSOR, reinterpret_cast<WPARAM>(target), MAKELPARAM(HTCLIENT, static_cast<WORD>(message)));
    Enqueue(target, message, wParam, ClientPoint(target, event.x, event.y));
}

constexpr LPARAM KeyDownBits(bool repeat) {
    return 1 | (repeat ? (LPARAM{1} << 30) : 0);
}
constexpr LPARAM KeyUpBits = 1 | (LPARAM{1} << 30) | (LPARAM{1} << 31);
constexpr LPARAM AltBit = LPARAM{1} << 29;

void Deliver(const InputEvent& event) {
    const HWND target = InputTarget();
    if (target == nullptr) {
        return;
    }
    // Anything delivered, sent or queued, wakes WaitMessage: an activation
    // alone must let the program start drawing.
    State.newMessages = true;
    const WPARAM key = static_cast<WPARAM>(event.key);
    switch (event.kind) {
    case InputKind::KeyDown:
        Enqueue(target, WM_KEYDOWN, key, KeyDownBits(event.repeat));
        break;
    case InputKind::KeyUp:
        Enqueue(target, WM_KEYUP, key, KeyUpBits);
        break;
    case InputKind::SysKeyDown:
        Enqueue(target, WM_SYSKEYDOWN, key, KeyDownBits(event.repeat) | AltBit);
        break;
    case InputKind::SysKeyUp:
        Enqueue(target, WM_SYSKEYUP, key, KeyUpBits | AltBit);
        break;
    case InputKind::MouseMove:
        PostMouse(target, WM_MOUSEMOVE, 0, event);
        break;
    case InputKind::ButtonDown:
    case InputKind::ButtonUp: {
        static constexpr UINT Down[3] = {WM_LBUTTONDOWN, WM_RBUTTONDOWN, WM_MBUTTONDOWN};
        static constexpr UINT Up[3] = {WM_LBUTTONUP, WM_RBUTTONUP, WM_MBUTTONUP};
        static constexpr WPARAM Held[3] = {0x1, 0x2, 0x10};
        const int button = event.button >= 0 && event.button < 3 ? event.button : 0;
        const bool down = event.kind == InputKind::ButtonDown;
        PostMouse(target, down ? Down[button] : Up[button], down ? Held[button] : 0, event);
        break;
    }
    case InputKind::Wheel:
        State.pointer = POINT{event.x, event.y};
        Enqueue(target, WM_MOUSEWHEEL, static_cast<WPARAM>(static_cast<WORD>(event.delta)) << 16,
                MAKELPARAM(static_cast<WORD>(event.x), static_cast<WORD>(event.y)));
        break;
    case InputKind::Activate:
        Activate(target, event.state, event.minimized);
        break;
    case InputKind::Deactivate:
        Deactivate(event.minimized);
        break;
    case InputKind::Close:
        // Queued like the input that asks for it, so the window goes only
        // when the program dispatches the request, never inside a filtered
        // PeekMessageA in the middle of its start-up.
        Enqueue(target, WM_CLOSE, 0, 0);
        break;
    }
}

void PumpInput() {
    InputEvent event;
    while (ActiveBackend().PollInput(event)) {
        Deliver(event);
    }
}

// Looks for a message as PeekMessageA does, after pulling in waiting input.
bool Retrieve(MSG* message, HWND window, UINT filterMin, UINT filterMax, bool remove) {
    PumpInput();
    State.newMessages = false;
    for (int i = 0; i < State.count; ++i) {
        if (MatchesFilter(QueueAt(i), window, filterMin, filterMax)) {
            *message = QueueAt(i);
            if (remove) {
                RemoveQueued(i);
            }
            return true;
        }
    }
    const MSG quit{nullptr, WM_QUIT, static_cast<WPARAM>(State.quitCode), 0,
                   ActiveBackend().Milliseconds(), State.pointer};
    if (State.quitPosted && (window == nullptr || window == ThreadMessagesOnly) &&
        MatchesFilter(quit, window, filterMin, filterMax)) {
        *message = quit;
        if (remove) {
            State.quitPosted = false;
        }
        return true;
    }
    return false;
}

void DropQueuedFor(HWND window) {
    int kept = 0;
    for (int i = 0; i < State.count; ++i) {
        if (QueueAt(i).hwnd != window) {
            QueueAt(kept++) = QueueAt(i);
        }
    }
    State.count = kept;
}

bool Destroy(HWND window) {
    Window* target = Find(window);
    if (target == nullptr || target->destroying) {
        return false;
    }
    target->destroying = true;
    target->visible = false;
    if (State.active == window) {
        Deactivate(false);
    }
    Send(window, WM_DESTROY, 0, 0);
    // The procedure may have created windows, so the record may have moved.
    Find(window)->destroyed = true;
    DropQueuedFor(window);
    ActiveBackend().WindowDestroyed(window);
    return true;
}

enum class ShowEffect { Hide, Activate, ActivateMinimized, Show, Minimize, Invalid };

ShowEffect EffectOf(int command) {
    switch (command) {
    case SW_HIDE:
        return ShowEffect::Hide;
    case SW_SHOWNORMAL:
    case SW_SHOWMAXIMIZED:
    case SW_SHOW:
    case SW_RESTORE:
    case SW_SHOWDEFAULT:
        return ShowEffect::Activate;
    case SW_SHOWMINIMIZED:
        return ShowEffect::ActivateMinimized;
    case SW_SHOWNOACTIVATE:
    case SW_SHOWNA:
        return ShowEffect::Show;
    case SW_MINIMIZE:
    case SW_SHOWMINNOACTIVE:
    case SW_FORCEMINIMIZE:
        return ShowEffect::Minimize;
    default:
        return ShowEffect::Invalid;
    }
}

bool Show(HWND window, int command) {
    Window* target = Find(window);
    const ShowEffect effect = EffectOf(command);
    if (target == nullptr || effect == ShowEffect::Invalid) {
        return false;
    }
    const bool wasVisible = target->visible;
    const RECT rect = target->rect;
    if (effect == ShowEffect::Hide) {
        target->visible = false;
        if (State.active == window) {
            Deactivate(false);
        }
        ActiveBackend().WindowChanged(window, false, rect);
        return wasVisible;
    }
    target->visible = true;
    State.lastShown = window;
    ActiveBackend().WindowChanged(window, true, rect);
    if (effect == ShowEffect::Minimize && State.active == window) {
        Deactivate(true);
    }
    if ((effect == ShowEffect::Activate || effect == ShowEffect::ActivateMinimized) &&
        State.active != window && ActiveBackend().GrantActivation(window)) {
        Activate(window, WA_ACTIVE, effect == ShowEffect::ActivateMinimized);
    }
    return wasVisible;
}

int FindClass(LPCSTR name) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(name);
    for (std::size_t i = 0; i < State.classes.size(); ++i) {
        const bool byAtom = value < 0x10000 && value == FirstAtom + i;
        if (byAtom || (value >= 0x10000 && strcasecmp(State.classes[i].name.c_str(), name) == 0)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

template <typename Result>
Result Overridden(long long value) {
    if constexpr (std::is_pointer_v<Result>) {
        return reinterpret_cast<Result>(static_cast<std::intptr_t>(value));
    } else {
        return static_cast<Result>(value);
    }
}

}  // namespace

bool IsLiveWindow(HWND window) {
    return Find(window) != nullptr;
}

void ResetMessages() {
    State.classes.clear();
    State.windows.clear();
    State.head = 0;
    State.count = 0;
    State.quitPosted = false;
    State.quitCode = 0;
    State.newMessages = false;
    State.active = nullptr;
    State.lastShown = nullptr;
    State.cursor = ArrowCursor;
    State.pointer = POINT{};
}

}  // namespace platform

using platform::CallReport;
using platform::MessageReport;
using platform::Overridden;
using platform::State;

ATOM RegisterClassA(const WNDCLASSA* windowClass) {
    const auto result =
        CallReport("RegisterClassA")
            .Hex("style", windowClass != nullptr ? windowClass->style : 0)
            .Text("class", windowClass != nullptr ? windowClass->lpszClassName : nullptr)
            .Text("menu", windowClass != nullptr ? windowClass->lpszMenuName : nullptr)
            .Handle("cursor", windowClass != nullptr ? windowClass->hCursor : nullptr)
            .Intercept();
    if (result) {
        return Overridden<ATOM>(*result);
    }
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        windowClass->lpszClassName == nullptr ||
        reinterpret_cast<std::uintptr_t>(windowClass->lpszClassName) < 0x10000 ||
        platform::FindClass(windowClass->lpszClassName) >= 0) {
        return 0;
    }
    State.classes.push_back(platform::WindowClass{windowClass->lpszClassName, windowClass->style,
                                                  windowClass->lpfnWndProc,
                                                  windowClass->hCursor});
    return static_cast<ATOM>(platform::FirstAtom + State.classes.size() - 1);
}

int GetSystemMetrics(int index) {
    const auto result = CallReport("GetSystemMetrics").Int("index", index).Intercept();
    if (result) {
        return Overridden<int>(*result);
    }
    int width = 0;
    int height = 0;
    platform::ActiveBackend().PrimaryScreenSize(width, height);
    switch (index) {
    case SM_CXSCREEN:
        return width;
    case SM_CYSCREEN:
        return height;
    default:
        return 0;
    }
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU, HINSTANCE, LPVOID) {
    const bool namedClass = reinterpret_cast<std::uintptr_t>(className) >= 0x10000;
    const auto result = CallReport("CreateWindowExA")
                            .Hex("exStyle", exStyle)
                            .Text("class", namedClass ? className : "#atom")
                            .Text("title", windowName)
                            .Hex("style", style)
                            .Int("x", x)
                            .Int("y", y)
                            .Int("width", width)
                            .Int("height", height)
                            .Handle("parent", parent)
                            .Intercept();
    if (result) {
        return Overridden<HWND>(*result);
    }
    const int classIndex = platform::FindClass(className);
    if (classIndex < 0 || (parent != nullptr && !platform::IsLiveWindow(parent))) {
        return nullptr;
    }
    const platform::WindowClass& windowClass = State.classes[classIndex];
    State.windows.push_back(platform::Window{classIndex, windowClass.proc,
                                             RECT{x, y, x + width, y + height}});
    const HWND window = platform::HandleOf(State.windows.size() - 1);
    if (platform::Send(window, WM_CREATE, 0, 0) == -1) {
        platform::Destroy(window);
        return nullptr;
    }
    if ((style & WS_VISIBLE) != 0) {
        platform::Show(window, SW_SHOW);
    }
    return window;
}

BOOL ShowWindow(HWND window, int showCommand) {
    const auto result =
        CallReport("ShowWindow").Handle("hwnd", window).Int("command", showCommand).Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    return platform::Show(window, showCommand) ? TRUE : FALSE;
}

BOOL UpdateWindow(HWND window) {
    const auto result = CallReport("UpdateWindow").Handle("hwnd", window).Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    // Nothing is painted through the window itself, so there is no update
    // region to paint.
    return platform::IsLiveWindow(window) ? TRUE : FALSE;
}

BOOL DestroyWindow(HWND window) {
    const auto result = CallReport("DestroyWindow").Handle("hwnd", window).Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    return platform::Destroy(window) ? TRUE : FALSE;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto result =
        MessageReport("DefWindowProcA", window, message, wParam, lParam).Intercept();
    if (result) {
        return Overridden<LRESULT>(*result);
    }
    const platform::Window* target = platform::Find(window);
    if (target == nullptr) {
        return 0;
    }
    switch (message) {
    case WM_CLOSE:
        platform::Destroy(window);
        return 0;
    case WM_SETCURSOR: {
        // The class cursor, if the class has one, over the client area.
        const HCURSOR cursor = State.classes[target->classIndex].cursor;
        if (cursor == nullptr || LOWORD(static_cast<std::uintptr_t>(lParam)) != HTCLIENT) {
            return FALSE;
        }
        State.cursor = cursor;
        platform::ActiveBackend().SetCursorVisible(true);
        return TRUE;
    }
    default:
        return 0;
    }
}

HCURSOR SetCursor(HCURSOR cursor) {
    const auto result = CallReport("SetCursor").Handle("cursor", cursor).Intercept();
    if (result) {
        return Overridden<HCURSOR>(*result);
    }
    const HCURSOR previous = State.cursor;
    State.cursor = cursor;
    platform::ActiveBackend().SetCursorVisible(cursor != nullptr);
    return previous;
}

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags) {
    const auto result = CallReport("PeekMessageA")
                            .Handle("hwnd", window)
                            .Hex("min", filterMin)
                            .Hex("max", filterMax)
                            .Hex("remove", removeFlags)
                            .Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    if (message == nullptr) {
        return FALSE;
    }
    const bool remove = (removeFlags & PM_REMOVE) != 0;
    return platform::Retrieve(message, window, filterMin, filterMax, remove) ? TRUE : FALSE;
}

BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax) {
    const auto result = CallReport("GetMessageA")
                            .Handle("hwnd", window)
                            .Hex("min", filterMin)
                            .Hex("max", filterMax)
                            .Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    if (message == nullptr ||
        (window != nullptr && window != platform::ThreadMessagesOnly &&
         !platform::IsLiveWindow(window))) {
        return -1;
    }
    while (!platform::Retrieve(message, window, filterMin, filterMax, true)) {
        platform::ActiveBackend().WaitForInput();
    }
    return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* message) {
    const auto result =
        CallReport("TranslateMessage")
            .Hex("message", message != nullptr ? message->message : 0)
            .Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    // Key messages would be turned into WM_CHAR; no window of ours reads
    // characters, so none are made.
    if (message == nullptr) {
        return FALSE;
    }
    switch (message->message) {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        return TRUE;
    default:
        return FALSE;
    }
}

LRESULT DispatchMessageA(const MSG* message) {
    const MSG shown = message != nullptr ? *message : MSG{};
    const auto result =
        MessageReport("DispatchMessageA", shown.hwnd, shown.message, shown.wParam, shown.lParam)
            .Intercept();
    if (result) {
        return Overridden<LRESULT>(*result);
    }
    if (message == nullptr) {
        return 0;
    }
    return platform::Send(message->hwnd, message->message, message->wParam, message->lParam);
}

BOOL WaitMessage() {
    const auto result = CallReport("WaitMessage").Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    for (;;) {
        platform::PumpInput();
        if (State.newMessages) {
            State.newMessages = false;
            return TRUE;
        }
        platform::ActiveBackend().WaitForInput();
    }
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto result =
        MessageReport("PostMessageA", window, message, wParam, lParam).Intercept();
    if (result) {
        return Overridden<BOOL>(*result);
    }
    if (window != nullptr && !platform::IsLiveWindow(window)) {
        return FALSE;
    }
    return platform::Enqueue(window, message, wParam, lParam) ? TRUE : FALSE;
}

void PostQuitMessage(int exitCode) {
    CallReport("PostQuitMessage").Int("exitCode", exitCode).Intercept();
    State.quitPosted = true;
    State.quitCode = exitCode;
    State.newMessages = true;
}

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    const auto result = CallReport("MessageBoxA")
                            .Handle("owner", owner)
                            .Text("text", text)
                            .Text("caption", caption)
                            .Hex("type", type)
                            .Intercept();
    if (result) {
        return Overridden<int>(*result);
    }
    return platform::ActiveBackend().ShowMessageBox(owner, text != nullptr ? text : "",
                                                    caption != nullptr ? caption : "Error", type);
}
