// GOST 28147-89 modes through the public one-shot API, key unmasking
// included: ECB, CBC and CFB both ways, counter mode on one lane (it and CFB
// also on eight lanes) and the MAC, beside the OpenSSL GOST provider and
// libgcrypt.
// Both sides set the key for every message, so the 64-byte figures are a
// message with its key.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/provider.h>
#endif

namespace {

const std::vector<int64_t> kModeSizes = {64, 4096, 1 << 20};
uint8_t g_key[32] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32};
const uint8_t g_iv[8] = {9, 8, 7, 6, 5, 4, 3, 2};

void Ours(benchmark::State& state, uint32_t mode, uint32_t lanes, bool decrypt = false) {
  const size_t n = static_cast<size_t>(state.range(0));
  auto& in = vrt::bench::Buffer(n * lanes);
  std::vector<uint8_t> out(n * lanes);
  vrt::bench::MaskedKey key(g_key);
  Gost89Ctx* ctx = nullptr;
  if (vrtGost89CtxAllocInitialized(&ctx, lanes, VRT_GOST89_SBOX_CRYPTOPRO_A) != VRT_SUCCESS ||
      vrtGost89SetMode(ctx, mode, 0) != VRT_SUCCESS) {
    state.SkipWithError("context set-up failed");
    return;
  }
  Gost89Vec vecs[8];
  for (auto _ : state) {
    for (uint32_t i = 0; i < lanes; ++i) vecs[i] = {n, in.data() + n * i, out.data() + n * i, key.get(), g_iv, 0};
    uint32_t st = vrtGost89SetState(ctx, vecs, lanes);
    st |= mode == VRT_GOST89_MODE_MAC ? vrtGost89MAC(ctx, vecs, lanes)
           : decrypt                  ? vrtGost89Decrypt(ctx, vecs, lanes)
                                      : vrtGost89Encrypt(ctx, vecs, lanes);
    if (st != VRT_SUCCESS) state.SkipWithError("request failed");
    benchmark::DoNotOptimize(out.data());
  }
  vrtGost89CtxFree(ctx);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n * lanes));
}

#if defined(VRT_HAVE_OPENSSL)
void OpenSsl(benchmark::State& state, const char* name) {
  static OSSL_PROVIDER* prov = OSSL_PROVIDER_load(nullptr, "gostprov");
  (void)prov;
  EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, name, nullptr);
  if (cipher == nullptr) {
    state.SkipWithError("GOST provider cipher not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 16);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  for (auto _ : state) {
    int len = 0;
    EVP_EncryptInit_ex(ctx, cipher, nullptr, g_key, g_iv);
    EVP_EncryptUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n));
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(cipher);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
#endif

#if defined(VRT_HAVE_GCRYPT)
void Gcrypt(benchmark::State& state, int mode, bool decrypt = false) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  gcry_cipher_hd_t h;
  gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0);
  gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.2.2.31.1"), 0);
  for (auto _ : state) {
    gcry_cipher_setkey(h, g_key, 32);
    if (mode == GCRY_CIPHER_MODE_CTR)
      gcry_cipher_setctr(h, g_iv, 8);
    else if (mode != GCRY_CIPHER_MODE_ECB)
      gcry_cipher_setiv(h, g_iv, 8);
    if (decrypt)
      gcry_cipher_decrypt(h, out.data(), n, in.data(), n);
    else
      gcry_cipher_encrypt(h, out.data(), n, in.data(), n);
    benchmark::DoNotOptimize(out.data());
  }
  gcry_cipher_close(h);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}

void GcryptImit(benchmark::State& state) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  auto& in = vrt::bench::Buffer(n);
  uint8_t mac[8];
  for (auto _ : state) {
    gcry_mac_hd_t h;
    gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr);
    gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.2.2.31.1"), 0);
    gcry_mac_setkey(h, g_key, 32);
    gcry_mac_write(h, in.data(), n);
    size_t len = sizeof mac;
    gcry_mac_read(h, mac, &len);
    gcry_mac_close(h);
    benchmark::DoNotOptimize(mac);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * n));
}
#endif

void Register() {
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({kModeSizes});
  };
  reg("gost89-ecb/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_ECB, 1); });
  reg("gost89-cbc/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CBC, 1); });
  reg("gost89-ctr/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CTR, 1); });
  reg("gost89-ctr-8lanes/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CTR, 8); });
  reg("gost89-cfb/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CFB, 1); });
  reg("gost89-cbc-dec/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CBC, 1, true); });
  reg("gost89-cfb-dec/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CFB, 1, true); });
  reg("gost89-cfb-8lanes/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_CFB, 8); });
  reg("gost89-mac/vrt", [](benchmark::State& s) { Ours(s, VRT_GOST89_MODE_MAC, 1); });
#if defined(VRT_HAVE_OPENSSL)
  // gost89-cnt is the same counter mode plus a key change every 1 KiB;
  // gost89 is CFB with the same key change.
  reg("gost89-ctr/openssl", [](benchmark::State& s) { OpenSsl(s, "gost89-cnt"); });
  reg("gost89-cfb/openssl", [](benchmark::State& s) { OpenSsl(s, "gost89"); });
  reg("gost89-cbc/openssl", [](benchmark::State& s) { OpenSsl(s, "gost89-cbc"); });
#endif
#if defined(VRT_HAVE_GCRYPT)
  // libgcrypt's CTR is a plain big-endian counter, not the C1/C2 gamma, but
  // costs the same per block.
  reg("gost89-ecb/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_ECB); });
  reg("gost89-cbc/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_CBC); });
  reg("gost89-ctr/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_CTR); });
  reg("gost89-cfb/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_CFB); });
  reg("gost89-cbc-dec/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_CBC, true); });
  reg("gost89-cfb-dec/gcrypt", [](benchmark::State& s) { Gcrypt(s, GCRY_CIPHER_MODE_CFB, true); });
  reg("gost89-mac/gcrypt", GcryptImit);
#endif
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
