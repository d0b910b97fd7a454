#pragma once
// Message recording for the windowing conformance tests, in the manner of
// Wine's: each window procedure logs what it receives, and a scenario compares
// the log with a table that reads as a story. Written against the Win32 names
// only, so the same tests build for Windows.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "platform/winapi.h"

// The tests draw nowhere: on Linux they ask for the headless backend.
inline char headless_request[] = "KTA_WINDOWING=headless";
inline const int headless_requested = putenv(headless_request);

struct logged {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
};

// An expected line: which window (an index into the scenario's windows), the
// message, and optionally its wParam.
struct expect_msg {
  int who;
  UINT msg;
  bool check_wparam = false;
  WPARAM wparam = 0;
};

inline std::vector<logged>& msg_log() {
  static std::vector<logged> log;
  return log;
}

inline const char* msg_name(UINT m) {
  switch (m) {
    case WM_CREATE:
      return "WM_CREATE";
    case WM_DESTROY:
      return "WM_DESTROY";
    case WM_NCCREATE:
      return "WM_NCCREATE";
    case WM_NCDESTROY:
      return "WM_NCDESTROY";
    case WM_CLOSE:
      return "WM_CLOSE";
    case WM_COMMAND:
      return "WM_COMMAND";
    case WM_PARENTNOTIFY:
      return "WM_PARENTNOTIFY";
    case WM_KEYDOWN:
      return "WM_KEYDOWN";
    case WM_CHAR:
      return "WM_CHAR";
    case WM_PAINT:
      return "WM_PAINT";
  }
  return "message";
}

// Compares the log, restricted to the messages of the table, with the table.
inline void expect_sequence(const std::vector<expect_msg>& want, const std::vector<HWND>& who,
                            const char* story) {
  std::vector<logged> got;
  for (const logged& l : msg_log())
    for (const expect_msg& e : want)
      if (l.msg == e.msg) {
        got.push_back(l);
        break;
      }
  auto name_of = [&](HWND h) {
    for (size_t i = 0; i < who.size(); i++)
      if (who[i] == h) return std::to_string(i);
    return std::string("?");
  };
  std::ostringstream out;
  bool ok = got.size() == want.size();
  size_t n = std::max(got.size(), want.size());
  for (size_t i = 0; i < n; i++) {
    bool line_ok = i < got.size() && i < want.size() && got[i].hwnd == who[want[i].who] &&
                   got[i].msg == want[i].msg &&
                   (!want[i].check_wparam || got[i].wparam == want[i].wparam);
    ok = ok && line_ok;
    out << (line_ok ? "   " : "!! ");
    if (i < want.size())
      out << "want window " << want[i].who << " " << msg_name(want[i].msg);
    else
      out << "want nothing";
    out << "  |  ";
    if (i < got.size())
      out << "got window " << name_of(got[i].hwnd) << " " << msg_name(got[i].msg) << " wParam "
          << got[i].wparam;
    else
      out << "got nothing";
    out << "\n";
  }
  EXPECT_TRUE(ok) << story << "\n" << out.str();
}

inline LRESULT CALLBACK logging_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  msg_log().push_back(logged{hwnd, msg, wparam, lparam});
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

// A window class that logs every message, registered once per program.
inline const char* logging_class() {
  static const char* name = [] {
    WNDCLASSA wc{};
    wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    wc.lpfnWndProc = logging_proc;
    wc.cbWndExtra = sizeof(LONG_PTR);
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KtaLogging";
    RegisterClassA(&wc);
    return "KtaLogging";
  }();
  return name;
}

inline HWND make_top(int w = 240, int h = 300) {
  return CreateWindowExA(0, logging_class(), "Conformance", WS_SYSMENU, 300, 150, w, h, nullptr,
                         nullptr, GetModuleHandleA(nullptr), nullptr);
}

inline HWND make_child(HWND parent, const char* cls, DWORD style, int x, int y, int w, int h,
                       const char* text = "", int id = 0) {
  return CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                         GetModuleHandleA(nullptr), nullptr);
}

// Dispatches what is waiting without blocking.
inline void pump() {
  MSG m;
  while (PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

// The WM_COMMAND notifications that reached the parent, as (code, control) pairs.
inline std::vector<std::pair<WORD, HWND>> commands_to(HWND parent) {
  std::vector<std::pair<WORD, HWND>> out;
  for (const logged& l : msg_log())
    if (l.hwnd == parent && l.msg == WM_COMMAND)
      out.emplace_back(HIWORD(l.wparam), reinterpret_cast<HWND>(l.lparam));
  return out;
}
