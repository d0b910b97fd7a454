#include "support/clock.h"

#include "support/clock_sys.h"

namespace {

uint64_t origin_ms() {
  static const uint64_t origin = sys_monotonic_ms();
  return origin;
}

// Taken at static initialisation, so the tick counts from the process's start
// even when the first clock_ms comes much later.
const uint64_t origin_at_start = origin_ms();

constexpr int32_t month_days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};

}  // namespace

uint32_t clock_tick(uint64_t ms_since_start) {
  uint32_t tick = static_cast<uint32_t>(ms_since_start);
  // 0 stands for "read the clock" in elapsed_ms, so it is never a tick.
  return tick == 0 ? 1 : tick;
}

uint32_t clock_ms() {
  uint64_t origin = origin_ms();
  return clock_tick(sys_monotonic_ms() - origin);
}

uint32_t elapsed_ms(uint32_t start, uint32_t now) {
  if (now == 0) now = clock_ms();
  return now - start;
}

void secs_to_date_time(uint32_t secs, date_time* out) {
  uint32_t days = secs / 86400;
  uint32_t rest = secs % 86400;
  // Up to 2036 the only century year is 1900, which has no 29 February.
  int32_t year = 1900;
  for (;;) {
    uint32_t length = (year % 4 == 0 && year != 1900) ? 366 : 365;
    if (days < length) break;
    days -= length;
    year++;
  }
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int32_t month = 0;
  for (; month < 11; month++) {
    uint32_t length = month == 1 ? (leap ? 29 : 28) : static_cast<uint32_t>(month_days[month]);
    if (days < length) break;
    days -= length;
  }
  out->year = static_cast<int16_t>(year);
  out->month = static_cast<int16_t>(month + 1);
  out->day = static_cast<int16_t>(days + 1);
  out->hour = static_cast<int16_t>(rest / 3600);
  out->minute = static_cast<int16_t>(rest / 60 % 60);
  out->second = static_cast<int16_t>(rest % 60);
}
