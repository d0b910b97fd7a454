#include "net/sockets.h"
#include "net/tcp_cx_sys.h"

void tcp_cx_drop_socket(int32_t sock) {
  if (sock > 0) ws_closesocket(sock);
}
