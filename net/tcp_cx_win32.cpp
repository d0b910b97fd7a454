#include <windows.h>

#include "net/tcp_cx_sys.h"

namespace {

SRWLOCK tcp_cx_srw = SRWLOCK_INIT;

}  // namespace

void tcp_cx_lock_enter() { AcquireSRWLockExclusive(&tcp_cx_srw); }

void tcp_cx_lock_leave() { ReleaseSRWLockExclusive(&tcp_cx_srw); }

// WSACleanup in net_stop releases it with every other socket still open.
void tcp_cx_drop_socket(int32_t) {}
