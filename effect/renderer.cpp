// The per-frame renderer: pass 1 warps the texture into the HeightBuffer,
// pass 2 lights it as a relief. Integer table lookups only; nothing is
// allocated and no floating point is used per frame.
#include <algorithm>

#include "effect/effect.h"

namespace {

// The texture that pass 1 samples, bound once by PrepareRenderer.
const std::uint8_t* BoundTexture = nullptr;

// Light row 180, column 180. The window is sampled every second cell, so the
// slope of level ground (128 both ways) meets row 436, column 436, which lies
// outside the lit disc: flat areas and falling slopes keep their own colour.
constexpr int LightWindowOrigin = 180 * LightMapSize + 180;

void LookUpTexture(unsigned scroll)
{
    // The doubled TexRowMap holds the 480 rows of any scroll contiguously.
    const std::uint8_t* rows = TexRowMap + (FrameHeight - scroll) * FrameWidth;
    for (std::size_t p = 0; p < FrameBytes; ++p) {
        // Row byte high, column byte low: a texel of the 256x256 texture.
        const unsigned texel = (unsigned{rows[p]} << 8) | TexColMap[p];
        HeightBuffer[p] = BoundTexture[texel];
    }
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
    for (int x = 0; x < FrameWidth; ++x) {
        const int left = std::max(x - 2, 0);
        const int right = std::min(x + 2, FrameWidth - 1);
        // The horizontal slope picks the light row, the vertical one the column.
        const int across = GradientTable[row[left] * 256 + row[right]];
        const int down = GradientTable[above[x] * 256 + below[x]];
        const int light = LightMap[LightWindowOrigin + across * 2 * LightMapSize + down * 2];
        out[x] = ShadeTable[row[x] * 256 + light];
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
    // A scroll out of range would read outside TexRowMap; fold it back.
    LookUpTexture(scroll % FrameHeight);
    for (int y = 0; y < FrameHeight; ++y) {
        ShadeRow(y, target + y * FrameWidth);
    }
}
