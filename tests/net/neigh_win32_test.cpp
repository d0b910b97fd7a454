#include <gtest/gtest.h>
#include <windows.h>

#include "tests/testing/wine.h"

// Why neigh_win32.cpp looks ResolveIpNetEntry2 up rather than importing it.

namespace {

TEST(NeighbourResolve, TheSystemsLibraryHasTheFunctionThatAsksTheNetwork) {
  HMODULE iphlpapi = LoadLibraryA("iphlpapi.dll");
  ASSERT_NE(iphlpapi, nullptr);
  FARPROC resolve = GetProcAddress(iphlpapi, "ResolveIpNetEntry2");
  if (known_wine_difference("iphlpapi has no ResolveIpNetEntry2: an import of it ends the program "
                            "at the first call")) {
    EXPECT_EQ(resolve, nullptr);
  } else {
    EXPECT_NE(resolve, nullptr);
  }
  FreeLibrary(iphlpapi);
}

}  // namespace
