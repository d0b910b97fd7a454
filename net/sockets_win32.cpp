#include "net/sockets.h"

namespace {

// Windows select takes its own fd_set; ws_set has the same shape but is ours.
void to_fd_set(const ws_set* set, fd_set* fds) {
  fds->fd_count = set->count;
  for (uint32_t i = 0; i < set->count; i++) fds->fd_array[i] = static_cast<SOCKET>(set->socks[i]);
}

void from_fd_set(const fd_set* fds, ws_set* set) {
  set->count = fds->fd_count;
  for (uint32_t i = 0; i < fds->fd_count; i++)
    set->socks[i] = static_cast<int32_t>(fds->fd_array[i]);
}

int32_t as_socket(SOCKET s) { return s == INVALID_SOCKET ? -1 : static_cast<int32_t>(s); }

// Refused here: not every sockets layer refuses a negative length, which reads past the buffer.
bool refuse_length(int32_t len) {
  if (len >= 0) return false;
  WSASetLastError(WSAEINVAL);
  return true;
}

}  // namespace

int32_t ws_startup() {
  WSADATA data;
  return WSAStartup(0x0101, &data) == 0 ? 0 : -1;
}

void ws_cleanup() { WSACleanup(); }

int32_t ws_socket(int32_t type) { return as_socket(socket(AF_INET, type, 0)); }

int32_t ws_closesocket(int32_t s) { return closesocket(static_cast<SOCKET>(s)) == 0 ? 0 : -1; }

int32_t ws_bind(int32_t s, const sockaddr_in* ep) {
  return bind(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(ep), sizeof *ep) == 0 ? 0
                                                                                              : -1;
}

int32_t ws_listen(int32_t s, int32_t backlog) {
  return listen(static_cast<SOCKET>(s), backlog) == 0 ? 0 : -1;
}

int32_t ws_accept(int32_t s, sockaddr_in* from) {
  sockaddr_in peer{};
  int len = sizeof peer;
  SOCKET c = accept(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(&peer), &len);
  if (c == INVALID_SOCKET) return -1;
  if (from) *from = peer;
  return as_socket(c);
}

int32_t ws_connect(int32_t s, const sockaddr_in* ep) {
  return connect(static_cast<SOCKET>(s), reinterpret_cast<const sockaddr*>(ep), sizeof *ep) == 0
             ? 0
             : -1;
}

int32_t ws_setsockopt(int32_t s, int32_t level, int32_t option, const void* value, int32_t len) {
  return setsockopt(static_cast<SOCKET>(s), level, option, static_cast<const char*>(value), len) ==
                 0
             ? 0
             : -1;
}

int32_t ws_getsockopt_int(int32_t s, int32_t level, int32_t option, int32_t* value) {
  int v = 0;
  int len = sizeof v;
  if (getsockopt(static_cast<SOCKET>(s), level, option, reinterpret_cast<char*>(&v), &len) != 0)
    return -1;
  *value = v;
  return 0;
}

int32_t ws_ioctlsocket(int32_t s, uint32_t cmd, uint32_t* arg) {
  u_long value = *arg;
  return ioctlsocket(static_cast<SOCKET>(s), static_cast<long>(cmd), &value) == 0 ? 0 : -1;
}

int32_t ws_send(int32_t s, const void* data, int32_t len) {
  if (refuse_length(len)) return -1;
  return send(static_cast<SOCKET>(s), static_cast<const char*>(data), len, 0);
}

int32_t ws_recv(int32_t s, void* buf, int32_t len) {
  if (refuse_length(len)) return -1;
  return recv(static_cast<SOCKET>(s), static_cast<char*>(buf), len, 0);
}

int32_t ws_sendto(int32_t s, const void* data, int32_t len, const sockaddr_in* to) {
  if (refuse_length(len)) return -1;
  return sendto(static_cast<SOCKET>(s), static_cast<const char*>(data), len, 0,
                reinterpret_cast<const sockaddr*>(to), sizeof *to);
}

int32_t ws_recvfrom(int32_t s, void* buf, int32_t len, sockaddr_in* from) {
  if (refuse_length(len)) return -1;
  sockaddr_in peer{};
  int peer_len = sizeof peer;
  int n = recvfrom(static_cast<SOCKET>(s), static_cast<char*>(buf), len, 0,
                   reinterpret_cast<sockaddr*>(&peer), &peer_len);
  if (from) *from = peer;
  return n;
}

int32_t ws_recvfrom_many(int32_t s, ws_datagram* d, int32_t n, uint32_t*) {
  int32_t read = 0;
  for (; read < n; read++) {
    int from_len = sizeof d[read].from;
    int got = recvfrom(static_cast<SOCKET>(s), d[read].buf, d[read].size, 0,
                       reinterpret_cast<sockaddr*>(&d[read].from), &from_len);
    if (got >= 0) {
      d[read].len = got;
    } else if (WSAGetLastError() == WSAEMSGSIZE) {
      d[read].len = -1;  // cut to its buffer: the rest is gone
    } else {
      if (read > 0 || WSAGetLastError() == WSAEWOULDBLOCK) break;
      return -1;
    }
  }
  return read;
}

// Winsock keeps no count of the datagrams it drops.
int32_t ws_count_drops(int32_t) {
  WSASetLastError(WSAEOPNOTSUPP);
  return -1;
}

int32_t ws_drop_count(int32_t, uint32_t*) {
  WSASetLastError(WSAEOPNOTSUPP);
  return -1;
}

int32_t ws_select(int32_t nfds, ws_set* rd, ws_set* wr, const ws_timeval* limit) {
  fd_set rfds, wfds;
  if (rd) to_fd_set(rd, &rfds);
  if (wr) to_fd_set(wr, &wfds);
  timeval tv;
  if (limit) {
    tv.tv_sec = limit->sec;
    tv.tv_usec = limit->usec;
  }
  int n = select(nfds, rd ? &rfds : nullptr, wr ? &wfds : nullptr, nullptr, limit ? &tv : nullptr);
  if (n < 0) return -1;
  if (rd) from_fd_set(&rfds, rd);
  if (wr) from_fd_set(&wfds, wr);
  return n;
}

int32_t ws_getsockname(int32_t s, sockaddr_in* ep) {
  int len = sizeof *ep;
  return getsockname(static_cast<SOCKET>(s), reinterpret_cast<sockaddr*>(ep), &len) == 0 ? 0 : -1;
}

int32_t ws_pending_error(int32_t s) {
  int error = 0;
  int len = sizeof error;
  if (getsockopt(static_cast<SOCKET>(s), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                 &len) != 0)
    return WSAGetLastError();
  return error;
}

int32_t ws_gethostname(char* name, int32_t len) { return gethostname(name, len) == 0 ? 0 : -1; }

int32_t ws_gethostbyname(const char* name, in_addr* first) {
  // The answer lives in storage of the calling thread until its next lookup: read it now.
  hostent* h = gethostbyname(name);
  if (!h || !h->h_addr_list || !h->h_addr_list[0]) return -1;
  *first = *reinterpret_cast<const in_addr*>(h->h_addr_list[0]);
  return 0;
}

uint32_t ws_inet_addr(const char* text) { return inet_addr(text); }

const char* ws_inet_ntoa(in_addr addr) { return inet_ntoa(addr); }

int32_t ws_last_error() { return WSAGetLastError(); }

bool ws_would_block(int32_t error) { return error == WSAEWOULDBLOCK; }

bool ws_not_socket(int32_t error) { return error == WSAENOTSOCK; }
