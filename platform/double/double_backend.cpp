// The test double: a Backend that plays a script and records every call.
//
// Nothing here allocates per call unless logging is on: counters live in the
// script's rules and events, ready input waits in a fixed ring, and shown
// frames are copied into buffers sized once per device.
#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "platform/core/backend.h"
#include "platform/core/core.h"
#include "platform/double/test_double.h"

namespace testdouble {

namespace {

constexpr int MaxDevices = 16;
constexpr int ReadyCapacity = 256;

const char* ObjectName(platform::ApiObject object) {
    switch (object) {
    case platform::ApiObject::DirectDraw:
        return "directDraw";
    case platform::ApiObject::PrimarySurface:
        return "primarySurface";
    case platform::ApiObject::Surface:
        return "backSurface";
    case platform::ApiObject::Palette:
        return "palette";
    case platform::ApiObject::None:
        break;
    }
    return "";
}

bool Matches(const Call& pattern, const platform::ApiCall& call) {
    return pattern.name() == call.name &&
           (pattern.device() == AnyDevice || pattern.device() == call.device) &&
           (pattern.object().empty() || pattern.object() == ObjectName(call.object));
}

// Log lines travel to the parent one per line; a newline inside one is
// written as "\n".
void WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
}

struct RuleState {
    Script::Rule rule;
    int seen = 0;
};

struct EventState {
    Script::Event event;
    int seen = 0;
    bool fired = false;
};

class DoubleBackend final : public platform::Backend {
public:
    void Install(const Script& script) {
        const Script::Data& data = script.data();
        data_ = data;
        rules_.clear();
        for (const Script::Rule& rule : data.rules) {
            rules_.push_back(RuleState{rule});
        }
        events_.clear();
        for (const Script::Event& event : data.events) {
            events_.push_back(EventState{event});
        }
        readyHead_ = 0;
        readyCount_ = 0;
        clock_ = data.clockStart;
        verticalBlanks_ = 0;
        messageBoxes_ = 0;
        cursorVisible_ = true;
        lost_.fill(false);
        for (int i = 0; i < MaxDevices; ++i) {
            shown_[i] = ShownFrame{};
            shownPixels_[i].clear();
        }
        log_.clear();
        logging_ = data.logging;
        for (EventState& state : events_) {
            if (state.event.when.atStart()) {
                Fire(state);
            }
        }
    }

    void SetOutput(int fd) { output_ = fd; }
    void SetLogging(bool on) { logging_ = on; }
    const std::vector<std::string>& log() const { return log_; }
    const ShownFrame& Shown(int device) const {
        static const ShownFrame none;
        return device >= 0 && device < MaxDevices ? shown_[device] : none;
    }

    void Note(std::string_view line) { Record(std::string(line)); }

    // Ends the scenario: in a child, reports the end and exits; in the
    // calling process, throws.
    [[noreturn]] void End(Ending ending, int exitCode) {
        if (output_ < 0) {
            throw ScenarioEnded{ending};
        }
        char line[96];
        const int n = std::snprintf(line, sizeof line, "#end %d %d\n", static_cast<int>(ending),
                                    platform::LiveDirectDrawObjects());
        WriteAll(output_, line, static_cast<std::size_t>(n));
        ::close(output_);
        ::_exit(exitCode);
    }

    // ---- Backend ----

    int MonitorCount() override { return static_cast<int>(data_.monitors.size()); }

    platform::MonitorInfo Monitor(int index) override {
        platform::MonitorInfo info;
        if (index < 0 || index >= MonitorCount()) {
            return info;
        }
        const testdouble::Monitor& monitor = data_.monitors[index];
        info.guid = monitor.guid;
        info.width = monitor.width;
        info.height = monitor.height;
        info.refresh = monitor.refresh;
        std::snprintf(info.description, sizeof info.description, "Test monitor %d", index);
        std::snprintf(info.name, sizeof info.name, "\\\\.\\DISPLAY%d", index + 1);
        return info;
    }

    bool ReportsGuidlessEntry() override { return data_.guidlessEntry; }

    void PrimaryScreenSize(int& width, int& height) override {
        if (data_.primaryWidth > 0) {
            width = data_.primaryWidth;
            height = data_.primaryHeight;
        } else if (!data_.monitors.empty()) {
            width = data_.monitors[0].width;
            height = data_.monitors[0].height;
        } else {
            width = 640;
            height = 480;
        }
    }

    HRESULT OpenDevice(int device, int) override {
        return device < MaxDevices ? DD_OK : DDERR_OUTOFMEMORY;
    }
    HRESULT SetCooperativeLevel(int, HWND, DWORD) override { return DD_OK; }
    HRESULT SetDisplayMode(int, int, int, int, int) override { return DD_OK; }

    void Show(int device, const platform::ShownSurface& surface) override {
        if (device < 0 || device >= MaxDevices) {
            return;
        }
        ShownFrame& shown = shown_[device];
        std::vector<std::uint8_t>& pixels = shownPixels_[device];
        const std::size_t size =
            static_cast<std::size_t>(surface.height) * static_cast<std::size_t>(surface.pitch);
        if (pixels.size() != size) {
            pixels.resize(size);
        }
        std::copy(surface.pixels, surface.pixels + size, pixels.begin());
        shown.pixels = pixels.data();
        shown.width = surface.width;
        shown.height = surface.height;
        shown.pitch = surface.pitch;
        shown.hasPalette = surface.palette != nullptr;
        if (surface.palette != nullptr) {
            std::copy(surface.palette, surface.palette + 256, shown.palette);
        }
        ++shown.presents;
    }

    void WaitForVerticalBlank(int) override {
        ++verticalBlanks_;
        clock_ += data_.clockStep;
        if (verticalBlanks_ > data_.maxVerticalBlanks) {
            End(Ending::FrameLimit, FrameLimitExitCode);
        }
    }

    bool SurfacesLost(int device) override {
        return device >= 0 && device < MaxDevices && lost_[device];
    }
    void CloseDevice(int) override {}

    bool PollInput(platform::InputEvent& event) override {
        if (readyCount_ == 0) {
            return false;
        }
        event = ready_[readyHead_];
        readyHead_ = (readyHead_ + 1) % ReadyCapacity;
        --readyCount_;
        return true;
    }

    // Input comes only from the script, and the script only moves when the
    // program calls in: with nothing ready, nothing ever will be.
    void WaitForInput() override {
        if (readyCount_ == 0) {
            End(Ending::Blocked, BlockedExitCode);
        }
    }

    bool GrantActivation(HWND) override { return data_.showActivates; }
    void SetCursorVisible(bool visible) override { cursorVisible_ = visible; }

    int ShowMessageBox(HWND, const char*, const char*, UINT) override {
        const std::size_t answer = static_cast<std::size_t>(messageBoxes_++);
        return answer < data_.messageBoxAnswers.size() ? data_.messageBoxAnswers[answer] : IDOK;
    }

    DWORD Milliseconds() override { return clock_; }

    std::optional<long long> Intercept(const platform::ApiCall& call) override {
        if (logging_ && !Unlogged(call.name)) {
            char line[512];
            call.Format(line, sizeof line);
            Record(line);
        }
        if (std::strcmp(call.name, "Restore") == 0 && call.device >= 0 &&
            call.device < MaxDevices) {
            lost_[call.device] = false;
        }
        for (EventState& state : events_) {
            if (!state.fired && !state.event.when.atStart() &&
                Matches(state.event.when.call(), call) &&
                ++state.seen == state.event.when.call().nth()) {
                Fire(state);
            }
        }
        std::optional<long long> result;
        for (RuleState& state : rules_) {
            if (!Matches(state.rule.call, call)) {
                continue;
            }
            const int index = ++state.seen - state.rule.call.nth();
            if (result || index < 0) {
                continue;
            }
            const Script::Rule& rule = state.rule;
            if (rule.sequence) {
                if (static_cast<std::size_t>(index) < rule.results.size() &&
                    rule.results[index] != Pass) {
                    result = rule.results[index];
                }
            } else if (rule.times == 0 || index < rule.times) {
                result = rule.result;
            }
        }
        return result;
    }

private:
    bool Unlogged(const char* name) const {
        for (const std::string& unlogged : data_.unlogged) {
            if (unlogged == name) {
                return true;
            }
        }
        return false;
    }

    void Record(std::string line) {
        if (output_ >= 0) {
            std::string wire;
            for (char c : line) {
                if (c == '\n') {
                    wire += "\\n";
                } else {
                    wire += c;
                }
            }
            wire += '\n';
            WriteAll(output_, wire.data(), wire.size());
        }
        log_.push_back(std::move(line));
    }

    void Ready(const platform::InputEvent& event) {
        if (readyCount_ == ReadyCapacity) {
            return;
        }
        ready_[(readyHead_ + readyCount_) % ReadyCapacity] = event;
        ++readyCount_;
    }

    void Fire(EventState& state) {
        state.fired = true;
        const Script::Event& scripted = state.event;
        platform::InputEvent event;
        switch (scripted.kind) {
        case Script::EventKind::KeyDown:
            event.kind = platform::InputKind::KeyDown;
            event.key = scripted.a;
            break;
        case Script::EventKind::SysKeyDown:
            event.kind = platform::InputKind::SysKeyDown;
            event.key = scripted.a;
            break;
        case Script::EventKind::KeyUp:
            event.kind = platform::InputKind::KeyUp;
            event.key = scripted.a;
            break;
        case Script::EventKind::MouseMove:
            event.kind = platform::InputKind::MouseMove;
            event.x = scripted.a;
            event.y = scripted.b;
            break;
        case Script::EventKind::LeftButtonDown:
            event.kind = platform::InputKind::ButtonDown;
            event.button = 0;
            event.x = scripted.a;
            event.y = scripted.b;
            break;
        case Script::EventKind::Activate:
            event.kind = platform::InputKind::Activate;
            event.state = static_cast<WORD>(scripted.a);
            event.minimized = scripted.b != 0;
            break;
        case Script::EventKind::Deactivate:
            event.kind = platform::InputKind::Deactivate;
            event.minimized = scripted.b != 0;
            break;
        case Script::EventKind::Close:
            event.kind = platform::InputKind::Close;
            break;
        case Script::EventKind::SetClock:
            clock_ = static_cast<DWORD>(scripted.a);
            return;
        case Script::EventKind::LoseSurfaces:
            if (scripted.a >= 0 && scripted.a < MaxDevices) {
                lost_[scripted.a] = true;
            }
            return;
        }
        Ready(event);
    }

    Script::Data data_;
    std::vector<RuleState> rules_;
    std::vector<EventState> events_;
    platform::InputEvent ready_[ReadyCapacity];
    int readyHead_ = 0;
    int readyCount_ = 0;
    DWORD clock_ = 0;
    int verticalBlanks_ = 0;
    int messageBoxes_ = 0;
    bool cursorVisible_ = true;
    std::array<bool, MaxDevices> lost_{};
    ShownFrame shown_[MaxDevices];
    std::vector<std::uint8_t> shownPixels_[MaxDevices];
    std::vector<std::string> log_;
    bool logging_ = true;
    int output_ = -1;
};

DoubleBackend& Double() {
    static DoubleBackend backend;
    return backend;
}

// Reads the child's lines until it closes the pipe.
void Collect(int fd, ScenarioResult& result, bool& ended) {
    std::string pending;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            break;
        }
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t start = 0;
        for (std::size_t end; (end = pending.find('\n', start)) != std::string::npos;
             start = end + 1) {
            const std::string line = pending.substr(start, end - start);
            int ending = 0;
            int live = 0;
            if (std::sscanf(line.c_str(), "#end %d %d", &ending, &live) == 2) {
                result.ending = static_cast<Ending>(ending);
                result.liveObjects = live;
                ended = true;
            } else {
                result.log.push_back(line);
            }
        }
        pending.erase(0, start);
    }
}

}  // namespace

void Install(const Script& script) {
    platform::ResetPlatformState();
    Double().Install(script);
}

const std::vector<std::string>& CurrentLog() {
    return Double().log();
}

void Note(std::string_view line) {
    Double().Note(line);
}

void SetLogging(bool on) {
    Double().SetLogging(on);
}

const ShownFrame& Shown(int device) {
    return Double().Shown(device);
}

ScenarioResult RunScenario(const Script& script, std::function<int()> body) {
    ScenarioResult result;
    int fds[2];
    if (::pipe(fds) != 0) {
        result.log.push_back("#pipe failed");
        return result;
    }
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        result.log.push_back("#fork failed");
        return result;
    }
    if (child == 0) {
        ::close(fds[0]);
        Install(script);
        Double().SetOutput(fds[1]);
        const int code = body();
        Double().End(Ending::Returned, code);
    }
    ::close(fds[1]);
    bool ended = false;
    Collect(fds[0], result, ended);
    ::close(fds[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status)) {
        result.exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    if (!ended) {
        result.ending = Ending::Crashed;
    }
    return result;
}

}  // namespace testdouble

namespace platform {

Backend& ActiveBackend() {
    return testdouble::Double();
}

}  // namespace platform
