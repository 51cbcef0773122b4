// MGM from several threads at once: each thread has its own context, all
// share one masked key record (read only) and the field variant chosen at
// initialisation; every thread gets the answers one thread gets alone.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "cipher15/mgm_test_util.h"
#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;
using namespace vrt::test::mgm;

TEST(MgmConcurrency, ThreadsWithTheirOwnContextsAgree) {
  constexpr int kThreads = 4, kMessages = 24;
  for (const uint64_t n : {16u, 8u}) {
    Key key(RandomBytes(32));
    struct Message {
      Bytes nonce, aad, pt;
      Sealed want;
    };
    std::vector<Message> messages;
    for (int i = 0; i < kMessages; ++i) {
      Message m{RandomBytes(n), RandomBytes(i * 3), RandomBytes(1 + i * 11), {}};
      m.want = Seal(n, &key.g, m.nonce, m.aad, m.pt);
      messages.push_back(m);
    }
    std::vector<int> failures(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        AeadCtx* ctx = nullptr;
        if (vrtAEADCtxAllocInitialized(&ctx, 1, n) != VRT_SUCCESS) {
          ++failures[t];
          return;
        }
        for (const Message& m : messages) {
          Bytes out(m.pt.size()), tag(n), back(m.pt.size());
          uint32_t st = vrtAEADSetNonce(ctx, m.nonce.data());
          st |= vrtAEADEncryptSimple(ctx, &key.g, m.pt.data(), out.data(), m.pt.size(), m.aad.data(), m.aad.size());
          st |= vrtAEADImitGetValue(ctx, tag.data(), n);
          st |= vrtAEADImitSetValue(ctx, tag.data(), n);
          st |= vrtAEADDecryptSimple(ctx, &key.g, out.data(), back.data(), out.size(), m.aad.data(), m.aad.size());
          if (st != VRT_SUCCESS || out != m.want.text || tag != m.want.tag || back != m.pt) ++failures[t];
        }
        vrtAEADCtxFree(ctx);
      });
    }
    for (auto& th : threads) th.join();
    for (int t = 0; t < kThreads; ++t) EXPECT_EQ(failures[t], 0) << "thread " << t;
  }
}

}  // namespace
