// Montgomery products and squarings for primes just off a power of two:
// p = 2^N - c or p = 2^(N-1) + c with N = 64K and 0 < c < 2^63, on MULX
// (compiled for BMI2; callers reach them only when vrt::flags::supported_asm
// is set).
//
// p mod 2^64 is -c or c, so the reduction digit of each word is that word
// times c^-1 (mod 2^64), and its multiple of p is one product m*c plus a
// shifted m: one MULX per word instead of K. With T = a*b (2K words),
// M = sum m_i 2^(64i) chosen so that the low N bits vanish, and
// M*c = T_lo + k*2^N:
//   p = 2^N - c:      (T + M*p) / 2^N = T_hi + M - k,          in [0, 2p);
//   p = 2^(N-1) + c:  (T - M*p) / 2^N = T_hi - k - (M >> 1),   in (-p, p)
// (here the low bit of m_0 also lands at bit N-1 and joins the chain).
// One masked correction brings either into [0, p): the same fully reduced
// a*b/2^N mod p as the generic product, for a*b < 2^N * p.
//
// Constant-time: the instruction sequence and every address are the same
// for all operands; the correction selects by CMOV.
#include <immintrin.h>

#include <cstdint>

#include "pubkey/math/int.h"

#define VRT_BMI2_INLINE __attribute__((target("bmi2"), always_inline)) inline
#define VRT_BMI2 __attribute__((target("bmi2")))

namespace vrt::math {
namespace {

using u128 = unsigned __int128;
using ull = unsigned long long;

VRT_BMI2_INLINE uint64_t mulx_hi(uint64_t a, uint64_t b) {
  ull h;
  (void)_mulx_u64(a, b, &h);
  return h;
}

VRT_BMI2_INLINE unsigned char adc(unsigned char c, uint64_t a, uint64_t b, uint64_t& out) {
  ull o;
  c = _addcarry_u64(c, a, b, &o);
  out = o;
  return c;
}

VRT_BMI2_INLINE unsigned char sbb(unsigned char c, uint64_t a, uint64_t b, uint64_t& out) {
  ull o;
  c = _subborrow_u64(c, a, b, &o);
  out = o;
  return c;
}

// mask ? a : b by a conditional move.
VRT_BMI2_INLINE uint64_t select(uint64_t mask, uint64_t a, uint64_t b) {
  __asm__("testq %[m], %[m]\n\tcmovnzq %[a], %[b]" : [b] "+r"(b) : [m] "r"(mask), [a] "r"(a) : "cc");
  return b;
}

// t (2K words) = a * b, operand scanning with 128-bit partial sums.
template <int K>
VRT_BMI2_INLINE void mul_wide(uint64_t* t, const uint64_t* a, const uint64_t* b) {
  {
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < K; ++j) {
      u128 s = static_cast<u128>(a[0]) * b[j] + c;
      t[j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    t[K] = c;
  }
#pragma GCC unroll 16
  for (int i = 1; i < K; ++i) {
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < K; ++j) {
      u128 s = static_cast<u128>(a[i]) * b[j] + t[i + j] + c;
      t[i + j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    t[i + K] = c;
  }
}

// t (2K words) = a^2: each cross product a_i*a_j (i < j) once, the sum
// doubled, then the squares a_i^2 added on the diagonal.
template <int K>
VRT_BMI2_INLINE void sqr_wide(uint64_t* t, const uint64_t* a) {
  t[0] = 0;
  {
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = 1; j < K; ++j) {
      u128 s = static_cast<u128>(a[0]) * a[j] + c;
      t[j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    t[K] = c;
  }
#pragma GCC unroll 16
  for (int i = 1; i < K - 1; ++i) {
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = i + 1; j < K; ++j) {
      u128 s = static_cast<u128>(a[i]) * a[j] + t[i + j] + c;
      t[i + j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    t[i + K] = c;
  }
  t[2 * K - 1] = 0;
  // The cross sum is below 2^(2N-1): doubling drops no bit.
#pragma GCC unroll 16
  for (int i = 2 * K - 1; i > 0; --i) t[i] = (t[i] << 1) | (t[i - 1] >> 63);
  unsigned char cy = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    const u128 s = static_cast<u128>(a[i]) * a[i];
    cy = adc(cy, t[2 * i], static_cast<uint64_t>(s), t[2 * i]);
    cy = adc(cy, t[2 * i + 1], static_cast<uint64_t>(s >> 64), t[2 * i + 1]);
  }
}

// r = t / 2^N mod p for p = 2^N - c.
template <int K>
VRT_BMI2_INLINE void redc_minus(uint64_t* r, const uint64_t* t, uint64_t c, uint64_t cinv) {
  uint64_t m[K], h = 0;
  unsigned char br = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    uint64_t x;
    br = sbb(br, t[i], h, x);  // the word i of T_lo - (m_0..m_(i-1))*c
    m[i] = x * cinv;           // m_i*c ends in the word x
    h = mulx_hi(m[i], c);
  }
  const uint64_t k = h + br;
  uint64_t v[K], w[K];
  unsigned char cy = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) cy = adc(cy, t[K + i], m[i], v[i]);
  unsigned char b = sbb(0, v[0], k, v[0]);
#pragma GCC unroll 16
  for (int i = 1; i < K; ++i) b = sbb(b, v[i], 0, v[i]);
  const uint64_t top = static_cast<uint64_t>(cy) - b;  // v < 2p: 0 or 1
  // v - p = v + c - 2^N, kept where it is not negative.
  unsigned char c2 = adc(0, v[0], c, w[0]);
#pragma GCC unroll 16
  for (int i = 1; i < K; ++i) c2 = adc(c2, v[i], 0, w[i]);
  const uint64_t take = uint64_t{0} - (top | c2);
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) r[i] = select(take, w[i], v[i]);
}

// r = t / 2^N mod p for p = 2^(N-1) + c.
template <int K>
VRT_BMI2_INLINE void redc_plus(uint64_t* r, const uint64_t* t, uint64_t c, uint64_t cinv) {
  uint64_t m[K], h = 0;
  unsigned char br = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K - 1; ++i) {
    uint64_t x;
    br = sbb(br, t[i], h, x);
    m[i] = x * cinv;
    h = mulx_hi(m[i], c);
  }
  uint64_t x;
  br = sbb(br, t[K - 1], h, x);
  const unsigned char br2 = sbb(0, x, m[0] << 63, x);  // m_0 * 2^(N-1), low bit
  m[K - 1] = x * cinv;
  h = mulx_hi(m[K - 1], c);
  const uint64_t k = h + br + br2;
  uint64_t v[K];
  unsigned char b = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K - 1; ++i) b = sbb(b, t[K + i], (m[i] >> 1) | (m[i + 1] << 63), v[i]);
  b = sbb(b, t[2 * K - 1], m[K - 1] >> 1, v[K - 1]);
  unsigned char b2 = sbb(0, v[0], k, v[0]);
#pragma GCC unroll 16
  for (int i = 1; i < K; ++i) b2 = sbb(b2, v[i], 0, v[i]);
  // Above -p: at most one of the two borrows; then p is added back.
  const uint64_t neg = uint64_t{0} - static_cast<uint64_t>(b | b2);
  unsigned char cy = adc(0, v[0], c & neg, r[0]);
#pragma GCC unroll 16
  for (int i = 1; i < K - 1; ++i) cy = adc(cy, v[i], 0, r[i]);
  adc(cy, v[K - 1], (uint64_t{1} << 63) & neg, r[K - 1]);
}

template <int K, bool kPlus>
VRT_BMI2_INLINE void mont_mul_special(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  uint64_t t[2 * K];
  mul_wide<K>(t, a, b);
  if constexpr (kPlus)
    redc_plus<K>(r, t, c, cinv);
  else
    redc_minus<K>(r, t, c, cinv);
}

template <int K, bool kPlus>
VRT_BMI2_INLINE void mont_sqr_special(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  uint64_t t[2 * K];
  sqr_wide<K>(t, a);
  if constexpr (kPlus)
    redc_plus<K>(r, t, c, cinv);
  else
    redc_minus<K>(r, t, c, cinv);
}

}  // namespace

VRT_BMI2 void mont_mul_256_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<4, false>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_mul_256_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<4, true>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_mul_512_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<8, false>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_mul_512_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<8, true>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_sqr_256_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<4, false>(r, a, c, cinv);
}
VRT_BMI2 void mont_sqr_256_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<4, true>(r, a, c, cinv);
}
VRT_BMI2 void mont_sqr_512_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<8, false>(r, a, c, cinv);
}
VRT_BMI2 void mont_sqr_512_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<8, true>(r, a, c, cinv);
}

}  // namespace vrt::math
