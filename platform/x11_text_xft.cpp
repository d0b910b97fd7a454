// Anti-aliased text through Xft: glyphs of the desktop's sans-serif font are
// rendered once by FreeType and blended into the window's pixels.

#include <X11/Xft/Xft.h>

#include <vector>

#include "platform/x11_text.h"

namespace {

struct glyph {
  int left, top, w, h, advance;
  std::vector<unsigned char> alpha;
};

bool ready = false;
glyph glyphs[95];

void load(FT_Face face, int c, glyph* g) {
  if (FT_Load_Char(face, static_cast<FT_ULong>(c), FT_LOAD_RENDER | FT_LOAD_TARGET_LIGHT)) return;
  FT_GlyphSlot s = face->glyph;
  g->left = s->bitmap_left;
  g->top = s->bitmap_top;
  g->w = static_cast<int>(s->bitmap.width);
  g->h = static_cast<int>(s->bitmap.rows);
  g->advance = static_cast<int>((s->advance.x + 32) >> 6);
  g->alpha.resize(static_cast<size_t>(g->w) * g->h);
  for (int y = 0; y < g->h; y++)
    for (int x = 0; x < g->w; x++) {
      const unsigned char* row = s->bitmap.buffer + y * s->bitmap.pitch;
      unsigned char a = s->bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                            ? ((row[x >> 3] >> (7 - (x & 7))) & 1) * 255
                            : row[x];
      g->alpha[static_cast<size_t>(y) * g->w + x] = a;
    }
}

}  // namespace

bool x11_text_open(Display* dpy, int screen) {
  // The size of Windows' classic control font, so layouts measure alike.
  XftFont* font = XftFontOpenName(dpy, screen, "sans-serif:pixelsize=11");
  if (!font) return false;
  FT_Face face = XftLockFace(font);
  if (face) {
    for (int c = 32; c < 127; c++) load(face, c, &glyphs[c - 32]);
    XftUnlockFace(font);
    ready = true;
  }
  XftFontClose(dpy, font);  // the glyphs are kept; the font is not needed again
  return ready;
}

int x11_text_width(const char* text, int len) {
  if (!ready) return -1;
  int w = 0;
  for (int i = 0; i < len; i++) {
    auto c = static_cast<unsigned char>(text[i]);
    w += glyphs[(c < 32 || c > 126 ? '?' : c) - 32].advance;
  }
  return w;
}

bool x11_draw_text(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                   uint32_t rgb) {
  if (!ready) return false;
  for (int i = 0; i < len; i++) {
    auto c = static_cast<unsigned char>(text[i]);
    const glyph& g = glyphs[(c < 32 || c > 126 ? '?' : c) - 32];
    for (int gy = 0; gy < g.h; gy++) {
      int py = baseline - g.top + gy;
      for (int gx = 0; gx < g.w; gx++) {
        int px = x + g.left + gx;
        unsigned a = g.alpha[static_cast<size_t>(gy) * g.w + gx];
        if (!a || !PtInRect(&clip, POINT{px, py})) continue;
        uint32_t& d = s->pixels[static_cast<size_t>(py) * s->w + px];
        d = blend(d, rgb, a);
      }
    }
    x += g.advance;
  }
  return true;
}
