// MGM saved states from untrusted bytes, restored into a Kuznyechik and a
// Magma context: a refused blob leaves the context as it was; an accepted
// one saves back to the same bytes and runs to the end of its stream.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_key.h"
#include "vrt.h"

namespace {

void Check(uint64_t n, const genkey_t* key, const uint8_t* data, size_t size) {
  AeadCtx* ctx = nullptr;
  if (vrtAEADCtxAllocInitialized(&ctx, 1, n) != VRT_SUCCESS) std::abort();
  const uint8_t nonce[16] = {1, 2, 3};
  if (vrtAEADSetNonce(ctx, nonce) != VRT_SUCCESS) std::abort();
  uint64_t before_size = 0;
  vrtAEADSaveState(ctx, nullptr, &before_size);
  std::vector<uint8_t> before(before_size);
  vrtAEADSaveState(ctx, before.data(), &before_size);

  const uint32_t st = vrtAEADRestoreState(ctx, data, size);
  uint64_t got_size = 0;
  if (vrtAEADSaveState(ctx, nullptr, &got_size) != VRT_SUCCESS) std::abort();
  std::vector<uint8_t> got(got_size);
  if (vrtAEADSaveState(ctx, got.data(), &got_size) != VRT_SUCCESS) std::abort();
  if (st != VRT_SUCCESS) {
    if (got != before) std::abort();  // a refused blob changes nothing
  } else {
    if (got_size != size || std::memcmp(got.data(), data, size) != 0) std::abort();  // round trip
    // Carry the stream on: a text piece of either direction (one of them is
    // refused for the open direction), then both finals.
    std::vector<uint8_t> out(size + 64);
    uint64_t cap = out.size();
    const uint8_t piece[24] = {9};
    vrtAEADEncryptUpdate(ctx, key, piece, sizeof piece, VRT_AEAD_KIND_TEXT, out.data(), &cap);
    (void)vrtAEADDecryptUpdate(ctx, key, piece, sizeof piece, VRT_AEAD_KIND_TEXT);
    uint8_t tag[16];
    cap = out.size();
    (void)vrtAEADEncryptFinal(ctx, key, out.data(), &cap, tag, n);
    vrtAEADImitSetValue(ctx, tag, n);
    cap = out.size();
    (void)vrtAEADDecryptFinal(ctx, key, out.data(), &cap);
  }
  vrtAEADCtxFree(ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const genkey_t* key = vrt::fuzz::InitAndKey();
  Check(16, key, data, size);
  Check(8, key, data, size);
  return 0;
}
