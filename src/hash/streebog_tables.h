// Streebog constants. Generated at compile time by make_lps_tables() below
// from pi, the byte transposition tau and the matrix A; the matrix and the
// twelve round constants are entered once, as the standard prints them.
#pragma once

#include <cstdint>

#include "frame/bytes.h"
#include "frame/gost_pi.h"

namespace vrt::hash {

// The matrix A of the linear map l, rows A[0] .. A[63] as printed.
inline constexpr uint64_t kStreebogA[64] = {
    0x8e20faa72ba0b470, 0x47107ddd9b505a38, 0xad08b0e0c3282d1c, 0xd8045870ef14980e,
    0x6c022c38f90a4c07, 0x3601161cf205268d, 0x1b8e0b0e798c13c8, 0x83478b07b2468764,
    0xa011d380818e8f40, 0x5086e740ce47c920, 0x2843fd2067adea10, 0x14aff010bdd87508,
    0x0ad97808d06cb404, 0x05e23c0468365a02, 0x8c711e02341b2d01, 0x46b60f011a83988e,
    0x90dab52a387ae76f, 0x486dd4151c3dfdb9, 0x24b86a840e90f0d2, 0x125c354207487869,
    0x092e94218d243cba, 0x8a174a9ec8121e5d, 0x4585254f64090fa0, 0xaccc9ca9328a8950,
    0x9d4df05d5f661451, 0xc0a878a0a1330aa6, 0x60543c50de970553, 0x302a1e286fc58ca7,
    0x18150f14b9ec46dd, 0x0c84890ad27623e0, 0x0642ca05693b9f70, 0x0321658cba93c138,
    0x86275df09ce8aaa8, 0x439da0784e745554, 0xafc0503c273aa42a, 0xd960281e9d1d5215,
    0xe230140fc0802984, 0x71180a8960409a42, 0xb60c05ca30204d21, 0x5b068c651810a89e,
    0x456c34887a3805b9, 0xac361a443d1c8cd2, 0x561b0d22900e4669, 0x2b838811480723ba,
    0x9bcf4486248d9f5d, 0xc3e9224312c8c1a0, 0xeffa11af0964ee50, 0xf97d86d98a327728,
    0xe4fa2054a80b329c, 0x727d102a548b194e, 0x39b008152acb8227, 0x9258048415eb419d,
    0x492c024284fbaec0, 0xaa16012142f35760, 0x550b8e9e21f7a530, 0xa48b474f9ef5dc18,
    0x70a6a56e2440598e, 0x3853dc371220a247, 0x1ca76e95091051ad, 0x0edd37c48a08a6d8,
    0x07e095624504536c, 0x8d70c431ac02a736, 0xc83862965601dd1b, 0x641c314b2b8ee083,
};

// The round constants C1 .. C12 as printed (most significant byte first).
inline constexpr const char* kStreebogCPrinted[12] = {
    "b1085bda1ecadae9ebcb2f81c0657c1f2f6a76432e45d016714eb88d7585c4fc"
    "4b7ce09192676901a2422a08a460d31505767436cc744d23dd806559f2a64507",
    "6fa3b58aa99d2f1a4fe39d460f70b5d7f3feea720a232b9861d55e0f16b50131"
    "9ab5176b12d699585cb561c2db0aa7ca55dda21bd7cbcd56e679047021b19bb7",
    "f574dcac2bce2fc70a39fc286a3d843506f15e5f529c1f8bf2ea7514b1297b7b"
    "d3e20fe490359eb1c1c93a376062db09c2b6f443867adb31991e96f50aba0ab2",
    "ef1fdfb3e81566d2f948e1a05d71e4dd488e857e335c3c7d9d721cad685e353f"
    "a9d72c82ed03d675d8b71333935203be3453eaa193e837f1220cbebc84e3d12e",
    "4bea6bacad4747999a3f410c6ca923637f151c1f1686104a359e35d7800fffbd"
    "bfcd1747253af5a3dfff00b723271a167a56a27ea9ea63f5601758fd7c6cfe57",
    "ae4faeae1d3ad3d96fa4c33b7a3039c02d66c4f95142a46c187f9ab49af08ec6"
    "cffaa6b71c9ab7b40af21f66c2bec6b6bf71c57236904f35fa68407a46647d6e",
    "f4c70e16eeaac5ec51ac86febf240954399ec6c7e6bf87c9d3473e33197a93c9"
    "0992abc52d822c3706476983284a05043517454ca23c4af38886564d3a14d493",
    "9b1f5b424d93c9a703e7aa020c6e41414eb7f8719c36de1e89b4443b4ddbc49a"
    "f4892bcb929b069069d18d2bd1a5c42f36acc2355951a8d9a47f0dd4bf02e71e",
    "378f5a541631229b944c9ad8ec165fde3a7d3a1b258942243cd955b7e00d0984"
    "800a440bdbb2ceb17b2b8a9aa6079c540e38dc92cb1f2a607261445183235adb",
    "abbedea680056f52382ae548b2e4f3f38941e71cff8a78db1fffe18a1b336103"
    "9fe76702af69334b7a1e6c303b7652f43698fad1153bb6c374b4c7fb98459ced",
    "7bcd9ed0efc889fb3002c6cd635afe94d8fa6bbbebab076120018021148466798"
    "a1d71efea48b9caefbacd1d7d476e98dea2594ac06fd85d6bcaa4cd81f32d1b",
    "378ee767f11631bad21380b00449b17acda43c32bcdf1d77f82012d430219f9b"
    "5d80ef9d1891cc86e71da4aa88e12852faf417d5d9b21b9948bc924af11bd720",
};

struct StreebogConstants {
  // lps[j][v]: the contribution of byte value v found in input word j (see
  // make_lps_tables).
  uint64_t lps[8][256];
  // Round constants as little-endian words: c[i][0] holds the least
  // significant eight bytes of C(i+1).
  uint64_t c[12][8];
};

// LPS on a 512-bit value held as eight little-endian words w[0..7] (word k
// holds bytes 8k..8k+7, byte 0 least significant):
//   S replaces every byte by pi;
//   P (tau) transposes the 8x8 byte matrix: new word i, byte j = old word j,
//     byte i;
//   L maps each word x to l(x) = XOR of A[63 - k] over the set bits k of x.
// So output word i = XOR over j of l(pi(byte i of w[j]) << 8j), and one table
// per input word j serves all eight output words:
//   lps[j][v] = l(pi(v) << 8j) = XOR over bits k of pi(v) of A[63 - (8j + k)].
constexpr StreebogConstants make_lps_tables() {
  StreebogConstants t{};
  for (int j = 0; j < 8; ++j) {
    for (int v = 0; v < 256; ++v) {
      uint64_t acc = 0;
      uint8_t s = kGostPi[v];
      for (int k = 0; k < 8; ++k)
        if ((s >> k) & 1) acc ^= kStreebogA[63 - (8 * j + k)];
      t.lps[j][v] = acc;
    }
  }
  // The printed hex is most significant byte first: printed byte p is
  // little-endian byte 63 - p.
  for (int i = 0; i < 12; ++i) {
    const char* hex = kStreebogCPrinted[i];
    for (int p = 0; p < 64; ++p) {
      uint64_t byte = (hex_nibble(hex[2 * p]) << 4) | hex_nibble(hex[2 * p + 1]);
      int le = 63 - p;
      t.c[i][le / 8] |= byte << (8 * (le % 8));
    }
  }
  return t;
}

alignas(64) inline constexpr StreebogConstants kStreebog = make_lps_tables();

}  // namespace vrt::hash
