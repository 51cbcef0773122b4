// What the other folders may call in the hash subsystem.
#pragma once

#include <cstdint>

#include "vrt.h"

namespace vrt::hash {

// The Streebog compression g_N(h, m): h = E(LPS(h ^ N), m) ^ h ^ m, all
// values little-endian 64-bit words; h may not alias N or m.
using CompressFn = void (*)(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);

// The compression chosen at initialisation (portable before it).
void streebog_g(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);
CompressFn streebog_compress();

// The variants: eight 2 KB tables, indexed by data; and one on AVX-512 VBMI
// with GFNI, whose byte permutes and affine products take the same time for
// any data. Only call the second where both features are enabled.
void streebog_g_portable(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);
void streebog_g_avx512(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);

// Picks the variant from the enabled processor features; run by library
// initialisation.
void streebog_arch_init(uint32_t cpu_enabled);

// The GOST R 34.11-94 step function H = f(H, M) on the given S-box set, both
// values four little-endian 64-bit words; h may not alias m.
using Gost94StepFn = void (*)(const gost89_sbox_t* sbox, uint64_t h[4], const uint64_t m[4]);

// The variants: the set's expanded tables, indexed by data, the four
// encryptions interleaved; and one with the four in AVX lanes by byte
// shuffles, which takes the same time for any data (only where AVX is
// enabled).
void gost94_step_portable(const gost89_sbox_t* sbox, uint64_t h[4], const uint64_t m[4]);
void gost94_step_avx(const gost89_sbox_t* sbox, uint64_t h[4], const uint64_t m[4]);

// The variant for the enabled processor features, read at every call.
Gost94StepFn gost94_step();

// The operations record of an HMAC identifier, or null.
const hmac_ops_t* hmac_ops_for(uint32_t algorithm);

// An HMAC key set up once for many MACs, as the key derivation functions
// use it: the key block and the chaining values after the padded key
// blocks, and a working hash context. It holds key material: end every use
// with hmac_keyed_wipe.
struct HmacKeyed {
  const hmac_ops_t* ops;
  uint8_t block[64];  // the key block (a long key already hashed)
  uint8_t inner[64];  // chaining value after key ^ ipad
  uint8_t outer[64];  // after key ^ opad
  hmac_ctx_t work;
};

// Sets k up for algorithm (VRT_ALG_HMAC*) and the plain key. Returns 0 or
// VRT_ERROR_UNSUPPORTED.
uint32_t hmac_keyed_init(HmacKeyed* k, uint32_t algorithm, const uint8_t* key, uint64_t key_len);
// The same in three steps, for a caller that writes the key block itself:
// begin clears k and selects the algorithm (0 or VRT_ERROR_UNSUPPORTED);
// then either the caller puts a key of at most k->ops->block_size bytes at
// the start of k->block, or hash_key puts the digest of a longer one there;
// setup computes the chaining values.
uint32_t hmac_keyed_begin(HmacKeyed* k, uint32_t algorithm);
void hmac_keyed_hash_key(HmacKeyed* k, const uint8_t* key, uint64_t key_len);
void hmac_keyed_setup(HmacKeyed* k);
// mac = HMAC(key, a | b | c), k->ops->digest_size bytes; any part may be
// empty (null with length 0). mac may be one of the parts: they are all
// absorbed before it is written.
void hmac_keyed_mac(HmacKeyed* k, const uint8_t* a, uint64_t a_len, const uint8_t* b, uint64_t b_len,
                    const uint8_t* c, uint64_t c_len, uint8_t* mac);
// Overwrites the key block and the key-bearing checksum with random bytes
// and clears the chaining values.
void hmac_keyed_wipe(HmacKeyed* k);

// The largest output length, in bits, that KDF_TREE numbers with an R-byte
// counter (R = 1..4): 256 * (2^(8R) - 1).
uint64_t kdf_tree_max_bits(uint32_t R);

// The decision of a key import: when the tag_len bytes of tag and expected
// agree, copies the n bytes of plain over out; otherwise leaves out as it
// was. Reads and writes every byte the same way in either case, so its time
// depends on neither the tags nor the key. Returns 0 when they agree, else
// VRT_ERROR_FAILED.
uint32_t copy_if_tags_match(uint8_t* out, const uint8_t* plain, uint64_t n, const uint8_t* tag,
                            const uint8_t* expected, uint64_t tag_len);

}  // namespace vrt::hash
