// What bringing the library up costs: vrtInit alone, vrtInitRunTests (the
// whole known-answer suite), and each known-answer test by itself, by its
// position in the run order; then the reference signature engine that
// serves the signature self-test and handles made before initialisation:
// its self-test by name and one scalar multiplication k*G per width.
#include <algorithm>
#include <string>
#include <vector>

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

void SignSelfTest(benchmark::State& state) {
  for (auto _ : state) {
    if (sign2012_self_test(&vrtpInstance) != VRT_SUCCESS) state.SkipWithError("self-test failed");
  }
}

void ReferenceMulK(benchmark::State& state, const sign2012_par_t* par) {
  const size_t L = par->bits / 8;
  std::vector<uint8_t> k(L, 0xa5), g(2 * L), out(2 * L);
  std::copy(par->x, par->x + L, g.begin());
  std::copy(par->y, par->y + L, g.begin() + static_cast<std::ptrdiff_t>(L));
  k[L - 1] = 0x3c;  // below q on every set
  for (auto _ : state) {
    if (L == 32)
      sign2001_mul_k_EP_256_bit(k.data(), g.data(), out.data(), out.data() + L, par->a, par->p);
    else
      sign2012_mul_k_EP_512_bit(k.data(), g.data(), out.data(), out.data() + L, par->a, par->p);
    benchmark::DoNotOptimize(out.data());
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
  benchmark::RegisterBenchmark("selftest/sign2012/vrt", SignSelfTest)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("reference-mul-k/cryptopro-a/vrt", ReferenceMulK,
                               &gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet)
      ->Unit(benchmark::kMicrosecond);
  benchmark::RegisterBenchmark("reference-mul-k/tc26-512-a/vrt", ReferenceMulK,
                               &gost3410_param_tc26_gost_3410_12_512_paramSetA)
      ->Unit(benchmark::kMicrosecond);
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
