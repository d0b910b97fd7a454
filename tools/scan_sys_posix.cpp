#include "tools/scan_sys.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "support/thread.h"

namespace {

std::atomic<void (*)()> stop_handler{nullptr};

sigset_t stop_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

void stop_thread() {
  sigset_t set = stop_signals();
  for (;;) {
    int sig = 0;
    if (sigwait(&set, &sig) == 0) stop_handler.load()();
  }
}

}  // namespace

FILE* scan_open_output() {
  signal(SIGPIPE, SIG_IGN);
  int fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (fd < 0) return nullptr;
  FILE* out = fdopen(fd, "w");
  if (!out) {
    close(fd);
    return nullptr;
  }
  std::fflush(stdout);
  int null = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (null >= 0) {
    dup2(null, 1);
    close(null);
  }
  return out;
}

void scan_binary_output(FILE*) {}

bool scan_reader_gone(FILE* out) {
  // The writing end of a pipe without a reader reports an error to poll.
  pollfd p{fileno(out), 0, 0};
  return poll(&p, 1, 0) == 1 && (p.revents & POLLERR);
}

int32_t scan_catch_stop(void (*on_stop)()) {
  stop_handler.store(on_stop);
  // Blocked here, the signals stay blocked in every thread started later;
  // only the stop thread waits for them.
  sigset_t set = stop_signals();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  if (thread_start(stop_thread) != 0) return -2;
  return 0;
}

std::vector<std::string> scan_registry_files() {
  return {"/usr/share/ieee-data/oui.csv", "/usr/share/ieee-data/mam.csv",
          "/usr/share/ieee-data/oui36.csv"};
}
