#pragma once
// The Windows Sockets 1.1 operations that the networking code relies on,
// with their Windows values and results, whatever the platform underneath:
// sockets_posix.cpp (poll, getaddrinfo) or sockets_win32.cpp (wsock32).
//
// A socket is a signed 32-bit value greater than 0; operations that make one
// return -1 on failure. Other operations return 0 or a count, -1 on failure,
// with the reason kept for ws_last_error().

#include <cstdint>

#ifdef _WIN32
#include <winsock.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

static_assert(sizeof(sockaddr_in) == 16, "an endpoint is the 16-byte IPv4 record");

constexpr int32_t WS_AF_INET = 2;
constexpr int32_t WS_SOCK_STREAM = 1;
constexpr int32_t WS_SOCK_DGRAM = 2;
constexpr int32_t WS_SOL_SOCKET = 0xFFFF;
constexpr int32_t WS_SO_REUSEADDR = 4;
constexpr int32_t WS_SO_BROADCAST = 0x20;
constexpr int32_t WS_SO_RCVBUF = 0x1002;
constexpr uint32_t WS_FIONBIO = 0x8004667E;
constexpr uint32_t WS_INADDR_NONE = 0xFFFFFFFF;

// A read or write set: at most 64 sockets, in the order they were added.
constexpr uint32_t ws_setsize = 64;
struct ws_set {
  uint32_t count;
  int32_t socks[ws_setsize];
};
struct ws_timeval {
  int32_t sec;
  int32_t usec;
};

void ws_set_zero(ws_set* set);
// Adds s when the set holds fewer than 64 sockets; no test for a repeat.
void ws_set_add(ws_set* set, int32_t s);
int32_t ws_set_has(const ws_set* set, int32_t s);  // 1 or 0

int32_t ws_startup();  // WSAStartup(0x0101): 0 when usable
void ws_cleanup();

int32_t ws_socket(int32_t type);  // family AF_INET, protocol 0
int32_t ws_closesocket(int32_t s);
int32_t ws_bind(int32_t s, const sockaddr_in* ep);
int32_t ws_listen(int32_t s, int32_t backlog);
int32_t ws_accept(int32_t s, sockaddr_in* from);  // from may be null
int32_t ws_connect(int32_t s, const sockaddr_in* ep);
int32_t ws_setsockopt(int32_t s, int32_t level, int32_t option, const void* value, int32_t len);
// A 4-byte option's value into *value: 0, or -1.
int32_t ws_getsockopt_int(int32_t s, int32_t level, int32_t option, int32_t* value);
int32_t ws_ioctlsocket(int32_t s, uint32_t cmd, uint32_t* arg);
int32_t ws_send(int32_t s, const void* data, int32_t len);
int32_t ws_recv(int32_t s, void* buf, int32_t len);
int32_t ws_sendto(int32_t s, const void* data, int32_t len, const sockaddr_in* to);
// One datagram. One longer than len is reported as -1 and is gone, as on Windows.
int32_t ws_recvfrom(int32_t s, void* buf, int32_t len, sockaddr_in* from);
// One datagram of a batch read: buf and size are the caller's, len and from the read's.
struct ws_datagram {
  char* buf;
  int32_t size;
  int32_t len;  // 0 for an empty datagram; -1 for one longer than size, which is gone
  sockaddr_in from;
};
// Reads the datagrams that already wait, at most n, without waiting: the count
// read, 0 when none waits, -1 on another error. Where the system counts the
// datagrams it drops at the socket (ws_count_drops), *dropped is raised to the
// running count that the datagrams read carry; elsewhere it is left alone.
int32_t ws_recvfrom_many(int32_t s, ws_datagram* d, int32_t n, uint32_t* dropped);
// Asks the system to count the datagrams it drops for want of room in the
// socket's receive buffer: 0, or -1 where it cannot (Windows).
int32_t ws_count_drops(int32_t s);
// That running count as it stands: 0, or -1 where the system cannot tell.
int32_t ws_drop_count(int32_t s, uint32_t* count);
// Waits until a socket of rd or wr is ready or the limit passes (null: no
// limit). Leaves only the ready sockets in the sets. The count of ready
// sockets, 0 when the limit passed, -1 on error. nfds is ignored, as on Windows.
// A value in a set that is 0, negative or no open socket fails the whole
// call at once, without a wait (ws_not_socket of the last error).
int32_t ws_select(int32_t nfds, ws_set* rd, ws_set* wr, const ws_timeval* limit);
int32_t ws_getsockname(int32_t s, sockaddr_in* ep);
// The socket's pending error (SO_ERROR), cleared by reading; 0 when none.
int32_t ws_pending_error(int32_t s);

int32_t ws_gethostname(char* name, int32_t len);
// The first IPv4 address of a host name, read at once: 0, or -1 when none.
int32_t ws_gethostbyname(const char* name, in_addr* first);
uint32_t ws_inet_addr(const char* text);  // network order; WS_INADDR_NONE when rejected
// Dotted-quad text in storage of the calling thread, overwritten by its next call.
const char* ws_inet_ntoa(in_addr addr);

int32_t ws_last_error();
// True when the last error says a non-blocking call found nothing to do.
bool ws_would_block(int32_t error);
// True when the last error says a value is no socket (WSAENOTSOCK).
bool ws_not_socket(int32_t error);
