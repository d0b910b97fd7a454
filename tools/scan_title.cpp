#include "tools/scan_title.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string_view>

namespace {

enum title_phase : int32_t { in_headers = 0, in_body, in_start_tag, in_text, finished };
// A blank line ends the headers; the status line is never one.
enum line_state : int32_t { line_start = 0, line_start_cr, line_middle };

constexpr char start_tag[] = "<title";
constexpr char end_tag[] = "</title";
constexpr int32_t start_tag_len = sizeof start_tag - 1;
constexpr int32_t end_tag_len = sizeof end_tag - 1;

struct entity {
  std::string_view name;
  uint16_t code;
};

// HTML 4.01's named entities (its three DTDs), and XHTML's &apos;, sorted bytewise.
constexpr entity entities[] = {
    {"AElig", 0x00C6},   {"Aacute", 0x00C1},  {"Acirc", 0x00C2},    {"Agrave", 0x00C0},
    {"Alpha", 0x0391},   {"Aring", 0x00C5},   {"Atilde", 0x00C3},   {"Auml", 0x00C4},
    {"Beta", 0x0392},    {"Ccedil", 0x00C7},  {"Chi", 0x03A7},      {"Dagger", 0x2021},
    {"Delta", 0x0394},   {"ETH", 0x00D0},     {"Eacute", 0x00C9},   {"Ecirc", 0x00CA},
    {"Egrave", 0x00C8},  {"Epsilon", 0x0395}, {"Eta", 0x0397},      {"Euml", 0x00CB},
    {"Gamma", 0x0393},   {"Iacute", 0x00CD},  {"Icirc", 0x00CE},    {"Igrave", 0x00CC},
    {"Iota", 0x0399},    {"Iuml", 0x00CF},    {"Kappa", 0x039A},    {"Lambda", 0x039B},
    {"Mu", 0x039C},      {"Ntilde", 0x00D1},  {"Nu", 0x039D},       {"OElig", 0x0152},
    {"Oacute", 0x00D3},  {"Ocirc", 0x00D4},   {"Ograve", 0x00D2},   {"Omega", 0x03A9},
    {"Omicron", 0x039F}, {"Oslash", 0x00D8},  {"Otilde", 0x00D5},   {"Ouml", 0x00D6},
    {"Phi", 0x03A6},     {"Pi", 0x03A0},      {"Prime", 0x2033},    {"Psi", 0x03A8},
    {"Rho", 0x03A1},     {"Scaron", 0x0160},  {"Sigma", 0x03A3},    {"THORN", 0x00DE},
    {"Tau", 0x03A4},     {"Theta", 0x0398},   {"Uacute", 0x00DA},   {"Ucirc", 0x00DB},
    {"Ugrave", 0x00D9},  {"Upsilon", 0x03A5}, {"Uuml", 0x00DC},     {"Xi", 0x039E},
    {"Yacute", 0x00DD},  {"Yuml", 0x0178},    {"Zeta", 0x0396},     {"aacute", 0x00E1},
    {"acirc", 0x00E2},   {"acute", 0x00B4},   {"aelig", 0x00E6},    {"agrave", 0x00E0},
    {"alefsym", 0x2135}, {"alpha", 0x03B1},   {"amp", 0x0026},      {"and", 0x2227},
    {"ang", 0x2220},     {"apos", 0x0027},    {"aring", 0x00E5},    {"asymp", 0x2248},
    {"atilde", 0x00E3},  {"auml", 0x00E4},    {"bdquo", 0x201E},    {"beta", 0x03B2},
    {"brvbar", 0x00A6},  {"bull", 0x2022},    {"cap", 0x2229},      {"ccedil", 0x00E7},
    {"cedil", 0x00B8},   {"cent", 0x00A2},    {"chi", 0x03C7},      {"circ", 0x02C6},
    {"clubs", 0x2663},   {"cong", 0x2245},    {"copy", 0x00A9},     {"crarr", 0x21B5},
    {"cup", 0x222A},     {"curren", 0x00A4},  {"dArr", 0x21D3},     {"dagger", 0x2020},
    {"darr", 0x2193},    {"deg", 0x00B0},     {"delta", 0x03B4},    {"diams", 0x2666},
    {"divide", 0x00F7},  {"eacute", 0x00E9},  {"ecirc", 0x00EA},    {"egrave", 0x00E8},
    {"empty", 0x2205},   {"emsp", 0x2003},    {"ensp", 0x2002},     {"epsilon", 0x03B5},
    {"equiv", 0x2261},   {"eta", 0x03B7},     {"eth", 0x00F0},      {"euml", 0x00EB},
    {"euro", 0x20AC},    {"exist", 0x2203},   {"fnof", 0x0192},     {"forall", 0x2200},
    {"frac12", 0x00BD},  {"frac14", 0x00BC},  {"frac34", 0x00BE},   {"frasl", 0x2044},
    {"gamma", 0x03B3},   {"ge", 0x2265},      {"gt", 0x003E},       {"hArr", 0x21D4},
    {"harr", 0x2194},    {"hearts", 0x2665},  {"hellip", 0x2026},   {"iacute", 0x00ED},
    {"icirc", 0x00EE},   {"iexcl", 0x00A1},   {"igrave", 0x00EC},   {"image", 0x2111},
    {"infin", 0x221E},   {"int", 0x222B},     {"iota", 0x03B9},     {"iquest", 0x00BF},
    {"isin", 0x2208},    {"iuml", 0x00EF},    {"kappa", 0x03BA},    {"lArr", 0x21D0},
    {"lambda", 0x03BB},  {"lang", 0x2329},    {"laquo", 0x00AB},    {"larr", 0x2190},
    {"lceil", 0x2308},   {"ldquo", 0x201C},   {"le", 0x2264},       {"lfloor", 0x230A},
    {"lowast", 0x2217},  {"loz", 0x25CA},     {"lrm", 0x200E},      {"lsaquo", 0x2039},
    {"lsquo", 0x2018},   {"lt", 0x003C},      {"macr", 0x00AF},     {"mdash", 0x2014},
    {"micro", 0x00B5},   {"middot", 0x00B7},  {"minus", 0x2212},    {"mu", 0x03BC},
    {"nabla", 0x2207},   {"nbsp", 0x00A0},    {"ndash", 0x2013},    {"ne", 0x2260},
    {"ni", 0x220B},      {"not", 0x00AC},     {"notin", 0x2209},    {"nsub", 0x2284},
    {"ntilde", 0x00F1},  {"nu", 0x03BD},      {"oacute", 0x00F3},   {"ocirc", 0x00F4},
    {"oelig", 0x0153},   {"ograve", 0x00F2},  {"oline", 0x203E},    {"omega", 0x03C9},
    {"omicron", 0x03BF}, {"oplus", 0x2295},   {"or", 0x2228},       {"ordf", 0x00AA},
    {"ordm", 0x00BA},    {"oslash", 0x00F8},  {"otilde", 0x00F5},   {"otimes", 0x2297},
    {"ouml", 0x00F6},    {"para", 0x00B6},    {"part", 0x2202},     {"permil", 0x2030},
    {"perp", 0x22A5},    {"phi", 0x03C6},     {"pi", 0x03C0},       {"piv", 0x03D6},
    {"plusmn", 0x00B1},  {"pound", 0x00A3},   {"prime", 0x2032},    {"prod", 0x220F},
    {"prop", 0x221D},    {"psi", 0x03C8},     {"quot", 0x0022},     {"rArr", 0x21D2},
    {"radic", 0x221A},   {"rang", 0x232A},    {"raquo", 0x00BB},    {"rarr", 0x2192},
    {"rceil", 0x2309},   {"rdquo", 0x201D},   {"real", 0x211C},     {"reg", 0x00AE},
    {"rfloor", 0x230B},  {"rho", 0x03C1},     {"rlm", 0x200F},      {"rsaquo", 0x203A},
    {"rsquo", 0x2019},   {"sbquo", 0x201A},   {"scaron", 0x0161},   {"sdot", 0x22C5},
    {"sect", 0x00A7},    {"shy", 0x00AD},     {"sigma", 0x03C3},    {"sigmaf", 0x03C2},
    {"sim", 0x223C},     {"spades", 0x2660},  {"sub", 0x2282},      {"sube", 0x2286},
    {"sum", 0x2211},     {"sup", 0x2283},     {"sup1", 0x00B9},     {"sup2", 0x00B2},
    {"sup3", 0x00B3},    {"supe", 0x2287},    {"szlig", 0x00DF},    {"tau", 0x03C4},
    {"there4", 0x2234},  {"theta", 0x03B8},   {"thetasym", 0x03D1}, {"thinsp", 0x2009},
    {"thorn", 0x00FE},   {"tilde", 0x02DC},   {"times", 0x00D7},    {"trade", 0x2122},
    {"uArr", 0x21D1},    {"uacute", 0x00FA},  {"uarr", 0x2191},     {"ucirc", 0x00FB},
    {"ugrave", 0x00F9},  {"uml", 0x00A8},     {"upsih", 0x03D2},    {"upsilon", 0x03C5},
    {"uuml", 0x00FC},    {"weierp", 0x2118},  {"xi", 0x03BE},       {"yacute", 0x00FD},
    {"yen", 0x00A5},     {"yuml", 0x00FF},    {"zeta", 0x03B6},     {"zwj", 0x200D},
    {"zwnj", 0x200C},
};
constexpr int32_t entity_name_max = 8;

constexpr bool entities_sorted() {
  for (size_t i = 1; i < std::size(entities); i++) {
    if (!(entities[i - 1].name < entities[i].name)) return false;
  }
  return true;
}
static_assert(entities_sorted(), "the lookup is a binary search");
static_assert(std::size(entities) == 253);

// &#128; to &#159; mean Windows-1252's characters, as browsers read them; 0 keeps the code.
constexpr uint16_t windows_1252[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

constexpr uint32_t replacement = 0xFFFD;
constexpr uint32_t esc = 0x1B;

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }
bool html_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool ends_tag_name(char c) { return html_space(c) || c == '/' || c == '>'; }

void keep(title_reader* t, char c) {
  if (t->raw_len < title_raw_max) t->raw[t->raw_len++] = c;
}

void feed_byte(title_reader* t, char c) {
  switch (t->phase) {
    case in_headers:
      if (c == '\n') {
        if (t->line != line_middle) t->phase = in_body;
        t->line = line_start;
      } else {
        t->line = c == '\r' && t->line == line_start ? line_start_cr : line_middle;
      }
      return;
    case in_body:
      if (t->matched == start_tag_len) {
        t->matched = 0;
        if (c == '>') {
          t->phase = in_text;
          return;
        }
        if (ends_tag_name(c)) {
          t->phase = in_start_tag;
          t->quote = 0;
          return;
        }
      }
      if (lower(c) == start_tag[t->matched]) {
        t->matched++;
      } else {
        t->matched = c == '<' ? 1 : 0;
      }
      return;
    case in_start_tag:
      // A quoted attribute value may hold '>'.
      if (t->quote == '"' || t->quote == '\'') {
        if (c == t->quote) t->quote = 0;
        return;
      }
      if (t->quote == '=') {
        if (c == '"' || c == '\'') {
          t->quote = c;
          return;
        }
        if (html_space(c)) return;
        t->quote = 0;
      }
      if (c == '>') t->phase = in_text;
      if (c == '=') t->quote = '=';
      return;
    case in_text:
      if (t->matched == end_tag_len) {
        if (ends_tag_name(c)) {
          t->raw_len = t->end_at;
          t->phase = finished;
          return;
        }
        t->matched = 0;  // "</titles" is text
      }
      if (lower(c) == end_tag[t->matched]) {
        if (t->matched == 0) t->end_at = t->raw_len;
        t->matched++;
      } else if (c == '<') {
        t->end_at = t->raw_len;
        t->matched = 1;
      } else {
        t->matched = 0;
      }
      keep(t, c);
      return;
    default:
      return;
  }
}

// UTF-8 to code points, each ill-formed maximal subpart one U+FFFD. A
// sequence that runs to the end of full kept bytes is dropped: the cut broke
// it, and whether more came must not change the outcome.
int32_t decode_utf8(const char* s, int32_t len, bool full, uint32_t* out) {
  int32_t n = 0;
  for (int32_t i = 0; i < len;) {
    auto b = static_cast<unsigned char>(s[i]);
    if (b < 0x80) {
      out[n++] = b;
      i++;
      continue;
    }
    int32_t need = 0;
    uint32_t code = 0;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      need = 1;
      code = b & 0x1Fu;
    } else if (b >= 0xE0 && b <= 0xEF) {
      need = 2;
      code = b & 0x0Fu;
      if (b == 0xE0) lo = 0xA0;  // overlong
      if (b == 0xED) hi = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      need = 3;
      code = b & 0x07u;
      if (b == 0xF0) lo = 0x90;  // overlong
      if (b == 0xF4) hi = 0x8F;  // past U+10FFFF
    } else {
      out[n++] = replacement;
      i++;
      continue;
    }
    int32_t j = i + 1;
    for (; need > 0 && j < len; need--, j++) {
      auto c = static_cast<unsigned char>(s[j]);
      if (c < lo || c > hi) break;
      code = code << 6 | (c & 0x3Fu);
      lo = 0x80;
      hi = 0xBF;
    }
    if (need == 0) {
      out[n++] = code;
    } else if (j < len || !full) {
      out[n++] = replacement;
    }
    i = j;
  }
  return n;
}

int32_t digit_value(uint32_t c, bool hex) {
  if (c >= '0' && c <= '9') return static_cast<int32_t>(c - '0');
  if (!hex) return -1;
  if (c >= 'a' && c <= 'f') return static_cast<int32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int32_t>(c - 'A' + 10);
  return -1;
}

bool alnum(uint32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

uint32_t numeric_char(uint32_t v) {
  if (v == 0 || v > 0x10FFFF || (v >= 0xD800 && v <= 0xDFFF)) return replacement;
  if (v >= 0x80 && v <= 0x9F && windows_1252[v - 0x80] != 0) return windows_1252[v - 0x80];
  return v;
}

// The reference that s (at a '&') starts: the code points it takes, with
// its character in *value, or 0 when it is none and stays as it stands.
int32_t reference(const uint32_t* s, int32_t n, uint32_t* value) {
  if (n < 3) return 0;
  if (s[1] == '#') {
    bool hex = s[2] == 'x' || s[2] == 'X';
    int32_t i = hex ? 3 : 2;
    uint32_t v = 0;
    int32_t digits = 0;
    for (; i < n; i++, digits++) {
      int32_t d = digit_value(s[i], hex);
      if (d < 0) break;
      // Past U+10FFFF the value only has to stay out of range, not grow.
      if (v <= 0x10FFFF) v = v * (hex ? 16u : 10u) + static_cast<uint32_t>(d);
    }
    if (digits == 0 || i >= n || s[i] != ';') return 0;
    *value = numeric_char(v);
    return i + 1;
  }
  char name[entity_name_max];
  int32_t len = 0, i = 1;
  for (; i < n && alnum(s[i]); i++) {
    if (len == entity_name_max) return 0;
    name[len++] = static_cast<char>(s[i]);
  }
  if (len == 0 || i >= n || s[i] != ';') return 0;
  std::string_view key(name, static_cast<size_t>(len));
  const entity* e =
      std::lower_bound(std::begin(entities), std::end(entities), key,
                       [](const entity& a, std::string_view k) { return a.name < k; });
  if (e == std::end(entities) || e->name != key) return 0;
  *value = e->code;
  return i + 1;
}

// In place: a reference is never shorter than its character.
int32_t decode_references(uint32_t* s, int32_t n) {
  int32_t w = 0;
  for (int32_t r = 0; r < n;) {
    uint32_t value = 0;
    int32_t used = s[r] == '&' ? reference(s + r, n - r, &value) : 0;
    if (used > 0) {
      s[w++] = value;
      r += used;
    } else {
      s[w++] = s[r++];
    }
  }
  return w;
}

bool folds(uint32_t c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == 0x2028 || c == 0x2029;
}

bool unshown(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// The shown text: white space folded and trimmed, at most title_max_chars code points.
struct shown {
  char* out;
  int32_t bytes = 0;
  int32_t chars = 0;
  bool space = false;  // a space waits for the next character
  bool full = false;

  void put_utf8(uint32_t c) {
    if (c < 0x80) {
      out[bytes++] = static_cast<char>(c);
    } else if (c < 0x800) {
      out[bytes++] = static_cast<char>(0xC0 | c >> 6);
      out[bytes++] = static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out[bytes++] = static_cast<char>(0xE0 | c >> 12);
      out[bytes++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out[bytes++] = static_cast<char>(0xF0 | c >> 18);
      out[bytes++] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
      out[bytes++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  void add(uint32_t c) {
    if (folds(c)) {
      space = chars > 0;
      return;
    }
    if (unshown(c)) return;
    int32_t need = space ? 2 : 1;
    if (chars + need > title_max_chars) {
      full = true;
      return;
    }
    if (space) put_utf8(' ');
    put_utf8(c);
    chars += need;
    space = false;
  }
};

// ECMA-48's escape and control sequences, in their 7-bit and C1 forms.
enum sequence_state { plain, after_esc, esc_intermediate, csi, control_string, string_esc };

bool c1_string_opener(uint32_t c) {
  return c == 0x90 || c == 0x98 || c == 0x9D || c == 0x9E || c == 0x9F;
}

// Whether c belongs to the sequence under way, moving *st on; false hands
// c back to plain text (a malformed sequence ends before it).
bool in_sequence(sequence_state* st, uint32_t c) {
  switch (*st) {
    case plain:
      if (c == esc) {
        *st = after_esc;
      } else if (c == 0x9B) {
        *st = csi;
      } else if (c1_string_opener(c)) {
        *st = control_string;
      } else {
        return false;
      }
      return true;
    case after_esc:
      if (c == '[') {
        *st = csi;
      } else if (c == ']' || c == 'P' || c == 'X' || c == '^' || c == '_') {
        *st = control_string;
      } else if (c >= 0x20 && c <= 0x2F) {
        *st = esc_intermediate;
      } else {
        *st = plain;
        return (c >= 0x30 && c <= 0x7E) || in_sequence(st, c);
      }
      return true;
    case esc_intermediate:
      if (c >= 0x20 && c <= 0x2F) return true;
      *st = plain;
      return (c >= 0x30 && c <= 0x7E) || in_sequence(st, c);
    case csi:
      if (c >= 0x20 && c <= 0x3F) return true;  // parameters and intermediates
      *st = plain;
      return (c >= 0x40 && c <= 0x7E) || in_sequence(st, c);
    case control_string:
      // Up to BEL or ST; an unterminated one swallows the rest, as a terminal would.
      if (c == 0x07 || c == 0x9C) *st = plain;
      if (c == esc) *st = string_esc;
      return true;
    case string_esc:
      if (c == '\\') {
        *st = plain;
        return true;
      }
      *st = after_esc;
      return in_sequence(st, c);
  }
  return false;
}

}  // namespace

void title_begin(title_reader* t) {
  std::memset(t, 0, sizeof *t);
  t->line = line_middle;
}

void title_feed(title_reader* t, const char* data, int32_t len) {
  for (int32_t i = 0; i < len && t->phase != finished; i++) feed_byte(t, data[i]);
}

bool title_done(const title_reader* t) {
  if (t->phase == finished) return true;
  // With the kept bytes full, an end tag that starts later can cut nothing from them.
  return t->phase == in_text && t->raw_len == title_raw_max &&
         (t->matched == 0 || t->end_at == title_raw_max);
}

bool title_text(const title_reader* t, char* out) {
  out[0] = 0;
  if (t->phase != in_text && t->phase != finished) return false;
  uint32_t codes[title_raw_max];
  int32_t n = decode_utf8(t->raw, t->raw_len, t->raw_len == title_raw_max, codes);
  n = decode_references(codes, n);
  shown s{out};
  sequence_state st = plain;
  for (int32_t i = 0; i < n && !s.full; i++) {
    if (!in_sequence(&st, codes[i])) s.add(codes[i]);
  }
  out[s.bytes] = 0;
  return s.chars > 0;
}
