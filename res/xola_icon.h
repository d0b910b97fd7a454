#pragma once
// XOLA_ICON: 32x32, 16 colours. A KTA-310 box with its antenna sending
// signal arcs. One hex digit per pixel indexes xola_icon_palette; a blank
// is transparent. The Windows resource carries the same picture.

#include <cstdint>

// The standard 16-colour VGA palette, 0x00RRGGBB.
constexpr uint32_t xola_icon_palette[16] = {
    0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
    0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF,
};

constexpr int xola_icon_size = 32;

// clang-format off
constexpr const char* xola_icon_rows[32] = {
    "            4       4           ",
    "          444       444         ",
    "         444         444        ",
    "        44  CC     CC  44       ",
    "       44  CCC     CCC  44      ",
    "       44 CCC       CCC 44      ",
    "      44 CCC CC   CC CCC 44     ",
    "      44 CC CCC   CCC CC 44     ",
    "         C  CC  9  CC  C        ",
    "            C  999  C           ",
    "               909              ",
    "                0               ",
    "                0               ",
    "                0               ",
    "                0               ",
    "                0               ",
    "                0               ",
    "                0               ",
    "                0               ",
    "   00000000000000000000000000   ",
    "   0FFFFFFFFFFFFFFFFFFFFFFF80   ",
    "   0F777777777777777777777780   ",
    "   0F788888888888887788888780   ",
    "   0F780AA0AA0BB0087777777780   ",
    "   0F780AA0AA0BB0087788888780   ",
    "   0F788888888888887777777780   ",
    "   0F777777777777777777777780   ",
    "   08888888888888888888888880   ",
    "   00000000000000000000000000   ",
    "     00                  00     ",
    "                                ",
    "                                ",
};
// clang-format on
