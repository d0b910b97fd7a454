#pragma once
// The library's one lock for its own state, one file per platform
// (lock_posix.cpp, lock_win32.cpp): a pthread mutex, or an SRWLOCK on Windows.
// It needs no creation and no allocation: a sys_lock is ready as soon as its
// storage exists, static storage included, and so it never counts in my_total.
// It meets the standard's BasicLockable (std::lock_guard, std::unique_lock).
// Not recursive: a thread that holds it must not take it again.

#ifndef _WIN32
#include <pthread.h>
#endif

struct sys_lock {
#ifdef _WIN32
  void* srw = nullptr;  // an SRWLOCK, one pointer wide, free when null
#else
  pthread_mutex_t mutex = PTHREAD_MUTEX_INITIALIZER;
#endif

  constexpr sys_lock() = default;
  sys_lock(const sys_lock&) = delete;
  sys_lock& operator=(const sys_lock&) = delete;

  void lock();
  void unlock();
};
