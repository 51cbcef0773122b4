// Kuznyechik and Magma against peers on random keys and messages of
// several block counts.
//
// Kuznyechik: the OpenSSL GOST provider's kuznyechik-ecb, same byte order.
// Magma: libgcrypt's plain GOST 28147-89 with the tc26 Z set, which uses the
// GOST 28147-89 byte order: its blocks are the byte-reverse of ours and its
// key words the byte-reverse of our key words. And OpenSSL's magma-cbc with
// a zero IV one block at a time (the provider has no Magma ECB).
#include <gtest/gtest.h>

#include <cstring>

#include "cipher15/openssl_peer.h"
#include "common/test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;
#if defined(VRT_HAVE_OPENSSL)
using vrt::test::FetchedCipher;
using vrt::test::OpenSsl;
#endif

// Message lengths in blocks: one, a few, and several KiB.
const size_t kBlockCounts[] = {1, 2, 3, 17, 64, 513};

Bytes OursKuznechik(const Bytes& key, const Bytes& in, bool encrypt) {
  uint8_t rk[160];
  if (encrypt)
    kuznechik_arch_schedule_encrypt(rk, key.data());
  else
    kuznechik_arch_schedule_decrypt(rk, key.data());
  Bytes out(in.size());
  const gost15_block_fn f = encrypt ? GOST15_G1_KUZNECHIK.encrypt.gost15 : GOST15_G1_KUZNECHIK.decrypt.gost15;
  for (size_t i = 0; i < in.size(); i += 16) f(in.data() + i, out.data() + i, key.data(), nullptr, rk);
  return out;
}

Bytes OursMagma(const Bytes& key, const Bytes& in, bool encrypt) {
  const gost89_sbox_t* z = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
  Bytes out(in.size());
  const gost15_block_fn f = encrypt ? GOST15_G1_MAGMA.encrypt.gost15 : GOST15_G1_MAGMA.decrypt.gost15;
  for (size_t i = 0; i < in.size(); i += 8) f(in.data() + i, out.data() + i, key.data(), z, nullptr);
  return out;
}

#if defined(VRT_HAVE_OPENSSL)
TEST(Cipher15Peer, KuznechikMatchesOpenSslGost) {
  FetchedCipher fetched("kuznyechik-ecb");
  const EVP_CIPHER* ecb = fetched.c;
  if (ecb == nullptr) GTEST_SKIP() << "OpenSSL GOST provider (kuznyechik-ecb) not available";
  for (size_t blocks : kBlockCounts) {
    const Bytes key = RandomBytes(32), pt = RandomBytes(16 * blocks);
    const Bytes ct = OpenSsl(ecb, key, {}, pt, true);
    ASSERT_EQ(Hex(OursKuznechik(key, pt, true)), Hex(ct)) << blocks << " blocks";
    ASSERT_EQ(Hex(OursKuznechik(key, ct, false)), Hex(pt)) << blocks << " blocks";
  }
}

TEST(Cipher15Peer, MagmaMatchesOpenSslGost) {
  FetchedCipher fetched("magma-cbc");
  const EVP_CIPHER* cbc = fetched.c;
  if (cbc == nullptr) GTEST_SKIP() << "OpenSSL GOST provider (magma-cbc) not available";
  const Bytes zero_iv(8, 0);
  for (int n = 0; n < 64; ++n) {
    const Bytes key = RandomBytes(32), pt = RandomBytes(8);
    // One block of CBC with a zero IV is one block encryption.
    ASSERT_EQ(Hex(OursMagma(key, pt, true)), Hex(OpenSsl(cbc, key, zero_iv, pt, true)));
    ASSERT_EQ(Hex(OursMagma(key, pt, false)), Hex(OpenSsl(cbc, key, zero_iv, pt, false)));
  }
}
#else
TEST(Cipher15Peer, KuznechikMatchesOpenSslGost) { GTEST_SKIP() << "OpenSSL not found"; }
TEST(Cipher15Peer, MagmaMatchesOpenSslGost) { GTEST_SKIP() << "OpenSSL not found"; }
#endif

#if defined(VRT_HAVE_GCRYPT)
// Our Magma byte strings in libgcrypt's GOST 28147-89 order: every key word
// reversed, every 8-byte block reversed.
Bytes ReverseWords(const Bytes& b, size_t w) {
  Bytes r(b.size());
  for (size_t i = 0; i < b.size(); i += w)
    for (size_t j = 0; j < w; ++j) r[i + j] = b[i + w - 1 - j];
  return r;
}

TEST(Cipher15Peer, MagmaMatchesLibgcryptWithTheZSet) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (size_t blocks : kBlockCounts) {
    const Bytes key = RandomBytes(32), pt = RandomBytes(8 * blocks);
    gcry_cipher_hd_t h;
    ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0);
    ASSERT_EQ(gcry_cipher_setkey(h, ReverseWords(key, 4).data(), 32), 0);
    ASSERT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.7.1.2.5.1.1"), 0), 0);
    Bytes ct = ReverseWords(pt, 8);
    ASSERT_EQ(gcry_cipher_encrypt(h, ct.data(), ct.size(), nullptr, 0), 0);
    gcry_cipher_close(h);
    ct = ReverseWords(ct, 8);
    ASSERT_EQ(Hex(OursMagma(key, pt, true)), Hex(ct)) << blocks << " blocks";
    ASSERT_EQ(Hex(OursMagma(key, ct, false)), Hex(pt)) << blocks << " blocks";
  }
}
#else
TEST(Cipher15Peer, MagmaMatchesLibgcryptWithTheZSet) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

}  // namespace
