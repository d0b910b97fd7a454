// The title reader over arbitrary answers: what it gives is valid UTF-8 of
// at most 100 code points with no control, escape or bidi character and no
// space at either end or twice, the same whatever pieces the answer comes in,
// and the same as for the whole answer once it says it is done.
// The first byte picks the pieces' size, and whether the rest follows
// headers and "<title>" (so that most runs reach the title's text).

#include <cstring>
#include <string>

#include "tests/fuzz/fuzz_check.h"
#include "tools/scan_title.h"

namespace {

struct outcome {
  bool has;
  std::string text;
  bool operator==(const outcome& o) const { return has == o.has && text == o.text; }
};

outcome result(const title_reader& t) {
  char out[title_text_size + 8];
  std::memset(out, 'x', sizeof out);
  bool has = title_text(&t, out);
  size_t len = strnlen(out, sizeof out);
  FUZZ_CHECK(len < static_cast<size_t>(title_text_size));
  FUZZ_CHECK(has == (len > 0));
  return {has, std::string(out, len)};
}

bool banned(uint32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || (c >= 0x202A && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// A strict UTF-8 reading, each code point checked.
void check_text(const std::string& s) {
  int32_t chars = 0;
  size_t i = 0;
  while (i < s.size()) {
    auto b = static_cast<unsigned char>(s[i]);
    int len = b < 0x80                   ? 1
              : (b >= 0xC2 && b <= 0xDF) ? 2
              : (b >= 0xE0 && b <= 0xEF) ? 3
              : (b >= 0xF0 && b <= 0xF4) ? 4
                                         : 0;
    FUZZ_CHECK(len > 0 && i + static_cast<size_t>(len) <= s.size());
    uint32_t c = len == 1 ? b : b & (0x7Fu >> len);
    for (int k = 1; k < len; k++) {
      auto cont = static_cast<unsigned char>(s[i + static_cast<size_t>(k)]);
      FUZZ_CHECK((cont & 0xC0) == 0x80);
      c = c << 6 | (cont & 0x3Fu);
    }
    static const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
    FUZZ_CHECK(c >= least[len] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF));
    FUZZ_CHECK(!banned(c));
    FUZZ_CHECK(c != ' ' || (i > 0 && i + 1 < s.size() && s[i + 1] != ' '));
    i += static_cast<size_t>(len);
    chars++;
  }
  FUZZ_CHECK(chars <= title_max_chars);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  uint8_t control = data[0];
  std::string answer;
  if (control & 1) answer = "HTTP/1.0 200 OK\r\n\r\n<title>";
  answer.append(reinterpret_cast<const char*>(data + 1), size - 1);
  size_t piece = static_cast<size_t>(control >> 1) + 1;
  const auto* bytes = answer.data();
  const auto len = static_cast<int32_t>(answer.size());

  title_reader whole;
  title_begin(&whole);
  title_feed(&whole, bytes, len);
  outcome expect = result(whole);
  if (expect.has) check_text(expect.text);

  title_reader one;
  title_begin(&one);
  for (int32_t i = 0; i < len; i++) title_feed(&one, bytes + i, 1);
  FUZZ_CHECK(result(one) == expect);
  FUZZ_CHECK(title_done(&one) == title_done(&whole));

  // Once done, it stays done, and what it gives then is final.
  title_reader pieces;
  title_begin(&pieces);
  bool was_done = false;
  for (int32_t at = 0; at < len; at += static_cast<int32_t>(piece)) {
    int32_t n = len - at < static_cast<int32_t>(piece) ? len - at : static_cast<int32_t>(piece);
    title_feed(&pieces, bytes + at, n);
    bool done = title_done(&pieces);
    FUZZ_CHECK(done || !was_done);
    if (done && !was_done) FUZZ_CHECK(result(pieces) == expect);
    was_done = done;
  }
  FUZZ_CHECK(result(pieces) == expect);
  return 0;
}
