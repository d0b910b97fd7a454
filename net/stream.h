#pragma once
// The serving side of TCP: listening, accepting and receiving. With the
// waits of net/sock.h and tcp_send and tcp_close (net/tcp_cx.h) a caller has
// what a small select-driven server needs. No state, no lock.

#include <cstdint>

#include "net/sock.h"
#include "net/sockets.h"

// A listening socket on any local address, in blocking mode, backlog 5;
// -1 when the port cannot be bound (no socket is left open then).
int32_t tcp_listen(int32_t port);
// The connected socket, or -1; from (may be null) receives the peer.
int32_t tcp_accept(int32_t lsock, sockaddr_in* from);
// Bytes received, 0 when the peer has closed its side, -1 on error.
int32_t tcp_recv(int32_t sock, void* buf, int32_t len);
