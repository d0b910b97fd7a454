#include "tests/testing/headless.h"

void use_headless_windowing() {}
