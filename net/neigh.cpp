#include "net/neigh.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "net/neigh_sys.h"

namespace {

constexpr size_t mac_size = 6;

// The asked address's place in t, or -1.
int32_t place(const neigh_table* t, uint32_t addr) {
  const uint32_t* begin = t->addrs;
  const uint32_t* end = begin + t->count;
  const uint32_t* at = std::lower_bound(begin, end, addr);
  if (at == end || *at != addr) return -1;
  return static_cast<int32_t>(at - begin);
}

}  // namespace

bool neigh_usable_mac(const uint8_t* mac, size_t mac_len) {
  if (!mac || mac_len != mac_size) return false;
  // A group address, the broadcast one among them, names no single device.
  if (mac[0] & 1) return false;
  for (size_t i = 0; i < mac_size; i++) {
    if (mac[i]) return true;
  }
  return false;
}

int32_t neigh_table_ask(neigh_table* t, const neigh_entry* entries, int32_t n) {
  size_t count = n > 0 ? static_cast<size_t>(n) : 0;
  t->addrs = static_cast<uint32_t*>(std::malloc((count + 1) * sizeof(uint32_t)));
  t->macs = static_cast<uint8_t*>(std::calloc(count + 1, mac_size));
  t->seen = static_cast<uint8_t*>(std::calloc(count + 1, 1));
  t->count = 0;
  if (!t->addrs || !t->macs || !t->seen) {
    neigh_table_free(t);
    return -1;
  }
  for (size_t i = 0; i < count; i++) t->addrs[i] = entries[i].addr;
  std::sort(t->addrs, t->addrs + count);
  t->count = static_cast<int32_t>(std::unique(t->addrs, t->addrs + count) - t->addrs);
  return 0;
}

void neigh_table_free(neigh_table* t) {
  std::free(t->addrs);
  std::free(t->macs);
  std::free(t->seen);
  t->addrs = nullptr;
  t->macs = t->seen = nullptr;
  t->count = 0;
}

void neigh_table_forget(neigh_table* t) {
  std::memset(t->macs, 0, static_cast<size_t>(t->count) * mac_size);
  std::memset(t->seen, 0, static_cast<size_t>(t->count));
}

void neigh_table_add(neigh_table* t, uint32_t addr, const uint8_t* mac, size_t mac_len) {
  if (!neigh_usable_mac(mac, mac_len)) return;
  int32_t i = place(t, addr);
  if (i < 0) return;
  uint8_t* have = t->macs + static_cast<size_t>(i) * mac_size;
  if (t->seen[i] == 0) {
    std::memcpy(have, mac, mac_size);
    t->seen[i] = 1;
  } else if (t->seen[i] == 1 && std::memcmp(have, mac, mac_size) != 0) {
    // The same address behind two links, two devices: which one answered is unknown.
    t->seen[i] = 2;
  }
}

int32_t neigh_lookup(neigh_entry* entries, int32_t n) {
  if (n == 0) return 0;
  if (n < 0 || !entries) return -1;
  for (int32_t i = 0; i < n; i++) {
    std::memset(entries[i].mac, 0, mac_size);
    entries[i].known = 0;
  }
  neigh_table t;
  if (neigh_table_ask(&t, entries, n) != 0) return -1;
  int32_t known = -1;
  if (neigh_sys_read(&t) == 0) {
    known = 0;
    for (int32_t i = 0; i < n; i++) {
      int32_t at = place(&t, entries[i].addr);
      if (at < 0 || t.seen[at] != 1) continue;
      std::memcpy(entries[i].mac, t.macs + static_cast<size_t>(at) * mac_size, mac_size);
      entries[i].known = 1;
      known++;
    }
  }
  neigh_table_free(&t);
  return known;
}
