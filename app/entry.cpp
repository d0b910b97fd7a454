// The program's entry: register the class, create the probe window, run the
// message loop until the quit message, free the window object.

#include "app/probe_window.h"
#include "app/startup.h"
#include "app/support_start.h"
#include "net/bcast.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
  win_register_class(instance, nullptr);
  win_obj* window = probe_window_create();
  if (!window) return 0;
  if (!window->hwnd) {
    // No window will ever be closed to stop what the creation started: stop it here.
    startup_report_no_window();
    udp_bcast_close();
    support_stop();
    win_free(window);
    return 1;
  }
  ShowWindow(window->hwnd, show);
  UpdateWindow(window->hwnd);
  probe_window_shown(window);

  MSG msg{};
  int exit_code = 1;
  for (;;) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got == 0) {
      exit_code = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      // The queue is unusable: close the window so its handler stops everything.
      if (IsWindow(window->hwnd)) DestroyWindow(window->hwnd);
      break;
    }
    enter_key_filter(&msg);
    if (probe_window_key(window, &msg)) continue;
    // Tab moves between the list and Refresh, Enter acts on the one with the focus.
    if (IsDialogMessageA(window->hwnd, &msg)) continue;
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  win_free(window);
  return exit_code;
}
