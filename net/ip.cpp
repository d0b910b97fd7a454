#include "net/ip.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t resolve_work_size = 128;

// Bytes 0x80 to 0xFF are never digits, whatever the locale says.
bool is_digit(char c) { return c >= '0' && c <= '9'; }

void fill_endpoint(sockaddr_in* ep, uint32_t address, int32_t port) {
  std::memset(ep, 0, sizeof *ep);
  ep->sin_family = WS_AF_INET;
  ep->sin_port = htons(static_cast<uint16_t>(port));
  ep->sin_addr.s_addr = address;
}

}  // namespace

int32_t ip_is_numeric(const char* text) {
  if (!is_digit(text[0])) return 0;
  for (size_t i = 0; text[i]; i++) {
    if (text[i] != '.' && !is_digit(text[i])) return 0;
  }
  return 1;
}

int32_t ip_text_to_bytes(const char* text, uint8_t* bytes) {
  const char* p = text;
  int32_t i = 0;
  while (i < 4) {
    // Unsigned: a number too long for 32 bits wraps instead of overflowing; only 8 bits are kept.
    uint32_t value = 0;
    while (is_digit(*p)) value = value * 10 + static_cast<uint32_t>(*p++ - '0');
    bytes[i] = static_cast<uint8_t>(value);
    char c = *p;
    if (c) p++;  // never step past the terminating zero
    if (c != '.') break;
    i++;
  }
  return i;
}

int32_t ip_bytes_to_text(const uint8_t* bytes, char* text) {
  std::snprintf(text, 16, "%d.%d.%d.%d", bytes[0], bytes[1], bytes[2], bytes[3]);
  return 0;
}

int32_t ip_resolve(sockaddr_in* ep, const char* host, int32_t port) {
  if (!host || !host[0]) {
    fill_endpoint(ep, 0, port);
    return 0;
  }
  char work[resolve_work_size];
  size_t len = std::strlen(host);
  if (len >= sizeof work) return -2;  // a longer name would not fit the work buffer
  std::memcpy(work, host, len + 1);
  if (!ip_is_numeric(work)) {
    in_addr first;
    if (ws_gethostbyname(work, &first) != 0) return -2;
    std::snprintf(work, sizeof work, "%s", ws_inet_ntoa(first));
  }
  fill_endpoint(ep, ws_inet_addr(work), port);
  return 0;
}

int32_t ip_from_bytes(sockaddr_in* ep, const uint8_t* bytes, int32_t port) {
  char work[32];
  ip_bytes_to_text(bytes, work);
  fill_endpoint(ep, ws_inet_addr(work), port);
  return 0;
}

int32_t ip_to_bytes(const sockaddr_in* ep, uint8_t* bytes, int32_t* port_out) {
  if (port_out) *port_out = ntohs(ep->sin_port);
  // The address is kept in network order: its bytes are the dotted quad's, in order.
  if (bytes) std::memcpy(bytes, &ep->sin_addr.s_addr, 4);
  return 0;
}

const char* ip_to_text(const sockaddr_in* ep) { return ws_inet_ntoa(ep->sin_addr); }

int32_t ip_compare(const sockaddr_in* a, const sockaddr_in* b) {
  uint8_t a_bytes[4] = {}, b_bytes[4] = {};
  int32_t a_port = 0, b_port = 0;
  ip_to_bytes(a, a_bytes, &a_port);
  ip_to_bytes(b, b_bytes, &b_port);
  if (std::memcmp(a_bytes, b_bytes, 4) != 0) return -1;
  if (a_port != b_port) return -2;
  return 0;
}

int32_t ip_local_text(char* text) {
  char name[ip_local_text_size];
  if (ws_gethostname(name, sizeof name) != 0) return -1;
  if (ip_is_numeric(name)) {
    std::memcpy(text, name, std::strlen(name) + 1);
    return 0;
  }
  in_addr first;
  if (ws_gethostbyname(name, &first) != 0) return -2;
  std::snprintf(text, 16, "%s", ws_inet_ntoa(first));
  return 0;
}

int32_t ip_local_bytes(uint8_t* bytes) {
  char text[ip_local_text_size];
  if (ip_local_text(text) < 0) return -1;
  ip_text_to_bytes(text, bytes);
  return 0;
}
