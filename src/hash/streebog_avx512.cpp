// Streebog compression on AVX-512 VBMI with GFNI: the whole 512-bit state is
// one register.
//
// S is a 256-entry byte substitution: two 128-entry two-table permutes (index
// bits 0..6) and a blend on bit 7. L maps each output word y_i = l(z_i), with
// z the transposed (P) state: byte m of y_i is XOR over j of M(j,m) * s_j[i],
// M(j,m) the 8x8 bit matrix that carries byte j of a word into byte m of its
// image under l. With lane m of a register holding word j of s broadcast, one
// GF(2) affine instruction applies M(j,m) to every byte of lane m; the XOR of
// the eight such products leaves y transposed (lane m, byte i = y_i[m]), and
// one byte permute puts it back.
// GCC 12 reports its own AVX-512 intrinsic headers' placeholder operands as
// uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "hash/internal.h"
#include "hash/streebog_tables.h"

namespace vrt::hash {
namespace {

struct AffineMatrices {
  // m[j][lane]: the matrix for input byte j and output byte `lane`, in the
  // affine instruction's layout: byte 7 - b of the qword is the row that
  // produces output bit b.
  uint64_t m[8][8];
};

constexpr AffineMatrices make_affine_matrices() {
  AffineMatrices r{};
  for (int j = 0; j < 8; ++j)
    for (int lane = 0; lane < 8; ++lane) {
      uint64_t q = 0;
      for (int b = 0; b < 8; ++b) {
        uint64_t row = 0;
        // l(v << 8j) = XOR over the set bits k of v of A[63 - (8j + k)].
        for (int k = 0; k < 8; ++k)
          if ((kStreebogA[63 - (8 * j + k)] >> (8 * lane + b)) & 1) row |= uint64_t{1} << k;
        q |= row << (8 * (7 - b));
      }
      r.m[j][lane] = q;
    }
  return r;
}

struct Transpose {
  uint8_t idx[64];
};

// Byte 8i + m takes byte 8m + i.
constexpr Transpose make_transpose() {
  Transpose t{};
  for (int i = 0; i < 8; ++i)
    for (int m = 0; m < 8; ++m) t.idx[8 * i + m] = static_cast<uint8_t>(8 * m + i);
  return t;
}

alignas(64) constexpr AffineMatrices kAffine = make_affine_matrices();
alignas(64) constexpr Transpose kTranspose = make_transpose();

#define VRT_AVX512_TARGET __attribute__((target("avx512f,avx512bw,avx512vbmi,gfni"), always_inline))

struct Consts {
  __m512i pi[4];
  __m512i mat[8];
  __m512i tr;
};

VRT_AVX512_TARGET inline __m512i lps(__m512i x, const Consts& c) {
  const __mmask64 upper = _mm512_movepi8_mask(x);
  const __m512i lo = _mm512_permutex2var_epi8(c.pi[0], x, c.pi[1]);
  const __m512i hi = _mm512_permutex2var_epi8(c.pi[2], x, c.pi[3]);
  const __m512i s = _mm512_mask_blend_epi8(upper, lo, hi);
  __m512i p[8];
  for (int j = 0; j < 8; ++j)
    p[j] = _mm512_gf2p8affine_epi64_epi8(_mm512_permutexvar_epi64(_mm512_set1_epi64(j), s), c.mat[j], 0);
  const __m512i a = _mm512_ternarylogic_epi64(p[0], p[1], p[2], 0x96);
  const __m512i b = _mm512_ternarylogic_epi64(p[3], p[4], p[5], 0x96);
  const __m512i y = _mm512_ternarylogic_epi64(a, b, _mm512_xor_si512(p[6], p[7]), 0x96);
  return _mm512_permutexvar_epi8(c.tr, y);
}

}  // namespace

__attribute__((target("avx512f,avx512bw,avx512vbmi,gfni"))) void streebog_g_avx512(
    uint64_t h[8], const uint64_t N[8], const uint64_t m[8]) {
  Consts c;
  for (int i = 0; i < 4; ++i) c.pi[i] = _mm512_loadu_si512(kGostPi + 64 * i);
  for (int j = 0; j < 8; ++j) c.mat[j] = _mm512_load_si512(kAffine.m[j]);
  c.tr = _mm512_load_si512(kTranspose.idx);

  const __m512i hv = _mm512_loadu_si512(h);
  const __m512i mv = _mm512_loadu_si512(m);
  __m512i k = lps(_mm512_xor_si512(hv, _mm512_loadu_si512(N)), c);
  __m512i s = lps(_mm512_xor_si512(mv, k), c);
  for (int i = 0; i < 11; ++i) {
    k = lps(_mm512_xor_si512(k, _mm512_load_si512(kStreebog.c[i])), c);
    s = lps(_mm512_xor_si512(s, k), c);
  }
  k = lps(_mm512_xor_si512(k, _mm512_load_si512(kStreebog.c[11])), c);
  _mm512_storeu_si512(h, _mm512_ternarylogic_epi64(hv, mv, _mm512_xor_si512(s, k), 0x96));
}

}  // namespace vrt::hash
