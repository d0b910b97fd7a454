#include "net/adapter.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstring>

namespace {

uint32_t host_order(const sockaddr* sa) {
  if (!sa || sa->sa_family != AF_INET) return 0;
  return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
}

}  // namespace

int32_t adapter_visit(void (*visit)(void* ctx, const adapter_addr* a), void* ctx) {
  // getifaddrs allocates its list in the C library; it goes back before we return.
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return -1;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_name) continue;
    // "eth0:1" is an address label on eth0, not an adapter of its own.
    char name[adapter_name_size];
    size_t len = std::strcspn(i->ifa_name, ":");
    if (len >= sizeof name) continue;
    std::memcpy(name, i->ifa_name, len);
    name[len] = 0;
    adapter_addr a;
    a.name = name;
    a.addr = host_order(i->ifa_addr);
    a.mask = host_order(i->ifa_netmask);
    bool has_broadcast = (i->ifa_flags & IFF_BROADCAST) && !(i->ifa_flags & IFF_POINTOPOINT);
    a.broadcast = has_broadcast ? host_order(i->ifa_broadaddr) : 0;
    a.flags = 0;
    // Up and running, as Windows' operational state: an unplugged cable is not up.
    if ((i->ifa_flags & IFF_UP) && (i->ifa_flags & IFF_RUNNING)) a.flags |= adapter_up;
    if (i->ifa_flags & IFF_LOOPBACK) a.flags |= adapter_loopback;
    if (i->ifa_flags & IFF_POINTOPOINT) a.flags |= adapter_point_to_point;
    visit(ctx, &a);
  }
  freeifaddrs(list);
  return 0;
}

int32_t adapter_exists(const char* name) {
  if (!name || !*name || std::strlen(name) >= IF_NAMESIZE) return 0;
  return if_nametoindex(name) != 0 ? 1 : 0;
}
