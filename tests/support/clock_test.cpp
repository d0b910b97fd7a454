#include <gtest/gtest.h>

#include <cstring>

#include "support/clock.h"
#include "support/thread.h"

namespace {

TEST(Clock, AReadingOfZeroBecomesOneAndOnlyTheLow32BitsCount) {
  EXPECT_EQ(clock_tick(0), 1u);
  EXPECT_EQ(clock_tick(1), 1u);
  EXPECT_EQ(clock_tick(2), 2u);
  EXPECT_EQ(clock_tick(0xFFFFFFFFull), 0xFFFFFFFFu);
  EXPECT_EQ(clock_tick(0x100000000ull), 1u);
  EXPECT_EQ(clock_tick(0x100000005ull), 5u);
}

TEST(Clock, AdvancesWithRealTimeWhileTheProcessSleeps) {
  uint32_t start = clock_ms();
  EXPECT_NE(start, 0u);
  EXPECT_LT(start, 600000u) << "the tick counts from the process's start";
  sleep_ms(80);
  uint32_t waited = elapsed_ms(start, 0);
  // Processor time would hardly move during a sleep.
  EXPECT_GE(waited, 75u);
  EXPECT_LT(waited, 5000u);
  EXPECT_GE(clock_ms(), start);
}

TEST(Clock, ElapsedTimeHoldsAcrossTheWrap) {
  EXPECT_EQ(elapsed_ms(10, 25), 15u);
  EXPECT_EQ(elapsed_ms(25, 25), 0u);
  EXPECT_EQ(elapsed_ms(0xFFFFFFFFu - 5, 5), 11u);
  EXPECT_EQ(elapsed_ms(0xFFFFFFFFu, 1), 2u);
  EXPECT_EQ(elapsed_ms(1, 0xFFFFFFFFu), 0xFFFFFFFEu);
}

struct calendar_case {
  uint32_t secs;
  int16_t year, month, day, hour, minute, second;
};

constexpr uint32_t day = 86400;

TEST(Calendar, ConvertsSecondsSince1900AtTheLeapAndRangeBoundaries) {
  const calendar_case cases[] = {
      {0, 1900, 1, 1, 0, 0, 0},
      {day - 1, 1900, 1, 1, 23, 59, 59},
      {58 * day, 1900, 2, 28, 0, 0, 0},
      {59 * day - 1, 1900, 2, 28, 23, 59, 59},
      {59 * day, 1900, 3, 1, 0, 0, 0},
      {365 * day, 1901, 1, 1, 0, 0, 0},
      {(4 * 365 + 31 + 28) * day, 1904, 2, 29, 0, 0, 0},
      {(4 * 365 + 31 + 29) * day, 1904, 3, 1, 0, 0, 0},
      {(70 * 365 + 17) * day, 1970, 1, 1, 0, 0, 0},
      {(100 * 365 + 24) * day - 1, 1999, 12, 31, 23, 59, 59},
      {(100 * 365 + 24 + 31 + 28) * day, 2000, 2, 29, 0, 0, 0},
      {(100 * 365 + 24 + 31 + 29) * day + 3661, 2000, 3, 1, 1, 1, 1},
      {(100 * 365 + 24 + 365) * day, 2000, 12, 31, 0, 0, 0},
      {4294967295u, 2036, 2, 7, 6, 28, 15},
  };
  for (const auto& c : cases) {
    date_time d;
    memset(&d, 0x7F, sizeof d);
    secs_to_date_time(c.secs, &d);
    EXPECT_EQ(d.year, c.year) << c.secs;
    EXPECT_EQ(d.month, c.month) << c.secs;
    EXPECT_EQ(d.day, c.day) << c.secs;
    EXPECT_EQ(d.hour, c.hour) << c.secs;
    EXPECT_EQ(d.minute, c.minute) << c.secs;
    EXPECT_EQ(d.second, c.second) << c.secs;
  }
}

}  // namespace
