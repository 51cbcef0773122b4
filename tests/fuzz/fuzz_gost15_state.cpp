// Cipher stream states from untrusted bytes, restored into a Kuznyechik and
// a Magma context: a refused blob leaves the context as it was; an accepted
// one saves back to the same bytes and carries its stream to the end.
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
  if (vrtGost15SaveState(ctx, nullptr, &size) != VRT_SUCCESS) std::abort();
  std::vector<uint8_t> blob(size);
  if (vrtGost15SaveState(ctx, blob.data(), &size) != VRT_SUCCESS) std::abort();
  return blob;
}

void Check(uint32_t n, const genkey_t* key, const uint8_t* data, size_t size) {
  Gost15Ctx* ctx = nullptr;
  if (vrtGost15CtxAllocInitialized(&ctx, 1, n) != VRT_SUCCESS) std::abort();
  if (vrtGost15SetMode(ctx, VRT_GOST15_MODE_CBC, 0) != VRT_SUCCESS) std::abort();
  const std::vector<uint8_t> before = Save(ctx);

  const uint32_t st = vrtGost15RestoreState(ctx, data, size);
  const std::vector<uint8_t> got = Save(ctx);
  if (st != VRT_SUCCESS) {
    if (got != before) std::abort();  // a refused blob changes nothing
  } else {
    if (got.size() != size || std::memcmp(got.data(), data, size) != 0) std::abort();  // round trip
    {
      // A piece in either direction (the one not open is refused), then
      // both finals; every output fits its asked size.
      const uint8_t piece[3 * 16 + 5] = {9};
      const uint8_t iv[16] = {1};
      std::vector<uint8_t> out(sizeof piece + 2 * n);
      for (int dir = 0; dir < 2; ++dir) {
        uint64_t need = 0;
        auto update = dir == 0 ? vrtGost15EncryptUpdate : vrtGost15DecryptUpdate;
        if (update(ctx, key, piece, sizeof piece, iv, n, nullptr, &need) == VRT_SUCCESS) {
          if (need > out.size()) std::abort();
          uint64_t cap = out.size();
          update(ctx, key, piece, sizeof piece, iv, n, out.data(), &cap);
        }
      }
      for (int dir = 0; dir < 2; ++dir) {
        auto final_step = dir == 0 ? vrtGost15EncryptFinal : vrtGost15DecryptFinal;
        uint64_t need = 0;
        if (final_step(ctx, key, nullptr, &need) == VRT_SUCCESS) {
          if (need > out.size()) std::abort();
          uint64_t cap = out.size();
          final_step(ctx, key, out.data(), &cap);
        }
      }
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
