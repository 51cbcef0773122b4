// What the other folders (and the tests) may use of the public-key
// subsystem beyond vrt.h.
#pragma once

#include <cstdint>

#include "vrt.h"

// The context of the reference implementation (opaque in vrt.h), made by
// sign2012_ctx_alloc or embedded by a signer that points it at its own
// storage.
struct Sign2012Ctx {
  const sign2012_par_t* par;  // the parameter set; bits selects the 256- or 512-bit code
  genkey_pair_t* keys;        // masked secret key, public key (2L bytes: x then y, little-endian)
  binstr_t nonce;             // the L-byte nonce of the next signature, or the UKM of the next VKO
  uint32_t flags;             // bit 0: signature halves are big-endian (set by __sign2012_ctx_init)
};

// Signature halves are written and read big-endian.
#define SIGN2012_FLAG_BIG_ENDIAN UINT32_C(1)

namespace vrt::signer {

// One signature case of the self-test: every number little-endian.
struct SignSelfTestCase {
  const sign2012_par_t* par;
  const uint8_t* secret;     // L bytes
  const uint8_t* public_key; // 2L bytes
  const uint8_t* digest;     // L bytes
  const uint8_t* nonce;      // L bytes
  const uint8_t* signature;  // 2L bytes, s then r, each big-endian
};

// One VKO case: A's secret with B's public key and B's secret with A's
// public key must both give the expected hashed key.
struct VkoSelfTestCase {
  const sign2012_par_t* par;
  const uint8_t* ukm;
  uint64_t ukm_len;
  const uint8_t* secret_a;
  const uint8_t* public_a;
  const uint8_t* secret_b;
  const uint8_t* public_b;
  uint32_t out_len;          // 32 or 64
  const uint8_t* expected;   // out_len bytes
};

// True once library initialisation has filled the dispatch table that the
// reference implementation computes through.
bool reference_ready();

// True when the 2L-byte point (x then y, little-endian) may be a public key
// of the set: an affine point of the curve (coordinates below p on the curve
// equation, not (0, 0)) of order q. Computed by the reference arithmetic;
// needs reference_ready().
bool reference_public_key_valid(const sign2012_par_t* par, const uint8_t* point);

// Runs one case through the reference implementation: 0, 1 on a mismatch,
// or the status of the failing call.
uint32_t run_sign_self_test_case(const SignSelfTestCase& c);
uint32_t run_vko_self_test_case(const VkoSelfTestCase& c);

}  // namespace vrt::signer

extern "C" {
// The elliptic-curve switches, set up and reset with the library; always 0.
VRT_API uint32_t elliptic_cxx_init(vrtp_instance_t* instance);
VRT_API void elliptic_cxx_cleanup(vrtp_instance_t* instance);
}
