// The x11 backend against a real X server: a private Xvfb that this program
// starts for itself, the way the scripts start theirs. The window is checked from the outside with
// Xlib, as a window manager and the user's mouse would meet it.

#include <gtest/gtest.h>

// Xlib's macros (None, Bool) would break GoogleTest's headers: they come after.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

// A 32-bit property of a window as longs, empty when it is not there.
std::vector<long> property(Display* dpy, Window w, const char* name, Atom type) {
  Atom got;
  int format;
  unsigned long n, after;
  unsigned char* data = nullptr;
  std::vector<long> out;
  if (XGetWindowProperty(dpy, w, XInternAtom(dpy, name, False), 0, 64, False, type, &got, &format,
                         &n, &after, &data) == Success &&
      data && format == 32)
    out.assign(reinterpret_cast<long*>(data), reinterpret_cast<long*>(data) + n);
  if (data) XFree(data);
  return out;
}

TEST_F(x11, TheWindowManagerLearnsWhoseWindowItIsAndWhatItOffers) {
  EXPECT_EQ(property(dpy, win, "_NET_WM_PID", XA_CARDINAL), std::vector<long>{getpid()});
  XTextProperty machine{};
  ASSERT_TRUE(XGetWMClientMachine(dpy, win, &machine));
  EXPECT_GT(machine.nitems, 0u);
  XFree(machine.value);
  XWMHints* hints = XGetWMHints(dpy, win);
  ASSERT_NE(hints, nullptr);
  EXPECT_TRUE((hints->flags & InputHint) && hints->input) << "it takes the keyboard's focus";
  XFree(hints);
  Atom normal = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_NORMAL", False);
  EXPECT_EQ(property(dpy, win, "_NET_WM_WINDOW_TYPE", XA_ATOM),
            std::vector<long>{static_cast<long>(normal)});
  Atom motif = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
  std::vector<long> mwm = property(dpy, win, "_MOTIF_WM_HINTS", motif);
  ASSERT_EQ(mwm.size(), 5u);
  EXPECT_EQ(mwm[1] & (2 | 8 | 16), 0) << "no resizing, minimising or maximising: WS_SYSMENU alone";
  EXPECT_EQ(mwm[2] & (4 | 32 | 64), 0);
}

TEST_F(x11, AnOwnedPopupIsADialogWithoutMinimiseOrMaximise) {
  HWND box = CreateWindowExA(
      0, probe_like_class(), "A box",
      WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME, 20, 20,
      120, 80, top, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(box, SW_SHOW);
  Window w = find_window("A box");
  ASSERT_NE(w, 0u);
  Atom dialog = XInternAtom(dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  EXPECT_EQ(property(dpy, w, "_NET_WM_WINDOW_TYPE", XA_ATOM),
            std::vector<long>{static_cast<long>(dialog)});
  Atom motif = XInternAtom(dpy, "_MOTIF_WM_HINTS", False);
  std::vector<long> mwm = property(dpy, w, "_MOTIF_WM_HINTS", motif);
  ASSERT_EQ(mwm.size(), 5u);
  EXPECT_EQ(mwm[1] & (8 | 16), 0);
  EXPECT_EQ(mwm[1] & 2, 2) << "its sizing border still sizes";
  XSizeHints size;
  long supplied;
  ASSERT_TRUE(XGetWMNormalHints(dpy, w, &size, &supplied));
  EXPECT_FALSE(size.flags & PMaxSize) << "a sizable window has no fixed size";
  DestroyWindow(box);
}

TEST_F(x11, GetWindowRectFollowsWhereTheWindowWasMoved) {
  XMoveWindow(dpy, win, 400, 200);
  XFlush(dpy);
  RECT r{};
  EXPECT_TRUE(pump_until([&] {
    GetWindowRect(top, &r);
    return r.left == 400 - 3 && r.top == 200 - 26;
  })) << "at "
      << r.left << "," << r.top;
  EXPECT_EQ(r.right - r.left, 240);
  EXPECT_EQ(r.bottom - r.top, 300);
}

// The stacking order of two top-level windows: true when a is above b.
bool above(Display* dpy, Window a, Window b) {
  Window root, parent, *kids = nullptr;
  unsigned n = 0;
  XQueryTree(dpy, DefaultRootWindow(dpy), &root, &parent, &kids, &n);
  int ia = -1, ib = -1;
  for (unsigned i = 0; i < n; i++) {
    if (kids[i] == a) ia = static_cast<int>(i);
    if (kids[i] == b) ib = static_cast<int>(i);
  }
  if (kids) XFree(kids);
  return ia > ib && ib >= 0;
}

TEST_F(x11, AClickOnADisabledOwnerBringsItsBoxForward) {
  HWND box = CreateWindowExA(0, probe_like_class(), "The box", WS_POPUP | WS_CAPTION, 20, 20, 120,
                             80, top, nullptr, GetModuleHandleA(nullptr), nullptr);
  ShowWindow(box, SW_SHOW);
  Window box_win = find_window("The box");
  ASSERT_NE(box_win, 0u);
  EnableWindow(top, FALSE);
  XRaiseWindow(dpy, win);
  XSync(dpy, False);
  ASSERT_TRUE(above(dpy, win, box_win));
  button(ButtonPress, 10, 10, 3000);
  button(ButtonRelease, 10, 10, 3050);
  EXPECT_TRUE(pump_until([&] { return above(dpy, box_win, win); }));
  EXPECT_TRUE(seen.empty() || seen.back().first != WM_LBUTTONDOWN) << "the owner took no click";
  EnableWindow(top, TRUE);
  DestroyWindow(box);
}

// Another program's side of a copy: it asks the clipboard's owner for a
// target and reads what arrives in a property of its own window.
std::string ask_clipboard(x11& t, const char* target, Atom* type) {
  Window me = XCreateSimpleWindow(t.dpy, DefaultRootWindow(t.dpy), 0, 0, 1, 1, 0, 0, 0);
  Atom clipboard = XInternAtom(t.dpy, "CLIPBOARD", False);
  Atom into = XInternAtom(t.dpy, "KTA_TEST_INTO", False);
  XConvertSelection(t.dpy, clipboard, XInternAtom(t.dpy, target, False), into, me, CurrentTime);
  XFlush(t.dpy);
  std::string out = "(no answer)";
  XEvent e;
  t.pump_until([&] {
    if (!XCheckTypedWindowEvent(t.dpy, me, SelectionNotify, &e)) return false;
    out = "(refused)";
    if (e.xselection.property == None) return true;
    int format;
    unsigned long n, after;
    unsigned char* data = nullptr;
    XGetWindowProperty(t.dpy, me, into, 0, 1024, True, AnyPropertyType, type, &format, &n, &after,
                       &data);
    if (format == 32) {
      out.clear();
      for (unsigned long i = 0; i < n; i++) {
        char* name = XGetAtomName(t.dpy, static_cast<Atom>(reinterpret_cast<long*>(data)[i]));
        out += std::string(i ? " " : "") + name;
        XFree(name);
      }
    } else {
      out.assign(reinterpret_cast<char*>(data), n);
    }
    if (data) XFree(data);
    return true;
  });
  XDestroyWindow(t.dpy, me);
  return out;
}

TEST_F(x11, ACopyIsServedToOtherProgramsAsTextOfEachKind) {
  const char text[] = "10.77.0.10 \xE9";  // an e acute, in Latin-1 as CF_TEXT holds it
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, sizeof text);
  std::memcpy(GlobalLock(mem), text, sizeof text);
  GlobalUnlock(mem);
  HWND copier = CreateWindowExA(0, probe_like_class(), "Copier", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleA(nullptr), nullptr);
  ASSERT_TRUE(OpenClipboard(copier));
  EmptyClipboard();
  SetClipboardData(CF_TEXT, mem);
  CloseClipboard();
  Atom type = 0;
  EXPECT_EQ(ask_clipboard(*this, "TARGETS", &type), "TARGETS TIMESTAMP UTF8_STRING STRING TEXT");
  EXPECT_EQ(ask_clipboard(*this, "UTF8_STRING", &type), "10.77.0.10 \xC3\xA9");
  EXPECT_EQ(type, XInternAtom(dpy, "UTF8_STRING", False));
  EXPECT_EQ(ask_clipboard(*this, "STRING", &type), "10.77.0.10 \xE9");
  EXPECT_EQ(type, XA_STRING);
  EXPECT_EQ(ask_clipboard(*this, "TEXT", &type), "10.77.0.10 \xC3\xA9");
  EXPECT_EQ(ask_clipboard(*this, "image/png", &type), "(refused)");
  DestroyWindow(copier);
  EXPECT_EQ(ask_clipboard(*this, "UTF8_STRING", &type), "10.77.0.10 \xC3\xA9")
      << "the copy outlives the window it was made in";

  // Another program takes the clipboard: this one's copy is gone.
  Window other = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
  XSetSelectionOwner(dpy, XInternAtom(dpy, "CLIPBOARD", False), other, CurrentTime);
  XFlush(dpy);
  EXPECT_TRUE(pump_until([] { return !IsClipboardFormatAvailable(CF_TEXT); }));
  XDestroyWindow(dpy, other);
}

}  // namespace
