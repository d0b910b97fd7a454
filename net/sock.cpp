#include "net/sock.h"

#include <cstring>

#include "support/log.h"

namespace {

// The shared body of both waits; limit null waits without one.
int32_t select_read(const int32_t* socks, int32_t n, const ws_timeval* limit, bool zero_is_error) {
  if (!socks || n <= 0) return -1;
  ws_set rd;
  ws_set_zero(&rd);
  int32_t max = 0;
  for (int32_t i = 0; i < n; i++) {
    // Sockets past the 64th never reach the set but still count for max.
    if (socks[i] > max) max = socks[i];
    ws_set_add(&rd, socks[i]);
  }
  int32_t result = ws_select(max + 1, &rd, nullptr, limit);
  if (result < 0 || (result == 0 && zero_is_error)) {
    log_print("select: error(%d)\n", result);
    return -2;
  }
  if (result == 0) return -2;
  for (int32_t i = 0; i < n; i++) {
    if (ws_set_has(&rd, socks[i])) return i;
  }
  log_print("select: not found\n");
  return -3;
}

}  // namespace

int32_t sock_nonblock_on(int32_t sock) {
  uint32_t on = 1;
  return ws_ioctlsocket(sock, WS_FIONBIO, &on);
}

int32_t sock_nonblock_off(int32_t sock) {
  uint32_t off = 0;
  return ws_ioctlsocket(sock, WS_FIONBIO, &off);
}

int32_t sock_local_port(int32_t sock) {
  sockaddr_in ep;
  std::memset(&ep, 0, sizeof ep);
  ws_getsockname(sock, &ep);
  return ntohs(ep.sin_port);
}

int32_t sock_identity(int32_t sock) { return sock; }

int32_t sock_read_ready(int32_t sock) {
  if (sock <= 0) return -1;
  ws_set rd;
  ws_set_zero(&rd);
  ws_set_add(&rd, sock);
  ws_timeval zero{0, 0};
  return ws_select(sock + 1, &rd, nullptr, &zero) > 0 ? 0 : -1;
}

int32_t sock_write_ready(int32_t sock) {
  ws_set wr;
  ws_set_zero(&wr);
  ws_set_add(&wr, sock);
  ws_timeval zero{0, 0};
  return ws_select(sock + 1, nullptr, &wr, &zero) > 0 ? 0 : -1;
}

int32_t sock_select_read(const int32_t* socks, int32_t n) {
  return select_read(socks, n, nullptr, true);
}

int32_t sock_select_read_ms(const int32_t* socks, int32_t n, uint32_t ms) {
  ws_timeval limit = sock_ms_to_timeval(ms);
  return select_read(socks, n, ms == 0 ? nullptr : &limit, false);
}

ws_timeval sock_ms_to_timeval(uint32_t ms) {
  return ws_timeval{static_cast<int32_t>(ms / 1000), static_cast<int32_t>(ms % 1000 * 1000)};
}
