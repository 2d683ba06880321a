#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <numeric>
#include <vector>

#include "effect/effect.h"

namespace {

// Other tests overwrite the program-wide maps, so the built maps are kept in
// copies made once.
const std::vector<std::uint8_t>& BuiltLightMap()
{
    static const std::vector<std::uint8_t> map = [] {
        BuildLightMap();
        return std::vector<std::uint8_t>(LightMap, LightMap + LightMapBytes);
    }();
    return map;
}

struct BuiltTexCoords {
    std::vector<std::uint8_t> rows;
    std::vector<std::uint8_t> columns;
};

const BuiltTexCoords& BuiltTexCoordMaps()
{
    static const BuiltTexCoords maps = [] {
        BuildTexCoordMaps();
        return BuiltTexCoords{
            std::vector<std::uint8_t>(TexRowMap, TexRowMap + 2 * FrameBytes),
            std::vector<std::uint8_t>(TexColMap, TexColMap + FrameBytes)};
    }();
    return maps;
}

int Light(int row, int column)
{
    return BuiltLightMap()[row * LightMapSize + column];
}

TEST(LightMap, CentreRowFallsOffBy2PerStep)
{
    const int expected[] = {239, 241, 243, 245, 247, 247, 249, 251, 253, 255, 255,
                            255, 253, 251, 249, 247, 247, 245, 243, 241, 239};
    for (int k = 0; k < 21; ++k) {
        EXPECT_EQ(Light(640, 630 + k), expected[k]) << "column " << 630 + k;
    }
    for (int r = 639; r <= 641; ++r) {
        for (int k = 639; k <= 641; ++k) {
            EXPECT_EQ(Light(r, k), 255) << r << ", " << k;
        }
    }
}

TEST(LightMap, SampleCells)
{
    struct Case {
        int row;
        int column;
        int light;
    };
    const Case cases[] = {
        {640, 480, 0},   {640, 481, 1},   {640, 482, 3}, {640, 500, 31},
        {640, 560, 127}, {640, 600, 191}, {640, 700, 159}, {640, 799, 1},
        {640, 800, 0},   {436, 436, 0},   {0, 0, 0},     {1279, 1279, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Light(c.row, c.column), c.light) << c.row << ", " << c.column;
    }
}

TEST(LightMap, DarkOutsideTheDisc)
{
    for (int k = 0; k < LightMapSize; ++k) {
        ASSERT_EQ(Light(0, k), 0) << "row 0, column " << k;
        ASSERT_EQ(Light(k, 0), 0) << "column 0, row " << k;
        if (k <= 480 || k >= 800) {
            ASSERT_EQ(Light(640, k), 0) << "row 640, column " << k;
        }
    }
}

TEST(LightMap, SymmetricAboutTheCentreAndTheDiagonal)
{
    for (int a = -639; a <= 639; ++a) {
        for (int b = -639; b <= 639; ++b) {
            const int value = Light(640 + a, 640 + b);
            ASSERT_EQ(Light(640 - a, 640 + b), value) << a << ", " << b;
            ASSERT_EQ(Light(640 + a, 640 - b), value) << a << ", " << b;
            ASSERT_EQ(Light(640 + b, 640 + a), value) << a << ", " << b;
        }
    }
}

TEST(LightMap, CountAndSumOfTheWholeMap)
{
    const std::vector<std::uint8_t>& map = BuiltLightMap();
    EXPECT_EQ(std::count_if(map.begin(), map.end(), [](std::uint8_t v) { return v != 0; }),
              80425);
    EXPECT_EQ(std::accumulate(map.begin(), map.end(), 0L), 6900987L);
}

TEST(TexCoordMaps, SamplePixels)
{
    struct Case {
        int screenRow;
        int screenColumn;
        int textureRow;
        int textureColumn;
    };
    const Case cases[] = {
        {0, 0, 171, 60},      // every phase 0
        {240, 320, 116, 3},   // half-way phases
        {0, 80, 122, 84},     // a sine at a quarter turn: 65535, not 65536
        {479, 639, 170, 60},  // the last pixel
    };
    const BuiltTexCoords& maps = BuiltTexCoordMaps();
    for (const Case& c : cases) {
        const int p = c.screenRow * FrameWidth + c.screenColumn;
        EXPECT_EQ(maps.rows[p], c.textureRow) << c.screenRow << ", " << c.screenColumn;
        EXPECT_EQ(maps.columns[p], c.textureColumn) << c.screenRow << ", " << c.screenColumn;
    }
}

TEST(TexCoordMaps, RowMapHoldsItsPatternTwice)
{
    const BuiltTexCoords& maps = BuiltTexCoordMaps();
    EXPECT_TRUE(std::equal(maps.rows.begin(), maps.rows.begin() + FrameBytes,
                           maps.rows.begin() + FrameBytes));
}

// A rounder angle unit, or rounding instead of truncation, moves dozens of
// bytes by one and shows in the sums.
TEST(TexCoordMaps, SumsAndRanges)
{
    const BuiltTexCoords& maps = BuiltTexCoordMaps();
    const auto baseEnd = maps.rows.begin() + FrameBytes;
    EXPECT_EQ(std::accumulate(maps.rows.begin(), baseEnd, 0L), 39167935L);
    EXPECT_EQ(std::accumulate(maps.columns.begin(), maps.columns.end(), 0L), 19507347L);
    EXPECT_EQ(*std::min_element(maps.rows.begin(), baseEnd), 22);
    EXPECT_EQ(*std::max_element(maps.rows.begin(), baseEnd), 230);
    EXPECT_EQ(*std::min_element(maps.columns.begin(), maps.columns.end()), 3);
    EXPECT_EQ(*std::max_element(maps.columns.begin(), maps.columns.end()), 123);
}

}  // namespace
