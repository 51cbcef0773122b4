// PBKDF2 against Nettle, libgcrypt and OpenSSL (PKCS5_PBKDF2_HMAC over the
// GOST provider's digests) on random passwords, salts, iteration counts and
// output lengths.
#include <gtest/gtest.h>

#include "common/test_util.h"
#include "hash/pbkdf2_helpers.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/hmac.h>
#include <nettle/pbkdf2.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include "common/openssl_gost.h"
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::Pbkdf2;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;

struct Case {
  Bytes password, salt;
  uint64_t c;
  size_t dk_len;
};

// Random inputs: passwords of 1..100 bytes (the peers refuse an empty
// one), salts of 0..40, up to 300 iterations, and output lengths that take
// part of a last block, among them 100 (two Streebog blocks and 36 bytes).
std::vector<Case> Cases() {
  std::vector<Case> v;
  for (size_t dk : {1, 20, 32, 33, 40, 64, 65, 100, 128, 150}) {
    v.push_back({RandomBytes(RandomSize(1, 100)), RandomBytes(RandomSize(0, 40)), RandomSize(1, 300), dk});
  }
  for (int i = 0; i < 6; ++i)
    v.push_back({RandomBytes(RandomSize(1, 70)), RandomBytes(RandomSize(1, 32)), RandomSize(1, 20), RandomSize(1, 200)});
  return v;
}

const uint32_t kAlgs[] = {VRT_ALG_HMAC2012_512, VRT_ALG_HMAC94};

#if defined(VRT_HAVE_GCRYPT)
TEST(Pbkdf2Peer, MatchesLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (uint32_t alg : kAlgs) {
    for (const Case& k : Cases()) {
      // libgcrypt refuses an empty salt; the other peers take it.
      if (k.salt.empty()) continue;
      Bytes want(k.dk_len);
      ASSERT_EQ(gcry_kdf_derive(k.password.data(), k.password.size(), GCRY_KDF_PBKDF2,
                                alg == VRT_ALG_HMAC2012_512 ? GCRY_MD_STRIBOG512 : GCRY_MD_GOSTR3411_CP,
                                k.salt.data(), k.salt.size(), k.c, want.size(), want.data()),
                0);
      EXPECT_EQ(Hex(Pbkdf2(alg, k.password, k.salt, k.c, k.dk_len)), Hex(want))
          << alg << " c " << k.c << " dkLen " << k.dk_len;
    }
  }
}
#else
TEST(Pbkdf2Peer, MatchesLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

#if defined(VRT_HAVE_NETTLE)
TEST(Pbkdf2Peer, MatchesNettle) {
  for (const Case& k : Cases()) {
    Bytes want(k.dk_len);
    hmac_streebog512_ctx ctx;
    hmac_streebog512_set_key(&ctx, k.password.size(), k.password.data());
    PBKDF2(&ctx, hmac_streebog512_update, hmac_streebog512_digest, 64, static_cast<unsigned>(k.c), k.salt.size(),
           k.salt.data(), want.size(), want.data());
    EXPECT_EQ(Hex(Pbkdf2(VRT_ALG_HMAC2012_512, k.password, k.salt, k.c, k.dk_len)), Hex(want))
        << "c " << k.c << " dkLen " << k.dk_len;
    hmac_gosthash94cp_ctx g;
    hmac_gosthash94cp_set_key(&g, k.password.size(), k.password.data());
    PBKDF2(&g, hmac_gosthash94cp_update, hmac_gosthash94cp_digest, 32, static_cast<unsigned>(k.c), k.salt.size(),
           k.salt.data(), want.size(), want.data());
    EXPECT_EQ(Hex(Pbkdf2(VRT_ALG_HMAC94, k.password, k.salt, k.c, k.dk_len)), Hex(want))
        << "c " << k.c << " dkLen " << k.dk_len;
  }
}
#else
TEST(Pbkdf2Peer, MatchesNettle) { GTEST_SKIP() << "Nettle not found"; }
#endif

#if defined(VRT_HAVE_OPENSSL)

TEST(Pbkdf2Peer, MatchesOpenSslPkcs5Pbkdf2Hmac) {
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  for (auto [alg, name] : {std::pair{VRT_ALG_HMAC2012_512, "md_gost12_512"}, std::pair{VRT_ALG_HMAC94, "md_gost94"}}) {
    EVP_MD* md = EVP_MD_fetch(nullptr, name, nullptr);
    ASSERT_NE(md, nullptr) << name;
    for (const Case& k : Cases()) {
      Bytes want(k.dk_len);
      ASSERT_EQ(PKCS5_PBKDF2_HMAC(reinterpret_cast<const char*>(k.password.data()), static_cast<int>(k.password.size()),
                                  k.salt.data(), static_cast<int>(k.salt.size()), static_cast<int>(k.c), md,
                                  static_cast<int>(want.size()), want.data()),
                1);
      EXPECT_EQ(Hex(Pbkdf2(alg, k.password, k.salt, k.c, k.dk_len)), Hex(want))
          << name << " c " << k.c << " dkLen " << k.dk_len;
    }
    EVP_MD_free(md);
  }
}
#else
TEST(Pbkdf2Peer, MatchesOpenSslPkcs5Pbkdf2Hmac) { GTEST_SKIP() << "OpenSSL not found"; }
#endif

}  // namespace
