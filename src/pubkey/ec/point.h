// Points of a short Weierstrass curve y^2 = x^3 + a*x + b over GF(p).
//
// Coordinates are MontInt<N> residues (Montgomery form modulo p). A point is
// affine (x, y) or Jacobian (X, Y, Z) standing for (X/Z^2, Y/Z^3); the point
// at infinity is x = y = 0 in either form, whatever z holds.
//
// Every addition handles the cases the textbook formulas leave out: either
// operand at infinity, equal operands (a doubling), opposite operands (the
// point at infinity) and doubling a point with y = 0. So every sum and
// multiple is the right point for any input on the curve. A Jacobian result
// at infinity always has z = one, so batch normalisation never meets z = 0.
//
// Timing: not constant-time. The scalar multiplications add only for one
// bits or non-zero windows, the fixed-base tables are indexed by the
// scalar's bits, and inversions and the Montgomery product branch on data.
// Nothing allocates.
#pragma once

#include <cstdint>

#include "pubkey/ec/curve.h"

namespace vrt::ec {

template <int N>
class Precomp;

// An affine pair; the entry type of the fixed-base tables (80 bytes for
// N = 256, 144 for N = 512).
template <int N>
struct RawPoint {
  MontInt<N> x;
  MontInt<N> y;

  // True exactly when both stored values are zero, whatever else the point
  // holds.
  bool is_infinity() const { return x.is_zero() && y.is_zero(); }
};

template <int N>
class Point : public RawPoint<N> {
 public:
  using RawPoint<N>::x;
  using RawPoint<N>::y;
  using RawPoint<N>::is_infinity;

  const CurveParams<N>* curve = nullptr;  // not owned
  MontInt<N> z;
  uint32_t jacobian = 0;  // 0 affine, 1 Jacobian; other values make the operations do nothing
  uint32_t mul_mode = 0;  // 0 mul_point, 1 the fixed-base table below
  Precomp<N>* precomp = nullptr;  // not owned

  Point() = default;

  // The point at infinity of a curve, Jacobian with z = one; its residues
  // refer to ctx (the curve's own context when null), which must hold the
  // curve's p.
  static Point infinity(const CurveParams<N>& c, const MontContext<N>* ctx = nullptr) {
    if (ctx == nullptr) ctx = &c.mont;
    Point r;
    r.curve = &c;
    r.x = MontInt<N>::from_raw(Int<N>(), ctx);
    r.y = r.x;
    r.z = MontInt<N>::from_raw(c.one.value, ctx);
    r.jacobian = 1;
    return r;
  }

  // The affine point (x, y) (plain numbers; values >= p are reduced), Jacobian
  // with z = one, multiplied by mul_point. Not checked to lie on the curve.
  static Point from_affine(const CurveParams<N>& c, const Int<N>& px, const Int<N>& py) {
    Point r = infinity(c);
    r.x = MontInt<N>(px, &c.mont);
    r.y = MontInt<N>(py, &c.mont);
    return r;
  }

  // this = this + other. An affine point takes the affine addition; a
  // Jacobian one the mixed addition when the other is affine or has z = one,
  // else the full Jacobian addition. A point whose jacobian field is neither
  // 0 nor 1 (on either side) is left as it is.
  Point& operator+=(const Point& o) {
    if (jacobian == 0) {
      add_point_affine(o);
    } else if (jacobian == 1) {
      if (o.jacobian == 0 || (o.jacobian == 1 && o.z == curve->one))
        add_point_jacobian_madd(o);
      else if (o.jacobian == 1)
        add_point_jacobian(o);
    }
    return *this;
  }

  // this = k*this: by mul_point, or by the attached fixed-base table when
  // mul_mode is 1 (its result, with all its fields, replaces this point; a
  // mode-1 point without a table falls back to mul_point). Any other mode
  // leaves the point as it is.
  Point& operator*=(const Int<N>& k);

  // Right-to-left binary method over all N bits of k: R starts at infinity
  // (Jacobian); for each bit from bit 0, R += B when it is set, then B is
  // doubled (B starts as this point in its own form). This point becomes R,
  // Jacobian and without a table.
  void mul_point(const Int<N>& k) {
    Point r = *this;
    r.set_infinity();
    r.jacobian = 1;
    Point b = *this;
    b.detach_table();
    for (int w = 0; w < Int<N>::kWords; ++w) {
      const uint64_t word = k.words[w];
      for (int i = 0; i < 64; ++i) {
        if ((word >> i) & 1) r += b;
        if (b.jacobian == 1)
          b.dbl_point_jacobian();
        else if (b.jacobian == 0)
          b.dbl_point_affine();
      }
    }
    *this = r;
  }

  // k*this by the width-5 non-adjacent form of k, left to right: the odd
  // multiples P, 3P, ..., 15P, normalised together by one inversion, then
  // one doubling per digit and one mixed addition per non-zero digit (about
  // N/6 of them). The same point as mul_point for every k, at about half
  // the cost. This point becomes the result, Jacobian and without a table.
  // The recoded digits are wiped before it returns (k may be a secret).
  void mul_point_wnaf(const Int<N>& k);

  // Jacobian doubling for any a: XX = X^2, YY = Y^2, YYYY = YY^2, ZZ = Z^2,
  // S = 2((X + YY)^2 - XX - YYYY), M = 3XX + a*ZZ^2, T = M^2 - 2S; X3 = T,
  // Y3 = M(S - T) - 8YYYY, Z3 = (Y + Z)^2 - YY - ZZ. y = 0 doubles to
  // infinity.
  void dbl_point_jacobian() {
    if (is_infinity()) return;
    if (y.is_zero()) {
      set_infinity();
      return;
    }
    using F = MontInt<N>;
    F xx = sqr(x), yy = sqr(y), yyyy = sqr(yy), zz = sqr(z);
    F s = x;
    s += yy;
    s = sqr(s);
    s -= xx;
    s -= yyyy;
    s += s;
    F m = xx;
    m += xx;
    m += xx;
    F azz = sqr(zz);
    azz *= curve->a_mont;
    m += azz;
    F t = sqr(m);
    t -= s;
    t -= s;
    F z3 = y;
    z3 += z;
    z3 = sqr(z3);
    z3 -= yy;
    z3 -= zz;
    F y3 = s;
    y3 -= t;
    y3 *= m;
    F y8 = yyyy;
    y8 += y8;
    y8 += y8;
    y8 += y8;
    y3 -= y8;
    x = t;
    y = y3;
    z = z3;
    detach_table();
  }

  // Affine doubling: l = (3x^2 + a)/(2y); x3 = l^2 - 2x; y3 = l(x - x3) - y.
  void dbl_point_affine() {
    if (is_infinity()) return;
    if (y.is_zero()) {
      set_infinity();
      return;
    }
    using F = MontInt<N>;
    F num = sqr(x);
    F n3 = num;
    num += n3;
    num += n3;
    num += curve->a_mont;
    F den = y;
    den += y;
    num /= den;  // lambda
    F x3 = sqr(num);
    x3 -= x;
    x3 -= x;
    F y3 = x;
    y3 -= x3;
    y3 *= num;
    y3 -= y;
    x = x3;
    y = y3;
    detach_table();
  }

  // Full Jacobian addition: U1 = X1 Z2^2, U2 = X2 Z1^2, S1 = Y1 Z2^3,
  // S2 = Y2 Z1^3, H = U2 - U1, I = (2H)^2, J = H I, r = 2(S2 - S1),
  // V = U1 I; X3 = r^2 - J - 2V, Y3 = r(V - X3) - 2 S1 J,
  // Z3 = ((Z1 + Z2)^2 - Z1^2 - Z2^2) H. At infinity this point becomes a copy
  // of the other (all fields); equal points double, opposite ones give
  // infinity.
  void add_point_jacobian(const Point& o) {
    if (is_infinity()) {
      *this = o;
      return;
    }
    if (o.is_infinity()) return;
    using F = MontInt<N>;
    F z1z1 = sqr(z), z2z2 = sqr(o.z);
    F u1 = mul(x, z2z2), u2 = mul(o.x, z1z1);
    F s1 = mul(y, o.z);
    s1 *= z2z2;
    F s2 = mul(o.y, z);
    s2 *= z1z1;
    F h = u2;
    h -= u1;
    F r = s2;
    r -= s1;
    if (h.is_zero()) {
      if (r.is_zero())
        dbl_point_jacobian();
      else
        set_infinity();
      return;
    }
    F i = h;
    i += h;
    i = sqr(i);
    F j = mul(h, i);
    r += r;
    F v = mul(u1, i);
    F x3 = sqr(r);
    x3 -= j;
    x3 -= v;
    x3 -= v;
    F y3 = v;
    y3 -= x3;
    y3 *= r;
    F sj = mul(s1, j);
    sj += sj;
    y3 -= sj;
    F z3 = z;
    z3 += o.z;
    z3 = sqr(z3);
    z3 -= z1z1;
    z3 -= z2z2;
    z3 *= h;
    x = x3;
    y = y3;
    z = z3;
    detach_table();
  }

  // Mixed addition of an affine pair (as if its z were one): U2 = x2 Z1^2,
  // S2 = y2 Z1^3, H = U2 - X1, r = S2 - Y1; Z3 = Z1 H, X3 = r^2 - H^3 -
  // 2 X1 H^2, Y3 = r(X1 H^2 - X3) - Y1 H^3. At infinity this point takes the
  // pair with z = one; equal points double, opposite ones give infinity.
  void add_point_jacobian_madd(const RawPoint<N>& o) {
    if (o.is_infinity()) return;
    if (is_infinity()) {
      x = o.x;
      y = o.y;
      z = curve->one;
      detach_table();
      return;
    }
    using F = MontInt<N>;
    F z1z1 = sqr(z);
    F u2 = mul(o.x, z1z1);
    F s2 = mul(o.y, z);
    s2 *= z1z1;
    F h = u2;
    h -= x;
    F r = s2;
    r -= y;
    if (h.is_zero()) {
      if (r.is_zero())
        dbl_point_jacobian();
      else
        set_infinity();
      return;
    }
    F hh = sqr(h);
    F hhh = mul(h, hh);
    F v = mul(x, hh);
    F x3 = sqr(r);
    x3 -= hhh;
    x3 -= v;
    x3 -= v;
    F y3 = v;
    y3 -= x3;
    y3 *= r;
    F yh = mul(y, hhh);
    y3 -= yh;
    z *= h;
    x = x3;
    y = y3;
    detach_table();
  }

  // Affine addition: l = (y2 - y1)/(x2 - x1), x3 = l^2 - x2 - x1,
  // y3 = l(x1 - x3) - y1, one field inversion. At infinity this point becomes
  // a copy of the other (all fields). A Jacobian other contributes its affine
  // coordinates.
  void add_point_affine(const Point& o) {
    if (is_infinity()) {
      *this = o;
      return;
    }
    if (o.is_infinity() || (o.jacobian != 0 && o.jacobian != 1)) return;
    if (o.jacobian == 1 && o.z != curve->one) {
      Point a = o;
      a.make_affine();
      add_point_affine(static_cast<const RawPoint<N>&>(a));
    } else {
      add_point_affine(static_cast<const RawPoint<N>&>(o));
    }
  }

  // Affine addition of an affine pair; at infinity this point takes the
  // pair's coordinates.
  void add_point_affine(const RawPoint<N>& o) {
    if (o.is_infinity()) return;
    if (is_infinity()) {
      x = o.x;
      y = o.y;
      detach_table();
      return;
    }
    if (x == o.x) {
      if (y == o.y && !y.is_zero())
        dbl_point_affine();
      else
        set_infinity();
      return;
    }
    using F = MontInt<N>;
    F num = o.y;
    num -= y;
    F den = o.x;
    den -= x;
    num /= den;
    F x3 = sqr(num);
    x3 -= o.x;
    x3 -= x;
    F y3 = x;
    y3 -= x3;
    y3 *= num;
    y3 -= y;
    x = x3;
    y = y3;
    detach_table();
  }

  // The affine coordinates as plain integers in [0, p): x, or for a
  // Jacobian point x * z^-2 mod p (y * z^-3), with one inversion. 0 for a
  // point whose jacobian field is neither 0 nor 1.
  Int<N> get_value_x() const { return get_value(2); }
  Int<N> get_value_y() const { return get_value(3); }

  // Jacobian to affine (one field inversion): x *= z^-2, y *= z^-3, z = one,
  // jacobian = 0. Other points are left as they are.
  void make_affine() {
    if (jacobian != 1) return;
    if (z != curve->one) {
      MontInt<N> zinv = invert(z);
      MontInt<N> zi2 = sqr(zinv);
      x *= zi2;
      zi2 *= zinv;
      y *= zi2;
    }
    z = curve->one;
    jacobian = 0;
  }

  // To Jacobian form with z = one (nothing for a Jacobian point).
  void make_jacobian() {
    if (jacobian == 1) return;
    z = curve->one;
    jacobian = 1;
  }

 private:
  static MontInt<N> sqr(const MontInt<N>& a) {
    MontInt<N> r = a;
    r.square();
    return r;
  }
  static MontInt<N> mul(const MontInt<N>& a, const MontInt<N>& b) {
    MontInt<N> r = a;
    r *= b;
    return r;
  }
  // a^-1: out of Montgomery form, inverted modulo p, back in.
  static MontInt<N> invert(const MontInt<N>& a) {
    Int<N> v = static_cast<Int<N>>(a);
    return MontInt<N>(v.inverse(a.context->modulus), a.context);
  }

  Int<N> get_value(int power) const {
    if (jacobian == 0) return static_cast<Int<N>>(power == 2 ? x : y);
    if (jacobian != 1) return Int<N>();
    const Int<N>& p = curve->p;
    Int<N> v = static_cast<Int<N>>(power == 2 ? x : y);
    if (z == curve->one) return v;
    Int<N> zinv = static_cast<Int<N>>(z).inverse(p);
    Int<N> t = zinv;
    t.mod(p) *= zinv;
    if (power == 3) t.mod(p) *= zinv;
    t.mod(p) *= v;
    return t;
  }

  // x = y = 0 with z = one; the form is kept.
  void set_infinity() {
    x.value = Int<N>();
    y.value = Int<N>();
    z = curve->one;
    detach_table();
  }

  // A point whose value changes no longer matches its table.
  void detach_table() {
    mul_mode = 0;
    precomp = nullptr;
  }
};

// A fixed-base table of one base point (implementations in precomp.h). The
// table object and its memory belong to the caller (the signer): it
// allocates both, constructs the object in place with the memory, and frees
// both; the destructors do nothing.
template <int N>
class Precomp {
 public:
  virtual ~Precomp() {}
  // Fills the table for base (any form; its table, if any, is ignored), with
  // residues referring to ctx. Returns 0. One field inversion per 256
  // entries.
  virtual uint32_t generate(const Point<N>& base, const MontContext<N>& ctx) = 0;
  // k*B, Jacobian, with the table's curve and context and no table of its
  // own. Before generate the result is an empty point without a curve.
  virtual Point<N> operator*(const Int<N>& k) const = 0;

 protected:
  explicit Precomp(void* table) : table_(static_cast<RawPoint<N>*>(table)) {}
  RawPoint<N>* table_;
  const CurveParams<N>* curve_ = nullptr;
  const MontContext<N>* mont_ = nullptr;
};

template <int N>
Point<N>& Point<N>::operator*=(const Int<N>& k) {
  if (mul_mode == 0 || (mul_mode == 1 && precomp == nullptr))
    mul_point(k);
  else if (mul_mode == 1)
    *this = (*precomp) * k;
  return *this;
}

// Montgomery's simultaneous inversion over a batch of M Jacobian points:
// c_i = z_0 ... z_i, one inversion of c_(M-1), then backwards
// z_i^-1 = inv * c_(i-1), inv = inv * z_i. Each point gets x *= z^-2,
// y *= z^-3 and z = one, and stays Jacobian (so that further additions to it
// take the mixed formula). Affine points are left as they are; a Jacobian
// point with z = 0 becomes the point at infinity.
template <int N, int M>
void montgomery_trick(Point<N>* points, const MontContext<N>& ctx) {
  const MontInt<N> one(Int<N>(1), &ctx);
  MontInt<N> c[M];
  for (int i = 0; i < M; ++i) {
    Point<N>& pt = points[i];
    if (pt.jacobian == 1 && pt.z.is_zero()) {
      pt.x.value = Int<N>();
      pt.y.value = Int<N>();
      pt.z = one;
    }
    const MontInt<N>& zi = pt.jacobian == 1 ? pt.z : one;
    if (i == 0) {
      c[0] = zi;
    } else {
      c[i] = c[i - 1];
      c[i] *= zi;
    }
  }
  Int<N> total = static_cast<Int<N>>(c[M - 1]);
  MontInt<N> inv(total.inverse(ctx.modulus), &ctx);
  for (int i = M - 1; i >= 0; --i) {
    Point<N>& pt = points[i];
    MontInt<N> zinv = inv;
    if (i > 0) {
      zinv *= c[i - 1];
      if (pt.jacobian == 1) inv *= pt.z;
    }
    if (pt.jacobian != 1) continue;
    MontInt<N> zi2 = zinv;
    zi2 *= zinv;
    pt.x *= zi2;
    zi2 *= zinv;
    pt.y *= zi2;
    pt.z = one;
  }
}

template <int N>
void Point<N>::mul_point_wnaf(const Int<N>& k) {
  constexpr int kW = 5;
  constexpr int kOdd = 1 << (kW - 2);  // P, 3P, ..., 15P
  constexpr int kWords = Int<N>::kWords;
  // Digits in {0, +-1, +-3, ..., +-15}, least significant first, with
  // k = sum digit_i 2^i; a negative digit adds to the rest, which may carry
  // past bit N-1, so at most N + 1 digits.
  int8_t digits[N + 1];
  int len = 0;
  Int<N> d = k;
  uint64_t top = 0;
  while (!d.is_zero() || top != 0) {
    int digit = 0;
    if (d.is_odd()) {
      digit = static_cast<int>(d.words[0] & ((1u << kW) - 1));
      if (digit >= (1 << (kW - 1))) digit -= 1 << kW;
      if (digit > 0)
        d.words[0] -= static_cast<uint64_t>(digit);  // clears the low bits, no borrow
      else
        top += d.add_carry(Int<N>(static_cast<uint64_t>(-digit)));
    }
    digits[len++] = static_cast<int8_t>(digit);
    d >>= 1;
    d.words[kWords - 1] |= top << 63;
    top = 0;
  }

  Point base = *this;
  base.detach_table();
  base.make_jacobian();
  Point table[kOdd];
  table[0] = base;
  Point twice = base;
  twice.dbl_point_jacobian();
  for (int i = 1; i < kOdd; ++i) {
    table[i] = table[i - 1];
    table[i] += twice;
  }
  montgomery_trick<N, kOdd>(table, curve->mont);

  Point r = infinity(*curve);
  for (int i = len - 1; i >= 0; --i) {
    r.dbl_point_jacobian();
    const int digit = digits[i];
    if (digit > 0) {
      r.add_point_jacobian_madd(table[(digit - 1) / 2]);
    } else if (digit < 0) {
      RawPoint<N> neg = table[(-digit - 1) / 2];
      MontInt<N> ny = MontInt<N>::from_raw(Int<N>(), neg.y.context);
      ny -= neg.y;
      neg.y = ny;
      r.add_point_jacobian_madd(neg);
    }
  }
  vrt_memset_s(digits, sizeof digits, 0, sizeof digits);
  vrt_memset_s(&d, sizeof d, 0, sizeof d);
  *this = r;
}

extern template struct RawPoint<256>;
extern template struct RawPoint<512>;
extern template class Point<256>;
extern template class Point<512>;
extern template void montgomery_trick<256, 256>(Point<256>*, const MontContext<256>&);
extern template void montgomery_trick<512, 256>(Point<512>*, const MontContext<512>&);

}  // namespace vrt::ec
