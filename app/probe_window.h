#pragma once
// The tool's only window: a list of device addresses and a "Refresh" button
// over a blue background. Creating it starts the support library, opens the
// broadcast channel and sends the first probe; destroying it stops them.

#include "ui/win.h"

win_obj* probe_window_create();
// After the window is first shown: the list takes the focus, and a channel
// that could not open (its port held by another program) is reported in a
// message box owned by the window.
void probe_window_shown(win_obj* obj);
// Ctrl+C and Ctrl+Insert copy the selected address, wherever in the window
// the focus is; true when msg was that key, which then goes no further.
bool probe_window_key(win_obj* obj, const MSG* msg);
LRESULT probe_window_destroy(win_obj* obj);
LRESULT probe_window_paint(win_obj* obj);
LRESULT probe_window_command(win_obj* obj);
// True when a browser was started on the device's page.
bool open_device_page(const char* address);
