// Building scripts and reading scenario results.
#include <cstdio>

#include "platform/double/test_double.h"

namespace testdouble {

GUID MonitorGuid(int i) {
    return GUID{0x67C10000u + static_cast<std::uint32_t>(i), 0x0000, 0x4000,
                {0x80, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00}};
}

std::string GuidText(const GUID& g) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  g.Data1, g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3],
                  g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return text;
}

Script& Script::Monitors(std::vector<Monitor> monitors) {
    data_.monitors = std::move(monitors);
    return *this;
}

Script& Script::Monitors(std::initializer_list<GUID> guids) {
    data_.monitors.clear();
    for (const GUID& guid : guids) {
        data_.monitors.push_back(Monitor{guid});
    }
    return *this;
}

Script& Script::WithoutGuidlessEntry() {
    data_.guidlessEntry = false;
    return *this;
}

Script& Script::PrimaryScreen(int width, int height) {
    data_.primaryWidth = width;
    data_.primaryHeight = height;
    return *this;
}

Script& Script::Fail(const Call& call, long long result, int times) {
    data_.rules.push_back(Rule{call, {}, result, times, false});
    return *this;
}

Script& Script::Results(const Call& call, std::vector<long long> results) {
    data_.rules.push_back(Rule{call, std::move(results), 0, 0, true});
    return *this;
}

Script& Script::LoseSurfaces(int device, When when) {
    data_.events.push_back(Event{EventKind::LoseSurfaces, std::move(when), device});
    return *this;
}

Script& Script::KeyDown(int virtualKey, When when) {
    data_.events.push_back(Event{EventKind::KeyDown, std::move(when), virtualKey});
    return *this;
}

Script& Script::SysKeyDown(int virtualKey, When when) {
    data_.events.push_back(Event{EventKind::SysKeyDown, std::move(when), virtualKey});
    return *this;
}

Script& Script::KeyUp(int virtualKey, When when) {
    data_.events.push_back(Event{EventKind::KeyUp, std::move(when), virtualKey});
    return *this;
}

Script& Script::MouseMove(int x, int y, When when) {
    data_.events.push_back(Event{EventKind::MouseMove, std::move(when), x, y});
    return *this;
}

Script& Script::LeftButtonDown(int x, int y, When when) {
    data_.events.push_back(Event{EventKind::LeftButtonDown, std::move(when), x, y});
    return *this;
}

Script& Script::Activate(When when, WORD state, bool minimized) {
    data_.events.push_back(Event{EventKind::Activate, std::move(when), state, minimized ? 1 : 0});
    return *this;
}

Script& Script::Deactivate(When when, bool minimized) {
    data_.events.push_back(Event{EventKind::Deactivate, std::move(when), 0, minimized ? 1 : 0});
    return *this;
}

Script& Script::Close(When when) {
    data_.events.push_back(Event{EventKind::Close, std::move(when)});
    return *this;
}

Script& Script::ShowDoesNotActivate() {
    data_.showActivates = false;
    return *this;
}

Script& Script::Clock(DWORD start, DWORD stepPerVerticalBlank) {
    data_.clockStart = start;
    data_.clockStep = stepPerVerticalBlank;
    return *this;
}

Script& Script::SetClock(DWORD milliseconds, When when) {
    data_.events.push_back(
        Event{EventKind::SetClock, std::move(when), static_cast<int>(milliseconds)});
    return *this;
}

Script& Script::MessageBoxAnswers(std::vector<int> answers) {
    data_.messageBoxAnswers = std::move(answers);
    return *this;
}

Script& Script::MaxVerticalBlanks(int count) {
    data_.maxVerticalBlanks = count;
    return *this;
}

Script& Script::Unlogged(std::vector<std::string> names) {
    data_.unlogged.insert(data_.unlogged.end(), names.begin(), names.end());
    return *this;
}

Script& Script::Silent() {
    data_.logging = false;
    return *this;
}

bool ScenarioResult::Has(std::string_view line) const {
    for (const std::string& entry : log) {
        if (entry == line) {
            return true;
        }
    }
    return false;
}

std::vector<std::string> ScenarioResult::Lines(std::string_view prefix) const {
    std::vector<std::string> found;
    for (const std::string& entry : log) {
        if (entry.starts_with(prefix)) {
            found.push_back(entry);
        }
    }
    return found;
}

int ScenarioResult::Count(std::string_view prefix) const {
    return static_cast<int>(Lines(prefix).size());
}

int ScenarioResult::Find(std::string_view prefix, int from) const {
    for (int i = from < 0 ? 0 : from; i < static_cast<int>(log.size()); ++i) {
        if (log[i].starts_with(prefix)) {
            return i;
        }
    }
    return -1;
}

std::string ScenarioResult::Text() const {
    std::string text;
    for (const std::string& entry : log) {
        text += entry;
        text += '\n';
    }
    return text;
}

}  // namespace testdouble
