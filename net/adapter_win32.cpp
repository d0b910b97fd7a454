// Only Winsock 2's headers here: iphlpapi.h needs them, and they cannot meet
// the Winsock 1.1 header that the sockets layer includes. winsock2.h comes
// first, or iphlpapi.h declares no adapter addresses: not to be sorted.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include "net/adapter.h"

#include <cstdlib>
#include <cstring>

namespace {

constexpr ULONG list_flags =
    GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER;

// Room for a few dozen adapters on the stack; a machine with more gets one
// allocation of the size the system asks for.
constexpr ULONG stack_list_size = 32 * 1024;

// Calls fn with the system's adapter list of the given family: 0, or -1.
template <typename Fn>
int32_t with_adapter_list(ULONG family, Fn fn) {
  alignas(8) unsigned char stack_list[stack_list_size];
  void* list = stack_list;
  ULONG size = stack_list_size;
  ULONG rc = GetAdaptersAddresses(family, list_flags, nullptr,
                                  static_cast<IP_ADAPTER_ADDRESSES*>(list), &size);
  for (int tries = 0; rc == ERROR_BUFFER_OVERFLOW && tries < 3; tries++) {
    if (list != stack_list) std::free(list);
    list = std::malloc(size);
    if (!list) return -1;
    rc = GetAdaptersAddresses(family, list_flags, nullptr, static_cast<IP_ADAPTER_ADDRESSES*>(list),
                              &size);
  }
  int32_t result = -1;
  if (rc == NO_ERROR) {
    fn(static_cast<const IP_ADAPTER_ADDRESSES*>(list));
    result = 0;
  } else if (rc == ERROR_NO_DATA) {
    result = 0;  // no adapter at all
  }
  if (list != stack_list) std::free(list);
  return result;
}

// The friendly name people know ("Ethernet", "Wi-Fi") as UTF-8; false when it does not fit.
bool friendly_name(const IP_ADAPTER_ADDRESSES* a, char* out) {
  if (!a->FriendlyName) return false;
  int n = WideCharToMultiByte(CP_UTF8, 0, a->FriendlyName, -1, out, adapter_name_size, nullptr,
                              nullptr);
  return n > 0;
}

uint32_t prefix_mask(unsigned length) {
  if (length == 0) return 0;
  if (length >= 32) return 0xFFFFFFFFu;
  return 0xFFFFFFFFu << (32 - length);
}

}  // namespace

int32_t adapter_visit(void (*visit)(void* ctx, const adapter_addr* a), void* ctx) {
  return with_adapter_list(AF_INET, [&](const IP_ADAPTER_ADDRESSES* list) {
    for (const IP_ADAPTER_ADDRESSES* ad = list; ad; ad = ad->Next) {
      char name[adapter_name_size];
      if (!friendly_name(ad, name)) name[0] = 0;
      uint32_t flags = 0;
      if (ad->OperStatus == IfOperStatusUp) flags |= adapter_up;
      if (ad->IfType == IF_TYPE_SOFTWARE_LOOPBACK) flags |= adapter_loopback;
      if (ad->IfType == IF_TYPE_PPP || ad->IfType == IF_TYPE_TUNNEL)
        flags |= adapter_point_to_point;
      for (const IP_ADAPTER_UNICAST_ADDRESS* u = ad->FirstUnicastAddress; u; u = u->Next) {
        const SOCKADDR* sa = u->Address.lpSockaddr;
        if (!sa || sa->sa_family != AF_INET) continue;
        adapter_addr a;
        a.name = name;
        a.addr = ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
        a.mask = prefix_mask(u->OnLinkPrefixLength);
        // Windows keeps no broadcast address; a network of two or more hosts has one.
        a.broadcast = u->OnLinkPrefixLength < 31 ? (a.addr | ~a.mask) : 0;
        a.flags = flags;
        visit(ctx, &a);
      }
    }
  });
}

int32_t adapter_exists(const char* name) {
  if (!name || !*name) return 0;
  int32_t found = 0;
  with_adapter_list(AF_UNSPEC, [&](const IP_ADAPTER_ADDRESSES* list) {
    for (const IP_ADAPTER_ADDRESSES* ad = list; ad; ad = ad->Next) {
      char text[adapter_name_size];
      if (friendly_name(ad, text) && std::strcmp(text, name) == 0) found = 1;
    }
  });
  return found;
}
