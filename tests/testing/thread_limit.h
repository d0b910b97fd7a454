#pragma once
// For tests that must see a thread refused: the test runs itself again under
// tests/testing/thread_limit.sh, as an unprivileged user that may start no
// thread, and passes when that run passes. POSIX only; like the lab, it needs root.

#include <gtest/gtest.h>

// True inside such a run.
bool thread_limited();

// Runs the current test again under the limit and waits for it at most
// limit_ms. The run's exit status (0 when all its checks passed), or -1 when
// it could not be started or did not end in time; a run still going then is killed.
int rerun_thread_limited(int limit_ms);

// Outside the limit: runs the test again under it, expects it to pass within
// limit_ms, and ends the test here. Inside: the rest of the test runs.
#define RUN_UNDER_THREAD_LIMIT(limit_ms)                                            \
  do {                                                                              \
    if (!thread_limited()) {                                                        \
      EXPECT_EQ(rerun_thread_limited(limit_ms), 0)                                  \
          << "the run under the thread limit failed or hung (its output is above)"; \
      return;                                                                       \
    }                                                                               \
  } while (0)
