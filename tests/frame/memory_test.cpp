// The two wipe functions and the seed of the memory-reset generator.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <ctime>

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

// The first 32 wipe bytes of a process that has just set up its memory-reset
// generator (a forked child, as a process started now would).
std::string ChildWipeBytes() {
  int fds[2];
  if (pipe(fds) != 0) return "pipe";
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    uint8_t buf[32] = {};
    if (vrtpMemResetRandomInit() == VRT_SUCCESS) vrt_memreset_s(buf, sizeof buf);
    const ssize_t w = write(fds[1], buf, sizeof buf);
    _exit(w == static_cast<ssize_t>(sizeof buf) ? 0 : 1);
  }
  close(fds[1]);
  uint8_t buf[32] = {};
  size_t got = 0;
  for (ssize_t r; got < sizeof buf && (r = read(fds[0], buf + got, sizeof buf - got)) > 0;) got += static_cast<size_t>(r);
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (got != sizeof buf || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return "child failed";
  return Hex(buf, sizeof buf);
}

// Two processes that set up the library in the same second draw different
// masks and wipe bytes: the generator is seeded by the system, not by the
// clock.
TEST(MemresetS, TwoProcessesDrawDifferentBytes) {
  std::string a, b;
  time_t t0 = 0, t1 = 1;
  for (int attempt = 0; attempt < 5 && t0 != t1; ++attempt) {
    t0 = time(nullptr);
    a = ChildWipeBytes();
    b = ChildWipeBytes();
    t1 = time(nullptr);
  }
  ASSERT_EQ(t0, t1) << "could not start both within one second";
  ASSERT_EQ(a.size(), 64u) << a;
  ASSERT_EQ(b.size(), 64u) << b;
  EXPECT_NE(a, b);
}

// The seed comes from the system; the clock seed only stands in when the
// system gives none (here refused on purpose), and still never holds 255.
TEST(MemresetS, SeedFromTheSystemWithTheClockAsFallback) {
  uint8_t x[40], y[40];
  EXPECT_TRUE(vrt::frame::memreset_seed(x, sizeof x));
  EXPECT_TRUE(vrt::frame::memreset_seed(y, sizeof y));
  EXPECT_NE(Hex(x, sizeof x), Hex(y, sizeof y));
  EXPECT_FALSE(vrt::frame::memreset_seed(x, sizeof x, false));
  for (uint8_t v : x) ASSERT_NE(v, 255);
}

}  // namespace
