// The broadcast channel's timing, inside the lab (tests/lab/lab.sh):
//   window: send to on_done, 20 windows (target 900 ms within 3 percent);
//   idle:   wake-ups of the channel's threads between windows over 5 s (target 0).
// Each as the channel reads by default (per_poll:1) and in batch reading,
// as the window tool and kta-scan ask for it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "net/bcast.h"
#include "support/thread.h"

namespace {

constexpr int32_t channel_port = 10000;

bool in_lab() {
  const char* lab = std::getenv("KTA_LAB");
  const char* netns = std::getenv("KTA_LAB_NETNS");
  std::error_code ec;
  auto own = std::filesystem::read_symlink("/proc/self/ns/net", ec);
  return lab && std::string(lab) == "1" && netns && !ec && own.string() == netns;
}

sema* done_posted;
void on_done(void*) { sema_post(done_posted); }

bcast_request request() {
  bcast_request r{};
  r.port = 9999;
  r.on_done = on_done;
  return r;
}

void window(benchmark::State& state) {
  udp_bcast_set_batch(static_cast<int32_t>(state.range(0)));
  bcast_request r = request();
  double shortest = 1e9, longest = 0;
  for (auto _ : state) {
    auto t0 = std::chrono::steady_clock::now();
    udp_bcast_send(&r, "?", 1);
    sema_wait(done_posted, 0);
    std::chrono::duration<double> took = std::chrono::steady_clock::now() - t0;
    state.SetIterationTime(took.count());
    shortest = std::min(shortest, took.count());
    longest = std::max(longest, took.count());
  }
  state.counters["min_ms"] = shortest * 1000;
  state.counters["max_ms"] = longest * 1000;
}
BENCHMARK(window)
    ->ArgName("per_poll")
    ->Arg(1)
    ->Arg(bcast_batch_max)
    ->Iterations(20)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// Context switches of every thread but the calling one, from /proc.
long other_threads_switches() {
  long total = 0;
  std::string self = std::to_string(static_cast<long>(
      std::atoll(std::filesystem::read_symlink("/proc/thread-self").filename().c_str())));
  for (const auto& task : std::filesystem::directory_iterator("/proc/self/task")) {
    if (task.path().filename() == self) continue;
    std::ifstream status(task.path() / "status");
    std::string line;
    while (std::getline(status, line)) {
      if (line.rfind("voluntary_ctxt_switches:", 0) == 0 ||
          line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        total += std::atol(line.substr(line.find(':') + 1).c_str());
      }
    }
  }
  return total;
}

void idle_wakeups(benchmark::State& state) {
  std::error_code ec;
  if (!std::filesystem::exists("/proc/self/task", ec)) {
    state.SkipWithError("needs /proc");
    return;
  }
  udp_bcast_set_batch(static_cast<int32_t>(state.range(0)));
  bcast_request r = request();
  udp_bcast_send(&r, "?", 1);
  sema_wait(done_posted, 0);
  sleep_ms(100);  // let the receiver settle into its wait
  long wakeups = 0;
  for (auto _ : state) {
    long before = other_threads_switches();
    sleep_ms(5000);
    wakeups = other_threads_switches() - before;
  }
  state.counters["wakeups_in_5s"] = static_cast<double>(wakeups);
}
BENCHMARK(idle_wakeups)
    ->ArgName("per_poll")
    ->Arg(1)
    ->Arg(bcast_batch_max)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (!in_lab()) {
    std::fprintf(stderr, "channel_window_bench: run inside the lab: tests/lab/lab.sh -- %s\n",
                 argv[0]);
    return 1;
  }
  done_posted = sema_create();
  if (udp_bcast_open(channel_port) != 0) {
    std::fprintf(stderr, "channel_window_bench: cannot open UDP port %d\n", channel_port);
    return 1;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  udp_bcast_close();
  sema_close(done_posted);
  return 0;
}
