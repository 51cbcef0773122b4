// Moving keys between parties in protected form: KExp15 and KImp15 of
// R 1323565.1.017-2018 over Kuznyechik or Magma (CTR for secrecy, OMAC for
// integrity), and the TC26 key wrap over GOST 28147-89 under a key
// diversified by KDF_GOSTR3411_2012_256 and a UKM.
//
// An import stores the key only when its tag agrees; the comparison and the
// copy take the same time whether it does or not. Every temporary that held
// the plain key, its tag or a derived key-encryption key is overwritten with
// vrt_memreset_s before it is freed or goes out of scope, on every path.
#include <cstring>

#include "frame/bytes.h"
#include "frame/ct.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "frame/wipe.h"
#include "hash/internal.h"
#include "vrt.h"

namespace vrt::hash {

uint32_t copy_if_tags_match(uint8_t* out, const uint8_t* plain, uint64_t n, const uint8_t* tag,
                            const uint8_t* expected, uint64_t tag_len) {
  const uint32_t diff = ct::memdiff(tag, expected, tag_len);
  // All ones when the tags agree.
  const uint8_t keep_new = static_cast<uint8_t>(ct::is_zero_mask(diff));
  for (uint64_t i = 0; i < n; ++i) out[i] = static_cast<uint8_t>((plain[i] & keep_new) | (out[i] & ~keep_new));
  return diff;  // 0, or VRT_ERROR_FAILED (1)
}

namespace {

bool present(const genkey_t* k) { return k != nullptr && k->key.data != nullptr && k->key.length != 0; }

// A record the TC26 functions accept: a 32-byte key with its mask.
bool complete32(const genkey_t* k) {
  return present(k) && k->key.length == 32 && k->mask.data != nullptr && k->mask.length != 0;
}

// The byte strings a call works in, released (after wiping) on every path.
struct Temps {
  binstr_t a{}, d{}, e{}, m{};
  ~Temps() {
    for (binstr_t* b : {&a, &d, &e, &m}) {
      if (b->data == nullptr) continue;
      vrt_memreset_s(b->data, static_cast<int64_t>(b->length));
      binstr_free(b);
    }
  }
};

// ---- the TC26 wrap ----

constexpr uint8_t kWrapLabel[4] = {0x26, 0xbd, 0xb8, 0x78};
constexpr uint64_t kWrapKeyBytes = 32;
constexpr uint64_t kWrapMacBytes = 4;
constexpr uint64_t kWrapExtra = kWrapKeyBytes + kWrapMacBytes;

// A one-lane GOST 28147-89 context in the caller's frame.
struct alignas(64) Gost89Memory {
  uint8_t bytes[VRT_GOST89_CTX_SIZE(1)];
  Gost89Ctx* ctx() { return reinterpret_cast<Gost89Ctx*>(bytes); }
  ~Gost89Memory() { wipe_temporary(bytes, sizeof bytes); }
};

// KEK(UKM) in a plain temporary record that the caller frees (genkey_free
// wipes it).
uint32_t wrap_kek(const genkey_t* kek, const uint8_t* ukm, uint64_t ukm_len, genkey_t* out) {
  uint32_t st = genkey_alloc(out, kWrapKeyBytes, 0);
  if (st != VRT_SUCCESS) return VRT_ERROR_NO_MEMORY;
  return vrtKDF256(kek, kWrapLabel, sizeof kWrapLabel, ukm, ukm_len, out->key.data);
}

// The 8-byte GOST 28147-89 MAC of the 32 key bytes under kek_ukm, the first
// 8 UKM bytes its IV.
uint32_t wrap_mac(Gost89Memory* mem, const genkey_t* kek_ukm, const uint8_t* ukm, const uint8_t* key,
                  uint8_t mac[8]) {
  Gost89Ctx* ctx = mem->ctx();
  uint32_t st = vrtGost89CtxInit(ctx, 1, VRT_GOST89_SBOX_TC26_Z);
  if (st == VRT_SUCCESS) st = vrtGost89SetMode(ctx, VRT_GOST89_MODE_MAC, 0);
  if (st == VRT_SUCCESS) st = vrtGost89SetStateSimple(ctx, ukm);
  if (st == VRT_SUCCESS) st = vrtGost89MACSimple(ctx, kek_ukm, key, kWrapKeyBytes);
  if (st == VRT_SUCCESS) st = vrtGost89MACGetValue(ctx, mac);
  return st;
}

uint32_t wrap_ecb(Gost89Memory* mem, const genkey_t* kek_ukm, const uint8_t* in, uint8_t* out, bool encrypt) {
  Gost89Ctx* ctx = mem->ctx();
  uint32_t st = vrtGost89CtxInit(ctx, 1, VRT_GOST89_SBOX_TC26_Z);
  if (st == VRT_SUCCESS) st = vrtGost89SetMode(ctx, VRT_GOST89_MODE_ECB, 0);
  if (st == VRT_SUCCESS)
    st = encrypt ? vrtGost89EncryptSimple(ctx, kek_ukm, in, out, kWrapKeyBytes)
                 : vrtGost89DecryptSimple(ctx, kek_ukm, in, out, kWrapKeyBytes);
  return st;
}

}  // namespace
}  // namespace vrt::hash

extern "C" {

VRT_API uint32_t vrtpKExp15(const genkey_t* key, const genkey_t* enc_key, const genkey_t* mac_key, const uint8_t* iv,
                            uint64_t iv_len, uint64_t block_size, uint8_t* out, uint64_t* out_len) {
  using vrt::hash::present;
  if (!present(key) || !present(enc_key) || !present(mac_key) || iv == nullptr || iv_len == 0 || out_len == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (block_size != 8 && block_size != 16) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t k = key->key.length;
  if (k > UINT64_MAX / 2 - block_size || iv_len > UINT64_MAX / 2 - k) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t total = k + block_size;
  if (out == nullptr) {
    *out_len = total;
    return VRT_SUCCESS;
  }
  if (*out_len != total) return VRT_ERROR_LENGTH;
  vrt::hash::Temps t;
  uint32_t st = binstr_alloc(&t.a, iv_len + k);
  if (st == VRT_SUCCESS) st = binstr_alloc(&t.m, block_size);
  if (st == VRT_SUCCESS) st = binstr_alloc(&t.e, total);
  if (st != VRT_SUCCESS) return st;
  // A = IV | K, the key unmasked straight into place.
  std::memcpy(t.a.data, iv, iv_len);
  genkey_t plain{};
  __binstr_init(&plain.key, t.a.data + iv_len, k);
  genkey_unmask_to(key, &plain);
  const uint32_t n = static_cast<uint32_t>(block_size);
  st = gost15_mac_entire_example(&t.a, mac_key, VRT_GOST15_MODE_MAC, t.m.data, n, 0, 0);
  if (st != VRT_SUCCESS) return st;
  // E = K | M, encrypted into out.
  std::memcpy(t.e.data, t.a.data + iv_len, k);
  std::memcpy(t.e.data + k, t.m.data, block_size);
  return gost15_encrypt_example(t.e.data, total, enc_key, iv, iv_len, VRT_GOST15_MODE_CTR, n, 0, out);
}

VRT_API uint32_t vrtpKImp15(const uint8_t* exported, uint64_t exported_len, const genkey_t* enc_key,
                            const genkey_t* mac_key, const uint8_t* iv, uint64_t iv_len, uint64_t block_size,
                            genkey_t* key_out) {
  using vrt::hash::present;
  if (exported == nullptr || exported_len == 0 || !present(enc_key) || !present(mac_key) || iv == nullptr ||
      iv_len == 0 || key_out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (block_size != 8 && block_size != 16) return VRT_ERROR_INVALID_ARGUMENT;
  // An export holds a key of at least one byte and its tag.
  if (exported_len <= block_size || exported_len > UINT64_MAX / 2 || iv_len > UINT64_MAX / 2)
    return VRT_ERROR_LENGTH;
  const uint64_t k = exported_len - block_size;
  if (key_out->key.data == nullptr) {
    key_out->key.length = k;
    return VRT_SUCCESS;
  }
  if (key_out->key.length != k) return VRT_ERROR_LENGTH;
  vrt::hash::Temps t;
  uint32_t st = binstr_alloc(&t.d, exported_len);
  if (st == VRT_SUCCESS) st = binstr_alloc(&t.a, iv_len + k);
  if (st == VRT_SUCCESS) st = binstr_alloc(&t.m, block_size);
  if (st != VRT_SUCCESS) return st;
  const uint32_t n = static_cast<uint32_t>(block_size);
  st = gost15_decrypt_example(exported, exported_len, enc_key, iv, iv_len, VRT_GOST15_MODE_CTR, n, 0, t.d.data);
  if (st != VRT_SUCCESS) return st;
  std::memcpy(t.a.data, iv, iv_len);
  std::memcpy(t.a.data + iv_len, t.d.data, k);
  st = gost15_mac_entire_example(&t.a, mac_key, VRT_GOST15_MODE_MAC, t.m.data, n, 0, 0);
  if (st != VRT_SUCCESS) return st;
  st = vrt::hash::copy_if_tags_match(key_out->key.data, t.d.data, k, t.m.data, t.d.data + k, block_size);
  if (st == VRT_SUCCESS) genkey_mask(key_out);
  return st;
}

VRT_FORWARD(KExp15);

VRT_FORWARD(KImp15);

VRT_API uint32_t vrtKeyWrapTC26(const uint8_t* ukm, uint64_t ukm_len, const genkey_t* kek, const genkey_t* key,
                                uint8_t* out, uint64_t* out_len) {
  using namespace vrt::hash;
  if (kek == nullptr || !complete32(key) || out_len == nullptr || ukm == nullptr || ukm_len < 8 || ukm_len > 16)
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t total = ukm_len + kWrapExtra;
  if (out == nullptr || *out_len == 0) {
    *out_len = total;
    return VRT_SUCCESS;
  }
  if (*out_len < total) return VRT_ERROR_BUFFER_TOO_SMALL;
  genkey_t kek_ukm{};
  uint32_t st = wrap_kek(kek, ukm, ukm_len, &kek_ukm);
  uint8_t plain[kWrapKeyBytes], encrypted[kWrapKeyBytes], mac[8];
  Gost89Memory mem;
  if (st == VRT_SUCCESS) {
    genkey_t view{};
    __binstr_init(&view.key, plain, sizeof plain);
    genkey_unmask_to(key, &view);
    st = wrap_mac(&mem, &kek_ukm, ukm, plain, mac);
    if (st == VRT_SUCCESS) st = wrap_ecb(&mem, &kek_ukm, plain, encrypted, true);
    vrt_memreset_s(plain, sizeof plain);
  }
  if (st == VRT_SUCCESS) {
    std::memmove(out, ukm, ukm_len);
    std::memcpy(out + ukm_len, encrypted, kWrapKeyBytes);
    std::memcpy(out + ukm_len + kWrapKeyBytes, mac, kWrapMacBytes);
    *out_len = total;
  }
  vrt_memreset_s(mac, sizeof mac);
  genkey_free(&kek_ukm);
  return st;
}

VRT_API uint32_t vrtKeyUnwrapTC26(const genkey_t* kek, const uint8_t* wrapped, uint64_t wrapped_len,
                                  genkey_t* key_out) {
  using namespace vrt::hash;
  if (kek == nullptr || wrapped == nullptr || !complete32(key_out)) return VRT_ERROR_INVALID_ARGUMENT;
  if (wrapped_len < 8 + kWrapExtra || wrapped_len > 16 + kWrapExtra) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t ukm_len = wrapped_len - kWrapExtra;
  const uint8_t* ukm = wrapped;
  const uint8_t* encrypted = wrapped + ukm_len;
  const uint8_t* stored_mac = encrypted + kWrapKeyBytes;
  genkey_t kek_ukm{};
  uint32_t st = wrap_kek(kek, ukm, ukm_len, &kek_ukm);
  uint8_t plain[kWrapKeyBytes], mac[8];
  Gost89Memory mem;
  if (st == VRT_SUCCESS) st = wrap_ecb(&mem, &kek_ukm, encrypted, plain, false);
  if (st == VRT_SUCCESS) st = wrap_mac(&mem, &kek_ukm, ukm, plain, mac);
  // Only a key whose MAC agrees reaches the caller's record.
  if (st == VRT_SUCCESS) st = copy_if_tags_match(key_out->key.data, plain, kWrapKeyBytes, mac, stored_mac, kWrapMacBytes);
  if (st == VRT_SUCCESS) genkey_mask(key_out);
  vrt_memreset_s(plain, sizeof plain);
  vrt_memreset_s(mac, sizeof mac);
  genkey_free(&kek_ukm);
  return st;
}

}  // extern "C"

// ---- self-test ----

namespace vrt::hash {
namespace {

// A masked (kind 0 or XOR) record of a stored plain key, freed by its owner.
struct SelfTestKey {
  genkey_t g{};
  uint32_t st;
  SelfTestKey(const uint8_t* plain, uint64_t n, uint32_t kind) {
    st = genkey_alloc(&g, n, kind);
    if (st != VRT_SUCCESS) return;
    binstr_t src;
    __binstr_init(&src, const_cast<uint8_t*>(plain), n);
    st = genkey_load(&g, &src, nullptr);
    if (st == VRT_SUCCESS) genkey_mask(&g);
  }
  ~SelfTestKey() { genkey_free(&g); }
};

// The plain key of a record compared with the expected one; the copy is
// wiped.
uint32_t compare_key(const genkey_t* g, const uint8_t* expected, uint64_t n) {
  uint8_t plain[64];
  if (g->key.length != n || n > sizeof plain) return VRT_ERROR_FAILED;
  genkey_t view{};
  __binstr_init(&view.key, plain, n);
  genkey_unmask_to(g, &view);
  const uint32_t st = ct::memdiff(plain, expected, n) == 0 ? VRT_SUCCESS : VRT_ERROR_FAILED;
  vrt_memreset_s(plain, sizeof plain);
  return st;
}

uint32_t self_test_kdf() {
  static constexpr auto kKey = hex_bytes<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  static constexpr auto kLabel = hex_bytes<4>("26bdb878");
  static constexpr auto kSeed = hex_bytes<8>("af21434145656378");
  static constexpr auto kKdf = hex_bytes<32>("a1aa5f7de402d7b3d323f2991c8d4534013137010a83754fd0af6d7cd4922ed9");
  static constexpr auto kTree = hex_bytes<64>(
      "22b6837845c6bef65ea71672b265831086d3c76aebe6dae91cad51d83f79d16b074c9330599d7f8d712fca54392f4ddde93751206b358"
      "4c8f43f9e6dc51531f9");
  SelfTestKey key(kKey.b, 32, 0);
  if (key.st != VRT_SUCCESS) return key.st;
  uint8_t out[64];
  uint32_t st = vrtKDF256(&key.g, kLabel.b, 4, kSeed.b, 8, out);
  if (st == VRT_SUCCESS) st = selftest_compare(out, kKdf.b, 32);
  if (st == VRT_SUCCESS) st = vrtKDFTree256(&key.g, kLabel.b, 4, kSeed.b, 8, 1, 512, out);
  if (st == VRT_SUCCESS) st = selftest_compare(out, kTree.b, 64);
  vrt_memreset_s(out, sizeof out);
  return st;
}

uint32_t self_test_wrap() {
  static constexpr auto kUkm = hex_bytes<8>("af21434145656378");
  static constexpr auto kKek = hex_bytes<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  static constexpr auto kKey = hex_bytes<32>("8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
  static constexpr auto kWrapped = hex_bytes<44>(
      "af214341456563781c15a88d5da80440804dc857983c8f6486beeb9fb55d6c2b57e802ef86afd6acef6bd7cc");
  SelfTestKey kek(kKek.b, 32, 0), key(kKey.b, 32, GOST89_KEY_XOR), out(kKey.b, 32, GOST89_KEY_XOR);
  if (kek.st != VRT_SUCCESS) return kek.st;
  if (key.st != VRT_SUCCESS) return key.st;
  if (out.st != VRT_SUCCESS) return out.st;
  uint8_t wrapped[44];
  uint64_t len = sizeof wrapped;
  uint32_t st = vrtKeyWrapTC26(kUkm.b, 8, &kek.g, &key.g, wrapped, &len);
  if (st == VRT_SUCCESS) st = selftest_compare(wrapped, kWrapped.b, sizeof wrapped);
  // Unwrapped into a record that held another key.
  if (st == VRT_SUCCESS) vrt_memreset_s(out.g.key.data, 32);
  if (st == VRT_SUCCESS) st = vrtKeyUnwrapTC26(&kek.g, wrapped, len, &out.g);
  if (st == VRT_SUCCESS) st = compare_key(&out.g, kKey.b, 32);
  return st;
}

uint32_t self_test_keg() {
  // Fixed keys of both sizes (little-endian numbers, the peer's public key
  // from its own fixed private key) and h; the results recorded from this
  // construction, which the tests check against VKO and KDF_TREE written
  // out and against the agreement of both sides.
  static constexpr auto kD512 = hex_bytes<64>(
      "31383f464d545b626970777e858c939aa1a8afb6bdc4cbd2d9e0e7eef5fc030a11181f262d343b424950575e656c737a8188"
      "8f969da4abb2b9c0c7ced5dce30a");
  static constexpr auto kPeer512 = hex_bytes<128>(
      "59f1bb375a0d2d1cb174a267ce2229ee588ed0cb70c84e6f272dd3b5e57a4cebed9716639d1f09fd1f6b328aa875ad7e01da"
      "e7b0033381229f23696082eb15c8308dbf62d26a61072667cf64795afc53e5ec192df8181853a1b938279de869953a434c9cd029e1720b"
      "fed317a6b379021bc7243db652b999ea0d7024ae1f23be");
  static constexpr auto kH512 = hex_bytes<32>("5a595c535655484f4241447b7e7d70776a696c636665181f1211140b0e0d0007");
  static constexpr auto kKeg512 = hex_bytes<64>(
      "afd985950bb3a5c566c21c7aba5e72d0ccc715ba8c9a4d805973b8793ef054a67ee8ae4bfb6a771e68b7ba53ff08d2d2eba4"
      "bc16ee0ce24970f1c0159ad00428");
  static constexpr auto kD256 = hex_bytes<32>("323940474e555c636a71787f868d949ba2a9b0b7bec5ccd3dae1e8eff6fd040b");
  static constexpr auto kPeer256 = hex_bytes<64>(
      "5d7107c7a5b9200045d3c63c594b57183d8d399a6cc1a88d47ed6473c832cb1e37c3091b7833217e3590962bc02dfee892c4"
      "952c61e8c6582cac6fda4eb8d6b4");
  static constexpr auto kH256 = hex_bytes<32>("5b5e5d50574a494c434645787f7271746b6e6d60671a191c131615080f020104");
  static constexpr auto kKeg256 = hex_bytes<64>(
      "8b6294ec78f05e7ae1b61baa4e2cfcbd2cd028473f0e3ae925eee87b83570bd1d5127e60732d2b84bf1c7a263da24dd8e191"
      "87fd88e66edfd1544cb953e8d7f5");
  struct Case {
    const uint8_t* d;
    const uint8_t* peer;
    const uint8_t* h;
    const sign2012_par_t* curve;
    const uint8_t* expected;
  };
  const Case cases[] = {
      {kD512.b, kPeer512.b, kH512.b, &gost3410_param_tc26_gost_3410_12_512_paramSetC, kKeg512.b},
      {kD256.b, kPeer256.b, kH256.b, &gost3410_param_tc26_gost_3410_12_256_paramSetA, kKeg256.b},
  };
  for (const Case& c : cases) {
    uint8_t out[64];
    uint32_t st = vrtKEG(c.d, c.peer, c.h, c.curve, out);
    if (st == VRT_SUCCESS) st = selftest_compare(out, c.expected, 64);
    vrt_memreset_s(out, sizeof out);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

uint32_t self_test_kexp15() {
  static constexpr auto kKey = hex_bytes<32>("8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
  static constexpr auto kEnc = hex_bytes<32>("202122232425262728292a2b2c2d2e2f38393a3b3c3d3e3f3031323334353637");
  static constexpr auto kMac = hex_bytes<32>("08090a0b0c0d0e0f0001020304050607101112131415161718191a1b1c1d1e1f");
  static constexpr auto kMagmaIv = hex_bytes<4>("67bed654");
  static constexpr auto kMagmaOut =
      hex_bytes<40>("cfd5a12d5b81b6e1e99c916d07900c6ac12703fb3abded55567bf3742c899c755dafe7b42e3a8bd9");
  static constexpr auto kKuzIv = hex_bytes<8>("0909472dd9f26be8");
  static constexpr auto kKuzOut = hex_bytes<48>(
      "e36184e84e8d736ff36cc2e5ae065dc656b23c20f549b02fdff88e1f3f30d8c29a53f3ca554dbad80de152b9a4625b32");
  struct Case {
    uint64_t n;
    const uint8_t* iv;
    uint64_t iv_len;
    const uint8_t* expected;
  };
  const Case cases[] = {{8, kMagmaIv.b, 4, kMagmaOut.b}, {16, kKuzIv.b, 8, kKuzOut.b}};
  SelfTestKey key(kKey.b, 32, GOST89_KEY_XOR), enc(kEnc.b, 32, GOST89_KEY_XOR), mac(kMac.b, 32, GOST89_KEY_XOR);
  if (key.st != VRT_SUCCESS) return key.st;
  if (enc.st != VRT_SUCCESS) return enc.st;
  if (mac.st != VRT_SUCCESS) return mac.st;
  for (const Case& c : cases) {
    uint8_t out[48];
    uint64_t len = 0;
    uint32_t st = vrtpKExp15(&key.g, &enc.g, &mac.g, c.iv, c.iv_len, c.n, nullptr, &len);
    if (st == VRT_SUCCESS && len != 32 + c.n) st = VRT_ERROR_FAILED;
    if (st == VRT_SUCCESS) st = vrtpKExp15(&key.g, &enc.g, &mac.g, c.iv, c.iv_len, c.n, out, &len);
    if (st == VRT_SUCCESS) st = selftest_compare(out, c.expected, len);
    genkey_t imported{};
    if (st == VRT_SUCCESS) st = vrtpKImp15(c.expected, 32 + c.n, &enc.g, &mac.g, c.iv, c.iv_len, c.n, &imported);
    if (st == VRT_SUCCESS && imported.key.length != 32) st = VRT_ERROR_FAILED;
    if (st == VRT_SUCCESS) st = genkey_alloc(&imported, 32, GOST89_KEY_XOR);
    if (st == VRT_SUCCESS) st = vrtpKImp15(c.expected, 32 + c.n, &enc.g, &mac.g, c.iv, c.iv_len, c.n, &imported);
    if (st == VRT_SUCCESS) st = compare_key(&imported, kKey.b, 32);
    genkey_free(&imported);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // namespace
}  // namespace vrt::hash

extern "C" VRT_API uint32_t KeyDistribution_self_test(vrtp_instance_t*) {
  using namespace vrt::hash;
  uint32_t st = self_test_kdf();
  if (st == VRT_SUCCESS) st = self_test_wrap();
  if (st == VRT_SUCCESS) st = self_test_keg();
  if (st == VRT_SUCCESS) st = self_test_kexp15();
  return st;
}
