#pragma once
// Simulated devices inside a test program: every "?" that reaches port 9999
// is answered once from each of the given local addresses, as that many
// devices would. For the lab only (its addresses and broadcast).

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "net/ip.h"
#include "net/sockets.h"

// Answers every "?" on port 9999 from each of its addresses, once per probe.
class fake_devices {
 public:
  explicit fake_devices(std::vector<std::string> addresses) : addresses_(std::move(addresses)) {
    int32_t port = 9999;
    listen_ = udp_open(&port, 1);
    int32_t on = 1;
    ws_setsockopt(listen_, WS_SOL_SOCKET, WS_SO_REUSEADDR, &on, 4);
    for (const auto& a : addresses_) {
      sockaddr_in ep;
      ip_resolve(&ep, a.c_str(), 0);
      int32_t s = ws_socket(WS_SOCK_DGRAM);
      ws_bind(s, &ep);
      senders_.push_back(s);
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~fake_devices() {
    stop_ = true;
    thread_.join();
    udp_close(listen_);
    for (int32_t s : senders_) udp_close(s);
  }
  bool ready() const { return listen_ > 0; }

 private:
  void serve() {
    char buf[64];
    while (!stop_) {
      ws_set rd;
      ws_set_zero(&rd);
      ws_set_add(&rd, listen_);
      ws_timeval limit{0, 20000};
      if (ws_select(0, &rd, nullptr, &limit) <= 0) continue;
      sockaddr_in from;
      if (udp_recv(listen_, buf, sizeof buf, &from) < 1 || buf[0] != '?') continue;
      for (int32_t s : senders_) udp_send(s, "?", 1, &from);
    }
  }
  std::vector<std::string> addresses_;
  std::vector<int32_t> senders_;
  int32_t listen_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};
