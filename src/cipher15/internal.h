// What the other folders may call in the GOST R 34.12-2015 cipher subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

#include "vrt.h"

// The cipher context: one heap block, a fixed header followed by a work area
// aligned to 16 bytes. It holds no key between calls: the key buffer and the
// round-key area are filled at the start of a call and wiped before it
// returns. n is the block size (16 Kuznyechik, 8 Magma), m the length of
// the register of the feedback modes.
//
// The schedule functions rely only on block_size and round_keys; the mode
// machinery owns the rest.
struct Gost15Ctx {
  uint32_t mode;                // VRT_GOST15_MODE_*, 0 until set
  uint32_t flags;               // VRT_GOST15_FLAG_*
  uint64_t block_size;          // n: written by allocation, kept by initialisation
  const vrt_block_alg_t* alg;   // GOST15_G1_KUZNECHIK or GOST15_G1_MAGMA; null: not initialised
  const gost89_sbox_t* sbox;    // Magma only: the tc26 Z set

  uint32_t iv_taken;            // lanes whose IV the current call took
  Gost15Vec* vec;               // the descriptors of the current call
  uint64_t vec_count;
  uint32_t skipped;             // lane masks of the current call
  uint32_t finished;
  uint32_t partial;

  // Input held back for the final step: 0..n bytes, also kept in in_block.
  alignas(16) uint8_t tail_buf[16];
  uint8_t* tail;
  uint8_t tail_len;

  // Register continuation. saved_iv is where the next call finds its m
  // register bytes: the counter block (reg) in the counter modes, else the
  // register R kept in the work area, oldest byte first, which is what the
  // next blocks take as their IV blocks (for OFB: the gamma). m = 0: no
  // register yet.
  uint8_t* saved_iv;
  uint8_t iv_len;               // m
  uint8_t iv_left;              // bytes of the caller's IV still in R; 255 once R holds only data
  uint8_t saved_flags;          // bit 0: R holds only data; bit 2: a register block is parked in reg_saved

  // Key change with ACPKM and the ACPKM-Master generator of OMAC-ACPKM.
  uint64_t acpkm_section;       // N: bytes per section
  uint64_t acpkm_frame;         // T*: bytes of master output per key packet frame
  uint64_t acpkm_sections;      // key changes done in this message
  uint64_t acpkm_left;          // bytes left in the current section
  uint64_t omac_sections_left;
  uint64_t master_count;
  uint64_t master_section;
  binstr_t master_state;        // saved state of the ACPKM-Master generator; owned
  // CTR-ACPKM: the key of the section a stream is in, masked under a fresh
  // mask after every call, so that the next call unmasks it instead of
  // converting the caller's key once per section done. It belongs to
  // acpkm_sections = acpkm_key_sections; 0: none held. The allocation is
  // owned and made on first use.
  genkey_t acpkm_key;
  uint64_t acpkm_key_sections;

  // Block buffers in the work area, n bytes each.
  uint8_t* in_block;
  uint8_t* out_block;
  uint8_t* reg;                 // counter block (counter modes), MAC value, current IV block
  uint8_t* reg_saved;

  alignas(16) uint8_t round_keys[160];  // Kuznyechik schedule, for the length of one call

  uint8_t* lane_fill;           // per lane: bytes already in in_block (0..n)
  uint8_t* key_buf;             // per lane: the unmasked 32-byte key, for the length of one call
  uint8_t* spare;               // one block of scratch
  uint8_t* area;                // aligned start of the work area
  // Scratch of the whole-block paths: two batches of kBatchBytes, and the
  // expanded key record through which a Magma key reaches the eight-block
  // GOST 28147-89 operations.
  uint8_t* batch;
  uint8_t* batch_iv;
  gost89_key_t* wide_key;
};

namespace vrt::cipher15 {

constexpr size_t kRoundKeysSize = 160;
constexpr size_t kKeySize = 32;
// The longest register of the feedback modes: m is kept in one byte.
constexpr size_t kMaxRegister = 255;
// Bytes one whole-block step of the decryption and Magma counter paths
// handles: 64 Kuznyechik blocks, a batch of the byte-sliced AVX-512 form.
constexpr size_t kBatchBytes = 1024;

// Bytes of one context allocation for n-byte blocks (header, alignment slack
// and work area); every byte of it is what a key-hygiene check must scan.
size_t ctx_alloc_size(uint64_t block_size);

// ---- the request machinery shared by the cipher and MAC calls ----

enum class Direction { kEncrypt, kDecrypt, kMac };

// The request check. Attaches the descriptors, validates them (null
// pointers, key size, IV length rules of the mode), takes the IVs into the
// context and sets the lane masks and status bits. Returns 0 when there is
// work, 9 when there is none, or the first error; an error leaves the
// context as it was apart from the attached descriptors.
uint32_t check_request(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count, Direction dir);

// Whether a stream of this direction is open, so that the mode functions
// leave the final step to the stream's Final. The counter and OFB modes are
// their own inverse and wait for either direction's stream.
inline bool gost15_stream_open(const Gost15Ctx* ctx, Direction dir) {
  uint32_t bits = dir == Direction::kDecrypt ? VRT_GOST15_FLAG_DECRYPT_STREAM : VRT_GOST15_FLAG_ENCRYPT_STREAM;
  if (ctx->mode == VRT_GOST15_MODE_CTR || ctx->mode == VRT_GOST15_MODE_OFB || ctx->mode == VRT_GOST15_MODE_CTR_ACPKM)
    bits = VRT_GOST15_FLAG_ENCRYPT_STREAM | VRT_GOST15_FLAG_DECRYPT_STREAM;
  return (ctx->flags & bits) != 0;
}

// Attaches one descriptor for a call that runs only a final step (a
// stream's Final): clears the lane masks so that run_frame unmasks its key.
// 3 for a null ctx, descriptor, key or key data, or a key that is not 32
// bytes.
uint32_t attach_single(Gost15Ctx* ctx, Gost15Vec* vec);

// A mode worker: runs over the attached descriptors with the keys in place.
using Worker = uint32_t (*)(Gost15Ctx* ctx);

// The call frame after a successful check: hooks, key unmasking into the
// key buffers, the chain and data sides of every descriptor (the
// ciphertext side is the output when encrypting and for the MAC the input),
// the worker, the wipe of the key buffers. Returns the worker's status.
uint32_t run_frame(Gost15Ctx* ctx, Worker worker, Direction dir);

// The data movers of the worker loop (lane 0; the records have one lane).
// gost15_vio_fetch completes in_block from the lane's input (the bytes held
// back by an earlier call come first) and returns the number of bytes taken.
size_t gost15_vio_fetch(Gost15Ctx* ctx, Gost15Vec& v);
// gost15_vio_store advances the input by taken bytes and, when write is
// set, writes the n bytes of out_block to the output and advances it.
void gost15_vio_store(Gost15Ctx* ctx, Gost15Vec& v, size_t taken, bool write);
// gost15_save parks the lane's remaining 0..n input bytes in the tail (and
// in in_block after the fill), consuming them: tail_len and the lane fill
// become the bytes held.
void gost15_save(Gost15Ctx* ctx, Gost15Vec& v);

// Runs one lane's data through the mode, the last 1..n bytes excepted,
// which it parks for the final step. block_fn(x, y) turns the n bytes at x
// into n bytes at y (y may equal x); it serves the block that completes
// input held back by an earlier call, from in_block to out_block.
// blocks_fn(in, out, count) runs count whole blocks straight between the
// caller's buffers (out may equal in). With write false (the MAC modes)
// nothing is written: blocks_fn gets a null out. Returns the number of
// blocks processed.
template <class BlockFn, class BlocksFn>
uint64_t gost15_run_lane(Gost15Ctx* ctx, Gost15Vec& v, bool write, BlockFn&& block_fn, BlocksFn&& blocks_fn) {
  const size_t n = ctx->block_size;
  uint64_t blocks = 0;
  if ((v.status & VRT_VEC_PARTIAL) == 0) {
    if (ctx->lane_fill[0] != 0) {
      const size_t taken = gost15_vio_fetch(ctx, v);
      block_fn(ctx->in_block, ctx->out_block);
      gost15_vio_store(ctx, v, taken, write);
      ++blocks;
    }
    // At least one byte is left here; the last 1..n go to the tail.
    const uint64_t whole = (v.len - 1) / n;
    if (whole != 0) {
      blocks_fn(v.in, write ? v.out : nullptr, whole);
      v.in += whole * n;
      if (write) v.out += whole * n;
      v.len -= whole * n;
      blocks += whole;
    }
  }
  gost15_save(ctx, v);
  return blocks;
}

// The same with the whole blocks run one by one through block_fn.
template <class BlockFn>
uint64_t gost15_run_lane(Gost15Ctx* ctx, Gost15Vec& v, bool write, BlockFn&& block_fn) {
  const size_t n = ctx->block_size;
  return gost15_run_lane(ctx, v, write, block_fn, [&](const uint8_t* in, uint8_t* out, uint64_t count) {
    for (; count > 0; --count, in += n) {
      block_fn(in, out != nullptr ? out : ctx->out_block);
      if (out != nullptr) out += n;
    }
  });
}

// ---- Kuznyechik block variants ----

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
// Without tables indexed by key or data: AVX-512 VBMI with GFNI (and VL).
void kuznechik_encrypt_avx512(const uint8_t* round_keys, const void* in, void* out);
void kuznechik_decrypt_avx512(const uint8_t* round_keys, const void* in, void* out);

// blocks consecutive 16-byte blocks from in to out (the same buffer, or
// apart), the blocks in groups whose passes overlap. The dispatching pair
// uses the variant chosen by kuznechik_arch_init.
using KuznechikBlocksFn = void (*)(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_encrypt_blocks_portable(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_decrypt_blocks_portable(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_encrypt_blocks_avx(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_decrypt_blocks_avx(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_encrypt_blocks_avx512(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_decrypt_blocks_avx512(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_encrypt_blocks(const uint8_t* round_keys, const void* in, void* out, size_t blocks);
void kuznechik_decrypt_blocks(const uint8_t* round_keys, const void* in, void* out, size_t blocks);

// Counter blocks through the cipher with an encryption schedule: block i
// of the run is the 16-byte counter advanced i times in one 64-bit half
// (half 1: bytes 8..15, half 0: bytes 0..7, each a big-endian number
// modulo 2^64, the other half unchanged). out = in XOR the key stream, or
// the key stream itself when in is null; out may be in. The counter is
// left advanced by blocks. The generic form runs the chosen variant's
// many-block encryption over counters built in a buffer.
using KuznechikCountersFn = void (*)(const uint8_t* round_keys, uint8_t* counter, int half, const void* in,
                                     void* out, size_t blocks);
void kuznechik_encrypt_counters_generic(const uint8_t* round_keys, uint8_t* counter, int half, const void* in,
                                        void* out, size_t blocks);
void kuznechik_encrypt_counters_avx512(const uint8_t* round_keys, uint8_t* counter, int half, const void* in,
                                       void* out, size_t blocks);
void kuznechik_encrypt_counters(const uint8_t* round_keys, uint8_t* counter, int half, const void* in, void* out,
                                size_t blocks);

// The key schedules of kuznechik_arch_schedule_encrypt and _decrypt, per
// variant; every variant writes the same round keys.
using KuznechikScheduleFn = void (*)(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_encrypt_portable(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_decrypt_portable(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_encrypt_avx(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_decrypt_avx(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_encrypt_avx512(uint8_t* round_keys, const uint8_t* key);
void kuznechik_schedule_decrypt_avx512(uint8_t* round_keys, const uint8_t* key);

// The bytes in the field representation the AVX-512 variant computes in
// (for the tests that look for its round keys where they must not be).
void kuznechik_avx512_other_form(uint8_t* p, size_t n);

// The processor features the AVX-512 variant needs.
constexpr uint32_t kKuznechikAvx512Features = VRT_CPU_AVX512VBMI | VRT_CPU_GFNI | VRT_CPU_AVX512VL;

// Picks the block and schedule variants from the enabled processor features; run by
// library initialisation (the portable one is in use before).
void kuznechik_arch_init(uint32_t cpu_enabled);

// ---- ACPKM ----

// The register R of the feedback modes (up to kMaxRegister bytes) in the
// work area; the MAC modes, which take no IV, keep the ACPKM-Master
// generator of a call there instead.
inline uint8_t* gost15_register_area(Gost15Ctx* ctx) {
  return ctx->spare + ((ctx->block_size + 15) & ~uint64_t{15});
}

// The ACPKM key conversion on one key: key (32 bytes) becomes the ECB
// encryption of the constant 80 81 .. 9f under it. For Kuznyechik
// round_keys must hold the encryption schedule of key on entry and holds
// that of the new key on return (Magma has none and ignores it). The
// conversion uses the context's cipher and batch scratch, which it clears.
void acpkm_convert(Gost15Ctx* ctx, uint8_t* key, uint8_t* round_keys);

// The CTR-ACPKM section key held between the calls of a stream: hold
// masks the lane's key buffer into the context (the allocation is made on
// first use; without it nothing is held and the next call converts from the
// caller's key), drop wipes it. Both are also what the context's
// initialisation and release use.
void acpkm_hold_key(Gost15Ctx* ctx);
void acpkm_drop_key(Gost15Ctx* ctx, bool release);

// The most key changes a restored CTR-ACPKM stream may claim: its first
// call converts the key once per section done (the context holds no key
// across a state blob), so a blob is bounded in the work it can ask for.
constexpr uint64_t kMaxRestoredSections = uint64_t{1} << 20;

// The size of a cipher state blob with an m-byte register.
constexpr uint64_t cipher_blob_size(uint64_t n, uint64_t m) { return 42 + n + m; }

// The fields of a cipher state blob, in blob order.
struct CipherBlob {
  uint32_t mode;
  uint32_t flags;
  uint8_t tail_len;
  const uint8_t* tail;       // n bytes
  uint8_t m;
  uint64_t section;          // N
  uint64_t sections;         // key changes done
  uint64_t left;             // bytes left in the current section
  const uint8_t* reg;        // m bytes
};

// Writes b as a blob of cipher_blob_size(n, b.m) bytes to out.
void write_cipher_blob(uint8_t* out, uint64_t n, const CipherBlob& b);

// Shifts a count-byte big-endian string left by one bit in place: every byte
// takes its own bits moved up by one and the top bit of the byte after it;
// the last byte takes a 0 and the top bit of byte 0 is lost.
void bit_shift_left(uint8_t* buf, size_t count);

}  // namespace vrt::cipher15
