#include "tools/scan_output.h"

namespace {

// --long's columns: a dotted quad, a hardware address, a maker's name cut to
// fit. Names are UTF-8: they are cut and padded by characters, not bytes.
constexpr int32_t address_width = 15;
constexpr int32_t mac_width = 17;
constexpr int32_t maker_width = 28;
constexpr int32_t adapter_width = 8;

void put_padded(FILE* out, const std::string& text, int32_t width, bool pad) {
  int32_t chars = 0;
  size_t i = 0;
  for (; i < text.size(); i++) {
    bool starts_char = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
    if (starts_char && chars == width) break;
    chars += starts_char ? 1 : 0;
  }
  std::fwrite(text.data(), 1, i, out);
  for (; pad && chars < width; chars++) std::fputc(' ', out);
}

std::string or_dash(const std::string& s) { return s.empty() ? "-" : s; }

std::string mac_of(const scan_device& d) { return d.mac_known ? scan_mac_text(d.mac) : ""; }

void put_json_string(FILE* out, const std::string& s) {
  std::fputc('"', out);
  for (unsigned char c : s) {
    if (c == '"' || c == '\\') {
      std::fprintf(out, "\\%c", c);
    } else if (c < 0x20) {
      std::fprintf(out, "\\u%04x", c);
    } else {
      std::fputc(c, out);
    }
  }
  std::fputc('"', out);
}

void put_json_or_null(FILE* out, const std::string& s) {
  if (s.empty()) {
    std::fputs("null", out);
  } else {
    put_json_string(out, s);
  }
}

// The words after an address that tell its page: "web 200 OK \"Title\"".
std::string web_words(const web_result& w) {
  if (w.outcome != web_ok) return std::string("web ") + web_outcome_name(w.outcome);
  std::string s = "web " + std::to_string(w.status);
  if (w.reason[0]) s += std::string(" ") + w.reason;
  if (w.has_title) s += std::string(" \"") + w.title + "\"";
  return s;
}

void put_line(const scan_printer& p, const scan_device& d) {
  std::fputs(d.address.c_str(), p.out);
  if (p.web && d.web_checked) std::fprintf(p.out, " %s", web_words(d.web).c_str());
  std::fputc('\n', p.out);
}

void put_long(const scan_printer& p, const scan_device& d, bool with_web) {
  bool web = p.web && with_web;
  put_padded(p.out, d.address, address_width, true);
  std::fputc(' ', p.out);
  put_padded(p.out, or_dash(mac_of(d)), mac_width, true);
  std::fputc(' ', p.out);
  put_padded(p.out, or_dash(scan_maker_text(d)), maker_width, true);
  std::fputc(' ', p.out);
  put_padded(p.out, or_dash(d.adapter), adapter_width, web);
  if (web) std::fprintf(p.out, " %s", d.web_checked ? web_words(d.web).c_str() : "-");
  std::fputc('\n', p.out);
}

void put_json_fields(const scan_printer& p, const scan_device& d, bool with_web) {
  std::fputs(",\"mac\":", p.out);
  put_json_or_null(p.out, mac_of(d));
  std::fputs(",\"vendor\":", p.out);
  put_json_or_null(p.out, scan_maker_text(d));
  std::fputs(",\"interface\":", p.out);
  put_json_or_null(p.out, d.adapter);
  if (!p.web || !with_web || !d.web_checked) return;
  const web_result& w = d.web;
  if (w.outcome == web_ok) {
    std::fprintf(p.out, ",\"web\":{\"status\":%d,\"reason\":", w.status);
    put_json_string(p.out, w.reason);
    std::fprintf(p.out, ",\"ms\":%u,\"title\":", w.ms);
    put_json_or_null(p.out, w.has_title ? std::string(w.title) : std::string());
    std::fputc('}', p.out);
  } else {
    std::fprintf(p.out, ",\"web\":{\"error\":\"%s\",\"title\":null}", web_outcome_name(w.outcome));
  }
}

// RFC 4180: a field that holds a comma, a quote or a line end goes in
// quotes, its quotes doubled; every record ends with CRLF.
void put_csv_field(FILE* out, const std::string& s, bool first = false) {
  if (!first) std::fputc(',', out);
  if (s.find_first_of(",\"\r\n") == std::string::npos) {
    std::fputs(s.c_str(), out);
    return;
  }
  std::fputc('"', out);
  for (char c : s) {
    if (c == '"') std::fputc('"', out);
    std::fputc(c, out);
  }
  std::fputc('"', out);
}

void put_csv_header(const scan_printer& p, bool events) {
  std::fputs(events ? "event,time,address" : "address", p.out);
  std::fputs(",mac,vendor,interface", p.out);
  if (p.web) std::fputs(",web_status,web_reason,web_ms,web_error,web_title", p.out);
  std::fputs("\r\n", p.out);
}

void put_csv_fields(const scan_printer& p, const scan_device& d, bool with_web) {
  put_csv_field(p.out, mac_of(d));
  put_csv_field(p.out, scan_maker_text(d));
  put_csv_field(p.out, d.adapter);
  if (p.web) {
    const web_result& w = d.web;
    bool ok = with_web && d.web_checked && w.outcome == web_ok;
    bool failed = with_web && d.web_checked && w.outcome != web_ok;
    put_csv_field(p.out, ok ? std::to_string(w.status) : "");
    put_csv_field(p.out, ok ? w.reason : "");
    put_csv_field(p.out, ok ? std::to_string(w.ms) : "");
    put_csv_field(p.out, failed ? web_outcome_name(w.outcome) : "");
    put_csv_field(p.out, ok && w.has_title ? w.title : "");
  }
  std::fputs("\r\n", p.out);
}

}  // namespace

void scan_print(const scan_printer& p, const std::vector<scan_device>& devices, int32_t rounds,
                int32_t dropped) {
  switch (p.format) {
    case scan_format::lines:
      for (const scan_device& d : devices) put_line(p, d);
      return;
    case scan_format::long_lines:
      for (const scan_device& d : devices) put_long(p, d, true);
      return;
    case scan_format::json:
      std::fprintf(p.out, "{\"port\":10000,\"rounds\":%d,", rounds);
      if (dropped >= 0) std::fprintf(p.out, "\"dropped\":%d,", dropped);
      std::fputs("\"devices\":[", p.out);
      for (size_t i = 0; i < devices.size(); i++) {
        // Dotted quads need no escaping.
        std::fprintf(p.out, "%s{\"address\":\"%s\"", i ? "," : "", devices[i].address.c_str());
        put_json_fields(p, devices[i], true);
        std::fputc('}', p.out);
      }
      std::fputs("]}\n", p.out);
      return;
    case scan_format::csv:
      put_csv_header(p, false);
      for (const scan_device& d : devices) {
        put_csv_field(p.out, d.address, true);
        put_csv_fields(p, d, true);
      }
      return;
  }
}

void scan_print_watch_start(const scan_printer& p) {
  if (p.format == scan_format::csv) put_csv_header(p, true);
}

void scan_print_event(const scan_printer& p, bool found, const std::string& time,
                      const scan_device& d) {
  const char* event = found ? "found" : "lost";
  switch (p.format) {
    case scan_format::lines:
      std::fprintf(p.out, "%c ", found ? '+' : '-');
      put_line(p, d);
      return;
    case scan_format::long_lines:
      std::fprintf(p.out, "%c ", found ? '+' : '-');
      put_long(p, d, found);
      return;
    case scan_format::json:
      std::fprintf(p.out, "{\"event\":\"%s\",\"address\":\"%s\",\"time\":\"%s\"", event,
                   d.address.c_str(), time.c_str());
      put_json_fields(p, d, found);
      std::fputs("}\n", p.out);
      return;
    case scan_format::csv:
      put_csv_field(p.out, event, true);
      put_csv_field(p.out, time);
      put_csv_field(p.out, d.address);
      put_csv_fields(p, d, found);
      return;
  }
}
