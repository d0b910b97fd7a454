// The window tool's window on the headless backend, its message loop served
// as the tool serves it, until the first listen window has ended; then one
// line: "listed N". For the scripts that count what one window lists of many
// devices in the lab. Exit 1 when the channel cannot be opened.
//
//   probe_first_window

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "app/probe.h"
#include "app/probe_window.h"
#include "net/bcast.h"
#include "support/thread.h"

int main() {
  setenv("KTA_WINDOWING", "headless", 1);
  win_register_class(nullptr, nullptr);
  win_obj* w = probe_window_create();
  if (udp_bcast_receive_buffer() < 0) {
    std::fprintf(stderr, "probe_first_window: the channel did not open\n");
    return 1;
  }
  auto* ctx = static_cast<probe_ctx*>(win_user(w));
  HWND list = static_cast<HWND>(ctx->list);
  ShowWindow(w->hwnd, SW_SHOW);
  // The window ends its probe's window, so the loop below is the tool's own.
  std::thread watcher([&] {
    for (int i = 0; i < 1000 && ctx->busy.load(); i++) sleep_ms(5);
    PostMessageA(w->hwnd, WM_USER, 0, 0);
  });
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0 && m.message != WM_USER) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  watcher.join();
  std::printf("listed %ld\n", static_cast<long>(SendMessageA(list, LB_GETCOUNT, 0, 0)));
  DestroyWindow(w->hwnd);
  win_free(w);
  return 0;
}
