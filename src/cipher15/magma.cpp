// Magma: the GOST R 34.12-2015 64-bit cipher, as the GOST 28147-89 network
// over the tc26 Z set with the byte order of the newer standard.
//
// A Magma block a1 || a0 holds a1 in bytes 0..3 and a0 in bytes 4..7, each
// most significant byte first, and key word Ki comes from key bytes
// 4(i-1)..4(i-1)+3 the same way. The GOST 28147-89 network names the same
// halves N2 = a1 and N1 = a0, with K1..K8 as its key words 0..7, so the
// shared round code serves both once the words are byte-swapped.
#include <cstring>

#include "frame/bytes.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace {

__attribute__((always_inline)) inline void load_key(const void* key, uint32_t k[8]) {
  const auto* p = static_cast<const uint8_t*>(key);
  for (int j = 0; j < 8; ++j) k[j] = vrt::load_be32(p + 4 * j);
}

}  // namespace

extern "C" {

VRT_API void gost15Magma_encrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                       const void*) {
  uint32_t k[8];
  load_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n2 = vrt::load_be32(p), n1 = vrt::load_be32(p + 4);
  vrt::gost89::encrypt_words<true>(vrt::gost89::sbox_tables(sbox), k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  vrt::store_be32(q, n2);
  vrt::store_be32(q + 4, n1);
}

VRT_API void gost15Magma_decrypt_block(const void* in, void* out, const void* key, const gost89_sbox_t* sbox,
                                       const void*) {
  uint32_t k[8];
  load_key(key, k);
  const auto* p = static_cast<const uint8_t*>(in);
  uint32_t n2 = vrt::load_be32(p), n1 = vrt::load_be32(p + 4);
  vrt::gost89::decrypt_words<true>(vrt::gost89::sbox_tables(sbox), k, n1, n2);
  auto* q = static_cast<uint8_t*>(out);
  vrt::store_be32(q, n2);
  vrt::store_be32(q + 4, n1);
}

VRT_API void gost15Magma_xor_block(const void* a, const void* b, void* out) {
  vrt::store_le64(out, vrt::load_le64(a) ^ vrt::load_le64(b));
}

VRT_API void gost15Magma_copy_block(const void* src, void* dst) { std::memmove(dst, src, 8); }

}  // extern "C"
