#pragma once
// The sock_ operations, on one socket or a few of any kind: blocking mode,
// local port, readiness now, and waits for the first readable socket of an
// array. No state, no lock. A socket value that is 0, negative or no open
// socket is never ready: the readiness tests give -1 and the waits -2.

#include <cstdint>

#include "net/sockets.h"

int32_t sock_nonblock_on(int32_t sock);
int32_t sock_nonblock_off(int32_t sock);
int32_t sock_local_port(int32_t sock);  // 0 when the socket has none
int32_t sock_identity(int32_t sock);

// 0 when sock is readable now; -1 otherwise, and for a value <= 0.
int32_t sock_read_ready(int32_t sock);
// 0 when sock is writable now; -1 otherwise.
int32_t sock_write_ready(int32_t sock);

// Index of the first readable socket of socks[0 .. n - 1]; only the first 64
// are watched. -1 null array or n <= 0; -2 the wait failed ("select:
// error(%d)\n"), at once when a watched value is no socket; -3 nothing of
// the array was ready ("select: not found\n").
int32_t sock_select_read(const int32_t* socks, int32_t n);
// The same with a limit of ms milliseconds (0: none); a limit that passes
// with nothing readable gives -2 silently.
int32_t sock_select_read_ms(const int32_t* socks, int32_t n, uint32_t ms);

// The limit as the platform takes it: whole seconds and the microseconds left.
ws_timeval sock_ms_to_timeval(uint32_t ms);
