// The eight-block operations on AVX-512VL: the N1 words of all eight blocks
// in one 256-bit register and the N2 words in another, so one dependency
// chain carries all blocks. The substitution is that of the AVX variant (the
// four nibble-pair tables, shuffled by the nibble index vectors A and B), with
// the four masked table outputs merged by two levels of bitwise selects, and
// the rotation by 11 done by the rotate instruction; no memory access
// depends on data.
// GCC 12 reports its own AVX-512 intrinsic headers' placeholder operands as
// uninitialised once they are inlined here.
#pragma GCC diagnostic ignored "-Wuninitialized"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include <immintrin.h>

#include "frame/bytes.h"
#include "gost89/gost89_core.h"
#include "vrt.h"

#define VRT_AVX512 __attribute__((target("avx2,avx512f,avx512vl"), always_inline)) inline

namespace {

struct Tables {
  __m256i t0, t1, t2, t3;
  __m256i m0, m01, m2;
  __m256i nib;
};

VRT_AVX512 Tables load_tables(const uint8_t* pairs) {
  Tables t;
  const auto* pt = reinterpret_cast<const __m128i*>(pairs);
  t.t0 = _mm256_broadcastsi128_si256(_mm_loadu_si128(pt));
  t.t1 = _mm256_broadcastsi128_si256(_mm_loadu_si128(pt + 1));
  t.t2 = _mm256_broadcastsi128_si256(_mm_loadu_si128(pt + 2));
  t.t3 = _mm256_broadcastsi128_si256(_mm_loadu_si128(pt + 3));
  // Table m's shuffle is kept where its two S-boxes land; the four masks
  // partition the word, so select(m01, select(m0, P0, P1), select(m2, P2, P3))
  // merges them.
  t.m0 = _mm256_set1_epi32(static_cast<int>(0xF000000Fu));
  t.m01 = _mm256_set1_epi32(static_cast<int>(0xF0F00F0Fu));
  t.m2 = _mm256_set1_epi32(static_cast<int>(0x000FF000u));
  t.nib = _mm256_set1_epi32(0x0F0F0F0F);
  return t;
}

// c ? a : b, bit by bit.
VRT_AVX512 __m256i select(__m256i c, __m256i a, __m256i b) { return _mm256_ternarylogic_epi32(a, b, c, 0xE4); }

// f(x + k) on eight words.
VRT_AVX512 __m256i round_f(const Tables& t, __m256i x, __m256i k) {
  x = _mm256_add_epi32(x, k);
  const __m256i lo = _mm256_and_si256(x, t.nib);
  const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(x, 4), t.nib);
  const __m256i a = _mm256_blend_epi16(lo, hi, 0xAA);
  const __m256i b = _mm256_blend_epi16(hi, lo, 0xAA);
  const __m256i p01 = select(t.m0, _mm256_shuffle_epi8(t.t0, a), _mm256_shuffle_epi8(t.t1, a));
  const __m256i p23 = select(t.m2, _mm256_shuffle_epi8(t.t2, b), _mm256_shuffle_epi8(t.t3, b));
  return _mm256_rol_epi32(select(t.m01, p01, p23), 11);
}

struct Keys {
  __m256i k[8];
};

VRT_AVX512 Keys broadcast_keys(const gost89_key_t* key) {
  uint32_t w[8];
  vrt::gost89::unmask_key(key, w);
  Keys k;
  for (int j = 0; j < 8; ++j) k.k[j] = _mm256_set1_epi32(static_cast<int>(w[j]));
  vrt_memset_s(w, sizeof w, 0, sizeof w);
  return k;
}

// The cycles on (a = N1 side, b = N2 side); see gost89/internal.h for the naming.
VRT_AVX512 void forward8(const Tables& t, const Keys& k, __m256i& a, __m256i& b) {
  for (int j = 0; j < 8; j += 2) {
    b = _mm256_xor_si256(b, round_f(t, a, k.k[j]));
    a = _mm256_xor_si256(a, round_f(t, b, k.k[j + 1]));
  }
}

VRT_AVX512 void backward8(const Tables& t, const Keys& k, __m256i& a, __m256i& b) {
  for (int j = 7; j > 0; j -= 2) {
    b = _mm256_xor_si256(b, round_f(t, a, k.k[j]));
    a = _mm256_xor_si256(a, round_f(t, b, k.k[j - 1]));
  }
}

// Eight blocks (64 bytes) as their N1 words and their N2 words, and back.
VRT_AVX512 void load8(const uint8_t* p, __m256i& n1, __m256i& n2) {
  const __m256i x = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
  const __m256i y = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
  n1 = _mm256_permutex2var_epi32(x, _mm256_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14), y);
  n2 = _mm256_permutex2var_epi32(x, _mm256_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15), y);
}

VRT_AVX512 void store8(uint8_t* p, __m256i n1, __m256i n2) {
  const __m256i x = _mm256_permutex2var_epi32(n1, _mm256_setr_epi32(0, 8, 1, 9, 2, 10, 3, 11), n2);
  const __m256i y = _mm256_permutex2var_epi32(n1, _mm256_setr_epi32(4, 12, 5, 13, 6, 14, 7, 15), n2);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), x);
  _mm256_storeu_si256(reinterpret_cast<__m256i*>(p + 32), y);
}

enum class Op { kEncrypt, kDecrypt, kMac };

template <Op kOp>
__attribute__((target("avx2,avx512f,avx512vl"))) void eight_blocks(const void* in, void* out, const gost89_key_t* key,
                                                                   const uint8_t* pairs) {
  const Tables t = load_tables(pairs);
  Keys k = broadcast_keys(key);
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  __m256i a, b;
  load8(p, a, b);
  if (kOp == Op::kMac) {
    __m256i s1, s2;
    load8(q, s1, s2);
    a = _mm256_xor_si256(a, s1);
    b = _mm256_xor_si256(b, s2);
  }
  if (kOp == Op::kEncrypt) {
    forward8(t, k, a, b);
    forward8(t, k, a, b);
    forward8(t, k, a, b);
    backward8(t, k, a, b);
  } else if (kOp == Op::kDecrypt) {
    forward8(t, k, a, b);
    backward8(t, k, a, b);
    backward8(t, k, a, b);
    backward8(t, k, a, b);
  } else {
    forward8(t, k, a, b);
    forward8(t, k, a, b);
  }
  // The newest term is in a: the output block is (b, a) after the 32-round
  // cycles and (a, b) after the MAC cycle.
  if (kOp == Op::kMac)
    store8(q, a, b);
  else
    store8(q, b, a);
  for (auto& w : k.k) w = _mm256_setzero_si256();
  asm volatile("" : : "m"(k) : "memory");
}


// ---- sixteen blocks in 512-bit registers ----

#define VRT_AVX512Z __attribute__((target("avx512f,avx512bw"), always_inline)) inline

struct TablesZ {
  __m512i t0, t1, t2, t3;
  __m512i m0, m01, m2;
  __m512i nib;
};

VRT_AVX512Z TablesZ load_tables_z(const uint8_t* pairs) {
  TablesZ t;
  const auto* pt = reinterpret_cast<const __m128i*>(pairs);
  t.t0 = _mm512_broadcast_i32x4(_mm_loadu_si128(pt));
  t.t1 = _mm512_broadcast_i32x4(_mm_loadu_si128(pt + 1));
  t.t2 = _mm512_broadcast_i32x4(_mm_loadu_si128(pt + 2));
  t.t3 = _mm512_broadcast_i32x4(_mm_loadu_si128(pt + 3));
  t.m0 = _mm512_set1_epi32(static_cast<int>(0xF000000Fu));
  t.m01 = _mm512_set1_epi32(static_cast<int>(0xF0F00F0Fu));
  t.m2 = _mm512_set1_epi32(static_cast<int>(0x000FF000u));
  t.nib = _mm512_set1_epi32(0x0F0F0F0F);
  return t;
}

VRT_AVX512Z __m512i select_z(__m512i c, __m512i a, __m512i b) { return _mm512_ternarylogic_epi32(a, b, c, 0xE4); }

VRT_AVX512Z __m512i round_f_z(const TablesZ& t, __m512i x, __m512i k) {
  x = _mm512_add_epi32(x, k);
  const __m512i lo = _mm512_and_si512(x, t.nib);
  const __m512i hi = _mm512_and_si512(_mm512_srli_epi32(x, 4), t.nib);
  // Bytes 0, 1 of each word from lo and 2, 3 from hi, and the other way.
  const __mmask64 upper = 0xCCCCCCCCCCCCCCCCull;
  const __m512i a = _mm512_mask_blend_epi8(upper, lo, hi);
  const __m512i b = _mm512_mask_blend_epi8(upper, hi, lo);
  const __m512i p01 = select_z(t.m0, _mm512_shuffle_epi8(t.t0, a), _mm512_shuffle_epi8(t.t1, a));
  const __m512i p23 = select_z(t.m2, _mm512_shuffle_epi8(t.t2, b), _mm512_shuffle_epi8(t.t3, b));
  return _mm512_rol_epi32(select_z(t.m01, p01, p23), 11);
}

}  // namespace

extern "C" {

VRT_API __attribute__((target("avx512f,avx512bw"))) void __gost89avx512_encrypt16(const void* in, void* out,
                                                                                   const gost89_key_t* key,
                                                                                   const uint8_t* pairs) {
  const TablesZ t = load_tables_z(pairs);
  uint32_t w[8];
  vrt::gost89::unmask_key(key, w);
  __m512i k[8];
  for (int j = 0; j < 8; ++j) k[j] = _mm512_set1_epi32(static_cast<int>(w[j]));
  vrt_memset_s(w, sizeof w, 0, sizeof w);
  const auto* p = static_cast<const uint8_t*>(in);
  const __m512i x = _mm512_loadu_si512(p), y = _mm512_loadu_si512(p + 64);
  const __m512i even = _mm512_setr_epi32(0, 2, 4, 6, 8, 10, 12, 14, 16, 18, 20, 22, 24, 26, 28, 30);
  const __m512i odd = _mm512_setr_epi32(1, 3, 5, 7, 9, 11, 13, 15, 17, 19, 21, 23, 25, 27, 29, 31);
  __m512i a = _mm512_permutex2var_epi32(x, even, y);  // N1 of the sixteen blocks
  __m512i b = _mm512_permutex2var_epi32(x, odd, y);   // N2
  for (int cycle = 0; cycle < 3; ++cycle)
    for (int j = 0; j < 8; j += 2) {
      b = _mm512_xor_si512(b, round_f_z(t, a, k[j]));
      a = _mm512_xor_si512(a, round_f_z(t, b, k[j + 1]));
    }
  for (int j = 7; j > 0; j -= 2) {
    b = _mm512_xor_si512(b, round_f_z(t, a, k[j]));
    a = _mm512_xor_si512(a, round_f_z(t, b, k[j - 1]));
  }
  // The output block is (b, a): N1 = b, N2 = a.
  const __m512i lo_idx = _mm512_setr_epi32(0, 16, 1, 17, 2, 18, 3, 19, 4, 20, 5, 21, 6, 22, 7, 23);
  const __m512i hi_idx = _mm512_setr_epi32(8, 24, 9, 25, 10, 26, 11, 27, 12, 28, 13, 29, 14, 30, 15, 31);
  auto* q = static_cast<uint8_t*>(out);
  _mm512_storeu_si512(q, _mm512_permutex2var_epi32(b, lo_idx, a));
  _mm512_storeu_si512(q + 64, _mm512_permutex2var_epi32(b, hi_idx, a));
  for (auto& v : k) v = _mm512_setzero_si512();
  asm volatile("" : : "m"(k) : "memory");
}


VRT_API void __gost89avx512_encrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kEncrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx512_decrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kDecrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx512_mac8(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kMac>(in, state, key, pairs);
}

}  // extern "C"
