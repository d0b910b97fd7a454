#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "net/ip.h"
#include "net/sock.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/sockets_started.h"

namespace {

constexpr int32_t test_port = 10500;

struct UdpPair : ::testing::Test {
  int32_t rx = -1, tx = -1;
  sockaddr_in to{};
  void SetUp() override {
    REQUIRE_LAB();
    int32_t port = test_port, any = 0;
    rx = udp_open(&port, 1);
    tx = udp_open(&any, 0);
    ASSERT_GT(rx, 0);
    ASSERT_GT(tx, 0);
    ip_resolve(&to, "127.0.0.1", test_port);
  }
  void TearDown() override {
    if (rx > 0) udp_close(rx);
    if (tx > 0) udp_close(tx);
  }
  // Waits up to a second for rx to become readable.
  bool wait_readable() {
    ws_set rd;
    ws_set_zero(&rd);
    ws_set_add(&rd, rx);
    ws_timeval limit{1, 0};
    return ws_select(rx + 1, &rd, nullptr, &limit) == 1;
  }
};

TEST_F(UdpPair, NonBlockingReceiveWithNothingWaitingFailsAtOnce) {
  char buf[16];
  sockaddr_in from;
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), -1);
  EXPECT_TRUE(ws_would_block(ws_last_error()));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(50));
}

TEST_F(UdpPair, DatagramArrivesWithItsSender) {
  ASSERT_EQ(udp_send(tx, "?abc", 4, &to), 4);
  ASSERT_TRUE(wait_readable());
  char buf[16];
  sockaddr_in from;
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), 4);
  EXPECT_EQ(std::memcmp(buf, "?abc", 4), 0);
  EXPECT_STREQ(ip_to_text(&from), "127.0.0.1");
  EXPECT_EQ(ntohs(from.sin_port), sock_local_port(tx));
}

TEST_F(UdpPair, EmptyDatagramReadsAsZero) {
  ASSERT_EQ(udp_send(tx, "", 0, &to), 0);
  ASSERT_TRUE(wait_readable());
  char buf[16];
  sockaddr_in from;
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), 0);
}

TEST_F(UdpPair, OversizedDatagramIsAnErrorAndGoneButTheNextArrives) {
  char big[1001];
  std::memset(big, '?', sizeof big);
  ASSERT_EQ(udp_send(tx, big, sizeof big, &to), 1001);
  ASSERT_EQ(udp_send(tx, "?ok", 3, &to), 3);
  ASSERT_TRUE(wait_readable());
  char buf[1000];
  sockaddr_in from;
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), -1);
  EXPECT_FALSE(ws_would_block(ws_last_error()));
  ASSERT_TRUE(wait_readable());
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), 3);
  EXPECT_EQ(std::memcmp(buf, "?ok", 3), 0);
}

TEST_F(UdpPair, BroadcastNeedsPermissionAndLoopsBackInTheLab) {
  sockaddr_in all;
  ip_resolve(&all, "255.255.255.255", test_port);
  EXPECT_EQ(udp_send(tx, "?", 1, &all), -1);  // not allowed to broadcast yet
  int32_t on = 1;
  ASSERT_EQ(ws_setsockopt(tx, WS_SOL_SOCKET, WS_SO_BROADCAST, &on, 4), 0);
  EXPECT_EQ(udp_send(tx, "?", 1, &all), 1);
  ASSERT_TRUE(wait_readable());
  char buf[4];
  sockaddr_in from;
  EXPECT_EQ(udp_recv(rx, buf, sizeof buf, &from), 1);
}

TEST(UdpOpen, TakenPortFailsAndLeavesNoSocketOpen) {
  REQUIRE_LAB();
  int32_t port = test_port + 1;
  int32_t first = udp_open(&port, 0);
  ASSERT_GT(first, 0);
  EXPECT_EQ(sock_local_port(first), port);
  int before = open_descriptor_count();
  ASSERT_GT(before, 0) << "cannot count this process's open sockets";
  EXPECT_EQ(udp_open(&port, 0), -2);
  EXPECT_EQ(udp_open(&port, 1), -2);
  EXPECT_EQ(open_descriptor_count(), before);
  udp_close(first);
}

TEST(UdpOpen, PortZeroLetsThePlatformChooseAndIsNotWrittenBack) {
  REQUIRE_LAB();
  int32_t port = 0;
  int32_t s = udp_open(&port, 0);
  ASSERT_GT(s, 0);
  EXPECT_EQ(port, 0);
  EXPECT_GT(sock_local_port(s), 0);
  udp_close(s);
}

TEST(LocalPort, UnboundSocketHasNone) {
  int32_t s = ws_socket(WS_SOCK_DGRAM);
  ASSERT_GT(s, 0);
  EXPECT_EQ(sock_local_port(s), 0);
  ws_closesocket(s);
  EXPECT_EQ(sock_local_port(s), 0) << "nor has a socket value that is closed";
}

TEST(LocalPort, ProbePortReadsBack) {
  REQUIRE_LAB();
  int32_t port = 10000;
  int32_t s = udp_open(&port, 1);
  ASSERT_GT(s, 0);
  EXPECT_EQ(sock_local_port(s), 10000);
  udp_close(s);
}

}  // namespace
