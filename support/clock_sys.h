#pragma once
// The platform's clock sources, one file per platform (clock_posix.cpp, clock_win32.cpp).

#include <cstdint>
#include <ctime>

// Milliseconds of real time from a fixed origin; never goes back, ignores clock
// changes. The library's one clock (POSIX: CLOCK_MONOTONIC, which the semaphores'
// timed waits use too).
uint64_t sys_monotonic_ms();
// The same clock in microseconds.
uint64_t sys_monotonic_us();

// Local calendar time of t (seconds since 1970, UTC) into out: 0, or -1 when
// the platform cannot render t.
int32_t sys_local_time(int64_t t, std::tm* out);
