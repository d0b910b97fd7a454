#include "app/startup.h"

#include <cstdio>

#include "platform/windowing.h"

void startup_report_no_window() {
  const char* why = windowing_failure();
  std::fprintf(stderr, "kta-probe: %s\n", why ? why : "the main window could not be created");
}
