// The "Button" control as a push button: pressed while held, BN_CLICKED on release.

#include <string>

#include "platform/controls.h"
#include "platform/draw.h"

namespace {

struct button {
  bool pushed = false;
  bool captured = false;
  bool space = false;
  bool focus = false;
};

button* state(HWND hwnd) { return control_of<button>(hwnd); }

void set_pushed(HWND hwnd, button* b, bool pushed) {
  if (b->pushed == pushed) return;
  b->pushed = pushed;
  InvalidateRect(hwnd, nullptr, FALSE);
}

bool inside(HWND hwnd, LPARAM lparam) {
  RECT client;
  POINT p{static_cast<short>(LOWORD(lparam)), static_cast<short>(HIWORD(lparam))};
  return GetClientRect(hwnd, &client) && PtInRect(&client, p);
}

void dotted_frame(HDC dc, RECT r) {
  for (LONG x = r.left; x < r.right; x += 2) {
    dc_fill(dc, RECT{x, r.top, x + 1, r.top + 1}, RGB(0, 0, 0));
    dc_fill(dc, RECT{x, r.bottom - 1, x + 1, r.bottom}, RGB(0, 0, 0));
  }
  for (LONG y = r.top; y < r.bottom; y += 2) {
    dc_fill(dc, RECT{r.left, y, r.left + 1, y + 1}, RGB(0, 0, 0));
    dc_fill(dc, RECT{r.right - 1, y, r.right, y + 1}, RGB(0, 0, 0));
  }
}

void paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  // Windows asks the parent for the button's colours before drawing it.
  if (HWND parent = GetParent(hwnd))
    SendMessageA(parent, WM_CTLCOLORBTN, reinterpret_cast<WPARAM>(dc),
                 reinterpret_cast<LPARAM>(hwnd));
  button* b = state(hwnd);
  int w, h;
  if (b && window_client_size(hwnd, &w, &h)) {
    RECT r{0, 0, w, h};
    dc_fill(dc, r, GetSysColor(COLOR_BTNFACE));
    dc_edge(dc, r, b->pushed);
    std::string text = window_text(hwnd);
    int len = static_cast<int>(text.size());
    int shift = b->pushed ? 1 : 0;
    int tx = (w - text_width(text.c_str(), len)) / 2 + shift;
    int ty = (h - text_height()) / 2 + shift;
    dc_text(dc, tx, ty, text.c_str(), len, GetSysColor(COLOR_BTNTEXT));
    if (b->focus) dotted_frame(dc, RECT{3 + shift, 3 + shift, w - 3 + shift, h - 3 + shift});
  }
  EndPaint(hwnd, &ps);
}

}  // namespace

LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result;
  button* b = control_start<button>(hwnd, msg, wparam, lparam, &result);
  if (!b) return result;
  switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK:  // a push button takes a double-click as a second press
      SetFocus(hwnd);
      if (!(b = state(hwnd))) return 0;
      b->captured = true;
      SetCapture(hwnd);
      if ((b = state(hwnd))) set_pushed(hwnd, b, true);
      return 0;
    case WM_MOUSEMOVE:
      if (b->captured) set_pushed(hwnd, b, inside(hwnd, lparam));
      return 0;
    case WM_LBUTTONUP: {
      if (!b->captured) return 0;
      b->captured = false;
      bool was = b->pushed;
      set_pushed(hwnd, b, false);
      ReleaseCapture();
      if (was && inside(hwnd, lparam)) notify_parent(hwnd, BN_CLICKED);
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (b->captured) {
        b->captured = false;
        set_pushed(hwnd, b, false);
      }
      return 0;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE && !b->captured) {
        b->space = true;
        set_pushed(hwnd, b, true);
      }
      return 0;
    case WM_KEYUP:
      if (wparam == VK_SPACE && b->space) {
        b->space = false;
        set_pushed(hwnd, b, false);
        notify_parent(hwnd, BN_CLICKED);
      }
      return 0;
    case WM_GETDLGCODE:
      return DLGC_BUTTON | ((window_style(hwnd) & 0xF) == BS_DEFPUSHBUTTON ? DLGC_DEFPUSHBUTTON
                                                                           : DLGC_UNDEFPUSHBUTTON);
    case BM_CLICK:
      SendMessageA(hwnd, WM_LBUTTONDOWN, MK_LBUTTON, 0);
      SendMessageA(hwnd, WM_LBUTTONUP, 0, 0);
      return 0;
    case BM_GETSTATE:
      return (b->pushed ? BST_PUSHED : 0) | (b->focus ? BST_FOCUS : 0);
    case BM_SETSTATE:
      set_pushed(hwnd, b, wparam != 0);
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      b->focus = msg == WM_SETFOCUS;
      if (!b->focus && b->space) {
        b->space = false;
        set_pushed(hwnd, b, false);
      }
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_SETTEXT: {
      LRESULT r = DefWindowProcA(hwnd, msg, wparam, lparam);
      InvalidateRect(hwnd, nullptr, FALSE);
      return r;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paint(hwnd);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}
