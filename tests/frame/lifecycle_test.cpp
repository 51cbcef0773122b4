// The library lifecycle: initialisation, self-test runs, clean-up and the
// instance lock, with the library starting down in every test.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "frame/internal.h"
#include "vrt.h"

namespace {

std::atomic<int> g_hook_calls{0};
std::atomic<uint32_t> g_hook_status{0};

uint32_t CountingHook(vrtp_instance_t*) {
  g_hook_calls.fetch_add(1);
  return g_hook_status.load();
}

class Lifecycle : public testing::Test {
 protected:
  void SetUp() override {
    vrtCleanup();
    g_hook_calls = 0;
    g_hook_status = VRT_SUCCESS;
    vrt::frame::set_selftest_hook(CountingHook);
  }
  void TearDown() override {
    vrt::frame::set_selftest_hook(nullptr);
    vrtCleanup();
  }
};

TEST_F(Lifecycle, VersionNeedsNoInitialisation) {
  EXPECT_EQ(vrtGetVersion(), 0x10100u);
  EXPECT_STREQ(vrtGetVersionStr(), "1.1.0");
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtGetVersion(), 0x10100u);
  EXPECT_STREQ(vrtGetVersionStr(), "1.1.0");
}

TEST_F(Lifecycle, StatusFollowsInitAndCleanup) {
  EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
  EXPECT_EQ(vrtpInstance.arch_state & 1u, 1u);
  EXPECT_EQ(vrtpInstance.platform_state & 1u, 1u);
  vrtCleanup();
  EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtpInstance.arch_state & 1u, 0u);
  EXPECT_EQ(vrtpInstance.platform_state & 1u, 0u);
}

TEST_F(Lifecycle, SecondInitDoesNothing) {
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  uint32_t runs = vrt::frame::init_runs();
  EXPECT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtInitRunTests(), VRT_SUCCESS);  // already up: no self-tests run
  EXPECT_EQ(vrt::frame::init_runs(), runs);
  EXPECT_EQ(g_hook_calls.load(), 0);
}

TEST_F(Lifecycle, TestNeedsInitialisedLibrary) {
  EXPECT_EQ(vrtTest(), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(g_hook_calls.load(), 0);
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtTest(), VRT_SUCCESS);
  EXPECT_EQ(g_hook_calls.load(), 1);
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_F(Lifecycle, CleanupIsHarmlessWhenDownAndInitComesBack) {
  vrtCleanup();
  vrtCleanup();
  EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  for (int i = 0; i < 3; ++i) {
    ASSERT_EQ(vrtInit(), VRT_SUCCESS);
    EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
    vrtCleanup();
    EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  }
}

TEST_F(Lifecycle, InitRunTestsPassesOnAHealthyLibrary) {
  EXPECT_EQ(vrtInitRunTests(), VRT_SUCCESS);
  EXPECT_EQ(g_hook_calls.load(), 1);
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_F(Lifecycle, FailingSelfTestRollsBackInitRunTests) {
  for (uint32_t status : {VRT_ERROR_FAILED, VRT_ERROR_NO_MEMORY}) {
    g_hook_status = status;
    EXPECT_EQ(vrtInitRunTests(), status);
    EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
    EXPECT_EQ(vrtpInstance.arch_state & 1u, 0u);
    EXPECT_EQ(vrtpInstance.platform_state & 1u, 0u);
  }
  // vrtInit runs no self-tests, so the same failure does not stop it.
  EXPECT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
}

TEST_F(Lifecycle, FailingSelfTestInTestLeavesLibraryUp) {
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  g_hook_status = VRT_ERROR_FAILED;
  EXPECT_EQ(vrtTest(), VRT_ERROR_FAILED);
  EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
  g_hook_status = VRT_SUCCESS;
  EXPECT_EQ(vrtTest(), VRT_SUCCESS);
}

TEST_F(Lifecycle, ConcurrentInitRunsTheStepsOnce) {
  for (int round = 0; round < 20; ++round) {
    // The known-answer tests take part in the first round only; later rounds
    // run just the hook, so that twenty rounds of the race stay cheap.
    vrt::frame::set_known_answer_tests(round == 0);
    vrtCleanup();
    uint32_t before = vrt::frame::init_runs();
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    std::vector<uint32_t> results(4, 99);
    for (size_t i = 0; i < results.size(); ++i) {
      threads.emplace_back([&, i] {
        while (!go.load()) {
        }
        results[i] = (i % 2) ? vrtInit() : vrtInitRunTests();
      });
    }
    go = true;
    for (auto& t : threads) t.join();
    for (uint32_t r : results) EXPECT_EQ(r, VRT_SUCCESS);
    EXPECT_EQ(vrt::frame::init_runs(), before + 1);
    EXPECT_EQ(vrtStatus(), VRT_SUCCESS);
  }
  vrt::frame::set_known_answer_tests(true);
}

TEST_F(Lifecycle, LockSerialisesCallers) {
  // Two threads each bump a plain counter under the library lock; a lock that
  // lets both in at once loses increments (and trips ThreadSanitizer).
  uint64_t counter = 0;
  auto work = [&] {
    for (int i = 0; i < 20000; ++i) {
      vrtpLockLibrary();
      ++counter;
      vrtpUnlockLibrary();
    }
  };
  std::thread a(work), b(work);
  a.join();
  b.join();
  EXPECT_EQ(counter, 40000u);
  EXPECT_EQ(vrtpInstance.lock, 0u);
}

// The instance lock admits callers in the order they came: a thread that
// lets go and asks again at once queues behind the one already waiting
// (which is how a thread looping vrtTest kept vrtCleanup out).
TEST_F(Lifecycle, LockIsFirstComeFirstServed) {
  for (int round = 0; round < 5; ++round) {
    std::mutex m;
    std::string order;
    vrtpLockLibrary();
    std::thread waiter([&] {
      vrtpLockLibrary();
      {
        std::lock_guard<std::mutex> g(m);
        order += "W";
      }
      vrtpUnlockLibrary();
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(30));  // the waiter is queued by now
    vrtpUnlockLibrary();
    vrtpLockLibrary();
    {
      std::lock_guard<std::mutex> g(m);
      order += "H";
    }
    vrtpUnlockLibrary();
    waiter.join();
    EXPECT_EQ(order, "WH") << "round " << round;
  }
  // An unlock of a lock no one holds admits no one twice.
  vrtpUnlockLibrary();
  vrtpLockLibrary();
  EXPECT_EQ(vrtpInstance.lock, 1u);
  vrtpUnlockLibrary();
}

// vrtCleanup returns while another thread keeps calling into the lifecycle
// functions, and the generator and S-box calls made during the clean-ups
// and re-initialisations (a caller's mistake) get a status: the library's
// locks are never destroyed under a thread and the state they guard is
// torn down under them (ThreadSanitizer checks).
TEST_F(Lifecycle, CleanupDuringCallsGetsStatusesAndReturns) {
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  random_seed_t seed{};
  for (size_t i = 0; i < sizeof seed.key; ++i) seed.key[i] = static_cast<uint8_t>(i * 7 + 1);
  ASSERT_EQ(random_set_custom_seed(nullptr, &seed, nullptr), VRT_SUCCESS);
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0}, generated{0}, refused{0};
  std::thread looper([&] {
    while (!stop.load()) (void)vrtStatus(), vrtpLockLibrary(), vrtpUnlockLibrary();
  });
  std::thread drawer([&] {
    uint8_t buf[64];
    while (!stop.load()) {
      const uint32_t st = random_generate(nullptr, buf, sizeof buf, nullptr, nullptr);
      if (st == VRT_SUCCESS)
        ++generated;
      else if (st == VRT_ERROR_FAILED)
        ++refused;
      else
        ++bad;
    }
  });
  std::thread sboxes([&] {
    while (!stop.load()) {
      gost89_sbox_t s{};
      std::memcpy(s.packed, vrtpGost89Sboxtc26_gost_28147_param_Z.packed, sizeof s.packed);
      const uint32_t st = vrtGost89SboxInit(reinterpret_cast<uintptr_t>(&s), nullptr);
      if (st != VRT_SUCCESS && st != VRT_ERROR_NOT_INITIALIZED) ++bad;
    }
  });
  for (int i = 0; i < 3; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    vrtCleanup();
    EXPECT_LT(std::chrono::steady_clock::now() - t0, std::chrono::seconds(5)) << "clean-up " << i;
    EXPECT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
    ASSERT_EQ(vrtInit(), VRT_SUCCESS);
    ASSERT_EQ(random_set_custom_seed(nullptr, &seed, nullptr), VRT_SUCCESS);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  stop = true;
  looper.join();
  drawer.join();
  sboxes.join();
  EXPECT_EQ(bad.load(), 0);
  EXPECT_GT(generated.load(), 0);
}

}  // namespace
