// Per-thread message queues: posting, sending across threads, waiting, and
// the calls into window procedures.

#include <sys/eventfd.h>
#include <unistd.h>

#include "platform/backend.h"
#include "support/clock_sys.h"

namespace {

// Windows refuses posts beyond this many waiting messages.
constexpr size_t posted_limit = 10000;

struct queue_holder {
  thread_queue* q = nullptr;
  ~queue_holder() {
    if (!q) return;
    core_guard g(core_lock());
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
      core_guard g(core_lock());
      if (q->sent.empty()) return;
      s = q->sent.front();
      q->sent.pop_front();
    }
    LRESULT r = call_proc(s->hwnd, s->msg, s->wparam, s->lparam);
    core_guard g(core_lock());
    s->result = r;
    s->done = true;
    queue_wake(s->sender);  // s may be gone once the lock is dropped
  }
}

// Called and returns with the lock held; wakes for anything queue_wake signals.
void queue_wait(std::unique_lock<core_mutex>& lk, thread_queue* q, bool with_backend) {
  if (with_backend && q->toplevels > 0) {
    lk.unlock();
    present_dirty(q);
    if (backend_wait(q->wake_fd)) {
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

// The common body of GetMessageA and PeekMessageA: 1 a message, 0 the quit
// message (GetMessageA only), -1 a bad filter, 2 nothing there (peek).
int fetch(MSG* m, HWND hwnd, UINT lo, UINT hi, UINT flags, bool block) {
  thread_queue* q;
  {
    auto [g, filter] = lock_window(hwnd);
    q = my_queue();
    if (hwnd && !filter) return -1;
  }
  bool remove = !block ? (flags & PM_REMOVE) != 0 : true;
  for (;;) {
    serve_sent(q);
    bool shown;
    {
      core_guard g(core_lock());
      shown = q->toplevels > 0;
    }
    if (shown) backend_pump();
    auto [lk, filter] = lock_window(hwnd);
    if (!q->sent.empty()) continue;
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

}  // namespace

// Wraps after 49.7 days, as GetTickCount does.
DWORD tick_ms() { return static_cast<DWORD>(sys_monotonic_ms()); }

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

bool post_to(thread_queue* q, const MSG& m, bool input, bool to_focus) {
  if (q->dead || q->posted.size() >= posted_limit) return false;
  q->posted.push_back(queued{m, to_focus, input});
  queue_wake(q);
  return true;
}

LRESULT call_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  WNDPROC proc;
  {
    auto [g, w] = lock_window(hwnd);
    proc = w ? w->proc : nullptr;
  }
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

LRESULT CallWindowProcA(WNDPROC proc, HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  return proc ? proc(hwnd, msg, wparam, lparam) : 0;
}

LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  auto [lk, w] = lock_window(hwnd);
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
  auto [g, w] = lock_window(hwnd);
  if (hwnd && !w) return FALSE;
  thread_queue* q = w ? w->owner : my_queue();
  return post_to(q, MSG{hwnd, msg, wparam, lparam, tick_ms(), {}}) ? TRUE : FALSE;
}

void PostQuitMessage(int exit_code) {
  core_guard g(core_lock());
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

void notify_parent(HWND control, WORD code) {
  HWND parent = GetParent(control);
  if (!parent) return;
  auto id = static_cast<WORD>(GetWindowLongPtrA(control, GWLP_ID));
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), reinterpret_cast<LPARAM>(control));
}
