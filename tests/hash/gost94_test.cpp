// GOST R 34.11-94: published vectors on both sets and both step variants,
// streaming and saved state, starting values, bad input.
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

constexpr uint64_t kTest = VRT_GOST89_SBOX_R3411_94_TEST;
constexpr uint64_t kCryptoPro = VRT_GOST89_SBOX_R3411_94_CRYPTOPRO;

// Feeds msg in pieces whose sizes cycle through chunks (one piece when
// chunks is empty).
Bytes Digest(const Bytes& msg, uint64_t sbox, const std::vector<size_t>& chunks = {},
             const uint8_t* start = nullptr) {
  hash94_ctx_t ctx;
  EXPECT_EQ(vrtGostHash94Init(&ctx, sbox, start), VRT_SUCCESS);
  size_t off = 0;
  for (size_t i = 0; off < msg.size(); ++i) {
    size_t n = chunks.empty() ? msg.size() : std::min(chunks[i % chunks.size()], msg.size() - off);
    EXPECT_EQ(vrtGostHash94Update(&ctx, msg.data() + off, n), VRT_SUCCESS);
    off += n;
  }
  Bytes d(32);
  EXPECT_EQ(vrtGostHash94Finalize(&ctx, d.data()), VRT_SUCCESS);
  return d;
}

uint64_t SboxOf(FileTest& t) {
  std::string s = t.GetText("Sbox");
  if (s == "test") return kTest;
  EXPECT_EQ(s, "cryptopro");
  return kCryptoPro;
}

// Runs body with each step variant this processor has, then restores the
// features chosen at initialisation.
template <typename Body>
void ForEachVariant(Body body) {
  const uint32_t enabled = vrtpInstance.cpu_enabled;
  for (bool avx : {false, true}) {
    if (avx && (enabled & VRT_CPU_AVX) == 0) continue;
    vrtpInstance.cpu_enabled = avx ? enabled : enabled & ~VRT_CPU_AVX;
    SCOPED_TRACE(avx ? "AVX lanes" : "tables");
    body();
  }
  vrtpInstance.cpu_enabled = enabled;
}

TEST(Gost94, PublishedVectorsOnEveryVariant) {
  ForEachVariant([] {
    vrt::test::FileTestRun("hash/gost94.txt", [](FileTest& t) {
      uint64_t sbox = SboxOf(t);
      Bytes msg = t.GetBytes("Input");
      std::string want = Hex(t.GetBytes("Digest"));
      EXPECT_EQ(Hex(Digest(msg, sbox)), want);
      EXPECT_EQ(Hex(Digest(msg, sbox, {1})), want);
    });
    EXPECT_EQ(hash94_self_test(&vrtpInstance), VRT_SUCCESS);
  });
}

TEST(Gost94, StepVariantsAgree) {
  if ((vrtpInstance.cpu_enabled & VRT_CPU_AVX) == 0) GTEST_SKIP() << "no AVX here";
  const gost89_sbox_t* sets[] = {&vrtpGost89SboxGostR3411_94_TestParamSet,
                                 &vrtpGost89SboxGostR3411_94_CryptoProParamSet,
                                 &vrtpGost89SboxGost28147_89_CryptoPro_A_ParamSet};
  for (int trial = 0; trial < 3000; ++trial) {
    uint64_t h1[4], h2[4], m[4];
    for (int i = 0; i < 4; ++i) {
      h1[i] = h2[i] = trial % 7 == 0 ? 0 : vrt::test::Rng()();
      m[i] = trial % 5 == 0 ? ~uint64_t{0} : vrt::test::Rng()();
    }
    const gost89_sbox_t* s = sets[trial % 3];
    vrt::hash::gost94_step_portable(s, h1, m);
    vrt::hash::gost94_step_avx(s, h2, m);
    ASSERT_EQ(Hex(h1, 32), Hex(h2, 32)) << "trial " << trial;
  }
}

TEST(Gost94, DefaultSetIsTheCryptoProSet) {
  Bytes msg = RandomBytes(77);
  EXPECT_EQ(Hex(Digest(msg, 0)), Hex(Digest(msg, kCryptoPro)));
  EXPECT_NE(Hex(Digest(msg, 0)), Hex(Digest(msg, kTest)));
  // A set given by its address works as its identifier does.
  auto addr = reinterpret_cast<uint64_t>(&vrtpGost89SboxGostR3411_94_TestParamSet);
  EXPECT_EQ(Hex(Digest(msg, addr)), Hex(Digest(msg, kTest)));
}

TEST(Gost94, AnySplitEqualsOneShot) {
  const std::vector<std::vector<size_t>> splits = {{1}, {31, 1}, {33}, {32}, {3, 29, 64}, {7, 100}, {63, 1, 32}};
  for (size_t len : {0, 1, 31, 32, 33, 63, 64, 65, 500}) {
    Bytes msg = RandomBytes(len);
    for (uint64_t sbox : {kTest, kCryptoPro}) {
      std::string whole = Hex(Digest(msg, sbox));
      for (const auto& s : splits) EXPECT_EQ(Hex(Digest(msg, sbox, s)), whole) << len;
    }
  }
}

TEST(Gost94, LengthAndChecksumCarry) {
  // All-ones blocks carry the checksum through every word; the digest must
  // not depend on how the message is cut.
  Bytes ones(32 * 5, 0xff), tail(32 * 3 + 17, 0xff);
  for (const Bytes& m : {ones, tail}) EXPECT_EQ(Hex(Digest(m, kCryptoPro, {5, 32, 1})), Hex(Digest(m, kCryptoPro)));
}

TEST(Gost94, StartingValue) {
  Bytes msg = RandomBytes(40);
  Bytes zero(32, 0), other = RandomBytes(32);
  EXPECT_EQ(Hex(Digest(msg, kCryptoPro, {}, zero.data())), Hex(Digest(msg, kCryptoPro)));
  EXPECT_NE(Hex(Digest(msg, kCryptoPro, {}, other.data())), Hex(Digest(msg, kCryptoPro)));
  // The starting value is H before the first block: it survives a snapshot.
  hash94_ctx_t ctx;
  ASSERT_EQ(vrtGostHash94Init(&ctx, kCryptoPro, other.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(ctx.h, 32), Hex(other));
}

TEST(Gost94, FinalisedContextRefusesDataAndRepeatsItsDigest) {
  hash94_ctx_t ctx;
  ASSERT_EQ(vrtGostHash94Init(&ctx, 0, nullptr), VRT_SUCCESS);
  Bytes msg = RandomBytes(10);
  ASSERT_EQ(vrtGostHash94Update(&ctx, msg.data(), msg.size()), VRT_SUCCESS);
  Bytes d1(32), d2(32);
  ASSERT_EQ(vrtGostHash94Finalize(&ctx, d1.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash94Update(&ctx, msg.data(), msg.size()), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtGostHash94Update(&ctx, msg.data(), 0), VRT_ERROR_NOT_INITIALIZED);
  ASSERT_EQ(vrtGostHash94Finalize(&ctx, d2.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(d2), Hex(d1));
  EXPECT_EQ(Hex(d1), Hex(Digest(msg, 0)));
}

TEST(Gost94, BadArgumentsAreRefused) {
  hash94_ctx_t ctx;
  EXPECT_EQ(vrtGostHash94Init(nullptr, 0, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  ASSERT_EQ(vrtGostHash94Init(&ctx, 0, nullptr), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash94Update(&ctx, nullptr, 0), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash94Update(&ctx, nullptr, 5), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash94Update(nullptr, nullptr, 0), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash94Finalize(&ctx, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash94Finalize(nullptr, ctx.h), VRT_ERROR_INVALID_ARGUMENT);

  // A set that is not initialised (a caller's zeroed record) leaves a
  // context that hashes nothing.
  gost89_sbox_t blank{};
  EXPECT_EQ(vrtGostHash94Init(&ctx, reinterpret_cast<uint64_t>(&blank), nullptr), VRT_ERROR_INVALID_ARGUMENT);
  uint8_t byte = 1, d[32];
  EXPECT_EQ(vrtGostHash94Update(&ctx, &byte, 1), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash94Finalize(&ctx, d), VRT_ERROR_INVALID_ARGUMENT);
}

TEST(Gost94, SaveStateRules) {
  hash94_ctx_t ctx;
  ASSERT_EQ(vrtGostHash94Init(&ctx, kTest, nullptr), VRT_SUCCESS);
  uint64_t size = 0;
  ASSERT_EQ(vrtGostHash94SaveState(&ctx, nullptr, &size), VRT_SUCCESS);
  EXPECT_EQ(size, 131u);
  Bytes blob(200, 0xcc);
  for (uint64_t bad : {0u, 130u, 132u}) {
    size = bad;
    EXPECT_EQ(vrtGostHash94SaveState(&ctx, blob.data(), &size), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(blob[0], 0xcc);  // nothing written
  }
  EXPECT_EQ(vrtGostHash94SaveState(&ctx, blob.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
  size = 131;
  ASSERT_EQ(vrtGostHash94SaveState(&ctx, blob.data(), &size), VRT_SUCCESS);
  EXPECT_EQ(blob[0], 1);
  EXPECT_EQ(blob[1], 0);
  EXPECT_EQ(blob[131], 0xcc);
  ASSERT_EQ(vrtGostHash94Init(&ctx, kCryptoPro, nullptr), VRT_SUCCESS);
  ASSERT_EQ(vrtGostHash94SaveState(&ctx, blob.data(), &size), VRT_SUCCESS);
  EXPECT_EQ(blob[1], 1);

  // A set the blob cannot name is refused, and nothing is written.
  ASSERT_EQ(vrtGostHash94Init(&ctx, VRT_GOST89_SBOX_CRYPTOPRO_A, nullptr), VRT_SUCCESS);
  std::fill(blob.begin(), blob.end(), 0xcc);
  EXPECT_EQ(vrtGostHash94SaveState(&ctx, blob.data(), &size), VRT_ERROR_UNSUPPORTED);
  EXPECT_EQ(blob[0], 0xcc);
}

TEST(Gost94, RestoreRefusesBadBlobsAndKeepsTheContext) {
  Bytes msg = RandomBytes(100);
  hash94_ctx_t src;
  ASSERT_EQ(vrtGostHash94Init(&src, kTest, nullptr), VRT_SUCCESS);
  ASSERT_EQ(vrtGostHash94Update(&src, msg.data(), 40), VRT_SUCCESS);
  Bytes good(131);
  uint64_t size = 131;
  ASSERT_EQ(vrtGostHash94SaveState(&src, good.data(), &size), VRT_SUCCESS);

  struct Case {
    const char* what;
    size_t offset;
    uint8_t value;
    uint64_t size;
    uint32_t status;
  };
  const Case cases[] = {
      {"version 2", 0, 2, 131, VRT_ERROR_UNSUPPORTED},   {"version 0", 0, 0, 131, VRT_ERROR_UNSUPPORTED},
      {"S-box 2", 1, 2, 131, VRT_ERROR_UNSUPPORTED},     {"S-box 255", 1, 255, 131, VRT_ERROR_UNSUPPORTED},
      {"short", 0, 1, 130, VRT_ERROR_LENGTH},            {"empty", 0, 1, 0, VRT_ERROR_LENGTH},
      {"count 33", 130, 33, 131, VRT_ERROR_INVALID_ARGUMENT},
      {"finalised", 130, 0xff, 131, VRT_ERROR_INVALID_ARGUMENT},
  };
  for (const Case& c : cases) {
    hash94_ctx_t dst;
    ASSERT_EQ(vrtGostHash94Init(&dst, kCryptoPro, nullptr), VRT_SUCCESS);
    ASSERT_EQ(vrtGostHash94Update(&dst, msg.data(), 70), VRT_SUCCESS);
    hash94_ctx_t before = dst;
    Bytes blob = good;
    blob[c.offset] = c.value;
    EXPECT_EQ(vrtGostHash94RestoreState(&dst, blob.data(), c.size), c.status) << c.what;
    EXPECT_EQ(std::memcmp(&dst, &before, sizeof dst), 0) << c.what << ": context changed";
  }
  hash94_ctx_t dst;
  EXPECT_EQ(vrtGostHash94RestoreState(&dst, nullptr, 131), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGostHash94RestoreState(nullptr, good.data(), 131), VRT_ERROR_INVALID_ARGUMENT);
  // A longer blob is accepted; its extra bytes are ignored.
  Bytes longer = good;
  longer.resize(300, 0x77);
  EXPECT_EQ(vrtGostHash94RestoreState(&dst, longer.data(), longer.size()), VRT_SUCCESS);
}

TEST(Gost94, RestoredSnapshotContinuesAtEveryCut) {
  Bytes msg = RandomBytes(100);
  for (uint64_t sbox : {kTest, kCryptoPro}) {
    std::string whole = Hex(Digest(msg, sbox));
    for (size_t cut = 0; cut <= msg.size(); ++cut) {
      hash94_ctx_t a;
      ASSERT_EQ(vrtGostHash94Init(&a, sbox, nullptr), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash94Update(&a, msg.data(), cut), VRT_SUCCESS);
      uint8_t blob[131];
      uint64_t size = sizeof blob;
      ASSERT_EQ(vrtGostHash94SaveState(&a, blob, &size), VRT_SUCCESS);
      std::memset(&a, 0xA5, sizeof a);  // the snapshot must not need the old context
      hash94_ctx_t b;
      ASSERT_EQ(vrtGostHash94Init(&b, sbox == kTest ? kCryptoPro : kTest, nullptr), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash94RestoreState(&b, blob, size), VRT_SUCCESS);
      ASSERT_EQ(vrtGostHash94Update(&b, msg.data() + cut, msg.size() - cut), VRT_SUCCESS);
      Bytes d(32);
      ASSERT_EQ(vrtGostHash94Finalize(&b, d.data()), VRT_SUCCESS);
      ASSERT_EQ(Hex(d), whole) << "cut at " << cut;
    }
  }
}

TEST(Gost94, FullBufferInABlobIsAWholeBlock) {
  // A count of 32 names a full block not yet absorbed; it continues (or
  // finishes) as if the block had been absorbed at once.
  Bytes msg = RandomBytes(64);
  hash94_ctx_t a;
  ASSERT_EQ(vrtGostHash94Init(&a, kCryptoPro, nullptr), VRT_SUCCESS);
  uint8_t blob[131];
  uint64_t size = sizeof blob;
  ASSERT_EQ(vrtGostHash94SaveState(&a, blob, &size), VRT_SUCCESS);
  std::memcpy(blob + 98, msg.data(), 32);
  blob[130] = 32;
  for (size_t rest : {0, 32}) {
    hash94_ctx_t b;
    ASSERT_EQ(vrtGostHash94RestoreState(&b, blob, size), VRT_SUCCESS);
    ASSERT_EQ(vrtGostHash94Update(&b, msg.data() + 32, rest), VRT_SUCCESS);
    Bytes d(32);
    ASSERT_EQ(vrtGostHash94Finalize(&b, d.data()), VRT_SUCCESS);
    EXPECT_EQ(Hex(d), Hex(Digest(Bytes(msg.begin(), msg.begin() + 32 + rest), kCryptoPro))) << rest;
  }
}

TEST(Gost94, GenericDispatchSlotsGiveTheSameDigest) {
  Bytes msg = RandomBytes(1000);
  std::string fast = Hex(Digest(msg, kCryptoPro));
  vrtp_arch_table_t saved = vrtpInstance.arch;
  vrtpInstance.arch.add256 = add256;
  vrtpInstance.arch.xor256 = xor256;
  std::string generic = Hex(Digest(msg, kCryptoPro));
  vrtpInstance.arch = saved;
  EXPECT_EQ(generic, fast);
}

}  // namespace
