#pragma once
// Text in the desktop's font for the x11 backend: Xft where it was found at
// build time (x11_text_xft.cpp), otherwise nothing (x11_text_none.cpp) and the
// built-in font draws.

#include <X11/Xlib.h>

#include "platform/backend.h"

// At a scale above 1 the glyphs are drawn at that many times the size, on
// the places that the font's own size gives, so that layouts measure alike.
bool x11_text_open(Display* dpy, int screen, int scale);
int x11_text_width(const char* text, int len);
bool x11_draw_text(surface* s, int x, int baseline, RECT clip, const char* text, int len,
                   uint32_t rgb);
