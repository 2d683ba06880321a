// The SDL backend's rules that need no display: window ids, fitting and
// scaling, keys, refresh times.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "platform/sdl/foreign_window.h"
#include "platform/sdl/geometry.h"
#include "platform/sdl/keys.h"
#include "platform/sdl/refresh_clock.h"
#include "platform/sdl/scaler.h"

namespace platform::sdl {
namespace {

TEST(ParseWindowId, TakesDecimalAndHexadecimalIdsOnly) {
    struct Case {
        const char* text;
        std::optional<unsigned long> id;
    };
    const Case cases[] = {
        {"1234567", 1234567ul}, {"0x12d687", 0x12d687ul}, {"0X1A", 0x1aul},
        {"0x", std::nullopt},   {"", std::nullopt},       {"0", std::nullopt},
        {"0x0", std::nullopt},  {"-5", std::nullopt},     {"+5", std::nullopt},
        {"12ab", std::nullopt}, {" 12", std::nullopt},    {"12 ", std::nullopt},
        {"0x0x1", std::nullopt}, {"99999999999999999999999", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseWindowId(c.text), c.id) << '"' << c.text << '"';
    }
    EXPECT_EQ(ParseWindowId(nullptr), std::nullopt);
}

TEST(FitRect, KeepsTheAspectRatioCentredBetweenBars) {
    struct Case {
        int outputWidth, outputHeight;
        SDL_Rect expected;
    };
    const Case cases[] = {
        {640, 480, {0, 0, 640, 480}},        // the mode's own size
        {1920, 1080, {240, 0, 1440, 1080}},  // wide: bars left and right
        {1280, 1024, {0, 32, 1280, 960}},    // tall: bars above and below
        {800, 600, {0, 0, 800, 600}},
        {1280, 480, {320, 0, 640, 480}},
        {320, 240, {0, 0, 320, 240}},
        {0, 480, {0, 0, 0, 0}},
    };
    for (const Case& c : cases) {
        const SDL_Rect fit = FitRect(c.outputWidth, c.outputHeight, 640, 480);
        EXPECT_EQ(fit.x, c.expected.x) << c.outputWidth << 'x' << c.outputHeight;
        EXPECT_EQ(fit.y, c.expected.y) << c.outputWidth << 'x' << c.outputHeight;
        EXPECT_EQ(fit.w, c.expected.w) << c.outputWidth << 'x' << c.outputHeight;
        EXPECT_EQ(fit.h, c.expected.h) << c.outputWidth << 'x' << c.outputHeight;
    }
}

TEST(Rectangles, ClipAndUnionIgnoreEmptyOnes) {
    EXPECT_TRUE(IsEmpty(Clip(RECT{700, 0, 800, 10}, 640, 480)));
    const RECT clipped = Clip(RECT{-5, 470, 10, 500}, 640, 480);
    EXPECT_EQ(clipped.left, 0);
    EXPECT_EQ(clipped.bottom, 480);
    const RECT joined = Union(RECT{}, RECT{2, 2, 638, 478});
    EXPECT_EQ(joined.left, 2);
    EXPECT_EQ(joined.right, 638);
    const RECT grown = Union(RECT{2, 2, 10, 10}, RECT{5, 0, 20, 4});
    EXPECT_EQ(grown.left, 2);
    EXPECT_EQ(grown.top, 0);
    EXPECT_EQ(grown.right, 20);
    EXPECT_EQ(grown.bottom, 10);
}

// Every output pixel of the fitted rectangle shows the picture pixel under
// its centre; everything outside the rectangle and outside the drawn area is
// left alone.
TEST(Scaler, DrawsThePicturePixelUnderEachOutputPixelsCentre) {
    struct Case {
        int pictureWidth, pictureHeight, outputWidth, outputHeight;
    };
    const Case cases[] = {
        {8, 6, 8, 6},    // one to one
        {8, 6, 18, 12},  // 2.25 across, 2 down: bars left and right
        {8, 6, 10, 8},   // 1.25 and a row of bar
        {8, 6, 4, 3},    // halved
        {8, 6, 7, 9},    // tall: bars above and below
    };
    constexpr std::uint32_t Untouched = 0xDEADBEEF;
    for (const Case& c : cases) {
        std::vector<std::uint8_t> indices(c.pictureWidth * c.pictureHeight);
        for (std::size_t i = 0; i < indices.size(); ++i) {
            indices[i] = static_cast<std::uint8_t>(i * 7 + 1);
        }
        std::uint32_t colours[256];
        for (int i = 0; i < 256; ++i) {
            colours[i] = 0x01000000u * i + 0x10101u;
        }
        const int pitch = c.outputWidth * 4 + 8;  // rows with padding
        std::vector<std::uint32_t> output(pitch / 4 * c.outputHeight, Untouched);
        Scaler scaler;
        scaler.Layout(c.pictureWidth, c.pictureHeight, c.outputWidth, c.outputHeight);
        const RECT whole{0, 0, c.pictureWidth, c.pictureHeight};
        scaler.Draw(indices.data(), c.pictureWidth, colours, whole,
                    reinterpret_cast<std::uint8_t*>(output.data()), pitch);
        const SDL_Rect fit = scaler.fit();
        for (int y = 0; y < c.outputHeight; ++y) {
            for (int x = 0; x < c.outputWidth; ++x) {
                std::uint32_t expected = Untouched;
                if (x >= fit.x && x < fit.x + fit.w && y >= fit.y && y < fit.y + fit.h) {
                    // floor((p + 1/2) * picture / fitted), in integers.
                    const int column = ((x - fit.x) * 2 + 1) * c.pictureWidth / (2 * fit.w);
                    const int row = ((y - fit.y) * 2 + 1) * c.pictureHeight / (2 * fit.h);
                    expected = colours[indices[row * c.pictureWidth + column]];
                }
                ASSERT_EQ(output[y * (pitch / 4) + x], expected)
                    << c.outputWidth << 'x' << c.outputHeight << " at " << x << ',' << y;
            }
        }
    }
}

TEST(Scaler, DrawsOnlyTheAreaItIsGivenAndSaysWhichPixelsThatCovers) {
    std::vector<std::uint8_t> indices(8 * 6, 3);
    std::uint32_t colours[256] = {};
    colours[3] = 0x00FF00;
    std::vector<std::uint32_t> output(18 * 12, 0);
    Scaler scaler;
    scaler.Layout(8, 6, 18, 12);  // fitted at x 1, 16 x 12
    const RECT inner{2, 2, 6, 4};
    scaler.Draw(indices.data(), 8, colours, inner, reinterpret_cast<std::uint8_t*>(output.data()),
                18 * 4);
    const SDL_Rect covered = scaler.Covered(inner);
    EXPECT_EQ(covered.x, 1 + 4);
    EXPECT_EQ(covered.y, 4);
    EXPECT_EQ(covered.w, 8);
    EXPECT_EQ(covered.h, 4);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 18; ++x) {
            const bool inside = x >= covered.x && x < covered.x + covered.w && y >= covered.y &&
                                y < covered.y + covered.h;
            ASSERT_EQ(output[y * 18 + x], inside ? 0x00FF00u : 0u) << x << ',' << y;
        }
    }
}

TEST(KeyEvent, AltOrF10MakeSystemKeys) {
    struct Case {
        SDL_Keycode key;
        Uint16 mod;
        Uint32 type;
        InputKind kind;
        int virtualKey;
    };
    const Case cases[] = {
        {SDLK_SPACE, KMOD_NONE, SDL_KEYDOWN, InputKind::KeyDown, 0x20},
        {SDLK_a, KMOD_LSHIFT, SDL_KEYDOWN, InputKind::KeyDown, 'A'},
        {SDLK_x, KMOD_LALT, SDL_KEYDOWN, InputKind::SysKeyDown, 'X'},
        {SDLK_LALT, KMOD_LALT, SDL_KEYDOWN, InputKind::SysKeyDown, 0x12},
        {SDLK_F10, KMOD_NONE, SDL_KEYDOWN, InputKind::SysKeyDown, 0x79},
        {SDLK_F10, KMOD_NONE, SDL_KEYUP, InputKind::SysKeyUp, 0x79},
        {SDLK_ESCAPE, KMOD_NONE, SDL_KEYUP, InputKind::KeyUp, 0x1B},
        {SDLK_F1, KMOD_NONE, SDL_KEYDOWN, InputKind::KeyDown, 0x70},
        {SDLK_MENU, KMOD_NONE, SDL_KEYDOWN, InputKind::KeyDown, 0},  // no code, still a key
    };
    for (const Case& c : cases) {
        SDL_KeyboardEvent key{};
        key.type = c.type;
        key.keysym.sym = c.key;
        key.keysym.mod = c.mod;
        const InputEvent event = KeyEvent(key);
        EXPECT_EQ(event.kind, c.kind) << SDL_GetKeyName(c.key);
        EXPECT_EQ(event.key, c.virtualKey) << SDL_GetKeyName(c.key);
    }
    SDL_KeyboardEvent held{};
    held.type = SDL_KEYDOWN;
    held.keysym.sym = SDLK_b;
    held.repeat = 1;
    EXPECT_TRUE(KeyEvent(held).repeat);
}

TEST(NextRefresh, IsTheFirstTickStrictlyAfterNow) {
    const std::int64_t Period = RefreshPeriod(0);
    EXPECT_EQ(Period, 1'000'000'000 / 60);
    EXPECT_EQ(RefreshPeriod(75), 1'000'000'000 / 75);
    EXPECT_EQ(NextRefresh(1000, 1000, Period), 1000 + Period);  // at a tick: the next one
    EXPECT_EQ(NextRefresh(1001, 1000, Period), 1000 + Period);
    EXPECT_EQ(NextRefresh(1000 + 5 * Period + 3, 1000, Period), 1000 + 6 * Period);
    EXPECT_EQ(NextRefresh(500, 1000, Period), 1000);
}

}  // namespace
}  // namespace platform::sdl
