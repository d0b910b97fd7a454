#include "tests/testing/fd_count.h"

#include <dirent.h>
#include <sys/resource.h>

#include <climits>

int open_descriptor_count() {
  DIR* d = opendir("/proc/self/fd");
  if (!d) return -1;
  int n = 0;
  while (readdir(d)) n++;
  closedir(d);
  return n;
}

long raise_descriptor_limit(long want) {
  rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return -1;
  rlim_t target = static_cast<rlim_t>(want);
  if (lim.rlim_cur < target) {
    lim.rlim_cur = lim.rlim_max < target ? lim.rlim_max : target;
    setrlimit(RLIMIT_NOFILE, &lim);
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) return -1;
  }
  // An unlimited soft limit is as many as any test could want.
  return lim.rlim_cur > static_cast<rlim_t>(LONG_MAX) ? LONG_MAX : static_cast<long>(lim.rlim_cur);
}
