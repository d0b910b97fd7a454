#include "tools/scan_options.h"

#include <cstring>

#include "kta_version.h"
#include "net/adapter.h"
#include "net/bcast.h"
#include "tools/scan_oui.h"
#include "tools/scan_web.h"

namespace {

const char usage[] =
    "Usage: kta-scan [--rounds N] [--interface NAME]... [--long | --json | --csv]\n"
    "                [--oui-file PATH]... [--web [--web-timeout S]]\n"
    "       kta-scan --watch [--interval S] [--interface NAME]... [--long | --json | --csv]\n"
    "                [--oui-file PATH]... [--web ...]\n"
    "Finds Corvane KTA-310 devices on the local network: broadcasts the probe \"?\"\n"
    "from UDP port 10000 to port 9999 of 255.255.255.255 and of every other\n"
    "network adapter's broadcast address, and lists every device that answers,\n"
    "one address a line, in numeric order.\n"
    "\n"
    "  --rounds N        probe N times, one listen window of about 0.9 s each\n"
    "                    (default 1, at most 1000). One window lists every device\n"
    "                    that answered; the list accumulates over the rounds, for\n"
    "                    networks that lose datagrams.\n"
    "  --interface NAME  probe only the network adapter NAME (repeatable), with a\n"
    "                    directed broadcast to its network's broadcast address\n"
    "  --long            columns: address, hardware address, its maker, the adapter\n"
    "                    whose network holds the address, and with --web the page\n"
    "                    (\"-\" where unknown)\n"
    "  --json            print one JSON object instead:\n"
    "                    {\"port\":10000,\"rounds\":N,\"dropped\":0,\"devices\":[{\"address\":\n"
    "                    \"...\",\"mac\":\"00:1b:21:0a:0b:0c\",\"vendor\":\"...\",\"interface\":\n"
    "                    \"...\"},...]}, null where unknown; dropped counts the answers\n"
    "                    a full receive buffer lost\n"
    "  --csv             the same fields as RFC 4180 CSV with a header row\n"
    "  --oui-file PATH   name the makers from PATH (repeatable) instead of the IEEE\n"
    "                    registry files of ieee-data (oui.csv, mam.csv, oui36.csv)\n"
    "  --web             check each device's web page as soon as it answers: a\n"
    "                    request for / on TCP port 80; each address is followed by\n"
    "                    \"web 200 OK\" (the status line's code and reason) and the\n"
    "                    page's title in quotes, or by \"web refused\", \"web timeout\"\n"
    "                    or \"web bad-reply\"; in JSON \"web\":{\"status\":200,\"reason\":\n"
    "                    \"OK\",\"ms\":3,\"title\":\"...\"} or \"web\":{\"error\":\"refused\"}\n"
    "  --web-timeout S   give each page S seconds (1 to 60, default 2)\n"
    "  --watch           probe again and again until interrupted (Ctrl+C, SIGTERM)\n"
    "                    and print \"+ ADDRESS\" when a device answers for the first\n"
    "                    time, \"- ADDRESS\" once it has missed three probes in a row,\n"
    "                    with the columns of --long, or one JSON object a line:\n"
    "                    {\"event\":\"found\",\"address\":\"...\",\"time\":\n"
    "                    \"2026-12-09T10:00:00Z\",...} or \"event\":\"lost\", or CSV rows;\n"
    "                    with --web a found device's page is checked\n"
    "  --interval S      probe every S seconds while watching (1 to 3600, default 5)\n"
    "  --version         print the version and exit\n"
    "  --help            print this help and exit\n"
    "\n"
    "Exit status: 0 after a scan, also when no device answered, and after a watch\n"
    "ends by a signal or its reader going; 1 when UDP port 10000 cannot be opened or\n"
    "the output cannot be written; 2 on bad arguments or an unknown adapter.\n";

// Digits only, min to max.
bool parse_count(const char* text, int32_t min, int32_t max, int32_t* value) {
  if (!text || !*text) return false;
  int32_t v = 0;
  for (const char* p = text; *p; p++) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + (*p - '0');
    if (v > max) return false;
  }
  if (v < min) return false;
  *value = v;
  return true;
}

// An option with a value, as "--name VALUE" or "--name=VALUE": the value,
// or null when arg is not this option. *missing is set when it is, but
// without its value.
const char* option_value(int argc, char** argv, int* i, const char* name, bool* missing) {
  const char* arg = argv[*i];
  if (!arg) return nullptr;
  size_t n = std::strlen(name);
  if (std::strncmp(arg, name, n) != 0) return nullptr;
  if (arg[n] == '=') return arg + n + 1;
  if (arg[n] != 0) return nullptr;
  if (*i + 1 >= argc) {
    *missing = true;
    return nullptr;
  }
  return argv[++*i];
}

struct count_option {
  const char* name;
  int32_t min, max;
  const char* unit;
  int32_t scan_options::*field;
};

constexpr count_option counts[] = {
    {"--rounds", 1, scan_max_rounds, "a whole number", &scan_options::rounds},
    {"--web-timeout", 1, web_timeout_max_s, "seconds", &scan_options::web_timeout_s},
    {"--interval", 1, scan_interval_max_s, "seconds", &scan_options::interval_s},
};

struct format_option {
  const char* name;
  scan_format format;
};

constexpr format_option formats[] = {
    {"--long", scan_format::long_lines},
    {"--json", scan_format::json},
    {"--csv", scan_format::csv},
};

int usage_error(const char* fmt, const char* what) {
  std::fputs("kta-scan: ", stderr);
  std::fprintf(stderr, fmt, what);
  std::fputs(" (see --help)\n", stderr);
  return scan_exit_usage;
}

int take_interface(const char* name, scan_options* opt) {
  if (!*name) return usage_error("--interface needs an adapter name%s", "");
  if (!adapter_exists(name) || std::strlen(name) >= static_cast<size_t>(adapter_name_size)) {
    std::fprintf(stderr, "kta-scan: no network adapter is named '%s'\n", name);
    return scan_exit_usage;
  }
  if (opt->interfaces.size() >= static_cast<size_t>(bcast_adapters_max)) {
    std::fprintf(stderr, "kta-scan: at most %d --interface options\n", bcast_adapters_max);
    return scan_exit_usage;
  }
  opt->interfaces.push_back(name);
  return 0;
}

}  // namespace

int scan_parse_args(int argc, char** argv, FILE* out, scan_options* opt) {
  bool given[std::size(counts)] = {};
  bool two_formats = false;
  for (int i = 1; i < argc; i++) {
    const char* arg = argv[i];
    if (!std::strcmp(arg, "--help") || !std::strcmp(arg, "-h")) {
      std::fputs(usage, out);
      return -1;
    }
    if (!std::strcmp(arg, "--version")) {
      std::fprintf(out, "kta-scan %s\n", KTA_VERSION);
      return -1;
    }
    if (!std::strcmp(arg, "--web")) {
      opt->web = true;
      continue;
    }
    if (!std::strcmp(arg, "--watch")) {
      opt->watch = true;
      continue;
    }
    bool matched = false;
    for (const format_option& f : formats) {
      if (std::strcmp(arg, f.name) != 0) continue;
      two_formats = two_formats || (opt->format != scan_format::lines && opt->format != f.format);
      opt->format = f.format;
      matched = true;
    }
    if (matched) continue;
    bool missing = false;
    if (const char* name = option_value(argc, argv, &i, "--interface", &missing)) {
      if (int status = take_interface(name, opt)) return status;
      continue;
    }
    if (missing) return usage_error("--interface needs an adapter name%s", "");
    if (const char* path = option_value(argc, argv, &i, "--oui-file", &missing)) {
      if (!*path || opt->oui_files.size() >= static_cast<size_t>(oui_files_max))
        return usage_error("--oui-file wants a file's path, at most 8 of them%s", "");
      opt->oui_files.push_back(path);
      continue;
    }
    if (missing) return usage_error("--oui-file needs a file's path%s", "");
    for (size_t c = 0; c < std::size(counts) && !matched; c++) {
      const char* text = option_value(argc, argv, &i, counts[c].name, &missing);
      if (missing) return usage_error("%s needs a number", counts[c].name);
      if (!text) continue;
      if (!parse_count(text, counts[c].min, counts[c].max, &(opt->*counts[c].field))) {
        std::fprintf(stderr, "kta-scan: %s wants %s from %d to %d, not '%s'\n", counts[c].name,
                     counts[c].unit, counts[c].min, counts[c].max, text);
        return scan_exit_usage;
      }
      given[c] = matched = true;
    }
    if (!matched) {
      std::fprintf(stderr, "kta-scan: unknown argument '%s' (see --help)\n", arg);
      return scan_exit_usage;
    }
  }
  const char* clash = given[0] && opt->watch    ? "--rounds is for a scan, not --watch"
                      : given[2] && !opt->watch ? "--interval needs --watch"
                      : given[1] && !opt->web   ? "--web-timeout needs --web"
                      : two_formats             ? "choose one of --long, --json and --csv"
                                                : nullptr;
  if (clash) return usage_error("%s", clash);
  return 0;
}
