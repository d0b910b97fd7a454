#include "support/hw_addr.h"

#include <cstdio>

namespace {

constexpr uint8_t default_hw_addr[6] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55};

}  // namespace

void hw_addr_default(uint8_t* dst) {
  for (int i = 0; i < 6; i++) dst[i] = default_hw_addr[i];
}

void hw_addr_text(char* out) {
  uint8_t a[6];
  hw_addr_default(a);
  snprintf(out, 13, "%.2X%.2X%.2X%.2X%.2X%.2X", a[0], a[1], a[2], a[3], a[4], a[5]);
}
