// Dotted-quad parse, the digit-and-dot test, and ip_resolve on numeric text.
// The text sits in a block of exactly its size, so a read past its zero is caught.

#include <cstring>

#include "net/ip.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// Four numbers of one to three digits, no leading zero, each up to 255, joined by dots.
bool canonical_quad(const char* s, uint8_t* out) {
  for (int part = 0; part < 4; part++) {
    if (!digit(*s)) return false;
    if (*s == '0' && digit(s[1])) return false;
    int value = 0, n = 0;
    while (digit(*s)) {
      if (++n > 3) return false;
      value = value * 10 + (*s++ - '0');
    }
    if (value > 255) return false;
    out[part] = static_cast<uint8_t>(value);
    if (part < 3 && *s++ != '.') return false;
  }
  return *s == 0;
}

void check_text(const char* text, size_t len) {
  bool expect_numeric = len > 0 && digit(text[0]);
  for (size_t i = 0; i < len && expect_numeric; i++)
    expect_numeric = text[i] == '.' || digit(text[i]);
  FUZZ_CHECK(ip_is_numeric(text) == (expect_numeric ? 1 : 0));

  uint8_t bytes[4] = {0xA5, 0xA5, 0xA5, 0xA5};
  int32_t dots = ip_text_to_bytes(text, bytes);
  FUZZ_CHECK(dots >= 0 && dots <= 4);
  // The parse writes one byte per number it reaches and leaves the rest alone.
  for (int32_t i = dots + 1; i < 4; i++) FUZZ_CHECK(bytes[i] == 0xA5);
  uint8_t quad[4];
  if (canonical_quad(text, quad)) {
    FUZZ_CHECK(dots == 3);
    FUZZ_CHECK(std::memcmp(bytes, quad, 4) == 0);
  }

  // Only numeric text: any other would be a name lookup, i.e. network traffic.
  if (!expect_numeric) return;
  sockaddr_in ep;
  std::memset(&ep, 0x5A, sizeof ep);
  sockaddr_in before = ep;
  int32_t r = ip_resolve(&ep, text, 9999);
  if (len > 127) {
    FUZZ_CHECK(r == -2);
    FUZZ_CHECK(std::memcmp(&ep, &before, sizeof ep) == 0);
    return;
  }
  FUZZ_CHECK(r == 0);
  uint8_t got[4];
  int32_t port = 0;
  FUZZ_CHECK(ip_to_bytes(&ep, got, &port) == 0);
  FUZZ_CHECK(port == 9999);
  if (canonical_quad(text, quad)) FUZZ_CHECK(std::memcmp(got, quad, 4) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  size_t len = 0;
  std::unique_ptr<char[]> text = exact_text(data, size, &len);
  check_text(text.get(), len);

  // Any four bytes survive the trip through text and back.
  if (size >= 4) {
    char quad[16];
    FUZZ_CHECK(ip_bytes_to_text(data, quad) == 0);
    FUZZ_CHECK(std::strlen(quad) <= 15);
    uint8_t back[4];
    FUZZ_CHECK(ip_text_to_bytes(quad, back) == 3);
    FUZZ_CHECK(std::memcmp(back, data, 4) == 0);
    check_text(quad, std::strlen(quad));
    sockaddr_in a, b;
    ip_from_bytes(&a, data, 80);
    FUZZ_CHECK(ip_resolve(&b, quad, 80) == 0);
    FUZZ_CHECK(ip_compare(&a, &b) == 0);
  }
  return 0;
}
