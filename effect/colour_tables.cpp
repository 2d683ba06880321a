// The colour tables of the lighting pass, computed once from the palette so
// that a frame needs no colour arithmetic.
#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "effect/effect.h"

namespace {

// The plain mean of the three components, remainder dropped.
int Luminance(int index)
{
    const std::uint8_t* rgb = PaletteRgb + 3 * index;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

// ---- Nearest colours ------------------------------------------------------
//
// ShadeTable[hi * 256 + lo] is the lowest palette index nearest, by the
// largest component difference, to colour hi lightened by lo. Sixteen light
// levels are searched at once, one per byte lane. As lo steps by one, each
// component of the target moves by at most one, and so does its distance to
// any colour. Around the middle light level m of a run of sixteen, no level
// is more than 8 away; with D the smallest distance at m, every level of the
// run has a colour within D + 8, and a colour farther than D + 16 from the
// target at m is farther than D + 8 from every target of the run. Only the
// colours within D + 16 are searched, in ascending index order, so the
// lowest index still wins a tie.

// Sixteen bytes, one per lane; plain vector arithmetic that compiles to the
// processor's baseline vector instructions (SSE2 on x86-64) or to scalar code.
typedef std::uint8_t Lanes __attribute__((vector_size(16)));

constexpr int LaneCount = 16;
constexpr int Chunks = 256 / LaneCount;
constexpr int RunMiddle = LaneCount / 2;
constexpr int RunReach = 2 * RunMiddle;  // the D + 16 above

Lanes Max(Lanes a, Lanes b)
{
    return a > b ? a : b;
}

Lanes Min(Lanes a, Lanes b)
{
    return a < b ? a : b;
}

Lanes Difference(Lanes a, Lanes b)
{
    return Max(a, b) - Min(a, b);
}

Lanes Splat(int value)
{
    return static_cast<std::uint8_t>(value) + Lanes{};
}

// A bit per lane, set where the lane holds at most limit.
unsigned LanesAtMost(Lanes lanes, std::uint8_t limit)
{
#if defined(__SSE2__)
    const __m128i bound = _mm_set1_epi8(static_cast<char>(limit));
    const __m128i v = reinterpret_cast<__m128i>(lanes);
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, bound), bound)));
#else
    unsigned bits = 0;
    for (int i = 0; i < LaneCount; ++i) {
        bits |= unsigned{lanes[i] <= limit} << i;
    }
    return bits;
#endif
}

std::uint8_t SmallestLane(Lanes lanes)
{
#if defined(__SSE2__)
    __m128i v = reinterpret_cast<__m128i>(lanes);
    v = _mm_min_epu8(v, _mm_srli_si128(v, 8));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 4));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 2));
    v = _mm_min_epu8(v, _mm_srli_si128(v, 1));
    return static_cast<std::uint8_t>(_mm_cvtsi128_si32(v));
#else
    std::uint8_t smallest = lanes[0];
    for (int i = 1; i < LaneCount; ++i) {
        smallest = std::min<std::uint8_t>(smallest, lanes[i]);
    }
    return smallest;
#endif
}

// The palette twice: sixteen colours per chunk, for distances to one target,
// and each colour in every lane, for distances to sixteen targets.
struct SearchPalette {
    Lanes red[Chunks];
    Lanes green[Chunks];
    Lanes blue[Chunks];
    Lanes everyRed[256];
    Lanes everyGreen[256];
    Lanes everyBlue[256];
    Lanes everyIndex[256];
};

SearchPalette Search;

void FillSearchPalette()
{
    for (int j = 0; j < 256; ++j) {
        const std::uint8_t* rgb = PaletteRgb + 3 * j;
        Search.red[j / LaneCount][j % LaneCount] = rgb[0];
        Search.green[j / LaneCount][j % LaneCount] = rgb[1];
        Search.blue[j / LaneCount][j % LaneCount] = rgb[2];
        Search.everyRed[j] = Splat(rgb[0]);
        Search.everyGreen[j] = Splat(rgb[1]);
        Search.everyBlue[j] = Splat(rgb[2]);
        Search.everyIndex[j] = Splat(j);
    }
}

// Component c lightened by lo, saturating at 255.
int Lightened(int component, int light)
{
    return std::min(component + light, 255);
}

Lanes Lightened(int component, Lanes lights)
{
    const Lanes headroom = Splat(255 - component);
    return lights > headroom ? Splat(255) : Splat(component) + lights;
}

// The colours that may be nearest to some target of the run, ascending.
int Contenders(const std::uint8_t* rgb, int middleLight, std::uint8_t (&contenders)[256])
{
    const Lanes red = Splat(Lightened(rgb[0], middleLight));
    const Lanes green = Splat(Lightened(rgb[1], middleLight));
    const Lanes blue = Splat(Lightened(rgb[2], middleLight));
    Lanes distances[Chunks];
    Lanes nearest = Splat(255);
    for (int c = 0; c < Chunks; ++c) {
        distances[c] = Max(Max(Difference(Search.red[c], red), Difference(Search.green[c], green)),
                           Difference(Search.blue[c], blue));
        nearest = Min(nearest, distances[c]);
    }
    const std::uint8_t reach =
        static_cast<std::uint8_t>(std::min(SmallestLane(nearest) + RunReach, 255));
    int count = 0;
    for (int c = 0; c < Chunks; ++c) {
        for (unsigned bits = LanesAtMost(distances[c], reach); bits != 0; bits &= bits - 1) {
            contenders[count++] = static_cast<std::uint8_t>(c * LaneCount + std::countr_zero(bits));
        }
    }
    return count;
}

// ShadeTable entries hi * 256 + firstLight .. + 15.
void ShadeRun(int hi, int firstLight, std::uint8_t* out)
{
    const std::uint8_t* rgb = PaletteRgb + 3 * hi;
    std::uint8_t contenders[256];
    const int count = Contenders(rgb, firstLight + RunMiddle, contenders);

    const Lanes lights = Splat(firstLight) + Lanes{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    const Lanes red = Lightened(rgb[0], lights);
    const Lanes green = Lightened(rgb[1], lights);
    const Lanes blue = Lightened(rgb[2], lights);
    // Starting from 255 and index 0 gives what starting from 256 would: if
    // nothing is nearer than 255, colour 0 is at 255 too and wins the tie.
    Lanes best = Splat(255);
    Lanes bestIndex = Splat(0);
    for (int n = 0; n < count; ++n) {
        const int j = contenders[n];
        const Lanes distance =
            Max(Max(Difference(Search.everyRed[j], red), Difference(Search.everyGreen[j], green)),
                Difference(Search.everyBlue[j], blue));
        const Lanes nearer = Min(best, distance);
        bestIndex = nearer == best ? bestIndex : Search.everyIndex[j];
        best = nearer;
    }
    std::memcpy(out, &bestIndex, LaneCount);
}

}  // namespace

void BuildGradientTable()
{
    int luminance[256];
    for (int i = 0; i < 256; ++i) {
        luminance[i] = Luminance(i);
    }
    // 4 steps per unit of luminance rise from hi to lo, 128 for level ground.
    for (int hi = 0; hi < 256; ++hi) {
        std::uint8_t* row = GradientTable + hi * 256;
        for (int lo = 0; lo < 256; ++lo) {
            const int slope = 4 * (luminance[lo] - luminance[hi]) + 128;
            row[lo] = static_cast<std::uint8_t>(std::clamp(slope, 0, 255));
        }
    }
}

void BuildShadeTable()
{
    // Light only ever brightens: it is added to each component and saturates.
    FillSearchPalette();
    for (int hi = 0; hi < 256; ++hi) {
        for (int light = 0; light < 256; light += LaneCount) {
            ShadeRun(hi, light, ShadeTable + hi * 256 + light);
        }
    }
}
