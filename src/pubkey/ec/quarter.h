// Membership of the group of order q, by two quadratic characters instead
// of a multiplication by q, on the curves with m = 4q whose points of order
// 2 and 4 form a cyclic group (the two twisted Edwards sets).
//
// Shift x by the x of the point T of order 2: with X = x - x_T the curve is
// y^2 = X (X^2 + alpha X + beta), and X^2 + alpha X + beta has no root. The
// points of order 4 have X = b with b^2 = beta. The class of X modulo
// squares (that of beta for T) is a homomorphism of the group into {1, -1}
// that is 1 on 2E. Where b is not a square it is -1 on the points of order
// 4, so its kernel is exactly 2E: the points whose part of order 1, 2 or 4
// is 0 or T.
//
// A point P = (X, y) of 2E has X = w^2 and two rational halves, R and R + T
// (X_R X_{R+T} = beta), with X_R + beta / X_R = z = 2 (X w + y) / w or
// 2 (X w - y) / w, whichever leaves z^2 - 4 beta a square. P has order q
// iff R is in 2E, iff X_R is a square, iff z + 2b is a square (X_R = s^2
// gives z + 2b = (s + b/s)^2, and the converse solves for s). The class of
// z + 2b is that of 2 w (X w + y + b w); the other sign of y multiplies it
// by the class of 2b - alpha, so where that is a square either choice of z
// answers and no z^2 - 4 beta is needed.
//
// quarter_setup finds x_T and b from one point of order 4 and checks every
// condition above, so the test is used only where all of them hold; a zero
// character sends the caller back to the multiplication. Everything here
// works on public values and takes data-dependent time.
#pragma once

#include <cstdint>

#include "pubkey/ec/ct_mul.h"

namespace vrt::ec::ctm {

// base^e in Montgomery form, e public: four-bit windows from the top.
template <int N>
Int<N> pow_var(const FieldCt<N>& f, const Int<N>& base, const Int<N>& e) {
  Int<N> table[16];
  table[0] = f.one;
  for (int i = 1; i < 16; ++i) f.mul(table[i], table[i - 1], base);
  Int<N> r = f.one;
  bool started = false;
  for (int i = (N / 4) - 1; i >= 0; --i) {
    const unsigned digit = static_cast<unsigned>(e.words[i / 16] >> (4 * (i % 16))) & 15u;
    if (started)
      for (int s = 0; s < 4; ++s) f.sqr(r, r);
    if (digit != 0) {
      f.mul(r, r, table[digit]);
      started = true;
    }
  }
  return r;
}

// The quadratic character of v (Montgomery form) modulo the prime p:
// 1, -1, or 0 for v = 0. The Jacobi symbol of the stored number is that of
// the value itself, since R = 2^N is a square for even N. Variable-time.
template <int N>
int legendre_var(const FieldCt<N>& f, const Int<N>& v) {
  if (v.is_zero()) return 0;
  return math::safegcd::jacobi_var<N>(v, f.m);
}

// base^e for an e that is a run of k ones above at most 16 other bits, as
// (p + 1) / 4 is for p = 2^N - c with a small c: x^(2^k - 1) by
// x^(2^2m - 1) = (x^(2^m - 1))^(2^m) x^(2^m - 1) and x^(2^(m+1) - 1) =
// (x^(2^m - 1))^2 x, about k squarings and 2 log k products, then the low
// bits one by one. Any other e takes pow_var.
template <int N>
Int<N> pow_ones_var(const FieldCt<N>& f, const Int<N>& base, const Int<N>& e) {
  const int bits = static_cast<int>(e.bit_length());
  int k = 0;
  while (k < bits && e.bit(bits - 1 - k)) ++k;
  const int low = bits - k;
  if (k < 32 || low > 16) return pow_var<N>(f, base, e);
  Int<N> r = base;  // x^(2^m - 1), m = 1
  int m = 1;
  int top = 31 - __builtin_clz(static_cast<unsigned>(k));
  for (int i = top - 1; i >= 0; --i) {
    Int<N> t = r;
    for (int j = 0; j < m; ++j) f.sqr(t, t);
    f.mul(r, t, r);
    m *= 2;
    if ((k >> i) & 1) {
      f.sqr(r, r);
      f.mul(r, r, base);
      ++m;
    }
  }
  for (int i = low - 1; i >= 0; --i) {
    f.sqr(r, r);
    if (e.bit(i)) f.mul(r, r, base);
  }
  return r;
}

// A square root of v (Montgomery form) for p = 3 mod 4; false when v is
// not a square.
template <int N>
bool sqrt_var(const FieldCt<N>& f, const Int<N>& v, Int<N>& root) {
  Int<N> e = f.m;
  e >>= 2;
  e += Int<N>(1);  // (p + 1) / 4
  root = pow_ones_var<N>(f, v, e);
  Int<N> check;
  f.sqr(check, root);
  return check == v;
}

// Sets c.quarter_test, c.t2x and c.t4dx for a curve with m = 4q where the
// test above holds; b is the curve's b in Montgomery form. Leaves
// quarter_test false anywhere else.
template <int N>
void quarter_setup(Curve<N>& c, const Int<N>& q, const Int<N>& b) {
  c.quarter_test = false;
  const FieldCt<N>& f = c.fp;
  if ((f.m.words[0] & 3) != 3) return;
  // A point of order 4 is q times a point with an odd-order part of 4; half
  // the points have one, so a few small x will do.
  for (uint64_t x0 = 1; x0 <= 64; ++x0) {
    Aff<N> p;
    f.to_mont(p.x, Int<N>(x0));
    Int<N> rhs, t;
    f.sqr(t, p.x);
    f.add(t, t, c.a);
    f.mul(rhs, t, p.x);
    f.add(rhs, rhs, b);
    if (!sqrt_var<N>(f, rhs, p.y) || p.y.is_zero()) continue;
    const Jac<N> s = mul_wnaf_var<N>(c, p, q);
    if (is_inf(s)) continue;
    Jac<N> t2;
    dbl<N>(c, t2, s);
    if (is_inf(t2)) continue;  // order 2: try another point
    Jac<N> t4;
    dbl<N>(c, t4, t2);
    if (!is_inf(t4)) return;  // 4q does not kill it: not the group we know
    Aff<N> sa = to_affine<N>(c, s), ta = to_affine<N>(c, t2);
    if (!ta.y.is_zero()) return;
    Int<N> bq, alpha, beta, check;
    f.sub(bq, sa.x, ta.x);
    f.add(alpha, ta.x, ta.x);
    f.add(alpha, alpha, ta.x);  // 3 x_T
    f.sqr(beta, bq);
    // beta = 3 x_T^2 + a, the shifted curve's linear coefficient.
    f.sqr(check, ta.x);
    f.add(t, check, check);
    f.add(t, t, check);
    f.add(t, t, c.a);
    if (t != beta) return;
    Int<N> disc, two_b;
    f.sqr(disc, alpha);
    f.sub(disc, disc, beta);
    f.sub(disc, disc, beta);
    f.sub(disc, disc, beta);
    f.sub(disc, disc, beta);  // alpha^2 - 4 beta
    f.add(two_b, bq, bq);
    f.sub(two_b, two_b, alpha);  // 2b - alpha
    if (legendre_var<N>(f, bq) != -1 || legendre_var<N>(f, disc) != -1 || legendre_var<N>(f, two_b) != 1) return;
    c.t2x = ta.x;
    c.t4dx = bq;
    c.quarter_test = true;
    return;
  }
}

// 1 when the curve point (x, y) (Montgomery form) has order q, 0 when it
// does not, -1 when a character came out zero and the caller must multiply
// by q instead. Needs c.quarter_test.
template <int N>
int quarter_in_group_var(const Curve<N>& c, const Aff<N>& pt) {
  const FieldCt<N>& f = c.fp;
  if (pt.y.is_zero()) return 0;  // T
  Int<N> X, w;
  f.sub(X, pt.x, c.t2x);
  if (!sqrt_var<N>(f, X, w)) return 0;  // outside 2E
  Int<N> v, t;
  f.mul(v, X, w);
  f.add(v, v, pt.y);
  f.mul(t, c.t4dx, w);
  f.add(v, v, t);  // X w + y + b w
  f.mul(v, v, w);
  f.add(v, v, v);
  const int chi = legendre_var<N>(f, v);
  return chi == 0 ? -1 : (chi == 1 ? 1 : 0);
}

}  // namespace vrt::ec::ctm
