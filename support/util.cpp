#include "support/util.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "support/alloc.h"
#include "support/file_sys.h"

namespace {

constexpr int32_t format_size = 1000;
constexpr int32_t copy_size = 100000;

// Until all n bytes are moved or the platform fails: short transfers are normal
// for pipes and large requests. The count moved, short only at end of file; -1 on failure.
int32_t read_fully(int32_t fd, uint8_t* buf, int32_t n) {
  int32_t done = 0;
  while (done < n) {
    int32_t r = sys_read(fd, buf + done, n - done);
    if (r < 0) return -1;
    if (r == 0) break;
    done += r;
  }
  return done;
}

int32_t write_fully(int32_t fd, const uint8_t* buf, int32_t n) {
  int32_t done = 0;
  while (done < n) {
    int32_t r = sys_write(fd, buf + done, n - done);
    // A write that moves nothing would repeat forever: treat it as a failure.
    if (r <= 0) return -1;
    done += r;
  }
  return 0;
}

// The C locale's mapping, by hand: tolower on a negative char is undefined,
// and a program's own setlocale must not change how the library compares.
int32_t to_lower(char c) {
  int32_t v = static_cast<signed char>(c);
  return v >= 'A' && v <= 'Z' ? v - 'A' + 'a' : v;
}

int32_t to_upper(char c) {
  int32_t v = static_cast<signed char>(c);
  return v >= 'a' && v <= 'z' ? v - 'a' + 'A' : v;
}

bool is_blank(char c) { return c == ' ' || c == '\t'; }

int32_t length_of(const char* s) {
  size_t n = strlen(s);
  return n > static_cast<size_t>(INT32_MAX) ? INT32_MAX : static_cast<int32_t>(n);
}

}  // namespace

char* dup_bytes(const void* src, int32_t n) {
  if (n < 0 || n == INT32_MAX) return nullptr;
  auto* p = static_cast<char*>(my_malloc(n + 1));
  if (!p) return nullptr;
  if (n > 0) memcpy(p, src, static_cast<size_t>(n));
  p[n] = 0;
  return p;
}

char* dup_cstr(const char* s) { return dup_bytes(s, length_of(s)); }

char* dup_str(const char* s) {
  if (!s) return nullptr;
  size_t n = strlen(s);
  if (n >= static_cast<size_t>(INT32_MAX)) return nullptr;
  auto* p = static_cast<char*>(my_malloc(static_cast<int32_t>(n) + 1));
  if (!p) return nullptr;
  memcpy(p, s, n + 1);
  return p;
}

int32_t file_read_all(const char* path, char** out) {
  int32_t fd = sys_open_read(path);
  if (fd < 0) return -1;
  int64_t size = sys_file_size(fd);
  // A block's length is a 32-bit count; larger files cannot be held whole.
  if (size <= 0 || size > INT32_MAX - 16) {
    sys_close(fd);
    return -1;
  }
  auto* block = static_cast<char*>(my_malloc(static_cast<int32_t>(size)));
  if (!block) {
    sys_close(fd);
    return -1;
  }
  int32_t got = read_fully(fd, reinterpret_cast<uint8_t*>(block), static_cast<int32_t>(size));
  sys_close(fd);
  if (got < 0) {
    my_free(block);
    *out = nullptr;
    return -1;
  }
  *out = block;
  return got;
}

int32_t file_write_all(const char* path, const void* data, int32_t len) {
  if (len < 0) return -1;
  int32_t fd = sys_open_write(path);
  if (fd < 0) return -1;
  int32_t written = write_fully(fd, static_cast<const uint8_t*>(data), len);
  int32_t closed = sys_close(fd);
  return written == 0 && closed == 0 ? 0 : -1;
}

int32_t file_copy(const char* src, const char* dst) {
  int32_t in = sys_open_read(src);
  if (in < 0) return -1;
  // Emptied only once it is known not to be the source: a copy onto itself
  // would otherwise lose the file and report success.
  int32_t out = sys_open_write_keep(dst);
  if (out < 0) {
    sys_close(in);
    return -1;
  }
  if (sys_same_file(in, out) || sys_truncate(out) != 0) {
    sys_close(in);
    sys_close(out);
    return -1;
  }
  auto* buf = static_cast<uint8_t*>(my_malloc(copy_size));
  if (!buf) {
    sys_close(in);
    sys_close(out);
    return -1;
  }
  int32_t result = 0;
  for (;;) {
    int32_t got = read_fully(in, buf, copy_size);
    if (got < 0 || (got > 0 && write_fully(out, buf, got) != 0)) {
      result = -1;
      break;
    }
    if (got < copy_size) break;
  }
  sys_close(in);
  if (sys_close(out) != 0) result = -1;
  my_free(buf);
  return result;
}

// A negative length would move the cursor back over what was put.
void put_bytes(uint8_t* buf, int32_t* pos, const void* src, int32_t n) {
  if (n < 0) return;
  if (n > 0) memcpy(buf + *pos, src, static_cast<size_t>(n));
  *pos += n;
}

void put_format(uint8_t* buf, int32_t* pos, const char* fmt, ...) {
  auto* text = static_cast<char*>(my_malloc(format_size));
  va_list args;
  va_start(args, fmt);
  // The analyzer misreads va_start through GCC's own headers.
  // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
  int32_t n = vsnprintf(text, format_size, fmt, args);
  va_end(args);
  if (n < 0) n = 0;
  if (n > format_size - 1) n = format_size - 1;
  put_bytes(buf, pos, text, n);
  buf[*pos] = 0;
  my_free(text);
}

void put_lp_string(uint8_t* buf, int32_t* pos, const void* data, int32_t len) {
  if (len < 0) return;
  put_u32_be(buf + *pos, static_cast<uint32_t>(len));
  *pos += 4;
  put_bytes(buf, pos, data, len);
}

int32_t get_lp_string(const uint8_t* buf, int32_t* pos, char* out) {
  uint32_t stored = get_u32_be(buf + *pos);
  // Read as a signed count it would be negative: a write before out.
  if (stored > static_cast<uint32_t>(INT32_MAX)) return -1;
  int32_t n = static_cast<int32_t>(stored);
  *pos += 4;
  if (n > 0) memcpy(out, buf + *pos, static_cast<size_t>(n));
  out[n] = 0;
  *pos += n;
  return n;
}

int32_t get_lp_string_checked(const uint8_t* buf, int32_t len, int32_t* pos, char* out,
                              int32_t out_size) {
  int32_t at = *pos;
  if (at < 0 || len < at || len - at < 4) return -1;
  uint32_t n = get_u32_be(buf + at);
  if (n > static_cast<uint32_t>(len - at - 4)) return -1;
  if (out_size <= 0 || n > static_cast<uint32_t>(out_size - 1)) return -1;
  return get_lp_string(buf, pos, out);
}

void put_u32_be(uint8_t* dst, uint32_t v) {
  dst[0] = static_cast<uint8_t>(v >> 24);
  dst[1] = static_cast<uint8_t>(v >> 16);
  dst[2] = static_cast<uint8_t>(v >> 8);
  dst[3] = static_cast<uint8_t>(v);
}

uint32_t get_u32_be(const uint8_t* src) {
  return (uint32_t{src[0]} << 24) | (uint32_t{src[1]} << 16) | (uint32_t{src[2]} << 8) |
         uint32_t{src[3]};
}

void put_u16_be(uint8_t* dst, uint16_t v) {
  dst[0] = static_cast<uint8_t>(v >> 8);
  dst[1] = static_cast<uint8_t>(v);
}

uint16_t get_u16_be(const uint8_t* src) { return static_cast<uint16_t>((src[0] << 8) | src[1]); }

void skip_blanks(const char* s, int32_t* pos) {
  while (is_blank(s[*pos])) ++*pos;
}

void skip_to_blank(const char* s, int32_t* pos) {
  while (s[*pos] != 0 && !is_blank(s[*pos])) ++*pos;
}

int32_t scan_to(const char* s, int32_t len, int32_t* pos, char ch) {
  int32_t i = *pos;
  if (i >= len) return 0;
  for (; i < len; i++) {
    if (ch != 0 ? s[i] == ch : (s[i] == ',' || is_blank(s[i]))) break;
  }
  *pos = i;
  return 0;
}

int32_t next_word(const char* s, int32_t* pos) {
  skip_blanks(s, pos);
  int32_t start = *pos;
  skip_to_blank(s, pos);
  return start;
}

int32_t parse_digits(const char* s, int32_t* pos) {
  uint32_t value = 0;
  while (s[*pos] >= '0' && s[*pos] <= '9') {
    value = value * 10 + static_cast<uint32_t>(s[*pos] - '0');
    ++*pos;
  }
  return static_cast<int32_t>(value);
}

void ring_insert_after(ring_node* at, ring_node* node) {
  node->next = at->next;
  node->prev = at;
  at->next->prev = node;
  at->next = node;
}

void ring_unlink(ring_node* node) {
  if (node->next) node->next->prev = node->prev;
  if (node->prev) node->prev->next = node->next;
}

void upper_n(char* s, int32_t n) {
  for (int32_t i = 0; i < n; i++) s[i] = static_cast<char>(to_upper(s[i]));
}

char* upper_str(char* s) {
  upper_n(s, length_of(s));
  return s;
}

void lower_n(char* s, int32_t n) {
  for (int32_t i = 0; i < n; i++) s[i] = static_cast<char>(to_lower(s[i]));
}

char* lower_str(char* s) {
  lower_n(s, length_of(s));
  return s;
}

int32_t compare_nocase_n(const char* a, const char* b, int32_t n) {
  for (int32_t i = 0; i < n; i++) {
    int32_t d = to_lower(a[i]) - to_lower(b[i]);
    if (d != 0) return d;
  }
  return 0;
}

int32_t compare_nocase(const char* a, const char* b) {
  int32_t la = length_of(a);
  int32_t lb = length_of(b);
  return compare_nocase_n(a, b, la > lb ? la : lb);
}
