#include "net/sockets.h"

// The set is ours on every platform; only the wait on it differs.

void ws_set_zero(ws_set* set) { set->count = 0; }

void ws_set_add(ws_set* set, int32_t s) {
  if (set->count < ws_setsize) set->socks[set->count++] = s;
}

int32_t ws_set_has(const ws_set* set, int32_t s) {
  for (uint32_t i = 0; i < set->count; i++) {
    if (set->socks[i] == s) return 1;
  }
  return 0;
}
