#include "tools/scan_web.h"

#include <cstdio>
#include <cstring>
#include <string>
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
  std::string address;
  uint32_t ticket = 0;
  stage at = stage::waiting;
  sockaddr_in peer{};
  uint32_t start = 0;
  int32_t sock = 0;
  int32_t got = 0;       // of the first line
  bool line_in = false;  // the status line has come; the rest is for the title
  int32_t read = 0;      // of the whole answer
  char line[web_line_max];
  title_reader title;
  web_result result{};
};

void close_attempt(attempt* a) {
  if (a->at == stage::reading) tcp_close(a->sock);
  a->at = stage::done;
}

void conclude(attempt* a, int32_t outcome) {
  close_attempt(a);
  a->result.outcome = outcome;
  a->result.ms = elapsed_ms(a->start, 0);
}

// After a good status line, what came of the title is the rest of the result.
void conclude_page(attempt* a) {
  close_attempt(a);
  a->result.has_title = title_text(&a->title, a->result.title);
}

// Takes the first line once it is in, or once no more can come (closed).
void judge_line(attempt* a, bool closed) {
  const char* end = static_cast<const char*>(std::memchr(a->line, '\n', a->got));
  int32_t len = end ? static_cast<int32_t>(end - a->line) : a->got;
  if (!end && !closed) {
    if (a->got < web_line_max) return;
    conclude(a, web_bad_reply);  // a line longer than anything a device should send
    return;
  }
  if (len > 0 && a->line[len - 1] == '\r') len--;
  web_result& r = a->result;
  if (web_parse_status(a->line, len, &r.status, r.reason, sizeof r.reason) != 0) {
    conclude(a, web_bad_reply);
    return;
  }
  r.outcome = web_ok;
  r.ms = elapsed_ms(a->start, 0);
  a->line_in = true;
  if (closed) conclude_page(a);
}

// Reads what the socket holds: the status line, then the page up to its
// title or web_answer_max bytes.
void read_some(attempt* a) {
  char buf[4096];
  while (a->at == stage::reading && sock_read_ready(a->sock) == 0) {
    int32_t room = web_answer_max - a->read;
    int32_t n = tcp_recv(a->sock, buf, room < static_cast<int32_t>(sizeof buf) ? room : sizeof buf);
    bool closed = n <= 0;
    if (n > 0) {
      a->read += n;
      title_feed(&a->title, buf, n);
      if (!a->line_in) {
        int32_t take = web_line_max - a->got < n ? web_line_max - a->got : n;
        std::memcpy(a->line + a->got, buf, static_cast<size_t>(take));
        a->got += take;
      }
    }
    if (!a->line_in) {
      judge_line(a, closed);
      if (a->at != stage::reading) return;
    }
    if (a->line_in && (closed || title_done(&a->title) || a->read >= web_answer_max)) {
      conclude_page(a);
      return;
    }
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

struct web_checks {
  int32_t port;
  int32_t timeout_s;
  uint32_t first_ticket;
  size_t started = 0;  // the attempts before this one have been handed to the manager
  std::vector<attempt*> all;
  std::vector<int32_t> reading;
};

web_checks* web_checks_begin(int32_t port, int32_t timeout_s) {
  return new web_checks{port, timeout_s, next_ticket, 0, {}, {}};
}

int32_t web_checks_add(web_checks* w, const char* address) {
  auto* a = new attempt;
  a->address = address;
  a->ticket = next_ticket++;
  title_begin(&a->title);
  uint8_t bytes[4];
  if (ip_text_to_bytes(address, bytes) == 3) {
    ip_from_bytes(&a->peer, bytes, w->port);
  } else {
    a->at = stage::done;
    a->result.outcome = web_refused;
  }
  w->all.push_back(a);
  return static_cast<int32_t>(w->all.size() - 1);
}

int32_t web_checks_serve(web_checks* w, uint32_t wait_ms) {
  const uint32_t limit_ms = static_cast<uint32_t>(w->timeout_s) * 1000u;
  // A full table (-1) frees a slot with every outcome; the rest wait for that.
  for (; w->started < w->all.size(); w->started++) {
    attempt& a = *w->all[w->started];
    if (a.at != stage::waiting) continue;
    char request[96];
    int len = std::snprintf(request, sizeof request, "GET / HTTP/1.0\r\nHost: %s\r\n\r\n",
                            a.address.c_str());
    a.start = clock_ms();
    void* ticket = reinterpret_cast<void*>(static_cast<uintptr_t>(a.ticket));
    int32_t id =
        tcp_connect_send(&a.peer, request, len, w->timeout_s, ticket, on_failed, on_connected);
    if (id == -1) break;
    if (id < 0) {
      conclude(&a, web_refused);
      continue;
    }
    a.at = stage::connecting;
  }

  for (const handoff& h : take_handoffs()) {
    uint32_t i = h.ticket - w->first_ticket;
    if (i >= w->all.size() || w->all[i]->at != stage::connecting) {
      if (h.sock > 0) tcp_close(h.sock);  // its check is over: its time ran out
      continue;
    }
    attempt& a = *w->all[i];
    if (h.sock > 0) {
      a.at = stage::reading;
      a.sock = h.sock;
      continue;
    }
    // The manager reports a refusal and a time-out alike; the clock tells them apart.
    conclude(&a, elapsed_ms(a.start, 0) >= limit_ms ? web_timeout : web_refused);
  }

  uint32_t now = clock_ms();
  w->reading.clear();
  int32_t open = 0;
  for (attempt* p : w->all) {
    attempt& a = *p;
    if (a.at == stage::reading) read_some(&a);
    if (a.at == stage::connecting || a.at == stage::reading) {
      uint32_t spent = elapsed_ms(a.start, now);
      if (spent >= limit_ms) {
        if (a.line_in) {
          conclude_page(&a);  // the page came too slowly for its title, not for its status
        } else {
          conclude(&a, web_timeout);
        }
      } else if (limit_ms - spent < wait_ms) {
        wait_ms = limit_ms - spent;
      }
    }
    if (a.at == stage::reading) w->reading.push_back(a.sock);
    if (a.at != stage::done) open++;
  }
  if (open == 0 || wait_ms == 0) return open;
  if (!w->reading.empty()) {
    // One wait watches 64 sockets; the sweep above reads the others.
    int32_t watched = w->reading.size() > ws_setsize ? static_cast<int32_t>(ws_setsize)
                                                     : static_cast<int32_t>(w->reading.size());
    sock_select_read_ms(w->reading.data(), watched, wait_ms < sweep_ms ? wait_ms : sweep_ms);
  } else {
    sema_wait(handoff_wake, wait_ms);
  }
  return open;
}

bool web_checks_result(const web_checks* w, int32_t index, web_result* out) {
  if (index < 0 || static_cast<size_t>(index) >= w->all.size()) return false;
  const attempt& a = *w->all[static_cast<size_t>(index)];
  if (a.at != stage::done) return false;
  *out = a.result;
  return true;
}

void web_checks_end(web_checks* w) {
  for (attempt* a : w->all) {
    close_attempt(a);
    delete a;
  }
  delete w;
}

int32_t web_check(const char* const* addrs, int32_t n, int32_t port, int32_t timeout_s,
                  web_result* results, const std::atomic<int32_t>* stop) {
  web_checks* w = web_checks_begin(port, timeout_s);
  for (int32_t i = 0; i < n; i++) web_checks_add(w, addrs[i]);
  const uint32_t limit_ms = static_cast<uint32_t>(timeout_s) * 1000u;
  bool stopped = false;
  while (web_checks_serve(w, limit_ms) > 0) {
    if (stop->load()) {
      stopped = true;
      break;
    }
  }
  for (int32_t i = 0; i < n; i++) {
    if (!web_checks_result(w, i, &results[i])) std::memset(&results[i], 0, sizeof results[i]);
  }
  web_checks_end(w);
  return stopped ? -1 : 0;
}
