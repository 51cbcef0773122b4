// The parts of the GOST R 34.11-94 step function f(H, M) that every variant
// shares: key generation, the byte permutation P and the output transform
// with the shift register psi. Values are 256-bit little-endian numbers held
// as four 64-bit words, word 0 the least significant.
#pragma once

#include <emmintrin.h>

#include <cstdint>

#include "frame/bytes.h"

namespace vrt::hash::g94 {

// C3 of the key generation as the standard prints it (C2 = C4 = 0).
inline constexpr auto kC3Bytes =
    vrt::hex_bytes<32>("ff00ffff000000ffff0000ff00ffff0000ff00ff00ff00ffff00ff00ff00ff00", true);

inline uint64_t c3_word(int i) { return vrt::load_le64(kC3Bytes.b + 8 * i); }

// The four W = U ^ V of the key generation, K_j = P(W_j):
// U1 = H, V1 = M; U(j+1) = A(U_j) ^ C(j+1), V(j+1) = A(A(V_j)), where
// A(y4 | y3 | y2 | y1) = (y1 ^ y2) | y4 | y3 | y2 on 64-bit words.
__attribute__((always_inline)) inline void key_words(const uint64_t h[4], const uint64_t m[4], uint64_t w[4][4]) {
  uint64_t u0 = h[0], u1 = h[1], u2 = h[2], u3 = h[3];
  uint64_t v0 = m[0], v1 = m[1], v2 = m[2], v3 = m[3];
  for (int j = 0; j < 4; ++j) {
    if (j > 0) {
      const uint64_t t = u0 ^ u1;  // A(U)
      u0 = u1;
      u1 = u2;
      u2 = u3;
      u3 = t;
      if (j == 2) {
        u0 ^= c3_word(0);
        u1 ^= c3_word(1);
        u2 ^= c3_word(2);
        u3 ^= c3_word(3);
      }
      const uint64_t a = v0 ^ v1, b = v1 ^ v2;  // A(A(V))
      v0 = v2;
      v1 = v3;
      v2 = a;
      v3 = b;
    }
    w[j][0] = u0 ^ v0;
    w[j][1] = u1 ^ v1;
    w[j][2] = u2 ^ v2;
    w[j][3] = u3 ^ v3;
  }
}

// K = P(W) as eight key words: byte 8i + k of W (i = 0..3, k = 0..7) becomes
// byte i of key word k, a transpose of the 4 x 8 byte matrix. Two byte
// interleaves pair words 0, 1 and 2, 3; two 16-bit interleaves finish it.
__attribute__((always_inline)) inline void p_transform(const uint64_t w[4], __m128i& k03, __m128i& k47) {
  const __m128i p01 = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(w[0])),
                                        _mm_cvtsi64_si128(static_cast<long long>(w[1])));
  const __m128i p23 = _mm_unpacklo_epi8(_mm_cvtsi64_si128(static_cast<long long>(w[2])),
                                        _mm_cvtsi64_si128(static_cast<long long>(w[3])));
  k03 = _mm_unpacklo_epi16(p01, p23);
  k47 = _mm_unpackhi_epi16(p01, p23);
}

// psi once: every 16-bit word moves down one place and the new top word is
// y1 ^ y2 ^ y3 ^ y4 ^ y13 ^ y16 (y1 the least significant).
__attribute__((always_inline)) inline void psi1(uint64_t& w0, uint64_t& w1, uint64_t& w2, uint64_t& w3) {
  uint64_t x = w0 ^ (w0 >> 32);
  x ^= x >> 16;
  const uint64_t top = (x ^ w3 ^ (w3 >> 48)) & 0xffff;
  w0 = (w0 >> 16) | (w1 << 48);
  w1 = (w1 >> 16) | (w2 << 48);
  w2 = (w2 >> 16) | (w3 << 48);
  w3 = (w3 >> 16) | (top << 48);
}

// psi four times: the four new words z_k = y_k ^ y_k+1 ^ y_k+2 ^ y_k+3 ^
// y_k+12 ^ y_k+15 (k = 1..4) form one 64-bit word. The y_k+15 terms past y16
// are the new words themselves, so with t_k the other five terms (and y16
// folded into t_1) z_k is the running XOR t_1 ^ ... ^ t_k, two shifts.
__attribute__((always_inline)) inline void psi4(uint64_t& w0, uint64_t& w1, uint64_t& w2, uint64_t& w3) {
  uint64_t t = w0 ^ ((w0 >> 16) | (w1 << 48)) ^ ((w0 >> 32) | (w1 << 32)) ^ ((w0 >> 48) | (w1 << 16)) ^ w3 ^
               (w3 >> 48);
  t ^= t << 16;
  t ^= t << 32;
  w0 = w1;
  w1 = w2;
  w2 = w3;
  w3 = t;
}

// H = psi^61(H ^ psi(M ^ psi^12(S))), S the four ciphertext words.
__attribute__((always_inline)) inline void output_transform(uint64_t h[4], const uint64_t m[4], const uint64_t s[4]) {
  uint64_t w0 = s[0], w1 = s[1], w2 = s[2], w3 = s[3];
  for (int i = 0; i < 3; ++i) psi4(w0, w1, w2, w3);
  w0 ^= m[0];
  w1 ^= m[1];
  w2 ^= m[2];
  w3 ^= m[3];
  psi1(w0, w1, w2, w3);
  w0 ^= h[0];
  w1 ^= h[1];
  w2 ^= h[2];
  w3 ^= h[3];
  for (int i = 0; i < 15; ++i) psi4(w0, w1, w2, w3);
  psi1(w0, w1, w2, w3);
  h[0] = w0;
  h[1] = w1;
  h[2] = w2;
  h[3] = w3;
}

}  // namespace vrt::hash::g94
