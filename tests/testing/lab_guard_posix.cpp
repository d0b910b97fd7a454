#include "tests/testing/lab_guard.h"

#include <unistd.h>

#include <cstdlib>

bool lab_active(std::string* why) {
  const char* marker = std::getenv("KTA_LAB_NETNS");
  if (!marker || !*marker) {
    *why = "not inside the lab network namespace: run through tests/lab/lab.sh (make test does)";
    return false;
  }
  // The marker must name this very namespace, not one the environment was copied from.
  char own[128];
  ssize_t n = readlink("/proc/self/ns/net", own, sizeof own - 1);
  if (n <= 0) {
    *why = "cannot read this process's network namespace";
    return false;
  }
  own[n] = 0;
  if (std::string(own) != marker) {
    *why = std::string("lab marker names namespace ") + marker + " but this process is in " + own;
    return false;
  }
  return true;
}
