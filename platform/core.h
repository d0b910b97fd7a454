#pragma once
// The core of the windowing stand-in: its records, the one lock over them,
// and the window table. Nothing outside platform/ but its tests includes this.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/winapi.h"

struct thread_queue;
struct surface;

struct wnd_class {
  std::string name;
  UINT style;
  WNDPROC proc;
  int wnd_extra;
  HINSTANCE instance;
  HICON icon;
  HCURSOR cursor;
  HBRUSH background;
};

struct window {
  HWND handle = nullptr;
  wnd_class* cls = nullptr;
  WNDPROC proc = nullptr;
  window* parent = nullptr;
  HWND owner_window = nullptr;    // a top-level window's owner, itself top-level
  std::vector<window*> children;  // creation order, which is also paint order
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};    // outer: screen for a top-level window, parent client for a child
  RECT client{};  // client area inside the outer rectangle
  std::string text;
  std::vector<unsigned char> extra;
  LONG_PTR user_data = 0;
  HMENU id = nullptr;
  HINSTANCE instance = nullptr;
  thread_queue* owner = nullptr;
  bool destroying = false;
  RECT update{};  // client coordinates; empty when valid
  bool erase = false;
  void* control = nullptr;  // the state of a built-in control
  void (*control_free)(void*) = nullptr;
  surface* surf = nullptr;  // top-level windows only
};

// A message sent across threads: it lives on the sender's stack until done.
struct sent_msg {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  LRESULT result = 0;
  bool done = false;
  thread_queue* sender;
};

// A posted message; key input finds its window, the focus, when it is taken.
struct queued {
  MSG m;
  bool to_focus = false;
  bool input = false;  // from the mouse or keyboard: read after every posted message
};

// A thread waits on wake_fd where it must also watch a display connection,
// else on cv, which costs fewer system calls per cross-thread send.
struct thread_queue {
  int wake_fd = -1;
  bool wake_pending = false;
  std::condition_variable_any cv;
  bool cv_waiting = false;
  bool cv_signalled = false;
  std::deque<queued> posted;
  std::deque<sent_msg*> sent;
  bool quit = false;
  int quit_code = 0;
  int toplevels = 0;  // top-level windows owned: the thread waits on the backend too
  int windows = 0;    // all windows owned; the record outlives its thread while any is left
  bool dead = false;
  HWND capture = nullptr;
  HWND focus = nullptr;
  unsigned char keys[256] = {};
  HWND click_hwnd = nullptr;  // the last button-down, for double-click detection
  DWORD click_time = 0;
  POINT click_pt{};
  bool click_was_double = false;
};

#ifdef NDEBUG
inline constexpr bool core_lock_checked = false;
#else
inline constexpr bool core_lock_checked = true;
#endif

// The one lock over the window table, the classes and every queue. Window
// procedures and backends are never called with it held; a debug build
// knows which thread holds it, so that a backend call can check.
struct core_mutex {
  std::mutex m;
  static inline thread_local bool held_here = false;
  void lock() {
    m.lock();
    if constexpr (core_lock_checked) held_here = true;
  }
  void unlock() {
    if constexpr (core_lock_checked) held_here = false;
    m.unlock();
  }
};
core_mutex& core_lock();
using core_guard = std::lock_guard<core_mutex>;

// The window behind hwnd, or null, with the core lock held while the guard
// lives: auto [g, w] = lock_window(hwnd);
struct locked_window {
  std::unique_lock<core_mutex> lock;
  window* w;
};
locked_window lock_window(HWND hwnd);

// Under core_lock:
window* find_window(HWND hwnd);
// Enters w in the table under a new handle, or takes it out.
HWND add_to_table(window* w);
void remove_from_table(window* w);
const std::vector<window*>& window_slots();  // null entries are free slots
wnd_class* find_class(LPCSTR name);          // a name or the atom RegisterClassA gave
window* top_of(window* w);
bool is_descendant(window* w, window* ancestor);
bool tree_visible(window* w);
// Sets the outer rectangle and the client area the frame and scroll bar leave.
void layout(window* w, int x, int y, int cx, int cy);
// Client rectangle of w in its top-level window's client coordinates.
RECT client_in_top(window* w);
void invalidate_all(window* w);  // w and its descendants, with erasing
// Adds r (client coordinates) to what w and the children it does not clip
// must paint: an update region only grows until it is painted.
void add_update(window* w, RECT r, bool erase);
// The window of thread q that should be painted next, parents before children.
window* paint_candidate(thread_queue* q, HWND filter);
// Queues m for q's thread unless it is gone or too far behind; input is read
// after every posted message, and to_focus sends it to the focus when taken.
bool post_to(thread_queue* q, const MSG& m, bool input = false, bool to_focus = false);
void track_keys(thread_queue* q, const MSG& m);  // the key state a removed message leaves
thread_queue* my_queue();                        // the calling thread's queue, made on first use
void queue_wake(thread_queue* q);
DWORD tick_ms();

// Without the lock:
LRESULT call_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
void notify_parent(HWND control, WORD code);  // WM_COMMAND, as controls send it
// Presents what the windows of thread q drew since they were last presented.
void present_dirty(thread_queue* q);
