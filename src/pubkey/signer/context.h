// The signature engine: GOST R 34.10-2012 signing and verification,
// public-key creation, import and export, and the point step of VKO, on one
// curve with its optional fixed-base tables.
//
// Byte formats (L = N/8 bytes):
//   digest        L   little-endian number
//   nonce k       L   little-endian number, 1 <= k < q
//   signature     2L  s then r, each big-endian
//   public key    2L  x then y of the affine point, each little-endian
//   UKM           L   little-endian number
//   VKO result    2L  x then y of the shared point, each little-endian
//
// Every point that comes from outside (an imported public key, a peer key of
// VKO) must be an affine point of the curve: coordinates below p on the
// curve equation, not the pair (0, 0). Anything else is refused before it
// is used, since a point of another curve lets its sender learn the secret
// key from the results. On the two curves with cofactor 4 an imported public
// key must also have order q; a VKO peer key is multiplied by the cofactor
// first, so that a part of small order drops out (and a point of small
// order alone is refused).
//
// The secret key is held masked (a genkey_t of the owning signer) and
// unmasked into a stack Int for the length of one call, then wiped.
//
// Timing: signing, public-key creation and VKO are constant-time in the
// secret key, the nonce and the points made from them (ct_mul.h): d*G and
// k*G by the curve's shared fixed-base table, the VKO product by a fixed
// digit count, s = r*d + k*e mod q and the affine conversions in the
// constant-time field. Only the rejection flags (k out of range, r, s or
// d mod q zero) and r itself, which the signature publishes, are branched
// on. The exception is the opt-in signing table of a handle (80 MiB for 256
// bits): signing with it reads the entries the nonce's windows select and is
// not constant-time. Verification, key import and export work on public data
// and are variable-time. Nothing allocates here; the shared tables are
// built on first use (shared.h).
#pragma once

#include <cstdint>

#include "pubkey/ec/ct_mul.h"
#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/ec/precomp.h"
#include "vrt.h"

namespace vrt::ec {

template <int N>
class Context {
 public:
  static constexpr int kBytes = N / 8;  // L

  // The curve of a parameter set of N bits; any other value selects
  // CryptoPro A (N = 256) or TC26 512-bit A (N = 512). G is Jacobian with
  // z = one and no table; Q is the point at infinity.
  explicit Context(Parameter set);
  Context(const Context&) = delete;
  Context& operator=(const Context&) = delete;

  // Signs an L-byte digest with the nonce k into 2L bytes. Returns 0;
  // VRT_ERROR_NOT_INITIALIZED before a secret key is set;
  // VRT_ERROR_INVALID_ARGUMENT for k = 0 or k >= q (the caller draws another
  // nonce); VRT_ERROR_FAILED when r, s or d mod q comes out zero. Nothing is
  // written on failure.
  uint32_t sign(const uint8_t* digest, const uint8_t* k, uint8_t* signature);

  // 0 when the signature is valid for the digest under Q, else
  // VRT_ERROR_FAILED (also with no public key, and for r or s outside
  // [1, q), which is refused before any multiplication).
  uint32_t verify(const uint8_t* digest, const uint8_t* signature);

  // Q = d*G, normalised to z = one; the pending verification table, if any,
  // is generated for it. VRT_ERROR_NOT_INITIALIZED before a secret key is
  // set, VRT_ERROR_FAILED (Q unchanged) when d is a multiple of q.
  uint32_t create_public_key();

  // Q = the 2L-byte key; the pending verification table, if any, is
  // generated for it. VRT_ERROR_INVALID_ARGUMENT (Q and its table
  // unchanged) when the key is not a point of the curve.
  uint32_t import_public_key(const uint8_t* key);

  // Writes Q in 2L bytes. VRT_ERROR_NOT_INITIALIZED (nothing written) when
  // there is no public key.
  uint32_t export_public_key(uint8_t* key) const;

  // The shared point (UKM * cofactor * d mod q) * P of VKO into 2L bytes.
  // VRT_ERROR_NOT_INITIALIZED before a secret key is set;
  // VRT_ERROR_INVALID_ARGUMENT, nothing written, when the peer key is not a
  // point of the curve or the shared point is the point at infinity (a UKM
  // that is a multiple of q, a peer point of small order).
  uint32_t generate_vko(const uint8_t* ukm, const uint8_t* peer_public_key, uint8_t* result);

  bool has_public_key() const { return !public_key.is_infinity(); }

  const genkey_t* secret_key = nullptr;  // the signer's masked copy; not owned
  // a, p, q, b, the cofactor; params.mont is the Montgomery context of p
  // that every residue of this context refers to.
  CurveParams<N> params;
  Point<N> base;        // G; carries the signing table once one is attached
  Point<N> public_key;  // Q; may carry the verification table
  Precomp<N>* pending_verify_table = nullptr;  // generated for every new Q
  // Scalar multiplications performed so far; lets the tests see which
  // paths multiply.
  uint64_t multiplications = 0;
  // The set whose shared tables this context uses, and its curve constants
  // for the constant-time paths (a private copy, so that a context outlives
  // a release of the shared entries).
  Parameter shared_set = 0;
  ctm::Curve<N> ct;

 private:
  // x mod q by repeated subtraction (q > 2^(N-3) on every curve, so at most
  // a few steps).
  void reduce_q(Int<N>& x) const;
  // (x, y) is a point of the curve in the group of order q (checked by one
  // multiplication on the curves with cofactor 4).
  bool acceptable(const Int<N>& x, const Int<N>& y) const;
  // point = k*point: by the point's fixed-base table when it has one, else
  // by the windowed multiplication.
  static void multiply(Point<N>& point, const Int<N>& k);
  // e = digest mod q, 1 in place of 0.
  Int<N> digest_scalar(const uint8_t* digest) const;
  // Q = point (Jacobian, z = one) with the pending table generated for it.
  void set_public_key(const Point<N>& point);
  // k*G for a secret 0 < k < q, constant-time; the affine x and y as plain
  // numbers.
  void mul_base_secret(const Int<N>& k, Int<N>& x, Int<N>& y) const;
  // x mod q for x < p, constant-time.
  Int<N> reduce_q_ct(const Int<N>& x) const;
  // Whether z1*G + z2*Q (public scalars, variable-time) has an x with
  // x mod q = r; false for the point at infinity.
  bool double_mul_matches(const Int<N>& z1, const Int<N>& z2, const Int<N>& r) const;
};

extern template class Context<256>;
extern template class Context<512>;

}  // namespace vrt::ec
