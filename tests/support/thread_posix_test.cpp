#include <gtest/gtest.h>

#include <atomic>
#include <chrono>

#include "support/thread.h"
#include "tests/testing/thread_limit.h"

namespace {

std::atomic<int> ran{0};

void mark_ran() { ran.store(1); }

TEST(ThreadLimit, ARefusedThreadIsReportedAndItsFunctionNeverRuns) {
  RUN_UNDER_THREAD_LIMIT(20000);
  EXPECT_EQ(thread_start(mark_ran), -1);
  sleep_ms(50);
  EXPECT_EQ(ran.load(), 0);
}

// Measured finer than the milliseconds the wait is computed in, so a deadline
// taken from a cut reading shows.
TEST(Semaphore, TimedWaitsNeverEndBeforeTheirLimit) {
  sema* s = sema_create();
  ASSERT_NE(s, nullptr);
  for (uint32_t ms = 1; ms <= 12; ms++) {
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(sema_wait(s, ms), 1);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(ms))
        << "a wait of " << ms << " ms";
  }
  sema_close(s);
}

}  // namespace
