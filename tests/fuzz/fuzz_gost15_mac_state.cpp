// MAC states from untrusted bytes, restored into a Kuznyechik and a Magma
// context: a refused blob leaves the context as it was; an accepted one
// saves back to the same bytes, takes more message and gives its MAC.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_key.h"
#include "vrt.h"

namespace {

// Every accepted state runs to its end: a restored stream's first call
// redoes its key changes, which RestoreState bounds.
std::vector<uint8_t> Save(Gost15Ctx* ctx) {
  uint64_t size = 0;
  if (vrtGost15MACSaveState(ctx, nullptr, &size) != VRT_SUCCESS) std::abort();
  std::vector<uint8_t> blob(size);
  if (vrtGost15MACSaveState(ctx, blob.data(), &size) != VRT_SUCCESS) std::abort();
  return blob;
}

void Check(uint32_t n, const genkey_t* key, const uint8_t* data, size_t size) {
  Gost15Ctx* ctx = nullptr;
  if (vrtGost15CtxAllocInitialized(&ctx, 1, n) != VRT_SUCCESS) std::abort();
  if (vrtGost15SetMode(ctx, VRT_GOST15_MODE_MAC, 0) != VRT_SUCCESS) std::abort();
  const uint8_t first[5] = {3};
  if (vrtGost15MACUpdate(ctx, key, first, sizeof first) != VRT_SUCCESS) std::abort();
  const std::vector<uint8_t> before = Save(ctx);

  const uint32_t st = vrtGost15MACRestoreState(ctx, data, size);
  const std::vector<uint8_t> got = Save(ctx);
  if (st != VRT_SUCCESS) {
    if (got != before) std::abort();  // a refused blob changes nothing
  } else {
    if (got.size() != size || std::memcmp(got.data(), data, size) != 0) std::abort();  // round trip
    {
      const uint8_t piece[2 * 16 + 3] = {9};
      uint8_t mac[16];
      if (vrtGost15MACUpdate(ctx, key, piece, sizeof piece) != VRT_SUCCESS) std::abort();
      if (vrtGost15MACGetValue(ctx, key, mac) != VRT_SUCCESS) std::abort();
    }
  }
  vrtGost15CtxFree(ctx);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const genkey_t* key = vrt::fuzz::InitAndKey();
  Check(16, key, data, size);
  Check(8, key, data, size);
  return 0;
}
