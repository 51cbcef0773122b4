// Raw block-core throughput of Kuznyechik and Magma through their records,
// ECB-style over a buffer, beside the OpenSSL GOST provider (kuznyechik-ecb;
// magma-cbc and magma-ctr, since it has no Magma ECB) and libgcrypt's GOST
// 28147-89 ECB with the tc26 Z set (the Magma network in the other byte
// order).
//
// Then the modes through the public one-shot API: every call unmasks the
// key, computes the schedule, runs the message and wipes key and schedule.
// The peers set their key for every message too (EVP_CipherInit_ex with the
// key; libgcrypt's setkey), so the 64-byte figures are a message with its
// key set-up on both sides.
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

const std::vector<int64_t> kKuznechikSizes = {16, 1 << 20};
const std::vector<int64_t> kMagmaSizes = {8, 1 << 20};

const uint8_t kKey[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22,
                          0x33, 0x44, 0x55, 0x66, 0x77, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54,
                          0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void Kuznechik(benchmark::State& state, bool encrypt) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  alignas(64) uint8_t rk[160];
  if (encrypt)
    kuznechik_arch_schedule_encrypt(rk, kKey);
  else
    kuznechik_arch_schedule_decrypt(rk, kKey);
  const gost15_block_fn f = encrypt ? GOST15_G1_KUZNECHIK.encrypt.gost15 : GOST15_G1_KUZNECHIK.decrypt.gost15;
  for (auto _ : state) {
    for (size_t i = 0; i < n; i += 16) f(in.data() + i, out.data() + i, nullptr, nullptr, rk);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, n);
}

// The schedule every mode call computes before its first block.
void KuznechikSchedule(benchmark::State& state, bool encrypt) {
  alignas(64) uint8_t rk[160];
  for (auto _ : state) {
    if (encrypt)
      kuznechik_arch_schedule_encrypt(rk, kKey);
    else
      kuznechik_arch_schedule_decrypt(rk, kKey);
    benchmark::DoNotOptimize(rk);
    benchmark::ClobberMemory();
  }
}

void Magma(benchmark::State& state, bool encrypt) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  const gost89_sbox_t* z = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
  if (!vrtpGost89SboxInitialized(z)) {
    state.SkipWithError("tc26 Z set not initialised");
    return;
  }
  const gost15_block_fn f = encrypt ? GOST15_G1_MAGMA.encrypt.gost15 : GOST15_G1_MAGMA.decrypt.gost15;
  for (auto _ : state) {
    for (size_t i = 0; i < n; i += 8) f(in.data() + i, out.data() + i, kKey, z, nullptr);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  SetBytes(state, n);
}

#if defined(VRT_HAVE_OPENSSL)
const EVP_CIPHER* GostCipher(const char* name) {
  static OSSL_PROVIDER* prov = OSSL_PROVIDER_load(nullptr, "gostprov");
  if (prov == nullptr) return nullptr;
  return EVP_CIPHER_fetch(nullptr, name, nullptr);
}

void OpenSsl(benchmark::State& state, const char* name, bool encrypt) {
  const EVP_CIPHER* c = GostCipher(name);
  if (c == nullptr) {
    state.SkipWithError("OpenSSL GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 32);
  const uint8_t iv[16] = {};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  // Two-step set-up: the provider's Magma needs the key after the cipher.
  EVP_CipherInit_ex(ctx, c, nullptr, nullptr, nullptr, encrypt ? 1 : 0);
  EVP_CipherInit_ex(ctx, nullptr, nullptr, kKey, iv, -1);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  for (auto _ : state) {
    if (EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) != 1) {
      state.SkipWithError("EVP_CipherUpdate failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
  }
  EVP_CIPHER_CTX_free(ctx);
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_GCRYPT)
void GcryptZ(benchmark::State& state) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  gcry_cipher_hd_t h;
  if (gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0) != 0 ||
      gcry_cipher_setkey(h, kKey, 32) != 0 ||
      gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.7.1.2.5.1.1"), 0) != 0) {
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

const std::vector<int64_t> kModeSizes = {64, 4096, 1 << 20};

void OursMode(benchmark::State& state, uint32_t block_size, uint32_t mode, bool decrypt) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 16);
  const uint8_t iv[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  const uint64_t iv_len = mode == VRT_GOST15_MODE_ECB ? 0 : mode == VRT_GOST15_MODE_CTR ? block_size / 2 : block_size;
  vrt::bench::MaskedKey key(kKey);
  Gost15Ctx* ctx = nullptr;
  if (vrtGost15CtxAllocInitialized(&ctx, 1, block_size) != VRT_SUCCESS || vrtGost15SetMode(ctx, mode, 0) != VRT_SUCCESS) {
    state.SkipWithError("context set-up failed");
    return;
  }
  auto run = decrypt ? vrtGost15DecryptSimple : vrtGost15EncryptSimple;
  for (auto _ : state) {
    if (run(ctx, key.get(), in.data(), out.data(), n, iv, iv_len) != VRT_SUCCESS) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  vrtGost15CtxFree(ctx);
  SetBytes(state, n);
}

#if defined(VRT_HAVE_OPENSSL)
// One message per iteration with the key set up for it.
void OpenSslMessage(benchmark::State& state, const char* name, bool decrypt) {
  const EVP_CIPHER* c = GostCipher(name);
  if (c == nullptr) {
    state.SkipWithError("OpenSSL GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 32);
  const uint8_t iv[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  const int enc = decrypt ? 0 : 1;
  EVP_CipherInit_ex(ctx, c, nullptr, nullptr, nullptr, enc);
  EVP_CIPHER_CTX_set_padding(ctx, 0);
  int len = 0;
  for (auto _ : state) {
    if (EVP_CipherInit_ex(ctx, nullptr, nullptr, kKey, iv, enc) != 1 ||
        EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) != 1) {
      state.SkipWithError("OpenSSL request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  SetBytes(state, n);
}
#endif

#if defined(VRT_HAVE_GCRYPT)
// GOST 28147-89 counter mode on the tc26 Z set: the Magma network, counting
// in the other byte order; the key is set for every message.
void GcryptCtrMessage(benchmark::State& state) {
  gcry_check_version(nullptr);
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  const uint8_t ctr[8] = {1, 2, 3, 4, 0, 0, 0, 0};
  gcry_cipher_hd_t h;
  if (gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_CTR, 0) != 0 ||
      gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.7.1.2.5.1.1"), 0) != 0) {
    state.SkipWithError("libgcrypt set-up failed");
    return;
  }
  for (auto _ : state) {
    gcry_cipher_setkey(h, kKey, 32);
    gcry_cipher_setctr(h, ctr, 8);
    gcry_cipher_encrypt(h, out.data(), n, in.data(), n);
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  gcry_cipher_close(h);
  SetBytes(state, n);
}
#endif

void Register() {
  auto reg = [](const std::string& name, const std::vector<int64_t>& sizes, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({sizes});
  };
  reg("kuznyechik_enc/vrt", kKuznechikSizes, [](benchmark::State& s) { Kuznechik(s, true); });
  reg("kuznyechik_dec/vrt", kKuznechikSizes, [](benchmark::State& s) { Kuznechik(s, false); });
  benchmark::RegisterBenchmark("kuznyechik_schedule_enc/vrt", [](benchmark::State& s) { KuznechikSchedule(s, true); });
  benchmark::RegisterBenchmark("kuznyechik_schedule_dec/vrt", [](benchmark::State& s) { KuznechikSchedule(s, false); });
  reg("magma_enc/vrt", kMagmaSizes, [](benchmark::State& s) { Magma(s, true); });
  reg("magma_dec/vrt", kMagmaSizes, [](benchmark::State& s) { Magma(s, false); });
#if defined(VRT_HAVE_OPENSSL)
  reg("kuznyechik_enc/openssl", kKuznechikSizes, [](benchmark::State& s) { OpenSsl(s, "kuznyechik-ecb", true); });
  reg("kuznyechik_dec/openssl", kKuznechikSizes, [](benchmark::State& s) { OpenSsl(s, "kuznyechik-ecb", false); });
  reg("magma_enc/openssl-cbc", kMagmaSizes, [](benchmark::State& s) { OpenSsl(s, "magma-cbc", true); });
  reg("magma_enc/openssl-ctr", kMagmaSizes, [](benchmark::State& s) { OpenSsl(s, "magma-ctr", true); });
  reg("magma_dec/openssl-cbc", kMagmaSizes, [](benchmark::State& s) { OpenSsl(s, "magma-cbc", false); });
#endif
#if defined(VRT_HAVE_GCRYPT)
  reg("magma_enc/gcrypt", kMagmaSizes, GcryptZ);
#endif

  struct ModeBench {
    const char* algorithm;
    uint32_t block_size;
    uint32_t mode;
    bool decrypt;
    const char* openssl;
  };
  // The parallel modes (ECB, CTR, CBC and CFB decryption) and the serial
  // ones, whose blocks each wait for the one before (CBC, CFB and OFB
  // encryption).
  static const ModeBench kModeBenches[] = {
      {"kuznyechik_ecb_msg", 16, VRT_GOST15_MODE_ECB, false, "kuznyechik-ecb"},
      {"kuznyechik_ecb_dec_msg", 16, VRT_GOST15_MODE_ECB, true, "kuznyechik-ecb"},
      {"kuznyechik_ctr_msg", 16, VRT_GOST15_MODE_CTR, false, "kuznyechik-ctr"},
      {"kuznyechik_cbc_dec_msg", 16, VRT_GOST15_MODE_CBC, true, "kuznyechik-cbc"},
      {"kuznyechik_cfb_dec_msg", 16, VRT_GOST15_MODE_CFB, true, "kuznyechik-cfb"},
      {"kuznyechik_cbc_enc_msg", 16, VRT_GOST15_MODE_CBC, false, "kuznyechik-cbc"},
      {"kuznyechik_cfb_enc_msg", 16, VRT_GOST15_MODE_CFB, false, "kuznyechik-cfb"},
      {"kuznyechik_ofb_msg", 16, VRT_GOST15_MODE_OFB, false, "kuznyechik-ofb"},
      {"magma_ctr_msg", 8, VRT_GOST15_MODE_CTR, false, "magma-ctr"},
  };
  for (const ModeBench& b : kModeBenches) {
    reg(std::string(b.algorithm) + "/vrt", kModeSizes,
        [b](benchmark::State& s) { OursMode(s, b.block_size, b.mode, b.decrypt); });
#if defined(VRT_HAVE_OPENSSL)
    reg(std::string(b.algorithm) + "/openssl", kModeSizes,
        [b](benchmark::State& s) { OpenSslMessage(s, b.openssl, b.decrypt); });
#endif
  }
#if defined(VRT_HAVE_GCRYPT)
  reg("magma_ctr_msg/gcrypt-gost28147", kModeSizes, GcryptCtrMessage);
#endif
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
