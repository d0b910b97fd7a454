// The support library's hot small calls: the accounting allocator (its lock
// taken on every call, also from two threads at once) and the conversions
// between the forms of an address and from seconds to a calendar date.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "net/ip.h"
#include "support/alloc.h"
#include "support/clock.h"

namespace {

void BM_AllocFree(benchmark::State& state) {
  if (state.thread_index() == 0) mem_start();
  const auto len = static_cast<int32_t>(state.range(0));
  for (auto _ : state) {
    void* p = my_malloc(len);
    benchmark::DoNotOptimize(p);
    my_free(p);
  }
  if (state.thread_index() == 0) mem_stop();
}
BENCHMARK(BM_AllocFree)->Arg(16)->Arg(1024)->Arg(65536);
BENCHMARK(BM_AllocFree)->Arg(64)->Threads(2)->UseRealTime();

void BM_DottedQuadToBytes(benchmark::State& state) {
  uint8_t bytes[4];
  for (auto _ : state) {
    benchmark::DoNotOptimize(ip_text_to_bytes("192.168.100.254", bytes));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_DottedQuadToBytes);

void BM_BytesToDottedQuad(benchmark::State& state) {
  const uint8_t bytes[4] = {192, 168, 100, 254};
  char text[16];
  for (auto _ : state) {
    benchmark::DoNotOptimize(ip_bytes_to_text(bytes, text));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_BytesToDottedQuad);

// Numeric text never reaches a resolver, so this stays off the network.
void BM_ResolveNumeric(benchmark::State& state) {
  sockaddr_in ep;
  for (auto _ : state) {
    benchmark::DoNotOptimize(ip_resolve(&ep, "10.77.0.10", 9999));
    benchmark::ClobberMemory();
  }
}
BENCHMARK(BM_ResolveNumeric);

void BM_EndpointToText(benchmark::State& state) {
  sockaddr_in ep;
  ip_resolve(&ep, "10.77.0.10", 9999);
  for (auto _ : state) benchmark::DoNotOptimize(ip_to_text(&ep));
}
BENCHMARK(BM_EndpointToText);

void BM_SecsToDateTime(benchmark::State& state) {
  date_time out;
  uint32_t secs = 3'900'000'000u;
  for (auto _ : state) {
    secs_to_date_time(secs, &out);
    benchmark::DoNotOptimize(out);
    secs += 86'399;
  }
}
BENCHMARK(BM_SecsToDateTime);

}  // namespace

BENCHMARK_MAIN();
