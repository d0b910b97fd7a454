// Prints one line with a millisecond time stamp for every datagram that
// reaches the given UDP port, beside whatever else listens there (the
// broadcast probes reach every socket bound with SO_REUSEADDR). Stops on
// SIGTERM; exit 1 when the port cannot be bound.
//
//   udp_tap 9999

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

int main(int argc, char** argv) {
  int port = argc == 2 ? std::atoi(argv[1]) : 0;
  if (port <= 0 || port > 65535) {
    std::fprintf(stderr, "usage: udp_tap PORT\n");
    return 2;
  }
  int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in ep{};
  ep.sin_family = AF_INET;
  ep.sin_port = htons(static_cast<uint16_t>(port));
  ep.sin_addr.s_addr = htonl(INADDR_ANY);
  if (s < 0 || bind(s, reinterpret_cast<sockaddr*>(&ep), sizeof ep) != 0) {
    std::fprintf(stderr, "udp_tap: cannot bind UDP port %d\n", port);
    return 1;
  }
  std::printf("udp_tap: listening\n");
  std::fflush(stdout);
  char buf[2048];
  for (;;) {
    ssize_t n = recv(s, buf, sizeof buf, 0);
    if (n < 0) continue;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    std::printf("%lld %zd\n", static_cast<long long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000, n);
    std::fflush(stdout);
  }
}
