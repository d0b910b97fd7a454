// Device contexts, brushes, the system colours and the fills and edges the
// controls draw with.

#include <algorithm>
#include <unordered_set>

#include "platform/backend.h"
#include "platform/controls.h"
#include "platform/draw.h"

namespace {

struct gdi_brush {
  COLORREF color;
  bool hollow;
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

// Moves r from the DC's coordinates onto the surface and clips it there;
// false when nothing of it is left to draw.
bool clip_to(const dc_target& t, RECT* r) {
  OffsetRect(r, t.ox, t.oy);
  return IntersectRect(r, r, &t.clip);
}

// r in the program's pixels, each of which covers scale x scale of the surface's.
void fill_pixels(surface* s, RECT r, uint32_t rgb) {
  int k = s->scale;
  long stride = static_cast<long>(s->w) * k;
  for (LONG y = r.top * k; y < r.bottom * k; y++)
    std::fill_n(s->pixels.begin() + y * stride + r.left * k, (r.right - r.left) * k, rgb);
}

void fill_on(const dc_target& t, RECT r, COLORREF c) {
  if (!clip_to(t, &r)) return;
  std::lock_guard<std::mutex> g(t.s->lock);
  fill_pixels(t.s, r, rgb_of(c));
}

void mark_dirty(surface* s, RECT r) { UnionRect(&s->dirty, &s->dirty, &r); }

}  // namespace

RECT visible_client(window* w) {
  RECT r = client_in_top(w);
  for (window* p = w->parent; p; p = p->parent) {
    RECT pc = client_in_top(p);
    IntersectRect(&r, &r, &pc);
  }
  return r;
}

bool dc_begin(HDC hdc, dc_target* t) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  core_guard g(core_lock());
  if (!live_dcs().count(dc)) return false;
  window* w = find_window(dc->hwnd);
  surface* s = w ? top_of(w)->surf : nullptr;
  if (!s) return false;
  RECT whole{0, 0, s->w, s->h};
  *t = dc_target{pin_surface(s), dc->ox, dc->oy, {}};
  IntersectRect(&t->clip, &dc->clip, &whole);
  return true;
}

void dc_end(const dc_target& t) { unpin_surface(t.s); }

HDC new_dc(HWND hwnd, int ox, int oy, RECT clip) {
  auto* dc = new gdi_dc{hwnd, ox, oy, clip};
  live_dcs().insert(dc);
  return reinterpret_cast<HDC>(dc);
}

HBRUSH sys_brush(int index) {
  if (index < 0 || index >= sys_color_count) return nullptr;
  return reinterpret_cast<HBRUSH>(&sys_brushes()[index]);
}

DWORD GetSysColor(int index) { return classic_color(index); }

uint32_t rgb_of(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

HBRUSH CreateSolidBrush(COLORREF color) {
  auto* b = new gdi_brush{color & 0x00FFFFFF, false};
  core_guard g(core_lock());
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
  core_guard g(core_lock());
  if (is_stock(b)) return TRUE;  // stock objects outlive every delete, as on Windows
  if (!live_brushes().erase(b)) return FALSE;
  delete b;
  return TRUE;
}

HDC GetDC(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
  RECT c = client_in_top(w);
  return new_dc(hwnd, c.left, c.top, visible_client(w));
}

int ReleaseDC(HWND, HDC hdc) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  core_guard g(core_lock());
  if (!live_dcs().erase(dc)) return 0;
  if (window* w = find_window(dc->hwnd); w && top_of(w)->surf)
    mark_dirty(top_of(w)->surf, dc->clip);
  delete dc;
  return 1;
}

int FillRect(HDC hdc, const RECT* rect, HBRUSH brush) {
  if (!rect) return 0;
  COLORREF c;
  {
    core_guard g(core_lock());
    if (!brush_color(brush, &c)) return 0;
  }
  dc_target t;
  if (!dc_begin(hdc, &t)) return 0;
  fill_on(t, *rect, c);
  dc_end(t);
  return 1;
}

void dc_fill(HDC hdc, RECT r, COLORREF c) {
  dc_target t;
  if (!dc_begin(hdc, &t)) return;
  fill_on(t, r, c);
  dc_end(t);
}

void dc_frame(HDC dc, RECT r, COLORREF c) {
  dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, c);
  dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, c);
  dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, c);
  dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, c);
}

void dc_edge(HDC dc, RECT r, bool sunken) {
  if (sunken) {
    dc_frame(dc, r, GetSysColor(COLOR_3DDKSHADOW));
    dc_frame(dc, RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1},
             GetSysColor(COLOR_BTNSHADOW));
    return;
  }
  COLORREF hi = GetSysColor(COLOR_BTNHIGHLIGHT), dk = GetSysColor(COLOR_3DDKSHADOW);
  COLORREF lt = GetSysColor(COLOR_3DLIGHT), sh = GetSysColor(COLOR_BTNSHADOW);
  dc_fill(dc, RECT{r.left, r.top, r.right - 1, r.top + 1}, hi);
  dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom - 1}, hi);
  dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, dk);
  dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, dk);
  dc_fill(dc, RECT{r.left + 1, r.top + 1, r.right - 2, r.top + 2}, lt);
  dc_fill(dc, RECT{r.left + 1, r.top + 1, r.left + 2, r.bottom - 2}, lt);
  dc_fill(dc, RECT{r.left + 1, r.bottom - 2, r.right - 1, r.bottom - 1}, sh);
  dc_fill(dc, RECT{r.right - 2, r.top + 1, r.right - 1, r.bottom - 1}, sh);
}

// Every other pixel of the outline inverted, as DrawFocusRect draws it.
void dc_focus_rect(HDC hdc, RECT r) {
  dc_target t;
  if (IsRectEmpty(&r) || !dc_begin(hdc, &t)) return;
  surface* s = t.s;
  auto invert = [&](LONG x, LONG y) {
    RECT p{x, y, x + 1, y + 1};
    if (!clip_to(t, &p)) return;
    int k = s->scale;
    long stride = static_cast<long>(s->w) * k;
    for (LONG sy = p.top * k; sy < p.bottom * k; sy++)
      for (LONG sx = p.left * k; sx < p.right * k; sx++) s->pixels[sy * stride + sx] ^= 0xFFFFFF;
  };
  {
    std::lock_guard<std::mutex> g(s->lock);
    for (LONG x = r.left; x < r.right; x += 2) {
      invert(x, r.top);
      invert(x, r.bottom - 1);
    }
    for (LONG y = r.top + 2; y < r.bottom - 1; y += 2) {
      invert(r.left, y);
      invert(r.right - 1, y);
    }
  }
  dc_end(t);
}

HDC GetWindowDC(HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return nullptr;
  RECT c = client_in_top(w);
  int ox = c.left - w->client.left, oy = c.top - w->client.top;
  RECT outer{ox, oy, ox + (w->rect.right - w->rect.left), oy + (w->rect.bottom - w->rect.top)};
  RECT clip = visible_client(w->parent ? w->parent : w);
  if (w->parent) IntersectRect(&clip, &clip, &outer);
  return new_dc(hwnd, ox, oy, clip);
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
    COLORREF sh = GetSysColor(COLOR_BTNSHADOW), hi = GetSysColor(COLOR_BTNHIGHLIGHT);
    dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, sh);
    dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, sh);
    dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, hi);
    dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, hi);
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
    dc_fill(dc, RECT{r.left, r.top, r.right, r.top + 1}, GetSysColor(COLOR_3DDKSHADOW));
    dc_fill(dc, RECT{r.left, r.top, r.left + 1, r.bottom}, GetSysColor(COLOR_3DDKSHADOW));
    dc_fill(dc, RECT{r.left, r.bottom - 1, r.right, r.bottom}, GetSysColor(COLOR_3DLIGHT));
    dc_fill(dc, RECT{r.right - 1, r.top, r.right, r.bottom}, GetSysColor(COLOR_3DLIGHT));
    r = RECT{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
  }
  if (style & WS_BORDER) dc_frame(dc, r, RGB(0, 0, 0));
  ReleaseDC(hwnd, dc);
}
