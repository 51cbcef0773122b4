// The integer layer: the BMI2 routines against the portable words, Int and
// MontInt on both paths against GMP, and the division and inversion cases.
#include <gtest/gtest.h>

#include "frame/internal.h"
#include "pubkey/internal.h"
#include "pubkey/math/int.h"
#include "pubkey/pubkey_test_util.h"
#include "vrt.h"

namespace {

using vrt::math::Int;
using vrt::math::MontContext;
using vrt::math::MontInt;
using vrt::test::ForEachPath;
using vrt::test::HexInt;
using vrt::test::RandomInt;
using vrt::test::Rng;
namespace detail = vrt::math::detail;

template <int N>
struct Width {
  static constexpr int kBits = N;
};

using AllWidths = ::testing::Types<Width<256>, Width<512>, Width<1024>>;
using MontWidths = ::testing::Types<Width<256>, Width<512>>;

template <typename T>
class IntTest : public ::testing::Test {};
TYPED_TEST_SUITE(IntTest, AllWidths);

template <typename T>
class MontTest : public ::testing::Test {};
TYPED_TEST_SUITE(MontTest, MontWidths);

// ---- the BMI2 routines against the portable word loops ----

template <int N>
struct Routines;
template <>
struct Routines<256> {
  static constexpr auto add = add_256, sub = sub_256;
  static constexpr auto shl = shl_256, shr = shr_256, sar = sar_256;
  static constexpr auto shr1 = shr_256_1;
  static constexpr auto mul = mul_256, muls = muls_256, div = div_256, inv = inv_256;
  static constexpr auto sqr = sqr_256;
};
template <>
struct Routines<512> {
  static constexpr auto add = add_512, sub = sub_512;
  static constexpr auto shl = shl_512, shr = shr_512, sar = sar_512;
  static constexpr auto shr1 = shr_512_1;
  static constexpr auto mul = mul_512, muls = muls_512, div = div_512, inv = inv_512;
  static constexpr auto sqr = sqr_512;
};
template <>
struct Routines<1024> {
  static constexpr auto add = add_1024, sub = sub_1024;
  static constexpr auto shl = shl_1024, shr = shr_1024, sar = sar_1024;
  static constexpr auto shr1 = shr_1024_1;
  static constexpr auto mul = mul_1024, muls = muls_1024, div = div_1024, inv = inv_1024;
  static constexpr auto sqr = sqr_1024;
};

TYPED_TEST(IntTest, Bmi2RoutinesMatchPortableWords) {
  if (!vrt::test::HaveBmi2()) GTEST_SKIP() << "processor without BMI2";
  constexpr int N = TypeParam::kBits;
  constexpr int K = N / 64;
  using R = Routines<N>;
  using I = Int<N>;
  for (int iter = 0; iter < 400; ++iter) {
    I a = RandomInt<N>(), b = RandomInt<N>();
    SCOPED_TRACE(HexInt(a) + " " + HexInt(b));

    I x = a, y = a;
    uint64_t mask = R::add(x.words, b.words);
    uint64_t carry = detail::add_words<K>(y.words, b.words);
    EXPECT_EQ(HexInt(x), HexInt(y));
    EXPECT_EQ(mask, uint64_t{0} - carry);

    x = a, y = a;
    mask = R::sub(x.words, b.words);
    carry = detail::sub_words<K>(y.words, b.words);
    EXPECT_EQ(HexInt(x), HexInt(y));
    EXPECT_EQ(mask, uint64_t{0} - carry);

    for (uint64_t bits : {uint64_t{0}, uint64_t{1}, uint64_t{63}, uint64_t{64}, uint64_t{65},
                          uint64_t{N - 1}, uint64_t{N}, uint64_t{N + 1}, uint64_t{1} << 40,
                          Rng()() % (N + 70)}) {
      x = a, y = a;
      R::shl(x.words, bits);
      detail::shl_words<K>(y.words, bits);
      EXPECT_EQ(HexInt(x), HexInt(y)) << "shl " << bits;
      x = a, y = a;
      R::shr(x.words, bits);
      detail::shr_words<K>(y.words, bits);
      EXPECT_EQ(HexInt(x), HexInt(y)) << "shr " << bits;
      // Arithmetic shift: the logical one with the vacated bits set to the
      // sign.
      x = a, y = a;
      R::sar(x.words, bits);
      detail::shr_words<K>(y.words, bits);
      if (a.bit(N - 1))
        for (int i = 0; i < N; ++i)
          if (static_cast<uint64_t>(i) >= static_cast<uint64_t>(N) - std::min<uint64_t>(bits, N)) y.set_bit(i);
      EXPECT_EQ(HexInt(x), HexInt(y)) << "sar " << bits;
    }

    for (uint64_t top : {0u, 1u}) {
      x = a, y = a;
      uint64_t out = R::shr1(x.words, top);
      detail::shr_words<K>(y.words, 1);
      if (top) y.set_bit(N - 1);
      EXPECT_EQ(HexInt(x), HexInt(y));
      EXPECT_EQ(out, a.words[0] & 1);
    }

    Int<2 * N> p1, p2;
    R::mul(p1.words, a.words, b.words);
    detail::mul_words<K>(p2.words, a.words, b.words);
    EXPECT_EQ(HexInt(p1), HexInt(p2));
    // mul accumulates into r.
    Int<2 * N> acc1 = RandomInt<2 * N>(), acc2 = acc1;
    R::mul(acc1.words, a.words, b.words);
    detail::mul_words<K>(acc2.words, a.words, b.words);
    EXPECT_EQ(HexInt(acc1), HexInt(acc2));
    p1 = RandomInt<2 * N>();
    R::sqr(p1.words, a.words);
    p2 = Int<2 * N>();
    detail::mul_words<K>(p2.words, a.words, a.words);
    EXPECT_EQ(HexInt(p1), HexInt(p2));

    uint64_t w = b.words[0];
    uint64_t r1[K + 1], r2[K + 1];
    R::muls(r1, a.words, w);
    detail::muls_words<K>(r2, a.words, w);
    EXPECT_EQ(vrt::test::Hex(r1, sizeof r1), vrt::test::Hex(r2, sizeof r2));

    // Knuth's division against the binary one, for every shape of divisor.
    I q1 = a, q2 = a, rem1, rem2, d = b;
    if (!d.is_zero()) {
      R::div(q1.words, d.words, rem1.words);
      q2.div_naive(d, rem2);
      EXPECT_EQ(HexInt(q1), HexInt(q2));
      EXPECT_EQ(HexInt(rem1), HexInt(rem2));
    }
  }
}

// The inversion loop runs to the same state on both paths.
TYPED_TEST(IntTest, InverseLoopMatchesPortable) {
  if (!vrt::test::HaveBmi2()) GTEST_SKIP() << "processor without BMI2";
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  for (int iter = 0; iter < 200; ++iter) {
    I w = RandomInt<N>();
    w.words[0] |= 1;
    if (w.is_one()) continue;
    I b = vrt::test::RandomBelow<N>(w);
    I u1 = b, v1 = w, cv1, cu1(1);
    I u2 = b, v2 = w, cv2, cu2(1);
    Routines<N>::inv(u1.words, v1.words, cv1.words, cu1.words, w.words);
    {
      vrt::test::AsmPath portable(false);
      detail::inverse_loop<N>(u2, v2, cv2, cu2, w);
    }
    EXPECT_EQ(HexInt(u1), HexInt(u2));
    EXPECT_EQ(HexInt(v1), HexInt(v2));
    EXPECT_EQ(HexInt(cv1), HexInt(cv2));
    EXPECT_EQ(HexInt(cu1), HexInt(cu2));
  }
  // A zero v returns at once instead of halving zero forever.
  I u(5), v, cv, cu(1), w(7);
  Routines<N>::inv(u.words, v.words, cv.words, cu.words, w.words);
  EXPECT_EQ(u.words[0], 5u);
}

// The field primes of the curves and odd moduli of other shapes: full
// width, shorter (leading zero words), 2^N - 1.
template <int N>
std::vector<Int<N>> Moduli() {
  std::vector<Int<N>> v;
  if constexpr (N == 256) {
    for (const char* p : {"8000000000000000000000000000000000000000000000000000000000000431",
                          "FFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFFD97",
                          "9B9F605F5A858107AB1EC85E6B41C8AACF846E86789051D37998F7B9022D759B"})
      v.push_back(vrt::test::IntFromHex<N>(p));
  } else {
    v.push_back(vrt::test::IntFromHex<N>(
        "8000000000000000000000000000000000000000000000000000000000000000"
        "000000000000000000000000000000000000000000000000000000000000006F"));
  }
  Int<N> ones;
  for (auto& w : ones.words) w = ~uint64_t{0};
  v.push_back(ones);
  for (int i = 0; i < 6; ++i) {
    Int<N> m = RandomInt<N>();
    m.words[0] |= 1;
    if (m.is_one()) m = Int<N>(3);
    v.push_back(m);
  }
  v.push_back(Int<N>(0xFFFFFFFFFFFFFFC5));  // one word only
  return v;
}

// ---- Int against GMP, on both paths ----

#if defined(VRT_HAVE_GMP)
using vrt::test::Mpz;

TYPED_TEST(IntTest, ArithmeticMatchesGmp) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  Mpz two_n(1);
  mpz_mul_2exp(two_n, two_n, N);
  ForEachPath([&] {
    for (int iter = 0; iter < 300; ++iter) {
      I a = RandomInt<N>(), b = RandomInt<N>();
      Mpz ma(a), mb(b), want;
      SCOPED_TRACE(ma.Hex() + " " + mb.Hex());

      I s = a;
      s += b;
      mpz_add(want, ma, mb);
      mpz_mod(want, want, two_n);
      EXPECT_EQ(HexInt(s), HexInt(want.ToInt<N>()));

      I d = a;
      d -= b;
      mpz_sub(want, ma, mb);
      mpz_mod(want, want, two_n);
      EXPECT_EQ(HexInt(d), HexInt(want.ToInt<N>()));

      Int<2 * N> prod = a * b;
      mpz_mul(want, ma, mb);
      EXPECT_EQ(HexInt(prod), HexInt(want.ToInt<2 * N>()));

      uint64_t bits = Rng()() % (N + 8);
      I sh = a;
      sh <<= bits;
      mpz_mul_2exp(want, ma, bits);
      mpz_mod(want, want, two_n);
      EXPECT_EQ(HexInt(sh), HexInt(want.ToInt<N>()));
      sh = a;
      sh >>= bits;
      mpz_fdiv_q_2exp(want, ma, bits);
      EXPECT_EQ(HexInt(sh), HexInt(want.ToInt<N>()));

      if (!b.is_zero()) {
        I q = a, rem;
        q.div(b, rem);
        Mpz wq, wr;
        mpz_fdiv_qr(wq, wr, ma, mb);
        EXPECT_EQ(HexInt(q), HexInt(wq.ToInt<N>()));
        // rem is not written for divisor 1 and dividend 0; it was zeroed.
        EXPECT_EQ(HexInt(rem), HexInt(wr.ToInt<N>()));
        I qn = a, rn;
        qn.div_naive(b, rn);
        EXPECT_EQ(HexInt(qn), HexInt(wq.ToInt<N>()));
        EXPECT_EQ(HexInt(rn), HexInt(wr.ToInt<N>()));
      }
    }
  });
}

// Double-width division, as the modular product and the Montgomery
// conversion use it: a 2N-bit number by an N-bit divisor.
TYPED_TEST(IntTest, WideDivisionMatchesGmp) {
  constexpr int N = TypeParam::kBits;
  if constexpr (N <= 512) {
    ForEachPath([&] {
      for (int iter = 0; iter < 300; ++iter) {
        Int<2 * N> x = RandomInt<2 * N>();
        Int<2 * N> d = RandomInt<N>().template resize<2 * N>();
        if (d.is_zero()) continue;
        Int<2 * N> q = x, rem;
        q.div(d, rem);
        Mpz wq, wr;
        mpz_fdiv_qr(wq, wr, Mpz(x), Mpz(d));
        EXPECT_EQ(HexInt(q), HexInt(wq.ToInt<2 * N>()));
        EXPECT_EQ(HexInt(rem), HexInt(wr.ToInt<2 * N>()));
      }
    });
  }
}

TYPED_TEST(IntTest, InverseMatchesGmp) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  ForEachPath([&] {
    for (int iter = 0; iter < 120; ++iter) {
      I m = RandomInt<N>();
      I a = RandomInt<N>();
      if (iter % 3 == 0) a = vrt::test::RandomBelow<N>(m.is_zero() ? I(1) : m);
      Mpz mm(m), ma(a), want;
      SCOPED_TRACE(ma.Hex() + " mod " + mm.Hex());
      I got_g = a.inverse_generic(m);
      I got = a.inverse(m);
      // No inverse (or m < 2) gives 0; a = 1 gives 1.
      if (mpz_cmp_ui(mm.get(), 2) < 0 || mpz_invert(want, ma, mm) == 0) mpz_set_ui(want, 0);
      if (mpz_cmp_ui(mm.get(), 2) >= 0 && mpz_cmp_ui(ma.get(), 1) == 0) mpz_set_ui(want, 1);
      EXPECT_EQ(HexInt(got_g), HexInt(want.ToInt<N>()));
      EXPECT_EQ(HexInt(got), HexInt(want.ToInt<N>()));
      if (vrt::test::HaveBmi2()) {
        EXPECT_EQ(HexInt(a.inverse_asm(m)), HexInt(want.ToInt<N>()));
      }
    }
  });
}

// The cases of the inversion, each on both routines.
TYPED_TEST(IntTest, InverseCases) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  I ones;
  for (auto& w : ones.words) w = ~uint64_t{0};
  struct Case {
    I a, m, want;
    const char* what;
  };
  I two64;
  two64.words[1] = 1;
  const Case cases[] = {
      {I(1), I(7), I(1), "a = 1"},
      {I(1), I(1), I(), "m = 1"},
      {I(3), I(0), I(), "m = 0"},
      {I(4), I(10), I(), "both even"},
      {I(0), I(7), I(), "zero has no inverse"},
      {I(6), I(9), I(), "common factor 3, odd m"},
      {I(3), I(10), I(7), "even m, odd a"},
      {I(7), two64, I(0x6db6db6db6db6db7), "the Montgomery case: 7^-1 mod 2^64"},
      {ones, I(3), I(), "a = 2^N - 1 shares 3 with m"},
      {ones - I(1), ones, ones - I(1), "2^N - 2 = -1 mod 2^N - 1"},
  };
  ForEachPath([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      EXPECT_EQ(HexInt(c.a.inverse_generic(c.m)), HexInt(c.want));
      EXPECT_EQ(HexInt(c.a.inverse(c.m)), HexInt(c.want));
    }
  });
}

TYPED_TEST(IntTest, ModProxyMatchesGmp) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  ForEachPath([&] {
    for (int iter = 0; iter < 200; ++iter) {
      I m = RandomInt<N>();
      if (m.is_zero()) continue;
      I a = vrt::test::RandomBelow<N>(m), b = vrt::test::RandomBelow<N>(m);
      if (iter % 10 == 0) a = m - I(1);
      if (iter % 10 == 1) b = m - I(1);
      Mpz mm(m), ma(a), mb(b), want;
      I v = a;
      v.mod(m) += b;
      mpz_add(want, ma, mb);
      mpz_mod(want, want, mm);
      EXPECT_EQ(HexInt(v), HexInt(want.ToInt<N>()));
      v = a;
      v.mod(m) -= b;
      mpz_sub(want, ma, mb);
      mpz_mod(want, want, mm);
      EXPECT_EQ(HexInt(v), HexInt(want.ToInt<N>()));
      v = a;
      v.mod(m) *= b;
      mpz_mul(want, ma, mb);
      mpz_mod(want, want, mm);
      EXPECT_EQ(HexInt(v), HexInt(want.ToInt<N>()));
      // An operand that is the viewed value itself.
      v = a;
      v.mod(m) += v;
      mpz_add(want, ma, ma);
      mpz_mod(want, want, mm);
      EXPECT_EQ(HexInt(v), HexInt(want.ToInt<N>()));
    }
  });
}

// ---- Montgomery residues against GMP ----

TYPED_TEST(MontTest, ConversionAndProductMatchGmp) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  for (const I& p : Moduli<N>()) {
    Mpz mp(p);
    SCOPED_TRACE("p = " + mp.Hex());
    Mpz r(1);
    mpz_mul_2exp(r, r, N);
    ForEachPath([&] {
      const MontContext<N> ctx(p);
      // n' * p = -1 mod 2^64.
      EXPECT_EQ(ctx.mont_inverse * p.words[0], ~uint64_t{0});
      I ones;
      for (auto& w : ones.words) w = ~uint64_t{0};
      std::vector<I> values = {I(), I(1), p - I(1), p, ones};
      for (int i = 0; i < 20; ++i) values.push_back(RandomInt<N>());
      for (const I& x : values) {
        Mpz mx(x), want;
        MontInt<N> m(x, &ctx);
        mpz_mul(want, mx, r);
        mpz_mod(want, want, mp);
        ASSERT_EQ(HexInt(m.value), HexInt(want.ToInt<N>())) << "x*R mod p of " << mx.Hex();
        mpz_mod(want, mx, mp);
        EXPECT_EQ(HexInt(static_cast<I>(m)), HexInt(want.ToInt<N>())) << "round trip of " << mx.Hex();
        for (const I& y : values) {
          Mpz my(y);
          MontInt<N> a(x, &ctx), b(y, &ctx);
          a *= b;
          mpz_mul(want, mx, my);
          mpz_mod(want, want, mp);
          ASSERT_EQ(HexInt(static_cast<I>(a)), HexInt(want.ToInt<N>())) << mx.Hex() << " * " << my.Hex();
          MontInt<N> g(x, &ctx);
          g.mul_generic(b);
          EXPECT_EQ(HexInt(g.value), HexInt(a.value));
        }
      }
      // Assignment keeps the context; 1 is stored as R mod p.
      MontInt<N> one(I(5), &ctx);
      one = 1ull;
      Mpz want;
      mpz_mod(want, r, mp);
      EXPECT_EQ(HexInt(one.value), HexInt(want.ToInt<N>()));
      EXPECT_EQ(one.context, &ctx);
    });
  }
}

TYPED_TEST(MontTest, SquareInPlaceAndDivision) {
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  const I p = Moduli<N>()[0];
  Mpz mp(p);
  ForEachPath([&] {
    const MontContext<N> ctx(p);
    for (int i = 0; i < 50; ++i) {
      I x = vrt::test::RandomBelow<N>(p), y = vrt::test::RandomBelow<N>(p);
      MontInt<N> a(x, &ctx), b(y, &ctx);
      a *= a;  // operands alias
      Mpz want;
      mpz_mul(want, Mpz(x), Mpz(x));
      mpz_mod(want, want, mp);
      EXPECT_EQ(HexInt(static_cast<I>(a)), HexInt(want.ToInt<N>()));
      if (y.is_zero()) continue;
      MontInt<N> c(x, &ctx);
      c /= b;
      Mpz inv;
      ASSERT_NE(mpz_invert(inv, Mpz(y), mp), 0);
      mpz_mul(want, Mpz(x), inv);
      mpz_mod(want, want, mp);
      EXPECT_EQ(HexInt(static_cast<I>(c)), HexInt(want.ToInt<N>()));
    }
  });
}
#endif  // VRT_HAVE_GMP

// Every Montgomery and Int result is the same stored value on both paths.
TYPED_TEST(MontTest, PathsGiveIdenticalResults) {
  if (!vrt::test::HaveBmi2()) GTEST_SKIP() << "processor without BMI2";
  constexpr int N = TypeParam::kBits;
  using I = Int<N>;
  for (const I& p : Moduli<N>()) {
    for (int i = 0; i < 40; ++i) {
      I x = RandomInt<N>(), y = RandomInt<N>();
      std::string got[3];
      for (int fast = 0; fast < 3; ++fast) {
        if (fast == 2 && !vrt::test::HaveAdx()) {
          got[2] = got[1];
          continue;
        }
        vrt::test::AsmPath path(fast >= 1, fast == 2);
        const MontContext<N> ctx(p);
        MontInt<N> a(x, &ctx), b(y, &ctx);
        MontInt<N> c = a;
        c *= b;
        MontInt<N> d = a;
        d.mul_generic(b);
        MontInt<N> e = a;
        e /= b;
        MontInt<N> f = a;
        f += b;
        f -= c;
        got[fast] = std::to_string(ctx.mont_inverse) + HexInt(a.value) + HexInt(c.value) + HexInt(d.value) +
                    HexInt(e.value) + HexInt(f.value) + HexInt(static_cast<I>(c)) +
                    HexInt(x.inverse(p)) + HexInt(x.inverse_generic(p));
      }
      EXPECT_EQ(got[0], got[1]);
      EXPECT_EQ(got[0], got[2]) << "BMI2 + ADX path";
    }
  }
}

// ---- the division cases ----

TEST(IntDivision, CasesInOrder) {
  using I = Int<512>;
  const I sentinel(0xdead);
  struct Case {
    I x, d, q;
    bool rem_written;
    I rem;
    const char* what;
  };
  I big = RandomInt<512>();
  big.words[7] |= uint64_t{1} << 63;
  const Case cases[] = {
      {I(10), I(), I(), false, I(), "divisor 0: quotient 0, rem untouched"},
      {I(), I(3), I(), false, I(), "dividend 0: quotient 0, rem untouched"},
      {big, big, I(1), true, I(), "equal: quotient 1, rem 0"},
      {I(5), big, I(), true, I(5), "smaller dividend: quotient 0, rem = dividend"},
      {big, I(1), big, false, I(), "divisor 1: quotient = dividend, rem untouched"},
      {I(100), I(7), I(14), true, I(2), "ordinary"},
  };
  ForEachPath([&] {
    for (const Case& c : cases) {
      SCOPED_TRACE(c.what);
      for (bool naive : {false, true}) {
        if (naive && !c.rem_written) continue;  // the cases above belong to div
        I q = c.x, rem = sentinel;
        if (naive)
          q.div_naive(c.d, rem);
        else
          q.div(c.d, rem);
        EXPECT_EQ(HexInt(q), HexInt(c.q));
        EXPECT_EQ(HexInt(rem), HexInt(c.rem_written ? c.rem : sentinel));
      }
    }
  });
}

TEST(IntConstants, ExportedValues) {
  EXPECT_EQ(C256_0[0] | C256_0[1] | C256_0[2] | C256_0[3], 0u);
  EXPECT_EQ(C256_1[0], 1u);
  EXPECT_EQ(C256_256[0], 256u);
  EXPECT_EQ(C512_1[0], 1u);
  EXPECT_EQ(C512_512[0], 512u);
  uint64_t acc = 0;
  for (int i = 1; i < 4; ++i) acc |= C256_1[i] | C256_256[i];
  for (int i = 1; i < 8; ++i) acc |= C512_0[i] | C512_1[i] | C512_512[i];
  for (uint64_t w : C1024_0) acc |= w;
  EXPECT_EQ(acc | C512_0[0], 0u);
}

TEST(IntSwitch, FollowsTheProcessorFeature) {
  // Initialisation ran in main: the switch is exactly the BMI2 bit.
  EXPECT_EQ(vrt::flags::supported_asm, vrt::test::HaveBmi2());
  vrtp_instance_t fake = vrtpInstance;
  const bool saved = vrt::flags::supported_asm, saved_adx = vrt::flags::supported_adx;
  EXPECT_EQ(vrt::flags::supported_adx, vrt::test::HaveAdx());
  fake.cpu_enabled = ~VRT_CPU_BMI2;
  EXPECT_EQ(elliptic_cxx_init(&fake), VRT_SUCCESS);
  EXPECT_FALSE(vrt::flags::supported_asm);
  EXPECT_FALSE(vrt::flags::supported_adx);
  fake.cpu_enabled = VRT_CPU_BMI2;
  EXPECT_EQ(elliptic_cxx_init(&fake), VRT_SUCCESS);
  EXPECT_TRUE(vrt::flags::supported_asm);
  EXPECT_FALSE(vrt::flags::supported_adx);
  // ADX counts only beside BMI2.
  fake.cpu_enabled = VRT_CPU_ADX;
  EXPECT_EQ(elliptic_cxx_init(&fake), VRT_SUCCESS);
  EXPECT_FALSE(vrt::flags::supported_adx);
  fake.cpu_enabled = VRT_CPU_BMI2 | VRT_CPU_ADX;
  EXPECT_EQ(elliptic_cxx_init(&fake), VRT_SUCCESS);
  EXPECT_TRUE(vrt::flags::supported_asm);
  EXPECT_TRUE(vrt::flags::supported_adx);
  vrt::flags::supported_asm = saved;
  vrt::flags::supported_adx = saved_adx;
}

}  // namespace
