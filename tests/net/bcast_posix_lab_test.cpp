#include <gtest/gtest.h>

#include <chrono>

#include "net/bcast.h"
#include "net/ip.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/thread_limit.h"

namespace {

using namespace std::chrono_literals;

constexpr int32_t channel_port = 10000;

int reply_calls = 0;
void count_reply(void*, const char*, const char*, int32_t) { reply_calls++; }
void count_done(void*) { reply_calls++; }

// Before, the open reported success without a receiver and the close then
// waited for ever for it to end.
TEST(ChannelThreadLimit, OpenWithoutAReceiverFailsAndLeavesNothingOpen) {
  REQUIRE_LAB();
  RUN_UNDER_THREAD_LIMIT(20000);
  int before = open_descriptor_count();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(udp_bcast_open(channel_port), -1);
  bcast_request r{channel_port, nullptr, count_reply, count_done, 0, 0};
  EXPECT_EQ(udp_bcast_send(&r, "?", 1), -1);
  udp_bcast_close();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);
  EXPECT_EQ(open_descriptor_count(), before) << "the socket is closed";
  int32_t port = channel_port;
  int32_t again = udp_open(&port, 1);
  EXPECT_GT(again, 0) << "the port is free again";
  udp_close(again);
  EXPECT_EQ(reply_calls, 0);
}

}  // namespace
