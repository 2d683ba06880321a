#include "bench/baseline_effect.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace baseline {

namespace {

constexpr int FrameWidth = 640;
constexpr int FrameHeight = 480;
constexpr std::size_t FrameBytes = FrameWidth * FrameHeight;
constexpr int LightMapSize = 1280;
constexpr std::size_t PictureBytes = 10 + 768 + 256 * 256;

// ---- Picture ----

std::uint8_t ExpandComponent(std::uint8_t stored)
{
    const std::uint8_t shifted = static_cast<std::uint8_t>(stored << 2);
    return static_cast<std::uint8_t>(shifted | (shifted >> 6));
}

// ---- Maps ----

const float AngleUnit = std::bit_cast<float>(std::uint32_t{0x3A490FDA});

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

std::uint8_t LightAt(int row, int column)
{
    const int centre = LightMapSize / 2;
    const int dy = 512 * (row - centre) / centre;
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
    return {static_cast<std::uint8_t>((v >> 13) + 128),
            static_cast<std::uint8_t>((w >> 16) + 64)};
}

// ---- Colour tables ----

int Luminance(const Tables& tables, int index)
{
    const std::uint8_t* rgb = tables.paletteRgb + 3 * index;
    return (rgb[0] + rgb[1] + rgb[2]) / 3;
}

std::uint8_t NearestColour(const Tables& tables, int red, int green, int blue)
{
    int bestDistance = 256;
    int bestIndex = 0;
    for (int j = 0; j < 256; ++j) {
        const std::uint8_t* rgb = tables.paletteRgb + 3 * j;
        const int distance = std::max({std::abs(rgb[0] - red), std::abs(rgb[1] - green),
                                       std::abs(rgb[2] - blue)});
        if (distance < bestDistance) {
            bestDistance = distance;
            bestIndex = j;
        }
    }
    return static_cast<std::uint8_t>(bestIndex);
}

// ---- Renderer ----

constexpr int LightWindowOrigin = 180 * LightMapSize + 180;

void LookUpTexture(Tables& tables, unsigned scroll)
{
    const std::uint8_t* rows = tables.texRowMap + (FrameHeight - scroll) * FrameWidth;
    for (std::size_t p = 0; p < FrameBytes; ++p) {
        const unsigned texel = (unsigned{rows[p]} << 8) | tables.texColMap[p];
        tables.heightBuffer[p] = tables.texture[texel];
    }
}

const std::uint8_t* HeightRow(const Tables& tables, int y)
{
    return tables.heightBuffer + std::clamp(y, 0, FrameHeight - 1) * FrameWidth;
}

void ShadeRow(const Tables& tables, int y, std::uint8_t* out)
{
    const std::uint8_t* above = HeightRow(tables, y - 2);
    const std::uint8_t* row = HeightRow(tables, y);
    const std::uint8_t* below = HeightRow(tables, y + 2);
    for (int x = 0; x < FrameWidth; ++x) {
        const int left = std::max(x - 2, 0);
        const int right = std::min(x + 2, FrameWidth - 1);
        const int across = tables.gradient[row[left] * 256 + row[right]];
        const int down = tables.gradient[above[x] * 256 + below[x]];
        const int light =
            tables.lightMap[LightWindowOrigin + across * 2 * LightMapSize + down * 2];
        out[x] = tables.shade[row[x] * 256 + light];
    }
}

}  // namespace

bool DecodePicture(const std::uint8_t* block, std::size_t size, Tables& tables)
{
    if (block == nullptr || size < PictureBytes) {
        return false;
    }
    const std::uint8_t* palette = block + 10;
    for (std::size_t i = 0; i < 768; ++i) {
        tables.paletteRgb[i] = ExpandComponent(palette[i]);
    }
    std::memcpy(tables.texture, palette + 768, sizeof tables.texture);
    return true;
}

void BuildLightMap(Tables& tables)
{
    for (int row = 0; row < LightMapSize; ++row) {
        for (int column = 0; column < LightMapSize; ++column) {
            tables.lightMap[row * LightMapSize + column] = LightAt(row, column);
        }
    }
}

void BuildTexCoordMaps(Tables& tables)
{
    for (int i = 0; i < FrameHeight; ++i) {
        for (int j = 0; j < FrameWidth; ++j) {
            const TexCoord coord = WarpAt(i, j);
            tables.texRowMap[i * FrameWidth + j] = coord.row;
            tables.texColMap[i * FrameWidth + j] = coord.column;
        }
    }
    std::memcpy(tables.texRowMap + FrameBytes, tables.texRowMap, FrameBytes);
}

void BuildGradientTable(Tables& tables)
{
    for (int hi = 0; hi < 256; ++hi) {
        for (int lo = 0; lo < 256; ++lo) {
            const int slope = 4 * (Luminance(tables, lo) - Luminance(tables, hi)) + 128;
            tables.gradient[hi * 256 + lo] = static_cast<std::uint8_t>(std::clamp(slope, 0, 255));
        }
    }
}

void BuildShadeTable(Tables& tables)
{
    for (int hi = 0; hi < 256; ++hi) {
        const std::uint8_t* rgb = tables.paletteRgb + 3 * hi;
        for (int light = 0; light < 256; ++light) {
            tables.shade[hi * 256 + light] =
                NearestColour(tables, std::min(rgb[0] + light, 255), std::min(rgb[1] + light, 255),
                              std::min(rgb[2] + light, 255));
        }
    }
}

void RenderFrameAtScroll(Tables& tables, std::uint8_t* target, unsigned scroll)
{
    LookUpTexture(tables, scroll % FrameHeight);
    for (int y = 0; y < FrameHeight; ++y) {
        ShadeRow(tables, y, target + y * FrameWidth);
    }
}

}  // namespace baseline
