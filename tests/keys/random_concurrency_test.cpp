// Threads sharing the main generator and the wipe generator: no data race
// (this suite also runs under ThreadSanitizer), and no 32-byte block handed
// to two callers.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "vrt.h"

namespace {

TEST(RandomConcurrency, ThreadsNeverShareABlock) {
  random_seed_t seed;
  for (size_t i = 0; i < sizeof seed; ++i) reinterpret_cast<uint8_t*>(&seed)[i] = static_cast<uint8_t>(i * 29 + 3);
  ASSERT_EQ(random_set_custom_seed(nullptr, &seed, nullptr), VRT_SUCCESS);
  constexpr int kDrawers = 3, kWipers = 2, kBlocks = 3000;
  std::vector<std::vector<std::string>> drawn(kDrawers);
  std::vector<uint32_t> status(kDrawers + kWipers, VRT_SUCCESS);
  std::vector<std::thread> threads;
  for (int t = 0; t < kDrawers; ++t) {
    threads.emplace_back([&, t] {
      uint8_t block[32];
      for (int i = 0; i < kBlocks; ++i) {
        uint32_t st = random_generate(nullptr, block, sizeof block, nullptr, nullptr);
        if (st != VRT_SUCCESS) status[t] = st;
        drawn[t].push_back(vrt::test::Hex(block, sizeof block));
      }
    });
  }
  for (int t = 0; t < kWipers; ++t) {
    threads.emplace_back([&, t] {
      uint8_t buf[160];
      for (int i = 0; i < kBlocks; ++i) {
        uint32_t st = vrt_memreset_s(buf, sizeof buf);
        if (st != VRT_SUCCESS) status[kDrawers + t] = st;
      }
    });
  }
  for (auto& th : threads) th.join();
  for (uint32_t st : status) EXPECT_EQ(st, VRT_SUCCESS);
  std::set<std::string> all;
  for (const auto& v : drawn)
    for (const auto& b : v) EXPECT_TRUE(all.insert(b).second) << "block handed out twice";
  EXPECT_EQ(all.size(), static_cast<size_t>(kDrawers * kBlocks));
}

}  // namespace
