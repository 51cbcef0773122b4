// MGM authenticated encryption over Kuznyechik and Magma: the context, the
// block passes and the one-shot requests (the streams are in mgm_stream.cpp,
// the saved state in mgm_state.cpp).
//
// A message is one stream of associated data followed by one stream of
// text. Every piece that arrives is taken block by block, except that the
// last 1..n bytes of the stream so far are always held back in the tail:
// until the next piece comes they may be the message's last block, which is
// zero-padded (and, for text, only partly written). The one-shot requests
// run the same passes with the tails finished in the same call.
//
// Per block (E under the call's key, Z and Y the two counters):
//   associated data A_i:  H = E(Z); sum ^= H * A_i; Z += 1 (left half)
//   text P_i:             C_i = P_i ^ E(Y); Y += 1 (right half); then as A_i
//                         with C_i
//   at the end:           the length block as A_i; tag = E(sum)
// Decryption authenticates first and decrypts only once the tag matches, so
// a rejected message writes no plaintext at all.
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "cipher15/mgm.h"
#include "cipher15/mgm_core.h"
#include "frame/bytes.h"
#include "frame/ct.h"
#include "frame/forward.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15 {

using namespace mgm_state;
using namespace mgm;

namespace {

constexpr uint64_t round16(uint64_t n) { return (n + 15) & ~uint64_t{15}; }

constexpr size_t kLaneFill = 16;
constexpr size_t kBuffers = 6;

void lay_out(AeadCtx* ctx) {
  const auto base = reinterpret_cast<uintptr_t>(ctx) + sizeof(AeadCtx);
  auto* p = reinterpret_cast<uint8_t*>((base + 15) & ~uintptr_t{15});
  const uint64_t n = ctx->block_size;
  std::memset(p, 0, kLaneFill + kKeyBytes + kBuffers * n);
  ctx->area = p;
  ctx->lane_fill = p;
  p += kLaneFill;
  ctx->key_buf = p;
  p += kKeyBytes;
  uint8_t** buffers[kBuffers] = {&ctx->in_block, &ctx->out_block, &ctx->z, &ctx->y, &ctx->h, &ctx->sum};
  for (uint8_t** b : buffers) {
    *b = p;
    p += n;
  }
  ctx->nonce_y = ctx->nonce_y_buf;
  ctx->nonce_z = ctx->nonce_z_buf;
}

// ---- block steps ----

inline void encrypt(const AeadCtx* c, const void* in, void* out) {
  c->alg->encrypt(in, out, c->key_buf, z_sbox(), c->round_keys);
}

// H = E(Z); sum ^= H * x; Z = incr_l(Z).
inline void authenticate(AeadCtx* c, const uint8_t* x) {
  const vrt_aead_alg_t* a = c->alg;
  encrypt(c, c->z, c->h);
  a->mul(c->h, c->h, x);
  a->xor_block(c->sum, c->h, c->sum);
  a->incr_l(c->z);
}

// Kuznyechik's whole blocks in groups: the key stream E(Y_i) and the
// values H_i = E(Z_i) of a group are counter runs of the many-block
// cipher, and the group's products are summed before one reduction. The
// H values are wiped before return.
void run_kuznechik_blocks(AeadCtx* c, Pass pass, const uint8_t* data, uint64_t count, uint8_t* out) {
  constexpr uint64_t kGroup = 64;
  alignas(64) uint8_t h[16 * kGroup];
  const uint64_t used = 16 * (count < kGroup ? count : kGroup);
  while (count > 0) {
    const uint64_t g = count < kGroup ? count : kGroup;
    const uint8_t* x = data;
    if (pass == Pass::kEncrypt) {
      kuznechik_encrypt_counters(c->round_keys, c->y, 1, data, out, g);
      x = out;
      out += 16 * g;
    }
    kuznechik_encrypt_counters(c->round_keys, c->z, 0, nullptr, h, g);
    gf128_mul_sum(c->sum, h, x, g);
    data += 16 * g;
    count -= g;
  }
  vrt_memset_s(h, sizeof h, 0, used);
}

// count whole blocks of data through the pass; kEncrypt writes count blocks
// of ciphertext to out (which may be data itself).
void run_blocks(AeadCtx* c, Pass pass, const uint8_t* data, uint64_t count, uint8_t* out) {
  const vrt_aead_alg_t* a = c->alg;
  const uint64_t n = c->block_size;
  if (n == 16 && count > 1) return run_kuznechik_blocks(c, pass, data, count, out);
  if (pass != Pass::kEncrypt) {
    for (uint64_t i = 0; i < count; ++i, data += n) authenticate(c, data);
    return;
  }
  for (uint64_t i = 0; i < count; ++i, data += n, out += n) {
    encrypt(c, c->y, c->out_block);
    a->xor_block(data, c->out_block, out);
    a->incr_r(c->y);
    authenticate(c, out);
  }
}

}  // namespace

namespace mgm {

// Feeds len bytes into the pass, holding back the last 1..n bytes of the
// stream in the tail; returns the bytes of ciphertext written to out.
uint64_t feed(AeadCtx* c, Pass pass, const uint8_t* data, uint64_t len, uint8_t* out) {
  const uint64_t n = c->block_size;
  uint64_t written = 0;
  if (len == 0) return 0;
  if (c->tail_len != 0) {
    const uint64_t take = len < n - c->tail_len ? len : n - c->tail_len;
    std::memcpy(c->tail + c->tail_len, data, take);
    c->tail_len = static_cast<uint8_t>(c->tail_len + take);
    data += take;
    len -= take;
    if (len == 0) return 0;  // the full tail may still be the last block
    run_blocks(c, pass, c->tail, 1, out);
    c->tail_len = 0;
    if (pass == Pass::kEncrypt) out += n, written += n;
  }
  const uint64_t blocks = (len - 1) / n;
  run_blocks(c, pass, data, blocks, out);
  if (pass == Pass::kEncrypt) written += blocks * n;
  data += blocks * n;
  len -= blocks * n;
  std::memcpy(c->tail, data, len);
  c->tail_len = static_cast<uint8_t>(len);
  c->lane_fill[0] = c->tail_len;
  return written;
}

// The last, possibly partial block of the pass: zero-padded for the
// product; for kEncrypt only its tail_len bytes of ciphertext are written.
void finish(AeadCtx* c, Pass pass, uint8_t* out) {
  const uint64_t n = c->block_size;
  const uint64_t tl = c->tail_len;
  if (tl != 0) {
    std::memset(c->in_block, 0, n);
    if (pass == Pass::kEncrypt) {
      encrypt(c, c->y, c->out_block);
      for (uint64_t i = 0; i < tl; ++i) c->in_block[i] = static_cast<uint8_t>(c->tail[i] ^ c->out_block[i]);
      c->alg->incr_r(c->y);
      std::memcpy(out, c->in_block, tl);
    } else {
      std::memcpy(c->in_block, c->tail, tl);
    }
    authenticate(c, c->in_block);
  }
  std::memset(c->tail, 0, sizeof c->tail);
  c->tail_len = 0;
  c->lane_fill[0] = 0;
}

// The length block, then tag = E(sum), left in sum.
void close_tag(AeadCtx* c) {
  c->alg->concat_len(c->in_block, c->aad_total, c->text_total, 1);
  authenticate(c, c->in_block);
  encrypt(c, c->sum, c->sum);
}

void start_z(AeadCtx* c) {
  encrypt(c, c->nonce_z, c->z);
  std::memset(c->sum, 0, c->block_size);
}

void start_y(AeadCtx* c) { encrypt(c, c->nonce_y, c->y); }

// out = in XOR the key stream from Y1 = E(0 || ICN), len bytes.
void decrypt_text(AeadCtx* c, const uint8_t* in, uint8_t* out, uint64_t len) {
  const vrt_aead_alg_t* a = c->alg;
  const uint64_t n = c->block_size;
  start_y(c);
  if (n == 16 && len >= 32) {
    const uint64_t blocks = len / n;
    kuznechik_encrypt_counters(c->round_keys, c->y, 1, in, out, blocks);
    in += blocks * n;
    out += blocks * n;
    len -= blocks * n;
  }
  for (; len >= n; len -= n, in += n, out += n) {
    encrypt(c, c->y, c->out_block);
    a->xor_block(in, c->out_block, out);
    a->incr_r(c->y);
  }
  if (len != 0) {
    encrypt(c, c->y, c->out_block);
    for (uint64_t i = 0; i < len; ++i) out[i] = static_cast<uint8_t>(in[i] ^ c->out_block[i]);
  }
}

// Compares the computed tag with the expected one; on a mismatch the
// computed tag is cleared, so the valid tag of a rejected message cannot be
// read back.
uint32_t check_tag(AeadCtx* c) {
  const uint32_t diff = mgm_tag_mismatch(c->sum, c->expected_tag, c->expected_tag_len);
  if (diff != 0) {
    std::memset(c->sum, 0, c->block_size);
    return VRT_ERROR_FAILED;
  }
  return VRT_SUCCESS;
}

}  // namespace mgm

namespace {

// ---- one-shot requests ----

uint32_t one_shot(AeadCtx* ctx, AeadVec* tv, AeadVec* av, uint64_t count, bool decrypting) {
  if (!usable(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  if (count > ctx->alg->lanes) return VRT_ERROR_INVALID_ARGUMENT;
  if (count == 0) return VRT_ERROR_NO_DATA;
  if (tv == nullptr || ctx->state != 0) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  const uint64_t aad_len = av != nullptr ? av->len : 0;
  const uint8_t* aad = av != nullptr ? av->data : nullptr;
  if (tv->status & VRT_VEC_SKIP) {
    tv->status = (tv->status & ~uint32_t{0xFF}) | VRT_VEC_FINISHED;
    ctx->skipped = 1;
    return VRT_ERROR_NO_DATA;
  }
  if ((tv->len == 0 && aad_len == 0) || !key_ok(tv->key)) return VRT_ERROR_INVALID_ARGUMENT;
  if (tv->len != 0 && (tv->data == nullptr || tv->out == nullptr)) return VRT_ERROR_INVALID_ARGUMENT;
  if (aad_len != 0 && aad == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!fits(n, aad_len, tv->len)) return VRT_ERROR_INVALID_ARGUMENT;
  if (decrypting && ctx->expected_tag_len == 0) return VRT_ERROR_FAILED;

  ctx->text_vec = tv;
  ctx->aad_vec = av;
  ctx->vec_count = count;
  ctx->skipped = ctx->partial = 0;
  ctx->finished = 1;
  ctx->aad_total = aad_len;
  ctx->text_total = tv->len;
  ctx->phase = 0;
  ctx->tail_len = 0;

  uint32_t st = VRT_SUCCESS;
  {
    CallKey key(ctx, tv->key);
    start_z(ctx);
    feed(ctx, Pass::kAad, aad, aad_len, nullptr);
    finish(ctx, Pass::kAad, nullptr);
    if (!decrypting) {
      start_y(ctx);
      const uint64_t written = feed(ctx, Pass::kEncrypt, tv->data, tv->len, tv->out);
      finish(ctx, Pass::kEncrypt, tv->out + written);
      close_tag(ctx);
    } else {
      ctx->pending_len = tv->len;
      ctx->pending_data = tv->data;
      ctx->pending_out = tv->out;
      feed(ctx, Pass::kAuthenticate, tv->data, tv->len, nullptr);
      finish(ctx, Pass::kAuthenticate, nullptr);
      close_tag(ctx);
      st = check_tag(ctx);
      if (st == VRT_SUCCESS) decrypt_text(ctx, ctx->pending_data, ctx->pending_out, ctx->pending_len);
      ctx->pending_len = 0;
      ctx->pending_data = nullptr;
      ctx->pending_out = nullptr;
    }
  }
  for (AeadVec* v : {tv, av})
    if (v != nullptr) v->status = (v->status & ~uint32_t{0xFF}) | VRT_VEC_FINISHED | VRT_VEC_ACTIVE;
  return st;
}

}  // namespace

size_t aead_ctx_bytes(uint64_t block_size) {
  return round16(sizeof(AeadCtx)) + 16 + kLaneFill + kKeyBytes + kBuffers * block_size;
}

uint32_t mgm_tag_mismatch(const uint8_t* computed, const uint8_t* expected, size_t len) {
  return ct::memdiff(computed, expected, len);
}

}  // namespace vrt::cipher15

using namespace vrt::cipher15;
using namespace vrt::cipher15::mgm;
using namespace vrt::cipher15::mgm_state;

extern "C" {

// ---- context ----

VRT_API uint32_t vrtpAEADCtxAlloc(AeadCtx** ctx, uint32_t lanes, uint64_t block_size) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  *ctx = nullptr;
  if (lanes != 1 || (block_size != 8 && block_size != 16)) return VRT_ERROR_INVALID_ARGUMENT;
  auto* c = static_cast<AeadCtx*>(std::calloc(1, aead_ctx_bytes(block_size)));
  if (c == nullptr) return VRT_ERROR_NO_MEMORY;
  c->block_size = block_size;
  *ctx = c;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADCtxInit(AeadCtx* ctx, uint32_t lanes) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  binstr_free(&ctx->cache);
  const uint64_t n = ctx->block_size;
  std::memset(static_cast<void*>(ctx), 0, sizeof *ctx);
  ctx->block_size = n;
  if (lanes != 1 || (n != 8 && n != 16)) return VRT_ERROR_INVALID_ARGUMENT;
  if (n == 8 && vrtpGost89SboxInitialized(z_sbox()) != 1) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->alg = n == 16 ? &AEAD_G1_KUZNECHIK : &AEAD_G1_MAGMA;
  lay_out(ctx);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADCtxAllocInitialized(AeadCtx** ctx, uint32_t lanes, uint64_t block_size) {
  uint32_t st = vrtpAEADCtxAlloc(ctx, lanes, block_size);
  if (st != VRT_SUCCESS) return st;
  st = vrtpAEADCtxInit(*ctx, lanes);
  if (st != VRT_SUCCESS) {
    vrtpAEADCtxFree(*ctx);
    *ctx = nullptr;
  }
  return st;
}

VRT_API void vrtpAEADCtxFree(AeadCtx* ctx) {
  if (ctx == nullptr) return;
  binstr_free(&ctx->cache);
  std::free(ctx);
}

VRT_API uint32_t vrtpAEADSetNonce(AeadCtx* ctx, const uint8_t* nonce) {
  if (!usable(ctx) || nonce == nullptr || ctx->state != 0) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  std::memcpy(ctx->nonce_y, nonce, n);
  std::memcpy(ctx->nonce_z, nonce, n);
  ctx->nonce_y[0] &= 0x7F;
  ctx->nonce_z[0] |= 0x80;
  return VRT_SUCCESS;
}

// ---- one shot ----

VRT_API uint32_t vrtpAEADEncrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count) {
  return one_shot(ctx, text_vec, aad_vec, count, false);
}

VRT_API uint32_t vrtpAEADDecrypt(AeadCtx* ctx, AeadVec* text_vec, AeadVec* aad_vec, uint64_t count) {
  return one_shot(ctx, text_vec, aad_vec, count, true);
}

VRT_API uint32_t vrtpAEADEncryptSimple(AeadCtx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                       uint64_t len, const uint8_t* aad, uint64_t aad_len) {
  AeadVec text{key, 0, 0, len, in, out};
  AeadVec ad{nullptr, 0, 0, aad_len, aad, nullptr};
  return vrtpAEADEncrypt(ctx, &text, &ad, 1);
}

VRT_API uint32_t vrtpAEADDecryptSimple(AeadCtx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                       uint64_t len, const uint8_t* aad, uint64_t aad_len) {
  AeadVec text{key, 0, 0, len, in, out};
  AeadVec ad{nullptr, 0, 0, aad_len, aad, nullptr};
  return vrtpAEADDecrypt(ctx, &text, &ad, 1);
}

VRT_API uint32_t vrtpAEADImitGetValue(AeadCtx* ctx, uint8_t* tag, uint64_t tag_len) {
  if (!usable(ctx) || tag == nullptr || tag_len > ctx->block_size) return VRT_ERROR_INVALID_ARGUMENT;
  std::memcpy(tag, ctx->sum, tag_len);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADImitSetValue(AeadCtx* ctx, const uint8_t* tag, uint64_t tag_len) {
  if (!usable(ctx) || tag == nullptr || tag_len == 0 || tag_len > ctx->block_size ||
      tag_len > sizeof ctx->expected_tag)
    return VRT_ERROR_INVALID_ARGUMENT;
  std::memcpy(ctx->expected_tag, tag, tag_len);
  ctx->expected_tag_len = tag_len;
  return VRT_SUCCESS;
}

// ---- public forwards ----

VRT_FORWARD(AEADCtxAlloc);
VRT_FORWARD(AEADCtxInit);
VRT_FORWARD(AEADCtxAllocInitialized);
VRT_FORWARD(AEADCtxFree);
VRT_FORWARD(AEADSetNonce);
VRT_FORWARD(AEADEncrypt);
VRT_FORWARD(AEADDecrypt);
VRT_FORWARD(AEADEncryptSimple);
VRT_FORWARD(AEADDecryptSimple);
VRT_FORWARD(AEADImitGetValue);
VRT_FORWARD(AEADImitSetValue);
}  // extern "C"
