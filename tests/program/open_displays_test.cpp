// Opening, palettes and release of the display devices.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display/device_table.h"
#include "effect/effect.h"
#include "effect/effect_entry.h"
#include "tests/program/scenario.h"

namespace {

using programtest::CallsOf;
using programtest::IndexOf;
using programtest::OpenWindowAndDisplays;
using testdouble::Call;
using testdouble::Ending;
using testdouble::MonitorGuid;
using testdouble::ScenarioResult;
using testdouble::Script;

// The five opening steps of a device, as the log shows them.
enum Step { Create, Cooperate, Mode, Primary, Back, StepCount };

std::vector<std::string> StepCalls(int device, int through)
{
    const std::string d = " device=" + std::to_string(device);
    const std::vector<std::string> all = {
        "DirectDrawCreateEx" + d, "SetCooperativeLevel directDraw" + d,
        "SetDisplayMode directDraw" + d, "CreateSurface directDraw" + d,
        "CreateSurface directDraw" + d};
    return std::vector<std::string>(all.begin(), all.begin() + through + 1);
}

// What a device holds after its steps up to `through` succeeded, in the order
// of release: primary surface, back surface, DirectDraw object.
std::vector<std::string> ReleaseCalls(int device, int through)
{
    const std::string d = " device=" + std::to_string(device);
    std::vector<std::string> calls;
    if (through >= Primary) {
        calls.push_back("Release primarySurface" + d);
    }
    if (through >= Back) {
        calls.push_back("Release backSurface" + d);
    }
    if (through >= Create) {
        calls.push_back("Release directDraw" + d);
    }
    return calls;
}

// The window and every device, each with the picture's palette installed.
bool OpenWithPicturePalette()
{
    PALETTEENTRY entries[256] = {};
    if (!OpenWindowAndDisplays() || !LoadImageResource(entries)) {
        return false;
    }
    InstallPalette(entries);
    return true;
}

struct OpenFailureCase {
    int device;
    Step step;
    const char* text;
};

std::string Describe(const OpenFailureCase& c)
{
    static const char* const names[] = {"Create", "Cooperate", "Mode", "Primary", "Back"};
    return std::string(names[c.step]) + "OnDevice" + std::to_string(c.device);
}

void PrintTo(const OpenFailureCase& c, std::ostream* out)
{
    *out << Describe(c);
}

class OpenFailureTest : public testing::TestWithParam<OpenFailureCase> {};

TEST_P(OpenFailureTest, ReleasesEverythingThenReportsAndDestroysTheWindow)
{
    const OpenFailureCase c = GetParam();
    static const char* const callNames[] = {"DirectDrawCreateEx", "SetCooperativeLevel",
                                            "SetDisplayMode", "CreateSurface", "CreateSurface"};
    Script script;
    script.Monitors({MonitorGuid(0), MonitorGuid(1), MonitorGuid(2)})
        .Fail(Call(callNames[c.step]).Device(c.device).Nth(c.step == Back ? 2 : 1),
              DDERR_GENERIC);

    const ScenarioResult result = programtest::RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);

    // Every earlier device completely, the failing one up to the failing
    // call, nothing of a later device; then the releases, the box and the
    // destruction of the window, whose own release finds nothing left.
    std::vector<std::string> expected;
    for (int device = 0; device < c.device; ++device) {
        for (const std::string& call : StepCalls(device, Back)) {
            expected.push_back(call);
        }
    }
    for (const std::string& call : StepCalls(c.device, c.step)) {
        expected.push_back(call);
    }
    for (int device = 0; device < c.device; ++device) {
        for (const std::string& call : ReleaseCalls(device, Back)) {
            expected.push_back(call);
        }
    }
    for (const std::string& call : ReleaseCalls(c.device, c.step - 1)) {
        expected.push_back(call);
    }
    expected.push_back("MessageBoxA");
    expected.push_back("DestroyWindow");
    EXPECT_EQ(CallsOf(result, {"DirectDrawCreateEx", "SetCooperativeLevel", "SetDisplayMode",
                               "CreateSurface", "Release", "MessageBoxA", "DestroyWindow"}),
              expected)
        << result.Text();

    EXPECT_TRUE(result.Has(std::string("MessageBoxA owner=1 text=\"") + c.text +
                           "\" caption=\"Glorp 1.1\" type=0x0"))
        << result.Text();
    EXPECT_TRUE(result.Has("DestroyWindow hwnd=1"));
    EXPECT_EQ(result.liveObjects, 0);
    // Start-up goes no further.
    EXPECT_EQ(result.Count("FindResourceA"), 0);
    EXPECT_EQ(result.Count("PeekMessageA"), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OpenFailureTest,
    testing::Values(OpenFailureCase{0, Create, "DirectDrawCreateEx FAILED"},
                    OpenFailureCase{0, Cooperate, "SetCooperativeLevel FAILED"},
                    OpenFailureCase{0, Mode, "SetDisplayMode FAILED"},
                    OpenFailureCase{0, Primary, "CreateSurface FAILED"},
                    OpenFailureCase{0, Back, "CreateSurface FAILED"},
                    OpenFailureCase{1, Create, "DirectDrawCreateEx FAILED"},
                    OpenFailureCase{1, Cooperate, "SetCooperativeLevel FAILED"},
                    OpenFailureCase{1, Mode, "SetDisplayMode FAILED"},
                    OpenFailureCase{1, Primary, "CreateSurface FAILED"},
                    OpenFailureCase{1, Back, "CreateSurface FAILED"}),
    [](const testing::TestParamInfo<OpenFailureCase>& info) { return Describe(info.param); });

TEST(OpenDisplays, OpensEveryDeviceWithAGuidInEnumerationOrder)
{
    Script script;
    script.Monitors({MonitorGuid(0), MonitorGuid(1), MonitorGuid(2)});

    const ScenarioResult result =
        testdouble::RunScenario(script, [] { return OpenWindowAndDisplays() ? 0 : 1; });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    ASSERT_EQ(result.exitCode, 0);
    EXPECT_TRUE(result.Has("DirectDrawEnumerateExA flags=0x1"));
    // The entry without a GUID is never opened.
    EXPECT_EQ(result.Count("DirectDrawCreateEx "), 3);
    for (int device = 0; device < 3; ++device) {
        const std::string d = " device=" + std::to_string(device);
        EXPECT_TRUE(result.Has("DirectDrawCreateEx" + d +
                               " guid=" + testdouble::GuidText(MonitorGuid(device))))
            << result.Text();
        // Device 0 lets Ctrl+Alt+Del through; the others get device windows.
        EXPECT_TRUE(result.Has("SetCooperativeLevel directDraw" + d + " hwnd=1 flags=" +
                               (device == 0 ? "0x13" : "0x291")))
            << result.Text();
        EXPECT_TRUE(result.Has("SetDisplayMode directDraw" + d +
                               " width=640 height=480 bpp=8 refresh=0 flags=0x0"));
        EXPECT_TRUE(result.Has("CreateSurface directDraw" + d +
                               " flags=0x1 caps=0x200 width=0 height=0"))
            << result.Text();
        EXPECT_TRUE(result.Has("CreateSurface directDraw" + d +
                               " flags=0x7 caps=0x840 width=640 height=480"));
    }
    EXPECT_EQ(result.liveObjects, 9);
}

TEST(InstallPalette, GivesEveryDeviceItsOwnPaletteWithThePictureColours)
{
    Script script;
    script.Monitors({MonitorGuid(0), MonitorGuid(1)});

    const ScenarioResult result = testdouble::RunScenario(script, [] {
        if (!OpenWithPicturePalette()) {
            return 1;
        }
        for (int device = 0; device < 2; ++device) {
            const testdouble::ShownFrame& shown = testdouble::Shown(device);
            if (!shown.hasPalette) {
                return 2;
            }
            for (int i = 0; i < 256; ++i) {
                if (shown.palette[i].peRed != PaletteRgb[3 * i] ||
                    shown.palette[i].peGreen != PaletteRgb[3 * i + 1] ||
                    shown.palette[i].peBlue != PaletteRgb[3 * i + 2]) {
                    return 3;
                }
            }
        }
        return 0;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(CallsOf(result, {"CreatePalette", "SetPalette"}),
              (std::vector<std::string>{
                  "CreatePalette directDraw device=0", "SetPalette primarySurface device=0",
                  "CreatePalette directDraw device=1", "SetPalette primarySurface device=1"}))
        << result.Text();
    EXPECT_EQ(result.Count("CreatePalette directDraw device=0 flags=0x44"), 1) << result.Text();
    EXPECT_EQ(result.Count("CreatePalette directDraw device=1 flags=0x44"), 1);
    // Two devices: two DirectDraw objects, four surfaces, two palettes.
    EXPECT_EQ(result.liveObjects, 8);
}

TEST(InstallPalette, FailedCreationStillAttachesTheNullEntry)
{
    Script script;
    script.Fail(Call("CreatePalette"), DDERR_OUTOFMEMORY);

    const ScenarioResult result = testdouble::RunScenario(script, [] {
        PALETTEENTRY entries[256] = {};
        if (!OpenWindowAndDisplays()) {
            return 1;
        }
        InstallPalette(entries);
        return DeviceTable.palettes[0] == nullptr ? 0 : 2;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.Count("SetPalette primarySurface device=0 palette=null"), 1) << result.Text();
}

TEST(ReleaseDisplays, ReleasesEachObjectOnceHoweverOftenCalled)
{
    Script script;
    script.Monitors({MonitorGuid(0), MonitorGuid(1)});

    const ScenarioResult result = testdouble::RunScenario(script, [] {
        if (!OpenWithPicturePalette()) {
            return 1;
        }
        ReleaseDisplays();
        testdouble::Note("released");
        ReleaseDisplays();
        return 0;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(CallsOf(result, {"Release"}),
              (std::vector<std::string>{
                  "Release primarySurface device=0", "Release backSurface device=0",
                  "Release palette device=0", "Release directDraw device=0",
                  "Release primarySurface device=1", "Release backSurface device=1",
                  "Release palette device=1", "Release directDraw device=1"}))
        << result.Text();
    // The second call makes no call at all.
    EXPECT_EQ(result.log.back(), "released") << result.Text();
    EXPECT_EQ(result.liveObjects, 0);
}

TEST(ReleaseDisplays, MakesNoCallWithoutDevices)
{
    Script script;
    script.Monitors(std::vector<testdouble::Monitor>{});

    const ScenarioResult result = testdouble::RunScenario(script, [] {
        ReleaseDisplays();
        if (!OpenWindowAndDisplays()) {
            return 1;
        }
        testdouble::Note("opened");
        PALETTEENTRY entries[256] = {};
        InstallPalette(entries);
        ReleaseDisplays();
        return DeviceCount() == 0 ? 0 : 2;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(result.log.back(), "opened") << result.Text();
}

}  // namespace
