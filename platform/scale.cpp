// A program that declares no DPI awareness is shown scaled up, as Windows
// shows it: here by whole screen pixels, so that nothing blurs.

#include "platform/scale.h"

#include <cstdlib>

namespace {

constexpr int max_scale = 8;

// A whole positive number and nothing after it, else 0.
int whole(const char* text) {
  if (!text || !*text) return 0;
  char* end = nullptr;
  long v = std::strtol(text, &end, 10);
  return (*end == 0 && v > 0 && v <= max_scale) ? static_cast<int>(v) : 0;
}

}  // namespace

int screen_scale_for(const char* xft_dpi, const char* kta_scale) {
  if (int asked = whole(kta_scale)) return asked;
  if (!xft_dpi || !*xft_dpi) return 1;
  char* end = nullptr;
  double dpi = std::strtod(xft_dpi, &end);
  // Below 144 dpi, one and a half times 96, a desktop is taken as unscaled.
  if (end == xft_dpi || !(dpi >= 144)) return 1;
  if (dpi >= 96.0 * max_scale) return max_scale;
  return static_cast<int>(dpi / 96);
}
