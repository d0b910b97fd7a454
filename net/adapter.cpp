#include "net/adapter.h"

#include <cstring>

#include "net/ip.h"
#include "net/sockets.h"

bool adapter_can_broadcast(const adapter_addr* a) {
  constexpr uint32_t refused = adapter_loopback | adapter_point_to_point;
  // A broadcast equal to the address is what a /32 (or a system that fills the
  // field regardless) reports: there is no network to reach.
  return (a->flags & adapter_up) && !(a->flags & refused) && a->broadcast != 0 &&
         a->broadcast != a->addr && a->broadcast != 0xFFFFFFFFu;
}

uint32_t adapter_limited_source() {
  int32_t s = ws_socket(WS_SOCK_DGRAM);
  if (s <= 0) return 0;
  // Connecting a datagram socket sends nothing; it only asks the route.
  int32_t on = 1;
  ws_setsockopt(s, WS_SOL_SOCKET, WS_SO_BROADCAST, &on, sizeof on);
  sockaddr_in to;
  ip_resolve(&to, "255.255.255.255", 9);
  sockaddr_in local;
  std::memset(&local, 0, sizeof local);
  uint32_t source = 0;
  if (ws_connect(s, &to) == 0 && ws_getsockname(s, &local) == 0)
    source = ntohl(local.sin_addr.s_addr);
  ws_closesocket(s);
  return source;
}
