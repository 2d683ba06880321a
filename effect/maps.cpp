// The light map and the two texture-coordinate maps. Both are computed from
// constants alone, so every run produces the same bytes.
#include <bit>
#include <cmath>
#include <cstring>

#include "effect/effect.h"

namespace {

// The angle unit of the warp: the float one step below the float nearest to
// pi / 4096. The maps depend on this exact value (and on truncation below):
// a rounder pi / 4096 changes dozens of bytes.
const float AngleUnit = std::bit_cast<float>(std::uint32_t{0x3A490FDA});

// 65536 * f(n * unit), truncated toward zero. n * unit is exact in double.
std::int32_t SineTerm(std::int32_t n)
{
    const double angle = static_cast<double>(n) * static_cast<double>(AngleUnit);
    return static_cast<std::int32_t>(std::sin(angle) * 65536.0);
}

std::int32_t CosineTerm(std::int32_t n)
{
    const double angle = static_cast<double>(n) * static_cast<double>(AngleUnit);
    return static_cast<std::int32_t>(std::cos(angle) * 65536.0);
}

// Light level of one cell: 255 at the centre, falling by 2 per step of the
// scaled distance, 0 from 128 steps out.
std::uint8_t LightAt(int row, int column)
{
    const int centre = LightMapSize / 2;
    const int dy = 512 * (row - centre) / centre;  // truncates toward zero
    const int dx = 512 * (column - centre) / centre;
    const int distanceSquared = dx * dx + dy * dy;
    int fallOff = static_cast<int>(2.0 * std::sqrt(static_cast<double>(distanceSquared)));
    if (fallOff > 255) {
        fallOff = 255;
    }
    return static_cast<std::uint8_t>(255 - fallOff);
}

struct TexCoord {
    std::uint8_t row;
    std::uint8_t column;
};

// The warp of one screen pixel: sums of cosines whose phases are bent by
// other waves. Right shifts of the signed terms are floors.
TexCoord WarpAt(int screenRow, int screenColumn)
{
    const std::int32_t b = 4096 * screenRow / FrameHeight;
    const std::int32_t d = 4096 * screenColumn / FrameWidth;

    const std::int32_t t1 = SineTerm(4 * d);
    const std::int32_t p = b + (t1 >> 7);
    const std::int32_t t2 = CosineTerm(2 * p);
    const std::int32_t t3 = CosineTerm(6 * p);
    const std::int32_t q = 7 * b + (t1 >> 8);
    const std::int32_t t4 = CosineTerm(2 * q);
    const std::int32_t r = d + (t2 >> 7);
    const std::int32_t t5 = CosineTerm(2 * r);
    const std::int32_t t6 = CosineTerm(8 * r);
    const std::int32_t z = 7 * d + (t2 >> 7);
    const std::int32_t t7 = CosineTerm(2 * z);

    const std::int32_t v = 4 * t2 + 2 * t3 + t4 - 4 * t5 - 2 * t6 - t7;
    const std::int32_t w = t2 + 16 * t3 + 4 * t4 + 2 * t5 + 32 * t6 + 8 * t7;
    // |v >> 13| <= 112 and |w >> 16| <= 63, so both fit a byte unclamped.
    return {static_cast<std::uint8_t>((v >> 13) + 128),
            static_cast<std::uint8_t>((w >> 16) + 64)};
}

}  // namespace

void BuildLightMap()
{
    for (int row = 0; row < LightMapSize; ++row) {
        for (int column = 0; column < LightMapSize; ++column) {
            LightMap[row * LightMapSize + column] = LightAt(row, column);
        }
    }
}

void BuildTexCoordMaps()
{
    for (int i = 0; i < FrameHeight; ++i) {
        for (int j = 0; j < FrameWidth; ++j) {
            const TexCoord coord = WarpAt(i, j);
            TexRowMap[i * FrameWidth + j] = coord.row;
            TexColMap[i * FrameWidth + j] = coord.column;
        }
    }
    // The second copy lets a scrolled frame read 480 contiguous rows.
    std::memcpy(TexRowMap + FrameBytes, TexRowMap, FrameBytes);
}
