// Kuznyechik constants. Generated at compile time by make_kuznechik_tables()
// below from pi (src/frame/gost_pi.h), the field polynomial and the sixteen
// coefficients of the linear map l; nothing else is entered by hand.
#pragma once

#include <cstdint>

#include "frame/gost_pi.h"

namespace vrt::cipher15 {

// Byte order: a 128-bit value a15 || ... || a0 of the standard sits in memory
// with a15 at byte 0. A block as words: "left" = bytes 0..7, "right" = bytes
// 8..15, each loaded little-endian (byte p in bits 8p..8p+7 of its word).

// GF(2^8) modulo x^8 + x^7 + x^6 + x + 1.
constexpr uint8_t gf_mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  while (b != 0) {
    if (b & 1) r ^= a;
    const bool carry = (a & 0x80) != 0;
    a = static_cast<uint8_t>(a << 1);
    if (carry) a ^= 0xC3;
    b >>= 1;
  }
  return r;
}

// The coefficients of l in memory order: byte 0 (a15) first.
inline constexpr uint8_t kLCoefficients[16] = {148, 32, 133, 16, 194, 192, 1, 251,
                                               1,   192, 194, 16, 133, 32, 148, 1};

struct Block {
  uint8_t b[16];
};

// R: l of the whole block enters at byte 0, every byte moves one place
// towards byte 15.
constexpr Block r_step(const Block& x) {
  uint8_t l = 0;
  for (int i = 0; i < 16; ++i) l ^= gf_mul(x.b[i], kLCoefficients[i]);
  Block y{};
  y.b[0] = l;
  for (int i = 1; i < 16; ++i) y.b[i] = x.b[i - 1];
  return y;
}

// The inverse of R: bytes 1..15 move back to 0..14 and byte 15 is recovered
// from the l-sum, whose coefficient for byte 15 is 1.
constexpr Block r_inverse_step(const Block& y) {
  Block x{};
  for (int i = 0; i < 15; ++i) x.b[i] = y.b[i + 1];
  uint8_t a0 = y.b[0];
  for (int i = 0; i < 15; ++i) a0 ^= gf_mul(x.b[i], kLCoefficients[i]);
  x.b[15] = a0;
  return x;
}

constexpr Block l_map(Block x) {
  for (int i = 0; i < 16; ++i) x = r_step(x);
  return x;
}

constexpr Block l_inverse_map(Block x) {
  for (int i = 0; i < 16; ++i) x = r_inverse_step(x);
  return x;
}

constexpr uint64_t left_word(const Block& x) {
  uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w |= uint64_t{x.b[i]} << (8 * i);
  return w;
}

constexpr uint64_t right_word(const Block& x) {
  uint64_t w = 0;
  for (int i = 0; i < 8; ++i) w |= uint64_t{x.b[8 + i]} << (8 * i);
  return w;
}

struct KuznechikTables {
  uint8_t pi[256];
  uint8_t pi_inv[256];
  uint8_t l_matrix[16 * 16];      // row p = L(e_p)
  uint8_t l_inv_matrix[16 * 16];  // row p = L^-1(e_p)
  uint8_t exp[256];
  uint8_t log[256];
  uint8_t c[32 * 16];  // C_i = L(Vec128(i)), i = 1..32
  uint64_t c_left[32];
  uint64_t c_right[32];
  // ls[p * 256 + b] = word of L(pi[b] * e_p); ils the same with L^-1 and
  // the inverse substitution.
  uint64_t ls_left[16 * 256];
  uint64_t ls_right[16 * 256];
  uint64_t ils_left[16 * 256];
  uint64_t ils_right[16 * 256];
};

constexpr KuznechikTables make_kuznechik_tables() {
  KuznechikTables t{};
  for (int i = 0; i < 256; ++i) {
    t.pi[i] = kGostPi[i];
    t.pi_inv[kGostPi[i]] = static_cast<uint8_t>(i);
  }
  // L is linear over the field: L(x) = XOR over p of x_p * L(e_p).
  Block rows[16]{}, inv_rows[16]{};
  for (int p = 0; p < 16; ++p) {
    Block e{};
    e.b[p] = 1;
    rows[p] = l_map(e);
    inv_rows[p] = l_inverse_map(e);
    for (int i = 0; i < 16; ++i) {
      t.l_matrix[16 * p + i] = rows[p].b[i];
      t.l_inv_matrix[16 * p + i] = inv_rows[p].b[i];
    }
  }
  uint8_t x = 1;
  for (int i = 0; i < 255; ++i) {
    t.exp[i] = x;
    t.log[x] = static_cast<uint8_t>(i);
    x = gf_mul(x, 2);
  }
  t.exp[255] = 1;
  t.log[0] = 0;
  for (int i = 1; i <= 32; ++i) {
    Block v{};
    v.b[15] = static_cast<uint8_t>(i);
    Block ci = l_map(v);
    for (int k = 0; k < 16; ++k) t.c[16 * (i - 1) + k] = ci.b[k];
    t.c_left[i - 1] = left_word(ci);
    t.c_right[i - 1] = right_word(ci);
  }
  // The 8192 products per table go through the exponent and logarithm
  // tables, which keeps compile-time evaluation short.
  auto mul = [&t](uint8_t a, uint8_t b) -> uint8_t {
    if (a == 0 || b == 0) return 0;
    return t.exp[(t.log[a] + t.log[b]) % 255];
  };
  for (int p = 0; p < 16; ++p) {
    for (int b = 0; b < 256; ++b) {
      Block f{}, g{};
      for (int k = 0; k < 16; ++k) {
        f.b[k] = mul(t.pi[b], rows[p].b[k]);
        g.b[k] = mul(t.pi_inv[b], inv_rows[p].b[k]);
      }
      t.ls_left[256 * p + b] = left_word(f);
      t.ls_right[256 * p + b] = right_word(f);
      t.ils_left[256 * p + b] = left_word(g);
      t.ils_right[256 * p + b] = right_word(g);
    }
  }
  return t;
}

}  // namespace vrt::cipher15
