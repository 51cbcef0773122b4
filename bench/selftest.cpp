// What bringing the library up costs: vrtInit alone, vrtInitRunTests (the
// whole known-answer suite), and each known-answer test by itself, by its
// position in the run order.
#include <string>

#include "bench_util.h"
#include "frame/internal.h"
#include "vrt.h"

namespace {

void InitCleanup(benchmark::State& state, bool run_tests) {
  for (auto _ : state) {
    vrtCleanup();
    uint32_t st = run_tests ? vrtInitRunTests() : vrtInit();
    if (st != VRT_SUCCESS) state.SkipWithError("initialisation failed");
  }
  vrtCleanup();
  if (vrtInit() != VRT_SUCCESS) state.SkipWithError("initialisation failed");
}

void OneTest(benchmark::State& state) {
  const auto test = vrt::frame::selftest_at(static_cast<size_t>(state.range(0)));
  for (auto _ : state) {
    if (test(&vrtpInstance) != VRT_SUCCESS) state.SkipWithError("self-test failed");
  }
}

void Register() {
  benchmark::RegisterBenchmark("init/vrt", [](benchmark::State& s) { InitCleanup(s, false); })
      ->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("init-run-tests/vrt", [](benchmark::State& s) { InitCleanup(s, true); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(5);
  benchmark::RegisterBenchmark("selftest/vrt", OneTest)
      ->DenseRange(0, static_cast<int64_t>(vrt::frame::selftest_count()) - 1)
      ->Unit(benchmark::kMillisecond);
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
