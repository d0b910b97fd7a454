#include "tools/scan_device.h"

#include <algorithm>
#include <cstdio>

#include "net/ip.h"

std::vector<scan_device> scan_devices_of(const std::vector<std::string>& addresses) {
  std::vector<scan_device> devices;
  for (const std::string& a : addresses) {
    uint8_t b[4] = {};
    if (ip_text_to_bytes(a.c_str(), b) != 3) continue;
    scan_device d;
    d.address = a;
    d.addr = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
             static_cast<uint32_t>(b[2]) << 8 | b[3];
    devices.push_back(d);
  }
  std::sort(devices.begin(), devices.end(),
            [](const scan_device& x, const scan_device& y) { return x.addr < y.addr; });
  return devices;
}

std::string scan_mac_text(const uint8_t* mac) {
  char text[18];
  std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                mac[4], mac[5]);
  return text;
}

std::string scan_maker_text(const scan_device& d) {
  if (d.local_mac) return "(locally administered)";
  return d.maker;
}
