// What the other folders may call in the GOST 28147-89 subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

namespace vrt::gost89 {

// Expansions of S-box sets done in this process, built-in and caller sets
// alike (read by the tests to see that a set is expanded exactly once).
uint64_t sbox_expansions();

// The expanded tables T0..T3 of a set as one array of 1024 words.
inline const uint32_t* sbox_tables(const gost89_sbox_t* sbox) { return &sbox->tables[0][0]; }

// Whether __gost89avx512_encrypt16 may run here; set with the records at
// initialisation.
bool sixteen_blocks();

// The round network on scalar words, shared by the portable and scalar
// scheduled block operations and by Magma.
//
// Notation: the standard's sequence x0 = N2, x1 = N1, x(r+1) = x(r-1) XOR
// f(x(r) + K(s_r)). The network keeps the last two terms in a and b (a the
// odd terms, b the even ones), so each round updates one of them and no swap
// is ever done: after an even number of rounds a holds the newest term.

// f(x) = ROTL32(S(x), 11) from the four expanded tables at t (t[0..1023]):
// the rotation and the nibble positions are folded into the tables.
__attribute__((always_inline)) inline uint32_t round_f(const uint32_t* t, uint32_t x) {
  return t[x & 255] ^ t[256 + ((x >> 8) & 255)] ^ t[512 + ((x >> 16) & 255)] ^ t[768 + (x >> 24)];
}

// MemorySanitizer takes what an asm statement writes as initialised; the
// plain form keeps the shadow of the index bytes.
#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#define VRT_G89_MSAN 1
#endif
#endif
#ifndef VRT_G89_MSAN
#define VRT_G89_MSAN 0
#endif

// b ^= f(x) arranged for the shortest chain from one round to the next: the
// tables as rows of 256, so each row is a constant displacement from one
// base register; bytes 0 and 1 come straight out of the low word (the
// second through the high-byte register form, with no copy between it and
// the load), byte 3 by one shift and byte 2, the only one that takes two
// steps, last. Its lookup then meets the sum last: b ^ (T0 ^ T1), then that
// ^ (T3 ^ T2). The barriers keep the compiler from rebuilding a longer
// chain of XORs.
__attribute__((always_inline)) inline void round_into_scheduled(const uint32_t* t, uint32_t& b, uint32_t x) {
  const auto* rows = reinterpret_cast<const uint32_t(*)[256]>(t);
#if defined(__x86_64__) && !VRT_G89_MSAN
  uint64_t i0, i1;
  __asm__("movzbl %b1, %k0" : "=r"(i0) : "Q"(x));
  __asm__("movzbl %h1, %k0" : "=Q"(i1) : "Q"(x));
#else
  const uint64_t i0 = x & 255, i1 = (x >> 8) & 255;
#endif
  uint32_t u = rows[0][i0] ^ rows[1][i1];
  uint32_t v = rows[3][x >> 24] ^ rows[2][(x >> 16) & 255];
  __asm__("" : "+r"(u), "+r"(v));
  uint32_t w = b ^ u;
  __asm__("" : "+r"(w));
  b = w ^ v;
}

template <bool kScheduled>
__attribute__((always_inline)) inline void round_into(const uint32_t* t, uint32_t& b, uint32_t x) {
  if (kScheduled)
    round_into_scheduled(t, b, x);
  else
    b ^= round_f(t, x);
}

#define VRT_G89_PAIR(t, a, b, k, i, j)                                 \
  do {                                                                 \
    ::vrt::gost89::round_into<kScheduled>(t, (b), (a) + (k)[i]);       \
    ::vrt::gost89::round_into<kScheduled>(t, (a), (b) + (k)[j]);       \
  } while (0)
#define VRT_G89_FORWARD8(t, a, b, k) \
  VRT_G89_PAIR(t, a, b, k, 0, 1);    \
  VRT_G89_PAIR(t, a, b, k, 2, 3);    \
  VRT_G89_PAIR(t, a, b, k, 4, 5);    \
  VRT_G89_PAIR(t, a, b, k, 6, 7)
#define VRT_G89_BACKWARD8(t, a, b, k) \
  VRT_G89_PAIR(t, a, b, k, 7, 6);     \
  VRT_G89_PAIR(t, a, b, k, 5, 4);     \
  VRT_G89_PAIR(t, a, b, k, 3, 2);     \
  VRT_G89_PAIR(t, a, b, k, 1, 0)

// The 32-round cycles on (N1, N2); the result is (N1, N2) of the output.
template <bool kScheduled = false>
__attribute__((always_inline)) inline void encrypt_words(const uint32_t* t, const uint32_t k[8], uint32_t& n1,
                                                         uint32_t& n2) {
  uint32_t a = n1, b = n2;
  VRT_G89_FORWARD8(t, a, b, k);
  VRT_G89_FORWARD8(t, a, b, k);
  VRT_G89_FORWARD8(t, a, b, k);
  VRT_G89_BACKWARD8(t, a, b, k);
  n1 = b;
  n2 = a;
}

template <bool kScheduled = false>
__attribute__((always_inline)) inline void decrypt_words(const uint32_t* t, const uint32_t k[8], uint32_t& n1,
                                                         uint32_t& n2) {
  uint32_t a = n1, b = n2;
  VRT_G89_FORWARD8(t, a, b, k);
  VRT_G89_BACKWARD8(t, a, b, k);
  VRT_G89_BACKWARD8(t, a, b, k);
  VRT_G89_BACKWARD8(t, a, b, k);
  n1 = b;
  n2 = a;
}

}  // namespace vrt::gost89
