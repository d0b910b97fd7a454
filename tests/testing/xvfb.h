#pragma once
// A private X server for test programs, started by tests/lab/xvfb.sh: the one
// start that the scripts, the demo and the benchmarks use too.

#include <sys/types.h>

#include <string>

// Starts the server with the given screen ("640x480x24") and sets DISPLAY
// to it. The server's pid, or 0 with the reason in *why.
pid_t xvfb_start(const char* screen, std::string* why);

// Stops a server that xvfb_start gave, and waits (at most two seconds) until it is gone.
void xvfb_stop(pid_t server);
