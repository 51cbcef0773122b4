// MGM streams: associated data and text that arrive in pieces, with the
// last 1..n bytes of the stream so far held back in the tail until the next
// piece or the final step. Decryption keeps the ciphertext until the tag has
// been checked.
#include <cstring>

#include "cipher15/mgm.h"
#include "cipher15/mgm_core.h"
#include "frame/forward.h"
#include "vrt.h"

namespace vrt::cipher15 {

using namespace mgm_state;
using namespace mgm;

namespace {

// Bits of the stream of this direction, and the other direction's.
struct Direction {
  uint32_t aad_start, aad, text_start, text, own, other;
};
constexpr Direction kEncrypting{kEncAadStart, kEncAad, kEncTextStart, kEncText, kEncStream, kDecStream};
constexpr Direction kDecrypting{kDecAadStart, kDecAad, kDecTextStart, kDecText, kDecStream, kEncStream};

bool stream_open(const AeadCtx* c, const Direction& d) { return (c->state & d.own) != 0; }

// The first piece of a message clears what an earlier message left behind.
void begin_stream(AeadCtx* c, const Direction& d) {
  if (stream_open(c, d)) return;
  c->aad_total = c->text_total = 0;
  c->tail_len = 0;
  c->phase = 0;
  c->cache_used = 0;
}

uint64_t message_bytes(const AeadCtx* c, const Direction& d) {
  return stream_open(c, d) ? c->aad_total + c->text_total : 0;
}

// An associated-data piece: the first one starts Z; its tail waits.
uint32_t aad_piece(AeadCtx* c, const Direction& d, const genkey_t* key, const uint8_t* data, uint64_t len) {
  if (stream_open(c, d) && c->phase == 2) return VRT_ERROR_INVALID_ARGUMENT;  // associated data after text
  if (!key_ok(key) || data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!fits(c->block_size, message_bytes(c, d), len)) return VRT_ERROR_INVALID_ARGUMENT;
  begin_stream(c, d);
  c->phase = 1;
  if (!(c->state & d.aad)) c->state |= d.aad_start;
  CallKey k(c, key);
  if (c->state & d.aad_start) {
    start_z(c);
    c->state = (c->state & ~d.aad_start) | d.aad;
  }
  feed(c, Pass::kAad, data, len, nullptr);
  c->aad_total += len;
  return VRT_SUCCESS;
}

// Before the first text piece runs: the associated data is finished (or Z
// started when there was none) and, when encrypting, Y started.
void open_text(AeadCtx* c, const Direction& d, bool encrypting) {
  c->phase = 2;
  if (!(c->state & d.text)) c->state |= d.text_start;
  if (!(c->state & d.text_start)) return;
  if (c->state & d.aad) {
    finish(c, Pass::kAad, nullptr);
    c->state &= ~d.aad;
  } else {
    start_z(c);
  }
  if (encrypting) start_y(c);
  c->state = (c->state & ~d.text_start) | d.text;
}

void release_cache(AeadCtx* c) {
  binstr_free(&c->cache);
  c->cache_used = 0;
}

void end_stream(AeadCtx* c) {
  c->state = 0;
  c->phase = 0;
}

}  // namespace

}  // namespace vrt::cipher15

using namespace vrt::cipher15;
using namespace vrt::cipher15::mgm;
using namespace vrt::cipher15::mgm_state;

extern "C" {

// ---- streamed encryption ----

VRT_API uint32_t vrtpAEADEncryptUpdate(AeadCtx* ctx, const genkey_t* key, const uint8_t* data, uint64_t len,
                                       uint32_t kind, uint8_t* out, uint64_t* out_len) {
  if (!usable(ctx) || (ctx->state & kDecStream)) return VRT_ERROR_INVALID_ARGUMENT;
  const Direction& d = kEncrypting;
  if (kind == VRT_AEAD_KIND_AAD) return aad_piece(ctx, d, key, data, len);
  if (kind != VRT_AEAD_KIND_TEXT) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  const uint64_t held = stream_open(ctx, d) && ctx->phase == 2 ? ctx->tail_len : 0;
  // Whole blocks before the held-back last 1..n bytes.
  const uint64_t total = held + len;
  const uint64_t produced = total == 0 ? 0 : (total - 1) / n * n;
  if (out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (out == nullptr) {
    *out_len = produced;
    return VRT_SUCCESS;
  }
  if (*out_len < produced) return VRT_ERROR_NO_MEMORY;
  if (!key_ok(key) || data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!fits(n, message_bytes(ctx, d), len)) return VRT_ERROR_INVALID_ARGUMENT;
  begin_stream(ctx, d);
  CallKey k(ctx, key);
  open_text(ctx, d, true);
  feed(ctx, Pass::kEncrypt, data, len, out);
  ctx->text_total += len;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADEncryptFinal(AeadCtx* ctx, const genkey_t* key, uint8_t* out, uint64_t* out_len,
                                      uint8_t* tag, uint64_t tag_len) {
  if (!usable(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  const bool aad_only = (ctx->state & kEncAad) != 0;
  if (!aad_only && !(ctx->state & kEncText)) return VRT_ERROR_UNSUPPORTED;
  const uint64_t count = aad_only ? 0 : ctx->tail_len;
  if (out == nullptr) {
    if (out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
    *out_len = count;
    return VRT_SUCCESS;
  }
  if (count != 0 && out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (count != 0 && *out_len < count) return VRT_ERROR_NO_MEMORY;
  if (!key_ok(key) || tag_len > ctx->block_size || (tag == nullptr && tag_len != 0))
    return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->aad_total == 0 && ctx->text_total == 0) return VRT_ERROR_INVALID_ARGUMENT;  // empty message
  {
    CallKey k(ctx, key);
    finish(ctx, aad_only ? Pass::kAad : Pass::kEncrypt, out);
    close_tag(ctx);
  }
  if (tag_len != 0) std::memcpy(tag, ctx->sum, tag_len);
  end_stream(ctx);
  return VRT_SUCCESS;
}

// ---- streamed decryption ----

VRT_API uint32_t vrtpAEADDecryptUpdate(AeadCtx* ctx, const genkey_t* key, const uint8_t* data, uint64_t len,
                                       uint32_t kind) {
  if (!usable(ctx) || (ctx->state & kEncStream)) return VRT_ERROR_INVALID_ARGUMENT;
  const Direction& d = kDecrypting;
  if (kind == VRT_AEAD_KIND_AAD) return aad_piece(ctx, d, key, data, len);
  if (kind != VRT_AEAD_KIND_TEXT) return VRT_ERROR_INVALID_ARGUMENT;
  if (!key_ok(key) || data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!fits(ctx->block_size, message_bytes(ctx, d), len)) return VRT_ERROR_INVALID_ARGUMENT;
  // Room for the ciphertext first, so that a failed allocation changes nothing.
  const uint64_t used = stream_open(ctx, d) ? ctx->cache_used : 0;
  if (used + len > ctx->cache.length || ctx->cache.data == nullptr) {
    uint64_t capacity = ctx->cache.length * 2;
    if (capacity < used + len) capacity = used + len;
    if (capacity < 256) capacity = 256;
    if (binstr_realloc(&ctx->cache, capacity) != VRT_SUCCESS) return VRT_ERROR_NO_MEMORY;
  }
  begin_stream(ctx, d);
  CallKey k(ctx, key);
  open_text(ctx, d, false);
  feed(ctx, Pass::kAuthenticate, data, len, nullptr);
  if (len != 0) std::memcpy(ctx->cache.data + ctx->cache_used, data, len);
  ctx->cache_used += len;
  ctx->text_total += len;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADDecryptFinal(AeadCtx* ctx, const genkey_t* key, uint8_t* out, uint64_t* out_len) {
  if (!usable(ctx)) return VRT_ERROR_INVALID_ARGUMENT;
  const bool aad_only = (ctx->state & kDecAad) != 0;
  if (!aad_only && !(ctx->state & kDecText)) return VRT_ERROR_UNSUPPORTED;
  const uint64_t count = aad_only ? 0 : ctx->cache_used;
  if (out == nullptr) {
    if (out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
    *out_len = count;
    return VRT_SUCCESS;
  }
  if (count != 0 && out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (count != 0 && *out_len < count) return VRT_ERROR_NO_MEMORY;
  if (!key_ok(key)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->aad_total == 0 && ctx->text_total == 0) return VRT_ERROR_INVALID_ARGUMENT;  // empty message
  if (ctx->expected_tag_len == 0) return VRT_ERROR_FAILED;  // the stream stays open for the tag
  uint32_t st;
  {
    CallKey k(ctx, key);
    finish(ctx, aad_only ? Pass::kAad : Pass::kAuthenticate, nullptr);
    close_tag(ctx);
    st = check_tag(ctx);
    if (st == VRT_SUCCESS && count != 0) decrypt_text(ctx, ctx->cache.data, out, count);
  }
  release_cache(ctx);
  end_stream(ctx);
  return st;
}

// ---- public forwards ----

VRT_FORWARD(AEADEncryptUpdate);
VRT_FORWARD(AEADEncryptFinal);
VRT_FORWARD(AEADDecryptUpdate);
VRT_FORWARD(AEADDecryptFinal);
}  // extern "C"
