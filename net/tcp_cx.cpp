#include "net/tcp_cx.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>

#include "net/ip.h"
#include "net/sock.h"
#include "net/tcp_cx_sys.h"
#include "support/alloc.h"
#include "support/clock.h"
#include "support/clock_sys.h"
#include "support/lock_sys.h"
#include "support/log.h"
#include "support/thread.h"

namespace {

// The lock over the table, the count, the id counter and the semaphore, never
// held while a callback runs. Static for the whole process, so a manager thread
// left running by an aborted finish can still take it.
constinit sys_lock tcp_cx_lock;

void tcp_cx_lock_enter() { tcp_cx_lock.lock(); }
void tcp_cx_lock_leave() { tcp_cx_lock.unlock(); }

// Guarded by tcp_cx_lock.
tcp_cx_entry tcp_cx_table[tcp_cx_max];
int32_t tcp_cx_count = 0;
int32_t tcp_cx_last_id = 0;
sema* tcp_cx_sema = nullptr;
// Posted by every manager thread as its last act. Made once and kept for the
// process: a post must never reach a semaphore that a waiter closed meanwhile.
sema* tcp_cx_ended = nullptr;

std::atomic<int32_t> batch_queries{1};

constexpr uint32_t pass_ms = 10;
constexpr int32_t fin_steps = 3;
constexpr uint32_t fin_step_ms = 1000;

enum class ending { none, timed_out, failed, connected };

// What a pass took out of the table, to be dealt with after the lock is left.
struct ended_attempt {
  ending how;
  tcp_cx_entry entry;
  uint8_t local[4];
  int32_t local_port;
};

void tcp_cx_remove(int32_t i) {
  if (i < 0 || i >= tcp_cx_count) return;
  my_free(tcp_cx_table[i].payload);
  tcp_cx_count--;
  std::memmove(&tcp_cx_table[i], &tcp_cx_table[i + 1],
               sizeof tcp_cx_table[0] * static_cast<size_t>(tcp_cx_count - i));
}

int32_t take_id() {
  tcp_cx_last_id = tcp_cx_next_id(tcp_cx_last_id);
  return tcp_cx_last_id;
}

// Appends under the lock, which the caller holds; the table has room.
void append(const tcp_cx_entry& e) {
  tcp_cx_table[tcp_cx_count++] = e;
  if (tcp_cx_sema) sema_post(tcp_cx_sema);
}

int32_t open_attempt(const sockaddr_in* peer) {
  // A socket that cannot be made never becomes writable: the attempt times out.
  int32_t sock = ws_socket(WS_SOCK_STREAM);
  sock_nonblock_on(sock);
  ws_connect(sock, peer);
  return sock;
}

// Writability of the entries first .. first + n - 1 (n <= 64), asked in one
// zero-time query when allowed; one query each when not, or when the joint
// query fails (a bad socket among them must not hide the good ones).
void query_writable(int32_t first, int32_t n, bool* writable) {
  if (batch_queries.load(std::memory_order_relaxed)) {
    ws_set wr;
    ws_set_zero(&wr);
    int32_t max = 0;
    for (int32_t j = 0; j < n; j++) {
      int32_t s = tcp_cx_table[first + j].sock;
      if (s > max) max = s;
      ws_set_add(&wr, s);
    }
    ws_timeval zero{0, 0};
    if (ws_select(max + 1, nullptr, &wr, &zero) >= 0) {
      for (int32_t j = 0; j < n; j++) writable[j] = ws_set_has(&wr, tcp_cx_table[first + j].sock);
      return;
    }
  }
  for (int32_t j = 0; j < n; j++) writable[j] = sock_write_ready(tcp_cx_table[first + j].sock) == 0;
}

// Finds the oldest attempt that has ended and takes it out of the table.
ending take_ended(uint32_t now, ended_attempt* out) {
  for (int32_t first = 0; first < tcp_cx_count; first += static_cast<int32_t>(ws_setsize)) {
    int32_t n = tcp_cx_count - first;
    if (n > static_cast<int32_t>(ws_setsize)) n = static_cast<int32_t>(ws_setsize);
    bool writable[ws_setsize];
    query_writable(first, n, writable);
    for (int32_t j = 0; j < n; j++) {
      tcp_cx_entry& e = tcp_cx_table[first + j];
      ending how;
      if (!writable[j]) {
        if (elapsed_ms(e.start_ms, now) < e.timeout_ms) continue;
        how = ending::timed_out;
      } else {
        sockaddr_in local;
        std::memset(&local, 0, sizeof local);
        ws_getsockname(e.sock, &local);
        ip_to_bytes(&local, out->local, &out->local_port);
        // Linux shows a refused connect as writable, maybe with a port: the pending error tells.
        how = out->local_port == 0 || ws_pending_error(e.sock) != 0 ? ending::failed
                                                                    : ending::connected;
      }
      out->how = how;
      out->entry = e;
      // The payload outlives the entry until it has been sent.
      e.payload = nullptr;
      tcp_cx_remove(first + j);
      return how;
    }
  }
  return ending::none;
}

void report_failure(const tcp_cx_entry& e) {
  if (e.on_fail_peer) e.on_fail_peer(e.ctx, e.sock, &e.peer);
  if (e.on_fail) e.on_fail(e.ctx);
}

void report_connected(ended_attempt& a) {
  tcp_cx_entry& e = a.entry;
  if (e.on_connected) {
    e.on_connected(e.ctx, e.sock);
    return;
  }
  if (e.payload_len != 0) log_print("Connect_Send(%d)\n", e.payload_len);
  if (e.payload && e.payload_len != 0) tcp_send(e.sock, e.payload, e.payload_len);
  my_free(e.payload);
  e.payload = nullptr;
  if (e.on_connected_peer) {
    log_print("Connect Complete: %d.%d.%d.%d:%d\n", a.local[0], a.local[1], a.local[2], a.local[3],
              a.local_port);
    e.on_connected_peer(e.ctx, e.sock, &e.peer);
  } else {
    tcp_close(e.sock);
  }
}

// One pass: at most one attempt ends, the oldest that has. The table is left
// before anything is closed, logged or called back, so callbacks may queue
// and cancel attempts. True when an attempt ended.
bool tcp_cx_poll() {
  ended_attempt a;
  std::memset(&a, 0, sizeof a);
  tcp_cx_lock_enter();
  uint32_t now = clock_ms();
  ending how = take_ended(now, &a);
  tcp_cx_lock_leave();

  switch (how) {
    case ending::none:
      return false;
    case ending::timed_out:
      my_free(a.entry.payload);
      tcp_close(a.entry.sock);
      report_failure(a.entry);
      return true;
    case ending::failed:
      my_free(a.entry.payload);
      log_print("*** Connect Fail ***\n");
      ws_closesocket(a.entry.sock);
      report_failure(a.entry);
      return true;
    case ending::connected:
      report_connected(a);
      return true;
  }
  return false;
}

// The thread keeps the semaphore it was started with: if a later start gave
// the manager a new one, this thread is stale and leaves.
void tcp_cx_thread() {
  tcp_cx_lock_enter();
  sema* mine = tcp_cx_sema;
  tcp_cx_lock_leave();
  bool ended = false;
  for (;;) {
    tcp_cx_lock_enter();
    int32_t count = tcp_cx_count;
    bool live = mine && tcp_cx_sema == mine && count >= 0;
    tcp_cx_lock_leave();
    if (!live) break;
    // After an ending the next pass comes at once: many attempts that end
    // together would otherwise take 10 ms each.
    if (!ended) sema_wait(mine, count != 0 ? pass_ms : 0);
    ended = tcp_cx_poll();
  }
  // Cleared under the lock before the close, so no post can reach a closed semaphore.
  tcp_cx_lock_enter();
  if (tcp_cx_sema == mine) tcp_cx_sema = nullptr;
  sema* end_word = tcp_cx_ended;
  tcp_cx_lock_leave();
  sema_close(mine);
  if (end_word) sema_post(end_word);
}

// Drops every pending attempt and tells the thread to end: false when the
// manager is finished already and has no thread.
bool finish_table() {
  tcp_cx_lock_enter();
  if (tcp_cx_count < 0 && !tcp_cx_sema) {
    tcp_cx_lock_leave();
    return false;
  }
  for (int32_t i = 0; i < tcp_cx_count; i++) {
    my_free(tcp_cx_table[i].payload);
    tcp_cx_drop_socket(tcp_cx_table[i].sock);
  }
  tcp_cx_count = -1;
  if (tcp_cx_sema) sema_post(tcp_cx_sema);
  tcp_cx_lock_leave();
  return true;
}

bool thread_gone() {
  tcp_cx_lock_enter();
  bool gone = tcp_cx_sema == nullptr;
  tcp_cx_lock_leave();
  return gone;
}

}  // namespace

int32_t tcp_cx_next_id(int32_t last) { return last <= 0 || last == INT32_MAX ? 1 : last + 1; }

int32_t tcp_cx_init() {
  tcp_cx_lock_enter();
  // A thread of an earlier start that never ended is woken, sees the new semaphore and leaves.
  if (tcp_cx_sema) sema_post(tcp_cx_sema);
  tcp_cx_last_id = 0;
  // The thread starts under the lock, so no attempt can be queued before it is
  // known to run: without it an attempt would wait for ever.
  if (!tcp_cx_ended) tcp_cx_ended = sema_create();
  tcp_cx_sema = sema_create();
  bool running = tcp_cx_sema && thread_start(tcp_cx_thread) == 0;
  if (!running) {
    sema_close(tcp_cx_sema);
    tcp_cx_sema = nullptr;
  }
  tcp_cx_count = running ? 0 : -1;
  tcp_cx_lock_leave();
  return running ? 0 : -1;
}

int32_t tcp_connect(const char* host, int32_t port, int32_t timeout_s, void* ctx,
                    tcp_on_fail on_fail, tcp_on_connected on_connected) {
  if (!host || !host[0] || port == 0) return -1;
  sockaddr_in peer;
  if (ip_resolve(&peer, host, port) < 0) return -2;

  tcp_cx_lock_enter();
  int32_t count = tcp_cx_count;
  if (count < 0 || count >= tcp_cx_max) {
    tcp_cx_lock_leave();
    if (count < 0) return -4;
    log_print("tcp_connect: error(%d)\n", count);
    return -3;
  }
  int32_t sock = open_attempt(&peer);
  // The connect goes on in the background; the caller gets a blocking socket.
  sock_nonblock_off(sock);
  tcp_cx_entry e;
  std::memset(&e, 0, sizeof e);
  e.id = take_id();
  e.sock = sock;
  e.peer = peer;
  e.ctx = ctx;
  e.on_fail = on_fail;
  e.on_connected = on_connected;
  e.start_ms = clock_ms();
  e.timeout_ms = static_cast<uint32_t>(timeout_s) * 1000u;
  append(e);
  tcp_cx_lock_leave();
  return e.id;
}

int32_t tcp_connect_send(const sockaddr_in* peer, const void* payload, int32_t payload_len,
                         int32_t timeout_s, void* ctx, tcp_on_fail_peer on_fail_peer,
                         tcp_on_connected_peer on_connected_peer) {
  // Copied before the lock is taken; a negative length would be no copy at all.
  uint8_t* copy = nullptr;
  if (payload && payload_len > 0) {
    copy = static_cast<uint8_t*>(my_malloc(payload_len));
    if (!copy) return -1;
    std::memcpy(copy, payload, static_cast<size_t>(payload_len));
  }

  tcp_cx_lock_enter();
  int32_t count = tcp_cx_count;
  if (count < 0 || count >= tcp_cx_max) {
    tcp_cx_lock_leave();
    my_free(copy);
    return count < 0 ? -2 : -1;
  }
  tcp_cx_entry e;
  std::memset(&e, 0, sizeof e);
  e.sock = open_attempt(peer);
  e.id = take_id();
  std::memcpy(&e.peer, peer, sizeof e.peer);
  e.ctx = ctx;
  e.on_fail_peer = on_fail_peer;
  e.on_connected_peer = on_connected_peer;
  e.start_ms = clock_ms();
  e.timeout_ms = static_cast<uint32_t>(timeout_s) * 1000u;
  if (copy) {
    e.payload_len = payload_len;
    e.payload = copy;
  }
  append(e);
  tcp_cx_lock_leave();
  return e.id;
}

void tcp_cx_cancel(int32_t id) {
  tcp_cx_lock_enter();
  int32_t sock = 0;
  bool found = false;
  for (int32_t i = 0; i < tcp_cx_count; i++) {
    if (tcp_cx_table[i].id != id) continue;
    sock = tcp_cx_table[i].sock;
    tcp_cx_remove(i);
    found = true;
    break;
  }
  tcp_cx_lock_leave();
  if (!found) return;
  if (sock > 0) tcp_close(sock);
  log_print("tcp_cx_cancel\n");
}

void tcp_cx_fin() {
  if (!finish_table()) return;
  for (int32_t step = 0; step < fin_steps; step++) {
    tcp_cx_lock_enter();
    if (tcp_cx_sema) sema_post(tcp_cx_sema);
    tcp_cx_lock_leave();
    sleep_ms(fin_step_ms);
    if (thread_gone()) return;
  }
  printf("tcp_cx_fin: abort\n");
}

void tcp_cx_fin_prompt() {
  if (!finish_table()) return;
  tcp_cx_lock_enter();
  sema* ended = tcp_cx_ended;
  tcp_cx_lock_leave();
  // A thread left by an earlier aborted finish may post too: the table says whose end it was.
  uint64_t deadline = sys_monotonic_ms() + static_cast<uint64_t>(fin_steps) * fin_step_ms;
  for (;;) {
    if (thread_gone()) return;
    uint64_t now = sys_monotonic_ms();
    if (now >= deadline || !ended) break;
    sema_wait(ended, static_cast<uint32_t>(deadline - now));
  }
  printf("tcp_cx_fin: abort\n");
}

int32_t tcp_close(int32_t sock) { return ws_closesocket(sock); }

int32_t tcp_send(int32_t sock, const void* data, int32_t len) { return ws_send(sock, data, len); }

int32_t tcp_cx_pending() {
  tcp_cx_lock_enter();
  int32_t count = tcp_cx_count;
  tcp_cx_lock_leave();
  return count;
}

int32_t tcp_cx_running() {
  tcp_cx_lock_enter();
  int32_t running = tcp_cx_sema != nullptr ? 1 : 0;
  tcp_cx_lock_leave();
  return running;
}

void tcp_cx_batch_queries(int32_t on) {
  batch_queries.store(on ? 1 : 0, std::memory_order_relaxed);
}
