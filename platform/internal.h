#pragma once
// Records and helpers shared by the files of the windowing stand-in. Nothing
// outside platform/ includes this header.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/winapi.h"

struct thread_queue;

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

// The pixels of a top-level window's client area, 0x00RRGGBB, drawn by the
// core and copied out by the backend.
struct surface {
  int w = 0;
  int h = 0;
  // Each of the program's pixels is scale x scale of these, the screen's;
  // the program's coordinates and sizes do not change.
  int scale = 1;
  std::vector<uint32_t> pixels;
  RECT dirty{};  // client coordinates; empty when nothing is to be presented
  void* native = nullptr;
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
  std::condition_variable cv;
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

// How a top-level window stands before the window manager, from its styles.
struct frame_kind {
  bool sizable = false;   // WS_THICKFRAME
  bool minimize = false;  // WS_MINIMIZEBOX
  bool maximize = false;  // WS_MAXIMIZEBOX
  bool dialog = false;    // an owned popup, such as a message box
};

// One table per backend: the core calls nothing else of it. A slot a backend
// leaves empty is given a default that does nothing when the backend is chosen.
struct backend {
  const char* name = "";
  int (*open)() = nullptr;  // 0 when the backend can be used
  void* (*create)(HWND top, surface* s, int x, int y, const char* title) = nullptr;
  void (*destroy)(void* native) = nullptr;
  void (*show)(void* native, bool visible) = nullptr;
  void (*present)(void* native, RECT area) = nullptr;
  void (*set_title)(void* native, const char* title) = nullptr;
  void (*set_icon)(void* native, HICON icon) = nullptr;
  // The window belongs to owner's: a window manager keeps it above that one.
  void (*set_owner)(void* native, void* owner_native) = nullptr;
  void (*set_frame)(void* native, frame_kind kind) = nullptr;
  // Brings the window forward with the focus, for a click at time on its disabled owner.
  void (*activate)(void* native, DWORD time) = nullptr;
  // Screen pixels per pixel of the program's, the same for every window.
  int (*scale)() = nullptr;
  // The desktop's clipboard holds this UTF-8 text, served while the program runs.
  void (*set_clipboard)(const char* text, size_t len) = nullptr;
  // Waits until wake_fd is readable or an event came in; events are handed
  // to the core's input functions. False at once where the backend has
  // nothing of its own to watch, and the thread waits on its queue instead.
  bool (*wait)(int wake_fd) = nullptr;
  void (*pump)() = nullptr;  // hands over events already read, without waiting
  DWORD (*double_click_ms)() = nullptr;
  // Text in the desktop's font: -1 and false where the backend has none,
  // and the built-in font draws it.
  int (*text_width)(const char* text, int len) = nullptr;
  bool (*draw_text)(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                    uint32_t rgb) = nullptr;
};

extern const backend backend_headless;
extern const backend backend_x11;

// The one lock over the window table, the classes and every queue. Window
// procedures are never called with it held.
std::mutex& core_lock();

// The window behind hwnd, or null, with the core lock held while the guard
// lives: auto [g, w] = lock_window(hwnd);
struct locked_window {
  std::unique_lock<std::mutex> lock;
  window* w;
};
locked_window lock_window(HWND hwnd);

// Under core_lock:
window* find_window(HWND hwnd);
wnd_class* find_class(LPCSTR name);  // a name or the atom RegisterClassA gave
// Sets the outer rectangle and the client area the frame and scroll bar leave.
void layout(window* w, int x, int y, int cx, int cy);
void invalidate_all(window* w);  // w and its descendants, with erasing
// Queues m for q's thread unless it is gone or too far behind; input is read
// after every posted message, and to_focus sends it to the focus when taken.
bool post_to(thread_queue* q, const MSG& m, bool input = false, bool to_focus = false);
void track_keys(thread_queue* q, const MSG& m);  // the key state a removed message leaves
thread_queue* my_queue();                        // the calling thread's queue, made on first use
void queue_wake(thread_queue* q);
// Never null: until a backend is chosen, or where none could be opened, one
// that shows nothing and draws no text of its own.
const backend* current_backend();
bool choose_backend();  // false where no backend could be opened
window* top_of(window* w);
const std::vector<window*>& window_slots();  // null entries are free slots
// The window of thread q that should be painted next, parents before children.
window* paint_candidate(thread_queue* q, HWND filter);
bool is_descendant(window* w, window* ancestor);
DWORD tick_ms();
bool tree_visible(window* w);
// Client rectangle of w in its top-level window's client coordinates.
RECT client_in_top(window* w);
// Adds r (client coordinates) to what w and the children it does not clip
// must paint: an update region only grows until it is painted.
void add_update(window* w, RECT r, bool erase);

// Without the lock:
int screen_scale();  // the backend's, chosen on first use
LRESULT call_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
void notify_parent(HWND control, WORD code);  // WM_COMMAND, as controls send it
void present_dirty(thread_queue* q);
// Backend input, in the top-level window's client coordinates.
void input_mouse(HWND top, UINT msg, int x, int y, DWORD time);
void input_wheel(HWND top, int x, int y, int delta);
// Where the window manager put the client area, in screen coordinates.
void input_moved(HWND top, int x, int y);
// Another program took the desktop's clipboard: what this one held is gone.
void input_clipboard_lost();
void input_key(HWND top, bool down, UINT vk, UINT scan);
void input_close(HWND top);
void input_expose(HWND top);
HBRUSH sys_brush(int index);

// A device context: where on its top-level surface a window draws.
struct gdi_dc {
  HWND hwnd;
  int ox, oy;  // client origin in the top-level surface
  RECT clip;   // in the top-level surface
};

// Under core_lock:
HDC new_dc(HWND hwnd, int ox, int oy, RECT clip);
surface* dc_surface(const gdi_dc* dc);  // null once the DC or its window is gone
RECT visible_client(window* w);         // of w's client area, in its top-level surface

// Drawing helpers for the controls (dc.cpp, text.cpp).
uint32_t rgb_of(COLORREF c);
void dc_fill(HDC dc, RECT r, COLORREF c);
void dc_frame(HDC dc, RECT r, COLORREF c);  // one-pixel outline
void dc_edge(HDC dc, RECT r, bool sunken);  // the classic 3D border of a push button
void dc_focus_rect(HDC dc, RECT r);         // the dotted outline of the focus
void dc_text(HDC dc, int x, int y, const char* text, int len, COLORREF c);
int text_width(const char* text, int len);
uint32_t blend(uint32_t dst, uint32_t src, unsigned alpha);  // a glyph's coverage onto a pixel
int text_height();
COLORREF sys_color(int index);

// The built-in control classes.
LRESULT CALLBACK listbox_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Owner-thread access to a control's state: valid until the next call into a
// window procedure, which may destroy the window.
void* control_state(HWND hwnd);
void set_control_state(HWND hwnd, void* state, void (*free_fn)(void*));
bool window_client_size(HWND hwnd, int* w, int* h);
DWORD window_style(HWND hwnd);
void set_window_height(HWND hwnd, int height);
std::string window_text(HWND hwnd);
void set_window_text(HWND hwnd, const std::string& text);
// A DC over the whole window, frame included, for the controls' borders.
HDC GetWindowDC(HWND hwnd);
void draw_frame(HWND hwnd);  // WS_BORDER and WS_EX_CLIENTEDGE

// The icon drawn for the tool, as 32x32 ARGB pixels, for backends.
bool icon_pixels(HICON icon, uint32_t* argb);  // 1024 pixels
