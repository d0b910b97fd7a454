#pragma once
// Small UDP helpers shared by the net tests that wait on sockets.

#include "net/ip.h"

inline int32_t open_bound(int32_t port) { return udp_open(&port, 1); }

// One "?" from a fresh socket to a port of this machine.
inline void send_to_port(int32_t port) {
  int32_t any = 0;
  int32_t tx = udp_open(&any, 0);
  sockaddr_in to;
  ip_resolve(&to, "127.0.0.1", port);
  udp_send(tx, "?", 1, &to);
  udp_close(tx);
}
