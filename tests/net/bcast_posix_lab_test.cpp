#include <gtest/gtest.h>
#include <malloc.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "net/bcast.h"
#include "net/ip.h"
#include "tests/net/channel_recorder.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"
#include "tests/testing/rmem_cap.h"
#include "tests/testing/thread_limit.h"

namespace {

// A socket at the devices' port that learns where each probe was sent to.
struct destination_tap {
  int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  destination_tap() {
    int on = 1;
    setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
    sockaddr_in ep{};
    ep.sin_family = AF_INET;
    ep.sin_port = htons(device_port);
    if (bind(fd, reinterpret_cast<sockaddr*>(&ep), sizeof ep) != 0) {
      close(fd);
      fd = -1;
    }
  }
  ~destination_tap() {
    if (fd >= 0) close(fd);
  }
  // "to:port from port" for every datagram within ms.
  std::vector<std::string> heard(int ms) {
    std::vector<std::string> out;
    pollfd p{fd, POLLIN, 0};
    while (poll(&p, 1, ms) == 1) {
      char buf[16], control[CMSG_SPACE(sizeof(in_pktinfo))];
      sockaddr_in from{};
      iovec iov{buf, sizeof buf};
      msghdr msg{};
      msg.msg_name = &from;
      msg.msg_namelen = sizeof from;
      msg.msg_iov = &iov;
      msg.msg_iovlen = 1;
      msg.msg_control = control;
      msg.msg_controllen = sizeof control;
      if (recvmsg(fd, &msg, 0) < 0) break;
      in_addr to{};
      for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level == IPPROTO_IP && c->cmsg_type == IP_PKTINFO)
          to = reinterpret_cast<const in_pktinfo*>(CMSG_DATA(c))->ipi_addr;
      }
      const auto* b = reinterpret_cast<const unsigned char*>(&to.s_addr);
      char line[64];
      std::snprintf(line, sizeof line, "%d.%d.%d.%d from %d", b[0], b[1], b[2], b[3],
                    ntohs(from.sin_port));
      out.push_back(line);
    }
    return out;
  }
};

struct ChannelOnPosix : ::testing::Test {
  destination_tap tap;
  void SetUp() override {
    REQUIRE_LAB();
    ASSERT_GE(tap.fd, 0);
    ASSERT_EQ(udp_bcast_open(channel_port), 0);
  }
  void TearDown() override { udp_bcast_close(); }
  void send() {
    bcast_request r{};
    r.port = device_port;
    ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
  }
};

TEST_F(ChannelOnPosix, OneAdapterGetsTheLimitedBroadcastAndNothingElse) {
  send();
  EXPECT_EQ(tap.heard(300), std::vector<std::string>{"255.255.255.255 from 10000"});
}

TEST_F(ChannelOnPosix, ANamedAdapterGetsItsNetworksDirectedBroadcastInstead) {
  const char* lab0[] = {"lab0"};
  ASSERT_EQ(udp_bcast_set_adapters(lab0, 1), 0);
  send();
  EXPECT_EQ(tap.heard(300), std::vector<std::string>{"10.77.0.255 from 10000"});
}

long rmem_max() {
  FILE* f = std::fopen("/proc/sys/net/core/rmem_max", "r");
  long v = 0;
  if (f && std::fscanf(f, "%ld", &v) != 1) v = 0;
  if (f) std::fclose(f);
  return v;
}

TEST_F(ChannelOnPosix, TheReceiveBufferIsAsLargeAsTheSystemGrants) {
  long limit = rmem_max();
  ASSERT_GT(limit, 0);
  // Linux grants at most rmem_max and reports twice what it grants.
  long expected = 2 * std::min<long>(bcast_receive_buffer_wanted, limit);
  EXPECT_EQ(udp_bcast_receive_buffer(), expected);
  udp_bcast_close();
  EXPECT_EQ(udp_bcast_receive_buffer(), -1);
}

int reply_calls = 0;
void count_reply(void*, const char*, const char*, int32_t) { reply_calls++; }
void count_done(void*) { reply_calls++; }

// Before, the open reported success without a receiver and the close then
// waited for ever for it to end.
TEST(ChannelThreadLimit, OpenWithoutAReceiverFailsAndLeavesNothingOpen) {
  REQUIRE_LAB();
  RUN_UNDER_THREAD_LIMIT(20000);
  int before = open_descriptor_count();
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(udp_bcast_open(channel_port), -2) << "told apart from a port in use";
  bcast_request r{channel_port, nullptr, count_reply, count_done, 0, 0};
  EXPECT_EQ(udp_bcast_send(&r, "?", 1), -1);
  udp_bcast_close();
  EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(500));
  EXPECT_EQ(open_descriptor_count(), before) << "the socket is closed";
  int32_t port = channel_port;
  int32_t again = udp_open(&port, 1);
  EXPECT_GT(again, 0) << "the port is free again";
  udp_close(again);
  EXPECT_EQ(reply_calls, 0);
}

// Blocks the first reply until released: meanwhile what arrives can only
// wait in the socket, whose buffer is made to hold a few datagrams.
struct held_first_reply {
  recorder rec;
  sema* go = sema_create();
  std::atomic<int> waiting{0};
  ~held_first_reply() { sema_close(go); }
  static void on_reply(void* ctx, const char* sender, const char* data, int32_t len) {
    auto* h = static_cast<held_first_reply*>(ctx);
    if (h->waiting.exchange(1) == 0) sema_wait(h->go, 0);
    recorder::on_reply(&h->rec, sender, data, len);
  }
  static void on_done(void* ctx) { recorder::on_done(&static_cast<held_first_reply*>(ctx)->rec); }
};

TEST(ChannelDrops, EveryDatagramIsEitherDeliveredOrCountedAsDropped) {
  REQUIRE_LAB();
  rmem_cap(2048);
  int32_t opened = udp_bcast_open(channel_port);
  rmem_cap(0);
  ASSERT_EQ(opened, 0);
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  held_first_reply h;
  device dev;
  bcast_request r{device_port, &h, held_first_reply::on_reply, held_first_reply::on_done, 0, 0};
  ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
  dev.queue(1);
  for (int i = 0; i < 300 && !h.waiting.load(); i++) sleep_ms(1);
  ASSERT_EQ(h.waiting.load(), 1);
  constexpr int sent = 400;
  dev.queue(sent - 1, 1);
  sema_post(h.go);
  ASSERT_TRUE(h.rec.wait_done(3000));
  int32_t dropped = udp_bcast_dropped();
  int delivered = h.rec.replies.load();
  EXPECT_GT(dropped, 0) << "a buffer of a few datagrams overflowed";
  EXPECT_EQ(delivered + dropped, sent);
  std::vector<std::string> got = h.rec.taken();
  EXPECT_TRUE(std::is_sorted(got.begin(), got.end(),
                             [](const std::string& a, const std::string& b) {
                               return std::atoi(a.c_str() + 1) < std::atoi(b.c_str() + 1);
                             }))
      << "what was kept came in arrival order";

  // The count is the last window's: one that loses nothing says 0.
  dev.queue(2, sent);
  ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
  ASSERT_TRUE(h.rec.wait_done(3000));
  EXPECT_EQ(udp_bcast_dropped(), 0);
  EXPECT_EQ(h.rec.replies.load(), delivered + 2);
  udp_bcast_close();
}

size_t heap_in_use() { return mallinfo2().uordblks; }

// Every open makes a socket, a wake socket, a semaphore and a thread: a
// hundred opens and closes leave the heap and the descriptors as they were.
TEST(ChannelLifecycle, OpenAndCloseGiveBackAllTheyTake) {
  REQUIRE_LAB();
  recorder rec;
  bcast_request r = rec.request();
  auto cycle = [&](int32_t per_poll) {
    ASSERT_EQ(udp_bcast_open(channel_port), 0);
    ASSERT_EQ(udp_bcast_set_batch(per_poll), 0);
    ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
    udp_bcast_close();
  };
  cycle(1);  // what the first open of a process makes once, for good
  size_t heap = heap_in_use();
  int descriptors = open_descriptor_count();
  for (int i = 0; i < 100; i++) cycle(i % 2 ? 1 : bcast_batch_max);
  EXPECT_EQ(open_descriptor_count(), descriptors);
  EXPECT_LT(heap_in_use(), heap + 2048) << "the heap grew by " << heap_in_use() - heap;
}

double cpu_ms() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1e3 +
         (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e3;
}

// A batch window waits on its sockets: one in which nothing arrives, after
// the send's own wake, costs the process next to nothing, and so does one
// with a handful of answers.
TEST(ChannelBatchWindow, AQuietWindowSleepsThroughIt) {
  REQUIRE_LAB();
  ASSERT_EQ(udp_bcast_open(channel_port), 0);
  ASSERT_EQ(udp_bcast_set_batch(bcast_batch_max), 0);
  recorder rec;
  device dev;
  bcast_request r = rec.request();
  double before = cpu_ms();
  ASSERT_EQ(udp_bcast_send(&r, "?", 1), 0);
  sleep_ms(300);
  dev.queue(3);
  ASSERT_TRUE(rec.wait_done(3000));
  double spent = cpu_ms() - before;
  EXPECT_EQ(rec.replies.load(), 3);
  EXPECT_LT(spent, 100) << "the receiver woke for more than its wake and three answers";
  udp_bcast_close();
}

}  // namespace
