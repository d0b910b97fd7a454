#include "tests/testing/wine.h"

#include <windows.h>

// Wine's ntdll exports its version; Windows' has no such entry.
bool under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version");
}
