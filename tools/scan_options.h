#pragma once
// kta-scan's command line: what it was asked for, read and checked before
// anything starts.

#include <cstdint>
#include <cstdio>
#include <vector>

constexpr int32_t scan_max_rounds = 1000;
constexpr int32_t scan_interval_default_s = 5;
constexpr int32_t scan_interval_max_s = 3600;

constexpr int scan_exit_ok = 0;
constexpr int scan_exit_failed = 1;
constexpr int scan_exit_usage = 2;

enum class scan_format { lines, long_lines, json, csv };

struct scan_options {
  int32_t rounds = 1;
  scan_format format = scan_format::lines;
  std::vector<const char*> interfaces;
  std::vector<const char*> oui_files;  // none: the system's registry files
  bool web = false;
  int32_t web_timeout_s = 2;
  bool watch = false;
  int32_t interval_s = scan_interval_default_s;
};

// Reads argv into opt: 0 to go on; -1 after --help or --version, printed on
// out (the program then ends with 0); else the exit status, after a line on
// stderr that says why.
int scan_parse_args(int argc, char** argv, FILE* out, scan_options* opt);
