// The entry of the screen saver: the command line, the start-up sequence and
// the frame loop, all on the process's one thread.
#include "display/device_table.h"
#include "display/presentation.h"
#include "effect/effect.h"
#include "effect/effect_entry.h"
#include "platform/win32.h"
#include "shell/command_line.h"
#include "shell/main_window.h"

namespace {

// Window, displays, renderer preparation, picture and palette, maps, colour
// tables: each once, in this order, since every step needs the ones before.
// Returns 1 when the frame loop may run, 0 when a step failed; a failure
// after the window exists has been reported and the window destroyed.
int StartUp(HINSTANCE instance, int showCommand)
{
    if (!CreateMainWindow(instance, showCommand)) {
        return 0;
    }
    if (!OpenDisplays()) {
        return 0;
    }
    // The frame loop waits for the vertical blank of device 0, so a run
    // without any device has nothing to show and nothing to wait on.
    if (DeviceCount() == 0) {
        return ReportDisplayFailure(MainWindow, "No display device found");
    }
    DiscardPendingMouseMove();
    RenderFrame(nullptr);
    PALETTEENTRY paletteEntries[256] = {};
    if (!LoadImageResource(paletteEntries)) {
        return ReportDisplayFailure(MainWindow, "LoadImageResource FAILED");
    }
    InstallPalette(paletteEntries);
    BuildLightMap();
    BuildTexCoordMaps();
    BuildGradientTable();
    BuildShadeTable();
    return 1;
}

void ProduceFrame()
{
    RenderToDevices();
    DeviceTable.directDraws[0]->WaitForVerticalBlank(DDWAITVB_BLOCKBEGIN, nullptr);
    PresentToDevices();
}

// Every waiting message is handled before the next frame, so a key pressed
// during start-up ends the run before anything is shown. The quit that the
// WM_DESTROY handler posts counts as a waiting message, so no frame follows
// the release of the displays.
int RunFrameLoop()
{
    for (;;) {
        if (PeekMessageA(&MessageRecord, nullptr, 0, 0, PM_NOREMOVE)) {
            if (GetMessageA(&MessageRecord, nullptr, 0, 0) == 0) {
                return static_cast<int>(MessageRecord.wParam);
            }
            TranslateMessage(&MessageRecord);
            DispatchMessageA(&MessageRecord);
        } else if (AppActive == 0) {
            WaitMessage();
        } else {
            ProduceFrame();
        }
    }
}

}  // namespace

// The configuration dialog and the preview are not offered: both end at once
// with 1. A failed start-up ends with 0; a finished run with the quit's code.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    if (AsksForDialogOrPreview(commandLine)) {
        return 1;
    }
    if (!StartUp(instance, showCommand)) {
        return 0;
    }
    return RunFrameLoop();
}
