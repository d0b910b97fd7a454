#pragma once
// One device as kta-scan reports it: the address that answered, and what
// else is known of it.

#include <cstdint>
#include <string>
#include <vector>

#include "tools/scan_web.h"

struct scan_device {
  std::string address;  // dotted quad
  uint32_t addr = 0;    // host order: the numeric order of the output
  std::string adapter;  // the adapter whose network holds the address; "" when none does
  bool mac_known = false;
  uint8_t mac[6] = {};
  bool local_mac = false;  // locally administered: it names no maker
  std::string maker;       // "" where unknown
  bool web_checked = false;
  web_result web{};
};

// One record for each answered address, in numeric order.
std::vector<scan_device> scan_devices_of(const std::vector<std::string>& addresses);
// "00:1b:21:0a:0b:0c".
std::string scan_mac_text(const uint8_t* mac);
// The text shown for a maker: the registry's name, or what stands in for it.
std::string scan_maker_text(const scan_device& d);
