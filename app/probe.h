#pragma once
// The discovery exchange: a one-byte probe "?" broadcast to the devices'
// port through the broadcast channel, and every device that answers with a
// datagram whose first byte is "?" kept once, by its address text, in a
// device list that the exchange's user supplies.

#include <atomic>
#include <cstdint>

#include "net/bcast.h"

struct probe_ctx {
  int32_t local_port;         // the channel's port, where devices answer: 10000
  int32_t device_port;        // the devices' port: 9999
  std::atomic<int32_t> busy;  // 1 from an accepted probe to the end of its window
  bcast_request req;          // filled by probe_send on every probe
  void* list;                 // the device list, handed to the list operations
  void* button;               // the window's Refresh button; not used here
};

// How the exchange reaches the device list. Both run on the channel's
// receiver thread. find: 1 when an item whose whole text equals text is
// present, else 0. add: inserts text, keeping the items in ascending byte order.
struct device_list_ops {
  int32_t (*find)(void* list, const char* text);
  void (*add)(void* list, const char* text);
};

// Installed once by the exchange's user, before the first probe; the table
// must outlive the channel. Until then replies are not listed.
void probe_set_list_ops(const device_list_ops* ops);

// (Re)sends the probe; a window still running restarts. No effect while the
// channel is closed.
void probe_send(probe_ctx* ctx);
void probe_on_reply(void* ctx, const char* sender, const char* data, int32_t len);
void probe_on_done(void* ctx);
