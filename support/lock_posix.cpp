#include <pthread.h>

#include "support/alloc.h"

// A lock* is the mutex itself, placed in a block of my_malloc.

const int32_t lock_size = sizeof(pthread_mutex_t);

lock* lock_create() {
  auto* m = static_cast<pthread_mutex_t*>(my_malloc(lock_size));
  pthread_mutex_init(m, nullptr);
  return reinterpret_cast<lock*>(m);
}

void lock_destroy(lock* l) {
  auto* m = reinterpret_cast<pthread_mutex_t*>(l);
  pthread_mutex_destroy(m);
  my_free(m);
}

void lock_enter(lock* l) { pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(l)); }

void lock_leave(lock* l) { pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(l)); }
