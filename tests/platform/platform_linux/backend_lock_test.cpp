// The core lock is never held across a backend call: a debug build ends the
// program at one made under it, and a slow display holds up no other thread.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "platform/backend.h"
#include "platform/headless.h"
#include "support/thread.h"
#include "tests/testing/headless.h"

namespace {

const bool headless = (use_headless_windowing(), true);

LRESULT CALLBACK plain(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

HWND make_window(DWORD style) {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = plain;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KtaBackendLock";
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  return CreateWindowExA(0, "KtaBackendLock", "lock", style, 0, 0, 240, 300, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr);
}

// Each slot called with its parameters' zero values: the check comes first,
// so the backend itself is never reached with them.
template <class R, class... A>
void call_zeroed(R (*call)(A...)) {
  call(A{}...);
}

struct slot_call {
  const char* name;
  void (*call)();
};

const slot_call slot_calls[] = {
#define BACKEND_SLOT(result, slot, params, args, fallback) \
  {#slot, [] { call_zeroed(backend_##slot); }},
    BACKEND_SLOTS(BACKEND_SLOT)
#undef BACKEND_SLOT
};

TEST(BackendLock, EverySlotCalledUnderTheCoreLockEndsTheProgramInADebugBuild) {
  if (!core_lock_checked) GTEST_SKIP() << "a release build does not check";
  ASSERT_TRUE(headless);
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  for (const slot_call& s : slot_calls) {
    EXPECT_DEATH(
        {
          core_guard g(core_lock());
          s.call();
        },
        std::string("the backend's ") + s.name + " was called with the core lock held");
  }
}

TEST(BackendLock, TheCheckFollowsTheLockThroughLockWindowAndItsRelease) {
  if (!core_lock_checked) GTEST_SKIP() << "a release build does not check";
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        locked_window held = lock_window(nullptr);
        backend_text_width("x", 1);
      },
      "the backend's text_width was called with the core lock held");
  {
    auto [g, w] = lock_window(nullptr);
    EXPECT_TRUE(core_mutex::held_here);
  }
  EXPECT_FALSE(core_mutex::held_here);
  EXPECT_EQ(backend_text_width("x", 1), -1) << "headless has no font of its own";
}

TEST(BackendLock, ASlowPresentHoldsUpNoCrossThreadSend) {
  HWND here = make_window(WS_OVERLAPPED);  // never shown, so never presented
  ASSERT_NE(here, nullptr);
  constexpr int present_ms = 2000;
  headless_present_delay(present_ms);
  int before = headless_presents();
  std::thread painter([] {
    HWND shown = make_window(WS_OVERLAPPED | WS_VISIBLE);
    UpdateWindow(shown);
    DestroyWindow(shown);
  });
  while (headless_presents() == before) sleep_ms(1);

  std::atomic<bool> answered{false};
  std::chrono::steady_clock::duration took{};
  std::thread sender([&] {
    auto start = std::chrono::steady_clock::now();
    SendMessageA(here, WM_NULL, 0, 0);
    took = std::chrono::steady_clock::now() - start;
    answered = true;
  });
  MSG m;
  while (!answered) {
    PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE);
    sleep_ms(1);
  }
  sender.join();
  painter.join();
  headless_present_delay(0);
  EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(took).count(), present_ms / 2)
      << "the send waited for the other thread's present";
  DestroyWindow(here);
}

}  // namespace
