// The colour tables of the lighting pass, computed once from the palette so
// that a frame needs no colour arithmetic.
#include <algorithm>
#include <cstdlib>

#include "effect/effect.h"

namespace {

// The plain mean of the three components, remainder dropped.
int Luminance(int index)
{
    const std::uint8_t* rgb = PaletteRgb + 3 * index;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

// The palette index nearest to (red, green, blue) by the largest component
// difference; the lowest index wins a tie.
std::uint8_t NearestColour(int red, int green, int blue)
{
    int bestDistance = 256;
    int bestIndex = 0;
    for (int j = 0; j < 256; ++j) {
        const std::uint8_t* rgb = PaletteRgb + 3 * j;
        const int distance = std::max({std::abs(rgb[0] - red), std::abs(rgb[1] - green),
                                       std::abs(rgb[2] - blue)});
        if (distance < bestDistance) {
            bestDistance = distance;
            bestIndex = j;
        }
    }
    return static_cast<std::uint8_t>(bestIndex);
}

}  // namespace

void BuildGradientTable()
{
    // 4 steps per unit of luminance rise from hi to lo, 128 for level ground.
    for (int hi = 0; hi < 256; ++hi) {
        for (int lo = 0; lo < 256; ++lo) {
            const int slope = 4 * (Luminance(lo) - Luminance(hi)) + 128;
            GradientTable[hi * 256 + lo] = static_cast<std::uint8_t>(std::clamp(slope, 0, 255));
        }
    }
}

void BuildShadeTable()
{
    // Light only ever brightens: it is added to each component and saturates.
    for (int hi = 0; hi < 256; ++hi) {
        const std::uint8_t* rgb = PaletteRgb + 3 * hi;
        for (int light = 0; light < 256; ++light) {
            ShadeTable[hi * 256 + light] =
                NearestColour(std::min(rgb[0] + light, 255), std::min(rgb[1] + light, 255),
                              std::min(rgb[2] + light, 255));
        }
    }
}
