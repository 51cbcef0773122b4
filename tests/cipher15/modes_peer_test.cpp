// The modes against peers on random keys, IVs and messages of awkward
// lengths, both directions.
//
// OpenSSL's GOST provider: kuznyechik-ecb, -cbc, -cfb, -ofb, -ctr and
// magma-cbc, -ctr. Its conventions: CBC, CFB and OFB take an IV of one block
// (m = n); CTR takes n/2 bytes as the high half of the counter block, as we
// do; ECB and CBC are run with padding off on whole blocks, so the message
// is given to it already completed with zero bytes, which is our padding.
//
// libgcrypt has no Magma of its own but GOST 28147-89 with the tc26 Z set is
// the same network in the other byte order: every 8-byte block and every key
// word reversed. That covers Magma ECB, CBC, CFB and OFB. Since our partial
// last block uses the leftmost gamma bytes, which are the rightmost ones in
// libgcrypt's order, its input is first completed to a whole block with
// random bytes and its output cut back to the message length. Its counter
// mode counts at the other end and is not used.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "cipher15/modes_helpers.h"
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
using vrt::test::Crypt;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::RandomBytes;
#if defined(VRT_HAVE_OPENSSL)
using vrt::test::FetchedCipher;
using vrt::test::OpenSsl;
#endif

// The message with its last block completed by fill bytes.
Bytes CompleteBlock(const Bytes& msg, size_t n, bool random_fill) {
  Bytes b = msg;
  const size_t whole = (msg.size() + n - 1) / n * n;
  const Bytes fill = random_fill ? RandomBytes(whole - msg.size()) : Bytes(whole - msg.size(), 0);
  b.insert(b.end(), fill.begin(), fill.end());
  return b;
}

#if defined(VRT_HAVE_OPENSSL)
struct OpenSslMode {
  const char* name;
  size_t n;
  uint32_t mode;
  size_t iv_len;
};
const OpenSslMode kOpenSslModes[] = {
    {"kuznyechik-ecb", 16, VRT_GOST15_MODE_ECB, 0}, {"kuznyechik-cbc", 16, VRT_GOST15_MODE_CBC, 16},
    {"kuznyechik-cfb", 16, VRT_GOST15_MODE_CFB, 16}, {"kuznyechik-ofb", 16, VRT_GOST15_MODE_OFB, 16},
    {"kuznyechik-ctr", 16, VRT_GOST15_MODE_CTR, 8},  {"magma-cbc", 8, VRT_GOST15_MODE_CBC, 8},
    {"magma-ctr", 8, VRT_GOST15_MODE_CTR, 4},
};

TEST(Gost15ModesPeer, MatchOpenSslGost) {
  for (const OpenSslMode& pm : kOpenSslModes) {
    FetchedCipher fetched(pm.name);
    if (fetched.c == nullptr) GTEST_SKIP() << "OpenSSL GOST provider (" << pm.name << ") not available";
    ASSERT_EQ(static_cast<size_t>(EVP_CIPHER_get_iv_length(fetched.c)), pm.iv_len) << pm.name;
    const bool padded = vrt::test::Padded(pm.mode);
    for (size_t len : vrt::test::AwkwardLengths(pm.n)) {
      if (len == 0) continue;  // no request: refused with 9 or 3
      const Bytes key = RandomBytes(32), iv = RandomBytes(pm.iv_len), msg = RandomBytes(len);
      MaskedKey k(key, GOST89_KEY_XOR);
      SCOPED_TRACE(std::string(pm.name) + " len=" + std::to_string(len));
      const Bytes peer_in = padded ? CompleteBlock(msg, pm.n, false) : msg;
      const Bytes ct = Crypt(pm.n, pm.mode, true, k.get(), iv, msg);
      ASSERT_EQ(Hex(ct), Hex(OpenSsl(fetched.c, key, iv, peer_in, true)));
      const Bytes back = Crypt(pm.n, pm.mode, false, k.get(), iv, ct);
      ASSERT_EQ(Hex(back), Hex(peer_in));
      ASSERT_EQ(Hex(OpenSsl(fetched.c, key, iv, ct, false)), Hex(peer_in));
    }
  }
}
#else
TEST(Gost15ModesPeer, MatchOpenSslGost) { GTEST_SKIP() << "OpenSSL not found"; }
#endif

#if defined(VRT_HAVE_GCRYPT)
Bytes ReverseWords(const Bytes& b, size_t w) {
  Bytes r(b.size());
  for (size_t i = 0; i < b.size(); i += w)
    for (size_t j = 0; j < w; ++j) r[i + j] = b[i + w - 1 - j];
  return r;
}

// libgcrypt's GOST 28147-89 with the Z set on our byte strings: the input
// completed to whole blocks, every block and key word reversed, and back.
Bytes Gcrypt(int mode, const Bytes& key, const Bytes& iv, const Bytes& in, bool encrypt) {
  gcry_cipher_hd_t h;
  EXPECT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, mode, 0), 0);
  EXPECT_EQ(gcry_cipher_setkey(h, ReverseWords(key, 4).data(), 32), 0);
  EXPECT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>("1.2.643.7.1.2.5.1.1"), 0), 0);
  if (!iv.empty()) {
    EXPECT_EQ(gcry_cipher_setiv(h, ReverseWords(iv, 8).data(), 8), 0);
  }
  Bytes buf = ReverseWords(CompleteBlock(in, 8, true), 8);
  EXPECT_EQ(encrypt ? gcry_cipher_encrypt(h, buf.data(), buf.size(), nullptr, 0)
                    : gcry_cipher_decrypt(h, buf.data(), buf.size(), nullptr, 0),
            0);
  gcry_cipher_close(h);
  buf = ReverseWords(buf, 8);
  buf.resize(in.size());
  return buf;
}

TEST(Gost15ModesPeer, MagmaMatchesLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  struct Case {
    uint32_t mode;
    int gcry_mode;
  };
  const Case cases[] = {{VRT_GOST15_MODE_ECB, GCRY_CIPHER_MODE_ECB},
                        {VRT_GOST15_MODE_CBC, GCRY_CIPHER_MODE_CBC},
                        {VRT_GOST15_MODE_CFB, GCRY_CIPHER_MODE_CFB},
                        {VRT_GOST15_MODE_OFB, GCRY_CIPHER_MODE_OFB}};
  for (const Case& c : cases) {
    const bool padded = vrt::test::Padded(c.mode);
    for (size_t len : vrt::test::AwkwardLengths(8)) {
      if (len == 0) continue;
      const Bytes key = RandomBytes(32), iv = RandomBytes(padded && c.mode == VRT_GOST15_MODE_ECB ? 0 : 8);
      const Bytes msg = RandomBytes(len);
      MaskedKey k(key, GOST89_KEY_ADD);
      SCOPED_TRACE(std::string(vrt::test::NameOf(c.mode)) + " len=" + std::to_string(len));
      const Bytes full = padded ? CompleteBlock(msg, 8, false) : msg;
      const Bytes ct = Crypt(8, c.mode, true, k.get(), iv, msg);
      ASSERT_EQ(Hex(ct), Hex(Gcrypt(c.gcry_mode, key, iv, full, true)));
      ASSERT_EQ(Hex(Crypt(8, c.mode, false, k.get(), iv, ct)), Hex(full));
      ASSERT_EQ(Hex(Gcrypt(c.gcry_mode, key, iv, ct, false)), Hex(full));
    }
  }
}
#else
TEST(Gost15ModesPeer, MagmaMatchesLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

}  // namespace
