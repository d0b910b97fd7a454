#include <gtest/gtest.h>

#include "net/stream.h"
#include "support/alloc.h"
#include "tests/support/temp_dir.h"

// The paths that return before any socket is asked; the rest is in the lab.

namespace {

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

TEST(StreamLimit, SplitsIntoSecondsAndMicroseconds) {
  struct {
    uint32_t ms;
    int32_t sec, usec;
  } cases[] = {{1500, 1, 500000}, {250, 0, 250000}, {1000, 1, 0},
               {999, 0, 999000},  {1, 0, 1000},     {4294967295u, 4294967, 295000}};
  for (const auto& c : cases) {
    ws_timeval t = sock_ms_to_timeval(c.ms);
    EXPECT_EQ(t.sec, c.sec) << c.ms;
    EXPECT_EQ(t.usec, c.usec) << c.ms;
  }
}

class StreamArguments : public temp_dir_test {};

TEST_F(StreamArguments, EmptyOrNullArraysAndNonSocketsAreRefusedSilently) {
  int32_t socks[1] = {5};
  mem_start();
  CaptureStdout();
  EXPECT_EQ(sock_select_read(nullptr, 1), -1);
  EXPECT_EQ(sock_select_read(socks, 0), -1);
  EXPECT_EQ(sock_select_read(socks, -1), -1);
  EXPECT_EQ(sock_select_read_ms(nullptr, 1, 100), -1);
  EXPECT_EQ(sock_select_read_ms(socks, 0, 0), -1) << "no limit must not mean waiting here";
  EXPECT_EQ(sock_select_read_ms(socks, -3, 100), -1);
  EXPECT_EQ(sock_read_ready(0), -1);
  EXPECT_EQ(sock_read_ready(-1), -1);
  EXPECT_EQ(sock_read_ready(INT32_MIN), -1);
  EXPECT_EQ(GetCapturedStdout(), "");
  mem_stop();
}

}  // namespace
