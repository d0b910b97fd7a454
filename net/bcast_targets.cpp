#include "net/bcast_targets.h"

#include <cstring>

namespace {

bool is_named(const bcast_targets* t, const char* name) {
  for (int32_t i = 0; i < t->only_count; i++) {
    if (std::strcmp(t->only[i], name) == 0) return true;
  }
  return false;
}

void collect_target(void* ctx, const adapter_addr* a) {
  auto* t = static_cast<bcast_targets*>(ctx);
  if (t->source && a->addr == t->source) {
    std::strncpy(t->source_name, a->name, adapter_name_size - 1);
    t->source_name[adapter_name_size - 1] = 0;
  }
  if (!adapter_can_broadcast(a) || t->count == bcast_targets_max) return;
  if (t->only_count > 0 && !is_named(t, a->name)) return;
  std::strncpy(t->name[t->count], a->name, adapter_name_size - 1);
  t->name[t->count][adapter_name_size - 1] = 0;
  t->broadcast[t->count++] = a->broadcast;
}

bool listed(const uint32_t* v, int32_t n, uint32_t x) {
  for (int32_t i = 0; i < n; i++) {
    if (v[i] == x) return true;
  }
  return false;
}

}  // namespace

int32_t bcast_probe_targets(bcast_targets* t, uint32_t* to) {
  bool every = t->only_count == 0;
  if (every) t->source = adapter_limited_source();
  adapter_visit(collect_target, t);
  int32_t n = 0;
  if (every) to[n++] = 0xFFFFFFFFu;
  // Networks on the limited broadcast's own adapter hear it already.
  uint32_t reached[bcast_targets_max];
  int32_t nreached = 0;
  for (int32_t i = 0; every && t->source_name[0] && i < t->count; i++) {
    if (std::strcmp(t->name[i], t->source_name) == 0) reached[nreached++] = t->broadcast[i];
  }
  for (int32_t i = 0; i < t->count; i++) {
    uint32_t b = t->broadcast[i];
    if (listed(reached, nreached, b) || listed(to, n, b)) continue;
    to[n++] = b;
  }
  return n;
}
