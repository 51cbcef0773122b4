// The GOST 28147-89 modes against libgcrypt (ECB, CBC, CFB, the
// imitovstavka) and the OpenSSL GOST provider (the counter mode), on random
// keys, IVs and awkward lengths, for every named set the peers know. The
// peers use this library's byte order for keys, IVs and blocks.
#include <gtest/gtest.h>

#include "gost89/ctx_helpers.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/provider.h>

#include "common/openssl_gost.h"
#endif

namespace {

using vrt::test::AwkwardLengths;
using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::RandomBytes;
using vrt::test::RunLane;

struct NamedSet {
  uintptr_t id;
  const char* oid;
};

const NamedSet kSets[] = {
    {VRT_GOST89_SBOX_TEST, "1.2.643.2.2.31.0"},          {VRT_GOST89_SBOX_CRYPTOPRO_A, "1.2.643.2.2.31.1"},
    {VRT_GOST89_SBOX_CRYPTOPRO_B, "1.2.643.2.2.31.2"},   {VRT_GOST89_SBOX_CRYPTOPRO_C, "1.2.643.2.2.31.3"},
    {VRT_GOST89_SBOX_CRYPTOPRO_D, "1.2.643.2.2.31.4"},   {VRT_GOST89_SBOX_TC26_Z, "1.2.643.7.1.2.5.1.1"},
};

#if defined(VRT_HAVE_GCRYPT)
Bytes Gcrypt(int mode, const NamedSet& set, const Bytes& key, const Bytes& iv, const Bytes& msg, bool encrypt) {
  gcry_cipher_hd_t h;
  EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0), 0);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(set.oid), 0), 0) << set.oid;
  EXPECT_EQ(gcry_cipher_setkey(h, key.data(), key.size()), 0);
  if (mode != GCRY_CIPHER_MODE_ECB) {
    EXPECT_EQ(gcry_cipher_setiv(h, iv.data(), iv.size()), 0);
  }
  Bytes out(msg.size());
  if (!msg.empty()) {
    auto st = encrypt ? gcry_cipher_encrypt(h, out.data(), out.size(), msg.data(), msg.size())
                      : gcry_cipher_decrypt(h, out.data(), out.size(), msg.data(), msg.size());
    EXPECT_EQ(st, 0);
  }
  gcry_cipher_close(h);
  return out;
}

TEST(Gost89CtxPeer, EcbCbcCfbMatchLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  const struct {
    uint32_t ours;
    int theirs;
    bool whole_blocks;
  } modes[] = {{VRT_GOST89_MODE_ECB, GCRY_CIPHER_MODE_ECB, true},
               {VRT_GOST89_MODE_CBC, GCRY_CIPHER_MODE_CBC, true},
               {VRT_GOST89_MODE_CFB, GCRY_CIPHER_MODE_CFB, false}};
  for (const NamedSet& set : kSets) {
    for (const auto& m : modes) {
      for (size_t len : AwkwardLengths(8)) {
        if (len == 0 || (m.whole_blocks && len % 8 != 0)) continue;
        Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(len);
        MaskedKey k(key, GOST89_KEY_ADD);
        // Pieces of whole blocks for ECB and CBC, of any size for CFB.
        const size_t piece = m.whole_blocks ? 8 * (len / 24 + 1) : len / 3 + 1;
        Bytes ct = RunLane(set.id, m.ours, true, k.get(), &iv, msg, {piece});
        ASSERT_EQ(Hex(ct), Hex(Gcrypt(m.theirs, set, key, iv, msg, true))) << set.oid << " mode " << m.ours << " len " << len;
        ASSERT_EQ(Hex(RunLane(set.id, m.ours, false, k.get(), &iv, ct)), Hex(msg));
      }
    }
  }
}

// libgcrypt adds a zero block to a message of one block or less before it
// takes the value; the comparison does the same to our input.
TEST(Gost89CtxPeer, MacMatchesLibgcryptImitovstavka) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const NamedSet& set : kSets) {
    for (size_t len : {1u, 7u, 8u, 9u, 15u, 16u, 17u, 100u, 1000u, 4096u, 4101u}) {
      Bytes key = RandomBytes(32), msg = RandomBytes(len);
      gcry_mac_hd_t h;
      ASSERT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0);
      ASSERT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(set.oid), 0), 0);
      ASSERT_EQ(gcry_mac_setkey(h, key.data(), 32), 0);
      ASSERT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0);
      uint8_t want[8];
      size_t want_len = sizeof want;
      ASSERT_EQ(gcry_mac_read(h, want, &want_len), 0);
      gcry_mac_close(h);
      Bytes input = msg;
      if (len <= 8) input.resize(16, 0);
      MaskedKey k(key, GOST89_KEY_XOR);
      Bytes mac = RunLane(set.id, VRT_GOST89_MODE_MAC, true, k.get(), nullptr, input, {7, 1, 13});
      ASSERT_EQ(Hex(mac.data(), 4), Hex(want, 4)) << set.oid << " len " << len;
    }
  }
}
#else
TEST(Gost89CtxPeer, EcbCbcCfbMatchLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
TEST(Gost89CtxPeer, MacMatchesLibgcryptImitovstavka) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

#if defined(VRT_HAVE_OPENSSL)
// The provider's counter modes change the key after every 1024 bytes, which
// this mode does not do: messages stay within the first 1024 bytes.
TEST(Gost89CtxPeer, CounterModeMatchesOpenSslGost) {
  if (!vrt::test::GostProviders()) GTEST_SKIP() << "OpenSSL GOST provider not available";
  const struct {
    const char* name;
    uintptr_t set;
  } ciphers[] = {{"gost89-cnt", VRT_GOST89_SBOX_CRYPTOPRO_A}, {"gost89-cnt-12", VRT_GOST89_SBOX_TC26_Z}};
  for (const auto& c : ciphers) {
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, c.name, nullptr);
    ASSERT_NE(cipher, nullptr) << c.name;
    for (size_t len : {1u, 7u, 8u, 9u, 63u, 64u, 65u, 500u, 1023u, 1024u}) {
      Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(len), want(len);
      EVP_CIPHER_CTX* x = EVP_CIPHER_CTX_new();
      int out_len = 0;
      ASSERT_EQ(EVP_EncryptInit_ex(x, cipher, nullptr, key.data(), iv.data()), 1);
      ASSERT_EQ(EVP_EncryptUpdate(x, want.data(), &out_len, msg.data(), static_cast<int>(len)), 1);
      EVP_CIPHER_CTX_free(x);
      MaskedKey k(key, GOST89_KEY_ADD);
      ASSERT_EQ(Hex(RunLane(c.set, VRT_GOST89_MODE_CTR, true, k.get(), &iv, msg, {5, 11, 64})), Hex(want))
          << c.name << " len " << len;
    }
    EVP_CIPHER_free(cipher);
  }
}
#else
TEST(Gost89CtxPeer, CounterModeMatchesOpenSslGost) { GTEST_SKIP() << "OpenSSL not found"; }
#endif

}  // namespace
