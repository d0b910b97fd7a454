// The text scanners over arbitrary lines: every index stays inside the text,
// each scanner stops where it says it does, and a line always comes apart
// into words in a bounded number of steps.

#include <cstring>
#include <memory>

#include "support/util.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

bool blank(char c) { return c == ' ' || c == '\t'; }

void words(const char* s, int32_t len) {
  int32_t pos = 0;
  int32_t steps = 0;
  while (pos < len) {
    int32_t before = pos;
    int32_t start = next_word(s, &pos);
    FUZZ_CHECK(start >= before && start <= pos && pos <= len);
    for (int32_t i = before; i < start; i++) FUZZ_CHECK(blank(s[i]));
    for (int32_t i = start; i < pos; i++) FUZZ_CHECK(s[i] != 0 && !blank(s[i]));
    FUZZ_CHECK(s[pos] == 0 || blank(s[pos]));
    if (pos == before) break;  // on a zero inside the text: nothing more to take
    FUZZ_CHECK(++steps <= len);
  }
}

void digits(const char* s, int32_t len, int32_t at) {
  int32_t pos = at;
  int32_t value = parse_digits(s, &pos);
  FUZZ_CHECK(pos >= at && pos <= len);
  uint32_t expect = 0;
  for (int32_t i = at; i < pos; i++) {
    FUZZ_CHECK(s[i] >= '0' && s[i] <= '9');
    expect = expect * 10 + static_cast<uint32_t>(s[i] - '0');
  }
  FUZZ_CHECK(s[pos] < '0' || s[pos] > '9');
  FUZZ_CHECK(value == static_cast<int32_t>(expect));
}

// scan_to over a region that may hold zeros: only len bounds it.
void scan(const char* s, int32_t len, int32_t at, char ch) {
  int32_t pos = at;
  FUZZ_CHECK(scan_to(s, len, &pos, ch) == 0);
  if (at >= len) {
    FUZZ_CHECK(pos == at);
    return;
  }
  FUZZ_CHECK(pos >= at && pos <= len);
  auto stops = [ch](char c) { return ch != 0 ? c == ch : (c == ',' || blank(c)); };
  for (int32_t i = at; i < pos; i++) FUZZ_CHECK(!stops(s[i]));
  if (pos < len) FUZZ_CHECK(stops(s[pos]));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  char ch = static_cast<char>(data[0]);
  uint8_t at_byte = data[1];
  data += 2;
  size -= 2;

  // As raw bytes, zeros included, for scan_to.
  std::unique_ptr<char[]> raw(new char[size + 1]);
  if (size > 0) std::memcpy(raw.get(), data, size);
  raw[size] = 0;
  int32_t raw_len = static_cast<int32_t>(size);
  int32_t raw_at = raw_len > 0 ? at_byte % (raw_len + 1) : 0;
  scan(raw.get(), raw_len, raw_at, ch);
  scan(raw.get(), raw_len, raw_at, 0);
  scan(raw.get(), raw_len, raw_len + at_byte, ch);

  // As a zero-terminated line for the others.
  size_t text_len = 0;
  std::unique_ptr<char[]> text = exact_text(data, size, &text_len);
  const char* s = text.get();
  int32_t len = static_cast<int32_t>(text_len);
  int32_t at = at_byte % (len + 1);

  int32_t pos = at;
  skip_blanks(s, &pos);
  FUZZ_CHECK(pos >= at && pos <= len && !blank(s[pos]));
  pos = at;
  skip_to_blank(s, &pos);
  FUZZ_CHECK(pos >= at && pos <= len && (s[pos] == 0 || blank(s[pos])));
  words(s, len);
  digits(s, len, at);
  for (int32_t i = 0; i < len; i++)
    if (s[i] >= '0' && s[i] <= '9' && (i == 0 || s[i - 1] < '0' || s[i - 1] > '9'))
      digits(s, len, i);
  return 0;
}
