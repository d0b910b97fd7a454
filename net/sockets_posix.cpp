#include "net/sockets.h"

#include <fcntl.h>
#include <linux/sock_diag.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "support/clock_sys.h"

namespace {

// Windows never hands out socket 0; a POSIX descriptor 0 (stdin closed) is moved up.
int32_t keep_above_zero(int fd) {
  if (fd != 0) return fd;
  int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
  int saved = errno;
  close(fd);
  errno = saved;
  return moved;
}

bool map_option(int32_t level, int32_t option, int* posix_level, int* posix_option) {
  if (level != WS_SOL_SOCKET) return false;
  *posix_level = SOL_SOCKET;
  switch (option) {
    case WS_SO_REUSEADDR:
      *posix_option = SO_REUSEADDR;
      return true;
    case WS_SO_BROADCAST:
      *posix_option = SO_BROADCAST;
      return true;
    case WS_SO_RCVBUF:
      *posix_option = SO_RCVBUF;
      return true;
    default:
      return false;
  }
}

// poll() would skip a negative entry, watch standard input for 0 and report
// a pipe or a file as ready: Windows refuses each of them as no socket.
bool all_sockets(const ws_set* set) {
  for (uint32_t i = 0; set && i < set->count; i++) {
    struct stat st;
    if (set->socks[i] <= 0 || fstat(set->socks[i], &st) != 0 || !S_ISSOCK(st.st_mode)) return false;
  }
  return true;
}

// Keeps in a set only the sockets whose poll entries report readiness.
uint32_t keep_ready(ws_set* set, const pollfd* fds, short ready_events) {
  uint32_t kept = 0;
  for (uint32_t i = 0; i < set->count; i++) {
    if (fds[i].revents & ready_events) set->socks[kept++] = set->socks[i];
  }
  set->count = kept;
  return kept;
}

// A negative length is refused: taken as a size it would reach past the buffer.
bool refuse_length(int32_t len) {
  if (len >= 0) return false;
  errno = EINVAL;
  return true;
}

}  // namespace

int32_t ws_startup() { return 0; }

void ws_cleanup() {}

int32_t ws_socket(int32_t type) {
  int posix_type = type == WS_SOCK_STREAM ? SOCK_STREAM : type == WS_SOCK_DGRAM ? SOCK_DGRAM : -1;
  if (posix_type < 0) {
    errno = EINVAL;
    return -1;
  }
  // Close-on-exec: a browser started by the tool must not inherit its sockets.
  return keep_above_zero(socket(AF_INET, posix_type | SOCK_CLOEXEC, 0));
}

int32_t ws_closesocket(int32_t s) { return close(s) == 0 ? 0 : -1; }

int32_t ws_bind(int32_t s, const sockaddr_in* ep) {
  return bind(s, reinterpret_cast<const sockaddr*>(ep), sizeof *ep) == 0 ? 0 : -1;
}

int32_t ws_listen(int32_t s, int32_t backlog) { return listen(s, backlog) == 0 ? 0 : -1; }

int32_t ws_accept(int32_t s, sockaddr_in* from) {
  sockaddr_in peer{};
  socklen_t len = sizeof peer;
  int fd;
  do {
    fd = accept4(s, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return -1;
  if (from) *from = peer;
  return keep_above_zero(fd);
}

int32_t ws_connect(int32_t s, const sockaddr_in* ep) {
  return connect(s, reinterpret_cast<const sockaddr*>(ep), sizeof *ep) == 0 ? 0 : -1;
}

int32_t ws_setsockopt(int32_t s, int32_t level, int32_t option, const void* value, int32_t len) {
  int posix_level, posix_option;
  if (!map_option(level, option, &posix_level, &posix_option)) {
    errno = ENOPROTOOPT;
    return -1;
  }
  return setsockopt(s, posix_level, posix_option, value, static_cast<socklen_t>(len)) == 0 ? 0 : -1;
}

int32_t ws_getsockopt_int(int32_t s, int32_t level, int32_t option, int32_t* value) {
  int posix_level, posix_option;
  if (!map_option(level, option, &posix_level, &posix_option)) {
    errno = ENOPROTOOPT;
    return -1;
  }
  int v = 0;
  socklen_t len = sizeof v;
  if (getsockopt(s, posix_level, posix_option, &v, &len) != 0) return -1;
  *value = v;
  return 0;
}

int32_t ws_ioctlsocket(int32_t s, uint32_t cmd, uint32_t* arg) {
  if (cmd != WS_FIONBIO) {
    errno = EINVAL;
    return -1;
  }
  int flags = fcntl(s, F_GETFL);
  if (flags < 0) return -1;
  flags = *arg ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
  return fcntl(s, F_SETFL, flags) == 0 ? 0 : -1;
}

int32_t ws_send(int32_t s, const void* data, int32_t len) {
  if (refuse_length(len)) return -1;
  // A peer that has gone must give an error, not a SIGPIPE that ends the process.
  ssize_t n;
  do {
    n = send(s, data, static_cast<size_t>(len), MSG_NOSIGNAL);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t ws_recv(int32_t s, void* buf, int32_t len) {
  if (refuse_length(len)) return -1;
  ssize_t n;
  do {
    n = recv(s, buf, static_cast<size_t>(len), 0);
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t ws_sendto(int32_t s, const void* data, int32_t len, const sockaddr_in* to) {
  if (refuse_length(len)) return -1;
  ssize_t n = sendto(s, data, static_cast<size_t>(len), MSG_NOSIGNAL,
                     reinterpret_cast<const sockaddr*>(to), sizeof *to);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t ws_recvfrom(int32_t s, void* buf, int32_t len, sockaddr_in* from) {
  if (refuse_length(len)) return -1;
  sockaddr_in peer{};
  socklen_t peer_len = sizeof peer;
  ssize_t n;
  do {
    // MSG_TRUNC gives the datagram's real length, so an oversized one is told apart.
    n = recvfrom(s, buf, static_cast<size_t>(len), MSG_TRUNC, reinterpret_cast<sockaddr*>(&peer),
                 &peer_len);
  } while (n < 0 && errno == EINTR);
  if (from) *from = peer;
  if (n < 0) return -1;
  if (n > len) {
    errno = EMSGSIZE;
    return -1;
  }
  return static_cast<int32_t>(n);
}

int32_t ws_recvfrom_many(int32_t s, ws_datagram* d, int32_t n, uint32_t* dropped) {
  // One system call for up to this many: the stack holds their headers.
  constexpr int32_t per_call = 64;
  mmsghdr msgs[per_call];
  iovec iov[per_call];
  alignas(cmsghdr) char control[per_call][CMSG_SPACE(sizeof(uint32_t))];
  int32_t read = 0;
  while (read < n) {
    int32_t ask = n - read < per_call ? n - read : per_call;
    for (int32_t i = 0; i < ask; i++) {
      ws_datagram& g = d[read + i];
      iov[i] = {g.buf, static_cast<size_t>(g.size < 0 ? 0 : g.size)};
      msgs[i] = {};
      msgs[i].msg_hdr.msg_name = &g.from;
      msgs[i].msg_hdr.msg_namelen = sizeof g.from;
      msgs[i].msg_hdr.msg_iov = &iov[i];
      msgs[i].msg_hdr.msg_iovlen = 1;
      msgs[i].msg_hdr.msg_control = control[i];
      msgs[i].msg_hdr.msg_controllen = sizeof control[i];
    }
    int got;
    do {
      got = recvmmsg(s, msgs, static_cast<unsigned>(ask), MSG_DONTWAIT, nullptr);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      if (read > 0 || errno == EAGAIN || errno == EWOULDBLOCK) break;
      return -1;
    }
    for (int32_t i = 0; i < got; i++) {
      ws_datagram& g = d[read + i];
      msghdr& h = msgs[i].msg_hdr;
      // Cut to its buffer, as one datagram read alone would be reported.
      g.len = (h.msg_flags & MSG_TRUNC) ? -1 : static_cast<int32_t>(msgs[i].msg_len);
      for (cmsghdr* c = CMSG_FIRSTHDR(&h); dropped && c; c = CMSG_NXTHDR(&h, c)) {
        if (c->cmsg_level != SOL_SOCKET || c->cmsg_type != SO_RXQ_OVFL) continue;
        uint32_t count;
        std::memcpy(&count, CMSG_DATA(c), sizeof count);
        if (count > *dropped) *dropped = count;
      }
    }
    read += got;
    if (got < ask) break;
  }
  return read;
}

int32_t ws_count_drops(int32_t s) {
  int on = 1;
  return setsockopt(s, SOL_SOCKET, SO_RXQ_OVFL, &on, sizeof on) == 0 ? 0 : -1;
}

int32_t ws_drop_count(int32_t s, uint32_t* count) {
  // The same counter that SO_RXQ_OVFL stamps on each datagram as it is queued,
  // read now: drops after the last datagram read are seen too.
  uint32_t mem[SK_MEMINFO_VARS] = {};
  socklen_t len = sizeof mem;
  if (getsockopt(s, SOL_SOCKET, SO_MEMINFO, mem, &len) != 0 ||
      len < sizeof(uint32_t) * (SK_MEMINFO_DROPS + 1))
    return -1;
  *count = mem[SK_MEMINFO_DROPS];
  return 0;
}

int32_t ws_select(int32_t, ws_set* rd, ws_set* wr, const ws_timeval* limit) {
  uint32_t nrd = rd ? rd->count : 0, nwr = wr ? wr->count : 0;
  if (nrd + nwr == 0) {
    errno = EINVAL;  // Windows refuses a select with no socket at all
    return -1;
  }
  if (!all_sockets(rd) || !all_sockets(wr)) {
    errno = ENOTSOCK;
    return -1;
  }
  pollfd fds[2 * ws_setsize];
  for (uint32_t i = 0; i < nrd; i++) fds[i] = {rd->socks[i], POLLIN, 0};
  for (uint32_t i = 0; i < nwr; i++) fds[nrd + i] = {wr->socks[i], POLLOUT, 0};

  int64_t limit_ms = -1;
  if (limit) {
    // Round microseconds up: a limit must never end the wait early.
    limit_ms = static_cast<int64_t>(limit->sec) * 1000 + (limit->usec + 999) / 1000;
    if (limit_ms < 0) limit_ms = 0;
  }
  // The clock's reading drops the part of a millisecond already gone: one
  // more keeps a deadline from coming early. A zero limit only polls.
  int64_t deadline = limit_ms < 0 ? 0 : static_cast<int64_t>(sys_monotonic_ms()) + limit_ms;
  if (limit_ms > 0) deadline += 1;
  int n;
  for (;;) {
    int wait = -1;
    if (limit_ms >= 0) {
      int64_t left = deadline - static_cast<int64_t>(sys_monotonic_ms());
      wait = left < 0 ? 0 : left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    n = poll(fds, nrd + nwr, wait);
    if (n >= 0 || errno != EINTR) break;
  }
  if (n < 0) return -1;
  for (uint32_t i = 0; i < nrd + nwr; i++) {
    if (fds[i].revents & POLLNVAL) {
      errno = ENOTSOCK;  // closed by another thread since the check above
      return -1;
    }
  }
  // Readable includes a closed or failed connection; writable includes a failed
  // connect, which the caller tells apart by the pending error.
  uint32_t ready = 0;
  if (rd) ready += keep_ready(rd, fds, POLLIN | POLLHUP | POLLERR);
  if (wr) ready += keep_ready(wr, fds + nrd, POLLOUT | POLLHUP | POLLERR);
  return static_cast<int32_t>(ready);
}

int32_t ws_getsockname(int32_t s, sockaddr_in* ep) {
  socklen_t len = sizeof *ep;
  return getsockname(s, reinterpret_cast<sockaddr*>(ep), &len) == 0 ? 0 : -1;
}

int32_t ws_pending_error(int32_t s) {
  int error = 0;
  socklen_t len = sizeof error;
  if (getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &len) != 0) return errno;
  return error;
}

int32_t ws_gethostname(char* name, int32_t len) {
  if (gethostname(name, static_cast<size_t>(len)) != 0) return -1;
  name[len - 1] = 0;  // POSIX leaves a cut name unterminated
  return 0;
}

int32_t ws_gethostbyname(const char* name, in_addr* first) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* list = nullptr;
  if (getaddrinfo(name, nullptr, &hints, &list) != 0 || !list) return -1;
  *first = reinterpret_cast<const sockaddr_in*>(list->ai_addr)->sin_addr;
  freeaddrinfo(list);
  return 0;
}

uint32_t ws_inet_addr(const char* text) { return inet_addr(text); }

const char* ws_inet_ntoa(in_addr addr) {
  thread_local char text[16];
  const auto* b = reinterpret_cast<const unsigned char*>(&addr.s_addr);
  std::snprintf(text, sizeof text, "%d.%d.%d.%d", b[0], b[1], b[2], b[3]);
  return text;
}

int32_t ws_last_error() { return errno; }

bool ws_would_block(int32_t error) { return error == EAGAIN || error == EWOULDBLOCK; }

bool ws_not_socket(int32_t error) { return error == ENOTSOCK; }
