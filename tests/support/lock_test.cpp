#include <gtest/gtest.h>

#include <mutex>
#include <thread>
#include <vector>

#include "support/lock_sys.h"

namespace {

// Static storage needs no creation: the lock works before anything has run.
constinit sys_lock shared_lock;
int32_t shared_counter = 0;

TEST(SysLock, ExcludesOtherThreadsFromStaticAndEmbeddedStorageAlike) {
  struct record {
    sys_lock lock;
    int32_t counter = 0;
  };
  auto* embedded = new record;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; t++) {
    threads.emplace_back([embedded] {
      for (int i = 0; i < 20000; i++) {
        {
          std::lock_guard<sys_lock> held(shared_lock);
          shared_counter = shared_counter + 1;
        }
        embedded->lock.lock();
        embedded->counter = embedded->counter + 1;
        embedded->lock.unlock();
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(shared_counter, 80000);
  EXPECT_EQ(embedded->counter, 80000);
  delete embedded;
}

}  // namespace
