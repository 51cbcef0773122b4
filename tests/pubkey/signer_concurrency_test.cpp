// Distinct handles used from distinct threads at once: every thread signs,
// verifies and agrees keys with its own handles and gets the results a
// single thread gets.
#include <gtest/gtest.h>

#include <thread>

#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;

struct Job {
  Parameter set;
  Bytes d, peer_d, digest, nonce, ukm;
  Bytes sig, point, pub;  // expected, from this thread
};

void RunJob(const Job& job, Bytes* sig, Bytes* point, Bytes* pub, uint32_t* verified) {
  Handle h(job.set, Impl::kCxx, /*tables=*/KeyBytes(job.set) == 64);
  MaskedKey key(job.d);
  uint32_t st = h.ImportSecret(key.get());
  st |= h.CreatePublic();
  *pub = h.ExportPublic();
  for (int i = 0; i < 8 && st == VRT_SUCCESS; ++i) st |= h.Sign(job.digest, job.nonce, sig);
  Handle v(job.set);
  st |= v.ImportPublic(*pub);
  *verified = st | v.Verify(job.digest, *sig);
  Bytes peer_pub;
  {
    Handle p(job.set);
    MaskedKey pk(job.peer_d);
    p.ImportSecret(pk.get());
    p.CreatePublic();
    peer_pub = p.ExportPublic();
  }
  *verified |= h.Vko(job.ukm, peer_pub, point);
}

TEST(SignerConcurrency, DistinctHandlesInParallel) {
  std::vector<Job> jobs;
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_A, VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_C}) {
    Job j;
    j.set = set;
    j.d = RandomScalar(set);
    j.peer_d = RandomScalar(set);
    j.digest = RandomBytes(KeyBytes(set));
    j.nonce = RandomScalar(set);
    j.ukm = RandomBytes(KeyBytes(set));
    uint32_t ok = 0;
    RunJob(j, &j.sig, &j.point, &j.pub, &ok);
    ASSERT_EQ(ok, VRT_SUCCESS);
    jobs.push_back(j);
  }
  std::vector<Bytes> sigs(jobs.size()), points(jobs.size()), pubs(jobs.size());
  std::vector<uint32_t> status(jobs.size());
  std::vector<std::thread> threads;
  for (size_t i = 0; i < jobs.size(); ++i)
    threads.emplace_back(RunJob, std::cref(jobs[i]), &sigs[i], &points[i], &pubs[i], &status[i]);
  for (auto& t : threads) t.join();
  for (size_t i = 0; i < jobs.size(); ++i) {
    SCOPED_TRACE(SetName(jobs[i].set));
    EXPECT_EQ(status[i], VRT_SUCCESS);
    EXPECT_EQ(Hex(sigs[i]), Hex(jobs[i].sig));
    EXPECT_EQ(Hex(points[i]), Hex(jobs[i].point));
    EXPECT_EQ(Hex(pubs[i]), Hex(jobs[i].pub));
  }
}

}  // namespace
