// The thin operations on UDP sockets, over the sockets layer.

#include "net/ip.h"
#include "net/sock.h"

int32_t udp_open(const int32_t* port_ref, int32_t nonblocking) {
  sockaddr_in ep;
  ip_resolve(&ep, nullptr, *port_ref);
  // A socket that could not be made fails at the bind below.
  int32_t sock = ws_socket(WS_SOCK_DGRAM);
  if (nonblocking) sock_nonblock_on(sock);
  if (ws_bind(sock, &ep) < 0) {
    if (sock > 0) ws_closesocket(sock);
    return -2;
  }
  return sock;
}

int32_t udp_close(int32_t sock) {
  ws_closesocket(sock);
  return 0;
}

int32_t udp_recv(int32_t sock, void* buf, int32_t len, sockaddr_in* from) {
  return ws_recvfrom(sock, buf, len, from);
}

int32_t udp_send(int32_t sock, const void* data, int32_t len, const sockaddr_in* to) {
  return ws_sendto(sock, data, len, to);
}
