#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "net/ip.h"
#include "net/stream.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"
#include "support/log.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"

namespace {

using namespace std::chrono_literals;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class Stream : public temp_dir_test {
 protected:
  void SetUp() override {
    temp_dir_test::SetUp();
    REQUIRE_LAB();
    mem_start();
    ASSERT_EQ(ws_startup(), 0);
    started_ = true;
  }
  void TearDown() override {
    for (int32_t s : open_) ws_closesocket(s);
    if (started_) {
      ws_cleanup();
      mem_stop();
    }
    temp_dir_test::TearDown();
  }
  int32_t keep(int32_t s) {
    if (s > 0) open_.push_back(s);
    return s;
  }
  // A blocking client connected to 127.0.0.1:port.
  int32_t client(int32_t port) {
    int32_t s = keep(ws_socket(WS_SOCK_STREAM));
    sockaddr_in ep;
    ip_resolve(&ep, "127.0.0.1", port);
    EXPECT_EQ(ws_connect(s, &ep), 0);
    return s;
  }
  // A UDP socket on an ephemeral port, and a datagram sent to it.
  int32_t udp_socket() {
    int32_t any = 0;
    return keep(udp_open(&any, 0));
  }
  void poke(int32_t udp) {
    sockaddr_in to;
    ip_resolve(&to, "127.0.0.1", sock_local_port(udp));
    int32_t any = 0, tx = udp_open(&any, 0);
    udp_send(tx, "?", 1, &to);
    udp_close(tx);
  }

 private:
  std::vector<int32_t> open_;
  bool started_ = false;
};

TEST_F(Stream, ListenAcceptReceiveAndSeeThePeerClose) {
  int32_t l = keep(tcp_listen(11100));
  ASSERT_GT(l, 0);
  auto idle = std::chrono::steady_clock::now();
  EXPECT_EQ(sock_read_ready(l), -1) << "nobody has connected yet";
  EXPECT_LT(std::chrono::steady_clock::now() - idle, 100ms) << "a readiness test does not wait";
  int32_t c = client(11100);
  int32_t socks[] = {l};
  ASSERT_EQ(sock_select_read_ms(socks, 1, 1000), 0);
  EXPECT_EQ(sock_read_ready(l), 0);

  sockaddr_in from{};
  auto t0 = std::chrono::steady_clock::now();
  int32_t s = keep(tcp_accept(l, &from));
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 100ms) << "readiness said it would not wait";
  ASSERT_GT(s, 0);
  sockaddr_in client_end;
  ws_getsockname(c, &client_end);
  EXPECT_EQ(ip_compare(&from, &client_end), 0) << ip_to_text(&from) << " vs the client's own end";

  EXPECT_EQ(tcp_send(c, "abc", -1), -1) << "a negative length is refused, not read as huge";
  EXPECT_EQ(tcp_send(c, "abc", 3), 3);
  int32_t conn[] = {s};
  ASSERT_EQ(sock_select_read_ms(conn, 1, 1000), 0);
  char buf[8];
  EXPECT_EQ(tcp_recv(s, buf, -1), -1);
  EXPECT_EQ(tcp_recv(s, buf, sizeof buf), 3);
  EXPECT_EQ(std::string(buf, 3), "abc");
  ws_closesocket(c);
  ASSERT_EQ(sock_select_read_ms(conn, 1, 1000), 0) << "a close is readable";
  EXPECT_EQ(tcp_recv(s, buf, sizeof buf), 0);
}

TEST_F(Stream, AcceptOnWhatIsNoListeningSocketFails) {
  EXPECT_EQ(tcp_accept(udp_socket(), nullptr), -1);
  EXPECT_EQ(tcp_accept(-1, nullptr), -1);
}

// 10.77.0.2 never answers in the lab: its connect stays in progress.
TEST_F(Stream, ReadinessTestsAnswerAtOnce) {
  int32_t s = keep(ws_socket(WS_SOCK_STREAM));
  sock_nonblock_on(s);
  sockaddr_in silent;
  ip_resolve(&silent, "10.77.0.2", 80);
  ws_connect(s, &silent);
  int32_t u = udp_socket();
  // The connection manager asks this of every pending attempt on every pass.
  // Four thousand queries that each waited a millisecond would take four
  // seconds; polls take well under one, also under Wine and the sanitizers.
  auto t0 = std::chrono::steady_clock::now();
  for (int i = 0; i < 2000; i++) {
    ASSERT_EQ(sock_write_ready(s), -1) << "the connect is still going";
    ASSERT_EQ(sock_read_ready(u), -1) << "nothing has arrived";
  }
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 3000ms) << "zero-time queries only poll";
  EXPECT_EQ(sock_write_ready(u), 0) << "a datagram socket can send at once";
}

TEST_F(Stream, RefusedBindLeavesNoSocketOpen) {
  int32_t holder = keep(tcp_listen(11101));
  ASSERT_GT(holder, 0);
  int fds = open_descriptor_count();
  EXPECT_EQ(tcp_listen(11101), -1);
  EXPECT_EQ(open_descriptor_count(), fds);
}

TEST_F(Stream, ListeningPortCanBeTakenAgainRightAfterAClosedConnection) {
  int32_t l = tcp_listen(11102);
  ASSERT_GT(l, 0);
  int32_t c = client(11102);
  int32_t s = tcp_accept(l, nullptr);
  // The server closes first, so its side holds TIME_WAIT on the port.
  ws_closesocket(s);
  ws_closesocket(l);
  ws_closesocket(c);
  EXPECT_GT(keep(tcp_listen(11102)), 0);
}

TEST_F(Stream, FirstReadableIndexWins) {
  int32_t a = udp_socket(), b = udp_socket();
  int32_t socks[] = {a, b};
  poke(b);
  EXPECT_EQ(sock_select_read_ms(socks, 2, 1000), 1);
  EXPECT_EQ(sock_select_read(socks, 2), 1);
  poke(a);
  sock_select_read_ms(&socks[0], 1, 1000);
  EXPECT_EQ(sock_select_read(socks, 2), 0);
  int32_t twice[] = {b, a, b};
  EXPECT_EQ(sock_select_read_ms(twice, 3, 1000), 0);
  int32_t repeated[] = {a, b, b};
  char buf[4];
  udp_recv(a, buf, sizeof buf, nullptr);
  EXPECT_EQ(sock_select_read_ms(repeated, 3, 1000), 1) << "a repeat is reported at its first place";
}

TEST_F(Stream, TimeLimitPassesSilently) {
  int32_t a = udp_socket();
  int32_t socks[] = {a};
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  int32_t result = sock_select_read_ms(socks, 1, 250);
  auto waited = std::chrono::steady_clock::now() - t0;
  std::string out = GetCapturedStdout();
  EXPECT_EQ(result, -2);
  EXPECT_GE(waited, 245ms);
  EXPECT_LT(waited, 1000ms);
  EXPECT_EQ(out, "");
}

TEST_F(Stream, OnlySixtyFourSocketsAreWatched) {
  std::vector<int32_t> socks;
  for (int i = 0; i < 65; i++) socks.push_back(udp_socket());
  ASSERT_GT(socks.back(), 0);
  poke(socks.back());
  int32_t last[] = {socks.back()};
  ASSERT_EQ(sock_select_read_ms(last, 1, 1000), 0) << "the datagram has arrived";
  CaptureStdout();
  int32_t result = sock_select_read_ms(socks.data(), 65, 200);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(result, -2) << "the 65th socket never reaches the set";
  EXPECT_EQ(out, "");
  poke(socks[63]);
  EXPECT_EQ(sock_select_read_ms(socks.data(), 65, 1000), 63);
}

TEST_F(Stream, AFailedWaitIsLoggedWithSelectsResult) {
  // The capture's descriptor and log.txt come first: neither may take the closed number.
  CaptureStdout();
  log_print("%s", "");
  int32_t gone = ws_socket(WS_SOCK_DGRAM);
  ws_closesocket(gone);
  int32_t socks[] = {gone};
  int32_t timed = sock_select_read_ms(socks, 1, 100);
  int32_t untimed = sock_select_read(socks, 1);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(timed, -2);
  EXPECT_EQ(untimed, -2);
  EXPECT_EQ(out, "select: error(-1)\nselect: error(-1)\n");
}

// The -1 of a failed tcp_listen, or a 0, in the array: the wait fails at once,
// as on Windows, instead of hanging, timing out or reading standard input.
TEST_F(Stream, ValuesThatCannotBeSocketsFailTheWaitAtOnceBesideAReadyOne) {
  CaptureStdout();
  log_print("%s", "");
  int32_t u = udp_socket();
  poke(u);
  int32_t negative_first[] = {-1, u};
  int32_t zero_last[] = {u, 0};
  int32_t negative_alone[] = {-1};
  auto t0 = std::chrono::steady_clock::now();
  int32_t untimed = sock_select_read(negative_first, 2);
  int32_t timed = sock_select_read_ms(zero_last, 2, 1000);
  int32_t alone = sock_select_read_ms(negative_alone, 1, 1000);
  int32_t write_zero = sock_write_ready(0), write_negative = sock_write_ready(-1);
  auto waited = std::chrono::steady_clock::now() - t0;
  std::string out = GetCapturedStdout();
  EXPECT_EQ(untimed, -2);
  EXPECT_EQ(timed, -2);
  EXPECT_EQ(alone, -2);
  EXPECT_EQ(write_zero, -1);
  EXPECT_EQ(write_negative, -1);
  EXPECT_LT(waited, 500ms);
  EXPECT_EQ(out, "select: error(-1)\nselect: error(-1)\nselect: error(-1)\n");
  EXPECT_EQ(sock_read_ready(u), 0) << "the socket itself was readable all along";
}

}  // namespace
