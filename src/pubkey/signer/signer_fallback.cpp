// The reference signer: one Sign2012Ctx pointed at storage inside the
// signer object (key pair with its key, filler and mask, the public key and
// the nonce buffer), driving sign2012_sign and the other reference entry
// points.
#include <cstring>

#include "pubkey/ec/curve.h"
#include "pubkey/signer/secret.h"
#include "pubkey/signer/signer.h"

namespace vrt {

template <int N>
SignerFallback<N>::SignerFallback(Parameter set) {
  const sign2012_par_t* par = ec::parameter_record(set);
  if (par == nullptr || par->bits != static_cast<uint32_t>(N))
    par = ec::parameter_record(N == 256 ? VRT_PARAM_CRYPTOPRO_A : VRT_PARAM_TC26_512_A);
  pair_.secret = key_.record;
  __binstr_init(&pair_.public_key, public_key_, sizeof public_key_);
  ctx_.keys = &pair_;
  __binstr_init(&ctx_.nonce, nonce_, sizeof nonce_);
  __sign2012_ctx_init(&ctx_, par);
}

template <int N>
SignerFallback<N>::~SignerFallback() {
  key_.wipe();
  signer::wipe(nonce_, sizeof nonce_);
}

template <int N>
uint32_t SignerFallback<N>::sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) {
  if (!has_secret_) return VRT_ERROR_NOT_INITIALIZED;
  std::memcpy(nonce_, nonce, sizeof nonce_);
  uint32_t st = sign2012_sign(&ctx_, digest, signature);
  signer::wipe(nonce_, sizeof nonce_);  // the nonce gives the key away
  return st;
}

template <int N>
uint32_t SignerFallback<N>::verify(const uint8_t* digest, const uint8_t* signature) {
  if (!has_public_) return VRT_ERROR_FAILED;
  return sign2012_verify(&ctx_, digest, signature);
}

template <int N>
uint32_t SignerFallback<N>::create_public_key() {
  if (!has_secret_) return VRT_ERROR_NOT_INITIALIZED;
  uint8_t saved[sizeof public_key_];
  std::memcpy(saved, public_key_, sizeof saved);
  uint32_t st = sign2012_create_pub_key(&ctx_);
  if (st == VRT_SUCCESS)
    has_public_ = true;
  else
    std::memcpy(public_key_, saved, sizeof saved);
  return st;
}

template <int N>
uint32_t SignerFallback<N>::import_secret_key(const genkey_t* key) {
  uint32_t st = key_.load(key);
  if (st == VRT_ERROR_INVALID_ARGUMENT || st == VRT_ERROR_LENGTH) return st;  // the previous key stays
  pair_.secret = key_.record;
  has_secret_ = st == VRT_SUCCESS;
  if (!has_secret_) key_.wipe();
  return st;
}

template <int N>
uint32_t SignerFallback<N>::import_public_key(const uint8_t* key) {
  if (!signer::reference_ready()) return VRT_ERROR_NOT_INITIALIZED;
  if (!signer::reference_public_key_valid(ctx_.par, key)) return VRT_ERROR_INVALID_ARGUMENT;
  std::memcpy(public_key_, key, sizeof public_key_);
  has_public_ = true;
  return VRT_SUCCESS;
}

template <int N>
uint32_t SignerFallback<N>::export_public_key(uint8_t* key) {
  if (!has_public_) return VRT_ERROR_NOT_INITIALIZED;
  std::memcpy(key, public_key_, sizeof public_key_);
  return VRT_SUCCESS;
}

template <int N>
uint32_t SignerFallback<N>::generate_vko(const uint8_t* ukm, const uint8_t* peer_key, uint8_t* result) {
  if (!has_secret_) return VRT_ERROR_NOT_INITIALIZED;
  std::memcpy(nonce_, ukm, sizeof nonce_);
  uint32_t st = sign2012_generate_VKO(&ctx_, result, peer_key);
  signer::wipe(nonce_, sizeof nonce_);
  return st;
}

template class SignerFallback<256>;
template class SignerFallback<512>;

}  // namespace vrt
