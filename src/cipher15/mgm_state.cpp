// The saved state of an MGM context: an unfinished stream as a byte blob and
// back, every field checked before the context is touched.
#include <cstring>
#include <initializer_list>

#include "cipher15/mgm.h"
#include "cipher15/mgm_core.h"
#include "frame/bytes.h"
#include "frame/forward.h"
#include "vrt.h"

using namespace vrt::cipher15;
using namespace vrt::cipher15::mgm;
using namespace vrt::cipher15::mgm_state;

extern "C" {

// ---- saved state ----

namespace {

constexpr uint64_t base_blob_size(uint64_t n) { return 6 * n + 33; }

}  // namespace

VRT_API uint32_t vrtpAEADSaveState(AeadCtx* ctx, uint8_t* blob, uint64_t* size) {
  if (!usable(ctx) || size == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  const bool decrypting = (ctx->state & (kDecAad | kDecText)) != 0;
  const bool cached = (ctx->state & kDecText) != 0;
  uint64_t total = base_blob_size(n);
  if (decrypting) total += 1 + ctx->expected_tag_len;
  if (cached) total += 8 + ctx->cache_used;
  if (blob == nullptr) {
    *size = total;
    return VRT_SUCCESS;
  }
  if (*size != total) return VRT_ERROR_INVALID_ARGUMENT;
  uint8_t* p = blob;
  vrt::store_le64(p, total);
  vrt::store_le32(p + 8, ctx->state);
  vrt::store_le32(p + 12, ctx->phase);
  vrt::store_le64(p + 16, ctx->text_total);
  vrt::store_le64(p + 24, ctx->aad_total);
  p[32] = ctx->tail_len;
  p += 33;
  for (const uint8_t* b : {static_cast<const uint8_t*>(ctx->tail), static_cast<const uint8_t*>(ctx->sum),
                           static_cast<const uint8_t*>(ctx->z), static_cast<const uint8_t*>(ctx->y),
                           static_cast<const uint8_t*>(ctx->nonce_y), static_cast<const uint8_t*>(ctx->nonce_z)}) {
    std::memcpy(p, b, n);
    p += n;
  }
  if (decrypting) {
    *p++ = static_cast<uint8_t>(ctx->expected_tag_len);
    std::memcpy(p, ctx->expected_tag, ctx->expected_tag_len);
    p += ctx->expected_tag_len;
  }
  if (cached) {
    vrt::store_le64(p, ctx->cache_used);
    if (ctx->cache_used != 0) std::memcpy(p + 8, ctx->cache.data, ctx->cache_used);
  }
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpAEADRestoreState(AeadCtx* ctx, const uint8_t* blob, uint64_t size) {
  if (ctx == nullptr || blob == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (n != 8 && n != 16) return VRT_ERROR_INVALID_ARGUMENT;
  if (size < 8 || vrt::load_le64(blob) != size || size < base_blob_size(n)) return VRT_ERROR_LENGTH;

  // Everything is checked before the context is touched: first that the
  // size is the one the state implies, then that the content is a state a
  // stream can be in.
  const uint32_t state = vrt::load_le32(blob + 8);
  const uint32_t phase = vrt::load_le32(blob + 12);
  const uint64_t text_total = vrt::load_le64(blob + 16);
  const uint64_t aad_total = vrt::load_le64(blob + 24);
  const uint8_t tl = blob[32];
  const uint8_t* blocks = blob + 33;  // tail, sum, Z, Y, 0 || ICN, 1 || ICN
  uint32_t want_phase;
  uint64_t want_tail;
  switch (state) {
    case 0:
      want_phase = 0, want_tail = 0;
      break;
    case kEncAad:
    case kDecAad:
      want_phase = 1, want_tail = tail_of(aad_total, n);
      break;
    case kEncText:
    case kDecText:
      want_phase = 2, want_tail = tail_of(text_total, n);
      break;
    default:
      return VRT_ERROR_INVALID_ARGUMENT;
  }
  uint64_t at = base_blob_size(n);
  uint64_t tag_len = 0, cached = 0;
  const uint8_t* tag = nullptr;
  const uint8_t* cipher = nullptr;
  if (state == kDecAad || state == kDecText) {
    if (size < at + 1) return VRT_ERROR_LENGTH;
    tag_len = blob[at];
    tag = blob + at + 1;
    at += 1 + tag_len;
    if (size < at) return VRT_ERROR_LENGTH;
  }
  if (state == kDecText) {
    if (size - at < 8) return VRT_ERROR_LENGTH;
    cached = vrt::load_le64(blob + at);
    if (cached != size - at - 8) return VRT_ERROR_LENGTH;
    cipher = blob + at + 8;
    at = size;
  }
  if (at != size) return VRT_ERROR_LENGTH;

  if (phase != want_phase || tl != want_tail || !fits(n, aad_total, text_total) || tag_len > n ||
      (state == kDecText && cached != text_total))
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint8_t* ny = blocks + 4 * n;
  const uint8_t* nz = blocks + 5 * n;
  if ((ny[0] ^ nz[0]) != 0x80 || (nz[0] & 0x80) == 0 || std::memcmp(ny + 1, nz + 1, n - 1) != 0)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (n == 8 && vrtpGost89SboxInitialized(z_sbox()) != 1) return VRT_ERROR_INVALID_ARGUMENT;

  binstr_t cache{0, nullptr};
  if (state == kDecText && binstr_alloc(&cache, cached < 256 ? 256 : cached) != VRT_SUCCESS)
    return VRT_ERROR_NO_MEMORY;
  uint32_t st = vrtpAEADCtxInit(ctx, 1);
  if (st != VRT_SUCCESS) {
    binstr_free(&cache);
    return st;
  }
  ctx->state = state;
  ctx->phase = phase;
  ctx->text_total = text_total;
  ctx->aad_total = aad_total;
  ctx->tail_len = tl;
  ctx->lane_fill[0] = tl;
  uint8_t* dst[] = {ctx->tail, ctx->sum, ctx->z, ctx->y, ctx->nonce_y, ctx->nonce_z};
  for (size_t i = 0; i < 6; ++i) std::memcpy(dst[i], blocks + i * n, n);
  if (tag_len != 0) std::memcpy(ctx->expected_tag, tag, tag_len);
  ctx->expected_tag_len = tag_len;
  if (cache.data != nullptr) {
    if (cached != 0) std::memcpy(cache.data, cipher, cached);
    ctx->cache = cache;
    ctx->cache_used = cached;
  }
  return VRT_SUCCESS;
}

// ---- public forwards ----

VRT_FORWARD(AEADSaveState);
VRT_FORWARD(AEADRestoreState);

}  // extern "C"
