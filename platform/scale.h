#pragma once
// The integer scale at which windows are shown, from the desktop's Xft.dpi
// resource and the user's KTA_SCALE, either of which may be missing (null).

int screen_scale_for(const char* xft_dpi, const char* kta_scale);
