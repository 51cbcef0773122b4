// The GOST R 34.11-94 step function with its four encryptions side by side
// in one AVX register, one 32-bit lane per word of H, each lane under its own
// key. The substitution is done by byte shuffles of the set's nibble-pair
// tables, so no memory address depends on the data.
//
// For a word x: lo = x & 0x0F0F0F0F holds nibbles 0, 2, 4, 6, hi = (x >> 4) &
// 0x0F0F0F0F nibbles 1, 3, 5, 7. Index A takes bytes 0, 1 of lo and 2, 3 of
// hi (nibbles 0, 2, 5, 7), B the other halves (nibbles 1, 3, 4, 6). Table m
// holds S_2m in its low and S_7-2m in its high nibbles; table 0 by A under
// (0x0F, 0, 0, 0xF0) gives S0 and S7, table 1 by A under (0, 0x0F, 0xF0, 0)
// S2 and S5, table 2 by B under (0, 0xF0, 0x0F, 0) S4 and S3, table 3 by B
// under (0xF0, 0, 0, 0x0F) S6 and S1.
#include <immintrin.h>

#include "hash/gost94_step.h"
#include "hash/internal.h"
#include "vrt.h"

#define VRT_AVX __attribute__((target("avx"), always_inline)) inline

namespace vrt::hash {
namespace {

struct Tables {
  __m128i t0, t1, t2, t3;
  __m128i m0, m1, m2, m3;
  __m128i nib;
};

VRT_AVX Tables load_tables(const uint8_t* pairs) {
  Tables t;
  t.t0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs));
  t.t1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + 16));
  t.t2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + 32));
  t.t3 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairs + 48));
  t.m0 = _mm_set1_epi32(static_cast<int>(0xF000000Fu));
  t.m1 = _mm_set1_epi32(static_cast<int>(0x00F00F00u));
  t.m2 = _mm_set1_epi32(static_cast<int>(0x000FF000u));
  t.m3 = _mm_set1_epi32(static_cast<int>(0x0F0000F0u));
  t.nib = _mm_set1_epi32(0x0F0F0F0F);
  return t;
}

// f(x + k) = ROTL32(S(x + k), 11) in every lane.
VRT_AVX __m128i round_f(const Tables& t, __m128i x, __m128i k) {
  x = _mm_add_epi32(x, k);
  const __m128i lo = _mm_and_si128(x, t.nib);
  const __m128i hi = _mm_and_si128(_mm_srli_epi32(x, 4), t.nib);
  const __m128i a = _mm_blend_epi16(lo, hi, 0xAA);
  const __m128i b = _mm_blend_epi16(hi, lo, 0xAA);
  const __m128i s01 = _mm_or_si128(_mm_and_si128(_mm_shuffle_epi8(t.t0, a), t.m0),
                                   _mm_and_si128(_mm_shuffle_epi8(t.t1, a), t.m1));
  const __m128i s23 = _mm_or_si128(_mm_and_si128(_mm_shuffle_epi8(t.t2, b), t.m2),
                                   _mm_and_si128(_mm_shuffle_epi8(t.t3, b), t.m3));
  const __m128i s = _mm_or_si128(s01, s23);
  return _mm_or_si128(_mm_slli_epi32(s, 11), _mm_srli_epi32(s, 21));
}

// Rows r0..r3 (lane keys, four words each) to columns: column i holds word i
// of every lane's key.
VRT_AVX void transpose(__m128i r[4]) {
  const __m128i t0 = _mm_unpacklo_epi32(r[0], r[1]);
  const __m128i t1 = _mm_unpacklo_epi32(r[2], r[3]);
  const __m128i t2 = _mm_unpackhi_epi32(r[0], r[1]);
  const __m128i t3 = _mm_unpackhi_epi32(r[2], r[3]);
  r[0] = _mm_unpacklo_epi64(t0, t1);
  r[1] = _mm_unpackhi_epi64(t0, t1);
  r[2] = _mm_unpacklo_epi64(t2, t3);
  r[3] = _mm_unpackhi_epi64(t2, t3);
}

}  // namespace

__attribute__((target("avx"))) void gost94_step_avx(const gost89_sbox_t* sbox, uint64_t h[4], const uint64_t m[4]) {
  uint64_t w[4][4];
  g94::key_words(h, m, w);
  __m128i lo[4], hi[4];
  for (int j = 0; j < 4; ++j) g94::p_transform(w[j], lo[j], hi[j]);
  transpose(lo);
  transpose(hi);
  const __m128i k[8] = {lo[0], lo[1], lo[2], lo[3], hi[0], hi[1], hi[2], hi[3]};

  const Tables t = load_tables(sbox->cpu);
  const __m128 x = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h)));
  const __m128 y = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(h + 2)));
  __m128i a = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0)));  // N1 of each word
  __m128i b = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1)));  // N2
  for (int r = 0; r < 3; ++r) {
    for (int i = 0; i < 8; i += 2) {
      b = _mm_xor_si128(b, round_f(t, a, k[i]));
      a = _mm_xor_si128(a, round_f(t, b, k[i + 1]));
    }
  }
  for (int i = 7; i > 0; i -= 2) {
    b = _mm_xor_si128(b, round_f(t, a, k[i]));
    a = _mm_xor_si128(a, round_f(t, b, k[i - 1]));
  }
  // The ciphertext words are (N1, N2) = (b, a).
  uint64_t s[4];
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s), _mm_unpacklo_epi32(b, a));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(s + 2), _mm_unpackhi_epi32(b, a));
  g94::output_transform(h, m, s);
}

}  // namespace vrt::hash
