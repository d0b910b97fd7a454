// Windows made, destroyed and shown, and their enabled and visible states.

#include <algorithm>

#include "platform/backend.h"
#include "platform/controls.h"

namespace {

// Takes the window out of the table and frees it, but for its surface.
surface* forget(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
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
  if (w->control_free) w->control_free(w->control);
  surface* s = w->surf;
  delete w;
  return s;
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
  if (surface* s = forget(hwnd)) unpin_surface(s);
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

HWND CreateWindowExA(DWORD ex_style, LPCSTR class_name, LPCSTR title, DWORD style, int x, int y,
                     int width, int height, HWND parent, HMENU menu, HINSTANCE instance,
                     LPVOID param) {
  if (!class_name) return nullptr;
  int scale = 1;
  if (!(style & WS_CHILD)) {
    if (!choose_backend()) return nullptr;  // no display to show it on
    scale = std::max(1, backend_scale());
  }
  HWND hwnd;
  surface* s = nullptr;
  surface* owner_surf = nullptr;  // pinned, so that its native window stays meanwhile
  void* owner_native = nullptr;
  POINT at{};
  HICON icon = nullptr;
  frame_kind frame;
  {
    auto [g, given] = lock_window(parent);
    wnd_class* cls = find_class(class_name);
    if (!cls) return nullptr;
    // The window given is a child's parent, or a top-level window's owner.
    window* p = (style & WS_CHILD) ? given : nullptr;
    window* owner = (style & WS_CHILD) ? nullptr : given;
    if ((style & WS_CHILD) && (!p || p->destroying)) return nullptr;
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
      s = w->surf = new surface;
      s->w = w->client.right - w->client.left;
      s->h = w->client.bottom - w->client.top;
      s->scale = scale;
      s->pixels.assign(static_cast<size_t>(s->w) * s->h * scale * scale, 0x00FFFFFF);
      at = POINT{x + w->client.left, y + w->client.top};
      icon = cls->icon;
      if (window* o = owner ? top_of(owner) : nullptr; o && o->surf) {
        owner_surf = pin_surface(o->surf);
        owner_native = o->surf->native;
      }
      frame.sizable = (w->style & WS_THICKFRAME) != 0;
      frame.minimize = (w->style & WS_MINIMIZEBOX) != 0;
      frame.maximize = (w->style & WS_MAXIMIZEBOX) != 0;
      frame.dialog = owner && (w->style & WS_POPUP);
    }
  }
  // Nobody else knows the handle yet, so the window cannot go meanwhile.
  if (s) {
    void* native = backend_create(hwnd, s, at.x, at.y, title ? title : "");
    {
      core_guard g(core_lock());
      s->native = native;
    }
    if (icon) backend_set_icon(native, icon);
    if (owner_surf) {
      backend_set_owner(native, owner_native);
      unpin_surface(owner_surf);
    }
    if (native) backend_set_frame(native, frame);
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
  surface* shown = nullptr;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return nullptr;
    if (w->style & WS_VISIBLE) {
      if (w->surf) shown = pin_to_show(w->surf, true);
      invalidate_all(w);
    }
  }
  if (shown) show_surface(shown);
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
    surface* hidden = nullptr;
    if (auto [g, w] = lock_window(hwnd); w) {
      w->style &= ~WS_VISIBLE;
      if (w->surf) hidden = pin_to_show(w->surf, false);
      // The parent shows through where the child was, besides what it
      // already had to paint.
      if (w->parent) add_update(w->parent, w->rect, true);
    }
    if (hidden) show_surface(hidden);
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
  surface* s = nullptr;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return was;
    if (show) {
      w->style |= WS_VISIBLE;
      invalidate_all(w);
    } else {
      w->style &= ~WS_VISIBLE;
      if (w->parent) add_update(w->parent, w->rect, true);
    }
    if (w->surf)
      s = pin_to_show(w->surf, show);
    else
      queue_wake(w->owner);
  }
  if (s) {
    show_surface(s);
    // Woken after the show, the owner presents to a window already on the screen.
    if (auto [g, w] = lock_window(hwnd); w) queue_wake(w->owner);
  }
  return was;
}

BOOL IsWindow(HWND hwnd) { return lock_window(hwnd).w != nullptr; }

// The enabled flag is WS_DISABLED, as on Windows; input_* drop input for a
// disabled top-level window. Returns whether it was disabled before.
BOOL EnableWindow(HWND hwnd, BOOL enable) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return FALSE;
  BOOL was_disabled = (w->style & WS_DISABLED) != 0;
  if (enable)
    w->style &= ~WS_DISABLED;
  else
    w->style |= WS_DISABLED;
  return was_disabled;
}

BOOL IsWindowEnabled(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
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
