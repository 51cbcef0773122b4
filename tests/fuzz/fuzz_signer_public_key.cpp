// Public keys and VKO peer keys from untrusted bytes, through both signers:
// the engine and the reference implementation accept and refuse the same
// points, and agree on the shared point of every accepted one.
//
// Input: set byte, point (2L), UKM (L); short inputs are zero-padded.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pubkey/signer/signer.h"
#include "vrt.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// One handle per set and signer with a fixed key, made once.
SignerHandle* Keyed(Parameter set, bool engine) {
  static SignerHandle* handles[2][VRT_PARAM_COUNT] = {};
  SignerHandle*& h = handles[engine ? 1 : 0][set];
  if (h == nullptr) {
    const size_t L = set < 10 ? 32 : 64;
    genkey_t key{};
    check(genkey_alloc(&key, L, 0) == VRT_SUCCESS);
    for (size_t i = 0; i < L; ++i) key.key.data[i] = static_cast<uint8_t>(0xa5 ^ (i * 11));
    key.key.data[L - 1] = 0x1e;  // below every q
    vrt::flags::supported_build = engine;
    check(vrtSignerInit(&h, set) == VRT_SUCCESS);
    vrt::flags::supported_build = true;
    check(vrtSignerImportSecretKey(h, &key) == VRT_SUCCESS);
    genkey_free(&key);
  }
  return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    bool ok = vrtInit() == VRT_SUCCESS;
    vrt::flags::precomp_sign = false;
    vrt::flags::precomp_verify = false;
    return ok;
  }();
  check(ready);
  if (size == 0) return 0;
  const Parameter set = data[0] % VRT_PARAM_COUNT;
  const size_t L = set < 10 ? 32 : 64;
  uint8_t in[3 * 64] = {};
  std::memcpy(in, data + 1, size - 1 < 3 * L ? size - 1 : 3 * L);
  const uint8_t* point = in;
  const uint8_t* ukm = in + 2 * L;

  uint32_t st[2], vko[2];
  uint8_t shared[2][128] = {};
  for (int engine = 0; engine < 2; ++engine) {
    SignerHandle* h = Keyed(set, engine != 0);
    st[engine] = vrtSignerImportPublicKey(h, point);
    check(st[engine] == VRT_SUCCESS || st[engine] == VRT_ERROR_INVALID_ARGUMENT);
    vko[engine] = vrtSignerGenerateVKO(h, ukm, point, shared[engine]);
    check(vko[engine] == VRT_SUCCESS || vko[engine] == VRT_ERROR_INVALID_ARGUMENT);
    if (st[engine] != VRT_SUCCESS) check(vko[engine] == VRT_ERROR_INVALID_ARGUMENT);
  }
  check(st[0] == st[1]);
  check(vko[0] == vko[1]);
  if (vko[0] == VRT_SUCCESS) check(std::memcmp(shared[0], shared[1], 2 * L) == 0);
  return 0;
}
