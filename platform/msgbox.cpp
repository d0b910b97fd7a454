// MessageBoxA: a modal top-level window with wrapped text, an icon and OK (and
// Cancel) buttons, run by its own message loop while its owner is disabled.

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "platform/controls.h"
#include "platform/draw.h"
#include "platform/metrics.h"

namespace {

constexpr char box_class[] = "KtaMessageBox";
constexpr int max_text_width = 360;  // wider text wraps onto more lines
constexpr int margin = 12;
constexpr int icon_size = 32;
constexpr int button_w = 75, button_h = 23, button_gap = 8;

struct box {
  std::vector<std::string> lines;
  UINT icon = 0;
  bool has_cancel = false;
  int text_x = margin;
  int result = 0;
};

box* box_of(HWND hwnd) { return reinterpret_cast<box*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// Breaks text at spaces into lines no wider than max_text_width; a newline
// always breaks, and a word wider than a line stands alone.
std::vector<std::string> wrap(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = text.find('\n', start);
    std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    std::string line;
    size_t i = 0;
    while (i <= para.size()) {
      size_t sp = para.find(' ', i);
      if (sp == std::string::npos) sp = para.size();
      std::string word = para.substr(i, sp - i);
      std::string tried = line.empty() ? word : line + " " + word;
      if (!line.empty() &&
          text_width(tried.c_str(), static_cast<int>(tried.size())) > max_text_width) {
        lines.push_back(line);
        line = word;
      } else {
        line = tried;
      }
      i = sp + 1;
    }
    lines.push_back(line);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

void fill_disc(HDC dc, int x, int y, int d, COLORREF c) {
  double r = d / 2.0;
  for (int row = 0; row < d; ++row) {
    double dy = row + 0.5 - r;
    int half = static_cast<int>(std::sqrt(std::max(0.0, r * r - dy * dy)) + 0.5);
    dc_fill(
        dc,
        RECT{x + static_cast<int>(r) - half, y + row, x + static_cast<int>(r) + half, y + row + 1},
        c);
  }
}

// A red disc with a cross, a yellow triangle with "!", a blue disc with "i" or "?".
void draw_icon(HDC dc, UINT icon, int x, int y) {
  const char* mark = nullptr;
  COLORREF mark_colour = RGB(255, 255, 255);
  switch (icon) {
    case MB_ICONERROR:
      fill_disc(dc, x, y, icon_size, RGB(204, 0, 0));
      for (int i = 8; i < 24; ++i) {
        dc_fill(dc, RECT{x + i - 1, y + i - 1, x + i + 2, y + i + 2}, mark_colour);
        dc_fill(dc, RECT{x + 31 - i - 1, y + i - 1, x + 31 - i + 2, y + i + 2}, mark_colour);
      }
      return;
    case MB_ICONWARNING:
      for (int row = 0; row < icon_size; ++row) {
        int half = row / 2;
        dc_fill(dc, RECT{x + 16 - half - 1, y + row, x + 16 + half + 1, y + row + 1},
                RGB(255, 204, 0));
      }
      mark = "!";
      mark_colour = RGB(0, 0, 0);
      break;
    case MB_ICONINFORMATION:
      fill_disc(dc, x, y, icon_size, RGB(0, 90, 200));
      mark = "i";
      break;
    case MB_ICONQUESTION:
      fill_disc(dc, x, y, icon_size, RGB(0, 90, 200));
      mark = "?";
      break;
    default:
      return;
  }
  dc_text(dc, x + (icon_size - text_width(mark, 1)) / 2, y + (icon_size - text_height()) / 2 + 2,
          mark, 1, mark_colour);
}

LRESULT CALLBACK box_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  box* b = box_of(hwnd);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      RECT r;
      GetClientRect(hwnd, &r);
      dc_fill(dc, r, GetSysColor(COLOR_BTNFACE));
      if (b) {
        draw_icon(dc, b->icon, margin, margin);
        int y = margin;
        for (const std::string& line : b->lines) {
          dc_text(dc, b->text_x, y, line.c_str(), static_cast<int>(line.size()),
                  GetSysColor(COLOR_BTNTEXT));
          y += text_height();
        }
      }
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_COMMAND:
      if (b && HIWORD(wparam) == BN_CLICKED &&
          (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL))
        b->result = LOWORD(wparam);
      return 0;
    case WM_CLOSE:  // the close box answers as Escape does
      if (b) b->result = b->has_cancel ? IDCANCEL : IDOK;
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

bool register_box_class() {
  static bool done = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = box_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = box_class;
    return RegisterClassA(&wc) != 0;
  }();
  return done;
}

HWND make_button(HWND parent, const char* text, int id, int x, int y, DWORD extra) {
  return CreateWindowExA(0, "Button", text, WS_CHILD | WS_VISIBLE | WS_TABSTOP | extra, x, y,
                         button_w, button_h, parent,
                         reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                         GetModuleHandleA(nullptr), nullptr);
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption_text, UINT type) {
  if (!register_box_class()) return 0;
  box b;
  b.lines = wrap(text ? text : "");
  b.icon = type & MB_ICONMASK;
  b.has_cancel = (type & 0xF) == MB_OKCANCEL;
  if (b.icon) b.text_x = margin + icon_size + margin;

  int text_w = 0;
  for (const std::string& l : b.lines)
    text_w = std::max(text_w, text_width(l.c_str(), static_cast<int>(l.size())));
  int text_h = static_cast<int>(b.lines.size()) * text_height();
  int buttons = b.has_cancel ? 2 : 1;
  int row_w = buttons * button_w + (buttons - 1) * button_gap;
  int cw = std::max(b.text_x + text_w + margin, row_w + 2 * margin);
  int body_h = std::max(text_h, b.icon ? icon_size : 0);
  int ch = margin + body_h + margin + button_h + margin;
  // The box has a fixed frame and a caption.
  int ow = cw + 2 * fixed_frame, oh = ch + 2 * fixed_frame + caption_height;

  int x = 200, y = 200;
  RECT orect;
  if (owner && GetWindowRect(owner, &orect)) {
    x = std::max(0, static_cast<int>(orect.left + orect.right - ow) / 2);
    y = std::max(0, static_cast<int>(orect.top + orect.bottom - oh) / 2);
  }
  HWND hwnd = CreateWindowExA(0, box_class, caption_text ? caption_text : "Error",
                              WS_POPUP | WS_CAPTION | WS_SYSMENU, x, y, ow, oh, owner, nullptr,
                              GetModuleHandleA(nullptr), nullptr);
  if (!hwnd) return 0;
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&b));
  int bx = (cw - row_w) / 2, by = ch - margin - button_h;
  HWND ok = make_button(hwnd, "OK", IDOK, bx, by, BS_DEFPUSHBUTTON);
  HWND cancel = b.has_cancel
                    ? make_button(hwnd, "Cancel", IDCANCEL, bx + button_w + button_gap, by, 0)
                    : nullptr;

  bool owner_was_enabled = owner && IsWindowEnabled(owner);
  if (owner_was_enabled) EnableWindow(owner, FALSE);
  ShowWindow(hwnd, SW_SHOW);
  UpdateWindow(hwnd);
  SetFocus(ok);

  bool quit = false;
  WPARAM quit_code = 0;
  int escape = b.has_cancel ? IDCANCEL : IDOK;
  while (b.result == 0) {
    MSG m;
    BOOL got = GetMessageA(&m, nullptr, 0, 0);
    if (got == 0) {  // the box ends, and the quit message is left for the caller's loop
      quit = true;
      quit_code = m.wParam;
      b.result = escape;
      break;
    }
    if (got == -1) {
      b.result = escape;
      break;
    }
    // Enter and Escape belong to the box, whichever of its windows has the focus.
    if (m.message == WM_KEYDOWN && (m.hwnd == hwnd || GetParent(m.hwnd) == hwnd)) {
      if (m.wParam == VK_RETURN) {
        b.result = (cancel && GetFocus() == cancel) ? IDCANCEL : IDOK;
        continue;
      }
      if (m.wParam == VK_ESCAPE) {
        b.result = escape;
        continue;
      }
    }
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  // The owner is enabled before the box goes, so that it takes the focus back.
  if (owner_was_enabled) EnableWindow(owner, TRUE);
  SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
  DestroyWindow(hwnd);
  if (owner && IsWindow(owner)) SetFocus(owner);
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
  return b.result;
}
