#pragma once
// A window that looks like the probe window without the tool behind it: the
// same class styles and icon, a client area painted 0x00FF7F7F. Tests that
// watch the messages set probe_like_hook, which sees each one first.

#include "platform/winapi.h"

inline void (*probe_like_hook)(HWND, UINT, WPARAM, LPARAM) = nullptr;

inline LRESULT CALLBACK probe_like_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (probe_like_hook) probe_like_hook(hwnd, msg, wparam, lparam);
  if (msg == WM_PAINT) {
    PAINTSTRUCT ps;
    BeginPaint(hwnd, &ps);
    RECT r;
    GetClientRect(hwnd, &r);
    HBRUSH b = CreateSolidBrush(0x00FF7F7F);
    FillRect(ps.hdc, &r, b);
    DeleteObject(b);
    EndPaint(hwnd, &ps);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// Registers the class once per program; the name for CreateWindowExA, or
// null when it could not be registered.
inline const char* probe_like_class() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = probe_like_proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hIcon = LoadIconA(wc.hInstance, "xola_icon");
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KtaProbeLike";
    return RegisterClassA(&wc) != 0;
  }();
  return registered ? "KtaProbeLike" : nullptr;
}

// A top-level window of that class, 240 by 300, with the probe window's title.
inline HWND make_probe_like() {
  const char* cls = probe_like_class();
  if (!cls) return nullptr;
  return CreateWindowExA(0, cls, "Corvane KTA-310 Probe", WS_SYSMENU, 300, 150, 240, 300, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}
