#include "net/bcast.h"

#include <atomic>
#include <cstring>

#include "net/adapter.h"
#include "net/ip.h"
#include "support/lock_sys.h"
#include "support/thread.h"

namespace {

constexpr int32_t state_ended = -1;
constexpr int32_t state_closed = 0;
constexpr int32_t state_idle = 1;
constexpr int32_t state_window = 2;

std::atomic<int32_t> state{state_closed};

// Made at open, gone after close; the receiver only runs in between.
sema* wake = nullptr;
// Keeps the end-of-window step, a send's re-arm and a close from
// interleaving; never held while a callback runs.
constinit sys_lock guard;

// Under the guard.
bcast_request request;
uint32_t generation;  // bumped by every send, so a poll begun before a re-arm is not counted in the
                      // new window
int32_t sock = -1;
int32_t granted_buffer = -1;
// The adapters sends are limited to; none: every adapter.
char only_names[bcast_adapters_max][adapter_name_size];
int32_t only_count = 0;

std::atomic<int32_t> per_poll{1};

// The receiver's alone.
char buffer[bcast_max_datagram];
char sender[16];

std::atomic<void (*)(void*)> wait_hook{nullptr};
std::atomic<void*> wait_hook_ctx{nullptr};

void guard_enter() { guard.lock(); }
void guard_leave() { guard.unlock(); }

// One send's view of the adapters, on the sender's stack: reading them takes
// a system call or two and must not hold up the receiver.
struct target_scan {
  char only[bcast_adapters_max][adapter_name_size];
  int32_t only_count;
  uint32_t source;                      // where 255.255.255.255 leaves from; 0: no route
  char source_name[adapter_name_size];  // that address's adapter; "" when not seen
  int32_t count;
  char name[bcast_targets_max][adapter_name_size];
  uint32_t broadcast[bcast_targets_max];
};

bool is_named(const target_scan* t, const char* name) {
  for (int32_t i = 0; i < t->only_count; i++) {
    if (std::strcmp(t->only[i], name) == 0) return true;
  }
  return false;
}

void collect_target(void* ctx, const adapter_addr* a) {
  auto* t = static_cast<target_scan*>(ctx);
  if (t->source && a->addr == t->source) {
    std::strncpy(t->source_name, a->name, adapter_name_size - 1);
    t->source_name[adapter_name_size - 1] = 0;
  }
  if (!adapter_can_broadcast(a) || t->count == bcast_targets_max) return;
  if (t->only_count > 0 && !is_named(t, a->name)) return;
  std::strncpy(t->name[t->count], a->name, adapter_name_size - 1);
  t->name[t->count][adapter_name_size - 1] = 0;
  t->broadcast[t->count++] = a->broadcast;
}

bool listed(const uint32_t* v, int32_t n, uint32_t x) {
  for (int32_t i = 0; i < n; i++) {
    if (v[i] == x) return true;
  }
  return false;
}

// A probe's destinations into to (room for bcast_targets_max + 1): first
// 255.255.255.255, then one directed broadcast per network that it does not
// already reach; with named adapters, only their directed broadcasts.
int32_t probe_targets(target_scan* t, uint32_t* to) {
  bool every = t->only_count == 0;
  if (every) t->source = adapter_limited_source();
  adapter_visit(collect_target, t);
  int32_t n = 0;
  if (every) to[n++] = 0xFFFFFFFFu;
  // Networks on the limited broadcast's own adapter hear it already.
  uint32_t reached[bcast_targets_max];
  int32_t nreached = 0;
  for (int32_t i = 0; every && t->source_name[0] && i < t->count; i++) {
    if (std::strcmp(t->name[i], t->source_name) == 0) reached[nreached++] = t->broadcast[i];
  }
  for (int32_t i = 0; i < t->count; i++) {
    uint32_t b = t->broadcast[i];
    if (listed(reached, nreached, b) || listed(to, n, b)) continue;
    to[n++] = b;
  }
  return n;
}

sockaddr_in endpoint_of(uint32_t addr, int32_t port) {
  uint8_t bytes[4] = {static_cast<uint8_t>(addr >> 24), static_cast<uint8_t>(addr >> 16),
                      static_cast<uint8_t>(addr >> 8), static_cast<uint8_t>(addr)};
  sockaddr_in ep;
  ip_from_bytes(&ep, bytes, port);
  return ep;
}

}  // namespace

int32_t udp_bcast_open(int32_t local_port) {
  // Opening over a running channel would orphan its receiver and socket.
  if (state.load() > 0) return -1;
  state.store(state_closed);
  int32_t port = local_port;
  sock = udp_open(&port, 1);
  if (sock <= 0) return -1;
  int32_t on = 1;
  ws_setsockopt(sock, WS_SOL_SOCKET, WS_SO_BROADCAST, &on, sizeof on);
  // Room for a burst of answers; whatever the system grants is kept without complaint.
  int32_t wanted = bcast_receive_buffer_wanted;
  ws_setsockopt(sock, WS_SOL_SOCKET, WS_SO_RCVBUF, &wanted, sizeof wanted);
  if (ws_getsockopt_int(sock, WS_SOL_SOCKET, WS_SO_RCVBUF, &granted_buffer) != 0)
    granted_buffer = 0;
  // Without its semaphore the receiver could neither wait nor be stopped, and
  // a close would wait for ever for a receiver that never started.
  int32_t result = -1;
  wake = sema_create();
  if (wake) {
    std::memset(&request, 0, sizeof request);
    generation = 0;
    only_count = 0;
    per_poll.store(1);
    state.store(state_idle);
    if (thread_start(udp_bcast_receiver) == 0) return 0;
    state.store(state_closed);
    result = -2;
  }
  sema_close(wake);
  wake = nullptr;
  udp_close(sock);
  sock = -1;
  return result;
}

int32_t udp_bcast_send(const bcast_request* req, const void* data, int32_t len) {
  if (state.load() <= 0) return -1;
  if (!req || len < 0 || (len > 0 && !data)) return -1;
  target_scan scan{};
  guard_enter();
  bool open = state.load() > 0;
  scan.only_count = only_count;
  std::memcpy(scan.only, only_names, sizeof only_names);
  guard_leave();
  if (!open) return -1;
  uint32_t targets[bcast_targets_max + 1];
  int32_t ntargets = probe_targets(&scan, targets);

  guard_enter();
  // A send from a callback may meet a close; it must not reopen the window.
  if (state.load() <= 0) {
    guard_leave();
    return -1;
  }
  request = *req;
  request.polls = bcast_window_polls;
  request.wait_ms = bcast_poll_wait_ms;
  generation++;
  state.store(state_window);
  // A failed send still runs its window, which still ends with on_done, and
  // does not keep the probe from the other networks.
  for (int32_t i = 0; i < ntargets; i++) {
    sockaddr_in to = endpoint_of(targets[i], request.port & 0xFFFF);
    udp_send(sock, data, len, &to);
  }
  guard_leave();
  sema_post(wake);
  return 0;
}

int32_t udp_bcast_set_batch(int32_t max_per_poll) {
  if (state.load() <= 0 || max_per_poll < 1) return -1;
  per_poll.store(max_per_poll < bcast_batch_max ? max_per_poll : bcast_batch_max);
  return 0;
}

int32_t udp_bcast_set_adapters(const char* const* names, int32_t count) {
  if (state.load() <= 0 || count < 0 || count > bcast_adapters_max || (count > 0 && !names))
    return -1;
  for (int32_t i = 0; i < count; i++) {
    if (!names[i] || std::strlen(names[i]) >= static_cast<size_t>(adapter_name_size)) return -1;
  }
  guard_enter();
  for (int32_t i = 0; i < count; i++) std::strcpy(only_names[i], names[i]);
  only_count = count;
  guard_leave();
  return 0;
}

int32_t udp_bcast_receive_buffer() { return state.load() > 0 ? granted_buffer : -1; }

int32_t udp_bcast_discard() {
  if (state.load() <= 0) return -1;
  guard_enter();
  if (state.load() <= 0) {
    guard_leave();
    return -1;
  }
  int32_t dropped = 0;
  char scrap[bcast_max_datagram];
  sockaddr_in from;
  while (dropped < bcast_discard_max) {
    // Empty and oversized datagrams count too: they are gone as well.
    if (udp_recv(sock, scrap, sizeof scrap, &from) < 0 && ws_would_block(ws_last_error())) break;
    dropped++;
  }
  guard_leave();
  return dropped;
}

void udp_bcast_receiver() {
  for (;;) {
    int32_t now = state.load();
    if (now == state_closed) break;
    sema_wait(wake, now == state_window ? static_cast<uint32_t>(bcast_poll_wait_ms) : 0);

    guard_enter();
    if (state.load() != state_window) {
      guard_leave();
      continue;
    }
    uint32_t poll_generation = generation;
    bcast_request r = request;
    guard_leave();

    // One datagram per poll unless the owner asked for batches: then all that
    // wait, up to the bound. A re-arm or a close ends the batch; the new
    // window's own first poll takes over.
    int32_t limit = per_poll.load();
    for (int32_t taken = 0; taken < limit; taken++) {
      guard_enter();
      if (state.load() != state_window || generation != poll_generation) {
        guard_leave();
        break;
      }
      sockaddr_in from;
      std::memset(&from, 0, sizeof from);
      int32_t n = udp_recv(sock, buffer, sizeof buffer, &from);
      bool drained = n < 0 && ws_would_block(ws_last_error());
      if (n > 0) {
        // A copy: the callback may itself convert endpoints on this thread.
        std::strncpy(sender, ip_to_text(&from), sizeof sender - 1);
        sender[sizeof sender - 1] = 0;
      }
      guard_leave();
      if (drained) break;
      if (n > 0 && r.on_reply) r.on_reply(r.ctx, sender, buffer, n);
    }

    bool done = false;
    guard_enter();
    if (state.load() == state_window && generation == poll_generation && --request.polls <= 0) {
      state.store(state_idle);
      done = true;
      r = request;
    }
    guard_leave();
    if (done && r.on_done) r.on_done(r.ctx);
  }
  // The last touch of the channel: a close may free everything once it sees this.
  state.store(state_ended);
}

void udp_bcast_close() {
  if (state.load() <= 0) return;
  guard_enter();
  state.store(state_closed);
  udp_close(sock);
  sock = -1;
  guard_leave();
  sema_post(wake);
  // A reply callback may be waiting for this very thread: keep its work moving.
  while (state.load() != state_ended) {
    void (*hook)(void*) = wait_hook.load();
    if (hook) hook(wait_hook_ctx.load());
    sleep_tick();
  }
  sema_close(wake);
  wake = nullptr;
}

void udp_bcast_set_wait_hook(void (*hook)(void* ctx), void* ctx) {
  wait_hook.store(nullptr);
  wait_hook_ctx.store(ctx);
  wait_hook.store(hook);
}
