#pragma once
// The support library's start and stop around a program's whole life: the
// allocator and the log first, then the sockets layer and the connection
// manager; the stop in the opposite order.

#include <cstdint>

// mem_start, then net_start: 0, or net_start's -1 (no sockets layer, or no
// thread for the connection manager). support_stop is due either way.
int32_t support_start();
// net_stop, then mem_stop.
void support_stop();
