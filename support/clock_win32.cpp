#include <windows.h>

#include "support/clock_sys.h"

uint64_t sys_monotonic_us() {
  LARGE_INTEGER count;
  LARGE_INTEGER freq;
  QueryPerformanceCounter(&count);
  QueryPerformanceFrequency(&freq);
  uint64_t c = static_cast<uint64_t>(count.QuadPart);
  uint64_t f = static_cast<uint64_t>(freq.QuadPart);
  // Split so that c * 1000000 cannot overflow.
  return c / f * 1000000u + c % f * 1000000u / f;
}

uint64_t sys_monotonic_ms() { return sys_monotonic_us() / 1000u; }

int32_t sys_local_time(int64_t t, std::tm* out) {
  __time64_t v = static_cast<__time64_t>(t);
  return _localtime64_s(out, &v) == 0 ? 0 : -1;
}
