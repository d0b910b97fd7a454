// Makes a program meet a receive-buffer limit as a machine whose
// net.core.rmem_max is that limit does: an SO_RCVBUF request above it is cut
// to it (the kernel then grants twice that, as it always does). The lab
// cannot lower the real limit: it belongs to the whole machine.
//
// Two ways in: linked into a test program, which sets the limit with
// rmem_cap(); or preloaded into any program (LD_PRELOAD of the
// rmem_cap_preload module), which takes KTA_RMEM_MAX, else a stock Debian
// desktop's 212992.
#include "tests/testing/rmem_cap.h"

#include <dlfcn.h>
#include <sys/socket.h>

#include <atomic>
#include <cstdlib>

namespace {

#ifdef KTA_RMEM_CAP_PRELOAD
constexpr int stock_rmem_max = 212992;

int from_environment() {
  const char* text = std::getenv("KTA_RMEM_MAX");
  int value = text ? std::atoi(text) : 0;
  return value > 0 ? value : stock_rmem_max;
}

std::atomic<int> cap{from_environment()};
#else
std::atomic<int> cap{0};
#endif

}  // namespace

void rmem_cap(int bytes) { cap.store(bytes); }

extern "C" int setsockopt(int fd, int level, int name, const void* value, socklen_t len) {
  using real_fn = int (*)(int, int, int, const void*, socklen_t);
  static auto real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "setsockopt"));
  int limit = cap.load();
  if (limit > 0 && level == SOL_SOCKET && name == SO_RCVBUF && len == sizeof(int) &&
      *static_cast<const int*>(value) > limit)
    return real(fd, level, name, &limit, len);
  return real(fd, level, name, value, len);
}
