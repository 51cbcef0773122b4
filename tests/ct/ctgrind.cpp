// Runs the operations that must take the same time for any secret value with
// the secret bytes marked undefined: memcheck reports a branch or an address
// that depends on them. Each check prints its name; the exit status is
// memcheck's.
#include <valgrind/memcheck.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <cstring>

#include "cipher15/mgm.h"
#include "frame/ct.h"
#include "hash/internal.h"
#include "pubkey/math/int.h"
#include "pubkey/math/safegcd.h"
#include "vrt.h"

namespace {

void Secret(const void* p, size_t n) { VALGRIND_MAKE_MEM_UNDEFINED(p, n); }
void Public(const void* p, size_t n) { VALGRIND_MAKE_MEM_DEFINED(p, n); }

void MaskingAndUnmasking() {
  for (uint32_t kind : {GOST89_KEY_XOR, GOST89_KEY_ADD}) {
    genkey_t g;
    if (genkey_alloc(&g, 32, kind) != VRT_SUCCESS) std::abort();
    uint8_t plain[32], mask[32], out[32];
    std::memset(plain, 0x3c, sizeof plain);
    std::memset(mask, 0xa7, sizeof mask);
    binstr_t p, m, d;
    __binstr_init(&p, plain, 32);
    __binstr_init(&m, mask, 32);
    __binstr_init(&d, mask, 32);
    Secret(plain, 32);
    Secret(mask, 32);
    genkey_load(&g, &p, &m);
    genkey_mask(&g);
    genkey_remask(&g, &d);
    genkey_t tmp{};
    __binstr_init(&tmp.key, out, 32);
    genkey_unmask_to(&g, &tmp);
    genkey_unmask(&g);
    Public(g.key.data, 32);
    Public(g.mask.data, 32);
    genkey_free(&g);
  }
  std::puts("masking and unmasking");
}

void Comparisons() {
  uint8_t a[64], b[64];
  std::memset(a, 1, sizeof a);
  std::memset(b, 1, sizeof b);
  Secret(a, sizeof a);
  Secret(b, sizeof b);
  binstr_t x, y;
  __binstr_init(&x, a, sizeof a);
  __binstr_init(&y, b, sizeof b);
  uint32_t eq = binstr_equals(&x, &y);
  uint32_t diff = vrt::ct::memdiff(a, b, sizeof a);
  Public(&eq, sizeof eq);
  Public(&diff, sizeof diff);
  if (eq != 1 || diff != 0) std::abort();
  std::puts("comparisons");
}

// The MGM tag check decides on the comparison result only, and the field
// multiplications (whose one operand, H, is secret) touch every bit alike.
void MgmTagAndField() {
  uint8_t computed[16], expected[16];
  std::memset(computed, 0x5a, sizeof computed);
  std::memset(expected, 0x5a, sizeof expected);
  expected[15] ^= 1;
  Secret(computed, sizeof computed);
  Secret(expected, sizeof expected);
  uint32_t diff = vrt::cipher15::mgm_tag_mismatch(computed, expected, 16);
  const uint32_t same = vrt::cipher15::mgm_tag_mismatch(computed, computed, 16);
  Public(&diff, sizeof diff);
  Public(&same, sizeof same);
  if (diff != 1 || same != 0) std::abort();

  uint8_t h[16], x[16], r[16];
  std::memset(h, 0xc3, sizeof h);
  std::memset(x, 0x3c, sizeof x);
  Secret(h, sizeof h);
  Secret(x, sizeof x);
  vrt::cipher15::gf128_mul_portable(r, h, x);
  vrt::cipher15::gf64_mul_portable(r, h, x);
  mulGaloisField128(r, h, x);  // the variant chosen at initialisation
  mulGaloisField64(r, h, x);
  std::puts("MGM tag comparison and field multiplication");
}

// A masked key record of L bytes (XOR or additive) with secret bytes.
struct SecretKey {
  genkey_t g{};
  SecretKey(size_t len, uint32_t kind, uint8_t fill) {
    if (genkey_alloc(&g, len, kind) != VRT_SUCCESS) std::abort();
    uint8_t plain[64], mask[64];
    for (size_t i = 0; i < len; ++i) {
      plain[i] = static_cast<uint8_t>(fill + 13 * i);
      mask[i] = static_cast<uint8_t>(0x5b ^ (7 * i));
    }
    plain[len - 1] &= 0x3f;  // below q on every set
    binstr_t p, m;
    __binstr_init(&p, plain, len);
    __binstr_init(&m, mask, len);
    genkey_load(&g, &p, kind != 0 ? &m : nullptr);
    genkey_mask(&g);
    vrt_memset_s(plain, sizeof plain, 0, sizeof plain);
    Secret(g.key.data, len);
    if (g.mask.data != nullptr) Secret(g.mask.data, len);
  }
  ~SecretKey() {
    Public(g.key.data, g.key.length);
    if (g.mask.data != nullptr) Public(g.mask.data, g.mask.length);
    genkey_free(&g);
  }
};

// Key import (plain and masked records), public-key creation, signing and
// VKO with the key, the nonce and the results secret. The public key, r and
// the rejection flags are declassified inside the library; s and the VKO
// point are marked public after the call. A fresh handle each time, as
// short-lived handles and ephemeral keys are.
void SignerOperations(Parameter set, const char* name) {
  const size_t L = set >= VRT_PARAM_TC26_512_TEST ? 64 : 32;
  for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
    SignerHandle* h = nullptr;
    if (vrtSignerInit(&h, set) != VRT_SUCCESS) std::abort();
    SignerHandle* peer = nullptr;
    if (vrtSignerInit(&peer, set) != VRT_SUCCESS) std::abort();
    uint8_t pub[128], peer_pub[128], sig[128], point[128], digest[64], nonce[64], ukm[64] = {};
    {
      SecretKey other(L, GOST89_KEY_XOR, 0x21);
      if (vrtSignerImportSecretKey(peer, &other.g) != VRT_SUCCESS) std::abort();
      if (vrtSignerCreatePublicKey(peer) != VRT_SUCCESS) std::abort();
      if (vrtSignerExportPublicKey(peer, peer_pub) != VRT_SUCCESS) std::abort();
    }
    SecretKey key(L, kind, 0x9d);
    if (vrtSignerImportSecretKey(h, &key.g) != VRT_SUCCESS) std::abort();
    if (vrtSignerCreatePublicKey(h) != VRT_SUCCESS) std::abort();
    if (vrtSignerExportPublicKey(h, pub) != VRT_SUCCESS) std::abort();
    for (size_t i = 0; i < L; ++i) {
      digest[i] = static_cast<uint8_t>(3 * i + 1);
      nonce[i] = static_cast<uint8_t>(0xa5 ^ (11 * i));
    }
    nonce[L - 1] &= 0x3f;
    ukm[0] = 0x1d;
    ukm[3] = 0x77;
    for (int round = 0; round < 2; ++round) {
      Secret(nonce, L);
      if (vrtSignerSign(h, digest, nonce, sig) != VRT_SUCCESS) std::abort();
      Public(sig, 2 * L);
      Public(nonce, L);
      nonce[0] ^= 0x5a;
    }
    if (vrtSignerGenerateVKO(h, ukm, peer_pub, point) != VRT_SUCCESS) std::abort();
    Public(point, 2 * L);
    if (vrtSignerVerify(h, digest, sig) != VRT_SUCCESS) std::abort();
    vrtSignerRelease(h);
    vrtSignerRelease(peer);
  }
  std::printf("signer %s (%s path): key import, public key, signing, VKO\n", name,
              vrt::flags::supported_adx ? "BMI2 + ADX" : vrt::flags::supported_asm ? "BMI2" : "portable");
}

// The shorter Montgomery product and squaring of the moduli 2^N - c and
// 2^(N-1) + c, every routine, with both operands secret (the field code
// reaches them only on the BMI2 paths).
void SpecialFieldProducts() {
  if (!vrt::flags::supported_asm) {
    std::puts("special-form field products: no BMI2 here, skipped");
    return;
  }
  using vrt::math::SpecialModulus;
  for (bool plus : {false, true}) {
    vrt::math::Int<256> p4;
    vrt::math::Int<512> p8;
    if (plus) {
      p4.set_bit(255);
      p4 += vrt::math::Int<256>(3225);
      p8.set_bit(511);
      p8 += vrt::math::Int<512>(111);
    } else {
      p4 -= vrt::math::Int<256>(617);
      p8 -= vrt::math::Int<512>(569);
    }
    const SpecialModulus s4 = SpecialModulus::of<4>(p4.words), s8 = SpecialModulus::of<8>(p8.words);
    uint64_t a[8], b[8], r[8];
    for (int i = 0; i < 8; ++i) {
      a[i] = 0x9e3779b97f4a7c15u * (i + 1);
      b[i] = 0xc2b2ae3d27d4eb4fu * (i + 3);
    }
    a[3] &= 0x7fffffffffffffffu;
    b[3] &= 0x7fffffffffffffffu;
    a[7] &= 0x7fffffffffffffffu;
    b[7] &= 0x7fffffffffffffffu;
    Secret(a, sizeof a);
    Secret(b, sizeof b);
    s4.mul<256>(r, a, b);
    s4.sqr<256>(r, a);
    s8.mul<512>(r, a, b);
    s8.sqr<512>(r, a);
    Public(r, sizeof r);
    Public(a, sizeof a);
    Public(b, sizeof b);
  }
  std::puts("special-form field products (2^N - c, 2^(N-1) + c; 256 and 512 bits)");
}

// The constant-time inversion with a secret input, 256 and 512 bits, on a
// random number and on the edge values 1 and p - 1.
template <int N>
void SecretInversionOf(const vrt::math::Int<N>& p) {
  const auto mod = vrt::math::safegcd::make_modulus<N>(p);
  vrt::math::Int<N> xs[3];
  for (int i = 0; i < vrt::math::Int<N>::kWords; ++i) xs[0].words[i] = 0x9e3779b97f4a7c15u * (i + 7);
  xs[0].words[vrt::math::Int<N>::kWords - 1] >>= 2;
  xs[1] = vrt::math::Int<N>(1);
  xs[2] = p - vrt::math::Int<N>(1);
  for (auto& x : xs) {
    Secret(&x, sizeof x);
    vrt::math::Int<N> r = vrt::math::safegcd::inverse_ct<N>(x, mod);
    Public(&r, sizeof r);
    Public(&x, sizeof x);
  }
}

void SecretInversion() {
  vrt::math::Int<256> p4;
  p4 -= vrt::math::Int<256>(617);
  vrt::math::Int<512> p8;
  p8 -= vrt::math::Int<512>(569);
  SecretInversionOf<256>(p4);
  SecretInversionOf<512>(p8);
  std::puts("constant-time inversion (256 and 512 bits)");
}

}  // namespace

// GOST R 34.11-94 on its AVX lanes (byte shuffles, no table lookups), and
// HMAC over it with a secret key: the key block is hashed like any data.
void Gost94AndItsHmac() {
  if ((vrtpInstance.cpu_enabled & VRT_CPU_AVX) == 0) {
    std::puts("GOST R 34.11-94: no AVX here, skipped");
    return;
  }
  uint8_t data[77], digest[32];
  std::memset(data, 0x6b, sizeof data);
  Secret(data, sizeof data);
  hash94_ctx_t ctx;
  vrtGostHash94Init(&ctx, VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, nullptr);
  vrtGostHash94Update(&ctx, data, sizeof data);
  if (vrtGostHash94Finalize(&ctx, digest) != VRT_SUCCESS) std::abort();
  Public(digest, sizeof digest);

  for (size_t len : {size_t{32}, size_t{45}}) {  // a key block as it is, and a hashed one
    uint8_t key[45], mac[32];
    std::memset(key, 0x3c, sizeof key);
    Secret(key, sizeof key);
    binstr_t k, m;
    __binstr_init(&k, key, len);
    __binstr_init(&m, data, 20);
    Public(data, sizeof data);
    if (vrtGostHmac94(mac, &k, &m) != VRT_SUCCESS) std::abort();
    Public(mac, sizeof mac);
  }
  std::puts("GOST R 34.11-94 and its HMAC");
}


// The decision of a key import (KImp15, the TC26 unwrap): the computed and
// the received tag, the decrypted key and the record it may go to all
// secret; the tags agree in one call and differ in their last byte in the
// other. Only the returned status is declassified.
void KeyImportDecision() {
  for (int agree = 0; agree < 2; ++agree) {
    uint8_t tag[16], received[16], plain[32], out[32];
    std::memset(tag, 0x6e, sizeof tag);
    std::memcpy(received, tag, sizeof received);
    if (!agree) received[15] ^= 0x10;
    std::memset(plain, 0xc7, sizeof plain);
    std::memset(out, 0x18, sizeof out);
    Secret(tag, sizeof tag);
    Secret(received, sizeof received);
    Secret(plain, sizeof plain);
    Secret(out, sizeof out);
    uint32_t st = vrt::hash::copy_if_tags_match(out, plain, sizeof out, tag, received, sizeof tag);
    Public(&st, sizeof st);
    Public(out, sizeof out);
    if (st != (agree ? VRT_SUCCESS : VRT_ERROR_FAILED) || out[0] != (agree ? 0xc7 : 0x18)) std::abort();
  }
  std::puts("key import decision (tag comparison and copy)");
}

int main() {
  if (vrtInit() != VRT_SUCCESS) return 2;
  MaskingAndUnmasking();
  Comparisons();
  MgmTagAndField();
  KeyImportDecision();
  Gost94AndItsHmac();
  SecretInversion();
  // Every integer path: portable, BMI2, and BMI2 with the ADCX/ADOX
  // Montgomery product, each where the processor has it. Valgrind's
  // processor reports no ADX but runs ADCX and ADOX, so under valgrind the
  // ADX path runs wherever BMI2 does. The sets cover a = -3 and general a,
  // cofactor 1 and 4, 256 and 512 bits, and on the BMI2 paths every field
  // product: the generic one (CryptoPro C, the 512-bit q's) and the shorter
  // one of p = 2^N - c (CryptoPro A, TC26 A and C) and p = 2^(N-1) + c
  // (CryptoPro B, TC26 512-bit B).
  const bool bmi2 = vrt::flags::supported_asm, adx = vrt::flags::supported_adx;
  const bool run_adx = adx || (bmi2 && RUNNING_ON_VALGRIND);
  for (int path = 0; path < 3; ++path) {
    if ((path == 1 && !bmi2) || (path == 2 && !run_adx)) continue;
    vrt::flags::supported_asm = path >= 1;
    vrt::flags::supported_adx = path == 2;
    SpecialFieldProducts();
    SignerOperations(VRT_PARAM_CRYPTOPRO_A, "CryptoPro A");
    SignerOperations(VRT_PARAM_CRYPTOPRO_B, "CryptoPro B");
    SignerOperations(VRT_PARAM_CRYPTOPRO_C, "CryptoPro C");
    SignerOperations(VRT_PARAM_TC26_256_A, "TC26 256-bit A");
    SignerOperations(VRT_PARAM_TC26_512_A, "TC26 512-bit A");
    SignerOperations(VRT_PARAM_TC26_512_B, "TC26 512-bit B");
    SignerOperations(VRT_PARAM_TC26_512_C, "TC26 512-bit C");
  }
  vrt::flags::supported_asm = bmi2;
  vrt::flags::supported_adx = adx;
  vrtCleanup();
  return 0;
}
