// GOST R 34.11-94: the 256-bit hash whose step function encrypts the four
// words of the chaining value with GOST 28147-89 under keys made from it and
// the message block.
//
// Every 256-bit value (H, L, sigma, blocks) is little-endian: the first
// message byte is the least significant byte of the first block and the
// digest comes out in that order too.
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "hash/gost94_step.h"
#include "hash/internal.h"
#include "vrt.h"

namespace vrt::hash {
namespace {

constexpr uint64_t kFinalised = ~uint64_t{0};
constexpr uint64_t kStateSize = VRT_HASH94_STATE_SIZE;
constexpr uint64_t kC256_256[4] = {256, 0, 0, 0};

// f(x) = ROTL32(S(x), 11) through the four expanded tables of the set (the
// rotation is folded into them); indexed by data.
__attribute__((always_inline)) inline uint32_t table_f(const uint32_t (*t)[256], uint32_t x) {
  uint32_t u = t[0][x & 255] ^ t[1][(x >> 8) & 255];
  uint32_t v = t[2][(x >> 16) & 255] ^ t[3][x >> 24];
  return u ^ v;
}

// The running state of a context as words, loaded once per call.
struct Words {
  uint64_t h[4];
  uint64_t L[4];
  uint64_t sigma[4];
};

void load_words(Words& w, const hash94_ctx_t* ctx) {
  std::memcpy(w.h, ctx->h, 32);
  std::memcpy(w.L, ctx->L, 32);
  std::memcpy(w.sigma, ctx->sigma, 32);
}

void store_words(hash94_ctx_t* ctx, const Words& w) {
  std::memcpy(ctx->h, w.h, 32);
  std::memcpy(ctx->L, w.L, 32);
  std::memcpy(ctx->sigma, w.sigma, 32);
}

// One full block: H = f(H, M), L += 256, sigma += M (both mod 2^256, through
// the dispatch table).
inline void absorb_block(Words& w, const uint8_t* block, const gost89_sbox_t* sbox, Gost94StepFn f) {
  uint64_t m[4];
  std::memcpy(m, block, 32);
  f(sbox, w.h, m);
  const vrt_add_fn add256 = vrtpInstance.arch.add256;
  add256(w.L, w.L, kC256_256, 0);
  add256(w.sigma, w.sigma, m, 0);
}

}  // namespace

void gost94_step_portable(const gost89_sbox_t* sbox, uint64_t h[4], const uint64_t m[4]) {
  uint64_t w[4][4];
  g94::key_words(h, m, w);
  uint32_t k[4][8];
  for (int j = 0; j < 4; ++j) {
    __m128i k03, k47;
    g94::p_transform(w[j], k03, k47);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k[j]), k03);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(k[j] + 4), k47);
  }
  // The four encryptions are independent: word j of H under K_j. They run
  // interleaved so that their table lookups overlap.
  const auto* t = sbox->tables;
  uint32_t a[4], b[4];
  for (int j = 0; j < 4; ++j) {
    a[j] = static_cast<uint32_t>(h[j]);
    b[j] = static_cast<uint32_t>(h[j] >> 32);
  }
#define VRT_G94_PAIR(i0, i1)                                            \
  do {                                                                  \
    for (int j = 0; j < 4; ++j) b[j] ^= table_f(t, a[j] + k[j][i0]);    \
    for (int j = 0; j < 4; ++j) a[j] ^= table_f(t, b[j] + k[j][i1]);    \
  } while (0)
  for (int r = 0; r < 3; ++r) {
    VRT_G94_PAIR(0, 1);
    VRT_G94_PAIR(2, 3);
    VRT_G94_PAIR(4, 5);
    VRT_G94_PAIR(6, 7);
  }
  VRT_G94_PAIR(7, 6);
  VRT_G94_PAIR(5, 4);
  VRT_G94_PAIR(3, 2);
  VRT_G94_PAIR(1, 0);
#undef VRT_G94_PAIR
  // The ciphertext is (N1, N2) = (b, a).
  uint64_t s[4];
  for (int j = 0; j < 4; ++j) s[j] = b[j] | static_cast<uint64_t>(a[j]) << 32;
  g94::output_transform(h, m, s);
}

Gost94StepFn gost94_step() {
  return (vrtpInstance.cpu_enabled & VRT_CPU_AVX) != 0 ? gost94_step_avx : gost94_step_portable;
}

}  // namespace vrt::hash

using vrt::hash::kFinalised;
using vrt::hash::kStateSize;

namespace {

// A context in caller memory is checked before it is trusted: a buffer
// count of 0..32 (or the finalised mark) and an initialised S-box set.
bool gost94_ctx_sound(const hash94_ctx_t* ctx) {
  return (ctx->buffered <= 32 || ctx->buffered == kFinalised) && vrtpGost89SboxInitialized(ctx->sbox);
}

}  // namespace

extern "C" {

VRT_API uint32_t vrtpGostHash94Init(hash94_ctx_t* ctx, uint64_t sbox, const uint8_t* start) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  std::memset(ctx->h, 0, sizeof ctx->h);
  std::memset(ctx->L, 0, sizeof ctx->L);
  std::memset(ctx->sigma, 0, sizeof ctx->sigma);
  std::memset(ctx->buffer, 0, sizeof ctx->buffer);
  ctx->buffered = 0;
  ctx->sbox = nullptr;
  const gost89_sbox_t* set = vrtpGost89SboxPointer(sbox == 0 ? VRT_GOST89_SBOX_R3411_94_CRYPTOPRO : sbox);
  // Without a usable set the context keeps a null one, which Update and
  // Finalize refuse.
  if (!vrtpGost89SboxInitialized(set)) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->sbox = set;
  if (start != nullptr) std::memcpy(ctx->h, start, 32);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash94Update(hash94_ctx_t* ctx, const uint8_t* data, uint64_t length) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->buffered == kFinalised) return VRT_ERROR_NOT_INITIALIZED;
  if (!gost94_ctx_sound(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  if (length == 0) return VRT_SUCCESS;
  if (data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;

  vrt::hash::Words w;
  vrt::hash::load_words(w, ctx);
  const vrt::hash::Gost94StepFn f = vrt::hash::gost94_step();
  uint64_t fill = ctx->buffered;
  if (fill > 0) {
    uint64_t take = 32 - fill < length ? 32 - fill : length;
    std::memcpy(ctx->buffer + fill, data, take);
    data += take;
    length -= take;
    fill += take;
    if (fill == 32) {
      vrt::hash::absorb_block(w, ctx->buffer, ctx->sbox, f);
      fill = 0;
    }
  }
  // Full blocks straight from the caller's data.
  for (; length >= 32; data += 32, length -= 32) vrt::hash::absorb_block(w, data, ctx->sbox, f);
  if (length > 0) {
    std::memcpy(ctx->buffer + fill, data, length);
    fill += length;
  }
  ctx->buffered = fill;
  vrt::hash::store_words(ctx, w);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash94Finalize(hash94_ctx_t* ctx, uint8_t* digest) {
  if (ctx == nullptr || digest == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->buffered != kFinalised) {
    if (!gost94_ctx_sound(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
    vrt::hash::Words w;
    vrt::hash::load_words(w, ctx);
    const vrt::hash::Gost94StepFn f = vrt::hash::gost94_step();
    const vrt_add_fn add256 = vrtpInstance.arch.add256;
    const uint64_t r = ctx->buffered;
    // A message of whole blocks (the empty one too) gets no padding block;
    // otherwise the last one is zero-padded and counts its 8r bits.
    if (r != 0) {
      std::memset(ctx->buffer + r, 0, 32 - r);
      uint64_t m[4];
      std::memcpy(m, ctx->buffer, 32);
      const uint64_t bits[4] = {8 * r, 0, 0, 0};
      add256(w.L, w.L, bits, 0);
      add256(w.sigma, w.sigma, m, 0);
      f(ctx->sbox, w.h, m);
    }
    f(ctx->sbox, w.h, w.L);
    f(ctx->sbox, w.h, w.sigma);
    vrt::hash::store_words(ctx, w);
    ctx->buffered = kFinalised;
  }
  std::memcpy(digest, ctx->h, 32);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash94SaveState(hash94_ctx_t* ctx, uint8_t* blob, uint64_t* size) {
  if (ctx == nullptr || size == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (blob == nullptr) {
    *size = kStateSize;
    return VRT_SUCCESS;
  }
  if (*size != kStateSize) return VRT_ERROR_INVALID_ARGUMENT;
  uint8_t set;
  if (ctx->sbox == &vrtpGost89SboxGostR3411_94_TestParamSet) {
    set = 0;
  } else if (ctx->sbox == &vrtpGost89SboxGostR3411_94_CryptoProParamSet) {
    set = 1;
  } else {
    return VRT_ERROR_UNSUPPORTED;  // a set the blob cannot name
  }
  blob[0] = 1;
  blob[1] = set;
  std::memcpy(blob + 2, ctx->h, 32);
  std::memcpy(blob + 34, ctx->L, 32);
  std::memcpy(blob + 66, ctx->sigma, 32);
  std::memcpy(blob + 98, ctx->buffer, 32);
  blob[130] = static_cast<uint8_t>(ctx->buffered);  // 0xFF for a finalised context
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGostHash94RestoreState(hash94_ctx_t* ctx, const uint8_t* blob, uint64_t size) {
  if (ctx == nullptr || blob == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (size < kStateSize) return VRT_ERROR_LENGTH;
  if (blob[0] != 1 || blob[1] > 1) return VRT_ERROR_UNSUPPORTED;
  // A buffer holds at most a whole block; a larger count, including the 0xFF
  // of a finalised context, cannot be resumed. Checked before anything is
  // copied, so a refused blob leaves the context as it was.
  if (blob[130] > 32) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->sbox = blob[1] == 0 ? &vrtpGost89SboxGostR3411_94_TestParamSet : &vrtpGost89SboxGostR3411_94_CryptoProParamSet;
  std::memcpy(ctx->h, blob + 2, 32);
  std::memcpy(ctx->L, blob + 34, 32);
  std::memcpy(ctx->sigma, blob + 66, 32);
  std::memcpy(ctx->buffer, blob + 98, 32);
  ctx->buffered = blob[130];
  return VRT_SUCCESS;
}

VRT_FORWARD(GostHash94Init);
VRT_FORWARD(GostHash94Update);
VRT_FORWARD(GostHash94Finalize);
VRT_FORWARD(GostHash94SaveState);
VRT_FORWARD(GostHash94RestoreState);

VRT_API uint32_t hash94_self_test(vrtp_instance_t*) {
  // The two examples of the standard (RFC 5831 section 7.3) on its test
  // parameter set, the digests in the library's byte order.
  static constexpr char kM1[] = "This is message, length=32 bytes";
  static constexpr char kM2[] = "Suppose the original message has length = 50 bytes";
  static constexpr auto kH1 =
      vrt::hex_bytes<32>("b1c466d37519b82e8319819ff32595e047a28cb6f83eff1c6916a815a637fffa");
  static constexpr auto kH2 =
      vrt::hex_bytes<32>("471aba57a60a770d3a76130635c1fbea4ef14de51f78b4ae57dd893b62f55208");
  struct Case {
    const char* msg;
    uint64_t len;
    const uint8_t* expected;
  };
  const Case cases[] = {{kM1, sizeof kM1 - 1, kH1.b}, {kM2, sizeof kM2 - 1, kH2.b}};
  uint8_t out[32];
  for (const Case& c : cases) {
    hash94_ctx_t ctx;
    (void)vrtpGostHash94Init(&ctx, VRT_GOST89_SBOX_R3411_94_TEST, nullptr);
    uint32_t st = vrtpGostHash94Update(&ctx, reinterpret_cast<const uint8_t*>(c.msg), c.len);
    if (st == VRT_SUCCESS) st = vrtpGostHash94Finalize(&ctx, out);
    if (st != VRT_SUCCESS) return st;
    st = vrt::selftest_compare(out, c.expected, 32);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"
