// Kuznyechik on AVX: the same table passes as the portable code, with the
// left and right words of every table entry side by side in one 16-byte
// vector. A pass then touches sixteen cache lines instead of thirty-two and
// folds each lookup into the state with one vector XOR; the sixteen
// lookups are summed as a tree, so the chain from one round to the next is
// a byte extraction, a load and four XORs.
//
// The paired tables are generated at compile time from the same rule as the
// exported ones (make_kuznechik_tables).
#include <immintrin.h>

#include "cipher15/internal.h"
#include "cipher15/kuznechik_tables.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

struct PairedTables {
  uint64_t ls[16 * 256][2];   // {left, right} of L(Pi[b] * e_p)
  uint64_t ils[16 * 256][2];  // {left, right} of L^-1(InversedPi[b] * e_p)
};

constexpr PairedTables make_paired_tables() {
  const KuznechikTables t = make_kuznechik_tables();
  PairedTables p{};
  for (int i = 0; i < 16 * 256; ++i) {
    p.ls[i][0] = t.ls_left[i];
    p.ls[i][1] = t.ls_right[i];
    p.ils[i][0] = t.ils_left[i];
    p.ils[i][1] = t.ils_right[i];
  }
  return p;
}

alignas(64) constexpr PairedTables kPaired = make_paired_tables();

#define VRT_AVX __attribute__((target("avx"), always_inline)) inline

VRT_AVX __m128i entry(const uint64_t (*t)[2], size_t p, uint64_t v) {
  return _mm_load_si128(reinterpret_cast<const __m128i*>(t[p * 256 + v]));
}

// One table pass over the sixteen bytes of x; with kSubstitute, byte p is
// first replaced by Pi[byte], which folds the forward substitution that
// starts decryption into the index.
template <bool kSubstitute>
VRT_AVX __m128i pass(const uint64_t (*t)[2], __m128i x) {
  const uint64_t a = static_cast<uint64_t>(_mm_cvtsi128_si64(x));
  const uint64_t b = static_cast<uint64_t>(_mm_extract_epi64(x, 1));
  auto idx = [](uint64_t w, int shift) -> uint64_t {
    const uint64_t v = (w >> shift) & 255;
    return kSubstitute ? Pi[v] : v;
  };
  const __m128i e0 = _mm_xor_si128(entry(t, 0, idx(a, 0)), entry(t, 1, idx(a, 8)));
  const __m128i e1 = _mm_xor_si128(entry(t, 2, idx(a, 16)), entry(t, 3, idx(a, 24)));
  const __m128i e2 = _mm_xor_si128(entry(t, 4, idx(a, 32)), entry(t, 5, idx(a, 40)));
  const __m128i e3 = _mm_xor_si128(entry(t, 6, idx(a, 48)), entry(t, 7, idx(a, 56)));
  const __m128i e4 = _mm_xor_si128(entry(t, 8, idx(b, 0)), entry(t, 9, idx(b, 8)));
  const __m128i e5 = _mm_xor_si128(entry(t, 10, idx(b, 16)), entry(t, 11, idx(b, 24)));
  const __m128i e6 = _mm_xor_si128(entry(t, 12, idx(b, 32)), entry(t, 13, idx(b, 40)));
  const __m128i e7 = _mm_xor_si128(entry(t, 14, idx(b, 48)), entry(t, 15, idx(b, 56)));
  return _mm_xor_si128(_mm_xor_si128(_mm_xor_si128(e0, e1), _mm_xor_si128(e2, e3)),
                       _mm_xor_si128(_mm_xor_si128(e4, e5), _mm_xor_si128(e6, e7)));
}

// Bytewise inverse substitution of the block, through memory.
VRT_AVX __m128i inverse_substitute(__m128i x) {
  alignas(16) uint8_t b[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(b), x);
  for (int i = 0; i < 16; ++i) b[i] = InversedPi[b[i]];
  return _mm_load_si128(reinterpret_cast<const __m128i*>(b));
}

VRT_AVX __m128i round_key(const uint8_t* rk, int i) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 16 * i));
}

}  // namespace

__attribute__((target("avx"))) void kuznechik_encrypt_avx(const uint8_t* rk, const void* in, void* out) {
  __m128i x = _mm_loadu_si128(static_cast<const __m128i*>(in));
  for (int i = 0; i < 9; ++i) x = pass<false>(kPaired.ls, _mm_xor_si128(x, round_key(rk, i)));
  _mm_storeu_si128(static_cast<__m128i*>(out), _mm_xor_si128(x, round_key(rk, 9)));
}

__attribute__((target("avx"))) void kuznechik_decrypt_avx(const uint8_t* rk, const void* in, void* out) {
  __m128i x = _mm_xor_si128(_mm_loadu_si128(static_cast<const __m128i*>(in)), round_key(rk, 9));
  x = pass<true>(kPaired.ils, x);  // L^-1(x)
  for (int i = 8; i >= 1; --i) x = _mm_xor_si128(pass<false>(kPaired.ils, x), round_key(rk, i));
  x = _mm_xor_si128(inverse_substitute(x), round_key(rk, 0));
  _mm_storeu_si128(static_cast<__m128i*>(out), x);
}

// Groups of independent blocks: the passes of the blocks of a group do not
// depend on each other, so the processor overlaps their lookups instead of
// waiting out one block's chain of rounds at a time.
template <int kGroup>
__attribute__((target("avx"), always_inline)) inline void encrypt_group(const uint8_t* rk, const uint8_t* in,
                                                                         uint8_t* out) {
  __m128i x[kGroup];
  for (int b = 0; b < kGroup; ++b) x[b] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * b));
  for (int i = 0; i < 9; ++i) {
    const __m128i k = round_key(rk, i);
    for (int b = 0; b < kGroup; ++b) x[b] = pass<false>(kPaired.ls, _mm_xor_si128(x[b], k));
  }
  const __m128i k = round_key(rk, 9);
  for (int b = 0; b < kGroup; ++b) _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), _mm_xor_si128(x[b], k));
}

template <int kGroup>
__attribute__((target("avx"), always_inline)) inline void decrypt_group(const uint8_t* rk, const uint8_t* in,
                                                                         uint8_t* out) {
  __m128i x[kGroup];
  const __m128i k9 = round_key(rk, 9);
  for (int b = 0; b < kGroup; ++b)
    x[b] = pass<true>(kPaired.ils, _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16 * b)), k9));
  for (int i = 8; i >= 1; --i) {
    const __m128i k = round_key(rk, i);
    for (int b = 0; b < kGroup; ++b) x[b] = _mm_xor_si128(pass<false>(kPaired.ils, x[b]), k);
  }
  const __m128i k0 = round_key(rk, 0);
  for (int b = 0; b < kGroup; ++b)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 16 * b), _mm_xor_si128(inverse_substitute(x[b]), k0));
}

constexpr int kAvxGroup = 4;

__attribute__((target("avx"))) void kuznechik_encrypt_blocks_avx(const uint8_t* rk, const void* in, void* out,
                                                                 size_t blocks) {
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  for (; blocks >= kAvxGroup; blocks -= kAvxGroup, p += 16 * kAvxGroup, q += 16 * kAvxGroup) encrypt_group<kAvxGroup>(rk, p, q);
  for (; blocks > 0; --blocks, p += 16, q += 16) encrypt_group<1>(rk, p, q);
}

__attribute__((target("avx"))) void kuznechik_decrypt_blocks_avx(const uint8_t* rk, const void* in, void* out,
                                                                 size_t blocks) {
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  for (; blocks >= kAvxGroup; blocks -= kAvxGroup, p += 16 * kAvxGroup, q += 16 * kAvxGroup) decrypt_group<kAvxGroup>(rk, p, q);
  for (; blocks > 0; --blocks, p += 16, q += 16) decrypt_group<1>(rk, p, q);
}

// The schedule with the same passes: eight Feistel steps per pair of
// round keys, constants C1..C32 in order.
__attribute__((target("avx"))) void kuznechik_schedule_encrypt_avx(uint8_t* rk, const uint8_t* key) {
  __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key));
  __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(key + 16));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rk), a1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(rk + 16), a0);
  for (int j = 0; j < 4; ++j) {
    for (int r = 0; r < 8; ++r) {
      const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(roundConstants[8 * j + r]));
      const __m128i t = _mm_xor_si128(pass<false>(kPaired.ls, _mm_xor_si128(a1, c)), a0);
      a0 = a1;
      a1 = t;
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rk + 32 * j + 32), a1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rk + 32 * j + 48), a0);
  }
}

__attribute__((target("avx"))) void kuznechik_schedule_decrypt_avx(uint8_t* rk, const uint8_t* key) {
  kuznechik_schedule_encrypt_avx(rk, key);
  for (int i = 1; i <= 8; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(rk + 16 * i), pass<true>(kPaired.ils, round_key(rk, i)));
}

}  // namespace vrt::cipher15
