// Our stand-in for the parts of DirectDraw 7 that the program calls. The
// interfaces are abstract classes with the platform's method names and
// argument orders, so `surface->Blt(...)` compiles unchanged against the real
// headers and against these. Included by win32_api.h.
#pragma once

#include <cstdint>

// ---- Identifiers -------------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
typedef GUID IID;
typedef GUID* LPGUID;
typedef const IID& REFIID;

inline constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) {
        return false;
    }
    for (int i = 0; i < 8; ++i) {
        if (a.Data4[i] != b.Data4[i]) {
            return false;
        }
    }
    return true;
}

// {15E65EC0-3B9C-11D2-B92F-00609797EA5B}
inline constexpr IID IID_IDirectDraw7 = {
    0x15E65EC0, 0x3B9C, 0x11D2, {0xB9, 0x2F, 0x00, 0x60, 0x97, 0x97, 0xEA, 0x5B}};

// ---- Result codes ------------------------------------------------------------

// DirectDraw's own codes are facility 0x876 with the code in the low word.
inline constexpr HRESULT MakeDirectDrawError(unsigned code) {
    return static_cast<HRESULT>(0x88760000u | code);
}

inline constexpr HRESULT DD_OK = 0;
inline constexpr HRESULT DDERR_GENERIC = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT DDERR_UNSUPPORTED = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT DDERR_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT DDERR_INVALIDPARAMS = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT DDERR_INVALIDMODE = MakeDirectDrawError(80);
inline constexpr HRESULT DDERR_INVALIDOBJECT = MakeDirectDrawError(130);
inline constexpr HRESULT DDERR_INVALIDRECT = MakeDirectDrawError(150);
inline constexpr HRESULT DDERR_NOCOOPERATIVELEVELSET = MakeDirectDrawError(212);
inline constexpr HRESULT DDERR_NOEXCLUSIVEMODE = MakeDirectDrawError(225);
inline constexpr HRESULT DDERR_SURFACEBUSY = MakeDirectDrawError(430);
inline constexpr HRESULT DDERR_SURFACELOST = MakeDirectDrawError(450);
inline constexpr HRESULT DDERR_WASSTILLDRAWING = MakeDirectDrawError(540);
inline constexpr HRESULT DDERR_INVALIDDIRECTDRAWGUID = MakeDirectDrawError(561);
inline constexpr HRESULT DDERR_PRIMARYSURFACEALREADYEXISTS = MakeDirectDrawError(564);
inline constexpr HRESULT DDERR_NOTLOCKED = MakeDirectDrawError(584);
inline constexpr HRESULT DDERR_WRONGMODE = MakeDirectDrawError(587);

inline constexpr bool FAILED(HRESULT result) {
    return result < 0;
}
inline constexpr bool SUCCEEDED(HRESULT result) {
    return result >= 0;
}

// ---- Flags -------------------------------------------------------------------

inline constexpr DWORD DDENUM_ATTACHEDSECONDARYDEVICES = 0x00000001;
inline constexpr BOOL DDENUMRET_CANCEL = 0;
inline constexpr BOOL DDENUMRET_OK = 1;

inline constexpr DWORD DDSCL_FULLSCREEN = 0x00000001;
inline constexpr DWORD DDSCL_ALLOWREBOOT = 0x00000002;
inline constexpr DWORD DDSCL_NOWINDOWCHANGES = 0x00000004;
inline constexpr DWORD DDSCL_NORMAL = 0x00000008;
inline constexpr DWORD DDSCL_EXCLUSIVE = 0x00000010;
inline constexpr DWORD DDSCL_ALLOWMODEX = 0x00000040;
inline constexpr DWORD DDSCL_SETFOCUSWINDOW = 0x00000080;
inline constexpr DWORD DDSCL_SETDEVICEWINDOW = 0x00000100;
inline constexpr DWORD DDSCL_CREATEDEVICEWINDOW = 0x00000200;
inline constexpr DWORD DDSCL_MULTITHREADED = 0x00000400;

inline constexpr DWORD DDSD_CAPS = 0x00000001;
inline constexpr DWORD DDSD_HEIGHT = 0x00000002;
inline constexpr DWORD DDSD_WIDTH = 0x00000004;
inline constexpr DWORD DDSD_PITCH = 0x00000008;
inline constexpr DWORD DDSD_LPSURFACE = 0x00000800;

inline constexpr DWORD DDSCAPS_OFFSCREENPLAIN = 0x00000040;
inline constexpr DWORD DDSCAPS_PRIMARYSURFACE = 0x00000200;
inline constexpr DWORD DDSCAPS_SYSTEMMEMORY = 0x00000800;
inline constexpr DWORD DDSCAPS_VIDEOMEMORY = 0x00004000;

inline constexpr DWORD DDPCAPS_8BIT = 0x00000004;
inline constexpr DWORD DDPCAPS_ALLOW256 = 0x00000040;

inline constexpr DWORD DDLOCK_WAIT = 0x00000001;
inline constexpr DWORD DDLOCK_READONLY = 0x00000010;
inline constexpr DWORD DDLOCK_WRITEONLY = 0x00000020;

inline constexpr DWORD DDBLT_WAIT = 0x01000000;

inline constexpr DWORD DDWAITVB_BLOCKBEGIN = 0x00000001;
inline constexpr DWORD DDWAITVB_BLOCKBEGINEVENT = 0x00000002;
inline constexpr DWORD DDWAITVB_BLOCKEND = 0x00000004;

// ---- Records -----------------------------------------------------------------

struct PALETTEENTRY {
    BYTE peRed;
    BYTE peGreen;
    BYTE peBlue;
    BYTE peFlags;
};

struct DDSCAPS2 {
    DWORD dwCaps;
    DWORD dwCaps2;
    DWORD dwCaps3;
    DWORD dwCaps4;
};

// Only the fields the program reads or writes. Callers set dwSize to
// sizeof(DDSURFACEDESC2), which differs between our layout and the
// platform's; the methods reject any other size.
struct DDSURFACEDESC2 {
    DWORD dwSize;
    DWORD dwFlags;
    DWORD dwHeight;
    DWORD dwWidth;
    LONG lPitch;
    LPVOID lpSurface;
    DDSCAPS2 ddsCaps;
};
typedef DDSURFACEDESC2* LPDDSURFACEDESC2;

// Blit effects: the program passes none.
struct DDBLTFX;
typedef DDBLTFX* LPDDBLTFX;

// ---- Interfaces --------------------------------------------------------------

// The reference-counting base of every interface. Objects are freed by their
// last Release, never by delete.
class IUnknown {
public:
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

protected:
    ~IUnknown() = default;
};

class IDirectDrawPalette : public IUnknown {
public:
    virtual HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, PALETTEENTRY* entries) = 0;

protected:
    ~IDirectDrawPalette() = default;
};
typedef IDirectDrawPalette* LPDIRECTDRAWPALETTE;

class IDirectDrawSurface7 : public IUnknown {
public:
    virtual HRESULT Blt(RECT* destinationRect, IDirectDrawSurface7* source, RECT* sourceRect,
                        DWORD flags, DDBLTFX* effects) = 0;
    virtual HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) = 0;
    virtual HRESULT Restore() = 0;
    virtual HRESULT SetPalette(IDirectDrawPalette* palette) = 0;
    virtual HRESULT Unlock(RECT* rect) = 0;

protected:
    ~IDirectDrawSurface7() = default;
};
typedef IDirectDrawSurface7* LPDIRECTDRAWSURFACE7;

class IDirectDraw7 : public IUnknown {
public:
    virtual HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries,
                                  IDirectDrawPalette** palette, IUnknown* outer) = 0;
    virtual HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                                  IUnknown* outer) = 0;
    virtual HRESULT SetCooperativeLevel(HWND window, DWORD flags) = 0;
    virtual HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel,
                                   DWORD refreshRate, DWORD flags) = 0;
    virtual HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) = 0;

protected:
    ~IDirectDraw7() = default;
};
typedef IDirectDraw7* LPDIRECTDRAW7;

// ---- Functions ---------------------------------------------------------------

typedef BOOL(WINAPI* LPDDENUMCALLBACKEXA)(GUID* guid, LPSTR description, LPSTR driverName,
                                          LPVOID context, HMONITOR monitor);

HRESULT DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags);
HRESULT DirectDrawCreateEx(GUID* guid, LPVOID* directDraw, REFIID iid, IUnknown* outer);
