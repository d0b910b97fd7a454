#pragma once
// Message recording for the windowing conformance tests, in the manner of
// Wine's: each window procedure logs what it receives, marked as sent or
// posted, to a parent, or from inside DefWindowProcA, and a scenario compares
// the whole log with a static table that reads as a story. Written against
// the Win32 names only, so the same tests build for Windows and run under
// Wine too.

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "platform/winapi.h"
#include "tests/testing/headless.h"

#ifndef _WIN32
// Messages that Windows sends and the stand-in does not: named here so that
// the tables read as Windows' do, where they are optional entries.
constexpr UINT WM_GETMINMAXINFO = 0x0024;
constexpr UINT WM_WINDOWPOSCHANGING = 0x0046;
constexpr UINT WM_WINDOWPOSCHANGED = 0x0047;
constexpr UINT WM_NCCALCSIZE = 0x0083;
constexpr UINT WM_NCPAINT = 0x0085;
constexpr UINT WM_NCACTIVATE = 0x0086;
constexpr UINT WM_ACTIVATEAPP = 0x001C;
#endif

// The tests draw nowhere: on Linux they ask for the headless backend.
inline const bool headless_requested = (use_headless_windowing(), true);

// How a message reached a window procedure, and what a table entry checks.
enum msg_flags : unsigned {
  sent = 1u << 0,        // called directly: SendMessageA, or the system itself
  posted = 1u << 1,      // taken from the queue and handed over by dispatch()
  parent = 1u << 2,      // received by a top-level window of make_top()
  defwinproc = 1u << 3,  // sent while DefWindowProcA served another message
  wparam = 1u << 4,      // the entry's wParam must match
  lparam = 1u << 5,      // the entry's lParam must match
  optional = 1u << 6,    // one system sends it, the other need not
};
constexpr unsigned msg_kind_flags = sent | posted | parent | defwinproc;

// An expected entry: which of the scenario's windows, the message, its marks.
struct message {
  int who;
  UINT msg;
  unsigned flags;
  WPARAM wp = 0;
  LPARAM lp = 0;
};

struct logged {
  HWND hwnd;
  UINT msg;
  WPARAM wparam;
  LPARAM lparam;
  unsigned flags = sent;
};

inline std::vector<logged>& msg_log() {
  static std::vector<logged> log;
  return log;
}

namespace msg_log_detail {

inline thread_local int defwinproc_depth = 0;
// The queued message that dispatch() is handing over, until its window takes it.
inline thread_local const MSG* dispatching = nullptr;

// Messages that a system sends for its own reasons, whatever the test does:
// icons, accessibility, input methods, themes, clocks and screens. Wine's
// tests leave them out of every log too.
inline bool noise(UINT m) {
  switch (m) {
    case 0x0007F:  // WM_GETICON
    case 0x0003D:  // WM_GETOBJECT
    case 0x0001E:  // WM_TIMECHANGE
    case 0x0007E:  // WM_DISPLAYCHANGE
    case 0x00219:  // WM_DEVICECHANGE
    case 0x00118:  // WM_SYSTIMER
    case 0x00281:  // WM_IME_SETCONTEXT
    case 0x00282:  // WM_IME_NOTIFY
    case 0x0031F:  // WM_DWMNCRENDERINGCHANGED
    case 0x00093:  // themes' private messages
    case 0x00094:
      return true;
  }
  return false;
}

}  // namespace msg_log_detail

inline std::string msg_name(UINT m) {
  struct name {
    UINT msg;
    const char* text;
  };
  static const name names[] = {
      {0x0001, "WM_CREATE"},
      {0x0002, "WM_DESTROY"},
      {0x0003, "WM_MOVE"},
      {0x0005, "WM_SIZE"},
      {0x0006, "WM_ACTIVATE"},
      {0x0007, "WM_SETFOCUS"},
      {0x0008, "WM_KILLFOCUS"},
      {0x000A, "WM_ENABLE"},
      {0x000C, "WM_SETTEXT"},
      {0x000D, "WM_GETTEXT"},
      {0x000E, "WM_GETTEXTLENGTH"},
      {0x000F, "WM_PAINT"},
      {0x0010, "WM_CLOSE"},
      {0x0014, "WM_ERASEBKGND"},
      {0x0018, "WM_SHOWWINDOW"},
      {0x001C, "WM_ACTIVATEAPP"},
      {0x0024, "WM_GETMINMAXINFO"},
      {0x0046, "WM_WINDOWPOSCHANGING"},
      {0x0047, "WM_WINDOWPOSCHANGED"},
      {0x0081, "WM_NCCREATE"},
      {0x0082, "WM_NCDESTROY"},
      {0x0083, "WM_NCCALCSIZE"},
      {0x0085, "WM_NCPAINT"},
      {0x0086, "WM_NCACTIVATE"},
      {0x0100, "WM_KEYDOWN"},
      {0x0101, "WM_KEYUP"},
      {0x0102, "WM_CHAR"},
      {0x0111, "WM_COMMAND"},
      {0x0210, "WM_PARENTNOTIFY"},
  };
  for (const name& n : names)
    if (n.msg == m) return n.text;
  std::ostringstream text;
  if (m >= WM_APP)
    text << "WM_APP+" << m - WM_APP;
  else
    text << "0x" << std::hex << m;
  return text.str();
}

inline std::string msg_marks(unsigned flags) {
  static const std::pair<unsigned, const char*> marks[] = {{sent, "sent"},
                                                           {posted, "posted"},
                                                           {parent, "parent"},
                                                           {defwinproc, "defwinproc"},
                                                           {optional, "optional"}};
  std::ostringstream out;
  const char* bar = "";
  for (auto [bit, text] : marks)
    if (flags & bit) {
      out << bar << text;
      bar = "|";
    }
  return out.str();
}

// The whole log against the table, as Wine's ok_sequence does: every logged
// message must be in the table, in order and with the same marks; an optional
// entry may be missing. windows[i] is the table's window i.
template <size_t N>
void ok_sequence(const message (&want)[N], const std::vector<HWND>& windows, const char* story) {
  const std::vector<logged>& got = msg_log();
  auto who_of = [&](HWND h) {
    for (size_t i = 0; i < windows.size(); i++)
      if (windows[i] == h) return std::to_string(i);
    return std::string("?");
  };
  auto matches = [&](const message& e, const logged& l) {
    return e.who >= 0 && static_cast<size_t>(e.who) < windows.size() && windows[e.who] == l.hwnd &&
           e.msg == l.msg && (e.flags & msg_kind_flags) == (l.flags & msg_kind_flags) &&
           (!(e.flags & wparam) || e.wp == l.wparam) && (!(e.flags & lparam) || e.lp == l.lparam);
  };
  auto want_text = [&](const message& e) {
    std::ostringstream o;
    o << "want window " << e.who << " " << msg_name(e.msg) << " " << msg_marks(e.flags);
    return o.str();
  };
  auto got_text = [&](const logged& l) {
    std::ostringstream o;
    o << "got window " << who_of(l.hwnd) << " " << msg_name(l.msg) << " " << msg_marks(l.flags)
      << " wParam " << l.wparam;
    return o.str();
  };
  std::ostringstream out;
  bool ok = true;
  size_t i = 0, j = 0;
  while (i < N || j < got.size()) {
    if (i < N && j < got.size() && matches(want[i], got[j])) {
      out << "   " << want_text(want[i++]) << "  |  " << got_text(got[j++]) << "\n";
    } else if (i < N && (want[i].flags & optional)) {
      out << "   " << want_text(want[i++]) << "  |  (left out)\n";
    } else {
      ok = false;
      out << "!! " << (i < N ? want_text(want[i++]) : "want nothing") << "  |  "
          << (j < got.size() ? got_text(got[j++]) : "got nothing") << "\n";
    }
  }
  EXPECT_TRUE(ok) << story << "\n" << out.str();
}

// Hands a queued message to its window; the window's log marks it posted.
inline LRESULT dispatch(const MSG* m) {
  const MSG* outer = msg_log_detail::dispatching;
  msg_log_detail::dispatching = m;
  LRESULT r = DispatchMessageA(m);
  msg_log_detail::dispatching = outer;
  return r;
}

// Logs a message as it reaches hwnd, with the marks that say how it came.
inline void log_message(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, unsigned kind) {
  using namespace msg_log_detail;
  if (noise(msg)) return;
  const MSG* d = dispatching;
  if (d && d->hwnd == hwnd && d->message == msg && d->wParam == wp && d->lParam == lp) {
    kind = (kind & ~sent) | posted;
    dispatching = nullptr;  // what this message sends on is sent
  }
  if (defwinproc_depth > 0) kind |= defwinproc;
  msg_log().push_back(logged{hwnd, msg, wp, lp, kind});
}

// DefWindowProcA, with what it sends on marked as such.
inline LRESULT logged_default(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const MSG* d = msg_log_detail::dispatching;
  msg_log_detail::dispatching = nullptr;
  msg_log_detail::defwinproc_depth++;
  LRESULT r = DefWindowProcA(hwnd, msg, wp, lp);
  msg_log_detail::defwinproc_depth--;
  msg_log_detail::dispatching = d;
  return r;
}

inline LRESULT CALLBACK logging_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  log_message(hwnd, msg, wparam, lparam, sent);
  return logged_default(hwnd, msg, wparam, lparam);
}

inline LRESULT CALLBACK parent_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  log_message(hwnd, msg, wparam, lparam, sent | parent);
  return logged_default(hwnd, msg, wparam, lparam);
}

inline const char* register_logging_class(const char* name, WNDPROC proc) {
  WNDCLASSA wc{};
  wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
  wc.lpfnWndProc = proc;
  wc.cbWndExtra = sizeof(LONG_PTR);
  wc.hInstance = GetModuleHandleA(nullptr);
  wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = name;
  RegisterClassA(&wc);
  return name;
}

// A window class that logs every message, registered once per program.
inline const char* logging_class() {
  static const char* name = register_logging_class("KtaLogging", logging_proc);
  return name;
}

// The class of make_top()'s windows: the parents of the scenarios.
inline const char* parent_class() {
  static const char* name = register_logging_class("KtaLoggingParent", parent_proc);
  return name;
}

inline HWND make_top(int w = 240, int h = 300) {
  return CreateWindowExA(0, parent_class(), "Conformance", WS_SYSMENU, 300, 150, w, h, nullptr,
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
    dispatch(&m);
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
