#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "net/ip.h"
#include "net/net.h"
#include "net/stream.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"
#include "support/clock_sys.h"
#include "support/log.h"
#include "tests/support/temp_dir.h"
#include "tests/testing/fd_count.h"
#include "tests/testing/lab_guard.h"

namespace {

using namespace std::chrono_literals;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

// Nobody holds this address on the lab's far side: no ARP answer, so a
// connect to it stays pending for about three seconds.
constexpr const char* silent_host = "10.77.0.2";
constexpr int32_t refused_port = 11013;

// Linux shows a refused connect as writable, so it ends as failed at once;
// Windows shows it only in the except set, so it ends at its timeout.
#ifdef _WIN32
constexpr bool refusal_seen = false;
#else
constexpr bool refusal_seen = true;
#endif

std::string fail_lines(int n) {
  std::string out;
  for (int i = 0; refusal_seen && i < n; i++) out += "*** Connect Fail ***\n";
  return out;
}

// The callbacks' story, in the order the manager told it.
struct recorder {
  std::mutex m;
  std::condition_variable cv;
  std::vector<std::string> events;

  void add(const std::string& e) {
    std::lock_guard<std::mutex> g(m);
    events.push_back(e);
    cv.notify_all();
  }
  bool wait_for(size_t n, std::chrono::milliseconds limit = 3000ms) {
    std::unique_lock<std::mutex> g(m);
    return cv.wait_for(g, limit, [&] { return events.size() >= n; });
  }
  std::vector<std::string> story() {
    std::lock_guard<std::mutex> g(m);
    return events;
  }
};

// One attempt's context: what its callback saw.
struct attempt {
  recorder* rec;
  std::string name;
  int32_t sock = 0;
  sockaddr_in peer{};
  bool open_in_callback = false;
  int32_t pending_in_callback = -2;
};

bool socket_open(int32_t sock) {
  sockaddr_in ep;
  return ws_getsockname(sock, &ep) == 0;
}

void seen(attempt* a, int32_t sock, const sockaddr_in* peer, const char* what) {
  a->sock = sock;
  if (peer) a->peer = *peer;
  a->open_in_callback = socket_open(sock);
  a->pending_in_callback = tcp_cx_pending();
  a->rec->add(a->name + " " + what);
}

void on_fail(void* ctx) {
  auto* a = static_cast<attempt*>(ctx);
  a->pending_in_callback = tcp_cx_pending();
  a->rec->add(a->name + " fail");
}
void on_connected(void* ctx, int32_t sock) {
  seen(static_cast<attempt*>(ctx), sock, nullptr, "connected");
}
void on_fail_peer(void* ctx, int32_t sock, const sockaddr_in* peer) {
  seen(static_cast<attempt*>(ctx), sock, peer, "fail_peer");
}
void on_connected_peer(void* ctx, int32_t sock, const sockaddr_in* peer) {
  seen(static_cast<attempt*>(ctx), sock, peer, "connected_peer");
}

sockaddr_in endpoint(const char* host, int32_t port) {
  sockaddr_in ep;
  ip_resolve(&ep, host, port);
  return ep;
}

bool same_endpoint(const sockaddr_in& a, const sockaddr_in& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Reads exactly len bytes, or fewer when the peer closes first.
std::string recv_all(int32_t sock, int32_t len) {
  std::string out;
  char buf[64];
  while (static_cast<int32_t>(out.size()) < len) {
    int32_t n = tcp_recv(sock, buf, len - static_cast<int32_t>(out.size()));
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

class Manager : public temp_dir_test {
 protected:
  // Descriptors open now, log.txt's included (it opens with the first message).
  static int descriptors() {
    log_print("%s", "");
    return open_descriptor_count();
  }
  // Whether the descriptor count sees sockets at all (Wine's handle count does not).
  static bool sockets_counted() {
    int before = open_descriptor_count();
    int32_t s = ws_socket(WS_SOCK_STREAM);
    bool seen = open_descriptor_count() == before + 1;
    ws_closesocket(s);
    return seen;
  }

  void SetUp() override {
    temp_dir_test::SetUp();
    REQUIRE_LAB();
    mem_start();
    baseline_ = my_total.load();  // the allocator's own lock
    ASSERT_EQ(net_start(), 0);
    running_ = true;
  }
  void TearDown() override {
    if (running_) stop();
    EXPECT_EQ(my_total.load(), baseline_) << "blocks still out after the manager stopped";
    mem_stop();
    temp_dir_test::TearDown();
  }
  void stop() {
    running_ = false;
    net_stop();
  }
  void stop_prompt() {
    running_ = false;
    net_stop_prompt();
  }
  void restart() {
    ASSERT_EQ(net_start(), 0);
    running_ = true;
  }
  static bool wait_until(const std::function<bool()>& done, std::chrono::milliseconds limit) {
    uint64_t end = sys_monotonic_ms() + static_cast<uint64_t>(limit.count());
    while (!done()) {
      if (sys_monotonic_ms() > end) return false;
      std::this_thread::sleep_for(5ms);
    }
    return true;
  }

  recorder rec;

 private:
  bool running_ = false;
  int32_t baseline_ = 0;
};

TEST_F(Manager, IdsCountFromOneAcrossBothWaysOfQueueing) {
  int32_t l = tcp_listen(11010);
  ASSERT_GT(l, 0);
  sockaddr_in ep = endpoint("127.0.0.1", 11010);
  attempt a{&rec, "a"}, b{&rec, "b"}, c{&rec, "c"};
  CaptureStdout();
  int32_t id_a = tcp_connect("127.0.0.1", 11010, 5, &a, on_fail, on_connected);
  int32_t id_b = tcp_connect_send(&ep, nullptr, 0, 5, &b, on_fail_peer, on_connected_peer);
  int32_t id_c = tcp_connect("127.0.0.1", 11010, 5, &c, on_fail, on_connected);
  bool all = rec.wait_for(3);
  GetCapturedStdout();
  EXPECT_EQ(id_a, 1);
  EXPECT_EQ(id_b, 2);
  EXPECT_EQ(id_c, 3);
  ASSERT_TRUE(all);
  EXPECT_EQ(rec.story(),
            (std::vector<std::string>{"a connected", "b connected_peer", "c connected"}));
  for (attempt* x : {&a, &b, &c}) {
    tcp_close(x->sock);
    tcp_close(tcp_accept(l, nullptr));
  }
  tcp_close(l);
}

TEST_F(Manager, ArgumentErrorsQueueNothingAndUseNoId) {
  CaptureStdout();
  EXPECT_EQ(tcp_connect(nullptr, 80, 5, nullptr, on_fail, on_connected), -1);
  EXPECT_EQ(tcp_connect("", 80, 5, nullptr, on_fail, on_connected), -1);
  EXPECT_EQ(tcp_connect(silent_host, 0, 5, nullptr, on_fail, on_connected), -1);
  EXPECT_EQ(tcp_connect("no-such-host.invalid", 80, 5, nullptr, on_fail, on_connected), -2);
  EXPECT_EQ(tcp_cx_pending(), 0);
  attempt a{&rec, "a"};
  int32_t id = tcp_connect(silent_host, 80, 60, &a, on_fail, on_connected);
  tcp_cx_cancel(id);
  EXPECT_EQ(GetCapturedStdout(), "tcp_cx_cancel\n");
  EXPECT_EQ(id, 1);
}

TEST_F(Manager, ConnectedSocketIsHandedToOnConnectedWithoutAMessage) {
  int32_t l = tcp_listen(11011);
  ASSERT_GT(l, 0);
  attempt a{&rec, "a"};
  CaptureStdout();
  tcp_connect("127.0.0.1", 11011, 5, &a, on_fail, on_connected);
  bool done = rec.wait_for(1);
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(done);
  EXPECT_EQ(out, "");
  EXPECT_EQ(rec.story(), std::vector<std::string>{"a connected"});
  EXPECT_EQ(a.pending_in_callback, 0) << "the entry leaves the table before its callback";
  ASSERT_GT(a.sock, 0);
  sockaddr_in from;
  int32_t s = tcp_accept(l, &from);
  ASSERT_GT(s, 0);
  EXPECT_EQ(ntohs(from.sin_port), sock_local_port(a.sock));
  EXPECT_EQ(tcp_send(a.sock, "x", 1), 1) << "the socket is the connected one and still open";
  EXPECT_EQ(recv_all(s, 1), "x");
  tcp_close(a.sock);
  tcp_close(s);
  tcp_close(l);
}

TEST_F(Manager, ConnectSendDeliversItsPayloadAndLogsBothLines) {
  int32_t l = tcp_listen(11012);
  ASSERT_GT(l, 0);
  // The lab's own address: its four bytes differ, so each has its place in the line.
  sockaddr_in ep = endpoint("10.77.0.1", 11012);
  attempt a{&rec, "a"};
  char payload[] = "hello";
  int32_t before = my_total.load();
  CaptureStdout();
  int32_t id = tcp_connect_send(&ep, payload, 5, 5, &a, on_fail_peer, on_connected_peer);
  std::memset(payload, 'x', sizeof payload - 1);  // the caller's buffer is free at once
  bool done = rec.wait_for(1);
  std::string out = GetCapturedStdout();
  ASSERT_GT(id, 0);
  ASSERT_TRUE(done);
  EXPECT_EQ(out, "Connect_Send(5)\nConnect Complete: 10.77.0.1:" +
                     std::to_string(sock_local_port(a.sock)) + "\n")
      << "the local end, not the peer";
  EXPECT_TRUE(same_endpoint(a.peer, ep));
  EXPECT_EQ(my_total.load(), before) << "the payload copy went back to the allocator";
  int32_t s = tcp_accept(l, nullptr);
  EXPECT_EQ(recv_all(s, 5), "hello");
  tcp_close(a.sock);
  tcp_close(s);
  tcp_close(l);
}

TEST_F(Manager, ConnectSendWithoutPayloadOrTakerSendsNothingAndCloses) {
  int32_t l = tcp_listen(11014);
  ASSERT_GT(l, 0);
  sockaddr_in ep = endpoint("127.0.0.1", 11014);
  attempt a{&rec, "a"};
  CaptureStdout();
  // Length 0 with bytes: no send and no Connect_Send line, but the taker is told.
  tcp_connect_send(&ep, "abc", 0, 5, &a, on_fail_peer, on_connected_peer);
  bool done = rec.wait_for(1);
  // No taker: the manager closes the socket itself, silently.
  tcp_connect_send(&ep, nullptr, 3, 5, nullptr, nullptr, nullptr);
  bool drained = wait_until([] { return tcp_cx_pending() == 0; }, 2000ms);
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(done);
  ASSERT_TRUE(drained);
  EXPECT_EQ(out, "Connect Complete: 127.0.0.1:" + std::to_string(sock_local_port(a.sock)) + "\n");
  int32_t first = tcp_accept(l, nullptr), second = tcp_accept(l, nullptr);
  tcp_close(a.sock);
  EXPECT_EQ(recv_all(first, 1), "") << "nothing but the close arrives";
  EXPECT_EQ(recv_all(second, 1), "");
  tcp_close(first);
  tcp_close(second);
  tcp_close(l);
}

TEST_F(Manager, RefusedAttemptsFailWithTheirCallbacksAndClosedSockets) {
  sockaddr_in ep = endpoint("127.0.0.1", refused_port);
  attempt a{&rec, "a"}, b{&rec, "b"};
  int fds = descriptors();
  CaptureStdout();
  tcp_connect("127.0.0.1", refused_port, 1, &a, on_fail, on_connected);
  bool first = rec.wait_for(1);
  tcp_connect_send(&ep, "hello", 5, 1, &b, on_fail_peer, on_connected_peer);
  bool second = rec.wait_for(2);
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(out, fail_lines(2));
  EXPECT_EQ(rec.story(), (std::vector<std::string>{"a fail", "b fail_peer"}));
  EXPECT_FALSE(b.open_in_callback) << "the socket is closed before the callback";
  EXPECT_TRUE(same_endpoint(b.peer, ep));
  EXPECT_EQ(open_descriptor_count(), fds);
}

TEST_F(Manager, TimeoutZeroEndsAtTheFirstPassAndLongerOnesOnTime) {
  sockaddr_in ep = endpoint(silent_host, 80);
  attempt a{&rec, "a"}, b{&rec, "b"};
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  tcp_connect(silent_host, 80, 0, &a, on_fail, on_connected);
  bool first = rec.wait_for(1);
  auto t1 = std::chrono::steady_clock::now();
  tcp_connect_send(&ep, "abc", 3, 1, &b, on_fail_peer, on_connected_peer);
  bool second = rec.wait_for(2);
  auto t2 = std::chrono::steady_clock::now();
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(first && second);
  EXPECT_LT(t1 - t0, 100ms);
  // The manager counts whole milliseconds: a start read just before a tick
  // and an end read just after one can fall up to a millisecond short.
  EXPECT_GE(t2 - t1, 999ms);
  EXPECT_LT(t2 - t1, 1500ms);
  EXPECT_EQ(out, "") << "a time-out is not logged";
  EXPECT_EQ(rec.story(), (std::vector<std::string>{"a fail", "b fail_peer"}));
  EXPECT_FALSE(b.open_in_callback);
}

struct trio {
  recorder* rec;
  attempt a, b, c;
};

// Runs on the manager thread, so all three are queued before its next pass.
void queue_three(void* ctx) {
  auto* t = static_cast<trio*>(ctx);
  sockaddr_in refused = endpoint("127.0.0.1", refused_port);
  tcp_connect_send(&refused, nullptr, 0, 0, &t->a, on_fail_peer, on_connected_peer);
  tcp_connect(silent_host, 80, 0, &t->b, on_fail, on_connected);
  tcp_connect(silent_host, 80, 0, &t->c, on_fail, on_connected);
  // A refused connect may need a moment to show, even on loopback.
  std::this_thread::sleep_for(50ms);
  t->rec->add("queued");
}

TEST_F(Manager, AttemptsEndingTogetherAreReportedInQueueOrderOnePerPass) {
  trio t{&rec, attempt{&rec, "a"}, attempt{&rec, "b"}, attempt{&rec, "c"}};
  CaptureStdout();
  tcp_connect(silent_host, 80, 0, &t, queue_three, on_connected);
  bool done = rec.wait_for(4);
  GetCapturedStdout();
  ASSERT_TRUE(done);
  EXPECT_EQ(rec.story(), (std::vector<std::string>{"queued", "a fail_peer", "b fail", "c fail"}));
  EXPECT_EQ(t.a.pending_in_callback, 2) << "one ending per pass";
  EXPECT_EQ(t.b.pending_in_callback, 1);
  EXPECT_EQ(t.c.pending_in_callback, 0);
}

TEST_F(Manager, CancelClosesAPendingAttemptWithoutCallbackAndIgnoresOthers) {
  attempt a{&rec, "a"};
  int fds = descriptors();
  CaptureStdout();
  tcp_cx_cancel(12345);
  std::string unknown = GetCapturedStdout();
  int32_t id = tcp_connect(silent_host, 80, 60, &a, on_fail, on_connected);
  int fds_pending = open_descriptor_count();
  CaptureStdout();
  tcp_cx_cancel(id);
  tcp_cx_cancel(id);
  std::this_thread::sleep_for(100ms);
  std::string out = GetCapturedStdout();
  EXPECT_EQ(unknown, "");
  if (sockets_counted()) {
    EXPECT_EQ(fds_pending, fds + 1);
  }
  EXPECT_EQ(out, "tcp_cx_cancel\n") << "the second cancel finds nothing";
  EXPECT_EQ(open_descriptor_count(), fds);
  EXPECT_EQ(tcp_cx_pending(), 0);
  EXPECT_TRUE(rec.story().empty());
}

TEST_F(Manager, FinDropsPendingAttemptsWithTheirPayloadsAndNoCallback) {
  sockaddr_in ep = endpoint(silent_host, 80);
  attempt a{&rec, "a"};
  int fds = descriptors();
  int32_t before = my_total.load();
  for (int i = 0; i < 3; i++)
    tcp_connect_send(&ep, "hello", 5, 60, &a, on_fail_peer, on_connected_peer);
  tcp_connect(silent_host, 80, 60, &a, on_fail, on_connected);
  EXPECT_EQ(my_total.load(), before + 15);
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  stop();
  auto waited = std::chrono::steady_clock::now() - t0;
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out, "");
  EXPECT_EQ(my_total.load(), before);
  EXPECT_TRUE(rec.story().empty());
  EXPECT_EQ(tcp_cx_pending(), -1);
  EXPECT_EQ(tcp_cx_running(), 0);
  EXPECT_LT(waited, 1900ms) << "the thread ends within the first second";
  EXPECT_EQ(open_descriptor_count(), fds);
}

std::atomic<bool> holding{false}, release_hold{false};

void hold_thread(void* ctx, int32_t sock) {
  static_cast<attempt*>(ctx)->sock = sock;
  holding = true;
  while (!release_hold) std::this_thread::sleep_for(10ms);
}

TEST_F(Manager, FinGivesUpAfterThreeSecondsWhenACallbackHoldsTheThread) {
  int32_t l = tcp_listen(11015);
  ASSERT_GT(l, 0);
  attempt a{&rec, "a"};
  tcp_connect("127.0.0.1", 11015, 5, &a, on_fail, hold_thread);
  ASSERT_TRUE(wait_until([] { return holding.load(); }, 2000ms));
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  stop();
  auto waited = std::chrono::steady_clock::now() - t0;
  std::string out = GetCapturedStdout();
  EXPECT_EQ(out, "tcp_cx_fin: abort\n");
  EXPECT_GE(waited, 2900ms);
  EXPECT_LT(waited, 3500ms) << "three steps of a second, not four";
  EXPECT_EQ(tcp_cx_running(), 1) << "the thread and its semaphore are left as they are";
  release_hold = true;
  EXPECT_TRUE(wait_until([] { return tcp_cx_running() == 0; }, 1000ms))
      << "once free, the thread sees the finish and ends";
  tcp_close(a.sock);
  tcp_close(l);
}

TEST_F(Manager, APromptFinEndsAsSoonAsTheThreadHasAndGivesUpAfterThreeSeconds) {
  sockaddr_in ep = endpoint(silent_host, 80);
  attempt a{&rec, "a"};
  int fds = descriptors();
  int32_t before = my_total.load();
  for (int i = 0; i < 3; i++)
    tcp_connect_send(&ep, "hello", 5, 60, &a, on_fail_peer, on_connected_peer);
  CaptureStdout();
  auto t0 = std::chrono::steady_clock::now();
  stop_prompt();
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_LT(waited, 300ms) << "no one-second step";
  EXPECT_EQ(tcp_cx_running(), 0);
  EXPECT_EQ(tcp_cx_pending(), -1);
  EXPECT_EQ(my_total.load(), before);
  EXPECT_EQ(open_descriptor_count(), fds);
  EXPECT_TRUE(rec.story().empty());

  // A callback that holds the thread: the same three seconds, the same line.
  restart();
  int32_t l = tcp_listen(11016);
  ASSERT_GT(l, 0);
  holding = false;
  release_hold = false;
  tcp_connect("127.0.0.1", 11016, 5, &a, on_fail, hold_thread);
  ASSERT_TRUE(wait_until([] { return holding.load(); }, 2000ms));
  CaptureStdout();
  t0 = std::chrono::steady_clock::now();
  stop_prompt();
  waited = std::chrono::steady_clock::now() - t0;
  EXPECT_EQ(GetCapturedStdout(), "tcp_cx_fin: abort\n");
  EXPECT_GE(waited, 2900ms);
  EXPECT_LT(waited, 3500ms);
  release_hold = true;
  EXPECT_TRUE(wait_until([] { return tcp_cx_running() == 0; }, 1000ms));
  tcp_close(a.sock);
  tcp_close(l);
}

struct chain {
  recorder* rec;
  int32_t victim_id;
  attempt follow;
  int32_t follow_id = 0;
};

void queue_and_cancel(void* ctx) {
  auto* c = static_cast<chain*>(ctx);
  tcp_cx_cancel(c->victim_id);
  c->follow_id = tcp_connect("127.0.0.1", 11016, 5, &c->follow, on_fail, on_connected);
  c->rec->add("trigger fail");
}

TEST_F(Manager, CallbacksMayQueueAndCancelAttempts) {
  int32_t l = tcp_listen(11016);
  ASSERT_GT(l, 0);
  attempt victim{&rec, "victim"};
  chain c{&rec, 0, attempt{&rec, "follow"}};
  CaptureStdout();
  c.victim_id = tcp_connect(silent_host, 80, 60, &victim, on_fail, on_connected);
  tcp_connect(silent_host, 80, 0, &c, queue_and_cancel, on_connected);
  bool done = rec.wait_for(2);
  std::this_thread::sleep_for(50ms);
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(done);
  EXPECT_EQ(rec.story(), (std::vector<std::string>{"trigger fail", "follow connected"}));
  EXPECT_EQ(c.follow_id, 3);
  EXPECT_EQ(out, "tcp_cx_cancel\n");
  EXPECT_EQ(tcp_cx_pending(), 0);
  tcp_close(c.follow.sock);
  tcp_close(tcp_accept(l, nullptr));
  tcp_close(l);
}

std::atomic<int32_t> failures{0};
void count_failure(void*) { failures++; }
void count_failure_peer(void*, int32_t, const sockaddr_in*) { failures++; }

TEST_F(Manager, QueueingAndCancellingFromSeveralThreadsKeepsEveryAttemptAccountedFor) {
  constexpr int per_thread = 150;
  sockaddr_in refused = endpoint("127.0.0.1", refused_port);
  std::mutex ids_m;
  std::vector<int32_t> ids;
  auto worker = [&](int which) {
    for (int i = 0; i < per_thread; i++) {
      int32_t id =
          which == 0 ? tcp_connect("127.0.0.1", refused_port, 1, nullptr, count_failure, nullptr)
                     : tcp_connect_send(&refused, "x", 1, 1, nullptr, count_failure_peer, nullptr);
      {
        std::lock_guard<std::mutex> g(ids_m);
        ids.push_back(id);
      }
      if (i % 3 == 0) tcp_cx_cancel(id);
    }
  };
  CaptureStdout();
  std::thread t0(worker, 0), t1(worker, 1);
  t0.join();
  t1.join();
  bool drained = wait_until([] { return tcp_cx_pending() == 0; }, 10000ms);
  std::string out = GetCapturedStdout();
  ASSERT_TRUE(drained);

  std::set<int32_t> unique(ids.begin(), ids.end());
  EXPECT_EQ(unique.size(), 2u * per_thread);
  EXPECT_EQ(*unique.begin(), 1);
  EXPECT_EQ(*unique.rbegin(), 2 * per_thread);
  auto count = [&](const std::string& line) {
    size_t n = 0;
    for (size_t p = out.find(line); p != std::string::npos; p = out.find(line, p + 1)) n++;
    return n;
  };
  size_t cancelled = count("tcp_cx_cancel\n"), failed = count("*** Connect Fail ***\n");
  EXPECT_EQ(cancelled + failures.load(), 2u * per_thread) << "every attempt ends exactly once";
  EXPECT_EQ(failed, refusal_seen ? static_cast<size_t>(failures.load()) : 0u);
}

TEST_F(Manager, PerAttemptQueriesEndAttemptsTheSameWay) {
  tcp_cx_batch_queries(0);
  int32_t l = tcp_listen(11017);
  ASSERT_GT(l, 0);
  sockaddr_in refused = endpoint("127.0.0.1", refused_port);
  attempt a{&rec, "a"}, b{&rec, "b"}, c{&rec, "c"};
  CaptureStdout();
  tcp_connect(silent_host, 80, 60, &a, on_fail, on_connected);
  tcp_connect_send(&refused, nullptr, 0, 1, &b, on_fail_peer, on_connected_peer);
  bool first = rec.wait_for(1);
  tcp_connect("127.0.0.1", 11017, 5, &c, on_fail, on_connected);
  bool second = rec.wait_for(2);
  std::string out = GetCapturedStdout();
  tcp_cx_batch_queries(1);
  ASSERT_TRUE(first && second);
  EXPECT_EQ(rec.story(), (std::vector<std::string>{"b fail_peer", "c connected"}));
  EXPECT_EQ(out, fail_lines(1));
  EXPECT_EQ(tcp_cx_pending(), 1) << "the silent attempt is still waiting";
  tcp_close(c.sock);
  tcp_close(tcp_accept(l, nullptr));
  tcp_close(l);
}

}  // namespace
