// Asks every top-level window with the given title to close, as a click on
// its close box does: a WM_DELETE_WINDOW client message. Exit 0 when at
// least one window was asked, 1 when none has that title, 2 without display.
//
//   x_close_request "Corvane KTA-310 Probe"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: x_close_request TITLE\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "x_close_request: cannot open display\n");
    return 2;
  }
  Atom protocols = XInternAtom(dpy, "WM_PROTOCOLS", False);
  Atom delete_window = XInternAtom(dpy, "WM_DELETE_WINDOW", False);
  Window root_return, parent_return, *children = nullptr;
  unsigned int count = 0;
  XQueryTree(dpy, DefaultRootWindow(dpy), &root_return, &parent_return, &children, &count);
  int asked = 0;
  for (unsigned int i = 0; i < count; i++) {
    char* name = nullptr;
    if (!XFetchName(dpy, children[i], &name) || !name) continue;
    bool match = std::strcmp(name, argv[1]) == 0;
    XFree(name);
    if (!match) continue;
    XEvent ev;
    std::memset(&ev, 0, sizeof ev);
    ev.xclient.type = ClientMessage;
    ev.xclient.window = children[i];
    ev.xclient.message_type = protocols;
    ev.xclient.format = 32;
    ev.xclient.data.l[0] = static_cast<long>(delete_window);
    ev.xclient.data.l[1] = CurrentTime;
    XSendEvent(dpy, children[i], False, NoEventMask, &ev);
    asked++;
  }
  if (children) XFree(children);
  XSync(dpy, False);
  XCloseDisplay(dpy);
  return asked ? 0 : 1;
}
