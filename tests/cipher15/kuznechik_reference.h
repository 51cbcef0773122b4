// A slow, direct Kuznyechik for the tests: the field by shift and reduce, R
// and its inverse byte by byte, L as sixteen R steps, and the cipher as the
// X, S and L steps of each round. It shares nothing with the library but pi.
#pragma once

#include <array>
#include <cstdint>

#include "vrt.h"

namespace vrt::test::kz {

using Block = std::array<uint8_t, 16>;

inline uint8_t Mul(uint8_t a, uint8_t b) {
  uint8_t r = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & 1) r ^= a;
    a = static_cast<uint8_t>((a << 1) ^ ((a & 0x80) ? 0xC3 : 0));
    b >>= 1;
  }
  return r;
}

// l in the standard's notation, over a15 .. a0 = bytes 0 .. 15.
inline uint8_t LinearL(const Block& a) {
  static const uint8_t kCoef[16] = {148, 32, 133, 16, 194, 192, 1, 251, 1, 192, 194, 16, 133, 32, 148, 1};
  uint8_t r = 0;
  for (int i = 0; i < 16; ++i) r ^= Mul(a[i], kCoef[i]);
  return r;
}

inline Block R(const Block& a) {
  Block b{};
  b[0] = LinearL(a);
  for (int i = 1; i < 16; ++i) b[i] = a[i - 1];
  return b;
}

inline Block RInverse(const Block& b) {
  Block a{};
  for (int i = 0; i < 15; ++i) a[i] = b[i + 1];
  a[15] = 0;
  a[15] = static_cast<uint8_t>(b[0] ^ LinearL(a));  // coefficient of a0 is 1
  return a;
}

inline Block L(Block a) {
  for (int i = 0; i < 16; ++i) a = R(a);
  return a;
}

inline Block LInverse(Block a) {
  for (int i = 0; i < 16; ++i) a = RInverse(a);
  return a;
}

inline Block S(Block a) {
  for (auto& x : a) x = Pi[x];
  return a;
}

inline Block SInverse(Block a) {
  for (auto& x : a) {
    int v = 0;
    while (Pi[v] != x) ++v;
    x = static_cast<uint8_t>(v);
  }
  return a;
}

inline Block Xor(Block a, const Block& b) {
  for (int i = 0; i < 16; ++i) a[i] ^= b[i];
  return a;
}

inline Block FromBytes(const uint8_t* p) {
  Block b;
  for (int i = 0; i < 16; ++i) b[i] = p[i];
  return b;
}

// The ten round keys of the standard's Feistel schedule.
inline std::array<Block, 10> Schedule(const uint8_t key[32]) {
  std::array<Block, 10> k;
  k[0] = FromBytes(key);
  k[1] = FromBytes(key + 16);
  for (int j = 0; j < 4; ++j) {
    Block a1 = k[2 * j], a0 = k[2 * j + 1];
    for (int r = 1; r <= 8; ++r) {
      Block c{};
      c[15] = static_cast<uint8_t>(8 * j + r);
      Block t = Xor(L(S(Xor(a1, L(c)))), a0);
      a0 = a1;
      a1 = t;
    }
    k[2 * j + 2] = a1;
    k[2 * j + 3] = a0;
  }
  return k;
}

inline Block Encrypt(const uint8_t key[32], Block x) {
  auto k = Schedule(key);
  for (int i = 0; i < 9; ++i) x = L(S(Xor(x, k[i])));
  return Xor(x, k[9]);
}

inline Block Decrypt(const uint8_t key[32], Block x) {
  auto k = Schedule(key);
  x = Xor(x, k[9]);
  for (int i = 8; i >= 0; --i) x = Xor(SInverse(LInverse(x)), k[i]);
  return x;
}

}  // namespace vrt::test::kz
