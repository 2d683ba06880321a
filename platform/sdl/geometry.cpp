#include "platform/sdl/geometry.h"

#include <algorithm>
#include <cstdint>

namespace platform::sdl {

SDL_Rect FitRect(int outputWidth, int outputHeight, int pictureWidth, int pictureHeight) {
    if (outputWidth <= 0 || outputHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0) {
        return SDL_Rect{0, 0, 0, 0};
    }
    // Compared as products so that an exact fit stays exact.
    const std::int64_t wide = std::int64_t{outputWidth} * pictureHeight;
    const std::int64_t tall = std::int64_t{outputHeight} * pictureWidth;
    int width = outputWidth;
    int height = outputHeight;
    if (wide > tall) {
        width = static_cast<int>(std::int64_t{outputHeight} * pictureWidth / pictureHeight);
    } else {
        height = static_cast<int>(std::int64_t{outputWidth} * pictureHeight / pictureWidth);
    }
    return SDL_Rect{(outputWidth - width) / 2, (outputHeight - height) / 2, width, height};
}

bool IsEmpty(const RECT& rect) {
    return rect.right <= rect.left || rect.bottom <= rect.top;
}

RECT Clip(const RECT& rect, int width, int height) {
    RECT clipped{std::max<LONG>(rect.left, 0), std::max<LONG>(rect.top, 0),
                 std::min<LONG>(rect.right, width), std::min<LONG>(rect.bottom, height)};
    return IsEmpty(clipped) ? RECT{} : clipped;
}

RECT Union(const RECT& a, const RECT& b) {
    if (IsEmpty(a)) {
        return IsEmpty(b) ? RECT{} : b;
    }
    if (IsEmpty(b)) {
        return a;
    }
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

SDL_Rect ToSdl(const RECT& rect) {
    return SDL_Rect{static_cast<int>(rect.left), static_cast<int>(rect.top),
                    static_cast<int>(rect.right - rect.left),
                    static_cast<int>(rect.bottom - rect.top)};
}

}  // namespace platform::sdl
