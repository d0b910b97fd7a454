#include <gtest/gtest.h>

#include <atomic>

#include "support/clock_sys.h"
#include "support/thread.h"

namespace {

long ms_since(uint64_t t0) { return static_cast<long>(sys_monotonic_ms() - t0); }

TEST(Semaphore, CountsUpToItsMaximumAndRefusesBeyond) {
  sema* s = sema_create();
  ASSERT_NE(s, nullptr);
  for (int i = 0; i < sema_max_count; i++) ASSERT_EQ(sema_post(s), 0) << "post " << i;
  EXPECT_EQ(sema_post(s), -1);
  for (int i = 0; i < sema_max_count; i++) ASSERT_EQ(sema_wait(s, 1), 0) << "wait " << i;
  EXPECT_EQ(sema_wait(s, 1), 1);
  sema_close(s);
}

TEST(Semaphore, TimedWaitReturnsOneAfterTheLimit) {
  sema* s = sema_create();
  auto t0 = sys_monotonic_ms();
  EXPECT_EQ(sema_wait(s, 120), 1);
  long waited = ms_since(t0);
  EXPECT_GE(waited, 115);
  EXPECT_LT(waited, 1000);
  sema_close(s);
}

std::atomic<sema*> g_sema{nullptr};
std::atomic<int> g_ran{0};

void post_later() {
  sleep_ms(50);
  g_ran.store(1);
  sema_post(g_sema.load());
}

TEST(Semaphore, UnlimitedWaitEndsOnAPostFromAnotherThread) {
  g_sema = sema_create();
  ASSERT_EQ(thread_start(post_later), 0);
  EXPECT_EQ(sema_wait(g_sema, 0), 0);
  EXPECT_EQ(g_ran.load(), 1);
  sema_close(g_sema);
}

TEST(Sleep, SleepsAtLeastTheTimeAsked) {
  auto t0 = sys_monotonic_ms();
  sleep_ms(30);
  EXPECT_GE(ms_since(t0), 29);
  t0 = sys_monotonic_ms();
  sleep_tick();
  EXPECT_GE(ms_since(t0), 9);
}

}  // namespace
