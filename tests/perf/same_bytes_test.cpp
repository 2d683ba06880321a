// The program's effect must produce exactly the bytes of the straightforward
// version kept in bench/: every table, and frames at scrolls that touch both
// ends of the doubled row map, on the embedded picture and on generated ones
// whose palettes stress the colour search (repeats, extremes, one colour).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/baseline_effect.h"
#include "effect/effect.h"

namespace {

std::vector<std::uint8_t> EmbeddedPicture()
{
    std::ifstream file(GLORP_PICTURE_FILE, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

// A picture block with random pixels and a palette of the given stored bytes.
std::vector<std::uint8_t> Picture(const std::vector<std::uint8_t>& storedPalette, unsigned seed)
{
    std::vector<std::uint8_t> block(PictureBytes, 0);
    std::memcpy(block.data(), "RIX3", 4);
    std::copy(storedPalette.begin(), storedPalette.end(), block.begin() + PictureHeaderBytes);
    std::mt19937 random(seed);
    for (std::size_t i = PictureHeaderBytes + PicturePaletteBytes; i < PictureBytes; ++i) {
        block[i] = static_cast<std::uint8_t>(random());
    }
    return block;
}

using PaletteMaker = std::uint8_t (*)(int component, std::mt19937& random);

std::vector<std::uint8_t> StoredPalette(PaletteMaker make, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<std::uint8_t> palette(PicturePaletteBytes);
    for (std::size_t i = 0; i < palette.size(); ++i) {
        palette[i] = make(static_cast<int>(i), random);
    }
    return palette;
}

struct Case {
    std::string name;
    std::vector<std::uint8_t> picture;
};

std::vector<Case> Pictures()
{
    std::vector<Case> cases;
    cases.push_back({"embedded", EmbeddedPicture()});
    const struct {
        const char* name;
        PaletteMaker make;
    } palettes[] = {
        // Any stored byte, bits 6 and 7 included.
        {"random bytes", [](int, std::mt19937& r) { return static_cast<std::uint8_t>(r()); }},
        // Eight colours, each repeated 32 times: ties everywhere.
        {"eight colours repeated",
         [](int c, std::mt19937&) { return static_cast<std::uint8_t>((c / 3 % 8) * 9 + c % 3); }},
        // Only the darkest and brightest components, in random mixes.
        {"extremes", [](int, std::mt19937& r) { return static_cast<std::uint8_t>(r() % 2 * 63); }},
        // A handful of near-white colours among black ones: long searches.
        {"sparse near white",
         [](int c, std::mt19937& r) {
             return static_cast<std::uint8_t>(c / 3 % 37 == 5 ? 55 + r() % 9 : 0);
         }},
        // A single colour everywhere: every entry is index 0.
        {"one colour", [](int, std::mt19937&) { return std::uint8_t{40}; }},
    };
    unsigned seed = 1;
    for (const auto& palette : palettes) {
        cases.push_back({palette.name, Picture(StoredPalette(palette.make, seed), seed + 100)});
        ++seed;
    }
    return cases;
}

// The first differing index, or -1.
long FirstDifference(const std::uint8_t* ours, const std::uint8_t* theirs, std::size_t size)
{
    const auto [a, b] = std::mismatch(ours, ours + size, theirs);
    return a == ours + size ? -1 : static_cast<long>(a - ours);
}

class SameBytesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        reference = std::make_unique<baseline::Tables>();
        baseline::BuildLightMap(*reference);
        baseline::BuildTexCoordMaps(*reference);
    }
    static void TearDownTestSuite() { reference.reset(); }

    static std::unique_ptr<baseline::Tables> reference;
};

std::unique_ptr<baseline::Tables> SameBytesTest::reference;

TEST_F(SameBytesTest, MapsMatchOverTablesThatHeldOtherBytes)
{
    std::memset(LightMap, 0xA5, sizeof LightMap);
    std::memset(TexRowMap, 0xA5, sizeof TexRowMap);
    std::memset(TexColMap, 0xA5, sizeof TexColMap);
    BuildLightMap();
    BuildTexCoordMaps();
    EXPECT_EQ(FirstDifference(LightMap, reference->lightMap, LightMapBytes), -1);
    EXPECT_EQ(FirstDifference(TexRowMap, reference->texRowMap, sizeof TexRowMap), -1);
    EXPECT_EQ(FirstDifference(TexColMap, reference->texColMap, sizeof TexColMap), -1);
}

TEST_F(SameBytesTest, ColourTablesAndFramesMatchForEveryPicture)
{
    BuildLightMap();
    BuildTexCoordMaps();
    PrepareRenderer();
    std::vector<std::uint8_t> ours(FrameBytes);
    std::vector<std::uint8_t> theirs(FrameBytes);
    for (const Case& c : Pictures()) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.picture.size(), PictureBytes);
        std::memset(GradientTable, 0xA5, sizeof GradientTable);
        std::memset(ShadeTable, 0xA5, sizeof ShadeTable);
        ASSERT_TRUE(DecodePicture(c.picture.data(), c.picture.size()));
        ASSERT_TRUE(baseline::DecodePicture(c.picture.data(), c.picture.size(), *reference));
        BuildGradientTable();
        BuildShadeTable();
        baseline::BuildGradientTable(*reference);
        baseline::BuildShadeTable(*reference);
        ASSERT_EQ(FirstDifference(PaletteRgb, reference->paletteRgb, sizeof PaletteRgb), -1);
        ASSERT_EQ(FirstDifference(TextureTable, reference->texture, TextureBytes), -1);
        EXPECT_EQ(FirstDifference(GradientTable, reference->gradient, TextureBytes), -1);
        EXPECT_EQ(FirstDifference(ShadeTable, reference->shade, TextureBytes), -1);

        // 0 and 479 read the two ends of the doubled row map; 480 and beyond
        // fold back.
        for (unsigned scroll : {0u, 1u, 2u, 240u, 477u, 478u, 479u, 480u, 1234u}) {
            std::fill(ours.begin(), ours.end(), 0xA5);
            RenderFrameAtScroll(ours.data(), scroll);
            baseline::RenderFrameAtScroll(*reference, theirs.data(), scroll);
            EXPECT_EQ(FirstDifference(HeightBuffer, reference->heightBuffer, FrameBytes), -1)
                << "scroll " << scroll;
            EXPECT_EQ(FirstDifference(ours.data(), theirs.data(), FrameBytes), -1)
                << "scroll " << scroll;
        }
    }
}

}  // namespace
