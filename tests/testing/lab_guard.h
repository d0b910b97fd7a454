#pragma once
// Tests that send probes, replies or broadcasts run only inside the lab
// namespace (tests/lab/lab.sh). Outside it they fail: a skip would hide
// that the suite was run the wrong way.

#include <gtest/gtest.h>

#include <string>

// True inside the lab; otherwise false with the reason in *why.
bool lab_active(std::string* why);

#define REQUIRE_LAB()                               \
  do {                                              \
    std::string lab_why_;                           \
    if (!lab_active(&lab_why_)) FAIL() << lab_why_; \
  } while (0)
