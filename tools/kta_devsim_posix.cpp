// kta-devsim: answers discovery probes as KTA-310 devices would, from one or
// many local addresses, for tests and demos in the lab. Optionally serves a
// one-page web site per address, and misbehaves on request.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <deque>
#include <string>
#include <vector>

#include "kta_version.h"

namespace {

constexpr int device_port = 9999;
constexpr int max_addresses = 65536;
constexpr int max_pending = 65536;  // queued answers; probes beyond this are dropped
constexpr int oversize_len = 1200;  // past the prober's 1000-byte buffer
constexpr int max_reply_len = 1400;
constexpr int http_timeout_ms = 500;

constexpr int exit_ok = 0;
constexpr int exit_failed = 1;
constexpr int exit_usage = 2;

const char usage[] =
    "Usage: kta-devsim [options]\n"
    "Simulates Corvane KTA-310 devices: listens on UDP port 9999 and answers every\n"
    "datagram whose first byte is \"?\" once per device address, from that address,\n"
    "to the sender's address and port. Stops on SIGINT or SIGTERM.\n"
    "\n"
    "Device addresses (local addresses of this machine; default: the lab's\n"
    "KTA_LAB_DEVICE_RANGE):\n"
    "  --addr A         answer from address A (repeatable)\n"
    "  --range A-B      answer from every address from A to B, skipping .0 and .255\n"
    "\n"
    "Answers:\n"
    "  --delay MS       wait MS milliseconds before answering (default 0)\n"
    "  --reply TEXT     the answer's bytes (default \"?\")\n"
    "  --wrong-first    misbehave: the answer's first byte is \"!\"\n"
    "  --empty          misbehave: answer with an empty datagram\n"
    "  --oversize       misbehave: answer with 1200 bytes (\"?\" then padding)\n"
    "  --flood N        misbehave: N answers per probe and address\n"
    "  --rate R         send at most R answers a second (default: no limit)\n"
    "  --log-probes     print a line for every probe heard: its sender and the\n"
    "                   address it was sent to\n"
    "\n"
    "Web pages:\n"
    "  --http           serve a page naming the device on TCP port 80 of each address\n"
    "  --http-port P    serve on port P instead of 80 (implies --http)\n"
    "\n"
    "  --version        print the version and exit\n"
    "  --help           print this help and exit\n"
    "\n"
    "A device hears a probe sent to 255.255.255.255, to its own address, or to the\n"
    "broadcast address of its own network, as a device on a real network does.\n"
    "Prints \"kta-devsim: answering for N addresses on UDP 9999\" once it is ready.\n"
    "Exit status: 0 after a signal, 1 when a socket cannot be opened, 2 on bad arguments.\n";

struct options {
  std::vector<uint32_t> addrs;  // host order
  int delay_ms = 0;
  std::string reply = "?";
  int flood = 1;
  long rate = 0;
  bool http = false;
  int http_port = 80;
  bool log_probes = false;
};

// A local network with a broadcast address: the devices inside it hear that address.
struct network {
  uint32_t addr, mask, broadcast;  // host order
};

// An answer still to send: count datagrams from one address to one prober.
struct pending {
  int64_t due_ms;
  sockaddr_in to;
  uint32_t from;  // host order
  long count;
};

int64_t now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

bool parse_number(const char* text, long max, long* out) {
  if (!text || !*text) return false;
  long value = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > max) return false;
  }
  *out = value;
  return true;
}

bool parse_addr(const char* text, uint32_t* out) {
  in_addr a;
  if (inet_pton(AF_INET, text, &a) != 1) return false;
  *out = ntohl(a.s_addr);
  return true;
}

std::string addr_text(uint32_t host_order) {
  char text[INET_ADDRSTRLEN];
  in_addr a;
  a.s_addr = htonl(host_order);
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

// The lab's plan: every address from first to last whose last byte is neither 0 nor 255.
bool add_range(const char* text, std::vector<uint32_t>* addrs) {
  const char* dash = std::strchr(text, '-');
  if (!dash) return false;
  std::string first(text, static_cast<size_t>(dash - text));
  uint32_t a, b;
  if (!parse_addr(first.c_str(), &a) || !parse_addr(dash + 1, &b) || b < a) return false;
  for (uint64_t n = a; n <= b; n++) {
    if ((n & 255) == 0 || (n & 255) == 255) continue;
    if (addrs->size() >= static_cast<size_t>(max_addresses)) return false;
    addrs->push_back(static_cast<uint32_t>(n));
  }
  return true;
}

// 0 to go on, -1 to exit 0 (help, version), else the exit status.
int parse_args(int argc, char** argv, options* opt) {
  bool misbehaviour = false;
  for (int i = 1; i < argc; i++) {
    std::string arg = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kta-devsim: %s needs a value (see --help)\n", arg.c_str());
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    long n = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(usage, stdout);
      return -1;
    } else if (arg == "--version") {
      std::printf("kta-devsim %s\n", KTA_VERSION);
      return -1;
    } else if (arg == "--addr") {
      uint32_t a;
      if (!value(&v)) return exit_usage;
      if (!parse_addr(v, &a)) {
        std::fprintf(stderr, "kta-devsim: '%s' is not an IPv4 address\n", v);
        return exit_usage;
      }
      if (opt->addrs.size() >= static_cast<size_t>(max_addresses)) {
        std::fprintf(stderr, "kta-devsim: at most %d addresses\n", max_addresses);
        return exit_usage;
      }
      opt->addrs.push_back(a);
    } else if (arg == "--range") {
      if (!value(&v)) return exit_usage;
      if (!add_range(v, &opt->addrs)) {
        std::fprintf(stderr, "kta-devsim: bad range '%s' (A-B, at most %d addresses in all)\n", v,
                     max_addresses);
        return exit_usage;
      }
    } else if (arg == "--delay") {
      if (!value(&v)) return exit_usage;
      if (!parse_number(v, 600000, &n)) {
        std::fprintf(stderr, "kta-devsim: --delay wants milliseconds, not '%s'\n", v);
        return exit_usage;
      }
      opt->delay_ms = static_cast<int>(n);
    } else if (arg == "--reply") {
      if (!value(&v)) return exit_usage;
      if (std::strlen(v) > static_cast<size_t>(max_reply_len)) {
        std::fprintf(stderr, "kta-devsim: --reply is longer than %d bytes\n", max_reply_len);
        return exit_usage;
      }
      opt->reply = v;
    } else if (arg == "--wrong-first" || arg == "--empty" || arg == "--oversize") {
      if (misbehaviour) {
        std::fprintf(stderr, "kta-devsim: choose one of --wrong-first, --empty, --oversize\n");
        return exit_usage;
      }
      misbehaviour = true;
      if (arg == "--wrong-first") opt->reply = "!";
      if (arg == "--empty") opt->reply.clear();
      if (arg == "--oversize") opt->reply = "?" + std::string(oversize_len - 1, '.');
    } else if (arg == "--flood") {
      if (!value(&v)) return exit_usage;
      if (!parse_number(v, 100000000, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --flood wants a count from 1, not '%s'\n", v);
        return exit_usage;
      }
      opt->flood = static_cast<int>(n);
    } else if (arg == "--rate") {
      if (!value(&v)) return exit_usage;
      if (!parse_number(v, 10000000, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --rate wants datagrams a second, not '%s'\n", v);
        return exit_usage;
      }
      opt->rate = n;
    } else if (arg == "--log-probes") {
      opt->log_probes = true;
    } else if (arg == "--http") {
      opt->http = true;
    } else if (arg == "--http-port") {
      if (!value(&v)) return exit_usage;
      if (!parse_number(v, 65535, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --http-port wants a port, not '%s'\n", v);
        return exit_usage;
      }
      opt->http = true;
      opt->http_port = static_cast<int>(n);
    } else {
      std::fprintf(stderr, "kta-devsim: unknown argument '%s' (see --help)\n", arg.c_str());
      return exit_usage;
    }
  }
  if (opt->addrs.empty()) {
    const char* lab = std::getenv("KTA_LAB_DEVICE_RANGE");
    if (!lab || !*lab || !add_range(lab, &opt->addrs)) {
      std::fprintf(stderr, "kta-devsim: no device address (--addr, --range, or run in the lab)\n");
      return exit_usage;
    }
  }
  std::sort(opt->addrs.begin(), opt->addrs.end());
  opt->addrs.erase(std::unique(opt->addrs.begin(), opt->addrs.end()), opt->addrs.end());
  return 0;
}

int open_bound(int type, int port) {
  int s = socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (s < 0) return -1;
  int on = 1;
  // Several simulators may share the devices' port; each gets every broadcast.
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (type == SOCK_DGRAM) setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  sockaddr_in ep{};
  ep.sin_family = AF_INET;
  ep.sin_port = htons(static_cast<uint16_t>(port));
  ep.sin_addr.s_addr = htonl(INADDR_ANY);
  if (bind(s, reinterpret_cast<sockaddr*>(&ep), sizeof ep) != 0 ||
      (type == SOCK_STREAM && listen(s, 64) != 0)) {
    close(s);
    return -1;
  }
  return s;
}

// Sends from a chosen local address through the one socket: the source is set per datagram.
void send_from(int s, uint32_t from, const sockaddr_in& to, const std::string& reply) {
  iovec iov{const_cast<char*>(reply.data()), reply.size()};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = const_cast<sockaddr_in*>(&to);
  msg.msg_namelen = sizeof to;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  cmsghdr* c = CMSG_FIRSTHDR(&msg);
  c->cmsg_level = IPPROTO_IP;
  c->cmsg_type = IP_PKTINFO;
  c->cmsg_len = CMSG_LEN(sizeof(in_pktinfo));
  in_pktinfo info{};
  info.ipi_spec_dst.s_addr = htonl(from);
  std::memcpy(CMSG_DATA(c), &info, sizeof info);
  // A lost answer is what a real network does too: the result is not looked at.
  (void)sendmsg(s, &msg, MSG_NOSIGNAL);
}

// This machine's networks that carry a broadcast address (a /32 reports
// its own address there, and has no network to broadcast to).
std::vector<network> broadcast_networks() {
  std::vector<network> nets;
  ifaddrs* list = nullptr;
  if (getifaddrs(&list) != 0) return nets;
  for (const ifaddrs* i = list; i; i = i->ifa_next) {
    if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET || !i->ifa_netmask || !i->ifa_broadaddr)
      continue;
    auto host = [](const sockaddr* sa) {
      return ntohl(reinterpret_cast<const sockaddr_in*>(sa)->sin_addr.s_addr);
    };
    network n{host(i->ifa_addr), host(i->ifa_netmask), host(i->ifa_broadaddr)};
    if ((i->ifa_flags & IFF_BROADCAST) && n.broadcast != n.addr) nets.push_back(n);
  }
  freeifaddrs(list);
  return nets;
}

// In the lab every device is a local address, so a broadcast sent out of any
// adapter loops back to all of them; a real device hears only its own network's.
bool hears(const std::vector<network>& nets, uint32_t device, uint32_t to) {
  if (to == INADDR_BROADCAST || to == device) return true;
  for (const network& n : nets) {
    if (n.broadcast == to && (device & n.mask) == (n.addr & n.mask)) return true;
  }
  return false;
}

bool is_device(const options& opt, uint32_t a) {
  return std::binary_search(opt.addrs.begin(), opt.addrs.end(), a);
}

// One request, one answer, then the connection is closed.
void serve_http(int listener, const options& opt) {
  int c = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  if (c < 0) return;
  timeval limit{0, http_timeout_ms * 1000};
  setsockopt(c, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  setsockopt(c, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
  char request[2048];
  size_t got = 0;
  while (got < sizeof request - 1) {
    ssize_t n = recv(c, request + got, sizeof request - 1 - got, 0);
    if (n <= 0) break;
    got += static_cast<size_t>(n);
    request[got] = 0;
    if (std::strstr(request, "\r\n\r\n") || std::strstr(request, "\n\n")) break;
  }
  sockaddr_in local{};
  socklen_t len = sizeof local;
  getsockname(c, reinterpret_cast<sockaddr*>(&local), &len);
  uint32_t a = ntohl(local.sin_addr.s_addr);
  std::string body, status;
  if (is_device(opt, a)) {
    std::string name = addr_text(a);
    status = "200 OK";
    body = "<!DOCTYPE html>\n<html><head><title>Corvane KTA-310 " + name +
           "</title></head>\n<body><h1>Corvane KTA-310</h1>\n<p>Simulated device at " + name +
           "</p></body></html>\n";
  } else {
    status = "404 Not Found";
    body = "<!DOCTYPE html>\n<html><body><p>No device at this address.</p></body></html>\n";
  }
  std::string response = "HTTP/1.0 " + status +
                         "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
                         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
  (void)send(c, response.data(), response.size(), MSG_NOSIGNAL);
  close(c);
}

// One datagram with its sender and the address it was sent to (host order).
ssize_t receive_probe(int s, char* buf, size_t size, sockaddr_in* from, uint32_t* to) {
  iovec iov{buf, size};
  alignas(cmsghdr) char control[CMSG_SPACE(sizeof(in_pktinfo))] = {};
  msghdr msg{};
  msg.msg_name = from;
  msg.msg_namelen = sizeof *from;
  msg.msg_iov = &iov;
  msg.msg_iovlen = 1;
  msg.msg_control = control;
  msg.msg_controllen = sizeof control;
  ssize_t got = recvmsg(s, &msg, MSG_DONTWAIT);
  *to = INADDR_BROADCAST;
  for (cmsghdr* c = CMSG_FIRSTHDR(&msg); got >= 0 && c; c = CMSG_NXTHDR(&msg, c)) {
    if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
    in_pktinfo info;
    std::memcpy(&info, CMSG_DATA(c), sizeof info);
    *to = ntohl(info.ipi_addr.s_addr);
  }
  return got;
}

int open_signals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC);
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  int parsed = parse_args(argc, argv, &opt);
  if (parsed < 0) return exit_ok;
  if (parsed > 0) return parsed;

  int sig = open_signals();
  int udp = open_bound(SOCK_DGRAM, device_port);
  if (sig < 0 || udp < 0) {
    std::fprintf(stderr, "kta-devsim: cannot open UDP port %d: %s\n", device_port,
                 std::strerror(errno));
    return exit_failed;
  }
  int http = -1;
  if (opt.http) {
    http = open_bound(SOCK_STREAM, opt.http_port);
    if (http < 0) {
      std::fprintf(stderr, "kta-devsim: cannot open TCP port %d: %s\n", opt.http_port,
                   std::strerror(errno));
      close(udp);
      return exit_failed;
    }
  }
  std::printf("kta-devsim: answering for %zu addresses on UDP %d", opt.addrs.size(), device_port);
  if (opt.http) std::printf(", web pages on TCP %d", opt.http_port);
  std::printf("\n");
  std::fflush(stdout);

  std::vector<network> nets = broadcast_networks();
  std::deque<pending> queue;
  double tokens = 0;
  int64_t refilled = now_ms();
  for (;;) {
    int64_t now = now_ms();
    if (opt.rate > 0) {
      // Allow a burst of up to 10 ms worth, so pacing does not need a wake-up per datagram.
      tokens = std::min(tokens + static_cast<double>(now - refilled) * opt.rate / 1000.0,
                        std::max(1.0, opt.rate / 100.0));
      refilled = now;
    }
    while (!queue.empty() && queue.front().due_ms <= now) {
      if (opt.rate > 0 && tokens < 1) break;
      pending& p = queue.front();
      send_from(udp, p.from, p.to, opt.reply);
      if (opt.rate > 0) tokens -= 1;
      if (--p.count <= 0) queue.pop_front();
    }
    int timeout = -1;
    if (!queue.empty()) {
      int64_t wait = queue.front().due_ms - now;
      if (opt.rate > 0 && tokens < 1) wait = std::max<int64_t>(wait, 1);
      timeout = static_cast<int>(std::clamp<int64_t>(wait, 0, 60000));
    }
    pollfd fds[3] = {{sig, POLLIN, 0}, {udp, POLLIN, 0}, {http, POLLIN, 0}};
    int n = poll(fds, http >= 0 ? 3 : 2, timeout);
    if (n < 0 && errno != EINTR) break;
    if (n <= 0) continue;
    if (fds[0].revents) break;
    if (fds[1].revents & POLLIN) {
      char probe[2048];
      sockaddr_in from{};
      uint32_t to = 0;
      ssize_t got = receive_probe(udp, probe, sizeof probe, &from, &to);
      if (got >= 1 && opt.log_probes) {
        std::printf("kta-devsim: probe from %s:%d to %s\n",
                    addr_text(ntohl(from.sin_addr.s_addr)).c_str(), ntohs(from.sin_port),
                    addr_text(to).c_str());
        std::fflush(stdout);
      }
      if (got >= 1 && probe[0] == '?') {
        int64_t due = now_ms() + opt.delay_ms;
        for (uint32_t a : opt.addrs) {
          if (queue.size() >= static_cast<size_t>(max_pending)) break;
          if (hears(nets, a, to)) queue.push_back({due, from, a, opt.flood});
        }
      }
    }
    if (http >= 0 && (fds[2].revents & POLLIN)) serve_http(http, opt);
  }
  close(udp);
  if (http >= 0) close(http);
  close(sig);
  return exit_ok;
}
