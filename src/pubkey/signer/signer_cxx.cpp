// The fast signer over vrt::ec::Context<N>, and the masked key copy both
// signers keep.
#include <cstring>
#include <new>

#include "pubkey/signer/secret.h"
#include "pubkey/signer/signer.h"

namespace vrt {

template <int N>
OwnedKey<N>::OwnedKey() {
  __binstr_init(&record.key, key, sizeof key);
  __binstr_init(&record.filler, filler, sizeof filler);
  __binstr_init(&record.mask, mask, sizeof mask);
  record.kind = GOST89_KEY_XOR;
}

template <int N>
uint32_t OwnedKey<N>::load(const genkey_t* src) {
  if (src == nullptr || src->key.data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (src->key.length != sizeof key) return VRT_ERROR_LENGTH;
  const uint32_t kind = src->kind & (GOST89_KEY_XOR | GOST89_KEY_ADD);
  if (kind != 0 && src->mask.data != nullptr && src->mask.length == sizeof mask) {
    std::memcpy(key, src->key.data, sizeof key);
    std::memcpy(mask, src->mask.data, sizeof mask);
    uint32_t st = VRT_SUCCESS;
    if (src->filler.data != nullptr && src->filler.length == sizeof filler)
      std::memcpy(filler, src->filler.data, sizeof filler);
    else
      st = vrt_memreset_s(filler, sizeof filler);
    record.kind = kind;
    return st;
  }
  // A key stored plainly is masked here: the handle never holds it in the
  // clear between calls.
  uint8_t fresh[sizeof mask];
  uint32_t st = vrt_memreset_s(fresh, sizeof fresh);
  if (st == VRT_SUCCESS) st = vrt_memreset_s(filler, sizeof filler);
  if (st != VRT_SUCCESS) {
    signer::wipe(fresh, sizeof fresh);
    return st;
  }
  std::memcpy(mask, fresh, sizeof mask);
  signer::wipe(fresh, sizeof fresh);
  record.kind = GOST89_KEY_XOR;
  genkey_unmask_to(src, &record);  // the plain bytes, straight into the record
  genkey_mask(&record);
  return VRT_SUCCESS;
}

template <int N>
void OwnedKey<N>::wipe() {
  signer::wipe(key, sizeof key);
  signer::wipe(mask, sizeof mask);
}

template <int N>
SignerCxx<N>::~SignerCxx() {
  if (sign_table_ != nullptr) sign_table_->~Precomp();
  if (verify_table_ != nullptr) verify_table_->~Precomp();
  key_.wipe();
}

template <int N>
uint32_t SignerCxx<N>::sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) {
  return ctx_.sign(digest, nonce, signature);
}

template <int N>
uint32_t SignerCxx<N>::verify(const uint8_t* digest, const uint8_t* signature) {
  return ctx_.verify(digest, signature);
}

template <int N>
uint32_t SignerCxx<N>::create_public_key() {
  return ctx_.create_public_key();
}

template <int N>
uint32_t SignerCxx<N>::import_secret_key(const genkey_t* key) {
  uint32_t st = key_.load(key);
  // A refused record leaves the previous key in place; a generator failure
  // half way leaves no key at all.
  if (st == VRT_ERROR_INVALID_ARGUMENT || st == VRT_ERROR_LENGTH) return st;
  if (st != VRT_SUCCESS) {
    key_.wipe();
    ctx_.secret_key = nullptr;
    return st;
  }
  ctx_.secret_key = &key_.record;
  return VRT_SUCCESS;
}

template <int N>
uint32_t SignerCxx<N>::import_public_key(const uint8_t* key) {
  return ctx_.import_public_key(key);
}

template <int N>
uint32_t SignerCxx<N>::export_public_key(uint8_t* key) {
  return ctx_.export_public_key(key);
}

template <int N>
uint32_t SignerCxx<N>::generate_vko(const uint8_t* ukm, const uint8_t* peer_key, uint8_t* result) {
  return ctx_.generate_vko(ukm, peer_key, result);
}

template <int N>
uint32_t SignerCxx<N>::set_precomp_sign(void* ctx, void* mem) {
  if (sign_table_ != nullptr) return VRT_SUCCESS;
  auto* table = new (ctx) SignerTable<N>(mem);
  sign_table_ = table;
  ctx_.base.make_jacobian();
  uint32_t st = table->generate(ctx_.base, ctx_.params.mont);
  ctx_.base.mul_mode = 1;
  ctx_.base.precomp = table;
  return st;
}

template <int N>
void SignerCxx<N>::set_precomp_verify(void* ctx, void* mem) {
  if (verify_table_ != nullptr) return;
  auto* table = new (ctx) SignerTable<N>(mem);
  verify_table_ = table;
  ctx_.public_key.make_jacobian();
  ctx_.pending_verify_table = table;
  // A key set before the table existed gets it now.
  if (ctx_.has_public_key()) {
    table->generate(ctx_.public_key, ctx_.params.mont);
    ctx_.public_key.mul_mode = 1;
    ctx_.public_key.precomp = table;
  }
}

template struct OwnedKey<256>;
template struct OwnedKey<512>;
template class SignerCxx<256>;
template class SignerCxx<512>;

}  // namespace vrt
