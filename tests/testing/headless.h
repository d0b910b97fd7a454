#pragma once
// Window tests run without a display: on Linux they ask the windowing
// stand-in for its headless backend; on Windows the real system draws.

void use_headless_windowing();
