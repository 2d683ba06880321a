// The effect's entry points that reach the platform: the picture from the
// executable's own resources and the scroll from the millisecond clock.
#include "effect/effect_entry.h"

#include "effect/effect.h"

namespace {

constexpr int PictureResourceId = 106;

}  // namespace

int LoadImageResource(PALETTEENTRY (&entries)[256])
{
    const HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(PictureResourceId), RT_RCDATA);
    if (found == nullptr) {
        return 0;
    }
    const HGLOBAL loaded = LoadResource(nullptr, found);
    if (loaded == nullptr) {
        return 0;
    }
    const void* block = LockResource(loaded);
    const std::size_t size = SizeofResource(nullptr, found);
    if (!DecodePicture(static_cast<const std::uint8_t*>(block), size)) {
        return 0;
    }
    for (int i = 0; i < 256; ++i) {
        entries[i].peRed = PaletteRgb[3 * i];
        entries[i].peGreen = PaletteRgb[3 * i + 1];
        entries[i].peBlue = PaletteRgb[3 * i + 2];
        entries[i].peFlags = 0;  // plain palette entries, no special treatment
    }
    return 1;
}

void RenderFrame(std::uint8_t* target)
{
    if (target == nullptr) {
        PrepareRenderer();
        return;
    }
    RenderFrameAtScroll(target, ScrollForTime(timeGetTime()));
}
