// The windowing stand-in's costs. Run without arguments: Google Benchmark
// timings on the headless backend. Run with --window: a probe-like x11 window
// (a filled list box and a Refresh button) that stays up until it is closed
// or killed, for bench/platform_x11.sh to measure and photograph.

#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/winapi.h"
#include "tests/testing/probe_like.h"

namespace {

LRESULT CALLBACK plain_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_APP) return static_cast<LRESULT>(wparam) + 1;
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

void register_plain() {
  static bool done = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = plain_proc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "KtaBench";
    return RegisterClassA(&wc) != 0;
  }();
  (void)done;
}

// A window owned by another thread that serves sends in GetMessageA, as the
// tool's main thread serves the broadcast receiver's list updates.
void BM_CrossThreadSendRoundTrip(benchmark::State& state) {
  register_plain();
  std::atomic<HWND> target{nullptr};
  std::thread owner([&] {
    HWND h = CreateWindowExA(0, "KtaBench", "", WS_SYSMENU, 0, 0, 100, 100, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    target = h;
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) DispatchMessageA(&m);
    DestroyWindow(h);
  });
  while (!target) std::this_thread::yield();
  WPARAM i = 0;
  for (auto _ : state) benchmark::DoNotOptimize(SendMessageA(target, WM_APP, i++, 0));
  state.SetItemsProcessed(state.iterations());
  PostMessageA(target, WM_QUIT, 0, 0);
  owner.join();
}
BENCHMARK(BM_CrossThreadSendRoundTrip)->UseRealTime();

// The floor for the round trip above: two threads handing a turn back and
// forth through a mutex and condition variable, with no window at all.
void BM_MutexCondvarPingPong(benchmark::State& state) {
  std::mutex m;
  std::condition_variable to_owner, to_sender;
  int turn = 0;  // 1: the owner's, 0: the sender's, -1: the owner ends
  std::thread owner([&] {
    std::unique_lock<std::mutex> l(m);
    for (;;) {
      to_owner.wait(l, [&] { return turn != 0; });
      if (turn < 0) return;
      turn = 0;
      to_sender.notify_one();
    }
  });
  for (auto _ : state) {
    std::unique_lock<std::mutex> l(m);
    turn = 1;
    to_owner.notify_one();
    to_sender.wait(l, [&] { return turn == 0; });
  }
  {
    std::lock_guard<std::mutex> l(m);
    turn = -1;
  }
  to_owner.notify_one();
  owner.join();
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MutexCondvarPingPong)->UseRealTime();

void BM_SortedListBoxAdd(benchmark::State& state) {
  register_plain();
  HWND top = CreateWindowExA(0, "KtaBench", "", WS_SYSMENU, 0, 0, 240, 300, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  HWND lb = CreateWindowExA(0, "LISTBOX", nullptr, 0x50800043, 37, 25, 160, 200, top, nullptr,
                            GetModuleHandleA(nullptr), nullptr);
  unsigned n = 0;
  char item[16];
  for (auto _ : state) {
    snprintf(item, sizeof item, "10.0.%u.%u", (n / 250) % 250, n % 250);
    SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    if (++n % 250 == 0) SendMessageA(lb, LB_RESETCONTENT, 0, 0);  // a refresh's worth
  }
  DestroyWindow(top);
}
BENCHMARK(BM_SortedListBoxAdd);

int show_window() {
  // The window's end ends the program, as the tool's does.
  probe_like_hook = [](HWND, UINT msg, WPARAM, LPARAM) {
    if (msg == WM_DESTROY) PostQuitMessage(0);
  };
  HWND top = make_probe_like();
  if (!top) {
    fprintf(stderr, "platform_bench: no display to show the window on\n");
    return 1;
  }
  HINSTANCE instance = GetModuleHandleA(nullptr);
  RECT r;
  GetClientRect(top, &r);
  HWND lb = CreateWindowExA(0, "LISTBOX", nullptr, 0x50800043, (r.right - 160) / 2,
                            (r.bottom - 200) / 2 - 10, 160, 200, top, nullptr, instance, nullptr);
  CreateWindowExA(0, "BUTTON", "Refresh", 0x50000000, (r.right - 100) / 2, r.bottom - 30, 100, 20,
                  top, nullptr, instance, nullptr);
  for (const char* s :
       {"10.0.0.2", "10.0.0.10", "10.0.0.1", "10.0.0.12", "192.168.1.20", "10.0.0.7", "172.16.5.3"})
    SendMessageA(lb, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
  SendMessageA(lb, LB_SETCURSEL, 2, 0);
  ShowWindow(top, SW_SHOWDEFAULT);
  UpdateWindow(top);
  printf("shown\n");
  fflush(stdout);
  MSG m;
  while (GetMessageA(&m, nullptr, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return static_cast<int>(m.wParam);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && strcmp(argv[1], "--window") == 0) return show_window();
  setenv("KTA_WINDOWING", "headless", 1);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
