#include "tests/testing/xvfb.h"

#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/thread.h"

pid_t xvfb_start(const char* screen, std::string* why) {
  char dir[] = "/tmp/kta-xvfb.XXXXXX";
  if (!mkdtemp(dir)) {
    *why = "no temporary folder";
    return 0;
  }
  // The script leaves the server running in the background with its output
  // in files, so the pipe ends when the shell does; the folder can go then.
  std::string d = dir;
  std::string cmd = "exec 2>&1; . '" KTA_XVFB_SCRIPT "' && xvfb_start '" + d + "' '" + screen +
                    "' && echo \"$XVFB_PID $DISPLAY\"; s=$?; rm -rf '" + d + "'; exit $s";
  FILE* out = popen(cmd.c_str(), "r");
  std::string said;
  char buf[256];
  while (out && fgets(buf, sizeof buf, out)) said += buf;
  int status = out ? pclose(out) : -1;
  pid_t pid = 0;
  char display[64] = {};
  if (status != 0 || std::sscanf(said.c_str(), "%d %63s", &pid, display) != 2 || pid <= 0) {
    *why = said.empty() ? "Xvfb did not start (is the xvfb package installed?)" : said;
    return 0;
  }
  setenv("DISPLAY", display, 1);
  return pid;
}

void xvfb_stop(pid_t server) {
  if (server <= 0 || kill(server, SIGTERM) != 0) return;
  // Not our child (the script's shell started it), so it cannot be waited for.
  for (int i = 0; i < 200 && kill(server, 0) == 0; i++) sleep_ms(10);
}
