// Base64 blocks with AVX2: 24 bytes to 32 characters and back, the vector
// form of the byte-by-byte code in base64.cpp (which handles every block
// these refuse and all the ends).
//
// Encoding splits each 3-byte group into four 6-bit indices with two
// multiplies, then maps index ranges to characters by adding a per-range
// offset (A-Z, a-z, 0-9, '+', '/'). Decoding classifies each character by
// its two nibbles (a block with anything outside the alphabet is left to the
// caller), adds back the per-range offset and packs four 6-bit values into
// three bytes with two multiply-adds.
#include <immintrin.h>

#include "text/internal.h"

#define VRT_AVX2 __attribute__((target("avx2")))

namespace vrt::text {
namespace {

VRT_AVX2 inline __m256i EncodeIndices(__m256i in) {
  // Per lane, bytes 0..11 hold four groups; each 32-bit word receives its
  // group as b1 b0 b2 b1, so that the four indices can be cut out with
  // 16-bit multiplies.
  const __m256i shuf = _mm256_setr_epi8(1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10,  //
                                        1, 0, 2, 1, 4, 3, 5, 4, 7, 6, 8, 7, 10, 9, 11, 10);
  in = _mm256_shuffle_epi8(in, shuf);
  const __m256i t0 = _mm256_and_si256(in, _mm256_set1_epi32(0x0fc0fc00));
  const __m256i t1 = _mm256_mulhi_epu16(t0, _mm256_set1_epi32(0x04000040));
  const __m256i t2 = _mm256_and_si256(in, _mm256_set1_epi32(0x003f03f0));
  const __m256i t3 = _mm256_mullo_epi16(t2, _mm256_set1_epi32(0x01000010));
  return _mm256_or_si256(t1, t3);
}

VRT_AVX2 inline __m256i IndicesToAscii(__m256i idx) {
  // Range number: 13 for 0..25 (A-Z), 0 for 26..51 (a-z), 1..10 for the
  // digits, 11 for '+', 12 for '/'; the table gives each range's offset.
  const __m256i offsets = _mm256_setr_epi8('a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                           '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0,
                                           'a' - 26, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52, '0' - 52,
                                           '0' - 52, '0' - 52, '0' - 52, '0' - 52, '+' - 62, '/' - 63, 'A', 0, 0);
  __m256i range = _mm256_subs_epu8(idx, _mm256_set1_epi8(51));
  const __m256i upper = _mm256_cmpgt_epi8(_mm256_set1_epi8(26), idx);
  range = _mm256_or_si256(range, _mm256_and_si256(upper, _mm256_set1_epi8(13)));
  return _mm256_add_epi8(idx, _mm256_shuffle_epi8(offsets, range));
}

VRT_AVX2 inline void StoreWide(wchar_t* out, __m256i ascii) {
  const __m128i lo = _mm256_castsi256_si128(ascii);
  const __m128i hi = _mm256_extracti128_si256(ascii, 1);
  auto* o = reinterpret_cast<__m256i*>(out);
  _mm256_storeu_si256(o + 0, _mm256_cvtepu8_epi32(lo));
  _mm256_storeu_si256(o + 1, _mm256_cvtepu8_epi32(_mm_srli_si128(lo, 8)));
  _mm256_storeu_si256(o + 2, _mm256_cvtepu8_epi32(hi));
  _mm256_storeu_si256(o + 3, _mm256_cvtepu8_epi32(_mm_srli_si128(hi, 8)));
}

}  // namespace

VRT_AVX2 size_t base64_encode_blocks_avx2(wchar_t* out, const unsigned char* in, size_t in_len) {
  // Each block reads 28 bytes (two 16-byte loads 12 bytes apart) and uses 24.
  size_t done = 0;
  for (; in_len - done >= 28; done += 24, out += 32) {
    const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done));
    const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + done + 12));
    StoreWide(out, IndicesToAscii(EncodeIndices(_mm256_set_m128i(hi, lo))));
  }
  return done;
}

VRT_AVX2 size_t base64_decode_blocks_avx2(unsigned char* out, const wchar_t* in, size_t in_len) {
  // Nibble classes: a character is in the alphabet when the bits its low
  // nibble marks as invalid and the bit of its high nibble do not meet.
  const __m256i lut_lo = _mm256_setr_epi8(0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x13, 0x1A,
                                          0x1B, 0x1B, 0x1B, 0x1A, 0x15, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
                                          0x11, 0x11, 0x13, 0x1A, 0x1B, 0x1B, 0x1B, 0x1A);
  const __m256i lut_hi = _mm256_setr_epi8(0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08, 0x10, 0x10, 0x10, 0x10,
                                          0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x01, 0x02, 0x04, 0x08, 0x04, 0x08,
                                          0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10);
  // Offset back to the 6-bit value per high nibble ('/' takes slot 1).
  const __m256i lut_roll = _mm256_setr_epi8(0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0,  //
                                            0, 16, 19, 4, -65, -65, -71, -71, 0, 0, 0, 0, 0, 0, 0, 0);
  const __m256i nibble = _mm256_set1_epi8(0x0f);
  const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
  const __m256i pick = _mm256_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1,  //
                                        2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m256i gather = _mm256_setr_epi32(0, 1, 2, 4, 5, 6, 3, 7);
  size_t done = 0;
  for (; in_len - done >= 32; done += 32, out += 24) {
    // 32 wide characters to bytes. Saturation turns anything above 0xFF (or
    // negative) into 0xFF or 0, neither of them in the alphabet.
    const auto* p = reinterpret_cast<const __m256i*>(in + done);
    const __m256i ab = _mm256_packus_epi32(_mm256_loadu_si256(p + 0), _mm256_loadu_si256(p + 1));
    const __m256i cd = _mm256_packus_epi32(_mm256_loadu_si256(p + 2), _mm256_loadu_si256(p + 3));
    const __m256i c = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(ab, cd), order);

    const __m256i hi = _mm256_and_si256(_mm256_srli_epi32(c, 4), nibble);
    const __m256i lo = _mm256_and_si256(c, nibble);
    if (!_mm256_testz_si256(_mm256_shuffle_epi8(lut_lo, lo), _mm256_shuffle_epi8(lut_hi, hi))) break;
    const __m256i slash = _mm256_cmpeq_epi8(c, _mm256_set1_epi8('/'));
    const __m256i sextets = _mm256_add_epi8(c, _mm256_shuffle_epi8(lut_roll, _mm256_add_epi8(slash, hi)));

    const __m256i pairs = _mm256_maddubs_epi16(sextets, _mm256_set1_epi32(0x01400140));
    const __m256i words = _mm256_madd_epi16(pairs, _mm256_set1_epi32(0x00011000));
    const __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_shuffle_epi8(words, pick), gather);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm256_castsi256_si128(bytes));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm256_extracti128_si256(bytes, 1));
  }
  return done;
}

}  // namespace vrt::text
