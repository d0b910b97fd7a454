// The CLIPBOARD selection: owned by a window of the backend's own, which
// lives as long as the connection, so that a copy outlasts the window it was
// made in; requests for its text are answered as other programs make them.

#include <X11/Xatom.h>

#include <mutex>
#include <string>

#include "platform/x11.h"

namespace {

x11_state& x = x11;

struct clip_state {
  std::mutex lock;   // the text is set on the program's thread and read where events are
  std::string text;  // UTF-8
  Window owner = 0;
  Time since = CurrentTime;
  Atom clipboard = 0, targets, timestamp, text_atom;
};

clip_state& clip() {
  static auto* c = new clip_state;  // events may come in while statics are torn down
  return *c;
}

// STRING is Latin-1: what it cannot hold becomes "?".
std::string latin1_of(const std::string& utf8) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); i++) {
    auto c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((c == 0xC2 || c == 0xC3) && i + 1 < utf8.size()) {
      out += static_cast<char>(((c & 0x03) << 6) | (utf8[++i] & 0x3F));
    } else if (c >= 0xC0) {
      out += '?';
    }
  }
  return out;
}

// What a property in one request can hold, with room for the request's own words.
size_t max_property_bytes() { return static_cast<size_t>(XMaxRequestSize(x.dpy)) * 4 - 64; }

bool answer(const XSelectionRequestEvent& r, Atom property) {
  clip_state& c = clip();
  std::lock_guard<std::mutex> g(c.lock);
  if (r.selection != c.clipboard || r.owner != c.owner) return false;
  if (r.target == c.targets) {
    Atom list[] = {c.targets, c.timestamp, x.utf8, XA_STRING, c.text_atom};
    XChangeProperty(x.dpy, r.requestor, property, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(list), 5);
    return true;
  }
  if (r.target == c.timestamp) {
    long since = static_cast<long>(c.since);
    XChangeProperty(x.dpy, r.requestor, property, XA_INTEGER, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&since), 1);
    return true;
  }
  bool utf8 = r.target == x.utf8 || r.target == c.text_atom;
  if (!utf8 && r.target != XA_STRING) return false;
  std::string bytes = utf8 ? c.text : latin1_of(c.text);
  // Too big for one property: refused rather than sent in parts.
  if (bytes.size() > max_property_bytes()) return false;
  XChangeProperty(x.dpy, r.requestor, property, utf8 ? x.utf8 : XA_STRING, 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(bytes.data()),
                  static_cast<int>(bytes.size()));
  return true;
}

}  // namespace

void x11_set_clipboard(const char* text, size_t len) {
  clip_state& c = clip();
  std::lock_guard<std::mutex> g(c.lock);
  if (!c.clipboard) {
    c.clipboard = XInternAtom(x.dpy, "CLIPBOARD", False);
    c.targets = XInternAtom(x.dpy, "TARGETS", False);
    c.timestamp = XInternAtom(x.dpy, "TIMESTAMP", False);
    c.text_atom = XInternAtom(x.dpy, "TEXT", False);
    c.owner = XCreateSimpleWindow(x.dpy, RootWindow(x.dpy, x.screen), -10, -10, 1, 1, 0, 0, 0);
  }
  c.text.assign(text ? text : "", text ? len : 0);
  c.since = x.last_time;
  // An emptied clipboard is given up, so that nobody is offered nothing.
  XSetSelectionOwner(x.dpy, c.clipboard, text ? c.owner : None, c.since);
  XFlush(x.dpy);
}

bool x11_is_clipboard_window(Window w) {
  clip_state& c = clip();
  std::lock_guard<std::mutex> g(c.lock);
  return w && w == c.owner;
}

void x11_on_selection_request(XEvent& e) {
  const XSelectionRequestEvent& r = e.xselectionrequest;
  // A client from before ICCCM 2 names no property: the target stands for it.
  Atom property = r.property ? r.property : r.target;
  XEvent reply{};
  reply.xselection.type = SelectionNotify;
  reply.xselection.requestor = r.requestor;
  reply.xselection.selection = r.selection;
  reply.xselection.target = r.target;
  reply.xselection.time = r.time;
  reply.xselection.property = answer(r, property) ? property : None;
  XSendEvent(x.dpy, r.requestor, False, 0, &reply);
  XFlush(x.dpy);
}

void x11_on_selection_clear(XEvent& e) {
  clip_state& c = clip();
  {
    std::lock_guard<std::mutex> g(c.lock);
    if (e.xselectionclear.selection != c.clipboard) return;
    // Lost before the latest copy took it back: that copy still holds.
    if (c.since != CurrentTime && e.xselectionclear.time < c.since) return;
    c.text.clear();
  }
  input_clipboard_lost();
}
