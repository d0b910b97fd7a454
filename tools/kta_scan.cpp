// kta-scan: the discovery exchange without a window. Probes every adapter,
// waits for each listen window to end, and prints the devices that
// answered, in numeric order; optionally with their hardware addresses,
// makers and web pages, or watching for devices as they come and go.
// The options (scan_options.cpp), the formats (scan_output.cpp) and the
// runs (scan_run.cpp) have rooms of their own; here they are started and
// stopped in order.

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/probe.h"
#include "app/text_list.h"
#include "net/bcast.h"
#include "net/net.h"
#include "net/sockets.h"
#include "support/alloc.h"
#include "support/thread.h"
#include "tools/scan_options.h"
#include "tools/scan_run.h"
#include "tools/scan_sys.h"
#include "tools/scan_web.h"

namespace {

constexpr int32_t local_port = 10000;

// Posted by the end of a listen window, by each web outcome, by answers
// while pages are checked and by a stop request.
sema* wake = nullptr;
std::atomic<int32_t> stop_requested{0};

void request_stop() {
  stop_requested.store(1);
  sema_post(wake);
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

// A process at its thread limit: one line that says so, and the failure status.
int no_thread() {
  std::fprintf(stderr, "kta-scan: cannot start a thread: %s\n", std::strerror(errno));
  return scan_exit_failed;
}

int failed(const char* why) {
  std::fprintf(stderr, "kta-scan: %s\n", why);
  return scan_exit_failed;
}

// Every step of the start that can fail, in order: 0, or the exit status
// after saying why. shut_down undoes what was done.
int start_up(const scan_options& opt, session* s) {
  wake = sema_create();
  if (!wake) return failed("cannot make a semaphore");
  // Before any thread starts, so that only the stop thread takes the signals.
  if (opt.watch) {
    int32_t caught = scan_catch_stop(request_stop);
    if (caught == -2) return no_thread();
    if (caught != 0) return failed("cannot catch the stop signals");
    s->stop_caught = true;
  }
  // The manager's thread and this one share the allocator: it needs its lock.
  mem_start();
  s->memory = true;
  s->list = text_list_create();
  if (!s->list) return failed("cannot make the device list");
  // The manager only where pages are checked.
  if (opt.web) {
    int32_t started = web_start(wake) != 0 ? -1 : net_start();
    // A manager that could not start still wants its stop.
    s->manager = started != -1;
    if (started == -2) return no_thread();
    if (started != 0) return failed("cannot start the sockets layer");
  } else {
    if (ws_startup() != 0) return failed("cannot start the sockets layer");
    s->sockets = true;
  }
  probe_set_list_ops(&text_list_ops);
  int32_t opened = udp_bcast_open(local_port);
  if (opened == -2) return no_thread();
  if (opened < 0) {
    std::fprintf(stderr, "kta-scan: cannot open UDP port %d (already in use?)\n", local_port);
    return scan_exit_failed;
  }
  s->channel = true;
  // One window lists every device that answered; the rounds only add to it.
  udp_bcast_set_batch(bcast_batch_max);
  udp_bcast_set_adapters(opt.interfaces.data(), static_cast<int32_t>(opt.interfaces.size()));
  return 0;
}

void shut_down(session* s) {
  if (s->channel) udp_bcast_close();
  // Without the one-second steps of the window tool's stop: a scan ends when its work has.
  if (s->manager) net_stop_prompt();
  web_finish();
  if (s->sockets) ws_cleanup();
  text_list_free(s->list);
  if (s->memory) mem_stop();
  // The stop thread may post it still: a watch's semaphore lives to the process's end.
  if (!s->stop_caught && wake) sema_close(wake);
}

}  // namespace

int main(int argc, char** argv) {
  FILE* out = scan_open_output();
  if (!out) {
    std::fprintf(stderr, "kta-scan: cannot write output: standard output is not open\n");
    return scan_exit_failed;
  }
  scan_options opt;
  int parsed = scan_parse_args(argc, argv, out, &opt);
  if (parsed > 0) return parsed;
  if (parsed < 0) {
    if (std::fflush(out) == 0 && !std::ferror(out)) return scan_exit_ok;
    if (errno == EPIPE) return scan_exit_ok;
    std::fprintf(stderr, "kta-scan: cannot write output: %s\n", std::strerror(errno));
    return scan_exit_failed;
  }

  if (opt.format == scan_format::csv) scan_binary_output(out);
  session s;
  int status = start_up(opt, &s);
  if (status == 0) {
    scan_run_ctx run{out, wake, &stop_requested, s.list};
    status = opt.watch ? scan_run_watch(opt, run) : scan_run_once(opt, run);
  }
  shut_down(&s);
  return status == scan_status_reader_gone ? scan_exit_ok : status;
}
