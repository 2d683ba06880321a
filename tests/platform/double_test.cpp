#include <atomic>
#include <cstdlib>
#include <new>

#include <gtest/gtest.h>

#include "platform/double/test_double.h"
#include "platform/win32.h"

// Counts the allocations of this test program, so a test can check that a
// frame's worth of calls allocates nothing.
namespace {
std::atomic<long> Allocations{0};
}  // namespace

void* operator new(std::size_t size) {
    ++Allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

using testdouble::Call;
using testdouble::Ending;
using testdouble::MonitorGuid;
using testdouble::Script;
using testdouble::When;

LRESULT CALLBACK QuitOnDestroy(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_KEYDOWN) {
        PostMessageA(window, WM_DESTROY, 0, 0);
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(3);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND OpenWindow() {
    WNDCLASSA windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW;
    windowClass.lpfnWndProc = QuitOnDestroy;
    windowClass.lpszClassName = "Glorp 1.1";
    windowClass.lpszMenuName = "Glorp 1.1";
    RegisterClassA(&windowClass);
    const HWND window = CreateWindowExA(0, "Glorp 1.1", "Glorp 1.1", WS_POPUP, 0, 0,
                                        GetSystemMetrics(SM_CXSCREEN),
                                        GetSystemMetrics(SM_CYSCREEN), nullptr, nullptr,
                                        GetModuleHandleA(nullptr), nullptr);
    ShowWindow(window, SW_SHOWDEFAULT);
    return window;
}

// A small program in the shape of the real one: open every device, then
// render-wait-present until a quit, waiting for input while inactive.
int MiniProgram() {
    const HWND window = OpenWindow();
    static GUID guids[4];
    static int count = 0;
    DirectDrawEnumerateExA(
        [](GUID* guid, LPSTR, LPSTR, LPVOID, HMONITOR) -> BOOL {
            if (guid != nullptr && count < 4) {
                guids[count++] = *guid;
            }
            return DDENUMRET_OK;
        },
        nullptr, DDENUM_ATTACHEDSECONDARYDEVICES);
    IDirectDraw7* directDraws[4] = {};
    IDirectDrawSurface7* primaries[4] = {};
    IDirectDrawSurface7* backs[4] = {};
    for (int i = 0; i < count; ++i) {
        if (DirectDrawCreateEx(&guids[i], reinterpret_cast<LPVOID*>(&directDraws[i]),
                               IID_IDirectDraw7, nullptr) != DD_OK ||
            directDraws[i]->SetCooperativeLevel(window, i == 0 ? 0x13 : 0x291) != DD_OK ||
            directDraws[i]->SetDisplayMode(640, 480, 8, 0, 0) != DD_OK) {
            MessageBoxA(window, "Open FAILED", "Glorp 1.1", MB_OK);
            return 0;
        }
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        if (directDraws[i]->CreateSurface(&description, &primaries[i], nullptr) != DD_OK) {
            MessageBoxA(window, "CreateSurface FAILED", "Glorp 1.1", MB_OK);
            return 0;
        }
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = 640;
        description.dwHeight = 480;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        if (directDraws[i]->CreateSurface(&description, &backs[i], nullptr) != DD_OK) {
            MessageBoxA(window, "CreateSurface FAILED", "Glorp 1.1", MB_OK);
            return 0;
        }
    }
    MSG message;
    for (;;) {
        while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&message, nullptr, 0, 0) == 0) {
                for (int i = 0; i < count; ++i) {
                    backs[i]->Release();
                    primaries[i]->Release();
                    directDraws[i]->Release();
                }
                return static_cast<int>(message.wParam);
            }
            DispatchMessageA(&message);
        }
        if (count == 0) {
            WaitMessage();
            continue;
        }
        directDraws[0]->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
        RECT area{2, 2, 638, 478};
        for (int i = 0; i < count; ++i) {
            HRESULT result;
            while ((result = primaries[i]->Blt(&area, backs[i], &area, 0, nullptr)) ==
                   DDERR_WASSTILLDRAWING) {
            }
            if (result == DDERR_SURFACELOST && primaries[i]->Restore() == DD_OK) {
                backs[i]->Restore();
            }
        }
    }
}

TEST(Scenario, LogsEveryCallWithItsArgumentsAndReturnsTheBodysResult) {
    const auto result = testdouble::RunScenario(
        Script().Monitors({MonitorGuid(0), MonitorGuid(1)})
            .KeyDown(testdouble::VK_SPACE, When::At(Call("WaitForVerticalBlank").Nth(2))),
        MiniProgram);
    EXPECT_EQ(result.ending, Ending::Returned) << result.Text();
    EXPECT_EQ(result.exitCode, 3);
    EXPECT_EQ(result.liveObjects, 0);
    for (const char* line : {
             R"(RegisterClassA style=0x3 class="Glorp 1.1" menu="Glorp 1.1" cursor=0)",
             R"(CreateWindowExA exStyle=0x0 class="Glorp 1.1" title="Glorp 1.1" style=0x80000000 x=0 y=0 width=1920 height=1080 parent=0)",
             "ShowWindow hwnd=1 command=10",
             "WindowProc hwnd=1 message=0x6 wParam=0x1 lParam=0x0",
             "DirectDrawEnumerateExA flags=0x1",
             "DirectDrawCreateEx device=1 guid={67C10001-0000-4000-8000-000000000000}",
             "SetCooperativeLevel directDraw device=0 hwnd=1 flags=0x13",
             "SetCooperativeLevel directDraw device=1 hwnd=1 flags=0x291",
             "SetDisplayMode directDraw device=1 width=640 height=480 bpp=8 refresh=0 flags=0x0",
             "CreateSurface directDraw device=0 flags=0x1 caps=0x200 width=0 height=0",
             "CreateSurface directDraw device=0 flags=0x7 caps=0x840 width=640 height=480",
             "WaitForVerticalBlank directDraw device=0 flags=0x1",
             "Blt primarySurface device=1 dst=(2,2,638,478) src=backSurface srcRect=(2,2,638,478) flags=0x0",
             "PostMessageA hwnd=1 message=0x2 wParam=0x0 lParam=0x0",
             "PostQuitMessage exitCode=3",
             "Release backSurface device=0",
             "Release directDraw device=1",
         }) {
        EXPECT_TRUE(result.Has(line)) << line << "\n" << result.Text();
    }
    // The key came at the second wait and was handled before the next frame.
    EXPECT_EQ(result.Count("WaitForVerticalBlank"), 2);
    EXPECT_EQ(result.Count("Blt primarySurface device=0"), 2);
}

TEST(Scenario, InjectedFailuresHitTheChosenCallOfTheChosenDevice) {
    struct Case {
        Call call;
        const char* box;
    };
    for (const Case& c : {Case{Call("SetDisplayMode").Device(1), "Open FAILED"},
                          Case{Call("CreateSurface").Device(0).Nth(2), "CreateSurface FAILED"}}) {
        const auto result = testdouble::RunScenario(
            Script().Monitors({MonitorGuid(0), MonitorGuid(1)}).Fail(c.call, DDERR_GENERIC),
            MiniProgram);
        EXPECT_EQ(result.exitCode, 0) << c.call.name();
        EXPECT_EQ(result.Count("MessageBoxA"), 1) << result.Text();
        EXPECT_TRUE(result.Has(std::string("MessageBoxA owner=1 text=\"") + c.box +
                               "\" caption=\"Glorp 1.1\" type=0x0"))
            << result.Text();
    }
}

TEST(Scenario, ASequenceOfBltResultsDrivesTheRetriesAndRestores) {
    const auto result = testdouble::RunScenario(
        Script()
            .Results(Call("Blt").Device(0),
                     {DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING, DDERR_WASSTILLDRAWING,
                      testdouble::Pass, DDERR_SURFACELOST})
            .Fail(Call("Restore").Object("primarySurface"), DDERR_GENERIC)
            .KeyDown(testdouble::VK_SPACE, When::At(Call("WaitForVerticalBlank").Nth(3))),
        MiniProgram);
    EXPECT_EQ(result.ending, Ending::Returned) << result.Text();
    // Frame 1: three busy answers then the real blit; frame 2: lost, and the
    // failed restore of the primary skips the back; frame 3: a real blit.
    EXPECT_EQ(result.Count("Blt primarySurface device=0"), 6);
    EXPECT_EQ(result.Count("Restore primarySurface device=0"), 1);
    EXPECT_EQ(result.Count("Restore backSurface"), 0);
}

TEST(Scenario, AProgramThatWouldWaitForeverEndsAsBlocked) {
    // Not activated, so the loop waits for input that never comes.
    const auto result =
        testdouble::RunScenario(Script().ShowDoesNotActivate().Monitors({}), MiniProgram);
    EXPECT_EQ(result.ending, Ending::Blocked);
    EXPECT_EQ(result.exitCode, testdouble::BlockedExitCode);
    EXPECT_EQ(result.log.back(), "WaitMessage");
}

TEST(Scenario, AProgramThatWouldRunForeverStopsAtTheFrameLimit) {
    const auto result =
        testdouble::RunScenario(Script().MaxVerticalBlanks(5).Silent(), MiniProgram);
    EXPECT_EQ(result.ending, Ending::FrameLimit);
    EXPECT_EQ(result.exitCode, testdouble::FrameLimitExitCode);
    EXPECT_TRUE(result.log.empty());
    EXPECT_EQ(result.liveObjects, 3);  // never released
}

TEST(Scenario, ACrashIsReportedWithTheLogSoFar) {
    const auto result = testdouble::RunScenario(Script(), [] {
        testdouble::Note("about to crash");
        std::abort();
        return 0;
    });
    EXPECT_EQ(result.ending, Ending::Crashed);
    EXPECT_NE(result.signal, 0);
    EXPECT_TRUE(result.Has("about to crash"));
}

TEST(Scenario, TheChildsStateDoesNotLeakIntoTheNextScenario) {
    auto windowNumber = [] {
        const HWND window = OpenWindow();
        testdouble::Note("hwnd=" + std::to_string(reinterpret_cast<std::uintptr_t>(window)));
        return 0;
    };
    testdouble::RunScenario(Script(), windowNumber);
    const auto second = testdouble::RunScenario(Script(), windowNumber);
    EXPECT_TRUE(second.Has("hwnd=1")) << second.Text();
}

TEST(Scenario, SilentLoggingLetsAFrameLoopRunWithoutAllocating) {
    const auto result = testdouble::RunScenario(Script().Silent(), [] {
        const HWND window = OpenWindow();
        GUID guid = MonitorGuid(0);
        IDirectDraw7* directDraw = nullptr;
        DirectDrawCreateEx(&guid, reinterpret_cast<LPVOID*>(&directDraw), IID_IDirectDraw7,
                           nullptr);
        directDraw->SetCooperativeLevel(window, 0x13);
        directDraw->SetDisplayMode(640, 480, 8, 0, 0);
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS;
        description.ddsCaps.dwCaps = DDSCAPS_PRIMARYSURFACE;
        IDirectDrawSurface7* primary = nullptr;
        directDraw->CreateSurface(&description, &primary, nullptr);
        description.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
        description.dwWidth = 640;
        description.dwHeight = 480;
        description.ddsCaps.dwCaps = DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY;
        IDirectDrawSurface7* back = nullptr;
        directDraw->CreateSurface(&description, &back, nullptr);

        auto frame = [&] {
            MSG message;
            while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
                GetMessageA(&message, nullptr, 0, 0);
                TranslateMessage(&message);
                DispatchMessageA(&message);
            }
            DDSURFACEDESC2 lock{};
            lock.dwSize = sizeof lock;
            if (back->Lock(nullptr, &lock, DDLOCK_WAIT, nullptr) == DD_OK) {
                static_cast<std::uint8_t*>(lock.lpSurface)[0] = 1;
                back->Unlock(nullptr);
            }
            directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
            RECT area{2, 2, 638, 478};
            primary->Blt(&area, back, &area, 0, nullptr);
            timeGetTime();
        };
        frame();  // the first showing sizes the double's copy of the screen
        const long before = Allocations.load();
        for (int i = 0; i < 50; ++i) {
            PostMessageA(window, WM_USER, 0, 0);
            frame();
        }
        return Allocations.load() == before ? 0 : 1;
    });
    EXPECT_EQ(result.ending, Ending::Returned);
    EXPECT_EQ(result.exitCode, 0) << "the frame loop allocated";
}

}  // namespace
