// The BMI2 integer routines: fixed-width arithmetic on 256-, 512- and
// 1024-bit little-endian word arrays with MULX and SHLX/SHRX.
//
// Each function is compiled for BMI2 alone (target attribute), so the
// library still loads and runs on a processor without it; callers reach
// these only when vrt::flags::supported_asm is set, which is exactly the
// processor's BMI2 bit. Carry chains use
// plain ADC/SBB: MULX leaves the flags alone, so a product row and its
// accumulation each run as one chain without ADX.
//
// None of these is constant-time: division, inversion and the last
// subtraction of the Montgomery product branch on the data.
#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "vrt.h"

#define VRT_BMI2 __attribute__((target("bmi2")))
#define VRT_BMI2_INLINE __attribute__((target("bmi2"), always_inline)) inline

namespace {

using ull = unsigned long long;

VRT_BMI2_INLINE uint64_t mulx(uint64_t a, uint64_t b, uint64_t& hi) {
  ull h;
  ull lo = _mulx_u64(a, b, &h);
  hi = h;
  return lo;
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

template <int K>
VRT_BMI2_INLINE uint64_t add_k(uint64_t* x, const uint64_t* y) {
  unsigned char c = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) c = adc(c, x[i], y[i], x[i]);
  return uint64_t{0} - c;
}

template <int K>
VRT_BMI2_INLINE uint64_t sub_k(uint64_t* x, const uint64_t* y) {
  unsigned char c = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) c = sbb(c, x[i], y[i], x[i]);
  return uint64_t{0} - c;
}

template <int K>
VRT_BMI2_INLINE int cmp_k(const uint64_t* a, const uint64_t* b) {
  for (int i = K - 1; i >= 0; --i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return 0;
}

template <int K>
VRT_BMI2_INLINE bool is_zero_k(const uint64_t* a) {
  uint64_t acc = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) acc |= a[i];
  return acc == 0;
}

template <int K>
VRT_BMI2_INLINE void shl_k(uint64_t* x, uint64_t bits) {
  if (bits >= 64u * K) {
    std::memset(x, 0, 8 * K);
    return;
  }
  const int ws = static_cast<int>(bits >> 6);
  const unsigned bs = static_cast<unsigned>(bits & 63);
  if (bs == 0) {
    for (int i = K - 1; i >= ws; --i) x[i] = x[i - ws];
  } else {
    for (int i = K - 1; i > ws; --i) x[i] = (x[i - ws] << bs) | (x[i - ws - 1] >> (64 - bs));
    x[ws] = x[0] << bs;
  }
  for (int i = 0; i < ws; ++i) x[i] = 0;
}

template <int K>
VRT_BMI2_INLINE void shr_k(uint64_t* x, uint64_t bits) {
  if (bits >= 64u * K) {
    std::memset(x, 0, 8 * K);
    return;
  }
  const int ws = static_cast<int>(bits >> 6);
  const unsigned bs = static_cast<unsigned>(bits & 63);
  if (bs == 0) {
    for (int i = 0; i < K - ws; ++i) x[i] = x[i + ws];
  } else {
    for (int i = 0; i < K - ws - 1; ++i) x[i] = (x[i + ws] >> bs) | (x[i + ws + 1] << (64 - bs));
    x[K - ws - 1] = x[K - 1] >> bs;
  }
  for (int i = K - ws; i < K; ++i) x[i] = 0;
}

// x = (top:x) >> 1; returns the bit shifted out.
template <int K>
VRT_BMI2_INLINE uint64_t shr1_k(uint64_t* x, uint64_t top) {
  const uint64_t out = x[0] & 1;
#pragma GCC unroll 16
  for (int i = 0; i < K - 1; ++i) x[i] = (x[i] >> 1) | (x[i + 1] << 63);
  x[K - 1] = (x[K - 1] >> 1) | ((top & 1) << 63);
  return out;
}

template <int K>
VRT_BMI2_INLINE void sar_k(uint64_t* x, uint64_t bits) {
  const uint64_t fill = uint64_t{0} - (x[K - 1] >> 63);
  if (bits >= 64u * K) {
    for (int i = 0; i < K; ++i) x[i] = fill;
    return;
  }
  shr_k<K>(x, bits);
  // The vacated top bits take the sign.
  const int ws = static_cast<int>(bits >> 6);
  const unsigned bs = static_cast<unsigned>(bits & 63);
  for (int i = K - ws; i < K; ++i) x[i] = fill;
  if (bs != 0) x[K - ws - 1] |= fill << (64 - bs);
}

// r (K+1 words) = a * w: one MULX chain with one carry chain.
template <int K>
VRT_BMI2_INLINE void muls_k(uint64_t* r, const uint64_t* a, uint64_t w) {
  uint64_t hi_prev = 0, hi;
  unsigned char c = 0;
#pragma GCC unroll 16
  for (int j = 0; j < K; ++j) {
    uint64_t lo = mulx(a[j], w, hi);
    c = adc(c, lo, hi_prev, r[j]);
    hi_prev = hi;
  }
  r[K] = hi_prev + c;  // the top word of a product row is at most 2^64 - 2
}

// r (2K words) += a * b, row by row; the carry of each row runs to the top.
template <int K>
VRT_BMI2_INLINE void mul_k(uint64_t* r, const uint64_t* a, const uint64_t* b) {
  for (int i = 0; i < K; ++i) {
    uint64_t row[K + 1];
    muls_k<K>(row, a, b[i]);
    unsigned char c = 0;
#pragma GCC unroll 17
    for (int j = 0; j <= K; ++j) c = adc(c, r[i + j], row[j], r[i + j]);
    for (int k = i + K + 1; k < 2 * K && c != 0; ++k) c = adc(c, r[k], 0, r[k]);
  }
}

// The 256-bit Montgomery product in registers: the accumulator t0..t5 lives
// in r8..r13 and rotates by one register per word of a (the word that the
// reduction clears drops out at the bottom and, being zero, serves as the
// new top). Each row of four products is added in two passes, the even
// words then the odd ones, so that every pass is a single carry chain.
// Temporaries rax, rbx, r14, r15; rbp stays free for frame pointers, and
// n' waits in an XMM register, so the asm needs no stack slot (which a
// sanitizer build may move off the stack, to an address in a register).
#define VRT_MM_ROW_FIRST                 \
  "movq 0(%%rdi), %%rdx\n\t"             \
  "xorl %%r13d, %%r13d\n\t"              \
  "mulxq 0(%%rsi), %%r8, %%r9\n\t"       \
  "mulxq 16(%%rsi), %%r10, %%r11\n\t"    \
  "mulxq 8(%%rsi), %%rax, %%rbx\n\t"     \
  "mulxq 24(%%rsi), %%r14, %%r12\n\t"    \
  "addq %%rax, %%r9\n\t"                 \
  "adcq %%rbx, %%r10\n\t"                \
  "adcq %%r14, %%r11\n\t"                \
  "adcq $0, %%r12\n\t"

#define VRT_MM_ROW(OFF, T0, T1, T2, T3, T4, T5) \
  "movq " OFF "(%%rdi), %%rdx\n\t"              \
  "mulxq 0(%%rsi), %%rax, %%rbx\n\t"            \
  "mulxq 16(%%rsi), %%r14, %%r15\n\t"           \
  "addq %%rax, " T0 "\n\t"                      \
  "adcq %%rbx, " T1 "\n\t"                      \
  "adcq %%r14, " T2 "\n\t"                      \
  "adcq %%r15, " T3 "\n\t"                      \
  "adcq $0, " T4 "\n\t"                         \
  "adcq $0, " T5 "\n\t"                         \
  "mulxq 8(%%rsi), %%rax, %%rbx\n\t"            \
  "mulxq 24(%%rsi), %%r14, %%r15\n\t"           \
  "addq %%rax, " T1 "\n\t"                      \
  "adcq %%rbx, " T2 "\n\t"                      \
  "adcq %%r14, " T3 "\n\t"                      \
  "adcq %%r15, " T4 "\n\t"                      \
  "adcq $0, " T5 "\n\t"

// t += (t0 * n0 mod 2^64) * p; t0 becomes zero.
#define VRT_MM_REDUCE(T0, T1, T2, T3, T4, T5) \
  "movq %[n0], %%rdx\n\t"                     \
  "imulq " T0 ", %%rdx\n\t"                   \
  "mulxq 0(%%rcx), %%rax, %%rbx\n\t"          \
  "mulxq 16(%%rcx), %%r14, %%r15\n\t"         \
  "addq %%rax, " T0 "\n\t"                    \
  "adcq %%rbx, " T1 "\n\t"                    \
  "adcq %%r14, " T2 "\n\t"                    \
  "adcq %%r15, " T3 "\n\t"                    \
  "adcq $0, " T4 "\n\t"                       \
  "adcq $0, " T5 "\n\t"                       \
  "mulxq 8(%%rcx), %%rax, %%rbx\n\t"          \
  "mulxq 24(%%rcx), %%r14, %%r15\n\t"         \
  "addq %%rax, " T1 "\n\t"                    \
  "adcq %%rbx, " T2 "\n\t"                    \
  "adcq %%r14, " T3 "\n\t"                    \
  "adcq %%r15, " T4 "\n\t"                    \
  "adcq $0, " T5 "\n\t"

// r = a*b/R mod p; r may alias a or b (both are read before r is written).
VRT_BMI2_INLINE void mont_mul_4(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p) {
  const uint64_t* ap = a;
  __asm__ volatile(
      VRT_MM_ROW_FIRST
      VRT_MM_REDUCE("%%r8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13")
      VRT_MM_ROW("8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r8")
      VRT_MM_REDUCE("%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r8")
      VRT_MM_ROW("16", "%%r10", "%%r11", "%%r12", "%%r13", "%%r8", "%%r9")
      VRT_MM_REDUCE("%%r10", "%%r11", "%%r12", "%%r13", "%%r8", "%%r9")
      VRT_MM_ROW("24", "%%r11", "%%r12", "%%r13", "%%r8", "%%r9", "%%r10")
      VRT_MM_REDUCE("%%r11", "%%r12", "%%r13", "%%r8", "%%r9", "%%r10")
      // t = (r12, r13, r8, r9) with top word r10 (0 or 1) and t < 2p:
      // subtract p, and keep t where that borrowed through the top word.
      "movq %%r12, %%rax\n\t"
      "movq %%r13, %%rbx\n\t"
      "movq %%r8, %%r14\n\t"
      "movq %%r9, %%r15\n\t"
      "subq 0(%%rcx), %%rax\n\t"
      "sbbq 8(%%rcx), %%rbx\n\t"
      "sbbq 16(%%rcx), %%r14\n\t"
      "sbbq 24(%%rcx), %%r15\n\t"
      "sbbq $0, %%r10\n\t"
      "cmovcq %%r12, %%rax\n\t"
      "cmovcq %%r13, %%rbx\n\t"
      "cmovcq %%r8, %%r14\n\t"
      "cmovcq %%r9, %%r15\n\t"
      "movq %[out], %%rdi\n\t"
      "movq %%rax, 0(%%rdi)\n\t"
      "movq %%rbx, 8(%%rdi)\n\t"
      "movq %%r14, 16(%%rdi)\n\t"
      "movq %%r15, 24(%%rdi)\n\t"
      : "+D"(ap)
      : "S"(b), "c"(p), [n0] "x"(n0), [out] "x"(r)
      : "rax", "rbx", "rdx", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "cc", "memory");
}

#undef VRT_MM_ROW_FIRST
#undef VRT_MM_ROW
#undef VRT_MM_REDUCE

// a = a*b*2^(-64K) mod p for wider numbers, operand scanning with a
// (K+2)-word accumulator and 128-bit partial sums: each row is one fused
// multiply-accumulate pass, which the compiler keeps in registers better
// than separate carry chains. b may alias a (a is written only at the end).
template <int K>
VRT_BMI2_INLINE void mont_mul_fused(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0,
                                    const uint64_t* p) {
  using u128 = unsigned __int128;
  uint64_t t[K + 2] = {};
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) {
    const uint64_t ai = a[i];
    uint64_t c = 0;
#pragma GCC unroll 16
    for (int j = 0; j < K; ++j) {
      u128 s = static_cast<u128>(ai) * b[j] + t[j] + c;
      t[j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    u128 s = static_cast<u128>(t[K]) + c;
    t[K] = static_cast<uint64_t>(s);
    t[K + 1] = static_cast<uint64_t>(s >> 64);
    const uint64_t m = t[0] * n0;
    s = static_cast<u128>(m) * p[0] + t[0];
    c = static_cast<uint64_t>(s >> 64);
#pragma GCC unroll 16
    for (int j = 1; j < K; ++j) {
      s = static_cast<u128>(m) * p[j] + t[j] + c;
      t[j - 1] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    s = static_cast<u128>(t[K]) + c;
    t[K - 1] = static_cast<uint64_t>(s);
    t[K] = t[K + 1] + static_cast<uint64_t>(s >> 64);
  }
  uint64_t d[K];
  unsigned char br = 0;
#pragma GCC unroll 16
  for (int j = 0; j < K; ++j) br = sbb(br, t[j], p[j], d[j]);
  const uint64_t keep = uint64_t{0} - static_cast<uint64_t>(br & (t[K] == 0));
#pragma GCC unroll 16
  for (int j = 0; j < K; ++j) r[j] = (t[j] & keep) | (d[j] & ~keep);
}

// 128-by-64-bit division; the caller guarantees hi < d.
VRT_BMI2_INLINE uint64_t div128(uint64_t hi, uint64_t lo, uint64_t d, uint64_t& rem) {
  uint64_t q, r;
  __asm__("divq %4" : "=a"(q), "=d"(r) : "a"(lo), "d"(hi), "rm"(d) : "cc");
  rem = r;
  return q;
}

// Knuth's long division (Algorithm D) with 64-bit digits: x = x / d, rem =
// x mod d. A zero divisor leaves quotient 0 and rem untouched.
template <int K>
VRT_BMI2_INLINE void div_k(uint64_t* x, const uint64_t* d, uint64_t* rem) {
  int n = K;
  while (n > 0 && d[n - 1] == 0) --n;
  if (n == 0) {
    std::memset(x, 0, 8 * K);
    return;
  }
  int m = K;
  while (m > 0 && x[m - 1] == 0) --m;
  if (m < n) {
    std::memcpy(rem, x, 8 * K);
    std::memset(x, 0, 8 * K);
    return;
  }
  uint64_t q[K] = {};
  if (n == 1) {
    uint64_t r = 0;
    for (int j = m - 1; j >= 0; --j) q[j] = div128(r, x[j], d[0], r);
    std::memset(rem, 0, 8 * K);
    rem[0] = r;
    std::memcpy(x, q, 8 * K);
    return;
  }
  // Normalise: the divisor's top word gets its top bit set; the dividend
  // gains a word.
  // The leading-zero count comes from BSR rather than LZCNT: the switch that
  // selects these routines tests BMI2 alone.
  const unsigned s = static_cast<unsigned>(__builtin_clzll(d[n - 1]));
  uint64_t vn[K], un[K + 1];
  for (int i = n - 1; i > 0; --i) vn[i] = s ? (d[i] << s) | (d[i - 1] >> (64 - s)) : d[i];
  vn[0] = d[0] << s;
  un[m] = s ? x[m - 1] >> (64 - s) : 0;
  for (int i = m - 1; i > 0; --i) un[i] = s ? (x[i] << s) | (x[i - 1] >> (64 - s)) : x[i];
  un[0] = x[0] << s;

  const uint64_t v1 = vn[n - 1], v2 = vn[n - 2];
  for (int j = m - n; j >= 0; --j) {
    // Estimate the digit from the top two words, then correct it against
    // the top three so that it is at most one too large.
    uint64_t qhat, rhat;
    bool rhat_fits = true;
    if (un[j + n] >= v1) {
      qhat = ~uint64_t{0};
      // rhat = un[j+n]*2^64 + un[j+n-1] - qhat*v1 = un[j+n-1] + v1 here.
      unsigned char c = adc(0, un[j + n - 1], v1, rhat);
      rhat_fits = c == 0;
    } else {
      qhat = div128(un[j + n], un[j + n - 1], v1, rhat);
    }
    while (rhat_fits) {
      uint64_t phi;
      uint64_t plo = mulx(qhat, v2, phi);
      if (phi < rhat || (phi == rhat && plo <= un[j + n - 2])) break;
      --qhat;
      unsigned char c = adc(0, rhat, v1, rhat);
      rhat_fits = c == 0;
    }
    // Subtract qhat * v from the window un[j .. j+n].
    uint64_t hi_prev = 0, hi;
    unsigned char cm = 0, br = 0;
    for (int i = 0; i < n; ++i) {
      uint64_t lo = mulx(qhat, vn[i], hi);
      uint64_t pw;
      cm = adc(cm, lo, hi_prev, pw);
      hi_prev = hi;
      br = sbb(br, un[j + i], pw, un[j + i]);
    }
    br = sbb(br, un[j + n], hi_prev + cm, un[j + n]);
    if (br) {
      // One too large: add v back.
      --qhat;
      unsigned char c = 0;
      for (int i = 0; i < n; ++i) c = adc(c, un[j + i], vn[i], un[j + i]);
      un[j + n] += c;
    }
    q[j] = qhat;
  }
  // Unnormalise the remainder.
  std::memset(rem, 0, 8 * K);
  for (int i = 0; i < n - 1; ++i) rem[i] = s ? (un[i] >> s) | (un[i + 1] << (64 - s)) : un[i];
  rem[n - 1] = s ? un[n - 1] >> s : un[n - 1];
  std::memcpy(x, q, 8 * K);
}

// c = c/2 mod w (w odd).
template <int K>
VRT_BMI2_INLINE void halve_mod_k(uint64_t* c, const uint64_t* w) {
  uint64_t top = 0;
  if (c[0] & 1) top = add_k<K>(c, w) & 1;
  shr1_k<K>(c, top);
}

// c = c * 2^-t mod w for odd w, 1 <= t <= 63, c < w: the result of t
// halvings in one go. k = -c * w^-1 mod 2^t makes c + k*w divisible by 2^t;
// (c + k*w) / 2^t < 2w, so one subtraction brings it into [0, w), where the
// value is unique: the same number the single halvings reach.
template <int K>
VRT_BMI2_INLINE void halve_mod_bits_k(uint64_t* c, const uint64_t* w, uint64_t winv, unsigned t) {
  const uint64_t k = (uint64_t{0} - c[0] * winv) & ((uint64_t{1} << t) - 1);
  uint64_t s[K + 1];
  muls_k<K>(s, w, k);
  unsigned char cy = 0;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) cy = adc(cy, s[i], c[i], s[i]);
  s[K] += cy;
#pragma GCC unroll 16
  for (int i = 0; i < K; ++i) c[i] = (s[i] >> t) | (s[i + 1] << (64 - t));
  if ((s[K] >> t) != 0 || cmp_k<K>(c, w) >= 0) sub_k<K>(c, w);
}

// The binary extended Euclidean loop (see Int::inverse): u = 0 stops; an
// even v is halved together with cv, else an even u with cu; else the larger
// of two odd numbers loses the smaller, and its coefficient the other's.
// A run of halvings of the same number is done at once (up to 63 bits),
// which ends in the same state as the single steps.
template <int K>
VRT_BMI2_INLINE void inv_k(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w) {
  if (is_zero_k<K>(v)) return;
  // w^-1 mod 2^64 by Newton's iteration (w is odd): 5, 10, 20, 40, 80 bits.
  uint64_t winv = (3 * w[0]) ^ 2;
  for (int i = 0; i < 4; ++i) winv *= 2 - w[0] * winv;
  const bool odd_w = (w[0] & 1) != 0;
  for (;;) {
    if (is_zero_k<K>(u)) break;
    if (!(v[0] & 1)) {
      unsigned t = v[0] != 0 ? static_cast<unsigned>(__builtin_ctzll(v[0])) : 63;
      if (t > 63) t = 63;
      if (!odd_w) t = 1;
      shr_k<K>(v, t);
      if (t == 1)
        halve_mod_k<K>(cv, w);
      else
        halve_mod_bits_k<K>(cv, w, winv, t);
    } else if (!(u[0] & 1)) {
      unsigned t = u[0] != 0 ? static_cast<unsigned>(__builtin_ctzll(u[0])) : 63;
      if (t > 63) t = 63;
      if (!odd_w) t = 1;
      shr_k<K>(u, t);
      if (t == 1)
        halve_mod_k<K>(cu, w);
      else
        halve_mod_bits_k<K>(cu, w, winv, t);
    } else if (cmp_k<K>(v, u) > 0) {
      sub_k<K>(v, u);
      if (sub_k<K>(cv, cu)) add_k<K>(cv, w);
    } else {
      sub_k<K>(u, v);
      if (sub_k<K>(cu, cv)) add_k<K>(cu, w);
    }
  }
}

}  // namespace

extern "C" {

VRT_API VRT_BMI2 uint64_t add_256(uint64_t* x, const uint64_t* y) { return add_k<4>(x, y); }
VRT_API VRT_BMI2 uint64_t add_512(uint64_t* x, const uint64_t* y) { return add_k<8>(x, y); }
VRT_API VRT_BMI2 uint64_t add_1024(uint64_t* x, const uint64_t* y) { return add_k<16>(x, y); }
VRT_API VRT_BMI2 uint64_t sub_256(uint64_t* x, const uint64_t* y) { return sub_k<4>(x, y); }
VRT_API VRT_BMI2 uint64_t sub_512(uint64_t* x, const uint64_t* y) { return sub_k<8>(x, y); }
VRT_API VRT_BMI2 uint64_t sub_1024(uint64_t* x, const uint64_t* y) { return sub_k<16>(x, y); }

VRT_API VRT_BMI2 void shl_256(uint64_t* x, uint64_t bits) { shl_k<4>(x, bits); }
VRT_API VRT_BMI2 void shl_512(uint64_t* x, uint64_t bits) { shl_k<8>(x, bits); }
VRT_API VRT_BMI2 void shl_1024(uint64_t* x, uint64_t bits) { shl_k<16>(x, bits); }
VRT_API VRT_BMI2 void shr_256(uint64_t* x, uint64_t bits) { shr_k<4>(x, bits); }
VRT_API VRT_BMI2 void shr_512(uint64_t* x, uint64_t bits) { shr_k<8>(x, bits); }
VRT_API VRT_BMI2 void shr_1024(uint64_t* x, uint64_t bits) { shr_k<16>(x, bits); }
VRT_API VRT_BMI2 void sar_256(uint64_t* x, uint64_t bits) { sar_k<4>(x, bits); }
VRT_API VRT_BMI2 void sar_512(uint64_t* x, uint64_t bits) { sar_k<8>(x, bits); }
VRT_API VRT_BMI2 void sar_1024(uint64_t* x, uint64_t bits) { sar_k<16>(x, bits); }
VRT_API VRT_BMI2 uint64_t shr_256_1(uint64_t* x, uint64_t top) { return shr1_k<4>(x, top); }
VRT_API VRT_BMI2 uint64_t shr_512_1(uint64_t* x, uint64_t top) { return shr1_k<8>(x, top); }
VRT_API VRT_BMI2 uint64_t shr_1024_1(uint64_t* x, uint64_t top) { return shr1_k<16>(x, top); }

VRT_API VRT_BMI2 void mul_256(uint64_t* r, const uint64_t* a, const uint64_t* b) { mul_k<4>(r, a, b); }
VRT_API VRT_BMI2 void mul_512(uint64_t* r, const uint64_t* a, const uint64_t* b) { mul_k<8>(r, a, b); }
VRT_API VRT_BMI2 void mul_1024(uint64_t* r, const uint64_t* a, const uint64_t* b) { mul_k<16>(r, a, b); }

VRT_API VRT_BMI2 void sqr_256(uint64_t* r, const uint64_t* a) {
  std::memset(r, 0, 64);
  mul_k<4>(r, a, a);
}
VRT_API VRT_BMI2 void sqr_512(uint64_t* r, const uint64_t* a) {
  std::memset(r, 0, 128);
  mul_k<8>(r, a, a);
}
VRT_API VRT_BMI2 void sqr_1024(uint64_t* r, const uint64_t* a) {
  std::memset(r, 0, 256);
  mul_k<16>(r, a, a);
}

VRT_API VRT_BMI2 void muls_256(uint64_t* r, const uint64_t* a, uint64_t w) { muls_k<4>(r, a, w); }
VRT_API VRT_BMI2 void muls_512(uint64_t* r, const uint64_t* a, uint64_t w) { muls_k<8>(r, a, w); }
VRT_API VRT_BMI2 void muls_1024(uint64_t* r, const uint64_t* a, uint64_t w) { muls_k<16>(r, a, w); }

VRT_API VRT_BMI2 void div_256(uint64_t* x, const uint64_t* d, uint64_t* rem) { div_k<4>(x, d, rem); }
VRT_API VRT_BMI2 void div_512(uint64_t* x, const uint64_t* d, uint64_t* rem) { div_k<8>(x, d, rem); }
VRT_API VRT_BMI2 void div_1024(uint64_t* x, const uint64_t* d, uint64_t* rem) { div_k<16>(x, d, rem); }

VRT_API VRT_BMI2 void inv_256(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w) {
  inv_k<4>(u, v, cv, cu, w);
}
VRT_API VRT_BMI2 void inv_512(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w) {
  inv_k<8>(u, v, cv, cu, w);
}
VRT_API VRT_BMI2 void inv_1024(uint64_t* u, uint64_t* v, uint64_t* cv, uint64_t* cu, const uint64_t* w) {
  inv_k<16>(u, v, cv, cu, w);
}

VRT_API VRT_BMI2 void mont_mul_256(uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p) {
  mont_mul_4(a, a, b, n0, p);
}
VRT_API VRT_BMI2 void mont_mul_512(uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p) {
  mont_mul_fused<8>(a, a, b, n0, p);
}

}  // extern "C"

namespace vrt::math {
VRT_BMI2 void mont_mul_256_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p) {
  mont_mul_4(r, a, b, n0, p);
}
VRT_BMI2 void mont_mul_512_to(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t n0, const uint64_t* p) {
  mont_mul_fused<8>(r, a, b, n0, p);
}
}  // namespace vrt::math
