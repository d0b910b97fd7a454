// The headless backend: the same window tree and pixels, nothing on a screen.

#include <atomic>
#include <cstring>

#include "platform/backend.h"
#include "platform/headless.h"
#include "support/thread.h"

namespace {

struct headless_window {
  HWND top;
  std::atomic<bool> shown;
};

std::atomic<int> presents{0};
std::atomic<int> present_ms{0};

void* create(HWND top, surface*, int, int, const char*) { return new headless_window{top, false}; }

void destroy(void* native) { delete static_cast<headless_window*>(native); }

void show(void* native, bool visible) { static_cast<headless_window*>(native)->shown = visible; }

void present(void*, RECT) {
  presents++;
  if (int ms = present_ms.load()) sleep_ms(static_cast<uint32_t>(ms));
}

// The pixels of top's surface, under its lock, to f: false for a bad window.
template <class F>
bool read_pixels(HWND top, F f) {
  surface* s;
  {
    auto [g, w] = lock_window(top);
    if (!w || !w->surf) return false;
    s = pin_surface(w->surf);
  }
  {
    std::lock_guard<std::mutex> g(s->lock);
    f(*s);
  }
  unpin_surface(s);
  return true;
}

}  // namespace

const backend backend_headless = {
    .name = "headless",
    .create = create,
    .destroy = destroy,
    .show = show,
    .present = present,
};

void headless_mouse(HWND top, UINT msg, int x, int y) { input_mouse(top, msg, x, y, tick_ms()); }

void headless_click(HWND top, int x, int y) {
  headless_mouse(top, WM_LBUTTONDOWN, x, y);
  headless_mouse(top, WM_LBUTTONUP, x, y);
}

void headless_wheel(HWND top, int x, int y, int notches) {
  input_wheel(top, x, y, notches * WHEEL_DELTA);
}

void headless_key(HWND top, UINT vk, bool down) { input_key(top, down, vk, 0); }

void headless_close(HWND top) { input_close(top); }

uint32_t headless_pixel(HWND top, int x, int y) {
  uint32_t p = 0xFFFFFFFF;
  read_pixels(top, [&](const surface& s) {
    if (x < 0 || y < 0 || x >= s.w || y >= s.h) return;
    int k = s.scale;
    p = s.pixels[static_cast<size_t>(y) * k * s.w * k + static_cast<size_t>(x) * k];
  });
  return p;
}

std::vector<uint32_t> headless_pixels(HWND top) {
  std::vector<uint32_t> out;
  read_pixels(top, [&](const surface& s) { out = s.pixels; });
  return out;
}

int headless_presents() { return presents.load(); }

void headless_present_delay(int ms) { present_ms = ms; }

bool headless_shown(HWND top) {
  auto [g, w] = lock_window(top);
  return strcmp(current_backend()->name, backend_headless.name) == 0 && w && w->surf &&
         w->surf->native && static_cast<headless_window*>(w->surf->native)->shown;
}
