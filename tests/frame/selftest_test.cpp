// The self-test runner: run order, a failure at any position stops the run
// there, and what a failure does to vrtInitRunTests and vrtTest. Failures are
// injected through the test build's step hook; no published answer changes.
#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <vector>

#include "frame/internal.h"
#include "vrt.h"

namespace {

using vrt::frame::SelfTestFn;

// What the step hook saw, and what it should do at which position.
struct Recorder {
  std::mutex mu;
  std::vector<size_t> positions;
  std::vector<SelfTestFn> tests;
  bool run_real = false;        // run the real test, else stand in with success
  size_t fail_at = SIZE_MAX;    // the position that reports fail_status
  uint32_t fail_status = VRT_SUCCESS;
};
Recorder g_rec;

uint32_t RecordingStep(size_t position, SelfTestFn test, vrtp_instance_t* instance) {
  {
    std::lock_guard<std::mutex> lock(g_rec.mu);
    g_rec.positions.push_back(position);
    g_rec.tests.push_back(test);
  }
  if (position == g_rec.fail_at) return g_rec.fail_status;
  return g_rec.run_real ? test(instance) : VRT_SUCCESS;
}

std::vector<size_t> FirstPositions(size_t n) {
  std::vector<size_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = i;
  return v;
}

class SelfTestRunner : public testing::Test {
 protected:
  void SetUp() override {
    vrtCleanup();
    g_rec.positions.clear();
    g_rec.tests.clear();
    g_rec.run_real = false;
    g_rec.fail_at = SIZE_MAX;
    g_rec.fail_status = VRT_SUCCESS;
    vrt::frame::set_selftest_step_hook(RecordingStep);
  }
  void TearDown() override {
    vrt::frame::set_selftest_step_hook(nullptr);
    vrtCleanup();
  }
};

size_t PositionOf(SelfTestFn fn) {
  for (size_t i = 0; i < vrt::frame::selftest_count(); ++i)
    if (vrt::frame::selftest_at(i) == fn) return i;
  return SIZE_MAX;
}

TEST(SelfTestTable, HoldsEachTestOnceInTheFixedOrder) {
  const size_t n = vrt::frame::selftest_count();
  std::vector<SelfTestFn> seen;
  for (size_t i = 0; i < n; ++i) {
    SelfTestFn fn = vrt::frame::selftest_at(i);
    ASSERT_NE(fn, nullptr) << "position " << i;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), fn), 0) << "position " << i << " repeats a test";
    seen.push_back(fn);
  }
  EXPECT_EQ(vrt::frame::selftest_at(n), nullptr);

  // Where each test stands once all twelve are in: GOST 28147-89, its NVQ
  // sets, the GOST R 34.12-2015 modes, GOST R 34.11-94, its HMAC, Streebog,
  // its HMAC, the PRFs, key distribution, signatures, PBKDF2, MGM. The ones
  // present keep that relative order meanwhile.
  struct Known {
    SelfTestFn fn;
    size_t final_position;
  };
  const Known known[] = {
      {gost89_self_test, 0},   {gost89_self_test_NVQ_SBOXes, 1}, {gost15_self_test, 2},
      {hash2012_self_test, 5}, {sign2012_self_test, 9},          {aead_self_test, 11},
  };
  size_t last = 0;
  for (size_t k = 0; k < std::size(known); ++k) {
    size_t at = PositionOf(known[k].fn);
    ASSERT_NE(at, SIZE_MAX) << "test " << k << " of the known list is not run";
    if (k > 0) {
      EXPECT_GT(at, last) << "test " << k << " of the known list is out of order";
    }
    if (n == 12) {
      EXPECT_EQ(at, known[k].final_position) << "test " << k << " of the known list";
    }
    last = at;
  }
  EXPECT_LE(n, 12u);
}

TEST_F(SelfTestRunner, HealthyLibraryPassesEveryTestInOrderAndStaysUp) {
  g_rec.run_real = true;
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_TRUE(g_rec.positions.empty()) << "vrtInit ran a self-test";
  EXPECT_EQ(vrtTest(), VRT_SUCCESS);
  EXPECT_EQ(g_rec.positions, FirstPositions(vrt::frame::selftest_count()));
  for (size_t i = 0; i < g_rec.tests.size(); ++i) EXPECT_EQ(g_rec.tests[i], vrt::frame::selftest_at(i));
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_F(SelfTestRunner, InitRunsNoSelfTestEvenWhenOneWouldFail) {
  g_rec.fail_at = 0;
  g_rec.fail_status = VRT_ERROR_FAILED;
  EXPECT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_TRUE(g_rec.positions.empty());
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_F(SelfTestRunner, AlreadyUpLibraryRunsNoSelfTestOnInitRunTests) {
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  g_rec.fail_at = 0;
  g_rec.fail_status = VRT_ERROR_FAILED;
  EXPECT_EQ(vrtInitRunTests(), VRT_SUCCESS);
  EXPECT_TRUE(g_rec.positions.empty());
}

TEST_F(SelfTestRunner, TestOnADownLibraryRunsNothing) {
  EXPECT_EQ(vrtTest(), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_TRUE(g_rec.positions.empty());
}

// One instance per position the table holds, so every test that joins the
// table is covered without a change here.
class SelfTestFailureAt : public SelfTestRunner, public testing::WithParamInterface<size_t> {};

TEST_P(SelfTestFailureAt, InitRunTestsStopsThereAndRollsBack) {
  const size_t at = GetParam();
  for (uint32_t status : {VRT_ERROR_FAILED, VRT_ERROR_NO_MEMORY}) {
    SCOPED_TRACE(status);
    g_rec.positions.clear();
    g_rec.fail_at = at;
    g_rec.fail_status = status;
    EXPECT_EQ(vrtInitRunTests(), status);
    EXPECT_EQ(g_rec.positions, FirstPositions(at + 1)) << "the run did not stop at the failing test";
    EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(vrtpInstance.state & 1u, 0u);
    EXPECT_EQ(vrtpInstance.arch_state & 1u, 0u);
    EXPECT_EQ(vrtpInstance.platform_state & 1u, 0u);
    EXPECT_EQ(vrtpInstance.lock, 0u);
  }
  // The library comes up again once the tests pass.
  g_rec.positions.clear();
  g_rec.fail_at = SIZE_MAX;
  EXPECT_EQ(vrtInitRunTests(), VRT_SUCCESS);
  EXPECT_EQ(g_rec.positions, FirstPositions(vrt::frame::selftest_count()));
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_P(SelfTestFailureAt, TestReportsItAndKeepsTheLibraryUp) {
  const size_t at = GetParam();
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  g_rec.fail_at = at;
  g_rec.fail_status = VRT_ERROR_FAILED;
  EXPECT_EQ(vrtTest(), VRT_ERROR_FAILED);
  EXPECT_EQ(g_rec.positions, FirstPositions(at + 1));
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
  EXPECT_EQ(vrtpInstance.arch_state & 1u, 1u);
  EXPECT_EQ(vrtpInstance.lock, 0u);
  // Still usable: a hash works, and the next run passes.
  hash2012_ctx_t ctx;
  uint8_t digest[32];
  EXPECT_EQ(vrtGostHash2012Init(&ctx, 256), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, digest), VRT_SUCCESS);
  g_rec.fail_at = SIZE_MAX;
  EXPECT_EQ(vrtTest(), VRT_SUCCESS);
}

INSTANTIATE_TEST_SUITE_P(EveryPosition, SelfTestFailureAt,
                         testing::Range<size_t>(0, vrt::frame::selftest_count()));

}  // namespace
