// The start-up sequence and the frame loop, seen from the platform calls the
// whole program makes.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/program/scenario.h"

namespace {

using programtest::CallsOf;
using programtest::Frames;
using programtest::IndexOf;
using programtest::RunProgram;
using testdouble::Call;
using testdouble::Ending;
using testdouble::MonitorGuid;
using testdouble::ScenarioResult;
using testdouble::Script;
using testdouble::When;

When AtFrame(int frame)
{
    return When::At(Call("WaitForVerticalBlank").Nth(frame));
}

TEST(StartUp, RunsEachStepOnceInOrderBeforeTheFirstFrame)
{
    Script script;
    script.PrimaryScreen(1280, 1024).KeyDown(testdouble::VK_SPACE, AtFrame(1));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    // The window covers the primary screen as it was before the mode change.
    EXPECT_TRUE(result.Has(
        R"(CreateWindowExA exStyle=0x0 class="Glorp 1.1" title="Glorp 1.1" style=0x80000000 x=0 y=0 width=1280 height=1024 parent=0)"))
        << result.Text();
    const std::vector<std::string> steps = {
        "RegisterClassA", "CreateWindowExA", "ShowWindow",     "UpdateWindow",
        "DirectDrawEnumerateExA", "DirectDrawCreateEx", "SetDisplayMode",
        "FindResourceA",  "CreatePalette",  "SetPalette",     "Lock"};
    int at = 0;
    for (const std::string& step : steps) {
        const int found = IndexOf(result, step + " ", at);
        ASSERT_GE(found, at) << step;
        at = found;
    }
    for (const char* once : {"RegisterClassA", "CreateWindowExA", "DirectDrawEnumerateExA",
                                    "FindResourceA", "CreatePalette"}) {
        EXPECT_EQ(result.Count(std::string(once) + " "), 1) << once;
    }
    EXPECT_TRUE(result.Has("ShowWindow hwnd=1 command=10")) << result.Text();
    // The waiting mouse move is dropped once, after the displays are open and
    // before the picture is loaded.
    const std::string discard = "PeekMessageA hwnd=0 min=0x200 max=0x200 remove=0x1";
    EXPECT_EQ(result.Count(discard), 1) << result.Text();
    EXPECT_GT(IndexOf(result, discard), IndexOf(result, "CreateSurface"));
    EXPECT_LT(IndexOf(result, discard), IndexOf(result, "FindResourceA"));
    // The loop looks at every message without a filter and leaves it queued.
    EXPECT_GT(result.Count("PeekMessageA hwnd=0 min=0x0 max=0x0 remove=0x0"), 0);
}

TEST(FrameLoop, RendersThenWaitsOnDeviceZeroThenPresents)
{
    Script script;
    script.Monitors({MonitorGuid(0), MonitorGuid(1)})
        .KeyDown(testdouble::VK_SPACE, AtFrame(2));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    const std::vector<std::string> frame = {
        "timeGetTime",
        "Lock backSurface device=0",
        "Unlock backSurface device=0",
        "Lock backSurface device=1",
        "Unlock backSurface device=1",
        "WaitForVerticalBlank directDraw device=0",
        "Blt primarySurface device=0",
        "Blt primarySurface device=1"};
    std::vector<std::string> twoFrames = frame;
    twoFrames.insert(twoFrames.end(), frame.begin(), frame.end());
    EXPECT_EQ(CallsOf(result, {"timeGetTime", "Lock", "Unlock", "WaitForVerticalBlank", "Blt"}),
              twoFrames)
        << result.Text();
    EXPECT_TRUE(result.Has("WaitForVerticalBlank directDraw device=0 flags=0x1")) << result.Text();
}

TEST(FrameLoop, WithOneDeviceRendersStraightIntoTheLockedSurface)
{
    Script script;
    script.KeyDown(testdouble::VK_SPACE, AtFrame(1));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(CallsOf(result, {"timeGetTime", "Lock", "Unlock", "WaitForVerticalBlank", "Blt"}),
              (std::vector<std::string>{"Lock backSurface device=0", "timeGetTime",
                                        "Unlock backSurface device=0",
                                        "WaitForVerticalBlank directDraw device=0",
                                        "Blt primarySurface device=0"}))
        << result.Text();
}

TEST(FrameLoop, KeyPressedDuringStartUpEndsTheRunBeforeAnyFrame)
{
    Script script;
    script.KeyDown(testdouble::VK_RETURN, When::At(Call("FindResourceA")));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Frames(result), 0);
    EXPECT_EQ(result.Count("Lock "), 0);
    EXPECT_EQ(result.Count("Blt "), 0);
    EXPECT_EQ(result.liveObjects, 0);
}

TEST(FrameLoop, NoFrameFollowsTheReleaseOfTheDisplays)
{
    Script script;
    script.KeyDown(testdouble::VK_ESCAPE, AtFrame(3));

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(Frames(result), 3);
    EXPECT_EQ(result.Count("Blt "), 3);
    const int release = IndexOf(result, "Release ");
    EXPECT_EQ(result.Find("Lock ", release), -1) << result.Text();
    EXPECT_EQ(result.liveObjects, 0);
}

// How activation changes steer the loop between producing frames and
// blocking in WaitMessage.
struct ActivationCase {
    const char* name;
    void (*setUp)(Script&);
    Ending ending;
    int frames;
};

void PrintTo(const ActivationCase& c, std::ostream* out)
{
    *out << c.name;
}

class ActivationTest : public testing::TestWithParam<ActivationCase> {};

TEST_P(ActivationTest, FramesOnlyWhileActive)
{
    Script script;
    script.MaxVerticalBlanks(20);
    GetParam().setUp(script);

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, GetParam().ending) << result.Text();
    if (GetParam().ending == Ending::Returned) {
        EXPECT_EQ(result.exitCode, 0);
    }
    EXPECT_EQ(Frames(result), GetParam().frames) << result.Text();
    EXPECT_EQ(result.Count("Lock "), GetParam().frames);
}

INSTANTIATE_TEST_SUITE_P(
    Activation, ActivationTest,
    testing::Values(
        // Never activated: no frame, the thread blocks in WaitMessage.
        ActivationCase{"NeverActive",
                       [](Script& s) { s.ShowDoesNotActivate(); }, Ending::Blocked, 0},
        // A click activation counts as active.
        ActivationCase{"ClickActivated",
                       [](Script& s) {
                           s.ShowDoesNotActivate()
                               .Activate(When::At(Call("WaitMessage")), WA_CLICKACTIVE)
                               .KeyDown(testdouble::VK_SPACE, AtFrame(2));
                       },
                       Ending::Returned, 2},
        // Deactivated while minimised: the low word is WA_INACTIVE, so the
        // loop stops producing frames even though the high word is set.
        ActivationCase{"DeactivatedMinimised",
                       [](Script& s) { s.Deactivate(AtFrame(2), true); }, Ending::Blocked, 2},
        // Frames resume when the window is activated again.
        ActivationCase{"DeactivatedThenActivated",
                       [](Script& s) {
                           s.Deactivate(AtFrame(2))
                               .Activate(When::At(Call("WaitMessage")))
                               .KeyDown(testdouble::VK_SPACE, AtFrame(4));
                       },
                       Ending::Returned, 4}),
    [](const testing::TestParamInfo<ActivationCase>& info) { return info.param.name; });

TEST(StartUp, WindowThatCannotBeCreatedEndsWithZeroAndNoMessage)
{
    Script script;
    script.Fail(Call("CreateWindowExA"), 0);

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.Count("MessageBoxA"), 0);
    EXPECT_EQ(result.Count("ShowWindow"), 0);
    EXPECT_EQ(result.Count("DirectDrawEnumerateExA"), 0);
}

// Start-up failures after the displays are open are reported like a failed
// device: displays released first, then the box, then the window destroyed.
struct ReportedFailureCase {
    const char* name;
    void (*setUp)(Script&);
    const char* text;
};

void PrintTo(const ReportedFailureCase& c, std::ostream* out)
{
    *out << c.name;
}

class ReportedFailureTest : public testing::TestWithParam<ReportedFailureCase> {};

TEST_P(ReportedFailureTest, ReportsReleasesAndEndsWithZero)
{
    Script script;
    GetParam().setUp(script);

    const ScenarioResult result = RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    const std::string box = std::string("MessageBoxA owner=1 text=\"") + GetParam().text +
                            "\" caption=\"Glorp 1.1\" type=0x0";
    EXPECT_TRUE(result.Has(box)) << result.Text();
    EXPECT_EQ(result.Count("MessageBoxA"), 1);
    const int boxAt = IndexOf(result, "MessageBoxA");
    EXPECT_GT(IndexOf(result, "DestroyWindow hwnd=1", boxAt), boxAt);
    for (const std::string& line : result.Lines("Release ")) {
        EXPECT_LT(IndexOf(result, line), boxAt) << line;
    }
    EXPECT_EQ(result.liveObjects, 0);
    EXPECT_EQ(result.Count("CreatePalette"), 0);
    EXPECT_EQ(Frames(result), 0);
    EXPECT_EQ(result.Count("Lock "), 0);
}

INSTANTIATE_TEST_SUITE_P(
    StartUp, ReportedFailureTest,
    testing::Values(
        ReportedFailureCase{"OnlyTheEntryWithoutGuid",
                            [](Script& s) { s.Monitors(std::vector<testdouble::Monitor>{}); },
                            "No display device found"},
        ReportedFailureCase{"NothingEnumerated",
                            [](Script& s) {
                                s.Monitors(std::vector<testdouble::Monitor>{})
                                    .WithoutGuidlessEntry();
                            },
                            "No display device found"},
        ReportedFailureCase{"PictureMissing",
                            [](Script& s) { s.Fail(Call("FindResourceA"), 0); },
                            "LoadImageResource FAILED"},
        ReportedFailureCase{"PictureShort",
                            [](Script& s) { s.Fail(Call("SizeofResource"), 66313); },
                            "LoadImageResource FAILED"}),
    [](const testing::TestParamInfo<ReportedFailureCase>& info) { return info.param.name; });

}  // namespace
