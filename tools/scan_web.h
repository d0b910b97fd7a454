#pragma once
// kta-scan's check of each device's web page: a connect to every device at
// once through the connection manager, with "GET / HTTP/1.0" and a Host line
// as its payload, then the first line of the answer, read on the caller's
// thread within the time limit. The manager's callbacks only hand their
// outcome over; the caller does the reading.

#include <atomic>
#include <cstdint>

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
// At most this much of an answer is read: its first line must fit.
constexpr int32_t web_line_max = 1024;

struct web_result {
  int32_t outcome;
  int32_t status;
  uint32_t ms;  // from the connect to the end of the status line
  char reason[web_line_max];
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

// Checks port on each of the n dotted-quad addresses, at most timeout_s
// seconds each from its connect; results[i] for addrs[i]. More devices than
// the manager has slots wait for one. 0, or -1 when stop became nonzero
// first (the results are then incomplete).
int32_t web_check(const char* const* addrs, int32_t n, int32_t port, int32_t timeout_s,
                  web_result* results, const std::atomic<int32_t>* stop);
