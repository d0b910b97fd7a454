#pragma once
// kta-scan's reading of a device page's <title>: fed the raw HTTP answer as
// it arrives, in pieces of any size, with a fixed state and no allocation,
// so that a page that never ends or sends garbage costs nothing more.
// The text it gives is the title as a technician may see it in a terminal or
// in JSON: entities decoded, valid UTF-8, white space folded, and no control
// character, escape sequence or bidi override a page could steer a terminal with.

#include <cstdint>

constexpr int32_t title_max_chars = 100;                      // code points shown at most
constexpr int32_t title_text_size = 4 * title_max_chars + 1;  // UTF-8 bytes and the NUL
// Raw bytes of the title kept; the rest is cut.
constexpr int32_t title_raw_max = 2048;

struct title_reader {
  int32_t phase;    // headers, body, start tag, text, done
  int32_t line;     // where the headers' current line stands
  int32_t matched;  // bytes of "<title" or "</title" matched so far
  int32_t quote;    // in the start tag: an awaited attribute value, or its quote
  int32_t end_at;   // raw length where a possible end tag began
  int32_t raw_len;
  char raw[title_raw_max];
};

void title_begin(title_reader* t);
void title_feed(title_reader* t, const char* data, int32_t len);
// True once no more bytes can change the outcome: the end tag came, or the
// title's kept bytes are full and no end tag is half seen.
bool title_done(const title_reader* t);
// The page's title made safe for a terminal and for JSON, into out
// (title_text_size bytes, NUL-terminated): false when the page has no title
// (none seen, or one that is empty once made safe). The text can hold '"' and
// '\', which JSON must still escape.
bool title_text(const title_reader* t, char* out);
