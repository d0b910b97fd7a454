#pragma once
// The tool's only window: a list of device addresses and a "Refresh" button
// over a blue background. Creating it starts the support library, opens the
// broadcast channel and sends the first probe; destroying it stops them.

#include "ui/win.h"

win_obj* probe_window_create();
LRESULT probe_window_destroy(win_obj* obj);
LRESULT probe_window_paint(win_obj* obj);
LRESULT probe_window_command(win_obj* obj);
void open_device_page(const char* address);
