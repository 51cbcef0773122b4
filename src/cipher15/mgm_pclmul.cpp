// The MGM field multiplications with carry-less multiplication (PCLMULQDQ,
// and VPCLMULQDQ for four products at a time).
//
// The 256-bit product of two 128-bit elements is folded back with
// x^128 = x^7 + x^2 + x + 1 (0x87): the top 64-bit word times 0x87 lands 64
// bits up, its own overflow (at most 7 bits) into the third word, which is
// then folded the same way into the low half. GF(2^64) folds with
// x^64 = x^4 + x^3 + x + 1 (0x1B) twice. No step depends on the values.
//
// A sum of products is reduced once: reduction is linear, so the 256-bit
// products are added first and the sum folded back at the end.
// GCC 12 reports its own AVX-512 intrinsic headers' placeholder operands as
// uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "cipher15/mgm.h"
#include "frame/bytes.h"

namespace vrt::cipher15 {
namespace {

#define VRT_CLMUL __attribute__((target("pclmul,sse2"), always_inline)) inline

// A big-endian 16-byte element as (high word, low word) in one vector.
VRT_CLMUL __m128i load_element128(const void* p) {
  const auto* b = static_cast<const uint8_t*>(p);
  return _mm_set_epi64x(static_cast<long long>(load_be64(b)), static_cast<long long>(load_be64(b + 8)));
}

VRT_CLMUL void store_element128(void* p, __m128i v) {
  auto* b = static_cast<uint8_t*>(p);
  store_be64(b, static_cast<uint64_t>(_mm_cvtsi128_si64(_mm_unpackhi_epi64(v, v))));
  store_be64(b + 8, static_cast<uint64_t>(_mm_cvtsi128_si64(v)));
}

// The 256-bit product (high, low) folded back to 128 bits.
VRT_CLMUL __m128i reduce128(__m128i low, __m128i high) {
  const __m128i k = _mm_cvtsi64_si128(0x87);
  const __m128i v = _mm_clmulepi64_si128(high, k, 0x01);  // word 3 * 0x87
  low = _mm_xor_si128(low, _mm_slli_si128(v, 8));
  high = _mm_xor_si128(high, _mm_srli_si128(v, 8));
  return _mm_xor_si128(low, _mm_clmulepi64_si128(high, k, 0x00));  // word 2 * 0x87
}

// The 256-bit product of x and y as its low, middle and high parts.
VRT_CLMUL void product128(__m128i x, __m128i y, __m128i& lo, __m128i& mid, __m128i& hi) {
  lo = _mm_xor_si128(lo, _mm_clmulepi64_si128(x, y, 0x00));
  hi = _mm_xor_si128(hi, _mm_clmulepi64_si128(x, y, 0x11));
  mid = _mm_xor_si128(mid, _mm_xor_si128(_mm_clmulepi64_si128(x, y, 0x01), _mm_clmulepi64_si128(x, y, 0x10)));
}

VRT_CLMUL void add_reduced(void* sum, __m128i lo, __m128i mid, __m128i hi) {
  const __m128i low = _mm_xor_si128(lo, _mm_slli_si128(mid, 8));
  const __m128i high = _mm_xor_si128(hi, _mm_srli_si128(mid, 8));
  store_element128(sum, _mm_xor_si128(load_element128(sum), reduce128(low, high)));
}

#define VRT_VPCLMUL __attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul"), always_inline)) inline

// Four big-endian elements as (high word, low word) per 128-bit lane: the
// bytes of each lane reversed.
VRT_VPCLMUL __m512i load_elements512(const uint8_t* p, __mmask64 m) {
  const __m512i rev = _mm512_broadcast_i32x4(_mm_set_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15));
  return _mm512_shuffle_epi8(_mm512_maskz_loadu_epi8(m, p), rev);
}

VRT_VPCLMUL __m128i fold_lanes(__m512i v) {
  const __m256i h = _mm256_xor_si256(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
  return _mm_xor_si128(_mm256_castsi256_si128(h), _mm256_extracti128_si256(h, 1));
}

}  // namespace

__attribute__((target("pclmul,sse2"))) void gf128_mul_sum_pclmul(void* sum, const void* h, const void* x,
                                                                 size_t count) {
  const auto* a = static_cast<const uint8_t*>(h);
  const auto* b = static_cast<const uint8_t*>(x);
  __m128i lo = _mm_setzero_si128(), mid = lo, hi = lo;
  for (size_t i = 0; i < count; ++i) product128(load_element128(a + 16 * i), load_element128(b + 16 * i), lo, mid, hi);
  add_reduced(sum, lo, mid, hi);
}

__attribute__((target("avx512f,avx512bw,vpclmulqdq,pclmul"))) void gf128_mul_sum_vpclmul(void* sum, const void* h,
                                                                                      const void* x, size_t count) {
  const auto* a = static_cast<const uint8_t*>(h);
  const auto* b = static_cast<const uint8_t*>(x);
  __m512i lo = _mm512_setzero_si512(), mid = lo, hi = lo;
  for (; count > 0; a += 64, b += 64) {
    const size_t g = count < 4 ? count : 4;
    const __mmask64 m = g == 4 ? ~__mmask64{0} : (__mmask64{1} << (16 * g)) - 1;
    const __m512i u = load_elements512(a, m), v = load_elements512(b, m);
    lo = _mm512_xor_si512(lo, _mm512_clmulepi64_epi128(u, v, 0x00));
    hi = _mm512_xor_si512(hi, _mm512_clmulepi64_epi128(u, v, 0x11));
    mid = _mm512_xor_si512(mid, _mm512_xor_si512(_mm512_clmulepi64_epi128(u, v, 0x01),
                                                 _mm512_clmulepi64_epi128(u, v, 0x10)));
    count -= g;
  }
  add_reduced(sum, fold_lanes(lo), fold_lanes(mid), fold_lanes(hi));
}

__attribute__((target("pclmul,sse2"))) void gf128_mul_pclmul(void* out, const void* a, const void* b) {
  const __m128i x = load_element128(a), y = load_element128(b);
  const __m128i lo = _mm_clmulepi64_si128(x, y, 0x00);
  const __m128i hi = _mm_clmulepi64_si128(x, y, 0x11);
  const __m128i mid = _mm_xor_si128(_mm_clmulepi64_si128(x, y, 0x01), _mm_clmulepi64_si128(x, y, 0x10));
  __m128i low = _mm_xor_si128(lo, _mm_slli_si128(mid, 8));    // words 1:0
  __m128i high = _mm_xor_si128(hi, _mm_srli_si128(mid, 8));   // words 3:2
  const __m128i k = _mm_cvtsi64_si128(0x87);
  const __m128i v = _mm_clmulepi64_si128(high, k, 0x01);      // word 3 * 0x87
  low = _mm_xor_si128(low, _mm_slli_si128(v, 8));
  high = _mm_xor_si128(high, _mm_srli_si128(v, 8));
  low = _mm_xor_si128(low, _mm_clmulepi64_si128(high, k, 0x00));  // word 2 * 0x87
  store_element128(out, low);
}

__attribute__((target("pclmul,sse2"))) void gf64_mul_pclmul(void* out, const void* a, const void* b) {
  const __m128i x = _mm_cvtsi64_si128(static_cast<long long>(load_be64(a)));
  const __m128i y = _mm_cvtsi64_si128(static_cast<long long>(load_be64(b)));
  const __m128i k = _mm_cvtsi64_si128(0x1B);
  const __m128i p = _mm_clmulepi64_si128(x, y, 0x00);
  const __m128i v = _mm_clmulepi64_si128(p, k, 0x01);         // high word * 0x1B
  const __m128i w = _mm_clmulepi64_si128(v, k, 0x01);         // its overflow * 0x1B
  const __m128i r = _mm_xor_si128(_mm_xor_si128(p, v), w);
  store_be64(out, static_cast<uint64_t>(_mm_cvtsi128_si64(r)));
}

}  // namespace vrt::cipher15
