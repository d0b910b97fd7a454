// Update regions, WM_PAINT and BeginPaint, and presenting what was drawn.

#include <cstring>
#include <utility>
#include <vector>

#include "platform/backend.h"
#include "platform/draw.h"

namespace {

// Paints w and its descendants that wait for it, parents first.
void paint_tree(HWND hwnd) {
  std::vector<HWND> kids;
  bool need;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w || !tree_visible(w)) return;
    need = !IsRectEmpty(&w->update);
    for (window* c : w->children) kids.push_back(c->handle);
  }
  if (need) {
    SendMessageA(hwnd, WM_PAINT, 0, 0);  // on the owner thread, from any caller
    if (auto [g, w] = lock_window(hwnd); w) w->update = RECT{};
  }
  for (HWND k : kids) paint_tree(k);
}

}  // namespace

void add_update(window* w, RECT r, bool erase) {
  RECT client{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  if (!IntersectRect(&r, &r, &client)) return;
  UnionRect(&w->update, &w->update, &r);
  w->erase = w->erase || erase;
  if (w->style & WS_CLIPCHILDREN) return;
  for (window* c : w->children) {
    int dx = c->rect.left + c->client.left, dy = c->rect.top + c->client.top;
    RECT in_child = r;
    OffsetRect(&in_child, -dx, -dy);
    add_update(c, in_child, erase);
  }
}

void invalidate_all(window* w) {
  w->update = RECT{0, 0, w->client.right - w->client.left, w->client.bottom - w->client.top};
  w->erase = true;
  for (window* c : w->children) invalidate_all(c);
}

window* paint_candidate(thread_queue* q, HWND filter) {
  window* f = filter ? find_window(filter) : nullptr;
  for (window* w : window_slots()) {
    if (!w || w->owner != q || IsRectEmpty(&w->update) || !tree_visible(w)) continue;
    if (f && !is_descendant(w, f)) continue;
    while (w->parent && !IsRectEmpty(&w->parent->update) && (!f || w != f)) w = w->parent;
    return w;
  }
  return nullptr;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  memset(ps, 0, sizeof *ps);
  HDC dc;
  bool erase;
  {
    auto [g, w] = lock_window(hwnd);
    if (!w) return nullptr;
    RECT c = client_in_top(w);
    RECT upd = w->update;
    erase = w->erase;
    w->update = RECT{};
    w->erase = false;
    RECT clip = upd, visible = visible_client(w);
    OffsetRect(&clip, c.left, c.top);
    IntersectRect(&clip, &clip, &visible);
    dc = new_dc(hwnd, c.left, c.top, clip);
    ps->rcPaint = upd;
  }
  ps->hdc = dc;
  ps->fErase = TRUE;
  if (erase)
    ps->fErase = call_proc(hwnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) ? FALSE : TRUE;
  return ps->hdc;
}

BOOL EndPaint(HWND hwnd, const PAINTSTRUCT* ps) {
  if (!ps || !ps->hdc) return FALSE;
  ReleaseDC(hwnd, ps->hdc);
  return TRUE;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  auto [g, w] = lock_window(hwnd);
  if (!hwnd) {
    for (window* t : window_slots())
      if (t && !t->parent) {
        add_update(t, RECT{0, 0, 1 << 20, 1 << 20}, erase);
        queue_wake(t->owner);
      }
    return TRUE;
  }
  if (!w) return FALSE;
  add_update(w, rect ? *rect : RECT{0, 0, 1 << 20, 1 << 20}, erase);
  queue_wake(w->owner);
  return TRUE;
}

BOOL ValidateRect(HWND hwnd, const RECT* rect) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return FALSE;
  if (!rect || (rect->left <= w->update.left && rect->top <= w->update.top &&
                rect->right >= w->update.right && rect->bottom >= w->update.bottom)) {
    w->update = RECT{};
    w->erase = false;
  }
  return TRUE;
}

BOOL UpdateWindow(HWND hwnd) {
  if (!IsWindow(hwnd)) return FALSE;
  paint_tree(hwnd);
  surface* s = nullptr;
  RECT area{};
  if (auto [g, w] = lock_window(hwnd); w && w->owner == my_queue()) {
    window* top = top_of(w);
    if (top->surf && (top->style & WS_VISIBLE) && !IsRectEmpty(&top->surf->dirty)) {
      s = pin_surface(top->surf);
      area = s->dirty;
      s->dirty = RECT{};
    }
  }
  if (s) present_surface(s, area);
  return TRUE;
}

void present_dirty(thread_queue* q) {
  std::vector<std::pair<surface*, RECT>> due;
  {
    core_guard g(core_lock());
    for (window* w : window_slots()) {
      if (!w || w->owner != q || !w->surf || IsRectEmpty(&w->surf->dirty) ||
          !(w->style & WS_VISIBLE))
        continue;
      due.emplace_back(pin_surface(w->surf), w->surf->dirty);
      w->surf->dirty = RECT{};
    }
  }
  for (auto [s, area] : due) present_surface(s, area);
}
