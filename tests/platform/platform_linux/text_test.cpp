// The built-in font and the pixels it is drawn into: glyphs blended by their
// coverage, widths that add up, and nothing drawn for a space.

#include <gtest/gtest.h>

#include <vector>

#include "platform/draw.h"
#include "platform/headless.h"
#include "tests/testing/headless.h"

namespace {

const bool headless = (use_headless_windowing(), true);

LRESULT CALLBACK plain(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

HWND make_white_window() {
  static const bool registered = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = plain;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = "KtaText";
    return RegisterClassA(&wc) != 0;
  }();
  if (!registered) return nullptr;
  HWND w = CreateWindowExA(0, "KtaText", "text", WS_POPUP | WS_VISIBLE, 0, 0, 100, 40, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
  UpdateWindow(w);
  return w;
}

// The pixels after text is drawn at 10, 10 in black over white.
std::vector<uint32_t> drawn(const char* text, int len) {
  HWND w = make_white_window();
  HDC dc = GetDC(w);
  dc_text(dc, 10, 10, text, len, RGB(0, 0, 0));
  ReleaseDC(w, dc);
  std::vector<uint32_t> out = headless_pixels(w);
  DestroyWindow(w);
  return out;
}

int changed(const std::vector<uint32_t>& pixels) {
  int n = 0;
  for (uint32_t p : pixels) n += p != 0xFFFFFF;
  return n;
}

TEST(Text, ACoverageBlendsEachChannelAlone) {
  EXPECT_EQ(blend(0x000000, 0x123456, 255), 0x123456u);
  EXPECT_EQ(blend(0x123456, 0xABCDEF, 0), 0x123456u);
  // Half of 0xFF over 0x00 in each channel in turn, rounded as 128/255 gives.
  EXPECT_EQ(blend(0x000000, 0xFF0000, 128), 0x800000u);
  EXPECT_EQ(blend(0x000000, 0x00FF00, 128), 0x008000u);
  EXPECT_EQ(blend(0x000000, 0x0000FF, 128), 0x000080u);
}

TEST(Text, WidthsAddUpAndAnUnprintableByteIsAQuestionMark) {
  EXPECT_EQ(text_width("", 0), 0);
  EXPECT_EQ(text_width("ab", 2), text_width("a", 1) + text_width("b", 1));
  EXPECT_GT(text_width(" ", 1), 0) << "a space takes room";
  EXPECT_EQ(text_width("\x01", 1), text_width("?", 1));
}

TEST(Text, AGlyphIsDrawnAndASpaceDrawsNothing) {
  ASSERT_TRUE(headless);
  std::vector<uint32_t> l = drawn("l", 1);
  ASSERT_EQ(l.size(), size_t{100} * 40) << "a headless window is not scaled";
  EXPECT_GT(changed(l), 0);
  EXPECT_EQ(changed(drawn(" ", 1)), 0);
  EXPECT_EQ(drawn("\x01", 1), drawn("?", 1));
}

}  // namespace
