// HMAC over Streebog-256, Streebog-512 and GOST R 34.11-94 as callers use it:
// one call per message with its key set up in the call; beside Nettle,
// libgcrypt and OpenSSL's HMAC over the GOST provider's digests. Then
// KDF_TREE and the TLS PRF (64 bytes out) per call, beside OpenSSL's KBKDF
// (32-bit counter) and TLS1-PRF, and KEG per call on both curve sizes.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/hmac.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include "openssl_gost.h"
#endif

namespace {

const std::vector<int64_t> kSizes = {64, 1024, 1 << 20};
const uint8_t kKey[32] = {0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef, 0xfe, 0xdc, 0xba,
                          0x98, 0x76, 0x54, 0x32, 0x10, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66,
                          0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00};

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

using OneShot = uint32_t (*)(uint8_t*, const binstr_t*, const binstr_t*);

void Ours(benchmark::State& state, OneShot fn) {
  const size_t n = static_cast<size_t>(state.range(0));
  auto& msg = vrt::bench::Buffer(n);
  binstr_t key, data;
  __binstr_init(&key, const_cast<uint8_t*>(kKey), sizeof kKey);
  __binstr_init(&data, msg.data(), n);
  uint8_t mac[64];
  for (auto _ : state) {
    if (fn(mac, &key, &data) != VRT_SUCCESS) state.SkipWithError("HMAC failed");
    benchmark::DoNotOptimize(mac);
  }
  SetBytes(state, n);
}

#if defined(VRT_HAVE_NETTLE)
template <typename Ctx, void (*SetKey)(Ctx*, size_t, const uint8_t*), void (*Update)(Ctx*, size_t, const uint8_t*),
          void (*Digest)(Ctx*, size_t, uint8_t*), size_t kMac>
void Nettle(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  uint8_t mac[kMac];
  for (auto _ : state) {
    Ctx ctx;
    SetKey(&ctx, sizeof kKey, kKey);
    Update(&ctx, n, msg.data());
    Digest(&ctx, sizeof mac, mac);
    benchmark::DoNotOptimize(mac);
  }
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state, int algo) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  gcry_mac_hd_t h;
  if (gcry_mac_open(&h, algo, 0, nullptr) != 0) {
    state.SkipWithError("gcry_mac_open failed");
    return;
  }
  uint8_t mac[64];
  for (auto _ : state) {
    gcry_mac_setkey(h, kKey, sizeof kKey);
    gcry_mac_write(h, msg.data(), n);
    size_t len = sizeof mac;
    gcry_mac_read(h, mac, &len);
    benchmark::DoNotOptimize(mac);
  }
  gcry_mac_close(h);
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_OPENSSL)

OSSL_PARAM Text(const char* key, const char* value) {
  return OSSL_PARAM_construct_utf8_string(key, const_cast<char*>(value), 0);
}
OSSL_PARAM Octets(const char* key, const void* p, size_t n) {
  return OSSL_PARAM_construct_octet_string(key, const_cast<void*>(p), n);
}

void OpenSsl(benchmark::State& state, const char* digest) {
  EVP_MAC* mac = vrt::bench::GostProviders() ? EVP_MAC_fetch(nullptr, "HMAC", nullptr) : nullptr;
  if (mac == nullptr) {
    state.SkipWithError("GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& msg = vrt::bench::Buffer(n);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
  const OSSL_PARAM params[] = {Text(OSSL_MAC_PARAM_DIGEST, digest), OSSL_PARAM_construct_end()};
  uint8_t out[64];
  for (auto _ : state) {
    size_t len = 0;
    EVP_MAC_init(ctx, kKey, sizeof kKey, params);
    EVP_MAC_update(ctx, msg.data(), n);
    EVP_MAC_final(ctx, out, &len, sizeof out);
    benchmark::DoNotOptimize(out);
  }
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
  SetBytes(state, n);
}

// One derivation of 64 bytes per iteration, its parameters (key among them)
// set anew each time on a context fetched once: TLS1-PRF would otherwise
// append every seed given to the one before.
void OpenSslKdf(benchmark::State& state, const char* name, const OSSL_PARAM* params) {
  EVP_KDF* kdf = vrt::bench::GostProviders() ? EVP_KDF_fetch(nullptr, name, nullptr) : nullptr;
  if (kdf == nullptr) {
    state.SkipWithError("KDF not available");
    return;
  }
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  uint8_t out[64];
  for (auto _ : state) {
    EVP_KDF_CTX_reset(ctx);
    if (EVP_KDF_derive(ctx, out, sizeof out, params) != 1) state.SkipWithError("derive failed");
    benchmark::DoNotOptimize(out);
  }
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
}
#endif

// ---- derivations, 64 bytes per call ----

const uint8_t kLabel[] = {'k', 'd', 'f', ' ', 't', 'r', 'e', 'e'};
const uint8_t kSeed[32] = {1, 2, 3, 4, 5, 6, 7, 8};

void OursTree(benchmark::State& state) {
  vrt::bench::MaskedKey key(kKey);
  uint8_t out[64];
  for (auto _ : state) {
    if (vrtKDFTree256(key.get(), kLabel, sizeof kLabel, kSeed, 8, 4, 512, out) != VRT_SUCCESS)
      state.SkipWithError("KDF_TREE failed");
    benchmark::DoNotOptimize(out);
  }
}

void OursTls(benchmark::State& state) {
  vrt::bench::MaskedKey key(kKey);
  uint8_t out[64];
  for (auto _ : state) {
    if (vrtPRFTLS(key.get(), kLabel, sizeof kLabel, kSeed, sizeof kSeed,
                  VRT_ALG_HMAC2012_256, sizeof out, out) != VRT_SUCCESS)
      state.SkipWithError("PRF failed");
    benchmark::DoNotOptimize(out);
  }
}

void OursKeg(benchmark::State& state, const sign2012_par_t* par) {
  const size_t L = par->bits / 8;
  std::vector<uint8_t> secret(L, 0x35), peer(2 * L), h(32, 0x5a);
  secret[L - 1] = 0x01;
  if (sign2012_generate_pair_example(secret.data(), peer.data(), par) != VRT_SUCCESS) {
    state.SkipWithError("key pair failed");
    return;
  }
  uint8_t out[64];
  for (auto _ : state) {
    if (vrtKEG(secret.data(), peer.data(), h.data(), par, out) != VRT_SUCCESS) state.SkipWithError("KEG failed");
    benchmark::DoNotOptimize(out);
  }
}

void Register() {
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({kSizes});
  };
  reg("hmac_streebog256/vrt", [](benchmark::State& s) { Ours(s, vrtGostHmac2012_256); });
  reg("hmac_streebog512/vrt", [](benchmark::State& s) { Ours(s, vrtGostHmac2012_512); });
  reg("hmac_gost94/vrt", [](benchmark::State& s) { Ours(s, vrtGostHmac94); });
#if defined(VRT_HAVE_NETTLE)
  reg("hmac_streebog256/nettle", Nettle<hmac_streebog256_ctx, hmac_streebog256_set_key, hmac_streebog256_update,
                                        hmac_streebog256_digest, 32>);
  reg("hmac_streebog512/nettle", Nettle<hmac_streebog512_ctx, hmac_streebog512_set_key, hmac_streebog512_update,
                                        hmac_streebog512_digest, 64>);
  reg("hmac_gost94/nettle", Nettle<hmac_gosthash94cp_ctx, hmac_gosthash94cp_set_key, hmac_gosthash94cp_update,
                                   hmac_gosthash94cp_digest, 32>);
#endif
#if defined(VRT_HAVE_GCRYPT)
  reg("hmac_streebog256/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MAC_HMAC_STRIBOG256); });
  reg("hmac_streebog512/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MAC_HMAC_STRIBOG512); });
  reg("hmac_gost94/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_MAC_HMAC_GOSTR3411_CP); });
#endif
#if defined(VRT_HAVE_OPENSSL)
  reg("hmac_streebog256/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost12_256"); });
  reg("hmac_streebog512/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost12_512"); });
  reg("hmac_gost94/openssl", [](benchmark::State& s) { OpenSsl(s, "md_gost94"); });
#endif

  benchmark::RegisterBenchmark("kdf_tree256/vrt/64", OursTree);
  benchmark::RegisterBenchmark("prf_tls256/vrt/64", OursTls);
#if defined(VRT_HAVE_OPENSSL)
  benchmark::RegisterBenchmark("kdf_tree256/openssl/64", [](benchmark::State& s) {
    static int no = 0;
    const OSSL_PARAM params[] = {Text(OSSL_KDF_PARAM_MAC, "HMAC"),
                                 Text(OSSL_KDF_PARAM_DIGEST, "md_gost12_256"),
                                 Octets(OSSL_KDF_PARAM_KEY, kKey, sizeof kKey),
                                 Octets(OSSL_KDF_PARAM_SALT, kLabel, sizeof kLabel),
                                 // the seed and our two-byte L field (512)
                                 Octets(OSSL_KDF_PARAM_INFO, "\x01\x02\x03\x04\x05\x06\x07\x08\x02\x00", 10),
                                 OSSL_PARAM_construct_int("use-l", &no),
                                 OSSL_PARAM_construct_end()};
    OpenSslKdf(s, "KBKDF", params);
  });
  benchmark::RegisterBenchmark("prf_tls256/openssl/64", [](benchmark::State& s) {
    uint8_t seed[sizeof kLabel + sizeof kSeed];
    std::memcpy(seed, kLabel, sizeof kLabel);
    std::memcpy(seed + sizeof kLabel, kSeed, sizeof kSeed);
    const OSSL_PARAM params[] = {Text(OSSL_KDF_PARAM_DIGEST, "md_gost12_256"),
                                 Octets(OSSL_KDF_PARAM_SECRET, kKey, sizeof kKey),
                                 Octets(OSSL_KDF_PARAM_SEED, seed, sizeof seed), OSSL_PARAM_construct_end()};
    OpenSslKdf(s, "TLS1-PRF", params);
  });
#endif
  benchmark::RegisterBenchmark("keg/vrt/256", [](benchmark::State& s) {
    OursKeg(s, &gost3410_param_tc26_gost_3410_12_256_paramSetA);
  })->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("keg/vrt/512", [](benchmark::State& s) {
    OursKeg(s, &gost3410_param_tc26_gost_3410_12_512_paramSetA);
  })->Unit(benchmark::kMillisecond);
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
