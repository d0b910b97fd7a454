// Text: the built-in font's glyphs blended onto a surface, or the backend's
// font where it has one, and the widths the controls lay text out by.

#include "platform/backend.h"
#include "platform/draw.h"
#include "platform/font_data.h"

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
  dc_target t;
  if (len <= 0 || !dc_begin(hdc, &t)) return;
  int bx = x + t.ox, baseline = y + t.oy + font_ascent;
  {
    std::lock_guard<std::mutex> g(t.s->lock);
    if (!backend_draw_text(t.s, bx, baseline, t.clip, text, len, rgb_of(c)))
      builtin_text(t.s, bx, baseline, t.clip, text, len, rgb_of(c));
  }
  dc_end(t);
}

int text_width(const char* text, int len) {
  int w = backend_text_width(text, len);
  if (w >= 0) return w;
  w = 0;
  for (int i = 0; i < len; i++) {
    auto ch = static_cast<unsigned char>(text[i]);
    w += font_glyphs[(ch < 32 || ch > 126 ? '?' : ch) - 32].advance;
  }
  return w;
}

int text_height() { return font_ascent + font_descent; }
