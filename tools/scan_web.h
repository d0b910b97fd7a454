#pragma once
// kta-scan's check of each device's web page: a connect through the
// connection manager with "GET / HTTP/1.0" and a Host line as its payload,
// then the answer's status line and the page's title, read on the caller's
// thread within the time limit. A check starts as soon as its address is
// added, so that pages are checked while the listen window still runs. The
// manager's callbacks only hand their outcome over; the caller does the
// reading.

#include <atomic>
#include <cstdint>

#include "tools/scan_title.h"

struct sema;

enum web_outcome : int32_t {
  web_ok = 0,     // a status line came: status and reason hold it
  web_refused,    // the connect failed before the time limit
  web_timeout,    // no connection, or no whole status line, within the limit
  web_bad_reply,  // an answer that is no HTTP status line
};

constexpr int32_t web_port = 80;
constexpr int32_t web_timeout_default_s = 2;
constexpr int32_t web_timeout_max_s = 60;
// The answer's first line must fit this: it is its status line.
constexpr int32_t web_line_max = 1024;
// At most this much of an answer is read, for the title.
constexpr int32_t web_answer_max = 64 * 1024;

struct web_result {
  int32_t outcome;
  int32_t status;
  uint32_t ms;  // from the connect to the end of the status line
  char reason[web_line_max];
  bool has_title;               // with web_ok: the page named itself
  char title[title_text_size];  // safe for a terminal and JSON
};

// Reads "HTTP/x.y NNN reason" out of the first line of an answer (without its
// line end): 0 with the status and the reason (cut to reason_size - 1), or -1
// when the line is no status line or holds bytes a terminal or JSON should not get.
int32_t web_parse_status(const char* line, int32_t len, int32_t* status, char* reason,
                         int32_t reason_size);

// The name for an outcome that is not web_ok: "refused", "timeout", "bad-reply".
const char* web_outcome_name(int32_t outcome);

// Makes the hand-over from the manager's thread: 0, or -1. wake is posted at
// each outcome; it may be shared with the caller's other wake-ups.
int32_t web_start(sema* wake);
// After net_stop, when no callback can come any more: closes what was handed
// over too late to be read.
void web_finish();

// The checks of one scan or one round of a watch, on the caller's thread.
struct web_checks;
web_checks* web_checks_begin(int32_t port, int32_t timeout_s);
// Queues a check of a dotted-quad address, which starts at the next serve:
// its index among the checks, from 0.
int32_t web_checks_add(web_checks* w, const char* address);
// Starts what is queued as the manager has room, reads what has come and
// ends what has run out of time, waiting at most wait_ms for something to
// happen (on the sockets, or on the wake of web_start): the count of checks
// not ended yet.
int32_t web_checks_serve(web_checks* w, uint32_t wait_ms);
// The result of a check once it has ended: false before, or for an index
// never handed out.
bool web_checks_result(const web_checks* w, int32_t index, web_result* out);
// Closes what is still open; results are gone with it.
void web_checks_end(web_checks* w);

// Checks port on each of the n dotted-quad addresses, at most timeout_s
// seconds each from its connect; results[i] for addrs[i]. More devices than
// the manager has slots wait for one. 0, or -1 when stop became nonzero
// first (the results are then incomplete).
int32_t web_check(const char* const* addrs, int32_t n, int32_t port, int32_t timeout_s,
                  web_result* results, const std::atomic<int32_t>* stop);
