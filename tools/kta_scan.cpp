// kta-scan: the discovery exchange without a window. Probes every adapter,
// waits for each listen window to end, and prints the addresses that
// answered, sorted.

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/probe.h"
#include "app/text_list.h"
#include "kta_version.h"
#include "net/adapter.h"
#include "net/bcast.h"
#include "net/ip.h"
#include "net/sockets.h"
#include "support/thread.h"

namespace {

constexpr int32_t local_port = 10000;
constexpr int32_t device_port = 9999;
constexpr int32_t max_rounds = 1000;
// A window ends about 0.9 s after its send; this only guards against a lost end.
constexpr int32_t round_limit_ticks = 1000;

constexpr int exit_scanned = 0;
constexpr int exit_no_channel = 1;
constexpr int exit_usage = 2;

const char usage[] =
    "Usage: kta-scan [--rounds N] [--interface NAME]... [--json]\n"
    "Finds Corvane KTA-310 devices on the local network: broadcasts the probe \"?\"\n"
    "from UDP port 10000 to port 9999 of 255.255.255.255 and of every other\n"
    "network adapter's broadcast address, and lists every device that answers.\n"
    "\n"
    "  --rounds N        probe N times, one listen window of about 0.9 s each\n"
    "                    (default 1, at most 1000). One window lists every device\n"
    "                    that answered; the list accumulates over the rounds, for\n"
    "                    networks that lose datagrams.\n"
    "  --interface NAME  probe only the network adapter NAME (repeatable), with a\n"
    "                    directed broadcast to its network's broadcast address\n"
    "  --json            print one JSON object instead of one address a line:\n"
    "                    {\"port\":10000,\"rounds\":N,\"devices\":[{\"address\":\"...\",\n"
    "                    \"interface\":\"...\"},...]}, the interface being the adapter\n"
    "                    whose network holds the address, where one does\n"
    "  --version         print the version and exit\n"
    "  --help            print this help and exit\n"
    "\n"
    "Exit status: 0 after a scan, also when no device answered; 1 when UDP port\n"
    "10000 cannot be opened; 2 on bad arguments or an unknown adapter.\n";

struct options {
  int32_t rounds = 1;
  bool json = false;
  std::vector<const char*> interfaces;
};

// Digits only, 1 to max_rounds.
bool parse_rounds(const char* text, int32_t* out) {
  if (!text || !*text) return false;
  int32_t value = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > max_rounds) return false;
  }
  if (value < 1) return false;
  *out = value;
  return true;
}

// 0 to go on, else the exit status (after --help or --version: -1 meaning exit 0).
int parse_args(int argc, char** argv, options* opt) {
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      std::fputs(usage, stdout);
      return -1;
    }
    if (!std::strcmp(arg, "--version")) {
      std::printf("kta-scan %s\n", KTA_VERSION);
      return -1;
    }
    if (!std::strcmp(arg, "--json")) {
      opt->json = true;
      continue;
    }
    if (!std::strcmp(arg, "--interface") || !std::strncmp(arg, "--interface=", 12)) {
      const char* name = arg[11] == '=' ? arg + 12 : i + 1 < argc ? argv[++i] : nullptr;
      if (!name || !*name) {
        std::fprintf(stderr, "kta-scan: --interface needs an adapter name (see --help)\n");
        return exit_usage;
      }
      if (!adapter_exists(name) || std::strlen(name) >= static_cast<size_t>(adapter_name_size)) {
        std::fprintf(stderr, "kta-scan: no network adapter is named '%s'\n", name);
        return exit_usage;
      }
      if (opt->interfaces.size() >= static_cast<size_t>(bcast_adapters_max)) {
        std::fprintf(stderr, "kta-scan: at most %d --interface options\n", bcast_adapters_max);
        return exit_usage;
      }
      opt->interfaces.push_back(name);
      continue;
    }
    const char* value = nullptr;
    if (!std::strcmp(arg, "--rounds")) {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "kta-scan: --rounds needs a number (see --help)\n");
        return exit_usage;
      }
      value = argv[++i];
    } else if (!std::strncmp(arg, "--rounds=", 9)) {
      value = arg + 9;
    } else {
      std::fprintf(stderr, "kta-scan: unknown argument '%s' (see --help)\n", arg);
      return exit_usage;
    }
    if (!parse_rounds(value, &opt->rounds)) {
      std::fprintf(stderr, "kta-scan: --rounds wants a whole number from 1 to %d, not '%s'\n",
                   max_rounds, value);
      return exit_usage;
    }
  }
  return 0;
}

// A network this machine has an address on, to name the adapter a device sits behind.
struct network {
  std::string adapter;
  uint32_t addr;
  uint32_t mask;
};

void collect_network(void* ctx, const adapter_addr* a) {
  if (!(a->flags & adapter_up) || (a->flags & adapter_loopback)) return;
  static_cast<std::vector<network>*>(ctx)->push_back({a->name, a->addr, a->mask});
}

// The adapter whose network holds the address, the narrowest where several
// do; null when none does.
const char* adapter_of(const std::vector<network>& nets, const char* address) {
  uint8_t b[4];
  if (ip_text_to_bytes(address, b) != 3) return nullptr;
  uint32_t x = static_cast<uint32_t>(b[0]) << 24 | static_cast<uint32_t>(b[1]) << 16 |
               static_cast<uint32_t>(b[2]) << 8 | b[3];
  const network* best = nullptr;
  for (const network& n : nets) {
    if ((x & n.mask) != (n.addr & n.mask)) continue;
    if (!best || n.mask > best->mask) best = &n;
  }
  return best ? best->adapter.c_str() : nullptr;
}

// JSON string text: adapter names are the system's, and Windows' may hold anything.
void print_json_string(const char* s) {
  std::putchar('"');
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(s); *p; p++) {
    if (*p == '"' || *p == '\\') {
      std::printf("\\%c", *p);
    } else if (*p < 0x20) {
      std::printf("\\u%04x", *p);
    } else {
      std::putchar(*p);
    }
  }
  std::putchar('"');
}

void print_devices(text_list* list, const options& opt) {
  int32_t count = text_list_count(list);
  std::vector<network> nets;
  if (opt.json) {
    adapter_visit(collect_network, &nets);
    std::printf("{\"port\":%d,\"rounds\":%d,\"devices\":[", local_port, opt.rounds);
  }
  for (int32_t i = 0; i < count; i++) {
    char text[64];
    if (text_list_get(list, i, text, sizeof text) < 0) continue;
    if (opt.json) {
      // Dotted quads need no escaping.
      std::printf("%s{\"address\":\"%s\"", i ? "," : "", text);
      if (const char* adapter = adapter_of(nets, text)) {
        std::printf(",\"interface\":");
        print_json_string(adapter);
      }
      std::printf("}");
    } else {
      std::printf("%s\n", text);
    }
  }
  if (opt.json) std::printf("]}\n");
}

}  // namespace

int main(int argc, char** argv) {
  options opt;
  int parsed = parse_args(argc, argv, &opt);
  if (parsed < 0) return exit_scanned;
  if (parsed > 0) return parsed;

  text_list* list = text_list_create();
  if (!list || ws_startup() != 0) {
    std::fprintf(stderr, "kta-scan: cannot start the sockets layer\n");
    text_list_free(list);
    return exit_no_channel;
  }
  probe_set_list_ops(&text_list_ops);
  if (udp_bcast_open(local_port) < 0) {
    std::fprintf(stderr, "kta-scan: cannot open UDP port %d (already in use?)\n", local_port);
    ws_cleanup();
    text_list_free(list);
    return exit_no_channel;
  }

  // One window lists every device that answered; the rounds only add to it.
  udp_bcast_set_batch(bcast_batch_max);
  udp_bcast_set_adapters(opt.interfaces.data(), static_cast<int32_t>(opt.interfaces.size()));

  probe_ctx ctx{};
  ctx.local_port = local_port;
  ctx.device_port = device_port;
  ctx.list = list;
  for (int32_t round = 0; round < opt.rounds; round++) {
    probe_send(&ctx);
    for (int32_t tick = 0; ctx.busy.load() && tick < round_limit_ticks; tick++) sleep_tick();
  }
  udp_bcast_close();
  ws_cleanup();

  print_devices(list, opt);
  if (text_list_count(list) == 0) {
    std::fprintf(stderr, "kta-scan: no device answered; a firewall may be blocking UDP port %d\n",
                 local_port);
  }
  text_list_free(list);
  return exit_scanned;
}
