#pragma once
// The serving side of TCP: listening, accepting and receiving, and waiting
// until one of several sockets has something to read. With tcp_send,
// tcp_close and sock_write_ready (net/tcp_cx.h) a caller has what a small
// select-driven server needs. No state, no lock.

#include <cstdint>

#include "net/sockets.h"

// A listening socket on any local address, in blocking mode, backlog 5;
// -1 when the port cannot be bound (no socket is left open then).
int32_t tcp_listen(int32_t port);
// The connected socket, or -1; from (may be null) receives the peer.
int32_t tcp_accept(int32_t lsock, sockaddr_in* from);
// Bytes received, 0 when the peer has closed its side, -1 on error.
int32_t tcp_recv(int32_t sock, void* buf, int32_t len);

// 0 when sock is readable now; -1 otherwise, and for a value <= 0.
int32_t sock_read_ready(int32_t sock);

// Index of the first readable socket of socks[0 .. n - 1]; only the first 64
// are watched. -1 null array or n <= 0; -2 the wait failed ("select:
// error(%d)\n"); -3 nothing of the array was ready ("select: not found\n").
int32_t sock_select_read(const int32_t* socks, int32_t n);
// The same with a limit of ms milliseconds (0: none); a limit that passes
// with nothing readable gives -2 silently.
int32_t sock_select_read_ms(const int32_t* socks, int32_t n, uint32_t ms);

// The limit as the platform takes it: whole seconds and the microseconds left.
ws_timeval sock_ms_to_timeval(uint32_t ms);
