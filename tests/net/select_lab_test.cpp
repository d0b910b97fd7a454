#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "net/ip.h"
#include "tests/net/udp_helpers.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/sockets_started.h"

namespace {

TEST(SetBasedWait, LeavesOnlyTheReadySockets) {
  REQUIRE_LAB();
  int32_t a = open_bound(10601), b = open_bound(10602);
  send_to_port(10602);
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, a);
  ws_set_add(&rd, b);
  ws_timeval limit{1, 0};
  EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), 1);
  EXPECT_EQ(ws_set_has(&rd, a), 0);
  EXPECT_EQ(ws_set_has(&rd, b), 1);
  udp_close(a);
  udp_close(b);
}

TEST(SetBasedWait, TimeLimitPassesWithNothingReady) {
  REQUIRE_LAB();
  int32_t a = open_bound(10603);
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, a);
  ws_timeval limit{0, 150000};
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), 0);
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(145));
  EXPECT_LT(waited, std::chrono::milliseconds(2000));
  EXPECT_EQ(rd.count, 0u);
  udp_close(a);
}

TEST(SetBasedWait, HoldsAtMostSixtyFourSockets) {
  ws_set set;
  ws_set_zero(&set);
  for (int32_t i = 1; i <= 70; i++) ws_set_add(&set, i);
  EXPECT_EQ(set.count, 64u);
  EXPECT_EQ(ws_set_has(&set, 64), 1);
  EXPECT_EQ(ws_set_has(&set, 65), 0);
}

TEST(SetBasedWait, AClosedSocketIsAnError) {
  int32_t s = ws_socket(WS_SOCK_DGRAM);
  ws_closesocket(s);
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, s);
  ws_timeval limit{0, 0};
  EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), -1);
  EXPECT_TRUE(ws_not_socket(ws_last_error()));
}

// poll() would skip a negative value and watch standard input for 0, so a
// wait beside a ready socket found it and a wait on them alone never ended.
TEST(SetBasedWait, ValuesThatCannotBeSocketsFailTheWholeWaitAtOnce) {
  REQUIRE_LAB();
  int32_t ready = open_bound(10605);
  send_to_port(10605);
  for (int32_t bad : {0, -1, INT32_MIN}) {
    ws_set rd, wr;
    ws_set_zero(&rd);
    ws_set_zero(&wr);
    ws_set_add(&rd, ready);
    ws_set_add(&rd, bad);
    ws_set_add(&wr, bad);
    ws_timeval limit{2, 0};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), -1) << bad;
    EXPECT_TRUE(ws_not_socket(ws_last_error())) << bad;
    EXPECT_EQ(ws_select(0, nullptr, &wr, &limit), -1) << bad;
    EXPECT_TRUE(ws_not_socket(ws_last_error())) << bad;
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500)) << bad;
  }
  udp_close(ready);
}

TEST(SetBasedWait, AWaitWithoutAnySocketIsAnError) {
  // Windows refuses it at once (WSAEINVAL) rather than sleeping out the limit.
  ws_set rd, wr;
  ws_set_zero(&rd);
  ws_set_zero(&wr);
  ws_timeval limit{0, 0};
  EXPECT_EQ(ws_select(0, &rd, &wr, &limit), -1);
  EXPECT_EQ(ws_select(0, nullptr, nullptr, &limit), -1);
}

}  // namespace
