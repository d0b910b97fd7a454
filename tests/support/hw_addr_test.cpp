#include <gtest/gtest.h>

#include <cstring>

#include "support/hw_addr.h"

namespace {

TEST(HardwareAddress, GivesTheDefaultBytesAndTheirTwelveDigitText) {
  uint8_t addr[8];
  memset(addr, 0xEE, sizeof addr);
  hw_addr_default(addr);
  const uint8_t want[8] = {0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0xEE, 0xEE};
  EXPECT_EQ(memcmp(addr, want, sizeof want), 0);

  char text[16];
  memset(text, 'z', sizeof text);
  hw_addr_text(text);
  EXPECT_EQ(memcmp(text, "001122334455\0z", 14), 0);
}

}  // namespace
