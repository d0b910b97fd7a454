// kta-scan: the discovery exchange without a window. Probes every adapter,
// waits for each listen window to end, and prints the addresses that
// answered, sorted; optionally checks each device's web page, or keeps
// watching and reports devices as they come and go.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "app/probe.h"
#include "app/text_list.h"
#include "kta_version.h"
#include "net/adapter.h"
#include "net/bcast.h"
#include "net/ip.h"
#include "net/net.h"
#include "net/sockets.h"
#include "support/alloc.h"
#include "support/clock.h"
#include "support/thread.h"
#include "tools/scan_sys.h"
#include "tools/scan_watch.h"
#include "tools/scan_web.h"

namespace {

constexpr int32_t local_port = 10000;
constexpr int32_t device_port = 9999;
constexpr int32_t max_rounds = 1000;
constexpr int32_t interval_default_s = 5;
constexpr int32_t interval_max_s = 3600;
// A window ends about 0.9 s after its send; this only guards against a lost end.
constexpr uint32_t window_guard_ms = 10000;

constexpr int exit_scanned = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;
// Not an exit status: the reader has gone, so the program ends quietly.
constexpr int reader_gone = -1;

const char usage[] =
    "Usage: kta-scan [--rounds N] [--interface NAME]... [--json] [--web [--web-timeout S]]\n"
    "       kta-scan --watch [--interval S] [--interface NAME]... [--json] [--web ...]\n"
    "Finds Corvane KTA-310 devices on the local network: broadcasts the probe \"?\"\n"
    "from UDP port 10000 to port 9999 of 255.255.255.255 and of every other\n"
    "network adapter's broadcast address, and lists every device that answers.\n"
    "\n"
    "  --rounds N        probe N times, one listen window of about 0.9 s each\n"
    "                    (default 1, at most 1000). One window lists every device\n"
    "                    that answered; the list accumulates over the rounds, for\n"
    "                    networks that lose datagrams.\n"
    "  --interface NAME  probe only the network adapter NAME (repeatable), with a\n"
    "                    directed broadcast to its network's broadcast address\n"
    "  --json            print one JSON object instead of one address a line:\n"
    "                    {\"port\":10000,\"rounds\":N,\"dropped\":0,\"devices\":[{\"address\":\n"
    "                    \"...\",\"interface\":\"...\"},...]}, the interface being the\n"
    "                    adapter whose network holds the address, where one does;\n"
    "                    dropped counts the answers a full receive buffer lost\n"
    "  --web             check each device's web page: a request for / on TCP port\n"
    "                    80, all devices at once; each address is followed by\n"
    "                    \"web 200 OK\" (the status line's code and reason) or by\n"
    "                    \"web refused\", \"web timeout\" or \"web bad-reply\"; in JSON\n"
    "                    \"web\":{\"status\":200,\"reason\":\"OK\",\"ms\":3} or\n"
    "                    \"web\":{\"error\":\"refused\"}\n"
    "  --web-timeout S   give each page S seconds (1 to 60, default 2)\n"
    "  --watch           probe again and again until interrupted (Ctrl+C, SIGTERM)\n"
    "                    and print \"+ ADDRESS\" when a device answers for the first\n"
    "                    time, \"- ADDRESS\" once it has missed three probes in a row;\n"
    "                    with --json one object a line: {\"event\":\"found\",\n"
    "                    \"address\":\"...\",\"time\":\"2026-12-09T10:00:00Z\"} or\n"
    "                    \"event\":\"lost\"; with --web a found device's page is checked\n"
    "  --interval S      probe every S seconds while watching (1 to 3600, default 5)\n"
    "  --version         print the version and exit\n"
    "  --help            print this help and exit\n"
    "\n"
    "Exit status: 0 after a scan, also when no device answered, and after a watch\n"
    "ends by a signal or its reader going; 1 when UDP port 10000 cannot be opened or\n"
    "the output cannot be written; 2 on bad arguments or an unknown adapter.\n";

struct options {
  int32_t rounds = 1;
  bool rounds_given = false;
  bool json = false;
  std::vector<const char*> interfaces;
  bool web = false;
  int32_t web_timeout_s = web_timeout_default_s;
  bool web_timeout_given = false;
  bool watch = false;
  int32_t interval_s = interval_default_s;
  bool interval_given = false;
};

// The results' stream (scan_open_output); standard output carries only the library's lines.
FILE* out = nullptr;
// Posted by the end of a listen window, by each web outcome and by a stop request.
sema* wake = nullptr;
std::atomic<int32_t> stop_requested{0};

// Digits only, min to max.
bool parse_count(const char* text, int32_t min, int32_t max, int32_t* value) {
  if (!text || !*text) return false;
  int32_t v = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > max) return false;
  }
  if (v < min) return false;
  *value = v;
  return true;
}

// A numeric option, as "--name N" or "--name=N": 1 taken, 0 not this option,
// -1 bad (said on stderr).
int take_count(int argc, char** argv, int* i, const char* name, int32_t min, int32_t max,
               int32_t* value, const char* unit) {
  const char* arg = argv[*i];
  size_t n = std::strlen(name);
  const char* text = nullptr;
  if (!std::strcmp(arg, name)) {
    if (*i + 1 >= argc) {
      std::fprintf(stderr, "kta-scan: %s needs a number (see --help)\n", name);
      return -1;
    }
    text = argv[++*i];
  } else if (!std::strncmp(arg, name, n) && arg[n] == '=') {
    text = arg + n + 1;
  } else {
    return 0;
  }
  if (!parse_count(text, min, max, value)) {
    std::fprintf(stderr, "kta-scan: %s wants %s from %d to %d, not '%s'\n", name, unit, min, max,
                 text);
    return -1;
  }
  return 1;
}

// 0 to go on, else the exit status (after --help or --version: -1 meaning exit 0).
int parse_args(int argc, char** argv, options* opt) {
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      std::fputs(usage, out);
      return -1;
    }
    if (!std::strcmp(arg, "--version")) {
      std::fprintf(out, "kta-scan %s\n", KTA_VERSION);
      return -1;
    }
    if (!std::strcmp(arg, "--json")) {
      opt->json = true;
      continue;
    }
    if (!std::strcmp(arg, "--web")) {
      opt->web = true;
      continue;
    }
    if (!std::strcmp(arg, "--watch")) {
      opt->watch = true;
      continue;
    }
    if (!std::strcmp(arg, "--interface") || !std::strncmp(arg, "--interface=", 12)) {
      const char* name = arg[11] == '=' ? arg + 12 : i + 1 < argc ? argv[++i] : nullptr;
      if (!name || !*name) {
        std::fprintf(stderr, "kta-scan: --interface needs an adapter name (see --help)\n");
        return exit_usage;
      }
      if (!adapter_exists(name) || std::strlen(name) >= static_cast<size_t>(adapter_name_size)) {
        std::fprintf(stderr, "kta-scan: no network adapter is named '%s'\n", name);
        return exit_usage;
      }
      if (opt->interfaces.size() >= static_cast<size_t>(bcast_adapters_max)) {
        std::fprintf(stderr, "kta-scan: at most %d --interface options\n", bcast_adapters_max);
        return exit_usage;
      }
      opt->interfaces.push_back(name);
      continue;
    }
    int taken =
        take_count(argc, argv, &i, "--rounds", 1, max_rounds, &opt->rounds, "a whole number");
    if (taken > 0) opt->rounds_given = true;
    if (!taken) {
      taken = take_count(argc, argv, &i, "--web-timeout", 1, web_timeout_max_s, &opt->web_timeout_s,
                         "seconds");
      if (taken > 0) opt->web_timeout_given = true;
    }
    if (!taken) {
      taken =
          take_count(argc, argv, &i, "--interval", 1, interval_max_s, &opt->interval_s, "seconds");
      if (taken > 0) opt->interval_given = true;
    }
    if (taken < 0) return exit_usage;
    if (!taken) {
      std::fprintf(stderr, "kta-scan: unknown argument '%s' (see --help)\n", arg);
      return exit_usage;
    }
  }
  const char* clash = opt->rounds_given && opt->watch       ? "--rounds is for a scan, not --watch"
                      : opt->interval_given && !opt->watch  ? "--interval needs --watch"
                      : opt->web_timeout_given && !opt->web ? "--web-timeout needs --web"
                                                            : nullptr;
  if (clash) {
    std::fprintf(stderr, "kta-scan: %s (see --help)\n", clash);
    return exit_usage;
  }
  return 0;
}

// 0 when all written so far has reached the output; reader_gone when the
// reader has closed it; else exit_failed, after saying why.
int output_status() {
  if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
  int error = errno;
  if (error == EPIPE) return reader_gone;
  std::fprintf(stderr, "kta-scan: cannot write output: %s\n", std::strerror(error));
  return exit_failed;
}

// A network this machine has an address on, to name the adapter a device sits behind.
struct network {
  std::string adapter;
  uint32_t addr;
  uint32_t mask;
};

void collect_network(void* ctx, const adapter_addr* a) {
  if (!(a->flags & adapter_up) || (a->flags & adapter_loopback)) return;
  static_cast<std::vector<network>*>(ctx)->push_back({a->name, a->addr, a->mask});
}

std::vector<network> read_networks() {
  std::vector<network> nets;
  adapter_visit(collect_network, &nets);
  return nets;
}

// The adapter whose network holds the address, the narrowest where several
// do; null when none does.
const char* adapter_of(const std::vector<network>& nets, const char* address) {
  uint8_t b[4];
  if (ip_text_to_bytes(address, b) != 3) return nullptr;
  uint32_t x = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
               static_cast<uint32_t>(b[2]) << 8 | b[3];
  const network* best = nullptr;
  for (const network& n : nets) {
    if ((x & n.mask) != (n.addr & n.mask)) continue;
    if (!best || n.mask > best->mask) best = &n;
  }
  return best ? best->adapter.c_str() : nullptr;
}

// JSON string text: adapter names are the system's, and Windows' may hold
// anything; a reason is printable ASCII, but may hold quotes.
void print_json_string(const char* s) {
  std::fputc('"', out);
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; p++) {
    if (*p == '"' || *p == '\\') {
      std::fprintf(out, "\\%c", *p);
    } else if (*p < 0x20) {
      std::fprintf(out, "\\u%04x", *p);
    } else {
      std::fputc(*p, out);
    }
  }
  std::fputc('"', out);
}

// The fields after a device's address: its adapter, and its page when checked.
void print_json_extras(const std::vector<network>& nets, const char* address,
                       const web_result* web) {
  if (const char* adapter = adapter_of(nets, address)) {
    std::fputs(",\"interface\":", out);
    print_json_string(adapter);
  }
  if (!web) return;
  if (web->outcome == web_ok) {
    std::fprintf(out, ",\"web\":{\"status\":%d,\"reason\":", web->status);
    print_json_string(web->reason);
    std::fprintf(out, ",\"ms\":%u}", web->ms);
  } else {
    std::fprintf(out, ",\"web\":{\"error\":\"%s\"}", web_outcome_name(web->outcome));
  }
}

void print_web_text(const web_result* web) {
  if (!web) return;
  if (web->outcome != web_ok) {
    std::fprintf(out, " web %s", web_outcome_name(web->outcome));
  } else {
    std::fprintf(out, " web %d%s%s", web->status, web->reason[0] ? " " : "", web->reason);
  }
}

// Answers the system dropped over the rounds so far; -1 where it cannot tell.
int32_t dropped_total = 0;

// A round that lost answers says so: without the line a full receive buffer
// would look like devices that did not answer.
void report_drops() {
  int32_t dropped = udp_bcast_dropped();
  if (dropped < 0) {
    dropped_total = -1;
    return;
  }
  if (dropped_total >= 0) dropped_total += dropped;
  if (dropped == 0) return;
  std::fprintf(stderr,
               "kta-scan: %d answers were dropped by a full receive buffer (%d bytes); raise "
               "net.core.rmem_max or use --rounds\n",
               dropped, udp_bcast_receive_buffer());
}

void request_stop() {
  stop_requested.store(1);
  sema_post(wake);
}

void on_window_end(void* ctx) {
  probe_on_done(ctx);
  sema_post(wake);
}

// The exchange's probe (probe_send), with an end of window that wakes this
// thread instead of leaving it to look at busy. False when a stop came first.
bool run_round(probe_ctx* ctx) {
  ctx->req.port = ctx->device_port;
  ctx->req.ctx = ctx;
  ctx->req.on_reply = probe_on_reply;
  ctx->req.on_done = on_window_end;
  ctx->busy.store(1);
  if (udp_bcast_send(&ctx->req, "?", 1) < 0) ctx->busy.store(0);
  uint32_t began = clock_ms();
  while (ctx->busy.load() && !stop_requested.load()) {
    uint32_t spent = elapsed_ms(began, 0);
    if (spent >= window_guard_ms) break;
    sema_wait(wake, window_guard_ms - spent);
  }
  report_drops();
  return !stop_requested.load();
}

std::vector<std::string> list_items(text_list* list) {
  std::vector<std::string> items;
  int32_t count = text_list_count(list);
  for (int32_t i = 0; i < count; i++) {
    char text[64];
    if (text_list_get(list, i, text, sizeof text) >= 0) items.emplace_back(text);
  }
  return items;
}

// Web results for each address, or an empty list when a stop came first.
std::vector<web_result> check_pages(const options& opt, const std::vector<std::string>& addrs) {
  std::vector<const char*> texts;
  for (const std::string& a : addrs) texts.push_back(a.c_str());
  std::vector<web_result> results(addrs.size());
  if (web_check(texts.data(), static_cast<int32_t>(texts.size()), web_port, opt.web_timeout_s,
                results.data(), &stop_requested) < 0) {
    results.clear();
  }
  return results;
}

int scan(const options& opt, probe_ctx* ctx, text_list* list) {
  for (int32_t round = 0; round < opt.rounds; round++) {
    if (!run_round(ctx)) break;
  }
  std::vector<std::string> devices = list_items(list);
  std::vector<web_result> web;
  if (opt.web) web = check_pages(opt, devices);
  std::vector<network> nets;
  if (opt.json) {
    nets = read_networks();
    std::fprintf(out, "{\"port\":%d,\"rounds\":%d,", local_port, opt.rounds);
    if (dropped_total >= 0) std::fprintf(out, "\"dropped\":%d,", dropped_total);
    std::fputs("\"devices\":[", out);
  }
  for (size_t i = 0; i < devices.size(); i++) {
    const web_result* w = i < web.size() ? &web[i] : nullptr;
    if (opt.json) {
      // Dotted quads need no escaping.
      std::fprintf(out, "%s{\"address\":\"%s\"", i ? "," : "", devices[i].c_str());
      print_json_extras(nets, devices[i].c_str(), w);
      std::fputc('}', out);
    } else {
      std::fputs(devices[i].c_str(), out);
      print_web_text(w);
      std::fputc('\n', out);
    }
  }
  if (opt.json) std::fputs("]}\n", out);
  int status = output_status();
  if (status == 0 && devices.empty()) {
    std::fprintf(stderr, "kta-scan: no device answered; a firewall may be blocking UDP port %d\n",
                 local_port);
  }
  return status;
}

// "2026-12-09T10:00:00Z": the event's time in UTC.
std::string utc_text(time_t t) {
  char text[32] = "1970-01-01T00:00:00Z";
  // The main thread alone asks for calendar time.
  if (const std::tm* c = std::gmtime(&t)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", c);
  return text;
}

// One event line, flushed at once so that a pipe sees it: 0, or what output_status says.
int print_event(const options& opt, const std::vector<network>& nets, const char* event,
                const std::string& address, const std::string& time, const web_result* web) {
  if (opt.json) {
    std::fprintf(out, "{\"event\":\"%s\",\"address\":\"%s\",\"time\":\"%s\"", event,
                 address.c_str(), time.c_str());
    print_json_extras(nets, address.c_str(), web);
    std::fputs("}\n", out);
  } else {
    std::fprintf(out, "%c %s", event[0] == 'f' ? '+' : '-', address.c_str());
    print_web_text(web);
    std::fputc('\n', out);
  }
  return output_status();
}

int watch(const options& opt, probe_ctx* ctx, text_list* list) {
  const uint32_t period_ms = static_cast<uint32_t>(opt.interval_s) * 1000u;
  watch_state state;
  std::vector<std::string> found, lost;
  for (;;) {
    uint32_t began = clock_ms();
    text_list_clear(list);
    if (!run_round(ctx)) return 0;
    watch_round(&state, list_items(list), &found, &lost);
    std::string now = utc_text(std::time(nullptr));
    std::vector<network> nets;
    if (opt.json) nets = read_networks();
    for (const std::string& a : lost) {
      if (int status = print_event(opt, nets, "lost", a, now, nullptr)) return status;
    }
    std::vector<web_result> web;
    if (opt.web && !found.empty()) {
      web = check_pages(opt, found);
      if (web.empty()) return 0;
    }
    for (size_t i = 0; i < found.size(); i++) {
      const web_result* w = i < web.size() ? &web[i] : nullptr;
      if (int status = print_event(opt, nets, "found", found[i], now, w)) return status;
    }
    if (scan_reader_gone(out)) return reader_gone;
    // Asleep until the next probe is due or a stop comes; a late page outcome
    // that wakes it only sends it back to sleep.
    for (;;) {
      if (stop_requested.load()) return 0;
      uint32_t spent = elapsed_ms(began, 0);
      if (spent >= period_ms) break;
      sema_wait(wake, period_ms - spent);
    }
  }
}

// What the run holds between start_up and shut_down.
struct session {
  bool stop_caught = false;
  bool memory = false;
  bool sockets = false;
  bool manager = false;
  bool channel = false;
  text_list* list = nullptr;
};

// Every step of the start that can fail, in order: 0, or the exit status
// after saying why. shut_down undoes what was done.
// A process at its thread limit: one line that says so, and the failure status.
int no_thread() {
  std::fprintf(stderr, "kta-scan: cannot start a thread: %s\n", std::strerror(errno));
  return exit_failed;
}

int start_up(const options& opt, session* s) {
  wake = sema_create();
  if (!wake) {
    std::fprintf(stderr, "kta-scan: cannot make a semaphore\n");
    return exit_failed;
  }
  // Before any thread starts, so that only the stop thread takes the signals.
  if (opt.watch) {
    int32_t caught = scan_catch_stop(request_stop);
    if (caught == -2) return no_thread();
    if (caught != 0) {
      std::fprintf(stderr, "kta-scan: cannot catch the stop signals\n");
      return exit_failed;
    }
    s->stop_caught = true;
  }
  // The manager's thread and this one share the allocator: it needs its lock.
  mem_start();
  s->memory = true;
  s->list = text_list_create();
  if (!s->list) {
    std::fprintf(stderr, "kta-scan: cannot make the device list\n");
    return exit_failed;
  }
  // The manager only where pages are checked: its stop takes a second.
  if (opt.web) {
    int32_t started = web_start(wake) != 0 ? -1 : net_start();
    // A manager that could not start still wants its stop.
    s->manager = started != -1;
    if (started == -2) return no_thread();
    if (started != 0) {
      std::fprintf(stderr, "kta-scan: cannot start the sockets layer\n");
      return exit_failed;
    }
  } else {
    if (ws_startup() != 0) {
      std::fprintf(stderr, "kta-scan: cannot start the sockets layer\n");
      return exit_failed;
    }
    s->sockets = true;
  }
  probe_set_list_ops(&text_list_ops);
  int32_t opened = udp_bcast_open(local_port);
  if (opened == -2) return no_thread();
  if (opened < 0) {
    std::fprintf(stderr, "kta-scan: cannot open UDP port %d (already in use?)\n", local_port);
    return exit_failed;
  }
  s->channel = true;
  // One window lists every device that answered; the rounds only add to it.
  udp_bcast_set_batch(bcast_batch_max);
  udp_bcast_set_adapters(opt.interfaces.data(), static_cast<int32_t>(opt.interfaces.size()));
  return 0;
}

void shut_down(session* s) {
  if (s->channel) udp_bcast_close();
  if (s->manager) net_stop();
  web_finish();
  if (s->sockets) ws_cleanup();
  text_list_free(s->list);
  if (s->memory) mem_stop();
  // The stop thread may post it still: a watch's semaphore lives to the process's end.
  if (!s->stop_caught && wake) sema_close(wake);
}

}  // namespace

int main(int argc, char** argv) {
  out = scan_open_output();
  if (!out) {
    std::fprintf(stderr, "kta-scan: cannot write output: standard output is not open\n");
    return exit_failed;
  }
  options opt;
  int parsed = parse_args(argc, argv, &opt);
  if (parsed > 0) return parsed;
  if (parsed < 0) {
    int status = output_status();
    return status == reader_gone ? exit_scanned : status;
  }

  session s;
  int status = start_up(opt, &s);
  if (status == 0) {
    probe_ctx ctx{};
    ctx.local_port = local_port;
    ctx.device_port = device_port;
    ctx.list = s.list;
    status = opt.watch ? watch(opt, &ctx, s.list) : scan(opt, &ctx, s.list);
  }
  shut_down(&s);
  return status == reader_gone ? exit_scanned : status;
}
