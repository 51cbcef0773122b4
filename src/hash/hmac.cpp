// HMAC (RFC 2104) over Streebog-256, Streebog-512 and GOST R 34.11-94 (on
// the CryptoPro set), as profiled by R 50.1.113-2016 and RFC 7836: one
// streaming interface over a small operations record per algorithm, the
// one-call functions, and the keyed form the key derivation code uses.
//
// Wiping: the bytes that hold the key itself or the key XOR a pad (the key
// block, and the checksum of a hash that absorbed a padded key block) are
// overwritten with vrt_memreset_s; chaining values and digests, which are
// derived from the key but give no key byte, are cleared.
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "hash/internal.h"
#include "vrt.h"

extern "C" {
const uint8_t vrtpHMACIPadding[64] = {
    0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36,
    0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36,
    0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36,
    0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36, 0x36};
const uint8_t vrtpHMACOPadding[64] = {
    0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c,
    0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c,
    0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c,
    0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c, 0x5c};
}

namespace vrt::hash {
namespace {

constexpr uint64_t kFinalised = ~uint64_t{0};

hmac_ctx_t* as_ctx(uint8_t* c) { return reinterpret_cast<hmac_ctx_t*>(c); }

// A key record with its bytes (none needed for an empty key).
bool usable(const binstr_t* b) { return b != nullptr && (b->length == 0 || b->data != nullptr); }

// Field offsets of the hash records: the key-bearing run (checksum and key
// block) sits between the chaining value and counter before it and the
// buffer after it.
static_assert(offsetof(hash2012_ctx_t, hmac_key) == offsetof(hash2012_ctx_t, sigma) + 64, "layout");
static_assert(offsetof(hash94_ctx_t, hmac_key) == offsetof(hash94_ctx_t, sigma) + 32, "layout");
static_assert(sizeof(hmac_ctx_t) == VRT_HMAC_CTX_SIZE, "HMAC context size");

// After the final step: the key-bearing run wiped, the chaining values and
// the buffer cleared, the hash marked finalised so that the context refuses
// more data.
void wipe_streebog(hash2012_ctx_t* h) {
  vrt_memreset_s(h->sigma, 128);
  vrt_memset_s(h->h, sizeof h->h, 0, sizeof h->h);
  vrt_memset_s(h->N, sizeof h->N, 0, sizeof h->N);
  vrt_memset_s(h->buffer, sizeof h->buffer, 0, sizeof h->buffer);
  h->buffered = kFinalised;
}

void wipe_gost94(hash94_ctx_t* h) {
  vrt_memreset_s(h->sigma, 64);
  vrt_memset_s(h->h, sizeof h->h, 0, sizeof h->h);
  vrt_memset_s(h->L, sizeof h->L, 0, sizeof h->L);
  vrt_memset_s(h->buffer, sizeof h->buffer, 0, sizeof h->buffer);
  h->buffered = kFinalised;
}

// ---- Streebog ----

uint32_t streebog_key_setup(uint8_t* c, const binstr_t* key) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || !usable(key)) return VRT_ERROR_FAILED;
  if (ctx->hmac_ops == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  hash2012_ctx_t* h = &ctx->hash.h2012;
  const uint32_t bits = static_cast<uint32_t>(8 * ctx->hmac_ops->digest_size);
  std::memset(h->hmac_key, 0, sizeof h->hmac_key);
  if (key->length > sizeof h->hmac_key) {
    vrtpGostHash2012Init(h, bits);
    vrtpGostHash2012Update(h, key->data, key->length);
    vrtpGostHash2012Finalize(h, h->hmac_key);
  } else if (key->length != 0) {
    std::memcpy(h->hmac_key, key->data, key->length);
  }
  // The padded block is absorbed from the key block itself, so no other copy
  // of it is made.
  const vrt_xor_fn xor512 = vrtpInstance.arch.xor512;
  xor512(h->hmac_key, h->hmac_key, vrtpHMACIPadding);
  vrtpGostHash2012Init(h, bits);
  vrtpGostHash2012Update(h, h->hmac_key, 64);
  xor512(h->hmac_key, h->hmac_key, vrtpHMACIPadding);
  return VRT_SUCCESS;
}

uint32_t streebog_update(uint8_t* c, const binstr_t* data) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || !usable(data)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->hash.h2012.digest_bits != 8 * ctx->hmac_ops->digest_size) return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpGostHash2012Update(&ctx->hash.h2012, data->data, data->length);
}

uint32_t streebog_final(uint8_t* c, uint8_t* mac) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || mac == nullptr || ctx->hmac_ops == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  hash2012_ctx_t* h = &ctx->hash.h2012;
  if (h->buffered == kFinalised) return VRT_ERROR_NOT_INITIALIZED;
  const uint64_t n = ctx->hmac_ops->digest_size;
  const uint32_t bits = static_cast<uint32_t>(8 * n);
  // The inner digest goes to mac: it must be of the algorithm's size (a
  // 512-bit one would run past a 32-byte MAC), and the hash must take it.
  if (h->digest_bits != bits) return VRT_ERROR_INVALID_ARGUMENT;
  const uint32_t st = vrtpGostHash2012Finalize(h, mac);
  if (st != VRT_SUCCESS) return st;
  vrtpInstance.arch.xor512(h->hmac_key, h->hmac_key, vrtpHMACOPadding);
  vrtpGostHash2012Init(h, bits);
  vrtpGostHash2012Update(h, h->hmac_key, 64);
  vrtpGostHash2012Update(h, mac, n);
  vrtpGostHash2012Finalize(h, mac);
  wipe_streebog(h);
  return VRT_SUCCESS;
}

// ---- GOST R 34.11-94 ----

uint32_t gost94_init(hash94_ctx_t* h) {
  return vrtpGostHash94Init(h, VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, nullptr);
}

uint32_t gost94_key_setup(uint8_t* c, const binstr_t* key) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || !usable(key)) return VRT_ERROR_FAILED;
  hash94_ctx_t* h = &ctx->hash.h94;
  std::memset(h->hmac_key, 0, sizeof h->hmac_key);
  if (key->length > sizeof h->hmac_key) {
    uint32_t st = gost94_init(h);
    if (st != VRT_SUCCESS) return st;
    vrtpGostHash94Update(h, key->data, key->length);
    vrtpGostHash94Finalize(h, h->hmac_key);
  } else if (key->length != 0) {
    std::memcpy(h->hmac_key, key->data, key->length);
  }
  const vrt_xor_fn xor256 = vrtpInstance.arch.xor256;
  xor256(h->hmac_key, h->hmac_key, vrtpHMACIPadding);
  uint32_t st = gost94_init(h);
  if (st == VRT_SUCCESS) vrtpGostHash94Update(h, h->hmac_key, 32);
  xor256(h->hmac_key, h->hmac_key, vrtpHMACIPadding);
  return st;
}

uint32_t gost94_update(uint8_t* c, const binstr_t* data) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || !usable(data)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->hash.h94.sbox != &vrtpGost89SboxGostR3411_94_CryptoProParamSet) return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpGostHash94Update(&ctx->hash.h94, data->data, data->length);
}

uint32_t gost94_final(uint8_t* c, uint8_t* mac) {
  hmac_ctx_t* ctx = as_ctx(c);
  if (ctx == nullptr || mac == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  hash94_ctx_t* h = &ctx->hash.h94;
  if (h->buffered == kFinalised) return VRT_ERROR_NOT_INITIALIZED;
  // HMAC-GOST R 34.11-94 runs on the CryptoPro set only.
  if (h->sbox != &vrtpGost89SboxGostR3411_94_CryptoProParamSet) return VRT_ERROR_INVALID_ARGUMENT;
  uint32_t st = vrtpGostHash94Finalize(h, mac);
  if (st != VRT_SUCCESS) return st;
  vrtpInstance.arch.xor256(h->hmac_key, h->hmac_key, vrtpHMACOPadding);
  if (st == VRT_SUCCESS) st = gost94_init(h);
  if (st == VRT_SUCCESS) {
    vrtpGostHash94Update(h, h->hmac_key, 32);
    vrtpGostHash94Update(h, mac, 32);
    vrtpGostHash94Finalize(h, mac);
  }
  wipe_gost94(h);
  return st;
}

}  // namespace

const hmac_ops_t* hmac_ops_for(uint32_t algorithm) {
  switch (algorithm) {
    case VRT_ALG_HMAC2012_256:
      return &vrtpHmacOpsGost2012_256;
    case VRT_ALG_HMAC2012_512:
      return &vrtpHmacOpsGost2012_512;
    case VRT_ALG_HMAC94:
      return &vrtpHmacOpsGost94;
    default:
      return nullptr;
  }
}

namespace {

// Only the three records are ever called through: a context whose pointer
// is anything else was never initialised (or was overwritten).
bool known_ops(const hmac_ops_t* ops) {
  return ops == &vrtpHmacOpsGost2012_256 || ops == &vrtpHmacOpsGost2012_512 || ops == &vrtpHmacOpsGost94;
}

bool is_gost94(const hmac_ops_t* ops) { return ops == &vrtpHmacOpsGost94; }

// The hash context after a padded key block: the stored chaining value,
// the counter of one block, the checksum of the padded block.
void resume(HmacKeyed* k, const uint8_t* chain, const uint8_t* pad) {
  if (is_gost94(k->ops)) {
    hash94_ctx_t* h = &k->work.hash.h94;
    h->sbox = &vrtpGost89SboxGostR3411_94_CryptoProParamSet;
    std::memcpy(h->h, chain, 32);
    std::memset(h->L, 0, sizeof h->L);
    h->L[1] = 1;  // 256 bits
    vrtpInstance.arch.xor256(h->sigma, k->block, pad);
    h->buffered = 0;
  } else {
    hash2012_ctx_t* h = &k->work.hash.h2012;
    std::memcpy(h->h, chain, 64);
    std::memset(h->N, 0, sizeof h->N);
    h->N[1] = 2;  // 512 bits
    vrtpInstance.arch.xor512(h->sigma, k->block, pad);
    h->buffered = 0;
    h->digest_bits = 8 * k->ops->digest_size;
  }
}

void work_update(HmacKeyed* k, const uint8_t* p, uint64_t n) {
  if (n == 0) return;
  if (is_gost94(k->ops))
    vrtpGostHash94Update(&k->work.hash.h94, p, n);
  else
    vrtpGostHash2012Update(&k->work.hash.h2012, p, n);
}

void work_final(HmacKeyed* k, uint8_t* out) {
  if (is_gost94(k->ops))
    vrtpGostHash94Finalize(&k->work.hash.h94, out);
  else
    vrtpGostHash2012Finalize(&k->work.hash.h2012, out);
}

// The chaining value of the hash after one padded key block.
void chain_after(HmacKeyed* k, const uint8_t* pad, uint8_t* chain) {
  const uint64_t b = k->ops->block_size;
  vrt_xor_fn x = b == 64 ? vrtpInstance.arch.xor512 : vrtpInstance.arch.xor256;
  x(k->block, k->block, pad);
  if (is_gost94(k->ops)) {
    hash94_ctx_t* h = &k->work.hash.h94;
    gost94_init(h);
    vrtpGostHash94Update(h, k->block, 32);
    std::memcpy(chain, h->h, 32);
  } else {
    hash2012_ctx_t* h = &k->work.hash.h2012;
    vrtpGostHash2012Init(h, static_cast<uint32_t>(8 * k->ops->digest_size));
    vrtpGostHash2012Update(h, k->block, 64);
    std::memcpy(chain, h->h, 64);
  }
  x(k->block, k->block, pad);
}

}  // namespace

uint32_t hmac_keyed_begin(HmacKeyed* k, uint32_t algorithm) {
  std::memset(k, 0, sizeof *k);
  k->ops = hmac_ops_for(algorithm);
  return k->ops != nullptr ? VRT_SUCCESS : VRT_ERROR_UNSUPPORTED;
}

void hmac_keyed_hash_key(HmacKeyed* k, const uint8_t* key, uint64_t key_len) {
  // The digest fills a GOST R 34.11-94 block and the first 32 or all 64
  // bytes of a Streebog one.
  if (is_gost94(k->ops)) {
    hash94_ctx_t* h = &k->work.hash.h94;
    gost94_init(h);
    vrtpGostHash94Update(h, key, key_len);
    vrtpGostHash94Finalize(h, k->block);
  } else {
    hash2012_ctx_t* h = &k->work.hash.h2012;
    vrtpGostHash2012Init(h, static_cast<uint32_t>(8 * k->ops->digest_size));
    vrtpGostHash2012Update(h, key, key_len);
    vrtpGostHash2012Finalize(h, k->block);
  }
}

void hmac_keyed_setup(HmacKeyed* k) {
  chain_after(k, vrtpHMACIPadding, k->inner);
  chain_after(k, vrtpHMACOPadding, k->outer);
}

uint32_t hmac_keyed_init(HmacKeyed* k, uint32_t algorithm, const uint8_t* key, uint64_t key_len) {
  uint32_t st = hmac_keyed_begin(k, algorithm);
  if (st != VRT_SUCCESS) return st;
  if (key_len > k->ops->block_size)
    hmac_keyed_hash_key(k, key, key_len);
  else if (key_len != 0)
    std::memcpy(k->block, key, key_len);
  hmac_keyed_setup(k);
  return VRT_SUCCESS;
}

void hmac_keyed_mac(HmacKeyed* k, const uint8_t* a, uint64_t a_len, const uint8_t* b, uint64_t b_len,
                    const uint8_t* c, uint64_t c_len, uint8_t* mac) {
  resume(k, k->inner, vrtpHMACIPadding);
  work_update(k, a, a_len);
  work_update(k, b, b_len);
  work_update(k, c, c_len);
  work_final(k, mac);
  resume(k, k->outer, vrtpHMACOPadding);
  work_update(k, mac, k->ops->digest_size);
  work_final(k, mac);
}

void hmac_keyed_wipe(HmacKeyed* k) {
  vrt_memreset_s(k->block, sizeof k->block);
  if (is_gost94(k->ops))
    wipe_gost94(&k->work.hash.h94);
  else
    wipe_streebog(&k->work.hash.h2012);
  vrt_memset_s(k->inner, sizeof k->inner, 0, sizeof k->inner);
  vrt_memset_s(k->outer, sizeof k->outer, 0, sizeof k->outer);
}

namespace {

uint32_t one_shot(uint32_t algorithm, uint8_t* mac, const binstr_t* key, const binstr_t* data) {
  if (mac == nullptr || !usable(key) || !usable(data)) return VRT_ERROR_INVALID_ARGUMENT;
  hmac_ctx_t ctx;
  auto* c = reinterpret_cast<uint8_t*>(&ctx);
  uint32_t st = vrtpHMACInit(c, key, algorithm);
  if (st == VRT_SUCCESS) st = vrtpHMACUpdate(c, data);
  if (st == VRT_SUCCESS) return vrtpHMACFinalize(c, mac);  // which wipes the context
  vrt_memreset_s(&ctx, sizeof ctx);
  return st;
}

}  // namespace
}  // namespace vrt::hash

extern "C" {

const hmac_ops_t vrtpHmacOpsGost2012_256 = {32, 64, vrt::hash::streebog_key_setup,
                                                    vrt::hash::streebog_update, vrt::hash::streebog_final};
const hmac_ops_t vrtpHmacOpsGost2012_512 = {64, 64, vrt::hash::streebog_key_setup,
                                                    vrt::hash::streebog_update, vrt::hash::streebog_final};
const hmac_ops_t vrtpHmacOpsGost94 = {32, 32, vrt::hash::gost94_key_setup, vrt::hash::gost94_update,
                                              vrt::hash::gost94_final};

VRT_API uint32_t vrtpHMACInit(uint8_t* ctx, const binstr_t* key, uint32_t algorithm) {
  const hmac_ops_t* ops = vrt::hash::hmac_ops_for(algorithm);
  if (ctx == nullptr) return ops == nullptr ? VRT_ERROR_UNSUPPORTED : VRT_ERROR_FAILED;
  std::memset(ctx, 0, VRT_HMAC_CTX_SIZE);
  if (ops == nullptr) return VRT_ERROR_UNSUPPORTED;
  hmac_ctx_t* c = vrt::hash::as_ctx(ctx);
  c->hmac_ops = ops;
  uint32_t st = ops->key_setup(ctx, key);
  // A context whose key could not be set stays unusable.
  if (st != VRT_SUCCESS) c->hmac_ops = nullptr;
  return st;
}

VRT_API uint32_t vrtpHMACUpdate(uint8_t* ctx, const binstr_t* data) {
  if (ctx == nullptr || data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const hmac_ops_t* ops = vrt::hash::as_ctx(ctx)->hmac_ops;
  if (!vrt::hash::known_ops(ops)) return VRT_ERROR_INVALID_ARGUMENT;
  return ops->update(ctx, data);
}

VRT_API uint32_t vrtpHMACFinalize(uint8_t* ctx, uint8_t* mac) {
  if (ctx == nullptr || mac == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const hmac_ops_t* ops = vrt::hash::as_ctx(ctx)->hmac_ops;
  if (!vrt::hash::known_ops(ops)) return VRT_ERROR_INVALID_ARGUMENT;
  return ops->final(ctx, mac);
}

VRT_API uint32_t vrtpGostHmac2012_256(uint8_t* mac, const binstr_t* key, const binstr_t* data) {
  return vrt::hash::one_shot(VRT_ALG_HMAC2012_256, mac, key, data);
}
VRT_API uint32_t vrtpGostHmac2012_512(uint8_t* mac, const binstr_t* key, const binstr_t* data) {
  return vrt::hash::one_shot(VRT_ALG_HMAC2012_512, mac, key, data);
}
VRT_API uint32_t vrtpGostHmac94(uint8_t* mac, const binstr_t* key, const binstr_t* data) {
  return vrt::hash::one_shot(VRT_ALG_HMAC94, mac, key, data);
}

VRT_FORWARD(HMACInit);
VRT_FORWARD(HMACUpdate);
VRT_FORWARD(HMACFinalize);
VRT_FORWARD(GostHmac2012_256);
VRT_FORWARD(GostHmac2012_512);
VRT_FORWARD(GostHmac94);

VRT_API uint32_t hmac2012_self_test(vrtp_instance_t*) {
  // The example of R 50.1.113-2016 (RFC 7836 section 4.1); the MACs are byte
  // strings, compared as printed.
  static constexpr auto kKey = vrt::hex_bytes<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  static constexpr auto kData = vrt::hex_bytes<16>("0126bdb87800af214341456563780100");
  static constexpr auto kMac256 =
      vrt::hex_bytes<32>("a1aa5f7de402d7b3d323f2991c8d4534013137010a83754fd0af6d7cd4922ed9");
  static constexpr auto kMac512 = vrt::hex_bytes<64>(
      "a59bab22ecae19c65fbde6e5f4e9f5d8549d31f037f9df9b905500e171923a773d5f1530f2ed7e964cb2eedc29e9ad2f3afe93b2814f"
      "79f5000ffc0366c251e6");
  binstr_t key, data;
  __binstr_init(&key, const_cast<uint8_t*>(kKey.b), sizeof kKey.b);
  __binstr_init(&data, const_cast<uint8_t*>(kData.b), sizeof kData.b);
  uint8_t mac[64];
  (void)vrtpGostHmac2012_256(mac, &key, &data);
  if (vrt::selftest_compare(mac, kMac256.b, 32) != VRT_SUCCESS) return VRT_ERROR_FAILED;
  (void)vrtpGostHmac2012_512(mac, &key, &data);
  return vrt::selftest_compare(mac, kMac512.b, 64);
}

VRT_API uint32_t hmac94_self_test(vrtp_instance_t*) {
  // Key 00 01 .. 1f over the standard's 32-byte example message; the MAC as
  // libgcrypt, Nettle and OpenSSL compute it.
  static constexpr auto kKey = vrt::hex_bytes<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  static constexpr char kMessage[] = "This is message, length=32 bytes";
  static constexpr auto kMac =
      vrt::hex_bytes<32>("e1e122eb8d28e146637d0265ae8226f4f0d75e172748a76d7c33435aaf7de9bc");
  binstr_t key, data;
  __binstr_init(&key, const_cast<uint8_t*>(kKey.b), sizeof kKey.b);
  __binstr_init(&data, const_cast<char*>(kMessage), sizeof kMessage - 1);
  uint8_t mac[32];
  (void)vrtpGostHmac94(mac, &key, &data);
  return vrt::selftest_compare(mac, kMac.b, 32);
}

}  // extern "C"
