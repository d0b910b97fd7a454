#include "support/thread.h"

#include <process.h>
#include <windows.h>

namespace {

void __cdecl thread_trampoline(void* arg) { reinterpret_cast<void (*)()>(arg)(); }

}  // namespace

// A sema* is the Win32 semaphore handle itself; the struct is never defined.

int32_t thread_start(void (*fn)()) {
  // _beginthread's handle is closed by the C library when the thread ends.
  uintptr_t h = _beginthread(thread_trampoline, 0, reinterpret_cast<void*>(fn));
  return h == static_cast<uintptr_t>(-1) ? -1 : 0;
}

void sleep_ms(uint32_t ms) { Sleep(ms); }

void sleep_tick() { Sleep(10); }

sema* sema_create() {
  return reinterpret_cast<sema*>(CreateSemaphoreA(nullptr, 0, sema_max_count, nullptr));
}

int32_t sema_post(sema* h) {
  return ReleaseSemaphore(reinterpret_cast<HANDLE>(h), 1, nullptr) ? 0 : -1;
}

int32_t sema_wait(sema* h, uint32_t ms) {
  switch (WaitForSingleObject(reinterpret_cast<HANDLE>(h), ms == 0 ? INFINITE : ms)) {
    case WAIT_OBJECT_0:
      return 0;
    case WAIT_TIMEOUT:
      return 1;
    default:
      return -1;
  }
}

void sema_close(sema* h) {
  if (h) CloseHandle(reinterpret_cast<HANDLE>(h));
}
