// The scalar scheduled variant. The round keys are unmasked into locals and
// the block is kept in two registers, as in the portable form; each round is
// arranged for a short dependency chain (round_into_scheduled): the tables are
// reached from the address of T0 with constant displacements, and the four
// lookups meet the other half in two pairs, the slowest lookup last.
#include <cstring>

#include "frame/bytes.h"
#include "gost89/gost89_core.h"
#include "vrt.h"

using vrt::load_le32;
using vrt::load_le64;
using vrt::store_le32;
using vrt::store_le64;

extern "C" {

VRT_API void __gost89alu_encrypt_block(const void* in, void* out, const gost89_key_t* key, const uint32_t* tables) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n1 = load_le32(p), n2 = load_le32(p + 4);
  vrt::gost89::encrypt_words<true>(tables, k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  store_le32(q, n1);
  store_le32(q + 4, n2);
}

VRT_API void __gost89alu_decrypt_block(const void* in, void* out, const gost89_key_t* key, const uint32_t* tables) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n1 = load_le32(p), n2 = load_le32(p + 4);
  vrt::gost89::decrypt_words<true>(tables, k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  store_le32(q, n1);
  store_le32(q + 4, n2);
}

VRT_API void __gost89alu_mac_block(const void* in, void* state, const gost89_key_t* key, const uint32_t* tables) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  auto* s = static_cast<uint8_t*>(state);
  uint32_t s1 = load_le32(s) ^ load_le32(p), s2 = load_le32(s + 4) ^ load_le32(p + 4);
  vrt::gost89::mac_words<true>(tables, k, s1, s2);
  store_le32(s, s1);
  store_le32(s + 4, s2);
}

VRT_API void __gost89alu_xor_block(const void* a, const void* b, void* out) {
  store_le64(out, load_le64(a) ^ load_le64(b));
}

VRT_API void __gost89alu_copy_block(const void* src, void* dst) { std::memmove(dst, src, 8); }

}  // extern "C"
