// Streebog saved-state blobs from untrusted bytes: a blob is refused with a
// status or restores into a context that hashes, saves and restores again to
// the same state.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vrt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();

  hash2012_ctx_t ctx;
  vrtGostHash2012Init(&ctx, 512);
  hash2012_ctx_t before = ctx;
  uint32_t st = vrtGostHash2012RestoreState(&ctx, data, size);
  if (st != VRT_SUCCESS) {
    if (std::memcmp(&ctx, &before, sizeof ctx) != 0) std::abort();  // a refused blob changes nothing
    return 0;
  }
  uint8_t blob[VRT_HASH2012_STATE_SIZE];
  uint64_t blob_size = sizeof blob;
  if (vrtGostHash2012SaveState(&ctx, blob, &blob_size) != VRT_SUCCESS) std::abort();
  if (std::memcmp(blob, data, sizeof blob) != 0 && data[258] <= 1) std::abort();  // round trip

  hash2012_ctx_t again;
  if (vrtGostHash2012RestoreState(&again, blob, sizeof blob) != VRT_SUCCESS) std::abort();
  size_t extra = size > sizeof blob ? size - sizeof blob : 0;
  vrtGostHash2012Update(&ctx, data + sizeof blob, extra);
  vrtGostHash2012Update(&again, data + sizeof blob, extra);
  uint8_t d1[64], d2[64];
  if (vrtGostHash2012Finalize(&ctx, d1) != VRT_SUCCESS) std::abort();
  if (vrtGostHash2012Finalize(&again, d2) != VRT_SUCCESS) std::abort();
  if (std::memcmp(d1, d2, ctx.digest_bits / 8) != 0) std::abort();
  return 0;
}
