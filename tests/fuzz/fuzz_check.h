#pragma once
// What the fuzz targets share: a check that stops the run with a message
// (libFuzzer keeps the input as a crash artifact), and a reader over the input.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#define FUZZ_CHECK(cond)                                                            \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      std::abort();                                                                 \
    }                                                                               \
  } while (0)

// Takes the input front to back; past the end it yields zeros.
struct fuzz_reader {
  const uint8_t* data;
  size_t left;

  uint8_t byte() {
    if (left == 0) return 0;
    left--;
    return *data++;
  }
  uint32_t u32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; i++) v = (v << 8) | byte();
    return v;
  }
  // Up to n bytes of the input; *got tells how many.
  const uint8_t* take(size_t n, size_t* got) {
    *got = n < left ? n : left;
    const uint8_t* p = data;
    data += *got;
    left -= *got;
    return p;
  }
};

// The input up to its first zero, as text in a block of exactly its size, so
// that a read past the zero is caught.
inline std::unique_ptr<char[]> exact_text(const uint8_t* data, size_t size, size_t* len) {
  *len = strnlen(reinterpret_cast<const char*>(data), size);
  std::unique_ptr<char[]> text(new char[*len + 1]);
  if (*len > 0) std::memcpy(text.get(), data, *len);
  text[*len] = 0;
  return text;
}
