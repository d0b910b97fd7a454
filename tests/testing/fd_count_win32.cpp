#include "tests/testing/fd_count.h"

#include <windows.h>

int open_descriptor_count() {
  DWORD n = 0;
  return GetProcessHandleCount(GetCurrentProcess(), &n) ? static_cast<int>(n) : -1;
}
