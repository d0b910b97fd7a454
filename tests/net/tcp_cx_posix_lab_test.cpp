#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "net/ip.h"
#include "net/net.h"
#include "net/stream.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"
#include "support/log.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/thread_limit.h"

namespace {

using namespace std::chrono_literals;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

class ManagerPosix : public temp_dir_test {
 protected:
  void SetUp() override {
    temp_dir_test::SetUp();
    REQUIRE_LAB();
    mem_start();
    ASSERT_EQ(net_start(), 0);
    running_ = true;
  }
  void TearDown() override {
    if (running_) net_stop();
    mem_stop();
    temp_dir_test::TearDown();
  }
  void stop() {
    running_ = false;
    net_stop();
  }

 private:
  bool running_ = false;
};

std::atomic<int32_t> handed{0};
void take(void*, int32_t sock) { handed = sock; }
void take_peer(void*, int32_t sock, const sockaddr_in*) { handed = sock; }

bool nonblocking(int32_t sock) { return (fcntl(sock, F_GETFL) & O_NONBLOCK) != 0; }

int32_t wait_handed() {
  for (int i = 0; i < 300 && handed.load() == 0; i++) std::this_thread::sleep_for(10ms);
  return handed.exchange(0);
}

TEST_F(ManagerPosix, ConnectHandsOverABlockingSocketAndConnectSendANonBlockingOne) {
  int32_t l = tcp_listen(11020);
  ASSERT_GT(l, 0);
  sockaddr_in ep;
  ip_resolve(&ep, "127.0.0.1", 11020);
  CaptureStdout();
  tcp_connect("127.0.0.1", 11020, 5, nullptr, nullptr, take);
  int32_t blocking_sock = wait_handed();
  tcp_connect_send(&ep, nullptr, 0, 5, nullptr, nullptr, take_peer);
  int32_t nonblocking_sock = wait_handed();
  GetCapturedStdout();
  ASSERT_GT(blocking_sock, 0);
  ASSERT_GT(nonblocking_sock, 0);
  EXPECT_FALSE(nonblocking(blocking_sock));
  EXPECT_TRUE(nonblocking(nonblocking_sock));
  for (int32_t s :
       {blocking_sock, nonblocking_sock, tcp_accept(l, nullptr), tcp_accept(l, nullptr), l})
    tcp_close(s);
}

// 10.77.0.2 gets no ARP answer in the lab: every attempt stays pending for
// about three seconds, long enough to fill the table.
TEST_F(ManagerPosix, FullTableRefusesBothWaysOfQueueingAndFinClosesTheDroppedSockets) {
  ASSERT_GE(raise_descriptor_limit(2048), 1100)
      << "the system allows too few descriptors for this test";
  log_print("%s", "");  // log.txt is open before the descriptors are counted
  int fds = open_descriptor_count();
  int32_t baseline = my_total.load();

  for (int32_t i = 1; i <= tcp_cx_max; i++) {
    int32_t id = tcp_connect("10.77.0.2", 80, 60, nullptr, nullptr, nullptr);
    ASSERT_EQ(id, i);
  }
  sockaddr_in ep;
  ip_resolve(&ep, "10.77.0.2", 80);
  CaptureStdout();
  int32_t connect_result = tcp_connect("10.77.0.2", 80, 60, nullptr, nullptr, nullptr);
  int32_t send_result = tcp_connect_send(&ep, "hello", 5, 60, nullptr, nullptr, nullptr);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(connect_result, -3);
  EXPECT_EQ(send_result, -1);
  EXPECT_EQ(out, "tcp_connect: error(1024)\n") << "tcp_connect_send stays silent";
  EXPECT_EQ(tcp_cx_pending(), tcp_cx_max);
  EXPECT_EQ(my_total.load(), baseline) << "the refused payload copy was given back";
  EXPECT_EQ(open_descriptor_count(), fds + tcp_cx_max);

  stop();
  EXPECT_EQ(open_descriptor_count(), fds);
}

std::atomic<int> endings{0}, connected_as{0}, failed_as{0};
void note_connected(void*, int32_t sock) {
  handed = sock;
  connected_as = ++endings;
}
void note_failed(void*, int32_t, const sockaddr_in*) { failed_as = ++endings; }

// The lowest descriptor number that is free now.
int lowest_free_descriptor() {
  int fd = dup(0);
  close(fd);
  return fd;
}

// A socket that could not be made fails the joint readiness query of a pass;
// the manager then asks attempt by attempt, so the others still end on time.
TEST_F(ManagerPosix, AnAttemptWithoutASocketTimesOutAndHoldsUpNoOther) {
  int32_t l = tcp_listen(11021);
  ASSERT_GT(l, 0);
  sockaddr_in ep;
  ip_resolve(&ep, "127.0.0.1", 11021);
  CaptureStdout();
  log_print("%s", "");  // log.txt is open before descriptors run out
  rlimit old;
  ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &old), 0);
  rlimit none = old;
  none.rlim_cur = static_cast<rlim_t>(lowest_free_descriptor());
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &none), 0);
  int32_t without = tcp_connect_send(&ep, nullptr, 0, 1, nullptr, note_failed, nullptr);
  ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &old), 0);
  auto t0 = std::chrono::steady_clock::now();
  tcp_connect("127.0.0.1", 11021, 5, nullptr, nullptr, note_connected);
  int32_t sock = wait_handed();
  auto connected_after = std::chrono::steady_clock::now() - t0;
  for (int i = 0; i < 300 && endings.load() < 2; i++) std::this_thread::sleep_for(10ms);
  std::string out = GetCapturedStdout();
  EXPECT_GT(without, 0) << "queued all the same; it can only time out";
  ASSERT_GT(sock, 0);
  EXPECT_LT(connected_after, 500ms);
  EXPECT_EQ(connected_as.load(), 1);
  EXPECT_EQ(failed_as.load(), 2) << "the attempt without a socket ends at its time-out";
  EXPECT_EQ(out, "") << "a time-out is not logged";
  EXPECT_EQ(tcp_cx_pending(), 0);
  tcp_close(sock);
  tcp_close(tcp_accept(l, nullptr));
  tcp_close(l);
}

class ManagerThreadLimit : public temp_dir_test {};

// Before, net_start reported success without a manager thread: attempts were
// queued for nobody, and net_stop waited its three seconds for the thread.
TEST_F(ManagerThreadLimit, StartWithoutAThreadFailsRefusesAttemptsAndStopsAtOnce) {
  REQUIRE_LAB();
  RUN_UNDER_THREAD_LIMIT(20000);
  mem_start();
  int32_t baseline = my_total.load();
  CaptureStdout();
  int32_t started = net_start();
  int32_t running = tcp_cx_running();
  int32_t connect_result = tcp_connect("127.0.0.1", 80, 5, nullptr, nullptr, nullptr);
  sockaddr_in peer;
  ip_resolve(&peer, "127.0.0.1", 80);
  int32_t send_result = tcp_connect_send(&peer, "abc", 3, 5, nullptr, nullptr, nullptr);
  auto t0 = std::chrono::steady_clock::now();
  net_stop();
  auto waited = std::chrono::steady_clock::now() - t0;
  std::string out = GetCapturedStdout();
  EXPECT_EQ(started, -2) << "told apart from a sockets layer that cannot start";
  EXPECT_EQ(running, 0);
  EXPECT_EQ(connect_result, -4);
  EXPECT_EQ(send_result, -2);
  EXPECT_EQ(tcp_cx_pending(), -1);
  EXPECT_LT(waited, 200ms) << "there is no thread to wait for";
  EXPECT_EQ(out, "");
  EXPECT_EQ(my_total.load(), baseline) << "the refused payload copy was given back";
  mem_stop();
}

}  // namespace
