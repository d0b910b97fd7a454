#include "support/alloc.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "support/lock_sys.h"
#include "support/log.h"
#include "support/thread.h"

std::atomic<int32_t> my_total{0};
std::atomic<lock*> alloc_lock{nullptr};
std::atomic<int32_t> alloc_busy{0};

struct lock {
  sys_lock held;
};

const int32_t lock_size = sizeof(lock);

namespace {

// The system block starts 16 bytes before the address handed out, so a lock or
// any record can live in a block; the length sits in the last 4 of those bytes.
constexpr int32_t header_size = 16;
static_assert(alignof(std::max_align_t) >= header_size, "malloc must align to 16 bytes");

constexpr int32_t busy_attempts = 10;

// Without the lock an overlap of two calls is only reported, not prevented.
void busy_wait(const char* who) {
  if (alloc_busy.load() == 0) return;
  for (int32_t attempt = 1; attempt <= busy_attempts; attempt++) {
    sleep_ms(10);
    int32_t busy = alloc_busy.load();
    if (busy == 0) return;
    printf("%s: sema(%d) retry(%d/%d)\n", who, busy, attempt, busy_attempts);
  }
  int32_t busy = alloc_busy.load();
  if (busy != 0) printf("%s: sema(%d) error\n", who, busy);
}

void put_len(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

uint32_t get_len(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

}  // namespace

lock* lock_create() { return new (my_malloc(lock_size)) lock; }

void lock_destroy(lock* l) {
  l->~lock();
  my_free(l);
}

void lock_enter(lock* l) { l->held.lock(); }

void lock_leave(lock* l) { l->held.unlock(); }

void mem_start() {
  // A stream left open by a message before the start would flush over the new file at exit.
  log_close();
  my_total.store(0);
  alloc_lock.store(lock_create());
}

void mem_stop() {
  lock* l = alloc_lock.exchange(nullptr);
  if (l) lock_destroy(l);
  int32_t left = my_total.load();
  if (left != 0) log_print("my_total = %d\n", left);
  log_close();
  my_total.store(0);
}

// Both calls leave the lock they entered: a second read of alloc_lock could
// name a lock this call never took.
void* my_malloc(int32_t len) {
  if (len == 0) return nullptr;
  if (len < 0 || len > INT32_MAX - header_size) return nullptr;
  lock* l = alloc_lock.load();
  if (l) lock_enter(l);
  busy_wait("my_malloc");
  alloc_busy.fetch_add(1);
  auto* block = static_cast<unsigned char*>(malloc(static_cast<size_t>(len) + header_size));
  if (!block) {
    // Callers use the block untested: stopping here beats a write through null.
    fprintf(stderr, "my_malloc: out of memory (%d bytes)\n", len);
    abort();
  }
  unsigned char* p = block + header_size;
  put_len(p - 4, static_cast<uint32_t>(len));
  my_total.fetch_add(len);
  alloc_busy.fetch_sub(1);
  if (l) lock_leave(l);
  return p;
}

void my_free(void* p) {
  if (!p) return;
  lock* l = alloc_lock.load();
  if (l) lock_enter(l);
  busy_wait("my_free");
  alloc_busy.fetch_add(1);
  auto* q = static_cast<unsigned char*>(p);
  my_total.fetch_sub(static_cast<int32_t>(get_len(q - 4)));
  free(q - header_size);
  alloc_busy.fetch_sub(1);
  if (l) lock_leave(l);
}
