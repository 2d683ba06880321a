// Our stand-in for the parts of Win32 that the program calls: types, window
// classes and windows, the thread's message queue, resources, the module
// handle and the multimedia clock. The names, argument orders and values are
// the platform's own, so the same source compiles against the real headers on
// Windows and against these elsewhere. DirectDraw lives in ddraw_api.h.
//
// Only what the program uses is declared. The software core in
// platform/core/ defines every function, with one backend behind it.
#pragma once

#include <cstdint>

// ---- Basic types -----------------------------------------------------------

// Calling conventions only matter on 32-bit Windows.
#define WINAPI
#define CALLBACK

typedef int BOOL;
typedef unsigned char BYTE;
typedef std::uint16_t WORD;
typedef std::uint32_t DWORD;
typedef std::int32_t LONG;
typedef std::uint32_t ULONG;
typedef unsigned int UINT;
typedef WORD ATOM;
typedef std::int32_t HRESULT;
typedef std::uintptr_t WPARAM;
typedef std::intptr_t LPARAM;
typedef std::intptr_t LRESULT;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef void* LPVOID;
typedef void* HANDLE;

#define TRUE 1
#define FALSE 0

// Handles are distinct pointer types so that one cannot be passed for another.
struct WindowHandleTag;
struct InstanceHandleTag;
struct CursorHandleTag;
struct IconHandleTag;
struct BrushHandleTag;
struct MenuHandleTag;
struct ResourceHandleTag;
struct MonitorHandleTag;
typedef WindowHandleTag* HWND;
typedef InstanceHandleTag* HINSTANCE;
typedef HINSTANCE HMODULE;
typedef CursorHandleTag* HCURSOR;
typedef IconHandleTag* HICON;
typedef BrushHandleTag* HBRUSH;
typedef MenuHandleTag* HMENU;
typedef ResourceHandleTag* HRSRC;
typedef HANDLE HGLOBAL;
typedef MonitorHandleTag* HMONITOR;

struct POINT {
    LONG x;
    LONG y;
};

struct RECT {
    LONG left;
    LONG top;
    LONG right;   // exclusive
    LONG bottom;  // exclusive
};

inline constexpr WORD LOWORD(std::uintptr_t value) {
    return static_cast<WORD>(value & 0xFFFF);
}
inline constexpr WORD HIWORD(std::uintptr_t value) {
    return static_cast<WORD>((value >> 16) & 0xFFFF);
}
inline constexpr LPARAM MAKELPARAM(WORD low, WORD high) {
    return static_cast<LPARAM>(static_cast<DWORD>(low) | (static_cast<DWORD>(high) << 16));
}

// ---- Process entry ---------------------------------------------------------

// Defined by the program. On Windows the C runtime calls it; elsewhere the
// glorp_platform_main library's main() does, with the same arguments.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine,
                   int showCommand);

HMODULE GetModuleHandleA(LPCSTR moduleName);

// ---- Window classes and windows --------------------------------------------

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);

struct WNDCLASSA {
    UINT style;
    WNDPROC lpfnWndProc;
    int cbClsExtra;
    int cbWndExtra;
    HINSTANCE hInstance;
    HICON hIcon;
    HCURSOR hCursor;
    HBRUSH hbrBackground;
    LPCSTR lpszMenuName;
    LPCSTR lpszClassName;
};

inline constexpr UINT CS_VREDRAW = 0x0001;
inline constexpr UINT CS_HREDRAW = 0x0002;

inline constexpr DWORD WS_POPUP = 0x80000000;
inline constexpr DWORD WS_VISIBLE = 0x10000000;

inline constexpr int SW_HIDE = 0;
inline constexpr int SW_SHOWNORMAL = 1;
inline constexpr int SW_NORMAL = 1;
inline constexpr int SW_SHOWMINIMIZED = 2;
inline constexpr int SW_SHOWMAXIMIZED = 3;
inline constexpr int SW_MAXIMIZE = 3;
inline constexpr int SW_SHOWNOACTIVATE = 4;
inline constexpr int SW_SHOW = 5;
inline constexpr int SW_MINIMIZE = 6;
inline constexpr int SW_SHOWMINNOACTIVE = 7;
inline constexpr int SW_SHOWNA = 8;
inline constexpr int SW_RESTORE = 9;
inline constexpr int SW_SHOWDEFAULT = 10;
inline constexpr int SW_FORCEMINIMIZE = 11;

inline constexpr int SM_CXSCREEN = 0;
inline constexpr int SM_CYSCREEN = 1;

ATOM RegisterClassA(const WNDCLASSA* windowClass);
int GetSystemMetrics(int index);
HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                     int y, int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID parameter);
BOOL ShowWindow(HWND window, int showCommand);
BOOL UpdateWindow(HWND window);
BOOL DestroyWindow(HWND window);
LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
HCURSOR SetCursor(HCURSOR cursor);

// ---- Messages ----------------------------------------------------------------

struct MSG {
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    DWORD time;
    POINT pt;
};

inline constexpr UINT WM_NULL = 0x0000;
inline constexpr UINT WM_CREATE = 0x0001;
inline constexpr UINT WM_DESTROY = 0x0002;
inline constexpr UINT WM_ACTIVATE = 0x0006;
inline constexpr UINT WM_CLOSE = 0x0010;
inline constexpr UINT WM_QUIT = 0x0012;
inline constexpr UINT WM_SETCURSOR = 0x0020;
inline constexpr UINT WM_KEYDOWN = 0x0100;
inline constexpr UINT WM_KEYUP = 0x0101;
inline constexpr UINT WM_CHAR = 0x0102;
inline constexpr UINT WM_SYSKEYDOWN = 0x0104;
inline constexpr UINT WM_SYSKEYUP = 0x0105;
inline constexpr UINT WM_MOUSEMOVE = 0x0200;
inline constexpr UINT WM_LBUTTONDOWN = 0x0201;
inline constexpr UINT WM_LBUTTONUP = 0x0202;
inline constexpr UINT WM_RBUTTONDOWN = 0x0204;
inline constexpr UINT WM_RBUTTONUP = 0x0205;
inline constexpr UINT WM_MBUTTONDOWN = 0x0207;
inline constexpr UINT WM_MBUTTONUP = 0x0208;
inline constexpr UINT WM_MOUSEWHEEL = 0x020A;
inline constexpr UINT WM_USER = 0x0400;

// Low word of WM_ACTIVATE's wParam; the high word is nonzero when minimised.
inline constexpr WORD WA_INACTIVE = 0;
inline constexpr WORD WA_ACTIVE = 1;
inline constexpr WORD WA_CLICKACTIVE = 2;

// Low word of WM_SETCURSOR's lParam: the pointer is over the client area.
inline constexpr WORD HTCLIENT = 1;

inline constexpr UINT PM_NOREMOVE = 0x0000;
inline constexpr UINT PM_REMOVE = 0x0001;
inline constexpr UINT PM_NOYIELD = 0x0002;

BOOL PeekMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax, UINT removeFlags);
BOOL GetMessageA(MSG* message, HWND window, UINT filterMin, UINT filterMax);
BOOL TranslateMessage(const MSG* message);
LRESULT DispatchMessageA(const MSG* message);
BOOL WaitMessage();
BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void PostQuitMessage(int exitCode);

// ---- Message boxes -----------------------------------------------------------

inline constexpr UINT MB_OK = 0x00000000;
inline constexpr UINT MB_OKCANCEL = 0x00000001;
inline constexpr UINT MB_ICONERROR = 0x00000010;

inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// ---- Resources ---------------------------------------------------------------

// An integer resource name or type travels in the pointer's value.
inline LPSTR MAKEINTRESOURCEA(WORD id) {
    return reinterpret_cast<LPSTR>(static_cast<std::uintptr_t>(id));
}
#define RT_RCDATA MAKEINTRESOURCEA(10)

HRSRC FindResourceA(HMODULE module, LPCSTR name, LPCSTR type);
HGLOBAL LoadResource(HMODULE module, HRSRC resource);
LPVOID LockResource(HGLOBAL loaded);
DWORD SizeofResource(HMODULE module, HRSRC resource);

// ---- Multimedia clock --------------------------------------------------------

// Milliseconds since an arbitrary start; wraps every 2^32 ms.
DWORD timeGetTime();

#include "platform/api/ddraw_api.h"
