#pragma once
// What the connection manager needs from the platform besides sockets:
// tcp_cx_posix.cpp, tcp_cx_win32.cpp.

#include <cstdint>

// The socket of an attempt dropped by tcp_cx_fin. Windows releases it in
// WSACleanup; elsewhere nothing would, so it is closed here.
void tcp_cx_drop_socket(int32_t sock);
