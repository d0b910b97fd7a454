// Batch reading on a machine whose receive-buffer limit nobody raised
// (Debian's stock net.core.rmem_max): a burst of answers far beyond what
// the buffer holds, handed to an owner that takes its time over each, as
// the window tool's cross-thread list updates do.

#include <gtest/gtest.h>

#include "tests/net/channel_recorder.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/rmem_cap.h"

namespace {

constexpr int stock_rmem_max = 212992;

TEST(ChannelStockBuffer, ASlowOwnerLosesNoneOfABurstTheBufferCouldNotHold) {
  REQUIRE_LAB();
  rmem_cap(stock_rmem_max);
  int32_t opened = udp_bcast_open(channel_port);
  rmem_cap(0);
  ASSERT_EQ(opened, 0);
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  recorder rec;
  rec.reply_us.store(50);
  device dev;
  bcast_request r = rec.request();
  ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
  sleep_ms(20);  // the devices' answers come after the probe reached them
  // Four times what the buffer holds of such answers, within some 10 ms:
  // this thread rests between handfuls, as devices on other machines never
  // take the receiver's processor from it.
  constexpr int burst = 2048;
  for (int i = 0; i < burst; i += 32) {
    dev.queue(32, i);
    std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(udp_bcast_dropped(), 0);
  EXPECT_EQ(rec.taken(), numbered(0, burst));
  udp_bcast_close();
}

}  // namespace
