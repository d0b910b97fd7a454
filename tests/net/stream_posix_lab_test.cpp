#include <gtest/gtest.h>
#include <unistd.h>

#include "net/ip.h"
#include "net/stream.h"
#include "support/alloc.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"

namespace {

class StreamPosix : public temp_dir_test {};

// The old select() stopped at descriptor 1023; these waits must not.
TEST_F(StreamPosix, DescriptorsAboveTheOldSelectLimitAreWatched) {
  REQUIRE_LAB();
  ASSERT_GE(raise_descriptor_limit(2048), 1700)
      << "the system allows too few descriptors for this test";
  mem_start();
  int32_t low = tcp_listen(11110);
  ASSERT_GT(low, 0);
  int32_t l = dup2(low, 1600);
  ASSERT_EQ(l, 1600);
  close(low);

  int32_t c = ws_socket(WS_SOCK_STREAM);
  sockaddr_in ep;
  ip_resolve(&ep, "127.0.0.1", 11110);
  ASSERT_EQ(ws_connect(c, &ep), 0);
  int32_t idle = tcp_listen(11111);
  int32_t socks[] = {idle, l};
  EXPECT_EQ(sock_select_read_ms(socks, 2, 1000), 1);
  EXPECT_EQ(sock_read_ready(l), 0);
  int32_t s = tcp_accept(l, nullptr);
  EXPECT_GT(s, 0);
  for (int32_t x : {s, c, l, idle}) ws_closesocket(x);
  mem_stop();
}

}  // namespace
