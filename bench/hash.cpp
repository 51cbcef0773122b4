// Streebog and GOST R 34.11-94 (CryptoPro set) throughput, ours beside
// Nettle, libgcrypt and the OpenSSL GOST provider.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/gosthash94.h>
#include <nettle/streebog.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace {

const std::vector<int64_t> kHashSizes = {64, 1024, 1 << 20};

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void Ours(benchmark::State& state, uint32_t bits) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t digest[64];
  for (auto _ : state) {
    hash2012_ctx_t ctx;
    uint32_t st = vrtGostHash2012Init(&ctx, bits);
    st |= vrtGostHash2012Update(&ctx, msg.data(), n);
    st |= vrtGostHash2012Finalize(&ctx, digest);
    if (st != VRT_SUCCESS) state.SkipWithError("Streebog failed");
    benchmark::DoNotOptimize(digest);
  }
  SetBytes(state, n);
}

void Ours94(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t digest[32];
  for (auto _ : state) {
    hash94_ctx_t ctx;
    uint32_t st = vrtGostHash94Init(&ctx, VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, nullptr);
    st |= vrtGostHash94Update(&ctx, msg.data(), n);
    st |= vrtGostHash94Finalize(&ctx, digest);
    if (st != VRT_SUCCESS) state.SkipWithError("GOST R 34.11-94 failed");
    benchmark::DoNotOptimize(digest);
  }
  SetBytes(state, n);
}

#if defined(VRT_HAVE_NETTLE)
template <typename Ctx, void (*Init)(Ctx*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t kDigestSize>
void Nettle(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t digest[kDigestSize];
  for (auto _ : state) {
    Ctx ctx;
    Init(&ctx);
    Update(&ctx, n, msg.data());
    Digest(&ctx, sizeof digest, digest);
    benchmark::DoNotOptimize(digest);
  }
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state, int algo) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t digest[64];
  for (auto _ : state) {
    gcry_md_hash_buffer(algo, digest, msg.data(), n);
    benchmark::DoNotOptimize(digest);
  }
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_OPENSSL)
const EVP_MD* GostDigest(const char* name) {
  static OSSL_PROVIDER* prov = OSSL_PROVIDER_load(nullptr, "gostprov");
  (void)prov;
  return EVP_MD_fetch(nullptr, name, nullptr);
}
void OpenSsl(benchmark::State& state, const char* name) {
  const EVP_MD* md = GostDigest(name);
  if (md == nullptr) {
    state.SkipWithError("GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t digest[64];
  unsigned len = 0;
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();
  for (auto _ : state) {
    EVP_DigestInit_ex(ctx, md, nullptr);
    EVP_DigestUpdate(ctx, msg.data(), n);
    EVP_DigestFinal_ex(ctx, digest, &len);
    benchmark::DoNotOptimize(digest);
  }
  EVP_MD_CTX_free(ctx);
  SetBytes(state, n);
}
#endif

void Register() {
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({kHashSizes});
  };
  reg("streebog512/vrt", [](benchmark::State& s) { Ours(s, 512); });
  reg("streebog256/vrt", [](benchmark::State& s) { Ours(s, 256); });
  reg("gost94/vrt", Ours94);
#if defined(VRT_HAVE_NETTLE)
  reg("streebog512/nettle",
      Nettle<streebog512_ctx, streebog512_init, streebog512_update, streebog512_digest, 64>);
  reg("streebog256/nettle",
      Nettle<streebog256_ctx, streebog256_init, streebog256_update, streebog256_digest, 32>);
  reg("gost94/nettle", Nettle<gosthash94cp_ctx, gosthash94cp_init, gosthash94cp_update, gosthash94cp_digest, 32>);
#endif
#if defined(VRT_HAVE_GCRYPT)
  reg("streebog512/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MD_STRIBOG512); });
  reg("streebog256/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MD_STRIBOG256); });
  reg("gost94/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MD_GOSTR3411_CP); });
#endif
#if defined(VRT_HAVE_OPENSSL)
  reg("streebog512/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost12_512"); });
  reg("streebog256/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost12_256"); });
  reg("gost94/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost94"); });
#endif
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
