// PBKDF2 over HMAC-GOST R 34.11-94 and HMAC-Streebog-512: the published
// examples, a plain model over the one-call HMAC, the limits and refusals of
// both derivation calls, a failing PRF, and key hygiene.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file_test.h"
#include "common/masked_key.h"
#include "common/test_util.h"
#include "frame/internal.h"
#include "hash/pbkdf2_helpers.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::Pbkdf2;
using vrt::test::Pbkdf2Model;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;
using vrt::test::Str;

TEST(Pbkdf2, PublishedVectors) {
  int cases = 0;
  vrt::test::FileTestRun("hash/pbkdf2.txt", [&](FileTest& t) {
    const std::string prf = t.GetText("Prf");
    const uint32_t alg = prf == "streebog512" ? VRT_ALG_HMAC2012_512 : VRT_ALG_HMAC94;
    if (alg == VRT_ALG_HMAC94) {
      EXPECT_EQ(prf, "gost94");
    }
    Bytes password = t.GetBytes("Password"), salt = t.GetBytes("Salt"), want = t.GetBytes("Key");
    const uint64_t c = t.GetInt("Iterations");
    for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD})
      EXPECT_EQ(Hex(Pbkdf2(alg, password, salt, c, want.size(), kind)), Hex(want)) << "kind " << kind;
    if (c <= 2) {
      EXPECT_EQ(Hex(Pbkdf2Model(alg, password, salt, c, want.size())), Hex(want));
    }
    ++cases;
  });
  EXPECT_GE(cases, 5);
}

TEST(Pbkdf2, SelfTestPasses) { EXPECT_EQ(pbkdf2_self_test(&vrtpInstance), VRT_SUCCESS); }

TEST(Pbkdf2, MatchesThePlainModelAtAwkwardLengths) {
  // Output lengths around both block sizes, passwords longer than the HMAC
  // block (hashed first), empty passwords and salts.
  for (uint32_t alg : {VRT_ALG_HMAC94, VRT_ALG_HMAC2012_512}) {
    for (size_t dk : {1, 31, 32, 33, 63, 64, 65, 100, 129, 200}) {
      Bytes password = RandomBytes(RandomSize(0, 100)), salt = RandomBytes(RandomSize(0, 40));
      const uint64_t c = RandomSize(1, 5);
      EXPECT_EQ(Hex(Pbkdf2(alg, password, salt, c, dk)), Hex(Pbkdf2Model(alg, password, salt, c, dk)))
          << alg << " dkLen " << dk << " c " << c << " password " << password.size();
    }
    for (size_t plen : {0, 32, 33, 64, 65, 300}) {
      Bytes password = RandomBytes(plen), salt = RandomBytes(8);
      EXPECT_EQ(Hex(Pbkdf2(alg, password, salt, 3, 70)), Hex(Pbkdf2Model(alg, password, salt, 3, 70))) << plen;
    }
    Bytes password = RandomBytes(10);
    EXPECT_EQ(Hex(Pbkdf2(alg, password, {}, 2, 40)), Hex(Pbkdf2Model(alg, password, {}, 2, 40)));
  }
}

TEST(Pbkdf2, ZeroIterationsCountAsOne) {
  Bytes password = RandomBytes(12), salt = RandomBytes(12);
  for (uint32_t alg : {VRT_ALG_HMAC94, VRT_ALG_HMAC2012_512})
    EXPECT_EQ(Hex(Pbkdf2(alg, password, salt, 0, 50)), Hex(Pbkdf2(alg, password, salt, 1, 50)));
}

TEST(Pbkdf2, ShortSaltModeTakesTheFirstFourBytesForStreebogOnly) {
  Bytes password = RandomBytes(9), salt = RandomBytes(16);
  Bytes four(salt.begin(), salt.begin() + 4);
  const uint32_t s = VRT_ALG_PBKDF2_SHORT_SALT;
  EXPECT_EQ(Hex(Pbkdf2(VRT_ALG_HMAC2012_512, password, salt, 3, 64, 0, s)),
            Hex(Pbkdf2(VRT_ALG_HMAC2012_512, password, four, 3, 64)));
  EXPECT_EQ(Hex(Pbkdf2(VRT_ALG_HMAC94, password, salt, 3, 32, 0, s)), Hex(Pbkdf2(VRT_ALG_HMAC94, password, salt, 3, 32)));
  // A salt of fewer than four bytes has no four to take.
  Bytes three = RandomBytes(3);
  Pbkdf2(VRT_ALG_HMAC2012_512, password, three, 3, 64, 0, s, VRT_ERROR_INVALID_ARGUMENT);
}

TEST(Pbkdf2, KeyLengthLimitsAndTheEmptyKey) {
  Bytes password = RandomBytes(8), salt = RandomBytes(8);
  EXPECT_EQ(Hex(Pbkdf2(VRT_ALG_HMAC2012_512, password, salt, 1, 4096)),
            Hex(Pbkdf2Model(VRT_ALG_HMAC2012_512, password, salt, 1, 4096)));
  Pbkdf2(VRT_ALG_HMAC2012_512, password, salt, 1, 4097, 0, 0, VRT_ERROR_INVALID_ARGUMENT);
  // dkLen 0: nothing to write, success, even with a record of no bytes.
  genkey_t empty{};
  pkcs5_params_t p{};
  binstr_t pw = Str(password), sa = Str(salt);
  p.kdf = VRT_ALG_PBKDF2;
  p.prf = VRT_ALG_HMAC2012_512;
  p.iterations = 1;
  p.password = &pw;
  p.salt = &sa;
  EXPECT_EQ(vrtPKCS5DeriveKeyNoCheck(&p, &empty), VRT_SUCCESS);
  EXPECT_EQ(p.key, &empty);
}

TEST(Pbkdf2, RefusesBadArgumentsAndIdentifiers) {
  Bytes password = RandomBytes(8), salt = RandomBytes(8);
  binstr_t pw = Str(password), sa = Str(salt), hole{5, nullptr};
  genkey_t key;
  ASSERT_EQ(genkey_alloc(&key, 32, 0), VRT_SUCCESS);
  std::memset(key.key.data, 0xee, 32);
  auto params = [&] {
    pkcs5_params_t p{};
    p.kdf = VRT_ALG_PBKDF2;
    p.prf = VRT_ALG_HMAC2012_512;
    p.iterations = 1000;
    p.password = &pw;
    p.salt = &sa;
    return p;
  };
  for (auto fn : {vrtPKCS5DeriveKeyNoCheck, vrtPKCS5DeriveKey}) {
    EXPECT_EQ(fn(nullptr, &key), VRT_ERROR_INVALID_ARGUMENT);
    pkcs5_params_t p = params();
    EXPECT_EQ(fn(&p, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    p = params();
    p.password = nullptr;
    EXPECT_EQ(fn(&p, &key), VRT_ERROR_INVALID_ARGUMENT);
    p = params();
    p.salt = nullptr;
    EXPECT_EQ(fn(&p, &key), VRT_ERROR_INVALID_ARGUMENT);
    p = params();
    p.password = &hole;
    EXPECT_EQ(fn(&p, &key), VRT_ERROR_INVALID_ARGUMENT);
    p = params();
    p.kdf = VRT_ALG_PBES2;
    EXPECT_EQ(fn(&p, &key), VRT_ERROR_UNSUPPORTED);
    for (uint32_t prf : {VRT_ALG_HMAC2012_256, 0u, VRT_ALG_HASH2012_512}) {
      p = params();
      p.prf = prf;
      EXPECT_EQ(fn(&p, &key), VRT_ERROR_UNSUPPORTED) << prf;
    }
  }
  EXPECT_EQ(Hex(key.key.data, 32), Hex(Bytes(32, 0xee))) << "a refused call wrote the key";
  // The profile's limits, refused by the checked form only.
  Bytes salt7 = RandomBytes(7), salt33 = RandomBytes(33), salt8 = RandomBytes(8), salt32 = RandomBytes(32);
  binstr_t s7 = Str(salt7), s33 = Str(salt33), s8 = Str(salt8), s32 = Str(salt32);
  struct Case {
    uint64_t c;
    const binstr_t* salt;
    uint32_t checked;
  };
  for (const Case& k : {Case{999, &sa, VRT_ERROR_INVALID_ARGUMENT}, Case{1000, &s7, VRT_ERROR_INVALID_ARGUMENT},
                        Case{1000, &s33, VRT_ERROR_INVALID_ARGUMENT}, Case{1000, &s8, VRT_SUCCESS},
                        Case{1000, &s32, VRT_SUCCESS}}) {
    pkcs5_params_t p = params();
    p.iterations = k.c;
    p.salt = k.salt;
    EXPECT_EQ(vrtPKCS5DeriveKey(&p, &key), k.checked) << k.c << " " << k.salt->length;
    p.iterations = k.c < 1000 ? k.c : 1;
    EXPECT_EQ(vrtPKCS5DeriveKeyNoCheck(&p, &key), VRT_SUCCESS) << k.c << " " << k.salt->length;
  }
  genkey_free(&key);
}

// A PRF that fails on its n-th call.
int g_calls_left = 0;
uint32_t FailingPrf(uint8_t* out, const binstr_t* password, const binstr_t* d1, const binstr_t* d2) {
  if (--g_calls_left < 0) return VRT_ERROR_NO_MEMORY;
  return vrtpPKCS5PrfHmac2012_512(out, password, d1, d2);
}

TEST(Pbkdf2, StopsAtAFailingPrfAndReturnsItsStatus) {
  Bytes password = RandomBytes(8), salt = RandomBytes(8);
  binstr_t pw = Str(password), sa = Str(salt);
  const Bytes want = Pbkdf2Model(VRT_ALG_HMAC2012_512, password, salt, 3, 100);
  // Two blocks of three calls each: a failure at every call, and none.
  for (int fail_at = 0; fail_at <= 6; ++fail_at) {
    genkey_t key;
    ASSERT_EQ(genkey_alloc(&key, 100, 0), VRT_SUCCESS);
    pkcs5_params_t p{};
    p.key = &key;
    p.iterations = 3;
    p.password = &pw;
    p.salt = &sa;
    uint8_t work[64];
    pkcs5_prf_t prf{work, 64, FailingPrf};
    g_calls_left = fail_at;
    const uint32_t st = vrtpPKCS5DeriveKeyPBKDF2(&p, &prf);
    if (fail_at == 6) {
      EXPECT_EQ(st, VRT_SUCCESS);
      EXPECT_EQ(Hex(key.key.data, 100), Hex(want));
    } else {
      EXPECT_EQ(st, VRT_ERROR_NO_MEMORY) << "failure at call " << fail_at;
      EXPECT_EQ(g_calls_left, -1) << "calls went on after the failure";
      for (size_t off = 0; off + 8 <= 100; off += 8)
        EXPECT_EQ(Hex(key.key.data + off, 8) == Hex(want.data() + off, 8), false) << "key bytes left at " << off;
    }
    genkey_free(&key);
  }
  // No PRF at all: 1 when there is a block to compute.
  genkey_t key;
  ASSERT_EQ(genkey_alloc(&key, 10, 0), VRT_SUCCESS);
  pkcs5_params_t p{};
  p.key = &key;
  p.password = &pw;
  p.salt = &sa;
  pkcs5_prf_t none{nullptr, 64, nullptr};
  EXPECT_EQ(vrtpPKCS5DeriveKeyPBKDF2(&p, &none), VRT_ERROR_FAILED);
  genkey_free(&key);
}

TEST(Pbkdf2, LeavesTheKeyMaskedAndWipesThePasswordBlock) {
  Bytes password = RandomBytes(20), salt = RandomBytes(8);
  const Bytes want = Pbkdf2Model(VRT_ALG_HMAC2012_512, password, salt, 2, 64);
  for (uint32_t alg : {VRT_ALG_HMAC94, VRT_ALG_HMAC2012_512}) {
    const uint64_t before = vrt::frame::memreset_requests();
    Bytes got = Pbkdf2(alg, password, salt, 2, 64, GOST89_KEY_XOR);
    EXPECT_GT(vrt::frame::memreset_requests(), before) << alg;
  }
  // The stored bytes of a masked record are not the key.
  genkey_t key;
  ASSERT_EQ(genkey_alloc(&key, 64, GOST89_KEY_XOR), VRT_SUCCESS);
  Bytes zeros(64), mask = RandomBytes(64);
  binstr_t z = Str(zeros), m = Str(mask), pw = Str(password), sa = Str(salt);
  ASSERT_EQ(genkey_load(&key, &z, &m), VRT_SUCCESS);
  pkcs5_params_t p{};
  p.kdf = VRT_ALG_PBKDF2;
  p.prf = VRT_ALG_HMAC2012_512;
  p.iterations = 2;
  p.password = &pw;
  p.salt = &sa;
  ASSERT_EQ(vrtPKCS5DeriveKeyNoCheck(&p, &key), VRT_SUCCESS);
  Bytes stored(key.key.data, key.key.data + 64);
  EXPECT_NE(Hex(stored), Hex(want));
  for (size_t i = 0; i < 64; ++i) stored[i] ^= mask[i];
  EXPECT_EQ(Hex(stored), Hex(want));
  genkey_free(&key);
}

// ---- PBES2 and PBMAC1 ----

struct Pbes {
  Bytes password = RandomBytes(11), salt = RandomBytes(16);
  binstr_t pw = vrt::test::Str(password), sa = vrt::test::Str(salt);
  pkcs5_params_t p{};
  explicit Pbes(uint32_t prf) {
    p.kdf = VRT_ALG_PBKDF2;
    p.prf = prf;
    p.iterations = 1000;
    p.password = &pw;
    p.salt = &sa;
    p.enc_scheme = VRT_ALG_PBES2;
    p.enc_cipher = VRT_GOST89_MODE_CFB;
    p.mac_scheme = VRT_ALG_PBMAC1;
    p.mac_alg = VRT_GOST89_MODE_MAC;
  }
};

// GOST 28147-89 CFB or MAC under a plain key on a set with an IV.
Bytes Gost89(uint32_t mode, uint64_t sbox, const Bytes& key, const uint8_t* iv, const Bytes& in) {
  vrt::test::MaskedKey k(key);
  Gost89Ctx* ctx = nullptr;
  EXPECT_EQ(vrtGost89CtxAllocInitialized(&ctx, 1, sbox), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SetMode(ctx, mode, 0), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SetStateSimple(ctx, iv), VRT_SUCCESS);
  Bytes out(mode == VRT_GOST89_MODE_MAC ? 8 : in.size());
  if (mode == VRT_GOST89_MODE_MAC) {
    EXPECT_EQ(vrtGost89MACSimple(ctx, k.get(), in.data(), in.size()), VRT_SUCCESS);
    EXPECT_EQ(vrtGost89MACGetValue(ctx, out.data()), VRT_SUCCESS);
  } else if (!in.empty()) {
    EXPECT_EQ(vrtGost89EncryptSimple(ctx, k.get(), in.data(), out.data(), in.size()), VRT_SUCCESS);
  }
  vrtGost89CtxFree(ctx);
  return out;
}

TEST(Pbes2, EncryptsInCfbUnderTheDerivedKeyOnTheSetThePrfChooses) {
  for (auto [prf, sbox] : {std::pair{VRT_ALG_HMAC94, VRT_GOST89_SBOX_CRYPTOPRO_A},
                           std::pair{VRT_ALG_HMAC2012_512, VRT_GOST89_SBOX_TC26_Z}}) {
    Pbes s(prf);
    const Bytes key = Pbkdf2Model(prf, s.password, s.salt, 1000, 32);
    for (size_t n : {0, 1, 7, 8, 9, 100}) {
      Bytes plain = RandomBytes(n), enc(n), dec(n);
      const uint64_t before = vrt::frame::memreset_requests();
      ASSERT_EQ(vrtPKCS5Encrypt(&s.p, plain.data(), enc.data(), n), VRT_SUCCESS) << n;
      EXPECT_GT(vrt::frame::memreset_requests(), before) << "the key derived for the call is wiped";
      EXPECT_EQ(s.p.key, nullptr) << "the record points at a key that no longer exists";
      EXPECT_EQ(Hex(enc), Hex(Gost89(VRT_GOST89_MODE_CFB, sbox, key, vrtGost89ZeroIV, plain))) << prf << " " << n;
      ASSERT_EQ(vrtPKCS5Decrypt(&s.p, enc.data(), dec.data(), n), VRT_SUCCESS);
      EXPECT_EQ(Hex(dec), Hex(plain));
    }
    // A key of the caller's own, and parameters of the caller's own.
    vrt::test::MaskedKey given(key, GOST89_KEY_ADD);
    Bytes plain = RandomBytes(33), enc(33);
    s.p.key = const_cast<genkey_t*>(given.get());
    ASSERT_EQ(vrtPKCS5Encrypt(&s.p, plain.data(), enc.data(), 33), VRT_SUCCESS);
    EXPECT_EQ(Hex(enc), Hex(Gost89(VRT_GOST89_MODE_CFB, sbox, key, vrtGost89ZeroIV, plain)));
    const Bytes iv = RandomBytes(8);
    pkcs5_cipher_params_t cp{VRT_GOST89_SBOX_CRYPTOPRO_B, iv.data()};
    s.p.cipher_params = &cp;
    ASSERT_EQ(vrtPKCS5Encrypt(&s.p, plain.data(), enc.data(), 33), VRT_SUCCESS);
    EXPECT_EQ(Hex(enc), Hex(Gost89(VRT_GOST89_MODE_CFB, VRT_GOST89_SBOX_CRYPTOPRO_B, key, iv.data(), plain)));
    // A zero set or a null IV keeps that default.
    cp = {0, iv.data()};
    ASSERT_EQ(vrtPKCS5Encrypt(&s.p, plain.data(), enc.data(), 33), VRT_SUCCESS);
    EXPECT_EQ(Hex(enc), Hex(Gost89(VRT_GOST89_MODE_CFB, sbox, key, iv.data(), plain)));
    cp = {VRT_GOST89_SBOX_CRYPTOPRO_B, nullptr};
    ASSERT_EQ(vrtPKCS5Encrypt(&s.p, plain.data(), enc.data(), 33), VRT_SUCCESS);
    EXPECT_EQ(Hex(enc), Hex(Gost89(VRT_GOST89_MODE_CFB, VRT_GOST89_SBOX_CRYPTOPRO_B, key, vrtGost89ZeroIV, plain)));
  }
}

TEST(Pbmac1, MacIsThePrefixOfTheGost89MacUnderTheDerivedKey) {
  Pbes s(VRT_ALG_HMAC2012_512);
  const Bytes key = Pbkdf2Model(VRT_ALG_HMAC2012_512, s.password, s.salt, 1000, 32);
  const Bytes data = RandomBytes(45);
  const Bytes want = Gost89(VRT_GOST89_MODE_MAC, VRT_GOST89_SBOX_TC26_Z, key, vrtGost89ZeroIV, data);
  Bytes mac(16, 0xee);
  ASSERT_EQ(vrtPKCS5MAC(&s.p, data.data(), data.size(), mac.data(), 4), VRT_SUCCESS);
  EXPECT_EQ(Hex(mac.data(), 4), Hex(want.data(), 4));
  EXPECT_EQ(mac[4], 0xee);
  EXPECT_EQ(s.p.key, nullptr);
  ASSERT_EQ(vrtPKCS5MAC(&s.p, data.data(), data.size(), mac.data(), 16), VRT_SUCCESS);
  EXPECT_EQ(Hex(mac.data(), 8), Hex(want));
  EXPECT_EQ(mac[8], 0xee) << "wrote past the 8-byte value";
  vrt::test::MaskedKey given(key);
  s.p.key = const_cast<genkey_t*>(given.get());
  Bytes mac2(8);
  ASSERT_EQ(vrtPKCS5MAC(&s.p, data.data(), data.size(), mac2.data(), 8), VRT_SUCCESS);
  EXPECT_EQ(Hex(mac2), Hex(want));
}

TEST(Pbes2, RefusesBadArgumentsAndIdentifiers) {
  Pbes s(VRT_ALG_HMAC2012_512);
  Bytes in(16, 1), out(16, 0xee);
  uint8_t mac[8];
  auto all = [&](pkcs5_params_t* p, uint32_t enc, uint32_t macst) {
    EXPECT_EQ(vrtPKCS5Encrypt(p, in.data(), out.data(), 16), enc);
    EXPECT_EQ(vrtPKCS5Decrypt(p, in.data(), out.data(), 16), enc);
    EXPECT_EQ(vrtPKCS5MAC(p, in.data(), 16, mac, 8), macst);
  };
  all(nullptr, VRT_ERROR_INVALID_ARGUMENT, VRT_ERROR_INVALID_ARGUMENT);
  pkcs5_params_t p = s.p;
  p.password = nullptr;
  all(&p, VRT_ERROR_INVALID_ARGUMENT, VRT_ERROR_INVALID_ARGUMENT);
  p = s.p;
  p.salt = nullptr;
  all(&p, VRT_ERROR_INVALID_ARGUMENT, VRT_ERROR_INVALID_ARGUMENT);
  p = s.p;
  p.enc_scheme = VRT_ALG_PBMAC1;
  p.mac_scheme = VRT_ALG_PBES2;
  all(&p, VRT_ERROR_UNSUPPORTED, VRT_ERROR_UNSUPPORTED);
  p = s.p;
  p.enc_cipher = VRT_GOST89_MODE_CBC;
  p.mac_alg = VRT_GOST89_MODE_ECB;
  all(&p, VRT_ERROR_UNSUPPORTED, VRT_ERROR_UNSUPPORTED);
  // The derivation for the call takes the profile's checks.
  p = s.p;
  p.iterations = 999;
  all(&p, VRT_ERROR_INVALID_ARGUMENT, VRT_ERROR_INVALID_ARGUMENT);
  p = s.p;
  p.prf = VRT_ALG_HMAC2012_256;
  all(&p, VRT_ERROR_UNSUPPORTED, VRT_ERROR_UNSUPPORTED);
  EXPECT_EQ(out[0], 0xee);
  p = s.p;
  EXPECT_EQ(vrtPKCS5Encrypt(&p, nullptr, out.data(), 16), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPKCS5Decrypt(&p, in.data(), nullptr, 16), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPKCS5MAC(&p, in.data(), 16, nullptr, 8), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtpPKCS5GostEncryptWithKey(&p, in.data(), out.data(), 16), VRT_ERROR_INVALID_ARGUMENT) << "no key";
  EXPECT_EQ(vrtpPKCS5GostMACWithKey(&p, in.data(), 16, mac, 8), VRT_ERROR_INVALID_ARGUMENT) << "no key";
}

}  // namespace
