#include "shell/main_window.h"

#include "display/device_table.h"

std::uint32_t AppActive = 0;
MSG MessageRecord;

namespace {

// The first WM_MOUSEMOVE that reaches the window arms the rule and becomes
// the reference; every later move is compared with that position, not with
// the previous one, so a pointer that comes back to it does not end the run.
std::int32_t MouseMoveCount = 0;
std::int32_t ReferenceX = -1;
std::int32_t ReferenceY = -1;

// The posted WM_DESTROY only runs its action when the frame loop dispatches
// it; the window itself stays until the process ends.
void EndRun(HWND window)
{
    PostMessageA(window, WM_DESTROY, 0, 0);
}

void OnMouseMove(HWND window, LPARAM lParam)
{
    // Both coordinates are signed 16-bit words, so 0xFFFF is -1.
    const std::int32_t x = static_cast<std::int16_t>(lParam & 0xFFFF);
    const std::int32_t y = static_cast<std::int16_t>((lParam >> 16) & 0xFFFF);
    if (MouseMoveCount < 1) {
        MouseMoveCount += 1;
        ReferenceX = x;
        ReferenceY = y;
    } else if (x != ReferenceX || y != ReferenceY) {
        EndRun(window);
    }
}

}  // namespace

int CreateMainWindow(HINSTANCE instance, int showCommand)
{
    WNDCLASSA windowClass = {};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszMenuName = ProgramName;
    windowClass.lpszClassName = ProgramName;
    // A failed registration shows up as a failed creation below.
    RegisterClassA(&windowClass);

    // The desktop size before the displays are switched to 640x480.
    const int height = GetSystemMetrics(SM_CYSCREEN);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    MainWindow = CreateWindowExA(0, ProgramName, ProgramName, WS_POPUP, 0, 0, width, height,
                                 nullptr, nullptr, instance, nullptr);
    if (MainWindow == nullptr) {
        return 0;
    }
    // Showing the window activates it, so AppActive is set before the loop.
    ShowWindow(MainWindow, showCommand);
    UpdateWindow(MainWindow);
    return 1;
}

void DiscardPendingMouseMove()
{
    PeekMessageA(&MessageRecord, nullptr, WM_MOUSEMOVE, WM_MOUSEMOVE, PM_REMOVE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_DESTROY:
        ReleaseDisplays();
        PostQuitMessage(0);
        break;
    case WM_ACTIVATE:
        // The high word (minimised) does not count: WA_INACTIVE is inactive.
        AppActive = static_cast<std::uint32_t>(wParam & 0xFFFF);
        break;
    case WM_SETCURSOR:
        SetCursor(nullptr);
        break;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
        EndRun(window);
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(window, lParam);
        break;
    default:
        break;
    }
    // Every message, handled or not, gets the default handling too, so that
    // system keys keep theirs.
    return DefWindowProcA(window, message, wParam, lParam);
}
