#include <cstring>

#include "ui/win.h"

namespace {

// Positions left of or above the client area (possible under capture) keep
// their 16-bit pattern: x = -1 is stored as 65535.
void store_position(win_obj* obj, LPARAM lparam) {
  auto bits = static_cast<uint32_t>(lparam);
  obj->mouse_x = static_cast<int32_t>(bits & 0xFFFF);
  obj->mouse_y = static_cast<int32_t>((bits >> 16) & 0xFFFF);
}

}  // namespace

LRESULT CALLBACK win_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
  // The word is 0 during creation and stale after the object was freed;
  // either way the pointer is not on the live list and is never followed.
  win_obj* obj = win_find(reinterpret_cast<void*>(GetWindowLongPtrA(hwnd, 0)));
  if (obj) return obj->dispatch(obj, message, wparam, lparam);
  return DefWindowProcA(hwnd, message, wparam, lparam);
}

LRESULT win_dispatch(win_obj* obj, UINT message, WPARAM wparam, LPARAM lparam) {
  obj->msg = message;
  obj->wparam = wparam;
  obj->lparam = lparam;

  // Rows whose result is the handler's own: the handler may free the object,
  // so nothing touches it after the call.
  win_handler direct = nullptr;
  switch (message) {
    case WM_DESTROY:
      direct = obj->on_destroy;
      break;
    case WM_PAINT:
      direct = obj->on_paint;
      break;
    case WM_KEYDOWN:
      direct = obj->on_key_down;
      break;
    case WM_KEYUP:
      direct = obj->on_key_up;
      break;
    case WM_CHAR:
      direct = obj->on_char;
      break;
    case WM_CTLCOLORBTN:
      direct = obj->on_ctl_color_button;
      break;
    case WM_CTLCOLORSTATIC:
      direct = obj->on_ctl_color_static;
      break;
    case WM_COMMAND:
      if (obj->on_command && obj->on_command(obj) == 0) return 0;
      break;
    case WM_MOUSEMOVE: {
      store_position(obj, lparam);
      win_handler h = obj->button_held ? obj->on_drag : obj->on_mouse_move;
      if (h) h(obj);
      break;
    }
    case WM_LBUTTONDOWN:
      store_position(obj, lparam);
      obj->button_held = 1;
      SetCapture(obj->hwnd);
      if (obj->on_button_down) obj->on_button_down(obj);
      break;
    case WM_LBUTTONUP:
      store_position(obj, lparam);
      ReleaseCapture();
      obj->button_held = 0;
      if (obj->on_button_up) obj->on_button_up(obj);
      break;
    case WM_LBUTTONDBLCLK:
      store_position(obj, lparam);
      if (obj->on_double_click) obj->on_double_click(obj);
      break;
    default:
      break;
  }
  if (direct) return direct(obj);
  // The object's own window, not the handle the platform passed in.
  return DefWindowProcA(obj->hwnd, message, wparam, lparam);
}

void enter_key_filter(const MSG* msg) {
  if (msg->message != WM_CHAR || msg->wParam != 13) return;
  char name[128];
  int len = GetClassNameA(msg->hwnd, name, sizeof name);
  if (len < 1 || std::strcmp(name, "Edit") != 0) return;
  SendMessageA(GetParent(msg->hwnd), WM_COMMAND, 13, reinterpret_cast<LPARAM>(msg->hwnd));
}
