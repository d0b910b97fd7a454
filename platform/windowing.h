#pragma once
// What the windowing stand-in tells a program that Windows has no call for.

// Why no window can be shown, as a line for a person; null where one can.
// The backend is chosen here if no window has chosen it yet.
const char* windowing_failure();
