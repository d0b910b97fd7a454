#pragma once
// kta-devsim's parts: what it was asked for (options.cpp), the answers to
// probes (answers.cpp) and the web pages (web.cpp); kta_devsim_posix.cpp
// runs them in one poll() loop.

#include <netinet/in.h>
#include <poll.h>

#include <cstdint>
#include <string>
#include <vector>

constexpr int devsim_device_port = 9999;
constexpr int devsim_max_addresses = 65536;
constexpr int devsim_oversize_len = 1200;  // past the prober's 1000-byte buffer
constexpr int devsim_max_reply_len = 1400;
constexpr long devsim_max_answer_for_s = 86400;
constexpr int devsim_max_jitter_ms = 600000;

constexpr int devsim_exit_ok = 0;
constexpr int devsim_exit_failed = 1;
constexpr int devsim_exit_usage = 2;

enum class http_mode { normal, garbage, silent, huge };

struct devsim_options {
  std::vector<uint32_t> addrs;  // host order, sorted, each once
  int delay_ms = 0;
  int jitter_ms = 0;
  bool seeded = false;
  uint32_t seed = 0;
  std::string reply = "?";
  int flood = 1;
  long rate = 0;
  bool http = false;
  int http_port = 80;
  http_mode misbehave = http_mode::normal;
  std::string http_title = "Corvane KTA-310 %a";
  long answer_for_s = -1;  // -1: for ever
  bool log_probes = false;
};

// 0 to go on, -1 to exit 0 (help, version), else the exit status.
int devsim_parse_args(int argc, char** argv, devsim_options* opt);
int64_t devsim_now_ms();
std::string devsim_addr_text(uint32_t host_order);
bool devsim_is_device(const devsim_options& opt, uint32_t addr);
// A datagram socket on the devices' port of every address, or a web
// listener on one address: -1, with errno, when it cannot be had.
int devsim_open_bound(int type, uint32_t addr, int port);

// The answers to probes: heard on the devices' port, sent from each device
// address once they are due, paced by --rate.
struct devsim_network {
  uint32_t addr, mask, broadcast;  // host order
};
struct devsim_pending {
  int64_t due_ms;
  uint64_t order;  // the order of queueing, for answers due at the same time
  sockaddr_in to;
  uint32_t from;  // host order
  long count;
};
struct devsim_answers {
  const devsim_options* opt = nullptr;
  int udp = -1;
  std::vector<devsim_network> nets;
  std::vector<devsim_pending> due;  // a heap, the soonest first
  uint64_t queued = 0;
  uint64_t draw = 0;  // the state of the --jitter delays' generator
  double tokens = 0;
  int64_t refilled = 0;
  bool answering = true;
  int64_t silent_at = -1;  // when --answer-for ends, or -1
};
// 0, or -1 (errno) when the devices' port cannot be opened.
int devsim_answers_open(devsim_answers* a, const devsim_options* opt);
void devsim_answers_close(devsim_answers* a);
// Reads one datagram from the devices' port and, for a probe, queues the answers.
void devsim_answers_hear(devsim_answers* a);
// Sends what is due and ends --answer-for once its time is up; the time of
// the next thing to do, or -1 when nothing waits.
int64_t devsim_answers_run(devsim_answers* a, int64_t now);
// SIGUSR1: a device unplugged and plugged in again.
void devsim_answers_toggle(devsim_answers* a);

// The web pages: a listener per device address and one for the rest, and
// the connections they accepted.
// One web connection: the request is read, then the answer that the mode
// asks for is sent as the socket takes it.
struct devsim_conn {
  int fd;
  uint32_t local;  // the address it was made to, host order
  int64_t answer_at_ms;
  int64_t drop_at_ms;
  std::string request;
  std::string answer;
  size_t sent = 0;
  size_t endless = 0;  // bytes of the huge status line still to go after answer
  bool answered = false;
};

struct devsim_web {
  std::vector<int> listeners;
  std::vector<devsim_conn> conns;
};
// The page's <title> for a device: --http-title's text with \xHH as that byte,
// \\ as a backslash, %a as the address and %% as a percent sign, the rest as
// given; false when a \x lacks its two hex digits.
bool devsim_title_html(const std::string& text, const std::string& addr, std::string* out);
// 0, or -1 (errno) when a listener cannot be opened; nothing is left open then.
int devsim_web_open(devsim_web* w, const devsim_options& opt);
void devsim_web_close(devsim_web* w);
// Appends what to poll for, listeners first; the time something falls due, or -1.
int64_t devsim_web_poll_for(const devsim_web& w, std::vector<pollfd>* fds);
// Serves what poll() reported in fds, as devsim_web_poll_for laid them out.
void devsim_web_serve(devsim_web* w, const devsim_options& opt, int64_t now, const pollfd* fds);

void devsim_say(const char* line);
