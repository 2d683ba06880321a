#include "platform/sdl/refresh_clock.h"

#include <cerrno>
#include <ctime>

namespace platform::sdl {

namespace {

constexpr std::int64_t NanosecondsPerSecond = 1'000'000'000;
constexpr int DefaultRate = 60;

}  // namespace

std::int64_t MonotonicNow() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * NanosecondsPerSecond + now.tv_nsec;
}

std::int64_t NextRefresh(std::int64_t now, std::int64_t origin, std::int64_t period) {
    if (now < origin) {
        return origin;
    }
    return origin + ((now - origin) / period + 1) * period;
}

void SleepUntil(std::int64_t time) {
    const timespec until{static_cast<time_t>(time / NanosecondsPerSecond),
                         static_cast<long>(time % NanosecondsPerSecond)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}

std::int64_t RefreshPeriod(int rate) {
    return NanosecondsPerSecond / (rate > 0 ? rate : DefaultRate);
}

}  // namespace platform::sdl
