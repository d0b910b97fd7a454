#pragma once
// Thin wrappers over the platform's threads, sleeps and counting semaphores.
// One implementation per platform: thread_posix.cpp, thread_win32.cpp.

#include <cstdint>

// Starts a detached thread that calls fn(); the thread's resources go back
// to the system when fn returns. 0, or -1 when no thread could be started
// (a process at its thread limit): fn is then never called, and errno says why.
int32_t thread_start(void (*fn)());

void sleep_ms(uint32_t ms);
void sleep_tick();  // 10 ms

// Unnamed counting semaphore, initial count 0, maximum count 256.
struct sema;

constexpr int32_t sema_max_count = 256;

sema* sema_create();  // null on failure
// Raises the count by one: 0, or -1 when the count is already at its maximum
// (the post is refused and the count stays, as a Win32 semaphore does).
int32_t sema_post(sema* h);
// Waits until the count can be taken or ms milliseconds have passed; ms 0
// waits without limit. 0 taken, 1 time-out, -1 any other outcome.
int32_t sema_wait(sema* h, uint32_t ms);
void sema_close(sema* h);
