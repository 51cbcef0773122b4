// The MGM context and what the rest of the library (and the tests) may call
// in the MGM code.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

// State bits: which stream is open and which counter still has to be started
// by the piece that is running. The "start" bits live only inside one call;
// between calls a context holds none, one of the four "open" bits, or none
// at all (no stream).
namespace vrt::cipher15::mgm_state {
constexpr uint32_t kEncAadStart = 2;
constexpr uint32_t kEncAad = 4;
constexpr uint32_t kEncTextStart = 8;
constexpr uint32_t kEncText = 16;
constexpr uint32_t kDecAadStart = 32;
constexpr uint32_t kDecAad = 64;
constexpr uint32_t kDecTextStart = 128;
constexpr uint32_t kDecText = 256;
constexpr uint32_t kEncStream = kEncAadStart | kEncAad | kEncTextStart | kEncText;
constexpr uint32_t kDecStream = kDecAadStart | kDecAad | kDecTextStart | kDecText;
}  // namespace vrt::cipher15::mgm_state

// One heap block: this header, then the work area (aligned to 16). The
// unmasked key lives in key_buf and the Kuznyechik schedule in round_keys
// only for the length of one call.
struct AeadCtx {
  uint32_t state;                // mgm_state bits
  uint64_t block_size;           // n: 16 or 8, fixed at allocation
  const vrt_aead_alg_t* alg;     // null until initialised
  AeadVec* text_vec;             // descriptors of the current call
  AeadVec* aad_vec;
  uint64_t vec_count;
  uint32_t skipped, finished, partial;
  // Block buffers in the work area, n bytes each.
  uint8_t* in_block;             // scratch: a padded last block, a length block
  uint8_t* out_block;            // scratch: key stream
  uint8_t* z;                    // authentication counter
  uint8_t* y;                    // encryption counter
  uint8_t* h;                    // scratch: H_i and products
  uint8_t* sum;                  // running sum; the tag once a message is done
  uint8_t* nonce_y;              // 0 || ICN
  uint8_t* nonce_z;              // 1 || ICN
  uint8_t nonce_y_buf[16];
  uint8_t nonce_z_buf[16];
  uint8_t tail[16];              // the held-back last 1..n bytes of the stream
  uint8_t tail_len;
  uint64_t text_total;           // text bytes accepted in this message
  uint64_t aad_total;            // associated-data bytes accepted
  uint8_t expected_tag[16];
  uint64_t expected_tag_len;     // 0: none set
  // The text of a one-shot decryption, decrypted once the tag matches.
  uint64_t pending_len;
  const uint8_t* pending_data;
  uint8_t* pending_out;
  uint32_t phase;                // 0 none, 1 associated data, 2 text
  binstr_t cache;                // ciphertext of a streamed decryption
  uint64_t cache_used;           // bytes of cache in use (cache.length is its capacity)
  alignas(16) uint8_t round_keys[160];
  uint8_t* lane_fill;            // 16 bytes; byte 0 mirrors tail_len
  uint8_t* key_buf;              // 32 bytes: the unmasked key during a call
  uint8_t* area;                 // start of the work area
};

namespace vrt::cipher15 {

// Bytes of one context allocation for a block size (8 or 16).
size_t aead_ctx_bytes(uint64_t block_size);

// The field multiplications by variant; each gives the same product. The
// carry-less ones run only where the processor has PCLMULQDQ. The exported
// mulGaloisField128/64 use the variant chosen by mgm_arch_init.
using GfMulFn = void (*)(void* out, const void* a, const void* b);
void gf128_mul_portable(void* out, const void* a, const void* b);
void gf64_mul_portable(void* out, const void* a, const void* b);
void gf128_mul_pclmul(void* out, const void* a, const void* b);
void gf64_mul_pclmul(void* out, const void* a, const void* b);

// sum ^= the sum over i < count of h_i * x_i in GF(2^128), h, x and sum
// 16-byte big-endian elements, the products added before one reduction.
using GfMulSumFn = void (*)(void* sum, const void* h, const void* x, size_t count);
void gf128_mul_sum_portable(void* sum, const void* h, const void* x, size_t count);
void gf128_mul_sum_pclmul(void* sum, const void* h, const void* x, size_t count);
void gf128_mul_sum_vpclmul(void* sum, const void* h, const void* x, size_t count);
void gf128_mul_sum(void* sum, const void* h, const void* x, size_t count);

// Kuznyechik counter runs through the chosen many-block variant (declared
// with the cipher's variants in internal.h).
void kuznechik_encrypt_counters(const uint8_t* round_keys, uint8_t* counter, int half, const void* in, void* out,
                                size_t blocks);

// Picks the field multiplication from the enabled processor features; run
// by library initialisation (the portable one is in use before).
void mgm_arch_init(uint32_t cpu_enabled);

// 0 when the first len bytes of the computed and the expected tag are equal,
// else 1; the time taken depends on len only.
uint32_t mgm_tag_mismatch(const uint8_t* computed, const uint8_t* expected, size_t len);

}  // namespace vrt::cipher15
