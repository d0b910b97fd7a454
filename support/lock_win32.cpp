#include <windows.h>

#include "support/lock_sys.h"

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");

void sys_lock::lock() { AcquireSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srw)); }

void sys_lock::unlock() { ReleaseSRWLockExclusive(reinterpret_cast<PSRWLOCK>(&srw)); }
