// ShellExecuteA: programs that exist here run with their parameters; a
// Windows browser path opens the URL in $BROWSER instead, never via a shell.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

#include "platform/winapi.h"

namespace {

const char* ie = "C:\\Program Files\\Internet Explorer\\IEXPLORE.EXE";

struct shell : ::testing::Test {
  std::string dir, out, recorder;
  void SetUp() override {
    char tmpl[] = "/tmp/kta-shell-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    out = dir + "/opened";
    recorder = dir + "/browser";
    std::ofstream(recorder) << "#!/bin/sh\nfor a in \"$@\"; do echo \"[$a]\"; done > " << out
                            << ".tmp && mv " << out << ".tmp " << out << "\n";
    chmod(recorder.c_str(), 0755);
  }
  void TearDown() override {
    unsetenv("BROWSER");
    std::string cmd = "rm -rf " + dir;
    ASSERT_EQ(system(cmd.c_str()), 0);
  }
  std::string opened() {
    for (int i = 0; i < 300; i++) {
      std::ifstream f(out);
      if (f) {
        std::stringstream s;
        s << f.rdbuf();
        return s.str();
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "(nothing opened)";
  }
  static bool ok(HINSTANCE r) { return reinterpret_cast<uintptr_t>(r) > 32; }
};

TEST_F(shell, AWindowsBrowserPathOpensTheUrlInTheDesktopBrowser) {
  setenv("BROWSER", recorder.c_str(), 1);
  EXPECT_TRUE(ok(ShellExecuteA(nullptr, "open", ie, "http://10.0.0.5", nullptr, SW_SHOW)));
  EXPECT_EQ(opened(), "[http://10.0.0.5]\n");
}

TEST_F(shell, BrowserCommandWithPlaceholderGetsTheUrlAsOneArgument) {
  std::string cmd = recorder + " --new-window %s";
  setenv("BROWSER", cmd.c_str(), 1);
  ShellExecuteA(nullptr, "open", ie, "http://10.0.0.5/a b;rm -rf x", nullptr, SW_SHOW);
  EXPECT_EQ(opened(), "[--new-window]\n[http://10.0.0.5/a]\n")
      << "split as Windows splits, no shell";
}

TEST_F(shell, AProgramThatExistsRunsWithItsParameters) {
  EXPECT_TRUE(
      ok(ShellExecuteA(nullptr, "open", recorder.c_str(), "one \"two three\"", nullptr, SW_SHOW)));
  EXPECT_EQ(opened(), "[one]\n[two three]\n");
}

TEST_F(shell, NothingStartsWithoutAProgramOrAUrl) {
  setenv("BROWSER", recorder.c_str(), 1);
  EXPECT_FALSE(ok(ShellExecuteA(nullptr, "open", ie, "-e evil", nullptr, SW_SHOW)));
  EXPECT_FALSE(ok(ShellExecuteA(nullptr, "open", nullptr, "http://x", nullptr, SW_SHOW)));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_NE(access(out.c_str(), F_OK), 0);
}

}  // namespace
