// The shorter Montgomery product and squaring for moduli 2^N - c and
// 2^(N-1) + c: against the generic products (BMI2, ADCX/ADOX, portable) and
// GMP, on the curve primes of that shape and on made-up ones with the
// extreme c, for edge and random operands.
#include <gtest/gtest.h>

#include <vector>

#include "pubkey/math/field_ct.h"
#include "pubkey/pubkey_test_util.h"

namespace {

using vrt::math::Int;
using vrt::math::ModulusForm;
using vrt::math::SpecialModulus;
using vrt::test::HexInt;
using vrt::test::IntFromHex;
using vrt::test::RandomInt;

// 2^N - c or 2^(N-1) + c.
template <int N>
Int<N> Modulus(bool plus, uint64_t c) {
  Int<N> p;
  if (plus) {
    p.set_bit(N - 1);
    p += Int<N>(c);
  } else {
    p -= Int<N>(c);
  }
  return p;
}

struct Shape {
  bool plus;
  uint64_t c;
};

// The curve primes (2^256 - 617, 2^255 + 3225, 2^255 + 1073, 2^512 - 569,
// 2^511 + 111) and the extremes c = 1 and c = 2^63 - 1 of either form.
const Shape kShapes256[] = {{false, 617}, {true, 3225}, {true, 1073}, {false, 1},
                            {true, 1},    {false, (uint64_t{1} << 63) - 1}, {true, (uint64_t{1} << 63) - 1}};
const Shape kShapes512[] = {{false, 569}, {true, 111}, {false, 1},
                            {true, 1},    {false, (uint64_t{1} << 63) - 1}, {true, (uint64_t{1} << 63) - 1}};

// Operands below p: 0, 1, 2, p - 1, p - 2, powers of two, all-ones words,
// single full words, words of 2^63 (carries through every word).
template <int N>
std::vector<Int<N>> EdgesBelow(const Int<N>& p) {
  constexpr int K = Int<N>::kWords;
  std::vector<Int<N>> v = {Int<N>(), Int<N>(1), Int<N>(2), p - Int<N>(1), p - Int<N>(2)};
  for (int b : {63, 64, 127, 128, N - 65, N - 64, N - 2, N - 1}) {
    Int<N> t;
    t.set_bit(b);
    v.push_back(t);
    v.push_back(t - Int<N>(1));
  }
  for (int top = 1; top <= K; ++top) {
    Int<N> ones, hi;
    for (int i = 0; i < top; ++i) ones.words[i] = ~uint64_t{0};
    for (int i = 0; i < K; ++i) hi.words[i] = uint64_t{1} << 63;
    v.push_back(ones);
    v.push_back(hi);
  }
  Int<N> full;
  for (auto& w : full.words) w = ~uint64_t{0};
  v.push_back(full - Int<N>(1));
  std::vector<Int<N>> below;
  for (Int<N> x : v) {
    while (x >= p) x -= p;
    below.push_back(x);
  }
  return below;
}

template <int N>
Int<N> RandomBelow(const Int<N>& p) {
  Int<N> r = RandomInt<N>();
  while (r >= p) r -= p;
  return r;
}

template <int N>
void CheckShape(const Shape& shape) {
  constexpr int K = Int<N>::kWords;
  const Int<N> p = Modulus<N>(shape.plus, shape.c);
  SCOPED_TRACE(HexInt(p));
  const SpecialModulus s = SpecialModulus::of<K>(p.words);
  ASSERT_EQ(s.form, shape.plus ? ModulusForm::kPlus : ModulusForm::kMinus);
  ASSERT_EQ(s.c, shape.c);
  ASSERT_EQ(s.c * s.cinv, uint64_t{1});
  const vrt::math::MontContext<N> ctx(p);
  const uint64_t n0 = ctx.mont_inverse;

  std::vector<Int<N>> values = EdgesBelow<N>(p);
  for (int i = 0; i < 300; ++i) values.push_back(RandomBelow<N>(p));
  // a may be any N-bit number when b < p.
  std::vector<Int<N>> wide = values;
  Int<N> full;
  for (auto& w : full.words) w = ~uint64_t{0};
  wide.push_back(full);
  for (int i = 0; i < 50; ++i) wide.push_back(RandomInt<N>());

#if defined(VRT_HAVE_GMP)
  vrt::test::Mpz mp(p), rinv, two_n(1UL);
  mpz_mul_2exp(two_n, two_n, N);
  ASSERT_NE(mpz_invert(rinv, two_n, mp), 0);
#endif
  for (size_t i = 0; i < wide.size(); ++i) {
    for (size_t step : {size_t{1}, size_t{7}, size_t{31}}) {
      const Int<N>& a = wide[i];
      const Int<N>& b = values[(i * step + 3) % values.size()];
      Int<N> got, generic, portable;
      s.mul<N>(got.words, a.words, b.words);
      if constexpr (N == 256)
        vrt::math::mont_mul_256_to(generic.words, a.words, b.words, n0, p.words);
      else
        vrt::math::mont_mul_512_to(generic.words, a.words, b.words, n0, p.words);
      vrt::math::ct::mont_mul_portable<N>(portable, a, b, p, n0);
      ASSERT_EQ(HexInt(got), HexInt(generic)) << HexInt(a) << " * " << HexInt(b);
      ASSERT_EQ(HexInt(got), HexInt(portable)) << HexInt(a) << " * " << HexInt(b);
      if (N == 512 && vrt::test::HaveAdx()) {
        Int<N> adx;
        vrt::math::mont_mul_512_adx_to(adx.words, a.words, b.words, n0, p.words);
        ASSERT_EQ(HexInt(got), HexInt(adx)) << HexInt(a) << " * " << HexInt(b);
      }
      // Both 512-bit forms of 2^512 - c, whichever the dispatch takes.
      if (N == 512 && !shape.plus) {
        Int<N> bmi2, adx;
        vrt::math::mont_mul_512_minus(bmi2.words, a.words, b.words, s.c, s.cinv);
        ASSERT_EQ(HexInt(got), HexInt(bmi2)) << HexInt(a) << " * " << HexInt(b);
        if (vrt::test::HaveAdx()) {
          vrt::math::mont_mul_512_minus_adx(adx.words, a.words, b.words, s.c, s.cinv, s.cinv_hi);
          ASSERT_EQ(HexInt(got), HexInt(adx)) << HexInt(a) << " * " << HexInt(b);
        }
      }
#if defined(VRT_HAVE_GMP)
      vrt::test::Mpz t(a), u(b);
      mpz_mul(t, t, u);
      mpz_mul(t, t, rinv);
      mpz_mod(t, t, mp);
      ASSERT_EQ(HexInt(got), HexInt(t.template ToInt<N>())) << HexInt(a) << " * " << HexInt(b);
#endif
      // In place, either operand.
      Int<N> x = a;
      s.mul<N>(x.words, x.words, b.words);
      ASSERT_EQ(HexInt(x), HexInt(got));
      x = b;
      s.mul<N>(x.words, a.words, x.words);
      ASSERT_EQ(HexInt(x), HexInt(got));
    }
  }
  for (const Int<N>& a : values) {
    Int<N> sq, generic, in_place = a;
    s.sqr<N>(sq.words, a.words);
    vrt::math::ct::mont_mul_portable<N>(generic, a, a, p, n0);
    ASSERT_EQ(HexInt(sq), HexInt(generic)) << HexInt(a);
    s.sqr<N>(in_place.words, in_place.words);
    ASSERT_EQ(HexInt(in_place), HexInt(sq));
    if (N == 512 && !shape.plus) {  // the BMI2 squaring, which ADX processors skip
      Int<N> bmi2;
      vrt::math::mont_sqr_512_minus(bmi2.words, a.words, s.c, s.cinv);
      ASSERT_EQ(HexInt(bmi2), HexInt(sq)) << HexInt(a);
    }
  }
}

TEST(ShortMont, AgreesWithTheGenericProduct256) {
  if (!vrt::test::HaveBmi2()) GTEST_SKIP() << "no BMI2";
  for (const Shape& s : kShapes256) CheckShape<256>(s);
}

TEST(ShortMont, AgreesWithTheGenericProduct512) {
  if (!vrt::test::HaveBmi2()) GTEST_SKIP() << "no BMI2";
  for (const Shape& s : kShapes512) CheckShape<512>(s);
}

// Only the two shapes are taken, and only for an odd p with c below 2^63.
TEST(ShortMont, RecognisesOnlyItsShapes) {
  struct Case {
    const char* hex;
    ModulusForm form;
  } const cases[] = {
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD97", ModulusForm::kMinus},
      {"8000000000000000000000000000000000000000000000000000000000000C99", ModulusForm::kPlus},
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD98", ModulusForm::kGeneric},
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF7FFFFFFFFFFFFFFF", ModulusForm::kGeneric},
      {"FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF8000000000000001", ModulusForm::kMinus},
      {"8000000000000000000000000000000000000000000000008000000000000001", ModulusForm::kGeneric},
      {"8000000000000000000000000000000000000000000000010000000000000001", ModulusForm::kGeneric},
      {"9B9F605F5A858107AB1EC85E6B41C8AACF846E86789051D37998F7B9022D759B", ModulusForm::kGeneric},
      {"7FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFF", ModulusForm::kGeneric},
  };
  for (const Case& c : cases) {
    const Int<256> p = IntFromHex<256>(c.hex);
    EXPECT_EQ(SpecialModulus::of<4>(p.words).form, c.form) << c.hex;
  }
}

}  // namespace
