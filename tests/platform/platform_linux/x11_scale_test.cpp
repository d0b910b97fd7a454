// The x11 backend on a desktop at 192 dpi (Xft.dpi in the X resources): each
// window is shown at twice its size, sharp, and the pointer is mapped back,
// while the program keeps its own sizes. A program of its own, since the
// scale is read once, when the display is opened.

#include <gtest/gtest.h>

// Xlib's macros (None, Bool) would break GoogleTest's headers: they come after.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include "platform/winapi.h"
#include "tests/testing/probe_like.h"
#include "tests/testing/xvfb.h"

namespace {

pid_t xvfb = 0;
Display* dpy = nullptr;
HWND top = nullptr, lb = nullptr;
Window win = 0;

Window find_window(const char* title) {
  for (int tries = 0; tries < 50; tries++) {
    Window root, parent, *kids = nullptr;
    unsigned n = 0;
    XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n);
    Window found = 0;
    for (unsigned i = 0; i < n && !found; i++) {
      char* name = nullptr;
      if (XFetchName(dpy, kids[i], &name) && name) {
        if (std::string(name) == title) found = kids[i];
        XFree(name);
      }
    }
    if (kids) XFree(kids);
    if (found) return found;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}

template <class F>
bool pump_until(F pred) {
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
  MSG m;
  while (!pred() && std::chrono::steady_clock::now() < end) {
    while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

struct x11_scale : ::testing::Test {
  static void SetUpTestSuite() {
    std::string why;
    xvfb = xvfb_start("1280x1024x24", &why);
    if (!xvfb) {
      std::fprintf(stderr, "%s\n", why.c_str());
      return;
    }
    unsetenv("KTA_WINDOWING");
    unsetenv("KTA_SCALE");
    dpy = XOpenDisplay(nullptr);
    if (!dpy) return;
    // As xrdb -merge leaves it, before the program opens the display.
    const char resources[] = "Xft.dpi:\t192\n";
    XChangeProperty(dpy, DefaultRootWindow(dpy), XA_RESOURCE_MANAGER, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(resources), sizeof resources - 1);
    XSync(dpy, False);
    top = make_probe_like();
    lb = CreateWindowExA(0, "LISTBOX", nullptr, 0x50800043, 37, 25, 160, 200, top, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
    for (const char* s : {"10.0.0.2", "10.0.0.1"})
      SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    ShowWindow(top, SW_SHOW);
    UpdateWindow(top);
    win = find_window("Corvane KTA-310 Probe");
  }

  static void TearDownTestSuite() {
    if (top) DestroyWindow(top);
    if (dpy) XCloseDisplay(dpy);
    xvfb_stop(xvfb);
  }

  void SetUp() override {
    ASSERT_NE(dpy, nullptr) << "Xvfb could not be started (is the xvfb package installed?)";
    ASSERT_NE(win, 0u);
  }
};

TEST_F(x11_scale, TheWindowIsTwiceItsSizeOnTheScreenAndItsOwnSizeToTheProgram) {
  XWindowAttributes a;
  XGetWindowAttributes(dpy, win, &a);
  EXPECT_EQ(a.width, 2 * 234);
  EXPECT_EQ(a.height, 2 * 271);
  RECT client{}, outer{};
  GetClientRect(top, &client);
  GetWindowRect(top, &outer);
  EXPECT_EQ(client.right, 234);
  EXPECT_EQ(client.bottom, 271);
  EXPECT_EQ(outer.left, 300);
  XSizeHints hints;
  long supplied;
  ASSERT_TRUE(XGetWMNormalHints(dpy, win, &hints, &supplied));
  EXPECT_EQ(hints.min_width, 2 * 234);
  EXPECT_EQ(hints.max_height, 2 * 271);
  EXPECT_EQ(hints.x, 2 * (300 + 3)) << "where the client area stands, in the screen's pixels";
}

TEST_F(x11_scale, EachPixelOfTheProgramIsASquareOfFourOnTheScreen) {
  unsigned long border[4] = {}, inside = 0, blue = 0;
  for (int i = 0; i < 100; i++) {
    XImage* img = XGetImage(dpy, win, 0, 0, 2 * 234, 2 * 271, AllPlanes, ZPixmap);
    ASSERT_NE(img, nullptr);
    // The list box's border is the program's column 37: the screen's 74 and 75.
    for (int k = 0; k < 4; k++) border[k] = XGetPixel(img, 73 + k, 200) & 0xFFFFFF;
    inside = XGetPixel(img, 2 * 150, 2 * 150) & 0xFFFFFF;
    blue = XGetPixel(img, 5, 5) & 0xFFFFFF;
    XDestroyImage(img);
    if (blue == 0x7F7FFF && border[1] == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(blue, 0x7F7FFFu);
  EXPECT_EQ(border[0], 0x7F7FFFu);
  EXPECT_EQ(border[1], 0u);
  EXPECT_EQ(border[2], 0u);
  EXPECT_EQ(border[3], 0xFFFFFFu);
  EXPECT_EQ(inside, 0xFFFFFFu);
}

TEST_F(x11_scale, AClickOnTheScreenLandsOnTheRowItShows) {
  // The second row's middle: the program's y 25 + 1 + 16 + 8, twice over.
  XEvent e{};
  e.xbutton.type = ButtonPress;
  e.xbutton.window = win;
  e.xbutton.button = Button1;
  e.xbutton.x = 2 * 60;
  e.xbutton.y = 2 * (25 + 1 + 16 + 8);
  e.xbutton.time = 5000;
  XSendEvent(dpy, win, False, 0, &e);
  e.xbutton.type = ButtonRelease;
  e.xbutton.time = 5050;
  XSendEvent(dpy, win, False, 0, &e);
  XFlush(dpy);
  EXPECT_TRUE(pump_until([] { return SendMessageA(lb, LB_GETCURSEL, 0, 0) == 1; }));
}

}  // namespace
