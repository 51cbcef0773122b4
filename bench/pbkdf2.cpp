// PBKDF2-HMAC-Streebog-512 and PBKDF2-HMAC-GOST R 34.11-94 as callers run
// them: one derivation of a 64-byte (32-byte) key from a 16-byte password
// and a 16-byte salt per iteration, the password set up in the call; beside
// Nettle's PBKDF2 over its HMAC, libgcrypt's gcry_kdf_derive and OpenSSL's
// PKCS5_PBKDF2_HMAC over the GOST provider's digests. The "it/s" counter is
// PBKDF2 iterations per second. Then key export and wrapping per 32-byte
// key, which no peer offers as a call.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include "openssl_gost.h"
#endif

namespace {

constexpr uint64_t kIterations = 2000;
const uint8_t kPassword[16] = {'c', 'o', 'r', 'r', 'e', 'c', 't', ' ', 'h', 'o', 'r', 's', 'e', '!', '!', '!'};
const uint8_t kSalt[16] = {0x5a, 0x17, 0x3c, 0x99, 0x01, 0x02, 0x03, 0x04, 0xa0, 0xb0, 0xc0, 0xd0, 0xe0, 0xf0, 0x11, 0x22};

size_t KeyBytes(uint32_t alg) { return alg == VRT_ALG_HMAC2012_512 ? 64 : 32; }

void Rate(benchmark::State& state) {
  state.counters["it/s"] = benchmark::Counter(static_cast<double>(state.iterations()) * kIterations,
                                              benchmark::Counter::kIsRate);
}

void Ours(benchmark::State& state, uint32_t alg) {
  binstr_t password, salt;
  __binstr_init(&password, const_cast<uint8_t*>(kPassword), sizeof kPassword);
  __binstr_init(&salt, const_cast<uint8_t*>(kSalt), sizeof kSalt);
  genkey_t key;
  genkey_alloc(&key, KeyBytes(alg), GOST89_KEY_XOR);
  for (auto _ : state) {
    pkcs5_params_t p{};
    p.kdf = VRT_ALG_PBKDF2;
    p.prf = alg;
    p.iterations = kIterations;
    p.password = &password;
    p.salt = &salt;
    if (vrtPKCS5DeriveKey(&p, &key) != VRT_SUCCESS) state.SkipWithError("PBKDF2 failed");
    benchmark::DoNotOptimize(key.key.data);
  }
  genkey_free(&key);
  Rate(state);
}

#if defined(VRT_HAVE_NETTLE)
template <typename Ctx, void (*SetKey)(Ctx*, size_t, const uint8_t*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t kMac>
void Nettle(benchmark::State& state) {
  uint8_t out[kMac];
  for (auto _ : state) {
    Ctx ctx;
    SetKey(&ctx, sizeof kPassword, kPassword);
    PBKDF2(&ctx, Update, Digest, kMac, kIterations, sizeof kSalt, kSalt, sizeof out, out);
    benchmark::DoNotOptimize(out);
  }
  Rate(state);
}
#endif

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state, int md, size_t n) {
  gcry_check_version(nullptr);
  uint8_t out[64];
  for (auto _ : state) {
    if (gcry_kdf_derive(kPassword, sizeof kPassword, GCRY_KDF_PBKDF2, md, kSalt, sizeof kSalt, kIterations, n, out) !=
        0)
      state.SkipWithError("gcry_kdf_derive failed");
    benchmark::DoNotOptimize(out);
  }
  Rate(state);
}
#endif

#if defined(VRT_HAVE_OPENSSL)

void OpenSsl(benchmark::State& state, const char* digest, size_t n) {
  EVP_MD* md = vrt::bench::GostProviders() ? EVP_MD_fetch(nullptr, digest, nullptr) : nullptr;
  if (md == nullptr) {
    state.SkipWithError("GOST provider not available");
    return;
  }
  uint8_t out[64];
  for (auto _ : state) {
    if (PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(kPassword), sizeof kPassword, kSalt, sizeof kSalt,
                          kIterations, md, static_cast<int>(n), out) != 1)
      state.SkipWithError("PKCS5_PBKDF2_HMAC failed");
    benchmark::DoNotOptimize(out);
  }
  EVP_MD_free(md);
  Rate(state);
}
#endif

void Register() {
  const std::string it = "/" + std::to_string(kIterations);
  auto reg = [&](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark((name + it).c_str(), fn)->Unit(benchmark::kMillisecond);
  };
  reg("pbkdf2_streebog512/vrt", [](benchmark::State& s) { Ours(s, VRT_ALG_HMAC2012_512); });
  reg("pbkdf2_gost94/vrt", [](benchmark::State& s) { Ours(s, VRT_ALG_HMAC94); });
#if defined(VRT_HAVE_NETTLE)
  reg("pbkdf2_streebog512/nettle", Nettle<hmac_streebog512_ctx, hmac_streebog512_set_key, hmac_streebog512_update,
                                          hmac_streebog512_digest, 64>);
  reg("pbkdf2_gost94/nettle", Nettle<hmac_gosthash94cp_ctx, hmac_gosthash94cp_set_key, hmac_gosthash94cp_update,
                                     hmac_gosthash94cp_digest, 32>);
#endif
#if defined(VRT_HAVE_GCRYPT)
  reg("pbkdf2_streebog512/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MD_STRIBOG512, 64); });
  reg("pbkdf2_gost94/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MD_GOSTR3411_CP, 32); });
#endif
#if defined(VRT_HAVE_OPENSSL)
  reg("pbkdf2_streebog512/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost12_512", 64); });
  reg("pbkdf2_gost94/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost94", 32); });
#endif
}


// ---- key export and wrapping, one 32-byte key per call ----

const uint8_t kKey[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77,
                          0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54, 0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const uint8_t kIv[8] = {0x09, 0x09, 0x47, 0x2d, 0xd9, 0xf2, 0x6b, 0xe8};

void OursKExp(benchmark::State& state, uint64_t n, bool import) {
  vrt::bench::MaskedKey key(kKey), enc(kSalt), mac(kPassword);
  uint8_t out[48];
  uint64_t len = 32 + n;
  if (vrtKExp15(key.get(), enc.get(), mac.get(), kIv, n / 2, n, out, &len) != VRT_SUCCESS) {
    state.SkipWithError("KExp15 failed");
    return;
  }
  genkey_t imported;
  genkey_alloc(&imported, 32, GOST89_KEY_XOR);
  for (auto _ : state) {
    uint32_t st = import ? vrtKImp15(out, len, enc.get(), mac.get(), kIv, n / 2, n, &imported)
                         : vrtKExp15(key.get(), enc.get(), mac.get(), kIv, n / 2, n, out, &len);
    if (st != VRT_SUCCESS) state.SkipWithError("call failed");
    benchmark::DoNotOptimize(out);
  }
  genkey_free(&imported);
}

void OursWrap(benchmark::State& state, bool unwrap) {
  vrt::bench::MaskedKey kek(kSalt), key(kKey);
  uint8_t out[44];
  uint64_t len = sizeof out;
  if (vrtKeyWrapTC26(kIv, 8, kek.get(), key.get(), out, &len) != VRT_SUCCESS) {
    state.SkipWithError("wrap failed");
    return;
  }
  vrt::bench::MaskedKey unwrapped(kKey);
  for (auto _ : state) {
    uint32_t st = unwrap ? vrtKeyUnwrapTC26(kek.get(), out, len, unwrapped.get())
                         : vrtKeyWrapTC26(kIv, 8, kek.get(), key.get(), out, &len);
    if (st != VRT_SUCCESS) state.SkipWithError("call failed");
    benchmark::DoNotOptimize(out);
  }
}

void RegisterKeyTransport() {
  benchmark::RegisterBenchmark("kexp15_kuznyechik/vrt/32", [](benchmark::State& s) { OursKExp(s, 16, false); });
  benchmark::RegisterBenchmark("kimp15_kuznyechik/vrt/32", [](benchmark::State& s) { OursKExp(s, 16, true); });
  benchmark::RegisterBenchmark("kexp15_magma/vrt/32", [](benchmark::State& s) { OursKExp(s, 8, false); });
  benchmark::RegisterBenchmark("kimp15_magma/vrt/32", [](benchmark::State& s) { OursKExp(s, 8, true); });
  benchmark::RegisterBenchmark("keywrap_tc26/vrt/32", [](benchmark::State& s) { OursWrap(s, false); });
  benchmark::RegisterBenchmark("keyunwrap_tc26/vrt/32", [](benchmark::State& s) { OursWrap(s, true); });
}

const int kRegistered = (Register(), RegisterKeyTransport(), 0);

}  // namespace

VRT_BENCH_MAIN()
