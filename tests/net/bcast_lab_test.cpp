#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/bcast.h"
#include "net/ip.h"
#include "support/thread.h"
#include "tests/net/channel_recorder.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/sockets_started.h"
#include "tests/testing/wine.h"

namespace {

const char probe[] = "?";

struct Channel : ::testing::Test {
  recorder rec;
  device dev;
  void SetUp() override {
    REQUIRE_LAB();
    ASSERT_GT(dev.sock, 0);
    ASSERT_EQ(udp_bcast_open(channel_port), 0);
  }
  void TearDown() override {
    udp_bcast_close();
    udp_bcast_set_wait_hook(nullptr, nullptr);
  }
  int32_t send(const bcast_request& r) { return udp_bcast_send(&r, probe, 1); }
};

TEST(ChannelClosed, SendBeforeOpenAfterFailedOpenAndAfterCloseIsRefused) {
  REQUIRE_LAB();
  recorder rec;
  bcast_request r = rec.request();
  udp_bcast_close();  // before any open: nothing to do
  EXPECT_EQ(udp_bcast_send(&r, probe, 1), -1);

  int32_t port = channel_port;
  int32_t holder = udp_open(&port, 0);
  ASSERT_GT(holder, 0);
  int before = open_descriptor_count();
  EXPECT_EQ(udp_bcast_open(channel_port), -1);
  EXPECT_EQ(open_descriptor_count(), before);
  EXPECT_EQ(udp_bcast_send(&r, probe, 1), -1);
  udp_bcast_close();
  udp_close(holder);

  ASSERT_EQ(udp_bcast_open(channel_port), 0);
  udp_bcast_close();
  udp_bcast_close();  // a second close does nothing
  EXPECT_EQ(udp_bcast_send(&r, probe, 1), -1);

  EXPECT_FALSE(rec.wait_done(1200));
  EXPECT_EQ(rec.replies.load(), 0);
  EXPECT_EQ(rec.done.load(), 0);
}

TEST(ChannelClosed, OpenWhileOpenIsRefusedAndLeavesTheChannelWorking) {
  REQUIRE_LAB();
  ASSERT_EQ(udp_bcast_open(channel_port), 0);
  EXPECT_EQ(udp_bcast_open(channel_port), -1);
  recorder rec;
  device dev;
  dev.queue(1);
  bcast_request r = rec.request();
  EXPECT_EQ(udp_bcast_send(&r, probe, 1), 0);
  EXPECT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 1));
  udp_bcast_close();
}

TEST_F(Channel, EmptyWindowEndsOnceAfterAboutNineTenthsOfASecond) {
  auto t0 = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  int64_t took = ms_since(t0);
  EXPECT_GE(took, 850);
  EXPECT_LE(took, 2000);
  EXPECT_FALSE(rec.wait_done(400));  // and only once
  EXPECT_EQ(rec.replies.load(), 0);
}

TEST_F(Channel, TenDatagramsAWindowTheRestInTheNextInArrivalOrder) {
  dev.queue(12);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 10));
  {
    std::lock_guard<std::mutex> lock(rec.m);
    EXPECT_EQ(rec.senders[0], "127.0.0.1");
  }
  // Between windows nothing is read: these wait behind the two left over.
  dev.queue(3, 12);
  sleep_ms(200);
  EXPECT_EQ(rec.replies.load(), 10);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 15));
}

TEST_F(Channel, BatchesTakeEveryQueuedDatagramInTheFirstPollAndKeepTheWindow) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  dev.queue(12);
  sleep_ms(50);  // all twelve in the socket before the send
  rec.start = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_GE(ms_since(rec.start), 850);
  EXPECT_EQ(rec.taken(), numbered(0, 12));
  EXPECT_EQ(rec.per_poll(), std::vector<int>{12});
  {
    std::lock_guard<std::mutex> lock(rec.m);
    EXPECT_LT(rec.at_ms.back(), 90) << "the first poll comes right after the send";
  }
  EXPECT_FALSE(rec.wait_done(400));
  EXPECT_EQ(rec.done.load(), 1);
}

TEST_F(Channel, ABurstOverTheBatchBoundSpreadsOverConsecutivePollsInArrivalOrder) {
  ASSERT_EQ(udp_bcast_set_batch(5), 0);
  dev.queue(12);
  dev.send("");  // dropped undelivered, but each is one of its poll's five
  dev.send(std::string(1001, '?'));
  dev.queue(1, 12);
  sleep_ms(50);
  rec.start = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 13));
  EXPECT_EQ(rec.per_poll(), (std::vector<int>{5, 5, 3}));
}

// The owner asks once the receiver already waits for a send, as it reads one
// a poll: the first window is a batch window from its first poll.
TEST_F(Channel, TheSmallestBatchIsTwoAPoll) {
  sleep_ms(50);
  ASSERT_EQ(udp_bcast_set_batch(2), 0);
  dev.queue(5);
  sleep_ms(50);
  rec.start = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 5));
  EXPECT_EQ(rec.per_poll(), (std::vector<int>{2, 2, 1}));
}

TEST_F(Channel, AnEmptyDatagramDoesNotEndABatch) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  rec.start = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  sleep_ms(40);  // the first poll has found the socket empty
  dev.queue(1);
  dev.send("");
  dev.queue(2, 1);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 3));
  EXPECT_EQ(rec.per_poll(), std::vector<int>{3});
}

TEST_F(Channel, BatchesReadEachAnswerAsItArrivesNotAtTheNextPoll) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  rec.start = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  // Between the polls' ticks: one poll's wait would hold each up to 100 ms.
  std::vector<int64_t> sent_at;
  for (int64_t at : {30, 160, 470}) {
    sleep_ms(static_cast<uint32_t>(at - ms_since(rec.start)));
    sent_at.push_back(ms_since(rec.start));
    dev.queue(1, static_cast<int>(sent_at.size()) - 1);
  }
  ASSERT_TRUE(rec.wait_done(3000));
  ASSERT_EQ(rec.taken(), numbered(0, 3));
  std::lock_guard<std::mutex> lock(rec.m);
  for (size_t i = 0; i < sent_at.size(); i++)
    EXPECT_LT(rec.at_ms[i] - sent_at[i], 40) << "answer " << i << " waited for a poll";
}

TEST_F(Channel, ANewSendEndsABatchAtOnceAndItsWindowTakesTheRest) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  rec.reply_us.store(20000);  // an owner that takes its time over each answer
  dev.queue(30);
  sleep_ms(50);
  ASSERT_EQ(send(rec.request()), 0);
  sleep_ms(150);
  recorder next;
  ASSERT_EQ(send(next.request()), 0);
  ASSERT_TRUE(next.wait_done(3000));
  EXPECT_FALSE(rec.wait_done(200)) << "only the last window ends with on_done";
  std::vector<std::string> both = rec.taken(), rest = next.taken();
  EXPECT_LT(both.size(), 15u) << "the first window went on after the new send";
  both.insert(both.end(), rest.begin(), rest.end());
  EXPECT_EQ(both, numbered(0, 30)) << "every answer once, in arrival order";
  EXPECT_EQ(next.done.load(), 1);
}

TEST_F(Channel, ABatchOwnersReceiverSleepsBetweenWindowsAndLosesNothingMeanwhile) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  dev.queue(5);  // between windows: they wait in the socket for the next
  sleep_ms(300);
  EXPECT_EQ(rec.replies.load(), 0);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 5));
}

TEST_F(Channel, TheDropCountIsThereWhereTheSystemKeepsOne) {
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
#ifndef _WIN32
  EXPECT_EQ(udp_bcast_dropped(), 0) << "before the first window, nothing was lost";
#endif
  dev.queue(3);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
#ifdef _WIN32
  EXPECT_EQ(udp_bcast_dropped(), -1) << "Winsock keeps no count of what it drops";
#else
  EXPECT_EQ(udp_bcast_dropped(), 0);
#endif
  udp_bcast_close();
  EXPECT_EQ(udp_bcast_dropped(), -1);
}

TEST_F(Channel, BatchingIsTheOwnersChoiceAndAReopenedChannelReadsOneAPoll) {
  EXPECT_EQ(udp_bcast_set_batch(0), -1);
  EXPECT_EQ(udp_bcast_set_batch(-5), -1);
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  ASSERT_EQ(udp_bcast_set_batch(1), 0);  // and back to one a poll
  dev.queue(12);
  sleep_ms(50);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 10));
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max + 1000), 0);
  udp_bcast_close();
  EXPECT_EQ(udp_bcast_set_batch(bcast_batch_max), -1);
  ASSERT_EQ(udp_bcast_open(channel_port), 0);
  dev.queue(12);
  sleep_ms(50);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  std::vector<std::string> twice = numbered(0, 10), again = numbered(0, 10);
  twice.insert(twice.end(), again.begin(), again.end());
  EXPECT_EQ(rec.taken(), twice) << "the new channel reads one a poll again";
}

TEST_F(Channel, SendDuringAWindowRestartsItWithOneDoneAtTheEnd) {
  auto t0 = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  sleep_ms(450);
  EXPECT_EQ(rec.done.load(), 0);
  // Ten fresh polls: twelve queued now give ten in the restarted window.
  dev.queue(12);
  auto t1 = clock_type::now();
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_GE(ms_since(t1), 850);
  EXPECT_GE(ms_since(t0), 1300);
  EXPECT_EQ(rec.done.load(), 1);
  EXPECT_EQ(rec.taken(), numbered(0, 10));
  EXPECT_FALSE(rec.wait_done(400));
}

TEST_F(Channel, RequestPollsAndWaitAreOverriddenByAFullWindow) {
  dev.queue(12);
  bcast_request r = rec.request();
  r.polls = 0;
  r.wait_ms = 0;
  auto t0 = clock_type::now();
  ASSERT_EQ(send(r), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_GE(ms_since(t0), 850);
  EXPECT_EQ(rec.replies.load(), 10);
}

TEST_F(Channel, TheRequestIsCopiedSoTheCallerMayReuseIt) {
  dev.queue(1);
  recorder other;
  bcast_request r = rec.request();
  ASSERT_EQ(send(r), 0);
  r = other.request();  // overwritten before the receiver reads a single datagram
  r.port = 1;
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.replies.load(), 1);
  EXPECT_EQ(other.replies.load(), 0);
}

TEST_F(Channel, EmptyAndOversizedDatagramsAreNotDeliveredButUseTheirPoll) {
  dev.send("");
  dev.send(std::string(1001, '?'));
  dev.send(std::string(1000, '?'));  // exactly 1000: delivered whole
  dev.queue(9);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  std::vector<std::string> got = rec.taken();
  ASSERT_EQ(got.size(), 8u);
  EXPECT_EQ(got[0].size(), 1000u);
  EXPECT_EQ(std::vector<std::string>(got.begin() + 1, got.end()), numbered(0, 7));
}

TEST_F(Channel, NullCallbacksTakeAndDropDatagramsDuringTheWindow) {
  dev.queue(3);
  ASSERT_EQ(send(rec.request(false, false)), 0);
  sleep_ms(1300);
  EXPECT_EQ(rec.replies.load(), 0);
  EXPECT_EQ(rec.done.load(), 0);
  // The window took the three: the next one finds only what comes now.
  dev.queue(1, 3);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(3, 1));
}

TEST_F(Channel, DiscardDropsTheBacklogOnlyAndTheNextWindowHearsWhatComesAfter) {
  dev.queue(12);
  dev.send("");
  dev.send(std::string(1001, '?'));
  sleep_ms(100);  // all fourteen in the socket before the discard looks
  EXPECT_EQ(udp_bcast_discard(), 14);
  EXPECT_EQ(udp_bcast_discard(), 0);
  dev.queue(2, 12);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(12, 2));

  udp_bcast_close();
  EXPECT_EQ(udp_bcast_discard(), -1);
}

TEST_F(Channel, ReopenedChannelSendsAndReceivesLikeTheFirst) {
  udp_bcast_close();
  ASSERT_EQ(udp_bcast_open(channel_port), 0);
  dev.queue(2);
  ASSERT_EQ(send(rec.request()), 0);
  ASSERT_TRUE(rec.wait_done(3000));
  EXPECT_EQ(rec.taken(), numbered(0, 2));
}

// The senders' ports of the probes that reach a socket within ms.
std::vector<int32_t> probes_heard(int32_t sock, int64_t ms) {
  std::vector<int32_t> ports;
  auto t0 = clock_type::now();
  for (int64_t left = ms; left > 0; left = ms - ms_since(t0)) {
    ws_set rd;
    ws_set_zero(&rd);
    ws_set_add(&rd, sock);
    ws_timeval limit{static_cast<int32_t>(left / 1000), static_cast<int32_t>(left % 1000 * 1000)};
    if (ws_select(0, &rd, nullptr, &limit) != 1) break;
    char buf[16];
    sockaddr_in from;
    if (udp_recv(sock, buf, sizeof buf, &from) != 1 || buf[0] != '?') continue;
    int32_t port = 0;
    ip_to_bytes(&from, nullptr, &port);
    ports.push_back(port);
  }
  return ports;
}

struct DevicesPort : Channel {
  int32_t listener = -1;
  void SetUp() override {
    Channel::SetUp();
    int32_t port = device_port;
    listener = udp_open(&port, 0);
    ASSERT_GT(listener, 0);
  }
  void TearDown() override {
    if (listener > 0) udp_close(listener);
    Channel::TearDown();
  }
};

// What a listener beside the channel hears of one send to every adapter. Known
// Wine difference: Wine reports the lab's adapter without carrier as up, so the
// channel also broadcasts there, and Linux hands that copy to local sockets.
std::vector<int32_t> one_send_heard(int32_t port) {
  if (under_wine()) return {port, port};
  return {port};
}

TEST_F(DevicesPort, OneAdapterMeansOneProbePerSendFromTheChannelsPort) {
  for (int i = 0; i < 3; i++) {
    ASSERT_EQ(send(rec.request()), 0);
    EXPECT_EQ(probes_heard(listener, 300), one_send_heard(channel_port)) << "send " << i;
  }
}

TEST_F(DevicesPort, SendsLimitedToNamedAdaptersGoOnlyWhereTheyCanBroadcast) {
  const char* lab0[] = {"lab0"};
  ASSERT_EQ(udp_bcast_set_adapters(lab0, 1), 0);
  ASSERT_EQ(send(rec.request()), 0);
  EXPECT_EQ(probes_heard(listener, 300), std::vector<int32_t>{channel_port});

  // Loopback cannot broadcast, and an adapter that is not there gets nothing.
  const char* none[] = {"lo", "no-such-adapter"};
  ASSERT_EQ(udp_bcast_set_adapters(none, 2), 0);
  ASSERT_EQ(send(rec.request()), 0);
  EXPECT_TRUE(probes_heard(listener, 300).empty());
  ASSERT_TRUE(rec.wait_done(3000)) << "a window runs all the same";

  ASSERT_EQ(udp_bcast_set_adapters(nullptr, 0), 0);
  ASSERT_EQ(send(rec.request()), 0);
  EXPECT_EQ(probes_heard(listener, 300), one_send_heard(channel_port));
}

TEST_F(Channel, AdapterNamesAreRefusedWhenTooManyTooLongOrClosed) {
  std::vector<const char*> many(bcast_adapters_max + 1, "lab0");
  EXPECT_EQ(udp_bcast_set_adapters(many.data(), bcast_adapters_max + 1), -1);
  EXPECT_EQ(udp_bcast_set_adapters(many.data(), bcast_adapters_max), 0);
  std::string long_name(adapter_name_size, 'x');
  const char* too_long[] = {"lab0", long_name.c_str()};
  EXPECT_EQ(udp_bcast_set_adapters(too_long, 2), -1);
  const char* missing[] = {nullptr};
  EXPECT_EQ(udp_bcast_set_adapters(missing, 1), -1);
  EXPECT_EQ(udp_bcast_set_adapters(nullptr, 1), -1);
  EXPECT_EQ(udp_bcast_set_adapters(many.data(), -1), -1);
  udp_bcast_close();
  EXPECT_EQ(udp_bcast_set_adapters(many.data(), 1), -1);
}

// A reply callback that waits for the closing thread, as a list update
// handed to a window's thread does.
struct served_reply {
  std::atomic<int> waiting{0};
  std::atomic<int> served{0};
  std::atomic<int32_t> sent_after{1};
  sema* go = sema_create();
  ~served_reply() { sema_close(go); }
  static void on_reply(void* ctx, const char*, const char*, int32_t) {
    auto* s = static_cast<served_reply*>(ctx);
    s->waiting.store(1);
    sema_wait(s->go, 0);
    // By now the close has begun: a send from here must not reopen the window.
    bcast_request again{};
    again.ctx = s;
    again.on_done = on_done;
    s->sent_after.store(udp_bcast_send(&again, probe, 1));
  }
  static void on_done(void* ctx) { static_cast<served_reply*>(ctx)->served.store(-1000); }
  static void serve(void* ctx) {
    auto* s = static_cast<served_reply*>(ctx);
    if (s->waiting.exchange(0)) {
      s->served++;
      sema_post(s->go);
    }
  }
};

TEST_F(Channel, CloseServesAReplyThatWaitsForTheClosingThread) {
  served_reply pending;
  dev.queue(1);
  bcast_request r{};
  r.port = device_port;
  r.ctx = &pending;
  r.on_reply = served_reply::on_reply;
  r.on_done = served_reply::on_done;
  ASSERT_EQ(send(r), 0);
  for (int i = 0; i < 300 && !pending.waiting.load(); i++) sleep_tick();
  ASSERT_EQ(pending.waiting.load(), 1);

  std::atomic<bool> closed{false};
  std::thread closer([&] {
    udp_bcast_set_wait_hook(served_reply::serve, &pending);
    udp_bcast_close();
    closed.store(true);
  });
  for (int i = 0; i < 500 && !closed.load(); i++) sleep_tick();
  bool in_time = closed.load();
  if (!in_time) sema_post(pending.go);  // let the stuck pair go, then report
  closer.join();
  EXPECT_TRUE(in_time);
  EXPECT_EQ(pending.served.load(), 1);  // served once, and no on_done after the close
  EXPECT_EQ(pending.sent_after.load(), -1);
}

// Both ways of reading: a batch owner's receiver waits on its sockets too.
class ChannelCycles : public ::testing::TestWithParam<int32_t> {};

TEST_P(ChannelCycles, OpenSendCloseUnderAFloodNeitherHangsNorLeaks) {
  REQUIRE_LAB();
  int before = open_descriptor_count();
  std::atomic<bool> stop{false};
  std::thread flood([&] {
    device dev;
    std::string reply = "?flood";
    while (!stop.load()) {
      for (int i = 0; i < 50; i++) dev.send(reply);
      sleep_ms(1);
    }
  });
  recorder rec;
  rec.reply_us.store(2000);  // a close often comes while a reply is being handled
  bcast_request r = rec.request();
  int opened = 0;
  int64_t slowest = 0;
  for (int i = 0; i < 200; i++) {
    if (udp_bcast_open(channel_port) != 0) continue;
    opened++;
    udp_bcast_set_batch(GetParam());
    EXPECT_EQ(udp_bcast_send(&r, probe, 1), 0);
    if (i % 4 == 0) sleep_ms(static_cast<uint32_t>(i % 20));
    auto t0 = clock_type::now();
    udp_bcast_close();
    slowest = std::max(slowest, ms_since(t0));
  }
  stop.store(true);
  flood.join();
  EXPECT_EQ(opened, 200);
  EXPECT_LT(slowest, 3000);
  EXPECT_EQ(open_descriptor_count(), before);
  EXPECT_EQ(udp_bcast_send(&r, probe, 1), -1);
}

INSTANTIATE_TEST_SUITE_P(OneAPollAndBatches, ChannelCycles, ::testing::Values(1, bcast_batch_max));

}  // namespace
