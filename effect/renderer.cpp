// The per-frame renderer: pass 1 warps the texture into the HeightBuffer,
// pass 2 lights it as a relief. Integer table lookups only; nothing is
// allocated and no floating point is used per frame.
//
// The passes run interleaved, row by row: a row is lit as soon as the row two
// below it is warped, so the five HeightBuffer rows it reads are still in the
// cache. Every HeightBuffer row is complete before any row reads it, so the
// bytes are those of two whole passes.
#include <algorithm>

#include "effect/effect.h"

namespace {

// The texture that pass 1 samples, bound once by PrepareRenderer.
const std::uint8_t* BoundTexture = nullptr;

// Light row 180, column 180. The window is sampled every second cell, so the
// slope of level ground (128 both ways) meets row 436, column 436, which lies
// outside the lit disc: flat areas and falling slopes keep their own colour.
constexpr int LightWindowOrigin = 180 * LightMapSize + 180;

// The light window as the slopes see it, every second cell of its rows and
// columns, copied from the LightMap at the start of every frame: entry
// across * 256 + down, so a pixel's light needs no multiplication, and its
// 64 KB sit closer together in the cache than the 1.3 MB they come from.
std::uint8_t LightWindow[256 * 256];

void CopyLightWindow()
{
    for (int across = 0; across < 256; ++across) {
        const std::uint8_t* from = LightMap + LightWindowOrigin + across * 2 * LightMapSize;
        std::uint8_t* to = LightWindow + across * 256;
        for (int down = 0; down < 256; ++down) {
            to[down] = from[2 * down];
        }
    }
}

// Row byte high, column byte low: a texel of the 256x256 texture. The
// indices are formed for the whole row first, in a loop the compiler turns
// into vector code, so the lookups that follow do nothing else.
void LookUpRow(const std::uint8_t* rows, const std::uint8_t* columns, std::uint8_t* heights)
{
    std::uint16_t texels[FrameWidth];
    for (int x = 0; x < FrameWidth; ++x) {
        texels[x] = static_cast<std::uint16_t>((rows[x] << 8) | columns[x]);
    }
    const std::uint8_t* texture = BoundTexture;
#pragma GCC unroll 8
    for (int x = 0; x < FrameWidth; ++x) {
        heights[x] = texture[texels[x]];
    }
}

unsigned Pair(unsigned first, unsigned second)
{
    return (first << 8) | second;
}

// Neighbours beyond the frame are taken from its nearest edge, so the outer
// band of two rows and columns continues the picture without reading outside
// the HeightBuffer.
const std::uint8_t* HeightRow(int y)
{
    return HeightBuffer + std::clamp(y, 0, FrameHeight - 1) * FrameWidth;
}

void ShadeRow(int y, std::uint8_t* out)
{
    const std::uint8_t* above = HeightRow(y - 2);
    const std::uint8_t* row = HeightRow(y);
    const std::uint8_t* below = HeightRow(y + 2);
    // Table indices of the whole row first, as vector code; columns 0, 1,
    // 638 and 639 take their missing neighbours from the row's ends.
    std::uint16_t across[FrameWidth];
    std::uint16_t down[FrameWidth];
    std::uint16_t shades[FrameWidth];
    for (int x = 0; x < FrameWidth; ++x) {
        down[x] = static_cast<std::uint16_t>(Pair(above[x], below[x]));
        shades[x] = static_cast<std::uint16_t>(Pair(row[x], 0));
    }
    for (int x = 2; x < FrameWidth - 2; ++x) {
        across[x] = static_cast<std::uint16_t>(Pair(row[x - 2], row[x + 2]));
    }
    constexpr int Last = FrameWidth - 1;
    across[0] = static_cast<std::uint16_t>(Pair(row[0], row[2]));
    across[1] = static_cast<std::uint16_t>(Pair(row[0], row[3]));
    across[Last - 1] = static_cast<std::uint16_t>(Pair(row[Last - 3], row[Last]));
    across[Last] = static_cast<std::uint16_t>(Pair(row[Last - 2], row[Last]));
    // The horizontal slope picks the light row, the vertical one the column.
#pragma GCC unroll 8
    for (int x = 0; x < FrameWidth; ++x) {
        const unsigned lightRow = GradientTable[across[x]];
        const unsigned light = LightWindow[(lightRow << 8) | GradientTable[down[x]]];
        out[x] = ShadeTable[shades[x] | light];
    }
}

}  // namespace

unsigned ScrollForTime(std::uint32_t milliseconds)
{
    return milliseconds / 10u % FrameHeight;
}

void PrepareRenderer()
{
    BoundTexture = TextureTable;
}

void RenderFrameAtScroll(std::uint8_t* target, unsigned scroll)
{
    // The doubled TexRowMap holds the 480 rows of any scroll contiguously;
    // a scroll out of range would read outside it, so it is folded back.
    const std::uint8_t* rows = TexRowMap + (FrameHeight - scroll % FrameHeight) * FrameWidth;
    CopyLightWindow();
    for (int y = 0; y < FrameHeight + 2; ++y) {
        if (y < FrameHeight) {
            LookUpRow(rows + y * FrameWidth, TexColMap + y * FrameWidth,
                      HeightBuffer + y * FrameWidth);
        }
        if (y >= 2) {
            ShadeRow(y - 2, target + (y - 2) * FrameWidth);
        }
    }
}
