// How the x11 backend's windows stand before a window manager: whose
// process they are, what their frame offers, and being brought forward.

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <unistd.h>

#include "platform/x11.h"

namespace {

x11_state& x = x11;

}  // namespace

// Who the window belongs to, for a window manager's process list and kill.
void x11_set_process(Window win) {
  char host[256] = {};
  if (gethostname(host, sizeof host - 1) == 0) {
    char* names[] = {host};
    XTextProperty machine;
    if (XStringListToTextProperty(names, 1, &machine)) {
      XSetWMClientMachine(x.dpy, win, &machine);
      XFree(machine.value);
    }
  }
  long pid = getpid();
  XChangeProperty(x.dpy, win, x.net_wm_pid, XA_CARDINAL, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&pid), 1);
  XWMHints* hints = XAllocWMHints();
  hints->flags = InputHint | StateHint;
  hints->input = True;
  hints->initial_state = NormalState;
  XSetWMHints(x.dpy, win, hints);
  XFree(hints);
}

// What the window manager offers: no resizing without a sizing border, the
// boxes the style has, and a dialog's frame for an owned popup.
void x11_set_frame(void* native, frame_kind kind) {
  auto* xw = static_cast<x11_window*>(native);
  XSizeHints* hints = XAllocSizeHints();
  // Static gravity: the position is the client area's, as the core laid it out.
  hints->flags = PPosition | USPosition | PWinGravity;
  hints->x = xw->x;
  hints->y = xw->y;
  hints->win_gravity = StaticGravity;
  if (!kind.sizable && xw->s->w > 0 && xw->s->h > 0) {
    hints->flags |= PMinSize | PMaxSize;
    hints->min_width = hints->max_width = xw->s->w * x.scale;
    hints->min_height = hints->max_height = xw->s->h * x.scale;
  }
  XSetWMNormalHints(x.dpy, xw->win, hints);
  XFree(hints);
  // Motif hints: functions move 4, resize 2, minimise 8, maximise 16, close 32;
  // decorations border 2, resize handles 4, title 8, menu 16, minimise 32, maximise 64.
  long functions = 4 | 32, decorations = 2 | 8 | 16;
  if (kind.sizable) functions |= 2, decorations |= 4;
  if (kind.minimize && !kind.dialog) functions |= 8, decorations |= 32;
  if (kind.maximize && kind.sizable && !kind.dialog) functions |= 16, decorations |= 64;
  long motif[5] = {1 | 2, functions, decorations, 0, 0};
  XChangeProperty(x.dpy, xw->win, x.motif_hints, x.motif_hints, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(motif), 5);
  Atom type = kind.dialog ? x.net_wm_type_dialog : x.net_wm_type_normal;
  XChangeProperty(x.dpy, xw->win, x.net_wm_type, XA_ATOM, 32, PropModeReplace,
                  reinterpret_cast<unsigned char*>(&type), 1);
  XFlush(x.dpy);
}

// The window manager is asked to bring the window forward and give it the
// focus; without one the window is only raised.
void x11_activate(void* native, DWORD time) {
  Window win = 0;
  {
    std::lock_guard<std::mutex> g(x.windows_lock);
    for (x11_window* w : x.windows)
      if (w == native) win = w->win;
  }
  if (!win) return;
  XEvent e{};
  e.xclient.type = ClientMessage;
  e.xclient.window = win;
  e.xclient.message_type = x.net_active;
  e.xclient.format = 32;
  e.xclient.data.l[0] = 1;  // from an application
  e.xclient.data.l[1] = static_cast<long>(time);
  XSendEvent(x.dpy, RootWindow(x.dpy, x.screen), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &e);
  XRaiseWindow(x.dpy, win);
  XFlush(x.dpy);
}
