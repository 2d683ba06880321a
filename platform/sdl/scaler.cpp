#include "platform/sdl/scaler.h"

#include <cstring>

#include "platform/sdl/geometry.h"

namespace platform::sdl {

int RunStart(int index, int pictureSize, int outputSize) {
    // Output position p shows picture position floor((p + 1/2) * pictureSize
    // / outputSize); the first p that reaches index is the ceiling below.
    const std::int64_t numerator = 2 * std::int64_t{index} * outputSize - pictureSize;
    if (numerator <= 0) {
        return 0;
    }
    const std::int64_t denominator = 2 * std::int64_t{pictureSize};
    return static_cast<int>((numerator + denominator - 1) / denominator);
}

void Scaler::Layout(int pictureWidth, int pictureHeight, int outputWidth, int outputHeight) {
    fit_ = FitRect(outputWidth, outputHeight, pictureWidth, pictureHeight);
    columns_.resize(static_cast<std::size_t>(pictureWidth > 0 ? pictureWidth : 0) + 1);
    rows_.resize(static_cast<std::size_t>(pictureHeight > 0 ? pictureHeight : 0) + 1);
    for (int c = 0; c <= pictureWidth; ++c) {
        columns_[c] = RunStart(c, pictureWidth, fit_.w);
    }
    for (int r = 0; r <= pictureHeight; ++r) {
        rows_[r] = RunStart(r, pictureHeight, fit_.h);
    }
    sources_.resize(static_cast<std::size_t>(fit_.w));
    for (int c = 0; c < pictureWidth; ++c) {
        for (int x = columns_[c]; x < columns_[c + 1]; ++x) {
            sources_[x] = c;
        }
    }
}

SDL_Rect Scaler::Covered(const RECT& area) const {
    if (IsEmpty(area) || fit_.w == 0 || fit_.h == 0) {
        return SDL_Rect{0, 0, 0, 0};
    }
    const int left = columns_[area.left];
    const int top = rows_[area.top];
    return SDL_Rect{fit_.x + left, fit_.y + top, columns_[area.right] - left,
                    rows_[area.bottom] - top};
}

void Scaler::Draw(const std::uint8_t* indices, int indexPitch,
                  const std::uint32_t (&colours)[256], const RECT& area, std::uint8_t* output,
                  int outputPitch) const {
    if (IsEmpty(area) || fit_.w == 0 || fit_.h == 0) {
        return;
    }
    const int left = columns_[area.left];
    const int right = columns_[area.right];
    const std::size_t bytes = static_cast<std::size_t>(right - left) * 4;
    for (LONG r = area.top; r < area.bottom; ++r) {
        const int top = rows_[r];
        const int bottom = rows_[r + 1];
        if (top == bottom) {
            continue;  // a picture row that falls between output rows
        }
        const std::uint8_t* in = indices + static_cast<std::ptrdiff_t>(r) * indexPitch;
        auto* first = reinterpret_cast<std::uint32_t*>(
                          output + static_cast<std::ptrdiff_t>(fit_.y + top) * outputPitch) +
                      fit_.x;
        for (int x = left; x < right; ++x) {
            first[x] = colours[in[sources_[x]]];
        }
        for (int y = top + 1; y < bottom; ++y) {
            std::uint8_t* row = output + static_cast<std::ptrdiff_t>(fit_.y + y) * outputPitch +
                                static_cast<std::ptrdiff_t>(fit_.x + left) * 4;
            std::memcpy(row, first + left, bytes);
        }
    }
}

}  // namespace platform::sdl
