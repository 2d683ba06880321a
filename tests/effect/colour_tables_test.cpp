#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>

#include "effect/effect.h"

namespace {

struct Colour {
    int index;
    int red;
    int green;
    int blue;
};

// Every entry black except the ones given.
void SetPalette(std::initializer_list<Colour> colours)
{
    std::memset(PaletteRgb, 0, sizeof PaletteRgb);
    for (const Colour& c : colours) {
        PaletteRgb[3 * c.index] = static_cast<std::uint8_t>(c.red);
        PaletteRgb[3 * c.index + 1] = static_cast<std::uint8_t>(c.green);
        PaletteRgb[3 * c.index + 2] = static_cast<std::uint8_t>(c.blue);
    }
}

// 256 distinct colours with luminances spread over the whole range.
void SetDistinctPalette()
{
    for (int i = 0; i < 256; ++i) {
        PaletteRgb[3 * i] = static_cast<std::uint8_t>(i);
        PaletteRgb[3 * i + 1] = static_cast<std::uint8_t>((i * 37) & 255);
        PaletteRgb[3 * i + 2] = static_cast<std::uint8_t>(255 - i);
    }
}

TEST(GradientTable, SlopeBetweenGivenColours)
{
    SetPalette({
        {1, 31, 31, 31},
        {2, 32, 32, 32},
        {3, 33, 33, 33},
        {4, 1, 1, 0},        // luminance 0: the remainder is dropped
        {5, 255, 255, 254},  // luminance 254
        {6, 255, 255, 255},
    });
    BuildGradientTable();
    struct Case {
        int hi;
        int lo;
        int slope;
    };
    const Case cases[] = {
        {0, 1, 252},  // rise of 31, the greatest unclamped value
        {0, 2, 255},  // rise of 32 jumps to 255
        {1, 0, 4},
        {2, 0, 0},    // exactly 4 * -32 + 128
        {3, 0, 0},    // -4, raised to 0
        {0, 4, 128},
        {4, 0, 128},
        {5, 6, 132},
        {6, 5, 124},
        {0, 6, 255},
        {6, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(GradientTable[c.hi * 256 + c.lo], c.slope) << c.hi << ", " << c.lo;
    }
}

TEST(GradientTable, LevelOnTheDiagonalAndOnlyStepsOfFourOr255)
{
    SetDistinctPalette();
    BuildGradientTable();
    for (int i = 0; i < 256; ++i) {
        EXPECT_EQ(GradientTable[i * 256 + i], 128) << i;
    }
    for (int n = 0; n < 65536; ++n) {
        const int slope = GradientTable[n];
        ASSERT_TRUE(slope % 4 == 0 || slope == 255) << "entry " << n << " is " << slope;
    }
}

struct ShadeCase {
    const char* what;
    std::initializer_list<Colour> palette;
    int hi;
    int light;
    int shade;
};

TEST(ShadeTable, NearestColourAfterLightening)
{
    const ShadeCase cases[] = {
        // Target (100, 100, 100): the largest component difference is 8 for
        // entry 5 and 11 for entry 9; a sum or Euclidean distance picks 9.
        {"largest component difference",
         {{1, 60, 60, 60}, {5, 108, 108, 108}, {9, 100, 100, 111}}, 1, 40, 5},
        {"tie goes to the lowest index",
         {{1, 60, 60, 60}, {3, 90, 100, 100}, {7, 110, 105, 100}}, 1, 40, 3},
        {"components saturate at 255",
         {{2, 200, 100, 50}, {4, 255, 200, 150}}, 2, 100, 4},
        {"light 0 finds the first entry of the same colour",
         {{3, 10, 20, 30}, {8, 10, 20, 30}}, 8, 0, 3},
    };
    for (const ShadeCase& c : cases) {
        SetPalette(c.palette);
        BuildShadeTable();
        EXPECT_EQ(ShadeTable[c.hi * 256 + c.light], c.shade) << c.what;
    }
}

TEST(ShadeTable, Light0KeepsDistinctColoursAndLight255IsWhite)
{
    SetDistinctPalette();
    BuildShadeTable();
    for (int hi = 0; hi < 256; ++hi) {
        EXPECT_EQ(ShadeTable[hi * 256], hi) << hi;
    }

    SetPalette({{10, 250, 251, 250}, {20, 250, 251, 250}, {30, 240, 255, 255}});
    BuildShadeTable();
    for (int hi = 0; hi < 256; ++hi) {
        EXPECT_EQ(ShadeTable[hi * 256 + 255], 10) << hi;
    }
}

}  // namespace
