#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "effect/effect.h"
#include "effect/effect_entry.h"
#include "platform/double/test_double.h"
#include "platform/win32.h"
#include "tests/effect/entry_resources.h"

namespace {

using testdouble::Call;
using testdouble::Script;

std::vector<std::string> CallNames()
{
    std::vector<std::string> names;
    for (const std::string& line : testdouble::CurrentLog()) {
        names.push_back(line.substr(0, line.find(' ')));
    }
    return names;
}

class LoadImageResourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::memset(PaletteRgb, 0xEE, sizeof PaletteRgb);
        std::memset(TextureTable, 0xEE, sizeof TextureTable);
        std::memset(entries, 0xEE, sizeof entries);
    }

    PALETTEENTRY entries[256];
};

TEST_F(LoadImageResourceTest, DecodesResource106AndFillsThePaletteEntries)
{
    testdouble::Install(Script());
    ASSERT_EQ(LoadImageResource(entries), 1);

    const std::vector<std::string>& log = testdouble::CurrentLog();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "FindResourceA module=0 name=106 type=10");
    for (int i = 0; i < 256; ++i) {
        const unsigned char* stored = TestPicture.data() + 10 + 3 * i;
        ASSERT_EQ(entries[i].peRed, ExpandComponent(stored[0])) << "entry " << i;
        ASSERT_EQ(entries[i].peGreen, ExpandComponent(stored[1])) << "entry " << i;
        ASSERT_EQ(entries[i].peBlue, ExpandComponent(stored[2])) << "entry " << i;
        ASSERT_EQ(entries[i].peFlags, 0) << "entry " << i;
        ASSERT_EQ(PaletteRgb[3 * i], entries[i].peRed) << "entry " << i;
        ASSERT_EQ(PaletteRgb[3 * i + 1], entries[i].peGreen) << "entry " << i;
        ASSERT_EQ(PaletteRgb[3 * i + 2], entries[i].peBlue) << "entry " << i;
    }
    EXPECT_EQ(std::memcmp(TextureTable, TestPicture.data() + 778, TextureBytes), 0);
}

TEST_F(LoadImageResourceTest, AFailedStepOrAShortBlockLeavesEverythingUnread)
{
    struct Case {
        const char* what;
        Script script;
    };
    const Case cases[] = {
        {"resource not found", Script().Fail(Call("FindResourceA"), 0)},
        {"not loaded", Script().Fail(Call("LoadResource"), 0)},
        {"not locked", Script().Fail(Call("LockResource"), 0)},
        {"one byte short", Script().Results(Call("SizeofResource"), {PictureBytes - 1})},
        {"empty", Script().Results(Call("SizeofResource"), {0})},
    };
    for (const Case& c : cases) {
        SetUp();
        testdouble::Install(c.script);
        EXPECT_EQ(LoadImageResource(entries), 0) << c.what;
        EXPECT_TRUE(std::all_of(PaletteRgb, PaletteRgb + sizeof PaletteRgb,
                                [](std::uint8_t b) { return b == 0xEE; }))
            << c.what;
        EXPECT_TRUE(std::all_of(TextureTable, TextureTable + sizeof TextureTable,
                                [](std::uint8_t b) { return b == 0xEE; }))
            << c.what;
        EXPECT_EQ(entries[0].peFlags, 0xEE) << c.what;
        EXPECT_EQ(entries[255].peBlue, 0xEE) << c.what;
    }
}

// Fills the tables with a warp and colours of their own, enough to make
// frames at different scrolls differ.
void FillTables()
{
    for (std::size_t i = 0; i < TextureBytes; ++i) {
        TextureTable[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
        GradientTable[i] = static_cast<std::uint8_t>(i * 3);
        ShadeTable[i] = static_cast<std::uint8_t>(i ^ (i >> 8));
    }
    for (std::size_t i = 0; i < 2 * FrameBytes; ++i) {
        TexRowMap[i] = static_cast<std::uint8_t>(i % FrameBytes / FrameWidth);
    }
    for (std::size_t i = 0; i < FrameBytes; ++i) {
        TexColMap[i] = static_cast<std::uint8_t>(i);
    }
    for (std::size_t i = 0; i < LightMapBytes; ++i) {
        LightMap[i] = static_cast<std::uint8_t>(i / 7);
    }
}

TEST(RenderFrame, NullTargetPreparesWithoutReadingTheClock)
{
    testdouble::Install(Script().Clock(1234));
    RenderFrame(nullptr);
    EXPECT_TRUE(testdouble::CurrentLog().empty());
}

TEST(RenderFrame, ReadsTheClockOnceAndRendersItsScroll)
{
    struct Case {
        DWORD clock;
        unsigned scroll;
    };
    const Case cases[] = {{0, 0}, {4790, 479}, {4294967295u, 409}};
    FillTables();
    RenderFrame(nullptr);
    std::vector<std::uint8_t> frame(FrameBytes);
    std::vector<std::uint8_t> expected(FrameBytes);
    for (const Case& c : cases) {
        testdouble::Install(Script().Clock(c.clock));
        RenderFrame(frame.data());
        EXPECT_EQ(CallNames(), std::vector<std::string>{"timeGetTime"}) << c.clock;
        RenderFrameAtScroll(expected.data(), c.scroll);
        EXPECT_EQ(frame, expected) << c.clock;
    }
}

}  // namespace
