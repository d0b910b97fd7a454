#include "tools/scan_web.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "net/ip.h"
#include "net/stream.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"
#include "support/clock.h"
#include "support/thread.h"

namespace {

// How often the reading loop looks at sockets past the 64 that one wait
// watches, and at outcomes handed over meanwhile.
constexpr uint32_t sweep_ms = 10;

// An outcome on its way from the manager's thread: the attempt's ticket and,
// when it connected, its socket (0 when it failed).
struct handoff {
  uint32_t ticket;
  int32_t sock;
};

lock* handoff_lock = nullptr;
std::vector<handoff> handoffs;  // guarded by handoff_lock
sema* handoff_wake = nullptr;
// The callbacks get a ticket, never a pointer: an outcome that comes after
// its check has ended finds no record to write to. Main thread only.
uint32_t next_ticket = 1;

void hand_over(void* ctx, int32_t sock) {
  auto ticket = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(ctx));
  lock_enter(handoff_lock);
  handoffs.push_back({ticket, sock});
  lock_leave(handoff_lock);
  sema_post(handoff_wake);
}

void on_connected(void* ctx, int32_t sock, const sockaddr_in*) { hand_over(ctx, sock); }
// The socket is closed already; its value must not be used.
void on_failed(void* ctx, int32_t, const sockaddr_in*) { hand_over(ctx, 0); }

std::vector<handoff> take_handoffs() {
  std::vector<handoff> taken;
  lock_enter(handoff_lock);
  taken.swap(handoffs);
  lock_leave(handoff_lock);
  return taken;
}

enum class stage { waiting, connecting, reading, done };

struct attempt {
  stage at = stage::waiting;
  sockaddr_in peer{};
  uint32_t start = 0;
  int32_t sock = 0;
  int32_t got = 0;
  char line[web_line_max];
};

void conclude(attempt* a, web_result* r, int32_t outcome) {
  if (a->at == stage::reading) tcp_close(a->sock);
  a->at = stage::done;
  r->outcome = outcome;
  r->ms = elapsed_ms(a->start, 0);
}

// Ends the attempt once its first line is in, or once no more can come
// (closed is true); otherwise leaves it reading.
void judge_line(attempt* a, web_result* r, bool closed) {
  const char* end = static_cast<const char*>(std::memchr(a->line, '\n', a->got));
  int32_t len = end ? static_cast<int32_t>(end - a->line) : a->got;
  if (!end && !closed) {
    if (a->got < web_line_max) return;
    conclude(a, r, web_bad_reply);  // a line longer than anything a device should send
    return;
  }
  if (len > 0 && a->line[len - 1] == '\r') len--;
  bool ok = web_parse_status(a->line, len, &r->status, r->reason, sizeof r->reason) == 0;
  conclude(a, r, ok ? web_ok : web_bad_reply);
}

// Reads what the socket holds, up to the first line's limit.
void read_some(attempt* a, web_result* r) {
  while (a->at == stage::reading && sock_read_ready(a->sock) == 0) {
    int32_t n = tcp_recv(a->sock, a->line + a->got, web_line_max - a->got);
    if (n <= 0) {
      judge_line(a, r, true);
      return;
    }
    a->got += n;
    judge_line(a, r, false);
  }
}

}  // namespace

int32_t web_parse_status(const char* line, int32_t len, int32_t* status, char* reason,
                         int32_t reason_size) {
  auto digit = [&](int32_t i) { return i < len && line[i] >= '0' && line[i] <= '9'; };
  int32_t i = 5;
  if (len < i || std::memcmp(line, "HTTP/", 5) != 0) return -1;
  for (int32_t part = 0; part < 2; part++) {
    if (!digit(i)) return -1;
    while (digit(i)) i++;
    if (i >= len || line[i] != (part == 0 ? '.' : ' ')) return -1;
    i++;
  }
  if (!digit(i) || !digit(i + 1) || !digit(i + 2)) return -1;
  int32_t code = (line[i] - '0') * 100 + (line[i + 1] - '0') * 10 + (line[i + 2] - '0');
  i += 3;
  if (code < 100 || code > 599 || (i < len && line[i] != ' ')) return -1;
  int32_t from = i < len ? i + 1 : len;
  for (int32_t j = from; j < len; j++) {
    auto c = static_cast<unsigned char>(line[j]);
    if (c != '\t' && (c < 0x20 || c > 0x7E)) return -1;
  }
  int32_t n = len - from;
  if (n > reason_size - 1) n = reason_size - 1;
  std::memcpy(reason, line + from, static_cast<size_t>(n));
  reason[n] = 0;
  *status = code;
  return 0;
}

const char* web_outcome_name(int32_t outcome) {
  switch (outcome) {
    case web_refused:
      return "refused";
    case web_timeout:
      return "timeout";
    default:
      return "bad-reply";
  }
}

int32_t web_start(sema* wake) {
  handoff_lock = lock_create();
  handoff_wake = wake;
  return handoff_lock ? 0 : -1;
}

void web_finish() {
  if (!handoff_lock) return;
  for (const handoff& h : take_handoffs()) {
    if (h.sock > 0) tcp_close(h.sock);
  }
  lock_destroy(handoff_lock);
  handoff_lock = nullptr;
}

int32_t web_check(const char* const* addrs, int32_t n, int32_t port, int32_t timeout_s,
                  web_result* results, const std::atomic<int32_t>* stop) {
  std::vector<attempt> all(static_cast<size_t>(n > 0 ? n : 0));
  uint32_t first_ticket = next_ticket;
  next_ticket += static_cast<uint32_t>(n);
  const uint32_t limit_ms = static_cast<uint32_t>(timeout_s) * 1000u;
  for (int32_t i = 0; i < n; i++) {
    std::memset(&results[i], 0, sizeof results[i]);
    uint8_t bytes[4];
    if (ip_text_to_bytes(addrs[i], bytes) != 3) {
      all[i].at = stage::done;
      results[i].outcome = web_refused;
      continue;
    }
    ip_from_bytes(&all[i].peer, bytes, port);
  }

  int32_t queued = 0;
  std::vector<int32_t> reading;
  for (;;) {
    if (stop->load()) {
      for (attempt& a : all) {
        if (a.at == stage::reading) tcp_close(a.sock);
      }
      return -1;
    }
    // A full table (-1) frees a slot with every outcome; the rest wait for that.
    for (; queued < n; queued++) {
      attempt& a = all[queued];
      if (a.at != stage::waiting) continue;
      char request[96];
      int len = std::snprintf(request, sizeof request, "GET / HTTP/1.0\r\nHost: %s\r\n\r\n",
                              addrs[queued]);
      a.start = clock_ms();
      void* ticket = reinterpret_cast<void*>(static_cast<uintptr_t>(first_ticket + queued));
      int32_t id =
          tcp_connect_send(&a.peer, request, len, timeout_s, ticket, on_failed, on_connected);
      if (id == -1) break;
      if (id < 0) {
        conclude(&a, &results[queued], web_refused);
        continue;
      }
      a.at = stage::connecting;
    }

    for (const handoff& h : take_handoffs()) {
      uint32_t i = h.ticket - first_ticket;
      if (i >= static_cast<uint32_t>(n) || all[i].at != stage::connecting) {
        if (h.sock > 0) tcp_close(h.sock);  // its check is over: its time ran out
        continue;
      }
      attempt& a = all[i];
      if (h.sock > 0) {
        a.at = stage::reading;
        a.sock = h.sock;
        continue;
      }
      // The manager reports a refusal and a time-out alike; the clock tells them apart.
      conclude(&a, &results[i], elapsed_ms(a.start, 0) >= limit_ms ? web_timeout : web_refused);
    }

    uint32_t now = clock_ms();
    uint32_t wait_ms = limit_ms;
    reading.clear();
    for (int32_t i = 0; i < n; i++) {
      attempt& a = all[i];
      if (a.at == stage::reading) read_some(&a, &results[i]);
      if (a.at == stage::connecting || a.at == stage::reading) {
        uint32_t spent = elapsed_ms(a.start, now);
        if (spent >= limit_ms) {
          conclude(&a, &results[i], web_timeout);
        } else if (limit_ms - spent < wait_ms) {
          wait_ms = limit_ms - spent;
        }
      }
      if (a.at == stage::reading) reading.push_back(a.sock);
    }
    bool open = false;
    for (const attempt& a : all) open = open || a.at != stage::done;
    if (!open) return 0;

    if (!reading.empty()) {
      // One wait watches 64 sockets; the sweep above reads the others.
      int32_t watched = reading.size() > ws_setsize ? static_cast<int32_t>(ws_setsize)
                                                    : static_cast<int32_t>(reading.size());
      sock_select_read_ms(reading.data(), watched, wait_ms < sweep_ms ? wait_ms : sweep_ms);
    } else {
      sema_wait(handoff_wake, wait_ms > 0 ? wait_ms : 1);  // 0 would wait without a limit
    }
  }
}
