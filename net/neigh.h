#pragma once
// The hardware addresses that the system's neighbour table holds for IPv4
// addresses, read afresh on every call. One implementation per platform:
// neigh_posix.cpp (rtnetlink), neigh_win32.cpp (GetIpNetTable2).

#include <cstdint>

// One IPv4 address whose hardware address is wanted; addr in host order.
struct neigh_entry {
  uint32_t addr;
  uint8_t mac[6];
  int32_t known;  // 1 when the system's table holds one hardware address for addr
};

// Fills mac and known for each of the n entries from the system's neighbour table:
// the count known, or -1 when the table cannot be read (then every known is 0).
// An address the table holds with two different hardware addresses (two
// links) is not known: never a guess.
int32_t neigh_lookup(neigh_entry* entries, int32_t n);
