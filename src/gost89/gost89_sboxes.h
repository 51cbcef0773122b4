// The built-in GOST 28147-89 substitutions, entered once as published: rows
// K1..K8, each listing K[0], K[1], ..., K[15] in hexadecimal. K1 is S_0, the
// table of the least significant nibble. The packed form every record holds
// is derived from these rows by make_packed() below.
#pragma once

#include <cstdint>

#include "frame/bytes.h"

namespace vrt::gost89 {

using SboxRows = const char* const[8];

// id-GostR3411-94-TestParamSet (RFC 4357; the test set of GOST R 34.11-94).
inline constexpr SboxRows kGostR3411_94_TestParamSet = {
    "4 A 9 2 D 8 0 E 6 B 1 C 7 F 5 3", "E B 4 C 6 D F A 2 3 8 1 0 7 5 9",
    "5 8 1 D A 3 4 2 E F C 7 6 0 9 B", "7 D A 1 0 8 9 F E 4 6 C B 2 5 3",
    "6 C 7 1 5 F D 8 4 A 9 E 0 3 B 2", "4 B A 0 7 2 1 D 3 6 8 5 9 C F E",
    "D B 4 1 3 F 5 9 0 A E 7 6 8 2 C", "1 F D 0 5 7 A 4 9 2 3 E 6 B 8 C",
};

// id-GostR3411-94-CryptoProParamSet (RFC 4357).
inline constexpr SboxRows kGostR3411_94_CryptoProParamSet = {
    "A 4 5 6 8 1 3 7 D C E 0 9 2 B F", "5 F 4 0 2 D B 9 1 7 6 3 C E A 8",
    "7 F C E 9 4 1 0 3 B 5 2 6 A 8 D", "4 A 7 C 0 F 2 8 E 1 6 5 D B 9 3",
    "7 6 4 B 9 C 2 A 1 8 0 E F D 3 5", "7 6 2 4 D 9 F 0 A 1 5 B 8 E C 3",
    "D E 4 1 7 0 5 A 3 C 8 F 6 2 9 B", "1 3 A 9 5 B 4 F 8 6 7 E D 0 2 C",
};

// id-Gost28147-89-TestParamSet (RFC 4357).
inline constexpr SboxRows kGost28147_89_TestParamSet = {
    "4 2 F 5 9 1 0 8 E 3 B C D 7 A 6", "C 9 F E 8 1 3 A 2 7 4 D 6 0 B 5",
    "D 8 E C 7 3 9 A 1 5 2 4 6 F 0 B", "E 9 B 2 5 F 7 1 0 D C 6 A 4 3 8",
    "3 E 5 9 6 8 0 D A B 7 C 2 1 F 4", "8 F 6 B 1 9 C 5 D 3 7 A 0 E 2 4",
    "9 B C 0 3 6 7 5 4 8 E F 1 A 2 D", "C 6 5 2 B 0 9 D 3 E 7 A F 4 1 8",
};

// id-Gost28147-89-CryptoPro-A-ParamSet (RFC 4357).
inline constexpr SboxRows kGost28147_89_CryptoPro_A_ParamSet = {
    "9 6 3 2 8 B 1 7 A 4 E F C 0 D 5", "3 7 E 9 8 A F 0 5 2 6 C B 4 D 1",
    "E 4 6 2 B 3 D 8 C F 5 A 0 7 1 9", "E 7 A C D 1 3 9 0 2 B 4 F 8 5 6",
    "B 5 1 9 8 D F 0 E 4 2 3 C 7 A 6", "3 A D C 1 2 0 B 7 5 9 4 8 F E 6",
    "1 D 2 9 7 A 6 0 8 C 4 5 F 3 B E", "B A F 5 0 C E 8 6 2 3 9 1 7 D 4",
};

// id-Gost28147-89-CryptoPro-B-ParamSet (RFC 4357).
inline constexpr SboxRows kGost28147_89_CryptoPro_B_ParamSet = {
    "8 4 B 1 3 5 0 9 2 E A C D 6 7 F", "0 1 2 A 4 D 5 C 9 7 3 F B 8 6 E",
    "E C 0 A 9 2 D B 7 5 8 F 3 6 1 4", "7 5 0 D B 6 1 2 3 A C F 4 E 9 8",
    "2 7 C F 9 5 A B 1 4 0 D 6 8 E 3", "8 3 2 6 4 D E B C 1 7 F A 0 9 5",
    "5 2 A B 9 1 C 3 7 4 D 0 6 F 8 E", "0 4 B E 8 3 7 1 A 2 9 6 F D 5 C",
};

// id-Gost28147-89-CryptoPro-C-ParamSet (RFC 4357).
inline constexpr SboxRows kGost28147_89_CryptoPro_C_ParamSet = {
    "1 B C 2 9 D 0 F 4 5 8 E A 7 6 3", "0 1 7 D B 4 5 2 8 E F C 9 A 6 3",
    "8 2 5 0 4 9 F A 3 7 C D 6 E 1 B", "3 6 0 1 5 D A 8 B 2 9 7 E F C 4",
    "8 D B 0 4 5 1 2 9 3 C E 6 F A 7", "C 9 B 1 8 E 2 4 7 3 6 5 A 0 F D",
    "A 9 6 8 D E 2 0 F 3 5 B 4 1 C 7", "7 4 0 5 A 2 F E C 6 1 B D 9 3 8",
};

// id-Gost28147-89-CryptoPro-D-ParamSet (RFC 4357).
inline constexpr SboxRows kGost28147_89_CryptoPro_D_ParamSet = {
    "F C 2 A 6 4 5 0 7 9 E D 1 B 8 3", "B 6 3 4 C F E 2 7 D 8 0 5 A 9 1",
    "1 C B 0 F E 6 5 A D 4 8 9 3 7 2", "1 5 E C A 7 0 D 6 2 B 4 9 3 F 8",
    "0 C 8 9 D 2 A B 7 3 6 5 4 E F 1", "8 0 F 3 2 5 E B 1 A 4 7 C 9 D 6",
    "3 0 6 F 1 E 9 2 D 8 C 4 B A 5 7", "1 A 6 8 F B 0 4 C 3 5 9 7 D 2 E",
};

// id-tc26-gost-28147-param-Z (RFC 7836): pi_0 .. pi_7 of GOST R 34.12-2015.
inline constexpr SboxRows kTc26Gost28147ParamZ = {
    "C 4 6 2 A 5 B 9 E 8 D 7 0 3 F 1", "6 8 2 3 9 A 5 C 1 E 4 7 B D 0 F",
    "B 3 5 8 2 F A D E 1 7 4 C 9 6 0", "C 8 2 1 D 4 F 6 7 0 A 5 3 E 9 B",
    "7 F 5 A 8 1 6 D 0 9 3 E B 4 2 C", "5 D F 6 9 2 C A B 7 8 1 4 3 E 0",
    "8 E 2 5 6 9 1 C F 4 B 0 D A 3 7", "1 7 E D 0 5 8 3 4 F A 6 9 C B 2",
};

// The library's own sets.
inline constexpr SboxRows kNvqA = {
    "6 2 5 3 9 C 7 A 8 B D 1 4 F 0 E", "7 D 2 0 9 6 F C 5 B 8 3 4 E A 1",
    "7 4 B F 8 D 6 A 2 5 1 C 3 0 9 E", "B E 5 6 C 0 F 3 8 1 9 4 A 7 2 D",
    "D E 7 8 B C 1 3 4 2 9 F 0 A 5 6", "0 E F A 8 D 1 7 4 C 2 5 B 6 9 3",
    "4 D A 7 1 E 8 3 6 2 9 B F C 5 0", "6 1 3 8 F C 9 2 A 5 7 D E 0 4 B",
};

inline constexpr SboxRows kNvq003 = {
    "2 7 B A E D 3 5 6 F 8 C 4 0 1 9", "3 6 B 9 C 0 F 8 5 E 1 2 7 D A 4",
    "5 E 9 0 B 4 8 D 7 3 2 A F C 1 6", "A F C 5 6 B 2 7 D 0 4 8 3 1 E 9",
    "6 0 2 9 1 7 C 5 8 A F 4 D 3 E B", "1 B C 5 2 D 0 8 3 9 F A 6 4 7 E",
    "D 4 8 7 3 B C A 9 2 F 0 5 1 E 6", "3 0 B 6 F A 1 9 E C 5 2 7 D 8 4",
};

inline constexpr SboxRows kNvq006 = {
    "D 2 3 0 B C 9 5 8 6 1 A 4 F 7 E", "8 7 D 1 4 A 9 6 0 3 B E 5 C 2 F",
    "1 F 4 B 9 0 6 C 7 3 E D A 5 2 8", "2 5 7 E 8 D A 4 3 B 9 6 C 0 F 1",
    "1 9 0 6 B 4 7 3 A D E 8 2 5 F C", "1 C 5 B 6 4 F 0 3 8 D E 9 A 2 7",
    "1 E 6 B C 8 5 9 0 3 A 4 7 2 F D", "D E C 0 5 1 6 3 B 8 4 F 2 A 9 7",
};

// One published row as sixteen values; any other spelling fails to compile.
struct Row {
  uint8_t v[16];
};

constexpr Row parse_row(const char* s) {
  Row r{};
  int n = 0;
  for (int i = 0; s[i] != '\0'; ++i) {
    if (s[i] == ' ') continue;
    if (n == 16) throw "more than sixteen entries in an S-box row";
    r.v[n++] = hex_nibble(s[i]);
  }
  if (n != 16) throw "fewer than sixteen entries in an S-box row";
  return r;
}

struct Packed {
  uint8_t b[64];
};

// Byte 4r + c: S_2c[r] in the low nibble, S_2c+1[r] in the high nibble.
constexpr Packed make_packed(SboxRows& rows) {
  Packed p{};
  for (int c = 0; c < 4; ++c) {
    const Row lo = parse_row(rows[2 * c]);
    const Row hi = parse_row(rows[2 * c + 1]);
    for (int r = 0; r < 16; ++r) p.b[4 * r + c] = static_cast<uint8_t>(lo.v[r] | (hi.v[r] << 4));
  }
  return p;
}

}  // namespace vrt::gost89
