// Prints what the desktop's clipboard holds as UTF-8 text, as a program that
// pastes asks for it. Exit 0 with the text, 1 when nobody holds it or its
// owner refuses, 2 without display.
//
//   x_clipboard

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <poll.h>

#include <cstdio>

namespace {

// Every way out closes the display, so that a leak check of this helper
// finds nothing of its own.
int done(Display* dpy, int status) {
  XCloseDisplay(dpy);
  return status;
}

}  // namespace

int main() {
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "x_clipboard: cannot open display\n");
    return 2;
  }
  Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
  Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  Atom into = XInternAtom(dpy, "X_CLIPBOARD_TEXT", False);
  Window me = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
  if (XGetSelectionOwner(dpy, clipboard) == None) return done(dpy, 1);
  XConvertSelection(dpy, clipboard, utf8, into, me, CurrentTime);
  XFlush(dpy);
  for (int waited = 0; waited < 3000; waited += 10) {
    XEvent e;
    if (XCheckTypedWindowEvent(dpy, me, SelectionNotify, &e)) {
      if (e.xselection.property == None) return done(dpy, 1);
      Atom type;
      int format;
      unsigned long n, after;
      unsigned char* data = nullptr;
      XGetWindowProperty(dpy, me, into, 0, 1 << 16, True, AnyPropertyType, &type, &format, &n,
                         &after, &data);
      if (!data) return done(dpy, 1);
      std::fwrite(data, 1, n, stdout);
      XFree(data);
      return done(dpy, 0);
    }
    pollfd p{ConnectionNumber(dpy), POLLIN, 0};
    poll(&p, 1, 10);
  }
  std::fprintf(stderr, "x_clipboard: the clipboard's owner did not answer\n");
  return done(dpy, 1);
}
