// Rendering each frame into every device's back surface and blitting it onto
// the screens.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "display/device_table.h"
#include "display/presentation.h"
#include "effect/effect.h"
#include "effect/effect_entry.h"
#include "tests/program/scenario.h"

namespace {

using programtest::CallsOf;
using programtest::OpenWindowAndDisplays;
using programtest::StartEverything;
using testdouble::Call;
using testdouble::Ending;
using testdouble::MonitorGuid;
using testdouble::ScenarioResult;
using testdouble::Script;

constexpr DWORD ClockAtStart = 123456;

std::vector<GUID> Guids(int count)
{
    std::vector<GUID> guids;
    for (int i = 0; i < count; ++i) {
        guids.push_back(MonitorGuid(i));
    }
    return guids;
}

Script WithMonitors(int count)
{
    Script script;
    std::vector<testdouble::Monitor> monitors;
    for (const GUID& guid : Guids(count)) {
        monitors.push_back(testdouble::Monitor{guid});
    }
    script.Monitors(monitors).Clock(ClockAtStart);
    return script;
}

// The frame the effect gives for the scripted clock.
const std::uint8_t* ExpectedFrame()
{
    static std::uint8_t frame[FrameBytes];
    RenderFrameAtScroll(frame, ScrollForTime(ClockAtStart));
    return frame;
}

// Whether the presented part of what device shows is the expected frame.
bool ShowsExpectedFrame(int device)
{
    const testdouble::ShownFrame& shown = testdouble::Shown(device);
    if (shown.pixels == nullptr || shown.width != FrameWidth || shown.height != FrameHeight) {
        return false;
    }
    const std::uint8_t* expected = ExpectedFrame();
    for (int y = 2; y < FrameHeight - 2; ++y) {
        if (std::memcmp(shown.pixels + y * shown.pitch + 2, expected + y * FrameWidth + 2,
                        FrameWidth - 4) != 0) {
            return false;
        }
    }
    return true;
}

struct RenderCase {
    const char* name;
    int devices;
    int failingLock;  // -1: none
    std::vector<std::string> calls;
    int showsFrame;  // bit d: device d shows the new frame; with no device, bit 0: staged
};

void PrintTo(const RenderCase& c, std::ostream* out)
{
    *out << c.name;
}

class RenderToDevicesTest : public testing::TestWithParam<RenderCase> {};

TEST_P(RenderToDevicesTest, RendersOnceAndFillsEveryLockedSurface)
{
    const RenderCase c = GetParam();
    Script script = WithMonitors(c.devices);
    if (c.failingLock >= 0) {
        script.Fail(Call("Lock").Device(c.failingLock), DDERR_SURFACEBUSY);
    }
    script.Silent();

    const ScenarioResult result = testdouble::RunScenario(script, [c] {
        if (!StartEverything()) {
            return 255;
        }
        testdouble::SetLogging(true);
        RenderToDevices();
        PresentToDevices();
        testdouble::SetLogging(false);
        if (c.devices == 0) {
            return std::memcmp(StagingFrame, ExpectedFrame(), FrameBytes) == 0 ? 1 : 0;
        }
        int shows = 0;
        for (int device = 0; device < c.devices; ++device) {
            shows |= ShowsExpectedFrame(device) ? 1 << device : 0;
        }
        return shows;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, c.showsFrame);
    EXPECT_EQ(CallsOf(result, {"timeGetTime", "Lock", "Unlock"}), c.calls) << result.Text();
}

INSTANTIATE_TEST_SUITE_P(
    Devices, RenderToDevicesTest,
    testing::Values(
        // One device: the frame is computed inside the lock.
        RenderCase{"One", 1, -1,
                   {"Lock backSurface device=0", "timeGetTime", "Unlock backSurface device=0"},
                   0b1},
        // A failed lock skips rendering and unlocking for this frame.
        RenderCase{"OneLockFails", 1, 0, {"Lock backSurface device=0"}, 0b0},
        // Several devices: computed once, before any lock, then copied.
        RenderCase{"Two", 2, -1,
                   {"timeGetTime", "Lock backSurface device=0", "Unlock backSurface device=0",
                    "Lock backSurface device=1", "Unlock backSurface device=1"},
                   0b11},
        RenderCase{"TwoSecondLockFails", 2, 1,
                   {"timeGetTime", "Lock backSurface device=0", "Unlock backSurface device=0",
                    "Lock backSurface device=1"},
                   0b01},
        RenderCase{"TwoFirstLockFails", 2, 0,
                   {"timeGetTime", "Lock backSurface device=0", "Lock backSurface device=1",
                    "Unlock backSurface device=1"},
                   0b10},
        // No device: the frame is still staged, and nothing else is called.
        RenderCase{"None", 0, -1, {"timeGetTime"}, 0b1}),
    [](const testing::TestParamInfo<RenderCase>& info) { return info.param.name; });

// A back surface whose rows lie `pitch` bytes apart, in memory of its own, so
// that the layout of what is written can be checked byte for byte.
class PitchedSurface final : public IDirectDrawSurface7 {
public:
    static constexpr std::uint8_t Untouched = 0xEE;

    explicit PitchedSurface(int pitch)
        : pitch_(pitch), bytes_(static_cast<std::size_t>(pitch) * FrameHeight, Untouched)
    {
    }

    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT Blt(RECT*, IDirectDrawSurface7*, RECT*, DWORD, DDBLTFX*) override { return DD_OK; }
    HRESULT Lock(RECT*, DDSURFACEDESC2* description, DWORD, HANDLE) override
    {
        description->lpSurface = bytes_.data();
        description->lPitch = pitch_;
        return DD_OK;
    }
    HRESULT Restore() override { return DD_OK; }
    HRESULT SetPalette(IDirectDrawPalette*) override { return DD_OK; }
    HRESULT Unlock(RECT*) override
    {
        ++unlocks_;
        return DD_OK;
    }

    // Rows at least a frame row wide hold the frame row by row, with the
    // bytes past each row untouched; narrower rows cannot hold a frame, and
    // nothing is written. The surface is unlocked either way.
    bool HoldsFrameAsExpected(const std::uint8_t* frame) const
    {
        if (unlocks_ != 1) {
            return false;
        }
        for (int y = 0; y < FrameHeight; ++y) {
            const std::uint8_t* row = bytes_.data() + static_cast<std::size_t>(y) * pitch_;
            const int written = pitch_ >= FrameWidth ? FrameWidth : 0;
            if (std::memcmp(row, frame + y * FrameWidth, written) != 0) {
                return false;
            }
            for (int x = written; x < pitch_; ++x) {
                if (row[x] != Untouched) {
                    return false;
                }
            }
        }
        return true;
    }

private:
    int pitch_;
    std::vector<std::uint8_t> bytes_;
    int unlocks_ = 0;
};

class SurfacePitchTest : public testing::TestWithParam<std::vector<int>> {};

TEST_P(SurfacePitchTest, FrameRowsFollowTheReportedPitch)
{
    const std::vector<int> pitches = GetParam();
    Script script;
    script.Clock(ClockAtStart);

    const ScenarioResult result = testdouble::RunScenario(script, [pitches] {
        PALETTEENTRY entries[256] = {};
        RenderFrame(nullptr);
        if (!LoadImageResource(entries)) {
            return 255;
        }
        BuildLightMap();
        BuildTexCoordMaps();
        BuildGradientTable();
        BuildShadeTable();
        std::vector<PitchedSurface> surfaces(pitches.begin(), pitches.end());
        DeviceTable.directDraws.assign(surfaces.size(), nullptr);
        DeviceTable.backSurfaces.clear();
        for (PitchedSurface& surface : surfaces) {
            DeviceTable.backSurfaces.push_back(&surface);
        }
        RenderToDevices();
        int wrong = 0;
        for (std::size_t device = 0; device < surfaces.size(); ++device) {
            wrong |= surfaces[device].HoldsFrameAsExpected(ExpectedFrame()) ? 0 : 1 << device;
        }
        DeviceTable.directDraws.clear();
        DeviceTable.backSurfaces.clear();
        return wrong;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0) << "bit d set: device d holds the wrong bytes";
}

INSTANTIATE_TEST_SUITE_P(Pitches, SurfacePitchTest,
                         testing::Values(std::vector<int>{640}, std::vector<int>{672},
                                         std::vector<int>{320}, std::vector<int>{640, 672},
                                         std::vector<int>{704, 320}));

// Scripted results of the device-0 blit and restores, and the calls that
// device 0 then gets. Device 1 is always presented once afterwards.
struct BlitCase {
    const char* name;
    std::vector<long long> blits;
    std::vector<long long> primaryRestores;
    std::vector<long long> backRestores;
    std::vector<std::string> device0Calls;
};

void PrintTo(const BlitCase& c, std::ostream* out)
{
    *out << c.name;
}

class PresentToDevicesTest : public testing::TestWithParam<BlitCase> {};

TEST_P(PresentToDevicesTest, FollowsTheBlitStates)
{
    const BlitCase c = GetParam();
    Script script = WithMonitors(2);
    script.Results(Call("Blt").Device(0), c.blits)
        .Results(Call("Restore").Device(0).Object("primarySurface"), c.primaryRestores)
        .Results(Call("Restore").Device(0).Object("backSurface"), c.backRestores)
        .Silent();

    const ScenarioResult result = testdouble::RunScenario(script, [] {
        if (!OpenWindowAndDisplays()) {
            return 1;
        }
        testdouble::SetLogging(true);
        PresentToDevices();
        return 0;
    });

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    ASSERT_EQ(result.exitCode, 0);
    std::vector<std::string> expected = c.device0Calls;
    expected.push_back("Blt primarySurface device=1");
    EXPECT_EQ(CallsOf(result, {"Blt", "Restore"}), expected) << result.Text();
    for (const std::string& blit : result.Lines("Blt ")) {
        EXPECT_TRUE(blit.ends_with(
            " dst=(2,2,638,478) src=backSurface srcRect=(2,2,638,478) flags=0x0"))
            << blit;
    }
}

const std::string Blt0 = "Blt primarySurface device=0";
const std::string RestorePrimary0 = "Restore primarySurface device=0";
const std::string RestoreBack0 = "Restore backSurface device=0";

INSTANTIATE_TEST_SUITE_P(
    States, PresentToDevicesTest,
    testing::Values(
        BlitCase{"Succeeds", {}, {}, {}, {Blt0}},
        BlitCase{"BusyThreeTimes",
                 {DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING},
                 {},
                 {},
                 {Blt0, Blt0, Blt0, Blt0}},
        BlitCase{"LostAndRestored", {DDERR_SURFACELOST}, {}, {}, {Blt0, RestorePrimary0, RestoreBack0, Blt0}},
        BlitCase{"LostTwiceThenBusy",
                 {DDERR_SURFACELOST, DDERR_SURFACELOST, DDERR_WASSTILLDRAWING},
                 {},
                 {},
                 {Blt0, RestorePrimary0, RestoreBack0, Blt0, RestorePrimary0, RestoreBack0, Blt0,
                  Blt0}},
        BlitCase{"PrimaryRestoreFails",
                 {DDERR_SURFACELOST},
                 {DDERR_WRONGMODE},
                 {},
                 {Blt0, RestorePrimary0}},
        BlitCase{"BackRestoreFails",
                 {DDERR_SURFACELOST},
                 {},
                 {DDERR_OUTOFMEMORY},
                 {Blt0, RestorePrimary0, RestoreBack0}},
        BlitCase{"OtherError", {DDERR_GENERIC}, {}, {}, {Blt0}},
        BlitCase{"InvalidRect", {DDERR_INVALIDRECT}, {}, {}, {Blt0}}),
    [](const testing::TestParamInfo<BlitCase>& info) { return info.param.name; });

TEST(FrameLoop, LostSurfacesAreRestoredAndTheRunGoesOn)
{
    Script script = WithMonitors(1);
    script.LoseSurfaces(0, testdouble::When::At(Call("WaitForVerticalBlank").Nth(2)))
        .KeyDown(testdouble::VK_SPACE, testdouble::When::At(Call("WaitForVerticalBlank").Nth(4)));

    const ScenarioResult result = programtest::RunProgram(script);

    ASSERT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_EQ(programtest::Frames(result), 4);
    EXPECT_EQ(result.Count("Restore primarySurface device=0"), 1) << result.Text();
    EXPECT_EQ(result.Count("Restore backSurface device=0"), 1);
    EXPECT_EQ(result.liveObjects, 0);
}

}  // namespace
