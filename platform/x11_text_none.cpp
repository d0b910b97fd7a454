// Without Xft the x11 backend has no font of its own and the built-in one draws.

#include "platform/x11_text.h"

bool x11_text_open(Display*, int, int) { return false; }

int x11_text_width(const char*, int) { return -1; }

bool x11_draw_text(surface*, int, int, RECT, const char*, int, uint32_t) { return false; }
