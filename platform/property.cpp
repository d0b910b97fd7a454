// Window words, the window text and the state the built-in controls keep.

#include <cstring>

#include "platform/controls.h"

namespace {

// The word of type T at byte index of w's extra bytes, 0 where it does not
// fit; replaced by *value when one is given.
template <class T>
T swap_extra(window* w, int index, const T* value) {
  if (static_cast<size_t>(index) + sizeof(T) > w->extra.size()) return 0;
  T old;
  memcpy(&old, w->extra.data() + index, sizeof old);
  if (value) memcpy(w->extra.data() + index, value, sizeof *value);
  return old;
}

}  // namespace

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return 0;
  if (index >= 0) return swap_extra<LONG_PTR>(w, index, nullptr);
  switch (index) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->ex_style);
    case GWLP_WNDPROC:
      return reinterpret_cast<LONG_PTR>(w->proc);
    case GWLP_HINSTANCE:
      return reinterpret_cast<LONG_PTR>(w->instance);
    case GWLP_HWNDPARENT:
      if (w->parent) return reinterpret_cast<LONG_PTR>(w->parent->handle);
      return find_window(w->owner_window) ? reinterpret_cast<LONG_PTR>(w->owner_window) : 0;
    case GWLP_ID:
      return reinterpret_cast<LONG_PTR>(w->id);
    case GWLP_USERDATA:
      return w->user_data;
  }
  return 0;
}

LONG_PTR SetWindowLongPtrA(HWND hwnd, int index, LONG_PTR value) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return 0;
  if (index >= 0) return swap_extra(w, index, &value);
  LONG_PTR old = 0;
  switch (index) {
    case GWL_STYLE:
      old = static_cast<LONG>(w->style);
      w->style = static_cast<DWORD>(value);
      break;
    case GWL_EXSTYLE:
      old = static_cast<LONG>(w->ex_style);
      w->ex_style = static_cast<DWORD>(value);
      break;
    case GWLP_WNDPROC:
      if (!value) return 0;
      old = reinterpret_cast<LONG_PTR>(w->proc);
      w->proc = reinterpret_cast<WNDPROC>(value);
      break;
    case GWLP_ID:
      old = reinterpret_cast<LONG_PTR>(w->id);
      w->id = reinterpret_cast<HMENU>(value);
      break;
    case GWLP_USERDATA:
      old = w->user_data;
      w->user_data = value;
      break;
  }
  return old;
}

LONG GetWindowLongA(HWND hwnd, int index) {
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return 0;
    if (index >= 0) return swap_extra<LONG>(w, index, nullptr);
  }
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return 0;
    if (index >= 0) return swap_extra(w, index, &value);
  }
  return static_cast<LONG>(SetWindowLongPtrA(hwnd, index, value));
}

int GetWindowTextA(HWND hwnd, LPSTR text, int max_count) {
  if (!text || max_count <= 0) return 0;
  return static_cast<int>(SendMessageA(hwnd, WM_GETTEXT, static_cast<WPARAM>(max_count),
                                       reinterpret_cast<LPARAM>(text)));
}

BOOL SetWindowTextA(HWND hwnd, LPCSTR text) {
  return SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text)) != 0;
}

void* control_state(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w ? w->control : nullptr;
}

void set_control_state(HWND hwnd, void* state, void (*free_fn)(void*)) {
  auto [g, w] = lock_window(hwnd);
  if (!w) {
    if (free_fn) free_fn(state);
    return;
  }
  w->control = state;
  w->control_free = free_fn;
}

DWORD window_style(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w ? w->style : 0;
}

std::string window_text(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w ? w->text : std::string();
}

void set_window_text(HWND hwnd, const std::string& text) {
  if (auto [g, w] = lock_window(hwnd); w) w->text = text;
}
