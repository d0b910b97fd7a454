// Keyboard navigation among a window's controls, as the dialog manager gives
// any window whose loop calls IsDialogMessageA: Tab, Shift+Tab, Enter, Escape.

#include "platform/core.h"

namespace {

bool takes_tab(window* w) {
  return (w->style & (WS_TABSTOP | WS_VISIBLE)) == (WS_TABSTOP | WS_VISIBLE) &&
         !(w->style & WS_DISABLED);
}

void press_default(HWND dialog) {
  HWND focus = GetFocus();
  if (focus && IsChild(dialog, focus) &&
      (SendMessageA(focus, WM_GETDLGCODE, 0, 0) & DLGC_DEFPUSHBUTTON)) {
    auto id = static_cast<WORD>(GetWindowLongPtrA(focus, GWLP_ID));
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(focus));
    return;
  }
  // A plain window answers DM_GETDEFID with 0, and gets IDOK, as on Windows.
  auto def = static_cast<DWORD>(SendMessageA(dialog, DM_GETDEFID, 0, 0));
  WORD cmd = HIWORD(def) == DC_HASDEFID ? LOWORD(def) : IDOK;
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(cmd, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, cmd)));
}

}  // namespace

BOOL IsChild(HWND parent, HWND hwnd) {
  auto [g, w] = lock_window(hwnd);
  window* p = find_window(parent);
  return w && p && w != p && is_descendant(w, p);
}

HWND GetDlgItem(HWND dialog, int id) {
  auto [g, d] = lock_window(dialog);
  if (!d) return nullptr;
  for (window* c : d->children)
    if (reinterpret_cast<INT_PTR>(c->id) == id) return c->handle;
  return nullptr;
}

// From the child of dialog that holds control (or, without one, from the end
// that the search direction leaves first), round to the next tab stop.
HWND GetNextDlgTabItem(HWND dialog, HWND control, BOOL previous) {
  auto [g, d] = lock_window(dialog);
  if (!d || d->children.empty()) return nullptr;
  const std::vector<window*>& kids = d->children;
  auto n = static_cast<int>(kids.size());
  int at = previous ? 0 : n - 1;
  if (window* c = find_window(control)) {
    while (c->parent && c->parent != d) c = c->parent;
    for (int i = 0; i < n; i++)
      if (kids[static_cast<size_t>(i)] == c) at = i;
  }
  for (int k = 1; k <= n; k++) {
    int i = ((previous ? at - k : at + k) % n + n) % n;
    if (takes_tab(kids[static_cast<size_t>(i)])) return kids[static_cast<size_t>(i)]->handle;
  }
  return nullptr;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG msg) {
  if (!msg || !dialog || (msg->hwnd != dialog && !IsChild(dialog, msg->hwnd))) return FALSE;
  if (msg->message == WM_KEYDOWN) {
    auto code = SendMessageA(msg->hwnd, WM_GETDLGCODE, msg->wParam, reinterpret_cast<LPARAM>(msg));
    if (!(code & DLGC_WANTMESSAGE)) {
      switch (msg->wParam) {
        case VK_TAB:
          if (code & DLGC_WANTTAB) break;
          if (HWND focus = GetFocus(),
              next = GetNextDlgTabItem(dialog, focus == dialog ? nullptr : focus,
                                       GetKeyState(VK_SHIFT) < 0);
              next)
            SetFocus(next);
          return TRUE;
        case VK_LEFT:
        case VK_RIGHT:
        case VK_UP:
        case VK_DOWN:
          // Moving within a group of radio buttons is the dialog manager's,
          // which a plain window has not: the key goes nowhere.
          if (code & DLGC_WANTARROWS) break;
          return TRUE;
        case VK_ESCAPE:
          SendMessageA(dialog, WM_COMMAND, IDCANCEL,
                       reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDCANCEL)));
          return TRUE;
        case VK_RETURN:
          press_default(dialog);
          return TRUE;
      }
    }
  }
  TranslateMessage(msg);
  DispatchMessageA(msg);
  return TRUE;
}
