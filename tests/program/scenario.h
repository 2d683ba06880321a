// Helpers shared by the program's scenario tests: every scenario runs in a
// fresh child process, so the window, the device table and the effect's
// tables start at zero each time.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/double/test_double.h"
#include "platform/win32.h"

namespace programtest {

// Runs the whole program with this command line.
testdouble::ScenarioResult RunProgram(const testdouble::Script& script,
                                      std::string commandLine = "/s");

// The window and the devices, opened as start-up opens them; true when both
// succeeded. For scenarios that drive the display operations directly.
bool OpenWindowAndDisplays();

// The window, the devices, the renderer, the picture with its palette on
// every device, the maps and the colour tables: everything the frame loop
// needs. False when a step failed.
bool StartEverything();

// The calls in the log whose names are among `names`, in order, each cut to
// its name, its object and its device ("Blt primarySurface device=0",
// "DirectDrawCreateEx device=1", "MessageBoxA").
std::vector<std::string> CallsOf(const testdouble::ScenarioResult& result,
                                  const std::vector<std::string>& names);

// The log index of the first line starting with `prefix`; fails the test
// when there is none.
int IndexOf(const testdouble::ScenarioResult& result, std::string_view prefix, int from = 0);

// Counts of the program's own frame calls.
int Frames(const testdouble::ScenarioResult& result);

}  // namespace programtest
