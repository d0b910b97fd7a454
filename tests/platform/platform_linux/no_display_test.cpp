// Without a display and without a request for the headless backend there is
// nowhere to show a window: creating one fails, so the caller can say so.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/winapi.h"
#include "platform/windowing.h"

namespace {

const int no_display = unsetenv("DISPLAY") + unsetenv("KTA_WINDOWING");

LRESULT CALLBACK proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

TEST(NoDisplay, CreatingATopLevelWindowFails) {
  ASSERT_EQ(no_display, 0);
  WNDCLASSA wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = "KtaNoDisplay";
  ASSERT_NE(RegisterClassA(&wc), 0);
  EXPECT_EQ(CreateWindowExA(0, "KtaNoDisplay", "x", WS_SYSMENU, 0, 0, 240, 300, nullptr, nullptr,
                            GetModuleHandleA(nullptr), nullptr),
            nullptr);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) << "the queue still works";
}

TEST(NoDisplay, TheX11BackendSaysThatDisplayIsNotSet) {
  ASSERT_EQ(no_display, 0);
  const char* why = windowing_failure();
  ASSERT_NE(why, nullptr);
  EXPECT_EQ(std::string(why), "cannot open display (DISPLAY is not set)");
}

}  // namespace
