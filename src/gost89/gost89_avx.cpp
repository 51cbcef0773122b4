// The AVX variant: the substitution of four 32-bit words at once by 16-entry
// byte shuffles of the four nibble-pair tables, so no memory access depends
// on data.
//
// For a word a: lo = a & 0x0F0F0F0F holds nibbles 0, 2, 4, 6 in bytes 0..3,
// hi = (a >> 4) & 0x0F0F0F0F nibbles 1, 3, 5, 7. Index vector A takes bytes
// 0, 1 of lo and 2, 3 of hi (nibbles 0, 2, 5, 7), B the other halves
// (nibbles 1, 3, 4, 6). Table m holds S_2m in its low and S_7-2m in its high
// nibbles, so shuffling table 0 by A and keeping (0x0F, 0, 0, 0xF0) gives
// S0 of nibble 0 and S7 of nibble 7, table 1 by A under (0, 0x0F, 0xF0, 0)
// gives S2 and S5, table 2 by B under (0, 0xF0, 0x0F, 0) S3 and S4, table 3
// by B under (0xF0, 0, 0, 0x0F) S1 and S6. Their OR is S(a).
//
// The single-block forms run one block with its words broadcast to all four
// positions; the eight-block forms run blocks 0..3 and 4..7 as two vectors,
// every round key broadcast.
#include <immintrin.h>

#include "frame/bytes.h"
#include "gost89/gost89_core.h"
#include "vrt.h"

#define VRT_AVX __attribute__((target("avx"), always_inline)) inline

namespace {

struct Tables {
  __m128i t0, t1, t2, t3;
  __m128i m0, m1, m2, m3;
  __m128i nib;
};

// Loads the four tables (and the masks) into registers for the whole call.
VRT_AVX Tables avx_load(const uint8_t* pairs) {
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

// f(x) = ROTL32(S(x + k), 11) on four words.
VRT_AVX __m128i round_f(const Tables& t, __m128i x, __m128i k) {
  x = _mm_add_epi32(x, k);
  const __m128i lo = _mm_and_si128(x, t.nib);
  const __m128i hi = _mm_and_si128(_mm_srli_epi32(x, 4), t.nib);
  const __m128i a = _mm_blend_epi16(lo, hi, 0xAA);
  const __m128i b = _mm_blend_epi16(hi, lo, 0xAA);
  __m128i s = _mm_and_si128(_mm_shuffle_epi8(t.t0, a), t.m0);
  s = _mm_or_si128(s, _mm_and_si128(_mm_shuffle_epi8(t.t1, a), t.m1));
  s = _mm_or_si128(s, _mm_and_si128(_mm_shuffle_epi8(t.t2, b), t.m2));
  s = _mm_or_si128(s, _mm_and_si128(_mm_shuffle_epi8(t.t3, b), t.m3));
  return _mm_or_si128(_mm_slli_epi32(s, 11), _mm_srli_epi32(s, 21));
}

// The round keys, each broadcast to four positions.
struct Keys {
  __m128i k[8];
};

VRT_AVX Keys broadcast_keys(const gost89_key_t* key) {
  uint32_t w[8];
  vrt::gost89::unmask_key(key, w);
  Keys k;
  for (int j = 0; j < 8; ++j) k.k[j] = _mm_set1_epi32(static_cast<int>(w[j]));
  return k;
}

// The three cycles on any number of independent vector pairs (a = N1 side,
// b = N2 side); see gost89/internal.h for the naming.
template <int V>
VRT_AVX void forward8(const Tables& t, const Keys& k, __m128i (&a)[V], __m128i (&b)[V]) {
  for (int j = 0; j < 8; j += 2) {
    for (int v = 0; v < V; ++v) b[v] = _mm_xor_si128(b[v], round_f(t, a[v], k.k[j]));
    for (int v = 0; v < V; ++v) a[v] = _mm_xor_si128(a[v], round_f(t, b[v], k.k[j + 1]));
  }
}

template <int V>
VRT_AVX void backward8(const Tables& t, const Keys& k, __m128i (&a)[V], __m128i (&b)[V]) {
  for (int j = 7; j > 0; j -= 2) {
    for (int v = 0; v < V; ++v) b[v] = _mm_xor_si128(b[v], round_f(t, a[v], k.k[j]));
    for (int v = 0; v < V; ++v) a[v] = _mm_xor_si128(a[v], round_f(t, b[v], k.k[j - 1]));
  }
}

template <int V>
VRT_AVX void encrypt_vectors(const Tables& t, const Keys& k, __m128i (&a)[V], __m128i (&b)[V]) {
  forward8<V>(t, k, a, b);
  forward8<V>(t, k, a, b);
  forward8<V>(t, k, a, b);
  backward8<V>(t, k, a, b);
}

template <int V>
VRT_AVX void decrypt_vectors(const Tables& t, const Keys& k, __m128i (&a)[V], __m128i (&b)[V]) {
  forward8<V>(t, k, a, b);
  backward8<V>(t, k, a, b);
  backward8<V>(t, k, a, b);
  backward8<V>(t, k, a, b);
}

template <int V>
VRT_AVX void mac_vectors(const Tables& t, const Keys& k, __m128i (&a)[V], __m128i (&b)[V]) {
  forward8<V>(t, k, a, b);
  forward8<V>(t, k, a, b);
}

// Four blocks (32 bytes) as a vector of their N1 words and one of their N2
// words, and back.
VRT_AVX void load4(const uint8_t* p, __m128i& n1, __m128i& n2) {
  const __m128 x = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)));
  const __m128 y = _mm_castsi128_ps(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16)));
  n1 = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(2, 0, 2, 0)));
  n2 = _mm_castps_si128(_mm_shuffle_ps(x, y, _MM_SHUFFLE(3, 1, 3, 1)));
}

VRT_AVX void store4(uint8_t* p, __m128i n1, __m128i n2) {
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p), _mm_unpacklo_epi32(n1, n2));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 16), _mm_unpackhi_epi32(n1, n2));
}

enum class Op { kEncrypt, kDecrypt, kMac };

template <Op kOp>
__attribute__((target("avx"))) void one_block(const void* in, void* out, const gost89_key_t* key,
                                               const uint8_t* pairs) {
  const Tables t = avx_load(pairs);
  const Keys k = broadcast_keys(key);
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  uint32_t w1 = vrt::load_le32(p), w2 = vrt::load_le32(p + 4);
  if (kOp == Op::kMac) {
    w1 ^= vrt::load_le32(q);
    w2 ^= vrt::load_le32(q + 4);
  }
  __m128i a[1] = {_mm_set1_epi32(static_cast<int>(w1))};
  __m128i b[1] = {_mm_set1_epi32(static_cast<int>(w2))};
  if (kOp == Op::kEncrypt) encrypt_vectors<1>(t, k, a, b);
  if (kOp == Op::kDecrypt) decrypt_vectors<1>(t, k, a, b);
  if (kOp == Op::kMac) mac_vectors<1>(t, k, a, b);
  // The cycles leave the newest term in a: the output block is (b, a) after
  // the 32-round cycles and (a, b) after the MAC cycle.
  const uint32_t ra = static_cast<uint32_t>(_mm_cvtsi128_si32(a[0]));
  const uint32_t rb = static_cast<uint32_t>(_mm_cvtsi128_si32(b[0]));
  vrt::store_le32(q, kOp == Op::kMac ? ra : rb);
  vrt::store_le32(q + 4, kOp == Op::kMac ? rb : ra);
}

template <Op kOp>
__attribute__((target("avx"))) void eight_blocks(const void* in, void* out, const gost89_key_t* key,
                                                 const uint8_t* pairs) {
  const Tables t = avx_load(pairs);
  const Keys k = broadcast_keys(key);
  const auto* p = static_cast<const uint8_t*>(in);
  auto* q = static_cast<uint8_t*>(out);
  __m128i a[2], b[2];
  load4(p, a[0], b[0]);
  load4(p + 32, a[1], b[1]);
  if (kOp == Op::kMac) {
    __m128i s1, s2;
    load4(q, s1, s2);
    a[0] = _mm_xor_si128(a[0], s1);
    b[0] = _mm_xor_si128(b[0], s2);
    load4(q + 32, s1, s2);
    a[1] = _mm_xor_si128(a[1], s1);
    b[1] = _mm_xor_si128(b[1], s2);
  }
  if (kOp == Op::kEncrypt) encrypt_vectors<2>(t, k, a, b);
  if (kOp == Op::kDecrypt) decrypt_vectors<2>(t, k, a, b);
  if (kOp == Op::kMac) mac_vectors<2>(t, k, a, b);
  if (kOp == Op::kMac) {
    store4(q, a[0], b[0]);
    store4(q + 32, a[1], b[1]);
  } else {
    store4(q, b[0], a[0]);
    store4(q + 32, b[1], a[1]);
  }
}

}  // namespace

extern "C" {

VRT_API void __gost89avx_encrypt_block(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  one_block<Op::kEncrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx_decrypt_block(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  one_block<Op::kDecrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx_mac_block(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs) {
  one_block<Op::kMac>(in, state, key, pairs);
}

VRT_API void __gost89avx_encrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kEncrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx_decrypt8(const void* in, void* out, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kDecrypt>(in, out, key, pairs);
}

VRT_API void __gost89avx_mac8(const void* in, void* state, const gost89_key_t* key, const uint8_t* pairs) {
  eight_blocks<Op::kMac>(in, state, key, pairs);
}

}  // extern "C"
