// Keys from keys: KDF and KDF_TREE of R 50.1.113-2016 over HMAC-Streebog-256,
// KEG (VKO through a signer handle, then KDF_TREE on 256-bit curves), and
// the PRFs of TLS 1.2 and of IPsec (KEYMAT and prf+) over HMAC-Streebog-256
// or -512.
//
// Secret keys arrive masked and are unmasked straight into the key block of
// an HMAC key set up once per call (a longer key into a temporary that is
// hashed and wiped); the key block, the hash states and any output block kept
// back are wiped before the call returns.
#include <cstdlib>
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "hash/internal.h"
#include "vrt.h"

namespace vrt::hash {
namespace {

bool missing(const genkey_t* key) { return key == nullptr || key->key.data == nullptr || key->key.length == 0; }

bool prf_algorithm(uint32_t algorithm) {
  return algorithm == VRT_ALG_HMAC2012_256 || algorithm == VRT_ALG_HMAC2012_512;
}

// Sets k up for algorithm under the plain form of a masked key.
uint32_t keyed_from_masked(HmacKeyed* k, uint32_t algorithm, const genkey_t* key) {
  uint32_t st = hmac_keyed_begin(k, algorithm);
  if (st != VRT_SUCCESS) return st;
  const uint64_t n = key->key.length;
  genkey_t plain{};
  if (n <= k->ops->block_size) {
    __binstr_init(&plain.key, k->block, n);
    genkey_unmask_to(key, &plain);
  } else {
    auto* tmp = static_cast<uint8_t*>(std::malloc(n));
    if (tmp == nullptr) return VRT_ERROR_NO_MEMORY;
    __binstr_init(&plain.key, tmp, n);
    genkey_unmask_to(key, &plain);
    hmac_keyed_hash_key(k, tmp, n);
    vrt_memreset_s(tmp, static_cast<int64_t>(n));
    std::free(tmp);
  }
  hmac_keyed_setup(k);
  return VRT_SUCCESS;
}

// Copies n bytes of a MAC block to out: whole blocks are written there
// directly, a last partial one through tmp, which is wiped.
template <typename MacFn>
void emit(uint8_t* out, uint64_t n, uint64_t block, MacFn mac) {
  if (n >= block) {
    mac(out);
    return;
  }
  uint8_t tmp[64];
  mac(tmp);
  std::memcpy(out, tmp, n);
  vrt_memreset_s(tmp, sizeof tmp);
}

}  // namespace

uint64_t kdf_tree_max_bits(uint32_t R) { return 256 * ((uint64_t{1} << (8 * R)) - 1); }

}  // namespace vrt::hash

extern "C" {

VRT_API uint32_t vrtpKDFTree256(const genkey_t* key, const uint8_t* label, uint64_t label_len, const uint8_t* seed,
                                uint64_t seed_len, uint32_t R, uint64_t L, uint8_t* out) {
  if (vrt::hash::missing(key) || label == nullptr || label_len == 0 || seed == nullptr || seed_len == 0 ||
      out == nullptr || R < 1 || R > 4 || L > vrt::hash::kdf_tree_max_bits(R))
    return VRT_ERROR_INVALID_ARGUMENT;
  // L in the fewest big-endian bytes that hold it, at least one.
  uint32_t lbytes = 1;
  while (lbytes < 8 && (L >> (8 * lbytes)) != 0) ++lbytes;
  if (label_len > UINT64_MAX / 2 || seed_len > UINT64_MAX / 2 - label_len - 16) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t total = R + label_len + 1 + seed_len + lbytes;
  auto* in = static_cast<uint8_t*>(std::calloc(total, 1));
  if (in == nullptr) return VRT_ERROR_NO_MEMORY;
  std::memcpy(in + R, label, label_len);
  std::memcpy(in + R + label_len + 1, seed, seed_len);
  for (uint32_t j = 0; j < lbytes; ++j) in[total - 1 - j] = static_cast<uint8_t>(L >> (8 * j));

  uint32_t st = VRT_SUCCESS;
  uint64_t need = L / 8;
  if (need != 0) {
    vrt::hash::HmacKeyed k;
    st = vrt::hash::keyed_from_masked(&k, VRT_ALG_HMAC2012_256, key);
    for (uint32_t i = 1; st == VRT_SUCCESS && need != 0; ++i) {
      for (uint32_t j = 0; j < R; ++j) in[R - 1 - j] = static_cast<uint8_t>(i >> (8 * j));
      const uint64_t n = need < 32 ? need : 32;
      vrt::hash::emit(out, n, 32, [&](uint8_t* dst) {
        vrt::hash::hmac_keyed_mac(&k, in, total, nullptr, 0, nullptr, 0, dst);
      });
      out += n;
      need -= n;
    }
    if (k.ops != nullptr) vrt::hash::hmac_keyed_wipe(&k);
  }
  std::free(in);
  return st;
}

VRT_FORWARD(KDFTree256);

VRT_API uint32_t vrtKDF256(const genkey_t* key, const uint8_t* label, uint64_t label_len, const uint8_t* seed,
                           uint64_t seed_len, uint8_t* out) {
  return vrtpKDFTree256(key, label, label_len, seed, seed_len, 1, 256, out);
}

// ---- KEG ----

namespace {

// The parameter set of a built-in curve record (compared by content, so a
// copy is found too), or VRT_PARAM_COUNT for a curve of the caller's own.
Parameter builtin_set(const sign2012_par_t* curve) {
  static const sign2012_par_t* const kSets[VRT_PARAM_COUNT] = {
      &gost3410_param_GostR3410_2001_CryptoPro_TestParamSet, &gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet,
      &gost3410_param_GostR3410_2001_CryptoPro_B_ParamSet,   &gost3410_param_GostR3410_2001_CryptoPro_C_ParamSet,
      &gost3410_param_GostR3410_2001_CryptoPro_XchA_ParamSet, &gost3410_param_GostR3410_2001_CryptoPro_XchB_ParamSet,
      &gost3410_param_tc26_gost_3410_12_256_paramSetA,       &gost3410_param_tc26_gost_3410_12_256_paramSetB,
      &gost3410_param_tc26_gost_3410_12_256_paramSetC,       &gost3410_param_tc26_gost_3410_12_256_paramSetD,
      &gost3410_param_tc26_gost_3410_12_512_paramSetTest,    &gost3410_param_tc26_gost_3410_12_512_paramSetA,
      &gost3410_param_tc26_gost_3410_12_512_paramSetB,       &gost3410_param_tc26_gost_3410_12_512_paramSetC,
  };
  for (Parameter i = 0; i < VRT_PARAM_COUNT; ++i)
    if (curve == kSets[i] || std::memcmp(curve, kSets[i], sizeof *curve) == 0) return i;
  return VRT_PARAM_COUNT;
}

// The VKO key through a signer handle, whose scalar multiplication takes the
// same time for every key: the shared point of the private key, the UKM
// (16 bytes, zero-extended) and the peer key, hashed with Streebog into
// out_len bytes. The private key is taken as a plain record, which the
// handle masks; the shared point is wiped.
uint32_t vko_by_signer(Parameter set, uint32_t L, const uint8_t* private_key, const uint8_t* public_key,
                       const uint8_t ukm16[16], uint32_t out_len, uint8_t* out) {
  if (out_len != 32 && out_len != 64) return VRT_ERROR_INVALID_ARGUMENT;
  SignerHandle* handle = nullptr;
  uint32_t st = vrtSignerInit(&handle, set);
  genkey_t plain{};
  __binstr_init(&plain.key, const_cast<uint8_t*>(private_key), L);
  if (st == VRT_SUCCESS) st = vrtSignerImportSecretKey(handle, &plain);
  uint8_t ukm[64] = {};
  std::memcpy(ukm, ukm16, 16);
  uint8_t point[128];
  if (st == VRT_SUCCESS) st = vrtSignerGenerateVKO(handle, ukm, public_key, point);
  if (st == VRT_SUCCESS) st = hash2012_example(point, 2 * L, out, out_len);
  vrt_memreset_s(point, sizeof point);
  vrtSignerRelease(handle);
  return st;
}

}  // namespace

VRT_API uint32_t vrtpKEG_VKO(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                             uint32_t out_len, const sign2012_par_t* curve, uint8_t* out) {
  if (private_key == nullptr || public_key == nullptr || h == nullptr || curve == nullptr || out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (curve->bits != 256 && curve->bits != 512) return VRT_ERROR_INVALID_ARGUMENT;
  // UKM: the first 16 bytes of h read in reverse, or 1 when they are zero
  // (h is public, so the test may branch).
  uint8_t ukm[16];
  uint8_t any = 0;
  for (int i = 0; i < 16; ++i) {
    ukm[i] = h[15 - i];
    any |= h[i];
  }
  if (any == 0) ukm[0] = 1;
  const Parameter set = builtin_set(curve);
  if (set != VRT_PARAM_COUNT) return vko_by_signer(set, curve->bits / 8, private_key, public_key, ukm, out_len, out);
  // A curve of the caller's own: the reference code, whose time depends on
  // the key.
  return sign2012_VKO_example(ukm, sizeof ukm, private_key, public_key, out_len, curve, out);
}

VRT_API uint32_t vrtpKEG512(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                            const sign2012_par_t* curve, uint8_t* out) {
  return vrtpKEG_VKO(private_key, public_key, h, 64, curve, out);
}

VRT_API uint32_t vrtpKEG256(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                            const sign2012_par_t* curve, uint8_t* out) {
  if (h == nullptr || out == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  genkey_t shared;
  uint32_t st = genkey_alloc(&shared, 32, 0);
  if (st != VRT_SUCCESS) return st;
  st = vrtpKEG_VKO(private_key, public_key, h, 32, curve, shared.key.data);
  static constexpr uint8_t kLabel[] = {'k', 'd', 'f', ' ', 't', 'r', 'e', 'e'};
  if (st == VRT_SUCCESS) st = vrtpKDFTree256(&shared, kLabel, sizeof kLabel, h + 16, 8, 1, 512, out);
  genkey_free(&shared);  // wipes the VKO key
  return st;
}

VRT_API uint32_t vrtpKEG(const uint8_t* private_key, const uint8_t* public_key, const uint8_t* h,
                         const sign2012_par_t* curve, uint8_t* out) {
  if (private_key == nullptr || public_key == nullptr || h == nullptr || curve == nullptr || out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (curve->bits == 256) return vrtpKEG256(private_key, public_key, h, curve, out);
  if (curve->bits == 512) return vrtpKEG512(private_key, public_key, h, curve, out);
  return VRT_ERROR_INVALID_ARGUMENT;
}

VRT_FORWARD(KEG);

// ---- PRFs ----

VRT_API uint32_t vrtpPRFTLS(const genkey_t* key, const uint8_t* label, uint64_t label_len, const uint8_t* seed,
                            uint64_t seed_len, uint32_t algorithm, uint64_t out_len, uint8_t* out) {
  if (vrt::hash::missing(key) || label == nullptr || label_len == 0 || seed == nullptr || seed_len == 0 ||
      out_len == 0 || out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (!vrt::hash::prf_algorithm(algorithm)) return VRT_ERROR_UNSUPPORTED;
  vrt::hash::HmacKeyed k;
  uint32_t st = vrt::hash::keyed_from_masked(&k, algorithm, key);
  if (st != VRT_SUCCESS) return st;
  const uint64_t n = k.ops->digest_size;
  uint8_t a[64];  // A(i): A(1) = H(label | seed), A(i+1) = H(A(i))
  vrt::hash::hmac_keyed_mac(&k, label, label_len, seed, seed_len, nullptr, 0, a);
  for (;;) {
    const uint64_t take = out_len < n ? out_len : n;
    vrt::hash::emit(out, take, n, [&](uint8_t* dst) {
      vrt::hash::hmac_keyed_mac(&k, a, n, label, label_len, seed, seed_len, dst);
    });
    out += take;
    out_len -= take;
    if (out_len == 0) break;
    vrt::hash::hmac_keyed_mac(&k, a, n, nullptr, 0, nullptr, 0, a);
  }
  vrt_memset_s(a, sizeof a, 0, sizeof a);
  vrt::hash::hmac_keyed_wipe(&k);
  return VRT_SUCCESS;
}

namespace {

// KEYMAT (counter false): T(1) = H(seed), T(i+1) = H(T(i) | seed).
// prf+ (counter true): T(1) = H(seed | 1), T(i) = H(T(i-1) | seed | i), the
// counter one byte.
uint32_t ipsec_prf(const genkey_t* key, const binstr_t* seed, uint32_t algorithm, uint64_t out_len, uint8_t* out,
                   bool counter) {
  if (vrt::hash::missing(key) || seed == nullptr || seed->data == nullptr || seed->length == 0 || out_len == 0 ||
      out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (!vrt::hash::prf_algorithm(algorithm)) return VRT_ERROR_UNSUPPORTED;
  vrt::hash::HmacKeyed k;
  uint32_t st = vrt::hash::keyed_from_masked(&k, algorithm, key);
  if (st != VRT_SUCCESS) return st;
  const uint64_t n = k.ops->digest_size;
  uint8_t t[64];
  uint64_t t_len = 0;  // T(0) is empty
  uint8_t i = 1;
  for (;;) {
    vrt::hash::hmac_keyed_mac(&k, t, t_len, seed->data, seed->length, &i, counter ? 1 : 0, t);
    t_len = n;
    const uint64_t take = out_len < n ? out_len : n;
    std::memcpy(out, t, take);
    out += take;
    out_len -= take;
    if (out_len == 0) break;
    ++i;
  }
  vrt_memreset_s(t, sizeof t);
  vrt::hash::hmac_keyed_wipe(&k);
  return VRT_SUCCESS;
}

}  // namespace

VRT_API uint32_t vrtpPRFIPsecKeyMat(const genkey_t* key, const binstr_t* seed, uint32_t algorithm, uint64_t out_len,
                                    uint8_t* out) {
  return ipsec_prf(key, seed, algorithm, out_len, out, false);
}

VRT_API uint32_t vrtpPRFIPsecPrfPlus(const genkey_t* key, const binstr_t* seed, uint32_t algorithm,
                                     uint64_t out_len, uint8_t* out) {
  return ipsec_prf(key, seed, algorithm, out_len, out, true);
}

VRT_FORWARD(PRFTLS);
VRT_FORWARD(PRFIPsecKeyMat);
VRT_FORWARD(PRFIPsecPrfPlus);

// ---- self-test ----

VRT_API uint32_t prf_self_test(vrtp_instance_t*) {
  // The examples of R 50.1.113-2016: PRF_TLS with key 00..1f, label
  // 11 22 33 44 55 and a 32-byte seed; the IPsec functions with the VKO
  // key of its VKO example and a 16-byte seed. The KEYMAT answers are those
  // of OpenSSL's HMAC with the GOST provider over the same inputs.
  static constexpr auto kTlsKey =
      vrt::hex_bytes<32>("000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f");
  static constexpr auto kTlsLabel = vrt::hex_bytes<5>("1122334455");
  static constexpr auto kTlsSeed =
      vrt::hex_bytes<32>("18471d622dc655c4d2d2269691ca4a560b50aba663553af241f1ada882c9f29a");
  static constexpr auto kTls256 = vrt::hex_bytes<64>(
      "ff09664a44745865944f839ebb48965f1544ff1cc8e8f16f247ee5f8a9ebe97fc4e3c7900e46cad3db6a01643063040ec67fc0fd5c"
      "d9f90465235237bdff2c02");
  static constexpr auto kTls512 = vrt::hex_bytes<128>(
      "f35187a3dc9655113a0e84d06fd7526c5fc1fbdec1a0e4673dd6d79d0b920e65ad1bc47bb083b3851cb7cd8e7e6a911a626cf02b29"
      "e9e4a58ed766a449a7296de61a7a26c4d1caeecfd80cca65c71f0f88c1f822c0e8c0ad949d03fee139579f72ba0c3d32c5f954f1cc"
      "cd54081fc7440278cba1fe7b7a17a986fdff5bd15d1f");
  static constexpr auto kIpsecKey =
      vrt::hex_bytes<32>("c9a9a77320e2cc559ed72dce6f47e2192ccea95fa648670582c054c0ef36c221");
  static constexpr auto kIpsecSeed = vrt::hex_bytes<16>("0126bdb878001d80603c8544c7270100");
  static constexpr auto kKeyMat256 = vrt::hex_bytes<64>(
      "2101d80c47db54bc3c829b8c307c4755508883a6d69e601bf7aafb0abca4ed9533b84ed08f9356f81df8d279f079c90287cb452c81"
      "d41e8038430886c19212aa");
  static constexpr auto kKeyMat512 = vrt::hex_bytes<128>(
      "b9555b2991754b379da68e6098f5b60edf918a56204bfff3a8376d1f57edb234a512328123cd6c030b54142e1ec7782b0300bea57c"
      "c2a14ca3b4f085a45cd6ca37b1e0865243a4fb29148d274d3063fcbfb0f2f468d527e43bca41fa6bb53ec8df21bfc4623a2e768b64"
      "54033e095232d18c86a68f0098d3318175f65905aedb");
  static constexpr auto kPlus256 = vrt::hex_bytes<64>(
      "2de5ee84e13d7be53616673913370ab054c074b79b69a8a84682a9f04fecd58729f60dda457bf219aa2ef95d7a59be954de008f4a5"
      "0d504dbdb690be68060153");
  static constexpr auto kPlus512 = vrt::hex_bytes<128>(
      "5da67143a5f12a6d6e4742596f39243fcc615745915b32591006ff78a20863d5f88e4afc17fbbe70b9509573db005e962636984"
      "6cb861999716c165dd06a15854834495a43746cb53f0aba3bc46ebcf8773ca64ad343c122ee2a577557038157ee9c388d96ef71d5"
      "8be5c1efa1afa95ebe83e39d00e19a5d03dcd60a01bca8e3");

  enum class Fn { kTls, kKeyMat, kPlus };
  struct Case {
    Fn fn;
    uint32_t algorithm;
    uint64_t len;
    const uint8_t* expected;
  };
  const Case cases[] = {
      {Fn::kTls, VRT_ALG_HMAC2012_256, 32, kTls256.b},       {Fn::kTls, VRT_ALG_HMAC2012_256, 64, kTls256.b},
      {Fn::kTls, VRT_ALG_HMAC2012_512, 64, kTls512.b},       {Fn::kTls, VRT_ALG_HMAC2012_512, 128, kTls512.b},
      {Fn::kKeyMat, VRT_ALG_HMAC2012_256, 32, kKeyMat256.b}, {Fn::kKeyMat, VRT_ALG_HMAC2012_256, 64, kKeyMat256.b},
      {Fn::kKeyMat, VRT_ALG_HMAC2012_512, 64, kKeyMat512.b}, {Fn::kKeyMat, VRT_ALG_HMAC2012_512, 128, kKeyMat512.b},
      {Fn::kPlus, VRT_ALG_HMAC2012_256, 32, kPlus256.b},     {Fn::kPlus, VRT_ALG_HMAC2012_256, 64, kPlus256.b},
      {Fn::kPlus, VRT_ALG_HMAC2012_512, 64, kPlus512.b},     {Fn::kPlus, VRT_ALG_HMAC2012_512, 128, kPlus512.b},
  };
  for (const Case& c : cases) {
    const uint8_t* plain = c.fn == Fn::kTls ? kTlsKey.b : kIpsecKey.b;
    genkey_t key;
    uint32_t st = genkey_alloc(&key, 32, 0);
    if (st != VRT_SUCCESS) return st;
    binstr_t src;
    __binstr_init(&src, const_cast<uint8_t*>(plain), 32);
    st = genkey_load(&key, &src, nullptr);
    if (st == VRT_SUCCESS) {
      genkey_mask(&key);
      uint8_t out[128] = {};
      binstr_t seed;
      __binstr_init(&seed, const_cast<uint8_t*>(kIpsecSeed.b), sizeof kIpsecSeed.b);
      if (c.fn == Fn::kTls)
        st = vrtpPRFTLS(&key, kTlsLabel.b, sizeof kTlsLabel.b, kTlsSeed.b, sizeof kTlsSeed.b, c.algorithm, c.len, out);
      else if (c.fn == Fn::kKeyMat)
        st = vrtpPRFIPsecKeyMat(&key, &seed, c.algorithm, c.len, out);
      else
        st = vrtpPRFIPsecPrfPlus(&key, &seed, c.algorithm, c.len, out);
      if (st == VRT_SUCCESS) st = vrt::selftest_compare(out, c.expected, c.len);
    }
    genkey_free(&key);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"
