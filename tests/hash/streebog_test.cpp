// Streebog: published vectors, streaming and saved state, bad input.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file_test.h"
#include "common/test_util.h"
#include "hash/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::RandomBytes;

// size is 256, 512 or an algorithm identifier.
Bytes Digest(const Bytes& msg, uint32_t size) {
  hash2012_ctx_t ctx;
  EXPECT_EQ(vrtGostHash2012Init(&ctx, size), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, msg.data(), msg.size()), VRT_SUCCESS);
  Bytes d(ctx.digest_bits / 8);
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, d.data()), VRT_SUCCESS);
  return d;
}

// Feeds msg in pieces whose sizes cycle through chunks.
Bytes DigestInChunks(const Bytes& msg, uint32_t bits, const std::vector<size_t>& chunks) {
  hash2012_ctx_t ctx;
  EXPECT_EQ(vrtGostHash2012Init(&ctx, bits), VRT_SUCCESS);
  size_t off = 0;
  for (size_t i = 0; off < msg.size(); ++i) {
    size_t n = std::min(chunks[i % chunks.size()], msg.size() - off);
    EXPECT_EQ(vrtGostHash2012Update(&ctx, msg.data() + off, n), VRT_SUCCESS);
    off += n;
  }
  Bytes d(bits / 8);
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, d.data()), VRT_SUCCESS);
  return d;
}

TEST(Streebog, PublishedVectors) {
  vrt::test::FileTestRun("hash/streebog.txt", [](FileTest& t) {
    uint32_t bits = static_cast<uint32_t>(t.GetInt("Bits"));
    Bytes msg = t.GetBytes("Input");
    std::string want = Hex(t.GetBytes("Digest"));
    EXPECT_EQ(Hex(Digest(msg, bits)), want);
    EXPECT_EQ(Hex(DigestInChunks(msg, bits, {1})), want);
    Bytes out(bits / 8);
    EXPECT_EQ(hash2012_example(msg.data(), msg.size(), out.data(), bits / 8), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), want);
  });
}

// Runs body once with each compression variant this processor has, then
// restores the one chosen at initialisation.
template <typename Body>
void ForEachVariant(Body body) {
  const uint32_t enabled = vrtpInstance.cpu_enabled;
  for (uint32_t features : {0u, VRT_CPU_AVX512VBMI | VRT_CPU_GFNI}) {
    if ((enabled & features) != features) continue;
    vrt::hash::streebog_arch_init(features);
    SCOPED_TRACE(features ? "AVX-512 VBMI + GFNI" : "portable");
    body();
  }
  vrt::hash::streebog_arch_init(enabled);
}

TEST(Streebog, PublishedVectorsOnEveryVariant) {
  ForEachVariant([] {
    vrt::test::FileTestRun("hash/streebog.txt", [](FileTest& t) {
      uint32_t bits = static_cast<uint32_t>(t.GetInt("Bits"));
      EXPECT_EQ(Hex(Digest(t.GetBytes("Input"), bits)), Hex(t.GetBytes("Digest")));
    });
    EXPECT_EQ(hash2012_self_test(&vrtpInstance), VRT_SUCCESS);
  });
}

TEST(Streebog, CompressionVariantsAgree) {
  const uint32_t need = VRT_CPU_AVX512VBMI | VRT_CPU_GFNI;
  if ((vrtpInstance.cpu_enabled & need) != need) GTEST_SKIP() << "no AVX-512 VBMI + GFNI here";
  for (int trial = 0; trial < 2000; ++trial) {
    uint64_t h1[8], h2[8], n[8], m[8];
    for (int i = 0; i < 8; ++i) {
      h1[i] = h2[i] = vrt::test::Rng()();
      n[i] = trial % 3 == 0 ? 0 : vrt::test::Rng()();
      m[i] = trial % 5 == 0 ? ~uint64_t{0} : vrt::test::Rng()();
    }
    vrt::hash::streebog_g_portable(h1, n, m);
    vrt::hash::streebog_g_avx512(h2, n, m);
    ASSERT_EQ(Hex(h1, 64), Hex(h2, 64)) << "trial " << trial;
  }
}

TEST(Streebog, SelfTestPasses) { EXPECT_EQ(hash2012_self_test(&vrtpInstance), VRT_SUCCESS); }

TEST(Streebog, AnySplitEqualsOneShot) {
  const std::vector<std::vector<size_t>> splits = {
      {1}, {63, 1}, {65}, {64}, {3, 61, 128}, {7, 200}, {127, 1, 64}};
  for (size_t len : {0, 1, 63, 64, 65, 127, 128, 129, 500}) {
    Bytes msg = RandomBytes(len);
    for (uint32_t bits : {256u, 512u}) {
      std::string whole = Hex(Digest(msg, bits));
      for (const auto& s : splits) EXPECT_EQ(Hex(DigestInChunks(msg, bits, s)), whole) << len;
    }
  }
}

TEST(Streebog, AlgorithmIdentifiersSelectTheSize) {
  Bytes msg = RandomBytes(70);
  EXPECT_EQ(Hex(Digest(msg, VRT_ALG_HASH2012_256)), Hex(Digest(msg, 256)));
  EXPECT_EQ(Hex(Digest(msg, VRT_ALG_HASH2012_512)), Hex(Digest(msg, 512)));
  hash2012_ctx_t ctx;
  for (uint32_t bad : {0u, 100u, 384u, 0x2010001u, 0x2010004u})
    EXPECT_EQ(vrtGostHash2012Init(&ctx, bad), VRT_ERROR_INVALID_ARGUMENT) << bad;
}

TEST(Streebog, SumCarriesAcrossWholeWords) {
  // All-ones blocks make the checksum addition carry through every word,
  // which random data almost never does; the digest must not depend on how
  // the message is cut.
  Bytes ones(64 * 5, 0xff);
  Bytes tail(64 * 3 + 17, 0xff);
  for (const Bytes& m : {ones, tail})
    for (uint32_t bits : {256u, 512u}) EXPECT_EQ(Hex(DigestInChunks(m, bits, {5, 64, 1})), Hex(Digest(m, bits)));
}

TEST(Streebog, FinalisedContextRefusesDataAndRepeatsItsDigest) {
  hash2012_ctx_t ctx;
  ASSERT_EQ(vrtGostHash2012Init(&ctx, 512), VRT_SUCCESS);
  Bytes msg = RandomBytes(10);
  ASSERT_EQ(vrtGostHash2012Update(&ctx, msg.data(), msg.size()), VRT_SUCCESS);
  Bytes d1(64), d2(64);
  ASSERT_EQ(vrtGostHash2012Finalize(&ctx, d1.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, msg.data(), msg.size()), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, msg.data(), 0), VRT_ERROR_NOT_INITIALIZED);
  ASSERT_EQ(vrtGostHash2012Finalize(&ctx, d2.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(d2), Hex(d1));
  EXPECT_EQ(Hex(d1), Hex(Digest(msg, 512)));
}

TEST(Streebog, NullArgumentsAreRefused) {
  hash2012_ctx_t ctx;
  ASSERT_EQ(vrtGostHash2012Init(&ctx, 256), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, nullptr, 0), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, nullptr, 5), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash2012Update(nullptr, nullptr, 0), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash2012Init(nullptr, 256), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  uint64_t size = 259;
  EXPECT_EQ(vrtGostHash2012SaveState(&ctx, nullptr, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash2012RestoreState(&ctx, nullptr, size), VRT_ERROR_INVALID_ARGUMENT);
  Bytes out(8);
  EXPECT_EQ(hash2012_example(out.data(), out.size(), out.data(), 48), VRT_ERROR_INVALID_ARGUMENT);
}

TEST(Streebog, SaveStateSizeRules) {
  hash2012_ctx_t ctx;
  ASSERT_EQ(vrtGostHash2012Init(&ctx, 512), VRT_SUCCESS);
  uint64_t size = 0;
  ASSERT_EQ(vrtGostHash2012SaveState(&ctx, nullptr, &size), VRT_SUCCESS);
  EXPECT_EQ(size, 259u);
  Bytes blob(300, 0xcc);
  for (uint64_t bad : {0u, 258u, 260u}) {
    size = bad;
    EXPECT_EQ(vrtGostHash2012SaveState(&ctx, blob.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(blob[0], 0xcc);  // nothing written
  }
  size = 259;
  ASSERT_EQ(vrtGostHash2012SaveState(&ctx, blob.data(), &size), VRT_SUCCESS);
  EXPECT_EQ(blob[0], 1);
  EXPECT_EQ(blob[258], 1);
  EXPECT_EQ(blob[259], 0xcc);
}

TEST(Streebog, RestoreRefusesBadBlobsAndKeepsTheContext) {
  Bytes msg = RandomBytes(100);
  hash2012_ctx_t src;
  ASSERT_EQ(vrtGostHash2012Init(&src, 256), VRT_SUCCESS);
  ASSERT_EQ(vrtGostHash2012Update(&src, msg.data(), 40), VRT_SUCCESS);
  Bytes good(259);
  uint64_t size = 259;
  ASSERT_EQ(vrtGostHash2012SaveState(&src, good.data(), &size), VRT_SUCCESS);

  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
    uint64_t size;
    uint32_t status;
  };
  const Case cases[] = {
      {"version 2", 0, 2, 259, VRT_ERROR_UNSUPPORTED},
      {"version 0", 0, 0, 259, VRT_ERROR_UNSUPPORTED},
      {"short", 0, 1, 258, VRT_ERROR_LENGTH},
      {"empty", 0, 1, 0, VRT_ERROR_LENGTH},
      {"count 64", 257, 64, 259, VRT_ERROR_INVALID_ARGUMENT},
      {"count 200", 257, 200, 259, VRT_ERROR_INVALID_ARGUMENT},
      {"finalised", 257, 0xff, 259, VRT_ERROR_INVALID_ARGUMENT},
  };
  for (const Case& c : cases) {
    hash2012_ctx_t dst;
    ASSERT_EQ(vrtGostHash2012Init(&dst, 512), VRT_SUCCESS);
    ASSERT_EQ(vrtGostHash2012Update(&dst, msg.data(), 70), VRT_SUCCESS);
    hash2012_ctx_t before = dst;
    Bytes blob = good;
    blob[c.offset] = c.value;
    EXPECT_EQ(vrtGostHash2012RestoreState(&dst, blob.data(), c.size), c.status) << c.what;
    EXPECT_EQ(std::memcmp(&dst, &before, sizeof dst), 0) << c.what << ": context changed";
  }
  // A longer blob is accepted; its extra bytes are ignored.
  Bytes longer = good;
  longer.resize(400, 0x77);
  hash2012_ctx_t dst;
  EXPECT_EQ(vrtGostHash2012RestoreState(&dst, longer.data(), longer.size()), VRT_SUCCESS);
}

TEST(Streebog, RestoredSnapshotContinuesAtEveryCut) {
  Bytes msg = RandomBytes(200);
  for (uint32_t bits : {256u, 512u}) {
    std::string whole = Hex(Digest(msg, bits));
    for (size_t cut = 0; cut <= msg.size(); ++cut) {
      hash2012_ctx_t a;
      ASSERT_EQ(vrtGostHash2012Init(&a, bits), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash2012Update(&a, msg.data(), cut), VRT_SUCCESS);
      uint8_t blob[259];
      uint64_t size = sizeof blob;
      ASSERT_EQ(vrtGostHash2012SaveState(&a, blob, &size), VRT_SUCCESS);
      std::memset(&a, 0xA5, sizeof a);  // the snapshot must not need the old context
      hash2012_ctx_t b;
      ASSERT_EQ(vrtGostHash2012Init(&b, bits == 256 ? 512 : 256), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash2012RestoreState(&b, blob, size), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash2012Update(&b, msg.data() + cut, msg.size() - cut), VRT_SUCCESS);
      Bytes d(bits / 8);
      ASSERT_EQ(vrtGostHash2012Finalize(&b, d.data()), VRT_SUCCESS);
      ASSERT_EQ(Hex(d), whole) << "cut at " << cut;
    }
  }
}

TEST(Streebog, GenericDispatchSlotsGiveTheSameDigest) {
  Bytes msg = RandomBytes(1000);
  std::string fast = Hex(Digest(msg, 512));
  vrtp_arch_table_t saved = vrtpInstance.arch;
  vrtpInstance.arch.add512 = add512;
  vrtpInstance.arch.xor512 = xor512;
  std::string generic = Hex(Digest(msg, 512));
  vrtpInstance.arch = saved;
  EXPECT_EQ(generic, fast);
}

}  // namespace
