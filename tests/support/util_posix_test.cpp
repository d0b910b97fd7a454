#include <gtest/gtest.h>

#include <filesystem>

#include "support/alloc.h"
#include "support/util.h"
#include "tests/support/temp_dir.h"

namespace {

class UtilPosix : public temp_dir_test {
 protected:
  void SetUp() override {
    temp_dir_test::SetUp();
    mem_start();
  }
  void TearDown() override {
    mem_stop();
    temp_dir_test::TearDown();
  }
};

TEST_F(UtilPosix, CopyThroughASymbolicLinkOntoItsTargetFails) {
  write_file("x", "precious");
  std::filesystem::create_symlink("x", "sym");
  EXPECT_EQ(file_copy("x", "sym"), -1);
  EXPECT_EQ(read_file("x"), "precious");
}

// A device has nothing to empty; the copy only checks that it is no other file.
TEST_F(UtilPosix, CopyOntoADeviceStillWorks) {
  write_file("x", "data");
  EXPECT_EQ(file_copy("x", "/dev/null"), 0);
  EXPECT_EQ(file_copy("/dev/null", "empty"), 0);
  EXPECT_TRUE(exists("empty"));
  EXPECT_EQ(read_file("empty"), "");
}

}  // namespace
