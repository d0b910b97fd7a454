#include "tools/scan_run.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/probe.h"
#include "net/bcast.h"
#include "support/clock.h"
#include "support/lock_sys.h"
#include "support/thread.h"
#include "tools/scan_identify.h"
#include "tools/scan_output.h"
#include "tools/scan_sys.h"
#include "tools/scan_watch.h"

namespace {

constexpr int32_t local_port = 10000;
constexpr int32_t device_port = 9999;
// A window ends about 0.9 s after its send; this only guards against a lost end.
constexpr uint32_t window_guard_ms = 10000;

// Answers heard while pages are checked, for this thread to start their
// checks; the receiver thread appends.
constinit sys_lock arrivals_guard;
std::vector<std::string> arrivals;
std::atomic<bool> collecting{false};
std::atomic<sema*> arrivals_wake{nullptr};

void on_reply(void* ctx, const char* sender, const char* data, int32_t len) {
  probe_on_reply(ctx, sender, data, len);
  if (!collecting.load() || len < 1 || data[0] != '?') return;
  {
    std::lock_guard<sys_lock> g(arrivals_guard);
    arrivals.emplace_back(sender);
  }
  sema_post(arrivals_wake.load());
}

void on_window_end(void* ctx) {
  probe_on_done(ctx);
  sema_post(arrivals_wake.load());
}

std::vector<std::string> take_arrivals() {
  std::vector<std::string> taken;
  std::lock_guard<sys_lock> g(arrivals_guard);
  taken.swap(arrivals);
  return taken;
}

// The page checks of a run: one per device, started when it first answers.
struct page_checks {
  web_checks* checks = nullptr;
  std::map<std::string, int32_t> index;  // address -> its check
  int32_t open = 0;
};

// Starts the checks of what answered meanwhile; wanted tells which addresses
// should get one (a watch checks only the devices it has not seen yet).
template <typename Wanted>
void start_checks(page_checks* p, Wanted wanted) {
  for (const std::string& a : take_arrivals()) {
    if (p->index.count(a) || !wanted(a)) continue;
    p->index[a] = web_checks_add(p->checks, a.c_str());
    p->open++;
  }
}

// 0 when all written so far has reached the output; scan_status_reader_gone when
// the reader has closed it; else scan_exit_failed, after saying why.
int output_status(FILE* out) {
  if (std::fflush(out) == 0 && !std::ferror(out)) return 0;
  int error = errno;
  if (error == EPIPE) return scan_status_reader_gone;
  std::fprintf(stderr, "kta-scan: cannot write output: %s\n", std::strerror(error));
  return scan_exit_failed;
}

// A round that lost answers says so: without the line a full receive
// buffer would look like devices that did not answer. Adds to *total,
// which stays -1 where the system cannot tell.
void report_drops(int32_t* total) {
  int32_t dropped = udp_bcast_dropped();
  if (dropped < 0) {
    *total = -1;
    return;
  }
  if (*total >= 0) *total += dropped;
  if (dropped == 0) return;
  std::fprintf(stderr,
               "kta-scan: %d answers were dropped by a full receive buffer (%d bytes); raise "
               "net.core.rmem_max or use --rounds\n",
               dropped, udp_bcast_receive_buffer());
}

// One probe and its listen window, page checks moving on meanwhile. False
// when a stop came first.
template <typename Wanted>
bool run_round(const scan_run_ctx& run, probe_ctx* ctx, page_checks* pages, Wanted wanted,
               int32_t* dropped) {
  ctx->req.port = ctx->device_port;
  ctx->req.ctx = ctx;
  ctx->req.on_reply = on_reply;
  ctx->req.on_done = on_window_end;
  ctx->busy.store(1);
  if (udp_bcast_send(&ctx->req, "?", 1) < 0) ctx->busy.store(0);
  uint32_t began = clock_ms();
  while (ctx->busy.load() && !run.stop->load()) {
    uint32_t spent = elapsed_ms(began, 0);
    if (spent >= window_guard_ms) break;
    if (pages->checks) {
      start_checks(pages, wanted);
      pages->open = web_checks_serve(pages->checks, window_guard_ms - spent);
    } else {
      sema_wait(run.wake, window_guard_ms - spent);
    }
  }
  report_drops(dropped);
  return !run.stop->load();
}

// Serves the checks until each has its outcome: false when a stop came first.
template <typename Wanted>
bool finish_checks(const scan_run_ctx& run, page_checks* pages, Wanted wanted) {
  if (!pages->checks) return true;
  start_checks(pages, wanted);
  while (pages->open > 0 && !run.stop->load())
    pages->open = web_checks_serve(pages->checks, window_guard_ms);
  return !run.stop->load();
}

void take_results(const page_checks& pages, std::vector<scan_device>* devices) {
  if (!pages.checks) return;
  for (scan_device& d : *devices) {
    auto it = pages.index.find(d.address);
    d.web_checked = it != pages.index.end() && web_checks_result(pages.checks, it->second, &d.web);
  }
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

bool shows_macs(scan_format f) { return f != scan_format::lines; }

void make_probe(const scan_run_ctx& run, probe_ctx* ctx) {
  ctx->local_port = local_port;
  ctx->device_port = device_port;
  ctx->list = run.list;
}

page_checks begin_pages(const scan_options& opt, const scan_run_ctx& run) {
  page_checks pages;
  arrivals_wake.store(run.wake);
  take_arrivals();
  collecting.store(opt.web);
  if (opt.web) pages.checks = web_checks_begin(web_port, opt.web_timeout_s);
  return pages;
}

void end_pages(page_checks* pages) {
  collecting.store(false);
  if (pages->checks) web_checks_end(pages->checks);
  *pages = page_checks();
}

// "2026-12-09T10:00:00Z": the event's time in UTC.
std::string utc_text(time_t t) {
  char text[32] = "1970-01-01T00:00:00Z";
  // The main thread alone asks for calendar time.
  if (const std::tm* c = std::gmtime(&t)) std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", c);
  return text;
}

}  // namespace

int scan_run_once(const scan_options& opt, const scan_run_ctx& run) {
  probe_ctx ctx{};
  make_probe(run, &ctx);
  page_checks pages = begin_pages(opt, run);
  auto every = [](const std::string&) { return true; };
  int32_t dropped = 0;
  bool whole = true;
  for (int32_t round = 0; round < opt.rounds && whole; round++)
    whole = run_round(run, &ctx, &pages, every, &dropped);
  whole = whole && finish_checks(run, &pages, every);
  std::vector<scan_device> devices = scan_devices_of(list_items(run.list));
  if (whole) {
    take_results(pages, &devices);
  } else {
    for (scan_device& d : devices) d.web_checked = false;
  }
  end_pages(&pages);
  scan_identify(&devices, shows_macs(opt.format), opt.oui_files);
  scan_print({run.out, opt.format, opt.web}, devices, opt.rounds, dropped);
  for (const scan_device& d : devices) {
    if (d.adapter.empty()) scan_hint_outside(d);
  }
  int status = output_status(run.out);
  if (status == 0 && devices.empty()) {
    std::fprintf(stderr, "kta-scan: no device answered; a firewall may be blocking UDP port %d\n",
                 local_port);
  }
  return status;
}

int scan_run_watch(const scan_options& opt, const scan_run_ctx& run) {
  const uint32_t period_ms = static_cast<uint32_t>(opt.interval_s) * 1000u;
  const scan_printer printer{run.out, opt.format, opt.web};
  probe_ctx ctx{};
  make_probe(run, &ctx);
  watch_state state;
  std::map<std::string, scan_device> known;  // what was shown of each device present
  std::vector<std::string> found, lost;
  scan_print_watch_start(printer);
  if (int status = output_status(run.out)) return status;
  int32_t dropped = 0;
  // Only a device not seen yet gets its page checked.
  auto unseen = [&](const std::string& a) { return state.present.count(a) == 0; };
  for (;;) {
    uint32_t began = clock_ms();
    text_list_clear(run.list);
    page_checks pages = begin_pages(opt, run);
    bool whole =
        run_round(run, &ctx, &pages, unseen, &dropped) && finish_checks(run, &pages, unseen);
    if (!whole) {
      end_pages(&pages);
      return 0;
    }
    watch_round(&state, list_items(run.list), &found, &lost);
    std::vector<scan_device> arrived = scan_devices_of(found);
    take_results(pages, &arrived);
    end_pages(&pages);
    scan_identify(&arrived, shows_macs(opt.format), opt.oui_files);
    std::string now = utc_text(std::time(nullptr));
    for (const scan_device& d : scan_devices_of(lost)) {
      auto it = known.find(d.address);
      scan_print_event(printer, false, now, it != known.end() ? it->second : d);
      if (it != known.end()) known.erase(it);
      if (int status = output_status(run.out)) return status;
    }
    for (scan_device& d : arrived) {
      scan_print_event(printer, true, now, d);
      if (d.adapter.empty()) scan_hint_outside(d);
      d.web_checked = false;
      known[d.address] = d;
      if (int status = output_status(run.out)) return status;
    }
    if (scan_reader_gone(run.out)) return scan_status_reader_gone;
    // Asleep until the next probe is due or a stop comes; a late page outcome
    // that wakes it only sends it back to sleep.
    for (;;) {
      if (run.stop->load()) return 0;
      uint32_t spent = elapsed_ms(began, 0);
      if (spent >= period_ms) break;
      sema_wait(run.wake, period_ms - spent);
    }
  }
}
