// Preloaded into a program (LD_PRELOAD), makes it meet the receive-buffer
// limit of a stock Debian desktop, net.core.rmem_max = 212992: a larger
// SO_RCVBUF request is cut to it, as the kernel of such a machine cuts it.
// The lab cannot lower the real limit: it belongs to the whole machine.
#include <dlfcn.h>
#include <sys/socket.h>

#include <algorithm>

namespace {
constexpr int stock_rmem_max = 212992;
}

extern "C" int setsockopt(int fd, int level, int name, const void* value, socklen_t len) {
  using real_fn = int (*)(int, int, int, const void*, socklen_t);
  static auto real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "setsockopt"));
  if (level == SOL_SOCKET && name == SO_RCVBUF && len == sizeof(int)) {
    int cut = std::min(*static_cast<const int*>(value), stock_rmem_max);
    return real(fd, level, name, &cut, len);
  }
  return real(fd, level, name, value, len);
}
