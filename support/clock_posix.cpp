#include <time.h>

#include "support/clock_sys.h"

uint64_t sys_monotonic_us() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<uint64_t>(t.tv_sec) * 1000000u + static_cast<uint64_t>(t.tv_nsec) / 1000u;
}

uint64_t sys_monotonic_ms() { return sys_monotonic_us() / 1000u; }

int32_t sys_local_time(int64_t t, std::tm* out) {
  time_t v = static_cast<time_t>(t);
  return localtime_r(&v, out) ? 0 : -1;
}
