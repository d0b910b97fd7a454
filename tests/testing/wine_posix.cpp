#include "tests/testing/wine.h"

bool under_wine() { return false; }
