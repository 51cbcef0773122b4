// Fixed-point arithmetic, the statistics and the entropy estimators.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/test_util.h"
#include "vrt.h"

namespace {

constexpr int64_t kOne = VRT_FIXED_ONE;

TEST(FixedPoint, RoundingHalvesUp) {
  EXPECT_EQ(fixed_point_get(fixed_point_div(fixed_point_create(5), fixed_point_create(2))), 3);
  EXPECT_EQ(fixed_point_get(fixed_point_div(fixed_point_create(-5), fixed_point_create(2))), -2);
  EXPECT_EQ(fixed_point_get(kOne + kOne / 2 - 1), 1);
  EXPECT_EQ(fixed_point_get(fixed_point_create(-7)), -7);
  EXPECT_EQ(fixed_point_mul(fixed_point_create(3), kOne / 4), 3 * kOne / 4);
  EXPECT_TRUE(fixed_point_less_num(kOne - 1, 1));
  EXPECT_TRUE(fixed_point_equals_num(fixed_point_create(9), 9));
  EXPECT_TRUE(fixed_point_less(fixed_point_neg(kOne), 0));
}

TEST(FixedPoint, Log2MatchesTheSeriesFigures) {
  EXPECT_EQ(fixed_point_log2(kOne), 0);
  EXPECT_EQ(fixed_point_log2(8 * kOne), 3145719);    // just under 3.0
  EXPECT_EQ(fixed_point_log2(kOne / 4), -2097101);   // the slow series at -1
  for (double x : {0.3, 0.7, 1.5, 3.0, 100.0, 1000.0}) {
    int64_t got = fixed_point_log2(static_cast<int64_t>(x * kOne));
    EXPECT_NEAR(static_cast<double>(got) / kOne, std::log2(x), 1e-3) << x;
  }
}

TEST(FixedPoint, SqrtIsTheLargestRootNotAbove) {
  for (int64_t x : {int64_t{1}, kOne / 100, kOne / 4, kOne, 2 * kOne, 256 * kOne, 1000 * kOne + 12345}) {
    int64_t r = fixed_point_sqrt(x);
    EXPECT_LE(fixed_point_mul(r, r), x) << x;
    EXPECT_GT(fixed_point_mul(r + 1, r + 1), x) << x;
  }
  EXPECT_EQ(fixed_point_sqrt(4 * kOne), 2 * kOne);
}

// At the ends of the int64_t range the helpers are defined: exact where the
// result fits, saturated where it does not (UBSan checks there is no
// overflow on the way), and the comparisons against n exact.
TEST(FixedPoint, ExtremesSaturate) {
  constexpr int64_t kMax = INT64_MAX, kMin = INT64_MIN;
  EXPECT_EQ(fixed_point_create(kMax), kMax);
  EXPECT_EQ(fixed_point_create(kMin), kMin);
  EXPECT_EQ(fixed_point_create(kMax / kOne), (kMax / kOne) * kOne);
  EXPECT_EQ(fixed_point_add(kMax, 1), kMax);
  EXPECT_EQ(fixed_point_add(kMin, -1), kMin);
  EXPECT_EQ(fixed_point_add(kMax, kMin), -1);
  EXPECT_EQ(fixed_point_sub(kMin, 1), kMin);
  EXPECT_EQ(fixed_point_sub(kMax, -1), kMax);
  EXPECT_EQ(fixed_point_neg(kMin), kMax);
  EXPECT_EQ(fixed_point_neg(kMax), -kMax);
  EXPECT_EQ(fixed_point_mul(kMax, kMax), kMax);
  EXPECT_EQ(fixed_point_mul(kMin, kMax), kMin);
  EXPECT_EQ(fixed_point_mul(kMin, kMin), kMax);
  EXPECT_EQ(fixed_point_mul(kMax, kOne), kMax);  // fits: times 1.0
  EXPECT_EQ(fixed_point_mul(kMin, -kOne), kMax);
  EXPECT_EQ(fixed_point_div(kMax, 1), kMax);
  EXPECT_EQ(fixed_point_div(kMin, -1), kMax);
  EXPECT_EQ(fixed_point_div(kMin, kOne), kMin);
  EXPECT_EQ(fixed_point_div(kMax, kMin), -kOne + 1);
  EXPECT_EQ(fixed_point_div(kMax, 0), 0);
  EXPECT_TRUE(fixed_point_less_num(kMax, kMax));
  EXPECT_FALSE(fixed_point_less_num(kMax, kMax >> 20));
  EXPECT_TRUE(fixed_point_less_num(kMax, (kMax >> 20) + 1));  // 2^63: past int64_t
  EXPECT_FALSE(fixed_point_less_num(kMin, kMin / 2));
  EXPECT_FALSE(fixed_point_equals_num(kMax, kMax));
  EXPECT_FALSE(fixed_point_equals_num(0, uint64_t{1} << 44));  // 2^64 wraps to 0 unchecked
  EXPECT_EQ(fixed_point_get(kMax), (kMax >> 20) + 1);
  EXPECT_EQ(fixed_point_get(kMin), kMin >> 20);
  // The largest root not above INT64_MAX: r*r >> 20 <= x < (r+1)^2 >> 20.
  const int64_t r = fixed_point_sqrt(kMax);
  EXPECT_LE((static_cast<__int128>(r) * r) >> 20, kMax);
  EXPECT_GT((static_cast<__int128>(r + 1) * (r + 1)) >> 20, kMax);
  EXPECT_EQ(fixed_point_sqrt(kMin), 0);
  EXPECT_GT(fixed_point_log2(kMax), fixed_point_create(42));
  EXPECT_LT(fixed_point_log2(kMax), fixed_point_create(44));
  EXPECT_EQ(fixed_point_log2(kMin), 0);
}

TEST(StatCollect, CountsOnesLagAndRuns) {
  const uint8_t bytes[2] = {0x55, 0x55};
  uint32_t ones, autoc, run1, run0;
  ASSERT_EQ(random_stat_collect(bytes, 2, &ones, 1, &autoc, &run1, &run0), VRT_SUCCESS);
  EXPECT_EQ(ones, 8u);
  EXPECT_EQ(autoc, 15u);
  EXPECT_EQ(run1, 1u);
  EXPECT_EQ(run0, 1u);
  const uint8_t runs[3] = {0xf0, 0xff, 0x00};  // 4 zeros, 12 ones, 8 zeros
  ASSERT_EQ(random_stat_collect(runs, 3, &ones, 8, &autoc, &run1, &run0), VRT_SUCCESS);
  EXPECT_EQ(ones, 12u);
  EXPECT_EQ(run1, 12u);
  EXPECT_EQ(run0, 8u);
  EXPECT_EQ(autoc, 12u);  // at lag 8: byte 0 vs 1 differ in 4 bits, byte 1 vs 2 in 8
  ones = 99;
  EXPECT_EQ(random_stat_collect(bytes, 0, &ones, 1, nullptr, nullptr, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(ones, 0u);
  EXPECT_EQ(random_stat_collect(bytes, 2, nullptr, 1, nullptr, nullptr, nullptr), VRT_ERROR_INVALID_ARGUMENT);
}

TEST(DynamicTest, RejectsRegularBlocksAndPassesRandomOnes) {
  EXPECT_EQ(random_dynamic_test(nullptr), VRT_ERROR_INVALID_ARGUMENT);
  uint8_t block[32];
  std::memset(block, 0, sizeof block);
  EXPECT_EQ(random_dynamic_test(block), VRT_ERROR_RANDOM_TEST);
  std::memset(block, 0x55, sizeof block);  // balanced but alternating
  EXPECT_EQ(random_dynamic_test(block), VRT_ERROR_RANDOM_TEST);
  int passed = 0;
  for (int i = 0; i < 1000; ++i) {
    auto r = vrt::test::RandomBytes(32);
    passed += random_dynamic_test(r.data()) == VRT_SUCCESS;
  }
  EXPECT_GT(passed, 900);  // a random block fails rarely
}

TEST(ReglamentTest, BalancedBufferPassesAndSkewFails) {
  uint8_t buf[4096];
  for (int i = 0; i < 4096; ++i) buf[i] = static_cast<uint8_t>(i);  // every value 16 times
  EXPECT_EQ(random_reglament_test(buf), 0u);
  // Only the even values, 32 times each: the chi-square fails.
  for (int i = 0; i < 4096; ++i) buf[i] = static_cast<uint8_t>(i % 128 * 2);
  EXPECT_EQ(random_reglament_test(buf), 1u);
  std::memset(buf, 0xff, sizeof buf);
  EXPECT_EQ(random_reglament_test(buf), 1u);
}

TEST(Estimators, PoolEstimate) {
  random_pool_t pool{};
  pool.bits = 63;
  EXPECT_EQ(random_estimate_pool(&pool, 8), 0u);  // under 64 bits: no credit
  pool.bits = 64;
  EXPECT_EQ(random_estimate_pool(&pool, 8), 0xFFFFFFFFu);  // all zero: p = 0 fails
  auto r = vrt::test::RandomBytes(128);
  std::memcpy(pool.data, r.data(), 128);
  pool.bits = 1024;
  uint32_t e = random_estimate_pool(&pool, 8);
  EXPECT_GT(e, 700u);
  EXPECT_LE(e, 1024u);
  EXPECT_EQ(random_calc_randomness(r.data(), 128, 8), e);
  EXPECT_EQ(random_calc_randomness(r.data(), 0, 8), 0xFFFFFFFFu);
  EXPECT_EQ(random_calc_randomness(r.data(), 129, 8), 0xFFFFFFFFu);
}

TEST(Estimators, SampleEstimate) {
  // Ten bits per class, five ones in each: the best case.
  random_pool_t s{};
  s.bits = 40;
  for (int i = 0; i < 40; ++i)
    if ((i / 4) % 2 == 0) s.data[i / 8] |= 1 << (i % 8);
  uint32_t e = calculate_entropy_portion(&s, 4);
  EXPECT_GT(e, 0u);
  EXPECT_LE(e, 40u);
  random_pool_t zeros{};
  zeros.bits = 40;
  EXPECT_EQ(calculate_entropy_portion(&zeros, 4), 0xFFFFFFFFu);
}

TEST(Estimators, IntervalsAreCentredOnHalf) {
  int64_t lo, hi;
  random_stat_interval(1024, 0, &lo, &hi);
  EXPECT_LT(lo, 512);
  EXPECT_GT(hi, 512);
  EXPECT_NEAR(hi - 512, 512 - lo, 1);
  EXPECT_NEAR(static_cast<double>(hi - 512), std::sqrt(1024.0) / 2 * 3.09023, 1.0);
}

}  // namespace
