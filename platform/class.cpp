// Window classes: the built-in controls' and those the program registers.

#include <strings.h>

#include <algorithm>
#include <cstring>

#include "platform/controls.h"

namespace {

constexpr ATOM first_atom = 0xC000;

// Under core_lock; never freed, as windows of any thread may still name them.
std::vector<wnd_class*>& classes() {
  static auto* c = new std::vector<wnd_class*>;
  return *c;
}

void register_builtin(const char* name, WNDPROC proc, UINT style) {
  classes().push_back(new wnd_class{name, style, proc, 0, nullptr, nullptr, nullptr, nullptr});
}

void ensure_builtin_classes() {
  if (!classes().empty()) return;
  register_builtin("ListBox", listbox_proc, CS_DBLCLKS);
  register_builtin("Button", button_proc, CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW);
  register_builtin("Edit", edit_proc, CS_DBLCLKS);
}

}  // namespace

wnd_class* find_class(LPCSTR name) {
  ensure_builtin_classes();
  auto& all = classes();
  if (IS_INTRESOURCE(name)) {
    size_t i = reinterpret_cast<uintptr_t>(name);
    if (i < first_atom || i - first_atom >= all.size()) return nullptr;
    return all[i - first_atom];
  }
  for (wnd_class* c : all)
    if (strcasecmp(c->name.c_str(), name) == 0) return c;
  return nullptr;
}

ATOM RegisterClassA(const WNDCLASSA* wc) {
  if (!wc || !wc->lpfnWndProc || !wc->lpszClassName || IS_INTRESOURCE(wc->lpszClassName)) return 0;
  if (wc->cbWndExtra < 0 || wc->cbWndExtra > 40) return 0;  // Windows' own limit
  core_guard g(core_lock());
  if (find_class(wc->lpszClassName)) return 0;
  classes().push_back(new wnd_class{wc->lpszClassName, wc->style, wc->lpfnWndProc, wc->cbWndExtra,
                                    wc->hInstance, wc->hIcon, wc->hCursor, wc->hbrBackground});
  return static_cast<ATOM>(first_atom + classes().size() - 1);
}

int GetClassNameA(HWND hwnd, LPSTR name, int max_count) {
  auto [g, w] = lock_window(hwnd);
  if (!w || !name || max_count <= 0) return 0;
  int n = std::min(static_cast<int>(w->cls->name.size()), max_count - 1);
  memcpy(name, w->cls->name.data(), static_cast<size_t>(n));
  name[n] = 0;
  return n;
}
