// The OMAC subkey step of both ciphers: K1 from R = E(0), and K2 from K1,
// each a one-bit left shift of a big-endian block with the field constant
// folded in when the bit shifted out was set.
#include <cstring>

#include "cipher15/internal.h"
#include "frame/ct.h"
#include "vrt.h"

namespace vrt::cipher15 {

void bit_shift_left(uint8_t* buf, size_t count) {
  for (size_t i = 0; i + 1 < count; ++i)
    buf[i] = static_cast<uint8_t>((buf[i] << 1) | (buf[i + 1] >> 7));
  if (count > 0) buf[count - 1] = static_cast<uint8_t>(buf[count - 1] << 1);
}

namespace {

// v = (v << 1) XOR (constant if the top bit of v was set); the subkeys are
// secret, so the constant is applied through a mask, not a branch.
template <size_t N>
void double_block(uint8_t (&v)[N], uint8_t constant) {
  const uint8_t mask = static_cast<uint8_t>(0u - (ct::value_barrier32(v[0] >> 7) & 1u));
  bit_shift_left(v, N);
  v[N - 1] ^= static_cast<uint8_t>(constant & mask);
}

template <size_t N>
void subkey_step(const void* src, void* dst, uint64_t len, uint32_t from_k1, uint8_t constant) {
  uint8_t v[N];
  std::memcpy(v, src, N);
  const bool whole = len % N == 0;
  if (from_k1 == 0) {
    double_block(v, constant);  // K1
    if (!whole) double_block(v, constant);  // K2
    std::memcpy(dst, v, N);
  } else if (!whole) {
    double_block(v, constant);  // K2
    std::memcpy(dst, v, N);
  }
  vrt_memset_s(v, sizeof v, 0, sizeof v);
}

}  // namespace
}  // namespace vrt::cipher15

extern "C" {

VRT_API void gost15KZN_mac_block(const void* src, void* dst, uint64_t len, uint32_t from_k1) {
  vrt::cipher15::subkey_step<16>(src, dst, len, from_k1, 0x87);
}

VRT_API void gost15Magma_mac_block(const void* src, void* dst, uint64_t len, uint32_t from_k1) {
  vrt::cipher15::subkey_step<8>(src, dst, len, from_k1, 0x1B);
}

}  // extern "C"
