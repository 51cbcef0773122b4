// Kuznyechik: key schedules and single-block transforms over the
// precomputed LS tables, and the cipher's block-record operations.
//
// A block is handled as two little-endian 64-bit words, left (bytes 0..7)
// and right (bytes 8..15). One LS pass is sixteen lookups into each of the
// left and right tables, indexed by the sixteen bytes of the input, with no
// branch on data.
#include <atomic>
#include <cstring>

#include "cipher15/internal.h"
#include "frame/bytes.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

struct Words {
  uint64_t l;
  uint64_t r;
};

// One table pass: out = T(x) where T is given by its left and right tables;
// byte p of the block selects row p (with kSubstitute, Pi of byte p does).
// The sixteen lookups of each word are summed as a tree, which keeps the
// chain between rounds short.
template <bool kSubstitute = false>
__attribute__((always_inline)) inline Words table_pass(const Words x, const uint64_t* tl, const uint64_t* tr) {
  uint64_t l[16], r[16];
  for (int p = 0; p < 16; ++p) {
    const uint64_t w = p < 8 ? x.l : x.r;
    uint64_t v = (w >> (8 * (p & 7))) & 255;
    if (kSubstitute) v = Pi[v];
    const size_t i = static_cast<size_t>(p) * 256 + v;
    l[p] = tl[i];
    r[p] = tr[i];
  }
  for (int step = 1; step < 16; step *= 2)
    for (int p = 0; p < 16; p += 2 * step) {
      l[p] ^= l[p + step];
      r[p] ^= r[p + step];
    }
  return {l[0], r[0]};
}

__attribute__((always_inline)) inline Words ls(const Words x) {
  return table_pass(x, precomputedLSTableLeft, precomputedLSTableRight);
}

__attribute__((always_inline)) inline Words ils(const Words x) {
  return table_pass(x, precomputedInversedLSTableLeft, precomputedInversedLSTableRight);
}

// L^-1(x): the inverse pass starts with the inverse substitution, so the
// forward substitution before it leaves L^-1 alone.
__attribute__((always_inline)) inline Words l_inverse(const Words x) {
  return table_pass<true>(x, precomputedInversedLSTableLeft, precomputedInversedLSTableRight);
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
  x = l_inverse(x);
  for (int i = 8; i >= 1; --i) x = xor_words(ils(x), load_block(rk + 16 * i));
  uint8_t b[16];
  store_block(b, x);
  for (auto& v : b) v = InversedPi[v];
  return xor_words(load_block(b), load_block(rk));
}

void schedule_encrypt_words(uint8_t* rk, const uint8_t* key) {
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

// Groups of independent blocks, so that their table passes overlap.
template <int kGroup>
__attribute__((always_inline)) inline void encrypt_group(const uint8_t* rk, const uint8_t* in, uint8_t* out) {
  Words x[kGroup];
  for (int b = 0; b < kGroup; ++b) x[b] = load_block(in + 16 * b);
  for (int i = 0; i < 9; ++i) {
    const Words k = load_block(rk + 16 * i);
    for (int b = 0; b < kGroup; ++b) x[b] = ls(xor_words(x[b], k));
  }
  const Words k = load_block(rk + 144);
  for (int b = 0; b < kGroup; ++b) store_block(out + 16 * b, xor_words(x[b], k));
}

constexpr int kPortableGroup = 2;

std::atomic<KuznechikBlockFn> g_encrypt{kuznechik_encrypt_portable};
std::atomic<KuznechikBlockFn> g_decrypt{kuznechik_decrypt_portable};
std::atomic<KuznechikBlocksFn> g_encrypt_blocks{kuznechik_encrypt_blocks_portable};
std::atomic<KuznechikBlocksFn> g_decrypt_blocks{kuznechik_decrypt_blocks_portable};
std::atomic<KuznechikCountersFn> g_counters{kuznechik_encrypt_counters_generic};
std::atomic<KuznechikScheduleFn> g_schedule_encrypt{kuznechik_schedule_encrypt_portable};
std::atomic<KuznechikScheduleFn> g_schedule_decrypt{kuznechik_schedule_decrypt_portable};

}  // namespace

void kuznechik_schedule_encrypt_portable(uint8_t* rk, const uint8_t* key) { schedule_encrypt_words(rk, key); }

void kuznechik_schedule_decrypt_portable(uint8_t* rk, const uint8_t* key) {
  schedule_encrypt_words(rk, key);
  for (int i = 1; i <= 8; ++i) store_block(rk + 16 * i, l_inverse(load_block(rk + 16 * i)));
}

void kuznechik_encrypt_portable(const uint8_t* rk, const void* in, void* out) {
  store_block(out, encrypt_words(rk, load_block(in)));
}

void kuznechik_decrypt_portable(const uint8_t* rk, const void* in, void* out) {
  store_block(out, decrypt_words(rk, load_block(in)));
}

void kuznechik_encrypt_blocks_portable(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  for (; blocks >= kPortableGroup; blocks -= kPortableGroup, p += 16 * kPortableGroup, q += 16 * kPortableGroup)
    encrypt_group<kPortableGroup>(rk, p, q);
  for (; blocks > 0; --blocks, p += 16, q += 16) encrypt_group<1>(rk, p, q);
}

void kuznechik_decrypt_blocks_portable(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  for (; blocks > 0; --blocks, p += 16, q += 16) store_block(q, decrypt_words(rk, load_block(p)));
}

void kuznechik_encrypt_blocks(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  g_encrypt_blocks.load(std::memory_order_relaxed)(rk, in, out, blocks);
}

void kuznechik_decrypt_blocks(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  g_decrypt_blocks.load(std::memory_order_relaxed)(rk, in, out, blocks);
}

void kuznechik_encrypt_counters_generic(const uint8_t* rk, uint8_t* counter, int half, const void* in, void* out,
                                        size_t blocks) {
  constexpr size_t kGroup = 16;
  alignas(16) uint8_t stream[16 * kGroup];
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  uint8_t* c = counter + (half != 0 ? 8 : 0);
  while (blocks > 0) {
    const size_t g = blocks < kGroup ? blocks : kGroup;
    for (size_t j = 0; j < g; ++j) {
      std::memcpy(stream + 16 * j, counter, 16);
      store_be64(stream + 16 * j + (c - counter), load_be64(c) + j);
    }
    store_be64(c, load_be64(c) + g);
    kuznechik_encrypt_blocks(rk, stream, stream, g);
    for (size_t j = 0; j < 16 * g; j += 8) store_le64(q + j, load_le64(stream + j) ^ (p != nullptr ? load_le64(p + j) : 0));
    if (p != nullptr) p += 16 * g;
    q += 16 * g;
    blocks -= g;
  }
  vrt_memset_s(stream, sizeof stream, 0, sizeof stream);
}

void kuznechik_encrypt_counters(const uint8_t* rk, uint8_t* counter, int half, const void* in, void* out,
                                size_t blocks) {
  g_counters.load(std::memory_order_relaxed)(rk, counter, half, in, out, blocks);
}

void kuznechik_arch_init(uint32_t cpu_enabled) {
  struct Variant {
    KuznechikBlockFn encrypt, decrypt;
    KuznechikBlocksFn encrypt_blocks, decrypt_blocks;
    KuznechikCountersFn counters;
    KuznechikScheduleFn schedule_encrypt, schedule_decrypt;
  };
  static constexpr Variant kPortable = {kuznechik_encrypt_portable,          kuznechik_decrypt_portable,
                                        kuznechik_encrypt_blocks_portable,   kuznechik_decrypt_blocks_portable,
                                        kuznechik_encrypt_counters_generic,  kuznechik_schedule_encrypt_portable,
                                        kuznechik_schedule_decrypt_portable};
  static constexpr Variant kAvx = {kuznechik_encrypt_avx,          kuznechik_decrypt_avx,
                                   kuznechik_encrypt_blocks_avx,   kuznechik_decrypt_blocks_avx,
                                   kuznechik_encrypt_counters_generic, kuznechik_schedule_encrypt_avx,
                                   kuznechik_schedule_decrypt_avx};
  // No table indexed by key or data, and the fastest where it runs.
  static constexpr Variant kAvx512 = {kuznechik_encrypt_avx512,          kuznechik_decrypt_avx512,
                                      kuznechik_encrypt_blocks_avx512,   kuznechik_decrypt_blocks_avx512,
                                      kuznechik_encrypt_counters_avx512, kuznechik_schedule_encrypt_avx512,
                                      kuznechik_schedule_decrypt_avx512};
  const Variant& v = (cpu_enabled & kKuznechikAvx512Features) == kKuznechikAvx512Features ? kAvx512
                     : (cpu_enabled & VRT_CPU_AVX) != 0                                  ? kAvx
                                                                                          : kPortable;
  g_encrypt.store(v.encrypt, std::memory_order_release);
  g_decrypt.store(v.decrypt, std::memory_order_release);
  g_encrypt_blocks.store(v.encrypt_blocks, std::memory_order_release);
  g_decrypt_blocks.store(v.decrypt_blocks, std::memory_order_release);
  g_counters.store(v.counters, std::memory_order_release);
  g_schedule_encrypt.store(v.schedule_encrypt, std::memory_order_release);
  g_schedule_decrypt.store(v.schedule_decrypt, std::memory_order_release);
}

}  // namespace vrt::cipher15

using vrt::cipher15::Words;

extern "C" {

VRT_API void kuznechik_arch_schedule_encrypt(uint8_t round_keys[160], const uint8_t key[32]) {
  vrt::cipher15::g_schedule_encrypt.load(std::memory_order_relaxed)(round_keys, key);
}

VRT_API void kuznechik_arch_schedule_decrypt(uint8_t round_keys[160], const uint8_t key[32]) {
  vrt::cipher15::g_schedule_decrypt.load(std::memory_order_relaxed)(round_keys, key);
}

VRT_API void kuznechik_arch_encrypt_block(const uint8_t round_keys[160], uint8_t block[16]) {
  vrt::cipher15::g_encrypt.load(std::memory_order_relaxed)(round_keys, block, block);
}

VRT_API void kuznechik_arch_decrypt_block(const uint8_t round_keys[160], uint8_t block[16]) {
  vrt::cipher15::g_decrypt.load(std::memory_order_relaxed)(round_keys, block, block);
}

// Every variant reads the whole input into registers before it writes the
// output, so in and out may overlap.
VRT_API void gost15KZN_encrypt_block(const void* in, void* out, const void*, const gost89_sbox_t*,
                                     const void* round_keys) {
  vrt::cipher15::g_encrypt.load(std::memory_order_relaxed)(static_cast<const uint8_t*>(round_keys), in, out);
}

VRT_API void gost15KZN_decrypt_block(const void* in, void* out, const void*, const gost89_sbox_t*,
                                     const void* round_keys) {
  vrt::cipher15::g_decrypt.load(std::memory_order_relaxed)(static_cast<const uint8_t*>(round_keys), in, out);
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
  vrt::wipe_temporary(ctx->round_keys, sizeof ctx->round_keys);
  return VRT_SUCCESS;
}

}  // extern "C"
