// Password-based keys (PKCS #5 v2.0, RFC 8018, as profiled by
// R 50.1.111-2016): PBKDF2 over HMAC-GOST R 34.11-94 or HMAC-Streebog-512.
//
// Every iteration of PBKDF2 is HMAC(P, U) under one password, so the
// password's HMAC states (the chaining values after the padded key blocks)
// are computed once per derivation. With Streebog-512 an iteration is then
// eight compressions: U, the padding block, N and the checksum for the inner
// hash, the same for the outer one; the checksums start from the padded key
// block plus the padding block, kept as one number.
//
// The password block (and every value that gives it back: the checksum
// starts) is overwritten with vrt_memreset_s before the call returns; the
// chaining values and the running U, from which no password byte follows,
// are cleared.
#include <x86intrin.h>

#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/selftest.h"
#include "hash/internal.h"
#include "vrt.h"

namespace vrt::hash {
namespace {

constexpr uint64_t kMaxKeyBytes = 4096;

bool bytes_present(const binstr_t* b) { return b != nullptr && (b->length == 0 || b->data != nullptr); }

// r = a + b mod 2^512, words little-endian; the carry runs through every
// word whatever the values.
inline void add512(uint64_t r[8], const uint64_t a[8], const uint64_t b[8]) {
  unsigned char c = 0;
  for (int i = 0; i < 8; ++i) {
    unsigned long long w;
    c = _addcarry_u64(c, a[i], b[i], &w);
    r[i] = w;
  }
}

constexpr uint64_t kN512[8] = {512, 0, 0, 0, 0, 0, 0, 0};
constexpr uint64_t kN1024[8] = {1024, 0, 0, 0, 0, 0, 0, 0};
constexpr uint64_t kZero[8] = {};
// The padding block of a message that ends on a block boundary.
constexpr uint64_t kPadBlock[8] = {1, 0, 0, 0, 0, 0, 0, 0};

// HMAC-Streebog-512 of one 64-byte block under keyed states.
struct StreebogPrf {
  uint64_t inner[8], outer[8];      // chaining values after key ^ ipad, key ^ opad
  uint64_t sum_inner[8], sum_outer[8];  // (key ^ pad) + padding block
};

void streebog_prf_setup(StreebogPrf* p, const HmacKeyed& k) {
  std::memcpy(p->inner, k.inner, 64);
  std::memcpy(p->outer, k.outer, 64);
  uint64_t block[8], pad[8];
  std::memcpy(block, k.block, 64);
  std::memcpy(pad, vrtpHMACIPadding, 64);
  for (int i = 0; i < 8; ++i) pad[i] ^= block[i];
  add512(p->sum_inner, pad, kPadBlock);
  std::memcpy(pad, vrtpHMACOPadding, 64);
  for (int i = 0; i < 8; ++i) pad[i] ^= block[i];
  add512(p->sum_outer, pad, kPadBlock);
  vrt_memreset_s(block, sizeof block);
  vrt_memreset_s(pad, sizeof pad);
}

void streebog_prf_wipe(StreebogPrf* p) {
  vrt_memreset_s(p->sum_inner, sizeof p->sum_inner);
  vrt_memreset_s(p->sum_outer, sizeof p->sum_outer);
  vrt_memset_s(p->inner, sizeof p->inner, 0, sizeof p->inner);
  vrt_memset_s(p->outer, sizeof p->outer, 0, sizeof p->outer);
}

// u = HMAC(key, u) in eight compressions.
__attribute__((always_inline)) inline void streebog_prf_step(const StreebogPrf& p, CompressFn g, uint64_t u[8]) {
  uint64_t h[8], s[8];
  std::memcpy(h, p.inner, 64);
  g(h, kN512, u);
  g(h, kN1024, kPadBlock);
  add512(s, p.sum_inner, u);
  g(h, kZero, kN1024);
  g(h, kZero, s);
  std::memcpy(u, p.outer, 64);
  g(u, kN512, h);
  g(u, kN1024, kPadBlock);
  add512(s, p.sum_outer, h);
  g(u, kZero, kN1024);
  g(u, kZero, s);
  vrt_memset_s(h, sizeof h, 0, sizeof h);
  vrt_memset_s(s, sizeof s, 0, sizeof s);
}

// The blocks of PBKDF2 on keyed HMAC states: T_i = U_1 ^ ... ^ U_c with
// U_1 = HMAC(P, S | INT(i)), U_j = HMAC(P, U_{j-1}).
void pbkdf2_keyed(HmacKeyed* k, const binstr_t* salt, uint64_t c, uint8_t* out, uint64_t dk_len) {
  const uint64_t hlen = k->ops->digest_size;
  const bool streebog = hlen == 64;
  StreebogPrf sp;
  if (streebog) streebog_prf_setup(&sp, *k);
  const CompressFn g = streebog_compress();
  uint64_t u[8], t[8];
  for (uint32_t i = 1; dk_len != 0; ++i) {
    uint8_t counter[4];
    store_be32(counter, i);
    uint8_t first[64] = {};
    hmac_keyed_mac(k, salt->data, salt->length, counter, 4, nullptr, 0, first);
    std::memcpy(u, first, 64);
    std::memcpy(t, first, 64);
    if (streebog) {
      for (uint64_t j = 1; j < c; ++j) {
        streebog_prf_step(sp, g, u);
        for (int w = 0; w < 8; ++w) t[w] ^= u[w];
      }
    } else {
      auto* ub = reinterpret_cast<uint8_t*>(u);
      for (uint64_t j = 1; j < c; ++j) {
        hmac_keyed_mac(k, ub, 32, nullptr, 0, nullptr, 0, ub);
        for (int w = 0; w < 4; ++w) t[w] ^= u[w];
      }
    }
    const uint64_t n = dk_len < hlen ? dk_len : hlen;
    std::memcpy(out, t, n);
    out += n;
    dk_len -= n;
    vrt_memset_s(first, sizeof first, 0, sizeof first);
  }
  vrt_memset_s(u, sizeof u, 0, sizeof u);
  vrt_memset_s(t, sizeof t, 0, sizeof t);
  if (streebog) streebog_prf_wipe(&sp);
}

// The same through any PRF function, each call's status examined.
uint32_t pbkdf2_generic(pkcs5_prf_t* prf, const binstr_t* password, const binstr_t* salt, uint64_t c, uint8_t* out,
                        uint64_t dk_len) {
  const uint64_t hlen = prf->hlen;
  uint8_t* u = prf->out;
  binstr_t ub, cb;
  __binstr_init(&ub, u, hlen);
  uint32_t st = VRT_SUCCESS;
  for (uint32_t i = 1; st == VRT_SUCCESS && dk_len != 0; ++i) {
    uint8_t counter[4];
    store_be32(counter, i);
    __binstr_init(&cb, counter, 4);
    st = prf->fn(u, password, salt, &cb);
    const uint64_t n = dk_len < hlen ? dk_len : hlen;
    if (st == VRT_SUCCESS) std::memcpy(out, u, n);
    for (uint64_t j = 1; st == VRT_SUCCESS && j < c; ++j) {
      st = prf->fn(u, password, &ub, nullptr);
      if (st == VRT_SUCCESS)
        for (uint64_t b = 0; b < n; ++b) out[b] ^= u[b];
    }
    out += n;
    dk_len -= n;
  }
  vrt_memset_s(u, hlen, 0, hlen);
  return st;
}

uint32_t prf_hmac(uint32_t algorithm, uint8_t* out, const binstr_t* password, const binstr_t* data1,
                  const binstr_t* data2) {
  if (out == nullptr || !bytes_present(password) || !bytes_present(data1) ||
      (data2 != nullptr && !bytes_present(data2)))
    return VRT_ERROR_INVALID_ARGUMENT;
  hmac_ctx_t ctx;
  auto* c = reinterpret_cast<uint8_t*>(&ctx);
  uint32_t st = vrtpHMACInit(c, password, algorithm);
  if (st == VRT_SUCCESS) st = vrtpHMACUpdate(c, data1);
  if (st == VRT_SUCCESS && data2 != nullptr) st = vrtpHMACUpdate(c, data2);
  if (st == VRT_SUCCESS) return vrtpHMACFinalize(c, out);  // which wipes the context
  vrt_memreset_s(&ctx, sizeof ctx);
  return st;
}

uint32_t derive_with(const pkcs5_params_t* params, pkcs5_prf_fn fn, uint64_t hlen, const binstr_t* salt) {
  uint8_t work[64];
  pkcs5_prf_t prf{work, hlen, fn};
  pkcs5_params_t p = *params;
  p.salt = salt;
  return vrtpPKCS5DeriveKeyPBKDF2(&p, &prf);
}

}  // namespace
}  // namespace vrt::hash

extern "C" {

VRT_API uint32_t vrtpPKCS5PrfHmac94(uint8_t* out, const binstr_t* password, const binstr_t* data1,
                                    const binstr_t* data2) {
  return vrt::hash::prf_hmac(VRT_ALG_HMAC94, out, password, data1, data2);
}

VRT_API uint32_t vrtpPKCS5PrfHmac2012_512(uint8_t* out, const binstr_t* password, const binstr_t* data1,
                                          const binstr_t* data2) {
  return vrt::hash::prf_hmac(VRT_ALG_HMAC2012_512, out, password, data1, data2);
}

VRT_API uint32_t vrtpPKCS5DeriveKeyPBKDF2(const pkcs5_params_t* params, pkcs5_prf_t* prf) {
  if (params == nullptr || params->key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  genkey_t* key = params->key;
  const uint64_t dk_len = key->key.length;
  if (dk_len != 0 && key->key.data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (dk_len != 0) std::memset(key->key.data, 0, dk_len);
  if (dk_len != 0) {
    if (prf == nullptr || prf->fn == nullptr || prf->out == nullptr || params->password == nullptr ||
        params->salt == nullptr)
      return VRT_ERROR_FAILED;
    if (prf->hlen != 32 && prf->hlen != 64) return VRT_ERROR_INVALID_ARGUMENT;
    const uint64_t c = params->iterations == 0 ? 1 : params->iterations;
    const binstr_t* password = params->password;
    const binstr_t* salt = params->salt;
    uint32_t st = VRT_SUCCESS;
    const bool own94 = prf->fn == vrtpPKCS5PrfHmac94 && prf->hlen == 32;
    const bool own512 = prf->fn == vrtpPKCS5PrfHmac2012_512 && prf->hlen == 64;
    if ((own94 || own512) && vrt::hash::bytes_present(password) && vrt::hash::bytes_present(salt)) {
      vrt::hash::HmacKeyed k;
      st = vrt::hash::hmac_keyed_init(&k, own94 ? VRT_ALG_HMAC94 : VRT_ALG_HMAC2012_512, password->data,
                                      password->length);
      if (st == VRT_SUCCESS) vrt::hash::pbkdf2_keyed(&k, salt, c, key->key.data, dk_len);
      if (k.ops != nullptr) vrt::hash::hmac_keyed_wipe(&k);
    } else {
      st = vrt::hash::pbkdf2_generic(prf, password, salt, c, key->key.data, dk_len);
    }
    if (st != VRT_SUCCESS) {
      // No part of a key whose derivation failed is left behind.
      vrt_memreset_s(key->key.data, static_cast<int64_t>(dk_len));
      return st;
    }
  }
  genkey_mask(key);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpPKCS5GostDeriveKey94NoCheck(const pkcs5_params_t* params) {
  if (params == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  return vrt::hash::derive_with(params, vrtpPKCS5PrfHmac94, 32, params->salt);
}

VRT_API uint32_t vrtpPKCS5GostDeriveKey2012NoCheck(const pkcs5_params_t* params) {
  if (params == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  binstr_t short_salt;
  const binstr_t* salt = params->salt;
  if (params->salt_mode == VRT_ALG_PBKDF2_SHORT_SALT) {
    // Only the first four bytes; a salt that has fewer cannot give them.
    if (salt == nullptr || salt->length < 4 || salt->data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
    __binstr_init(&short_salt, salt->data, 4);
    salt = &short_salt;
  }
  return vrt::hash::derive_with(params, vrtpPKCS5PrfHmac2012_512, 64, salt);
}

VRT_API uint32_t vrtpPKCS5DeriveKeyNoCheck(pkcs5_params_t* params, genkey_t* key) {
  if (params == nullptr || !vrt::hash::bytes_present(params->password) || !vrt::hash::bytes_present(params->salt))
    return VRT_ERROR_INVALID_ARGUMENT;
  if (key == nullptr || (key->key.length != 0 && key->key.data == nullptr)) return VRT_ERROR_INVALID_ARGUMENT;
  params->key = key;
  if (params->kdf != VRT_ALG_PBKDF2) return VRT_ERROR_UNSUPPORTED;
  if (key->key.length > vrt::hash::kMaxKeyBytes) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->prf == VRT_ALG_HMAC94) return vrtpPKCS5GostDeriveKey94NoCheck(params);
  if (params->prf == VRT_ALG_HMAC2012_512) return vrtpPKCS5GostDeriveKey2012NoCheck(params);
  return VRT_ERROR_UNSUPPORTED;
}

VRT_API uint32_t vrtpPKCS5DeriveKey(pkcs5_params_t* params, genkey_t* key) {
  if (params == nullptr || params->password == nullptr || params->salt == nullptr || params->iterations < 1000)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (params->salt->length < 8 || params->salt->length > 32) return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpPKCS5DeriveKeyNoCheck(params, key);
}

VRT_FORWARD(PKCS5DeriveKeyNoCheck);

VRT_FORWARD(PKCS5DeriveKey);

}  // extern "C"

extern "C" {

VRT_API uint32_t pbkdf2_self_test(vrtp_instance_t*) {
  // The inputs of RFC 6070 cases 1, 2, 3, 5 and 6. HMAC-Streebog-512: the
  // examples of R 50.1.111-2016; HMAC-GOST R 34.11-94 (CryptoPro set):
  // values of this construction as libgcrypt, Nettle and OpenSSL compute it.
  static constexpr char kP1[] = "password";
  static constexpr char kS1[] = "salt";
  static constexpr char kP5[] = "passwordPASSWORDpassword";
  static constexpr char kS5[] = "saltSALTsaltSALTsaltSALTsaltSALTsalt";
  static constexpr char kP6[] = "pass\0word";
  static constexpr char kS6[] = "sa\0lt";
  static constexpr auto k94_1 = vrt::hex_bytes<32>("7314e7c04fb2e662c543674253f68bd0b73445d07f241bed872882da21662d58");
  static constexpr auto k94_2 = vrt::hex_bytes<32>("990dfa2bd965639ba48b07b792775df79f2db34fef25f274378872fed7ed1bb3");
  static constexpr auto k94_3 = vrt::hex_bytes<32>("1f1829a94bdff5be10d0aeb36af498e7a97467f3b31116a5a7c1afff9deadafe");
  static constexpr auto k94_5 =
      vrt::hex_bytes<40>("788358c69cb2dbe251a7bb17d5f4241f265a792a35becde8d56f326b49c85047b7638acb4764b1fd");
  static constexpr auto k94_6 = vrt::hex_bytes<20>("43e06c5590b08c0225242373127edf9c8e9c3291");
  static constexpr auto k512_1 = vrt::hex_bytes<64>(
      "64770af7f748c3b1c9ac831dbcfd85c26111b30a8a657ddc3056b80ca73e040d2854fd36811f6d825cc4ab66ec0a68a490a9e5cf5156b3"
      "a2b7eecddbf9a16b47");
  static constexpr auto k512_2 = vrt::hex_bytes<64>(
      "5a585bafdfbb6e8830d6d68aa3b43ac00d2e4aebce01c9b31c2caed56f0236d4d34b2b8fbd2c4e89d54d46f50e47d45bbac3015717431"
      "19e8d3c42ba66d348de");
  static constexpr auto k512_3 = vrt::hex_bytes<64>(
      "e52deb9a2d2aaff4e2ac9d47a41f34c20376591c67807f0477e32549dc341bc7867c09841b6d58e29d0347c996301d55df0d34e47cf68f"
      "4e3c2cdaf1d9ab86c3");
  static constexpr auto k512_5 = vrt::hex_bytes<100>(
      "b2d8f1245fc4d29274802057e4b54e0a0753aa22fc53760b301cf008679e58fe4bee9addcae99ba2b0b20f431a9c5e50f395c89387d094"
      "5aedeca6eb4015dfc2bd2421ee9bb71183ba882ceebfef259f33f9e27dc6178cb89dc37428cf9cc52a2baa2d3a");
  static constexpr auto k512_6 = vrt::hex_bytes<64>(
      "50df062885b69801a3c10248eb0a27ab6e522ffeb20c991c660f001475d73a4e167f782c18e97e92976d9c1d970831ea78ccb879f67068"
      "cdac1910740844e830");
  struct Case {
    uint32_t prf;
    const char* password;
    uint64_t password_len;
    const char* salt;
    uint64_t salt_len;
    uint64_t c;
    uint64_t dk_len;
    const uint8_t* expected;
  };
  const Case cases[] = {
      {VRT_ALG_HMAC94, kP1, 8, kS1, 4, 1, 32, k94_1.b},
      {VRT_ALG_HMAC94, kP1, 8, kS1, 4, 2, 32, k94_2.b},
      {VRT_ALG_HMAC94, kP1, 8, kS1, 4, 4096, 32, k94_3.b},
      {VRT_ALG_HMAC94, kP5, 24, kS5, 36, 4096, 40, k94_5.b},
      {VRT_ALG_HMAC94, kP6, 9, kS6, 5, 4096, 20, k94_6.b},
      {VRT_ALG_HMAC2012_512, kP1, 8, kS1, 4, 1, 64, k512_1.b},
      {VRT_ALG_HMAC2012_512, kP1, 8, kS1, 4, 2, 64, k512_2.b},
      {VRT_ALG_HMAC2012_512, kP1, 8, kS1, 4, 4096, 64, k512_3.b},
      {VRT_ALG_HMAC2012_512, kP5, 24, kS5, 36, 4096, 100, k512_5.b},
      {VRT_ALG_HMAC2012_512, kP6, 9, kS6, 5, 4096, 64, k512_6.b},
  };
  for (const Case& c : cases) {
    binstr_t password, salt;
    __binstr_init(&password, const_cast<char*>(c.password), c.password_len);
    __binstr_init(&salt, const_cast<char*>(c.salt), c.salt_len);
    pkcs5_params_t params{};
    params.kdf = VRT_ALG_PBKDF2;
    params.prf = c.prf;
    params.iterations = c.c;
    params.password = &password;
    params.salt = &salt;
    genkey_t key;
    uint32_t st = genkey_alloc(&key, c.dk_len, 0);
    if (st != VRT_SUCCESS) return st;
    st = vrtpPKCS5DeriveKeyNoCheck(&params, &key);
    if (st == VRT_SUCCESS) st = vrt::selftest_compare(key.key.data, c.expected, c.dk_len);
    genkey_free(&key);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"

// ---- PBES2 and PBMAC1 over GOST 28147-89 ----

namespace vrt::hash {
namespace {

bool data_present(const void* p, uint64_t n) { return n == 0 || p != nullptr; }

uint64_t sbox_of(const pkcs5_params_t* params) {
  if (params->cipher_params != nullptr && params->cipher_params->sbox != 0) return params->cipher_params->sbox;
  if (params->prf == VRT_ALG_HMAC94) return VRT_GOST89_SBOX_CRYPTOPRO_A;
  if (params->prf == VRT_ALG_HMAC2012_512) return VRT_GOST89_SBOX_TC26_Z;
  return VRT_GOST89_SBOX_DEFAULT;
}

const uint8_t* iv_of(const pkcs5_params_t* params) {
  if (params->cipher_params != nullptr && params->cipher_params->iv != nullptr) return params->cipher_params->iv;
  return vrtGost89ZeroIV;
}

// A one-lane GOST 28147-89 context in the caller's frame, cleared when it
// goes out of scope (its MAC register holds a value of the key).
struct alignas(64) Gost89Memory {
  uint8_t bytes[VRT_GOST89_CTX_SIZE(1)];
  Gost89Ctx* ctx() { return reinterpret_cast<Gost89Ctx*>(bytes); }
  ~Gost89Memory() { vrt_memset_s(bytes, sizeof bytes, 0, sizeof bytes); }
};

// A 32-byte key derived for one call into a record of its own under a
// random mask; the caller's parameter record is not changed (a pointer to
// this temporary must not outlive the call). Free with genkey_free.
uint32_t derive_temporary(const pkcs5_params_t* params, genkey_t* key) {
  uint32_t st = genkey_alloc(key, 32, GOST89_KEY_XOR);
  if (st != VRT_SUCCESS) return st;
  vrt_memreset_s(key->mask.data, static_cast<int64_t>(key->mask.length));
  pkcs5_params_t copy = *params;
  copy.key = nullptr;
  return vrtpPKCS5DeriveKey(&copy, key);
}

uint32_t cfb_with_key(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length, bool encrypt) {
  if (params == nullptr || params->key == nullptr || !data_present(in, length) || !data_present(out, length))
    return VRT_ERROR_INVALID_ARGUMENT;
  Gost89Memory mem;
  Gost89Ctx* ctx = mem.ctx();
  uint32_t st = vrtGost89CtxInit(ctx, 1, sbox_of(params));
  if (st == VRT_SUCCESS) st = vrtGost89SetMode(ctx, VRT_GOST89_MODE_CFB, 0);
  if (st == VRT_SUCCESS) st = vrtGost89SetStateSimple(ctx, iv_of(params));
  if (st == VRT_SUCCESS && length != 0)
    st = encrypt ? vrtGost89EncryptSimple(ctx, params->key, in, out, length)
                 : vrtGost89DecryptSimple(ctx, params->key, in, out, length);
  return st;
}

uint32_t cfb(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length, bool encrypt) {
  if (params == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->key != nullptr) return cfb_with_key(params, in, out, length, encrypt);
  genkey_t key{};
  uint32_t st = derive_temporary(params, &key);
  if (st == VRT_SUCCESS) {
    pkcs5_params_t with = *params;
    with.key = &key;
    st = cfb_with_key(&with, in, out, length, encrypt);
  }
  genkey_free(&key);  // which wipes it
  return st;
}

uint32_t enc_checks(const pkcs5_params_t* params) {
  if (params == nullptr || params->password == nullptr || params->salt == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->enc_scheme != VRT_ALG_PBES2 || params->enc_cipher != VRT_GOST89_MODE_CFB) return VRT_ERROR_UNSUPPORTED;
  return VRT_SUCCESS;
}

}  // namespace
}  // namespace vrt::hash

extern "C" {

VRT_API uint32_t vrtpPKCS5GostEncryptWithKey(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                             uint64_t length) {
  return vrt::hash::cfb_with_key(params, in, out, length, true);
}
VRT_API uint32_t vrtpPKCS5GostDecryptWithKey(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                             uint64_t length) {
  return vrt::hash::cfb_with_key(params, in, out, length, false);
}
VRT_API uint32_t vrtpPKCS5GostEncrypt(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                      uint64_t length) {
  return vrt::hash::cfb(params, in, out, length, true);
}
VRT_API uint32_t vrtpPKCS5GostDecrypt(const pkcs5_params_t* params, const uint8_t* in, uint8_t* out,
                                      uint64_t length) {
  return vrt::hash::cfb(params, in, out, length, false);
}

VRT_API uint32_t vrtpPKCS5Encrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length) {
  uint32_t st = vrt::hash::enc_checks(params);
  if (st != VRT_SUCCESS) return st;
  if (!vrt::hash::data_present(in, length) || !vrt::hash::data_present(out, length))
    return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpPKCS5GostEncrypt(params, in, out, length);
}

VRT_API uint32_t vrtpPKCS5Decrypt(pkcs5_params_t* params, const uint8_t* in, uint8_t* out, uint64_t length) {
  uint32_t st = vrt::hash::enc_checks(params);
  if (st != VRT_SUCCESS) return st;
  if (!vrt::hash::data_present(in, length) || !vrt::hash::data_present(out, length))
    return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpPKCS5GostDecrypt(params, in, out, length);
}

VRT_API uint32_t vrtpPKCS5GostMACWithKey(const pkcs5_params_t* params, const uint8_t* data, uint64_t length,
                                         uint8_t* mac, uint64_t mac_len) {
  if (params == nullptr || params->key == nullptr || mac == nullptr || !vrt::hash::data_present(data, length))
    return VRT_ERROR_INVALID_ARGUMENT;
  vrt::hash::Gost89Memory mem;
  Gost89Ctx* ctx = mem.ctx();
  uint8_t value[8];
  uint32_t st = vrtGost89CtxInit(ctx, 1, vrt::hash::sbox_of(params));
  if (st == VRT_SUCCESS) st = vrtGost89SetMode(ctx, VRT_GOST89_MODE_MAC, 0);
  if (st == VRT_SUCCESS) st = vrtGost89SetStateSimple(ctx, vrt::hash::iv_of(params));
  if (st == VRT_SUCCESS) st = vrtGost89MACSimple(ctx, params->key, data, length);
  if (st == VRT_SUCCESS) st = vrtGost89MACGetValue(ctx, value);
  if (st == VRT_SUCCESS) std::memcpy(mac, value, mac_len < 8 ? mac_len : 8);
  vrt_memset_s(value, sizeof value, 0, sizeof value);
  return st;
}

VRT_API uint32_t vrtpPKCS5GostMAC(const pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                                  uint64_t mac_len) {
  if (params == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->key != nullptr) return vrtpPKCS5GostMACWithKey(params, data, length, mac, mac_len);
  genkey_t key{};
  uint32_t st = vrt::hash::derive_temporary(params, &key);
  if (st == VRT_SUCCESS) {
    pkcs5_params_t with = *params;
    with.key = &key;
    st = vrtpPKCS5GostMACWithKey(&with, data, length, mac, mac_len);
  }
  genkey_free(&key);
  return st;
}

VRT_API uint32_t vrtpPKCS5MAC1(const pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                               uint64_t mac_len) {
  if (params == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->mac_scheme != VRT_ALG_PBMAC1 || params->mac_alg != VRT_GOST89_MODE_MAC) return VRT_ERROR_UNSUPPORTED;
  return vrtpPKCS5GostMAC(params, data, length, mac, mac_len);
}

VRT_API uint32_t vrtpPKCS5MAC(pkcs5_params_t* params, const uint8_t* data, uint64_t length, uint8_t* mac,
                              uint64_t mac_len) {
  if (params == nullptr || params->password == nullptr || params->salt == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (params->mac_scheme != VRT_ALG_PBMAC1 || params->mac_alg != VRT_GOST89_MODE_MAC) return VRT_ERROR_UNSUPPORTED;
  if (mac == nullptr || !vrt::hash::data_present(data, length)) return VRT_ERROR_INVALID_ARGUMENT;
  return vrtpPKCS5MAC1(params, data, length, mac, mac_len);
}

VRT_FORWARD(PKCS5Encrypt);
VRT_FORWARD(PKCS5Decrypt);
VRT_FORWARD(PKCS5MAC);

}  // extern "C"
