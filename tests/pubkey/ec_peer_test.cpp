// Public-key derivation d*G against libgcrypt's GOST curves on every
// parameter set. libgcrypt names the curves by name or OID; sets that share a
// curve are reached through their own OIDs where libgcrypt knows them.
#include <gtest/gtest.h>

#include <string>

#include "pubkey/ec/precomp.h"
#include "pubkey/ec_test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif

namespace {

using vrt::math::Int;
using vrt::test::HexInt;
using vrt::test::TestCurve;

#if defined(VRT_HAVE_GCRYPT)
const char* const kGcryptCurve[VRT_PARAM_COUNT] = {
    "GOST2001-test",       "GOST2001-CryptoPro-A", "GOST2001-CryptoPro-B", "GOST2001-CryptoPro-C",
    "1.2.643.2.2.36.0",    "1.2.643.2.2.36.1",     "GOST2012-256-A",       "1.2.643.7.1.2.1.1.2",
    "1.2.643.7.1.2.1.1.3", "1.2.643.7.1.2.1.1.4",  "GOST2012-512-test",    "GOST2012-512-tc26-A",
    "GOST2012-512-tc26-B", "GOST2012-512-tc26-C"};

// "x,y" of d*G by libgcrypt (numbers as big-endian hex at the key width), or
// "inf".
template <int N>
std::string GcryptPublicKey(const char* curve, const Int<N>& d) {
  gcry_ctx_t ctx = nullptr;
  EXPECT_EQ(gcry_mpi_ec_new(&ctx, nullptr, curve), 0u) << curve;
  if (ctx == nullptr) return "no curve";
  uint8_t be[N / 8];
  d.to_be_bytes(be, sizeof be);
  gcry_mpi_t k = nullptr;
  EXPECT_EQ(gcry_mpi_scan(&k, GCRYMPI_FMT_USG, be, sizeof be, nullptr), 0u);
  gcry_mpi_point_t g = gcry_mpi_ec_get_point("g", ctx, 1);
  gcry_mpi_point_t q = gcry_mpi_point_new(0);
  gcry_mpi_ec_mul(q, k, g, ctx);
  gcry_mpi_t x = gcry_mpi_new(0), y = gcry_mpi_new(0);
  std::string r = "inf";
  if (gcry_mpi_ec_get_affine(x, y, q, ctx) == 0) {
    uint8_t bx[N / 8], by[N / 8];
    size_t nx = 0, ny = 0;
    gcry_mpi_print(GCRYMPI_FMT_USG, bx, sizeof bx, &nx, x);
    gcry_mpi_print(GCRYMPI_FMT_USG, by, sizeof by, &ny, y);
    r = HexInt(Int<N>::from_be_bytes(bx, nx)) + "," + HexInt(Int<N>::from_be_bytes(by, ny));
  }
  gcry_mpi_release(x);
  gcry_mpi_release(y);
  gcry_mpi_point_release(q);
  gcry_mpi_point_release(g);
  gcry_mpi_release(k);
  gcry_ctx_release(ctx);
  return r;
}

template <int N>
void CompareWithGcrypt(Parameter set) {
  SCOPED_TRACE(std::string("set ") + std::to_string(set) + " " + kGcryptCurve[set]);
  TestCurve<N> c(set);
  std::vector<Int<N>> ds = {Int<N>(1), Int<N>(2), c.q() - Int<N>(1), Int<N>(0xFFFFFFFF)};
  for (int i = 0; i < 8; ++i) ds.push_back(vrt::test::RandomBelow<N>(c.q()));
  ds.push_back(vrt::test::RandomBelow<N>(Int<N>(1) + (Int<N>(1) <<= 100)));  // leading zero bytes
  // An 8-bit window table for the fast path the 512-bit signer takes.
  using T = vrt::ec::PrecompWindow<N, 8>;
  std::vector<uint8_t> mem(T::kTableBytes);
  T table(mem.data());
  ASSERT_EQ(table.generate(c.g, c.params->mont), VRT_SUCCESS);
  for (const Int<N>& d : ds) {
    SCOPED_TRACE("d = " + HexInt(d));
    const std::string want = GcryptPublicKey<N>(kGcryptCurve[set], d);
    vrt::ec::Point<N> q = c.g;
    q *= d;
    EXPECT_EQ(vrt::test::Affine(q), want);
    EXPECT_EQ(vrt::test::Affine(table * d), want);
  }
}

TEST(EcPeer, PublicKeysMatchLibgcrypt) {
  ASSERT_TRUE(gcry_check_version(nullptr));
  vrt::test::ForEachPath([] {
    for (Parameter set = 0; set < VRT_PARAM_COUNT; ++set) {
      if (vrt::ec::parameter_bits(set) == 256)
        CompareWithGcrypt<256>(set);
      else
        CompareWithGcrypt<512>(set);
    }
  });
}
#else
TEST(EcPeer, PublicKeysMatchLibgcrypt) { GTEST_SKIP() << "libgcrypt not found"; }
#endif

}  // namespace
