// GOST 28147-89 block-core throughput, ECB-style over a buffer, for each
// record: portable, scalar scheduled and AVX single-block, and the AVX
// eight-block form (eight blocks per call under one key); beside libgcrypt's
// and Botan's ECB. The peers run under every algorithm name so that each
// line of the table carries its ratio; compare the vrt figures of
// gost89_avx8 and gost89_scalar for the gain of the eight-block form.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_BOTAN)
#include <botan/block_cipher.h>
#endif

namespace {

const std::vector<int64_t> kSizes = {8, 1 << 20};
const std::vector<int64_t> kSizes8 = {64, 1 << 20};

const uint8_t kKey[32] = {0x54, 0x6d, 0x20, 0x33, 0x68, 0x65, 0x6c, 0x32, 0x69, 0x73, 0x65,
                          0x20, 0x73, 0x73, 0x6e, 0x62, 0x20, 0x61, 0x67, 0x79, 0x69, 0x67,
                          0x74, 0x74, 0x73, 0x65, 0x68, 0x65, 0x20, 0x2c, 0x3d, 0x73};

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

gost89_key_t Key() {
  gost89_key_t k{};
  std::memcpy(k.key, kKey, 32);
  return k;
}

void Record(benchmark::State& state, const vrt_block_alg_t* alg, uint32_t needs) {
  if ((vrtpInstance.cpu_enabled & needs) != needs) {
    state.SkipWithError("the processor lacks this variant's instructions");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  const gost89_sbox_t* s = vrtpGost89SboxPointer(VRT_GOST89_SBOX_CRYPTOPRO_A);
  gost89_key_t keys[8];
  for (auto& k : keys) k = Key();
  const size_t step = alg->block_size;
  const gost89_block_fn f = alg->encrypt.gost89;
  for (auto _ : state) {
    for (size_t i = 0; i < n; i += step) f(in.data() + i, out.data() + i, keys, s);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, n);
}

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  gcry_cipher_hd_t h;
  if (gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0 ||
      gcry_cipher_setkey(h, kKey, 32) != 0 ||
      gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.2.2.31.1"), 0) != 0) {
    state.SkipWithError("libgcrypt GOST 28147-89 set-up failed");
    return;
  }
  for (auto _ : state) {
    gcry_cipher_encrypt(h, out.data(), n, in.data(), n);
    benchmark::DoNotOptimize(out.data());
  }
  gcry_cipher_close(h);
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_BOTAN)
void Botan(benchmark::State& state) {
  auto c = Botan::BlockCipher::create("GOST-28147-89(R3411_CryptoPro)");
  if (!c) {
    state.SkipWithError("Botan GOST 28147-89 not available");
    return;
  }
  c->set_key(kKey, 32);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  for (auto _ : state) {
    c->encrypt_n(in.data(), out.data(), n / 8);
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, n);
}
#endif

void Register() {
  struct Ours {
    const char* name;
    const vrt_block_alg_t* alg;
    uint32_t needs;
  };
  const Ours ours[] = {
      {"gost89_portable", &vrtpGost89AlgG1, 0},
      {"gost89_scalar", &vrtpGost89AlgAluG1, 0},
      {"gost89_avx", &vrtpGost89AlgAvxG1, VRT_CPU_AVX},
      {"gost89_avx8", &vrtpGost89AlgAvxG8, VRT_CPU_AVX},
      {"gost89_avx512x8", &vrtpGost89AlgAvx512G8, VRT_CPU_AVX512VL},
  };
  for (const Ours& o : ours) {
    const std::string algo = o.name;
    const auto& sizes = o.alg->block_size == 64 ? kSizes8 : kSizes;
    const vrt_block_alg_t* alg = o.alg;
    const uint32_t needs = o.needs;
    benchmark::RegisterBenchmark((algo + "/vrt").c_str(),
                                 [alg, needs](benchmark::State& s) { Record(s, alg, needs); })
        ->ArgsProduct({sizes});
#if defined(VRT_HAVE_GCRYPT)
    benchmark::RegisterBenchmark((algo + "/gcrypt").c_str(), Gcrypt)->ArgsProduct({sizes});
#endif
#if defined(VRT_HAVE_BOTAN)
    benchmark::RegisterBenchmark((algo + "/botan").c_str(), Botan)->ArgsProduct({sizes});
#endif
  }
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
