#pragma once
// Millisecond tick and calendar conversion.

#include <cstdint>

// Milliseconds of real time since the process started, kept to 32 bits; never 0.
uint32_t clock_ms();
// The tick for a raw reading of milliseconds since start: its low 32 bits, 1 for 0.
uint32_t clock_tick(uint64_t ms_since_start);
// Milliseconds from start to now, modulo 2^32 (right across the wrap); now 0 reads the clock.
uint32_t elapsed_ms(uint32_t start, uint32_t now);

struct date_time {
  int16_t year;   // 1900 to 2036
  int16_t month;  // 1 to 12
  int16_t day;
  int16_t hour;
  int16_t minute;
  int16_t second;
};

// secs: seconds since 1900-01-01 00:00:00; every field of out is written.
void secs_to_date_time(uint32_t secs, date_time* out);
