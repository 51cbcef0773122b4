// MGM through the public one-call API, key unmasking and wiping included:
// Kuznyechik and Magma, encryption (with the tag read back) and decryption
// (with the tag checked), on 64-byte and 1 MiB messages with 16 bytes of
// associated data. No peer library has MGM; as the yardstick, the table
// puts the OpenSSL GOST provider's Kuznyechik and Magma CTR (one message
// with its key per iteration, encryption without authentication) beside
// ours ("openssl-ctr").
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace {

const std::vector<int64_t> kMgmSizes = {64, 1 << 20};
uint8_t g_key[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22,
                     0x33, 0x44, 0x55, 0x66, 0x77, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54,
                     0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const uint8_t g_nonce[16] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x00,
                             0xff, 0xee, 0xdd, 0xcc, 0xbb, 0xaa, 0x99, 0x88};
const uint8_t g_aad[16] = {2, 2, 2, 2, 2, 2, 2, 2, 1, 1, 1, 1, 1, 1, 1, 1};

void Mgm(benchmark::State& state, uint64_t block, bool decrypt) {
  const size_t n = static_cast<size_t>(state.range(0));
  auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> ct(n), out(n);
  uint8_t tag[16];
  vrt::bench::MaskedKey key(g_key);
  AeadCtx* ctx = nullptr;
  if (vrtAEADCtxAllocInitialized(&ctx, 1, block) != VRT_SUCCESS || vrtAEADSetNonce(ctx, g_nonce) != VRT_SUCCESS ||
      vrtAEADEncryptSimple(ctx, key.get(), in.data(), ct.data(), n, g_aad, sizeof g_aad) != VRT_SUCCESS ||
      vrtAEADImitGetValue(ctx, tag, block) != VRT_SUCCESS) {
    state.SkipWithError("context set-up failed");
    vrtAEADCtxFree(ctx);
    return;
  }
  for (auto _ : state) {
    uint32_t st;
    if (decrypt) {
      st = vrtAEADImitSetValue(ctx, tag, block);
      st |= vrtAEADDecryptSimple(ctx, key.get(), ct.data(), out.data(), n, g_aad, sizeof g_aad);
    } else {
      st = vrtAEADSetNonce(ctx, g_nonce);
      st |= vrtAEADEncryptSimple(ctx, key.get(), in.data(), out.data(), n, g_aad, sizeof g_aad);
      st |= vrtAEADImitGetValue(ctx, tag, block);
    }
    if (st != VRT_SUCCESS) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::DoNotOptimize(tag);
  }
  vrtAEADCtxFree(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

#if defined(VRT_HAVE_OPENSSL)
void OpenSslCtr(benchmark::State& state, const char* name) {
  static OSSL_PROVIDER* prov = OSSL_PROVIDER_load(nullptr, "gostprov");
  EVP_CIPHER* c = prov != nullptr ? EVP_CIPHER_fetch(nullptr, name, nullptr) : nullptr;
  if (c == nullptr) {
    state.SkipWithError("OpenSSL GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 32);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  EVP_CipherInit_ex(ctx, c, nullptr, nullptr, nullptr, 1);
  int len = 0;
  for (auto _ : state) {
    if (EVP_CipherInit_ex(ctx, nullptr, nullptr, g_key, g_nonce, 1) != 1 ||
        EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) != 1) {
      state.SkipWithError("OpenSSL request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(c);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
#endif

void Register() {
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({kMgmSizes});
  };
  reg("mgm-kuznyechik-enc/vrt", [](benchmark::State& s) { Mgm(s, 16, false); });
  reg("mgm-kuznyechik-dec/vrt", [](benchmark::State& s) { Mgm(s, 16, true); });
  reg("mgm-magma-enc/vrt", [](benchmark::State& s) { Mgm(s, 8, false); });
  reg("mgm-magma-dec/vrt", [](benchmark::State& s) { Mgm(s, 8, true); });
#if defined(VRT_HAVE_OPENSSL)
  for (const char* algo : {"mgm-kuznyechik-enc", "mgm-kuznyechik-dec"})
    reg(std::string(algo) + "/openssl-ctr", [](benchmark::State& s) { OpenSslCtr(s, "kuznyechik-ctr"); });
  for (const char* algo : {"mgm-magma-enc", "mgm-magma-dec"})
    reg(std::string(algo) + "/openssl-ctr", [](benchmark::State& s) { OpenSslCtr(s, "magma-ctr"); });
#endif
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
