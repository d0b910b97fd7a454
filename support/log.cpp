#include "support/log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>

#include "support/alloc.h"
#include "support/clock_sys.h"

namespace {

constexpr int32_t work_size = 2000;

std::atomic<FILE*> log_file{nullptr};

// The stamp is written before the stream is published, so every message
// follows it. The allocator's lock keeps two first messages from opening the
// file twice; without the lock only one thread may use the library.
FILE* log_open() {
  lock* l = alloc_lock.load();
  if (l) lock_enter(l);
  FILE* f = log_file.load();
  if (!f) {
    f = fopen("log.txt", "w");
    if (f) {
      char stamp[64];
      fprintf(f, "%s", time_text(time_now(), stamp));
      log_file.store(f);
    }
  }
  if (l) lock_leave(l);
  return f;
}

}  // namespace

void log_print(const char* fmt, ...) {
  auto* text = static_cast<char*>(my_malloc(work_size));
  FILE* f = log_file.load();
  if (!f) f = log_open();
  va_list args;
  va_start(args, fmt);
  // The analyzer misreads va_start through GCC's own headers.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  if (vsnprintf(text, work_size, fmt, args) < 0) text[0] = 0;
  va_end(args);
  printf("%s", text);
  if (f) fprintf(f, "%s", text);
  my_free(text);
}

char* time_text(time_value t, char* out) {
  std::tm c{};
  if (sys_local_time(t, &c) != 0) {
    snprintf(out, 9, "--:--:--");
  } else {
    snprintf(out, 9, "%02u:%02u:%02u", static_cast<unsigned>(c.tm_hour) % 100u,
             static_cast<unsigned>(c.tm_min) % 100u, static_cast<unsigned>(c.tm_sec) % 100u);
  }
  return out;
}

time_value time_now() { return static_cast<time_value>(time(nullptr)); }

void log_close() {
  FILE* f = log_file.exchange(nullptr);
  if (f) fclose(f);
}
