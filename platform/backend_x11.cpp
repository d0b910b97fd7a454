// The x11 backend: one X window per top-level window, its pixels put from
// the core's surface in one call, input and close requests handed to the core.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xresource.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <poll.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include "platform/scale.h"
#include "platform/x11.h"
#include "platform/x11_text.h"

x11_state x11;

namespace {

x11_state& x = x11;

// Windows' default; a desktop that sets Xt's multiClickTime resource wins.
DWORD read_double_click() {
  const char* v = XGetDefault(x.dpy, "kta-probe", "multiClickTime");
  int ms = v ? atoi(v) : 0;
  return ms > 0 && ms < 5000 ? static_cast<DWORD>(ms) : 500;
}

int (*xlib_error_handler)(Display*, XErrorEvent*) = nullptr;

// Another client's window may be gone by the time an answer to its selection
// request reaches it; Xlib's own handler would end the program for that.
int on_x_error(Display* dpy, XErrorEvent* e) {
  if (e->error_code == BadWindow) return 0;
  return xlib_error_handler ? xlib_error_handler(dpy, e) : 0;
}

// Rounds toward minus infinity, so that a pointer left of a scaled window stays left of it.
int unscale(int v) { return v >= 0 ? v / x.scale : -((-v + x.scale - 1) / x.scale); }

int open(char* why, size_t why_size) {
  const char* display = getenv("DISPLAY");
  if (!display || !*display) {
    snprintf(why, why_size, "cannot open display (DISPLAY is not set)");
    return -1;
  }
  XInitThreads();
  x.dpy = XOpenDisplay(nullptr);
  if (!x.dpy) {
    snprintf(why, why_size, "cannot open display %s", display);
    return -1;
  }
  x.screen = DefaultScreen(x.dpy);
  x.visual = DefaultVisual(x.dpy, x.screen);
  x.depth = DefaultDepth(x.dpy, x.screen);
  // The surface is 0x00RRGGBB; it goes out as is to a 24-bit true-colour screen.
  if (x.depth < 24 || x.visual->red_mask != 0xFF0000 || x.visual->green_mask != 0xFF00 ||
      x.visual->blue_mask != 0xFF) {
    XCloseDisplay(x.dpy);
    x.dpy = nullptr;
    snprintf(why, why_size, "cannot use display %s (its screen is not 24-bit true colour)",
             display);
    return -1;
  }
  xlib_error_handler = XSetErrorHandler(on_x_error);
  x.gc = DefaultGC(x.dpy, x.screen);
  x.wm_protocols = XInternAtom(x.dpy, "WM_PROTOCOLS", False);
  x.wm_delete = XInternAtom(x.dpy, "WM_DELETE_WINDOW", False);
  x.net_wm_name = XInternAtom(x.dpy, "_NET_WM_NAME", False);
  x.net_wm_icon = XInternAtom(x.dpy, "_NET_WM_ICON", False);
  x.utf8 = XInternAtom(x.dpy, "UTF8_STRING", False);
  x.motif_hints = XInternAtom(x.dpy, "_MOTIF_WM_HINTS", False);
  x.net_wm_pid = XInternAtom(x.dpy, "_NET_WM_PID", False);
  x.net_wm_type = XInternAtom(x.dpy, "_NET_WM_WINDOW_TYPE", False);
  x.net_wm_type_dialog = XInternAtom(x.dpy, "_NET_WM_WINDOW_TYPE_DIALOG", False);
  x.net_wm_type_normal = XInternAtom(x.dpy, "_NET_WM_WINDOW_TYPE_NORMAL", False);
  x.net_active = XInternAtom(x.dpy, "_NET_ACTIVE_WINDOW", False);
  x.double_click = read_double_click();
  x.scale = screen_scale_for(XGetDefault(x.dpy, "Xft", "dpi"), getenv("KTA_SCALE"));
  x11_text_open(x.dpy, x.screen, x.scale);
  return 0;
}

void set_title(void* native, const char* title) {
  auto* w = static_cast<x11_window*>(native);
  XStoreName(x.dpy, w->win, title);
  XChangeProperty(x.dpy, w->win, x.net_wm_name, x.utf8, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title), static_cast<int>(strlen(title)));
  XFlush(x.dpy);
}

void* create(HWND top, surface* s, int left, int top_y, const char* title) {
  int k = x.scale;
  unsigned w = s->w > 0 ? static_cast<unsigned>(s->w * k) : 1;
  unsigned h = s->h > 0 ? static_cast<unsigned>(s->h * k) : 1;
  Window win = XCreateSimpleWindow(x.dpy, RootWindow(x.dpy, x.screen), left * k, top_y * k, w, h, 0,
                                   BlackPixel(x.dpy, x.screen), WhitePixel(x.dpy, x.screen));
  auto* xw = new x11_window{win, top, s, nullptr, left * k, top_y * k};
  XClassHint cls{const_cast<char*>("kta-probe"), const_cast<char*>("Kta-probe")};
  XSetClassHint(x.dpy, win, &cls);
  XSetWMProtocols(x.dpy, win, &x.wm_delete, 1);
  x11_set_process(win);
  XSelectInput(x.dpy, win,
               ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                   KeyPressMask | KeyReleaseMask | StructureNotifyMask);
  if (s->w > 0 && s->h > 0)
    xw->image = XCreateImage(x.dpy, x.visual, static_cast<unsigned>(x.depth), ZPixmap, 0,
                             reinterpret_cast<char*>(s->pixels.data()), w, h, 32, 0);
  set_title(xw, title);
  std::lock_guard<std::mutex> g(x.windows_lock);
  x.windows.push_back(xw);
  return xw;
}

void destroy(void* native) {
  auto* w = static_cast<x11_window*>(native);
  {
    std::lock_guard<std::mutex> g(x.windows_lock);
    std::erase(x.windows, w);
  }
  if (w->image) {
    w->image->data = nullptr;  // the pixels belong to the surface
    XDestroyImage(w->image);
  }
  XDestroyWindow(x.dpy, w->win);
  XFlush(x.dpy);
  delete w;
}

void show(void* native, bool visible) {
  auto* w = static_cast<x11_window*>(native);
  if (visible)
    XMapWindow(x.dpy, w->win);
  else
    XUnmapWindow(x.dpy, w->win);
  XFlush(x.dpy);
}

void present(void* native, RECT a) {
  auto* w = static_cast<x11_window*>(native);
  if (!w->image || IsRectEmpty(&a)) return;
  int k = x.scale;
  XPutImage(x.dpy, w->win, x.gc, w->image, a.left * k, a.top * k, a.left * k, a.top * k,
            static_cast<unsigned>((a.right - a.left) * k),
            static_cast<unsigned>((a.bottom - a.top) * k));
  XFlush(x.dpy);
}

void set_owner(void* native, void* owner_native) {
  if (!owner_native) return;
  XSetTransientForHint(x.dpy, static_cast<x11_window*>(native)->win,
                       static_cast<x11_window*>(owner_native)->win);
}

void set_icon(void* native, HICON icon) {
  uint32_t argb[1024];
  if (!icon_pixels(icon, argb)) return;
  // _NET_WM_ICON is width, height, then ARGB pixels, each in a long.
  std::vector<long> data{32, 32};
  for (uint32_t p : argb) data.push_back(static_cast<long>(p));
  XChangeProperty(x.dpy, static_cast<x11_window*>(native)->win, x.net_wm_icon, XA_CARDINAL, 32,
                  PropModeReplace, reinterpret_cast<unsigned char*>(data.data()),
                  static_cast<int>(data.size()));
}

int scale() { return x.scale; }

// The top-level window behind an X window; null once it is gone.
HWND find(Window win) {
  std::lock_guard<std::mutex> g(x.windows_lock);
  for (x11_window* w : x.windows)
    if (w->win == win) return w->top;
  return nullptr;
}

UINT vk_of(KeySym k) {
  if (k >= XK_a && k <= XK_z) return static_cast<UINT>('A' + (k - XK_a));
  if (k >= XK_A && k <= XK_Z) return static_cast<UINT>(k);
  if (k >= XK_0 && k <= XK_9) return static_cast<UINT>(k);
  if (k >= XK_KP_0 && k <= XK_KP_9) return static_cast<UINT>(VK_NUMPAD0 + (k - XK_KP_0));
  switch (k) {
    case XK_Return:
    case XK_KP_Enter:
      return VK_RETURN;
    case XK_BackSpace:
      return VK_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
      return VK_TAB;
    case XK_Escape:
      return VK_ESCAPE;
    case XK_space:
      return VK_SPACE;
    case XK_Left:
      return VK_LEFT;
    case XK_Right:
      return VK_RIGHT;
    case XK_Up:
      return VK_UP;
    case XK_Down:
      return VK_DOWN;
    case XK_Home:
      return VK_HOME;
    case XK_End:
      return VK_END;
    case XK_Prior:
      return VK_PRIOR;
    case XK_Next:
      return VK_NEXT;
    case XK_Delete:
      return VK_DELETE;
    case XK_Insert:
    case XK_KP_Insert:
      return VK_INSERT;
    case XK_Shift_L:
    case XK_Shift_R:
      return VK_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
      return VK_CONTROL;
    case XK_period:
    case XK_KP_Decimal:
      return VK_OEM_PERIOD;
    case XK_comma:
      return VK_OEM_COMMA;
    case XK_minus:
      return VK_OEM_MINUS;
    case XK_semicolon:
      return VK_OEM_1;
    case XK_slash:
      return VK_OEM_2;
  }
  return 0;
}

void on_expose(XEvent& e, HWND top) {
  if (e.xexpose.count == 0) input_expose(top);
}

void on_button(XEvent& e, HWND top) {
  const XButtonEvent& b = e.xbutton;
  bool down = e.type == ButtonPress;
  int bx = unscale(b.x), by = unscale(b.y);
  x.last_time = b.time;
  switch (b.button) {
    case Button1:
      input_mouse(top, down ? WM_LBUTTONDOWN : WM_LBUTTONUP, bx, by, static_cast<DWORD>(b.time));
      break;
    case Button3:
      input_mouse(top, down ? WM_RBUTTONDOWN : WM_RBUTTONUP, bx, by, static_cast<DWORD>(b.time));
      break;
    case Button4:
    case Button5:
      if (down) input_wheel(top, bx, by, b.button == Button4 ? WHEEL_DELTA : -WHEEL_DELTA);
      break;
  }
}

void on_motion(XEvent& e, HWND top) {
  input_mouse(top, WM_MOUSEMOVE, unscale(e.xmotion.x), unscale(e.xmotion.y),
              static_cast<DWORD>(e.xmotion.time));
}

void on_key(XEvent& e, HWND top) {
  x.last_time = e.xkey.time;
  UINT vk = vk_of(XLookupKeysym(&e.xkey, 0));
  if (vk) input_key(top, e.type == KeyPress, vk, e.xkey.keycode - 8);
}

// A window manager's frame makes the server's own event relative to the
// frame; its synthetic one, sent after a move, is in root coordinates.
void on_configure(XEvent& e, HWND top) {
  const XConfigureEvent& c = e.xconfigure;
  int rx = c.x, ry = c.y;
  if (!c.send_event) {
    Window child;
    if (!XTranslateCoordinates(x.dpy, c.window, RootWindow(x.dpy, x.screen), 0, 0, &rx, &ry,
                               &child))
      return;
  }
  input_moved(top, unscale(rx), unscale(ry));
}

void on_client_message(XEvent& e, HWND top) {
  if (e.xclient.message_type == x.wm_protocols &&
      static_cast<Atom>(e.xclient.data.l[0]) == x.wm_delete)
    input_close(top);
}

void on_mapping(XEvent& e, HWND) { XRefreshKeyboardMapping(&e.xmapping); }

void on_selection_request(XEvent& e, HWND) { x11_on_selection_request(e); }

void on_selection_clear(XEvent& e, HWND) { x11_on_selection_clear(e); }

using handler = void (*)(XEvent&, HWND);

// Events are dispatched through a table indexed by their type.
constexpr auto handlers = [] {
  std::array<handler, LASTEvent> table{};
  table[Expose] = on_expose;
  table[ButtonPress] = on_button;
  table[ButtonRelease] = on_button;
  table[MotionNotify] = on_motion;
  table[KeyPress] = on_key;
  table[KeyRelease] = on_key;
  table[ConfigureNotify] = on_configure;
  table[ClientMessage] = on_client_message;
  table[MappingNotify] = on_mapping;
  table[SelectionRequest] = on_selection_request;
  table[SelectionClear] = on_selection_clear;
  return table;
}();

void pump() {
  while (XPending(x.dpy)) {
    XEvent e;
    XNextEvent(x.dpy, &e);
    if (e.type < 0 || e.type >= LASTEvent || !handlers[e.type]) continue;
    HWND top = find(e.xany.window);
    // The clipboard's events come to a window of the backend's own.
    if (top || e.type == MappingNotify || x11_is_clipboard_window(e.xany.window))
      handlers[e.type](e, top);
  }
}

bool wait(int wake_fd) {
  // Xlib may already hold events it has read: those come first.
  if (XPending(x.dpy)) {
    pump();
    return true;
  }
  pollfd p[2] = {{ConnectionNumber(x.dpy), POLLIN, 0}, {wake_fd, POLLIN, 0}};
  poll(p, 2, -1);
  if (p[0].revents) pump();
  return true;
}

DWORD double_click_ms() { return x.double_click; }

}  // namespace

const backend backend_x11 = {
    .name = "x11",
    .open = open,
    .create = create,
    .destroy = destroy,
    .show = show,
    .present = present,
    .set_title = set_title,
    .set_icon = set_icon,
    .set_owner = set_owner,
    .set_frame = x11_set_frame,
    .activate = x11_activate,
    .scale = scale,
    .set_clipboard = x11_set_clipboard,
    .wait = wait,
    .pump = pump,
    .double_click_ms = double_click_ms,
    .text_width = x11_text_width,
    .draw_text = x11_draw_text,
};
