// Per-thread message queues, sent and posted messages, the default window
// procedure and the routing of backend input.

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "platform/internal.h"

namespace {

// Windows refuses posts beyond this many waiting messages.
constexpr size_t posted_limit = 10000;
constexpr int double_click_slop = 2;

struct queue_holder {
  thread_queue* q = nullptr;
  ~queue_holder() {
    if (!q) return;
    std::lock_guard<std::mutex> g(core_lock());
    q->dead = true;
    // Nobody will serve these any more: release their senders.
    for (sent_msg* s : q->sent) {
      s->done = true;
      queue_wake(s->sender);
    }
    q->sent.clear();
    // Windows the thread left behind still name the record; without any it goes.
    if (q->windows == 0) {
      close(q->wake_fd);
      delete q;
    }
  }
};

thread_local queue_holder this_thread_queue;

bool in_range(UINT msg, UINT lo, UINT hi) {
  return (lo == 0 && hi == 0) || (msg >= lo && msg <= hi);
}

bool matches(const MSG& m, window* filter, UINT lo, UINT hi) {
  if (!in_range(m.message, lo, hi)) return false;
  if (!filter) return true;
  window* w = find_window(m.hwnd);
  return w && is_descendant(w, filter);
}

// Runs the messages that other threads sent to this one, oldest first.
void serve_sent(thread_queue* q) {
  for (;;) {
    sent_msg* s;
    {
      std::lock_guard<std::mutex> g(core_lock());
      if (q->sent.empty()) return;
      s = q->sent.front();
      q->sent.pop_front();
    }
    LRESULT r = call_proc(s->hwnd, s->msg, s->wparam, s->lparam);
    std::lock_guard<std::mutex> g(core_lock());
    s->result = r;
    s->done = true;
    queue_wake(s->sender);  // s may be gone once the lock is dropped
  }
}

// Called and returns with the lock held; wakes for anything queue_wake signals.
void queue_wait(std::unique_lock<std::mutex>& lk, thread_queue* q, bool with_backend) {
  const backend* be = (with_backend && q->toplevels > 0) ? current_backend() : nullptr;
  if (be) {
    lk.unlock();
    present_dirty(q);
    if (be->wait) {
      be->wait(q->wake_fd, -1);
      lk.lock();
      uint64_t n;
      if (read(q->wake_fd, &n, sizeof n) < 0) n = 0;
      q->wake_pending = false;
      return;
    }
    lk.lock();
  }
  if (q->wake_pending) {  // signalled while the lock was free
    uint64_t n;
    if (read(q->wake_fd, &n, sizeof n) < 0) n = 0;
    q->wake_pending = false;
    return;
  }
  q->cv_signalled = false;
  q->cv_waiting = true;
  q->cv.wait(lk, [q] { return q->cv_signalled; });
  q->cv_waiting = false;
}

void track_keys(thread_queue* q, const MSG& m) {
  if (m.message == WM_KEYDOWN || m.message == WM_SYSKEYDOWN) q->keys[m.wParam & 0xFF] = 0x80;
  if (m.message == WM_KEYUP || m.message == WM_SYSKEYUP) q->keys[m.wParam & 0xFF] = 0;
}

// The common body of GetMessageA and PeekMessageA: 1 a message, 0 the quit
// message (GetMessageA only), -1 a bad filter, 2 nothing there (peek).
int fetch(MSG* m, HWND hwnd, UINT lo, UINT hi, UINT flags, bool block) {
  thread_queue* q;
  {
    std::lock_guard<std::mutex> g(core_lock());
    q = my_queue();
    if (hwnd && !find_window(hwnd)) return -1;
  }
  bool remove = !block ? (flags & PM_REMOVE) != 0 : true;
  for (;;) {
    serve_sent(q);
    const backend* be;
    {
      std::lock_guard<std::mutex> g(core_lock());
      be = q->toplevels > 0 ? current_backend() : nullptr;
    }
    if (be) be->pump();
    std::unique_lock<std::mutex> lk(core_lock());
    if (!q->sent.empty()) continue;
    window* filter = hwnd ? find_window(hwnd) : nullptr;
    if (hwnd && !filter) return -1;
    // Posted messages first, then input, as on Windows: the character that
    // TranslateMessage posts is read before keys typed after it.
    for (bool input : {false, true}) {
      for (auto it = q->posted.begin(); it != q->posted.end(); ++it) {
        if (it->input != input) continue;
        if (it->to_focus) {
          window* f = q->focus ? find_window(q->focus) : nullptr;
          window* t = find_window(it->m.hwnd);
          if (f && t && top_of(f) == top_of(t)) it->m.hwnd = f->handle;
          it->to_focus = false;
        }
        if (!matches(it->m, filter, lo, hi)) continue;
        *m = it->m;
        if (remove) {
          q->posted.erase(it);
          track_keys(q, *m);
        }
        return m->message == WM_QUIT ? 0 : 1;
      }
    }
    if (q->quit && !filter && in_range(WM_QUIT, lo, hi)) {
      *m = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(q->quit_code), 0, tick_ms(), {}};
      if (remove) q->quit = false;
      return 0;
    }
    if (in_range(WM_PAINT, lo, hi)) {
      if (window* w = paint_candidate(q, hwnd)) {
        *m = MSG{w->handle, WM_PAINT, 0, 0, tick_ms(), {}};
        return 1;
      }
    }
    if (!block) {
      lk.unlock();
      present_dirty(q);
      return 2;
    }
    queue_wait(lk, q, true);
  }
}

WNDPROC proc_of(HWND hwnd) {
  window* w = find_window(hwnd);
  return w ? w->proc : nullptr;
}

char vk_to_char(UINT vk, bool shift) {
  static const char shifted_digits[] = ")!@#$%^&*(";
  if (vk >= 'A' && vk <= 'Z') return static_cast<char>(shift ? vk : vk + 32);
  if (vk >= '0' && vk <= '9') return shift ? shifted_digits[vk - '0'] : static_cast<char>(vk);
  if (vk >= 0x60 && vk <= 0x69) return static_cast<char>('0' + vk - 0x60);
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
    case 0x6E:
      return '.';
    case 0xBA:
      return shift ? ':' : ';';
    case 0xBF:
      return shift ? '?' : '/';
  }
  return 0;
}

bool post_to(thread_queue* q, const MSG& m, bool input = false, bool to_focus = false) {
  if (q->dead || q->posted.size() >= posted_limit) return false;
  q->posted.push_back(queued{m, to_focus, input});
  queue_wake(q);
  return true;
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

DWORD tick_ms() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<DWORD>(static_cast<uint64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000);
}

thread_queue* my_queue() {
  if (!this_thread_queue.q) {
    auto* q = new thread_queue;
    q->wake_fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    this_thread_queue.q = q;
  }
  return this_thread_queue.q;
}

void queue_wake(thread_queue* q) {
  if (!q) return;
  if (q->cv_waiting) {
    q->cv_signalled = true;
    q->cv.notify_one();
    return;
  }
  if (q->wake_pending) return;
  q->wake_pending = true;
  uint64_t one = 1;
  if (write(q->wake_fd, &one, sizeof one) < 0) q->wake_pending = false;
}

LRESULT call_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc;
  {
    std::lock_guard<std::mutex> g(core_lock());
    proc = proc_of(hwnd);
  }
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  std::unique_lock<std::mutex> lk(core_lock());
  window* w = find_window(hwnd);
  if (!w) return 0;
  thread_queue* q = my_queue();
  if (w->owner == q) {
    WNDPROC proc = w->proc;
    lk.unlock();
    return proc(hwnd, msg, wparam, lparam);
  }
  thread_queue* target = w->owner;
  if (target->dead) return 0;
  sent_msg s{hwnd, msg, wparam, lparam, 0, false, q};
  target->sent.push_back(&s);
  queue_wake(target);
  // While it waits, this thread serves what others send to it, as Windows does.
  while (!s.done) {
    if (!q->sent.empty()) {
      lk.unlock();
      serve_sent(q);
      lk.lock();
      continue;
    }
    queue_wait(lk, q, false);
  }
  return s.result;
}

BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  std::lock_guard<std::mutex> g(core_lock());
  thread_queue* q;
  if (!hwnd) {
    q = my_queue();
  } else {
    window* w = find_window(hwnd);
    if (!w) return FALSE;
    q = w->owner;
  }
  return post_to(q, MSG{hwnd, msg, wparam, lparam, tick_ms(), {}}) ? TRUE : FALSE;
}

void PostQuitMessage(int exit_code) {
  std::lock_guard<std::mutex> g(core_lock());
  thread_queue* q = my_queue();
  q->quit = true;
  q->quit_code = exit_code;
  queue_wake(q);
}

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max) {
  if (!msg) return -1;
  int r = fetch(msg, hwnd, min, max, PM_REMOVE, true);
  return r == 1 ? TRUE : r;
}

BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT min, UINT max, UINT remove) {
  if (!msg) return FALSE;
  int r = fetch(msg, hwnd, min, max, remove, false);
  return (r == 0 || r == 1) ? TRUE : FALSE;
}

BOOL TranslateMessage(const MSG* msg) {
  if (!msg) return FALSE;
  if (msg->message == WM_KEYUP || msg->message == WM_SYSKEYUP || msg->message == WM_SYSKEYDOWN)
    return TRUE;
  if (msg->message != WM_KEYDOWN) return FALSE;
  std::lock_guard<std::mutex> g(core_lock());
  thread_queue* q = my_queue();
  bool shift = (q->keys[VK_SHIFT] & 0x80) != 0;
  char c = vk_to_char(static_cast<UINT>(msg->wParam), shift);
  if (c && !q->dead) {
    post_to(q, MSG{msg->hwnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)),
                   msg->lParam, msg->time, msg->pt});
  }
  return TRUE;
}

LRESULT DispatchMessageA(const MSG* msg) {
  if (!msg || !msg->hwnd) return 0;
  WNDPROC proc;
  {
    auto [g, w] = lock_window(msg->hwnd);
    if (!w || w->owner != my_queue()) return 0;
    proc = w->proc;
  }
  LRESULT r = proc(msg->hwnd, msg->message, msg->wParam, msg->lParam);
  if (msg->message == WM_PAINT) {
    // A procedure that did not validate would otherwise be asked for ever.
    if (auto [g, w] = lock_window(msg->hwnd); w) w->update = RECT{};
  }
  return r;
}

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
      auto [g, w] = lock_window(hwnd);
      if (!w) return FALSE;
      w->text = lparam ? reinterpret_cast<const char*>(lparam) : "";
      if (w->surf && current_backend())
        current_backend()->set_title(w->surf->native, w->text.c_str());
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
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORSTATIC:
      return reinterpret_cast<LRESULT>(sys_brush(COLOR_BTNFACE));
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
      return reinterpret_cast<LRESULT>(sys_brush(COLOR_WINDOW));
  }
  return 0;
}

void notify_parent(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  auto id = static_cast<WORD>(GetWindowLongPtrA(control, GWLP_ID));
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}

UINT GetDoubleClickTime() {
  std::lock_guard<std::mutex> g(core_lock());
  const backend* be = current_backend();
  return be ? be->double_click_ms() : 500;
}

void input_mouse(HWND top_hwnd, UINT msg, int x, int y, DWORD time) {
  const backend* be;
  {
    std::lock_guard<std::mutex> g(core_lock());
    be = current_backend();
  }
  DWORD dbl = be ? be->double_click_ms() : 500;
  auto [g, top] = lock_window(top_hwnd);
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

void input_wheel(HWND top_hwnd, int delta) {
  auto [g, top] = lock_window(top_hwnd);
  if (!top || (top->style & WS_DISABLED)) return;  // as for the mouse
  thread_queue* q = top->owner;
  window* f = q->focus ? find_window(q->focus) : nullptr;
  window* target = (f && top_of(f) == top) ? f : top;
  post_to(
      q,
      MSG{target->handle, WM_MOUSEWHEEL, MAKEWPARAM(0, static_cast<WORD>(delta)), 0, tick_ms(), {}},
      true);
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
