#pragma once
// Device contexts and the drawing the controls do with them (dc.cpp,
// text.cpp). Nothing outside platform/ includes this header.

#include <cstdint>

#include "platform/core.h"

// A device context: where on its top-level surface a window draws.
struct gdi_dc {
  HWND hwnd;
  int ox, oy;  // client origin in the top-level surface
  RECT clip;   // in the top-level surface
};

// Under core_lock:
HDC new_dc(HWND hwnd, int ox, int oy, RECT clip);
RECT visible_client(window* w);  // of w's client area, in its top-level surface

// What a DC draws on, its surface pinned: the pixels are drawn under the
// surface's own lock, not the core's, which dc_begin takes and gives back.
struct dc_target {
  surface* s;
  int ox, oy;  // the DC's origin on the surface
  RECT clip;   // on the surface, and within it
};
bool dc_begin(HDC hdc, dc_target* t);  // false once the DC or its window is gone
void dc_end(const dc_target& t);

// Without the lock:
uint32_t rgb_of(COLORREF c);
HBRUSH sys_brush(int index);
void dc_fill(HDC dc, RECT r, COLORREF c);
void dc_frame(HDC dc, RECT r, COLORREF c);  // one-pixel outline
void dc_edge(HDC dc, RECT r, bool sunken);  // the classic 3D border of a push button
void dc_focus_rect(HDC dc, RECT r);         // the dotted outline of the focus
void dc_text(HDC dc, int x, int y, const char* text, int len, COLORREF c);
int text_width(const char* text, int len);
int text_height();
uint32_t blend(uint32_t dst, uint32_t src, unsigned alpha);  // a glyph's coverage onto a pixel
void draw_frame(HWND hwnd);                                  // WS_BORDER and WS_EX_CLIENTEDGE
