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
#define VRT_ADX __attribute__((target("bmi2,adx")))
#define VRT_ADX_INLINE __attribute__((target("bmi2,adx"), always_inline)) inline

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

// ---- 256 bits in registers ----
//
// The product a*b, or the square, lands in t0..t7 = r8..r15 (rdx holds the
// multiplier word, rax and rbx each product's halves, which MULX writes
// without touching the flags, so every row adds in one chain per pass).
// The reduction then runs in place: t0..t3 become m0..m3 one by one, each
// digit from the word before by one MULX with c^-1 and one with c, their
// borrows kept in CF (MOV and MULX leave it). c waits in rdi, c^-1 and r in
// XMM registers; rbp stays free for frame pointers.

// t = a*b, a at rsi, b at rcx.
#define VRT_SP_MUL4                                                                       \
  "movq 0(%%rsi), %%rdx\n\t"                                                              \
  "mulxq 0(%%rcx), %%r8, %%r9\n\t"                                                        \
  "mulxq 16(%%rcx), %%r10, %%r11\n\t"                                                     \
  "mulxq 8(%%rcx), %%rax, %%rbx\n\t"                                                      \
  "addq %%rax, %%r9\n\t"                                                                  \
  "adcq %%rbx, %%r10\n\t"                                                                 \
  "mulxq 24(%%rcx), %%rax, %%r12\n\t"                                                     \
  "adcq %%rax, %%r11\n\t"                                                                 \
  "adcq $0, %%r12\n\t" VRT_SP_ROW4("8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r13d") \
      VRT_SP_ROW4("16", "%%r10", "%%r11", "%%r12", "%%r13", "%%r14", "%%r14d")            \
          VRT_SP_ROW4("24", "%%r11", "%%r12", "%%r13", "%%r14", "%%r15", "%%r15d")

// t(i..i+4) += a[i] * b: the even words of b, then the odd ones; the sum
// fits i + 5 words, so the last carry is zero.
#define VRT_SP_ROW4(OFF, T0, T1, T2, T3, T4, T4D) \
  "movq " OFF "(%%rsi), %%rdx\n\t"                \
  "xorl " T4D ", " T4D "\n\t"                     \
  "mulxq 0(%%rcx), %%rax, %%rbx\n\t"              \
  "addq %%rax, " T0 "\n\t"                        \
  "adcq %%rbx, " T1 "\n\t"                        \
  "mulxq 16(%%rcx), %%rax, %%rbx\n\t"             \
  "adcq %%rax, " T2 "\n\t"                        \
  "adcq %%rbx, " T3 "\n\t"                        \
  "adcq $0, " T4 "\n\t"                           \
  "mulxq 8(%%rcx), %%rax, %%rbx\n\t"              \
  "addq %%rax, " T1 "\n\t"                        \
  "adcq %%rbx, " T2 "\n\t"                        \
  "mulxq 24(%%rcx), %%rax, %%rbx\n\t"             \
  "adcq %%rax, " T3 "\n\t"                        \
  "adcq %%rbx, " T4 "\n\t"

// t = a^2, a at rsi: the six cross products, doubled, then the squares.
#define VRT_SP_SQR4                   \
  "xorl %%r8d, %%r8d\n\t"             \
  "movq 0(%%rsi), %%rdx\n\t"          \
  "mulxq 8(%%rsi), %%r9, %%r10\n\t"   \
  "mulxq 16(%%rsi), %%rax, %%r11\n\t" \
  "addq %%rax, %%r10\n\t"             \
  "mulxq 24(%%rsi), %%rax, %%r12\n\t" \
  "adcq %%rax, %%r11\n\t"             \
  "adcq $0, %%r12\n\t"                \
  "movq 8(%%rsi), %%rdx\n\t"          \
  "xorl %%r13d, %%r13d\n\t"           \
  "mulxq 16(%%rsi), %%rax, %%rbx\n\t" \
  "addq %%rax, %%r11\n\t"             \
  "adcq %%rbx, %%r12\n\t"             \
  "adcq $0, %%r13\n\t"                \
  "mulxq 24(%%rsi), %%rax, %%rbx\n\t" \
  "addq %%rax, %%r12\n\t"             \
  "adcq %%rbx, %%r13\n\t"             \
  "movq 16(%%rsi), %%rdx\n\t"         \
  "mulxq 24(%%rsi), %%rax, %%r14\n\t" \
  "addq %%rax, %%r13\n\t"             \
  "adcq $0, %%r14\n\t"                \
  "xorl %%r15d, %%r15d\n\t"           \
  "addq %%r9, %%r9\n\t"               \
  "adcq %%r10, %%r10\n\t"             \
  "adcq %%r11, %%r11\n\t"             \
  "adcq %%r12, %%r12\n\t"             \
  "adcq %%r13, %%r13\n\t"             \
  "adcq %%r14, %%r14\n\t"             \
  "adcq %%r15, %%r15\n\t"             \
  "movq 0(%%rsi), %%rdx\n\t"          \
  "mulxq %%rdx, %%r8, %%rax\n\t"      \
  "addq %%rax, %%r9\n\t"              \
  "movq 8(%%rsi), %%rdx\n\t"          \
  "mulxq %%rdx, %%rax, %%rbx\n\t"     \
  "adcq %%rax, %%r10\n\t"             \
  "adcq %%rbx, %%r11\n\t"             \
  "movq 16(%%rsi), %%rdx\n\t"         \
  "mulxq %%rdx, %%rax, %%rbx\n\t"     \
  "adcq %%rax, %%r12\n\t"             \
  "adcq %%rbx, %%r13\n\t"             \
  "movq 24(%%rsi), %%rdx\n\t"         \
  "mulxq %%rdx, %%rax, %%rbx\n\t"     \
  "adcq %%rax, %%r14\n\t"             \
  "adcq %%rbx, %%r15\n\t"

// m = x * c^-1 into the register X (which held x), rax = hi(m * c).
#define VRT_SP_DIGIT(X)              \
  "movq " X ", %%rdx\n\t"            \
  "mulxq %%rsi, " X ", %%rcx\n\t"    \
  "movq " X ", %%rdx\n\t"            \
  "mulxq %%rdi, %%rcx, %%rax\n\t"

// One 128-bit digit of p = 2^256 - c: X = (XL, XH) becomes
// M = X * c^-1 mod 2^128 in place (c^-1 low word in rsi, high in %[cih]),
// rax = floor(M * c / 2^128). Three independent products give M, two more
// M * c, so the digit costs about one multiplication latency less than two
// 64-bit digits. LO and T are scratch.
#define VRT_SP_DIGIT128(XL, XH, LO, T)  \
  "movq %[cih], %%rcx\n\t"              \
  "imulq " XL ", %%rcx\n\t"             \
  "movq " XH ", " T "\n\t"              \
  "imulq %%rsi, " T "\n\t"              \
  "addq " T ", %%rcx\n\t"               \
  "movq " XL ", %%rdx\n\t"              \
  "mulxq %%rsi, " XL ", %%rax\n\t"      \
  "addq %%rcx, %%rax\n\t"               \
  "movq %%rax, " XH "\n\t"              \
  "movq " XL ", %%rdx\n\t"              \
  "mulxq %%rdi, %%rax, %%rcx\n\t"       \
  "movq " XH ", %%rdx\n\t"              \
  "mulxq %%rdi, " LO ", %%rax\n\t"      \
  "addq " LO ", %%rcx\n\t"              \
  "adcq $0, %%rax\n\t"

// p = 2^256 - c: r = T_hi + M - k, less p where that does not go negative.
// The first digit's h comes off t2, t3 with its borrow kept in rbx as 0 or
// -1; k = h of the second digit plus that borrow.
#define VRT_SP_REDC_MINUS4                                       \
  "movq %[cinv], %%rsi\n\t"                                      \
  VRT_SP_DIGIT128("%%r8", "%%r9", "%%rbx", "%%rbx")              \
  "subq %%rax, %%r10\n\t"                                        \
  "sbbq $0, %%r11\n\t"                                           \
  "sbbq %%rbx, %%rbx\n\t"                                        \
  VRT_SP_DIGIT128("%%r10", "%%r11", "%%rsi", "%%rdx")            \
  "subq %%rbx, %%rax\n\t" /* k */                                \
  "xorl %%ebx, %%ebx\n\t"                                        \
  "addq %%r8, %%r12\n\t"                                         \
  "adcq %%r9, %%r13\n\t"                                         \
  "adcq %%r10, %%r14\n\t"                                        \
  "adcq %%r11, %%r15\n\t"                                        \
  "adcq $0, %%rbx\n\t"                                           \
  "subq %%rax, %%r12\n\t"                                        \
  "sbbq $0, %%r13\n\t"                                           \
  "sbbq $0, %%r14\n\t"                                           \
  "sbbq $0, %%r15\n\t"                                           \
  "sbbq $0, %%rbx\n\t"                                           \
  "movq %%r12, %%r8\n\t"                                         \
  "movq %%r13, %%r9\n\t"                                         \
  "movq %%r14, %%r10\n\t"                                        \
  "movq %%r15, %%r11\n\t"                                        \
  "addq %%rdi, %%r8\n\t"                                         \
  "adcq $0, %%r9\n\t"                                            \
  "adcq $0, %%r10\n\t"                                           \
  "adcq $0, %%r11\n\t"                                           \
  "adcq $0, %%rbx\n\t" /* nonzero: v + c reached 2^256, v >= p */ \
  "cmovnzq %%r8, %%r12\n\t"                                      \
  "cmovnzq %%r9, %%r13\n\t"                                      \
  "cmovnzq %%r10, %%r14\n\t"                                     \
  "cmovnzq %%r11, %%r15\n\t"

// p = 2^255 + c: the low bit of m0 at bit 255 first (its borrow kept in
// rbx as 0 or -1), then the chain; r = T_hi - k - (M >> 1), plus p where
// that went negative.
#define VRT_SP_REDC_PLUS4                                        \
  "movq %[cinv], %%rsi\n\t"                                      \
  "movl $63, %%ebx\n\t"                                          \
  VRT_SP_DIGIT("%%r8")                                           \
  "shlxq %%rbx, %%r8, %%rcx\n\t"                                 \
  "subq %%rcx, %%r11\n\t"                                        \
  "sbbq %%rbx, %%rbx\n\t"                                        \
  "subq %%rax, %%r9\n\t"                                         \
  VRT_SP_DIGIT("%%r9")                                           \
  "sbbq %%rax, %%r10\n\t"                                        \
  VRT_SP_DIGIT("%%r10")                                          \
  "sbbq %%rax, %%r11\n\t"                                        \
  VRT_SP_DIGIT("%%r11")                                          \
  "adcq $0, %%rax\n\t"                                           \
  "subq %%rbx, %%rax\n\t" /* k */                                \
  "shrdq $1, %%r9, %%r8\n\t"                                     \
  "shrdq $1, %%r10, %%r9\n\t"                                    \
  "shrdq $1, %%r11, %%r10\n\t"                                   \
  "shrq $1, %%r11\n\t"                                           \
  "subq %%r8, %%r12\n\t"                                         \
  "sbbq %%r9, %%r13\n\t"                                         \
  "sbbq %%r10, %%r14\n\t"                                        \
  "sbbq %%r11, %%r15\n\t"                                        \
  "sbbq %%rbx, %%rbx\n\t"                                        \
  "subq %%rax, %%r12\n\t"                                        \
  "sbbq $0, %%r13\n\t"                                           \
  "sbbq $0, %%r14\n\t"                                           \
  "sbbq $0, %%r15\n\t"                                           \
  "sbbq $0, %%rbx\n\t" /* all ones where negative */             \
  "andq %%rbx, %%rdi\n\t"                                        \
  "shlq $63, %%rbx\n\t"                                          \
  "addq %%rdi, %%r12\n\t"                                        \
  "adcq $0, %%r13\n\t"                                           \
  "adcq $0, %%r14\n\t"                                           \
  "adcq %%rbx, %%r15\n\t"

#define VRT_SP_STORE4             \
  "movq %[out], %%rdx\n\t"        \
  "movq %%r12, 0(%%rdx)\n\t"      \
  "movq %%r13, 8(%%rdx)\n\t"      \
  "movq %%r14, 16(%%rdx)\n\t"     \
  "movq %%r15, 24(%%rdx)\n\t"

#define VRT_SP_ASM4(BODY)                                                                     \
  __asm__ volatile(BODY VRT_SP_STORE4                                                         \
                   : "+S"(ap), "+c"(bp), "+D"(c)                                              \
                   : [cinv] "x"(cinv), [cih] "x"(cinv_hi), [out] "x"(r)                       \
                   : "rax", "rbx", "rdx", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", \
                     "cc", "memory")

VRT_BMI2_INLINE void mont_mul4_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv,
                                     uint64_t cinv_hi) {
  const uint64_t *ap = a, *bp = b;
  VRT_SP_ASM4(VRT_SP_MUL4 VRT_SP_REDC_MINUS4);
}
VRT_BMI2_INLINE void mont_mul4_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  const uint64_t *ap = a, *bp = b, cinv_hi = 0;
  VRT_SP_ASM4(VRT_SP_MUL4 VRT_SP_REDC_PLUS4);
}
VRT_BMI2_INLINE void mont_sqr4_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv, uint64_t cinv_hi) {
  const uint64_t *ap = a, *bp = a;
  VRT_SP_ASM4(VRT_SP_SQR4 VRT_SP_REDC_MINUS4);
}
VRT_BMI2_INLINE void mont_sqr4_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  const uint64_t *ap = a, *bp = a, cinv_hi = 0;
  VRT_SP_ASM4(VRT_SP_SQR4 VRT_SP_REDC_PLUS4);
}

// ---- 512 bits, p = 2^512 - c, with ADX ----
//
// The product runs in rows of eight MULX on the two carry chains of
// ADCX/ADOX, its accumulator t(i..i+8) in nine registers (r8..r15, rdi)
// whose names rotate by one per row; each finished low word t_i goes to
// xmm_i. The reduction takes them back two at a time as 128-bit digits
// (four links in the chain, not eight), parks the digits of M where they
// were, adds M into the high half, takes k off, and one masked subtraction
// of c, in place, leaves the result.

// t(j) += lo(rdx * a[j]) on CF, t(j+1) += hi on OF.
#define VRT_SX_STEP(OFF, TJ, TJ1)            \
  "mulxq " OFF "(%%rsi), %%rax, %%rbx\n\t" \
  "adcxq %%rax, " TJ "\n\t"                \
  "adoxq %%rbx, " TJ1 "\n\t"

// Row i: t_(i-1) (in the register that becomes t_(i+8)) moves out, then
// t(i..i+8) += a * b[i]; the sum fits i + 9 words, so neither chain carries
// out of t_(i+8).
#define VRT_SX_ROW(BOFF, XPREV, T0, T1, T2, T3, T4, T5, T6, T7, T8, T8D) \
  "movq " T8 ", " XPREV "\n\t"                                           \
  "movq " BOFF "(%%rcx), %%rdx\n\t"                                      \
  "xorl " T8D ", " T8D "\n\t"                                            \
  VRT_SX_STEP("0", T0, T1)                                               \
  VRT_SX_STEP("8", T1, T2)                                               \
  VRT_SX_STEP("16", T2, T3)                                              \
  VRT_SX_STEP("24", T3, T4)                                              \
  VRT_SX_STEP("32", T4, T5)                                              \
  VRT_SX_STEP("40", T5, T6)                                              \
  VRT_SX_STEP("48", T6, T7)                                              \
  VRT_SX_STEP("56", T7, T8)                                              \
  "movl $0, %%eax\n\t"                                                   \
  "adcxq %%rax, " T8 "\n\t"

// One 128-bit digit (rbx, r13) = X: M = X * c^-1 mod 2^128 goes to XLO,
// XHI; rax = floor(M * c / 2^128). c^-1 low word in rsi, high in %[cih],
// c in r15; rcx and rdx scratch.
#define VRT_SX_DIGIT128(XLO, XHI)     \
  "movq %[cih], %%rcx\n\t"            \
  "imulq %%rbx, %%rcx\n\t"            \
  "imulq %%rsi, %%r13\n\t"            \
  "addq %%r13, %%rcx\n\t"             \
  "movq %%rbx, %%rdx\n\t"             \
  "mulxq %%rsi, %%rbx, %%rax\n\t"     \
  "addq %%rcx, %%rax\n\t"             \
  "movq %%rbx, " XLO "\n\t"           \
  "movq %%rax, " XHI "\n\t"           \
  "movq %%rbx, %%rdx\n\t"             \
  "mulxq %%r15, %%r13, %%rcx\n\t"     \
  "movq %%rax, %%rdx\n\t"             \
  "mulxq %%r15, %%r13, %%rax\n\t"     \
  "addq %%r13, %%rcx\n\t"             \
  "adcq $0, %%rax\n\t"

// The next two words of T_lo, less h (and, after ADD_BORROW, the borrow
// the digit before left in xmm10 as 0 or -1), into rbx, r13; the new borrow
// to xmm10.
#define VRT_SX_NEXT(XLO, XHI, ADD_BORROW) \
  ADD_BORROW                              \
  "movq " XLO ", %%rbx\n\t"               \
  "movq " XHI ", %%r13\n\t"               \
  "subq %%rax, %%rbx\n\t"                 \
  "sbbq $0, %%r13\n\t"                    \
  "sbbq %%rdx, %%rdx\n\t"                 \
  "movq %%rdx, %%xmm10\n\t"

VRT_ADX_INLINE void mont_mul8_minus_adx(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c,
                                        uint64_t cinv, uint64_t cinv_hi) {
  const uint64_t *ap = a, *bp = b;
  __asm__ volatile(
      // Row 0: t(0..8) = a * b[0].
      "movq 0(%%rcx), %%rdx\n\t"
      "xorl %%eax, %%eax\n\t"
      "mulxq 0(%%rsi), %%r8, %%r9\n\t"
      "mulxq 8(%%rsi), %%rax, %%r10\n\t"
      "adcxq %%rax, %%r9\n\t"
      "mulxq 16(%%rsi), %%rax, %%r11\n\t"
      "adcxq %%rax, %%r10\n\t"
      "mulxq 24(%%rsi), %%rax, %%r12\n\t"
      "adcxq %%rax, %%r11\n\t"
      "mulxq 32(%%rsi), %%rax, %%r13\n\t"
      "adcxq %%rax, %%r12\n\t"
      "mulxq 40(%%rsi), %%rax, %%r14\n\t"
      "adcxq %%rax, %%r13\n\t"
      "mulxq 48(%%rsi), %%rax, %%r15\n\t"
      "adcxq %%rax, %%r14\n\t"
      "mulxq 56(%%rsi), %%rax, %%rdi\n\t"
      "adcxq %%rax, %%r15\n\t"
      "movl $0, %%eax\n\t"
      "adcxq %%rax, %%rdi\n\t"
      VRT_SX_ROW("8", "%%xmm0", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r8d")
      VRT_SX_ROW("16", "%%xmm1", "%%r10", "%%r11", "%%r12", "%%r13", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r9d")
      VRT_SX_ROW("24", "%%xmm2", "%%r11", "%%r12", "%%r13", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r10", "%%r10d")
      VRT_SX_ROW("32", "%%xmm3", "%%r12", "%%r13", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r10", "%%r11", "%%r11d")
      VRT_SX_ROW("40", "%%xmm4", "%%r13", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r12d")
      VRT_SX_ROW("48", "%%xmm5", "%%r14", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r13d")
      VRT_SX_ROW("56", "%%xmm6", "%%r15", "%%rdi", "%%r8", "%%r9", "%%r10", "%%r11", "%%r12", "%%r13", "%%r14", "%%r14d")
      "movq %%r15, %%xmm7\n\t"
      // T_hi = t8..t15 in rdi, r8..r14; t14 and t15 wait in XMM while the
      // digits need their registers.
      "movq %%r13, %%xmm8\n\t"
      "movq %%r14, %%xmm9\n\t"
      "movq %[cinv], %%rsi\n\t"
      "movq %[c], %%r15\n\t"
      "movq %%xmm0, %%rbx\n\t"
      "movq %%xmm1, %%r13\n\t"
      VRT_SX_DIGIT128("%%xmm0", "%%xmm1")
      VRT_SX_NEXT("%%xmm2", "%%xmm3", "")
      VRT_SX_DIGIT128("%%xmm2", "%%xmm3")
      VRT_SX_NEXT("%%xmm4", "%%xmm5", "movq %%xmm10, %%rdx\n\tsubq %%rdx, %%rax\n\t")
      VRT_SX_DIGIT128("%%xmm4", "%%xmm5")
      VRT_SX_NEXT("%%xmm6", "%%xmm7", "movq %%xmm10, %%rdx\n\tsubq %%rdx, %%rax\n\t")
      VRT_SX_DIGIT128("%%xmm6", "%%xmm7")
      "movq %%xmm10, %%rdx\n\t"
      "subq %%rdx, %%rax\n\t"  // k
      "movq %%xmm8, %%r13\n\t"
      "movq %%xmm9, %%r14\n\t"
      // T_hi + M, its top word in rcx.
      "xorl %%ecx, %%ecx\n\t"
      "movq %%xmm0, %%rbx\n\t"
      "addq %%rbx, %%rdi\n\t"
      "movq %%xmm1, %%rbx\n\t"
      "adcq %%rbx, %%r8\n\t"
      "movq %%xmm2, %%rbx\n\t"
      "adcq %%rbx, %%r9\n\t"
      "movq %%xmm3, %%rbx\n\t"
      "adcq %%rbx, %%r10\n\t"
      "movq %%xmm4, %%rbx\n\t"
      "adcq %%rbx, %%r11\n\t"
      "movq %%xmm5, %%rbx\n\t"
      "adcq %%rbx, %%r12\n\t"
      "movq %%xmm6, %%rbx\n\t"
      "adcq %%rbx, %%r13\n\t"
      "movq %%xmm7, %%rbx\n\t"
      "adcq %%rbx, %%r14\n\t"
      "adcq $0, %%rcx\n\t"
      "subq %%rax, %%rdi\n\t"
      "sbbq $0, %%r8\n\t"
      "sbbq $0, %%r9\n\t"
      "sbbq $0, %%r10\n\t"
      "sbbq $0, %%r11\n\t"
      "sbbq $0, %%r12\n\t"
      "sbbq $0, %%r13\n\t"
      "sbbq $0, %%r14\n\t"
      "sbbq $0, %%rcx\n\t"
      // v < 2p; u = v + c reaches 2^512 exactly when v >= p, and is then
      // v - p modulo 2^512; else c comes off again.
      "addq %%r15, %%rdi\n\t"
      "adcq $0, %%r8\n\t"
      "adcq $0, %%r9\n\t"
      "adcq $0, %%r10\n\t"
      "adcq $0, %%r11\n\t"
      "adcq $0, %%r12\n\t"
      "adcq $0, %%r13\n\t"
      "adcq $0, %%r14\n\t"
      "adcq $0, %%rcx\n\t"
      "decq %%rcx\n\t"
      "andq %%rcx, %%r15\n\t"
      "subq %%r15, %%rdi\n\t"
      "sbbq $0, %%r8\n\t"
      "sbbq $0, %%r9\n\t"
      "sbbq $0, %%r10\n\t"
      "sbbq $0, %%r11\n\t"
      "sbbq $0, %%r12\n\t"
      "sbbq $0, %%r13\n\t"
      "sbbq $0, %%r14\n\t"
      "movq %[out], %%rax\n\t"
      "movq %%rdi, 0(%%rax)\n\t"
      "movq %%r8, 8(%%rax)\n\t"
      "movq %%r9, 16(%%rax)\n\t"
      "movq %%r10, 24(%%rax)\n\t"
      "movq %%r11, 32(%%rax)\n\t"
      "movq %%r12, 40(%%rax)\n\t"
      "movq %%r13, 48(%%rax)\n\t"
      "movq %%r14, 56(%%rax)\n\t"
      : "+S"(ap), "+c"(bp)
      : [c] "x"(c), [cinv] "x"(cinv), [cih] "x"(cinv_hi), [out] "x"(r)
      : "rax", "rbx", "rdx", "rdi", "r8", "r9", "r10", "r11", "r12", "r13", "r14", "r15", "xmm0", "xmm1", "xmm2",
        "xmm3", "xmm4", "xmm5", "xmm6", "xmm7", "xmm8", "xmm9", "xmm10", "cc", "memory");
}

}  // namespace

VRT_BMI2 void mont_mul_256_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv,
                                 uint64_t cinv_hi) {
  mont_mul4_minus(r, a, b, c, cinv, cinv_hi);
}
VRT_BMI2 void mont_mul_256_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul4_plus(r, a, b, c, cinv);
}
VRT_BMI2 void mont_mul_512_minus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<8, false>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_mul_512_plus(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv) {
  mont_mul_special<8, true>(r, a, b, c, cinv);
}
VRT_BMI2 void mont_sqr_256_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv, uint64_t cinv_hi) {
  mont_sqr4_minus(r, a, c, cinv, cinv_hi);
}
VRT_BMI2 void mont_sqr_256_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr4_plus(r, a, c, cinv);
}
VRT_BMI2 void mont_sqr_512_minus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<8, false>(r, a, c, cinv);
}
VRT_BMI2 void mont_sqr_512_plus(uint64_t* r, const uint64_t* a, uint64_t c, uint64_t cinv) {
  mont_sqr_special<8, true>(r, a, c, cinv);
}

VRT_ADX void mont_mul_512_minus_adx(uint64_t* r, const uint64_t* a, const uint64_t* b, uint64_t c, uint64_t cinv,
                                   uint64_t cinv_hi) {
  mont_mul8_minus_adx(r, a, b, c, cinv, cinv_hi);
}

}  // namespace vrt::math
