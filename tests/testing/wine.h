#pragma once
// Some Windows behaviour cannot be had under Wine, whatever our code does. A
// test that meets such a limit skips itself there, saying which limit it is.

#include <gtest/gtest.h>

// True when this Windows program runs under Wine; false on Windows and Linux.
bool under_wine();

#define SKIP_UNDER_WINE(reason)                        \
  do {                                                 \
    if (under_wine()) GTEST_SKIP() << "Wine: " reason; \
  } while (0)
