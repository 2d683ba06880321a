#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "platform/core/core.h"
#include "platform/double/test_double.h"
#include "platform/win32.h"

namespace {

using testdouble::Call;
using testdouble::MonitorGuid;
using testdouble::Script;
using testdouble::When;

LRESULT CALLBACK PlainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return DefWindowProcA(window, message, wParam, lParam);
}

struct Entry {
    bool hasGuid;
    GUID guid;
    HMONITOR monitor;
};

BOOL CALLBACK Collect(GUID* guid, LPSTR, LPSTR, LPVOID context, HMONITOR monitor) {
    auto* entries = static_cast<std::vector<Entry>*>(context);
    entries->push_back(Entry{guid != nullptr, guid != nullptr ? *guid : GUID{}, monitor});
    return DDENUMRET_OK;
}

BOOL CALLBACK StopAtFirst(GUID*, LPSTR, LPSTR, LPVOID context, HMONITOR) {
    ++*static_cast<int*>(context);
    return DDENUMRET_CANCEL;
}

// One window and one device at 640x480x8, as the program opens them.
class DirectDraw : public ::testing::Test {
protected:
    void SetUp() override { Open(Script()); }

    void TearDown() override {
        ReleaseAll();
        EXPECT_EQ(platform::LiveDirectDrawObjects(), 0);
    }

    void Open(const Script& script) {
        ReleaseAll();
        testdouble::Install(script);
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = PlainProc;
        windowClass.lpszClassName = "Test";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "Test", "", WS_POPUP, 0, 0, 640, 480, nullptr, nullptr,
                                 nullptr, nullptr);
        GUID guid = MonitorGuid(0);
        ASSERT_EQ(DirectDrawCreateEx(&guid, reinterpret_cast<LPVOID*>(&directDraw),
                                     IID_IDirectDraw7, nullptr),
                  DD_OK);
        ASSERT_EQ(directDraw->SetCooperativeLevel(window, 0x13), DD_OK);
        ASSERT_EQ(directDraw->SetDisplayMode(640, 480, 8, 0, 0), DD_OK);
        primary = CreateSurface(DDSCAPS_PRIMARYSURFACE, 0, 0);
        back = CreateSurface(DDSCAPS_OFFSCREENPLAIN | DDSCAPS_SYSTEMMEMORY, 640, 480);
        ASSERT_NE(primary, nullptr);
        ASSERT_NE(back, nullptr);
    }

    IDirectDrawSurface7* CreateSurface(DWORD caps, DWORD width, DWORD height) {
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        description.dwFlags = DDSD_CAPS | (width != 0 ? DDSD_WIDTH | DDSD_HEIGHT : 0);
        description.dwWidth = width;
        description.dwHeight = height;
        description.ddsCaps.dwCaps = caps;
        IDirectDrawSurface7* surface = nullptr;
        directDraw->CreateSurface(&description, &surface, nullptr);
        return surface;
    }

    std::uint8_t* LockedPixels(IDirectDrawSurface7* surface, LONG* pitch = nullptr) {
        DDSURFACEDESC2 description{};
        description.dwSize = sizeof description;
        if (surface->Lock(nullptr, &description, DDLOCK_WAIT, nullptr) != DD_OK) {
            return nullptr;
        }
        if (pitch != nullptr) {
            *pitch = description.lPitch;
        }
        return static_cast<std::uint8_t*>(description.lpSurface);
    }

    void ReleaseAll() {
        for (IUnknown** object : {reinterpret_cast<IUnknown**>(&primary),
                                  reinterpret_cast<IUnknown**>(&back),
                                  reinterpret_cast<IUnknown**>(&palette),
                                  reinterpret_cast<IUnknown**>(&directDraw)}) {
            if (*object != nullptr) {
                (*object)->Release();
                *object = nullptr;
            }
        }
    }

    HWND window = nullptr;
    IDirectDraw7* directDraw = nullptr;
    IDirectDrawSurface7* primary = nullptr;
    IDirectDrawSurface7* back = nullptr;
    IDirectDrawPalette* palette = nullptr;
};

TEST_F(DirectDraw, EnumerationReportsTheGuidlessEntryFirstThenEveryMonitor) {
    testdouble::Install(Script().Monitors({MonitorGuid(4), MonitorGuid(5)}));
    std::vector<Entry> entries;
    EXPECT_EQ(DirectDrawEnumerateExA(Collect, &entries, DDENUM_ATTACHEDSECONDARYDEVICES), DD_OK);
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_FALSE(entries[0].hasGuid);
    EXPECT_EQ(entries[0].monitor, nullptr);
    EXPECT_TRUE(entries[1].guid == MonitorGuid(4));
    EXPECT_TRUE(entries[2].guid == MonitorGuid(5));
    EXPECT_NE(entries[1].monitor, entries[2].monitor);

    // Without the flag only the primary driver; cancelling stops at once.
    entries.clear();
    DirectDrawEnumerateExA(Collect, &entries, 0);
    EXPECT_EQ(entries.size(), 1u);
    int calls = 0;
    DirectDrawEnumerateExA(StopAtFirst, &calls, DDENUM_ATTACHEDSECONDARYDEVICES);
    EXPECT_EQ(calls, 1);

    entries.clear();
    testdouble::Install(Script().Monitors({MonitorGuid(4)}).WithoutGuidlessEntry());
    DirectDrawEnumerateExA(Collect, &entries, DDENUM_ATTACHEDSECONDARYDEVICES);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_TRUE(entries[0].hasGuid);
}

TEST_F(DirectDraw, CreationNeedsAKnownGuidAndTheDirectDraw7Interface) {
    GUID unknown = MonitorGuid(9);
    IDirectDraw7* other = reinterpret_cast<IDirectDraw7*>(0x1);
    EXPECT_EQ(DirectDrawCreateEx(&unknown, reinterpret_cast<LPVOID*>(&other), IID_IDirectDraw7,
                                 nullptr),
              DDERR_INVALIDDIRECTDRAWGUID);
    EXPECT_EQ(other, nullptr);
    GUID known = MonitorGuid(0);
    GUID wrongInterface = IID_IDirectDraw7;
    wrongInterface.Data1 ^= 1;
    EXPECT_EQ(DirectDrawCreateEx(&known, reinterpret_cast<LPVOID*>(&other), wrongInterface,
                                 nullptr),
              DDERR_INVALIDPARAMS);
}

TEST_F(DirectDraw, CooperativeLevelsMustBeConsistentAndNamingALiveWindow) {
    struct Case {
        HWND window;
        DWORD flags;
        HRESULT expected;
    };
    const HWND dead = reinterpret_cast<HWND>(99);
    for (const Case& c : {Case{window, DDSCL_FULLSCREEN, DDERR_INVALIDPARAMS},
                          Case{window, DDSCL_EXCLUSIVE, DDERR_INVALIDPARAMS},
                          Case{window, DDSCL_NORMAL | DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN,
                               DDERR_INVALIDPARAMS},
                          Case{window, 0, DDERR_INVALIDPARAMS},
                          Case{dead, 0x13, DDERR_INVALIDPARAMS},
                          Case{nullptr, 0x291, DDERR_INVALIDPARAMS},
                          Case{window, 0x291, DD_OK}, Case{nullptr, DDSCL_NORMAL, DD_OK}}) {
        EXPECT_EQ(directDraw->SetCooperativeLevel(c.window, c.flags), c.expected)
            << std::hex << c.flags;
    }
    // Normal cooperation cannot change the mode.
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 8, 0, 0), DDERR_NOEXCLUSIVEMODE);
    directDraw->SetCooperativeLevel(window, 0x13);
    EXPECT_EQ(directDraw->SetDisplayMode(640, 480, 32, 0, 0), DDERR_INVALIDMODE);
}

TEST_F(DirectDraw, SurfacesAreTheModesSizeWithOneBytePerPixel) {
    LONG pitch = 0;
    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    ASSERT_EQ(primary->Lock(nullptr, &description, DDLOCK_WAIT, nullptr), DD_OK);
    EXPECT_EQ(description.dwWidth, 640u);
    EXPECT_EQ(description.dwHeight, 480u);
    EXPECT_EQ(description.lPitch, 640);
    EXPECT_EQ(description.ddsCaps.dwCaps, DDSCAPS_PRIMARYSURFACE);
    EXPECT_EQ(primary->Unlock(nullptr), DD_OK);
    ASSERT_NE(LockedPixels(back, &pitch), nullptr);
    EXPECT_EQ(pitch, 640);
    back->Unlock(nullptr);

    // One primary surface per device, and the description's size is checked.
    EXPECT_EQ(CreateSurface(DDSCAPS_PRIMARYSURFACE, 0, 0), nullptr);
    DDSURFACEDESC2 wrongSize{};
    wrongSize.dwSize = sizeof wrongSize + 4;
    wrongSize.dwFlags = DDSD_CAPS;
    IDirectDrawSurface7* surface = nullptr;
    EXPECT_EQ(directDraw->CreateSurface(&wrongSize, &surface, nullptr), DDERR_INVALIDPARAMS);
}

TEST_F(DirectDraw, LockingIsExclusiveAndUnlockNeedsALock) {
    ASSERT_NE(LockedPixels(back), nullptr);
    EXPECT_EQ(LockedPixels(back), nullptr);  // busy
    RECT source{0, 0, 10, 10};
    EXPECT_EQ(primary->Blt(&source, back, &source, 0, nullptr), DDERR_SURFACEBUSY);
    EXPECT_EQ(back->Unlock(nullptr), DD_OK);
    EXPECT_EQ(back->Unlock(nullptr), DDERR_NOTLOCKED);

    DDSURFACEDESC2 description{};
    description.dwSize = sizeof description;
    RECT inside{10, 20, 30, 40};
    ASSERT_EQ(back->Lock(&inside, &description, DDLOCK_WAIT, nullptr), DD_OK);
    back->Unlock(&inside);
    std::uint8_t* base = LockedPixels(back);
    back->Unlock(nullptr);
    EXPECT_EQ(static_cast<std::uint8_t*>(description.lpSurface), base + 20 * 640 + 10);
    RECT outside{600, 0, 641, 10};
    EXPECT_EQ(back->Lock(&outside, &description, DDLOCK_WAIT, nullptr), DDERR_INVALIDRECT);
}

TEST_F(DirectDraw, BltCopiesExactlyTheRectangleAndShowsThePrimary) {
    std::uint8_t* pixels = LockedPixels(back);
    ASSERT_NE(pixels, nullptr);
    for (int i = 0; i < 640 * 480; ++i) {
        pixels[i] = static_cast<std::uint8_t>(1 + i % 251);
    }
    back->Unlock(nullptr);
    const int presentsBefore = testdouble::Shown(0).presents;

    RECT area{2, 2, 638, 478};
    ASSERT_EQ(primary->Blt(&area, back, &area, 0, nullptr), DD_OK);

    const testdouble::ShownFrame& shown = testdouble::Shown(0);
    EXPECT_EQ(shown.presents, presentsBefore + 1);
    ASSERT_EQ(shown.width, 640);
    ASSERT_EQ(shown.pitch, 640);
    int wrong = 0;
    for (int y = 0; y < 480; ++y) {
        for (int x = 0; x < 640; ++x) {
            const bool inside = x >= 2 && x < 638 && y >= 2 && y < 478;
            const std::uint8_t expected = inside ? static_cast<std::uint8_t>(1 + (y * 640 + x) % 251) : 0;
            wrong += shown.pixels[y * 640 + x] != expected;
        }
    }
    EXPECT_EQ(wrong, 0);
}

TEST_F(DirectDraw, BltRejectsRectanglesOutsideOrOfDifferentSizes) {
    RECT area{0, 0, 10, 10};
    RECT wider{0, 0, 11, 10};
    RECT outside{630, 470, 641, 480};
    RECT empty{5, 5, 5, 9};
    EXPECT_EQ(primary->Blt(&area, back, &wider, 0, nullptr), DDERR_UNSUPPORTED);
    EXPECT_EQ(primary->Blt(&outside, back, &outside, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(primary->Blt(&empty, back, &empty, 0, nullptr), DDERR_INVALIDRECT);
    EXPECT_EQ(primary->Blt(&area, nullptr, &area, 0, nullptr), DDERR_INVALIDPARAMS);
    EXPECT_EQ(primary->Blt(nullptr, back, nullptr, 0, nullptr), DD_OK);  // whole surfaces
}

TEST_F(DirectDraw, PalettesAreHeldByTheirSurfaceAndShownWithIt) {
    PALETTEENTRY entries[256];
    for (int i = 0; i < 256; ++i) {
        entries[i] = PALETTEENTRY{static_cast<BYTE>(i), 1, 2, 0};
    }
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT | DDPCAPS_ALLOW256, entries, &palette,
                                        nullptr),
              DD_OK);
    ASSERT_EQ(primary->SetPalette(palette), DD_OK);
    const testdouble::ShownFrame& shown = testdouble::Shown(0);
    ASSERT_TRUE(shown.hasPalette);
    EXPECT_EQ(shown.palette[0].peRed, 0);
    EXPECT_EQ(shown.palette[255].peRed, 255);
    EXPECT_EQ(shown.palette[255].peGreen, 1);

    // The surface's reference keeps the palette alive after the program lets
    // go, and the surface's release frees it.
    const int live = platform::LiveDirectDrawObjects();
    EXPECT_EQ(palette->Release(), 1u);
    palette = nullptr;
    EXPECT_EQ(platform::LiveDirectDrawObjects(), live);
    EXPECT_EQ(primary->Release(), 0u);
    primary = nullptr;
    EXPECT_EQ(platform::LiveDirectDrawObjects(), live - 2);
}

TEST_F(DirectDraw, WithoutAllow256TheEndsOfThePaletteStayBlackAndWhite) {
    PALETTEENTRY entries[256] = {};
    for (PALETTEENTRY& entry : entries) {
        entry = PALETTEENTRY{9, 9, 9, 0};
    }
    ASSERT_EQ(directDraw->CreatePalette(DDPCAPS_8BIT, entries, &palette, nullptr), DD_OK);
    PALETTEENTRY read[256];
    ASSERT_EQ(palette->GetEntries(0, 0, 256, read), DD_OK);
    EXPECT_EQ(read[0].peRed, 0);
    EXPECT_EQ(read[1].peRed, 9);
    EXPECT_EQ(read[255].peRed, 255);
}

TEST_F(DirectDraw, ReleaseCountsReferencesAndTheLastOneFrees) {
    const int live = platform::LiveDirectDrawObjects();
    EXPECT_EQ(back->AddRef(), 2u);
    EXPECT_EQ(back->Release(), 1u);
    EXPECT_EQ(platform::LiveDirectDrawObjects(), live);
    EXPECT_EQ(back->Release(), 0u);
    back = nullptr;
    EXPECT_EQ(platform::LiveDirectDrawObjects(), live - 1);

    // Releasing the device first leaves its surface alive but unusable.
    EXPECT_EQ(directDraw->Release(), 0u);
    directDraw = nullptr;
    EXPECT_EQ(platform::LiveDirectDrawObjects(), live - 1);
    RECT area{0, 0, 4, 4};
    EXPECT_EQ(primary->Blt(&area, primary, &area, 0, nullptr), DDERR_INVALIDOBJECT);
    EXPECT_EQ(primary->Release(), 0u);
    primary = nullptr;
    EXPECT_EQ(platform::LiveDirectDrawObjects(), 0);
}

TEST_F(DirectDraw, LostSurfacesFailUntilRestored) {
    Open(Script().LoseSurfaces(0, When::At(Call("Blt"))));
    RECT area{2, 2, 638, 478};
    EXPECT_EQ(primary->Blt(&area, back, &area, 0, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(LockedPixels(back), nullptr);
    // The first restore finds the display back; the other surface is still
    // lost until restored too.
    EXPECT_EQ(primary->Restore(), DD_OK);
    EXPECT_EQ(primary->Blt(&area, back, &area, 0, nullptr), DDERR_SURFACELOST);
    EXPECT_EQ(back->Restore(), DD_OK);
    EXPECT_EQ(primary->Blt(&area, back, &area, 0, nullptr), DD_OK);
}

TEST_F(DirectDraw, WaitForVerticalBlankTakesOnlyTheBlockingForms) {
    EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr), DD_OK);
    EXPECT_EQ(directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGINEVENT, nullptr),
              DDERR_UNSUPPORTED);
    EXPECT_EQ(directDraw->WaitForVerticalBlank(0x40, nullptr), DDERR_INVALIDPARAMS);
    // Each wait moves the double's clock on by its step.
    const DWORD before = timeGetTime();
    directDraw->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    EXPECT_EQ(timeGetTime() - before, 16u);
}

}  // namespace
