// The window procedure's input rules: which messages end the run, and how
// the end travels through WM_DESTROY to the release of the displays.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shell/main_window.h"
#include "tests/program/scenario.h"

namespace {

using programtest::Frames;
using programtest::IndexOf;
using programtest::RunProgram;
using testdouble::Call;
using testdouble::Ending;
using testdouble::ScenarioResult;
using testdouble::Script;
using testdouble::When;

constexpr char PostedDestroy[] = "PostMessageA hwnd=1 message=0x2 wParam=0x0 lParam=0x0";

When AtFrame(int frame)
{
    return When::At(Call("WaitForVerticalBlank").Nth(frame));
}

LPARAM At(int x, int y)
{
    return MAKELPARAM(static_cast<WORD>(x), static_cast<WORD>(y));
}

// A sequence of WM_MOUSEMOVE messages handed to the window procedure, and
// how many of them end the run (post WM_DESTROY).
struct MouseCase {
    const char* name;
    std::vector<LPARAM> moves;
    int posts;
};

void PrintTo(const MouseCase& c, std::ostream* out)
{
    *out << c.name;
}

class MouseMoveRuleTest : public testing::TestWithParam<MouseCase> {};

TEST_P(MouseMoveRuleTest, EndsOnlyAwayFromTheFirstPosition)
{
    const std::vector<LPARAM> moves = GetParam().moves;

    const ScenarioResult result = testdouble::RunScenario(Script(), [moves] {
        if (!CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWDEFAULT)) {
            return 1;
        }
        for (LPARAM move : moves) {
            WindowProc(MainWindow, WM_MOUSEMOVE, 0, move);
        }
        return 0;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.Count(PostedDestroy), GetParam().posts) << result.Text();
    // Every move still gets the default handling.
    EXPECT_EQ(result.Count("DefWindowProcA hwnd=1 message=0x200 "),
              static_cast<int>(moves.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Moves, MouseMoveRuleTest,
    testing::Values(
        MouseCase{"FirstMoveAnywhere", {At(300, 200)}, 0},
        MouseCase{"FirstMoveAtMinusOne", {At(-1, -1)}, 0},
        MouseCase{"SamePositionAgain", {At(300, 200), At(300, 200), At(300, 200)}, 0},
        MouseCase{"XDiffers", {At(300, 200), At(301, 200)}, 1},
        MouseCase{"YDiffers", {At(300, 200), At(300, 199)}, 1},
        // The reference never moves: coming back to it ends nothing, and
        // staying at a new position keeps ending the run.
        MouseCase{"ComparedWithTheFirstNotThePrevious",
                  {At(300, 200), At(310, 210), At(300, 200), At(310, 210)},
                  2},
        // The initial reference (-1, -1) is overwritten by the first move,
        // so a later move to (-1, -1) ends the run.
        MouseCase{"MinusOneAfterAnotherFirstMove", {At(0, 0), At(-1, -1)}, 1},
        // Coordinates are signed words: what lies above the low 32 bits of
        // lParam does not count.
        MouseCase{"SignExtendedLParam",
                  {static_cast<LPARAM>(0xFFFF0005u),
                   static_cast<LPARAM>(static_cast<std::int32_t>(0xFFFF0005u))},
                  0}),
    [](const testing::TestParamInfo<MouseCase>& info) { return info.param.name; });

// Input that arrives while frames are being produced, and whether it ends the
// run after the second frame.
struct InputCase {
    const char* name;
    void (*setUp)(Script&);
    bool ends;
};

void PrintTo(const InputCase& c, std::ostream* out)
{
    *out << c.name;
}

class InputTest : public testing::TestWithParam<InputCase> {};

TEST_P(InputTest, EndsTheRunOrLetsItGoOn)
{
    Script script;
    script.MaxVerticalBlanks(5);
    GetParam().setUp(script);

    const ScenarioResult result = RunProgram(script);

    if (GetParam().ends) {
        ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(Frames(result), 2);
        EXPECT_EQ(result.liveObjects, 0);
    } else {
        EXPECT_EQ(result.ending, Ending::FrameLimit) << result.Text();
        EXPECT_EQ(result.Count("Release "), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Input, InputTest,
    testing::Values(
        InputCase{"KeyDown", [](Script& s) { s.KeyDown(testdouble::VK_SPACE, AtFrame(2)); }, true},
        InputCase{"SysKeyDown", [](Script& s) { s.SysKeyDown(testdouble::VK_F10, AtFrame(2)); },
                  true},
        InputCase{"KeyUpAlone", [](Script& s) { s.KeyUp(testdouble::VK_SPACE, AtFrame(2)); },
                  false},
        InputCase{"ClickWithoutMove",
                  [](Script& s) {
                      s.MouseMove(100, 100, AtFrame(1)).LeftButtonDown(100, 100, AtFrame(2));
                  },
                  false},
        // The first move after start-up only records the position.
        InputCase{"FirstMove", [](Script& s) { s.MouseMove(100, 100, AtFrame(2)); }, false},
        InputCase{"SecondMoveElsewhere",
                  [](Script& s) {
                      s.MouseMove(100, 100, AtFrame(1)).MouseMove(101, 100, AtFrame(2));
                  },
                  true},
        InputCase{"SecondMoveSamePlace",
                  [](Script& s) {
                      s.MouseMove(100, 100, AtFrame(1)).MouseMove(100, 100, AtFrame(2));
                  },
                  false},
        // The default handling of a close request destroys the window, whose
        // WM_DESTROY ends the run like a key.
        InputCase{"Close", [](Script& s) { s.Close(AtFrame(2)); }, true}),
    [](const testing::TestParamInfo<InputCase>& info) { return info.param.name; });

TEST(WindowProc, SystemKeysEndTheRunAndKeepTheirDefaultHandling)
{
    Script script;
    script.SysKeyDown(testdouble::VK_F10, AtFrame(1));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    const int key = IndexOf(result, "WindowProc hwnd=1 message=0x104 ");
    EXPECT_GT(IndexOf(result, "DefWindowProcA hwnd=1 message=0x104 ", key), key);
    EXPECT_GT(IndexOf(result, PostedDestroy, key), key);
}

TEST(WindowProc, MoveQueuedDuringStartUpIsDroppedOnce)
{
    // Two moves wait when the displays are open: the first is dropped, the
    // second becomes the reference. A later move back to the first position
    // therefore ends the run.
    Script script;
    script.MouseMove(10, 10, When::At(Call("DirectDrawEnumerateExA")))
        .MouseMove(20, 20, When::At(Call("DirectDrawEnumerateExA")))
        .MouseMove(20, 20, AtFrame(1))
        .MouseMove(10, 10, AtFrame(2))
        .MaxVerticalBlanks(5);

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Frames(result), 2);
}

TEST(WindowProc, CursorIsHiddenOverTheWindow)
{
    Script script;
    script.MouseMove(100, 100, AtFrame(1)).KeyDown(testdouble::VK_SPACE, AtFrame(2));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_TRUE(result.Has(R"(RegisterClassA style=0x3 class="Glorp 1.1" menu="Glorp 1.1" cursor=0)"))
        << result.Text();
    const int setCursor = IndexOf(result, "WindowProc hwnd=1 message=0x20 ");
    EXPECT_GT(IndexOf(result, "SetCursor cursor=0", setCursor), setCursor);
}

TEST(WindowProc, EveryQueuedKeyRunsTheReleaseWhichReleasesOnlyOnce)
{
    Script script;
    script.Monitors({testdouble::MonitorGuid(0), testdouble::MonitorGuid(1)})
        .KeyDown(testdouble::VK_SPACE, AtFrame(1))
        .KeyDown(testdouble::VK_RETURN, AtFrame(1))
        .KeyDown(testdouble::VK_ESCAPE, AtFrame(1));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.Count("WindowProc hwnd=1 message=0x2 "), 3);
    EXPECT_EQ(result.Count("PostQuitMessage"), 3);
    EXPECT_EQ(programtest::CallsOf(result, {"Release"}),
              (std::vector<std::string>{
                  "Release primarySurface device=0", "Release backSurface device=0",
                  "Release palette device=0", "Release directDraw device=0",
                  "Release primarySurface device=1", "Release backSurface device=1",
                  "Release palette device=1", "Release directDraw device=1"}))
        << result.Text();
    EXPECT_EQ(result.liveObjects, 0);
    EXPECT_EQ(Frames(result), 1);
}

}  // namespace
