#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "kta_version.h"
#include "support/clock_sys.h"
#include "tools/devsim/devsim.h"

namespace {

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
    "  --jitter MS      delay each address's answer by a random time of its own,\n"
    "                   from 0 to MS milliseconds, drawn again for every probe;\n"
    "                   without it every answer leaves at once, as one burst\n"
    "  --seed S         draw the --jitter delays from seed S, the same each run\n"
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
    "  --http-title TEXT\n"
    "                   the page's <title> is TEXT as given, raw HTML (implies --http):\n"
    "                   \\xHH is that byte, \\\\ a backslash, %a the device's address,\n"
    "                   %% a percent sign (default \"Corvane KTA-310 %a\")\n"
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

// The lab's plan: every address from first to last whose last byte is neither 0 nor 255.
bool add_range(const char* text, std::vector<uint32_t>* addrs) {
  const char* dash = std::strchr(text, '-');
  if (!dash) return false;
  std::string first(text, static_cast<size_t>(dash - text));
  uint32_t a, b;
  if (!parse_addr(first.c_str(), &a) || !parse_addr(dash + 1, &b) || b < a) return false;
  for (uint64_t n = a; n <= b; n++) {
    if ((n & 255) == 0 || (n & 255) == 255) continue;
    if (addrs->size() >= static_cast<size_t>(devsim_max_addresses)) return false;
    addrs->push_back(static_cast<uint32_t>(n));
  }
  return true;
}

}  // namespace

int64_t devsim_now_ms() { return static_cast<int64_t>(sys_monotonic_ms()); }

std::string devsim_addr_text(uint32_t host_order) {
  char text[INET_ADDRSTRLEN];
  in_addr a;
  a.s_addr = htonl(host_order);
  inet_ntop(AF_INET, &a, text, sizeof text);
  return text;
}

bool devsim_is_device(const devsim_options& opt, uint32_t a) {
  return std::binary_search(opt.addrs.begin(), opt.addrs.end(), a);
}

// Several simulators share both: each gets every broadcast, and each
// address's own web listener (INADDR_ANY for the 404 page) wins over the
// catch-all one, whoever holds that.
int devsim_open_bound(int type, uint32_t addr, int port) {
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

// 0 to go on, -1 to exit 0 (help, version), else the exit status.
int devsim_parse_args(int argc, char** argv, devsim_options* opt) {
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
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_addr(v, &a)) {
        std::fprintf(stderr, "kta-devsim: '%s' is not an IPv4 address\n", v);
        return devsim_exit_usage;
      }
      if (opt->addrs.size() >= static_cast<size_t>(devsim_max_addresses)) {
        std::fprintf(stderr, "kta-devsim: at most %d addresses\n", devsim_max_addresses);
        return devsim_exit_usage;
      }
      opt->addrs.push_back(a);
    } else if (arg == "--range") {
      if (!value(&v)) return devsim_exit_usage;
      if (!add_range(v, &opt->addrs)) {
        std::fprintf(stderr, "kta-devsim: bad range '%s' (A-B, at most %d addresses in all)\n", v,
                     devsim_max_addresses);
        return devsim_exit_usage;
      }
    } else if (arg == "--delay") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, 600000, &n)) {
        std::fprintf(stderr, "kta-devsim: --delay wants milliseconds, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->delay_ms = static_cast<int>(n);
    } else if (arg == "--jitter") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, devsim_max_jitter_ms, &n)) {
        std::fprintf(stderr, "kta-devsim: --jitter wants milliseconds from 0 to %d, not '%s'\n",
                     devsim_max_jitter_ms, v);
        return devsim_exit_usage;
      }
      opt->jitter_ms = static_cast<int>(n);
    } else if (arg == "--seed") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, 0xFFFFFFFFL, &n)) {
        std::fprintf(stderr, "kta-devsim: --seed wants a whole number, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->seeded = true;
      opt->seed = static_cast<uint32_t>(n);
    } else if (arg == "--reply") {
      if (!value(&v)) return devsim_exit_usage;
      if (std::strlen(v) > static_cast<size_t>(devsim_max_reply_len)) {
        std::fprintf(stderr, "kta-devsim: --reply is longer than %d bytes\n", devsim_max_reply_len);
        return devsim_exit_usage;
      }
      opt->reply = v;
    } else if (arg == "--wrong-first" || arg == "--empty" || arg == "--oversize") {
      if (misbehaviour) {
        std::fprintf(stderr, "kta-devsim: choose one of --wrong-first, --empty, --oversize\n");
        return devsim_exit_usage;
      }
      misbehaviour = true;
      // GCC 12 at -O3 reports a false overlap (-Wrestrict) for a literal assigned here.
      if (arg == "--wrong-first") opt->reply.assign(1, '!');
      if (arg == "--empty") opt->reply.clear();
      if (arg == "--oversize") opt->reply = "?" + std::string(devsim_oversize_len - 1, '.');
    } else if (arg == "--flood") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, 100000000, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --flood wants a count from 1, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->flood = static_cast<int>(n);
    } else if (arg == "--rate") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, 10000000, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --rate wants datagrams a second, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->rate = n;
    } else if (arg == "--log-probes") {
      opt->log_probes = true;
    } else if (arg == "--http") {
      opt->http = true;
    } else if (arg == "--http-misbehave") {
      if (!value(&v)) return devsim_exit_usage;
      if (!std::strcmp(v, "garbage")) {
        opt->misbehave = http_mode::garbage;
      } else if (!std::strcmp(v, "silent")) {
        opt->misbehave = http_mode::silent;
      } else if (!std::strcmp(v, "huge")) {
        opt->misbehave = http_mode::huge;
      } else {
        std::fprintf(stderr,
                     "kta-devsim: --http-misbehave wants garbage, silent or huge, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->http = true;
    } else if (arg == "--http-title") {
      std::string checked;
      if (!value(&v)) return devsim_exit_usage;
      if (!devsim_title_html(v, "", &checked)) {
        std::fprintf(stderr, "kta-devsim: --http-title: \\x wants two hex digits, in '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->http_title = v;
      opt->http = true;
    } else if (arg == "--answer-for") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, devsim_max_answer_for_s, &n)) {
        std::fprintf(stderr, "kta-devsim: --answer-for wants seconds from 0 to %ld, not '%s'\n",
                     devsim_max_answer_for_s, v);
        return devsim_exit_usage;
      }
      opt->answer_for_s = n;
    } else if (arg == "--http-port") {
      if (!value(&v)) return devsim_exit_usage;
      if (!parse_number(v, 65535, &n) || n < 1) {
        std::fprintf(stderr, "kta-devsim: --http-port wants a port, not '%s'\n", v);
        return devsim_exit_usage;
      }
      opt->http = true;
      opt->http_port = static_cast<int>(n);
    } else {
      std::fprintf(stderr, "kta-devsim: unknown argument '%s' (see --help)\n", arg.c_str());
      return devsim_exit_usage;
    }
  }
  if (opt->addrs.empty()) {
    const char* lab = std::getenv("KTA_LAB_DEVICE_RANGE");
    if (!lab || !*lab || !add_range(lab, &opt->addrs)) {
      std::fprintf(stderr, "kta-devsim: no device address (--addr, --range, or run in the lab)\n");
      return devsim_exit_usage;
    }
  }
  std::sort(opt->addrs.begin(), opt->addrs.end());
  opt->addrs.erase(std::unique(opt->addrs.begin(), opt->addrs.end()), opt->addrs.end());
  return 0;
}
