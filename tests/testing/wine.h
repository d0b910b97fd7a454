#pragma once
// Some Windows behaviour cannot be had under Wine, whatever our code does. A
// test that meets such a difference still runs there: it asks
// known_wine_difference() and checks what Wine does instead, so that a change
// on either side is seen.

#include <gtest/gtest.h>

#include <cstdio>

// True when this Windows program runs under Wine; false on Windows and Linux.
bool under_wine();

// under_wine(), and when true the difference is named in the test's output.
inline bool known_wine_difference(const char* what) {
  if (!under_wine()) return false;
  std::printf("known Wine difference: %s\n", what);
  ::testing::Test::RecordProperty("known_wine_difference", what);
  return true;
}
