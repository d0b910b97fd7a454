#include "app/startup.h"

#include <cstdio>
#include <cstdlib>

void startup_report_no_window() {
  const char* display = std::getenv("DISPLAY");
  if (!display || !*display) {
    std::fprintf(stderr, "kta-probe: cannot open display (DISPLAY is not set)\n");
  } else {
    std::fprintf(stderr, "kta-probe: cannot open display %s\n", display);
  }
}
