// Without libFuzzer: feeds every file named on the command line, or found in
// a folder named there, to the target once. The ordinary builds run the seeds
// and the kept crash inputs this way, so the targets keep building with g++
// and their inputs are checked under the sanitizer builds as well.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

int run_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "replay: cannot read %s\n", path.c_str());
    return 1;
  }
  std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // An empty input still gets a valid pointer, as libFuzzer gives one.
  uint8_t none = 0;
  LLVMFuzzerTestOneInput(data.empty() ? &none : data.data(), data.size());
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  int failures = 0, runs = 0;
  for (int i = 1; i < argc; i++) {
    std::filesystem::path p(argv[i]);
    std::error_code ec;
    if (std::filesystem::is_directory(p, ec)) {
      for (const auto& e : std::filesystem::directory_iterator(p)) {
        if (!e.is_regular_file()) continue;
        failures += run_file(e.path());
        runs++;
      }
    } else {
      failures += run_file(p);
      runs++;
    }
  }
  std::printf("replay: %d input(s)\n", runs);
  return failures == 0 && runs > 0 ? 0 : 1;
}
