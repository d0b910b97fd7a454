// The message box through the headless backend: a disabled owner takes no
// input, the box's own OK button answers a real click, its text wraps at
// spaces into the lines it would show broken by hand.

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "platform/headless.h"
#include "platform/winapi.h"

namespace {

char headless_request[] = "KTA_WINDOWING=headless";
const int headless_requested = putenv(headless_request);

constexpr UINT drive_msg = WM_APP + 50;
constexpr UINT capture_msg = WM_APP + 51;
int owner_input = 0;
RECT box_client{};
std::vector<uint32_t> box_pixels;
uint32_t icon_centre = 0;

LRESULT CALLBACK owner_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case drive_msg: {
      HWND ok = GetFocus();
      HWND box = GetParent(ok);
      // Input for the disabled owner goes nowhere; had it been queued, it
      // would be read before the click below.
      headless_click(hwnd, 20, 20);
      headless_key(hwnd, VK_SPACE, true);
      headless_close(hwnd);
      GetClientRect(box, &box_client);
      UpdateWindow(box);
      icon_centre = headless_pixel(box, 12 + 16, 12 + 3);
      RECT r;
      GetWindowRect(ok, &r);
      RECT b;
      GetWindowRect(box, &b);
      // The button's centre in the box's client area: frame 3, caption 23.
      headless_click(box, (r.left + r.right) / 2 - b.left - 3, (r.top + r.bottom) / 2 - b.top - 26);
      return 0;
    }
    case capture_msg: {  // keeps what the box shows, then ends it
      HWND box = GetParent(GetFocus());
      GetClientRect(box, &box_client);
      UpdateWindow(box);
      box_pixels = headless_pixels(box);
      PostMessageA(box, WM_KEYDOWN, VK_RETURN, 1);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_KEYDOWN:
    case WM_CLOSE:
      ++owner_input;
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

HWND make_owner() {
  static bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = owner_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KtaHeadlessBoxOwner";
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "KtaHeadlessBoxOwner", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100,
                         100, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

// What the box shows for text, and its client size.
std::vector<uint32_t> shown(HWND owner, const char* text, RECT* client) {
  PostMessageA(owner, capture_msg, 0, 0);
  EXPECT_EQ(MessageBoxA(owner, text, "Wrapped", MB_OK), IDOK);
  *client = box_client;
  return box_pixels;
}

TEST(message_box_headless, DisabledOwnerTakesNoInputAndAClickOnOkEndsTheBox) {
  HWND owner = make_owner();
  ASSERT_NE(owner, nullptr);
  PostMessageA(owner, drive_msg, 0, 0);
  const char* words =
      "UDP port 10000 is in use by another program (perhaps another copy of this tool), so no "
      "device can answer.\n\nRefresh tries again once the port is free.";
  EXPECT_EQ(MessageBoxA(owner, words, "Corvane KTA-310 Probe", MB_OK | MB_ICONERROR), IDOK);
  EXPECT_EQ(owner_input, 0);
  // Wrapped: no wider than the widest line allows, taller than one line.
  EXPECT_LE(box_client.right, 12 + 32 + 12 + 360 + 12);
  EXPECT_GT(box_client.bottom, 12 + 32 + 12 + 23 + 12);
  EXPECT_EQ(icon_centre, 0xCC0000u);  // the red of the error disc, above its cross
  // Enabled again: the owner's input arrives.
  headless_click(owner, 20, 20);
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
  EXPECT_EQ(owner_input, 1);
  DestroyWindow(owner);
}

// Wrapping at spaces shows the same lines as breaking the text there by hand,
// and breaking it keeps every word whole, its first letter included.
TEST(message_box_headless, WrappedTextShowsTheLinesItWouldShowBrokenByHand) {
  HWND owner = make_owner();
  ASSERT_NE(owner, nullptr);
  RECT wrapped_size, by_hand_size, short_size;
  std::vector<uint32_t> wrapped = shown(owner,
                                        "Wrapping keeps whole words together on each line, and "
                                        "breaks only where a space falls, when text is wide.",
                                        &wrapped_size);
  std::vector<uint32_t> by_hand = shown(owner,
                                        "Wrapping keeps whole words together on each line, and\n"
                                        "breaks only where a space falls, when text is wide.",
                                        &by_hand_size);
  EXPECT_EQ(wrapped_size.right, by_hand_size.right);
  EXPECT_EQ(wrapped_size.bottom, by_hand_size.bottom);
  EXPECT_TRUE(wrapped == by_hand);
  // One line: a shorter box than two lines make.
  shown(owner, "Short.", &short_size);
  EXPECT_LT(short_size.bottom, wrapped_size.bottom);
  DestroyWindow(owner);
}

}  // namespace
