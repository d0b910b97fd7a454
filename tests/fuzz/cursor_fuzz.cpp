// Length-prefixed strings and the cursor functions. The input is read as
// stored data with get_lp_string_checked, then its pieces go through the
// puts and back through the gets. Every buffer is exactly as large as its
// contents, so that a step past either end is caught.

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "support/alloc.h"
#include "support/util.h"
#include "tests/fuzz/fuzz_check.h"

namespace {

// Walks stored strings from the front; each step either takes one whole
// string and moves the cursor past it, or refuses and touches nothing.
void read_stored(const uint8_t* data, int32_t len, int32_t out_size) {
  std::unique_ptr<uint8_t[]> buf(new uint8_t[static_cast<size_t>(len)]);
  if (len > 0) std::memcpy(buf.get(), data, static_cast<size_t>(len));
  std::unique_ptr<char[]> out(new char[static_cast<size_t>(out_size)]);
  int32_t pos = 0;
  for (;;) {
    std::memset(out.get(), 0x5A, static_cast<size_t>(out_size));
    int32_t before = pos;
    int32_t n = get_lp_string_checked(buf.get(), len, &pos, out.get(), out_size);
    if (n < 0) {
      FUZZ_CHECK(n == -1 && pos == before);
      for (int32_t i = 0; i < out_size; i++) FUZZ_CHECK(out[i] == 0x5A);
      break;
    }
    FUZZ_CHECK(pos == before + 4 + n && pos <= len && n < out_size);
    FUZZ_CHECK(get_u32_be(buf.get() + before) == static_cast<uint32_t>(n));
    FUZZ_CHECK(std::memcmp(out.get(), buf.get() + before + 4, static_cast<size_t>(n)) == 0);
    FUZZ_CHECK(out[n] == 0);
    if (pos == len) break;
  }
  // Positions outside the input are refused as well.
  int32_t outside[] = {-1, len + 1, INT32_MIN, INT32_MAX};
  for (int32_t at : outside) {
    int32_t pos2 = at;
    FUZZ_CHECK(get_lp_string_checked(buf.get(), len, &pos2, out.get(), out_size) == -1);
    FUZZ_CHECK(pos2 == at);
  }
}

// The input cut into pieces, written with put_lp_string and read back.
void round_trip(fuzz_reader in) {
  std::vector<std::vector<uint8_t>> pieces;
  size_t total = 0;
  while (in.left > 0 && pieces.size() < 64) {
    size_t got = 0;
    const uint8_t* p = in.take(in.byte(), &got);
    pieces.emplace_back(p, p + got);
    total += 4 + got;
  }
  std::unique_ptr<uint8_t[]> buf(new uint8_t[total + 1]);
  int32_t pos = 0;
  for (const auto& piece : pieces)
    put_lp_string(buf.get(), &pos, piece.data(), static_cast<int32_t>(piece.size()));
  FUZZ_CHECK(pos == static_cast<int32_t>(total));

  pos = 0;
  int32_t checked_pos = 0;
  for (const auto& piece : pieces) {
    char out[256];
    char checked[256];
    int32_t n = get_lp_string(buf.get(), &pos, out);
    FUZZ_CHECK(n == static_cast<int32_t>(piece.size()));
    FUZZ_CHECK(std::string(out, piece.size()) == std::string(piece.begin(), piece.end()));
    FUZZ_CHECK(out[n] == 0);
    FUZZ_CHECK(get_lp_string_checked(buf.get(), static_cast<int32_t>(total), &checked_pos, checked,
                                     sizeof checked) == n);
    FUZZ_CHECK(checked_pos == pos);
  }
  FUZZ_CHECK(pos == static_cast<int32_t>(total));
}

void fixed_width(fuzz_reader in) {
  uint32_t v32 = in.u32();
  uint16_t v16 = static_cast<uint16_t>(in.u32());
  uint8_t b[4];
  put_u32_be(b, v32);
  FUZZ_CHECK(b[0] == (v32 >> 24) && b[3] == (v32 & 0xFF) && get_u32_be(b) == v32);
  put_u16_be(b, v16);
  FUZZ_CHECK(b[0] == (v16 >> 8) && get_u16_be(b) == v16);
}

// put_format: text cut at 999 characters, a zero after it, the cursor on the zero.
void format(const uint8_t* data, size_t size) {
  size_t len = 0;
  std::unique_ptr<char[]> text = exact_text(data, size, &len);
  size_t kept = len < 999 ? len : 999;
  int32_t start = static_cast<int32_t>(len % 7);
  std::unique_ptr<uint8_t[]> buf(new uint8_t[static_cast<size_t>(start) + kept + 1]);
  int32_t pos = start;
  put_format(buf.get(), &pos, "%s", text.get());
  FUZZ_CHECK(pos == start + static_cast<int32_t>(kept));
  FUZZ_CHECK(std::memcmp(buf.get() + start, text.get(), kept) == 0 && buf[pos] == 0);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  mem_start();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 20) return 0;
  int32_t baseline = my_total.load();
  int32_t len = static_cast<int32_t>(size);
  read_stored(data, len, 1 + (size > 0 ? data[0] : 0));
  read_stored(data, len, len + 1);
  round_trip(fuzz_reader{data, size});
  fixed_width(fuzz_reader{data, size});
  format(data, size);
  // put_format's scratch block went back.
  FUZZ_CHECK(my_total.load() == baseline);
  return 0;
}
