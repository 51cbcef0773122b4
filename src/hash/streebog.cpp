// GOST R 34.11-2012 (Streebog), 256- and 512-bit digests.
//
// Every 512-bit value (h, N, sigma, blocks, constants) is little-endian: the
// first message byte is the least significant byte of the first block and
// the digest comes out in that order too.
#include <atomic>
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "hash/internal.h"
#include "hash/streebog_tables.h"
#include "vrt.h"

namespace vrt::hash {
namespace {

constexpr uint64_t kFinalised = ~uint64_t{0};

// The compression in use, chosen at library initialisation.
std::atomic<CompressFn> g_compress{streebog_g_portable};
constexpr uint64_t kStateSize = VRT_HASH2012_STATE_SIZE;

// out = LPS(a ^ b). The XOR is folded into the table pass: each input word is
// formed once and its eight bytes index its own table, accumulating into all
// eight output words (see make_lps_tables). Bytes come off the word two at a
// time (low byte, second byte, shift by 16), which the compiler turns into
// byte-register moves; out may alias a or b.
__attribute__((always_inline)) inline void lps_xor(uint64_t out[8], const uint64_t a[8],
                                                   const uint64_t b[8]) {
  const auto& T = kStreebog.lps;
  uint64_t r0 = 0, r1 = 0, r2 = 0, r3 = 0, r4 = 0, r5 = 0, r6 = 0, r7 = 0;
#define VRT_LPS_COLUMN(j)                         \
  do {                                            \
    uint64_t w = a[j] ^ b[j];                     \
    r0 ^= T[j][static_cast<uint8_t>(w)];          \
    r1 ^= T[j][static_cast<uint8_t>(w >> 8)];     \
    w >>= 16;                                     \
    r2 ^= T[j][static_cast<uint8_t>(w)];          \
    r3 ^= T[j][static_cast<uint8_t>(w >> 8)];     \
    w >>= 16;                                     \
    r4 ^= T[j][static_cast<uint8_t>(w)];          \
    r5 ^= T[j][static_cast<uint8_t>(w >> 8)];     \
    w >>= 16;                                     \
    r6 ^= T[j][static_cast<uint8_t>(w)];          \
    r7 ^= T[j][static_cast<uint8_t>(w >> 8)];     \
  } while (0)
  VRT_LPS_COLUMN(0);
  VRT_LPS_COLUMN(1);
  VRT_LPS_COLUMN(2);
  VRT_LPS_COLUMN(3);
  VRT_LPS_COLUMN(4);
  VRT_LPS_COLUMN(5);
  VRT_LPS_COLUMN(6);
  VRT_LPS_COLUMN(7);
#undef VRT_LPS_COLUMN
  out[0] = r0;
  out[1] = r1;
  out[2] = r2;
  out[3] = r3;
  out[4] = r4;
  out[5] = r5;
  out[6] = r6;
  out[7] = r7;
}

// The running state of a context as words, loaded once per call.
struct Words {
  uint64_t h[8];
  uint64_t N[8];
  uint64_t sigma[8];
};

void load_words(Words& w, const hash2012_ctx_t* ctx) {
  std::memcpy(w.h, ctx->h, 64);
  std::memcpy(w.N, ctx->N, 64);
  std::memcpy(w.sigma, ctx->sigma, 64);
}

void store_words(hash2012_ctx_t* ctx, const Words& w) {
  std::memcpy(ctx->h, w.h, 64);
  std::memcpy(ctx->N, w.N, 64);
  std::memcpy(ctx->sigma, w.sigma, 64);
}

constexpr uint64_t kC512_512[8] = {512, 0, 0, 0, 0, 0, 0, 0};
constexpr uint64_t kZero[8] = {};

// One full block: h = g(N, h, m), N += 512, sigma += m (both mod 2^512,
// through the dispatch table).
inline void absorb_block(Words& w, const uint8_t* block, CompressFn g) {
  uint64_t m[8];
  std::memcpy(m, block, 64);
  g(w.h, w.N, m);
  const vrt_add_fn add512 = vrtpInstance.arch.add512;
  add512(w.N, w.N, kC512_512, 0);
  add512(w.sigma, w.sigma, m, 0);
}

}  // namespace

void streebog_g_portable(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]) {
  const auto& C = kStreebog.c;
  uint64_t k[8], s[8];
  lps_xor(k, h, N);  // K1
  lps_xor(s, m, k);  // state after round 1, before K2 is added
  for (int i = 0; i < 11; ++i) {
    lps_xor(k, k, C[i]);  // K(i+2)
    lps_xor(s, s, k);
  }
  lps_xor(k, k, C[11]);  // K13
  for (int i = 0; i < 8; ++i) h[i] ^= s[i] ^ k[i] ^ m[i];
}

void streebog_arch_init(uint32_t cpu_enabled) {
  const uint32_t avx512 = VRT_CPU_AVX512VBMI | VRT_CPU_GFNI;
  g_compress.store((cpu_enabled & avx512) == avx512 ? streebog_g_avx512 : streebog_g_portable,
                   std::memory_order_release);
}

CompressFn streebog_compress() { return g_compress.load(std::memory_order_acquire); }

void streebog_g(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]) { streebog_compress()(h, N, m); }

}  // namespace vrt::hash

using vrt::hash::kFinalised;
using vrt::hash::kStateSize;

namespace {

// A context in caller memory is checked before it is trusted: a buffer
// count of 0..63 (or the finalised mark) and a digest size of 256 or 512
// bits are what Init, Update and RestoreState ever leave.
bool streebog_ctx_sound(const hash2012_ctx_t* ctx) {
  return (ctx->buffered <= 63 || ctx->buffered == kFinalised) && (ctx->digest_bits == 256 || ctx->digest_bits == 512);
}

}  // namespace

extern "C" {

VRT_API uint32_t vrtpGostHash2012Init(hash2012_ctx_t* ctx, uint32_t size) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  std::memset(ctx->h, 0, sizeof ctx->h);
  std::memset(ctx->N, 0, sizeof ctx->N);
  std::memset(ctx->sigma, 0, sizeof ctx->sigma);
  std::memset(ctx->buffer, 0, sizeof ctx->buffer);
  ctx->buffered = 0;
  if (size == 512 || size == VRT_ALG_HASH2012_512) {
    ctx->digest_bits = 512;
  } else if (size == 256 || size == VRT_ALG_HASH2012_256) {
    ctx->digest_bits = 256;
    std::memset(ctx->h, 0x01, sizeof ctx->h);
  } else {
    return VRT_ERROR_INVALID_ARGUMENT;
  }
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash2012Update(hash2012_ctx_t* ctx, const uint8_t* data, uint64_t length) {
  if (ctx == nullptr || !streebog_ctx_sound(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->buffered == kFinalised) return VRT_ERROR_NOT_INITIALIZED;
  if (length == 0) return VRT_SUCCESS;
  if (data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;

  vrt::hash::Words w;
  vrt::hash::load_words(w, ctx);
  const vrt::hash::CompressFn g = vrt::hash::streebog_compress();
  uint64_t fill = ctx->buffered;
  if (fill > 0) {
    uint64_t take = 64 - fill < length ? 64 - fill : length;
    std::memcpy(ctx->buffer + fill, data, take);
    data += take;
    length -= take;
    fill += take;
    if (fill == 64) {
      vrt::hash::absorb_block(w, ctx->buffer, g);
      fill = 0;
    }
  }
  // Full blocks straight from the caller's data.
  for (; length >= 64; data += 64, length -= 64) vrt::hash::absorb_block(w, data, g);
  if (length > 0) {
    std::memcpy(ctx->buffer + fill, data, length);
    fill += length;
  }
  ctx->buffered = fill;
  vrt::hash::store_words(ctx, w);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash2012Finalize(hash2012_ctx_t* ctx, uint8_t* digest) {
  if (ctx == nullptr || digest == nullptr || !streebog_ctx_sound(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->buffered != kFinalised) {
    vrt::hash::Words w;
    vrt::hash::load_words(w, ctx);
    const uint64_t r = ctx->buffered;
    // The marker bit follows the last message byte; zeros above it.
    std::memset(ctx->buffer + r, 0, 64 - r);
    ctx->buffer[r] = 0x01;
    uint64_t m[8];
    std::memcpy(m, ctx->buffer, 64);
    const uint64_t L[8] = {8 * r, 0, 0, 0, 0, 0, 0, 0};
    const vrt_add_fn add512 = vrtpInstance.arch.add512;
    const vrt::hash::CompressFn g = vrt::hash::streebog_compress();
    g(w.h, w.N, m);
    add512(w.N, w.N, L, 0);
    add512(w.sigma, w.sigma, m, 0);
    g(w.h, vrt::hash::kZero, w.N);
    g(w.h, vrt::hash::kZero, w.sigma);
    vrt::hash::store_words(ctx, w);
    ctx->buffered = kFinalised;
  }
  if (ctx->digest_bits == 512)
    std::memcpy(digest, ctx->h, 64);
  else
    std::memcpy(digest, ctx->h + 32, 32);  // the most significant half
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash2012SaveState(hash2012_ctx_t* ctx, uint8_t* blob, uint64_t* size) {
  if (ctx == nullptr || size == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (blob == nullptr) {
    *size = kStateSize;
    return VRT_SUCCESS;
  }
  if (*size != kStateSize) return VRT_ERROR_INVALID_ARGUMENT;
  blob[0] = 1;
  std::memcpy(blob + 1, ctx->h, 64);
  std::memcpy(blob + 65, ctx->N, 64);
  std::memcpy(blob + 129, ctx->sigma, 64);
  std::memcpy(blob + 193, ctx->buffer, 64);
  blob[257] = static_cast<uint8_t>(ctx->buffered);  // 0xFF for a finalised context
  blob[258] = ctx->digest_bits == 512 ? 1 : 0;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash2012RestoreState(hash2012_ctx_t* ctx, const uint8_t* blob, uint64_t size) {
  if (ctx == nullptr || blob == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (size < kStateSize) return VRT_ERROR_LENGTH;
  if (blob[0] != 1) return VRT_ERROR_UNSUPPORTED;
  // A buffer holds at most 63 bytes between calls (a full block is always
  // compressed at once); a larger count, including the 0xFF of a finalised
  // context, cannot be resumed. Checked before anything is copied, so a
  // refused blob leaves the context as it was.
  if (blob[257] > 63) return VRT_ERROR_INVALID_ARGUMENT;
  std::memcpy(ctx->h, blob + 1, 64);
  std::memcpy(ctx->N, blob + 65, 64);
  std::memcpy(ctx->sigma, blob + 129, 64);
  std::memcpy(ctx->buffer, blob + 193, 64);
  ctx->buffered = blob[257];
  ctx->digest_bits = blob[258] != 0 ? 512 : 256;
  return VRT_SUCCESS;
}

VRT_FORWARD(GostHash2012Init);
VRT_FORWARD(GostHash2012Update);
VRT_FORWARD(GostHash2012Finalize);
VRT_FORWARD(GostHash2012SaveState);
VRT_FORWARD(GostHash2012RestoreState);

VRT_API uint32_t hash2012_example(const uint8_t* message, uint64_t length, uint8_t* digest,
                                  uint32_t digest_bytes) {
  hash2012_ctx_t ctx;
  // A size other than 32 or 64 bytes is refused rather than hashed under an
  // unset digest size.
  uint32_t st = vrtpGostHash2012Init(&ctx, 8 * digest_bytes);
  if (st == VRT_SUCCESS) st = vrtpGostHash2012Update(&ctx, message, length);
  if (st == VRT_SUCCESS) st = vrtpGostHash2012Finalize(&ctx, digest);
  return st;
}

VRT_API uint32_t hash2012_self_test(vrtp_instance_t*) {
  // The two example messages of the standard and their digests, as printed.
  static constexpr char kM1[] = "012345678901234567890123456789012345678901234567890123456789012";
  static constexpr auto kM2 = vrt::hex_bytes<72>(
      "d1e520e2e5f2f0e82c20d1f2f0e8e1eee6e820e2edf3f6e82c20e2e5fef2fa20f120eceef0ff20f1f2f0e5eb"
      "e0ece820ede020f5f0e0e1f0fbff20efebfaeafb20c8e3eef0e5e2fb");
  static constexpr auto kH512M1 = vrt::hex_bytes<64>(
      "486f64c1917879417fef082b3381a4e211c324f074654c38823a7b76f830ad00fa1fbae42b1285c0352f2275"
      "24bc9ab16254288dd6863dccd5b9f54a1ad0541b",
      true);
  static constexpr auto kH256M1 = vrt::hex_bytes<32>(
      "00557be5e584fd52a449b16b0251d05d27f94ab76cbaa6da890b59d8ef1e159d", true);
  static constexpr auto kH512M2 = vrt::hex_bytes<64>(
      "28fbc9bada033b1460642bdcddb90c3fb3e56c497ccd0f62b8a2ad4935e85f037613966de4ee00531ae60f3b"
      "5a47f8dae06915d5f2f194996fcabf2622e6881e",
      true);
  static constexpr auto kH256M2 = vrt::hex_bytes<32>(
      "508f7e553c06501d749a66fc28c6cac0b005746d97537fa85d9e40904efed29d", true);

  struct Case {
    const uint8_t* msg;
    uint64_t len;
    const uint8_t* expected;
    uint32_t bytes;
  };
  const auto* m1 = reinterpret_cast<const uint8_t*>(kM1);
  const Case cases[] = {
      {m1, sizeof kM1 - 1, kH512M1.b, 64},
      {m1, sizeof kM1 - 1, kH256M1.b, 32},
      {kM2.b, sizeof kM2.b, kH512M2.b, 64},
      {kM2.b, sizeof kM2.b, kH256M2.b, 32},
  };
  uint8_t out[64];
  for (const Case& c : cases) {
    uint32_t st = hash2012_example(c.msg, c.len, out, c.bytes);
    if (st != VRT_SUCCESS) return st;
    st = vrt::selftest_compare(out, c.expected, c.bytes);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"
