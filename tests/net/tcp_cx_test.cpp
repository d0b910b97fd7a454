#include <gtest/gtest.h>

#include <chrono>
#include <climits>

#include "net/net.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"
#include "tests/support/temp_dir.h"

// Nothing here reaches the network: these are the paths that return before
// a socket is made.

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(TcpCxIds, SkipZeroAndStayPositiveAcrossTheWrap) {
  EXPECT_EQ(tcp_cx_next_id(0), 1);
  EXPECT_EQ(tcp_cx_next_id(1), 2);
  EXPECT_EQ(tcp_cx_next_id(INT32_MAX - 1), INT32_MAX);
  EXPECT_EQ(tcp_cx_next_id(INT32_MAX), 1) << "an id past the signed range would read as an error";
  EXPECT_EQ(tcp_cx_next_id(-1), 1);
}

class TcpCxUnstarted : public temp_dir_test {};

TEST_F(TcpCxUnstarted, BadArgumentsQueueNothingAndLogNothing) {
  mem_start();
  CaptureStdout();
  EXPECT_EQ(tcp_connect(nullptr, 80, 5, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(tcp_connect("", 80, 5, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(tcp_connect("127.0.0.1", 0, 5, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(tcp_cx_pending(), 0);
  mem_stop();
}

// Also the state after a failed net_start: no thread, no semaphore.
TEST_F(TcpCxUnstarted, StopWithoutAManagerWaitsOneSecondAndThenRefusesNewAttempts) {
  mem_start();
  int32_t baseline = my_total.load();
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  net_stop();
  auto waited = std::chrono::steady_clock::now() - t0;
  sockaddr_in peer{};
  peer.sin_family = WS_AF_INET;
  int32_t connect_result = tcp_connect("127.0.0.1", 80, 5, nullptr, nullptr, nullptr);
  int32_t send_result = tcp_connect_send(&peer, "abc", 3, 5, nullptr, nullptr, nullptr);
  auto t1 = std::chrono::steady_clock::now();
  net_stop();
  auto waited_again = std::chrono::steady_clock::now() - t1;
  std::string out = GetCapturedStdout();

  EXPECT_GE(waited, std::chrono::milliseconds(990));
  EXPECT_LT(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited_again, std::chrono::milliseconds(200)) << "a finished manager has no thread";
  EXPECT_EQ(connect_result, -4);
  EXPECT_EQ(send_result, -2);
  EXPECT_EQ(out, "");
  EXPECT_EQ(tcp_cx_pending(), -1) << "a finished manager's table stays untouched";
  EXPECT_EQ(tcp_cx_running(), 0);
  EXPECT_EQ(my_total.load(), baseline) << "the refused payload copy was given back";
  mem_stop();
}

}  // namespace
