#pragma once
// kta-scan's results in each of its formats: one address a line, the
// columns of --long, JSON, and RFC 4180 CSV. Devices come in numeric order.

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "tools/scan_device.h"
#include "tools/scan_options.h"

struct scan_printer {
  FILE* out;
  scan_format format;
  bool web;  // the pages were checked: each device's result follows it
};

// A scan's devices, all at once; dropped is -1 where the system cannot tell.
void scan_print(const scan_printer& p, const std::vector<scan_device>& devices, int32_t rounds,
                int32_t dropped);
// What comes before a watch's first event: the header row of CSV.
void scan_print_watch_start(const scan_printer& p);
// One event of a watch, a device found or lost at time ("2026-12-09T10:00:00Z").
void scan_print_event(const scan_printer& p, bool found, const std::string& time,
                      const scan_device& d);
