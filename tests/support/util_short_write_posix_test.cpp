// Writes that the system takes only in part, as a pipe, a socket or a full
// disk takes them: the file utilities go on from where each one stopped.

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include "support/util.h"
#include "tests/support/temp_dir.h"

namespace {

// While nonzero, every write of this process moves at most this many bytes.
std::atomic<size_t> write_at_most{0};

}  // namespace

extern "C" ssize_t write(int fd, const void* buf, size_t n) {
  using real_fn = ssize_t (*)(int, const void*, size_t);
  static auto real = reinterpret_cast<real_fn>(dlsym(RTLD_NEXT, "write"));
  size_t most = write_at_most.load();
  return real(fd, buf, most > 0 && n > most ? most : n);
}

namespace {

struct ShortWrites : temp_dir_test {
  void TearDown() override {
    write_at_most.store(0);
    temp_dir_test::TearDown();
  }
};

TEST_F(ShortWrites, AWriteTakenInPiecesGoesOnWhereEachPieceEnded) {
  std::string text;
  for (int i = 0; i < 1000; i++) text += std::to_string(i) + ",";
  write_at_most.store(7);
  int32_t written = file_write_all("out", text.data(), static_cast<int32_t>(text.size()));
  write_at_most.store(0);
  EXPECT_EQ(written, 0);
  EXPECT_EQ(read_file("out"), text);

  write_at_most.store(5);
  int32_t copied = file_copy("out", "copy");
  write_at_most.store(0);
  EXPECT_EQ(copied, 0);
  EXPECT_EQ(read_file("copy"), text);
}

}  // namespace
