// Text: the built-in font's glyphs blended onto a surface, or the backend's
// font where it has one, and the widths the controls lay text out by.

#include "platform/font_data.h"
#include "platform/internal.h"

uint32_t blend(uint32_t dst, uint32_t src, unsigned a) {
  uint32_t out = 0;
  for (int sh = 0; sh <= 16; sh += 8) {
    unsigned d = (dst >> sh) & 0xFF, c = (src >> sh) & 0xFF;
    out |= ((c * a + d * (255 - a) + 127) / 255) << sh;
  }
  return out;
}

namespace {

void builtin_text(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                  uint32_t rgb) {
  for (int i = 0; i < len; i++) {
    auto ch = static_cast<unsigned char>(text[i]);
    if (ch < 32 || ch > 126) ch = '?';
    const font_glyph& g = font_glyphs[ch - 32];
    const auto* bits = reinterpret_cast<const unsigned char*>(font_bits) + g.offset;
    for (int gy = 0; gy < g.h; gy++) {
      int py = baseline - g.top + gy;
      for (int gx = 0; gx < g.w; gx++) {
        int px = x + g.left + gx;
        unsigned a = bits[gy * g.w + gx];
        if (!a || !PtInRect(&clip, POINT{px, py})) continue;
        // Scaled up, each of the font's pixels becomes a square of the screen's.
        int k = s->scale;
        for (int sy = 0; sy < k; sy++)
          for (int sx = 0; sx < k; sx++) {
            uint32_t& d = s->pixels[static_cast<size_t>(py * k + sy) * s->w * k +
                                    static_cast<size_t>(px * k + sx)];
            d = blend(d, rgb, a);
          }
      }
    }
    x += g.advance;
  }
}

}  // namespace

void dc_text(HDC hdc, int x, int y, const char* text, int len, COLORREF c) {
  auto* dc = reinterpret_cast<gdi_dc*>(hdc);
  std::lock_guard<std::mutex> g(core_lock());
  surface* s = dc_surface(dc);
  if (!s || len <= 0) return;
  RECT clip, whole{0, 0, s->w, s->h};
  IntersectRect(&clip, &dc->clip, &whole);
  const backend* be = current_backend();
  int bx = x + dc->ox, baseline = y + dc->oy + font_ascent;
  if (!be->draw_text(s, bx, baseline, clip, text, len, rgb_of(c)))
    builtin_text(s, bx, baseline, clip, text, len, rgb_of(c));
}

int text_width(const char* text, int len) {
  int (*backend_width)(const char*, int);
  {
    std::lock_guard<std::mutex> g(core_lock());  // the backend may be chosen meanwhile
    backend_width = current_backend()->text_width;
  }
  int w = backend_width(text, len);
  if (w >= 0) return w;
  w = 0;
  for (int i = 0; i < len; i++) {
    auto ch = static_cast<unsigned char>(text[i]);
    w += font_glyphs[(ch < 32 || ch > 126 ? '?' : ch) - 32].advance;
  }
  return w;
}

int text_height() { return font_ascent + font_descent; }
