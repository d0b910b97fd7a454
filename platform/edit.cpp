// The "Edit" control, single line: typing, backspace, caret keys.

#include <algorithm>
#include <string>

#include "platform/controls.h"
#include "platform/draw.h"

namespace {

// The default text limit of a Windows edit control.
constexpr size_t text_limit = 30000;

struct edit {
  size_t caret = 0;
  int scroll = 0;  // pixels of text scrolled off to the left
  bool focus = false;
};

edit* state(HWND hwnd) { return control_of<edit>(hwnd); }

void changed(HWND hwnd) {
  InvalidateRect(hwnd, nullptr, TRUE);
  notify_parent(hwnd, EN_CHANGE);
}

void paint(HWND hwnd) {
  draw_frame(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  edit* e = state(hwnd);
  int w, h;
  if (e && window_client_size(hwnd, &w, &h)) {
    std::string text = window_text(hwnd);
    e->caret = std::min(e->caret, text.size());
    int cx = text_width(text.c_str(), static_cast<int>(e->caret));
    // Keep the caret in view.
    if (cx - e->scroll > w - 3) e->scroll = cx - (w - 3);
    if (cx - e->scroll < 0) e->scroll = cx;
    int ty = (h - text_height()) / 2;
    dc_fill(dc, RECT{0, 0, w, h}, GetSysColor(COLOR_WINDOW));
    dc_text(dc, 1 - e->scroll, ty, text.c_str(), static_cast<int>(text.size()),
            GetSysColor(COLOR_WINDOWTEXT));
    if (e->focus)
      dc_fill(dc, RECT{1 + cx - e->scroll, ty, 2 + cx - e->scroll, ty + text_height()},
              GetSysColor(COLOR_WINDOWTEXT));
  }
  EndPaint(hwnd, &ps);
}

size_t caret_at(HWND hwnd, edit* e, int x) {
  std::string text = window_text(hwnd);
  size_t best = 0;
  for (size_t i = 0; i <= text.size(); i++)
    if (text_width(text.c_str(), static_cast<int>(i)) - e->scroll <= x) best = i;
  return best;
}

}  // namespace

LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result;
  edit* e = control_start<edit>(hwnd, msg, wparam, lparam, &result);
  if (!e) return result;
  switch (msg) {
    case WM_CHAR: {
      std::string text = window_text(hwnd);
      e->caret = std::min(e->caret, text.size());
      auto c = static_cast<unsigned char>(wparam);
      if (c == '\b') {
        if (e->caret == 0) return 0;
        text.erase(--e->caret, 1);
      } else if (c >= 32 && c != 127 && text.size() < text_limit) {
        text.insert(e->caret++, 1, static_cast<char>(c));
      } else {
        return 0;  // Enter, Tab and the like change nothing in a single line
      }
      set_window_text(hwnd, text);
      changed(hwnd);
      return 0;
    }
    case WM_KEYDOWN: {
      std::string text = window_text(hwnd);
      size_t old = e->caret;
      switch (wparam) {
        case VK_LEFT:
          e->caret = e->caret ? e->caret - 1 : 0;
          break;
        case VK_RIGHT:
          e->caret = std::min(e->caret + 1, text.size());
          break;
        case VK_HOME:
          e->caret = 0;
          break;
        case VK_END:
          e->caret = text.size();
          break;
        case VK_DELETE:
          if (e->caret < text.size()) {
            text.erase(e->caret, 1);
            set_window_text(hwnd, text);
            changed(hwnd);
          }
          return 0;
        default:
          return 0;
      }
      if (old != e->caret) InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONDOWN:
      SetFocus(hwnd);
      if ((e = state(hwnd))) {
        e->caret = caret_at(hwnd, e, static_cast<short>(LOWORD(lparam)));
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    case WM_SETTEXT: {
      const char* t = reinterpret_cast<const char*>(lparam);
      std::string text = t ? t : "";
      if (text.size() > text_limit) text.resize(text_limit);
      set_window_text(hwnd, text);
      e->caret = 0;
      e->scroll = 0;
      changed(hwnd);
      return TRUE;
    }
    case WM_GETDLGCODE:
      return DLGC_WANTCHARS | DLGC_WANTARROWS | DLGC_HASSETSEL;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      e->focus = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, FALSE);
      notify_parent(hwnd, msg == WM_SETFOCUS ? EN_SETFOCUS : EN_KILLFOCUS);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT:
      paint(hwnd);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}
