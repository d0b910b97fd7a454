#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/probe.h"
#include "app/text_list.h"
#include "net/ip.h"
#include "support/thread.h"
#include "tests/testing/lab_guard.h"

namespace {

// Waits up to ms for the window to end.
bool wait_idle(const probe_ctx& ctx, int ms) {
  for (int t = 0; t < ms && ctx.busy.load(); t += 10) sleep_tick();
  return ctx.busy.load() == 0;
}

TEST(ProbeExchange, BusyFromProbeToWindowEndAndLateAnswersInTheNextWindow) {
  REQUIRE_LAB();
  text_list* list = text_list_create();
  ASSERT_NE(list, nullptr);
  probe_set_list_ops(&text_list_ops);
  ASSERT_EQ(udp_bcast_open(10000), 0);
  probe_ctx ctx{};
  ctx.local_port = 10000;
  ctx.device_port = 9999;
  ctx.list = list;

  // Twelve answers from twelve devices, queued: a window takes ten.
  std::string prober = std::getenv("KTA_LAB_NEAR") ? std::getenv("KTA_LAB_NEAR") : "10.77.0.1";
  sockaddr_in to;
  ip_resolve(&to, prober.c_str(), 10000);
  for (int i = 0; i < 12; i++) {
    char from[16];
    std::snprintf(from, sizeof from, "10.77.0.%d", 10 + i);
    sockaddr_in ep;
    ip_resolve(&ep, from, 0);
    int32_t s = ws_socket(WS_SOCK_DGRAM);
    ASSERT_GT(s, 0);
    ASSERT_EQ(ws_bind(s, &ep), 0) << from << " (run with lab.sh --devices 12 or more)";
    udp_send(s, "?", 1, &to);
    udp_close(s);
  }

  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 1);
  ASSERT_TRUE(wait_idle(ctx, 3000));
  EXPECT_EQ(text_list_count(list), 10);
  probe_send(&ctx);
  ASSERT_TRUE(wait_idle(ctx, 3000));
  EXPECT_EQ(text_list_count(list), 12);
  char first[16], last[16];
  text_list_get(list, 0, first, sizeof first);
  text_list_get(list, 11, last, sizeof last);
  EXPECT_STREQ(first, "10.77.0.10");
  EXPECT_STREQ(last, "10.77.0.21");

  udp_bcast_close();
  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 0);
  probe_set_list_ops(nullptr);
  text_list_free(list);
}

}  // namespace
