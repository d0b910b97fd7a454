#pragma once
// The machine's IPv4 adapters, read afresh on every call: a cable plugged in
// while a program runs counts from its next call. One implementation per
// platform: adapter_posix.cpp (getifaddrs), adapter_win32.cpp
// (GetAdaptersAddresses). Addresses are in host byte order.

#include <cstdint>

constexpr int32_t adapter_name_size = 64;

constexpr uint32_t adapter_up = 1;
constexpr uint32_t adapter_loopback = 2;
constexpr uint32_t adapter_point_to_point = 4;

// One IPv4 address of one adapter. An adapter with several addresses is
// visited once for each.
struct adapter_addr {
  const char* name;  // "eth0"; on Windows the friendly name, "Ethernet"; valid during the visit
  uint32_t addr;
  uint32_t mask;
  uint32_t broadcast;  // the address with every host bit set; 0 when it has none
  uint32_t flags;      // adapter_up, adapter_loopback, adapter_point_to_point
};

// Calls visit for every IPv4 address of every adapter: 0, or -1 when the
// system cannot list them (nothing is visited then).
int32_t adapter_visit(void (*visit)(void* ctx, const adapter_addr* a), void* ctx);

// 1 when the system has an adapter of that name, whatever its state or
// addresses; 0 when it has none.
int32_t adapter_exists(const char* name);

// True for an address a directed broadcast can be sent on: its adapter is up,
// is not loopback or point-to-point, and it has a broadcast address.
bool adapter_can_broadcast(const adapter_addr* a);

// The local address that a datagram to 255.255.255.255 leaves from, which
// names the adapter the system's route picks; 0 when it has no route.
uint32_t adapter_limited_source();
