// Signature verification on untrusted bytes: a parameter set, a public key,
// a digest and a signature. Import refuses exactly the keys that are not
// points of the group (checked against the reference implementation), an
// accepted key exports unchanged, verification answers 0 or 1 and never
// faults, and whatever the engine signs with a fuzzed nonce verifies.
//
// Input: set byte, public key (2L), digest (L), signature (2L); short
// inputs are zero-padded.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "pubkey/internal.h"
#include "pubkey/signer/signer.h"
#include "vrt.h"

namespace {

void check(bool ok) {
  if (!ok) std::abort();
}

// One handle per set with a fixed key, made once.
SignerHandle* Keyed(Parameter set) {
  static SignerHandle* handles[VRT_PARAM_COUNT] = {};
  if (handles[set] == nullptr) {
    const size_t L = set < 10 ? 32 : 64;
    uint8_t d[64];
    for (size_t i = 0; i < sizeof d; ++i) d[i] = static_cast<uint8_t>(0x5a ^ (i * 37));
    d[L - 1] = 0x1f;  // below every q
    genkey_t key{};
    check(genkey_alloc(&key, L, 0) == VRT_SUCCESS);
    std::memcpy(key.key.data, d, L);
    check(vrtSignerInit(&handles[set], set) == VRT_SUCCESS);
    check(vrtSignerImportSecretKey(handles[set], &key) == VRT_SUCCESS);
    check(vrtSignerCreatePublicKey(handles[set]) == VRT_SUCCESS);
    genkey_free(&key);
  }
  return handles[set];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = [] {
    bool ok = vrtInit() == VRT_SUCCESS;
    // The fixed-base tables would cost a second per 256-bit handle.
    vrt::flags::precomp_sign = false;
    vrt::flags::precomp_verify = false;
    return ok;
  }();
  check(ready);
  if (size == 0) return 0;
  const Parameter set = data[0] % VRT_PARAM_COUNT;
  const size_t L = set < 10 ? 32 : 64;
  uint8_t in[5 * 64] = {};
  std::memcpy(in, data + 1, size - 1 < 5 * L ? size - 1 : 5 * L);
  const uint8_t* pub = in;
  const uint8_t* digest = in + 2 * L;
  const uint8_t* sig = in + 3 * L;

  SignerHandle* h = nullptr;
  check(vrtSignerInit(&h, set) == VRT_SUCCESS);
  const uint32_t st = vrtSignerImportPublicKey(h, pub);
  check(st == VRT_SUCCESS || st == VRT_ERROR_INVALID_ARGUMENT);
  check((st == VRT_SUCCESS) == vrt::signer::reference_public_key_valid(vrt::ec::parameter_record(set), pub));
  if (st == VRT_SUCCESS) {
    uint8_t out[128];
    check(vrtSignerExportPublicKey(h, out) == VRT_SUCCESS);
    check(std::memcmp(out, pub, 2 * L) == 0);
  } else {
    uint8_t out[128];
    check(vrtSignerExportPublicKey(h, out) == VRT_ERROR_NOT_INITIALIZED);
  }
  const uint32_t v = vrtSignerVerify(h, digest, sig);
  check(v == VRT_SUCCESS || v == VRT_ERROR_FAILED);
  check(st == VRT_SUCCESS || v == VRT_ERROR_FAILED);
  vrtSignerRelease(h);

  // The fixed key: a fuzzed signature verifies only if it is what the key
  // itself makes; the first L signature bytes as a nonce sign and verify.
  SignerHandle* k = Keyed(set);
  const uint32_t fv = vrtSignerVerify(k, digest, sig);
  check(fv == VRT_SUCCESS || fv == VRT_ERROR_FAILED);
  uint8_t made[128];
  const uint32_t s = vrtSignerSign(k, digest, sig, made);
  check(s == VRT_SUCCESS || s == VRT_ERROR_INVALID_ARGUMENT || s == VRT_ERROR_FAILED);
  if (s == VRT_SUCCESS) {
    check(vrtSignerVerify(k, digest, made) == VRT_SUCCESS);
    made[L + (sig[0] % L)] ^= 1;  // one bit of r
    check(vrtSignerVerify(k, digest, made) == VRT_ERROR_FAILED);
  }
  return 0;
}
