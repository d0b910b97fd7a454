#include "net/bcast.h"

#include <cstring>

#include "net/bcast_channel.h"
#include "net/ip.h"
#include "support/clock_sys.h"

constinit bcast_channel bcast_chan;

namespace {

bcast_channel& chan = bcast_chan;

std::atomic<void (*)(void*)> wait_hook{nullptr};
std::atomic<void*> wait_hook_ctx{nullptr};

void guard_enter() { chan.guard.lock(); }
void guard_leave() { chan.guard.unlock(); }

sockaddr_in endpoint_of(uint32_t addr, int32_t port) {
  uint8_t bytes[4] = {static_cast<uint8_t>(addr >> 24), static_cast<uint8_t>(addr >> 16),
                      static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr)};
  sockaddr_in ep;
  ip_from_bytes(&ep, bytes, port);
  return ep;
}

// -1 where the machine has no loopback: batch reading then waits in slices.
int32_t open_wake_socket() {
  int32_t s = ws_socket(WS_SOCK_DGRAM);
  if (s <= 0) return -1;
  sockaddr_in self;
  ip_resolve(&self, "127.0.0.1", 0);
  uint32_t on = 1;
  if (ws_bind(s, &self) != 0 || ws_getsockname(s, &self) != 0 || ws_connect(s, &self) != 0 ||
      ws_ioctlsocket(s, WS_FIONBIO, &on) != 0) {
    ws_closesocket(s);
    return -1;
  }
  return s;
}

}  // namespace

void bcast_wake_receiver() {
  sema_post(chan.wake);
  if (chan.wake_sock > 0) ws_send(chan.wake_sock, "!", 1);
}

uint32_t bcast_drops_so_far() {
  uint32_t now = 0;
  if (ws_drop_count(chan.sock, &now) == 0 && now > chan.drops_seen) chan.drops_seen = now;
  return chan.drops_seen;
}

int32_t udp_bcast_open(int32_t local_port) {
  // Opening over a running channel would orphan its receiver and socket.
  if (chan.state.load() > 0) return -1;
  chan.state.store(bcast_state_closed);
  int32_t port = local_port;
  chan.sock = udp_open(&port, 1);
  if (chan.sock <= 0) return -1;
  int32_t on = 1;
  ws_setsockopt(chan.sock, WS_SOL_SOCKET, WS_SO_BROADCAST, &on, sizeof on);
  // Room for a burst of answers; whatever the system grants is kept without complaint.
  int32_t wanted = bcast_receive_buffer_wanted;
  ws_setsockopt(chan.sock, WS_SOL_SOCKET, WS_SO_RCVBUF, &wanted, sizeof wanted);
  if (ws_getsockopt_int(chan.sock, WS_SOL_SOCKET, WS_SO_RCVBUF, &chan.granted_buffer) != 0)
    chan.granted_buffer = 0;
  chan.counts_drops = ws_count_drops(chan.sock) == 0;
  chan.drops_seen = chan.drops_at_arm = 0;
  chan.last_dropped.store(chan.counts_drops ? 0 : -1);
  // Without its semaphore the receiver could neither wait nor be stopped, and
  // a close would wait for ever for a receiver that never started.
  int32_t result = -1;
  chan.wake = sema_create();
  if (chan.wake) {
    chan.wake_sock = open_wake_socket();
    std::memset(&chan.request, 0, sizeof chan.request);
    chan.generation = 0;
    chan.only_count = 0;
    bcast_receiver_reset();
    chan.per_poll.store(1);
    chan.state.store(bcast_state_idle);
    if (thread_start(udp_bcast_receiver) == 0) return 0;
    chan.state.store(bcast_state_closed);
    result = -2;
    if (chan.wake_sock > 0) ws_closesocket(chan.wake_sock);
    chan.wake_sock = -1;
  }
  sema_close(chan.wake);
  chan.wake = nullptr;
  udp_close(chan.sock);
  chan.sock = -1;
  return result;
}

int32_t udp_bcast_send(const bcast_request* req, const void* data, int32_t len) {
  if (chan.state.load() <= 0) return -1;
  if (!req || len < 0 || (len > 0 && !data)) return -1;
  bcast_targets scan{};
  guard_enter();
  bool open = chan.state.load() > 0;
  scan.only_count = chan.only_count;
  std::memcpy(scan.only, chan.only_names, sizeof chan.only_names);
  guard_leave();
  if (!open) return -1;
  uint32_t targets[bcast_targets_max + 1];
  int32_t ntargets = bcast_probe_targets(&scan, targets);

  guard_enter();
  // A send from a callback may meet a close; it must not reopen the window.
  if (chan.state.load() <= 0) {
    guard_leave();
    return -1;
  }
  chan.request = *req;
  chan.request.polls = bcast_window_polls;
  chan.request.wait_ms = bcast_poll_wait_ms;
  chan.generation++;
  chan.armed_ms = sys_monotonic_ms();
  if (chan.counts_drops) chan.drops_at_arm = bcast_drops_so_far();
  chan.state.store(bcast_state_window);
  // A failed send still runs its window, which still ends with on_done, and
  // does not keep the probe from the other networks.
  for (int32_t i = 0; i < ntargets; i++) {
    sockaddr_in to = endpoint_of(targets[i], chan.request.port & 0xFFFF);
    udp_send(chan.sock, data, len, &to);
  }
  guard_leave();
  bcast_wake_receiver();
  return 0;
}

int32_t udp_bcast_set_batch(int32_t max_per_poll) {
  if (chan.state.load() <= 0 || max_per_poll < 1) return -1;
  chan.per_poll.store(max_per_poll < bcast_batch_max ? max_per_poll : bcast_batch_max);
  return 0;
}

int32_t udp_bcast_set_adapters(const char* const* names, int32_t count) {
  if (chan.state.load() <= 0 || count < 0 || count > bcast_adapters_max || (count > 0 && !names))
    return -1;
  for (int32_t i = 0; i < count; i++) {
    if (!names[i] || std::strlen(names[i]) >= static_cast<size_t>(adapter_name_size)) return -1;
  }
  guard_enter();
  for (int32_t i = 0; i < count; i++)
    std::memcpy(chan.only_names[i], names[i], std::strlen(names[i]) + 1);
  chan.only_count = count;
  guard_leave();
  return 0;
}

int32_t udp_bcast_receive_buffer() { return chan.state.load() > 0 ? chan.granted_buffer : -1; }

int32_t udp_bcast_dropped() { return chan.state.load() > 0 ? chan.last_dropped.load() : -1; }

int32_t udp_bcast_discard() {
  if (chan.state.load() <= 0) return -1;
  guard_enter();
  if (chan.state.load() <= 0) {
    guard_leave();
    return -1;
  }
  int32_t dropped = bcast_queue_clear(&chan.held);
  char scrap[bcast_max_datagram];
  sockaddr_in from;
  for (int32_t read = 0; read < bcast_discard_max; read++) {
    // Empty and oversized datagrams count too: they are gone as well.
    if (udp_recv(chan.sock, scrap, sizeof scrap, &from) < 0 && ws_would_block(ws_last_error()))
      break;
    dropped++;
  }
  guard_leave();
  return dropped;
}

void udp_bcast_close() {
  if (chan.state.load() <= 0) return;
  guard_enter();
  chan.state.store(bcast_state_closed);
  // A batch owner's receiver may be waiting on the socket outside the guard:
  // it is closed once the receiver has ended, so that its number cannot be
  // handed to another file meanwhile.
  int32_t in_use = chan.per_poll.load() > 1 ? chan.sock : -1;
  if (in_use < 0) {
    udp_close(chan.sock);
    chan.sock = -1;
  }
  guard_leave();
  bcast_wake_receiver();
  // A reply callback may be waiting for this very thread: keep its work moving.
  while (chan.state.load() != bcast_state_ended) {
    void (*hook)(void*) = wait_hook.load();
    if (hook) hook(wait_hook_ctx.load());
    sleep_tick();
  }
  if (in_use > 0) udp_close(in_use);
  chan.sock = -1;
  if (chan.wake_sock > 0) ws_closesocket(chan.wake_sock);
  chan.wake_sock = -1;
  bcast_queue_clear(&chan.held);
  sema_close(chan.wake);
  chan.wake = nullptr;
}

void udp_bcast_set_wait_hook(void (*hook)(void* ctx), void* ctx) {
  wait_hook.store(nullptr);
  wait_hook_ctx.store(ctx);
  wait_hook.store(hook);
}
