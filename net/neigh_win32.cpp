// Only Winsock 2's headers here, in this order, as in adapter_win32.cpp: not to be sorted.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <iphlpapi.h>
// clang-format on

#include "net/neigh_sys.h"
#include "support/clock.h"

namespace {

// Each resolution of an address without a row may wait for ARP's time limit
// (seconds, when nothing answers): a few, within a bounded time, then no more.
constexpr int32_t resolve_most = 32;
constexpr uint32_t resolve_budget_ms = 2000;

bool usable_state(NL_NEIGHBOR_STATE s) {
  return s == NlnsReachable || s == NlnsStale || s == NlnsDelay || s == NlnsProbe ||
         s == NlnsPermanent;
}

void take_row(neigh_table* t, const MIB_IPNET_ROW2* row) {
  if (row->Address.si_family != AF_INET || !usable_state(row->State) || row->IsUnreachable) return;
  neigh_table_add(t, ntohl(row->Address.Ipv4.sin_addr.s_addr), row->PhysicalAddress,
                  row->PhysicalAddressLength);
}

// Loopback, this network, multicast and broadcast have no neighbour to ask.
bool can_resolve(uint32_t addr) {
  uint32_t first = addr >> 24;
  return first != 0 && first != 127 && first < 224;
}

using resolve_fn = NETIO_STATUS(WINAPI*)(MIB_IPNET_ROW2*, const SOCKADDR_INET*);

// Looked up when needed, not imported: a system without it (Wine) would
// otherwise end the program at the first call.
resolve_fn find_resolve() {
  HMODULE iphlpapi = GetModuleHandleA("iphlpapi.dll");
  FARPROC proc = iphlpapi ? GetProcAddress(iphlpapi, "ResolveIpNetEntry2") : nullptr;
  return reinterpret_cast<resolve_fn>(reinterpret_cast<void*>(proc));
}

// Asks the network, by the adapter the route picks, for an address without a
// row: false when this system cannot ask at all.
bool resolve(neigh_table* t, uint32_t addr, resolve_fn resolve_entry) {
  if (!resolve_entry) {
    ULONG mac[2] = {0, 0};
    ULONG len = sizeof mac;
    DWORD rc = SendARP(htonl(addr), 0, mac, &len);
    if (rc == NO_ERROR) neigh_table_add(t, addr, reinterpret_cast<const uint8_t*>(mac), len);
    return rc != ERROR_NOT_SUPPORTED;
  }
  DWORD index = 0;
  if (GetBestInterface(htonl(addr), &index) != NO_ERROR) return true;
  MIB_IPNET_ROW2 row;
  ZeroMemory(&row, sizeof row);
  row.Address.si_family = AF_INET;
  row.Address.Ipv4.sin_family = AF_INET;
  row.Address.Ipv4.sin_addr.s_addr = htonl(addr);
  row.InterfaceIndex = index;
  NETIO_STATUS rc = resolve_entry(&row, nullptr);
  if (rc == NO_ERROR) take_row(t, &row);
  return rc != ERROR_NOT_SUPPORTED;
}

}  // namespace

int32_t neigh_sys_read(neigh_table* t) {
  MIB_IPNET_TABLE2* table = nullptr;
  DWORD rc = GetIpNetTable2(AF_INET, &table);
  // An empty table is ERROR_NOT_FOUND: every address is then left to resolve.
  if (rc != NO_ERROR && rc != ERROR_NOT_FOUND) return -1;
  if (table) {
    for (ULONG i = 0; i < table->NumEntries; i++) take_row(t, &table->Table[i]);
    FreeMibTable(table);
  }
  resolve_fn resolve_entry = find_resolve();
  uint32_t start = clock_ms();
  int32_t tried = 0;
  for (int32_t i = 0; i < t->count && tried < resolve_most; i++) {
    if (t->seen[i] != 0 || !can_resolve(t->addrs[i])) continue;
    if (elapsed_ms(start, 0) >= resolve_budget_ms) break;
    if (!resolve(t, t->addrs[i], resolve_entry)) break;
    tried++;
  }
  return 0;
}
