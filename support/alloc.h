#pragma once
// Accounting allocator: every block the library keeps comes from my_malloc and
// goes back through my_free, so that mem_stop can report what was never returned.
// Lock wrappers: the library's sys_lock (support/lock_sys.h) in storage taken
// from my_malloc, so that a lock counts in my_total while it exists.

#include <atomic>
#include <cstdint>

struct lock;

// Bytes that one lock takes from my_malloc: the platform's lock record.
extern const int32_t lock_size;

lock* lock_create();
void lock_destroy(lock* l);
void lock_enter(lock* l);
void lock_leave(lock* l);

// Bytes handed out and not yet given back since mem_start; wraps like int32_t.
extern std::atomic<int32_t> my_total;
// Present from the end of mem_start to the first step of mem_stop.
extern std::atomic<lock*> alloc_lock;
// Calls inside the allocator right now; above 0 on entry only when the lock is absent.
extern std::atomic<int32_t> alloc_busy;

// Resets the count and the log handle and makes the allocator's lock.
void mem_start();
// Destroys the lock, logs "my_total = %d\n" when bytes are still out, closes the log.
void mem_stop();

// len usable bytes, 16-byte aligned, the length stored big-endian in the
// 4 bytes just before them. Null when len is 0, negative or too large.
void* my_malloc(int32_t len);
void my_free(void* p);
