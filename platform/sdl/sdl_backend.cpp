// The SDL2 backend: the program's windows and devices on the real monitors,
// or in the window that XScreenSaver hands over.
//
// SDL is started on first need, so that a program that ends before it shows
// anything never opens the display. Each device shows its picture full screen
// on its own monitor without changing the monitor's resolution: device 0
// through the program's window, the others through windows made for them.
#include <SDL.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/core/backend.h"
#include "platform/sdl/foreign_window.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/refresh_clock.h"
#include "platform/sdl/screen.h"

namespace platform::sdl {

namespace {

// Monitor i is known by this GUID with i in its last two bytes, so a
// monitor keeps its identity from one run to the next.
constexpr GUID MonitorGuidBase = {
    0x6c1d40a7, 0x93e2, 0x4f5b, {0xa1, 0x7c, 0x3e, 0x58, 0xd0, 0x2b, 0x00, 0x00}};

GUID MonitorGuid(int index) {
    GUID guid = MonitorGuidBase;
    guid.Data4[6] = static_cast<unsigned char>(index >> 8);
    guid.Data4[7] = static_cast<unsigned char>(index);
    return guid;
}

struct MonitorEntry {
    MonitorInfo info;
    SDL_Rect bounds{};  // in SDL's desktop coordinates
    int display = 0;    // SDL's index
};

struct WindowRecord {
    HWND handle = nullptr;
    SDL_Window* window = nullptr;
};

constexpr int NoMonitor = -1;

class SdlBackend final : public Backend {
public:
    // ---- Monitors ----

    int MonitorCount() override { return VideoReady() ? static_cast<int>(monitors_.size()) : 0; }

    MonitorInfo Monitor(int index) override {
        if (!VideoReady() || index < 0 || index >= MonitorCount()) {
            return MonitorInfo{};
        }
        return monitors_[index].info;
    }

    void PrimaryScreenSize(int& width, int& height) override {
        width = 0;
        height = 0;
        if (VideoReady() && !monitors_.empty()) {
            width = monitors_[0].bounds.w;
            height = monitors_[0].bounds.h;
        }
    }

    // ---- Devices ----

    HRESULT OpenDevice(int device, int monitor) override {
        if (!VideoReady() || device < 0 || monitor < 0 || monitor >= MonitorCount()) {
            return DDERR_INVALIDDIRECTDRAWGUID;
        }
        if (static_cast<std::size_t>(device) >= screens_.size()) {
            screens_.resize(device + 1);
            monitorOf_.resize(device + 1, NoMonitor);
        }
        screens_[device] = std::make_unique<Screen>(monitors_[monitor].info.refresh);
        monitorOf_[device] = monitor;
        return DD_OK;
    }

    HRESULT SetCooperativeLevel(int device, HWND window, DWORD flags) override {
        Screen* screen = ScreenOf(device);
        if (screen == nullptr) {
            return DDERR_INVALIDOBJECT;
        }
        if ((flags & DDSCL_EXCLUSIVE) == 0) {
            screen->Detach();
            return DD_OK;
        }
        const MonitorEntry& monitor = monitors_[monitorOf_[device]];
        if ((flags & DDSCL_CREATEDEVICEWINDOW) != 0 && foreignWindow_ == nullptr) {
            // Centred on its monitor, which full screen then fills.
            const int place = SDL_WINDOWPOS_CENTERED_DISPLAY(monitor.display);
            SDL_Window* own = SDL_CreateWindow(
                Title(), place, place, monitor.bounds.w, monitor.bounds.h,
                SDL_WINDOW_FULLSCREEN_DESKTOP | SDL_WINDOW_BORDERLESS);
            if (own == nullptr) {
                return DDERR_GENERIC;
            }
            screen->Attach(own, true);
            return DD_OK;
        }
        SDL_Window* shown = WindowOf(window);
        if (shown == nullptr) {
            shown = ShowWindowFor(window, RECT{0, 0, monitor.bounds.w, monitor.bounds.h});
        }
        if (shown == nullptr) {
            return DDERR_GENERIC;
        }
        // One window shows one device.
        for (std::size_t other = 0; other < screens_.size(); ++other) {
            if (static_cast<int>(other) != device && screens_[other] != nullptr &&
                screens_[other]->window() == shown) {
                return DDERR_INVALIDPARAMS;
            }
        }
        if (shown != foreignWindow_) {
            SDL_SetWindowPosition(shown, monitor.bounds.x, monitor.bounds.y);
            SDL_SetWindowFullscreen(shown, SDL_WINDOW_FULLSCREEN_DESKTOP);
            SDL_RaiseWindow(shown);
        }
        screen->Attach(shown, false);
        return DD_OK;
    }

    HRESULT SetDisplayMode(int device, int width, int height, int, int) override {
        Screen* screen = ScreenOf(device);
        if (screen == nullptr || screen->window() == nullptr) {
            return DDERR_NOEXCLUSIVEMODE;
        }
        return screen->SetMode(width, height) ? DD_OK : DDERR_GENERIC;
    }

    void Show(int device, const ShownSurface& surface) override {
        if (Screen* screen = ScreenOf(device)) {
            screen->Show(surface);
        }
    }

    void WaitForVerticalBlank(int device) override {
        const Screen* screen = ScreenOf(device);
        const std::int64_t period = RefreshPeriod(screen != nullptr ? screen->refreshRate() : 0);
        const std::int64_t now = MonotonicNow();
        if (refreshOrigin_ < 0) {
            refreshOrigin_ = now;
        }
        SleepUntil(NextRefresh(now, refreshOrigin_, period));
    }

    bool SurfacesLost(int device) override {
        Screen* screen = ScreenOf(device);
        return screen != nullptr && screen->Lost();
    }

    void CloseDevice(int device) override {
        if (ScreenOf(device) != nullptr) {
            screens_[device].reset();
            monitorOf_[device] = NoMonitor;
        }
    }

    // ---- Input ----

    bool PollInput(InputEvent& event) override {
        if (video_ != Video::Ready) {
            return false;
        }
        SDL_Event happened;
        while (SDL_PollEvent(&happened)) {
            if (Translate(happened, event)) {
                return true;
            }
        }
        return AskToCloseOnceGone(event);
    }

    void WaitForInput() override {
        if (!VideoReady()) {
            std::fprintf(stderr, "%s: no display, so no input can ever arrive; ending\n",
                         program_invocation_short_name);
            std::exit(0);
        }
        SDL_WaitEvent(nullptr);
    }

    // ---- Windows ----

    bool GrantActivation(HWND) override {
        active_ = true;
        return true;
    }

    void WindowChanged(HWND window, bool visible, const RECT& rect) override {
        if (!VideoReady()) {
            return;
        }
        if (visible) {
            ShowWindowFor(window, rect);
        } else if (SDL_Window* shown = WindowOf(window); shown != nullptr && shown != foreignWindow_) {
            SDL_HideWindow(shown);
        }
    }

    void WindowDestroyed(HWND window) override {
        for (std::size_t i = 0; i < windows_.size(); ++i) {
            if (windows_[i].handle != window) {
                continue;
            }
            SDL_Window* gone = windows_[i].window;
            for (std::unique_ptr<Screen>& screen : screens_) {
                if (screen != nullptr && screen->window() == gone) {
                    screen->Detach();
                }
            }
            if (gone == foreignWindow_) {
                foreignClaimed_ = false;
            } else {
                SDL_DestroyWindow(gone);
            }
            windows_.erase(windows_.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }

    void SetCursorVisible(bool visible) override {
        cursorVisible_ = visible;
        if (video_ == Video::Ready) {
            SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
        }
    }

    // A box where there is a display, and the same words on stderr, for a
    // full-screen run that may have no visible place for the box. Without a
    // display the reason has been said on stderr already, and the box could
    // only add that no device was found.
    int ShowMessageBox(HWND owner, const char* text, const char* caption, UINT type) override {
        if (video_ == Video::Unavailable) {
            return IDOK;
        }
        std::fprintf(stderr, "%s: %s\n", caption, text);
        std::fflush(stderr);
        const Uint32 kind = (type & MB_ICONERROR) != 0 ? SDL_MESSAGEBOX_ERROR
                                                      : SDL_MESSAGEBOX_INFORMATION;
        SDL_ShowSimpleMessageBox(kind, caption, text, WindowOf(owner));
        return IDOK;
    }

    DWORD Milliseconds() override { return static_cast<DWORD>(MonotonicNow() / 1'000'000); }

private:
    enum class Video { Untried, Ready, Unavailable };

    bool VideoReady() {
        if (video_ == Video::Untried) {
            video_ = StartVideo() ? Video::Ready : Video::Unavailable;
        }
        return video_ == Video::Ready;
    }

    bool StartVideo() {
        const char* handed = std::getenv("XSCREENSAVER_WINDOW");
        std::optional<unsigned long> foreign;
        if (handed != nullptr && handed[0] != '\0') {
            foreign = ParseWindowId(handed);
            if (!foreign) {
                return Refuse("XSCREENSAVER_WINDOW=\"%s\" is not a window id", handed);
            }
            if (!WindowExists(*foreign)) {
                return Refuse("XSCREENSAVER_WINDOW=%s names no window on the display", handed);
            }
            SDL_SetHintWithPriority(SDL_HINT_VIDEODRIVER, "x11", SDL_HINT_OVERRIDE);
        }
        // Other screen savers stay free to start; a signal ends the program
        // at once instead of becoming an SDL quit event; and a full-screen
        // window stays put when another of ours takes the focus.
        SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // Frames are drawn straight into the windows' frame buffers, which
        // reach the X server as shared memory. An OpenGL texture in between
        // would only add work, and windows of other programs may not take
        // OpenGL at all.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Without a display SDL falls back to drivers that draw where nobody
        // sees it; those are taken only when asked for by name.
        const bool driverChosen = std::getenv("SDL_VIDEODRIVER") != nullptr || foreign;
        const char* x11 = std::getenv("DISPLAY");
        const char* wayland = std::getenv("WAYLAND_DISPLAY");
        if (!driverChosen && x11 == nullptr && wayland == nullptr) {
            return Refuse("no display to show on: neither DISPLAY nor WAYLAND_DISPLAY is set");
        }
        // With only one of the two set, only that one is tried: probing the
        // other would add its own complaints to the reason given below.
        if (!driverChosen && (x11 == nullptr) != (wayland == nullptr)) {
            SDL_SetHint(SDL_HINT_VIDEODRIVER, x11 != nullptr ? "x11" : "wayland");
        }
        if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
            return Refuse("cannot open the display (DISPLAY=%s, WAYLAND_DISPLAY=%s): %s",
                          x11 != nullptr ? x11 : "", wayland != nullptr ? wayland : "",
                          SDL_GetError());
        }
        if (!driverChosen && !ShowsOnScreen(SDL_GetCurrentVideoDriver())) {
            return Refuse("cannot open the display (DISPLAY=%s, WAYLAND_DISPLAY=%s)",
                          x11 != nullptr ? x11 : "", wayland != nullptr ? wayland : "");
        }
        SDL_ShowCursor(cursorVisible_ ? SDL_ENABLE : SDL_DISABLE);
        if (foreign) {
            return TakeForeignWindow(*foreign);
        }
        FindMonitors();
        if (monitors_.empty()) {
            return Refuse("the display reports no monitor");
        }
        return true;
    }

    static bool ShowsOnScreen(const char* driver) {
        return driver != nullptr && std::strcmp(driver, "offscreen") != 0 &&
               std::strcmp(driver, "dummy") != 0;
    }

    template <typename... Arguments>
    bool Refuse(const char* format, Arguments... arguments) {
        std::fprintf(stderr, "%s: ", program_invocation_short_name);
        std::fprintf(stderr, format, arguments...);
        std::fputc('\n', stderr);
        std::fflush(stderr);
        if (SDL_WasInit(SDL_INIT_VIDEO) != 0) {
            SDL_QuitSubSystem(SDL_INIT_VIDEO);
        }
        return false;
    }

    // SDL lists the primary display first.
    void FindMonitors() {
        const int count = SDL_GetNumVideoDisplays();
        for (int i = 0; i < count; ++i) {
            MonitorEntry monitor;
            if (SDL_GetDisplayBounds(i, &monitor.bounds) != 0) {
                continue;
            }
            const int index = static_cast<int>(monitors_.size());
            monitor.display = i;
            Describe(monitor, index, i);
            monitors_.push_back(monitor);
        }
    }

    // The handed-over window is the one monitor, as large as the window.
    bool TakeForeignWindow(unsigned long id) {
        if (!AdoptForeignWindow(id)) {
            return Refuse("cannot draw in window 0x%lx: %s", id, SDL_GetError());
        }
        // Its destruction reaches us only as a window-manager message.
        SDL_EventState(SDL_SYSWMEVENT, SDL_ENABLE);
        MonitorEntry monitor;
        SDL_GetWindowSize(foreignWindow_, &monitor.bounds.w, &monitor.bounds.h);
        monitor.display = SDL_GetWindowDisplayIndex(foreignWindow_);
        Describe(monitor, 0, monitor.display);
        monitors_.push_back(monitor);
        return true;
    }

    // Its owner may destroy the window at any moment, also while SDL takes
    // it; every error that causes is in by the end of the trap.
    bool AdoptForeignWindow(unsigned long id) {
        XErrorTrap trap(id);
        foreignWindow_ = SDL_CreateWindowFrom(reinterpret_cast<const void*>(id));
        if (foreignWindow_ == nullptr) {
            return false;
        }
        trap.Watch(foreignWindow_);
        FollowChanges(foreignWindow_);
        if (!trap.WindowGone()) {
            return true;
        }
        SDL_DestroyWindow(foreignWindow_);
        foreignWindow_ = nullptr;
        SDL_SetError("the window was destroyed");
        return false;
    }

    static void Describe(MonitorEntry& monitor, int index, int display) {
        MonitorInfo& info = monitor.info;
        info.guid = MonitorGuid(index);
        info.width = monitor.bounds.w;
        info.height = monitor.bounds.h;
        SDL_DisplayMode mode;
        if (display >= 0 && SDL_GetDesktopDisplayMode(display, &mode) == 0) {
            info.refresh = mode.refresh_rate;
        }
        const char* name = display >= 0 ? SDL_GetDisplayName(display) : nullptr;
        std::snprintf(info.description, sizeof info.description, "%s",
                      name != nullptr ? name : "Display");
        std::snprintf(info.name, sizeof info.name, "\\\\.\\DISPLAY%d", index + 1);
    }

    static const char* Title() { return program_invocation_short_name; }

    Screen* ScreenOf(int device) {
        if (device < 0 || static_cast<std::size_t>(device) >= screens_.size()) {
            return nullptr;
        }
        return screens_[device].get();
    }

    SDL_Window* WindowOf(HWND handle) const {
        for (const WindowRecord& record : windows_) {
            if (record.handle == handle) {
                return record.window;
            }
        }
        return nullptr;
    }

    // The SDL window of one of the program's windows, made when first shown:
    // the handed-over window for the first one, a borderless window at the
    // program's rectangle (relative to the primary monitor) otherwise.
    SDL_Window* ShowWindowFor(HWND handle, const RECT& rect) {
        if (SDL_Window* known = WindowOf(handle)) {
            if (known != foreignWindow_) {
                SDL_ShowWindow(known);
            }
            return known;
        }
        SDL_Window* window = nullptr;
        if (foreignWindow_ != nullptr && !foreignClaimed_) {
            window = foreignWindow_;
            foreignClaimed_ = true;
        } else {
            const SDL_Rect& primary = monitors_[0].bounds;
            const int width = rect.right > rect.left ? rect.right - rect.left : 1;
            const int height = rect.bottom > rect.top ? rect.bottom - rect.top : 1;
            window = SDL_CreateWindow(Title(), primary.x + rect.left, primary.y + rect.top, width,
                                      height, SDL_WINDOW_BORDERLESS);
        }
        if (window != nullptr) {
            windows_.push_back(WindowRecord{handle, window});
        }
        return window;
    }

    // A window that its owner destroyed ends the program as a request to
    // close it would, once, and quietly.
    bool AskToCloseOnceGone(InputEvent& event) {
        if (closeAsked_) {
            return false;
        }
        for (const std::unique_ptr<Screen>& screen : screens_) {
            if (screen != nullptr && screen->WindowGone()) {
                closeAsked_ = true;
                event = InputEvent{};
                event.kind = InputKind::Close;
                return true;
            }
        }
        return false;
    }

    void Destroyed(const SDL_SysWMmsg* message) {
        if (message == nullptr || foreignWindow_ == nullptr ||
            !SaysDestroyed(*message, foreignWindow_)) {
            return;
        }
        for (std::unique_ptr<Screen>& screen : screens_) {
            if (screen != nullptr && screen->window() == foreignWindow_) {
                screen->MarkGone();
            }
        }
    }

    bool Translate(const SDL_Event& happened, InputEvent& event) {
        switch (happened.type) {
        case SDL_KEYDOWN:
        case SDL_KEYUP:
            event = KeyEvent(happened.key);
            return true;
        case SDL_MOUSEMOTION:
            event = InputEvent{};
            event.kind = InputKind::MouseMove;
            return ScreenPoint(happened.motion.windowID, happened.motion.x, happened.motion.y,
                               event);
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
            return Button(happened.button, event);
        case SDL_MOUSEWHEEL:
            return Wheel(happened.wheel, event);
        case SDL_WINDOWEVENT:
            return WindowEvent(happened.window, event);
        case SDL_SYSWMEVENT:
            Destroyed(happened.syswm.msg);
            return false;
        case SDL_RENDER_TARGETS_RESET:
        case SDL_RENDER_DEVICE_RESET:
            for (std::unique_ptr<Screen>& screen : screens_) {
                if (screen != nullptr) {
                    screen->MarkLost();
                }
            }
            return false;
        default:
            return false;
        }
    }

    // A point in a window, in the program's screen coordinates: the primary
    // monitor's top-left corner is (0, 0); the handed-over window is the
    // whole screen.
    bool ScreenPoint(Uint32 windowId, int x, int y, InputEvent& event) {
        SDL_Window* window = SDL_GetWindowFromID(windowId);
        if (window == nullptr) {
            return false;
        }
        int left = 0;
        int top = 0;
        if (window != foreignWindow_) {
            SDL_GetWindowPosition(window, &left, &top);
            left -= monitors_[0].bounds.x;
            top -= monitors_[0].bounds.y;
        }
        event.x = left + x;
        event.y = top + y;
        pointerX_ = event.x;
        pointerY_ = event.y;
        return true;
    }

    bool Button(const SDL_MouseButtonEvent& button, InputEvent& event) {
        event = InputEvent{};
        event.kind = button.type == SDL_MOUSEBUTTONDOWN ? InputKind::ButtonDown : InputKind::ButtonUp;
        switch (button.button) {
        case SDL_BUTTON_LEFT:
            event.button = 0;
            break;
        case SDL_BUTTON_RIGHT:
            event.button = 1;
            break;
        case SDL_BUTTON_MIDDLE:
            event.button = 2;
            break;
        default:
            return false;
        }
        return ScreenPoint(button.windowID, button.x, button.y, event);
    }

    bool Wheel(const SDL_MouseWheelEvent& wheel, InputEvent& event) {
        event = InputEvent{};
        event.kind = InputKind::Wheel;
        const int turns = wheel.direction == SDL_MOUSEWHEEL_FLIPPED ? -wheel.y : wheel.y;
        event.delta = turns * 120;
        event.x = pointerX_;
        event.y = pointerY_;
        return turns != 0;
    }

    // Focus moving between our own windows leaves the program active.
    bool WindowEvent(const SDL_WindowEvent& change, InputEvent& event) {
        event = InputEvent{};
        switch (change.event) {
        case SDL_WINDOWEVENT_FOCUS_GAINED:
            if (active_) {
                return false;
            }
            active_ = true;
            event.kind = InputKind::Activate;
            event.state = WA_ACTIVE;
            return true;
        case SDL_WINDOWEVENT_FOCUS_LOST:
            if (!active_ || SDL_GetKeyboardFocus() != nullptr) {
                return false;
            }
            active_ = false;
            event.kind = InputKind::Deactivate;
            return true;
        case SDL_WINDOWEVENT_CLOSE:
            event.kind = InputKind::Close;
            return true;
        case SDL_WINDOWEVENT_EXPOSED:
        case SDL_WINDOWEVENT_SIZE_CHANGED:
            Repaint(SDL_GetWindowFromID(change.windowID));
            return false;
        default:
            return false;
        }
    }

    void Repaint(SDL_Window* window) {
        for (std::unique_ptr<Screen>& screen : screens_) {
            if (screen != nullptr && window != nullptr && screen->window() == window) {
                screen->Repaint();
            }
        }
    }

    Video video_ = Video::Untried;
    std::vector<MonitorEntry> monitors_;
    SDL_Window* foreignWindow_ = nullptr;
    bool foreignClaimed_ = false;
    std::vector<WindowRecord> windows_;
    std::vector<std::unique_ptr<Screen>> screens_;  // by device; null once closed
    std::vector<int> monitorOf_;                    // by device
    bool cursorVisible_ = false;  // the program's windows have no cursor of their own
    bool active_ = false;         // what the program was last told
    bool closeAsked_ = false;     // a gone window was reported as a request to close
    int pointerX_ = 0;
    int pointerY_ = 0;
    std::int64_t refreshOrigin_ = -1;
};

}  // namespace

}  // namespace platform::sdl

namespace platform {

Backend& ActiveBackend() {
    static sdl::SdlBackend backend;
    return backend;
}

}  // namespace platform
