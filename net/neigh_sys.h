#pragma once
// What neigh_lookup shares with its platform parts (neigh_posix.cpp,
// neigh_win32.cpp): the asked addresses, each with what the table said of it.

#include <cstddef>
#include <cstdint>

#include "net/neigh.h"

struct neigh_table {
  uint32_t* addrs;  // the asked addresses, sorted, each once
  uint8_t* macs;    // six bytes per address: the hardware address seen
  uint8_t* seen;    // per address: 0 none, 1 one hardware address, 2 two different
  int32_t count;    // of addrs
};

// Sets up the table for the asked addresses, none seen yet: 0, or -1 without memory.
int32_t neigh_table_ask(neigh_table* t, const neigh_entry* entries, int32_t n);
void neigh_table_free(neigh_table* t);
// Forgets what was seen, for a read that starts again.
void neigh_table_forget(neigh_table* t);
// One row of the system's table; rows for addresses not asked, or whose
// hardware address names no single device, are passed over.
void neigh_table_add(neigh_table* t, uint32_t addr, const uint8_t* mac, size_t mac_len);
// Six bytes, not all zero and not a group (multicast or broadcast) address.
bool neigh_usable_mac(const uint8_t* mac, size_t mac_len);

// Reads the system's table into t: 0, or -1 when it cannot be read.
int32_t neigh_sys_read(neigh_table* t);

// The rtnetlink side, which its tests feed with made-up dumps (neigh_posix.cpp):
// the messages of one datagram of a dump asked with sequence number seq.
constexpr int32_t neigh_dump_more = 0;         // not done yet: read the next datagram
constexpr int32_t neigh_dump_done = 1;         // NLMSG_DONE seen
constexpr int32_t neigh_dump_interrupted = 2;  // the table changed meanwhile: read again
constexpr int32_t neigh_dump_failed = -1;      // an error from the kernel, or a malformed message
int32_t neigh_netlink_parse(neigh_table* t, const void* data, size_t len, uint32_t seq);
