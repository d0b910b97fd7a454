#pragma once
// Sizes that Windows 10 gives at 96 dpi, which layouts here are measured by.

// A top-level window with a caption: 240x300 outside leaves 234x271 inside.
constexpr int fixed_frame = 3;
constexpr int sizing_frame = 8;
constexpr int caption_height = 23;
// A vertical scroll bar, whose arrow buttons are as high as it is wide.
constexpr int scrollbar_width = 17;
constexpr int scroll_arrow_height = scrollbar_width;
