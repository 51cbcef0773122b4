// Several threads initialise one caller S-box set at the same moment: the
// set is expanded exactly once, and every thread sees it initialised and
// usable when its call returns. Runs under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "common/test_util.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Hex;

TEST(Gost89SboxConcurrency, OneSetFromManyThreadsIsExpandedOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 20;
  for (int round = 0; round < kRounds; ++round) {
    auto* set = new gost89_sbox_t{};
    std::memcpy(set->packed, vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet.packed, 64);
    const uint64_t before = vrt::gost89::sbox_expansions();
    std::atomic<int> ready{0};
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    const gost89_key_t key = {{1, 2, 3, 4, 5, 6, 7, 8}, {}, 0};
    uint8_t want[8];
    const uint8_t block[8] = {0, 1, 2, 3, 4, 5, 6, 7};
    gost89_encrypt_block(block, want, &key, &vrtpGost89SboxGost28147_89_CryptoPro_C_ParamSet);
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&] {
        ready.fetch_add(1);
        while (ready.load() < kThreads) {
        }
        if (vrtGost89SboxInit(reinterpret_cast<uintptr_t>(set), nullptr) != VRT_SUCCESS) failures.fetch_add(1);
        if (vrtpGost89SboxInitialized(set) != 1) failures.fetch_add(1);
        uint8_t out[8];
        gost89_encrypt_block(block, out, &key, set);
        if (std::memcmp(out, want, 8) != 0) failures.fetch_add(1);
        vrtGost89SboxFree(reinterpret_cast<uintptr_t>(set));
      });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(failures.load(), 0);
    // Other tests of this binary run before or after, never beside this one.
    EXPECT_EQ(vrt::gost89::sbox_expansions() - before, 1u) << "round " << round;
    delete set;
  }
}

// Block operations on shared sets and distinct key records from several
// threads at once: the sets are only read.
TEST(Gost89SboxConcurrency, BlockOperationsShareTheSets) {
  constexpr int kThreads = 4;
  std::vector<std::thread> threads;
  std::atomic<int> failures{0};
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      gost89_key_t key{};
      for (int j = 0; j < 8; ++j) key.key[j] = static_cast<uint32_t>(t * 131 + j);
      const gost89_sbox_t* s = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
      uint8_t block[8] = {static_cast<uint8_t>(t)};
      uint8_t orig[8];
      std::memcpy(orig, block, 8);
      for (int i = 0; i < 2000; ++i) {
        vrtpGost89AlgG1ptr->encrypt.gost89(block, block, &key, s);
        vrtpGost89AlgG1ptr->decrypt.gost89(block, block, &key, s);
      }
      if (std::memcmp(block, orig, 8) != 0) failures.fetch_add(1);
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
}

}  // namespace
