// The MGM core as the stream and saved-state code share it: the checks of a
// request, the key of one call, and the block passes over associated data
// and text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>

#include "cipher15/mgm.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15::mgm {

// The key of every call: 32 bytes for both ciphers.
inline constexpr size_t kKeyBytes = 32;

// Magma's S-box set.
inline const gost89_sbox_t* z_sbox() { return &vrtpGost89Sboxtc26_gost_28147_param_Z; }

// Whether the context was set up (CtxInit) and may take a request.
inline bool usable(const AeadCtx* ctx) { return ctx != nullptr && ctx->alg != nullptr && ctx->area != nullptr; }

// The most bytes of associated data and text one message may hold together:
// their bit lengths must stay below 2^(4n), which also keeps each of them
// inside its half of the length block.
inline uint64_t max_message_bytes(uint64_t n) { return (uint64_t{1} << (4 * n - 3)) - 1; }

inline bool fits(uint64_t n, uint64_t have, uint64_t more) {
  const uint64_t limit = max_message_bytes(n);
  return have <= limit && more <= limit - have;
}

inline bool key_ok(const genkey_t* key) {
  return key != nullptr && key->key.data != nullptr && key->key.length == kKeyBytes;
}

// Unmasks the key into the context for the length of one call and wipes it,
// with the Kuznyechik schedule and the scratch blocks that held key stream
// and H values, on every way out.
class CallKey {
 public:
  CallKey(AeadCtx* ctx, const genkey_t* key) : ctx_(ctx) {
    genkey_t plain{};
    __binstr_init(&plain.key, ctx->key_buf, kKeyBytes);
    genkey_unmask_to(key, &plain);
    if (ctx->block_size == 16) kuznechik_arch_schedule_encrypt(ctx->round_keys, ctx->key_buf);
  }
  ~CallKey() {
    wipe(ctx_->key_buf, kKeyBytes);
    if (ctx_->block_size == 16) wipe(ctx_->round_keys, sizeof ctx_->round_keys);
    const int64_t n = static_cast<int64_t>(ctx_->block_size);
    for (uint8_t* b : {ctx_->in_block, ctx_->out_block, ctx_->h}) vrt_memset_s(b, n, 0, static_cast<uint64_t>(n));
  }
  CallKey(const CallKey&) = delete;
  CallKey& operator=(const CallKey&) = delete;

 private:
  static void wipe(uint8_t* p, size_t n) { wipe_temporary(p, n); }
  AeadCtx* ctx_;
};

enum class Pass { kAad, kEncrypt, kAuthenticate };

// Feeds len bytes into the pass, holding back the last 1..n bytes of the
// stream in the tail; returns the bytes of ciphertext written to out.
uint64_t feed(AeadCtx* c, Pass pass, const uint8_t* data, uint64_t len, uint8_t* out);
// The last, possibly partial block of the pass: zero-padded for the
// product; for kEncrypt only its tail_len bytes of ciphertext are written.
void finish(AeadCtx* c, Pass pass, uint8_t* out);
// The length block, then tag = E(sum), left in sum.
void close_tag(AeadCtx* c);
// Z = E(1 || ICN) with the sum cleared; Y = E(0 || ICN).
void start_z(AeadCtx* c);
void start_y(AeadCtx* c);
// out = in XOR the key stream from Y1 = E(0 || ICN), len bytes.
void decrypt_text(AeadCtx* c, const uint8_t* in, uint8_t* out, uint64_t len);
// Compares the computed tag with the expected one; on a mismatch the
// computed tag is cleared, so the valid tag of a rejected message cannot be
// read back.
uint32_t check_tag(AeadCtx* c);

// Held-back bytes of a stream of total bytes: 1..n, or 0 when it is empty.
inline uint64_t tail_of(uint64_t total, uint64_t n) { return total == 0 ? 0 : (total - 1) % n + 1; }

}  // namespace vrt::cipher15::mgm
