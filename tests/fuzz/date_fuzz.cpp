// secs_to_date_time over the whole 32-bit range: every field in its range,
// the day inside its month, and the record counts back to the same seconds.

#include "support/clock.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool leap(int32_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

int32_t month_length(int32_t y, int32_t m) {
  static const int32_t lengths[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return m == 2 && leap(y) ? 29 : lengths[m - 1];
}

uint64_t seconds_of(const date_time& t) {
  uint64_t days = 0;
  for (int32_t y = 1900; y < t.year; y++) days += leap(y) ? 366 : 365;
  for (int32_t m = 1; m < t.month; m++) days += static_cast<uint64_t>(month_length(t.year, m));
  days += static_cast<uint64_t>(t.day - 1);
  return days * 86400 + static_cast<uint64_t>(t.hour) * 3600 +
         static_cast<uint64_t>(t.minute) * 60 + static_cast<uint64_t>(t.second);
}

void check(uint32_t secs) {
  date_time t;
  secs_to_date_time(secs, &t);
  FUZZ_CHECK(t.year >= 1900 && t.year <= 2036);
  FUZZ_CHECK(t.month >= 1 && t.month <= 12);
  FUZZ_CHECK(t.day >= 1 && t.day <= month_length(t.year, t.month));
  FUZZ_CHECK(t.hour >= 0 && t.hour <= 23);
  FUZZ_CHECK(t.minute >= 0 && t.minute <= 59);
  FUZZ_CHECK(t.second >= 0 && t.second <= 59);
  FUZZ_CHECK(seconds_of(t) == secs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_reader in{data, size};
  uint32_t secs = in.u32();
  check(secs);
  // Near the edges of days, months and years as well.
  check(secs - secs % 86400);
  if (secs % 86400 == 0 && secs > 0) check(secs - 1);
  return 0;
}
