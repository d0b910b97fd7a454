// A backend name that no backend has is refused, not taken for x11: no
// window can be made, and the program can say why in one line.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/winapi.h"
#include "platform/windowing.h"

namespace {

// With a DISPLAY, a name taken for x11 would try to open it instead.
const int bogus = setenv("KTA_WINDOWING", "bogus", 1) + setenv("DISPLAY", ":0", 1);

LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(UnknownBackend, NoWindowAndTheReasonNamesTheBackendsThereAre) {
  ASSERT_EQ(bogus, 0);
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = "KtaUnknownBackend";
  ASSERT_NE(RegisterClassA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "KtaUnknownBackend", "x", WS_SYSMENU, 0, 0, 240, 300, nullptr,
                            nullptr, GetModuleHandleA(nullptr), nullptr),
            nullptr);
  const char* why = windowing_failure();
  ASSERT_NE(why, nullptr);
  EXPECT_EQ(std::string(why), "no windowing backend is named 'bogus' (there are: x11, headless)");
}

}  // namespace
