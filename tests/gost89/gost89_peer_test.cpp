// GOST 28147-89 against libgcrypt and Botan on random keys and messages of
// several block counts, for every named set they know. Both use this
// library's byte order (little-endian words, N1 first), so bytes compare
// directly. The MAC step is checked against libgcrypt's imitovstavka, whose
// value is the first four bytes of the final state.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_BOTAN)
#include <botan/block_cipher.h>
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;

const size_t kBlockCounts[] = {1, 2, 3, 17, 64, 513};

gost89_key_t PlainKey(const Bytes& key) {
  gost89_key_t k{};
  for (int j = 0; j < 8; ++j) k.key[j] = vrt::load_le32(key.data() + 4 * j);
  return k;
}

// ECB through the single-block record in use.
Bytes Ours(uint32_t set, const Bytes& key, const Bytes& in, bool encrypt) {
  const gost89_key_t k = PlainKey(key);
  const gost89_sbox_t* s = vrtpGost89SboxPointer(set);
  const gost89_block_fn f = encrypt ? vrtpGost89AlgG1ptr->encrypt.gost89 : vrtpGost89AlgG1ptr->decrypt.gost89;
  Bytes out(in.size());
  for (size_t i = 0; i < in.size(); i += 8) f(in.data() + i, out.data() + i, &k, s);
  return out;
}

struct NamedSet {
  uint32_t id;
  const char* oid;
};

#if defined(VRT_HAVE_GCRYPT)
const NamedSet kGcryptSets[] = {
    {VRT_GOST89_SBOX_R3411_94_TEST, "1.2.643.2.2.30.0"},
    {VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, "1.2.643.2.2.30.1"},
    {VRT_GOST89_SBOX_TEST, "1.2.643.2.2.31.0"},
    {VRT_GOST89_SBOX_CRYPTOPRO_A, "1.2.643.2.2.31.1"},
    {VRT_GOST89_SBOX_CRYPTOPRO_B, "1.2.643.2.2.31.2"},
    {VRT_GOST89_SBOX_CRYPTOPRO_C, "1.2.643.2.2.31.3"},
    {VRT_GOST89_SBOX_CRYPTOPRO_D, "1.2.643.2.2.31.4"},
    {VRT_GOST89_SBOX_TC26_Z, "1.2.643.7.1.2.5.1.1"},
};

TEST(Gost89Peer, MatchesLibgcryptForEveryNamedSet) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const NamedSet& set : kGcryptSets) {
    for (size_t blocks : kBlockCounts) {
      const Bytes key = RandomBytes(32), pt = RandomBytes(8 * blocks);
      gcry_cipher_hd_t h;
      ASSERT_EQ(gcry_cipher_open(&h, GCRY_CIPHER_GOST28147, GCRY_CIPHER_MODE_ECB, 0), 0);
      ASSERT_EQ(gcry_cipher_setkey(h, key.data(), 32), 0);
      ASSERT_EQ(gcry_cipher_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(set.oid), 0), 0) << set.oid;
      Bytes ct = pt;
      ASSERT_EQ(gcry_cipher_encrypt(h, ct.data(), ct.size(), nullptr, 0), 0);
      gcry_cipher_close(h);
      ASSERT_EQ(Hex(Ours(set.id, key, pt, true)), Hex(ct)) << set.oid << ", " << blocks << " blocks";
      ASSERT_EQ(Hex(Ours(set.id, key, ct, false)), Hex(pt)) << set.oid << ", " << blocks << " blocks";
    }
  }
}

// libgcrypt's imitovstavka over whole blocks (two or more, so it adds no
// padding block) is the chain of MAC steps from a zero state.
TEST(Gost89Peer, MacStepMatchesLibgcryptImitovstavka) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const NamedSet& set : kGcryptSets) {
    for (size_t blocks : {size_t{2}, size_t{3}, size_t{64}}) {
      const Bytes key = RandomBytes(32), msg = RandomBytes(8 * blocks);
      gcry_mac_hd_t h;
      ASSERT_EQ(gcry_mac_open(&h, GCRY_MAC_GOST28147_IMIT, 0, nullptr), 0);
      ASSERT_EQ(gcry_mac_ctl(h, GCRYCTL_SET_SBOX, const_cast<char*>(set.oid), 0), 0) << set.oid;
      ASSERT_EQ(gcry_mac_setkey(h, key.data(), 32), 0);
      ASSERT_EQ(gcry_mac_write(h, msg.data(), msg.size()), 0);
      uint8_t want[4];
      size_t len = sizeof want;
      ASSERT_EQ(gcry_mac_read(h, want, &len), 0);
      gcry_mac_close(h);

      const gost89_key_t k = PlainKey(key);
      const gost89_sbox_t* s = vrtpGost89SboxPointer(set.id);
      uint8_t state[8] = {};
      for (size_t i = 0; i < msg.size(); i += 8) vrtpGost89AlgG1ptr->mac_block.gost89(msg.data() + i, state, &k, s);
      ASSERT_EQ(Hex(state, 4), Hex(want, 4)) << set.oid << ", " << blocks << " blocks";
    }
  }
}
#else
TEST(Gost89Peer, MatchesLibgcryptForEveryNamedSet) { GTEST_SKIP() << "libgcrypt not found"; }
TEST(Gost89Peer, MacStepMatchesLibgcryptImitovstavka) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

#if defined(VRT_HAVE_BOTAN)
TEST(Gost89Peer, MatchesBotan) {
  const NamedSet sets[] = {{VRT_GOST89_SBOX_R3411_94_TEST, "GOST-28147-89(R3411_94_TestParam)"},
                           {VRT_GOST89_SBOX_R3411_94_CRYPTOPRO, "GOST-28147-89(R3411_CryptoPro)"}};
  for (const NamedSet& set : sets) {
    auto cipher = Botan::BlockCipher::create(set.oid);
    ASSERT_TRUE(cipher) << set.oid;
    for (size_t blocks : kBlockCounts) {
      const Bytes key = RandomBytes(32), pt = RandomBytes(8 * blocks);
      cipher->set_key(key.data(), key.size());
      Bytes ct(pt.size());
      cipher->encrypt_n(pt.data(), ct.data(), blocks);
      ASSERT_EQ(Hex(Ours(set.id, key, pt, true)), Hex(ct)) << set.oid << ", " << blocks << " blocks";
    }
  }
}
#else
TEST(Gost89Peer, MatchesBotan) { GTEST_SKIP() << "Botan not found"; }
#endif

}  // namespace
