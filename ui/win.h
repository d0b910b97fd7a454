#pragma once
// Window objects: every toolkit window is wrapped in a win_obj, a header of
// links, handles, a dispatcher and thirteen handler slots, followed in the
// same block by a user area for the window's owner. Live objects sit on
// win_list (newest first), which is also the registry of valid pointers.

#include <cstdint>

#include "platform/winapi.h"

struct win_obj;

// A handler reads the message from the object (msg, wparam, lparam, mouse_x,
// mouse_y, button_held); it gets no other argument.
using win_handler = LRESULT (*)(win_obj* obj);
using win_dispatcher = LRESULT (*)(win_obj* obj, UINT message, WPARAM wparam, LPARAM lparam);

struct win_obj {
  win_obj* prev;  // toward the head of win_list
  win_obj* next;  // toward the tail
  HWND parent;
  HWND hwnd;
  win_dispatcher dispatch;
  win_handler on_destroy;
  win_handler on_paint;
  win_handler on_command;  // result 0: handled
  win_handler on_key_down;
  win_handler on_key_up;
  win_handler on_char;
  win_handler on_button_down;
  win_handler on_button_up;
  win_handler on_mouse_move;  // while no button is held
  win_handler on_drag;        // while the button is held
  win_handler on_double_click;
  win_handler on_ctl_color_static;
  win_handler on_ctl_color_button;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  int32_t mouse_x;  // zero-extended low half of the last mouse message's lParam
  int32_t mouse_y;  // zero-extended high half
  int32_t button_held;
};

// The owner's area, directly behind the header in the same block.
inline void* win_user(win_obj* obj) { return obj + 1; }

extern win_obj* win_list;
extern HINSTANCE win_instance;
extern const char* win_class_name;  // "XOLA"

// Registers the toolkit class; a null instance means the program's own
// module, a null icon name the program's "xola_icon". Empties win_list.
void win_register_class(HINSTANCE instance, const char* icon_name);

win_obj* win_alloc(int32_t user_size);
win_obj* win_find(const void* p);  // p when it is a live object, else null; never reads through p
void win_free(win_obj* obj);       // leaves the window alone
win_obj* win_create(HWND parent, const char* title, DWORD style, int x, int y, int width,
                    int height, int32_t user_size);

LRESULT win_default_destroy(win_obj* obj);  // frees the object
LRESULT win_default_paint(win_obj* obj);    // validates, draws nothing

LRESULT CALLBACK win_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
LRESULT win_dispatch(win_obj* obj, UINT message, WPARAM wparam, LPARAM lparam);

// Called by the message loop for every message before it is translated and
// dispatched: Enter typed in an "Edit" control becomes WM_COMMAND (wParam 13,
// lParam the control) to the control's parent. Never swallows the message.
void enter_key_filter(const MSG* msg);
