// DirectDraw 7 in memory: devices, 8-bit surfaces, palettes.
//
// Every surface is a block of palette indices with a pitch equal to its
// width. A primary surface shows through the backend each time it changes.
// Devices are numbered in creation order; the number is what the backend and
// the call reports know them by.
//
// Lifetimes follow the platform's counting: the creator holds the first
// reference, a surface holds one on the palette attached to it, and the last
// Release frees the object. A device whose last reference goes gives its
// monitor back at once; its record stays until its surfaces and palettes are
// gone too, and they report DDERR_INVALIDOBJECT meanwhile.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/core/core.h"
#include "platform/core/internal.h"

namespace platform {

namespace {

constexpr int MaxSurfaceSide = 8192;

class DeviceObject;

struct DirectDrawState {
    std::vector<DeviceObject*> devices;  // by device number; null once closed
    int live = 0;                        // objects of every kind not yet freed
};

DirectDrawState State;

// AddRef and Release of every object: the backend may answer in place of
// count, which changes the object's count and returns the new one.
template <typename Count>
ULONG Counted(const CallReport& report, Count count) {
    const auto result = report.Intercept();
    return result ? static_cast<ULONG>(*result) : count();
}

class DeviceObject final : public IDirectDraw7 {
public:
    DeviceObject(int device, int monitor) : device_(device), monitor_(monitor) { ++State.live; }

    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT CreatePalette(DWORD flags, PALETTEENTRY* entries, IDirectDrawPalette** palette,
                          IUnknown* outer) override;
    HRESULT CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                          IUnknown* outer) override;
    HRESULT SetCooperativeLevel(HWND window, DWORD flags) override;
    HRESULT SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel, DWORD refreshRate,
                           DWORD flags) override;
    HRESULT WaitForVerticalBlank(DWORD flags, HANDLE event) override;

    int device() const { return device_; }
    bool closed() const { return references_ == 0; }
    void Adopt() { ++children_; }
    void Orphan() {
        --children_;
        FreeIfUnused();
    }
    void PrimaryGone() { primaryExists_ = false; }

    // A surface is lost when the device lost its display after the surface
    // was last restored.
    unsigned Losses() {
        const bool lost = ActiveBackend().SurfacesLost(device_);
        if (lost && !displayAway_) {
            ++losses_;
        }
        displayAway_ = lost;
        return losses_;
    }
    bool DisplayAway() const { return displayAway_; }

private:
    void FreeIfUnused() {
        if (references_ == 0 && children_ == 0) {
            --State.live;
            delete this;
        }
    }
    CallReport Report(const char* name) const {
        return CallReport(name, ApiObject::DirectDraw, device_);
    }

    int device_;
    int monitor_;
    ULONG references_ = 1;
    int children_ = 0;
    DWORD level_ = 0;
    bool modeSet_ = false;
    int modeWidth_ = 0;
    int modeHeight_ = 0;
    bool primaryExists_ = false;
    unsigned losses_ = 0;
    bool displayAway_ = false;
};

class PaletteObject final : public IDirectDrawPalette {
public:
    PaletteObject(DeviceObject* owner, const PALETTEENTRY* entries, bool allow256)
        : owner_(owner) {
        ++State.live;
        owner_->Adopt();
        std::copy(entries, entries + 256, entries_);
        if (!allow256) {
            // Without DDPCAPS_ALLOW256 the first and last entries stay the
            // system's black and white.
            entries_[0] = PALETTEENTRY{0, 0, 0, 0};
            entries_[255] = PALETTEENTRY{255, 255, 255, 0};
        }
    }

    ULONG AddRef() override {
        return Counted(Report("AddRef"), [this] { return ++references_; });
    }
    ULONG Release() override {
        return Counted(Report("Release"), [this] { return Drop(); });
    }
    HRESULT GetEntries(DWORD flags, DWORD base, DWORD count, PALETTEENTRY* entries) override {
        const auto result = Report("GetEntries")
                                .Hex("flags", flags)
                                .Int("base", base)
                                .Int("count", count)
                                .Intercept();
        if (result) {
            return static_cast<HRESULT>(*result);
        }
        if (entries == nullptr || flags != 0 || base > 256 || count > 256 - base) {
            return DDERR_INVALIDPARAMS;
        }
        std::copy(entries_ + base, entries_ + base + count, entries);
        return DD_OK;
    }

    void Hold() { ++references_; }
    ULONG Drop() {
        const ULONG left = --references_;
        if (left == 0) {
            DeviceObject* owner = owner_;
            --State.live;
            delete this;
            owner->Orphan();
        }
        return left;
    }
    const PALETTEENTRY* entries() const { return entries_; }

private:
    CallReport Report(const char* name) const {
        return CallReport(name, ApiObject::Palette, owner_->device());
    }

    DeviceObject* owner_;
    ULONG references_ = 1;
    PALETTEENTRY entries_[256];
};

class SurfaceObject final : public IDirectDrawSurface7 {
public:
    SurfaceObject(DeviceObject* owner, bool primary, int width, int height, DWORD caps)
        : owner_(owner),
          primary_(primary),
          width_(width),
          height_(height),
          caps_(caps),
          pixels_(static_cast<std::size_t>(width) * static_cast<std::size_t>(height)),
          restoredAt_(owner->Losses()) {
        ++State.live;
        owner_->Adopt();
    }

    ULONG AddRef() override {
        return Counted(Report("AddRef"), [this] { return ++references_; });
    }

    ULONG Release() override {
        return Counted(Report("Release"), [this] {
            const ULONG left = --references_;
            if (left == 0) {
                Free();
            }
            return left;
        });
    }

    HRESULT Blt(RECT* destinationRect, IDirectDrawSurface7* source, RECT* sourceRect,
                DWORD flags, DDBLTFX* effects) override;
    HRESULT Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE event) override;
    HRESULT Restore() override;
    HRESULT SetPalette(IDirectDrawPalette* palette) override;
    HRESULT Unlock(RECT* rect) override;

    ApiObject kind() const { return primary_ ? ApiObject::PrimarySurface : ApiObject::Surface; }

private:
    CallReport Report(const char* name) const {
        return CallReport(name, kind(), owner_->device());
    }

    void Free() {
        if (palette_ != nullptr) {
            palette_->Drop();
        }
        if (primary_) {
            owner_->PrimaryGone();
        }
        DeviceObject* owner = owner_;
        --State.live;
        delete this;
        owner->Orphan();
    }

    // DD_OK when the surface can be used now.
    HRESULT Usable() {
        if (owner_->closed()) {
            return DDERR_INVALIDOBJECT;
        }
        return owner_->Losses() != restoredAt_ ? DDERR_SURFACELOST : DD_OK;
    }

    // Null stands for the whole surface; anything else must lie inside it
    // and not be empty.
    bool Resolve(const RECT* given, RECT& rect) const {
        rect = given != nullptr ? *given : RECT{0, 0, width_, height_};
        return rect.left >= 0 && rect.top >= 0 && rect.left < rect.right &&
               rect.top < rect.bottom && rect.right <= width_ && rect.bottom <= height_;
    }

    std::uint8_t* At(LONG x, LONG y) {
        return pixels_.data() + static_cast<std::size_t>(y) * width_ + x;
    }

    void ShowIfPrimary(const RECT& changed) {
        if (!primary_) {
            return;
        }
        ShownSurface shown;
        shown.pixels = pixels_.data();
        shown.width = width_;
        shown.height = height_;
        shown.pitch = width_;
        shown.palette = palette_ != nullptr ? palette_->entries() : nullptr;
        shown.changed = changed;
        ActiveBackend().Show(owner_->device(), shown);
    }

    DeviceObject* owner_;
    bool primary_;
    int width_;
    int height_;
    DWORD caps_;
    std::vector<std::uint8_t> pixels_;
    unsigned restoredAt_;
    ULONG references_ = 1;
    bool locked_ = false;
    RECT lockedRect_{};
    PaletteObject* palette_ = nullptr;
};

// ---- Surfaces ----------------------------------------------------------------

HRESULT SurfaceObject::Lock(RECT* rect, DDSURFACEDESC2* description, DWORD flags, HANDLE) {
    const auto result = Report("Lock").Rect("rect", rect).Hex("flags", flags).Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (description == nullptr || description->dwSize != sizeof(DDSURFACEDESC2)) {
        return DDERR_INVALIDPARAMS;
    }
    if (const HRESULT usable = Usable(); usable != DD_OK) {
        return usable;
    }
    if (locked_) {
        return DDERR_SURFACEBUSY;
    }
    RECT area;
    if (!Resolve(rect, area)) {
        return DDERR_INVALIDRECT;
    }
    description->dwFlags = DDSD_CAPS | DDSD_HEIGHT | DDSD_WIDTH | DDSD_PITCH | DDSD_LPSURFACE;
    description->dwWidth = static_cast<DWORD>(width_);
    description->dwHeight = static_cast<DWORD>(height_);
    description->lPitch = width_;
    description->lpSurface = At(area.left, area.top);
    description->ddsCaps = DDSCAPS2{caps_, 0, 0, 0};
    locked_ = true;
    lockedRect_ = area;
    return DD_OK;
}

HRESULT SurfaceObject::Unlock(RECT* rect) {
    const auto result = Report("Unlock").Rect("rect", rect).Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (owner_->closed()) {
        return DDERR_INVALIDOBJECT;
    }
    if (!locked_) {
        return DDERR_NOTLOCKED;
    }
    locked_ = false;
    ShowIfPrimary(lockedRect_);
    return DD_OK;
}

HRESULT SurfaceObject::Blt(RECT* destinationRect, IDirectDrawSurface7* source, RECT* sourceRect,
                           DWORD flags, DDBLTFX* effects) {
    SurfaceObject* from = static_cast<SurfaceObject*>(source);
    const auto result = Report("Blt")
                            .Rect("dst", destinationRect)
                            .Object("src", from != nullptr ? from->kind() : ApiObject::None)
                            .Rect("srcRect", sourceRect)
                            .Hex("flags", flags)
                            .Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    // Only plain copies: no colour fills, no effects.
    if (from == nullptr || effects != nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    if (const HRESULT usable = Usable(); usable != DD_OK) {
        return usable;
    }
    if (const HRESULT usable = from->Usable(); usable != DD_OK) {
        return usable;
    }
    if (locked_ || from->locked_) {
        return DDERR_SURFACEBUSY;
    }
    RECT to;
    RECT at;
    if (!Resolve(destinationRect, to) || !from->Resolve(sourceRect, at)) {
        return DDERR_INVALIDRECT;
    }
    const LONG width = to.right - to.left;
    const LONG height = to.bottom - to.top;
    if (width != at.right - at.left || height != at.bottom - at.top) {
        return DDERR_UNSUPPORTED;  // no stretching
    }
    for (LONG row = 0; row < height; ++row) {
        // memmove: a surface may be blitted onto itself.
        std::memmove(At(to.left, to.top + row), from->At(at.left, at.top + row),
                     static_cast<std::size_t>(width));
    }
    ShowIfPrimary(to);
    return DD_OK;
}

HRESULT SurfaceObject::Restore() {
    const auto result = Report("Restore").Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (owner_->closed()) {
        return DDERR_INVALIDOBJECT;
    }
    const unsigned losses = owner_->Losses();
    if (owner_->DisplayAway()) {
        return DDERR_WRONGMODE;
    }
    restoredAt_ = losses;
    return DD_OK;
}

HRESULT SurfaceObject::SetPalette(IDirectDrawPalette* palette) {
    const auto result =
        Report("SetPalette")
            .Object("palette", palette != nullptr ? ApiObject::Palette : ApiObject::None)
            .Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (owner_->closed()) {
        return DDERR_INVALIDOBJECT;
    }
    PaletteObject* attached = static_cast<PaletteObject*>(palette);
    if (attached != nullptr) {
        attached->Hold();
    }
    if (palette_ != nullptr) {
        palette_->Drop();
    }
    palette_ = attached;
    ShowIfPrimary(RECT{});
    return DD_OK;
}

// ---- Devices -----------------------------------------------------------------

ULONG DeviceObject::AddRef() {
    return Counted(Report("AddRef"), [this] { return ++references_; });
}

ULONG DeviceObject::Release() {
    return Counted(Report("Release"), [this] {
        const ULONG left = --references_;
        if (left == 0) {
            if (static_cast<std::size_t>(device_) < State.devices.size() &&
                State.devices[device_] == this) {
                State.devices[device_] = nullptr;
            }
            ActiveBackend().CloseDevice(device_);
            FreeIfUnused();
        }
        return left;
    });
}

HRESULT DeviceObject::SetCooperativeLevel(HWND window, DWORD flags) {
    const auto result =
        Report("SetCooperativeLevel").Handle("hwnd", window).Hex("flags", flags).Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    const bool fullScreen = (flags & DDSCL_FULLSCREEN) != 0;
    const bool exclusive = (flags & DDSCL_EXCLUSIVE) != 0;
    const bool normal = (flags & DDSCL_NORMAL) != 0;
    // Full screen and exclusive go together, and neither with normal.
    if (fullScreen != exclusive || normal == exclusive) {
        return DDERR_INVALIDPARAMS;
    }
    if (exclusive && !IsLiveWindow(window)) {
        return DDERR_INVALIDPARAMS;
    }
    if (const HRESULT granted = ActiveBackend().SetCooperativeLevel(device_, window, flags);
        granted != DD_OK) {
        return granted;
    }
    level_ = flags;
    return DD_OK;
}

HRESULT DeviceObject::SetDisplayMode(DWORD width, DWORD height, DWORD bitsPerPixel,
                                     DWORD refreshRate, DWORD flags) {
    const auto result = Report("SetDisplayMode")
                            .Int("width", width)
                            .Int("height", height)
                            .Int("bpp", bitsPerPixel)
                            .Int("refresh", refreshRate)
                            .Hex("flags", flags)
                            .Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if ((level_ & DDSCL_EXCLUSIVE) == 0) {
        return DDERR_NOEXCLUSIVEMODE;
    }
    // Every surface holds one byte per pixel, so only palettised modes exist.
    if (bitsPerPixel != 8 || width == 0 || height == 0 || width > MaxSurfaceSide ||
        height > MaxSurfaceSide || refreshRate > 1000 || flags != 0) {
        return DDERR_INVALIDMODE;
    }
    if (const HRESULT set = ActiveBackend().SetDisplayMode(device_, static_cast<int>(width),
                                                            static_cast<int>(height), 8,
                                                            static_cast<int>(refreshRate));
        set != DD_OK) {
        return set;
    }
    modeSet_ = true;
    modeWidth_ = static_cast<int>(width);
    modeHeight_ = static_cast<int>(height);
    return DD_OK;
}

HRESULT DeviceObject::CreateSurface(DDSURFACEDESC2* description, IDirectDrawSurface7** surface,
                                    IUnknown* outer) {
    const bool given = description != nullptr;
    const auto result = Report("CreateSurface")
                            .Hex("flags", given ? description->dwFlags : 0)
                            .Hex("caps", given ? description->ddsCaps.dwCaps : 0)
                            .Int("width", given ? description->dwWidth : 0)
                            .Int("height", given ? description->dwHeight : 0)
                            .Intercept();
    if (surface != nullptr) {
        *surface = nullptr;
    }
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (!given || surface == nullptr || description->dwSize != sizeof(DDSURFACEDESC2) ||
        (description->dwFlags & DDSD_CAPS) == 0) {
        return DDERR_INVALIDPARAMS;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (level_ == 0) {
        return DDERR_NOCOOPERATIVELEVELSET;
    }
    const DWORD caps = description->ddsCaps.dwCaps;
    const DWORD sizeFlags = description->dwFlags & (DDSD_WIDTH | DDSD_HEIGHT);
    int width = 0;
    int height = 0;
    if ((caps & DDSCAPS_PRIMARYSURFACE) != 0) {
        // The primary surface is the screen: its size is the mode's.
        if (sizeFlags != 0) {
            return DDERR_INVALIDPARAMS;
        }
        if (primaryExists_) {
            return DDERR_PRIMARYSURFACEALREADYEXISTS;
        }
        if (modeSet_) {
            width = modeWidth_;
            height = modeHeight_;
        } else {
            const MonitorInfo monitor = ActiveBackend().Monitor(monitor_);
            width = monitor.width;
            height = monitor.height;
        }
    } else {
        if (sizeFlags != (DDSD_WIDTH | DDSD_HEIGHT)) {
            return DDERR_INVALIDPARAMS;
        }
        width = static_cast<int>(std::min<DWORD>(description->dwWidth, MaxSurfaceSide + 1));
        height = static_cast<int>(std::min<DWORD>(description->dwHeight, MaxSurfaceSide + 1));
    }
    if (width <= 0 || height <= 0 || width > MaxSurfaceSide || height > MaxSurfaceSide) {
        return DDERR_INVALIDPARAMS;
    }
    const bool primary = (caps & DDSCAPS_PRIMARYSURFACE) != 0;
    primaryExists_ = primaryExists_ || primary;
    *surface = new SurfaceObject(this, primary, width, height, caps);
    return DD_OK;
}

HRESULT DeviceObject::CreatePalette(DWORD flags, PALETTEENTRY* entries,
                                    IDirectDrawPalette** palette, IUnknown* outer) {
    const auto result = Report("CreatePalette").Hex("flags", flags).Intercept();
    if (palette != nullptr) {
        *palette = nullptr;
    }
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (entries == nullptr || palette == nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    if (level_ == 0) {
        return DDERR_NOCOOPERATIVELEVELSET;
    }
    if ((flags & DDPCAPS_8BIT) == 0) {
        return DDERR_UNSUPPORTED;  // surfaces are 8-bit, so are palettes
    }
    *palette = new PaletteObject(this, entries, (flags & DDPCAPS_ALLOW256) != 0);
    return DD_OK;
}

HRESULT DeviceObject::WaitForVerticalBlank(DWORD flags, HANDLE event) {
    const auto result = Report("WaitForVerticalBlank").Hex("flags", flags).Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (flags == DDWAITVB_BLOCKBEGINEVENT) {
        return DDERR_UNSUPPORTED;
    }
    if ((flags != DDWAITVB_BLOCKBEGIN && flags != DDWAITVB_BLOCKEND) || event != nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    ActiveBackend().WaitForVerticalBlank(device_);
    return DD_OK;
}

// ---- Enumeration ---------------------------------------------------------------

// The platform's special identifiers for the emulated and hardware drivers of
// the primary display.
bool MeansPrimary(const GUID* guid) {
    const std::uintptr_t value = reinterpret_cast<std::uintptr_t>(guid);
    return value == 0 || value == 1 || value == 2;
}

}  // namespace

void ResetDirectDraw() {
    State.devices.clear();
}

int LiveDirectDrawObjects() {
    return State.live;
}

void ResetPlatformState() {
    ResetMessages();
    ResetDirectDraw();
}

}  // namespace platform

using platform::CallReport;

HRESULT DirectDrawEnumerateExA(LPDDENUMCALLBACKEXA callback, LPVOID context, DWORD flags) {
    const auto result = CallReport("DirectDrawEnumerateExA").Hex("flags", flags).Intercept();
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (callback == nullptr) {
        return DDERR_INVALIDPARAMS;
    }
    platform::Backend& backend = platform::ActiveBackend();
    if (backend.ReportsGuidlessEntry()) {
        char description[] = "Primary Display Driver";
        char name[] = "display";
        if (callback(nullptr, description, name, context, nullptr) == DDENUMRET_CANCEL) {
            return DD_OK;
        }
    }
    if ((flags & DDENUM_ATTACHEDSECONDARYDEVICES) == 0) {
        return DD_OK;
    }
    const int count = backend.MonitorCount();
    for (int i = 0; i < count; ++i) {
        // The callback gets copies it may write to.
        platform::MonitorInfo monitor = backend.Monitor(i);
        const HMONITOR handle = reinterpret_cast<HMONITOR>(static_cast<std::uintptr_t>(i + 1));
        if (callback(&monitor.guid, monitor.description, monitor.name, context, handle) ==
            DDENUMRET_CANCEL) {
            break;
        }
    }
    return DD_OK;
}

HRESULT DirectDrawCreateEx(GUID* guid, LPVOID* directDraw, REFIID iid, IUnknown* outer) {
    const int device = static_cast<int>(platform::State.devices.size());
    const bool special = platform::MeansPrimary(guid) && guid != nullptr;
    const auto result = CallReport("DirectDrawCreateEx", platform::ApiObject::None, device)
                            .Guid("guid", special ? nullptr : guid)
                            .Intercept();
    if (directDraw != nullptr) {
        *directDraw = nullptr;
    }
    if (result) {
        return static_cast<HRESULT>(*result);
    }
    if (directDraw == nullptr || !(iid == IID_IDirectDraw7)) {
        return DDERR_INVALIDPARAMS;
    }
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    platform::Backend& backend = platform::ActiveBackend();
    const int count = backend.MonitorCount();
    int monitor = platform::MeansPrimary(guid) ? 0 : -1;
    for (int i = 0; monitor < 0 && i < count; ++i) {
        if (backend.Monitor(i).guid == *guid) {
            monitor = i;
        }
    }
    if (monitor < 0 || monitor >= count) {
        return DDERR_INVALIDDIRECTDRAWGUID;
    }
    if (const HRESULT opened = backend.OpenDevice(device, monitor); opened != DD_OK) {
        return opened;
    }
    auto* created = new platform::DeviceObject(device, monitor);
    platform::State.devices.push_back(created);
    *directDraw = static_cast<IDirectDraw7*>(created);
    return DD_OK;
}
