// The "ListBox" control: single selection, optional sorting and notifications.

#include <strings.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/metrics.h"

namespace {

constexpr int item_height = 16;
constexpr int wheel_lines = 3;

struct listbox {
  std::vector<std::string> items;
  int sel = -1;
  int top = 0;
  bool captured = false;  // a press on an item, until the button comes up or the focus goes
  bool focus = false;
};

listbox* state(HWND hwnd) { return control_of<listbox>(hwnd); }

// Windows compares list box items as CompareString does with the case
// ignored: punctuation before digits before letters, so "10.0.0.10" sorts
// above "10.0.0.2". Its word sort passes over hyphens and apostrophes at
// first, so that "co-op" stays beside "coop"; they only part two texts that
// are otherwise alike, the one without them first.
int weight(unsigned char c) {
  if (std::isdigit(c)) return 0x100 + c;
  if (std::isalpha(c)) return 0x200 + std::tolower(c);
  return c;
}

bool word_mark(char c) { return c == '-' || c == '\''; }

int compare_words(const std::string& a, const std::string& b) {
  size_t i = 0, j = 0;
  for (;;) {
    while (i < a.size() && word_mark(a[i])) i++;
    while (j < b.size() && word_mark(b[j])) j++;
    if (i == a.size() || j == b.size()) break;
    int d = weight(static_cast<unsigned char>(a[i])) - weight(static_cast<unsigned char>(b[j]));
    if (d) return d;
    i++, j++;
  }
  if (i != a.size() || j != b.size()) return i == a.size() ? -1 : 1;
  auto marks = [](const std::string& s) { return std::count_if(s.begin(), s.end(), word_mark); };
  return static_cast<int>(marks(a) - marks(b));
}

// Where a new item goes in a sorted box: Windows' binary search, which puts
// an item that compares equal before the equal one it meets first.
int sorted_position(const listbox* lb, const std::string& s) {
  int lo = 0, hi = static_cast<int>(lb->items.size());
  while (lo != hi) {
    int mid = (lo + hi) / 2;
    int d = compare_words(lb->items[static_cast<size_t>(mid)], s);
    if (d == 0) return mid;
    if (d > 0)
      hi = mid;
    else
      lo = mid + 1;
  }
  return hi;
}

bool equal_nocase(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

int visible_rows(HWND hwnd) {
  int w, h;
  if (!window_client_size(hwnd, &w, &h)) return 1;
  return std::max(1, h / item_height);
}

void clamp_top(HWND hwnd, listbox* lb) {
  int rows = visible_rows(hwnd);
  int max_top = std::max(0, static_cast<int>(lb->items.size()) - rows);
  lb->top = std::clamp(lb->top, 0, max_top);
}

void show_item(HWND hwnd, listbox* lb, int i) {
  int rows = visible_rows(hwnd);
  if (i < lb->top) lb->top = i;
  if (i >= lb->top + rows) lb->top = i - rows + 1;
  clamp_top(hwnd, lb);
}

void notify(HWND hwnd, WORD code) {
  if (window_style(hwnd) & LBS_NOTIFY) notify_parent(hwnd, code);
}

int item_at(listbox* lb, int y) {
  if (y < 0) return -1;
  int i = lb->top + y / item_height;
  return i < static_cast<int>(lb->items.size()) ? i : -1;
}

// The vertical scroll bar, drawn only where the style asks for WS_VSCROLL.
void paint_scrollbar(HWND hwnd, listbox* lb, int cw, int ch) {
  HDC dc = GetWindowDC(hwnd);
  int off = (window_style(hwnd) & WS_BORDER) ? 1 : 0;
  RECT bar{off + cw, off, off + cw + scrollbar_width, off + ch};
  dc_fill(dc, bar, GetSysColor(COLOR_SCROLLBAR));
  RECT up{bar.left, bar.top, bar.right, bar.top + scroll_arrow_height};
  RECT down{bar.left, bar.bottom - scroll_arrow_height, bar.right, bar.bottom};
  dc_fill(dc, up, GetSysColor(COLOR_BTNFACE));
  dc_edge(dc, up, false);
  dc_fill(dc, down, GetSysColor(COLOR_BTNFACE));
  dc_edge(dc, down, false);
  int n = static_cast<int>(lb->items.size()), rows = std::max(1, ch / item_height);
  int track = ch - 2 * scroll_arrow_height;
  if (n > rows && track > 8) {
    int thumb = std::max(8, track * rows / n);
    int pos = (track - thumb) * lb->top / std::max(1, n - rows);
    int at = bar.top + scroll_arrow_height + pos;
    RECT t{bar.left, at, bar.right, at + thumb};
    dc_fill(dc, t, GetSysColor(COLOR_BTNFACE));
    dc_edge(dc, t, false);
  }
  ReleaseDC(hwnd, dc);
}

void paint(HWND hwnd) {
  draw_frame(hwnd);
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd, &ps);
  listbox* lb = state(hwnd);
  int cw, ch;
  if (!lb || !window_client_size(hwnd, &cw, &ch)) {
    EndPaint(hwnd, &ps);
    return;
  }
  dc_fill(dc, RECT{0, 0, cw, ch}, GetSysColor(COLOR_WINDOW));
  int ty = (item_height - text_height()) / 2;
  for (int i = lb->top, y = 0; i < static_cast<int>(lb->items.size()) && y < ch;
       i++, y += item_height) {
    const std::string& s = lb->items[static_cast<size_t>(i)];
    COLORREF fg = GetSysColor(COLOR_WINDOWTEXT);
    if (i == lb->sel) {
      dc_fill(dc, RECT{0, y, cw, y + item_height}, GetSysColor(COLOR_HIGHLIGHT));
      fg = GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
    dc_text(dc, 2, y + ty, s.c_str(), static_cast<int>(s.size()), fg);
  }
  // The focus shows on the selected item, else on the first, also in an empty box.
  int caret = lb->sel >= 0 ? lb->sel : 0;
  if (lb->focus && caret >= lb->top) {
    int y = (caret - lb->top) * item_height;
    dc_focus_rect(dc, RECT{0, y, cw, y + item_height});
  }
  EndPaint(hwnd, &ps);
  if (window_style(hwnd) & WS_VSCROLL) paint_scrollbar(hwnd, lb, cw, ch);
}

void set_selection(HWND hwnd, listbox* lb, int i, bool user) {
  if (i == lb->sel) return;
  lb->sel = i;
  if (i >= 0) show_item(hwnd, lb, i);
  InvalidateRect(hwnd, nullptr, TRUE);
  if (user) notify(hwnd, LBN_SELCHANGE);
}

LRESULT insert(HWND hwnd, listbox* lb, int at, const char* text) {
  std::string s = text ? text : "";
  int n = static_cast<int>(lb->items.size());
  if (at < 0 || at > n) at = n;
  lb->items.insert(lb->items.begin() + at, std::move(s));
  if (lb->sel >= at) lb->sel++;
  InvalidateRect(hwnd, nullptr, TRUE);
  return at;
}

// A prefix search also matches past a leading "[" or "[-", as Windows does
// for the directory and drive items of a file list.
bool starts_with(const std::string& item, const char* text, size_t len) {
  if (strncasecmp(item.c_str(), text, len) == 0) return true;
  if (item.empty() || item[0] != '[') return false;
  if (strncasecmp(item.c_str() + 1, text, len) == 0) return true;
  return item.size() > 1 && item[1] == '-' && strncasecmp(item.c_str() + 2, text, len) == 0;
}

// The end of a press on an item: the selection it made is reported now.
void end_press(HWND hwnd, listbox* lb) {
  if (!lb->captured) return;
  lb->captured = false;
  ReleaseCapture();
  notify(hwnd, LBN_SELCHANGE);
}

LRESULT find(listbox* lb, WPARAM start, const char* text, bool exact) {
  int n = static_cast<int>(lb->items.size());
  if (!text || !*text || n == 0) return LB_ERR;  // the empty text matches nothing, as on Windows
  int from = static_cast<int>(static_cast<INT_PTR>(start));
  if (from < -1 || from >= n) from = -1;
  size_t len = strlen(text);
  // The search starts after `from` and wraps round to it, as on Windows.
  for (int k = 1; k <= n; k++) {
    int i = (from + k) % n;
    const std::string& s = lb->items[static_cast<size_t>(i)];
    if (exact ? equal_nocase(s, text) : starts_with(s, text, len)) return i;
  }
  return LB_ERR;
}

}  // namespace

LRESULT CALLBACK listbox_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  LRESULT result;
  listbox* lb = control_start<listbox>(hwnd, msg, wparam, lparam, &result);
  if (!lb) return result;
  int n = static_cast<int>(lb->items.size());
  int index = static_cast<int>(static_cast<INT_PTR>(wparam));
  switch (msg) {
    case WM_CREATE:
      // Without LBS_NOINTEGRALHEIGHT Windows shrinks the box to whole rows.
      if (!(window_style(hwnd) & LBS_NOINTEGRALHEIGHT)) {
        int cw, ch;
        RECT r;
        if (window_client_size(hwnd, &cw, &ch) && ch % item_height && ch >= item_height) {
          GetWindowRect(hwnd, &r);
          set_window_height(hwnd, r.bottom - r.top - ch % item_height);
        }
      }
      return 0;
    case LB_ADDSTRING: {
      const char* text = reinterpret_cast<const char*>(lparam);
      int at = n;
      if (window_style(hwnd) & LBS_SORT) at = sorted_position(lb, text ? text : "");
      return insert(hwnd, lb, at, text);
    }
    case LB_INSERTSTRING:
      if (index < -1 || index > n) return LB_ERR;
      return insert(hwnd, lb, index, reinterpret_cast<const char*>(lparam));
    case LB_DELETESTRING:
      if (index < 0 || index >= n) return LB_ERR;
      lb->items.erase(lb->items.begin() + index);
      if (lb->sel == index) lb->sel = -1;
      if (lb->sel > index) lb->sel--;
      clamp_top(hwnd, lb);
      InvalidateRect(hwnd, nullptr, TRUE);
      return n - 1;
    case LB_RESETCONTENT:
      lb->items.clear();
      lb->sel = -1;
      lb->top = 0;
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_GETCOUNT:
      return n;
    case LB_GETCURSEL:
      return lb->sel >= 0 ? lb->sel : LB_ERR;
    case LB_SETCURSEL:
      if (index < 0 || index >= n) {
        set_selection(hwnd, lb, -1, false);
        return LB_ERR;  // also for -1, which clears the selection, as Windows reports
      }
      set_selection(hwnd, lb, index, false);
      return index;
    case LB_GETTEXT: {
      if (index < 0 || index >= n || !lparam) return LB_ERR;
      const std::string& s = lb->items[static_cast<size_t>(index)];
      memcpy(reinterpret_cast<char*>(lparam), s.c_str(), s.size() + 1);
      return static_cast<LRESULT>(s.size());
    }
    case LB_GETTEXTLEN:
      if (index < 0 || index >= n) return LB_ERR;
      return static_cast<LRESULT>(lb->items[static_cast<size_t>(index)].size());
    case LB_GETTOPINDEX:
      return lb->top;
    case LB_SETTOPINDEX:
      if (index < 0 || (index >= n && n > 0)) return LB_ERR;
      lb->top = index;
      clamp_top(hwnd, lb);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case LB_GETITEMHEIGHT:
      return item_height;
    case LB_FINDSTRING:
      return find(lb, wparam, reinterpret_cast<const char*>(lparam), false);
    case LB_FINDSTRINGEXACT:
      return find(lb, wparam, reinterpret_cast<const char*>(lparam), true);
    case WM_LBUTTONDOWN: {
      SetFocus(hwnd);
      lb = state(hwnd);
      if (!lb) return 0;
      int x = static_cast<short>(LOWORD(lparam)), y = static_cast<short>(HIWORD(lparam));
      int cw, ch;
      window_client_size(hwnd, &cw, &ch);
      if (x >= cw && (window_style(hwnd) & WS_VSCROLL)) {
        int rows = visible_rows(hwnd);
        lb->top += (y < ch / 2) ? -rows : rows;
        clamp_top(hwnd, lb);
        InvalidateRect(hwnd, nullptr, TRUE);
        return 0;
      }
      int i = item_at(lb, y);
      if (i < 0) return 0;
      lb->captured = true;
      SetCapture(hwnd);
      if ((lb = state(hwnd))) set_selection(hwnd, lb, i, false);
      return 0;
    }
    case WM_MOUSEMOVE:
      if (lb->captured) {
        int i = item_at(lb, static_cast<short>(HIWORD(lparam)));
        if (i >= 0) set_selection(hwnd, lb, i, false);
      }
      return 0;
    case WM_LBUTTONUP:
      end_press(hwnd, lb);
      return 0;
    case WM_CAPTURECHANGED:
      lb->captured = false;
      return 0;
    case WM_LBUTTONDBLCLK:
      if (n > 0) notify(hwnd, LBN_DBLCLK);
      return 0;
    case WM_GETDLGCODE:
      return DLGC_WANTARROWS | DLGC_WANTCHARS;
    case WM_KEYDOWN: {
      if (n == 0) return 0;
      int rows = visible_rows(hwnd), cur = lb->sel, next;
      switch (wparam) {
        case VK_UP:
          next = cur < 0 ? 0 : cur - 1;
          break;
        case VK_DOWN:
          next = cur < 0 ? 0 : cur + 1;
          break;
        case VK_PRIOR:
          next = cur - rows + 1;
          break;
        case VK_NEXT:
          next = cur + rows - 1;
          break;
        case VK_HOME:
          next = 0;
          break;
        case VK_END:
          next = n - 1;
          break;
        default:
          return 0;
      }
      // With nothing selected the first key selects the caret's item, the first, as on Windows.
      if (cur < 0) next = 0;
      next = std::clamp(next, 0, n - 1);
      if (next != cur) set_selection(hwnd, lb, next, true);
      return 0;
    }
    case WM_MOUSEWHEEL: {
      auto delta = static_cast<short>(HIWORD(wparam));
      lb->top -= delta / WHEEL_DELTA * wheel_lines;
      clamp_top(hwnd, lb);
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    }
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      // A press that loses the focus ends there, capture and report with it.
      if (msg == WM_KILLFOCUS) end_press(hwnd, lb);
      if (!(lb = state(hwnd))) return 0;
      lb->focus = msg == WM_SETFOCUS;
      InvalidateRect(hwnd, nullptr, FALSE);
      // Unlike the other notifications, these do not wait for LBS_NOTIFY.
      notify_parent(hwnd, msg == WM_SETFOCUS ? LBN_SETFOCUS : LBN_KILLFOCUS);
      return 0;
    case WM_SIZE:
      clamp_top(hwnd, lb);
      return 0;
    case WM_ERASEBKGND:
      return 1;  // the items are drawn over the whole client area
    case WM_PAINT:
      paint(hwnd);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}
