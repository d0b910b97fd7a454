#pragma once
// Where one probe of the broadcast channel goes: 255.255.255.255 and a
// directed broadcast to each network that it does not already reach, or
// only the named adapters' networks. Read on the sender's stack, outside
// the channel's guard: reading the adapters takes a system call or two.

#include <cstdint>

#include "net/adapter.h"

// Adapters a send may be limited to, and the directed broadcasts one send makes at most.
constexpr int32_t bcast_adapters_max = 16;
constexpr int32_t bcast_targets_max = 32;

struct bcast_targets {
  char only[bcast_adapters_max][adapter_name_size];  // the caller's: none means every adapter
  int32_t only_count;
  uint32_t source;                      // where 255.255.255.255 leaves from; 0: no route
  char source_name[adapter_name_size];  // that address's adapter; "" when not seen
  int32_t count;
  char name[bcast_targets_max][adapter_name_size];
  uint32_t broadcast[bcast_targets_max];
};

// The destinations (host order) into to, which has room for
// bcast_targets_max + 1: first 255.255.255.255 unless adapters are named,
// then one directed broadcast per network not reached yet. The count.
int32_t bcast_probe_targets(bcast_targets* t, uint32_t* to);
