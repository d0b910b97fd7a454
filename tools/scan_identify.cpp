#include "tools/scan_identify.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "net/adapter.h"
#include "net/neigh.h"
#include "tools/scan_oui.h"
#include "tools/scan_sys.h"

namespace {

// A network this machine has an address on, to name the adapter a device sits behind.
struct network {
  std::string adapter;
  uint32_t addr;
  uint32_t mask;
};

void collect_network(void* ctx, const adapter_addr* a) {
  if (!(a->flags & adapter_up) || (a->flags & adapter_loopback)) return;
  static_cast<std::vector<network>*>(ctx)->push_back({a->name, a->addr, a->mask});
}

// The narrowest network that holds the address; "" when none does.
std::string adapter_of(const std::vector<network>& nets, uint32_t x) {
  const network* best = nullptr;
  for (const network& n : nets) {
    if ((x & n.mask) != (n.addr & n.mask)) continue;
    if (!best || n.mask > best->mask) best = &n;
  }
  return best ? best->adapter : std::string();
}

void name_makers(std::vector<scan_device>* devices, const std::vector<const char*>& oui_files) {
  std::vector<oui_query> queries;
  std::vector<scan_device*> asked;
  for (scan_device& d : *devices) {
    if (!d.mac_known || d.local_mac) continue;
    queries.emplace_back();
    std::memcpy(queries.back().mac, d.mac, sizeof d.mac);
    asked.push_back(&d);
  }
  if (queries.empty()) return;
  std::vector<std::string> system = scan_registry_files();
  std::vector<const char*> files = oui_files;
  if (files.empty()) {
    for (const std::string& f : system) files.push_back(f.c_str());
  }
  int32_t named = oui_lookup(files.data(), static_cast<int32_t>(files.size()), queries.data(),
                             static_cast<int32_t>(queries.size()));
  if (named < 0) {
    std::fprintf(stderr,
                 "kta-scan: cannot read the IEEE registry (%s%s): makers are not shown; %s\n",
                 files[0], files.size() > 1 ? " and the others" : "",
                 oui_files.empty() ? "install ieee-data, or name a file with --oui-file"
                                   : "check the --oui-file paths");
    return;
  }
  for (size_t i = 0; i < asked.size(); i++) asked[i]->maker = queries[i].maker;
}

}  // namespace

void scan_identify(std::vector<scan_device>* devices, bool macs,
                   const std::vector<const char*>& oui_files) {
  std::vector<network> nets;
  adapter_visit(collect_network, &nets);
  for (scan_device& d : *devices) d.adapter = adapter_of(nets, d.addr);
  if (!macs || devices->empty()) return;
  std::vector<neigh_entry> entries(devices->size());
  for (size_t i = 0; i < devices->size(); i++) entries[i].addr = (*devices)[i].addr;
  neigh_lookup(entries.data(), static_cast<int32_t>(entries.size()));
  for (size_t i = 0; i < devices->size(); i++) {
    scan_device& d = (*devices)[i];
    d.mac_known = entries[i].known == 1;
    if (!d.mac_known) continue;
    std::memcpy(d.mac, entries[i].mac, sizeof d.mac);
    d.local_mac = oui_locally_administered(d.mac);
  }
  name_makers(devices, oui_files);
}

void scan_hint_outside(const scan_device& d) {
  std::fprintf(stderr,
               "kta-scan: %s answered from outside every adapter's network; it may be set to "
               "another network, and its page may not open from here\n",
               d.address.c_str());
}
