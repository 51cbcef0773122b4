// The curve records against their published numbers, the properties those
// numbers must have, libgcrypt's copy of the same curves, and the published
// public keys.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file_test.h"
#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/ec_test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif

namespace {

using vrt::math::Int;
using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::ForEachPath;
using vrt::test::Hex;
using vrt::test::HexInt;
using vrt::test::TestCurve;

// A published number (most significant first) as the record stores it: 64
// little-endian bytes.
Bytes RecordBytes(const Bytes& printed) {
  Bytes le(printed.rbegin(), printed.rend());
  EXPECT_LE(le.size(), 64u);
  le.resize(64, 0);
  return le;
}

#if defined(VRT_HAVE_GCRYPT)
// libgcrypt's number (name p, a, b, n, h, g.x, g.y) of a curve as lowercase
// hex without leading zeros.
std::string GcryptNumber(gcry_ctx_t ctx, const char* name) {
  gcry_mpi_t v = nullptr;
  gcry_mpi_t x = nullptr, y = nullptr;
  if (std::strncmp(name, "g.", 2) == 0) {
    gcry_mpi_point_t g = gcry_mpi_ec_get_point("g", ctx, 1);
    if (g == nullptr) return "missing";
    x = gcry_mpi_new(0);
    y = gcry_mpi_new(0);
    gcry_mpi_point_get(x, y, nullptr, g);
    gcry_mpi_point_release(g);
    v = name[2] == 'x' ? x : y;
  } else {
    v = gcry_mpi_ec_get_mpi(name, ctx, 1);
    if (v == nullptr) return "missing";
  }
  unsigned char* buf = nullptr;
  gcry_mpi_aprint(GCRYMPI_FMT_HEX, &buf, nullptr, v);
  std::string s(reinterpret_cast<char*>(buf));
  gcry_free(buf);
  if (x != nullptr) {
    gcry_mpi_release(x);
    gcry_mpi_release(y);
  } else {
    gcry_mpi_release(v);
  }
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t nz = s.find_first_not_of('0');
  return nz == std::string::npos ? "0" : s.substr(nz);
}

std::string Stripped(const Bytes& printed) {
  std::string s = Hex(printed);
  size_t nz = s.find_first_not_of('0');
  return nz == std::string::npos ? "0" : s.substr(nz);
}
#endif

template <int N>
void CheckCurveProperties(Parameter set, const Bytes& b_printed, uint64_t cofactor) {
  TestCurve<N> c(set);
  EXPECT_EQ(c.params->cofactor, Int<N>(cofactor));
  // q*G is the point at infinity, (q+1)*G is G, on both paths.
  ForEachPath([&] {
    vrt::ec::Point<N> p = c.g;
    p.mul_point(c.q());
    EXPECT_TRUE(p.is_infinity());
    p = c.g;
    p.mul_point(c.q() + Int<N>(1));
    EXPECT_EQ(vrt::test::Affine(p), vrt::test::Affine(c.g));
  });
#if defined(VRT_HAVE_GMP)
  using vrt::test::Mpz;
  Mpz p(c.p()), a(c.params->a), b(Hex(b_printed)), q(c.q()), x(vrt::ec::record_number<N>(c.rec->x)),
      y(vrt::ec::record_number<N>(c.rec->y)), m, t, u;
  EXPECT_GT(mpz_probab_prime_p(p, 40), 0) << "p is not prime";
  EXPECT_GT(mpz_probab_prime_p(q, 40), 0) << "q is not prime";
  EXPECT_GT(mpz_sizeinbase(p, 2), size_t{N} - 2) << "p is of the key width";
  // y^2 = x^3 + a x + b (mod p)
  mpz_mul(t, y, y);
  mpz_powm_ui(u, x, 3, p);
  mpz_sub(t, t, u);
  mpz_submul(t, a, x);
  mpz_sub(t, t, b);
  mpz_mod(t, t, p);
  EXPECT_EQ(mpz_sgn(t.get()), 0) << "base point not on the curve";
  // m = cofactor * q from the record, within the Hasse bound of p + 1.
  mpz_import(m, 8, -1, 8, 0, 0, c.rec->m);
  mpz_mul_ui(t, q, cofactor);
  EXPECT_EQ(mpz_cmp(m, t), 0) << "m is not cofactor * q";
  mpz_add_ui(t, p, 1);
  mpz_sub(t, t, m);
  mpz_mul(t, t, t);
  mpz_mul_ui(u, p, 4);
  EXPECT_LE(mpz_cmp(t, u), 0) << "m outside the Hasse bound";
  // The same with the independent affine reference.
  vrt::test::RefCurve ref(p, a);
  EXPECT_TRUE(ref.Mul(q, vrt::test::RefCurve::From<N>(x.ToInt<N>(), y.ToInt<N>())).inf);
#else
  (void)b_printed;
#endif
}

TEST(CurveRecords, MatchThePublishedNumbers) {
  int cases = 0;
  vrt::test::FileTestRun("pubkey/curves.txt", [&](FileTest& t) {
    const auto set = static_cast<Parameter>(t.GetInt("Set"));
    const std::string name = t.GetText("Name");
    SCOPED_TRACE(name);
    const sign2012_par_t* rec = vrt::ec::parameter_record(set);
    ASSERT_NE(rec, nullptr);
    const uint64_t bits = t.GetInt("Bits");
    EXPECT_EQ(rec->bits, bits);
    EXPECT_EQ(Hex(rec->reserved, sizeof rec->reserved), std::string(24, '0'));
    EXPECT_EQ(reinterpret_cast<uintptr_t>(rec->p) % 16, 0u) << "numbers are 16-byte aligned";
    const Bytes b = t.GetBytes("B");
    struct Field {
      const char* name;
      const uint8_t* bytes;
    } fields[] = {{"P", rec->p}, {"A", rec->a}, {"M", rec->m}, {"Q", rec->q}, {"X", rec->x}, {"Y", rec->y}};
    Bytes printed[6];
    for (int i = 0; i < 6; ++i) {
      printed[i] = t.GetBytes(fields[i].name);
      EXPECT_EQ(Hex(fields[i].bytes, 64), Hex(RecordBytes(printed[i]))) << fields[i].name;
    }
    const uint64_t cofactor = t.GetInt("Cofactor");
    if (bits == 256)
      CheckCurveProperties<256>(set, b, cofactor);
    else
      CheckCurveProperties<512>(set, b, cofactor);
    const std::string gcrypt_name = t.GetText("Gcrypt");
#if defined(VRT_HAVE_GCRYPT)
    ASSERT_TRUE(gcry_check_version(nullptr));
    gcry_ctx_t ctx = nullptr;
    ASSERT_EQ(gcry_mpi_ec_new(&ctx, nullptr, gcrypt_name.c_str()), 0u) << gcrypt_name;
    EXPECT_EQ(GcryptNumber(ctx, "p"), Stripped(printed[0]));
    EXPECT_EQ(GcryptNumber(ctx, "a"), Stripped(printed[1]));
    EXPECT_EQ(GcryptNumber(ctx, "b"), Stripped(b));
    EXPECT_EQ(GcryptNumber(ctx, "n"), Stripped(printed[3]));
    EXPECT_EQ(GcryptNumber(ctx, "h"), std::to_string(cofactor));
    EXPECT_EQ(GcryptNumber(ctx, "g.x"), Stripped(printed[4]));
    EXPECT_EQ(GcryptNumber(ctx, "g.y"), Stripped(printed[5]));
    gcry_ctx_release(ctx);
#endif
    ++cases;
  });
  EXPECT_EQ(cases, static_cast<int>(VRT_PARAM_COUNT)) << "one case per parameter set";
}

TEST(CurveRecords, SharedCurvesCarryIdenticalNumbers) {
  const std::vector<std::vector<Parameter>> groups = {
      {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_CRYPTOPRO_XCHA, VRT_PARAM_TC26_256_B},
      {VRT_PARAM_CRYPTOPRO_B, VRT_PARAM_TC26_256_C},
      {VRT_PARAM_CRYPTOPRO_C, VRT_PARAM_CRYPTOPRO_XCHB, VRT_PARAM_TC26_256_D}};
  for (const auto& g : groups)
    for (Parameter s : g) {
      const auto* a = vrt::ec::parameter_record(g[0]);
      const auto* b = vrt::ec::parameter_record(s);
      EXPECT_EQ(Hex(a, sizeof *a), Hex(b, sizeof *b)) << "sets " << g[0] << " and " << s;
    }
  // And no two other sets share numbers.
  for (Parameter s : vrt::test::DistinctCurves256())
    for (Parameter t : vrt::test::DistinctCurves256())
      if (s < t) {
        EXPECT_NE(Hex(vrt::ec::parameter_record(s), 400), Hex(vrt::ec::parameter_record(t), 400));
      }
}

TEST(CurveRecords, TableByParameter) {
  const sign2012_par_t* expected[] = {
      &gost3410_param_GostR3410_2001_CryptoPro_TestParamSet, &gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet,
      &gost3410_param_GostR3410_2001_CryptoPro_B_ParamSet,   &gost3410_param_GostR3410_2001_CryptoPro_C_ParamSet,
      &gost3410_param_GostR3410_2001_CryptoPro_XchA_ParamSet, &gost3410_param_GostR3410_2001_CryptoPro_XchB_ParamSet,
      &gost3410_param_tc26_gost_3410_12_256_paramSetA,       &gost3410_param_tc26_gost_3410_12_256_paramSetB,
      &gost3410_param_tc26_gost_3410_12_256_paramSetC,       &gost3410_param_tc26_gost_3410_12_256_paramSetD,
      &gost3410_param_tc26_gost_3410_12_512_paramSetTest,    &gost3410_param_tc26_gost_3410_12_512_paramSetA,
      &gost3410_param_tc26_gost_3410_12_512_paramSetB,       &gost3410_param_tc26_gost_3410_12_512_paramSetC};
  static_assert(sizeof(sign2012_par_t) == 400, "record layout");
  static_assert(offsetof(sign2012_par_t, p) == 16 && offsetof(sign2012_par_t, a) == 80 &&
                    offsetof(sign2012_par_t, m) == 144 && offsetof(sign2012_par_t, q) == 208 &&
                    offsetof(sign2012_par_t, x) == 272 && offsetof(sign2012_par_t, y) == 336,
                "field offsets");
  for (Parameter s = 0; s < VRT_PARAM_COUNT; ++s) {
    EXPECT_EQ(vrt::ec::parameter_record(s), expected[s]) << s;
    EXPECT_EQ(vrt::ec::parameter_bits(s), s < 10 ? 256u : 512u) << s;
  }
  for (Parameter s : {VRT_PARAM_COUNT, Parameter{100}, ~Parameter{0}}) {
    EXPECT_EQ(vrt::ec::parameter_record(s), nullptr);
    EXPECT_EQ(vrt::ec::parameter_bits(s), 0u);
  }
}

TEST(CurveParams, LoadsOnlyRecordsOfItsWidth) {
  vrt::ec::CurveParams<256> c256;
  vrt::ec::CurveParams<512> c512;
  EXPECT_EQ(c256.init(nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c256.init(&gost3410_param_tc26_gost_3410_12_512_paramSetA), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c512.init(&gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_TRUE(c256.p.is_zero()) << "a refused record loads nothing";
  ASSERT_EQ(c256.init(&gost3410_param_tc26_gost_3410_12_256_paramSetA), VRT_SUCCESS);
  ASSERT_EQ(c512.init(&gost3410_param_tc26_gost_3410_12_512_paramSetC), VRT_SUCCESS);
  EXPECT_EQ(c256.cofactor, Int<256>(4));
  EXPECT_EQ(c512.cofactor, Int<512>(4));
  EXPECT_EQ(HexInt(static_cast<Int<256>>(c256.one)), HexInt(Int<256>(1)));
  EXPECT_EQ(HexInt(static_cast<Int<256>>(c256.a_mont)), HexInt(c256.a));
  EXPECT_EQ(c256.one.context, &c256.mont);
  EXPECT_EQ(c256.mont.mont_inverse * c256.p.words[0], ~uint64_t{0});
}

// d*G for the published keys, by mul_point on both paths.
TEST(PublicKeys, PublishedExamples) {
  vrt::test::FileTestRun("pubkey/public_keys.txt", [](FileTest& t) {
    const auto set = static_cast<Parameter>(t.GetInt("Set"));
    const Bytes d = t.GetBytes("D"), x = t.GetBytes("X"), y = t.GetBytes("Y");
    const std::string want = Hex(x) + "," + Hex(y);
    ForEachPath([&] {
      if (vrt::ec::parameter_bits(set) == 256) {
        TestCurve<256> c(set);
        vrt::ec::Point<256> q = c.g;
        q *= Int<256>::from_be_bytes(d.data(), d.size());
        EXPECT_EQ(vrt::test::Affine(q), want);
      } else {
        TestCurve<512> c(set);
        vrt::ec::Point<512> q = c.g;
        q *= Int<512>::from_be_bytes(d.data(), d.size());
        EXPECT_EQ(vrt::test::Affine(q), want);
      }
    });
  });
}

}  // namespace
