// The parts of the GOST 28147-89 round code that only its own block
// operations use: key unmasking and the MAC cycle. The round network itself
// is in gost89/internal.h, which Magma shares.
#pragma once

#include <cstdint>

#include "gost89/internal.h"
#include "vrt.h"

namespace vrt::gost89 {

// The eight round-key words of a key record, unmasked into locals.
__attribute__((always_inline)) inline void unmask_key(const gost89_key_t* key, uint32_t k[8]) {
  const uint32_t flags = key->flags;
  if (flags & GOST89_KEY_XOR) {
    for (int j = 0; j < 8; ++j) k[j] = key->key[j] ^ key->mask[j];
  } else if (flags & GOST89_KEY_ADD) {
    if (flags & GOST89_KEY_REVERSED) {
      for (int j = 0; j < 8; ++j) k[j] = __builtin_bswap32(key->key[7 - j] - key->mask[7 - j]);
    } else {
      for (int j = 0; j < 8; ++j) k[j] = key->key[j] - key->mask[j];
    }
  } else {
    for (int j = 0; j < 8; ++j) k[j] = key->key[j];
  }
}

// The 16-round cycle on the state (S1, S2) after it took in the block:
// x0 = S2, x1 = S1, and the new state is (x17, x16).
template <bool kScheduled = false>
__attribute__((always_inline)) inline void mac_words(const uint32_t* t, const uint32_t k[8], uint32_t& s1,
                                                     uint32_t& s2) {
  uint32_t a = s1, b = s2;
  VRT_G89_FORWARD8(t, a, b, k);
  VRT_G89_FORWARD8(t, a, b, k);
  s1 = a;
  s2 = b;
}

}  // namespace vrt::gost89
