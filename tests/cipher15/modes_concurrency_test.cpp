// Cipher contexts on several threads at once; also run under ThreadSanitizer.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "cipher15/modes_helpers.h"
#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Crypt;
using vrt::test::MaskedKey;
using vrt::test::OutputLength;
using vrt::test::RandomBytes;

// Contexts are independent: threads with contexts of their own, sharing a
// masked key and the wipe generator, get the answers of one thread.
TEST(Gost15ModesConcurrency, ContextsRunInParallel) {
  const Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(1000);
  MaskedKey k(key, GOST89_KEY_XOR);
  const Bytes want16 = Crypt(16, VRT_GOST15_MODE_CTR, true, k.get(), iv, msg);
  const Bytes want8 = Crypt(8, VRT_GOST15_MODE_CBC, true, k.get(), iv, msg);
  std::vector<int> bad(4, 0);
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      const size_t n = t % 2 == 0 ? 16 : 8;
      const uint32_t mode = n == 16 ? VRT_GOST15_MODE_CTR : VRT_GOST15_MODE_CBC;
      Gost15Ctx* c = nullptr;
      if (vrtGost15CtxAllocInitialized(&c, 1, static_cast<uint32_t>(n)) != VRT_SUCCESS) {
        bad[t] = 1;
        return;
      }
      vrtGost15SetMode(c, mode, 0);
      Bytes out(OutputLength(mode, msg.size(), n));
      for (int i = 0; i < 20; ++i) {
        if (vrtGost15EncryptSimple(c, k.get(), msg.data(), out.data(), msg.size(), iv.data(), 8) !=
                VRT_SUCCESS ||
            out != (n == 16 ? want16 : want8))
          bad[t] = 1;
      }
      vrtGost15CtxFree(c);
    });
  }
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(bad[t], 0) << "thread " << t;
}

}  // namespace
