// The two wipe functions.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "frame/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Hex;

TEST(MemsetS, FillsOnlyWhenTheDestinationHoldsTheCount) {
  struct Case {
    int64_t destsz;
    uint64_t count;
    uint32_t status;
    size_t filled;
  };
  const Case cases[] = {
      {16, 16, VRT_SUCCESS, 16},
      {32, 16, VRT_SUCCESS, 16},
      {8, 16, VRT_ERROR_BAD_BUFFER, 0},  // never clipped to the destination
      {16, 0, VRT_SUCCESS, 0},
      {0, 0, VRT_SUCCESS, 0},
      {-1, 4, VRT_ERROR_BAD_BUFFER, 0},
      {INT64_MIN, 4, VRT_ERROR_BAD_BUFFER, 0},  // 2^63 as unsigned
  };
  for (const Case& c : cases) {
    uint8_t buf[32];
    std::memset(buf, 0x11, sizeof buf);
    EXPECT_EQ(vrt_memset_s(buf, c.destsz, 0x1AB, c.count), c.status) << c.destsz << "/" << c.count;
    for (size_t i = 0; i < sizeof buf; ++i)
      ASSERT_EQ(buf[i], i < c.filled ? 0xAB : 0x11) << "byte " << i << " of " << c.destsz << "/" << c.count;
  }
  EXPECT_EQ(vrt_memset_s(nullptr, 16, 0, 16), VRT_ERROR_BAD_BUFFER);
}

TEST(MemresetS, RejectsBadBuffersAndSkipsEmptyRequests) {
  uint8_t buf[8] = {};
  EXPECT_EQ(vrt_memreset_s(nullptr, 8), VRT_ERROR_BAD_BUFFER);
  EXPECT_EQ(vrt_memreset_s(buf, -1), VRT_ERROR_BAD_BUFFER);
  uint64_t before = vrt::frame::memreset_requests();
  EXPECT_EQ(vrt_memreset_s(buf, 0), VRT_SUCCESS);
  EXPECT_EQ(vrt::frame::memreset_requests(), before);
  EXPECT_EQ(Hex(buf, sizeof buf), "0000000000000000");
}

TEST(MemresetS, DrawsOneRequestPer32Bytes) {
  uint8_t buf[100];
  for (size_t size : {1, 31, 32, 33, 64, 65, 100}) {
    uint64_t before = vrt::frame::memreset_requests();
    ASSERT_EQ(vrt_memreset_s(buf, static_cast<int64_t>(size)), VRT_SUCCESS);
    EXPECT_EQ(vrt::frame::memreset_requests() - before, (size + 31) / 32) << size;
  }
}

TEST(MemresetS, WritesFreshBytesEveryTimeAndStaysInBounds) {
  uint8_t a[80], b[80];
  std::memset(a, 0, sizeof a);
  std::memset(b, 0, sizeof b);
  ASSERT_EQ(vrt_memreset_s(a + 8, 64), VRT_SUCCESS);
  ASSERT_EQ(vrt_memreset_s(b + 8, 64), VRT_SUCCESS);
  EXPECT_NE(Hex(a + 8, 64), Hex(b + 8, 64));
  EXPECT_EQ(Hex(a, 8), "0000000000000000");
  EXPECT_EQ(Hex(a + 72, 8), "0000000000000000");
  // 64 random bytes that are all zero would be a broken source.
  EXPECT_NE(Hex(a + 8, 64), std::string(128, '0'));
}

TEST(MemresetS, WeakSeedNeverHolds255) {
  uint8_t seed[4000];
  vrt::frame::weak_seed(seed, sizeof seed);
  int distinct[256] = {};
  for (uint8_t v : seed) {
    ASSERT_NE(v, 255);
    distinct[v] = 1;
  }
  int n = 0;
  for (int d : distinct) n += d;
  EXPECT_GT(n, 200);  // spread over 0..254
}

}  // namespace
