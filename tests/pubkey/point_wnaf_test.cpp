// The windowed multiplication against the binary one, on every distinct
// curve and both integer paths: the scalars that stress the recoding (runs
// of ones, digits at +-15, a carry past the top bit) and random ones, and
// points in any form.
#include <gtest/gtest.h>

#include "pubkey/ec_test_util.h"

namespace {

using vrt::ec::Point;
using vrt::math::Int;
using namespace vrt::test;

std::string SetName(Parameter s) { return "set " + std::to_string(s); }

template <int N>
std::vector<Int<N>> Scalars(const Int<N>& q) {
  Int<N> ones, alt, top;
  for (auto& w : ones.words) w = ~uint64_t{0};
  for (auto& w : alt.words) w = 0xAAAAAAAAAAAAAAAAull;
  top.set_bit(N - 1);
  std::vector<Int<N>> ks = {Int<N>(), Int<N>(1), Int<N>(2), Int<N>(15), Int<N>(16), Int<N>(17), Int<N>(31),
                            Int<N>(0xF0F0F), q - Int<N>(1), q, q + Int<N>(1), ones, alt, top,
                            top + Int<N>(0x1F)};
  for (int i = 0; i < 3; ++i) ks.push_back(RandomBelow<N>(q));
  ks.push_back(RandomInt<N>());
  return ks;
}

template <int N>
void Compare() {
  for (Parameter set : DistinctCurves<N>()) {
    SCOPED_TRACE(SetName(set));
    TestCurve<N> c(set);
    ForEachPath([&] {
      Point<N> p = c.g;
      p.mul_point(RandomBelow<N>(c.q()));  // Jacobian, z != one
      Point<N> affine = p;
      affine.make_affine();
      // The base point (z = one), a Jacobian point and an affine one.
      const Point<N>* bases[] = {&c.g, &p, &affine};
      for (const Point<N>* b : bases) {
        const Point<N>& base = *b;
        for (const Int<N>& k : Scalars<N>(c.q())) {
          Point<N> want = base, got = base;
          want.mul_point(k);
          got.mul_point_wnaf(k);
          EXPECT_EQ(Affine(got), Affine(want)) << HexInt(k);
          EXPECT_EQ(got.jacobian, 1u);
          EXPECT_EQ(got.precomp, nullptr);
        }
        if (N == 512) break;  // the same code at twice the width: the base point suffices
      }
    });
  }
}

TEST(PointWnaf, AgreesWithBinary256) { Compare<256>(); }
TEST(PointWnaf, AgreesWithBinary512) { Compare<512>(); }

}  // namespace
