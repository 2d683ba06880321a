#include "tests/program/scenario.h"

#include <sstream>

#include <gtest/gtest.h>

#include "display/device_table.h"
#include "effect/effect.h"
#include "effect/effect_entry.h"
#include "shell/main_window.h"

namespace programtest {

testdouble::ScenarioResult RunProgram(const testdouble::Script& script, std::string commandLine)
{
    return testdouble::RunScenario(script, [commandLine]() mutable {
        return WinMain(GetModuleHandleA(nullptr), nullptr, commandLine.data(), SW_SHOWDEFAULT);
    });
}

bool OpenWindowAndDisplays()
{
    return CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOWDEFAULT) && OpenDisplays();
}

bool StartEverything()
{
    if (!OpenWindowAndDisplays()) {
        return false;
    }
    RenderFrame(nullptr);
    PALETTEENTRY entries[256] = {};
    if (!LoadImageResource(entries)) {
        return false;
    }
    InstallPalette(entries);
    BuildLightMap();
    BuildTexCoordMaps();
    BuildGradientTable();
    BuildShadeTable();
    return true;
}

namespace {

// The words of a log line up to and including its device, leaving out the
// arguments.
std::string Brief(const std::string& line)
{
    std::istringstream in(line);
    std::string brief;
    std::string word;
    while (in >> word) {
        const bool isDevice = word.starts_with("device=");
        if (word.find('=') != std::string::npos && !isDevice) {
            break;
        }
        brief += (brief.empty() ? "" : " ") + word;
        if (isDevice) {
            break;
        }
    }
    return brief;
}

}  // namespace

std::vector<std::string> CallsOf(const testdouble::ScenarioResult& result,
                                  const std::vector<std::string>& names)
{
    std::vector<std::string> calls;
    for (const std::string& line : result.log) {
        const std::string name = line.substr(0, line.find(' '));
        for (const std::string& wanted : names) {
            if (name == wanted) {
                calls.push_back(Brief(line));
                break;
            }
        }
    }
    return calls;
}

int IndexOf(const testdouble::ScenarioResult& result, std::string_view prefix, int from)
{
    const int index = result.Find(prefix, from);
    if (index < 0) {
        ADD_FAILURE() << "no log line starts with \"" << prefix << "\" at or after line " << from
                      << "\n"
                      << result.Text();
    }
    return index;
}

int Frames(const testdouble::ScenarioResult& result)
{
    return result.Count("WaitForVerticalBlank ");
}

}  // namespace programtest
