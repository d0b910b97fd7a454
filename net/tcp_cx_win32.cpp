#include "net/tcp_cx_sys.h"

// WSACleanup in net_stop releases it with every other socket still open.
void tcp_cx_drop_socket(int32_t) {}
