// The constant-time field and the divstep inversion: against the plain
// integer layer (Montgomery product, modular sums) and the binary inversion
// on random and edge values, on p and q of every distinct curve.
#include <gtest/gtest.h>

#include "pubkey/ec/quarter.h"
#include "pubkey/ec_test_util.h"
#include "pubkey/math/field_ct.h"
#include "pubkey/pubkey_test_util.h"

namespace {

using vrt::math::FieldCt;
using vrt::math::Int;
using vrt::test::ForEachPath;
using vrt::test::HexInt;
using vrt::test::RandomInt;

template <int N>
Int<N> Below(const Int<N>& m) {
  Int<N> r = RandomInt<N>();
  while (r >= m) r >>= 1;
  return r;
}

// Edge values below m: 0, 1, 2, m - 1, m - 2, powers of two, all ones below.
template <int N>
std::vector<Int<N>> Edges(const Int<N>& m) {
  std::vector<Int<N>> v = {Int<N>(), Int<N>(1), Int<N>(2), m - Int<N>(1), m - Int<N>(2)};
  for (int b : {63, 64, 127, N - 2}) {
    Int<N> t;
    t.set_bit(b);
    if (t < m) v.push_back(t);
  }
  Int<N> ones;
  for (auto& w : ones.words) w = ~uint64_t{0};
  ones >>= 4;
  while (ones >= m) ones >>= 1;
  v.push_back(ones);
  return v;
}

template <int N>
void CheckField(const Int<N>& m) {
  SCOPED_TRACE(HexInt(m));
  FieldCt<N> f(m);
  const vrt::math::MontContext<N> ctx(m);
  std::vector<Int<N>> values = Edges<N>(m);
  for (int i = 0; i < 40; ++i) values.push_back(Below<N>(m));
  ForEachPath([&] {
    for (size_t i = 0; i < values.size(); ++i) {
      const Int<N>& a = values[i];
      const Int<N>& b = values[(i * 7 + 3) % values.size()];
      // Into Montgomery form and back; also from numbers of m or more.
      Int<N> am, back;
      f.to_mont(am, a);
      EXPECT_EQ(HexInt(am), HexInt(vrt::math::MontInt<N>(a, &ctx).value));
      f.from_mont(back, am);
      EXPECT_EQ(HexInt(back), HexInt(a));
      Int<N> big = a + m, bm;
      if (big > a) {
        f.to_mont(bm, big);
        EXPECT_EQ(HexInt(bm), HexInt(am));
      }
      // Product, sum, difference, negation against the integer layer.
      Int<N> prod, want = a;
      f.mul(prod, a, b);
      vrt::math::MontInt<N> ma = vrt::math::MontInt<N>::from_raw(a, &ctx), mb = vrt::math::MontInt<N>::from_raw(b, &ctx);
      ma *= mb;
      EXPECT_EQ(HexInt(prod), HexInt(ma.value));
      Int<N> s, d, n;
      f.add(s, a, b);
      want = a;
      want.mod(m) += b;
      EXPECT_EQ(HexInt(s), HexInt(want));
      f.sub(d, a, b);
      want = a;
      want.mod(m) -= b;
      EXPECT_EQ(HexInt(d), HexInt(want));
      f.neg(n, a);
      want = Int<N>();
      want.mod(m) -= a;
      EXPECT_EQ(HexInt(n), HexInt(want));
      // Inversion: both forms agree with the binary algorithm, on plain
      // numbers and in Montgomery form.
      const Int<N> inv = a.inverse_generic(m);
      EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_ct<N>(a, f.by)), HexInt(inv));
      EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<N>(a, f.by)), HexInt(inv));
      if (!a.is_zero()) {
        Int<N> mi, mv, one;
        f.inv(mi, am);
        f.inv_var(mv, am);
        EXPECT_EQ(HexInt(mi), HexInt(mv));
        f.mul(one, mi, am);
        EXPECT_EQ(HexInt(one), HexInt(f.one));
      }
    }
    // Sums and differences of every pair of edge values: a + b = m, a + b
    // just below and above 2^N, a - b = -1.
    const std::vector<Int<N>> edges = Edges<N>(m);
    for (const Int<N>& a : edges) {
      for (const Int<N>& b : edges) {
        Int<N> s, d, want = a;
        f.add(s, a, b);
        want.mod(m) += b;
        EXPECT_EQ(HexInt(s), HexInt(want)) << HexInt(a) << " + " << HexInt(b);
        f.sub(d, a, b);
        want = a;
        want.mod(m) -= b;
        EXPECT_EQ(HexInt(d), HexInt(want)) << HexInt(a) << " - " << HexInt(b);
      }
    }
  });
}

TEST(FieldCt, AgreesWithTheIntegerLayer256) {
  for (Parameter set : vrt::test::DistinctCurves256()) {
    vrt::test::TestCurve<256> c(set);
    CheckField<256>(c.p());
    CheckField<256>(c.q());
  }
}

TEST(FieldCt, AgreesWithTheIntegerLayer512) {
  for (Parameter set : vrt::test::DistinctCurves512()) {
    vrt::test::TestCurve<512> c(set);
    CheckField<512>(c.p());
    CheckField<512>(c.q());
  }
}

// The fold table of the variable-time steps: each entry clears the low six
// bits, and a shorter mask clears as many.
TEST(FieldCt, FoldMultiplesClearTheLowBits) {
  for (uint64_t f = 1; f < 256; f += 2)
    for (uint64_t g = 0; g < 256; ++g)
      for (int limit = 1; limit <= vrt::math::safegcd::kFoldBits; ++limit) {
        const uint64_t mask = (uint64_t{1} << limit) - 1;
        const uint64_t w = vrt::math::safegcd::fold_multiple(f, g, mask);
        EXPECT_EQ((g + w * f) & mask, 0u) << f << " " << g << " " << limit;
        EXPECT_EQ(w & ~mask, 0u);
      }
}

// Moduli near the word edges: the largest odd numbers of the width, and
// small ones; inputs without an inverse give 0 from the variable-time form.
TEST(FieldCt, InversionEdges) {
  Int<256> top;
  for (auto& w : top.words) w = ~uint64_t{0};  // 2^256 - 1 = 3 * 5 * 17 * ...
  const vrt::math::safegcd::Modulus<256> mt = vrt::math::safegcd::make_modulus<256>(top);
  EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<256>(Int<256>(3), mt)), HexInt(Int<256>()));
  EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<256>(Int<256>(2), mt)), HexInt(Int<256>(2).inverse_generic(top)));
  for (int i = 0; i < 200; ++i) {
    Int<256> a = RandomInt<256>();
    if (a == top) continue;
    const Int<256> want = a.inverse_generic(top);
    EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<256>(a, mt)), HexInt(want)) << HexInt(a);
    if (!want.is_zero()) {
      EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_ct<256>(a, mt)), HexInt(want)) << HexInt(a);
    }
  }
  Int<512> top5;
  for (auto& w : top5.words) w = ~uint64_t{0};
  top5.words[0] -= 2;  // 2^512 - 3, odd
  const auto m5 = vrt::math::safegcd::make_modulus<512>(top5);
  for (int i = 0; i < 200; ++i) {
    Int<512> a = RandomInt<512>();
    if (a >= top5) continue;
    const Int<512> want = a.inverse_generic(top5);
    EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<512>(a, m5)), HexInt(want)) << HexInt(a);
    if (!want.is_zero()) {
      EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_ct<512>(a, m5)), HexInt(want)) << HexInt(a);
    }
  }
}

#if defined(VRT_HAVE_GMP)
// Both inversions and the Jacobi symbol against GMP on the edge values and
// random numbers below p and q of every distinct curve, and the symbol on
// random odd moduli (composite, of every length) with numbers of any size.
template <int N>
void CheckAgainstGmp(const Int<N>& m) {
  SCOPED_TRACE(HexInt(m));
  const auto mod = vrt::math::safegcd::make_modulus<N>(m);
  const vrt::test::Mpz mm(m);
  std::vector<Int<N>> values = Edges<N>(m);
  for (int i = 0; i < 200; ++i) values.push_back(vrt::test::RandomBelow<N>(m));
  for (const Int<N>& a : values) {
    const vrt::test::Mpz ma(a);
    vrt::test::Mpz want;
    if (mpz_invert(want, ma, mm) == 0) mpz_set_ui(want, 0);
    EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_var<N>(a, mod)), HexInt(want.ToInt<N>())) << HexInt(a);
    EXPECT_EQ(HexInt(vrt::math::safegcd::inverse_ct<N>(a, mod)), HexInt(want.ToInt<N>())) << HexInt(a);
    EXPECT_EQ(vrt::math::safegcd::jacobi_var<N>(a, m), mpz_jacobi(ma, mm)) << HexInt(a);
  }
}

template <int N>
void CheckJacobiOddModuli() {
  for (int i = 0; i < 400; ++i) {
    Int<N> m = RandomInt<N>(), a = RandomInt<N>();
    m >>= static_cast<uint64_t>(i % N);
    m.words[0] |= 1;
    if (i % 5 == 0) a >>= static_cast<uint64_t>((i * 7) % N);
    if (i % 11 == 0) a = m;  // a common factor
    if (i % 13 == 0) a = m + m;
    const vrt::test::Mpz mm(m), ma(a);
    EXPECT_EQ(vrt::math::safegcd::jacobi_var<N>(a, m), mpz_jacobi(ma, mm)) << HexInt(a) << " / " << HexInt(m);
  }
  // Small moduli: 1 (every symbol is 1), 3, and a square of a prime.
  for (uint64_t mv : {1u, 3u, 9u, 15u, 49u}) {
    for (uint64_t av = 0; av < 60; ++av) {
      const Int<N> m(mv), a(av);
      const vrt::test::Mpz mm(m), ma(a);
      EXPECT_EQ(vrt::math::safegcd::jacobi_var<N>(a, m), mpz_jacobi(ma, mm)) << av << " / " << mv;
    }
  }
}

// The powers of the group test on import: the run-of-ones chain (taken by
// (p + 1) / 4 of p = 2^N - c, and by a run with up to 16 low bits) and the
// windows it falls back to, against mpz_powm on edge and random bases.
template <int N>
void CheckPowers(const Int<N>& m) {
  SCOPED_TRACE(HexInt(m));
  const FieldCt<N> f(m);
  const vrt::test::Mpz mm(m);
  Int<N> quarter = m;
  quarter >>= 2;
  quarter += Int<N>(1);
  Int<N> ones, run_low;
  for (int b = 0; b < N - 3; ++b) ones.set_bit(b);
  run_low = ones;
  run_low >>= 1;
  run_low.words[0] &= ~uint64_t{0x8000};  // a zero 16 bits from the bottom
  std::vector<Int<N>> values = Edges<N>(m);
  for (int i = 0; i < 20; ++i) values.push_back(vrt::test::RandomBelow<N>(m));
  for (const Int<N>& e : {quarter, ones, run_low, m - Int<N>(2), Int<N>(1), Int<N>()}) {
    for (const Int<N>& a : values) {
      const vrt::test::Mpz ma(a), me(e);
      vrt::test::Mpz want;
      mpz_powm(want, ma, me, mm);
      Int<N> am, got;
      f.to_mont(am, a);
      f.from_mont(got, vrt::ec::ctm::pow_ones_var<N>(f, am, e));
      EXPECT_EQ(HexInt(got), HexInt(want.ToInt<N>())) << HexInt(a) << " ^ " << HexInt(e);
    }
  }
}

TEST(FieldCt, PowersAgreeWithGmp) {
  for (Parameter set : vrt::test::DistinctCurves256()) CheckPowers<256>(vrt::test::TestCurve<256>(set).p());
  for (Parameter set : vrt::test::DistinctCurves512()) CheckPowers<512>(vrt::test::TestCurve<512>(set).p());
}

TEST(FieldCt, InversionAndJacobiAgreeWithGmp) {
  for (Parameter set : vrt::test::DistinctCurves256()) {
    vrt::test::TestCurve<256> c(set);
    CheckAgainstGmp<256>(c.p());
    CheckAgainstGmp<256>(c.q());
  }
  for (Parameter set : vrt::test::DistinctCurves512()) {
    vrt::test::TestCurve<512> c(set);
    CheckAgainstGmp<512>(c.p());
    CheckAgainstGmp<512>(c.q());
  }
  CheckJacobiOddModuli<256>();
  CheckJacobiOddModuli<512>();
}
#endif  // VRT_HAVE_GMP

}  // namespace
