#include "display/presentation.h"

#include <cstring>

#include "display/device_table.h"
#include "effect/effect_entry.h"

std::uint8_t StagingFrame[FrameBytes];

namespace {

// The two-pixel band around the frame is never presented: the renderer has
// no true neighbours for it.
constexpr RECT PresentedArea = {2, 2, FrameWidth - 2, FrameHeight - 2};

bool LockBackSurface(std::size_t device, DDSURFACEDESC2& lockRecord)
{
    std::memset(&lockRecord, 0, sizeof lockRecord);
    lockRecord.dwSize = sizeof lockRecord;
    return DeviceTable.backSurfaces[device]->Lock(nullptr, &lockRecord, DDLOCK_WAIT, nullptr) ==
           DD_OK;
}

void UnlockBackSurface(std::size_t device)
{
    DeviceTable.backSurfaces[device]->Unlock(nullptr);
}

std::uint8_t* SurfaceBytes(const DDSURFACEDESC2& lockRecord)
{
    return static_cast<std::uint8_t*>(lockRecord.lpSurface);
}

// Copies the staged frame into a locked surface: one block when its rows are
// packed like the frame's, row by row when they lie further apart. A surface
// with rows narrower than a frame row cannot hold a frame and gets nothing.
void CopyStagedFrame(const DDSURFACEDESC2& lockRecord)
{
    std::uint8_t* surface = SurfaceBytes(lockRecord);
    const long pitch = lockRecord.lPitch;
    if (pitch == FrameWidth) {
        std::memcpy(surface, StagingFrame, FrameBytes);
        return;
    }
    if (pitch < FrameWidth) {
        return;
    }
    for (int row = 0; row < FrameHeight; ++row) {
        std::memcpy(surface + row * pitch, StagingFrame + row * FrameWidth, FrameWidth);
    }
}

// With one device the frame is computed straight into its surface, unless
// the surface's rows are not packed at the frame's 640 bytes.
void RenderToSingleDevice()
{
    DDSURFACEDESC2 lockRecord;
    if (!LockBackSurface(0, lockRecord)) {
        return;
    }
    if (lockRecord.lPitch == FrameWidth) {
        RenderFrame(SurfaceBytes(lockRecord));
    } else {
        RenderFrame(StagingFrame);
        CopyStagedFrame(lockRecord);
    }
    UnlockBackSurface(0);
}

void PresentToDevice(std::size_t device)
{
    IDirectDrawSurface7* primary = DeviceTable.primarySurfaces[device];
    IDirectDrawSurface7* back = DeviceTable.backSurfaces[device];
    RECT destination = PresentedArea;
    RECT source = PresentedArea;
    // No count of attempts: a busy blitter is waited out here, since the
    // blit is asked not to wait, and lost surfaces are blitted again as soon
    // as both are restored. Any other failure gives the device up until the
    // next frame; the back surface's content is not set again after a
    // restore.
    for (;;) {
        const HRESULT result = primary->Blt(&destination, back, &source, 0, nullptr);
        if (result == DDERR_WASSTILLDRAWING) {
            continue;
        }
        if (result != DDERR_SURFACELOST) {
            return;
        }
        if (primary->Restore() != DD_OK || back->Restore() != DD_OK) {
            return;
        }
    }
}

}  // namespace

void RenderToDevices()
{
    if (DeviceCount() == 1) {
        RenderToSingleDevice();
        return;
    }
    RenderFrame(StagingFrame);
    for (std::size_t device = 0; device < DeviceCount(); ++device) {
        DDSURFACEDESC2 lockRecord;
        if (!LockBackSurface(device, lockRecord)) {
            continue;
        }
        CopyStagedFrame(lockRecord);
        UnlockBackSurface(device);
    }
}

void PresentToDevices()
{
    for (std::size_t device = 0; device < DeviceCount(); ++device) {
        PresentToDevice(device);
    }
}
