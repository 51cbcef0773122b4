// What the other folders may call in the GOST R 34.12-2015 cipher subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

// The cipher context. The schedule functions rely only on block_size and
// round_keys; the mode machinery adds its fields around them. The
// round-key area holds one Kuznyechik schedule (ten 16-byte round keys) for
// the length of one call and is wiped before the call returns; a Magma
// context never fills it.
struct Gost15Ctx {
  uint32_t mode;
  uint32_t flags;
  uint64_t block_size;          // 16 (Kuznyechik) or 8 (Magma)
  const vrt_block_alg_t* alg;   // GOST15_G1_KUZNECHIK or GOST15_G1_MAGMA
  const gost89_sbox_t* sbox;    // Magma only: the tc26 Z set
  alignas(16) uint8_t round_keys[160];
};

namespace vrt::cipher15 {

constexpr size_t kRoundKeysSize = 160;

// One block through the cipher with a schedule of ten round keys (160
// bytes: an encryption schedule for encrypt, a decryption schedule for
// decrypt); in and out may be the same buffer. The portable variant runs
// everywhere; the AVX variant only where the processor has AVX. The
// exported block functions use the one chosen by kuznechik_arch_init.
using KuznechikBlockFn = void (*)(const uint8_t* round_keys, const void* in, void* out);
void kuznechik_encrypt_portable(const uint8_t* round_keys, const void* in, void* out);
void kuznechik_decrypt_portable(const uint8_t* round_keys, const void* in, void* out);
void kuznechik_encrypt_avx(const uint8_t* round_keys, const void* in, void* out);
void kuznechik_decrypt_avx(const uint8_t* round_keys, const void* in, void* out);

// The key schedules of kuznechik_arch_schedule_encrypt and _decrypt, per
// variant; every variant writes the same round keys.
using KuznechikScheduleFn = void (*)(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_encrypt_portable(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_decrypt_portable(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_encrypt_avx(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_decrypt_avx(uint8_t* round_keys, const uint8_t* key);

// Picks the block and schedule variants from the enabled processor features; run by
// library initialisation (the portable one is in use before).
void kuznechik_arch_init(uint32_t cpu_enabled);

// Shifts a count-byte big-endian string left by one bit in place: every byte
// takes its own bits moved up by one and the top bit of the byte after it;
// the last byte takes a 0 and the top bit of byte 0 is lost.
void bit_shift_left(uint8_t* buf, size_t count);

}  // namespace vrt::cipher15
