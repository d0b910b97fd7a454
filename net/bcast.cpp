#include "net/bcast.h"

#include <atomic>
#include <cstring>

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

// The receiver's alone.
char buffer[bcast_max_datagram];
char sender[16];

std::atomic<void (*)(void*)> wait_hook{nullptr};
std::atomic<void*> wait_hook_ctx{nullptr};

void guard_enter() { guard.lock(); }
void guard_leave() { guard.unlock(); }

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
  // Without its semaphore the receiver could neither wait nor be stopped, and
  // a close would wait for ever for a receiver that never started.
  wake = sema_create();
  if (wake) {
    std::memset(&request, 0, sizeof request);
    generation = 0;
    state.store(state_idle);
    if (thread_start(udp_bcast_receiver) == 0) return 0;
    state.store(state_closed);
  }
  sema_close(wake);
  wake = nullptr;
  udp_close(sock);
  sock = -1;
  return -1;
}

int32_t udp_bcast_send(const bcast_request* req, const void* data, int32_t len) {
  if (state.load() <= 0) return -1;
  if (!req || len < 0 || (len > 0 && !data)) return -1;
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
  sockaddr_in to;
  ip_resolve(&to, "255.255.255.255", request.port & 0xFFFF);
  // A failed send still runs its window, which still ends with on_done.
  udp_send(sock, data, len, &to);
  guard_leave();
  sema_post(wake);
  return 0;
}

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
    sockaddr_in from;
    std::memset(&from, 0, sizeof from);
    // One datagram per poll: later ones wait in the socket for the next poll or window.
    int32_t n = udp_recv(sock, buffer, sizeof buffer, &from);
    if (n > 0) {
      // A copy: the callback may itself convert endpoints on this thread.
      std::strncpy(sender, ip_to_text(&from), sizeof sender - 1);
      sender[sizeof sender - 1] = 0;
    }
    guard_leave();

    if (n > 0 && r.on_reply) r.on_reply(r.ctx, sender, buffer, n);

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
