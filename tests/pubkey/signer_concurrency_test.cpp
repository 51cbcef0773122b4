// Distinct handles used from distinct threads at once: every thread makes
// its handles, signs, verifies and agrees keys, and gets the results a
// single thread gets. The switches are set before the threads start (they
// are process-wide and written only by initialisation).
#include <gtest/gtest.h>

#include <thread>

#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;

struct Job {
  Parameter set;
  Bytes d, peer_d, digest, nonce, ukm;
};

struct Result {
  Bytes sig, point, pub;
  uint32_t status = 99;
};

SignerHandle* KeyedHandle(Parameter set, const Bytes& d, uint32_t* st) {
  SignerHandle* h = nullptr;
  *st |= vrtSignerInit(&h, set);
  genkey_t key{};
  *st |= genkey_alloc(&key, d.size(), 0);
  std::memcpy(key.key.data, d.data(), d.size());
  *st |= vrtSignerImportSecretKey(h, &key);
  genkey_free(&key);
  *st |= vrtSignerCreatePublicKey(h);
  return h;
}

// Only the library's calls: no shared state but the read-only job.
void RunJob(const Job& job, Result* out) {
  const size_t L = KeyBytes(job.set);
  uint32_t st = 0;
  SignerHandle* h = KeyedHandle(job.set, job.d, &st);
  out->pub.assign(2 * L, 0);
  out->sig.assign(2 * L, 0);
  out->point.assign(2 * L, 0);
  st |= vrtSignerExportPublicKey(h, out->pub.data());
  for (int i = 0; i < 6; ++i) st |= vrtSignerSign(h, job.digest.data(), job.nonce.data(), out->sig.data());
  SignerHandle* v = nullptr;
  st |= vrtSignerInit(&v, job.set);
  st |= vrtSignerImportPublicKey(v, out->pub.data());
  st |= vrtSignerVerify(v, job.digest.data(), out->sig.data());
  SignerHandle* peer = KeyedHandle(job.set, job.peer_d, &st);
  Bytes peer_pub(2 * L);
  st |= vrtSignerExportPublicKey(peer, peer_pub.data());
  st |= vrtSignerGenerateVKO(h, job.ukm.data(), peer_pub.data(), out->point.data());
  vrtSignerRelease(peer);
  vrtSignerRelease(v);
  vrtSignerRelease(h);
  out->status = st;
}

void RunInParallel(const std::vector<Parameter>& sets) {
  std::vector<Job> jobs;
  std::vector<Result> alone(sets.size()), together(sets.size());
  for (size_t i = 0; i < sets.size(); ++i) {
    const Parameter set = sets[i];
    jobs.push_back({set, RandomScalar(set), RandomScalar(set), RandomBytes(KeyBytes(set)), RandomScalar(set),
                    RandomBytes(KeyBytes(set))});
    RunJob(jobs[i], &alone[i]);
    ASSERT_EQ(alone[i].status, VRT_SUCCESS) << SetName(set);
  }
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i) threads.emplace_back(RunJob, std::cref(jobs[i]), &together[i]);
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(SetName(jobs[i].set));
    EXPECT_EQ(together[i].status, VRT_SUCCESS);
    EXPECT_EQ(Hex(together[i].sig), Hex(alone[i].sig));
    EXPECT_EQ(Hex(together[i].point), Hex(alone[i].point));
    EXPECT_EQ(Hex(together[i].pub), Hex(alone[i].pub));
  }
}

// The 512-bit sets with their (small) tables.
TEST(SignerConcurrency, HandlesWithTables) {
  Switches sw(true, true, true);
  RunInParallel({VRT_PARAM_TC26_512_A, VRT_PARAM_TC26_512_C, VRT_PARAM_TC26_512_A, VRT_PARAM_TC26_512_B});
}

// 256-bit sets without tables.
TEST(SignerConcurrency, HandlesWithoutTables) {
  Switches sw(true, false, false);
  RunInParallel({VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_256_A, VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_CRYPTOPRO_C});
}

}  // namespace
