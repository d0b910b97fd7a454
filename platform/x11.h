#pragma once
// The x11 backend's state, shared by its files: the connection, the atoms it
// speaks and the windows it shows. Only backend_x11.cpp and x11_*.cpp use it.

#include <X11/Xlib.h>

#include <mutex>
#include <vector>

#include "platform/backend.h"

struct x11_window {
  Window win;
  HWND top;
  surface* s;
  XImage* image;
  int x, y;  // where the client area was asked for, in screen pixels
};

struct x11_state {
  Display* dpy = nullptr;
  int screen = 0;
  Visual* visual = nullptr;
  int depth = 0;
  GC gc = nullptr;
  int scale = 1;
  Atom wm_protocols, wm_delete, net_wm_name, net_wm_icon, utf8, motif_hints;
  Atom net_wm_pid, net_wm_type, net_wm_type_dialog, net_wm_type_normal, net_active;
  DWORD double_click = 500;
  Time last_time = CurrentTime;  // of the last input event, which a selection's owner must give
  std::mutex windows_lock;       // creation may run on another thread than event reading
  std::vector<x11_window*> windows;
};

extern x11_state x11;

// x11_manners.cpp: the process behind a window, its frame, bringing it forward.
void x11_set_process(Window win);
void x11_set_frame(void* native, frame_kind kind);
void x11_activate(void* native, DWORD time);

// x11_clipboard.cpp: the CLIPBOARD selection, owned for the program's copies.
void x11_set_clipboard(const char* text, size_t len);
void x11_on_selection_request(XEvent& e);
void x11_on_selection_clear(XEvent& e);
bool x11_is_clipboard_window(Window w);
