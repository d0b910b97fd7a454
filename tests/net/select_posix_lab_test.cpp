#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>

#include "net/ip.h"
#include "tests/net/udp_helpers.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"

namespace {

TEST(SetBasedWait, DescriptorAboveTheOldSelectLimitWorks) {
  REQUIRE_LAB();
  ASSERT_GE(raise_descriptor_limit(2048), 1600)
      << "the system allows too few descriptors for this test";
  int32_t low = open_bound(10604);
  int32_t high = dup2(low, 1500);
  ASSERT_EQ(high, 1500);
  close(low);
  send_to_port(10604);
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, high);
  ws_timeval limit{1, 0};
  EXPECT_EQ(ws_select(high + 1, &rd, nullptr, &limit), 1);
  EXPECT_EQ(ws_set_has(&rd, high), 1);
  char buf[4];
  sockaddr_in from;
  EXPECT_EQ(udp_recv(high, buf, sizeof buf, &from), 1);
  udp_close(high);
}

// Descriptor 0 is never handed out as a socket (it is moved up), so even when
// it is one, the value 0 stands for no socket, as on Windows.
TEST(SetBasedWait, ZeroIsNoSocketEvenWhenDescriptorZeroIsOne) {
  REQUIRE_LAB();
  int32_t sock = open_bound(10607);
  send_to_port(10607);
  int saved = dup(0);
  ASSERT_GE(saved, 0);
  ASSERT_EQ(dup2(sock, 0), 0);
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, 0);
  ws_timeval limit{1, 0};
  int32_t result = ws_select(0, &rd, nullptr, &limit);
  int32_t error = ws_last_error();
  dup2(saved, 0);
  close(saved);
  udp_close(sock);
  EXPECT_EQ(result, -1);
  EXPECT_TRUE(ws_not_socket(error));
}

// Measured finer than the milliseconds the wait counts in: a limit with a
// part of a millisecond, or begun within one, must not end early.
TEST(SetBasedWait, ATimeLimitNeverEndsTheWaitEarly) {
  REQUIRE_LAB();
  int32_t sock = open_bound(10608);
  for (int32_t usec : {1, 999, 1000, 2500, 7300}) {
    ws_set rd;
    ws_set_zero(&rd);
    ws_set_add(&rd, sock);
    ws_timeval limit{0, usec};
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), 0) << usec;
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::microseconds(usec)) << usec;
  }
  udp_close(sock);
}

// Windows has no such thing as a pipe or a file in a socket set; poll() would
// report both as ready.
TEST(SetBasedWait, OpenDescriptorsThatAreNoSocketsFailTheWait) {
  REQUIRE_LAB();
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  int file = open("/proc/self/status", O_RDONLY);
  ASSERT_GT(file, 0);
  int32_t sock = open_bound(10606);
  for (int32_t not_socket : {fds[0], fds[1], file}) {
    ws_set rd;
    ws_set_zero(&rd);
    ws_set_add(&rd, sock);
    ws_set_add(&rd, not_socket);
    ws_timeval limit{1, 0};
    EXPECT_EQ(ws_select(0, &rd, nullptr, &limit), -1) << not_socket;
    EXPECT_TRUE(ws_not_socket(ws_last_error())) << not_socket;
  }
  udp_close(sock);
  for (int fd : {fds[0], fds[1], file}) close(fd);
}

}  // namespace
