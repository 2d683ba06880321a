// The pace of the displays: a monitor refreshes every 1/rate seconds, and a
// wait for its vertical blank sleeps until the next refresh.
#pragma once

#include <cstdint>

namespace platform::sdl {

// Monotonic time in nanoseconds.
std::int64_t MonotonicNow();

// The first refresh strictly after now, for refreshes every period
// nanoseconds counted from origin.
std::int64_t NextRefresh(std::int64_t now, std::int64_t origin, std::int64_t period);

// Sleeps, without spinning, until the monotonic clock reaches the time.
void SleepUntil(std::int64_t time);

// The refresh period of a monitor; 60 Hz when it reports no rate.
std::int64_t RefreshPeriod(int rate);

}  // namespace platform::sdl
