// Kuznyechik: key schedules and single-block transforms over the
// precomputed LS tables, and the cipher's block-record operations.
//
// A block is handled as two little-endian 64-bit words, left (bytes 0..7)
// and right (bytes 8..15). One LS pass is sixteen lookups into each of the
// left and right tables, indexed by the sixteen bytes of the input, with no
// branch on data.
#include <cstring>

#include "cipher15/internal.h"
#include "common/bytes.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

struct Words {
  uint64_t l;
  uint64_t r;
};

// One table pass: out = T(x) where T is given by its left and right tables;
// byte p of the block selects row p.
__attribute__((always_inline)) inline Words table_pass(const Words x, const uint64_t* tl, const uint64_t* tr) {
  uint64_t nl = 0, nr = 0;
  uint64_t a = x.l;
  uint64_t b = x.r;
#define VRT_KZ_BYTE(p, v)                           \
  do {                                              \
    const size_t i_ = (p) * 256 + (v);              \
    nl ^= tl[i_];                                   \
    nr ^= tr[i_];                                   \
  } while (0)
  VRT_KZ_BYTE(0, a & 255);
  VRT_KZ_BYTE(1, (a >> 8) & 255);
  VRT_KZ_BYTE(2, (a >> 16) & 255);
  VRT_KZ_BYTE(3, (a >> 24) & 255);
  VRT_KZ_BYTE(4, (a >> 32) & 255);
  VRT_KZ_BYTE(5, (a >> 40) & 255);
  VRT_KZ_BYTE(6, (a >> 48) & 255);
  VRT_KZ_BYTE(7, a >> 56);
  VRT_KZ_BYTE(8, b & 255);
  VRT_KZ_BYTE(9, (b >> 8) & 255);
  VRT_KZ_BYTE(10, (b >> 16) & 255);
  VRT_KZ_BYTE(11, (b >> 24) & 255);
  VRT_KZ_BYTE(12, (b >> 32) & 255);
  VRT_KZ_BYTE(13, (b >> 40) & 255);
  VRT_KZ_BYTE(14, (b >> 48) & 255);
  VRT_KZ_BYTE(15, b >> 56);
#undef VRT_KZ_BYTE
  return {nl, nr};
}

__attribute__((always_inline)) inline Words ls(const Words x) {
  return table_pass(x, precomputedLSTableLeft, precomputedLSTableRight);
}

__attribute__((always_inline)) inline Words ils(const Words x) {
  return table_pass(x, precomputedInversedLSTableLeft, precomputedInversedLSTableRight);
}

// Bytewise substitution of a word by a 256-byte table.
__attribute__((always_inline)) inline uint64_t substitute(uint64_t w, const uint8_t* s) {
  uint64_t r = 0;
  for (int i = 0; i < 8; ++i) r |= uint64_t{s[(w >> (8 * i)) & 255]} << (8 * i);
  return r;
}

__attribute__((always_inline)) inline Words load_block(const void* p) {
  const auto* b = static_cast<const uint8_t*>(p);
  return {load_le64(b), load_le64(b + 8)};
}

__attribute__((always_inline)) inline void store_block(void* p, const Words x) {
  auto* b = static_cast<uint8_t*>(p);
  store_le64(b, x.l);
  store_le64(b + 8, x.r);
}

__attribute__((always_inline)) inline Words xor_words(const Words a, const Words b) {
  return {a.l ^ b.l, a.r ^ b.r};
}

__attribute__((always_inline)) inline Words encrypt_words(const uint8_t* rk, Words x) {
  for (int i = 0; i < 9; ++i) x = ls(xor_words(x, load_block(rk + 16 * i)));
  return xor_words(x, load_block(rk + 144));
}

// With the decryption schedule: K1, L^-1(K2) .. L^-1(K9), K10. L^-1 is one
// inverse pass after the forward substitution, since the inverse pass
// starts with the inverse substitution.
__attribute__((always_inline)) inline Words decrypt_words(const uint8_t* rk, Words x) {
  x = xor_words(x, load_block(rk + 144));
  x = ils({substitute(x.l, Pi), substitute(x.r, Pi)});
  for (int i = 8; i >= 1; --i) x = xor_words(ils(x), load_block(rk + 16 * i));
  x = {substitute(x.l, InversedPi), substitute(x.r, InversedPi)};
  return xor_words(x, load_block(rk));
}

void schedule_encrypt(uint8_t* rk, const uint8_t* key) {
  Words a1 = load_block(key);
  Words a0 = load_block(key + 16);
  store_block(rk, a1);
  store_block(rk + 16, a0);
  for (int j = 0; j < 4; ++j) {
    for (int r = 0; r < 8; ++r) {
      const int c = 8 * j + r;
      Words t = xor_words(ls({a1.l ^ roundConstantsLeft[c], a1.r ^ roundConstantsRight[c]}), a0);
      a0 = a1;
      a1 = t;
    }
    store_block(rk + 32 * j + 32, a1);
    store_block(rk + 32 * j + 48, a0);
  }
}

}  // namespace
}  // namespace vrt::cipher15

using vrt::cipher15::Words;

extern "C" {

VRT_API void kuznechik_arch_schedule_encrypt(uint8_t round_keys[160], const uint8_t key[32]) {
  vrt::cipher15::schedule_encrypt(round_keys, key);
}

VRT_API void kuznechik_arch_schedule_decrypt(uint8_t round_keys[160], const uint8_t key[32]) {
  using namespace vrt::cipher15;
  schedule_encrypt(round_keys, key);
  for (int i = 1; i <= 8; ++i) {
    Words k = load_block(round_keys + 16 * i);
    store_block(round_keys + 16 * i, ils({substitute(k.l, Pi), substitute(k.r, Pi)}));
  }
}

VRT_API void kuznechik_arch_encrypt_block(const uint8_t round_keys[160], uint8_t block[16]) {
  using namespace vrt::cipher15;
  store_block(block, encrypt_words(round_keys, load_block(block)));
}

VRT_API void kuznechik_arch_decrypt_block(const uint8_t round_keys[160], uint8_t block[16]) {
  using namespace vrt::cipher15;
  store_block(block, decrypt_words(round_keys, load_block(block)));
}

// The whole input is read into registers before the output is written, so
// in and out may overlap.
VRT_API void gost15KZN_encrypt_block(const void* in, void* out, const void*, const gost89_sbox_t*,
                                     const void* round_keys) {
  using namespace vrt::cipher15;
  store_block(out, encrypt_words(static_cast<const uint8_t*>(round_keys), load_block(in)));
}

VRT_API void gost15KZN_decrypt_block(const void* in, void* out, const void*, const gost89_sbox_t*,
                                     const void* round_keys) {
  using namespace vrt::cipher15;
  store_block(out, decrypt_words(static_cast<const uint8_t*>(round_keys), load_block(in)));
}

VRT_API void gost15KZN_xor_block(const void* a, const void* b, void* out) {
  using namespace vrt::cipher15;
  store_block(out, xor_words(load_block(a), load_block(b)));
}

VRT_API void gost15KZN_copy_block(const void* src, void* dst) { std::memmove(dst, src, 16); }

VRT_API void gost15_key_shedule_encrypt(Gost15Ctx* ctx, const uint8_t* key) {
  if (ctx == nullptr || key == nullptr || ctx->block_size != 16) return;
  kuznechik_arch_schedule_encrypt(ctx->round_keys, key);
}

VRT_API void gost15_key_shedule_decrypt(Gost15Ctx* ctx, const uint8_t* key) {
  if (ctx == nullptr || key == nullptr || ctx->block_size != 16) return;
  kuznechik_arch_schedule_decrypt(ctx->round_keys, key);
}

VRT_API uint32_t gost15_key_shedule_clean(Gost15Ctx* ctx) {
  if (ctx == nullptr || ctx->block_size != 16) return VRT_SUCCESS;
  uint32_t st = vrt_memreset_s(ctx->round_keys, sizeof ctx->round_keys);
  // A generator failure must not leave round keys behind.
  if (st != VRT_SUCCESS) vrt_memset_s(ctx->round_keys, sizeof ctx->round_keys, 0, sizeof ctx->round_keys);
  return st;
}

}  // extern "C"
