#include "app/probe_window.h"

#include <cstdio>
#include <cstring>

#include "app/probe.h"
#include "app/support_start.h"
#include "net/bcast.h"

namespace {

constexpr char probe_title[] = "Corvane KTA-310 Probe";
constexpr char browser_path[] = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
constexpr DWORD main_style = 0x80000;     // WS_SYSMENU: caption, close box, fixed border
constexpr DWORD list_style = 0x50810043;  // child, visible, border, tab stop, notify, sort, strings
constexpr DWORD button_style = 0x50010000;   // child, visible, tab stop: a plain push button
constexpr COLORREF background = 0x00FF7F7F;  // red 127, green 127, blue 255
constexpr WORD notify_double_click = 2;      // LBN_DBLCLK
constexpr char port_busy_text[] =
    "UDP port 10000 is in use by another program (perhaps another copy of this tool), so no "
    "device can answer.\n\nRefresh tries again once the port is free.";
constexpr char no_receiver_text[] =
    "The system refused the thread that listens for answers, so no device can answer.\n\n"
    "Refresh tries again.";
constexpr char no_browser_text[] =
    "The page %s could not be opened: no web browser could be started. Set BROWSER or install a "
    "web browser.";

// The last open's result, 0 while the channel is open: a port held elsewhere
// (-1) or a receiver that cannot start (-2) leaves it closed, and a Refresh
// tries it again.
int32_t channel_state = -1;

bool channel_open() { return channel_state == 0; }

bool open_channel(probe_ctx* ctx) {
  channel_state = udp_bcast_open(ctx->local_port);
  // One window lists every device that answered, not ten of them.
  if (channel_open()) udp_bcast_set_batch(bcast_batch_max);
  return channel_open();
}

// The control that had the focus when the window last lost it: the list at first.
HWND focus_control = nullptr;

probe_ctx* ctx_of(win_obj* obj) { return static_cast<probe_ctx*>(win_user(obj)); }

HWND list_of(void* list) { return static_cast<HWND>(list); }

void focus_a_control(win_obj* obj) {
  HWND to = focus_control;
  if (!to || !IsWindow(to) || !IsChild(obj->hwnd, to)) to = list_of(ctx_of(obj)->list);
  if (to) SetFocus(to);
}

// A box takes the focus; when it ends, the control that had it gets it back.
void show_box(win_obj* obj, const char* text) {
  HWND had = GetFocus();
  if (had && IsChild(obj->hwnd, had)) focus_control = had;
  MessageBoxA(obj->hwnd, text, probe_title, MB_OK | MB_ICONWARNING);
  if (IsWindow(obj->hwnd)) focus_a_control(obj);
}

// An empty list would say that no device answered; the box says why none could.
void report_closed_channel(win_obj* obj) {
  show_box(obj, channel_state == -2 ? no_receiver_text : port_busy_text);
}

// The selected item's text, which fits: false without one.
bool selected_text(HWND list, char (&text)[64]) {
  LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
  if (index == LB_ERR) return false;
  // An item is at most 15 characters; the length check keeps a longer one out of the buffer.
  if (SendMessageA(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0) >=
      static_cast<LRESULT>(sizeof text))
    return false;
  return SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(index),
                      reinterpret_cast<LPARAM>(text)) != LB_ERR;
}

void open_selected(win_obj* obj) {
  char text[64];
  if (!selected_text(list_of(ctx_of(obj)->list), text) || open_device_page(text)) return;
  char url[80], why[sizeof no_browser_text + sizeof url];
  std::snprintf(url, sizeof url, "http://%s", text);
  std::snprintf(why, sizeof why, no_browser_text, url);
  show_box(obj, why);
}

void refresh(win_obj* obj) {
  probe_ctx* ctx = ctx_of(obj);
  SendMessageA(list_of(ctx->list), LB_RESETCONTENT, 0, 0);
  if (!channel_open() && !open_channel(ctx)) {
    report_closed_channel(obj);
    return;
  }
  // The list starts over, so what earlier windows left unread is stale; a
  // backlog of it (a burst of junk fills the socket) would otherwise crowd
  // out the answers to this probe for many Refreshes.
  udp_bcast_discard();
  probe_send(ctx);
}

// The clipboard owns the memory once it is set; until then it is ours to free.
void copy_selected(win_obj* obj) {
  char text[64];
  if (!selected_text(list_of(ctx_of(obj)->list), text)) return;
  size_t size = std::strlen(text) + 1;
  HGLOBAL mem = GlobalAlloc(GMEM_MOVEABLE, size);
  void* bytes = mem ? GlobalLock(mem) : nullptr;
  if (!bytes) {
    if (mem) GlobalFree(mem);
    return;
  }
  std::memcpy(bytes, text, size);
  GlobalUnlock(mem);
  if (!OpenClipboard(obj->hwnd)) {
    GlobalFree(mem);
    return;
  }
  EmptyClipboard();
  if (!SetClipboardData(CF_TEXT, mem)) GlobalFree(mem);
  CloseClipboard();
}

// A window that is not a dialog keeps track of its own focus: given the focus
// (when it is activated, or a box over it ends), it hands it to the control
// that had it, so the keyboard always reaches the list or Refresh.
LRESULT probe_window_dispatch(win_obj* obj, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_ACTIVATE && LOWORD(wparam) == WA_INACTIVE) {
    HWND had = GetFocus();
    if (had && IsChild(obj->hwnd, had)) focus_control = had;
  } else if ((message == WM_ACTIVATE && !HIWORD(wparam)) || message == WM_SETFOCUS) {
    focus_a_control(obj);
    return 0;
  }
  return win_dispatch(obj, message, wparam, lparam);
}

// The list box belongs to the window's thread; from the receiver thread these
// are cross-thread sends that the window's thread serves while it waits.
int32_t list_box_find(void* list, const char* text) {
  return SendMessageA(list_of(list), LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                      reinterpret_cast<LPARAM>(text)) != LB_ERR;
}

void list_box_add(void* list, const char* text) {
  SendMessageA(list_of(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

const device_list_ops list_box_ops = {list_box_find, list_box_add};

// While the close waits for the receiver, a reply may be waiting for this
// thread to serve its list-box send: serve sent messages, leave posted ones.
void serve_sent_messages(void*) {
  MSG m;
  PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE);
}

}  // namespace

win_obj* probe_window_create() {
  support_start();
  win_obj* obj =
      win_create(nullptr, probe_title, main_style, 300, 150, 240, 300, sizeof(probe_ctx));
  obj->on_destroy = probe_window_destroy;
  obj->on_paint = probe_window_paint;
  obj->on_command = probe_window_command;
  obj->dispatch = probe_window_dispatch;
  focus_control = nullptr;

  probe_ctx* ctx = ctx_of(obj);
  std::memset(static_cast<void*>(ctx), 0, sizeof *ctx);
  RECT client{};
  GetClientRect(obj->hwnd, &client);
  int width = client.right - client.left, height = client.bottom - client.top;
  ctx->list =
      CreateWindowExA(0, "LISTBOX", nullptr, list_style, (width - 160) / 2, (height - 200) / 2 - 10,
                      160, 200, obj->hwnd, nullptr, win_instance, nullptr);
  ctx->button = CreateWindowExA(0, "BUTTON", "Refresh", button_style, (width - 100) / 2,
                                height - 30, 100, 20, obj->hwnd, nullptr, win_instance, nullptr);
  ctx->local_port = 10000;
  ctx->device_port = 9999;

  probe_set_list_ops(&list_box_ops);
  udp_bcast_set_wait_hook(serve_sent_messages, nullptr);
  if (open_channel(ctx)) probe_send(ctx);
  return obj;
}

void probe_window_shown(win_obj* obj) {
  if (!obj || !obj->hwnd) return;
  // The list has the focus from the start, so the keys work before any click.
  focus_a_control(obj);
  if (!channel_open()) report_closed_channel(obj);
}

bool probe_window_key(win_obj* obj, const MSG* msg) {
  if (!obj || !obj->hwnd || msg->message != WM_KEYDOWN || GetKeyState(VK_CONTROL) >= 0)
    return false;
  if (msg->wParam != 'C' && msg->wParam != VK_INSERT) return false;
  if (msg->hwnd != obj->hwnd && !IsChild(obj->hwnd, msg->hwnd)) return false;
  copy_selected(obj);
  return true;
}

LRESULT probe_window_destroy(win_obj*) {
  PostQuitMessage(0);
  udp_bcast_close();
  channel_state = -1;
  support_stop();
  return 0;
}

LRESULT probe_window_paint(win_obj* obj) {
  PAINTSTRUCT ps;
  BeginPaint(obj->hwnd, &ps);
  RECT client{};
  GetClientRect(obj->hwnd, &client);
  HBRUSH brush = CreateSolidBrush(background);
  FillRect(ps.hdc, &client, brush);
  DeleteObject(brush);
  EndPaint(obj->hwnd, &ps);
  return 0;
}

LRESULT probe_window_command(win_obj* obj) {
  probe_ctx* ctx = ctx_of(obj);
  auto control = reinterpret_cast<HWND>(obj->lparam);
  WORD code = HIWORD(obj->wparam);
  if (control && control == list_of(ctx->list) && code == notify_double_click) {
    open_selected(obj);
  } else if (control && control == ctx->button) {
    refresh(obj);
  } else if (!control && LOWORD(obj->wparam) == IDOK) {
    // Enter, as IsDialogMessageA reports it: the focused control says what it means.
    HWND focus = GetFocus();
    if (focus && focus == list_of(ctx->list)) open_selected(obj);
    if (focus && focus == ctx->button) refresh(obj);
  }
  return 0;
}

bool open_device_page(const char* address) {
  // Room for "http://" and any item the list text buffer can hold.
  char url[80];
  std::snprintf(url, sizeof url, "http://%s", address);
  // Where that browser is not installed, the desktop's own browser opens the page.
  auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", browser_path, url, nullptr, SW_SHOW));
  if (started <= 32)
    started =
        reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOW));
  return started > 32;
}
