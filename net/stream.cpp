#include "net/stream.h"

#include "net/ip.h"

int32_t tcp_listen(int32_t port) {
  sockaddr_in ep;
  ip_resolve(&ep, nullptr, port);
  // A socket that could not be made fails at the bind.
  int32_t sock = ws_socket(WS_SOCK_STREAM);
  int32_t on = 1;
  ws_setsockopt(sock, WS_SOL_SOCKET, WS_SO_REUSEADDR, &on, sizeof on);
  if (ws_bind(sock, &ep) < 0) {
    if (sock > 0) ws_closesocket(sock);
    return -1;
  }
  ws_listen(sock, 5);
  return sock;
}

int32_t tcp_accept(int32_t lsock, sockaddr_in* from) {
  int32_t sock = ws_accept(lsock, from);
  return sock < 0 ? -1 : sock;
}

int32_t tcp_recv(int32_t sock, void* buf, int32_t len) { return ws_recv(sock, buf, len); }
