// Arithmetic modulo an odd prime in Montgomery form without branches or
// memory addresses that depend on the values: for secret operands (private
// keys, nonces, the points made from them).
//
// Elements are Int<N> words holding x*R mod m (R = 2^N), fully reduced. The
// product is the shorter one of int_special.cpp for m = 2^N - c or
// 2^(N-1) + c when vrt::flags::supported_asm is set (the form of the public
// modulus picks it once, at setup), else the 512-bit ADCX/ADOX form when
// vrt::flags::supported_adx is set too,
// mont_mul_256/mont_mul_512 (which end in a masked selection) when
// vrt::flags::supported_asm is set, else a portable product of the same
// shape; the choice depends only on the processor. Sums and differences
// select with masks. inv is the constant-time divstep inversion; inv_var the
// variable-time one, for public values.
#pragma once

#include <immintrin.h>

#include <cstdint>

#include "pubkey/math/int.h"
#include "pubkey/math/safegcd.h"

namespace vrt::math {

// r = a*b/R mod p (the BMI2 routines of mont_mul_256/512 with a separate
// result; r may alias a or b). Branch-free.
void mont_mul_256_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p);
void mont_mul_512_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p);
// The ADCX/ADOX form, mont_mul_512_adx_to, is declared in int.h.

namespace ct {

// All ones when x is zero, else zero.
inline uint64_t zero_mask(uint64_t x) { return ((x | (uint64_t{0} - x)) >> 63) - 1; }

template <int N>
inline uint64_t is_zero_mask(const Int<N>& a) {
  uint64_t acc = 0;
  for (int i = 0; i < Int<N>::kWords; ++i) acc |= a.words[i];
  return zero_mask(acc);
}

template <int N>
inline uint64_t eq_mask(const Int<N>& a, const Int<N>& b) {
  uint64_t acc = 0;
  for (int i = 0; i < Int<N>::kWords; ++i) acc |= a.words[i] ^ b.words[i];
  return zero_mask(acc);
}

// mask ? a : b by a conditional move (no branch; kept out of the vector
// unit, whose stack round trips cost more than the words themselves).
inline uint64_t select(uint64_t mask, uint64_t a, uint64_t b) {
  __asm__("testq %[m], %[m]\n\tcmovnzq %[a], %[b]" : [b] "+r"(b) : [m] "r"(mask), [a] "r"(a) : "cc");
  return b;
}

// r = mask ? a : r.
template <int N>
inline void cmov(Int<N>& r, const Int<N>& a, uint64_t mask) {
  for (int i = 0; i < Int<N>::kWords; ++i) r.words[i] = select(mask, a.words[i], r.words[i]);
}

// a - b modulo 2^N with the borrow as a mask.
template <int N>
inline uint64_t sub_mask(Int<N>& r, const Int<N>& a, const Int<N>& b) {
  unsigned char br = 0;
  for (int i = 0; i < Int<N>::kWords; ++i) {
    unsigned long long o;
    br = _subborrow_u64(br, a.words[i], b.words[i], &o);
    r.words[i] = o;
  }
  return uint64_t{0} - br;
}

template <int N>
inline uint64_t add_carry(Int<N>& r, const Int<N>& a, const Int<N>& b) {
  unsigned char c = 0;
  for (int i = 0; i < Int<N>::kWords; ++i) {
    unsigned long long o;
    c = __builtin_ia32_addcarryx_u64(c, a.words[i], b.words[i], &o);
    r.words[i] = o;
  }
  return c;
}

// The portable Montgomery product a*b/R mod m (CIOS), ending in a masked
// subtraction; r may alias a or b.
template <int N>
inline void mont_mul_portable(Int<N>& r, const Int<N>& a, const Int<N>& b, const Int<N>& m, uint64_t n0) {
  using detail::u128;
  constexpr int K = Int<N>::kWords;
  uint64_t t[K + 2] = {};
  for (int i = 0; i < K; ++i) {
    const uint64_t ai = a.words[i];
    uint64_t c = 0;
    for (int j = 0; j < K; ++j) {
      u128 s = static_cast<u128>(ai) * b.words[j] + t[j] + c;
      t[j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    u128 s = static_cast<u128>(t[K]) + c;
    t[K] = static_cast<uint64_t>(s);
    t[K + 1] = static_cast<uint64_t>(s >> 64);
    const uint64_t mm = t[0] * n0;
    s = static_cast<u128>(mm) * m.words[0] + t[0];
    c = static_cast<uint64_t>(s >> 64);
    for (int j = 1; j < K; ++j) {
      s = static_cast<u128>(mm) * m.words[j] + t[j] + c;
      t[j - 1] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    s = static_cast<u128>(t[K]) + c;
    t[K - 1] = static_cast<uint64_t>(s);
    t[K] = t[K + 1] + static_cast<uint64_t>(s >> 64);
  }
  Int<N> lo, d;
  for (int j = 0; j < K; ++j) lo.words[j] = t[j];
  const uint64_t br = sub_mask<N>(d, lo, m);
  // Keep t only when the subtraction borrowed and t had no top word.
  const uint64_t keep = br & zero_mask(t[K]);
  for (int j = 0; j < K; ++j) r.words[j] = select(keep, lo.words[j], d.words[j]);
}

}  // namespace ct

// The constants of one prime modulus for the constant-time field code.
template <int N>
struct FieldCt {
  static_assert(N == 256 || N == 512, "fields of 256 or 512 bits");
  Int<N> m;        // the odd prime
  uint64_t n0 = 0;  // -m^-1 mod 2^64
  Int<N> one;      // R mod m
  Int<N> r2;       // R^2 mod m
  Int<N> r3;       // R^3 mod m
  safegcd::Modulus<N> by;
  SpecialModulus special;  // the shorter product for m = 2^N - c or 2^(N-1) + c

  FieldCt() = default;
  explicit FieldCt(const Int<N>& prime) { init(prime); }

  // Setup from public numbers; not constant-time.
  void init(const Int<N>& prime) {
    m = prime;
    special = SpecialModulus::of<Int<N>::kWords>(m.words);
    uint64_t inv = m.words[0];
    for (int i = 0; i < 5; ++i) inv *= 2 - m.words[0] * inv;
    n0 = uint64_t{0} - inv;
    // R mod m and R^2 mod m by long division of 2^N and 2^2N.
    Int<2 * N> t;
    t.words[Int<N>::kWords] = 1;
    Int<2 * N> rem;
    t.div(m.template resize<2 * N>(), rem);
    one = rem.template resize<N>();
    Int<2 * N> sq = one * one;
    Int<2 * N> rem2;
    sq.div(m.template resize<2 * N>(), rem2);
    r2 = rem2.template resize<N>();
    mul(r3, r2, r2);  // R^4 / R
    by = safegcd::make_modulus<N>(m);
  }

  // r = a*b/R mod m; r may alias a or b. a may be any N-bit number when
  // b < m (the result is then still fully reduced).
  void mul(Int<N>& r, const Int<N>& a, const Int<N>& b) const {
    if (special.mul_pays<N>()) {
      special.mul<N>(r.words, a.words, b.words);
    } else if (N == 512 && detail::use_adx()) {
      mont_mul_512_adx_to(r.words, a.words, b.words, n0, m.words);
    } else if (detail::use_asm()) {
      if constexpr (N == 256)
        mont_mul_256_to(r.words, a.words, b.words, n0, m.words);
      else
        mont_mul_512_to(r.words, a.words, b.words, n0, m.words);
    } else {
      mul_portable(r, a, b);
    }
  }
  // Out of line, so that the dispatch above stays small enough to inline.
  __attribute__((noinline)) void mul_portable(Int<N>& r, const Int<N>& a, const Int<N>& b) const {
    ct::mont_mul_portable<N>(r, a, b, m, n0);
  }
  void sqr(Int<N>& r, const Int<N>& a) const {
    if (special.sqr_pays<N>())
      special.sqr<N>(r.words, a.words);
    else
      mul(r, a, a);
  }

  void add(Int<N>& r, const Int<N>& a, const Int<N>& b) const {
    if (special.form == ModulusForm::kMinus) {
      // m = 2^N - c: a + b is m or more exactly when a + b + c carries out
      // of N bits (either sum), and a + b - m is then a + b + c mod 2^N.
      Int<N> s, t;
      const uint64_t c1 = ct::add_carry<N>(s, a, b);
      unsigned char c2 = 0;
      for (int i = 0; i < Int<N>::kWords; ++i) {
        unsigned long long o;
        c2 = _addcarry_u64(c2, s.words[i], i == 0 ? special.c : 0, &o);
        t.words[i] = o;
      }
      const uint64_t over = uint64_t{0} - (c1 | c2);
      for (int i = 0; i < Int<N>::kWords; ++i) r.words[i] = ct::select(over, t.words[i], s.words[i]);
      return;
    }
    Int<N> s, d;
    const uint64_t c = ct::add_carry<N>(s, a, b);
    const uint64_t br = ct::sub_mask<N>(d, s, m);
    // s - m is the result unless it borrowed without a carry out of s.
    const uint64_t keep = br & ~(uint64_t{0} - c);
    for (int i = 0; i < Int<N>::kWords; ++i) r.words[i] = ct::select(keep, s.words[i], d.words[i]);
  }
  void sub(Int<N>& r, const Int<N>& a, const Int<N>& b) const {
    if (special.form == ModulusForm::kMinus) {
      // m = 2^N - c: after a borrow, adding m is subtracting c mod 2^N.
      Int<N> d;
      const uint64_t br = ct::sub_mask<N>(d, a, b);
      unsigned char b2 = 0;  // no borrow out: the result is a - b + m >= 0
      for (int i = 0; i < Int<N>::kWords; ++i) {
        unsigned long long o;
        b2 = _subborrow_u64(b2, d.words[i], i == 0 ? special.c & br : 0, &o);
        r.words[i] = o;
      }
      return;
    }
    Int<N> d, mm;
    const uint64_t br = ct::sub_mask<N>(d, a, b);
    for (int i = 0; i < Int<N>::kWords; ++i) mm.words[i] = ct::select(br, m.words[i], 0);
    ct::add_carry<N>(r, d, mm);
  }
  // m - a, and 0 for 0.
  void neg(Int<N>& r, const Int<N>& a) const {
    Int<N> z;
    sub(r, z, a);
  }
  // r = mask ? -a : a.
  void cneg(Int<N>& r, const Int<N>& a, uint64_t mask) const {
    Int<N> n;
    neg(n, a);
    r = a;
    ct::cmov<N>(r, n, mask);
  }

  // Into and out of Montgomery form; to_mont takes any N-bit x.
  void to_mont(Int<N>& r, const Int<N>& x) const { mul(r, x, r2); }
  void from_mont(Int<N>& r, const Int<N>& a) const {
    const Int<N> unit(1);
    mul(r, a, unit);
  }

  // a^-1 in Montgomery form (0 for 0), constant-time: the plain inverse of
  // the stored a*R is a^-1 R^-1, and a product with R^3 brings it to a^-1 R.
  void inv(Int<N>& r, const Int<N>& a) const {
    Int<N> t = safegcd::inverse_ct<N>(a, by);
    mul(r, t, r3);
  }
  // The same, variable-time (public values).
  void inv_var(Int<N>& r, const Int<N>& a) const {
    Int<N> t = safegcd::inverse_var<N>(a, by);
    mul(r, t, r3);
  }
};

}  // namespace vrt::math
