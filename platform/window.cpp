// Window classes, the window table, creation and destruction, window words.

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "platform/internal.h"

namespace {

// Frame metrics of a top-level window with a caption, as Windows 10 lays
// them out at 96 dpi: 240x300 outside leaves 234x271 inside.
constexpr int fixed_frame = 3;
constexpr int sizing_frame = 8;
constexpr int caption_height = 23;
constexpr int scrollbar_width = 17;

constexpr ATOM first_atom = 0xC000;

struct core_state {
  std::mutex lock;
  std::vector<wnd_class*> classes;
  std::vector<window*> slots;
  std::vector<uint16_t> generations;
  std::vector<uint32_t> free_slots;
  const backend* be = nullptr;
  bool backend_chosen = false;
};

core_state& core() {
  static core_state* c = new core_state;  // never freed: threads may outlive main's statics
  return *c;
}

void register_builtin(const char* name, WNDPROC proc, UINT style) {
  auto* c = new wnd_class{name, style, proc, 0, nullptr, nullptr, nullptr, nullptr};
  core().classes.push_back(c);
}

void ensure_builtin_classes() {
  if (!core().classes.empty()) return;
  register_builtin("ListBox", listbox_proc, CS_DBLCLKS);
  register_builtin("Button", button_proc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
  register_builtin("Edit", edit_proc, CS_DBLCLKS);
}

wnd_class* find_class(LPCSTR name) {
  ensure_builtin_classes();
  auto& classes = core().classes;
  if (IS_INTRESOURCE(name)) {
    size_t i = reinterpret_cast<uintptr_t>(name);
    if (i < first_atom || i - first_atom >= classes.size()) return nullptr;
    return classes[i - first_atom];
  }
  for (wnd_class* c : classes)
    if (strcasecmp(c->name.c_str(), name) == 0) return c;
  return nullptr;
}

const backend* choose_backend() {
  core_state& c = core();
  if (!c.backend_chosen) {
    c.backend_chosen = true;
    const char* want = getenv("KTA_WINDOWING");
    const backend* b = nullptr;
    if (want && strcmp(want, "headless") == 0)
      b = &backend_headless;
    else if (getenv("DISPLAY") && *getenv("DISPLAY"))
      b = &backend_x11;
    if (b && b->open() == 0) c.be = b;
  }
  return c.be;
}

HWND add_to_table(window* w) {
  core_state& c = core();
  uint32_t slot;
  if (!c.free_slots.empty()) {
    slot = c.free_slots.back();
    c.free_slots.pop_back();
  } else {
    slot = static_cast<uint32_t>(c.slots.size());
    c.slots.push_back(nullptr);
    c.generations.push_back(1);
  }
  c.slots[slot] = w;
  // Handles look like Windows': small, even, never reused at once.
  uintptr_t value = (uintptr_t{c.generations[slot]} << 16) | ((slot + 1) << 1);
  return reinterpret_cast<HWND>(value);
}

void remove_from_table(window* w) {
  core_state& c = core();
  uintptr_t value = reinterpret_cast<uintptr_t>(w->handle);
  uint32_t slot = static_cast<uint32_t>(((value & 0xFFFF) >> 1) - 1);
  c.slots[slot] = nullptr;
  c.generations[slot] = static_cast<uint16_t>(c.generations[slot] % 0x7FFF + 1);
  c.free_slots.push_back(slot);
}

void layout(window* w, int x, int y, int cx, int cy) {
  w->rect = RECT{x, y, x + cx, y + cy};
  RECT in{0, 0, cx, cy};
  int frame = 0, top = 0;
  if (!(w->style & WS_CHILD)) {
    if ((w->style & WS_CAPTION) == WS_CAPTION) {
      frame = (w->style & WS_THICKFRAME) ? sizing_frame : fixed_frame;
      top = caption_height;
    } else if (w->style & WS_THICKFRAME) {
      frame = sizing_frame;
    } else if (w->style & (WS_BORDER | WS_DLGFRAME)) {
      frame = (w->style & WS_DLGFRAME) ? fixed_frame : 1;
    }
  } else {
    if (w->style & WS_BORDER) frame = 1;
    if (w->ex_style & WS_EX_CLIENTEDGE) frame += 2;
  }
  in.left += frame;
  in.right -= frame;
  in.top += frame + top;
  in.bottom -= frame;
  if (w->style & WS_VSCROLL) in.right -= scrollbar_width;
  if (in.right < in.left) in.right = in.left;
  if (in.bottom < in.top) in.bottom = in.top;
  w->client = in;
}

void invalidate_all(window* w) {
  w->update = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  w->erase = true;
  for (window* c : w->children) invalidate_all(c);
}

void free_window(window* w) {
  if (w->control_free) w->control_free(w->control);
  if (w->surf) {
    if (core().be && w->surf->native) core().be->destroy(w->surf->native);
    delete w->surf;
  }
  delete w;
}

// WM_NCDESTROY goes to the children before their parent, as on Windows.
void final_destroy(HWND hwnd) {
  std::vector<HWND> kids;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return;
    for (window* c : w->children) kids.push_back(c->handle);
  }
  for (HWND k : kids) final_destroy(k);
  call_proc(hwnd, WM_NCDESTROY, 0, 0);

  auto [g, w] = lock_window(hwnd);
  if (!w) return;
  thread_queue* q = w->owner;
  // A sender waiting on this window gets 0 instead of waiting for ever.
  for (auto it = q->sent.begin(); it != q->sent.end();) {
    if ((*it)->hwnd == hwnd) {
      (*it)->done = true;
      queue_wake((*it)->sender);
      it = q->sent.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(q->posted, [hwnd](const queued& e) { return e.m.hwnd == hwnd; });
  if (q->capture == hwnd) q->capture = nullptr;
  if (q->focus == hwnd) q->focus = nullptr;
  if (q->click_hwnd == hwnd) q->click_hwnd = nullptr;
  q->windows--;
  if (w->parent) {
    auto& sib = w->parent->children;
    sib.erase(std::remove(sib.begin(), sib.end(), w), sib.end());
  } else {
    q->toplevels--;
  }
  for (window* c : w->children) c->parent = nullptr;  // already gone; kept safe
  remove_from_table(w);
  free_window(w);
}

void send_destroy(HWND hwnd) {
  call_proc(hwnd, WM_DESTROY, 0, 0);
  std::vector<HWND> kids;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return;
    for (window* c : w->children) {
      c->destroying = true;
      kids.push_back(c->handle);
    }
  }
  for (HWND k : kids) send_destroy(k);
}

void mark_destroying(window* w) {
  w->destroying = true;
  for (window* c : w->children) mark_destroying(c);
}

}  // namespace

std::mutex& core_lock() { return core().lock; }

const backend* current_backend() { return core().be; }

window* find_window(HWND hwnd) {
  uintptr_t value = reinterpret_cast<uintptr_t>(hwnd);
  if (value == 0 || (value & 1) || value > 0xFFFFFFFF) return nullptr;
  uint32_t slot1 = static_cast<uint32_t>((value & 0xFFFF) >> 1);
  core_state& c = core();
  if (slot1 == 0 || slot1 > c.slots.size()) return nullptr;
  window* w = c.slots[slot1 - 1];
  if (!w || w->handle != hwnd) return nullptr;
  return w;
}

locked_window lock_window(HWND hwnd) {
  std::unique_lock<std::mutex> lock(core_lock());
  window* w = find_window(hwnd);
  return locked_window{std::move(lock), w};
}

bool is_descendant(window* w, window* ancestor) {
  for (; w; w = w->parent)
    if (w == ancestor) return true;
  return false;
}

const std::vector<window*>& window_slots() { return core().slots; }

window* paint_candidate(thread_queue* q, HWND filter) {
  window* f = filter ? find_window(filter) : nullptr;
  for (window* w : core().slots) {
    if (!w || w->owner != q || IsRectEmpty(&w->update) || !tree_visible(w)) continue;
    if (f && !is_descendant(w, f)) continue;
    while (w->parent && !IsRectEmpty(&w->parent->update) && (!f || w != f)) w = w->parent;
    return w;
  }
  return nullptr;
}

window* top_of(window* w) {
  while (w->parent) w = w->parent;
  return w;
}

bool tree_visible(window* w) {
  for (; w; w = w->parent)
    if (!(w->style & WS_VISIBLE)) return false;
  return true;
}

RECT client_in_top(window* w) {
  int x = 0, y = 0;
  for (window* p = w; p->parent; p = p->parent) {
    x += p->rect.left + p->client.left;
    y += p->rect.top + p->client.top;
  }
  int cw = w->client.right - w->client.left, ch = w->client.bottom - w->client.top;
  if (w->parent) return RECT{x, y, x + cw, y + ch};
  return RECT{0, 0, cw, ch};
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName)) return 0;
  if (wc->cbWndExtra < 0 || wc->cbWndExtra > 40) return 0;  // Windows' own limit
  std::lock_guard<std::mutex> g(core_lock());
  if (find_class(wc->lpszClassName)) return 0;
  auto* c = new wnd_class{wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->cbWndExtra,
                          wc->hInstance,     wc->hIcon, wc->hCursor,     wc->hbrBackground};
  core().classes.push_back(c);
  return static_cast<ATOM>(first_atom + core().classes.size() - 1);
}

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (!class_name) return nullptr;
  HWND hwnd;
  {
    std::lock_guard<std::mutex> g(core_lock());
    wnd_class* cls = find_class(class_name);
    if (!cls) return nullptr;
    window* p = nullptr;
    if (style & WS_CHILD) {
      p = find_window(parent);
      if (!p || p->destroying) return nullptr;
    } else if (!choose_backend()) {
      return nullptr;  // no display to show it on
    }
    window* owner = (style & WS_CHILD) ? nullptr : find_window(parent);
    auto* w = new window;
    w->cls = cls;
    w->proc = cls->proc;
    w->parent = p;
    // Windows makes the top-level window the owner when it is given a child.
    if (owner) w->owner_window = top_of(owner)->handle;
    w->style = style;
    w->ex_style = ex_style;
    if (!(style & (WS_CHILD | WS_POPUP))) w->style |= WS_CAPTION | WS_CLIPSIBLINGS;
    if (x == CW_USEDEFAULT) x = y = 100;
    if (width == CW_USEDEFAULT) width = 320, height = 240;
    layout(w, x, y, std::max(width, 0), std::max(height, 0));
    w->extra.assign(static_cast<size_t>(cls->wnd_extra), 0);
    w->id = (style & WS_CHILD) ? menu : nullptr;
    w->instance = instance;
    w->owner = my_queue();
    w->owner->windows++;
    w->handle = hwnd = add_to_table(w);
    if (p) {
      p->children.push_back(w);
    } else {
      w->owner->toplevels++;
      w->surf = new surface;
      w->surf->w = w->client.right - w->client.left;
      w->surf->h = w->client.bottom - w->client.top;
      w->surf->pixels.assign(static_cast<size_t>(w->surf->w) * w->surf->h, 0x00FFFFFF);
      const backend* be = core().be;
      w->surf->native =
          be->create(hwnd, w->surf, x + w->client.left, y + w->client.top, title ? title : "");
      if (cls->icon) be->set_icon(w->surf->native, cls->icon);
    }
  }

  CREATESTRUCTA cs{
      param, instance,   menu,    parent, height, width, y, x, static_cast<LONG>(style),
      title, class_name, ex_style};
  if (!call_proc(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    final_destroy(hwnd);
    return nullptr;
  }
  if (call_proc(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    DestroyWindow(hwnd);
    return nullptr;
  }
  int cw = 0, ch = 0;
  window_client_size(hwnd, &cw, &ch);
  call_proc(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(cw, ch));
  call_proc(hwnd, WM_MOVE, 0, MAKELPARAM(x, y));
  if ((style & WS_CHILD) && !(ex_style & WS_EX_NOPARENTNOTIFY))
    SendMessageA(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_CREATE, reinterpret_cast<uintptr_t>(menu)),
                 reinterpret_cast<LPARAM>(hwnd));
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return nullptr;
    if (w->style & WS_VISIBLE) {
      if (w->surf) core().be->show(w->surf->native, true);
      invalidate_all(w);
    }
  }
  if (style & WS_VISIBLE) call_proc(hwnd, WM_SHOWWINDOW, TRUE, 0);
  return IsWindow(hwnd) ? hwnd : nullptr;
}

BOOL DestroyWindow(HWND hwnd) {
  HWND parent = nullptr;
  bool notify = false, visible = false;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w || w->owner != my_queue()) return FALSE;
    if (w->destroying) return TRUE;
    if (w->parent) {
      parent = w->parent->handle;
      notify = !(w->ex_style & WS_EX_NOPARENTNOTIFY) && !w->parent->destroying;
    }
    visible = (w->style & WS_VISIBLE) != 0;
  }
  if (notify)
    SendMessageA(parent, WM_PARENTNOTIFY, MAKEWPARAM(WM_DESTROY, 0),
                 reinterpret_cast<LPARAM>(hwnd));
  // Hidden first: a slow destroy handler leaves no dead window on the screen.
  if (visible) {
    if (parent) call_proc(hwnd, WM_SHOWWINDOW, FALSE, 0);
    auto [g, w] = lock_window(hwnd);
    if (w) {
      w->style &= ~WS_VISIBLE;
      if (w->surf) core().be->show(w->surf->native, false);
      // The parent shows through where the child was, besides what it
      // already had to paint.
      if (w->parent) add_update(w->parent, w->rect, true);
    }
  }
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return TRUE;
    mark_destroying(w);
    thread_queue* q = w->owner;
    if (q->capture && find_window(q->capture) && is_descendant(find_window(q->capture), w))
      q->capture = nullptr;
    if (q->focus && find_window(q->focus) && is_descendant(find_window(q->focus), w))
      q->focus = nullptr;
  }
  send_destroy(hwnd);
  final_destroy(hwnd);
  return TRUE;
}

BOOL ShowWindow(HWND hwnd, int cmd) {
  bool show = cmd != SW_HIDE, was;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return FALSE;
    was = (w->style & WS_VISIBLE) != 0;
    if (was == show) return was;
  }
  SendMessageA(hwnd, WM_SHOWWINDOW, show, 0);
  auto [g, w] = lock_window(hwnd);
  if (!w) return was;
  if (show) {
    w->style |= WS_VISIBLE;
    invalidate_all(w);
  } else {
    w->style &= ~WS_VISIBLE;
    if (w->parent) add_update(w->parent, w->rect, true);
  }
  if (w->surf) core().be->show(w->surf->native, show);
  queue_wake(w->owner);
  return was;
}

BOOL IsWindow(HWND hwnd) { return lock_window(hwnd).w != nullptr; }

// The enabled flag is WS_DISABLED, as on Windows; input_* drop input for a
// disabled top-level window. Returns whether it was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL enable) {
  std::lock_guard<std::mutex> g(core_lock());
  window* w = find_window(hwnd);
  if (!w) return FALSE;
  BOOL was_disabled = (w->style & WS_DISABLED) != 0;
  if (enable)
    w->style &= ~WS_DISABLED;
  else
    w->style |= WS_DISABLED;
  return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  std::lock_guard<std::mutex> g(core_lock());
  window* w = find_window(hwnd);
  return w && !(w->style & WS_DISABLED);
}

BOOL IsWindowVisible(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w && tree_visible(w);
}

HWND GetParent(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
  if (w->parent) return w->parent->handle;
  // A popup answers with its owner, an overlapped window with nothing.
  if ((w->style & WS_POPUP) && find_window(w->owner_window)) return w->owner_window;
  return nullptr;
}

int GetClassNameA(HWND hwnd, LPSTR name, int max_count) {
  auto [g, w] = lock_window(hwnd);
  if (!w || !name || max_count <= 0) return 0;
  int n = std::min(static_cast<int>(w->cls->name.size()), max_count - 1);
  memcpy(name, w->cls->name.data(), static_cast<size_t>(n));
  name[n] = 0;
  return n;
}

LONG_PTR GetWindowLongPtrA(HWND hwnd, int index) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return 0;
  if (index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
    LONG_PTR v;
    memcpy(&v, w->extra.data() + index, sizeof v);
    return v;
  }
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
  LONG_PTR old = 0;
  if (index >= 0) {
    if (static_cast<size_t>(index) + sizeof(LONG_PTR) > w->extra.size()) return 0;
    memcpy(&old, w->extra.data() + index, sizeof old);
    memcpy(w->extra.data() + index, &value, sizeof value);
    return old;
  }
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
    if (index >= 0) {
      if (static_cast<size_t>(index) + sizeof(LONG) > w->extra.size()) return 0;
      LONG v;
      memcpy(&v, w->extra.data() + index, sizeof v);
      return v;
    }
  }
  return static_cast<LONG>(GetWindowLongPtrA(hwnd, index));
}

LONG SetWindowLongA(HWND hwnd, int index, LONG value) {
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return 0;
    if (index >= 0) {
      if (static_cast<size_t>(index) + sizeof(LONG) > w->extra.size()) return 0;
      LONG old;
      memcpy(&old, w->extra.data() + index, sizeof old);
      memcpy(w->extra.data() + index, &value, sizeof value);
      return old;
    }
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

BOOL GetClientRect(HWND hwnd, LPRECT rect) {
  auto [g, w] = lock_window(hwnd);
  if (!w || !rect) return FALSE;
  *rect = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  return TRUE;
}

BOOL GetWindowRect(HWND hwnd, LPRECT rect) {
  auto [g, w] = lock_window(hwnd);
  if (!w || !rect) return FALSE;
  RECT r = w->rect;
  for (window* p = w->parent; p; p = p->parent) {
    OffsetRect(&r, p->rect.left + p->client.left, p->rect.top + p->client.top);
  }
  *rect = r;
  return TRUE;
}

HWND SetFocus(HWND hwnd) {
  HWND old;
  {
    std::lock_guard<std::mutex> g(core_lock());
    thread_queue* q = my_queue();
    old = q->focus;
    if (hwnd && !find_window(hwnd)) return nullptr;
    if (old == hwnd) return old;
    q->focus = hwnd;
  }
  if (old) call_proc(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd) call_proc(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND GetFocus() {
  std::lock_guard<std::mutex> g(core_lock());
  return my_queue()->focus;
}

HWND SetCapture(HWND hwnd) {
  HWND old;
  {
    std::lock_guard<std::mutex> g(core_lock());
    if (!find_window(hwnd)) return nullptr;
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
    std::lock_guard<std::mutex> g(core_lock());
    thread_queue* q = my_queue();
    old = q->capture;
    q->capture = nullptr;
  }
  if (old) call_proc(old, WM_CAPTURECHANGED, 0, 0);
  return TRUE;
}

HWND GetCapture() {
  std::lock_guard<std::mutex> g(core_lock());
  return my_queue()->capture;
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

bool window_client_size(HWND hwnd, int* cw, int* ch) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return false;
  *cw = w->client.right - w->client.left;
  *ch = w->client.bottom - w->client.top;
  return true;
}

DWORD window_style(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w ? w->style : 0;
}

void set_window_height(HWND hwnd, int height) {
  auto [g, w] = lock_window(hwnd);
  if (!w || w->surf) return;
  layout(w, w->rect.left, w->rect.top, w->rect.right - w->rect.left, height);
}

std::string window_text(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  return w ? w->text : std::string();
}

void set_window_text(HWND hwnd, const std::string& text) {
  if (auto [g, w] = lock_window(hwnd); w) w->text = text;
}
