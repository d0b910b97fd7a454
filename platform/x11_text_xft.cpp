// Anti-aliased text through Xft: glyphs of the desktop's sans-serif font are
// rendered once by FreeType and blended into the window's pixels.

#include <X11/Xft/Xft.h>

#include <cstdio>
#include <vector>

#include "platform/draw.h"
#include "platform/x11_text.h"

namespace {

struct glyph {
  int left, top, w, h, advance;
  std::vector<unsigned char> alpha;
};

bool ready = false;
glyph glyphs[95];      // at the program's size: the advances lay text out
glyph* big = nullptr;  // at the screen's scale, when above 1: the shapes drawn
int big_scale = 1;

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

// The glyphs of the desktop's sans-serif font at a size in pixels; the font
// is closed afterwards, as the glyphs are all that is needed of it.
bool load_all(Display* dpy, int screen, int pixels, glyph* out) {
  char name[64];
  snprintf(name, sizeof name, "sans-serif:pixelsize=%d", pixels);
  XftFont* font = XftFontOpenName(dpy, screen, name);
  if (!font) return false;
  FT_Face face = XftLockFace(font);
  if (face) {
    for (int c = 32; c < 127; c++) load(face, c, &out[c - 32]);
    XftUnlockFace(font);
  }
  XftFontClose(dpy, font);
  return face != nullptr;
}

const glyph& glyph_of(const glyph* set, unsigned char c) {
  return set[(c < 32 || c > 126 ? '?' : c) - 32];
}

}  // namespace

bool x11_text_open(Display* dpy, int screen, int scale) {
  // The size of Windows' classic control font, so layouts measure alike.
  ready = load_all(dpy, screen, 11, glyphs);
  if (ready && scale > 1) {
    big = new glyph[95];
    if (load_all(dpy, screen, 11 * scale, big)) {
      big_scale = scale;
    } else {
      delete[] big;
      big = nullptr;
    }
  }
  return ready;
}

int x11_text_width(const char* text, int len) {
  if (!ready) return -1;
  int w = 0;
  for (int i = 0; i < len; i++) w += glyph_of(glyphs, static_cast<unsigned char>(text[i])).advance;
  return w;
}

bool x11_draw_text(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                   uint32_t rgb) {
  if (!ready) return false;
  // The surface's scale is the screen's, for which the large glyphs were made.
  int k = s->scale;
  if (k != 1 && (k != big_scale || !big)) return false;
  const glyph* shapes = k == 1 ? glyphs : big;
  RECT screen_clip{clip.left * k, clip.top * k, clip.right * k, clip.bottom * k};
  for (int i = 0; i < len; i++) {
    auto c = static_cast<unsigned char>(text[i]);
    const glyph& g = glyph_of(shapes, c);
    for (int gy = 0; gy < g.h; gy++) {
      int py = baseline * k - g.top + gy;
      for (int gx = 0; gx < g.w; gx++) {
        int px = x * k + g.left + gx;
        unsigned a = g.alpha[static_cast<size_t>(gy) * g.w + gx];
        if (!a || !PtInRect(&screen_clip, POINT{px, py})) continue;
        uint32_t& d = s->pixels[static_cast<size_t>(py) * s->w * k + px];
        d = blend(d, rgb, a);
      }
    }
    x += glyph_of(glyphs, c).advance;
  }
  return true;
}
