// kta-devsim: answers discovery probes as KTA-310 devices would, from one or
// many local addresses, for tests and demos in the lab. Optionally serves a
// one-page web site per address, and misbehaves on request.

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>
#include <vector>

#include "kta_version.h"
#include "support/clock_sys.h"

namespace {

constexpr int device_port = 9999;
constexpr int max_addresses = 65536;
constexpr int max_pending = 65536;  // queued answers; probes beyond this are dropped
constexpr int oversize_len = 1200;  // past the prober's 1000-byte buffer
constexpr int max_reply_len = 1400;
constexpr int http_timeout_ms = 500;
constexpr size_t http_request_max = 4096;
// A connection the client leaves open is dropped after this, silent ones included.
constexpr int http_lifetime_ms = 120000;
constexpr size_t http_huge_len = 8u << 20;  // a status line that never ends
constexpr size_t http_garbage_len = 300;
constexpr size_t max_connections = 16384;  // beyond this, new ones wait in the backlog
constexpr long max_answer_for_s = 86400;

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
    "Coming and going:\n"
    "  --answer-for S   answer probes for the first S seconds only (0: start silent)\n"
    "  SIGUSR1          toggles answering probes: a device unplugged and plugged again\n"
    "\n"
    "Web pages:\n"
    "  --http           serve a page naming the device on TCP port 80 of each address\n"
    "  --http-port P    serve on port P instead of 80 (implies --http)\n"
    "  --http-misbehave MODE\n"
    "                   misbehave on the web port (implies --http): garbage (bytes\n"
    "                   that are no HTTP), silent (accept, then never answer) or huge\n"
    "                   (a status line of 8 MiB without an end)\n"
    "\n"
    "  --version        print the version and exit\n"
    "  --help           print this help and exit\n"
    "\n"
    "A device hears a probe sent to 255.255.255.255, to its own address, or to the\n"
    "broadcast address of its own network, as a device on a real network does.\n"
    "Each address serves its page on a listener of its own, so several simulators\n"
    "can serve their own addresses on one port; any other local address gets a\n"
    "404 page. Probe answers come and go with --answer-for and SIGUSR1; the web\n"
    "pages stay.\n"
    "Prints \"kta-devsim: answering for N addresses on UDP 9999\" once it is ready,\n"
    "\"kta-devsim: silent\" and \"kta-devsim: answering again\" as answering stops\n"
    "and starts.\n"
    "Exit status: 0 after a signal, 1 when a socket cannot be opened, 2 on bad arguments.\n";

enum class http_mode { normal, garbage, silent, huge };

struct options {
  std::vector<uint32_t> addrs;  // host order
  int delay_ms = 0;
  std::string reply = "?";
  int flood = 1;
  long rate = 0;
  bool http = false;
  int http_port = 80;
  http_mode misbehave = http_mode::normal;
  long answer_for_s = -1;  // -1: for ever
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

int64_t now_ms() { return static_cast<int64_t>(sys_monotonic_ms()); }

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
    } else if (arg == "--http-misbehave") {
      if (!value(&v)) return exit_usage;
      if (!std::strcmp(v, "garbage")) {
        opt->misbehave = http_mode::garbage;
      } else if (!std::strcmp(v, "silent")) {
        opt->misbehave = http_mode::silent;
      } else if (!std::strcmp(v, "huge")) {
        opt->misbehave = http_mode::huge;
      } else {
        std::fprintf(stderr,
                     "kta-devsim: --http-misbehave wants garbage, silent or huge, not '%s'\n", v);
        return exit_usage;
      }
      opt->http = true;
    } else if (arg == "--answer-for") {
      if (!value(&v)) return exit_usage;
      if (!parse_number(v, max_answer_for_s, &n)) {
        std::fprintf(stderr, "kta-devsim: --answer-for wants seconds from 0 to %ld, not '%s'\n",
                     max_answer_for_s, v);
        return exit_usage;
      }
      opt->answer_for_s = n;
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

// A datagram socket on the devices' port of every address, or a web
// listener on one address (INADDR_ANY for the 404 page). Several simulators
// share both: each gets every broadcast, and each address's own web listener
// wins over the catch-all one, whoever holds that.
int open_bound(int type, uint32_t addr, int port) {
  int s = socket(AF_INET, type | SOCK_CLOEXEC | (type == SOCK_STREAM ? SOCK_NONBLOCK : 0), 0);
  if (s < 0) return -1;
  int on = 1;
  setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  if (type == SOCK_DGRAM) setsockopt(s, IPPROTO_IP, IP_PKTINFO, &on, sizeof on);
  if (type == SOCK_STREAM) setsockopt(s, SOL_SOCKET, SO_REUSEPORT, &on, sizeof on);
  sockaddr_in ep{};
  ep.sin_family = AF_INET;
  ep.sin_port = htons(static_cast<uint16_t>(port));
  ep.sin_addr.s_addr = htonl(addr);
  if (bind(s, reinterpret_cast<sockaddr*>(&ep), sizeof ep) != 0 ||
      (type == SOCK_STREAM && listen(s, 128) != 0)) {
    int saved = errno;
    close(s);
    errno = saved;
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

// One web connection: the request is read, then the answer that the mode
// asks for is sent as the socket takes it.
struct http_conn {
  int fd;
  uint32_t local;  // the address it was made to, host order
  int64_t answer_at_ms;
  int64_t drop_at_ms;
  std::string request;
  std::string answer;
  size_t sent = 0;
  size_t endless = 0;  // bytes of the huge status line still to go after answer
  bool answered = false;
};

std::string page_answer(const options& opt, uint32_t a) {
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
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// Bytes that no HTTP client can take for a status line, line ends among them.
std::string garbage_answer(uint32_t seed) {
  std::string out;
  uint32_t x = seed | 1;
  while (out.size() < http_garbage_len) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    char c = static_cast<char>(x & 0xFF);
    out.push_back(out.size() % 40 == 39 ? '\n' : c == 'H' ? 'h' : c);
  }
  return out;
}

// What the connection is to get once its request is in; a silent device gives nothing, ever.
void prepare_answer(const options& opt, http_conn* c) {
  c->answered = true;
  if (!is_device(opt, c->local) || opt.misbehave == http_mode::normal) {
    c->answer = page_answer(opt, c->local);
  } else if (opt.misbehave == http_mode::garbage) {
    c->answer = garbage_answer(c->local);
  } else if (opt.misbehave == http_mode::huge) {
    c->answer = "HTTP/1.0 200 ";
    c->endless = http_huge_len;
  }
}

void accept_http(int listener, int64_t now, std::vector<http_conn>* conns) {
  while (conns->size() < max_connections) {
    int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) return;
    sockaddr_in local{};
    socklen_t len = sizeof local;
    getsockname(fd, reinterpret_cast<sockaddr*>(&local), &len);
    conns->push_back({fd,
                      ntohl(local.sin_addr.s_addr),
                      now + http_timeout_ms,
                      now + http_lifetime_ms,
                      {},
                      {},
                      0,
                      0,
                      false});
  }
}

// Moves a connection on as far as its socket allows; false once it is done with.
bool serve_http(const options& opt, int64_t now, short revents, http_conn* c) {
  if (now >= c->drop_at_ms) return false;
  bool ended = false;  // the client has sent all it will
  if (!c->answered && (revents & POLLIN)) {
    char buf[1024];
    ssize_t n = recv(c->fd, buf, sizeof buf, 0);
    if (n < 0 && errno != EAGAIN) return false;
    if (n > 0) c->request.append(buf, static_cast<size_t>(n));
    ended = n == 0;
  }
  if (!c->answered) {
    bool whole = ended || c->request.find("\r\n\r\n") != std::string::npos ||
                 c->request.find("\n\n") != std::string::npos ||
                 c->request.size() >= http_request_max;
    // A client that never ends its request still gets its answer, a little later.
    if (!whole && now < c->answer_at_ms) return true;
    prepare_answer(opt, c);
  }
  if (c->answer.empty()) {
    // Silent: keep the connection until the client gives up on it.
    if (!(revents & POLLIN)) return true;
    char buf[1024];
    ssize_t n = recv(c->fd, buf, sizeof buf, 0);
    return n > 0 || (n < 0 && errno == EAGAIN);
  }
  for (;;) {
    if (c->sent == c->answer.size()) {
      if (c->endless == 0) return false;
      size_t chunk = std::min<size_t>(c->endless, 64 * 1024);
      c->answer.assign(chunk, 'A');
      c->endless -= chunk;
      c->sent = 0;
    }
    ssize_t n = send(c->fd, c->answer.data() + c->sent, c->answer.size() - c->sent, MSG_NOSIGNAL);
    if (n < 0) return errno == EAGAIN;
    c->sent += static_cast<size_t>(n);
  }
}

short http_events(const http_conn& c) {
  if (c.answered && !c.answer.empty()) return POLLOUT;
  return POLLIN;
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
  sigaddset(&set, SIGUSR1);
  if (sigprocmask(SIG_BLOCK, &set, nullptr) != 0) return -1;
  return signalfd(-1, &set, SFD_CLOEXEC);
}

// One listener per address besides the catch-all, and a connection each: more than 1024.
void raise_descriptor_limit() {
  rlimit r;
  if (getrlimit(RLIMIT_NOFILE, &r) != 0 || r.rlim_cur >= r.rlim_max) return;
  r.rlim_cur = r.rlim_max;
  setrlimit(RLIMIT_NOFILE, &r);
}

void say(const char* line) {
  std::printf("kta-devsim: %s\n", line);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  int parsed = parse_args(argc, argv, &opt);
  if (parsed < 0) return exit_ok;
  if (parsed > 0) return parsed;

  int sig = open_signals();
  int udp = open_bound(SOCK_DGRAM, INADDR_ANY, device_port);
  if (sig < 0 || udp < 0) {
    std::fprintf(stderr, "kta-devsim: cannot open UDP port %d: %s\n", device_port,
                 std::strerror(errno));
    return exit_failed;
  }
  std::vector<int> listeners;
  if (opt.http) {
    raise_descriptor_limit();
    listeners.push_back(open_bound(SOCK_STREAM, INADDR_ANY, opt.http_port));
    for (uint32_t a : opt.addrs) {
      if (listeners.back() < 0) break;
      listeners.push_back(open_bound(SOCK_STREAM, a, opt.http_port));
    }
    if (listeners.back() < 0) {
      std::fprintf(stderr, "kta-devsim: cannot open TCP port %d: %s\n", opt.http_port,
                   std::strerror(errno));
      for (int l : listeners) {
        if (l >= 0) close(l);
      }
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
  std::vector<http_conn> conns;
  std::vector<pollfd> fds;
  double tokens = 0;
  int64_t refilled = now_ms();
  bool answering = opt.answer_for_s != 0;
  int64_t silent_at = opt.answer_for_s > 0 ? refilled + opt.answer_for_s * 1000 : -1;
  if (!answering) say("silent");
  for (;;) {
    int64_t now = now_ms();
    if (silent_at >= 0 && now >= silent_at) {
      silent_at = -1;
      if (answering) say("silent");
      answering = false;
    }
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
    int64_t wait = -1;
    if (!queue.empty()) {
      wait = queue.front().due_ms - now;
      if (opt.rate > 0 && tokens < 1) wait = std::max<int64_t>(wait, 1);
    }
    auto sooner = [&](int64_t at) {
      if (at < 0) return;
      int64_t w = std::max<int64_t>(at - now, 0);
      if (wait < 0 || w < wait) wait = w;
    };
    sooner(silent_at);
    fds.clear();
    fds.push_back({sig, POLLIN, 0});
    fds.push_back({udp, POLLIN, 0});
    for (int l : listeners) fds.push_back({l, POLLIN, 0});
    for (const http_conn& c : conns) {
      fds.push_back({c.fd, http_events(c), 0});
      sooner(c.answered ? c.drop_at_ms : c.answer_at_ms);
    }
    int timeout = wait < 0 ? -1 : static_cast<int>(std::min<int64_t>(wait, 60000));
    int n = poll(fds.data(), fds.size(), timeout);
    if (n < 0 && errno != EINTR) break;
    now = now_ms();
    if (n > 0 && fds[0].revents) {
      signalfd_siginfo info{};
      if (read(sig, &info, sizeof info) != sizeof info || info.ssi_signo != SIGUSR1) break;
      answering = !answering;
      silent_at = -1;
      say(answering ? "answering again" : "silent");
    }
    if (n > 0 && (fds[1].revents & POLLIN)) {
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
      if (got >= 1 && probe[0] == '?' && answering) {
        int64_t due = now_ms() + opt.delay_ms;
        for (uint32_t a : opt.addrs) {
          if (queue.size() >= static_cast<size_t>(max_pending)) break;
          if (hears(nets, a, to)) queue.push_back({due, from, a, opt.flood});
        }
      }
    }
    // The connections polled are the first ones of the list; those accepted below wait a turn.
    size_t first_conn = 2 + listeners.size();
    size_t kept = 0;
    for (size_t i = 0; i < conns.size(); i++) {
      short revents = first_conn + i < fds.size() ? fds[first_conn + i].revents : 0;
      if (serve_http(opt, now, revents, &conns[i])) {
        if (kept != i) conns[kept] = std::move(conns[i]);
        kept++;
      } else {
        close(conns[i].fd);
      }
    }
    conns.resize(kept);
    for (size_t i = 0; i < listeners.size(); i++) {
      if (fds[2 + i].revents & POLLIN) accept_http(listeners[i], now, &conns);
    }
  }
  close(udp);
  for (int l : listeners) close(l);
  for (const http_conn& c : conns) close(c.fd);
  close(sig);
  return exit_ok;
}
