#include "tools/scan_oui.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

// A longer line is no assignment of the registry's: it is passed over.
constexpr int32_t line_max = 2048;

uint64_t mac_value(const uint8_t* mac) {
  uint64_t v = 0;
  for (int32_t i = 0; i < 6; i++) v = v << 8 | mac[i];
  return v;
}

// The next field of a CSV line from *p, quotes undone, into out (cut to
// size - 1); *p is left after its comma. False at the end of the line.
bool next_field(const char** p, char* out, int32_t size) {
  const char* s = *p;
  if (!*s || *s == '\n' || *s == '\r') return false;
  int32_t n = 0;
  auto keep = [&](char c) {
    if (n < size - 1) out[n++] = c;
  };
  if (*s == '"') {
    for (s++; *s; s++) {
      if (*s == '"' && s[1] == '"') {
        keep('"');
        s++;
      } else if (*s == '"') {
        s++;
        break;
      } else {
        keep(*s);
      }
    }
  }
  for (; *s && *s != ',' && *s != '\n' && *s != '\r'; s++) keep(*s);
  if (*s == ',') s++;
  out[n] = 0;
  *p = s;
  return true;
}

// An assignment's prefix: its value and its length in bits, or 0 bits when
// the text is no prefix of a length the registry hands out.
int32_t parse_prefix(const char* text, uint64_t* value) {
  int32_t digits = 0;
  uint64_t v = 0;
  for (const char* s = text; *s; s++, digits++) {
    char c = *s;
    int32_t d = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                       : -1;
    if (d < 0 || digits >= 12) return 0;
    v = v << 4 | static_cast<uint64_t>(d);
  }
  if (digits != 6 && digits != 7 && digits != 9) return 0;
  *value = v;
  return digits * 4;
}

// The maker's name as a terminal may show it: trimmed, no control bytes.
void keep_maker(const char* name, char* out) {
  while (*name == ' ') name++;
  int32_t n = 0;
  for (const char* s = name; *s && n < oui_maker_size - 1; s++) {
    auto c = static_cast<unsigned char>(*s);
    if (c >= 0x20 && c != 0x7F) out[n++] = static_cast<char>(c);
  }
  while (n > 0 && out[n - 1] == ' ') n--;
  out[n] = 0;
}

}  // namespace

bool oui_locally_administered(const uint8_t* mac) { return (mac[0] & 0x02) != 0; }

int32_t oui_lookup(const char* const* files, int32_t nfiles, oui_query* queries, int32_t n) {
  // The queries in order of their addresses: the ones an assignment holds are
  // then one run, found by two binary searches.
  std::vector<std::pair<uint64_t, int32_t>> order;
  for (int32_t i = 0; i < n; i++) {
    queries[i].maker[0] = 0;
    queries[i].bits = 0;
    if (!oui_locally_administered(queries[i].mac)) order.emplace_back(mac_value(queries[i].mac), i);
  }
  std::sort(order.begin(), order.end());
  int32_t opened = 0;
  std::vector<char> line(line_max);
  char registry[16], assignment[16], name[oui_maker_size];
  for (int32_t f = 0; f < nfiles; f++) {
    FILE* in = std::fopen(files[f], "rb");
    if (!in) continue;
    opened++;
    while (std::fgets(line.data(), line_max, in)) {
      size_t len = std::strlen(line.data());
      if (len == static_cast<size_t>(line_max - 1) && line[len - 1] != '\n') {
        int c;
        while ((c = std::fgetc(in)) != EOF && c != '\n') {
        }
        continue;
      }
      const char* p = line.data();
      uint64_t prefix = 0;
      if (!next_field(&p, registry, sizeof registry) ||
          !next_field(&p, assignment, sizeof assignment) || !next_field(&p, name, sizeof name))
        continue;
      int32_t bits = parse_prefix(assignment, &prefix);
      char maker[oui_maker_size];
      keep_maker(name, maker);
      if (bits == 0 || !maker[0]) continue;
      uint64_t first = prefix << (48 - bits), last = first | ((uint64_t{1} << (48 - bits)) - 1);
      auto lo = std::lower_bound(order.begin(), order.end(), std::make_pair(first, INT32_MIN));
      for (auto it = lo; it != order.end() && it->first <= last; ++it) {
        oui_query& q = queries[it->second];
        if (bits <= q.bits) continue;
        std::memcpy(q.maker, maker, sizeof maker);
        q.bits = bits;
      }
    }
    std::fclose(in);
  }
  if (opened == 0) return -1;
  int32_t named = 0;
  for (int32_t i = 0; i < n; i++) named += queries[i].bits > 0 ? 1 : 0;
  return named;
}
