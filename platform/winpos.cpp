// Frame metrics, the outer and client rectangles of a window and their sizes.

#include "platform/controls.h"
#include "platform/metrics.h"

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

bool window_client_size(HWND hwnd, int* cw, int* ch) {
  auto [g, w] = lock_window(hwnd);
  if (!w) return false;
  *cw = w->client.right - w->client.left;
  *ch = w->client.bottom - w->client.top;
  return true;
}

void set_window_height(HWND hwnd, int height) {
  auto [g, w] = lock_window(hwnd);
  if (!w || w->surf) return;
  layout(w, w->rect.left, w->rect.top, w->rect.right - w->rect.left, height);
}
