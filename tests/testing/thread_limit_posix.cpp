#include "tests/testing/thread_limit.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "support/clock_sys.h"
#include "support/thread.h"

bool thread_limited() {
  const char* v = std::getenv("KTA_THREAD_LIMITED");
  return v && std::strcmp(v, "1") == 0;
}

int rerun_thread_limited(int limit_ms) {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string filter =
      std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  char self[4096];
  ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
  if (n <= 0) return -1;
  self[n] = 0;
  // Everything the child needs is made before the fork: it only calls exec.
  pid_t pid = fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    execl("/bin/bash", "bash", KTA_THREAD_LIMIT_SCRIPT, "--", self, filter.c_str(), nullptr);
    _exit(127);
  }
  uint64_t end = sys_monotonic_ms() + static_cast<uint64_t>(limit_ms);
  for (;;) {
    int status = 0;
    pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (done < 0 || sys_monotonic_ms() > end) break;
    sleep_tick();
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return -1;
}
