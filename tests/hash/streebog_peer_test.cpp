// Streebog against libgcrypt and Nettle on random messages fed in random
// chunks. Both peers return the digest in the same little-endian byte order
// as this library, so the bytes compare directly.
#include <gtest/gtest.h>

#include "common/test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <nettle/streebog.h>
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;

Bytes Ours(const Bytes& msg, uint32_t bits) {
  hash2012_ctx_t ctx;
  EXPECT_EQ(vrtGostHash2012Init(&ctx, bits), VRT_SUCCESS);
  for (size_t off = 0; off < msg.size();) {
    size_t n = std::min(RandomSize(0, 200), msg.size() - off);
    EXPECT_EQ(vrtGostHash2012Update(&ctx, msg.data() + off, n), VRT_SUCCESS);
    off += n;
  }
  Bytes d(bits / 8);
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, d.data()), VRT_SUCCESS);
  return d;
}

// Messages of lengths 0..4 KiB: every length up to 200, then random ones, plus
// all-zero and all-ones blocks (long carry chains in the checksum).
std::vector<Bytes> Messages() {
  std::vector<Bytes> v;
  for (size_t n = 0; n <= 200; ++n) v.push_back(RandomBytes(n));
  for (int i = 0; i < 60; ++i) v.push_back(RandomBytes(RandomSize(201, 4096)));
  for (size_t n : {64u, 128u, 4096u}) {
    v.push_back(Bytes(n, 0));
    v.push_back(Bytes(n, 0xff));
  }
  return v;
}

#if defined(VRT_HAVE_GCRYPT)
TEST(StreebogPeer, MatchesLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  for (const Bytes& m : Messages()) {
    for (auto [bits, algo] : {std::pair{256u, GCRY_MD_STRIBOG256}, std::pair{512u, GCRY_MD_STRIBOG512}}) {
      Bytes want(bits / 8);
      gcry_md_hash_buffer(algo, want.data(), m.data(), m.size());
      ASSERT_EQ(Hex(Ours(m, bits)), Hex(want)) << bits << "-bit digest of " << m.size() << " bytes";
    }
  }
}
#else
TEST(StreebogPeer, MatchesLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

#if defined(VRT_HAVE_NETTLE)
TEST(StreebogPeer, MatchesNettle) {
  for (const Bytes& m : Messages()) {
    Bytes want512(64), want256(32);
    streebog512_ctx c512;
    streebog512_init(&c512);
    streebog512_update(&c512, m.size(), m.data());
    streebog512_digest(&c512, want512.size(), want512.data());
    streebog256_ctx c256;
    streebog256_init(&c256);
    streebog256_update(&c256, m.size(), m.data());
    streebog256_digest(&c256, want256.size(), want256.data());
    ASSERT_EQ(Hex(Ours(m, 512)), Hex(want512)) << m.size();
    ASSERT_EQ(Hex(Ours(m, 256)), Hex(want256)) << m.size();
  }
}
#else
TEST(StreebogPeer, MatchesNettle) { GTEST_SKIP() << "Nettle not found"; }
#endif

}  // namespace
