// The portable block operations: one block, and eight blocks through the
// single-block record in use.
#include <cstring>

#include "frame/bytes.h"
#include "gost89/gost89_core.h"
#include "gost89/internal.h"
#include "vrt.h"

using vrt::load_le32;
using vrt::load_le64;
using vrt::store_le32;
using vrt::store_le64;

extern "C" {

VRT_API void gost89_encrypt_block(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n1 = load_le32(p), n2 = load_le32(p + 4);
  vrt::gost89::encrypt_words(vrt::gost89::sbox_tables(sbox), k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  store_le32(q, n1);
  store_le32(q + 4, n2);
}

VRT_API void gost89_decrypt_block(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n1 = load_le32(p), n2 = load_le32(p + 4);
  vrt::gost89::decrypt_words(vrt::gost89::sbox_tables(sbox), k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  store_le32(q, n1);
  store_le32(q + 4, n2);
}

VRT_API void gost89_mac_block(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  uint32_t k[8];
  vrt::gost89::unmask_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  auto* s = static_cast<uint8_t*>(state);
  uint32_t s1 = load_le32(s) ^ load_le32(p), s2 = load_le32(s + 4) ^ load_le32(p + 4);
  vrt::gost89::mac_words(vrt::gost89::sbox_tables(sbox), k, s1, s2);
  store_le32(s, s1);
  store_le32(s + 4, s2);
}

VRT_API void gost89_xor_block(const void* a, const void* b, void* out) {
  store_le64(out, load_le64(a) ^ load_le64(b));
}

VRT_API void gost89_copy_block(const void* src, void* dst) { std::memmove(dst, src, 8); }

VRT_API void gost89_encrypt_block8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  const gost89_block_fn f = vrtpGost89AlgG1ptr->encrypt.gost89;
  for (int i = 0; i < 8; ++i) f(static_cast<const uint8_t*>(in) + 8 * i, static_cast<uint8_t*>(out) + 8 * i, key + i, sbox);
}

VRT_API void gost89_decrypt_block8(const void* in, void* out, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  const gost89_block_fn f = vrtpGost89AlgG1ptr->decrypt.gost89;
  for (int i = 0; i < 8; ++i) f(static_cast<const uint8_t*>(in) + 8 * i, static_cast<uint8_t*>(out) + 8 * i, key + i, sbox);
}

VRT_API void gost89_mac_block8(const void* in, void* state, const gost89_key_t* key, const gost89_sbox_t* sbox) {
  const gost89_block_fn f = vrtpGost89AlgG1ptr->mac_block.gost89;
  for (int i = 0; i < 8; ++i) f(static_cast<const uint8_t*>(in) + 8 * i, static_cast<uint8_t*>(state) + 8 * i, key + i, sbox);
}

VRT_API void gost89_xor_block8(const void* a, const void* b, void* out) {
  for (int i = 0; i < 8; ++i) gost89_xor_block(static_cast<const uint8_t*>(a) + 8 * i, static_cast<const uint8_t*>(b) + 8 * i, static_cast<uint8_t*>(out) + 8 * i);
}

VRT_API void gost89_copy_block8(const void* src, void* dst) { std::memmove(dst, src, 64); }

}  // extern "C"
