// The reference scalar multiplication (mul_k_EP) against the affine walk
// written out with the reference's own doubling and addition: the same
// points for every scalar and base, on every parameter set, on points off
// the curve, and on a toy prime where R and B meet often enough to take
// the doubling and the infinity branches of the addition. And the
// reference's own Montgomery product against GMP.
#include <gtest/gtest.h>

#include <random>

#include "frame/internal.h"
#include "pubkey/signer/reference_mont_field.h"
#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;

struct Width {
  size_t L;
  void (*mul_k)(const void*, const void*, void*, void*, const void*, const void*);
  void (*add)(void*, const void*, const void*, const void*);
  void (*dbl)(void*, const void*, const void*);
};

const Width kWidths[] = {
    {32, sign2001_mul_k_EP_256_bit, sign2001_add_EP_256_bit, sign2001_mul_2_EP_256_bit},
    {64, sign2012_mul_k_EP_512_bit, sign2012_add_EP_512_bit, sign2012_mul_2_EP_512_bit},
};

const Width& WidthOf(size_t L) { return L == 32 ? kWidths[0] : kWidths[1]; }

// R = 0; B = g; for every bit of k from bit 0: R += B when it is set, B = 2B.
Bytes AffineWalk(const Width& w, const Bytes& k, const Bytes& g, const uint8_t* a, const uint8_t* p) {
  Bytes r(2 * w.L, 0), b = g;
  for (size_t i = 0; i < 8 * w.L; ++i) {
    if ((k[i / 8] >> (i % 8)) & 1) w.add(r.data(), b.data(), a, p);
    w.dbl(b.data(), a, p);
  }
  return r;
}

Bytes MulK(const Width& w, const Bytes& k, const Bytes& g, const uint8_t* a, const uint8_t* p) {
  Bytes out(2 * w.L);
  w.mul_k(k.data(), g.data(), out.data(), out.data() + w.L, a, p);
  return out;
}

Bytes Small(size_t L, uint64_t v) {
  Bytes b(L, 0);
  for (size_t i = 0; i < 8 && i < L; ++i) b[i] = static_cast<uint8_t>(v >> (8 * i));
  return b;
}

TEST(ReferenceMulK, MatchesAffineWalkOnEverySet) {
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set));
    const sign2012_par_t* rec = Record(set);
    const Width& w = WidthOf(rec->bits / 8);
    const Bytes g = Concat(Bytes(rec->x, rec->x + w.L), Bytes(rec->y, rec->y + w.L));
    Bytes q(rec->q, rec->q + w.L), q1 = q;
    q1[0] -= 1;  // q is odd: q - 1 without a borrow
    // A point off the curve: the formulas never look at b.
    Bytes off = g;
    off[0] ^= 0x5a;
    const Bytes k = RandomBytes(w.L);
    const Bytes cases[][2] = {{k, g}, {q, g}, {q1, g}, {k, off}};
    for (const auto& c : cases)
      EXPECT_EQ(Hex(MulK(w, c[0], c[1], rec->a, rec->p)), Hex(AffineWalk(w, c[0], c[1], rec->a, rec->p)));
    // q*G is the point at infinity, (q - 1)*G the negative of G.
    EXPECT_EQ(Hex(MulK(w, q, g, rec->a, rec->p)), Hex(Bytes(2 * w.L, 0)));
    EXPECT_EQ(Hex(MulK(w, q1, g, rec->a, rec->p)).substr(0, 2 * w.L), Hex(g).substr(0, 2 * w.L));
  }
}

TEST(ReferenceMulK, ToyPrimeTakesEveryBranch) {
  // p = 103: a group of about a hundred points, so the running sum meets
  // the doubled base (equal x) many times over 256 and 512 steps.
  std::mt19937_64 rng(15);
  for (const Width& w : kWidths) {
    SCOPED_TRACE(w.L);
    const Bytes p = Small(w.L, 103);
    for (int i = 0; i < 40; ++i) {
      const Bytes a = Small(w.L, rng() % 103);
      const Bytes g = Concat(Small(w.L, rng() % 103), Small(w.L, rng() % 103));
      const Bytes k = RandomBytes(w.L);
      EXPECT_EQ(Hex(MulK(w, k, g, a.data(), p.data())), Hex(AffineWalk(w, k, g, a.data(), p.data())));
    }
    // The zero scalar and the point (0, 0), which stands for infinity.
    const Bytes zero(w.L, 0), g = Concat(Small(w.L, 5), Small(w.L, 7));
    EXPECT_EQ(Hex(MulK(w, zero, g, zero.data(), p.data())), Hex(Bytes(2 * w.L, 0)));
    EXPECT_EQ(Hex(MulK(w, RandomBytes(w.L), Bytes(2 * w.L, 0), zero.data(), p.data())), Hex(Bytes(2 * w.L, 0)));
  }
}

#if defined(VRT_HAVE_GMP)
// a*b/2^N mod m for 0, 1, m - 1 and random residues, against GMP.
template <int N>
void CheckReferenceProduct(const Bytes& modulus) {
  using vrt::math::Int;
  SCOPED_TRACE(Hex(modulus));
  vrt::signer::reference::MontField<N> f;
  Int<N> m;
  std::memcpy(m.words, modulus.data(), N / 8);
  ASSERT_TRUE(f.init(vrtpInstance.arch, m.words));
  const Mpz mm(m);
  Mpz rinv(1), v;
  mpz_mul_2exp(rinv, rinv, N);
  ASSERT_NE(mpz_invert(rinv, rinv, mm), 0);
  std::vector<Int<N>> values;
  mpz_set_ui(v, 0);
  values.push_back(v.ToInt<N>());
  mpz_set_ui(v, 1);
  values.push_back(v.ToInt<N>());
  mpz_sub_ui(v, mm, 1);
  values.push_back(v.ToInt<N>());
  for (int i = 0; i < 40; ++i) {
    const Bytes r = RandomBytes(N / 8 + 8);
    mpz_import(v, r.size(), -1, 1, 0, 0, r.data());
    mpz_mod(v, v, mm);
    values.push_back(v.ToInt<N>());
  }
  for (const Int<N>& a : values) {
    for (const Int<N>& b : values) {
      Int<N> got;
      f.mul(got.words, a.words, b.words);
      Mpz want;
      mpz_mul(want, Mpz(a), Mpz(b));
      mpz_mul(want, want, rinv);
      mpz_mod(want, want, mm);
      ASSERT_EQ(Mpz(got).Hex(), want.Hex()) << Mpz(a).Hex() << " * " << Mpz(b).Hex();
    }
  }
}

TEST(ReferenceField, ProductMatchesGmp) {
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set));
    const sign2012_par_t* rec = Record(set);
    const size_t L = rec->bits / 8;
    for (const uint8_t* m : {rec->p, rec->q}) {
      if (L == 32)
        CheckReferenceProduct<256>(Bytes(m, m + L));
      else
        CheckReferenceProduct<512>(Bytes(m, m + L));
    }
  }
  // A small modulus and one whose top words are zero: the accumulator's
  // carry word and the final subtraction at their extremes.
  CheckReferenceProduct<256>(Small(32, 103));
  CheckReferenceProduct<512>(Small(64, 0xFFFFFFFFFFFFFFC5));
  Bytes wide(64, 0xFF);
  wide[0] = 0xC7;
  CheckReferenceProduct<512>(wide);
}
#endif

}  // namespace
