#include "ui/win.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

win_obj* win_list = nullptr;
HINSTANCE win_instance = nullptr;
const char* win_class_name = "XOLA";

void win_register_class(HINSTANCE instance, const char* icon_name) {
  HINSTANCE used = instance ? instance : GetModuleHandleA(nullptr);
  WNDCLASSA wc;
  std::memset(&wc, 0, sizeof wc);
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = win_proc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = sizeof(win_obj*);  // word 0 holds the object pointer
  wc.hInstance = used;
  wc.hIcon = LoadIconA(used, icon_name ? icon_name : "xola_icon");
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = win_class_name;
  RegisterClassA(&wc);
  win_instance = used;
  win_list = nullptr;
}

win_obj* win_alloc(int32_t user_size) {
  size_t user = user_size > 0 ? static_cast<size_t>(user_size) : 0;
  auto* obj = static_cast<win_obj*>(std::malloc(sizeof(win_obj) + user));
  if (!obj) {
    // Every caller writes into the object at once; there is no way on without it.
    std::fprintf(stderr, "win_alloc: out of memory (%zu bytes)\n", sizeof(win_obj) + user);
    std::abort();
  }
  std::memset(obj, 0, sizeof(win_obj) + user);
  if (win_list) {
    win_list->prev = obj;
    obj->next = win_list;
  }
  win_list = obj;
  obj->dispatch = win_dispatch;
  obj->on_destroy = win_default_destroy;
  obj->on_paint = win_default_paint;
  return obj;
}

win_obj* win_find(const void* p) {
  if (!p) return nullptr;
  for (win_obj* o = win_list; o; o = o->next) {
    if (o == p) return o;
  }
  return nullptr;
}

void win_free(win_obj* obj) {
  if (!win_find(obj)) return;
  win_obj* p = obj->prev;
  win_obj* n = obj->next;
  if (n) n->prev = p;
  if (p) {
    p->next = n;
  } else {
    win_list = n;
  }
  std::free(obj);
}

win_obj* win_create(HWND parent, const char* title, DWORD style, int x, int y, int width,
                    int height, int32_t user_size) {
  win_obj* obj = win_alloc(user_size);
  obj->parent = parent;
  obj->hwnd = CreateWindowExA(0, win_class_name, title, style, x, y, width, height, parent, nullptr,
                              win_instance, nullptr);
  SetWindowLongPtrA(obj->hwnd, 0, reinterpret_cast<LONG_PTR>(obj));
  return obj;
}

LRESULT win_default_destroy(win_obj* obj) {
  win_free(obj);
  return 0;
}

LRESULT win_default_paint(win_obj* obj) {
  PAINTSTRUCT ps;
  BeginPaint(obj->hwnd, &ps);
  EndPaint(obj->hwnd, &ps);
  return 0;
}
