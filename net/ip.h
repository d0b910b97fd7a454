#pragma once
// IPv4 endpoints in their three forms (the 16-byte record, four address
// bytes plus a port, dotted-quad text), the local host's address, and thin
// operations on UDP sockets. No state, no lock, nothing logged: failures are
// results. Ports are host-order ints of which the low 16 bits count.

#include <cstdint>

#include "net/sockets.h"

int32_t ip_resolve(sockaddr_in* ep, const char* host, int32_t port);  // 0, or -2 (ep untouched)
int32_t ip_from_bytes(sockaddr_in* ep, const uint8_t* bytes, int32_t port);
// Either output may be null.
int32_t ip_to_bytes(const sockaddr_in* ep, uint8_t* bytes, int32_t* port_out);
// Text in storage of the calling thread, overwritten by its next conversion.
const char* ip_to_text(const sockaddr_in* ep);
int32_t ip_compare(const sockaddr_in* a, const sockaddr_in* b);  // 0, -1 address differs, -2 port
int32_t ip_text_to_bytes(const char* text, uint8_t* bytes);      // count of '.' consumed, 0 to 4
int32_t ip_bytes_to_text(const uint8_t* bytes, char* text);      // text holds 16 bytes
int32_t ip_is_numeric(const char* text);                         // digits and dots, digit first

constexpr int32_t ip_local_text_size = 256;
// The host's name when it is numeric, else its first IPv4 address as text;
// text holds ip_local_text_size bytes. 0; -1 no host name; -2 no address.
int32_t ip_local_text(char* text);
int32_t ip_local_bytes(uint8_t* bytes);  // 0, or -1 (bytes untouched)

int32_t udp_open(const int32_t* port_ref, int32_t nonblocking);  // socket > 0, or -2
int32_t udp_close(int32_t sock);
int32_t udp_recv(int32_t sock, void* buf, int32_t len, sockaddr_in* from);
int32_t udp_send(int32_t sock, const void* data, int32_t len, const sockaddr_in* to);
