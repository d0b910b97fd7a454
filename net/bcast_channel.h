#pragma once
// The broadcast channel's one instance, shared by its operations (bcast.cpp)
// and its receiver thread (bcast_receiver.cpp); nothing outside the channel
// uses it.

#include <atomic>
#include <cstdint>

#include "net/bcast.h"
#include "net/bcast_queue.h"
#include "support/lock_sys.h"
#include "support/thread.h"

constexpr int32_t bcast_state_ended = -1;
constexpr int32_t bcast_state_closed = 0;
constexpr int32_t bcast_state_idle = 1;
constexpr int32_t bcast_state_window = 2;

struct bcast_channel {
  std::atomic<int32_t> state{bcast_state_closed};
  // Made at open, gone after close; the receiver only runs in between.
  sema* wake = nullptr;
  // A loopback socket connected to itself: a send or a close writes a byte to
  // it, which ends the receiver's wait on the channel's socket at once.
  int32_t wake_sock = -1;
  // Keeps the end-of-window step, a send's re-arm and a close from
  // interleaving; never held while a callback runs.
  sys_lock guard;

  // Under the guard.
  bcast_request request{};
  uint32_t generation = 0;  // bumped by every send, so a poll begun before a re-arm is not
                            // counted in the new window
  uint64_t armed_ms = 0;    // when the last send armed the window, on the library's clock
  int32_t sock = -1;
  int32_t granted_buffer = -1;
  // The adapters sends are limited to; none: every adapter.
  char only_names[bcast_adapters_max][adapter_name_size]{};
  int32_t only_count = 0;
  // What batch reading took off the socket and has not handed on yet.
  bcast_queue held{};
  bool counts_drops = false;
  uint32_t drops_seen = 0;  // the socket's running count, as far as seen
  uint32_t drops_at_arm = 0;

  std::atomic<int32_t> per_poll{1};
  std::atomic<int32_t> last_dropped{-1};
};

extern constinit bcast_channel bcast_chan;

// Makes the receiver's queue and read buffers ready for a new channel.
void bcast_receiver_reset();
// Ends the receiver's wait, on the semaphore and on the sockets alike.
void bcast_wake_receiver();
// Under the guard: the socket's running count of dropped datagrams, as far as known.
uint32_t bcast_drops_so_far();
