// Input: focus and capture, key state and characters, hit testing,
// double-clicks, and the routing of what the backend reads.

#include <algorithm>
#include <cstdlib>

#include "platform/backend.h"

namespace {

constexpr int double_click_slop = 2;

char vk_to_char(UINT vk, bool shift) {
  static const char shifted_digits[] = ")!@#$%^&*(";
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>(shift ? vk : vk + 32);
  if (vk >= '0' && vk <= '9') return shift ? shifted_digits[vk - '0'] : static_cast<char>(vk);
  if (vk >= VK_NUMPAD0 && vk <= VK_NUMPAD9) return static_cast<char>('0' + vk - VK_NUMPAD0);
  switch (vk) {
    case VK_RETURN:
      return '\r';
    case VK_BACK:
      return '\b';
    case VK_TAB:
      return '\t';
    case VK_ESCAPE:
      return 27;
    case VK_SPACE:
      return ' ';
    case VK_OEM_PERIOD:
      return shift ? '>' : '.';
    case VK_OEM_COMMA:
      return shift ? '<' : ',';
    case VK_OEM_MINUS:
      return shift ? '_' : '-';
    case VK_DECIMAL:
      return '.';
    case VK_OEM_1:
      return shift ? ':' : ';';
    case VK_OEM_2:
      return shift ? '?' : '/';
  }
  return 0;
}

window* hit_test(window* w, int x, int y) {
  // x, y in w's client coordinates; later children lie on top.
  for (auto it = w->children.rbegin(); it != w->children.rend(); ++it) {
    window* c = *it;
    if (!(c->style & WS_VISIBLE)) continue;
    if (PtInRect(&c->rect, POINT{x, y}))
      return hit_test(c, x - c->rect.left - c->client.left, y - c->rect.top - c->client.top);
  }
  return w;
}

POINT screen_point(window* top, int x, int y) {
  return POINT{top->rect.left + top->client.left + x, top->rect.top + top->client.top + y};
}

}  // namespace

void track_keys(thread_queue* q, const MSG& m) {
  if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) q->keys[m.wParam & 0xFF] = 0x80;
  if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) q->keys[m.wParam & 0xFF] = 0;
}

HWND SetFocus(HWND hwnd) {
  HWND old;
  {
    auto [g, w] = lock_window(hwnd);
    thread_queue* q = my_queue();
    old = q->focus;
    if (hwnd && !w) return nullptr;
    if (old == hwnd) return old;
    q->focus = hwnd;
  }
  if (old) call_proc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) call_proc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  core_guard g(core_lock());
  return my_queue()->focus;
}

HWND SetCapture(HWND hwnd) {
  HWND old;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return nullptr;
    thread_queue* q = my_queue();
    old = q->capture;
    q->capture = hwnd;
  }
  if (old && old != hwnd) call_proc(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

BOOL ReleaseCapture() {
  HWND old;
  {
    core_guard g(core_lock());
    thread_queue* q = my_queue();
    old = q->capture;
    q->capture = nullptr;
  }
  if (old) call_proc(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

SHORT GetKeyState(int vk) {
  core_guard g(core_lock());
  return (my_queue()->keys[vk & 0xFF] & 0x80) ? static_cast<SHORT>(0xFF80) : 0;
}

BOOL GetKeyboardState(BYTE* state) {
  if (!state) return FALSE;
  core_guard g(core_lock());
  std::copy_n(my_queue()->keys, 256, state);
  return TRUE;
}

BOOL SetKeyboardState(BYTE* state) {
  if (!state) return FALSE;
  core_guard g(core_lock());
  std::copy_n(state, 256, my_queue()->keys);
  return TRUE;
}

HWND GetCapture() {
  core_guard g(core_lock());
  return my_queue()->capture;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP || msg->message == WM_SYSKEYDOWN)
    return TRUE;
  if (msg->message != WM_KEYDOWN) return FALSE;
  core_guard g(core_lock());
  thread_queue* q = my_queue();
  bool shift = (q->keys[VK_SHIFT] & 0x80) != 0;
  auto vk = static_cast<UINT>(msg->wParam);
  char c = vk_to_char(vk, shift);
  // With Ctrl a letter types its control character, as on Windows; nothing else types.
  if (q->keys[VK_CONTROL] & 0x80)
    c = (vk >= 'A' && vk <= 'Z') ? static_cast<char>(vk - 'A' + 1) : 0;
  if (c && !q->dead) {
    post_to(q, MSG{msg->hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)),
                   msg->lParam, msg->time, msg->pt});
  }
  return TRUE;
}

UINT GetDoubleClickTime() { return backend_double_click_ms(); }

namespace {

// The window a click on a disabled top-level window brings forward, as
// Windows does: the enabled popup it owns, through a chain of boxes. Its
// surface comes pinned, for the backend to be called once the lock is gone.
surface* modal_popup_of(window* top) {
  for (int depth = 0; depth < 16; depth++) {
    window* found = nullptr;
    for (window* w : window_slots())
      if (w && !w->parent && w->owner_window == top->handle && (w->style & WS_VISIBLE) && w->surf)
        found = w;
    if (!found) return nullptr;
    if (!(found->style & WS_DISABLED))
      return found->surf->native ? pin_surface(found->surf) : nullptr;
    top = found;
  }
  return nullptr;
}

}  // namespace

void input_mouse(HWND top_hwnd, UINT msg, int x, int y, DWORD time) {
  DWORD dbl = backend_double_click_ms();
  auto [g, top] = lock_window(top_hwnd);
  if (top && (top->style & WS_DISABLED) && (msg == WM_LBUTTONDOWN || msg == WM_RBUTTONDOWN)) {
    surface* popup = modal_popup_of(top);
    g.unlock();
    if (popup) {
      backend_activate(popup->native, time);
      unpin_surface(popup);
    }
    return;
  }
  // A disabled window (the owner of a modal box) takes no input.
  if (!top || (top->style & WS_DISABLED)) return;
  thread_queue* q = top->owner;
  window* target = q->capture ? find_window(q->capture) : nullptr;
  if (!target || top_of(target) != top) target = hit_test(top, x, y);
  RECT c = client_in_top(target);
  int cx = x - c.left, cy = y - c.top;
  if (msg == WM_LBUTTONDOWN) {
    bool dbl_class = (target->cls->style & CS_DBLCLKS) != 0;
    if (dbl_class && q->click_hwnd == target->handle && !q->click_was_double &&
        time - q->click_time <= dbl && std::abs(q->click_pt.x - x) <= double_click_slop &&
        std::abs(q->click_pt.y - y) <= double_click_slop) {
      msg = WM_LBUTTONDBLCLK;
      q->click_was_double = true;
    } else {
      q->click_was_double = false;
    }
    q->click_hwnd = target->handle;
    q->click_time = time;
    q->click_pt = POINT{x, y};
    q->keys[1] = 0x80;
  } else if (msg == WM_LBUTTONUP) {
    q->keys[1] = 0;
  }
  WPARAM keys = (q->keys[1] & 0x80) ? MK_LBUTTON : 0;
  if (q->keys[VK_SHIFT] & 0x80) keys |= MK_SHIFT;
  MSG m{target->handle, msg, keys, MAKELPARAM(cx, cy), time, screen_point(top, x, y)};
  // Moves coalesce, as Windows reports only the latest position.
  if (msg == WM_MOUSEMOVE && !q->posted.empty() && q->posted.back().m.message == WM_MOUSEMOVE &&
      q->posted.back().m.hwnd == m.hwnd) {
    q->posted.back().m = m;
    return;
  }
  post_to(q, m, true);
}

// The window under the pointer scrolls, as on Windows 10 and later, whatever has the focus.
void input_wheel(HWND top_hwnd, int x, int y, int delta) {
  auto [g, top] = lock_window(top_hwnd);
  if (!top || (top->style & WS_DISABLED)) return;  // as for the mouse
  thread_queue* q = top->owner;
  window* target = q->capture ? find_window(q->capture) : nullptr;
  if (!target || top_of(target) != top) target = hit_test(top, x, y);
  POINT at = screen_point(top, x, y);
  WPARAM keys = (q->keys[1] & 0x80) ? MK_LBUTTON : 0;
  if (q->keys[VK_SHIFT] & 0x80) keys |= MK_SHIFT;
  if (q->keys[VK_CONTROL] & 0x80) keys |= MK_CONTROL;
  post_to(q,
          MSG{target->handle, WM_MOUSEWHEEL, MAKEWPARAM(keys, static_cast<WORD>(delta)),
              MAKELPARAM(at.x, at.y), tick_ms(), at},
          true);
}

void input_moved(HWND top_hwnd, int x, int y) {
  auto [g, top] = lock_window(top_hwnd);
  if (!top || top->parent) return;
  RECT& r = top->rect;
  OffsetRect(&r, x - top->client.left - r.left, y - top->client.top - r.top);
}

void input_key(HWND top_hwnd, bool down, UINT vk, UINT scan) {
  auto [g, top] = lock_window(top_hwnd);
  if (!top || (top->style & WS_DISABLED)) return;  // as for the mouse
  thread_queue* q = top->owner;
  LPARAM lp = 1 | static_cast<LPARAM>((scan & 0xFF) << 16);
  if (!down) lp |= static_cast<LPARAM>(0xC0000000u);
  UINT msg = down ? WM_KEYDOWN : WM_KEYUP;
  post_to(q, MSG{top_hwnd, msg, vk, lp, tick_ms(), {}}, true, true);
}

void input_close(HWND top_hwnd) {
  auto [g, top] = lock_window(top_hwnd);
  // The close box of a disabled window does nothing, as on Windows.
  if (top && !(top->style & WS_DISABLED))
    post_to(top->owner, MSG{top_hwnd, WM_CLOSE, 0, 0, tick_ms(), {}});
}

void input_expose(HWND top_hwnd) {
  auto [g, top] = lock_window(top_hwnd);
  if (!top || !top->surf) return;
  top->surf->dirty = RECT{0, 0, top->surf->w, top->surf->h};
  queue_wake(top->owner);
}
