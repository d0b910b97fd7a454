#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "net/ip.h"
#include "net/sock.h"
#include "tests/testing/sockets_started.h"

namespace {

std::string bytes_of(const void* p, size_t n) {
  std::string out;
  char hex[4];
  for (size_t i = 0; i < n; i++) {
    std::snprintf(hex, sizeof hex, "%02X", static_cast<const uint8_t*>(p)[i]);
    if (i) out += ' ';
    out += hex;
  }
  return out;
}

TEST(DottedQuadParse, FillsFourBytesAndCountsTheDots) {
  uint8_t b[4] = {9, 9, 9, 9};
  EXPECT_EQ(ip_text_to_bytes("192.168.0.1", b), 3);
  EXPECT_EQ(bytes_of(b, 4), "C0 A8 00 01");
  EXPECT_EQ(ip_text_to_bytes("1.2.3.4.", b), 4);
  EXPECT_EQ(bytes_of(b, 4), "01 02 03 04");
}

TEST(DottedQuadParse, ShortTextLeavesTheRestAsItWas) {
  uint8_t b[4] = {9, 9, 9, 9};
  EXPECT_EQ(ip_text_to_bytes("10.1", b), 1);
  EXPECT_EQ(bytes_of(b, 4), "0A 01 09 09");
  uint8_t e[4] = {9, 9, 9, 9};
  EXPECT_EQ(ip_text_to_bytes("", e), 0);
  EXPECT_EQ(bytes_of(e, 4), "00 09 09 09");
  uint8_t x[4] = {9, 9, 9, 9};
  EXPECT_EQ(ip_text_to_bytes("x.1.2.3", x), 0);
  EXPECT_EQ(x[0], 0);
}

TEST(DottedQuadParse, KeepsTheLowEightBitsOfLargeNumbers) {
  uint8_t b[4] = {};
  EXPECT_EQ(ip_text_to_bytes("256.300.99999999999.1", b), 3);
  EXPECT_EQ(b[0], 0);
  EXPECT_EQ(b[1], 44);
  EXPECT_EQ(b[2], static_cast<uint8_t>(99999999999ULL % (1ULL << 32)));
}

TEST(DottedQuadParse, NeverReadsPastTheTerminatingZero) {
  // The text ends right after a dot; the bytes behind it must not be read.
  char buf[8];
  std::memcpy(buf,
              "1.2.\0"
              "7.7",
              8);
  uint8_t b[4] = {9, 9, 9, 9};
  EXPECT_EQ(ip_text_to_bytes(buf, b), 2);
  EXPECT_EQ(bytes_of(b, 4), "01 02 00 09");
}

TEST(NumericTest, DigitsAndDotsWithADigitFirst) {
  EXPECT_EQ(ip_is_numeric(""), 0);
  EXPECT_EQ(ip_is_numeric("1..2"), 1);
  EXPECT_EQ(ip_is_numeric("7."), 1);
  EXPECT_EQ(ip_is_numeric("123"), 1);
  EXPECT_EQ(ip_is_numeric(".1"), 0);
  EXPECT_EQ(ip_is_numeric(" 1.2.3.4"), 0);
  EXPECT_EQ(ip_is_numeric("1.2.3.x"), 0);
  EXPECT_EQ(ip_is_numeric("a.b"), 0);
  EXPECT_EQ(ip_is_numeric("1\xB2"), 0);  // superscript two is not a digit here
}

TEST(Resolve, EmptyHostIsAnyAddress) {
  for (const char* host : {static_cast<const char*>(nullptr), ""}) {
    sockaddr_in ep;
    std::memset(&ep, 0xAB, sizeof ep);
    EXPECT_EQ(ip_resolve(&ep, host, 10000), 0);
    EXPECT_EQ(ep.sin_family, 2);
    EXPECT_EQ(bytes_of(&ep.sin_port, 2), "27 10");
    EXPECT_EQ(bytes_of(&ep.sin_addr, 4), "00 00 00 00");
    EXPECT_EQ(bytes_of(ep.sin_zero, 8), "00 00 00 00 00 00 00 00");
  }
}

TEST(Resolve, NumericTextIsConvertedDirectly) {
  sockaddr_in ep;
  EXPECT_EQ(ip_resolve(&ep, "255.255.255.255", 9999), 0);
  EXPECT_EQ(bytes_of(&ep.sin_addr, 4), "FF FF FF FF");
  EXPECT_EQ(bytes_of(&ep.sin_port, 2), "27 0F");
  EXPECT_EQ(ip_resolve(&ep, "192.168.1.20", 80), 0);
  EXPECT_EQ(bytes_of(&ep.sin_addr, 4), "C0 A8 01 14");
}

TEST(Resolve, TextThatInetAddrRejectsBecomesAllOnes) {
  sockaddr_in ep;
  EXPECT_EQ(ip_resolve(&ep, "1.2.3.4.5", 1), 0);
  EXPECT_EQ(bytes_of(&ep.sin_addr, 4), "FF FF FF FF");
}

TEST(Resolve, UnknownOrOverlongNameLeavesTheEndpointAlone) {
  sockaddr_in ep, before;
  std::memset(&ep, 0x5A, sizeof ep);
  before = ep;
  EXPECT_EQ(ip_resolve(&ep, "no-such-host.invalid", 80), -2);
  EXPECT_EQ(std::memcmp(&ep, &before, sizeof ep), 0);
  std::string long_name(128, 'a');
  EXPECT_EQ(ip_resolve(&ep, long_name.c_str(), 80), -2);
  EXPECT_EQ(std::memcmp(&ep, &before, sizeof ep), 0);
  // 127 characters still fit; numeric text of that length is converted (and rejected by inet_addr).
  std::string long_numeric(127, '1');
  EXPECT_EQ(ip_resolve(&ep, long_numeric.c_str(), 80), 0);
}

TEST(Conversions, BytesToTextAndBack) {
  char text[16];
  const uint8_t zero[4] = {0, 0, 0, 0}, ones[4] = {255, 255, 255, 255};
  ip_bytes_to_text(zero, text);
  EXPECT_STREQ(text, "0.0.0.0");
  ip_bytes_to_text(ones, text);
  EXPECT_STREQ(text, "255.255.255.255");

  const uint8_t addr[4] = {10, 77, 0, 12};
  sockaddr_in ep;
  EXPECT_EQ(ip_from_bytes(&ep, ones, 5), 0);
  EXPECT_EQ(bytes_of(&ep.sin_addr, 4), "FF FF FF FF");
  ip_from_bytes(&ep, addr, 65535);
  EXPECT_STREQ(ip_to_text(&ep), "10.77.0.12");
  uint8_t back[4] = {};
  int32_t port = 0;
  EXPECT_EQ(ip_to_bytes(&ep, back, &port), 0);
  EXPECT_EQ(std::memcmp(back, addr, 4), 0);
  EXPECT_EQ(port, 65535);
}

TEST(Conversions, NullOutputsAreSkipped) {
  const uint8_t addr[4] = {1, 2, 3, 4};
  sockaddr_in ep;
  ip_from_bytes(&ep, addr, 81);
  int32_t port = 0;
  EXPECT_EQ(ip_to_bytes(&ep, nullptr, &port), 0);
  EXPECT_EQ(port, 81);
  uint8_t b[4] = {};
  EXPECT_EQ(ip_to_bytes(&ep, b, nullptr), 0);
  EXPECT_EQ(bytes_of(b, 4), "01 02 03 04");
}

TEST(Conversions, OnlyTheLowSixteenBitsOfAPortCount) {
  sockaddr_in ep;
  ip_resolve(&ep, "1.2.3.4", 65536 + 80);
  int32_t port = 0;
  ip_to_bytes(&ep, nullptr, &port);
  EXPECT_EQ(port, 80);
}

TEST(Compare, AddressBeforePort) {
  sockaddr_in a, b, c, a2;
  ip_resolve(&a, "10.0.0.1", 80);
  ip_resolve(&b, "10.0.0.2", 80);
  ip_resolve(&c, "10.0.0.1", 81);
  ip_resolve(&a2, "10.0.0.1", 80);
  EXPECT_EQ(ip_compare(&a, &b), -1);
  EXPECT_EQ(ip_compare(&a, &c), -2);
  EXPECT_EQ(ip_compare(&a, &a2), 0);
  ip_resolve(&b, "10.0.0.2", 81);
  EXPECT_EQ(ip_compare(&a, &b), -1);
}

TEST(LocalHost, TextAndBytesAgree) {
  char text[ip_local_text_size];
  int32_t r = ip_local_text(text);
  ASSERT_TRUE(r == 0 || r == -2) << r;  // the host name may have no address here
  uint8_t b[4] = {7, 7, 7, 7};
  if (r == 0) {
    EXPECT_EQ(ip_local_bytes(b), 0);
    sockaddr_in ep;
    ip_from_bytes(&ep, b, 0);
    EXPECT_STREQ(ip_to_text(&ep), text);
  } else {
    EXPECT_EQ(ip_local_bytes(b), -1);
    EXPECT_EQ(bytes_of(b, 4), "07 07 07 07");
  }
}

TEST(Identity, ReturnsItsArgument) {
  EXPECT_EQ(sock_identity(42), 42);
  EXPECT_EQ(sock_identity(-3), -3);
}

}  // namespace
