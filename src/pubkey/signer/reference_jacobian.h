// The reference engine's scalar multiplication in Jacobian coordinates over
// its own Montgomery field (reference_mont_field.h): (X, Y, Z) stands for
// the affine (X/Z^2, Y/Z^3), Z = 0 for the point at infinity, and the one
// field inversion comes at the end.
//
// The formulas are the affine chord-and-tangent rules with the divisions
// moved into Z, taking the same branches as the affine code: doubling a
// point with y = 0 gives infinity; adding points with equal x gives
// infinity when the y are negatives of each other and the double of the
// first otherwise. The walk is the affine one too (right to left: R += B
// for a set bit, then B = 2B), so every intermediate point, and the
// result, is the affine code's for any input, on the curve or not. The
// formulas use the coefficient a only, never b.
//
// Timing: not constant-time. The walk follows the bits of the scalar and
// the formulas branch on the coordinates; the reference code that uses it
// is not constant-time either.
#pragma once

#include <cstdint>
#include <cstring>

#include "pubkey/signer/reference_mont_field.h"

namespace vrt::signer::reference {

template <int N>
class JacobianCurve {
 public:
  using Field = MontField<N>;
  using Elem = typename Field::Elem;
  static constexpr int kBytes = N / 8;

  struct Point {
    Elem x, y, z;
  };

  // a: the curve coefficient, a plain number below the field's modulus.
  JacobianCurve(const Field& f, const uint64_t* a) : f_(f) { f_.to_mont(a_, a); }

  // An affine point (plain coordinates below the modulus, (0, 0) for
  // infinity) into Jacobian form.
  void from_affine(Point& r, const uint64_t* x, const uint64_t* y) const {
    if (Field::is_zero(x) && Field::is_zero(y)) {
      set_infinity(r);
      return;
    }
    f_.to_mont(r.x, x);
    f_.to_mont(r.y, y);
    std::memcpy(r.z, f_.one(), sizeof(Elem));
  }

  // Plain affine coordinates of p, (0, 0) for infinity.
  void to_affine(uint64_t* x, uint64_t* y, const Point& p) const {
    if (Field::is_zero(p.z)) {
      std::memset(x, 0, sizeof(Elem));
      std::memset(y, 0, sizeof(Elem));
      return;
    }
    Elem zi, zi2, t;
    f_.inv(zi, p.z);
    f_.sqr(zi2, zi);
    f_.mul(t, p.x, zi2);
    f_.from_mont(x, t);
    f_.mul(zi2, zi2, zi);
    f_.mul(t, p.y, zi2);
    f_.from_mont(y, t);
  }

  // p = 2p: M = 3X^2 + aZ^4, S = 4XY^2, X3 = M^2 - 2S,
  // Y3 = M(S - X3) - 8Y^4, Z3 = 2YZ (which is 0 when y = 0).
  void dbl(Point& p) const {
    if (Field::is_zero(p.z)) return;
    Elem xx, yy, zz, m, s, t;
    f_.sqr(xx, p.x);
    f_.sqr(yy, p.y);
    f_.sqr(zz, p.z);
    f_.add(m, xx, xx);
    f_.add(m, m, xx);
    f_.sqr(zz, zz);
    f_.mul(zz, zz, a_);
    f_.add(m, m, zz);  // M
    f_.mul(s, p.x, yy);
    f_.add(s, s, s);
    f_.add(s, s, s);  // S
    f_.mul(p.z, p.y, p.z);
    f_.add(p.z, p.z, p.z);  // Z3, before Y is overwritten
    f_.sqr(t, m);
    f_.sub(t, t, s);
    f_.sub(p.x, t, s);  // X3
    f_.sub(t, s, p.x);
    f_.mul(t, m, t);
    f_.sqr(yy, yy);
    f_.add(yy, yy, yy);
    f_.add(yy, yy, yy);
    f_.add(yy, yy, yy);  // 8Y^4
    f_.sub(p.y, t, yy);
  }

  // p = p + q: U1 = X1 Z2^2, U2 = X2 Z1^2, S1 = Y1 Z2^3, S2 = Y2 Z1^3,
  // H = U2 - U1, r = S2 - S1, X3 = r^2 - H^3 - 2 U1 H^2,
  // Y3 = r(U1 H^2 - X3) - S1 H^3, Z3 = Z1 Z2 H.
  void add(Point& p, const Point& q) const {
    if (Field::is_zero(q.z)) return;
    if (Field::is_zero(p.z)) {
      p = q;
      return;
    }
    Elem z1z1, z2z2, u1, u2, s1, s2, h, r, hh, hhh, v, t;
    f_.sqr(z1z1, p.z);
    f_.sqr(z2z2, q.z);
    f_.mul(u1, p.x, z2z2);
    f_.mul(u2, q.x, z1z1);
    f_.mul(s1, p.y, q.z);
    f_.mul(s1, s1, z2z2);
    f_.mul(s2, q.y, p.z);
    f_.mul(s2, s2, z1z1);
    if (Field::equal(u1, u2)) {  // equal x
      f_.add(t, s1, s2);
      if (Field::is_zero(t))
        set_infinity(p);
      else
        dbl(p);
      return;
    }
    f_.sub(h, u2, u1);
    f_.sub(r, s2, s1);
    f_.sqr(hh, h);
    f_.mul(hhh, hh, h);
    f_.mul(v, u1, hh);
    f_.sqr(t, r);
    f_.sub(t, t, hhh);
    f_.sub(t, t, v);
    f_.sub(t, t, v);  // X3
    f_.mul(p.z, p.z, q.z);
    f_.mul(p.z, p.z, h);
    std::memcpy(p.x, t, sizeof(Elem));
    f_.sub(v, v, t);
    f_.mul(v, r, v);
    f_.mul(s1, s1, hhh);
    f_.sub(p.y, v, s1);
  }

  // r = k*g for the little-endian N-bit scalar k, right to left over its
  // bits up to the highest set one.
  void mul(Point& r, const uint8_t* k, const Point& g) const {
    set_infinity(r);
    int top = -1;
    for (int i = 0; i < N; ++i)
      if ((k[i / 8] >> (i % 8)) & 1) top = i;
    Point b = g;
    for (int i = 0; i <= top; ++i) {
      if ((k[i / 8] >> (i % 8)) & 1) add(r, b);
      if (i < top) dbl(b);
    }
  }

  static void set_infinity(Point& p) { std::memset(&p, 0, sizeof p); }

 private:
  const Field& f_;
  Elem a_;
};

}  // namespace vrt::signer::reference
