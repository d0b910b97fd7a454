// The default window procedure.

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/backend.h"
#include "platform/draw.h"

LRESULT DefWindowProcA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<CREATESTRUCTA*>(lparam);
      auto [g, w] = lock_window(hwnd);
      if (w && cs && cs->lpszName && !IS_INTRESOURCE(cs->lpszName)) w->text = cs->lpszName;
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(hwnd);
      return 0;
    case WM_SYSCOMMAND:
      if ((wparam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
      return 0;
    case WM_ERASEBKGND: {
      HBRUSH brush;
      RECT r;
      {
        auto [g, w] = lock_window(hwnd);
        if (!w || !w->cls->background) return 0;
        brush = w->cls->background;
      }
      GetClientRect(hwnd, &r);
      FillRect(reinterpret_cast<HDC>(wparam), &r, brush);
      return 1;
    }
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hwnd, &ps);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_SETTEXT: {
      surface* s = nullptr;
      std::string title;
      {
        auto [g, w] = lock_window(hwnd);
        if (!w) return FALSE;
        w->text = lparam ? reinterpret_cast<const char*>(lparam) : "";
        if (w->surf) {
          s = pin_surface(w->surf);
          title = w->text;
        }
      }
      if (s) {
        backend_set_title(s->native, title.c_str());
        unpin_surface(s);
      }
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* out = reinterpret_cast<char*>(lparam);
      if (!out || wparam == 0) return 0;
      auto [g, w] = lock_window(hwnd);
      if (!w) {
        out[0] = 0;
        return 0;
      }
      size_t n = std::min(w->text.size(), static_cast<size_t>(wparam) - 1);
      memcpy(out, w->text.data(), n);
      out[n] = 0;
      return static_cast<LRESULT>(n);
    }
    case WM_GETTEXTLENGTH: {
      auto [g, w] = lock_window(hwnd);
      return w ? static_cast<LRESULT>(w->text.size()) : 0;
    }
    case WM_MOUSEWHEEL:
      // A window that does not scroll passes the wheel on to its parent.
      if (HWND parent = GetParent(hwnd); parent && (GetWindowLongPtrA(hwnd, GWL_STYLE) & WS_CHILD))
        return SendMessageA(parent, msg, wparam, lparam);
      return 0;
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(sys_brush(COLOR_BTNFACE));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return reinterpret_cast<LRESULT>(sys_brush(COLOR_WINDOW));
  }
  return 0;
}
