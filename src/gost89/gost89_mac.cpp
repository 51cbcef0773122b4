// The GOST 28147-89 MAC (imitovstavka) over the cipher context: requests in
// the MAC mode, and the value read out of the context.
#include <cstring>

#include "frame/forward.h"
#include "gost89/gost89_ctx.h"
#include "vrt.h"

using vrt::gost89::Request;
using vrt::gost89::request;
using vrt::gost89::usable;

extern "C" {

VRT_API uint32_t vrtpGost89MAC(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count) {
  return request(ctx, vecs, count, Request::kMac);
}

VRT_API uint32_t vrtpGost89MACSimple(Gost89Ctx* ctx, const genkey_t* key, const uint8_t* in, uint64_t len) {
  if (key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost89Vec d{len, in, nullptr, key, nullptr, 0};
  return request(ctx, &d, 1, Request::kMac);
}

VRT_API uint32_t vrtpGost89MACGetValue(Gost89Ctx* ctx, uint8_t* out) {
  if (!usable(ctx) || out == nullptr || ctx->mode != VRT_GOST89_MODE_MAC) return VRT_ERROR_INVALID_ARGUMENT;
  std::memcpy(out, ctx->out_block, ctx->alg->block_size);
  return VRT_SUCCESS;
}

VRT_FORWARD(Gost89MAC);
VRT_FORWARD(Gost89MACSimple);
VRT_FORWARD(Gost89MACGetValue);

}  // extern "C"
