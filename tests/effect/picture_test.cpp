#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "effect/effect.h"

namespace {

TEST(ExpandComponent, WidensSixBitsAndDropsTheTopTwo)
{
    struct Case {
        int stored;
        int expanded;
    };
    const Case cases[] = {
        {0, 0},    {1, 4},    {15, 60},   {16, 65},  {31, 125}, {32, 130},
        {48, 195}, {58, 235}, {63, 255},  {64, 0},   {65, 4},   {127, 255},
        {128, 0},  {200, 32}, {255, 255},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ExpandComponent(static_cast<std::uint8_t>(c.stored)), c.expanded)
            << "stored " << c.stored;
    }
}

// A full-length block with a header that is not a picture header at all,
// palette bytes 0, 1, 2, ... (above 63 too) and pixels that name their
// position.
std::vector<std::uint8_t> SampleBlock()
{
    std::vector<std::uint8_t> block(PictureBytes);
    std::memcpy(block.data(), "NOPE\x01\x00\x07\x00\xFF\x05", PictureHeaderBytes);
    for (std::size_t i = 0; i < PicturePaletteBytes; ++i) {
        block[PictureHeaderBytes + i] = static_cast<std::uint8_t>(i);
    }
    for (std::size_t i = 0; i < TextureBytes; ++i) {
        block[PictureHeaderBytes + PicturePaletteBytes + i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    }
    return block;
}

class DecodePictureTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(PaletteRgb, 0xEE, sizeof PaletteRgb);
        std::memset(TextureTable, 0xEE, sizeof TextureTable);
    }
};

TEST_F(DecodePictureTest, ExpandsThePaletteAndCopiesThePixelsWhateverTheHeader)
{
    const std::vector<std::uint8_t> block = SampleBlock();
    ASSERT_TRUE(DecodePicture(block.data(), block.size()));

    // Entry 5's stored components are 15, 16, 17; entry 21's are 63, 64, 65.
    EXPECT_EQ(PaletteRgb[15], 60);
    EXPECT_EQ(PaletteRgb[16], 65);
    EXPECT_EQ(PaletteRgb[17], 69);
    EXPECT_EQ(PaletteRgb[63], 255);
    EXPECT_EQ(PaletteRgb[64], 0);
    EXPECT_EQ(PaletteRgb[65], 4);
    for (std::size_t i = 0; i < PicturePaletteBytes; ++i) {
        ASSERT_EQ(PaletteRgb[i], ExpandComponent(block[10 + i])) << "palette byte " << i;
    }
    EXPECT_EQ(TextureTable[0], block[778]);
    EXPECT_EQ(TextureTable[TextureBytes - 1], block[66313]);
    EXPECT_EQ(std::memcmp(TextureTable, block.data() + 778, TextureBytes), 0);
}

TEST_F(DecodePictureTest, RejectsAShortBlockAndLeavesTheTablesAlone)
{
    const std::vector<std::uint8_t> block = SampleBlock();
    EXPECT_FALSE(DecodePicture(block.data(), PictureBytes - 1));
    EXPECT_FALSE(DecodePicture(block.data(), 0));
    EXPECT_FALSE(DecodePicture(nullptr, PictureBytes));
    for (std::uint8_t byte : PaletteRgb) {
        ASSERT_EQ(byte, 0xEE);
    }
    for (std::uint8_t byte : TextureTable) {
        ASSERT_EQ(byte, 0xEE);
    }
}

TEST_F(DecodePictureTest, AcceptsALongerBlockAndUsesItsFirstPicture)
{
    std::vector<std::uint8_t> block = SampleBlock();
    block.resize(PictureBytes + 100, 0x3F);
    ASSERT_TRUE(DecodePicture(block.data(), block.size()));
    EXPECT_EQ(std::memcmp(TextureTable, block.data() + 778, TextureBytes), 0);
}

}  // namespace
