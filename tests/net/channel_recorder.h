#pragma once
// What the broadcast channel hands back, recorded in order, and a device
// socket that queues datagrams at the channel's port: shared by the
// channel's tests.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/bcast.h"
#include "net/ip.h"
#include "support/thread.h"

using clock_type = std::chrono::steady_clock;

constexpr int32_t channel_port = 10000;
constexpr int32_t device_port = 9999;

// "?0", "?1", ... so that the order of delivery shows.
inline std::string numbered_text(int i) {
  char text[16];
  std::snprintf(text, sizeof text, "?%d", i);
  return text;
}

inline int64_t ms_since(clock_type::time_point t0) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(clock_type::now() - t0).count();
}

// What the channel handed back, in order.
struct recorder {
  std::mutex m;
  std::vector<std::string> data;
  std::vector<std::string> senders;
  std::vector<int64_t> at_ms;  // since start, to tell one poll from the next
  clock_type::time_point start = clock_type::now();
  std::atomic<int> replies{0};
  std::atomic<int> done{0};
  std::atomic<int> reply_us{0};  // how long each reply takes: a slow owner
  sema* done_posted = sema_create();
  ~recorder() { sema_close(done_posted); }

  bcast_request request(bool with_reply = true, bool with_done = true) {
    bcast_request r{};
    r.port = device_port;
    r.ctx = this;
    r.on_reply = with_reply ? on_reply : nullptr;
    r.on_done = with_done ? on_done : nullptr;
    return r;
  }
  // Waits for the next on_done: true when it came within ms.
  bool wait_done(uint32_t ms) { return sema_wait(done_posted, ms) == 0; }
  std::vector<std::string> taken() {
    std::lock_guard<std::mutex> lock(m);
    return data;
  }
  // How many replies each poll of a batch window delivered, from start (the
  // send): poll k reads from k * 100 ms after it until the next is due.
  std::vector<int> per_poll() {
    std::lock_guard<std::mutex> lock(m);
    std::vector<int> sizes;
    int64_t slot = -1;
    for (int64_t at : at_ms) {
      if (at / 100 != slot) sizes.push_back(0);
      slot = at / 100;
      sizes.back()++;
    }
    return sizes;
  }

  static void on_reply(void* ctx, const char* sender, const char* bytes, int32_t len) {
    auto* r = static_cast<recorder*>(ctx);
    {
      std::lock_guard<std::mutex> lock(r->m);
      r->data.emplace_back(bytes, static_cast<size_t>(len));
      r->senders.emplace_back(sender);
      r->at_ms.push_back(ms_since(r->start));
      r->replies++;
    }
    if (int us = r->reply_us.load()) std::this_thread::sleep_for(std::chrono::microseconds(us));
  }
  static void on_done(void* ctx) {
    auto* r = static_cast<recorder*>(ctx);
    r->done++;
    sema_post(r->done_posted);
  }
};

// A device socket that queues datagrams at the channel's port.
struct device {
  int32_t sock = -1;
  sockaddr_in to{};
  device() {
    int32_t any = 0;
    sock = udp_open(&any, 0);
    ip_resolve(&to, "127.0.0.1", channel_port);
  }
  ~device() {
    if (sock > 0) udp_close(sock);
  }
  void send(const std::string& bytes) {
    udp_send(sock, bytes.data(), static_cast<int32_t>(bytes.size()), &to);
  }
  void queue(int n, int first = 0) {
    for (int i = first; i < first + n; i++) send(numbered_text(i));
  }
};

inline std::vector<std::string> numbered(int first, int n) {
  std::vector<std::string> v;
  for (int i = first; i < first + n; i++) v.push_back(numbered_text(i));
  return v;
}
