#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effect/effect.h"

namespace {

TEST(ScrollForTime, OneRowPer10MillisecondsWrappingAt480)
{
    struct Case {
        std::uint32_t milliseconds;
        unsigned scroll;
    };
    const Case cases[] = {
        {0, 0},       {9, 0},       {10, 1},      {4790, 479},
        {4799, 479},  {4800, 0},    {4810, 1},    {4294967295u, 409},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ScrollForTime(c.milliseconds), c.scroll) << c.milliseconds << " ms";
    }
}

// Starts every test from empty tables with the renderer prepared.
class RendererTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ClearTables();
        PrepareRenderer();
    }

    static void ClearTables()
    {
        std::memset(TextureTable, 0, sizeof TextureTable);
        std::memset(LightMap, 0, sizeof LightMap);
        std::memset(TexRowMap, 0, sizeof TexRowMap);
        std::memset(TexColMap, 0, sizeof TexColMap);
        std::memset(GradientTable, 0, sizeof GradientTable);
        std::memset(ShadeTable, 0, sizeof ShadeTable);
    }

    // Screen pixel (x, y) of an unscrolled frame reads texel (x & 255, y & 255).
    static void MapScreenToTexture()
    {
        for (int i = 0; i < 2 * FrameHeight; ++i) {
            for (int x = 0; x < FrameWidth; ++x) {
                TexRowMap[i * FrameWidth + x] = static_cast<std::uint8_t>(i % FrameHeight);
            }
        }
        for (int y = 0; y < FrameHeight; ++y) {
            for (int x = 0; x < FrameWidth; ++x) {
                TexColMap[y * FrameWidth + x] = static_cast<std::uint8_t>(x);
            }
        }
    }

    static std::uint8_t& Texel(int x, int y)
    {
        return TextureTable[(y & 255) * 256 + (x & 255)];
    }

    std::vector<std::uint8_t> frame = std::vector<std::uint8_t>(FrameBytes);
};

TEST_F(RendererTest, ScrollMovesThePatternDownOneRowPerStep)
{
    MapScreenToTexture();
    for (int row = 0; row < 256; ++row) {
        Texel(0, row) = static_cast<std::uint8_t>(row);
    }
    struct Case {
        unsigned scroll;
        int screenRow;
        int baseRow;
    };
    const Case cases[] = {
        {0, 0, 0},     {0, 479, 479}, {1, 0, 479},   {1, 1, 0},
        {479, 0, 1},   {479, 479, 0}, {409, 408, 479}, {409, 409, 0},
        {481, 1, 0},  // counts as 1 instead of reading past the row map
    };
    for (const Case& c : cases) {
        RenderFrameAtScroll(frame.data(), c.scroll);
        // Column 0 of every screen row reads texture column 0.
        EXPECT_EQ(HeightBuffer[c.screenRow * FrameWidth], c.baseRow & 255)
            << "scroll " << c.scroll << ", screen row " << c.screenRow;
    }
}

TEST_F(RendererTest, RowByteIsTheHighHalfOfTheTexelIndex)
{
    std::memset(TexRowMap, 2, sizeof TexRowMap);
    std::memset(TexColMap, 1, sizeof TexColMap);
    TextureTable[2 * 256 + 1] = 77;
    TextureTable[1 * 256 + 2] = 33;
    RenderFrameAtScroll(frame.data(), 0);
    for (std::uint8_t height : HeightBuffer) {
        ASSERT_EQ(height, 77);
    }
}

TEST_F(RendererTest, WarpedPixelsFollowTheBuiltMapsAndTheScroll)
{
    BuildTexCoordMaps();
    TextureTable[171 * 256 + 60] = 1;
    RenderFrameAtScroll(frame.data(), 0);
    EXPECT_EQ(HeightBuffer[0], 1);
    RenderFrameAtScroll(frame.data(), 1);
    EXPECT_EQ(HeightBuffer[FrameWidth], 1);
}

struct Position {
    int x;
    int y;
};

struct NeighbourCase {
    Position pixel;
    Position left, right, above, below;
};

// Places distinct heights on a pixel and on the four neighbours it is
// expected to read, and gives only those two pairs a slope: the horizontal
// pair 10, the vertical pair 20. The light map is lit at row 180 + 2 * 10,
// column 180 + 2 * 20 alone (and at its mirror image with 55, to tell the
// two slopes apart), and only the pixel's colour at that light has a shade.
TEST_F(RendererTest, LightComesFromTheNeighboursTwoAwayThroughTheLightWindow)
{
    const NeighbourCase cases[] = {
        {{100, 100}, {98, 100}, {102, 100}, {100, 98}, {100, 102}},
        // The outer band takes neighbours beyond the frame from its edge.
        {{1, 100}, {0, 100}, {3, 100}, {1, 98}, {1, 102}},
        {{0, 0}, {0, 0}, {2, 0}, {0, 0}, {0, 2}},
        {{300, 478}, {298, 478}, {302, 478}, {300, 476}, {300, 479}},
        {{639, 479}, {637, 479}, {639, 479}, {639, 477}, {639, 479}},
    };
    for (const NeighbourCase& c : cases) {
        ClearTables();
        MapScreenToTexture();
        const int centre = 5;
        Texel(c.pixel.x, c.pixel.y) = centre;
        std::uint8_t value = 1;
        for (const Position& n : {c.left, c.right, c.above, c.below}) {
            if (n.x != c.pixel.x || n.y != c.pixel.y) {
                Texel(n.x, n.y) = value;
            }
            ++value;
        }
        const int across = Texel(c.left.x, c.left.y) * 256 + Texel(c.right.x, c.right.y);
        const int down = Texel(c.above.x, c.above.y) * 256 + Texel(c.below.x, c.below.y);
        ASSERT_NE(across, down);
        GradientTable[across] = 10;
        GradientTable[down] = 20;
        LightMap[(180 + 2 * 10) * LightMapSize + 180 + 2 * 20] = 99;
        LightMap[(180 + 2 * 20) * LightMapSize + 180 + 2 * 10] = 55;
        ShadeTable[centre * 256 + 99] = 123;
        ShadeTable[centre * 256 + 55] = 200;

        RenderFrameAtScroll(frame.data(), 0);
        EXPECT_EQ(frame[c.pixel.y * FrameWidth + c.pixel.x], 123)
            << "pixel " << c.pixel.x << ", " << c.pixel.y;
    }
}

// With every slope the same, every pixel shows the light level it meets in
// the built light map, the shade table being set to name the light.
TEST_F(RendererTest, SlopesMeetTheBuiltLightMapOffCentre)
{
    BuildLightMap();
    for (int colour = 0; colour < 256; ++colour) {
        for (int light = 0; light < 256; ++light) {
            ShadeTable[colour * 256 + light] = static_cast<std::uint8_t>(light);
        }
    }
    struct Case {
        int slope;
        int light;
    };
    const Case cases[] = {
        {0, 0},      // light row and column 180
        {128, 0},    // level ground: row and column 436
        {152, 0},    // still outside the lit disc
        {228, 247},  // the brightest reachable, rows and columns 636
        {232, 247},  // and 644
        {255, 142},  // row and column 690
    };
    for (const Case& c : cases) {
        std::memset(GradientTable, c.slope, sizeof GradientTable);
        RenderFrameAtScroll(frame.data(), 0);
        EXPECT_EQ(frame[0], c.light) << "slope " << c.slope;
        EXPECT_EQ(frame[FrameBytes / 2 + 320], c.light) << "slope " << c.slope;
    }
}

TEST_F(RendererTest, EveryByteOfTheTargetIsWrittenTheSameWay)
{
    BuildLightMap();
    BuildTexCoordMaps();
    for (int i = 0; i < 256; ++i) {
        PaletteRgb[3 * i] = static_cast<std::uint8_t>(i);
        PaletteRgb[3 * i + 1] = static_cast<std::uint8_t>(i * 5);
        PaletteRgb[3 * i + 2] = static_cast<std::uint8_t>(255 - i);
    }
    for (std::size_t i = 0; i < TextureBytes; ++i) {
        TextureTable[i] = static_cast<std::uint8_t>(i * 31 + i / 256 * 7);
    }
    BuildGradientTable();
    BuildShadeTable();

    std::vector<std::uint8_t> other(FrameBytes, 0xFF);
    RenderFrameAtScroll(frame.data(), 123);
    RenderFrameAtScroll(other.data(), 123);
    EXPECT_EQ(frame, other);
}

}  // namespace
