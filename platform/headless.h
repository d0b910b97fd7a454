#pragma once
// The headless backend's side door for tests on Linux: input that takes the
// same path as a real display's (hit testing, capture, double-clicks), and
// the pixels a window would show. Chosen with KTA_WINDOWING=headless.

#include <cstdint>
#include <vector>

#include "platform/winapi.h"

// x, y in the top-level window's client area.
void headless_mouse(HWND top, UINT msg, int x, int y);
void headless_click(HWND top, int x, int y);
// Notches of the wheel with the pointer at x, y: up (away from the user) when positive.
void headless_wheel(HWND top, int x, int y, int notches);
void headless_key(HWND top, UINT vk, bool down);
void headless_close(HWND top);
// 0x00RRGGBB of a client pixel as last drawn; 0xFFFFFFFF outside.
uint32_t headless_pixel(HWND top, int x, int y);
// Every client pixel of top, row by row, as last drawn; none for a bad window.
std::vector<uint32_t> headless_pixels(HWND top);
// How many times windows were presented, and whether top is shown.
int headless_presents();
// Each present from now on takes ms, as on a slow display.
void headless_present_delay(int ms);
bool headless_shown(HWND top);
