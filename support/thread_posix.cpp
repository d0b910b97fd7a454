#include "support/thread.h"

#include <pthread.h>

#include <cerrno>
#include <ctime>
#include <new>

#include "support/clock_sys.h"

namespace {

void* thread_trampoline(void* arg) {
  reinterpret_cast<void (*)()>(arg)();
  return nullptr;
}

// On the library's clock, which is CLOCK_MONOTONIC. Its reading drops the
// part of a millisecond, so one more keeps the wait from ending early.
timespec deadline_after(uint32_t ms) {
  uint64_t at = sys_monotonic_ms() + ms + 1;
  timespec t;
  t.tv_sec = static_cast<time_t>(at / 1000);
  t.tv_nsec = static_cast<long>(at % 1000) * 1000000L;
  return t;
}

}  // namespace

struct sema {
  pthread_mutex_t mutex;
  pthread_cond_t cond;  // waits on CLOCK_MONOTONIC, so a clock change cannot stretch a time-out
  int32_t count;
};

int32_t thread_start(void (*fn)()) {
  pthread_t t;
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return -1;
  int rc = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
  if (rc == 0) rc = pthread_create(&t, &attr, thread_trampoline, reinterpret_cast<void*>(fn));
  pthread_attr_destroy(&attr);
  if (rc == 0) return 0;
  errno = rc;  // for the caller's message, as _beginthread leaves it on Windows
  return -1;
}

void sleep_ms(uint32_t ms) {
  timespec left{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void sleep_tick() { sleep_ms(10); }

sema* sema_create() {
  sema* h = new (std::nothrow) sema;
  if (!h) return nullptr;
  h->count = 0;
  pthread_condattr_t attr;
  if (pthread_condattr_init(&attr) != 0) {
    delete h;
    return nullptr;
  }
  pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
  bool ok = pthread_cond_init(&h->cond, &attr) == 0;
  pthread_condattr_destroy(&attr);
  if (!ok) {
    delete h;
    return nullptr;
  }
  if (pthread_mutex_init(&h->mutex, nullptr) != 0) {
    pthread_cond_destroy(&h->cond);
    delete h;
    return nullptr;
  }
  return h;
}

int32_t sema_post(sema* h) {
  pthread_mutex_lock(&h->mutex);
  int32_t result = -1;
  if (h->count < sema_max_count) {
    h->count++;
    result = 0;
    pthread_cond_signal(&h->cond);
  }
  pthread_mutex_unlock(&h->mutex);
  return result;
}

int32_t sema_wait(sema* h, uint32_t ms) {
  timespec deadline = deadline_after(ms);
  pthread_mutex_lock(&h->mutex);
  int32_t result = 0;
  while (h->count == 0) {
    int rc = ms == 0 ? pthread_cond_wait(&h->cond, &h->mutex)
                     : pthread_cond_timedwait(&h->cond, &h->mutex, &deadline);
    if (rc == ETIMEDOUT) {
      result = 1;
      break;
    }
    if (rc != 0) {
      result = -1;
      break;
    }
  }
  if (result == 0) h->count--;
  pthread_mutex_unlock(&h->mutex);
  return result;
}

void sema_close(sema* h) {
  if (!h) return;
  pthread_cond_destroy(&h->cond);
  pthread_mutex_destroy(&h->mutex);
  delete h;
}
