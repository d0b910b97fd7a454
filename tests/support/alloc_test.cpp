#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "support/alloc.h"
#include "support/thread.h"
#include "tests/support/temp_dir.h"

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class Allocator : public temp_dir_test {
 protected:
  void TearDown() override {
    alloc_busy.store(0);
    temp_dir_test::TearDown();
  }
};

std::string busy_lines(const char* who, int32_t retries, bool error) {
  std::string s;
  for (int32_t i = 1; i <= retries; i++)
    s += std::string(who) + ": sema(1) retry(" + std::to_string(i) + "/10)\n";
  if (error) s += std::string(who) + ": sema(1) error\n";
  return s;
}

TEST_F(Allocator, CountsTheLockWhileRunningAndNothingAfterAStop) {
  mem_start();
  EXPECT_NE(alloc_lock.load(), nullptr);
  EXPECT_EQ(my_total.load(), lock_size);
  CaptureStdout();
  mem_stop();
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(alloc_lock.load(), nullptr);
  EXPECT_EQ(my_total.load(), 0);
  EXPECT_FALSE(exists("log.txt")) << "a clean run must not create a log file";
}

TEST_F(Allocator, RefusesEmptyNegativeAndOversizedRequestsWithoutCounting) {
  mem_start();
  EXPECT_EQ(my_malloc(0), nullptr);
  EXPECT_EQ(my_malloc(-1), nullptr);
  EXPECT_EQ(my_malloc(INT32_MIN), nullptr);
  EXPECT_EQ(my_malloc(INT32_MAX), nullptr);
  my_free(nullptr);
  EXPECT_EQ(my_total.load(), lock_size);
  mem_stop();
}

TEST_F(Allocator, StoresTheLengthBigEndianJustBeforeAnAlignedBlock) {
  mem_start();
  auto* p = static_cast<unsigned char*>(my_malloc(300));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
  EXPECT_EQ(p[-4], 0x00);
  EXPECT_EQ(p[-3], 0x00);
  EXPECT_EQ(p[-2], 0x01);
  EXPECT_EQ(p[-1], 0x2C);
  memset(p, 0xAB, 300);
  EXPECT_EQ(my_total.load(), lock_size + 300);

  auto* q = static_cast<unsigned char*>(my_malloc(0x01020304));
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q[-4], 0x01);
  EXPECT_EQ(q[-3], 0x02);
  EXPECT_EQ(q[-2], 0x03);
  EXPECT_EQ(q[-1], 0x04);
  my_free(q);

  my_free(p);
  EXPECT_EQ(my_total.load(), lock_size);
  mem_stop();
}

TEST_F(Allocator, ReportsAKeptBlockOnStdoutAndInTheLog) {
  mem_start();
  void* kept = my_malloc(10);
  CaptureStdout();
  mem_stop();
  EXPECT_EQ(GetCapturedStdout(), "my_total = 10\n");
  EXPECT_EQ(my_total.load(), 0);
  std::string log = read_text_file("log.txt");
  ASSERT_GE(log.size(), 8u);
  EXPECT_EQ(log.substr(8), "my_total = 10\n");
  my_free(kept);
}

TEST_F(Allocator, ReportsANegativeTotalForABlockTakenBeforeTheStart) {
  void* early = my_malloc(300);
  mem_start();
  my_free(early);
  EXPECT_EQ(my_total.load(), lock_size - 300);
  CaptureStdout();
  mem_stop();
  EXPECT_EQ(GetCapturedStdout(), "my_total = -300\n");
  EXPECT_EQ(my_total.load(), 0);
}

// Without the lock, alloc_busy stands for a call of another thread that is
// still inside the allocator.
TEST_F(Allocator, AnOverlapThatLastsPrintsTenRetriesAndAnErrorThenProceeds) {
  ASSERT_EQ(alloc_lock.load(), nullptr);
  alloc_busy.store(1);
  auto t0 = std::chrono::steady_clock::now();
  CaptureStdout();
  void* p = my_malloc(8);
  my_free(p);
  std::string out = GetCapturedStdout();
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(out, busy_lines("my_malloc", 10, true) + busy_lines("my_free", 10, true));
  EXPECT_NE(p, nullptr);
  EXPECT_EQ(alloc_busy.load(), 1) << "each call must undo its own increment";
  EXPECT_GE(waited, std::chrono::milliseconds(190));
  EXPECT_LT(waited, std::chrono::seconds(2));
}

TEST_F(Allocator, AnOverlapThatEndsDuringTheWaitStopsTheRetryLines) {
  alloc_busy.store(1);
  std::thread other([] {
    sleep_ms(45);
    alloc_busy.store(0);
  });
  CaptureStdout();
  void* p = my_malloc(8);
  std::string out = GetCapturedStdout();
  other.join();
  my_free(p);
  EXPECT_EQ(alloc_busy.load(), 0);
  int32_t lines = 0;
  for (char c : out) lines += c == '\n';
  EXPECT_GE(lines, 1);
  EXPECT_LE(lines, 9);
  EXPECT_EQ(out, busy_lines("my_malloc", lines, false));
}

TEST_F(Allocator, ThreadsSharingTheLockNeverSeeEachOther) {
  mem_start();
  CaptureStdout();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([t] {
      for (int i = 0; i < 5000; i++) {
        int32_t len = 1 + (i * 7 + t) % 200;
        auto* p = static_cast<unsigned char*>(my_malloc(len));
        p[0] = static_cast<unsigned char>(t);
        p[len - 1] = static_cast<unsigned char>(i);
        my_free(p);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(GetCapturedStdout(), "") << "a busy line means two calls overlapped under the lock";
  EXPECT_EQ(my_total.load(), lock_size);
  mem_stop();
  EXPECT_EQ(my_total.load(), 0);
}

TEST_F(Allocator, LocksExcludeEachOtherAndCountTheirStorage) {
  mem_start();
  lock* l = lock_create();
  EXPECT_EQ(my_total.load(), 2 * lock_size);
  int32_t counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; i++) {
        lock_enter(l);
        counter = counter + 1;
        lock_leave(l);
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 80000);
  lock_destroy(l);
  EXPECT_EQ(my_total.load(), lock_size);
  mem_stop();
}

}  // namespace
