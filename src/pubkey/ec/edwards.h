// The variable-base product of VKO on the two twisted Edwards sets, in
// extended coordinates of the Edwards form e u^2 + v^2 = 1 + d u^2 v^2.
//
// The Weierstrass form the records give is y^2 = x^3 + a x + b with
// x = s (1 + v) / (1 - v) + t and y = s (1 + v) / ((1 - v) u), where
// s = (e - d) / 4 and t = (e + d) / 6. The point of order 2 is (0, -1), so
// t is its x, and the points of order 4 are (+-1/sqrt(e), 0), so s is their
// x minus t: both are what quarter_setup finds, and edwards_setup takes e
// and d from them and checks a = s^2 - 3 t^2, b = 2 t^3 - t s^2 and the
// base point on the Edwards curve. With e a square and d not, the addition
// below is complete: no input is exceptional, so every digit costs the same
// with no doubling computed beside the sum.
//
// Extended coordinates (X : Y : Z : T) stand for u = X/Z, v = Y/Z, with
// T = X Y / Z. Doubling: A = X^2, B = Y^2, C = 2 Z^2, D = e A,
// E = 2 X Y, G = D + B, F = G - C, H = D - B, X3 = E F,
// Y3 = G H, T3 = E H, Z3 = F G (T3 only where an addition follows).
// Mixed addition with an affine (u2, v2, d u2 v2): A = X1 u2, B = Y1 v2,
// C = T1 d u2 v2, E = (X1 + Y1)(u2 + v2) - A - B, F = Z1 - C, G = Z1 + C,
// H = B - e A, X3 = E F, Y3 = G H, T3 = E H, Z3 = F G.
#pragma once

#include <cstdint>

#include "pubkey/ec/ct_mul.h"
#include "pubkey/ec/quarter.h"

namespace vrt::ec::ctm {

template <int N>
struct EdAff {
  Int<N> u, v, duv;  // duv = d u v
};

template <int N>
struct Ext {
  Int<N> x, y, z, t;
};

// u = (x - t) / y, v = (x - t - s) / (x - t + s), and d u v: false for a
// point the map does not take (y = 0 or x - t + s = 0). Public data.
template <int N>
bool edwards_from_weierstrass_var(const Curve<N>& c, const Aff<N>& p, EdAff<N>& out) {
  const FieldCt<N>& f = c.fp;
  Int<N> xt, num, den, inv;
  f.sub(xt, p.x, c.t2x);
  f.add(den, xt, c.t4dx);
  f.sub(num, xt, c.t4dx);
  Int<N> both;
  f.mul(both, p.y, den);
  if (both.is_zero()) return false;
  f.inv_var(inv, both);
  Int<N> t;
  f.mul(t, inv, den);  // 1/y
  f.mul(out.u, xt, t);
  f.mul(t, inv, p.y);  // 1/den
  f.mul(out.v, num, t);
  f.mul(t, out.u, out.v);
  f.mul(out.duv, t, c.ed_d);
  return true;
}

// r = 2p; T3 only when with_t.
template <int N>
inline void ed_dbl(const Curve<N>& c, Ext<N>& r, const Ext<N>& p, bool with_t) {
  const FieldCt<N>& f = c.fp;
  Int<N> A, B, C, D, E, F, G, H;
  f.sqr(A, p.x);
  f.sqr(B, p.y);
  f.sqr(C, p.z);
  f.add(C, C, C);
  if (c.ed_e_one)
    D = A;
  else
    f.mul(D, A, c.ed_e);
  f.mul(E, p.x, p.y);  // (X + Y)^2 - A - B = 2 X Y
  f.add(E, E, E);
  f.add(G, D, B);
  f.sub(F, G, C);
  f.sub(H, D, B);
  f.mul(r.x, E, F);
  f.mul(r.y, G, H);
  f.mul(r.z, F, G);
  if (with_t) f.mul(r.t, E, H);
}

// r = p + q for q = (u, v, d u v) over zz: zz = Z1 for an affine q, Z1 Z2
// for a projective one. Complete. r may alias p.
template <int N>
inline void ed_add_over(const Curve<N>& c, Ext<N>& r, const Ext<N>& p, const Int<N>& qu, const Int<N>& qv,
                        const Int<N>& qduv, const Int<N>& zz) {
  const FieldCt<N>& f = c.fp;
  Int<N> A, B, C, E, F, G, H, s;
  f.mul(A, p.x, qu);
  f.mul(B, p.y, qv);
  f.mul(C, p.t, qduv);
  f.add(E, p.x, p.y);
  f.add(s, qu, qv);
  f.mul(E, E, s);
  f.sub(E, E, A);
  f.sub(E, E, B);
  f.sub(F, zz, C);
  f.add(G, zz, C);
  if (c.ed_e_one) {
    f.sub(H, B, A);
  } else {
    f.mul(s, A, c.ed_e);
    f.sub(H, B, s);
  }
  f.mul(r.x, E, F);
  f.mul(r.y, G, H);
  f.mul(r.t, E, H);
  f.mul(r.z, F, G);
}

// r = p + q for an affine q; complete. r may alias p.
template <int N>
inline void ed_madd(const Curve<N>& c, Ext<N>& r, const Ext<N>& p, const EdAff<N>& q) {
  ed_add_over<N>(c, r, p, q.u, q.v, q.duv, p.z);
}

// A projective point (X : Y : Z) with d T in place of T (T = X Y / Z).
template <int N>
struct EdProj {
  Int<N> x, y, z, dt;
};

// r = p + q; complete, one product more than ed_madd. r may alias p.
template <int N>
inline void ed_add(const Curve<N>& c, Ext<N>& r, const Ext<N>& p, const EdProj<N>& q) {
  Int<N> zz;
  c.fp.mul(zz, p.z, q.z);
  ed_add_over<N>(c, r, p, q.x, q.y, q.dt, zz);
}

// The entry |d| of T odd multiples, negated (u and d u v) for d < 0: every
// entry is read.
template <int N, int T>
inline EdAff<N> ed_lookup(const Curve<N>& c, const EdAff<N>* table, int8_t d) {
  const uint64_t dd = static_cast<uint64_t>(static_cast<int64_t>(d));
  const uint64_t neg = uint64_t{0} - (dd >> 63);
  const uint64_t abs = (dd ^ neg) - neg;
  const uint64_t idx = (abs - 1) >> 1;
  EdAff<N> r{};
  for (int j = 0; j < T; ++j) {
    const uint64_t m = math::ct::zero_mask(static_cast<uint64_t>(j) ^ idx);
    for (int w = 0; w < Int<N>::kWords; ++w) {
      r.u.words[w] |= table[j].u.words[w] & m;
      r.v.words[w] |= table[j].v.words[w] & m;
      r.duv.words[w] |= table[j].duv.words[w] & m;
    }
  }
  c.fp.cneg(r.u, r.u, neg);
  c.fp.cneg(r.duv, r.duv, neg);
  return r;
}

// Normalises n extended points (none with Z = 0) to (u, v, d u v) with one
// inversion (public data).
template <int N>
inline void ed_batch_affine_var(const Curve<N>& c, const Ext<N>* row, EdAff<N>* table, int n) {
  const FieldCt<N>& f = c.fp;
  Int<N> acc[64];
  acc[0] = row[0].z;
  for (int i = 1; i < n; ++i) f.mul(acc[i], acc[i - 1], row[i].z);
  Int<N> inv;
  f.inv_var(inv, acc[n - 1]);
  for (int i = n - 1; i >= 0; --i) {
    Int<N> z = inv;
    if (i > 0) {
      f.mul(z, inv, acc[i - 1]);
      f.mul(inv, inv, row[i].z);
    }
    f.mul(table[i].u, row[i].x, z);
    f.mul(table[i].v, row[i].y, z);
    f.mul(table[i].duv, table[i].u, table[i].v);
    f.mul(table[i].duv, table[i].duv, c.ed_d);
  }
}

// The odd multiples P, 3P, .. (2n - 1)P of a public point of order q
// (Weierstrass affine, Montgomery) in the Edwards form; false when the map
// does not take P.
template <int N>
inline bool ed_odd_multiples_var(const Curve<N>& c, const Aff<N>& p, EdAff<N>* table, int n) {
  const FieldCt<N>& f = c.fp;
  EdAff<N> p1, p2;
  if (!edwards_from_weierstrass_var<N>(c, p, p1)) return false;
  Ext<N> row[32], twice;
  row[0] = {p1.u, p1.v, f.one, Int<N>()};
  f.mul(row[0].t, p1.u, p1.v);
  ed_dbl<N>(c, twice, row[0], true);
  Int<N> zi;
  f.inv_var(zi, twice.z);
  f.mul(p2.u, twice.x, zi);
  f.mul(p2.v, twice.y, zi);
  f.mul(p2.duv, p2.u, p2.v);
  f.mul(p2.duv, p2.duv, c.ed_d);
  for (int j = 1; j < n; ++j) ed_madd<N>(c, row[j], row[j - 1], p2);
  ed_batch_affine_var<N>(c, row, table, n);
  return true;
}

// The same odd multiples kept projective, with no inversion: with
// a = x - t, u = a / y and v = (a - s) / (a + s) give
// (X : Y : Z : T) = (a (a + s) : (a - s) y : y (a + s) : a (a - s)).
template <int N>
inline bool ed_odd_multiples_proj_var(const Curve<N>& c, const Aff<N>& p, EdProj<N>* table, int n) {
  const FieldCt<N>& f = c.fp;
  Int<N> a, plus, minus;
  f.sub(a, p.x, c.t2x);
  f.add(plus, a, c.t4dx);
  f.sub(minus, a, c.t4dx);
  Ext<N> e;
  f.mul(e.z, p.y, plus);
  if (e.z.is_zero()) return false;
  f.mul(e.x, a, plus);
  f.mul(e.y, minus, p.y);
  f.mul(e.t, a, minus);
  Ext<N> twice;
  ed_dbl<N>(c, twice, e, true);
  EdProj<N> two{twice.x, twice.y, twice.z, Int<N>()};
  f.mul(two.dt, twice.t, c.ed_d);
  for (int j = 0; j < n; ++j) {
    if (j > 0) ed_add<N>(c, e, e, two);
    table[j] = {e.x, e.y, e.z, Int<N>()};
    f.mul(table[j].dt, e.t, c.ed_d);
  }
  return true;
}

// Back to the Weierstrass form, constant-time, for a point of order q: with
// w = s (Z + Y) / ((Z - Y) X), x = w X + t and y = w Z; one inversion.
template <int N>
inline Aff<N> ed_to_weierstrass_ct(const Curve<N>& c, const Ext<N>& r) {
  const FieldCt<N>& f = c.fp;
  Int<N> num, den, inv;
  f.add(num, r.z, r.y);
  f.mul(num, num, c.t4dx);
  f.sub(den, r.z, r.y);
  f.mul(den, den, r.x);
  f.inv(inv, den);
  f.mul(num, num, inv);
  Aff<N> out;
  f.mul(out.x, num, r.x);
  f.add(out.x, out.x, c.t2x);
  f.mul(out.y, num, r.z);
  vrt_memset_s(&num, sizeof num, 0, sizeof num);
  vrt_memset_s(&den, sizeof den, 0, sizeof den);
  vrt_memset_s(&inv, sizeof inv, 0, sizeof inv);
  return out;
}

// The fixed-base table of BaseTable in the Edwards form: the same odd
// multiples (2j + 1) 2^(W i) G, as (u, v, d u v).
template <int N>
struct EdBaseTable {
  static constexpr int kW = BaseTable<N>::kW;
  static constexpr int kT = BaseTable<N>::kT;
  static constexpr int kM = BaseTable<N>::kM;
  EdAff<N> e[kM][kT];
};

// Converts n Weierstrass points (none of order 1 or 2) with one inversion
// (public data).
template <int N>
inline void edwards_from_weierstrass_batch_var(const Curve<N>& c, const Aff<N>* in, EdAff<N>* out, int n) {
  const FieldCt<N>& f = c.fp;
  Int<N> xt[64], den[64], acc[64];
  for (int i = 0; i < n; ++i) {
    f.sub(xt[i], in[i].x, c.t2x);
    f.add(den[i], xt[i], c.t4dx);
    f.mul(acc[i], in[i].y, den[i]);  // y (x - t + s)
    if (i > 0) f.mul(acc[i], acc[i], acc[i - 1]);
  }
  Int<N> inv;
  f.inv_var(inv, acc[n - 1]);
  for (int i = n - 1; i >= 0; --i) {
    Int<N> one_over = inv;  // 1 / (y (x - t + s)) of entry i
    if (i > 0) {
      f.mul(one_over, inv, acc[i - 1]);
      Int<N> both;
      f.mul(both, in[i].y, den[i]);
      f.mul(inv, inv, both);
    }
    Int<N> t, num;
    f.mul(t, one_over, den[i]);  // 1/y
    f.mul(out[i].u, xt[i], t);
    f.mul(t, one_over, in[i].y);  // 1/(x - t + s)
    f.sub(num, xt[i], c.t4dx);
    f.mul(out[i].v, num, t);
    f.mul(t, out[i].u, out[i].v);
    f.mul(out[i].duv, t, c.ed_d);
  }
}

template <int N>
void build_ed_base_table(const Curve<N>& c, const BaseTable<N>& w, EdBaseTable<N>& t) {
  for (int i = 0; i < EdBaseTable<N>::kM; ++i)
    edwards_from_weierstrass_batch_var<N>(c, w.e[i], t.e[i], EdBaseTable<N>::kT);
}

// k*G for 0 < k < q by the Edwards table, constant-time: one complete
// addition per position; the affine result in the Weierstrass form.
template <int N>
Aff<N> ed_mul_base_ct(const Curve<N>& c, const EdBaseTable<N>& t, const Int<N>& scalar) {
  constexpr int kM = EdBaseTable<N>::kM, kT = EdBaseTable<N>::kT, kW = EdBaseTable<N>::kW;
  Int<N> k = scalar;
  const uint64_t flip = make_odd<N>(c, k);
  int8_t digits[kM];
  recode<N, kW, kM>(k, digits);
  EdAff<N> e = ed_lookup<N, kT>(c, t.e[0], digits[0]);
  Ext<N> r{e.u, e.v, c.fp.one, Int<N>()};
  c.fp.mul(r.t, e.u, e.v);
  for (int i = 1; i < kM; ++i) {
    e = ed_lookup<N, kT>(c, t.e[i], digits[i]);
    ed_madd<N>(c, r, r, e);
  }
  c.fp.cneg(r.x, r.x, flip);
  const Aff<N> out = ed_to_weierstrass_ct<N>(c, r);
  vrt_memset_s(digits, sizeof digits, 0, sizeof digits);
  vrt_memset_s(&k, sizeof k, 0, sizeof k);
  vrt_memset_s(&e, sizeof e, 0, sizeof e);
  vrt_memset_s(&r, sizeof r, 0, sizeof r);
  return out;
}

// k*P for 0 < k < q and a public affine P of order q (Weierstrass form,
// Montgomery), constant-time in k; the affine result in the Weierstrass
// form. Needs c.edwards. The odd multiples P .. 31P, then five doublings
// and one addition per digit from the top, as mul_var_base_ct.
template <int N>
Aff<N> ed_mul_var_base_ct(const Curve<N>& c, const Aff<N>& p, const Int<N>& scalar) {
  constexpr int kW = 5, kT = 1 << (kW - 1), kM = (N + 1 + kW - 1) / kW;
  const FieldCt<N>& f = c.fp;
  EdAff<N> table[kT];
  ed_odd_multiples_var<N>(c, p, table, kT);  // P is public
  Int<N> k = scalar;
  const uint64_t flip = make_odd<N>(c, k);
  int8_t digits[kM];
  recode<N, kW, kM>(k, digits);
  EdAff<N> e = ed_lookup<N, kT>(c, table, digits[kM - 1]);
  Ext<N> r{e.u, e.v, f.one, Int<N>()};
  f.mul(r.t, e.u, e.v);
  for (int i = kM - 2; i >= 0; --i) {
    for (int j = 0; j < kW; ++j) ed_dbl<N>(c, r, r, j == kW - 1);
    e = ed_lookup<N, kT>(c, table, digits[i]);
    ed_madd<N>(c, r, r, e);
  }
  f.cneg(r.x, r.x, flip);
  const Aff<N> out = ed_to_weierstrass_ct<N>(c, r);
  vrt_memset_s(digits, sizeof digits, 0, sizeof digits);
  vrt_memset_s(&k, sizeof k, 0, sizeof k);
  vrt_memset_s(&e, sizeof e, 0, sizeof e);
  vrt_memset_s(&r, sizeof r, 0, sizeof r);
  return out;
}

// Whether z1 G + z2 Q has an x with x mod q = r, for public scalars below
// 2^N and a public Q of order q (Weierstrass affine, Montgomery),
// variable-time. One chain of doublings serves both: the width-5
// non-adjacent form of z2 over the projective odd multiples of Q, and the
// width-7 form of z1 over G, 3G, .. 63G, the first row of the Edwards base
// table. False for the neutral point.
template <int N>
bool ed_double_mul_matches_var(const Curve<N>& c, const EdBaseTable<N>& t, const Aff<N>& q, const Int<N>& z1,
                               const Int<N>& z2, const Int<N>& r_expected) {
  static_assert(EdBaseTable<N>::kT == 32, "the first row holds G .. 63G");
  const FieldCt<N>& f = c.fp;
  constexpr int kOdd = 8;  // Q, 3Q, .. 15Q
  int8_t d1[N + 1], d2[N + 1];
  const int len1 = wnaf_digits_var<7, N>(z1, d1);
  const int len2 = wnaf_digits_var<5, N>(z2, d2);
  EdProj<N> table[kOdd];
  if (len2 > 0 && !ed_odd_multiples_proj_var<N>(c, q, table, kOdd)) return false;
  Ext<N> r{Int<N>(), f.one, f.one, Int<N>()};  // the neutral point (0, 1)
  bool started = false;
  for (int i = (len1 > len2 ? len1 : len2) - 1; i >= 0; --i) {
    const int g = i < len1 ? d1[i] : 0;
    const int h = i < len2 ? d2[i] : 0;
    // T only where an addition follows.
    if (started) ed_dbl<N>(c, r, r, g != 0 || h != 0);
    if (h != 0) {
      EdProj<N> e = table[((h < 0 ? -h : h) - 1) / 2];
      if (h < 0) {
        f.neg(e.x, e.x);
        f.neg(e.dt, e.dt);
      }
      ed_add<N>(c, r, r, e);
      started = true;
    }
    if (g != 0) {
      EdAff<N> e = t.e[0][((g < 0 ? -g : g) - 1) / 2];
      if (g < 0) {
        f.neg(e.u, e.u);
        f.neg(e.duv, e.duv);
      }
      ed_madd<N>(c, r, r, e);
      started = true;
    }
  }
  // x - t = s (Z + Y) / (Z - Y); Z = Y only at the neutral point.
  Int<N> num, den;
  f.sub(den, r.z, r.y);
  if (den.is_zero()) return false;
  f.add(num, r.z, r.y);
  f.mul(num, num, c.t4dx);
  return x_matches_var<N>(c, num, den, c.t2x, r_expected);
}

// Sets c.edwards (and e, d, s, t) where quarter_setup found the curve's
// points of order 2 and 4 and every check above holds; b is the curve's b
// in Montgomery form. Public data.
template <int N>
void edwards_setup(Curve<N>& c, const Int<N>& b) {
  c.edwards = false;
  if (!c.quarter_test) return;
  const FieldCt<N>& f = c.fp;
  const Int<N>& s = c.t4dx;
  const Int<N>& t = c.t2x;
  Int<N> s2, t2, t3, x, y;
  f.sqr(s2, s);
  f.sqr(t2, t);
  // a = s^2 - 3 t^2
  f.sub(x, s2, t2);
  f.sub(x, x, t2);
  f.sub(x, x, t2);
  if (x != c.a) return;
  // b = 2 t^3 - t s^2
  f.mul(t3, t2, t);
  f.add(x, t3, t3);
  f.mul(y, t, s2);
  f.sub(x, x, y);
  if (x != b) return;
  Int<N> e, d;
  f.add(e, s, s);
  f.add(x, t, t);
  f.add(x, x, t);  // 3t
  f.add(e, e, x);  // 2s + 3t
  f.sub(d, x, s);
  f.sub(d, d, s);  // 3t - 2s
  if (legendre_var<N>(f, e) != 1 || legendre_var<N>(f, d) != -1) return;
  c.ed_e = e;
  c.ed_d = d;
  c.ed_e_one = e == f.one;
  // G on the Edwards curve.
  EdAff<N> g;
  if (!edwards_from_weierstrass_var<N>(c, Aff<N>{c.gx, c.gy}, g)) return;
  Int<N> u2, v2, lhs, rhs;
  f.sqr(u2, g.u);
  f.sqr(v2, g.v);
  f.mul(lhs, e, u2);
  f.add(lhs, lhs, v2);
  f.mul(rhs, u2, v2);
  f.mul(rhs, rhs, d);
  f.add(rhs, rhs, f.one);
  if (lhs != rhs) return;
  c.edwards = true;
}

}  // namespace vrt::ec::ctm
