#include "platform/sdl/screen.h"

#include <cstring>

#include "platform/sdl/foreign_window.h"
#include "platform/sdl/geometry.h"

namespace platform::sdl {

Screen::Screen(int refreshRate) : refreshRate_(refreshRate) {}

Screen::~Screen() {
    Detach();
}

void Screen::Attach(SDL_Window* window, bool owned) {
    Detach();
    window_ = window;
    ownsWindow_ = owned;
}

void Screen::Detach() {
    if (ownsWindow_ && window_ != nullptr) {
        SDL_DestroyWindow(window_);
    }
    window_ = nullptr;
    ownsWindow_ = false;
    output_ = nullptr;
    gone_ = false;
}

template <typename Work>
void Screen::Guarded(Work work) {
    XErrorTrap trap(window_);
    work();
    if (trap.WindowGone()) {
        gone_ = true;
    }
}

bool Screen::SetMode(int width, int height) {
    if (window_ == nullptr || gone_ || width <= 0 || height <= 0) {
        return false;
    }
    bool ready = false;
    Guarded([&] { ready = StartMode(width, height); });
    return ready;
}

bool Screen::StartMode(int width, int height) {
    // A new mode starts from a black screen: nothing has been written yet.
    width_ = width;
    height_ = height;
    indices_.assign(static_cast<std::size_t>(width) * static_cast<std::size_t>(height), 0);
    written_ = RECT{};
    output_ = nullptr;
    bool laidOut = false;
    return Output(laidOut) != nullptr;
}

void Screen::Show(const ShownSurface& surface) {
    if (window_ == nullptr || lost_ || gone_ || surface.pixels == nullptr) {
        return;
    }
    Guarded([&] { Present(surface); });
}

void Screen::Present(const ShownSurface& surface) {
    if (surface.width != width_ || surface.height != height_) {
        // A primary surface made without a mode has the desktop's size.
        if (surface.width <= 0 || surface.height <= 0 ||
            !StartMode(surface.width, surface.height)) {
            return;
        }
    }
    const bool recoloured = SetPalette(surface.palette);
    const RECT changed = Clip(surface.changed, width_, height_);
    CopyIndices(surface, changed);
    written_ = Union(written_, changed);
    bool laidOut = false;
    SDL_Surface* output = Output(laidOut);
    if (output == nullptr || laidOut) {
        return;
    }
    if (recoloured) {
        MapColours(*output);
        DrawAll(output);
        return;
    }
    if (IsEmpty(changed)) {
        return;
    }
    scaler_.Draw(indices_.data(), width_, colours_, changed, static_cast<std::uint8_t*>(output->pixels),
                 output->pitch);
    const SDL_Rect covered = scaler_.Covered(changed);
    SDL_UpdateWindowSurfaceRects(window_, &covered, 1);
}

void Screen::Repaint() {
    if (window_ == nullptr || lost_ || gone_ || width_ == 0) {
        return;
    }
    Guarded([&] {
        bool laidOut = false;
        if (SDL_Surface* output = Output(laidOut); output != nullptr && !laidOut) {
            DrawAll(output);
        }
    });
}

bool Screen::Lost() {
    if (!lost_) {
        return false;
    }
    output_ = nullptr;
    bool laidOut = false;
    if (window_ == nullptr || gone_) {
        lost_ = false;
    } else {
        Guarded([&] { lost_ = Output(laidOut) == nullptr; });
    }
    return true;
}

SDL_Surface* Screen::Output(bool& laidOut) {
    SDL_Surface* output = SDL_GetWindowSurface(window_);
    if (output == nullptr || output->format->BytesPerPixel != 4) {
        return nullptr;
    }
    if (output != output_ || output->w != outputWidth_ || output->h != outputHeight_) {
        output_ = output;
        outputWidth_ = output->w;
        outputHeight_ = output->h;
        scaler_.Layout(width_, height_, output->w, output->h);
        MapColours(*output);
        DrawAll(output);
        laidOut = true;
    }
    return output;
}

void Screen::DrawAll(SDL_Surface* output) {
    SDL_FillRect(output, nullptr, black_);
    scaler_.Draw(indices_.data(), width_, colours_, written_,
                 static_cast<std::uint8_t*>(output->pixels), output->pitch);
    SDL_UpdateWindowSurface(window_);
}

bool Screen::SetPalette(const PALETTEENTRY* entries) {
    static const PALETTEENTRY black[256] = {};
    const PALETTEENTRY* given = entries != nullptr ? entries : black;
    if (paletteKnown_ && std::memcmp(given, palette_, sizeof palette_) == 0) {
        return false;
    }
    std::memcpy(palette_, given, sizeof palette_);
    paletteKnown_ = true;
    return true;
}

void Screen::MapColours(const SDL_Surface& output) {
    for (int i = 0; i < 256; ++i) {
        colours_[i] = SDL_MapRGB(output.format, palette_[i].peRed, palette_[i].peGreen,
                                 palette_[i].peBlue);
    }
    black_ = SDL_MapRGB(output.format, 0, 0, 0);
}

void Screen::CopyIndices(const ShownSurface& surface, const RECT& area) {
    const std::size_t width = static_cast<std::size_t>(area.right - area.left);
    for (LONG y = area.top; y < area.bottom; ++y) {
        std::memcpy(indices_.data() + static_cast<std::ptrdiff_t>(y) * width_ + area.left,
                    surface.pixels + static_cast<std::ptrdiff_t>(y) * surface.pitch + area.left,
                    width);
    }
}

}  // namespace platform::sdl
