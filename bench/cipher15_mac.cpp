// CTR-ACPKM, OMAC and OMAC-ACPKM through the public one-call API, key
// unmasking and wiping included, on 64-byte and 1 MiB messages, beside the
// OpenSSL GOST provider (kuznyechik-ctr-acpkm and magma-ctr-acpkm with the
// section size set by its "key-mesh" parameter; kuznyechik-mac and
// magma-mac; kuznyechik-ctr-acpkm-omac, which is OMAC-ACPKM with sections
// of 4 KiB and a generator frame of 16 key packets). The peers set their
// key for every message as we do. Magma's OMAC-ACPKM (1 KiB sections, 16
// packets) has no peer. The provider's MACs also run with the key set once
// before the loop ("openssl-keyed": every message starts from a copy of a
// keyed context), the figure of a caller that keeps the key schedule
// between messages; we never keep an unmasked key between calls.
#include <cstring>
#include <string>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#include <openssl/provider.h>
#endif

namespace {

const std::vector<int64_t> kSizes = {64, 1 << 20};
const uint8_t kKey[32] = {0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff, 0x00, 0x11, 0x22,
                          0x33, 0x44, 0x55, 0x66, 0x77, 0xfe, 0xdc, 0xba, 0x98, 0x76, 0x54,
                          0x32, 0x10, 0x01, 0x23, 0x45, 0x67, 0x89, 0xab, 0xcd, 0xef};
const uint8_t kIv[16] = {0x12, 0x34, 0x56, 0x78, 0x90, 0xab, 0xce, 0xf0};

void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

Gost15Ctx* NewCtx(benchmark::State& state, uint32_t block_size, uint32_t mode, uint64_t section, uint64_t frame) {
  Gost15Ctx* ctx = nullptr;
  if (vrtGost15CtxAllocInitialized(&ctx, 1, block_size) != VRT_SUCCESS ||
      vrtGost15SetMode(ctx, mode, 0) != VRT_SUCCESS ||
      (section != 0 && vrtGost15SetParametersACPKM(ctx, section, frame) != VRT_SUCCESS)) {
    state.SkipWithError("context set-up failed");
    vrtGost15CtxFree(ctx);
    return nullptr;
  }
  return ctx;
}

void CtrAcpkm(benchmark::State& state, uint32_t block_size, uint64_t section) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n);
  vrt::bench::MaskedKey key(kKey);
  Gost15Ctx* ctx = NewCtx(state, block_size, VRT_GOST15_MODE_CTR_ACPKM, section, 0);
  if (ctx == nullptr) return;
  for (auto _ : state) {
    if (vrtGost15EncryptSimple(ctx, key.get(), in.data(), out.data(), n, kIv, block_size / 2) != VRT_SUCCESS) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  vrtGost15CtxFree(ctx);
  SetBytes(state, n);
}

// One whole MAC per iteration: the message in one piece, then the value.
// An OMAC context is ready for the next message once the value is read; an
// OMAC-ACPKM context is set up again for every message, and that set-up is
// timed with it.
void Mac(benchmark::State& state, uint32_t block_size, uint32_t mode, uint64_t section, uint64_t frame) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  uint8_t mac[16];
  vrt::bench::MaskedKey key(kKey);
  const bool reuse = mode == VRT_GOST15_MODE_MAC;
  Gost15Ctx* ctx = reuse ? NewCtx(state, block_size, mode, section, frame) : nullptr;
  if (reuse && ctx == nullptr) return;
  for (auto _ : state) {
    if (!reuse && (ctx = NewCtx(state, block_size, mode, section, frame)) == nullptr) return;
    const uint32_t st = vrtGost15MACUpdate(ctx, key.get(), in.data(), n) | vrtGost15MACGetValue(ctx, key.get(), mac);
    if (!reuse) vrtGost15CtxFree(ctx);
    if (st != VRT_SUCCESS) {
      state.SkipWithError("request failed");
      break;
    }
    benchmark::DoNotOptimize(mac);
  }
  if (reuse) vrtGost15CtxFree(ctx);
  SetBytes(state, n);
}

#if defined(VRT_HAVE_OPENSSL)
bool LoadGost() {
  static OSSL_PROVIDER* prov = OSSL_PROVIDER_load(nullptr, "gostprov");
  return prov != nullptr;
}

void OpenSslCtrAcpkm(benchmark::State& state, const char* name, size_t section) {
  EVP_CIPHER* c = LoadGost() ? EVP_CIPHER_fetch(nullptr, name, nullptr) : nullptr;
  if (c == nullptr) {
    state.SkipWithError("OpenSSL GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  std::vector<uint8_t> out(n + 32);
  EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
  int len = 0;
  for (auto _ : state) {
    size_t mesh = section;
    const OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t("key-mesh", &mesh), OSSL_PARAM_END};
    if (EVP_CipherInit_ex(ctx, c, nullptr, kKey, kIv, 1) != 1 || EVP_CIPHER_CTX_set_params(ctx, params) != 1 ||
        EVP_CipherUpdate(ctx, out.data(), &len, in.data(), static_cast<int>(n)) != 1) {
      state.SkipWithError("OpenSSL request failed");
      break;
    }
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  EVP_CIPHER_CTX_free(ctx);
  EVP_CIPHER_free(c);
  SetBytes(state, n);
}

void OpenSslMac(benchmark::State& state, const char* name, size_t block_size, bool keyed) {
  EVP_MAC* m = LoadGost() ? EVP_MAC_fetch(nullptr, name, nullptr) : nullptr;
  if (m == nullptr) {
    state.SkipWithError("OpenSSL GOST provider not available");
    return;
  }
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& in = vrt::bench::Buffer(n);
  uint8_t mac[16];
  size_t size = block_size;
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t(OSSL_MAC_PARAM_SIZE, &size), OSSL_PARAM_END};
  // The keyed template is copied for every message: the provider's MACs
  // cannot be re-initialised without a key.
  EVP_MAC_CTX* keyed_ctx = nullptr;
  if (keyed) {
    keyed_ctx = EVP_MAC_CTX_new(m);
    if (EVP_MAC_init(keyed_ctx, kKey, sizeof kKey, params) != 1) state.SkipWithError("OpenSSL key set-up failed");
  }
  EVP_MAC_CTX* plain_ctx = keyed ? nullptr : EVP_MAC_CTX_new(m);
  for (auto _ : state) {
    size_t got = 0;
    EVP_MAC_CTX* ctx = keyed ? EVP_MAC_CTX_dup(keyed_ctx) : plain_ctx;
    const bool ok = ctx != nullptr && (keyed || EVP_MAC_init(ctx, kKey, sizeof kKey, params) == 1) &&
                    EVP_MAC_update(ctx, in.data(), n) == 1 && EVP_MAC_final(ctx, mac, &got, sizeof mac) == 1;
    if (keyed) EVP_MAC_CTX_free(ctx);
    if (!ok) {
      state.SkipWithError("OpenSSL request failed");
      break;
    }
    benchmark::DoNotOptimize(mac);
  }
  EVP_MAC_CTX_free(keyed_ctx);
  EVP_MAC_CTX_free(plain_ctx);
  EVP_MAC_free(m);
  SetBytes(state, n);
}
#endif

void Register() {
  auto reg = [](const std::string& name, auto fn) {
    benchmark::RegisterBenchmark(name.c_str(), fn)->ArgsProduct({kSizes});
  };
  struct Ctr {
    const char* algorithm;
    uint32_t block_size;
    uint64_t section;
    const char* openssl;
  };
  static const Ctr kCtr[] = {
      {"kuznyechik_ctr_acpkm_4k", 16, 4096, "kuznyechik-ctr-acpkm"},
      {"kuznyechik_ctr_acpkm_1k", 16, 1024, "kuznyechik-ctr-acpkm"},
      {"magma_ctr_acpkm_4k", 8, 4096, "magma-ctr-acpkm"},
      {"magma_ctr_acpkm_1k", 8, 1024, "magma-ctr-acpkm"},
  };
  for (const Ctr& c : kCtr) {
    reg(std::string(c.algorithm) + "/vrt", [c](benchmark::State& s) { CtrAcpkm(s, c.block_size, c.section); });
#if defined(VRT_HAVE_OPENSSL)
    reg(std::string(c.algorithm) + "/openssl",
        [c](benchmark::State& s) { OpenSslCtrAcpkm(s, c.openssl, static_cast<size_t>(c.section)); });
#endif
  }
  reg("kuznyechik_omac/vrt", [](benchmark::State& s) { Mac(s, 16, VRT_GOST15_MODE_MAC, 0, 0); });
  reg("magma_omac/vrt", [](benchmark::State& s) { Mac(s, 8, VRT_GOST15_MODE_MAC, 0, 0); });
#if defined(VRT_HAVE_OPENSSL)
  reg("kuznyechik_omac/openssl", [](benchmark::State& s) { OpenSslMac(s, "kuznyechik-mac", 16, false); });
  reg("kuznyechik_omac/openssl-keyed", [](benchmark::State& s) { OpenSslMac(s, "kuznyechik-mac", 16, true); });
  reg("magma_omac/openssl", [](benchmark::State& s) { OpenSslMac(s, "magma-mac", 8, false); });
  reg("magma_omac/openssl-keyed", [](benchmark::State& s) { OpenSslMac(s, "magma-mac", 8, true); });
#endif
  reg("kuznyechik_omac_acpkm/vrt",
      [](benchmark::State& s) { Mac(s, 16, VRT_GOST15_MODE_OMAC_ACPKM, 4096, 16 * 48); });
#if defined(VRT_HAVE_OPENSSL)
  reg("kuznyechik_omac_acpkm/openssl",
      [](benchmark::State& s) { OpenSslMac(s, "kuznyechik-ctr-acpkm-omac", 16, false); });
#endif
  reg("magma_omac_acpkm/vrt", [](benchmark::State& s) { Mac(s, 8, VRT_GOST15_MODE_OMAC_ACPKM, 1024, 16 * 40); });
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
