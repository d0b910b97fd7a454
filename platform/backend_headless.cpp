// The headless backend: the same window tree and pixels, nothing on a screen.

#include <atomic>
#include <cstring>

#include "platform/headless.h"
#include "platform/internal.h"

namespace {

struct headless_window {
  HWND top;
  bool shown;
};

std::atomic<int> presents{0};

void* create(HWND top, surface*, int, int, const char*) { return new headless_window{top, false}; }

void destroy(void* native) { delete static_cast<headless_window*>(native); }

void show(void* native, bool visible) { static_cast<headless_window*>(native)->shown = visible; }

void present(void*, RECT) { presents++; }

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
  auto [g, w] = lock_window(top);
  if (!w || !w->surf || x < 0 || y < 0 || x >= w->surf->w || y >= w->surf->h) return 0xFFFFFFFF;
  int k = w->surf->scale;
  return w->surf->pixels[static_cast<size_t>(y) * k * w->surf->w * k + static_cast<size_t>(x) * k];
}

std::vector<uint32_t> headless_pixels(HWND top) {
  auto [g, w] = lock_window(top);
  return w && w->surf ? w->surf->pixels : std::vector<uint32_t>();
}

int headless_presents() { return presents.load(); }

bool headless_shown(HWND top) {
  auto [g, w] = lock_window(top);
  return strcmp(current_backend()->name, backend_headless.name) == 0 && w && w->surf &&
         w->surf->native && static_cast<headless_window*>(w->surf->native)->shown;
}
