#include "tools/scan_title.h"

#include <algorithm>
#include <cstring>

#include "tools/scan_title_refs.h"

namespace {

enum title_phase : int32_t { in_headers = 0, in_body, in_start_tag, in_text, finished };
// A blank line ends the headers; the status line is never one.
enum line_state : int32_t { line_start = 0, line_start_cr, line_middle };

constexpr char start_tag[] = "<title";
constexpr char end_tag[] = "</title";
constexpr int32_t start_tag_len = sizeof start_tag - 1;
constexpr int32_t end_tag_len = sizeof end_tag - 1;

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
  n = title_decode_references(codes, n);
  shown s{out};
  sequence_state st = plain;
  for (int32_t i = 0; i < n && !s.full; i++) {
    if (!in_sequence(&st, codes[i])) s.add(codes[i]);
  }
  out[s.bytes] = 0;
  return s.chars > 0;
}
