// Kuznyechik on AVX-512 VBMI with GFNI, with no table indexed by a key or
// data byte and no branch on one.
//
// The rounds run in another representation of the field. GF(2^8) modulo
// x^8 + x^7 + x^6 + x + 1 is isomorphic to the field of the processor's
// byte multiplication (modulo x^8 + x^4 + x^3 + x + 1) through the linear
// map phi that takes x to a root beta of the cipher's polynomial there. In
// that representation L is a sum of byte-wise products with constants, one
// instruction for 64 bytes, and the substitution is phi pi phi^-1: a
// 256-entry byte permutation looked up with two two-register byte permutes
// over the table held in four registers and a blend on the top bit of the
// index. The maps into and out of the representation are byte permutations
// looked up the same way, folded into the first and the last substitution
// where they meet one.
//
// Three layouts of the blocks:
//  - side by side, one block per 128-bit lane, up to four in a register:
//    L(s) is the XOR over j of column j of L times byte j of s broadcast
//    within its block by a byte shuffle, so a round costs 16 shuffles and
//    16 products however many of the four lanes are in use;
//  - one block repeated in all four lanes, for the serial uses (the
//    schedule, the feedback modes, OMAC): lane l of four products takes
//    the contributions of bytes l, 4 + l, 8 + l and 12 + l, and the XOR of
//    the lane rotations of their sum brings the whole sum back to every
//    lane, a shorter chain from one round to the next than 16 products;
//  - byte-sliced, 64 blocks at once: register p holds byte p of every
//    block. L is then sixteen R steps, each computing one register l(x)
//    from sixteen; l's coefficients come in equal pairs (bytes p and 14 - p
//    share one), so a step is 6 XORs of pairs, 7 products and the XOR of
//    ten terms, and the byte moves of R are only a renaming of registers.
//    The blocks enter and leave the layout through a byte permute in every
//    register and a 16 x 16 transpose of 32-bit words. Counter blocks are
//    built in registers.
//
// The substitution lookups, shuffles, products and XORs take the same time
// for every value; no instruction here is one that MemorySanitizer checks
// strictly (the affine and ternary-logic ones), so the poisoned-key check
// follows the secrets through every step. The repeated-byte round keys of
// the sliced layout live on the stack for a call and are cleared before it
// returns; the others stay in registers.
// GCC 12 reports its own AVX-512 intrinsic headers' placeholder operands as
// uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include <cstring>

#include "cipher15/internal.h"
#include "cipher15/kuznechik_tables.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

// ---- the other representation, computed from the two field polynomials ----

// Multiplication modulo x^8 + x^4 + x^3 + x + 1, the processor's field.
constexpr uint8_t hw_mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b != 0) {
    if (b & 1) r ^= a;
    const bool carry = (a & 0x80) != 0;
    a = static_cast<uint8_t>(a << 1);
    if (carry) a ^= 0x1B;
    b >>= 1;
  }
  return r;
}

// The smallest root of x^8 + x^7 + x^6 + x + 1 in the processor's field.
constexpr uint8_t find_beta() {
  for (int c = 2; c < 256; ++c) {
    const auto b = static_cast<uint8_t>(c);
    uint8_t p[9]{};
    p[0] = 1;
    for (int i = 1; i <= 8; ++i) p[i] = hw_mul(p[i - 1], b);
    if ((p[8] ^ p[7] ^ p[6] ^ p[1] ^ p[0]) == 0) return b;
  }
  return 0;
}

struct Representation {
  uint8_t to[256];    // phi
  uint8_t from[256];  // phi^-1
};

constexpr Representation make_representation() {
  Representation r{};
  const uint8_t beta = find_beta();
  uint8_t basis[8]{};
  basis[0] = 1;
  for (int k = 1; k < 8; ++k) basis[k] = hw_mul(basis[k - 1], beta);
  for (int v = 0; v < 256; ++v) {
    uint8_t y = 0;
    for (int k = 0; k < 8; ++k)
      if ((v >> k) & 1) y ^= basis[k];
    r.to[v] = y;
    r.from[y] = static_cast<uint8_t>(v);
  }
  return r;
}

// The constants of the layouts, every table of 64 bytes one register.
struct Avx512Tables {
  alignas(64) uint8_t pi_in[256];       // phi pi: natural in, other out
  alignas(64) uint8_t pi[256];          // phi pi phi^-1
  alignas(64) uint8_t pi_inv[256];      // phi pi^-1 phi^-1
  alignas(64) uint8_t pi_inv_out[256];  // pi^-1 phi^-1: other in, natural out
  alignas(64) uint8_t to[256];          // phi
  alignas(64) uint8_t from[256];        // phi^-1
  // Column j of L and of L^-1 (phi of L(e_j), L^-1(e_j)), four times.
  alignas(64) uint8_t l_col[16][64];
  alignas(64) uint8_t l_inv_col[16][64];
  // Byte j in every byte of a 128-bit lane: the shuffle that broadcasts
  // byte j of each block.
  alignas(64) uint8_t splat[16][64];
  // For one block repeated in the four lanes: lane l of register t takes
  // byte 4t + l everywhere (one_idx) and is multiplied by column 4t + l of
  // L (one_col) or L^-1 (one_inv_col).
  alignas(64) uint8_t one_idx[4][64];
  alignas(64) uint8_t one_col[4][64];
  alignas(64) uint8_t one_inv_col[4][64];
  // The seven coefficients of l other than 1, each in every byte: 148, 32,
  // 133, 16, 194, 192 (the pairs) and 251.
  alignas(64) uint8_t coef[7][64];
  // The round constants C1..C32 in the other representation.
  alignas(16) uint8_t c[32][16];
};

constexpr Avx512Tables make_avx512_tables() {
  const Representation r = make_representation();
  const KuznechikTables k = make_kuznechik_tables();
  Avx512Tables t{};
  for (int v = 0; v < 256; ++v) {
    t.pi_in[v] = r.to[k.pi[v]];
    t.pi[v] = r.to[k.pi[r.from[v]]];
    t.pi_inv[v] = r.to[k.pi_inv[r.from[v]]];
    t.pi_inv_out[v] = k.pi_inv[r.from[v]];
    t.to[v] = r.to[v];
    t.from[v] = r.from[v];
  }
  for (int j = 0; j < 16; ++j)
    for (int i = 0; i < 64; ++i) {
      t.l_col[j][i] = r.to[k.l_matrix[16 * j + i % 16]];
      t.l_inv_col[j][i] = r.to[k.l_inv_matrix[16 * j + i % 16]];
      t.splat[j][i] = static_cast<uint8_t>(j);
    }
  for (int q = 0; q < 4; ++q)
    for (int l = 0; l < 4; ++l)
      for (int i = 0; i < 16; ++i) {
        const int j = 4 * q + l;
        t.one_idx[q][16 * l + i] = static_cast<uint8_t>(j);
        t.one_col[q][16 * l + i] = t.l_col[j][i];
        t.one_inv_col[q][16 * l + i] = t.l_inv_col[j][i];
      }
  const uint8_t coefs[7] = {kLCoefficients[0], kLCoefficients[1], kLCoefficients[2], kLCoefficients[3],
                            kLCoefficients[4], kLCoefficients[5], kLCoefficients[7]};
  for (int c = 0; c < 7; ++c)
    for (int i = 0; i < 64; ++i) t.coef[c][i] = r.to[coefs[c]];
  for (int i = 0; i < 32; ++i)
    for (int b = 0; b < 16; ++b) t.c[i][b] = r.to[k.c[16 * i + b]];
  return t;
}

constexpr Avx512Tables kT = make_avx512_tables();

// phi is a field isomorphism: it carries the cipher's products over.
static_assert(make_representation().to[gf_mul(0x94, 0xC3)] ==
                  hw_mul(make_representation().to[0x94], make_representation().to[0xC3]),
              "phi preserves products");
// The pairs of l that the sliced layout relies on.
static_assert(kLCoefficients[6] == 1 && kLCoefficients[8] == 1 && kLCoefficients[15] == 1, "unit coefficients");
static_assert(kLCoefficients[0] == kLCoefficients[14] && kLCoefficients[1] == kLCoefficients[13] &&
                  kLCoefficients[2] == kLCoefficients[12] && kLCoefficients[3] == kLCoefficients[11] &&
                  kLCoefficients[4] == kLCoefficients[10] && kLCoefficients[5] == kLCoefficients[9],
              "paired coefficients");

#define VRT_AVX512_TARGET "avx512f,avx512bw,avx512vl,avx512vbmi,gfni"
#define VRT_AVX512 __attribute__((target(VRT_AVX512_TARGET), always_inline)) inline
#define VRT_AVX512_FN __attribute__((target(VRT_AVX512_TARGET)))

VRT_AVX512 __m512i load512(const void* p) { return _mm512_load_si512(p); }

// A 256-entry byte permutation in four 512-bit registers, for blocks in
// 512-bit registers.
struct ByteMap {
  __m512i t0, t1, t2, t3;
};

VRT_AVX512 ByteMap load_map(const uint8_t (&t)[256]) {
  return {load512(t), load512(t + 64), load512(t + 128), load512(t + 192)};
}

VRT_AVX512 __m512i lookup(const ByteMap& m, __m512i x) {
  const __m512i lo = _mm512_permutex2var_epi8(m.t0, x, m.t1);
  const __m512i hi = _mm512_permutex2var_epi8(m.t2, x, m.t3);
  return _mm512_mask_blend_epi8(_mm512_movepi8_mask(x), lo, hi);
}

// ---- side by side: one block per 128-bit lane ----

VRT_AVX512 __m512i xor_(__m512i a, __m512i b) { return _mm512_xor_si512(a, b); }

// L (inverse false) or L^-1 of every block, the sixteen contributions of
// the input bytes (byte j of every block broadcast within its lane, times
// column j) summed in four chains. The constants are reached through t,
// which the compiler cannot see through: it then reads them as memory
// operands instead of hoisting all 32 into registers across the rounds,
// which would leave none for the products.
VRT_AVX512 __m512i linear(__m512i s, bool inverse) {
  const Avx512Tables* t = &kT;
  __asm__("" : "+r"(t));
  const uint8_t(*cols)[64] = inverse ? t->l_inv_col : t->l_col;
  __m512i acc[4];
#pragma GCC unroll 16
  for (int j = 0; j < 16; ++j) {
    const __m512i p = _mm512_gf2p8mul_epi8(_mm512_shuffle_epi8(s, load512(t->splat[j])), load512(cols[j]));
    acc[j % 4] = j < 4 ? p : xor_(acc[j % 4], p);
  }
  return xor_(xor_(acc[0], acc[1]), xor_(acc[2], acc[3]));
}

// The same for one block repeated in all four lanes, with the chain from
// input to output kept short for the serial uses (the schedule, the
// feedback modes): lane l of four products takes the contributions of
// bytes l, 4 + l, 8 + l and 12 + l, and the XOR of the four lane rotations
// of their sum leaves the whole sum in every lane.
VRT_AVX512 __m512i linear_one(__m512i s, bool inverse) {
  const Avx512Tables* t = &kT;
  __asm__("" : "+r"(t));
  const uint8_t(*cols)[64] = inverse ? t->one_inv_col : t->one_col;
  __m512i p[4];
#pragma GCC unroll 4
  for (int q = 0; q < 4; ++q)
    p[q] = _mm512_gf2p8mul_epi8(_mm512_shuffle_epi8(s, load512(t->one_idx[q])), load512(cols[q]));
  const __m512i a = xor_(xor_(p[0], p[1]), xor_(p[2], p[3]));
  const __m512i r1 = _mm512_shuffle_i32x4(a, a, 0x39), r2 = _mm512_shuffle_i32x4(a, a, 0x4E),
                r3 = _mm512_shuffle_i32x4(a, a, 0x93);
  return xor_(xor_(a, r1), xor_(r2, r3));
}

template <bool kOne>
VRT_AVX512 __m512i linear_of(__m512i s, bool inverse) {
  return kOne ? linear_one(s, inverse) : linear(s, inverse);
}

VRT_AVX512 __m128i key128(const uint8_t* rk, int i) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(rk + 16 * i));
}

// The round keys of a call as the rounds take them, in registers and
// repeated in the four lanes: K1 and K10 natural (K1 meets the data before
// the first substitution, which takes natural bytes, and K10 after the
// last map back), the others through phi.
struct RoundKeys {
  __m512i k[10];
};

VRT_AVX512 RoundKeys round_keys(const uint8_t* rk) {
  const ByteMap to = load_map(kT.to);
  RoundKeys r;
  r.k[0] = _mm512_broadcast_i32x4(key128(rk, 0));
  r.k[9] = _mm512_broadcast_i32x4(key128(rk, 9));
#pragma GCC unroll 2
  for (int i = 1; i < 9; i += 4) {
    const __m512i k = lookup(to, _mm512_loadu_si512(rk + 16 * i));
    r.k[i] = _mm512_shuffle_i32x4(k, k, 0x00);
    r.k[i + 1] = _mm512_shuffle_i32x4(k, k, 0x55);
    r.k[i + 2] = _mm512_shuffle_i32x4(k, k, 0xAA);
    r.k[i + 3] = _mm512_shuffle_i32x4(k, k, 0xFF);
  }
  return r;
}

// kRegs registers of blocks side by side through the cipher (kOne: one
// block in all lanes of each): encryption with the keys of an encryption
// schedule, decryption with those of a decryption schedule.
template <bool kOne, int kRegs>
VRT_AVX512 void encrypt_side(const RoundKeys& k, __m512i (&x)[kRegs]) {
  const ByteMap pi_in = load_map(kT.pi_in);
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) x[r] = linear_of<kOne>(lookup(pi_in, xor_(x[r], k.k[0])), false);
  const ByteMap pi = load_map(kT.pi);
#pragma GCC unroll 16
  for (int i = 1; i < 9; ++i) {
#pragma GCC unroll 16
    for (int r = 0; r < kRegs; ++r) x[r] = linear_of<kOne>(lookup(pi, xor_(x[r], k.k[i])), false);
  }
  const ByteMap from = load_map(kT.from);
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) x[r] = xor_(lookup(from, x[r]), k.k[9]);
}

template <bool kOne, int kRegs>
VRT_AVX512 void decrypt_side(const RoundKeys& k, __m512i (&x)[kRegs]) {
  const ByteMap to = load_map(kT.to);
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) x[r] = linear_of<kOne>(lookup(to, xor_(x[r], k.k[9])), true);
  const ByteMap pi_inv = load_map(kT.pi_inv);
#pragma GCC unroll 16
  for (int i = 8; i >= 1; --i) {
#pragma GCC unroll 16
    for (int r = 0; r < kRegs; ++r) x[r] = xor_(linear_of<kOne>(lookup(pi_inv, x[r]), true), k.k[i]);
  }
  const ByteMap out = load_map(kT.pi_inv_out);
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) x[r] = xor_(lookup(out, x[r]), k.k[0]);
}

// ---- byte-sliced: 64 blocks ----

constexpr int kSliced = 64;

// The round keys as repeated bytes: word p of round key i holds its byte p
// four times, ready to be broadcast to a whole register.
struct SlicedKeys {
  alignas(64) uint32_t k[10][16];
};

// Byte 4p + b of a register takes byte p of its block b: four blocks of
// sixteen bytes become sixteen 32-bit words, word p holding byte p of the
// four blocks.
struct Gather {
  uint8_t to[64];
  uint8_t back[64];
};

constexpr Gather make_gather() {
  Gather g{};
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p)
    for (int b = 0; b < 4; ++b) {
      g.to[4 * p + b] = static_cast<uint8_t>(16 * b + p);
      g.back[16 * b + p] = static_cast<uint8_t>(4 * p + b);
    }
  return g;
}

// The two index vectors of each step of the 16 x 16 word transpose: at
// step h, registers r and r + h (r without bit h) swap the word blocks
// that sit off the diagonal at that size.
struct Transpose {
  uint32_t lo[4][16];
  uint32_t hi[4][16];
};

constexpr Transpose make_transpose() {
  Transpose t{};
#pragma GCC unroll 16
  for (int s = 0; s < 4; ++s) {
    const int h = 8 >> s;
    for (int c = 0; c < 16; ++c) {
      t.lo[s][c] = static_cast<uint32_t>((c & h) ? 16 + c - h : c);
      t.hi[s][c] = static_cast<uint32_t>((c & h) ? 16 + c : c + h);
    }
  }
  return t;
}

alignas(64) constexpr Gather kGather = make_gather();
alignas(64) constexpr Transpose kTranspose = make_transpose();

// Sixteen words of the repeated bytes of a 16-byte key.
alignas(64) constexpr uint8_t kRepeat[64] = {0,  0,  0,  0,  1,  1,  1,  1,  2,  2,  2,  2,  3,  3,  3,  3,
                                             4,  4,  4,  4,  5,  5,  5,  5,  6,  6,  6,  6,  7,  7,  7,  7,
                                             8,  8,  8,  8,  9,  9,  9,  9,  10, 10, 10, 10, 11, 11, 11, 11,
                                             12, 12, 12, 12, 13, 13, 13, 13, 14, 14, 14, 14, 15, 15, 15, 15};

// The keys of the sliced layout: K1 and K10 natural, the others through
// phi, each byte repeated in a 32-bit word.
VRT_AVX512 void sliced_keys(const uint8_t* rk, SlicedKeys* out) {
  const __m512i rep = load512(kRepeat);
  const RoundKeys k = round_keys(rk);
#pragma GCC unroll 16
  for (int i = 0; i < 10; ++i) _mm512_store_si512(out->k[i], _mm512_permutexvar_epi8(rep, k.k[i]));
}

VRT_AVX512 void transpose16(__m512i (&x)[16]) {
#pragma GCC unroll 16
  for (int s = 0; s < 4; ++s) {
    const int h = 8 >> s;
    const __m512i lo = load512(kTranspose.lo[s]);
    const __m512i hi = load512(kTranspose.hi[s]);
#pragma GCC unroll 16
    for (int r = 0; r < 16; ++r) {
      if (r & h) continue;
      const __m512i a = x[r], b = x[r + h];
      x[r] = _mm512_permutex2var_epi32(a, lo, b);
      x[r + h] = _mm512_permutex2var_epi32(a, hi, b);
    }
  }
}

// Sixteen registers of four blocks each into the sliced layout: register
// p then holds byte p of block k at byte k (block k being block k % 4 of
// register k / 4), and back.
VRT_AVX512 void to_sliced(__m512i (&x)[16]) {
  const __m512i g = load512(kGather.to);
#pragma GCC unroll 16
  for (int r = 0; r < 16; ++r) x[r] = _mm512_permutexvar_epi8(g, x[r]);
  transpose16(x);
}

VRT_AVX512 void from_sliced(__m512i (&x)[16]) {
  transpose16(x);
  const __m512i g = load512(kGather.back);
#pragma GCC unroll 16
  for (int r = 0; r < 16; ++r) x[r] = _mm512_permutexvar_epi8(g, x[r]);
}

VRT_AVX512 __m512i times(__m512i v, int c) { return _mm512_gf2p8mul_epi8(v, load512(kT.coef[c])); }

// l of sixteen sliced registers, byte p of the blocks being w[(p + kShift)
// % 16]: the pairs first, then their products, then the sum of all ten
// terms.
template <int kShift>
VRT_AVX512 __m512i l_sum(const __m512i* w) {
#define at(p) w[((p) + kShift) % 16]
  const __m512i t0 = times(xor_(at(0), at(14)), 0);
  const __m512i t1 = times(xor_(at(1), at(13)), 1);
  const __m512i t2 = times(xor_(at(2), at(12)), 2);
  const __m512i t3 = times(xor_(at(3), at(11)), 3);
  const __m512i t4 = times(xor_(at(4), at(10)), 4);
  const __m512i t5 = times(xor_(at(5), at(9)), 5);
  const __m512i t6 = times(at(7), 6);
  const __m512i u0 = xor_(xor_(t0, t1), xor_(t2, t3));
  const __m512i u1 = xor_(xor_(t4, t5), xor_(t6, at(15)));
  return xor_(xor_(u0, u1), xor_(at(6), at(8)));
#undef at
}

// L on the sliced layout: R sixteen times, each new register entering at
// byte 0 while the others move up one place (a renaming in y).
VRT_AVX512 void sliced_l(__m512i (&x)[16]) {
  __m512i y[32];
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) y[16 + p] = x[p];
#pragma GCC unroll 16
  for (int s = 0; s < 16; ++s) y[15 - s] = l_sum<0>(y + 16 - s);
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) x[p] = y[p];
}

// L^-1: R^-1 sixteen times; byte 15 of the previous state is recovered
// from l, whose coefficient for it is 1, over the window y1 .. y15, y0.
VRT_AVX512 void sliced_l_inverse(__m512i (&x)[16]) {
  __m512i y[32];
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) y[p] = x[p];
#pragma GCC unroll 16
  for (int s = 0; s < 16; ++s) y[16 + s] = l_sum<1>(y + s);
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) x[p] = y[16 + p];
}

VRT_AVX512 __m512i repeated(const SlicedKeys& k, int i, int p) { return _mm512_set1_epi32(static_cast<int>(k.k[i][p])); }

VRT_AVX512 void sliced_encrypt(const SlicedKeys& k, __m512i (&x)[16]) {
  {
    const ByteMap pi_in = load_map(kT.pi_in);
#pragma GCC unroll 16
    for (int p = 0; p < 16; ++p) x[p] = lookup(pi_in, xor_(x[p], repeated(k, 0, p)));
  }
  sliced_l(x);
  const ByteMap pi = load_map(kT.pi);
#pragma GCC unroll 16
  for (int i = 1; i < 9; ++i) {
#pragma GCC unroll 16
    for (int p = 0; p < 16; ++p) x[p] = lookup(pi, xor_(x[p], repeated(k, i, p)));
    sliced_l(x);
  }
  const ByteMap from = load_map(kT.from);
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) x[p] = xor_(lookup(from, x[p]), repeated(k, 9, p));
}

VRT_AVX512 void sliced_decrypt(const SlicedKeys& k, __m512i (&x)[16]) {
  {
    const ByteMap to = load_map(kT.to);
#pragma GCC unroll 16
    for (int p = 0; p < 16; ++p) x[p] = lookup(to, xor_(x[p], repeated(k, 9, p)));
  }
  sliced_l_inverse(x);
  const ByteMap pi_inv = load_map(kT.pi_inv);
#pragma GCC unroll 16
  for (int i = 8; i >= 1; --i) {
#pragma GCC unroll 16
    for (int p = 0; p < 16; ++p) x[p] = lookup(pi_inv, x[p]);
    sliced_l_inverse(x);
#pragma GCC unroll 16
    for (int p = 0; p < 16; ++p) x[p] = xor_(x[p], repeated(k, i, p));
  }
  const ByteMap out = load_map(kT.pi_inv_out);
#pragma GCC unroll 16
  for (int p = 0; p < 16; ++p) x[p] = xor_(lookup(out, x[p]), repeated(k, 0, p));
}

// ---- runs of blocks ----

// The first `blocks` bytes of sixteen in a register (blocks 0..4).
VRT_AVX512 __mmask64 lane_mask(size_t blocks) {
  return blocks >= 4 ? ~__mmask64{0} : (__mmask64{1} << (16 * blocks)) - 1;
}

// Where the blocks of a run come from: memory, or counter blocks that
// advance in one 64-bit half (big-endian modulo 2^64, the other half
// fixed), four to a register.
struct FromMemory {
  const uint8_t* in;
  VRT_AVX512 __m512i get(size_t r, size_t have) const { return _mm512_maskz_loadu_epi8(lane_mask(have), in + 64 * r); }
  VRT_AVX512 void advance(size_t blocks) { in += 16 * blocks; }
};

struct Counters {
  __m512i native;  // the four counters of the next register, their half in native order
  __m512i swap;    // the byte shuffle between big-endian and native order of the half
  __mmask8 half;   // the 64-bit words of the half
  VRT_AVX512 __m512i get(size_t r, size_t) const {
    const __m512i v = _mm512_mask_add_epi64(native, half, native, _mm512_set1_epi64(static_cast<long long>(4 * r)));
    return _mm512_shuffle_epi8(v, swap);
  }
  VRT_AVX512 void advance(size_t blocks) {
    native = _mm512_mask_add_epi64(native, half, native, _mm512_set1_epi64(static_cast<long long>(blocks)));
  }
};

// Where they go: memory, or XORed into data on its way to memory.
struct ToMemory {
  uint8_t* out;
  VRT_AVX512 void put(size_t r, size_t have, __m512i v) const {
    _mm512_mask_storeu_epi8(out + 64 * r, lane_mask(have), v);
  }
  VRT_AVX512 void advance(size_t blocks) { out += 16 * blocks; }
};

struct XorInto {
  const uint8_t* in;
  uint8_t* out;
  VRT_AVX512 void put(size_t r, size_t have, __m512i v) const {
    const __mmask64 m = lane_mask(have);
    _mm512_mask_storeu_epi8(out + 64 * r, m, xor_(v, _mm512_maskz_loadu_epi8(m, in + 64 * r)));
  }
  VRT_AVX512 void advance(size_t blocks) {
    in += 16 * blocks;
    out += 16 * blocks;
  }
};

// Blocks left for register r of a group of `blocks`.
VRT_AVX512 size_t have_of(size_t blocks, size_t r) { return blocks > 4 * r ? blocks - 4 * r : 0; }

// Up to 64 blocks through the sliced layout; the registers past the last
// block run on zeros or surplus counters and are not stored.
template <class Src, class Dst>
VRT_AVX512_FN __attribute__((noinline)) void sliced_run(bool enc, const SlicedKeys& k, const Src& src, const Dst& dst,
                                                        size_t blocks) {
  __m512i x[16];
#pragma GCC unroll 16
  for (size_t r = 0; r < 16; ++r) x[r] = src.get(r, have_of(blocks, r));
  to_sliced(x);
  if (enc)
    sliced_encrypt(k, x);
  else
    sliced_decrypt(k, x);
  from_sliced(x);
#pragma GCC unroll 16
  for (size_t r = 0; r < 16; ++r) dst.put(r, have_of(blocks, r), x[r]);
}

// Up to 4 * kRegs blocks side by side.
template <int kRegs, class Src, class Dst>
VRT_AVX512_FN __attribute__((noinline)) void side_run(bool enc, const uint8_t* rk, const Src& src, const Dst& dst,
                                                      size_t blocks) {
  __m512i x[kRegs];
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) x[r] = src.get(r, have_of(blocks, r));
  const RoundKeys k = round_keys(rk);
  if (enc)
    encrypt_side<false>(k, x);
  else
    decrypt_side<false>(k, x);
#pragma GCC unroll 16
  for (int r = 0; r < kRegs; ++r) dst.put(r, have_of(blocks, r), x[r]);
}

// Clears the stack that the runs just used below the caller's frame: where
// registers run out the compiler keeps round keys and cipher states there.
// Each size covers the frames of the runs up to it (one register of four
// blocks and the sliced batch take about 600 bytes, two registers about
// 2 KiB, four about 4 KiB); a test scans the stack after every kind of run.
template <size_t kBytes>
__attribute__((noinline)) void scrub_stack() {
  alignas(64) uint8_t area[kBytes];
  vrt_memset_s(area, sizeof area, 0, sizeof area);
}

enum class Depth { kNone, kSmall, kMedium, kLarge };

inline void scrub_stack(Depth d) {
  switch (d) {
    case Depth::kNone:
      return;
    case Depth::kSmall:
      return scrub_stack<1024>();
    case Depth::kMedium:
      return scrub_stack<2560>();
    case Depth::kLarge:
      return scrub_stack<5120>();
  }
}

// One block repeated in the four lanes, for the serial uses.
VRT_AVX512 void one_block(bool enc, const uint8_t* rk, const void* in, void* out) {
  __m512i x[1] = {_mm512_broadcast_i32x4(_mm_loadu_si128(static_cast<const __m128i*>(in)))};
  const RoundKeys k = round_keys(rk);
  if (enc)
    encrypt_side<true>(k, x);
  else
    decrypt_side<true>(k, x);
  _mm_storeu_si128(static_cast<__m128i*>(out), _mm512_castsi512_si128(x[0]));
}

// From this many blocks a partial batch through the sliced layout beats
// the blocks side by side.
constexpr size_t kSlicedFrom = 30;

template <class Src, class Dst>
VRT_AVX512 void run(bool enc, const uint8_t* rk, Src src, Dst dst, size_t blocks) {
  if (blocks == 0) return;
  Depth depth = Depth::kNone;
  if (blocks >= kSlicedFrom) {
    SlicedKeys sk;
    sliced_keys(rk, &sk);
    while (blocks >= kSlicedFrom) {
      const size_t g = blocks < kSliced ? blocks : kSliced;
      sliced_run(enc, sk, src, dst, g);
      src.advance(g);
      dst.advance(g);
      blocks -= g;
    }
    vrt_memset_s(&sk, sizeof sk, 0, sizeof sk);
    depth = Depth::kSmall;
  }
  if (blocks > 4) depth = blocks > 8 ? Depth::kLarge : Depth::kMedium;
  else if (blocks > 0 && depth == Depth::kNone) depth = Depth::kSmall;
  for (; blocks >= 16; blocks -= 16, src.advance(16), dst.advance(16)) side_run<4>(enc, rk, src, dst, 16);
  if (blocks > 8)
    side_run<4>(enc, rk, src, dst, blocks);
  else if (blocks > 4)
    side_run<2>(enc, rk, src, dst, blocks);
  else if (blocks > 0)
    side_run<1>(enc, rk, src, dst, blocks);
  scrub_stack(depth);
  // Not a tail call: the scrub must start where the runs' frames started,
  // below this frame, not above it.
  __asm__ __volatile__("" ::: "memory");
}

VRT_AVX512 void run_blocks(bool enc, const uint8_t* rk, const void* in, void* out, size_t blocks) {
  if (blocks == 1) return one_block(enc, rk, in, out);
  run(enc, rk, FromMemory{static_cast<const uint8_t*>(in)}, ToMemory{static_cast<uint8_t*>(out)}, blocks);
}

}  // namespace

void kuznechik_avx512_other_form(uint8_t* p, size_t n) {
  for (size_t i = 0; i < n; ++i) p[i] = kT.to[p[i]];
}

VRT_AVX512_FN void kuznechik_encrypt_avx512(const uint8_t* rk, const void* in, void* out) {
  one_block(true, rk, in, out);
}

VRT_AVX512_FN void kuznechik_decrypt_avx512(const uint8_t* rk, const void* in, void* out) {
  one_block(false, rk, in, out);
}

VRT_AVX512_FN void kuznechik_encrypt_blocks_avx512(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  run_blocks(true, rk, in, out, blocks);
}

VRT_AVX512_FN void kuznechik_decrypt_blocks_avx512(const uint8_t* rk, const void* in, void* out, size_t blocks) {
  run_blocks(false, rk, in, out, blocks);
}

VRT_AVX512_FN void kuznechik_encrypt_counters_avx512(const uint8_t* rk, uint8_t* counter, int half, const void* in,
                                                     void* out, size_t blocks) {
  if (blocks == 0) return;
  // Lane l of the first register: the counter advanced l times.
  const int h = half != 0 ? 1 : 0;
  alignas(64) uint8_t swap[64];
  for (int i = 0; i < 64; ++i) {
    const int b = i % 16;
    swap[i] = static_cast<uint8_t>((b / 8 == h) ? (i - b) + 8 * h + (7 - b % 8) : i);
  }
  Counters c;
  c.swap = load512(swap);
  c.half = h != 0 ? 0xAA : 0x55;
  const __m512i first = _mm512_shuffle_epi8(_mm512_broadcast_i32x4(key128(counter, 0)), c.swap);
  c.native = _mm512_mask_add_epi64(first, c.half, first, _mm512_set_epi64(3, 3, 2, 2, 1, 1, 0, 0));
  if (in != nullptr)
    run(true, rk, c, XorInto{static_cast<const uint8_t*>(in), static_cast<uint8_t*>(out)}, blocks);
  else
    run(true, rk, c, ToMemory{static_cast<uint8_t*>(out)}, blocks);
  uint8_t* p = counter + 8 * h;
  store_be64(p, load_be64(p) + blocks);
}

// The Feistel schedule in the other representation, one block repeated in
// the four lanes: t = LS(a1 ^ C) ^ a0, eight steps per pair of round keys;
// the pairs are taken back to natural bytes as they are stored.
VRT_AVX512_FN void kuznechik_schedule_encrypt_avx512(uint8_t* rk, const uint8_t* key) {
  const ByteMap to = load_map(kT.to);
  const __m512i k1 = _mm512_broadcast_i32x4(key128(key, 0)), k2 = _mm512_broadcast_i32x4(key128(key, 1));
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(rk), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(key)));
  __m512i a1 = lookup(to, k1), a0 = lookup(to, k2);
  const ByteMap pi = load_map(kT.pi);
  __m512i pairs[4];
#pragma GCC unroll 4
  for (int j = 0; j < 4; ++j) {
#pragma GCC unroll 8
    for (int r = 0; r < 8; ++r) {
      const __m512i c = _mm512_broadcast_i32x4(_mm_load_si128(reinterpret_cast<const __m128i*>(kT.c[8 * j + r])));
      const __m512i t = xor_(linear_one(lookup(pi, xor_(a1, c)), false), a0);
      a0 = a1;
      a1 = t;
    }
    pairs[j] = _mm512_mask_blend_epi64(0x0C, a1, a0);  // a1 in lane 0, a0 in lane 1
  }
  const ByteMap from = load_map(kT.from);
  const __m512i k36 = lookup(from, _mm512_shuffle_i64x2(pairs[0], pairs[1], 0x44));  // K3 K4 K5 K6
  const __m512i k710 = lookup(from, _mm512_shuffle_i64x2(pairs[2], pairs[3], 0x44));  // K7 K8 K9 K10
  _mm512_storeu_si512(rk + 32, k36);
  _mm512_storeu_si512(rk + 96, k710);
}

// K2..K9 become L^-1(Ki), four keys per register.
VRT_AVX512_FN void kuznechik_schedule_decrypt_avx512(uint8_t* rk, const uint8_t* key) {
  kuznechik_schedule_encrypt_avx512(rk, key);
  const ByteMap to = load_map(kT.to);
  const ByteMap from = load_map(kT.from);
#pragma GCC unroll 2
  for (int i = 1; i < 9; i += 4) {
    const __m512i k = _mm512_loadu_si512(rk + 16 * i);
    _mm512_storeu_si512(rk + 16 * i, lookup(from, linear(lookup(to, k), true)));
  }
}

}  // namespace vrt::cipher15
