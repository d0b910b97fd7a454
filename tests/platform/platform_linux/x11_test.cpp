// The x11 backend against a real X server: a private Xvfb that this program
// starts for itself, the way the scripts start theirs. The window is checked from the outside with
// Xlib, as a window manager and the user's mouse would meet it.

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
#include <vector>

#include "platform/winapi.h"
#include "tests/testing/probe_like.h"
#include "tests/testing/xvfb.h"

namespace {

std::vector<std::pair<UINT, WPARAM>> seen;

void remember(HWND, UINT msg, WPARAM wparam, LPARAM) { seen.emplace_back(msg, wparam); }

struct x11 : ::testing::Test {
  static pid_t xvfb;
  static Display* dpy;
  HWND top = nullptr, lb = nullptr;
  Window win = 0;

  static void SetUpTestSuite() {
    std::string why;
    xvfb = xvfb_start("640x480x24", &why);
    if (!xvfb) {
      std::fprintf(stderr, "%s\n", why.c_str());
      return;
    }
    unsetenv("KTA_WINDOWING");
    dpy = XOpenDisplay(nullptr);
  }

  static void TearDownTestSuite() {
    if (dpy) XCloseDisplay(dpy);
    xvfb_stop(xvfb);
  }

  void SetUp() override {
    ASSERT_NE(dpy, nullptr) << "Xvfb could not be started (is the xvfb package installed?)";
    probe_like_hook = remember;
    top = make_probe_like();
    ASSERT_NE(top, nullptr);
    lb = CreateWindowExA(0, "LISTBOX", nullptr, 0x50800043, 37, 25, 160, 200, top, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
    for (const char* s : {"10.0.0.2", "10.0.0.1"})
      SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    ShowWindow(top, SW_SHOW);
    UpdateWindow(top);
    win = find_window("Corvane KTA-310 Probe");
    ASSERT_NE(win, 0u);
    seen.clear();
  }

  void TearDown() override {
    if (IsWindow(top)) DestroyWindow(top);
  }

  static Window find_window(const char* title) {
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

  void send(XEvent e) {
    e.xany.window = win;
    XSendEvent(dpy, win, False, 0, &e);
    XFlush(dpy);
  }

  void button(int type, int x, int y, Time t) {
    XEvent e{};
    e.xbutton.type = type;
    e.xbutton.button = Button1;
    e.xbutton.x = x;
    e.xbutton.y = y;
    e.xbutton.time = t;
    send(e);
  }

  // Serves the queue until pred holds or a second has passed.
  template <class F>
  bool pump_until(F pred) {
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    MSG m;
    while (!pred() && std::chrono::steady_clock::now() < end) {
      while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&m);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pred();
  }
};

pid_t x11::xvfb = 0;
Display* x11::dpy = nullptr;

TEST_F(x11, TheWindowHasTheClientSizeTitleIconAndFixedSize) {
  XWindowAttributes a;
  XGetWindowAttributes(dpy, win, &a);
  EXPECT_EQ(a.width, 234);
  EXPECT_EQ(a.height, 271);
  XSizeHints hints;
  long supplied;
  ASSERT_TRUE(XGetWMNormalHints(dpy, win, &hints, &supplied));
  EXPECT_EQ(hints.min_width, hints.max_width) << "not resizable";
  EXPECT_EQ(hints.min_height, hints.max_height);
  Atom type;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  XGetWindowProperty(dpy, win, XInternAtom(dpy, "_NET_WM_ICON", False), 0, 2000, False, XA_CARDINAL,
                     &type, &format, &n, &after, &data);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(n, 2u + 32 * 32) << "one 32x32 icon";
  EXPECT_EQ(reinterpret_cast<long*>(data)[0], 32);
  XFree(data);
}

// A window manager keeps an owned window, a message box say, above its owner:
// the owned window names the owner's as the one it is transient for.
TEST_F(x11, AnOwnedWindowIsTransientForItsOwner) {
  HWND owned = CreateWindowExA(0, probe_like_class(), "Owned by the probe", WS_POPUP | WS_CAPTION,
                               20, 20, 120, 80, top, nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(owned, nullptr);
  ShowWindow(owned, SW_SHOW);
  Window owned_win = find_window("Owned by the probe");
  ASSERT_NE(owned_win, 0u);
  Window transient_for = 0;
  EXPECT_TRUE(XGetTransientForHint(dpy, owned_win, &transient_for));
  EXPECT_EQ(transient_for, win);
  Window none = 0;
  EXPECT_FALSE(XGetTransientForHint(dpy, win, &none)) << "the owner itself is nobody's";
  DestroyWindow(owned);
}

TEST_F(x11, ThePixelsReachTheScreen) {
  // The server serves the window's client and this one in its own order: look until it has drawn.
  unsigned long bg = 0, border = 1;
  for (int i = 0; i < 100 && (bg != 0x7F7FFF || border != 0); i++) {
    XImage* img = XGetImage(dpy, win, 0, 0, 234, 271, AllPlanes, ZPixmap);
    ASSERT_NE(img, nullptr);
    bg = XGetPixel(img, 3, 3) & 0xFFFFFF;
    border = XGetPixel(img, 37, 100) & 0xFFFFFF;
    XDestroyImage(img);
    if (bg != 0x7F7FFF) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_EQ(bg, 0x7F7FFFu) << "RGB(127,127,255) as COLORREF 0x00FF7F7F";
  EXPECT_EQ(border, 0u) << "the list box's black border";
}

TEST_F(x11, ADoubleClickFromTheServerReachesTheParentAsLbnDblclk) {
  button(ButtonPress, 60, 25 + 1 + 8, 1000);
  button(ButtonRelease, 60, 25 + 1 + 8, 1050);
  button(ButtonPress, 60, 25 + 1 + 8, 1200);
  button(ButtonRelease, 60, 25 + 1 + 8, 1250);
  EXPECT_TRUE(pump_until([] {
    for (auto& s : seen)
      if (s.first == WM_COMMAND && HIWORD(s.second) == LBN_DBLCLK) return true;
    return false;
  }));
  EXPECT_EQ(SendMessageA(lb, LB_GETCURSEL, 0, 0), 0);
}

TEST_F(x11, TheCloseBoxBecomesWmCloseAndDestroysTheWindow) {
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  e.xclient.format = 32;
  e.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  send(e);
  EXPECT_TRUE(pump_until([this] { return !IsWindow(top); }));
  bool close = false;
  for (auto& s : seen) close = close || s.first == WM_CLOSE;
  EXPECT_TRUE(close);
}

}  // namespace
