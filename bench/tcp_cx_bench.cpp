// The connection manager's cost and reaction time. Runs only inside the lab:
//   tests/lab/lab.sh -- build-bench/bench/tcp_cx_bench
// It connects on loopback only. Attempts that never answer go to a listener
// whose accept queue is full: the kernel drops their SYNs, so they stay
// pending for minutes without a packet leaving the namespace.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "net/net.h"
#include "net/stream.h"
#include "net/tcp_cx.h"
#include "support/alloc.h"

namespace {

using clock_type = std::chrono::steady_clock;

constexpr int32_t silent_port = 11900;
constexpr int32_t open_port = 11901;

bool in_lab() {
  const char* marker = std::getenv("KTA_LAB_NETNS");
  char own[128];
  ssize_t n = readlink("/proc/self/ns/net", own, sizeof own - 1);
  if (!marker || n <= 0) return false;
  own[n] = 0;
  return std::string(own) == marker;
}

double cpu_seconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Fills the table with attempts toward the full listener; the few that the
// accept queue still takes connect and leave at once.
void fill_with_silent_attempts(int32_t want) {
  for (int round = 0; round < 4 && tcp_cx_pending() < want; round++) {
    while (tcp_cx_pending() < want) {
      if (tcp_connect("127.0.0.1", silent_port, 600, nullptr, nullptr, nullptr) < 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
}

struct session {
  int32_t silent = -1;
  bool ok = false;
  explicit session(benchmark::State& state) {
    if (!in_lab()) {
      state.SkipWithError("run inside the lab: tests/lab/lab.sh -- <this program>");
      return;
    }
    rlimit lim;
    getrlimit(RLIMIT_NOFILE, &lim);
    lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, 4096);
    setrlimit(RLIMIT_NOFILE, &lim);
    mem_start();
    net_start();
    silent = tcp_listen(silent_port);
    ok = silent > 0;
    if (!ok) state.SkipWithError("cannot listen on the silent port");
  }
  ~session() {
    if (!in_lab()) return;
    net_stop();
    if (silent > 0) tcp_close(silent);
    mem_stop();
  }
};

// CPU time of the whole process over 5 s while the main thread sleeps: the
// manager's passes over 1024 pending attempts, every 10 ms.
void BM_ManagerCpu1024Pending(benchmark::State& state) {
  session s(state);
  if (!s.ok) return;
  tcp_cx_batch_queries(static_cast<int32_t>(state.range(0)));
  fill_with_silent_attempts(tcp_cx_max);
  state.counters["pending"] = tcp_cx_pending();
  for (auto _ : state) {
    double cpu0 = cpu_seconds();
    auto t0 = clock_type::now();
    std::this_thread::sleep_for(std::chrono::seconds(5));
    double wall = std::chrono::duration<double>(clock_type::now() - t0).count();
    double cpu = cpu_seconds() - cpu0;
    state.SetIterationTime(wall);
    state.counters["cpu_ms"] = cpu * 1e3;
    state.counters["cpu_pct"] = 100.0 * cpu / wall;
    state.counters["us_per_pass"] = cpu * 1e6 / (wall / 0.010);
  }
  state.counters["still_pending"] = tcp_cx_pending();
  tcp_cx_batch_queries(1);
}
BENCHMARK(BM_ManagerCpu1024Pending)
    ->Arg(1)
    ->Arg(0)
    ->ArgName("batched")
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

std::atomic<int64_t> connected_at{0};

void stamp(void*, int32_t sock) {
  connected_at = clock_type::now().time_since_epoch().count();
  tcp_close(sock);
}

// From the moment the listener's accept returns to on_connected, with
// range(0) silent attempts pending ahead of it (the pass must walk them).
void BM_AcceptToOnConnected(benchmark::State& state) {
  session s(state);
  if (!s.ok) return;
  fill_with_silent_attempts(static_cast<int32_t>(state.range(0)));
  int32_t l = tcp_listen(open_port);
  std::vector<double> accept_to_cb, connect_to_cb;
  for (auto _ : state) {
    connected_at = 0;
    auto t0 = clock_type::now();
    tcp_connect("127.0.0.1", open_port, 5, nullptr, nullptr, stamp);
    int32_t c = tcp_accept(l, nullptr);
    auto t_accept = clock_type::now();
    while (connected_at.load() == 0) std::this_thread::sleep_for(std::chrono::microseconds(50));
    auto t_cb = clock_type::time_point(clock_type::duration(connected_at.load()));
    tcp_close(c);
    double a = std::max(0.0, std::chrono::duration<double>(t_cb - t_accept).count());
    accept_to_cb.push_back(a);
    connect_to_cb.push_back(std::chrono::duration<double>(t_cb - t0).count());
    state.SetIterationTime(a);
  }
  tcp_close(l);
  auto max_ms = [](const std::vector<double>& v) {
    return 1e3 * *std::max_element(v.begin(), v.end());
  };
  auto mean_ms = [](const std::vector<double>& v) {
    double sum = 0;
    for (double x : v) sum += x;
    return 1e3 * sum / static_cast<double>(v.size());
  };
  state.counters["pending_ahead"] = tcp_cx_pending();
  state.counters["accept_to_cb_mean_ms"] = mean_ms(accept_to_cb);
  state.counters["accept_to_cb_max_ms"] = max_ms(accept_to_cb);
  state.counters["connect_to_cb_mean_ms"] = mean_ms(connect_to_cb);
  state.counters["connect_to_cb_max_ms"] = max_ms(connect_to_cb);
}
BENCHMARK(BM_AcceptToOnConnected)
    ->Arg(0)
    ->Arg(1000)
    ->ArgName("pending")
    ->Iterations(200)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  // log.txt and nothing else lands in a scratch directory.
  char dir[] = "/tmp/kta-bench-XXXXXX";
  if (mkdtemp(dir) && chdir(dir) != 0) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
