#include <windows.h>

#include "support/alloc.h"

// A lock* is the critical section itself, placed in a block of my_malloc.

const int32_t lock_size = sizeof(CRITICAL_SECTION);

lock* lock_create() {
  auto* cs = static_cast<CRITICAL_SECTION*>(my_malloc(lock_size));
  InitializeCriticalSection(cs);
  return reinterpret_cast<lock*>(cs);
}

void lock_destroy(lock* l) {
  auto* cs = reinterpret_cast<CRITICAL_SECTION*>(l);
  DeleteCriticalSection(cs);
  my_free(cs);
}

void lock_enter(lock* l) { EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(l)); }

void lock_leave(lock* l) { LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(l)); }
