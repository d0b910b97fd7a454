// The broadcast channel's receiver thread: the listen windows, one datagram
// a poll by default, or, in batch reading, every answer as it arrives.

#include <cstring>

#include "net/bcast_channel.h"
#include "net/ip.h"
#include "support/clock_sys.h"

namespace {

// Datagrams one system call of batch reading takes at most.
constexpr int32_t reads_max = 64;
// Room for a thousand answers of the largest size, or tens of thousands of small ones.
constexpr uint32_t queue_bytes = 1u << 20;
// After a poll's first, a datagram that wakes the receiver waits this long
// for others to join it, so that a flood wakes it a thousand times a second,
// not once per datagram. The first poll reads as answers come: the answers
// to a probe come as a burst right after it, faster than any pause allows.
constexpr uint32_t gather_ms = 1;
// The socket is emptied again once this long has passed since it last was,
// between two deliveries: a burst fills a stock buffer in a few
// milliseconds, and a fast owner does not pay a system call per delivery.
constexpr uint64_t drain_every_us = 100;
// Without a wake socket a window's wait is cut into slices this long, so
// that a send or a close is still noticed soon.
constexpr uint32_t unwoken_slice_ms = 5;

bcast_channel& chan = bcast_chan;

// Under the guard.
char held_bytes[queue_bytes];
ws_datagram reads[reads_max];
char read_bytes[reads_max][bcast_max_datagram];

// The receiver's alone: what a reply callback is handed.
char buffer[bcast_max_datagram];
char sender[16];

void guard_enter() { chan.guard.lock(); }
void guard_leave() { chan.guard.unlock(); }

// The sender's dotted quad into sender, a copy of its own: a callback may
// convert endpoints on this thread too. Written out by hand: under a flood
// a formatted print per datagram is a tenth of the receiver's work.
void sender_text(const sockaddr_in* from) {
  uint8_t b[4];
  std::memcpy(b, &from->sin_addr, sizeof b);  // network order: the dotted quad's order
  char* p = sender;
  for (int32_t i = 0; i < 4; i++) {
    if (i) *p++ = '.';
    if (b[i] >= 100) *p++ = static_cast<char>('0' + b[i] / 100);
    if (b[i] >= 10) *p++ = static_cast<char>('0' + b[i] / 10 % 10);
    *p++ = static_cast<char>('0' + b[i] % 10);
  }
  *p = 0;
}

void drain_wake_socket() {
  char scrap[16];
  while (ws_recv(chan.wake_sock, scrap, sizeof scrap) >= 0) {
  }
}

// Under the guard, as a window runs out.
void note_window_drops() {
  if (!chan.counts_drops) return;
  uint32_t lost = bcast_drops_so_far() - chan.drops_at_arm;
  chan.last_dropped.store(lost > 0x7FFFFFFFu ? 0x7FFFFFFF : static_cast<int32_t>(lost));
}

// Under the guard: the poll is counted, and when it was the window's last the
// window ends; r then holds what on_done needs. Whether it was the last.
bool count_poll(bcast_request* r) {
  if (--chan.request.polls > 0) return false;
  chan.state.store(bcast_state_idle);
  note_window_drops();
  *r = chan.request;
  return true;
}

// Under the guard: the oldest datagram held into buffer, with its sender's
// text; its length, or -1 when none is held.
int32_t take_held() {
  sockaddr_in from;
  int32_t n = bcast_queue_take(&chan.held, &from, buffer);
  if (n > 0) sender_text(&from);
  return n;
}

// Under the guard: moves what waits in the socket into the queue, at most
// budget datagrams. Empty and oversized ones are read, counted and dropped.
// The count read.
int32_t drain_socket(int32_t budget) {
  int32_t total = 0;
  while (total < budget) {
    int32_t ask = budget - total < reads_max ? budget - total : reads_max;
    while (ask > 0 && !bcast_queue_has_room(&chan.held, ask)) ask /= 2;
    if (ask == 0) break;  // the queue is full: the rest waits in the socket
    int32_t got = ws_recvfrom_many(chan.sock, reads, ask, &chan.drops_seen);
    if (got <= 0) break;
    for (int32_t i = 0; i < got; i++) {
      if (reads[i].len > 0) bcast_queue_put(&chan.held, &reads[i].from, reads[i].buf, reads[i].len);
    }
    total += got;
    if (got < ask) break;
  }
  return total;
}

// Sleeps until ms have passed or a send or a close wakes the receiver, and,
// when watched is a socket, until a datagram waits there. True when it does.
bool wait_for(int32_t watched, uint32_t ms) {
  int32_t wake_sock = chan.wake_sock;
  if (wake_sock <= 0 && watched <= 0) {
    sema_wait(chan.wake, ms);
    return false;
  }
  if (wake_sock <= 0 && ms > unwoken_slice_ms) ms = unwoken_slice_ms;
  ws_set rd;
  ws_set_zero(&rd);
  if (wake_sock > 0) ws_set_add(&rd, wake_sock);
  if (watched > 0) ws_set_add(&rd, watched);
  ws_timeval limit{static_cast<int32_t>(ms / 1000), static_cast<int32_t>(ms % 1000 * 1000)};
  int32_t n = ws_select(0, &rd, nullptr, &limit);
  if (n < 0) {
    // A socket closed meanwhile: the close's own wake follows, or has come.
    sema_wait(chan.wake, ms < unwoken_slice_ms ? ms : unwoken_slice_ms);
    return false;
  }
  if (n > 0 && wake_sock > 0 && ws_set_has(&rd, wake_sock)) {
    drain_wake_socket();
    return false;
  }
  return n > 0;
}

// What a send armed, as the receiver serves it.
struct window_view {
  uint32_t generation;
  bcast_request request;
  uint64_t armed_ms;
};

// Under the guard: whether the window that v saw is still the one that runs.
bool still_running(const window_view* v) {
  return chan.state.load() == bcast_state_window && chan.generation == v->generation;
}

// One poll of a batch window: reads what arrives, up to limit datagrams,
// and hands each on, until `until` on the library's clock. False when a new
// send or a close has ended the window meanwhile.
bool serve_batch_poll(const window_view* v, int32_t limit, uint64_t until, bool gather) {
  int32_t taken = 0;
  uint64_t drained_us = 0;
  for (;;) {
    uint64_t now_us = sys_monotonic_us();
    bool drain = now_us - drained_us >= drain_every_us;
    guard_enter();
    bool running = still_running(v);
    int32_t watched = chan.sock;
    if (running && taken < limit && (drain || chan.held.count == 0)) {
      taken += drain_socket(limit - taken);
      drained_us = now_us;
    }
    int32_t n = running ? take_held() : -1;
    guard_leave();
    if (!running) return false;
    if (n >= 0) {
      if (n > 0 && v->request.on_reply) v->request.on_reply(v->request.ctx, sender, buffer, n);
      continue;
    }
    uint64_t now = sys_monotonic_ms();
    if (now >= until) return true;
    uint32_t left = static_cast<uint32_t>(until - now);
    // Once its share is read, a poll under a flood reads no more: the rest waits.
    if (taken >= limit) {
      wait_for(0, left);
    } else if (wait_for(watched, left) && gather && left > gather_ms) {
      wait_for(0, gather_ms);
    }
  }
}

// A window of batch reading from its first poll to its on_done, or until a
// new send or a close ends it. Poll k is due k * 100 ms after the send and
// reads until the next is due; the tenth only takes what waits, about 0.9 s
// after the send, as a window of single polls ends.
void serve_batch_window(int32_t limit) {
  window_view v;
  guard_enter();
  bool running = chan.state.load() == bcast_state_window;
  v = {chan.generation, chan.request, chan.armed_ms};
  guard_leave();
  if (!running) return;
  for (int32_t poll = 0;; poll++) {
    int32_t next = poll + 1 < bcast_window_polls ? poll + 1 : poll;
    uint64_t until = v.armed_ms + static_cast<uint64_t>(next) * bcast_poll_wait_ms;
    if (!serve_batch_poll(&v, limit, until, poll > 0)) return;
    bcast_request r;
    guard_enter();
    running = still_running(&v);
    bool done = running && count_poll(&r);
    guard_leave();
    if (done && r.on_done) r.on_done(r.ctx);
    if (!running || done) return;
  }
}

// One poll as the channel makes it by default: at most one datagram.
void serve_single_poll() {
  guard_enter();
  if (chan.state.load() != bcast_state_window) {
    guard_leave();
    return;
  }
  bcast_request r = chan.request;
  // What a batch owner left held comes first: it arrived before the rest.
  int32_t n = take_held();
  if (n < 0) {
    sockaddr_in from;
    std::memset(&from, 0, sizeof from);
    n = udp_recv(chan.sock, buffer, sizeof buffer, &from);
    if (n > 0) sender_text(&from);
  }
  uint32_t poll_generation = chan.generation;
  guard_leave();
  if (n > 0 && r.on_reply) r.on_reply(r.ctx, sender, buffer, n);

  bool done = false;
  guard_enter();
  if (chan.state.load() == bcast_state_window && chan.generation == poll_generation)
    done = count_poll(&r);
  guard_leave();
  if (done && r.on_done) r.on_done(r.ctx);
}

}  // namespace

void bcast_receiver_reset() {
  bcast_queue_init(&chan.held, held_bytes, sizeof held_bytes);
  for (int32_t i = 0; i < reads_max; i++) reads[i] = {read_bytes[i], bcast_max_datagram, 0, {}};
}

void udp_bcast_receiver() {
  for (;;) {
    int32_t now = chan.state.load();
    if (now == bcast_state_closed) break;
    int32_t limit = chan.per_poll.load();
    if (now == bcast_state_window && limit > 1) {
      serve_batch_window(limit);
      continue;
    }
    sema_wait(chan.wake, now == bcast_state_window ? static_cast<uint32_t>(bcast_poll_wait_ms) : 0);
    // An owner that asked for batches while this thread waited gets them from
    // this window's first poll on.
    if (chan.per_poll.load() > 1) continue;
    serve_single_poll();
  }
  // The last touch of the channel: a close may free everything once it sees this.
  chan.state.store(bcast_state_ended);
}
