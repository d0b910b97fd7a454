#include "app/probe_window.h"

#include <cstdio>
#include <cstring>

#include "app/probe.h"
#include "app/support_start.h"
#include "net/bcast.h"

namespace {

constexpr char probe_title[] = "Corvane KTA-310 Probe";
constexpr char browser_path[] = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";
constexpr DWORD main_style = 0x80000;        // WS_SYSMENU: caption, close box, fixed border
constexpr DWORD list_style = 0x50800043;     // child, visible, border, notify, sort, strings
constexpr DWORD button_style = 0x50000000;   // child, visible: a plain push button
constexpr COLORREF background = 0x00FF7F7F;  // red 127, green 127, blue 255
constexpr WORD notify_double_click = 2;      // LBN_DBLCLK
constexpr char port_busy_text[] =
    "UDP port 10000 is in use by another program (perhaps another copy of this tool), so no "
    "device can answer.\n\nRefresh tries again once the port is free.";
constexpr char no_receiver_text[] =
    "The system refused the thread that listens for answers, so no device can answer.\n\n"
    "Refresh tries again.";

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

// An empty list would say that no device answered; the box says why none could.
void report_closed_channel(HWND owner) {
  const char* why = channel_state == -2 ? no_receiver_text : port_busy_text;
  MessageBoxA(owner, why, probe_title, MB_OK | MB_ICONWARNING);
}

probe_ctx* ctx_of(win_obj* obj) { return static_cast<probe_ctx*>(win_user(obj)); }

HWND list_of(void* list) { return static_cast<HWND>(list); }

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
  if (!channel_open() && obj && obj->hwnd) report_closed_channel(obj->hwnd);
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
    LRESULT index = SendMessageA(control, LB_GETCURSEL, 0, 0);
    if (index == LB_ERR) return 0;
    // An item is at most 15 characters; the length check keeps a longer one out of the buffer.
    char text[64];
    if (SendMessageA(control, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0) >=
        static_cast<LRESULT>(sizeof text))
      return 0;
    SendMessageA(control, LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    open_device_page(text);
  } else if (control && control == ctx->button) {
    SendMessageA(list_of(ctx->list), LB_RESETCONTENT, 0, 0);
    if (!channel_open() && !open_channel(ctx)) {
      report_closed_channel(obj->hwnd);
      return 0;
    }
    // The list starts over, so what earlier windows left unread is stale; a
    // backlog of it (a burst of junk fills the socket) would otherwise crowd
    // out the answers to this probe for many Refreshes.
    udp_bcast_discard();
    probe_send(ctx);
  }
  return 0;
}

void open_device_page(const char* address) {
  // Room for "http://" and any item the list text buffer can hold.
  char url[80];
  std::snprintf(url, sizeof url, "http://%s", address);
  // Where that browser is not installed, the desktop's own browser opens the page.
  auto started = reinterpret_cast<INT_PTR>(
      ShellExecuteA(nullptr, "open", browser_path, url, nullptr, SW_SHOW));
  if (started <= 32) ShellExecuteA(nullptr, "open", url, nullptr, nullptr, SW_SHOW);
}
