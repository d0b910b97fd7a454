// The Windows icon file is made from the same picture as the X11 window
// icon. This test rebuilds the .ico from the picture and compares; with
// KTA_WRITE_ICON=1 in the environment it writes the file instead.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "res/xola_icon.h"

namespace {

void put16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

void put32(std::vector<uint8_t>& out, uint32_t v) {
  put16(out, v & 0xFFFF);
  put16(out, v >> 16);
}

int pixel(int x, int y) {
  char c = xola_icon_rows[y][x];
  if (c == ' ') return -1;
  return c <= '9' ? c - '0' : c - 'A' + 10;
}

// One 32x32 image of 4 bits per pixel with its transparency mask, rows bottom-up.
std::vector<uint8_t> build_ico() {
  constexpr int n = xola_icon_size;
  constexpr uint32_t image_bytes = 40 + 16 * 4 + n * n / 2 + n * n / 8;
  std::vector<uint8_t> out;
  put16(out, 0);  // icon directory
  put16(out, 1);
  put16(out, 1);
  out.insert(out.end(), {n, n, 16, 0});  // its one entry
  put16(out, 1);
  put16(out, 4);
  put32(out, image_bytes);
  put32(out, 6 + 16);
  put32(out, 40);  // bitmap header: twice the height, colour image over mask
  put32(out, n);
  put32(out, 2 * n);
  put16(out, 1);
  put16(out, 4);
  put32(out, 0);
  put32(out, n * n / 2 + n * n / 8);
  for (int i = 0; i < 4; i++) put32(out, 0);
  for (uint32_t rgb : xola_icon_palette) put32(out, rgb & 0xFFFFFF);  // B, G, R, 0 in memory
  for (int y = n - 1; y >= 0; y--) {
    for (int x = 0; x < n; x += 2) {
      int a = pixel(x, y), b = pixel(x + 1, y);
      out.push_back(static_cast<uint8_t>(((a < 0 ? 0 : a) << 4) | (b < 0 ? 0 : b)));
    }
  }
  for (int y = n - 1; y >= 0; y--) {
    for (int x = 0; x < n; x += 8) {
      uint8_t bits = 0;
      for (int k = 0; k < 8; k++) {
        if (pixel(x + k, y) < 0) bits |= static_cast<uint8_t>(0x80 >> k);
      }
      out.push_back(bits);
    }
  }
  return out;
}

// The same picture as an X pixmap, for the Linux desktop entry.
std::string build_xpm() {
  std::string out =
      "/* XPM */\nstatic const char* kta_probe[] = {\n\"32 32 17 1\",\n\"  c None\",\n";
  char line[40];
  for (int i = 0; i < 16; i++) {
    std::snprintf(line, sizeof line, "\"%X c #%06X\",\n", i,
                  static_cast<unsigned>(xola_icon_palette[i] & 0xFFFFFF));
    out += line;
  }
  for (int y = 0; y < xola_icon_size; y++) {
    out += '"';
    out += xola_icon_rows[y];
    out += y + 1 < xola_icon_size ? "\",\n" : "\"\n";
  }
  return out + "};\n";
}

bool writing() {
  const char* write = std::getenv("KTA_WRITE_ICON");
  return write && std::string(write) == "1";
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(Icon, PictureIsThirtyTwoSquareInSixteenColours) {
  for (int y = 0; y < xola_icon_size; y++) {
    ASSERT_EQ(std::string(xola_icon_rows[y]).size(), 32u) << "row " << y;
    for (int x = 0; x < xola_icon_size; x++) {
      char c = xola_icon_rows[y][x];
      EXPECT_TRUE(c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))
          << "row " << y << " column " << x;
    }
  }
}

TEST(Icon, WindowsIconFileMatchesThePicture) {
  const std::string path = std::string(KTA_SOURCE_DIR) + "/res/xola_icon.ico";
  std::vector<uint8_t> want = build_ico();
  ASSERT_EQ(want.size(), 766u);
  if (writing()) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(want.data()),
               static_cast<std::streamsize>(want.size()));
  }
  std::string bytes = read_all(path);
  std::vector<uint8_t> have(bytes.begin(), bytes.end());
  EXPECT_TRUE(have == want) << path << " differs from res/xola_icon.h; rebuild it with "
                            << "KTA_WRITE_ICON=1 build/tests/res/res_icon_test";
}

TEST(Icon, DesktopPixmapMatchesThePicture) {
  const std::string path = std::string(KTA_SOURCE_DIR) + "/res/kta-probe.xpm";
  std::string want = build_xpm();
  if (writing()) std::ofstream(path, std::ios::binary) << want;
  EXPECT_EQ(read_all(path), want) << path << " differs from res/xola_icon.h; rebuild it with "
                                  << "KTA_WRITE_ICON=1 build/tests/res/res_icon_test";
}

}  // namespace
