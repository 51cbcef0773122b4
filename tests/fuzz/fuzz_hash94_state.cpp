// GOST R 34.11-94 saved-state blobs from untrusted bytes: a blob is refused
// with a status and changes nothing, or restores into a context that saves
// to the same bytes, and that hashes on like a second restored copy, on
// either step variant.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "vrt.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();

  hash94_ctx_t ctx;
  vrtGostHash94Init(&ctx, VRT_GOST89_SBOX_R3411_94_TEST, nullptr);
  hash94_ctx_t before = ctx;
  uint32_t st = vrtGostHash94RestoreState(&ctx, data, size);
  if (st != VRT_SUCCESS) {
    if (std::memcmp(&ctx, &before, sizeof ctx) != 0) std::abort();  // a refused blob changes nothing
    return 0;
  }
  uint8_t blob[VRT_HASH94_STATE_SIZE];
  uint64_t blob_size = sizeof blob;
  if (vrtGostHash94SaveState(&ctx, blob, &blob_size) != VRT_SUCCESS) std::abort();
  if (std::memcmp(blob, data, sizeof blob) != 0) std::abort();  // round trip

  hash94_ctx_t again;
  if (vrtGostHash94RestoreState(&again, blob, sizeof blob) != VRT_SUCCESS) std::abort();
  // The bytes after the blob are more message; the second copy takes them
  // in two pieces and on the table variant.
  const size_t extra = size - sizeof blob;
  const uint8_t* more = data + sizeof blob;
  vrtGostHash94Update(&ctx, more, extra);
  const uint32_t enabled = vrtpInstance.cpu_enabled;
  vrtpInstance.cpu_enabled &= ~VRT_CPU_AVX;
  vrtGostHash94Update(&again, more, extra / 2);
  vrtGostHash94Update(&again, more + extra / 2, extra - extra / 2);
  uint8_t d1[32], d2[32];
  if (vrtGostHash94Finalize(&again, d2) != VRT_SUCCESS) std::abort();
  vrtpInstance.cpu_enabled = enabled;
  if (vrtGostHash94Finalize(&ctx, d1) != VRT_SUCCESS) std::abort();
  if (std::memcmp(d1, d2, sizeof d1) != 0) std::abort();
  return 0;
}
