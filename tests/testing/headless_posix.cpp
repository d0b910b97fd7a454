#include "tests/testing/headless.h"

#include <cstdlib>

void use_headless_windowing() { setenv("KTA_WINDOWING", "headless", 1); }
