// Brushes, device contexts, update regions and the drawing the controls use.

#include <algorithm>
#include <cstring>
#include <unordered_set>

#include "platform/font_data.h"
#include "platform/internal.h"

namespace {

struct gdi_brush {
  COLORREF color;
  bool hollow;
};

struct gdi_dc {
  HWND hwnd;
  int ox, oy;  // client origin in the top-level surface
  RECT clip;   // in the top-level surface
  bool painting;
};

gdi_brush stock_brushes[] = {{0xFFFFFF, false}, {0xC0C0C0, false}, {0x808080, false},
                             {0x404040, false}, {0x000000, false}, {0, true}};

constexpr int sys_color_count = 31;

// The classic scheme: grey faces, 3D edges, a navy selection.
COLORREF classic_color(int i) {
  switch (i) {
    case COLOR_SCROLLBAR:
      return RGB(212, 208, 200);
    case COLOR_BACKGROUND:
      return RGB(58, 110, 165);
    case COLOR_WINDOW:
      return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
      return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT:
      return RGB(10, 36, 106);
    case COLOR_HIGHLIGHTTEXT:
      return RGB(255, 255, 255);
    case COLOR_BTNFACE:
      return RGB(212, 208, 200);
    case COLOR_BTNSHADOW:
      return RGB(128, 128, 128);
    case COLOR_BTNTEXT:
      return RGB(0, 0, 0);
    case COLOR_BTNHIGHLIGHT:
      return RGB(255, 255, 255);
    case COLOR_3DDKSHADOW:
      return RGB(64, 64, 64);
    case COLOR_3DLIGHT:
      return RGB(212, 208, 200);
  }
  return RGB(192, 192, 192);
}

gdi_brush* sys_brushes() {
  static gdi_brush* b = [] {
    auto* a = new gdi_brush[sys_color_count];
    for (int i = 0; i < sys_color_count; i++) a[i] = gdi_brush{classic_color(i), false};
    return a;
  }();
  return b;
}

std::unordered_set<gdi_brush*>& live_brushes() {
  static auto* s = new std::unordered_set<gdi_brush*>;
  return *s;
}

std::unordered_set<gdi_dc*>& live_dcs() {
  static auto* s = new std::unordered_set<gdi_dc*>;
  return *s;
}

bool is_stock(gdi_brush* b) {
  if (b >= stock_brushes && b < stock_brushes + std::size(stock_brushes)) return true;
  return b >= sys_brushes() && b < sys_brushes() + sys_color_count;
}

// Under core_lock. A class brush may also be a system colour index plus one.
bool brush_color(HBRUSH h, COLORREF* c) {
  auto v = reinterpret_cast<uintptr_t>(h);
  if (v > 0 && v <= sys_color_count) {
    *c = classic_color(static_cast<int>(v - 1));
    return true;
  }
  auto* b = reinterpret_cast<gdi_brush*>(h);
  if (!b || (!is_stock(b) && !live_brushes().count(b)) || b->hollow) return false;
  *c = b->color;
  return true;
}

// Visible part of w's client area in its top-level surface.
RECT visible_client(window* w) {
  RECT r = client_in_top(w);
  for (window* p = w->parent; p; p = p->parent) {
    RECT pc = client_in_top(p);
    IntersectRect(&r, &r, &pc);
  }
  return r;
}

// Under core_lock: the surface a DC draws on, or null when its window is gone.
surface* dc_surface(gdi_dc* dc) {
  if (!live_dcs().count(dc)) return nullptr;
  window* w = find_window(dc->hwnd);
  return w ? top_of(w)->surf : nullptr;
}

// Moves r from the DC's coordinates onto the surface and clips it there;
// false when nothing of it is left to draw.
bool clip_to_dc(const gdi_dc* dc, const surface* s, RECT* r) {
  RECT whole{0, 0, s->w, s->h};
  OffsetRect(r, dc->ox, dc->oy);
  return IntersectRect(r, r, &dc->clip) && IntersectRect(r, r, &whole);
}

void fill_pixels(surface* s, RECT r, uint32_t rgb) {
  for (LONG y = r.top; y < r.bottom; y++)
    std::fill_n(s->pixels.begin() + static_cast<long>(y) * s->w + r.left, r.right - r.left, rgb);
}

void mark_dirty(surface* s, RECT r) { UnionRect(&s->dirty, &s->dirty, &r); }

uint32_t blend(uint32_t dst, uint32_t src, unsigned a) {
  uint32_t out = 0;
  for (int sh = 0; sh <= 16; sh += 8) {
    unsigned d = (dst >> sh) & 0xFF, c = (src >> sh) & 0xFF;
    out |= ((c * a + d * (255 - a) + 127) / 255) << sh;
  }
  return out;
}

void builtin_text(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                  uint32_t rgb) {
  for (int i = 0; i < len; i++) {
    auto ch = static_cast<unsigned char>(text[i]);
    if (ch < 32 || ch > 126) ch = '?';
    const font_glyph& g = font_glyphs[ch - 32];
    const auto* bits = reinterpret_cast<const unsigned char*>(font_bits) + g.offset;
    for (int gy = 0; gy < g.h; gy++) {
      int py = baseline - g.top + gy;
      if (py < clip.top || py >= clip.bottom) continue;
      for (int gx = 0; gx < g.w; gx++) {
        int px = x + g.left + gx;
        unsigned a = bits[gy * g.w + gx];
        if (!a || px < clip.left || px >= clip.right) continue;
        uint32_t& d = s->pixels[static_cast<size_t>(py) * s->w + px];
        d = blend(d, rgb, a);
      }
    }
    x += g.advance;
  }
}

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

HBRUSH sys_brush(int index) {
  if (index < 0 || index >= sys_color_count) return nullptr;
  return reinterpret_cast<HBRUSH>(&sys_brushes()[index]);
}

COLORREF sys_color(int index) { return classic_color(index); }

DWORD GetSysColor(int index) { return classic_color(index); }

uint32_t rgb_of(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new gdi_brush{color & 0x00FFFFFF, false};
  std::lock_guard<std::mutex> g(core_lock());
  live_brushes().insert(b);
  return reinterpret_cast<HBRUSH>(b);
}

HGDIOBJ GetStockObject(int index) {
  if (index < 0 || index >= static_cast<int>(std::size(stock_brushes))) return nullptr;
  return &stock_brushes[index];
}

BOOL DeleteObject(HGDIOBJ object) {
  auto* b = static_cast<gdi_brush*>(object);
  if (!b) return FALSE;
  std::lock_guard<std::mutex> g(core_lock());
  if (is_stock(b)) return TRUE;  // stock objects outlive every delete, as on Windows
  if (!live_brushes().erase(b)) return FALSE;
  delete b;
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
  RECT c = client_in_top(w);
  auto* dc = new gdi_dc{hwnd, c.left, c.top, visible_client(w), false};
  live_dcs().insert(dc);
  return reinterpret_cast<HDC>(dc);
}

int ReleaseDC(HWND, HDC hdc) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  std::lock_guard<std::mutex> g(core_lock());
  if (!live_dcs().erase(dc)) return 0;
  if (surface* s = find_window(dc->hwnd) ? top_of(find_window(dc->hwnd))->surf : nullptr)
    mark_dirty(s, dc->clip);
  delete dc;
  return 1;
}

HDC BeginPaint(HWND hwnd, LPPAINTSTRUCT ps) {
  if (!ps) return nullptr;
  memset(ps, 0, sizeof *ps);
  gdi_dc* dc;
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
    dc = new gdi_dc{hwnd, c.left, c.top, clip, true};
    live_dcs().insert(dc);
    ps->rcPaint = upd;
  }
  ps->hdc = reinterpret_cast<HDC>(dc);
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

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  std::lock_guard<std::mutex> g(core_lock());
  surface* s = dc_surface(dc);
  COLORREF c;
  if (!s || !brush_color(brush, &c)) return 0;
  RECT r = *rect;
  if (clip_to_dc(dc, s, &r)) fill_pixels(s, r, rgb_of(c));
  return 1;
}

BOOL InvalidateRect(HWND hwnd, const RECT* rect, BOOL erase) {
  std::lock_guard<std::mutex> g(core_lock());
  if (!hwnd) {
    for (window* w : window_slots())
      if (w && !w->parent) {
        add_update(w, RECT{0, 0, 1 << 20, 1 << 20}, erase);
        queue_wake(w->owner);
      }
    return TRUE;
  }
  window* w = find_window(hwnd);
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
  auto [g, w] = lock_window(hwnd);
  if (w && w->owner == my_queue()) {
    window* top = top_of(w);
    const backend* be = current_backend();
    if (be && top->surf && (top->style & WS_VISIBLE) && !IsRectEmpty(&top->surf->dirty)) {
      be->present(top->surf->native, top->surf, top->surf->dirty);
      top->surf->dirty = RECT{};
    }
  }
  return TRUE;
}

void present_dirty(thread_queue* q) {
  std::lock_guard<std::mutex> g(core_lock());
  const backend* be = current_backend();
  if (!be) return;
  for (window* w : window_slots()) {
    if (!w || w->owner != q || !w->surf || IsRectEmpty(&w->surf->dirty) || !(w->style & WS_VISIBLE))
      continue;
    be->present(w->surf->native, w->surf, w->surf->dirty);
    w->surf->dirty = RECT{};
  }
}

void dc_fill(HDC hdc, RECT r, COLORREF c) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  std::lock_guard<std::mutex> g(core_lock());
  surface* s = dc_surface(dc);
  if (!s) return;
  if (clip_to_dc(dc, s, &r)) fill_pixels(s, r, rgb_of(c));
}

void dc_frame(HDC dc, RECT r, COLORREF c) {
  dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, c);
  dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, c);
  dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, c);
  dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, c);
}

void dc_edge(HDC dc, RECT r, bool sunken) {
  if (sunken) {
    dc_frame(dc, r, sys_color(COLOR_3DDKSHADOW));
    dc_frame(dc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1},
             sys_color(COLOR_BTNSHADOW));
    return;
  }
  COLORREF hi = sys_color(COLOR_BTNHIGHLIGHT), dk = sys_color(COLOR_3DDKSHADOW);
  COLORREF lt = sys_color(COLOR_3DLIGHT), sh = sys_color(COLOR_BTNSHADOW);
  dc_fill(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, hi);
  dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, hi);
  dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dk);
  dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, dk);
  dc_fill(dc, RECT{r.left + 1, r.top + 1, r.right - 2, r.top + 2}, lt);
  dc_fill(dc, RECT{r.left + 1, r.top + 1, r.left + 2, r.bottom - 2}, lt);
  dc_fill(dc, RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, sh);
  dc_fill(dc, RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, sh);
}

void dc_text(HDC hdc, int x, int y, const char* text, int len, COLORREF c) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  std::lock_guard<std::mutex> g(core_lock());
  surface* s = dc_surface(dc);
  if (!s || len <= 0) return;
  RECT clip, whole{0, 0, s->w, s->h};
  IntersectRect(&clip, &dc->clip, &whole);
  const backend* be = current_backend();
  int bx = x + dc->ox, baseline = y + dc->oy + font_ascent;
  if (!be || !be->draw_text || !be->draw_text(s, bx, baseline, clip, text, len, rgb_of(c)))
    builtin_text(s, bx, baseline, clip, text, len, rgb_of(c));
}

int text_width(const char* text, int len) {
  const backend* be;
  {
    std::lock_guard<std::mutex> g(core_lock());
    be = current_backend();
  }
  int w = (be && be->text_width) ? be->text_width(text, len) : -1;
  if (w >= 0) return w;
  w = 0;
  for (int i = 0; i < len; i++) {
    auto ch = static_cast<unsigned char>(text[i]);
    w += font_glyphs[(ch < 32 || ch > 126 ? '?' : ch) - 32].advance;
  }
  return w;
}

int text_height() { return font_ascent + font_descent; }

HDC GetWindowDC(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
  RECT c = client_in_top(w);
  int ox = c.left - w->client.left, oy = c.top - w->client.top;
  RECT outer{ox, oy, ox + (w->rect.right - w->rect.left), oy + (w->rect.bottom - w->rect.top)};
  RECT clip = visible_client(w->parent ? w->parent : w);
  if (w->parent) IntersectRect(&clip, &clip, &outer);
  auto* dc = new gdi_dc{hwnd, ox, oy, clip, false};
  live_dcs().insert(dc);
  return reinterpret_cast<HDC>(dc);
}

void draw_frame(HWND hwnd) {
  DWORD style = window_style(hwnd);
  DWORD ex = static_cast<DWORD>(GetWindowLongPtrA(hwnd, GWL_EXSTYLE));
  if (!(style & WS_CHILD) || !(style & WS_BORDER || ex & WS_EX_CLIENTEDGE)) return;
  RECT r;
  GetWindowRect(hwnd, &r);
  r = RECT{0, 0, r.right - r.left, r.bottom - r.top};
  HDC dc = GetWindowDC(hwnd);
  if (ex & WS_EX_CLIENTEDGE) {
    COLORREF sh = sys_color(COLOR_BTNSHADOW), hi = sys_color(COLOR_BTNHIGHLIGHT);
    dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, sh);
    dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, sh);
    dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, hi);
    dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, hi);
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, sys_color(COLOR_3DDKSHADOW));
    dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, sys_color(COLOR_3DDKSHADOW));
    dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, sys_color(COLOR_3DLIGHT));
    dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, sys_color(COLOR_3DLIGHT));
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  if (style & WS_BORDER) dc_frame(dc, r, RGB(0, 0, 0));
  ReleaseDC(hwnd, dc);
}
