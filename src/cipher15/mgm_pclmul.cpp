// The MGM field multiplications with carry-less multiplication (PCLMULQDQ).
//
// The 256-bit product of two 128-bit elements is folded back with
// x^128 = x^7 + x^2 + x + 1 (0x87): the top 64-bit word times 0x87 lands 64
// bits up, its own overflow (at most 7 bits) into the third word, which is
// then folded the same way into the low half. GF(2^64) folds with
// x^64 = x^4 + x^3 + x + 1 (0x1B) twice. No step depends on the values.
#include <immintrin.h>

#include "cipher15/mgm.h"
#include "common/bytes.h"

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

}  // namespace

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
