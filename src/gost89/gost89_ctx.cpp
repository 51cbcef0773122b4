// The GOST 28147-89 cipher context: allocation, set-up for one or eight
// lanes and an S-box set, the mode, and the IVs of the lanes.
#include <cstdlib>
#include <cstring>

#include "frame/forward.h"
#include "gost89/gost89_ctx.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace {

using vrt::gost89::kKeyRecordSize;
using vrt::gost89::record_lanes;
using vrt::gost89::reverse8;
using vrt::gost89::usable;

uint64_t round16(uint64_t n) { return (n + 15) & ~uint64_t{15}; }

const vrt_block_alg_t* record_for(uint32_t lanes) {
  if (lanes == 1) return vrtpGost89AlgG1ptr;
  if (lanes == 8) return vrtpGost89AlgG8ptr;
  return nullptr;
}

// The end of the context memory: the work area is laid out from the first
// 16-byte boundary after the header.
uint8_t* context_end(Gost89Ctx* ctx) {
  return reinterpret_cast<uint8_t*>(ctx) + VRT_GOST89_CTX_SIZE(record_lanes(ctx));
}

void lay_out(Gost89Ctx* ctx, uint32_t lanes) {
  auto base = reinterpret_cast<uintptr_t>(ctx) + sizeof(Gost89Ctx);
  auto* p = reinterpret_cast<uint8_t*>((base + 15) & ~uintptr_t{15});
  ctx->area = p;
  ctx->lane_fill = p;
  p += round16(lanes);
  ctx->keys = reinterpret_cast<gost89_key_t*>(p);
  p += round16(uint64_t{kKeyRecordSize} * lanes);
  ctx->in_block = p;
  p += round16(8 * lanes);
  ctx->out_block = p;
  p += round16(8 * lanes);
  ctx->reg = p;
  p += round16(8 * lanes);
  ctx->reg_saved = p;
}

bool known_mode(uint32_t mode) {
  return mode == VRT_GOST89_MODE_MAC || mode == VRT_GOST89_MODE_ECB || mode == VRT_GOST89_MODE_CTR ||
         mode == VRT_GOST89_MODE_CBC || mode == VRT_GOST89_MODE_CFB;
}

}  // namespace

extern "C" {

const uint8_t vrtGost89ZeroIV[8] = {0, 0, 0, 0, 0, 0, 0, 0};

VRT_API uint32_t vrtpGost89CtxAlloc(Gost89Ctx** ctx, uint32_t lanes) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  *ctx = nullptr;
  if (record_for(lanes) == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  void* p = std::calloc(1, VRT_GOST89_CTX_SIZE(lanes));
  if (p == nullptr) return VRT_ERROR_NO_MEMORY;
  *ctx = static_cast<Gost89Ctx*>(p);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost89CtxInit(Gost89Ctx* ctx, uint32_t lanes, uintptr_t sbox_id) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  std::memset(ctx, 0, sizeof *ctx);
  const vrt_block_alg_t* alg = record_for(lanes);
  gost89_sbox_t* sbox = vrtpGost89SboxPointer(sbox_id);
  if (alg == nullptr || !vrtpGost89SboxInitialized(sbox)) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->alg = alg;
  ctx->sbox = sbox;
  lay_out(ctx, lanes);
  std::memset(ctx->area, 0, static_cast<size_t>(context_end(ctx) - ctx->area));
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost89CtxAllocInitialized(Gost89Ctx** ctx, uint32_t lanes, uintptr_t sbox_id) {
  uint32_t st = vrtpGost89CtxAlloc(ctx, lanes);
  if (st != VRT_SUCCESS) return st;
  st = vrtpGost89CtxInit(*ctx, lanes, sbox_id);
  if (st != VRT_SUCCESS) {
    std::free(*ctx);
    *ctx = nullptr;
  }
  return st;
}

VRT_API void vrtpGost89CtxFree(Gost89Ctx* ctx) { std::free(ctx); }

VRT_API uint32_t vrtpGost89SetMode(Gost89Ctx* ctx, uint32_t mode, uint32_t flags) {
  if (!usable(ctx) || !known_mode(mode)) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->mode = mode;
  ctx->flags = flags;
  auto* start = reinterpret_cast<uint8_t*>(ctx) + sizeof *ctx;
  std::memset(start, 0, static_cast<size_t>(context_end(ctx) - start));
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtGost89SetMemResetWithConst(Gost89Ctx* ctx) {
  if (ctx == nullptr || vrtStatus() == VRT_SUCCESS) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->const_reset = 1;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost89SetState(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count) {
  if (!usable(ctx) || (vecs == nullptr && count != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  if (count > ctx->alg->lanes) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->vec = vecs;
  ctx->vec_count = count;
  ctx->iv_taken = 0;
  for (uint64_t i = 0; i < count; ++i) {
    if (vecs[i].iv == nullptr) continue;
    ctx->lane_fill[i] = 0;
    std::memcpy(ctx->reg + 8 * i, vecs[i].iv, 8);
    if (ctx->flags & VRT_GOST89_FLAG_REVERSED) reverse8(ctx->reg + 8 * i);
    ctx->iv_taken |= 1u << i;
    vecs[i].iv = nullptr;
  }
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost89SetStateSimple(Gost89Ctx* ctx, const uint8_t iv[8]) {
  if (iv == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost89Vec d{};
  d.iv = iv;
  return vrtpGost89SetState(ctx, &d, 1);
}

VRT_FORWARD(Gost89CtxAlloc);
VRT_FORWARD(Gost89CtxInit);
VRT_FORWARD(Gost89CtxAllocInitialized);
VRT_FORWARD(Gost89CtxFree);
VRT_FORWARD(Gost89SetMode);
VRT_FORWARD(Gost89SetState);
VRT_FORWARD(Gost89SetStateSimple);
}  // extern "C"
