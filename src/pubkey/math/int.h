// Fixed-width unsigned integers and arithmetic modulo an odd number.
//
// Int<N> is N/64 64-bit words, least significant first: no sign, no length,
// no heap. Arithmetic on it wraps modulo 2^N unless a function says
// otherwise. MontInt<N> holds a residue modulo the prime p of its
// MontContext in Montgomery form, x*R mod p with R = 2^N, always fully
// reduced.
//
// Every operation has two paths with bit-identical results: the portable one
// on 64-bit words, and the fast one that calls the BMI2 routines declared in
// vrt.h (add_256, mont_mul_512, div_1024, ...). vrt::flags::supported_asm,
// fixed at library initialisation, picks the path at every call; the few
// functions named _asm use the fast routines unconditionally and need a
// processor with BMI2.
//
// Timing: nothing here is constant-time (field_ct.h has the constant-time
// field for secret values). Comparisons, divisions, inversions
// and the final subtraction of the Montgomery product branch on the values.
// Nothing allocates; every temporary is on the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "vrt.h"

namespace vrt::flags {
// True when the integer layer may call the BMI2 routines: set once by
// library initialisation from the enabled processor features, read at every
// call.
extern bool supported_asm;
// True when, beyond that, the 512-bit Montgomery product may take its MULX
// and ADCX/ADOX form (the processor has ADX too); set with supported_asm.
extern bool supported_adx;
}  // namespace vrt::flags

namespace vrt::math {

template <int N>
struct Int;

// r = a*b/R mod p (R = 2^512) on MULX with the ADCX/ADOX carry chains
// (int_adx.cpp), for processors with BMI2 and ADX; r may alias a or b.
// Branch-free (the one routine in this header's reach that is
// constant-time).
void mont_mul_512_adx_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p);

// The products and squarings of int_special.cpp for p = 2^N - c (_minus)
// and p = 2^(N-1) + c (_plus), 0 < c < 2^63, cinv = c^-1 mod 2^64: r =
// a*b/2^N mod p (a*a for the squarings), fully reduced, for a*b < 2^N * p;
// r may alias a or b. BMI2; constant-time. The 256-bit forms of 2^256 - c
// take 128-bit digits and so c^-1 mod 2^128 (cinv_hi its high word).
void mont_mul_256_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv,
                        uint64_t cinv_hi);
void mont_mul_256_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv);
void mont_mul_512_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv);
void mont_mul_512_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv);
void mont_sqr_256_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv, uint64_t cinv_hi);
void mont_sqr_256_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv);
void mont_sqr_512_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv);
void mont_sqr_512_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv);
// The product of 2^512 - c on the ADCX/ADOX carry chains, with 128-bit
// reduction digits; BMI2 and ADX.
void mont_mul_512_minus_adx(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv,
                            uint64_t cinv_hi);

// The shape of a modulus as far as the product cares: just below 2^N
// (2^N - c), just above 2^(N-1) (2^(N-1) + c), or neither.
enum class ModulusForm : uint8_t { kGeneric, kMinus, kPlus };

struct SpecialModulus {
  ModulusForm form = ModulusForm::kGeneric;
  uint64_t c = 0;     // p = 2^N - c or 2^(N-1) + c, odd, below 2^63
  uint64_t cinv = 0;  // c^-1 mod 2^64
  uint64_t cinv_hi = 0;  // the high word of c^-1 mod 2^128

  // The form of the odd modulus p (N bits, N = 64K); public data.
  template <int K>
  static SpecialModulus of(const uint64_t* p) {
    SpecialModulus s;
    bool minus = p[0] > (uint64_t{1} << 63), plus = p[0] < (uint64_t{1} << 63) && p[0] != 0;
    for (int i = 1; i < K; ++i) {
      minus = minus && p[i] == ~uint64_t{0};
      plus = plus && p[i] == (i == K - 1 ? uint64_t{1} << 63 : 0);
    }
    if ((p[0] & 1) == 0 || (!minus && !plus)) return s;
    s.form = minus ? ModulusForm::kMinus : ModulusForm::kPlus;
    s.c = minus ? uint64_t{0} - p[0] : p[0];
    uint64_t inv = s.c;  // Newton's iteration: 3, 6, 12, 24, 48, 96 bits
    for (int i = 0; i < 5; ++i) inv *= 2 - s.c * inv;
    s.cinv = inv;
    // One more step to 128 bits: c*inv = 1 + e*2^64 makes inv*(1 - e*2^64)
    // the inverse modulo 2^128.
    const uint64_t e = static_cast<uint64_t>((static_cast<unsigned __int128>(s.c) * inv) >> 64);
    s.cinv_hi = uint64_t{0} - inv * e;
    return s;
  }

  // Whether the product (mul_pays) and the squaring (sqr_pays) of the form
  // beat the generic routines on the enabled path: not at all on the
  // portable one, and for 2^511 + c the ADCX/ADOX product stays ahead of
  // the shorter one (its squaring does not).
  template <int N>
  bool sqr_pays() const {
    return form != ModulusForm::kGeneric && flags::supported_asm;
  }
  template <int N>
  bool mul_pays() const {
    return sqr_pays<N>() && !(N == 512 && form == ModulusForm::kPlus && flags::supported_adx);
  }

  // r = a*b/2^N mod p (a*a when b is a) on the routine for the form, which
  // must not be kGeneric; the choice is a branch on the public form (and,
  // at 512 bits, on vrt::flags::supported_adx).
  template <int N>
  void mul(uint64_t* r, const uint64_t* a, const uint64_t* b) const {
    if (a == b) return sqr<N>(r, a);
    if constexpr (N == 256) {
      if (form == ModulusForm::kMinus) mont_mul_256_minus(r, a, b, c, cinv, cinv_hi);
      else mont_mul_256_plus(r, a, b, c, cinv);
    } else {
      if (form == ModulusForm::kMinus && flags::supported_adx) mont_mul_512_minus_adx(r, a, b, c, cinv, cinv_hi);
      else if (form == ModulusForm::kMinus) mont_mul_512_minus(r, a, b, c, cinv);
      else mont_mul_512_plus(r, a, b, c, cinv);
    }
  }
  template <int N>
  void sqr(uint64_t* r, const uint64_t* a) const {
    if constexpr (N == 256) {
      if (form == ModulusForm::kMinus) mont_sqr_256_minus(r, a, c, cinv, cinv_hi);
      else mont_sqr_256_plus(r, a, c, cinv);
    } else {
      // The ADCX/ADOX product squares faster than the BMI2 squaring.
      if (form == ModulusForm::kMinus && flags::supported_adx) mont_mul_512_minus_adx(r, a, a, c, cinv, cinv_hi);
      else if (form == ModulusForm::kMinus) mont_sqr_512_minus(r, a, c, cinv);
      else mont_sqr_512_plus(r, a, c, cinv);
    }
  }
};

namespace detail {

using u128 = unsigned __int128;

// ---- portable word-array primitives (K words, least significant first) ----

// x += y; returns the carry out (0 or 1). y may alias x.
template <int K>
inline uint64_t add_words(uint64_t* x, const uint64_t* y) {
  uint64_t c = 0;
  for (int i = 0; i < K; ++i) {
    u128 s = static_cast<u128>(x[i]) + y[i] + c;
    x[i] = static_cast<uint64_t>(s);
    c = static_cast<uint64_t>(s >> 64);
  }
  return c;
}

// x -= y; returns the borrow out (0 or 1). y may alias x.
template <int K>
inline uint64_t sub_words(uint64_t* x, const uint64_t* y) {
  uint64_t b = 0;
  for (int i = 0; i < K; ++i) {
    u128 d = static_cast<u128>(x[i]) - y[i] - b;
    x[i] = static_cast<uint64_t>(d);
    b = static_cast<uint64_t>(d >> 64) & 1;
  }
  return b;
}

// -1, 0 or 1 as a <, =, > b.
template <int K>
inline int cmp_words(const uint64_t* a, const uint64_t* b) {
  for (int i = K - 1; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

// x <<= bits; any count, K*64 or more clears x.
template <int K>
inline void shl_words(uint64_t* x, uint64_t bits) {
  if (bits >= 64u * K) {
    for (int i = 0; i < K; ++i) x[i] = 0;
    return;
  }
  const int ws = static_cast<int>(bits / 64);
  const int bs = static_cast<int>(bits % 64);
  // Top down: every source word lies below its destination.
  for (int i = K - 1; i >= 0; --i) {
    uint64_t hi = i - ws >= 0 ? x[i - ws] : 0;
    uint64_t lo = i - ws - 1 >= 0 ? x[i - ws - 1] : 0;
    x[i] = bs != 0 ? (hi << bs) | (lo >> (64 - bs)) : hi;
  }
}

// x >>= bits; any count, K*64 or more clears x.
template <int K>
inline void shr_words(uint64_t* x, uint64_t bits) {
  if (bits >= 64u * K) {
    for (int i = 0; i < K; ++i) x[i] = 0;
    return;
  }
  const int ws = static_cast<int>(bits / 64);
  const int bs = static_cast<int>(bits % 64);
  for (int i = 0; i < K; ++i) {
    uint64_t lo = i + ws < K ? x[i + ws] : 0;
    uint64_t hi = i + ws + 1 < K ? x[i + ws + 1] : 0;
    x[i] = bs != 0 ? (lo >> bs) | (hi << (64 - bs)) : lo;
  }
}

// r (K+1 words) = a * w.
template <int K>
inline void muls_words(uint64_t* r, const uint64_t* a, uint64_t w) {
  uint64_t c = 0;
  for (int j = 0; j < K; ++j) {
    u128 t = static_cast<u128>(a[j]) * w + c;
    r[j] = static_cast<uint64_t>(t);
    c = static_cast<uint64_t>(t >> 64);
  }
  r[K] = c;
}

// r (2K words) += a * b, schoolbook: the row a*b[i] is added at word i and
// its carry runs to the top of r (dropped beyond it).
template <int K>
inline void mul_words(uint64_t* r, const uint64_t* a, const uint64_t* b) {
  for (int i = 0; i < K; ++i) {
    uint64_t c = 0;
    for (int j = 0; j < K; ++j) {
      u128 t = static_cast<u128>(a[j]) * b[i] + r[i + j] + c;
      r[i + j] = static_cast<uint64_t>(t);
      c = static_cast<uint64_t>(t >> 64);
    }
    for (int k = i + K; k < 2 * K && c != 0; ++k) {
      u128 s = static_cast<u128>(r[k]) + c;
      r[k] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
  }
}

// ---- the fast routines by width (only for N = 256, 512, 1024) ----

template <int N>
constexpr bool kHasAsm = N == 256 || N == 512 || N == 1024;

template <int N>
inline uint64_t asm_add(uint64_t* x, const uint64_t* y) {
  if constexpr (N == 256) return add_256(x, y);
  else if constexpr (N == 512) return add_512(x, y);
  else return add_1024(x, y);
}
template <int N>
inline uint64_t asm_sub(uint64_t* x, const uint64_t* y) {
  if constexpr (N == 256) return sub_256(x, y);
  else if constexpr (N == 512) return sub_512(x, y);
  else return sub_1024(x, y);
}
template <int N>
inline void asm_shl(uint64_t* x, uint64_t bits) {
  if constexpr (N == 256) shl_256(x, bits);
  else if constexpr (N == 512) shl_512(x, bits);
  else shl_1024(x, bits);
}
template <int N>
inline void asm_shr(uint64_t* x, uint64_t bits) {
  if constexpr (N == 256) shr_256(x, bits);
  else if constexpr (N == 512) shr_512(x, bits);
  else shr_1024(x, bits);
}
template <int N>
inline void asm_mul(uint64_t* r, const uint64_t* a, const uint64_t* b) {
  if constexpr (N == 256) mul_256(r, a, b);
  else if constexpr (N == 512) mul_512(r, a, b);
  else mul_1024(r, a, b);
}
template <int N>
inline void asm_muls(uint64_t* r, const uint64_t* a, uint64_t w) {
  if constexpr (N == 256) muls_256(r, a, w);
  else if constexpr (N == 512) muls_512(r, a, w);
  else muls_1024(r, a, w);
}
template <int N>
inline void asm_div(uint64_t* x, const uint64_t* d, uint64_t* rem) {
  if constexpr (N == 256) div_256(x, d, rem);
  else if constexpr (N == 512) div_512(x, d, rem);
  else div_1024(x, d, rem);
}
template <int N>
inline void asm_inv(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w) {
  if constexpr (N == 256) inv_256(u, v, cv, cu, w);
  else if constexpr (N == 512) inv_512(u, v, cv, cu, w);
  else inv_1024(u, v, cv, cu, w);
}

inline bool use_asm() { return flags::supported_asm; }
inline bool use_adx() { return flags::supported_asm && flags::supported_adx; }

template <int N>
Int<N> inverse(const Int<N>& a, const Int<N>& m, bool fast);
template <int N>
Int<N> inverse_divsteps(const Int<N>& a, const Int<N>& m);

}  // namespace detail

// An unsigned N-bit integer (N = 256, 512, 1024; 2048 serves only as the
// double width of 1024). Copied by value.
template <int N>
struct Int {
  static_assert(N % 64 == 0 && N >= 256, "Int<N> holds whole 64-bit words");
  using underlying_type = uint64_t;
  static constexpr int kWords = N / 64;
  static constexpr int kBytes = N / 8;

  underlying_type words[kWords];

  constexpr Int() : words{} {}
  constexpr explicit Int(uint64_t low) : words{low} {}

  // The first len bytes at in as a little-endian (from_le) or big-endian
  // (from_be) number; bytes beyond N/8 must be zero and are ignored.
  static Int from_le_bytes(const uint8_t* in, size_t len) {
    Int r;
    uint8_t buf[kBytes] = {};
    std::memcpy(buf, in, len < size_t{kBytes} ? len : size_t{kBytes});
    std::memcpy(r.words, buf, kBytes);  // x86-64 is little-endian
    return r;
  }
  static Int from_be_bytes(const uint8_t* in, size_t len) {
    uint8_t buf[kBytes] = {};
    size_t n = len < size_t{kBytes} ? len : size_t{kBytes};
    for (size_t i = 0; i < n; ++i) buf[i] = in[len - 1 - i];
    return from_le_bytes(buf, kBytes);
  }
  // Writes the low len bytes (len <= N/8), least (le) or most (be)
  // significant first.
  void to_le_bytes(uint8_t* out, size_t len) const {
    uint8_t buf[kBytes];
    std::memcpy(buf, words, kBytes);
    std::memcpy(out, buf, len < size_t{kBytes} ? len : size_t{kBytes});
  }
  void to_be_bytes(uint8_t* out, size_t len) const {
    uint8_t buf[kBytes];
    std::memcpy(buf, words, kBytes);
    for (size_t i = 0; i < len && i < size_t{kBytes}; ++i) out[len - 1 - i] = buf[i];
  }

  // The value in M bits: zero-extended, or truncated to its low M bits.
  template <int M>
  Int<M> resize() const {
    Int<M> r;
    constexpr int n = kWords < Int<M>::kWords ? kWords : Int<M>::kWords;
    for (int i = 0; i < n; ++i) r.words[i] = words[i];
    return r;
  }

  bool is_zero() const {
    uint64_t acc = 0;
    for (int i = 0; i < kWords; ++i) acc |= words[i];
    return acc == 0;
  }
  bool is_one() const {
    uint64_t acc = words[0] ^ 1;
    for (int i = 1; i < kWords; ++i) acc |= words[i];
    return acc == 0;
  }
  bool is_odd() const { return (words[0] & 1) != 0; }
  bool bit(int i) const { return ((words[i / 64] >> (i % 64)) & 1) != 0; }
  void set_bit(int i) { words[i / 64] |= uint64_t{1} << (i % 64); }
  // Index of the highest set bit plus one; 0 for zero.
  int bit_length() const {
    for (int i = kWords - 1; i >= 0; --i)
      if (words[i] != 0) return 64 * i + 64 - __builtin_clzll(words[i]);
    return 0;
  }

  int compare(const Int& o) const { return detail::cmp_words<kWords>(words, o.words); }
  bool operator==(const Int& o) const { return compare(o) == 0; }
  bool operator!=(const Int& o) const { return compare(o) != 0; }
  bool operator<(const Int& o) const { return compare(o) < 0; }
  bool operator<=(const Int& o) const { return compare(o) <= 0; }
  bool operator>(const Int& o) const { return compare(o) > 0; }
  bool operator>=(const Int& o) const { return compare(o) >= 0; }

  // x + y and x - y modulo 2^N, returning the carry or borrow (0 or 1).
  uint64_t add_carry(const Int& o) {
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) return detail::asm_add<N>(words, o.words) & 1;
    return detail::add_words<kWords>(words, o.words);
  }
  uint64_t sub_borrow(const Int& o) {
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) return detail::asm_sub<N>(words, o.words) & 1;
    return detail::sub_words<kWords>(words, o.words);
  }
  // Modulo 2^N; the carry or borrow is dropped.
  Int& operator+=(const Int& o) {
    add_carry(o);
    return *this;
  }
  Int& operator-=(const Int& o) {
    sub_borrow(o);
    return *this;
  }
  Int operator+(const Int& o) const {
    Int r = *this;
    return r += o;
  }
  Int operator-(const Int& o) const {
    Int r = *this;
    return r -= o;
  }

  // Logical shifts by any count (N or more clears the value).
  Int& operator<<=(uint64_t bits) {
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) {
        detail::asm_shl<N>(words, bits);
        return *this;
      }
    detail::shl_words<kWords>(words, bits);
    return *this;
  }
  Int& operator>>=(uint64_t bits) {
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) {
        detail::asm_shr<N>(words, bits);
        return *this;
      }
    detail::shr_words<kWords>(words, bits);
    return *this;
  }

  // The full 2N-bit product, schoolbook.
  Int<2 * N> operator*(const Int& o) const {
    Int<2 * N> r;
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) {
        detail::asm_mul<N>(r.words, words, o.words);
        return r;
      }
    detail::mul_words<kWords>(r.words, words, o.words);
    return r;
  }

  // Division with remainder: this becomes the quotient, rem the remainder.
  // The cases, in order: divisor 0 gives quotient 0; dividend 0 gives
  // quotient 0; dividend = divisor gives 1 and rem 0; dividend < divisor
  // gives 0 and rem = dividend; divisor 1 leaves the dividend. In the three
  // cases without a written remainder rem is not touched, so callers zero it
  // first. The rest is Knuth's long division on the fast path, div_naive on
  // the portable one. rem must not alias this or divisor.
  void div(const Int& divisor, Int& rem) {
    if (divisor.is_zero() || is_zero()) {
      *this = Int();
      return;
    }
    const int c = compare(divisor);
    if (c == 0) {
      *this = Int(1);
      rem = Int();
      return;
    }
    if (c < 0) {
      rem = *this;
      *this = Int();
      return;
    }
    if (divisor.is_one()) return;
    if constexpr (detail::kHasAsm<N>)
      if (detail::use_asm()) {
        Int d = divisor;
        detail::asm_div<N>(words, d.words, rem.words);
        return;
      }
    div_naive(divisor, rem);
  }

  // Binary long division: align the divisor's top bit with the dividend's,
  // then subtract it wherever it fits, one quotient bit per position. A zero
  // divisor gives quotient 0 and leaves rem.
  void div_naive(const Int& divisor, Int& rem) {
    if (divisor.is_zero()) {
      *this = Int();
      return;
    }
    const int nb = bit_length(), db = divisor.bit_length();
    if (nb < db) {
      rem = *this;
      *this = Int();
      return;
    }
    Int r = *this, q, sd = divisor;
    detail::shl_words<kWords>(sd.words, static_cast<uint64_t>(nb - db));
    for (int i = nb - db; i >= 0; --i) {
      if (detail::cmp_words<kWords>(r.words, sd.words) >= 0) {
        detail::sub_words<kWords>(r.words, sd.words);
        q.set_bit(i);
      }
      detail::shr_words<kWords>(sd.words, 1);
    }
    rem = r;
    *this = q;
  }

  // The inverse of this number modulo m, in [0, m), by the binary extended
  // Euclidean algorithm: 1 for this = 1; 0 for m < 2, when both are even, and
  // when they share another factor. m need not be prime; an even m takes the
  // longer route through the inverse of m modulo this number. inverse_asm
  // runs the loop with inv_256/inv_512/inv_1024 and needs BMI2; inverse picks
  // the path by vrt::flags::supported_asm.
  // inverse, the one the library calls, takes the divstep inversion of
  // safegcd.h instead for an odd m above this number (several times faster;
  // the same result).
  Int inverse_generic(const Int& m) const { return detail::inverse<N>(*this, m, false); }
  Int inverse_asm(const Int& m) const { return detail::inverse<N>(*this, m, true); }
  Int inverse(const Int& m) const {
    if constexpr (N == 256 || N == 512)
      if (m.is_odd() && *this < m && Int(1) < m) return detail::inverse_divsteps<N>(*this, m);
    return detail::inverse<N>(*this, m, detail::use_asm());
  }

  // A modular view of an Int: value and operand must already be below the
  // modulus, and so is every result. Each operation returns the proxy, so
  // `x.mod(p) += y` updates x in place.
  class ModProxy {
   public:
    ModProxy(Int* v, const Int* m) : value(v), modulus(m) {}

    // v + x mod m without exceeding N bits: t = m - x; v >= t gives v - t.
    ModProxy& operator+=(const Int& x) {
      Int t = *modulus;
      t -= x;
      if (*value >= t)
        *value -= t;
      else
        *value += x;
      return *this;
    }
    ModProxy& operator-=(const Int& x) {
      if (*value < x) {
        Int t = *modulus;
        t -= x;
        t += *value;
        *value = t;
      } else {
        *value -= x;
      }
      return *this;
    }
    // The 2N-bit product divided by the widened modulus.
    ModProxy& operator*=(const Int& x) {
      Int<2 * N> prod = (*value) * x;
      Int<2 * N> m = modulus->template resize<2 * N>();
      Int<2 * N> rem;
      prod.div(m, rem);
      *value = rem.template resize<N>();
      return *this;
    }

    Int* value;
    const Int* modulus;
  };

  ModProxy mod(const Int& m) { return ModProxy(this, &m); }
};

// n' = -p^-1 mod 2^64 for an odd p. Newton's step x <- x (2 - p x) doubles
// the correct low bits, and x = p is already right modulo 8 (odd squares
// are 1 mod 8): five steps give 96 bits.
template <int N>
uint64_t create_mont_inverse(const Int<N>& p) {
  const uint64_t p0 = p.words[0];
  uint64_t inv = p0;
  for (int i = 0; i < 5; ++i) inv *= 2 - p0 * inv;
  return uint64_t{0} - inv;
}

// The modulus of a family of Montgomery residues (N = 256 or 512).
template <int N>
struct MontContext {
  static_assert(N == 256 || N == 512, "Montgomery residues are 256 or 512 bits");
  Int<N> modulus;         // the odd prime p
  uint64_t mont_inverse;  // n' = -p^-1 mod 2^64
  SpecialModulus special;  // the shorter product's constants, for p = 2^N - c or 2^(N-1) + c

  MontContext() : modulus(), mont_inverse(0) {}
  explicit MontContext(const Int<N>& p)
      : modulus(p), mont_inverse(create_mont_inverse<N>(p)), special(SpecialModulus::of<N / 64>(p.words)) {}
};

// A residue modulo the context's p in Montgomery form (value = x*R mod p,
// 0 <= value < p). The context is not owned and must outlive the residue;
// the operations between two residues assume they share it.
template <int N>
class MontInt {
  static_assert(N == 256 || N == 512, "Montgomery residues are 256 or 512 bits");

 public:
  Int<N> value;
  const MontContext<N>* context;

  MontInt() : value(), context(nullptr) {}
  // The residue of x (any x: it is reduced modulo p).
  MontInt(const Int<N>& x, const MontContext<N>* ctx) : value(), context(ctx) { value = to_mont(x); }
  // A stored Montgomery value taken as it is (must be below p).
  static MontInt from_raw(const Int<N>& mont_value, const MontContext<N>* ctx) {
    MontInt r;
    r.value = mont_value;
    r.context = ctx;
    return r;
  }

  // Replace the value, keep the context.
  MontInt& operator=(const Int<N>& x) {
    value = to_mont(x);
    return *this;
  }
  MontInt& operator=(unsigned long long x) { return *this = Int<N>(static_cast<uint64_t>(x)); }

  // The plain value x, by Montgomery reduction of the stored value.
  explicit operator Int<N>() const {
    constexpr int K = Int<N>::kWords;
    const Int<N>& p = context->modulus;
    Int<2 * N> t = value.template resize<2 * N>();
    for (int i = 0; i < K; ++i) {
      const uint64_t m = t.words[0] * context->mont_inverse;
      Int<2 * N> row;
      muls(row.words, p.words, m);
      t += row;  // t < 2^N + 2^64*p: no carry out of 2N bits
      t >>= 64;
    }
    Int<N> r = t.template resize<N>();
    if (t.words[K] != 0 || r >= p) r -= p;
    return r;
  }

  // Montgomery product a*b*R^-1 mod p: on the fast path the shorter
  // product of a modulus just off a power of two, else the ADCX/ADOX form at
  // 512 bits where the processor has ADX, else mont_mul_256/512;
  // mul_generic on the portable one.
  MontInt& operator*=(const MontInt& o) {
    if (context->special.template mul_pays<N>()) {
      context->special.template mul<N>(value.words, value.words, o.value.words);
      return *this;
    }
    if constexpr (N == 512) {
      if (detail::use_adx()) {
        mont_mul_512_adx_to(value.words, value.words, o.value.words, context->mont_inverse, context->modulus.words);
        return *this;
      }
    }
    if (detail::use_asm()) {
      if constexpr (N == 256)
        mont_mul_256(value.words, o.value.words, context->mont_inverse, context->modulus.words);
      else
        mont_mul_512(value.words, o.value.words, context->mont_inverse, context->modulus.words);
      return *this;
    }
    return mul_generic(o);
  }

  // The square, as *= with itself.
  MontInt& square() {
    if (context->special.template sqr_pays<N>()) {
      context->special.template sqr<N>(value.words, value.words);
      return *this;
    }
    return *this *= *this;
  }

  // Coarsely integrated operand scanning: an accumulator t of k + 2 words;
  // for each word a[i]: t += a[i]*b; m = t[0]*n'; t += m*p; t >>= 64 (the low
  // word is zero by construction); finally one conditional subtraction of p.
  // Rows come from muls_256/512 on the fast path; the portable path forms
  // each row inside its accumulation pass.
  MontInt& mul_generic(const MontInt& o) {
    constexpr int K = Int<N>::kWords;
    const uint64_t* p = context->modulus.words;
    const uint64_t n0 = context->mont_inverse;
    uint64_t t[K + 2] = {};
    if (detail::use_asm()) {
      uint64_t row[K + 1];
      for (int i = 0; i < K; ++i) {
        muls(row, o.value.words, value.words[i]);
        t[K + 1] = detail::add_words<K + 1>(t, row);
        muls(row, p, t[0] * n0);
        t[K + 1] += detail::add_words<K + 1>(t, row);
        for (int j = 0; j <= K; ++j) t[j] = t[j + 1];
        t[K + 1] = 0;
      }
    } else {
      using detail::u128;
      for (int i = 0; i < K; ++i) {
        const uint64_t ai = value.words[i];
        uint64_t c = 0;
        for (int j = 0; j < K; ++j) {
          u128 s = static_cast<u128>(ai) * o.value.words[j] + t[j] + c;
          t[j] = static_cast<uint64_t>(s);
          c = static_cast<uint64_t>(s >> 64);
        }
        u128 s = static_cast<u128>(t[K]) + c;
        t[K] = static_cast<uint64_t>(s);
        t[K + 1] = static_cast<uint64_t>(s >> 64);
        const uint64_t m = t[0] * n0;
        s = static_cast<u128>(m) * p[0] + t[0];  // low word zero
        c = static_cast<uint64_t>(s >> 64);
        for (int j = 1; j < K; ++j) {
          s = static_cast<u128>(m) * p[j] + t[j] + c;
          t[j - 1] = static_cast<uint64_t>(s);
          c = static_cast<uint64_t>(s >> 64);
        }
        s = static_cast<u128>(t[K]) + c;
        t[K - 1] = static_cast<uint64_t>(s);
        t[K] = t[K + 1] + static_cast<uint64_t>(s >> 64);
        t[K + 1] = 0;
      }
    }
    if (t[K] != 0 || detail::cmp_words<K>(t, p) >= 0) detail::sub_words<K>(t, p);
    for (int j = 0; j < K; ++j) value.words[j] = t[j];
    return *this;
  }

  // Multiplication by the inverse: the divisor leaves Montgomery form, is
  // inverted modulo p, and comes back. A zero divisor gives zero.
  MontInt& operator/=(const MontInt& o) {
    Int<N> d = static_cast<Int<N>>(o);
    MontInt inv(d.inverse(context->modulus), context);
    return *this *= inv;
  }

  // Field addition and subtraction modulo p (the ModProxy rules; Montgomery
  // form is linear).
  MontInt& operator+=(const MontInt& o) {
    value.mod(context->modulus) += o.value;
    return *this;
  }
  MontInt& operator-=(const MontInt& o) {
    value.mod(context->modulus) -= o.value;
    return *this;
  }

  bool is_zero() const { return value.is_zero(); }
  bool operator==(const MontInt& o) const { return value == o.value; }
  bool operator!=(const MontInt& o) const { return value != o.value; }

 private:
  // r (N+64 bits) = a * w.
  static void muls(uint64_t* r, const uint64_t* a, uint64_t w) {
    if (detail::use_asm())
      detail::asm_muls<N>(r, a, w);
    else
      detail::muls_words<Int<N>::kWords>(r, a, w);
  }

  // x*R mod p: x widened to 2N bits, shifted up by N, divided by p.
  Int<N> to_mont(const Int<N>& x) const {
    Int<2 * N> t = x.template resize<2 * N>();
    t <<= N;
    Int<2 * N> rem;
    t.div(context->modulus.template resize<2 * N>(), rem);
    return rem.template resize<N>();
  }
};

namespace detail {

// cv = cv/2 mod w for odd w: w is added first when cv is odd, its carry out
// becoming the new top bit before the shift.
template <int N>
inline void halve_mod(Int<N>& c, const Int<N>& w) {
  uint64_t top = 0;
  if (c.is_odd()) top = c.add_carry(w);
  c >>= 1;
  c.words[Int<N>::kWords - 1] |= top << 63;
}

// c = c - d mod w, adding w back on borrow.
template <int N>
inline void sub_mod(Int<N>& c, const Int<N>& d, const Int<N>& w) {
  if (c.sub_borrow(d)) c += w;
}

// The binary extended Euclidean loop: invariants cu*b = u and cv*b = v
// (mod w); one step per pass; stops at u = 0 with v = gcd(b, w).
template <int N>
inline void inverse_loop(Int<N>& u, Int<N>& v, Int<N>& cv, Int<N>& cu, const Int<N>& w) {
  if (v.is_zero()) return;
  for (;;) {
    if (u.is_zero()) break;
    if (!v.is_odd()) {
      v >>= 1;
      halve_mod(cv, w);
    } else if (!u.is_odd()) {
      u >>= 1;
      halve_mod(cu, w);
    } else if (v > u) {
      v -= u;
      sub_mod(cv, cu, w);
    } else {
      u -= v;
      sub_mod(cu, cv, w);
    }
  }
}

template <int N>
Int<N> inverse(const Int<N>& a, const Int<N>& m, bool fast) {
  const Int<N> one(1);
  if (m < Int<N>(2)) return Int<N>();
  if (a.is_one()) return one;
  if (!a.is_odd() && !m.is_odd()) return Int<N>();
  // An even m (only the Montgomery constant asks for one; then a is odd)
  // swaps the roles: invert m modulo a.
  const bool swapped = !m.is_odd();
  const Int<N>& w = swapped ? a : m;
  Int<N> u = swapped ? m : a, v = w, cv, cu = one;
  if (fast && kHasAsm<N>) {
    if constexpr (kHasAsm<N>) asm_inv<N>(u.words, v.words, cv.words, cu.words, w.words);
  } else {
    inverse_loop<N>(u, v, cv, cu, w);
  }
  if (!v.is_one()) return Int<N>();
  if (!swapped) return cv;
  // cv = m^-1 mod a, so m*cv - 1 = a*t exactly and a*(-t) = 1 mod m: the
  // inverse is m - t, with 0 < t < m.
  Int<2 * N> prod = m * cv;
  prod -= Int<2 * N>(1);
  Int<2 * N> rem;
  prod.div(a.template resize<2 * N>(), rem);
  Int<N> r;
  r -= prod.template resize<N>();
  r += m;
  return r;
}

}  // namespace detail

extern template struct Int<256>;
extern template struct Int<512>;
extern template struct Int<1024>;
extern template class MontInt<256>;
extern template class MontInt<512>;

}  // namespace vrt::math

// The divstep inversion behind Int::inverse.
#include "pubkey/math/safegcd.h"
