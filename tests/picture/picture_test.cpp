// The committed picture: its layout, its palette, and the look the effect
// depends on (colours by region, and softness, since the renderer lights
// luminance differences between pixels two apart).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <tuple>
#include <vector>

#include "platform/api/linked_resources.h"

namespace {

constexpr std::size_t BlockBytes = 66314;
constexpr std::size_t PaletteOffset = 10;
constexpr std::size_t PixelOffset = 778;
constexpr int Size = 256;

struct Rgb {
    int red;
    int green;
    int blue;
};

class Picture : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::ifstream in(GLORP_PICTURE_FILE, std::ios::binary);
        block = std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }

    static int Stored(int index, int component) {
        return block[PaletteOffset + 3 * index + component];
    }

    static Rgb Colour(int index) {
        const auto expand = [](int stored) { return (stored << 2) | (stored >> 4); };
        return {expand(Stored(index, 0)), expand(Stored(index, 1)), expand(Stored(index, 2))};
    }

    static int Luminance(int index) {
        const Rgb c = Colour(index);
        return (c.red + c.green + c.blue) / 3;
    }

    static int Pixel(int x, int y) { return block[PixelOffset + Size * y + x]; }

    // Mean colour of the square of the given side whose top left is (x, y).
    static Rgb Average(int x, int y, int side) {
        Rgb sum{0, 0, 0};
        for (int row = y; row < y + side; ++row) {
            for (int column = x; column < x + side; ++column) {
                const Rgb c = Colour(Pixel(column, row));
                sum.red += c.red;
                sum.green += c.green;
                sum.blue += c.blue;
            }
        }
        const int count = side * side;
        return {sum.red / count, sum.green / count, sum.blue / count};
    }

    // Mean absolute luminance difference between pixels dx, dy apart.
    static double MeanStep(int dx, int dy) {
        long total = 0;
        long count = 0;
        for (int y = 0; y + dy < Size; ++y) {
            for (int x = 0; x + dx < Size; ++x) {
                total += std::abs(Luminance(Pixel(x, y)) - Luminance(Pixel(x + dx, y + dy)));
                ++count;
            }
        }
        return static_cast<double>(total) / static_cast<double>(count);
    }

    static inline std::vector<std::uint8_t> block;
};

TEST_F(Picture, HasTheRix3Layout) {
    ASSERT_EQ(block.size(), BlockBytes);
    const std::vector<std::uint8_t> header(block.begin(), block.begin() + PaletteOffset);
    EXPECT_EQ(header, (std::vector<std::uint8_t>{'R', 'I', 'X', '3', 0x00, 0x01, 0x00, 0x01,
                                                 0xAF, 0x00}));
}

TEST_F(Picture, PaletteHas256DistinctColoursWithComponentsFrom1To58) {
    ASSERT_EQ(block.size(), BlockBytes);
    std::set<std::tuple<int, int, int>> colours;
    for (int i = 0; i < 256; ++i) {
        for (int component = 0; component < 3; ++component) {
            EXPECT_GE(Stored(i, component), 1) << "entry " << i;
            EXPECT_LE(Stored(i, component), 58) << "entry " << i;
        }
        colours.emplace(Stored(i, 0), Stored(i, 1), Stored(i, 2));
    }
    EXPECT_EQ(colours.size(), 256u);
}

TEST_F(Picture, LuminancesRangeFromAbout10ToAbout227) {
    ASSERT_EQ(block.size(), BlockBytes);
    std::vector<int> luminances;
    for (int i = 0; i < 256; ++i) {
        luminances.push_back(Luminance(i));
    }
    const auto [darkest, brightest] = std::minmax_element(luminances.begin(), luminances.end());
    EXPECT_GE(*darkest, 6);
    EXPECT_LE(*darkest, 14);
    EXPECT_GE(*brightest, 220);
    EXPECT_LE(*brightest, 234);
}

TEST_F(Picture, UsesEveryIndex) {
    ASSERT_EQ(block.size(), BlockBytes);
    std::array<int, 256> uses{};
    for (std::size_t p = PixelOffset; p < BlockBytes; ++p) {
        ++uses[block[p]];
    }
    for (int i = 0; i < 256; ++i) {
        EXPECT_GT(uses[i], 0) << "index " << i;
    }
}

TEST_F(Picture, GreenTowardsTheCornersBlueAndWhiteInTheMiddle) {
    ASSERT_EQ(block.size(), BlockBytes);
    constexpr int Corner = 48;
    for (const auto& [x, y] : {std::pair{0, 0}, {Size - Corner, 0}, {0, Size - Corner},
                              {Size - Corner, Size - Corner}}) {
        const Rgb corner = Average(x, y, Corner);
        EXPECT_GT(corner.green, corner.red * 3 / 2) << "corner at " << x << ", " << y;
        EXPECT_GT(corner.green, corner.blue * 3 / 2) << "corner at " << x << ", " << y;
    }
    const Rgb middle = Average(Size / 2 - 32, Size / 2 - 32, 64);
    EXPECT_GT(middle.blue, middle.red + 20);
    EXPECT_GE(middle.blue, middle.green);
    EXPECT_GT((middle.red + middle.green + middle.blue) / 3, 170);
}

TEST_F(Picture, NeighboursDifferLittleInLuminance) {
    ASSERT_EQ(block.size(), BlockBytes);
    EXPECT_LT(MeanStep(1, 0), 4.0);
    EXPECT_LT(MeanStep(0, 1), 4.0);
    // The renderer compares pixels two apart; steps there must stay well
    // below the 32 at which its slope saturates.
    EXPECT_LT(MeanStep(2, 0), 8.0);
    EXPECT_LT(MeanStep(0, 2), 8.0);
}

TEST_F(Picture, NativeProgramsCarryItAsResource106) {
    ASSERT_EQ(LinkedResourceCount, 1u);
    const LinkedResource& resource = LinkedResources[0];
    EXPECT_EQ(resource.type, 10u);  // RT_RCDATA
    EXPECT_EQ(resource.id, 106u);
    ASSERT_EQ(resource.size, BlockBytes);
    ASSERT_EQ(block.size(), BlockBytes);
    EXPECT_TRUE(std::equal(block.begin(), block.end(), resource.data));
}

}  // namespace
