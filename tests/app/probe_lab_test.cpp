#include <gtest/gtest.h>

#include <atomic>

#include "app/probe.h"
#include "app/text_list.h"
#include "net/ip.h"
#include "support/thread.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/sockets_started.h"

namespace {

// The windowless list, with a count of the answers that reached it.
std::atomic<int> finds{0};
int32_t counting_find(void* list, const char* text) {
  finds++;
  return text_list_ops.find(list, text);
}
const device_list_ops counting_ops = {counting_find, text_list_ops.add};

// Waits up to ms for the window to end.
bool wait_idle(const probe_ctx& ctx, int ms) {
  for (int t = 0; t < ms && ctx.busy.load(); t += 10) sleep_tick();
  return ctx.busy.load() == 0;
}

TEST(ProbeExchange, BusyFromProbeToWindowEndAndLateAnswersInTheNextWindow) {
  REQUIRE_LAB();
  text_list* list = text_list_create();
  ASSERT_NE(list, nullptr);
  probe_set_list_ops(&counting_ops);
  ASSERT_EQ(udp_bcast_open(10000), 0);
  probe_ctx ctx{};
  ctx.local_port = 10000;
  ctx.device_port = 9999;
  ctx.list = list;

  // Twelve answers queued, one a "!": a window takes ten, the next the rest.
  int32_t any = 0;
  int32_t dev = udp_open(&any, 0);
  ASSERT_GT(dev, 0);
  sockaddr_in to;
  ip_resolve(&to, "127.0.0.1", 10000);
  udp_send(dev, "!", 1, &to);
  for (int i = 0; i < 11; i++) udp_send(dev, "?", 1, &to);

  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 1);
  ASSERT_TRUE(wait_idle(ctx, 3000));
  EXPECT_EQ(finds.load(), 9);
  probe_send(&ctx);
  ASSERT_TRUE(wait_idle(ctx, 3000));
  EXPECT_EQ(finds.load(), 11);
  EXPECT_EQ(text_list_count(list), 1);
  EXPECT_EQ(text_list_find(list, "127.0.0.1"), 1);

  udp_close(dev);
  udp_bcast_close();
  probe_send(&ctx);
  EXPECT_EQ(ctx.busy.load(), 0);
  probe_set_list_ops(nullptr);
  text_list_free(list);
}

}  // namespace
