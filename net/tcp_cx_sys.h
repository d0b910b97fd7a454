#pragma once
// What the connection manager needs from the platform besides sockets:
// tcp_cx_posix.cpp, tcp_cx_win32.cpp.

#include <cstdint>

// The lock over the manager's table, count, id counter and semaphore. It
// lives in static storage for the whole process, so a manager thread left
// running by an aborted finish can still take it.
void tcp_cx_lock_enter();
void tcp_cx_lock_leave();

// The socket of an attempt dropped by tcp_cx_fin. Windows releases it in
// WSACleanup; elsewhere nothing would, so it is closed here.
void tcp_cx_drop_socket(int32_t sock);
