#pragma once
// The built-in controls and what their window procedures ask of the core.
// Nothing outside platform/ includes this header.

#include <string>

#include "platform/core.h"

LRESULT CALLBACK listbox_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
LRESULT CALLBACK edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);

// Owner-thread access to a control's state: valid until the next call into a
// window procedure, which may destroy the window.
void* control_state(HWND hwnd);
void set_control_state(HWND hwnd, void* state, void (*free_fn)(void*));

template <class T>
T* control_of(HWND hwnd) {
  return static_cast<T*>(control_state(hwnd));
}

// How each control's procedure starts: its state is made at WM_NCCREATE.
// Null there, and where the window has no state, with *result what
// DefWindowProcA answered.
template <class T>
T* control_start(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam, LRESULT* result) {
  if (msg == WM_NCCREATE)
    set_control_state(hwnd, new T, [](void* p) { delete static_cast<T*>(p); });
  T* state = msg == WM_NCCREATE ? nullptr : control_of<T>(hwnd);
  if (!state) *result = DefWindowProcA(hwnd, msg, wparam, lparam);
  return state;
}

// Without the lock:
bool window_client_size(HWND hwnd, int* w, int* h);
DWORD window_style(HWND hwnd);
void set_window_height(HWND hwnd, int height);
std::string window_text(HWND hwnd);
void set_window_text(HWND hwnd, const std::string& text);
