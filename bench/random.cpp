// The random generator and the random wipe: random_generate for small and
// bulk requests, vrt_memreset_s of a key schedule's size and of a page;
// libgcrypt's and OpenSSL's generators for orientation.
#include <cstring>
#include <string>
#include <vector>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/rand.h>
#endif

namespace {

void Generate(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> out(n);
  random_seed_t seed;
  for (size_t i = 0; i < sizeof seed; ++i) reinterpret_cast<uint8_t*>(&seed)[i] = static_cast<uint8_t>(i * 13 + 1);
  if (random_set_custom_seed(nullptr, &seed, nullptr) != VRT_SUCCESS) {
    state.SkipWithError("seeding failed");
    return;
  }
  // The fresh seed material of each re-key is taken, so the generator re-keys
  // once per byte limit; a caller that takes none gets a re-key on every
  // block once the limit has passed.
  random_seed_t fresh;
  for (auto _ : state) {
    if (random_generate(nullptr, out.data(), n, nullptr, &fresh) != VRT_SUCCESS) state.SkipWithError("generate failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void Memreset(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> buf(n);
  for (auto _ : state) {
    if (vrt_memreset_s(buf.data(), static_cast<int64_t>(n)) != VRT_SUCCESS) state.SkipWithError("wipe failed");
    benchmark::DoNotOptimize(buf.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    gcry_randomize(out.data(), n, GCRY_STRONG_RANDOM);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
#endif

#if defined(VRT_HAVE_OPENSSL)
void OpenSsl(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    if (RAND_bytes(out.data(), static_cast<int>(n)) != 1) state.SkipWithError("RAND_bytes failed");
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
#endif

void Register() {
  const std::vector<int64_t> sizes = {32, 4096, 1 << 20};
  benchmark::RegisterBenchmark("random/vrt", Generate)->ArgsProduct({sizes});
#if defined(VRT_HAVE_GCRYPT)
  benchmark::RegisterBenchmark("random/gcrypt", Gcrypt)->ArgsProduct({sizes});
#endif
#if defined(VRT_HAVE_OPENSSL)
  benchmark::RegisterBenchmark("random/openssl", OpenSsl)->ArgsProduct({sizes});
#endif
  benchmark::RegisterBenchmark("memreset/vrt", Memreset)->ArgsProduct({{160, 4096}});
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
