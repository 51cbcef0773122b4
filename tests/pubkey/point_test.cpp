// Point arithmetic: every formula on a toy curve small enough to add every
// pair of points, the formulas and mul_point on the real curves against an
// independent affine reference, the representation changes, and the batch
// normalisation.
#include <gtest/gtest.h>

#include <map>
#include <utility>

#include "pubkey/ec/point.h"
#include "pubkey/ec_test_util.h"
#include "vrt.h"

namespace {

using vrt::ec::CurveParams;
using vrt::ec::Point;
using vrt::ec::RawPoint;
using vrt::math::Int;
using vrt::math::MontInt;
using vrt::test::Affine;
using vrt::test::ForEachPath;
using vrt::test::HexInt;
using vrt::test::Rng;
using vrt::test::TestCurve;

template <int N>
struct Width {
  static constexpr int kBits = N;
};
using Widths = ::testing::Types<Width<256>, Width<512>>;

template <typename T>
class PointTest : public ::testing::Test {};
TYPED_TEST_SUITE(PointTest, Widths);

// The stored coordinates, to compare representations bit for bit.
template <int N>
std::string Raw(const Point<N>& p) {
  return HexInt(p.x.value) + HexInt(p.y.value) + HexInt(p.z.value) + std::to_string(p.jacobian);
}

// The point (x, y) in Jacobian form with the given z (Montgomery values).
template <int N>
Point<N> WithZ(const CurveParams<N>& c, const Point<N>& affine, const MontInt<N>& z) {
  Point<N> r = affine;
  if (r.jacobian == 1) r.make_affine();
  MontInt<N> z2 = z;
  z2 *= z;
  r.x *= z2;
  z2 *= z;
  r.y *= z2;
  r.z = z;
  r.jacobian = 1;
  (void)c;
  return r;
}

template <int N>
MontInt<N> RandomZ(const CurveParams<N>& c) {
  Int<N> z = vrt::test::RandomBelow<N>(c.p);
  if (z.is_zero() || z.is_one()) z = Int<N>(2);
  return MontInt<N>(z, &c.mont);
}

// ---- a toy curve: every pair of points, every formula ----

// y^2 = x^3 + 5x + 76 over GF(227): (7, 0) has order 2.
constexpr long kToyP = 227, kToyA = 5, kToyB = 76;

long ToyMod(long v) { return ((v % kToyP) + kToyP) % kToyP; }
long ToyInv(long v) {
  long r = 1, b = ToyMod(v), e = kToyP - 2;
  for (; e != 0; e >>= 1, b = b * b % kToyP)
    if (e & 1) r = r * b % kToyP;
  return r;
}
using ToyPt = std::pair<long, long>;  // (-1, -1) is infinity
const ToyPt kToyInf = {-1, -1};

ToyPt ToyAdd(ToyPt p, ToyPt q) {
  if (p == kToyInf) return q;
  if (q == kToyInf) return p;
  long l;
  if (p.first == q.first) {
    if (ToyMod(p.second + q.second) == 0) return kToyInf;
    l = ToyMod((3 * p.first * p.first + kToyA) * ToyInv(2 * p.second));
  } else {
    l = ToyMod((q.second - p.second) * ToyInv(q.first - p.first));
  }
  long x = ToyMod(l * l - p.first - q.first);
  return {x, ToyMod(l * (p.first - x) - p.second)};
}

template <int N>
struct ToyCurve {
  sign2012_par_t rec{};
  CurveParams<N> params;
  std::vector<ToyPt> points;  // every point, infinity first

  ToyCurve() {
    rec.bits = N;
    rec.p[0] = static_cast<uint8_t>(kToyP);
    rec.a[0] = static_cast<uint8_t>(kToyA);
    rec.m[0] = rec.q[0] = 1;
    EXPECT_EQ(params.init(&rec), VRT_SUCCESS);
    EXPECT_NE(ToyMod(4 * kToyA * kToyA * kToyA + 27 * kToyB * kToyB), 0) << "singular toy curve";
    points.push_back(kToyInf);
    for (long x = 0; x < kToyP; ++x)
      for (long y = 0; y < kToyP; ++y)
        if (ToyMod(y * y) == ToyMod(x * x * x + kToyA * x + kToyB)) points.push_back({x, y});
  }

  Point<N> Make(ToyPt t) const {
    if (t == kToyInf) {
      Point<N> r = Point<N>::infinity(params);
      r.jacobian = 0;
      return r;
    }
    Point<N> r = Point<N>::from_affine(params, Int<N>(static_cast<uint64_t>(t.first)),
                                       Int<N>(static_cast<uint64_t>(t.second)));
    r.jacobian = 0;
    return r;
  }
  static std::string Str(ToyPt t) {
    if (t == kToyInf) return "inf";
    return HexInt(Int<N>(static_cast<uint64_t>(t.first))) + "," + HexInt(Int<N>(static_cast<uint64_t>(t.second)));
  }
};

TYPED_TEST(PointTest, ToyCurveEveryPairEveryFormula) {
  constexpr int N = TypeParam::kBits;
  ToyCurve<N> toy;
  const auto& pts = toy.points;
  ASSERT_GT(pts.size(), 200u);
  ASSERT_NE(std::find(pts.begin(), pts.end(), ToyPt{7, 0}), pts.end());
  const auto& c = toy.params;
  // Every pair for 256 bits; for 512 every pair with a sample of partners.
  const size_t stride = N == 256 ? 1 : 7;
  for (size_t i = 0; i < pts.size(); ++i) {
    for (size_t j = i % stride; j < pts.size(); j += stride) {
      const std::string want = ToyCurve<N>::Str(ToyAdd(pts[i], pts[j]));
      SCOPED_TRACE(ToyCurve<N>::Str(pts[i]) + " + " + ToyCurve<N>::Str(pts[j]));
      const Point<N> a = toy.Make(pts[i]), b = toy.Make(pts[j]);
      Point<N> r = a;  // affine + affine
      r += b;
      ASSERT_EQ(Affine(r), want) << "affine addition";
      r = WithZ(c, a, RandomZ(c));  // Jacobian + affine pair
      r += b;
      ASSERT_EQ(Affine(r), want) << "mixed addition";
      r = WithZ(c, a, RandomZ(c));  // Jacobian + Jacobian with z = one
      r += WithZ(c, b, c.one);
      ASSERT_EQ(Affine(r), want) << "mixed addition, z = one";
      r = WithZ(c, a, RandomZ(c));  // Jacobian + Jacobian
      r += WithZ(c, b, RandomZ(c));
      ASSERT_EQ(Affine(r), want) << "full addition";
      r = a;  // affine + Jacobian
      r += WithZ(c, b, RandomZ(c));
      ASSERT_EQ(Affine(r), want) << "affine addition of a Jacobian point";
    }
    // Doubling in both forms.
    const std::string dbl = ToyCurve<N>::Str(ToyAdd(pts[i], pts[i]));
    Point<N> d = toy.Make(pts[i]);
    d.dbl_point_affine();
    EXPECT_EQ(Affine(d), dbl);
    d = WithZ(c, toy.Make(pts[i]), RandomZ(c));
    d.dbl_point_jacobian();
    EXPECT_EQ(Affine(d), dbl);
    if (pts[i].second == 0) {
      EXPECT_TRUE(d.is_infinity()) << "a point of order 2 doubles to infinity";
      EXPECT_EQ(HexInt(d.z.value), HexInt(c.one.value)) << "infinity keeps z = one";
    }
  }
}

// k*P for every k up to past the order of P, in each form of P.
TYPED_TEST(PointTest, ToyCurveMultiples) {
  constexpr int N = TypeParam::kBits;
  ToyCurve<N> toy;
  const auto& c = toy.params;
  for (size_t i = 1; i < toy.points.size(); i += N == 256 ? 17 : 53) {
    const ToyPt base = toy.points[i];
    ToyPt want = kToyInf;
    for (uint64_t k = 0; k < 260; ++k, want = ToyAdd(want, base)) {
      SCOPED_TRACE(std::to_string(k) + " * " + ToyCurve<N>::Str(base));
      Point<N> aff = toy.Make(base), jac = WithZ(c, toy.Make(base), RandomZ(c));
      jac.mul_point(Int<N>(k));
      ASSERT_EQ(Affine(jac), ToyCurve<N>::Str(want));
      if (k % 13 == 0) {  // the affine form doubles with an inversion per bit
        aff.mul_point(Int<N>(k));
        ASSERT_EQ(Affine(aff), ToyCurve<N>::Str(want));
      }
    }
  }
}

// ---- the real curves against the GMP reference ----

#if defined(VRT_HAVE_GMP)
using vrt::test::Mpz;
using vrt::test::RefCurve;

template <int N>
RefCurve::Pt RefOf(const TestCurve<N>& c, const Mpz& k) {
  RefCurve ref(*c.params);
  return ref.Mul(k, RefCurve::From<N>(vrt::ec::record_number<N>(c.rec->x), vrt::ec::record_number<N>(c.rec->y)));
}

template <int N>
Point<N> PointOf(const TestCurve<N>& c, const RefCurve::Pt& r) {
  if (r.inf) return Point<N>::infinity(*c.params);
  return Point<N>::from_affine(*c.params, r.x.ToInt<N>(), r.y.ToInt<N>());
}

TYPED_TEST(PointTest, FormulasMatchTheReference) {
  constexpr int N = TypeParam::kBits;
  for (Parameter set : vrt::test::DistinctCurves<N>()) {
    TestCurve<N> c(set);
    RefCurve ref(*c.params);
    SCOPED_TRACE("set " + std::to_string(set));
    for (int iter = 0; iter < 6; ++iter) {
      Mpz k1(vrt::test::RandomBelow<N>(c.q())), k2(vrt::test::RandomBelow<N>(c.q()));
      RefCurve::Pt P = RefOf(c, k1), Q = RefOf(c, k2);
      // P + Q, P + P, P + (-P), P + inf, inf + P.
      const std::pair<RefCurve::Pt, RefCurve::Pt> pairs[] = {
          {P, Q}, {P, P}, {P, ref.Neg(P)}, {P, RefCurve::Pt{}}, {RefCurve::Pt{}, Q}};
      for (const auto& [a, b] : pairs) {
        const std::string want = RefCurve::Str<N>(ref.Add(a, b));
        const Point<N> pa = PointOf(c, a), pb = PointOf(c, b);
        ForEachPath([&] {
          const auto& cp = *c.params;
          Point<N> r = pa;
          r.make_affine();
          Point<N> ob = pb;
          ob.make_affine();
          r += ob;
          EXPECT_EQ(Affine(r), want) << "affine";
          r = WithZ(cp, pa, RandomZ(cp));
          r += pb;  // z = one
          EXPECT_EQ(Affine(r), want) << "mixed";
          r = WithZ(cp, pa, RandomZ(cp));
          r += WithZ(cp, pb, RandomZ(cp));
          EXPECT_EQ(Affine(r), want) << "full";
        });
      }
    }
  }
}

TYPED_TEST(PointTest, MulPointMatchesTheReference) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  I ones;
  for (auto& w : ones.words) w = ~uint64_t{0};
  for (Parameter set : vrt::test::DistinctCurves<N>()) {
    TestCurve<N> c(set);
    SCOPED_TRACE("set " + std::to_string(set));
    std::vector<I> ks = {I(), I(1), I(2), I(3), c.q() - I(1), c.q(), c.q() + I(1), ones,
                         vrt::test::RandomBelow<N>(c.q()), vrt::test::RandomInt<N>()};
    for (size_t i = 0; i < ks.size(); ++i) {
      const I& k = ks[i];
      const std::string want = RefCurve::Str<N>(RefOf(c, Mpz(k)));
      SCOPED_TRACE("k = " + HexInt(k));
      std::string raw[2];
      for (bool fast : {false, true}) {
        if (fast && !vrt::test::HaveBmi2()) continue;
        vrt::test::AsmPath path(fast);
        Point<N> p = c.g;  // Jacobian, z = one
        p *= k;
        EXPECT_EQ(Affine(p), want);
        EXPECT_EQ(p.jacobian, 1u);
        raw[fast] = Raw(p);
        p = WithZ(*c.params, c.g, RandomZ(*c.params));  // Jacobian, z != one
        p.mul_point(k);
        EXPECT_EQ(Affine(p), want);
        if (i % 4 == 1) {  // the affine base: an inversion per doubling
          p = c.g;
          p.make_affine();
          p.mul_point(k);
          EXPECT_EQ(Affine(p), want);
        }
      }
      if (vrt::test::HaveBmi2()) {
        EXPECT_EQ(raw[0], raw[1]) << "both paths store the same point";
      }
    }
  }
}
#endif  // VRT_HAVE_GMP

// ---- representation, modes and guards ----

TYPED_TEST(PointTest, RepresentationChanges) {
  constexpr int N = TypeParam::kBits;
  TestCurve<N> c(vrt::test::DistinctCurves<N>()[1]);
  const auto& cp = *c.params;
  Point<N> p = c.g;
  p.mul_point(vrt::test::RandomBelow<N>(c.q()));
  ASSERT_EQ(p.jacobian, 1u);
  Point<N> a = p;
  a.make_affine();
  EXPECT_EQ(a.jacobian, 0u);
  EXPECT_EQ(HexInt(a.z.value), HexInt(cp.one.value));
  EXPECT_EQ(HexInt(p.get_value_x()), HexInt(a.get_value_x()));
  EXPECT_EQ(HexInt(p.get_value_y()), HexInt(a.get_value_y()));
  a.make_affine();  // affine stays affine
  EXPECT_EQ(a.jacobian, 0u);
  a.make_jacobian();
  EXPECT_EQ(a.jacobian, 1u);
  EXPECT_EQ(Affine(a), Affine(p));
  Point<N> j = p;
  j.make_jacobian();  // Jacobian stays as it is
  EXPECT_EQ(Raw(j), Raw(p));

  // is_infinity looks at x and y only.
  Point<N> inf = Point<N>::infinity(cp);
  for (uint32_t form : {0u, 1u, 7u}) {
    inf.jacobian = form;
    inf.z = RandomZ(cp);
    EXPECT_TRUE(inf.is_infinity());
  }
  EXPECT_FALSE(c.g.is_infinity());
  // CryptoPro C has x = 0 in its base point: not infinity.
  TestCurve<256> cc(VRT_PARAM_CRYPTOPRO_C);
  EXPECT_TRUE(cc.g.x.is_zero());
  EXPECT_FALSE(cc.g.is_infinity());

  // Other jacobian values: no coordinates, no additions; other modes: no
  // multiplication.
  Point<N> odd = p;
  odd.jacobian = 2;
  EXPECT_TRUE(odd.get_value_x().is_zero());
  EXPECT_TRUE(odd.get_value_y().is_zero());
  const std::string before = Raw(odd);
  odd += c.g;
  EXPECT_EQ(Raw(odd), before);
  Point<N> q = c.g;
  q += odd;  // the other side is odd too
  EXPECT_EQ(Raw(q), Raw(c.g));
  q.mul_mode = 5;
  q *= Int<N>(3);
  EXPECT_EQ(Raw(q), Raw(c.g));
  // Mode 1 without a table falls back to mul_point.
  q.mul_mode = 1;
  q *= Int<N>(2);
  Point<N> twice = c.g;
  twice.dbl_point_jacobian();
  EXPECT_EQ(Affine(q), Affine(twice));
}

// A point that takes another's fields at infinity takes its table too; once
// its value changes, the table no longer belongs to it.
TYPED_TEST(PointTest, ChangedPointLeavesItsTable) {
  constexpr int N = TypeParam::kBits;
  TestCurve<N> c(vrt::test::DistinctCurves<N>()[0]);
  Point<N> g = c.g;
  g.mul_mode = 1;  // a table that would answer for g only
  g.precomp = reinterpret_cast<vrt::ec::Precomp<N>*>(uintptr_t{0x10});
  Point<N> sum = Point<N>::infinity(*c.params);
  sum.add_point_jacobian(g);
  EXPECT_EQ(sum.mul_mode, 1u) << "a copy of g keeps g's table";
  sum += g;  // 2g: the table is g's, not this point's
  EXPECT_EQ(sum.mul_mode, 0u);
  EXPECT_EQ(sum.precomp, nullptr);
  Point<N> d = g;
  d.dbl_point_jacobian();
  EXPECT_EQ(d.precomp, nullptr);
  Point<N> m = g;
  m.mul_point(Int<N>(5));
  EXPECT_EQ(m.mul_mode, 0u);
  EXPECT_EQ(m.precomp, nullptr);
  // Adding infinity changes nothing and keeps the table.
  Point<N> same = g;
  same += Point<N>::infinity(*c.params);
  EXPECT_EQ(same.mul_mode, 1u);
}

// One batch inversion gives what 256 separate inversions give.
TYPED_TEST(PointTest, MontgomeryTrickEqualsSeparateInversions) {
  constexpr int N = TypeParam::kBits;
  TestCurve<N> c(vrt::test::DistinctCurves<N>()[2]);
  const auto& cp = *c.params;
  ForEachPath([&] {
    std::vector<Point<N>> batch(256), single(256);
    Point<N> acc = c.g;
    for (int i = 0; i < 256; ++i) {
      acc.dbl_point_jacobian();
      acc += c.g;
      batch[i] = WithZ(cp, acc, RandomZ(cp));
    }
    batch[0] = Point<N>::infinity(cp);  // z = one
    batch[77] = c.g;                    // already z = one
    batch[100] = c.g;
    batch[100].make_affine();  // affine: left alone
    batch[200].z.value = Int<N>();  // z = 0: infinity
    single = batch;
    vrt::ec::montgomery_trick<N, 256>(batch.data(), cp.mont);
    for (int i = 0; i < 256; ++i) {
      SCOPED_TRACE(i);
      Point<N> s = single[i];
      if (i == 200) {
        EXPECT_TRUE(batch[i].is_infinity());
        EXPECT_EQ(HexInt(batch[i].z.value), HexInt(cp.one.value));
        continue;
      }
      if (i == 100) {
        EXPECT_EQ(Raw(batch[i]), Raw(s));
        continue;
      }
      s.make_affine();
      EXPECT_EQ(HexInt(batch[i].x.value), HexInt(s.x.value));
      EXPECT_EQ(HexInt(batch[i].y.value), HexInt(s.y.value));
      EXPECT_EQ(HexInt(batch[i].z.value), HexInt(cp.one.value));
      EXPECT_EQ(batch[i].jacobian, 1u) << "stays Jacobian, with z = one";
    }
  });
}

}  // namespace
