// One device's picture on one window: the primary surface's palette indices
// turned into colours with the device's palette and scaled to fit the
// window's frame buffer with the aspect ratio kept, black around it.
//
// The conversion and the scaling are one pass of our own straight into the
// window's frame buffer (SDL's window surface), and only what changed is
// handed to the display: no renderer, no texture and no full-screen clear
// per frame.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <vector>

#include "platform/core/backend.h"
#include "platform/sdl/scaler.h"

namespace platform::sdl {

class Screen {
public:
    explicit Screen(int refreshRate);
    ~Screen();
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    // The window the device shows through; owned windows are destroyed with
    // the screen. Showing starts with SetMode.
    void Attach(SDL_Window* window, bool owned);
    // Gives the window up (it is about to go).
    void Detach();
    // The device's mode: a black screen with room for a width x height
    // picture. False when the window has no frame buffer.
    bool SetMode(int width, int height);

    void Show(const ShownSurface& surface);
    // Draws the whole picture again, at the window's current size.
    void Repaint();

    // The display dropped what it showed (its renderer was reset).
    void MarkLost() { lost_ = true; }
    // True while lost; the first look takes the frame buffer again, so the
    // surfaces can be restored at the next one.
    bool Lost();

    // Whether the window was found destroyed by its owner; nothing is drawn
    // in it any more.
    bool WindowGone() const { return gone_; }
    void MarkGone() { gone_ = true; }

    SDL_Window* window() const { return window_; }
    int refreshRate() const { return refreshRate_; }

private:
    // Runs work that talks to the display, noting whether the window has gone.
    template <typename Work>
    void Guarded(Work work);
    bool StartMode(int width, int height);
    void Present(const ShownSurface& surface);
    // The window's frame buffer, laid out anew when it changed size.
    SDL_Surface* Output(bool& laidOut);
    void DrawAll(SDL_Surface* output);
    bool SetPalette(const PALETTEENTRY* entries);
    void MapColours(const SDL_Surface& output);
    void CopyIndices(const ShownSurface& surface, const RECT& area);

    int refreshRate_;
    SDL_Window* window_ = nullptr;
    bool ownsWindow_ = false;
    int width_ = 0;
    int height_ = 0;
    std::vector<std::uint8_t> indices_;  // the picture as last shown
    RECT written_{};  // everything written since the mode was set; the rest is black
    bool paletteKnown_ = false;
    PALETTEENTRY palette_[256] = {};
    std::uint32_t colours_[256] = {};  // the palette in the frame buffer's format
    std::uint32_t black_ = 0;
    SDL_Surface* output_ = nullptr;  // the frame buffer last laid out for
    int outputWidth_ = 0;
    int outputHeight_ = 0;
    Scaler scaler_;
    bool lost_ = false;
    bool gone_ = false;
};

}  // namespace platform::sdl
