// GOST R 34.11-94, HMAC over all three hashes, the TLS PRF and KDF_TREE
// against libgcrypt, Nettle and the OpenSSL GOST provider, on random inputs
// of awkward lengths fed in random pieces. Every peer returns the bytes in
// this library's order, so they compare directly.
#include <gtest/gtest.h>

#include "common/masked_key.h"
#include "common/test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/gosthash94.h>
#include <nettle/hmac.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/kdf.h>
#include "common/openssl_gost.h"
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;

constexpr uint64_t kTest = VRT_GOST89_SBOX_R3411_94_TEST;
constexpr uint64_t kCryptoPro = VRT_GOST89_SBOX_R3411_94_CRYPTOPRO;

Bytes Ours94(const Bytes& msg, uint64_t sbox) {
  hash94_ctx_t ctx;
  EXPECT_EQ(vrtGostHash94Init(&ctx, sbox, nullptr), VRT_SUCCESS);
  for (size_t off = 0; off < msg.size();) {
    size_t n = std::min(RandomSize(0, 100), msg.size() - off);
    EXPECT_EQ(vrtGostHash94Update(&ctx, msg.data() + off, n), VRT_SUCCESS);
    off += n;
  }
  Bytes d(32);
  EXPECT_EQ(vrtGostHash94Finalize(&ctx, d.data()), VRT_SUCCESS);
  return d;
}

Bytes OursHmac(uint32_t alg, const Bytes& key, const Bytes& msg) {
  hmac_ctx_t ctx;
  auto* c = reinterpret_cast<uint8_t*>(&ctx);
  binstr_t k;
  __binstr_init(&k, const_cast<uint8_t*>(key.data()), key.size());
  EXPECT_EQ(vrtHMACInit(c, &k, alg), VRT_SUCCESS);
  for (size_t off = 0; off < msg.size();) {
    size_t n = std::min(RandomSize(0, 150), msg.size() - off);
    binstr_t d;
    __binstr_init(&d, const_cast<uint8_t*>(msg.data()) + off, n);
    EXPECT_EQ(vrtHMACUpdate(c, &d), VRT_SUCCESS);
    off += n;
  }
  Bytes mac(alg == VRT_ALG_HMAC2012_512 ? 64 : 32);
  EXPECT_EQ(vrtHMACFinalize(c, mac.data()), VRT_SUCCESS);
  return mac;
}

// Lengths 0..100, then random ones up to 3 KiB, and all-ones blocks (long
// carry chains in the checksum).
std::vector<Bytes> Messages() {
  std::vector<Bytes> v;
  for (size_t n = 0; n <= 100; ++n) v.push_back(RandomBytes(n));
  for (int i = 0; i < 30; ++i) v.push_back(RandomBytes(RandomSize(101, 3000)));
  for (size_t n : {32u, 64u, 1024u}) v.push_back(Bytes(n, 0xff));
  return v;
}

const size_t kKeyLengths[] = {0, 31, 32, 33, 63, 64, 65, 200};

struct HmacAlg {
  uint32_t ours;
  const char* openssl_digest;
#if defined(VRT_HAVE_GCRYPT)
  int gcrypt;
#endif
};

const HmacAlg kHmacs[] = {
#if defined(VRT_HAVE_GCRYPT)
    {VRT_ALG_HMAC2012_256, "md_gost12_256", GCRY_MAC_HMAC_STRIBOG256},
    {VRT_ALG_HMAC2012_512, "md_gost12_512", GCRY_MAC_HMAC_STRIBOG512},
    {VRT_ALG_HMAC94, "md_gost94", GCRY_MAC_HMAC_GOSTR3411_CP},
#else
    {VRT_ALG_HMAC2012_256, "md_gost12_256"},
    {VRT_ALG_HMAC2012_512, "md_gost12_512"},
    {VRT_ALG_HMAC94, "md_gost94"},
#endif
};

#if defined(VRT_HAVE_GCRYPT)
TEST(Gost94Peer, MatchesLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const Bytes& m : Messages()) {
    for (auto [sbox, algo] : {std::pair{kTest, GCRY_MD_GOSTR3411_94}, std::pair{kCryptoPro, GCRY_MD_GOSTR3411_CP}}) {
      Bytes want(32);
      gcry_md_hash_buffer(algo, want.data(), m.data(), m.size());
      ASSERT_EQ(Hex(Ours94(m, sbox)), Hex(want)) << m.size() << " bytes, set " << sbox;
    }
  }
}

TEST(HmacPeer, MatchesLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const HmacAlg& a : kHmacs) {
    for (size_t klen : kKeyLengths) {
      for (size_t mlen : {0, 1, 31, 32, 33, 64, 65, 1000}) {
        Bytes key = RandomBytes(klen), msg = RandomBytes(mlen);
        gcry_mac_hd_t h;
        ASSERT_EQ(gcry_mac_open(&h, a.gcrypt, 0, nullptr), 0);
        ASSERT_EQ(gcry_mac_setkey(h, key.data(), key.size()), 0);
        ASSERT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0);
        Bytes want(gcry_mac_get_algo_maclen(a.gcrypt));
        size_t n = want.size();
        ASSERT_EQ(gcry_mac_read(h, want.data(), &n), 0);
        gcry_mac_close(h);
        ASSERT_EQ(Hex(OursHmac(a.ours, key, msg)), Hex(want)) << a.openssl_digest << " key " << klen << " msg " << mlen;
      }
    }
  }
}
#else
TEST(Gost94Peer, MatchesLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
TEST(HmacPeer, MatchesLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

#if defined(VRT_HAVE_NETTLE)
TEST(Gost94Peer, MatchesNettle) {
  for (const Bytes& m : Messages()) {
    Bytes test(32), cp(32);
    gosthash94_ctx c;
    gosthash94_init(&c);
    gosthash94_update(&c, m.size(), m.data());
    gosthash94_digest(&c, test.size(), test.data());
    gosthash94cp_ctx d;
    gosthash94cp_init(&d);
    gosthash94cp_update(&d, m.size(), m.data());
    gosthash94cp_digest(&d, cp.size(), cp.data());
    ASSERT_EQ(Hex(Ours94(m, kTest)), Hex(test)) << m.size();
    ASSERT_EQ(Hex(Ours94(m, kCryptoPro)), Hex(cp)) << m.size();
  }
}

TEST(HmacPeer, MatchesNettle) {
  for (size_t klen : kKeyLengths) {
    Bytes key = RandomBytes(klen), msg = RandomBytes(RandomSize(0, 500));
    Bytes w256(32), w512(64), w94(32);
    hmac_streebog256_ctx s256;
    hmac_streebog256_set_key(&s256, key.size(), key.data());
    hmac_streebog256_update(&s256, msg.size(), msg.data());
    hmac_streebog256_digest(&s256, w256.size(), w256.data());
    hmac_streebog512_ctx s512;
    hmac_streebog512_set_key(&s512, key.size(), key.data());
    hmac_streebog512_update(&s512, msg.size(), msg.data());
    hmac_streebog512_digest(&s512, w512.size(), w512.data());
    hmac_gosthash94cp_ctx g;
    hmac_gosthash94cp_set_key(&g, key.size(), key.data());
    hmac_gosthash94cp_update(&g, msg.size(), msg.data());
    hmac_gosthash94cp_digest(&g, w94.size(), w94.data());
    EXPECT_EQ(Hex(OursHmac(VRT_ALG_HMAC2012_256, key, msg)), Hex(w256)) << klen;
    EXPECT_EQ(Hex(OursHmac(VRT_ALG_HMAC2012_512, key, msg)), Hex(w512)) << klen;
    EXPECT_EQ(Hex(OursHmac(VRT_ALG_HMAC94, key, msg)), Hex(w94)) << klen;
  }
}
#else
TEST(Gost94Peer, MatchesNettle) { GTEST_SKIP() << "Nettle not found"; }
TEST(HmacPeer, MatchesNettle) { GTEST_SKIP() << "Nettle not found"; }
#endif

#if defined(VRT_HAVE_OPENSSL)
Bytes OpenSslMac(const char* digest, const Bytes& key, const Bytes& msg) {
  EVP_MAC* mac = EVP_MAC_fetch(nullptr, "HMAC", nullptr);
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(mac);
  OSSL_PARAM params[] = {OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, const_cast<char*>(digest), 0),
                         OSSL_PARAM_construct_end()};
  // An empty key is given as one byte of length zero: the provider refuses
  // a null key.
  uint8_t none = 0;
  EXPECT_EQ(EVP_MAC_init(ctx, key.empty() ? &none : key.data(), key.size(), params), 1);
  EXPECT_EQ(EVP_MAC_update(ctx, msg.data(), msg.size()), 1);
  Bytes out(64);
  size_t n = 0;
  EXPECT_EQ(EVP_MAC_final(ctx, out.data(), &n, out.size()), 1);
  out.resize(n);
  EVP_MAC_CTX_free(ctx);
  EVP_MAC_free(mac);
  return out;
}

Bytes OpenSslKdf(const char* name, std::vector<OSSL_PARAM> params, size_t n) {
  params.push_back(OSSL_PARAM_construct_end());
  EVP_KDF* kdf = EVP_KDF_fetch(nullptr, name, nullptr);
  EVP_KDF_CTX* ctx = EVP_KDF_CTX_new(kdf);
  Bytes out(n);
  EXPECT_EQ(EVP_KDF_derive(ctx, out.data(), out.size(), params.data()), 1) << name;
  EVP_KDF_CTX_free(ctx);
  EVP_KDF_free(kdf);
  return out;
}

OSSL_PARAM Octets(const char* key, const Bytes& b) {
  return OSSL_PARAM_construct_octet_string(key, const_cast<uint8_t*>(b.data()), b.size());
}
OSSL_PARAM Text(const char* key, const char* value) {
  return OSSL_PARAM_construct_utf8_string(key, const_cast<char*>(value), 0);
}

TEST(Gost94Peer, MatchesOpenSslGostProvider) {
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  EVP_MD* md = EVP_MD_fetch(nullptr, "md_gost94", nullptr);
  ASSERT_NE(md, nullptr);
  for (const Bytes& m : Messages()) {
    // The provider gives the empty message a digest of its own; libgcrypt,
    // Nettle and the published list agree with ours (tests/vectors).
    if (m.empty()) continue;
    Bytes want(32);
    unsigned n = 0;
    ASSERT_EQ(EVP_Digest(m.data(), m.size(), want.data(), &n, md, nullptr), 1);
    ASSERT_EQ(Hex(Ours94(m, kCryptoPro)), Hex(want)) << m.size();
  }
  EVP_MD_free(md);
}

TEST(HmacPeer, MatchesOpenSslGostProvider) {
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  for (const HmacAlg& a : kHmacs) {
    for (size_t klen : kKeyLengths) {
      Bytes key = RandomBytes(klen), msg = RandomBytes(RandomSize(0, 700));
      EXPECT_EQ(Hex(OursHmac(a.ours, key, msg)), Hex(OpenSslMac(a.openssl_digest, key, msg)))
          << a.openssl_digest << " key " << klen;
    }
  }
}

TEST(PrfPeer, TlsPrfMatchesOpenSslTls1Prf) {
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  for (auto [alg, digest] : {std::pair{VRT_ALG_HMAC2012_256, "md_gost12_256"},
                             std::pair{VRT_ALG_HMAC2012_512, "md_gost12_512"}}) {
    for (size_t n : {1, 31, 32, 48, 64, 65, 104, 200}) {
      Bytes key = RandomBytes(RandomSize(1, 80)), label = RandomBytes(RandomSize(1, 20)),
            seed = RandomBytes(RandomSize(1, 70));
      Bytes s = label;
      s.insert(s.end(), seed.begin(), seed.end());
      Bytes want = OpenSslKdf("TLS1-PRF", {Text(OSSL_KDF_PARAM_DIGEST, digest), Octets(OSSL_KDF_PARAM_SECRET, key),
                                           Octets(OSSL_KDF_PARAM_SEED, s)},
                              n);
      vrt::test::MaskedKey k(key);
      Bytes got(n);
      ASSERT_EQ(vrtPRFTLS(k.get(), label.data(), label.size(), seed.data(), seed.size(), alg, n, got.data()),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(got), Hex(want)) << digest << " " << n << " bytes";
    }
  }
}

TEST(PrfPeer, KdfTreeMatchesOpenSslKbkdf) {
  // KBKDF in counter mode with a 32-bit counter is KDF_TREE with R = 4 once
  // its own length field is off and ours is appended to the context.
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  for (uint64_t L : {256u, 512u, 1024u, 8u * 200u}) {
    Bytes key = RandomBytes(32), label = RandomBytes(RandomSize(1, 20)), seed = RandomBytes(RandomSize(1, 40));
    Bytes context = seed;
    for (uint64_t v = L, first = 1; v != 0 || first; v >>= 8, first = 0)
      context.insert(context.begin() + static_cast<long>(seed.size()), static_cast<uint8_t>(v));
    int no = 0;
    Bytes want = OpenSslKdf("KBKDF",
                            {Text(OSSL_KDF_PARAM_MAC, "HMAC"), Text(OSSL_KDF_PARAM_DIGEST, "md_gost12_256"),
                             Octets(OSSL_KDF_PARAM_KEY, key), Octets(OSSL_KDF_PARAM_SALT, label),
                             Octets(OSSL_KDF_PARAM_INFO, context), OSSL_PARAM_construct_int("use-l", &no)},
                            L / 8);
    vrt::test::MaskedKey k(key);
    Bytes got(L / 8);
    ASSERT_EQ(vrtKDFTree256(k.get(), label.data(), label.size(), seed.data(), seed.size(), 4, L, got.data()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(got), Hex(want)) << "L = " << L;
  }
}
#else
TEST(Gost94Peer, MatchesOpenSslGostProvider) { GTEST_SKIP() << "OpenSSL not found"; }
TEST(HmacPeer, MatchesOpenSslGostProvider) { GTEST_SKIP() << "OpenSSL not found"; }
#endif

}  // namespace
