// Scalar multiplication for secret scalars, and the fast public paths of
// verification, on Jacobian points over the constant-time field.
//
// Secret scalars (private keys, nonces, the VKO product) are recoded into a
// fixed number of signed odd digits, so that every digit costs the same:
// one mixed addition (and w doublings for a variable base), with the table
// entry chosen by a full masked scan and negated by a mask. An even scalar k
// is replaced by q - k (odd) and the result negated at the end. Exceptional
// sums (an operand at infinity, two equal operands) cannot arise in the
// early positions, where the partial scalars are too small to meet modulo
// q; the positions where they might take the complete addition, which
// computes the doubling beside the sum and selects by masks. Nothing in
// these paths branches on or indexes by a secret value.
//
// The _var functions work on public values (verification, tables, public
// keys) and may take data-dependent time.
#pragma once

#include <cstdint>

#include "pubkey/math/field_ct.h"
#include "vrt.h"

namespace vrt::ec::ctm {

using math::FieldCt;
using math::Int;

// The curve as these paths need it: both fields, a in Montgomery form.
template <int N>
struct Curve {
  FieldCt<N> fp;    // modulo p
  FieldCt<N> fq;    // modulo q
  Int<N> a;         // a*R mod p
  bool a_minus3 = false;
  int q_bits = 0;
  Int<N> gx, gy;    // the base point, Montgomery form
  // On the sets with m = 4q and a cyclic group of order 4 beside q: the x
  // of the point of order 2 and the offset b from it of the points of
  // order 4 (Montgomery form), for the group test of quarter.h.
  bool quarter_test = false;
  Int<N> t2x, t4dx;
  // The same curves in twisted Edwards form e u^2 + v^2 = 1 + d u^2 v^2
  // (edwards.h), when e is a square and d is not.
  bool edwards = false;
  bool ed_e_one = false;
  Int<N> ed_e, ed_d;
};

template <int N>
struct Aff {
  Int<N> x, y;
};

template <int N>
struct Jac {
  Int<N> x, y, z;  // z = 0: the point at infinity
};

// ---- formulas (constant-time) ----

// Jacobian doubling: for a = -3 delta = Z^2, gamma = Y^2, beta = X gamma,
// alpha = 3(X - delta)(X + delta), X3 = alpha^2 - 8 beta,
// Z3 = (Y + Z)^2 - gamma - delta, Y3 = alpha(4 beta - X3) - 8 gamma^2;
// for any other a XX = X^2, YY = Y^2, ZZ = Z^2, S = 2((X + YY)^2 - XX -
// YY^2), M = 3 XX + a ZZ^2, X3 = M^2 - 2S, Y3 = M(S - X3) - 8 YY^2,
// Z3 = (Y + Z)^2 - YY - ZZ. Infinity (z = 0) stays infinity. r may alias p.
template <int N>
inline void dbl(const Curve<N>& c, Jac<N>& r, const Jac<N>& p) {
  // Every read of p comes before the first write of r (which may be p), and
  // the results go straight into r.
  const FieldCt<N>& f = c.fp;
  if (c.a_minus3) {
    Int<N> delta, gamma, beta, alpha, t;
    f.sqr(delta, p.z);
    f.sqr(gamma, p.y);
    f.mul(beta, p.x, gamma);
    f.sub(alpha, p.x, delta);
    f.add(t, p.x, delta);
    f.mul(alpha, alpha, t);
    f.add(t, alpha, alpha);
    f.add(alpha, t, alpha);
    f.add(r.z, p.y, p.z);
    f.sqr(r.z, r.z);
    f.sub(r.z, r.z, gamma);
    f.sub(r.z, r.z, delta);
    f.add(beta, beta, beta);
    f.add(beta, beta, beta);  // 4 beta
    f.sqr(r.x, alpha);
    f.sub(r.x, r.x, beta);
    f.sub(r.x, r.x, beta);
    f.sub(t, beta, r.x);
    f.mul(t, t, alpha);
    f.sqr(gamma, gamma);
    f.add(gamma, gamma, gamma);
    f.add(gamma, gamma, gamma);
    f.add(gamma, gamma, gamma);  // 8 gamma^2
    f.sub(r.y, t, gamma);
  } else {
    Int<N> xx, yy, yyyy, zz, s, m, t;
    f.sqr(xx, p.x);
    f.sqr(yy, p.y);
    f.sqr(yyyy, yy);
    f.sqr(zz, p.z);
    f.add(s, p.x, yy);
    f.sqr(s, s);
    f.sub(s, s, xx);
    f.sub(s, s, yyyy);
    f.add(s, s, s);
    f.add(m, xx, xx);
    f.add(m, m, xx);
    f.sqr(t, zz);
    f.mul(t, t, c.a);
    f.add(m, m, t);
    f.add(r.z, p.y, p.z);
    f.sqr(r.z, r.z);
    f.sub(r.z, r.z, yy);
    f.sub(r.z, r.z, zz);
    f.sqr(r.x, m);
    f.sub(r.x, r.x, s);
    f.sub(r.x, r.x, s);
    f.sub(t, s, r.x);
    f.mul(t, t, m);
    f.add(yyyy, yyyy, yyyy);
    f.add(yyyy, yyyy, yyyy);
    f.add(yyyy, yyyy, yyyy);
    f.sub(r.y, t, yyyy);
  }
}

// n >= 1 doublings in a row. For a = -3 the doubling above n times; for any
// other a the run carries T = a Z^4 beside the point (modified Jacobian):
// XX = X^2, YY = Y^2, YYYY = YY^2, S = 2((X + YY)^2 - XX - YYYY),
// M = 3 XX + T, X3 = M^2 - 2S, Y3 = M(S - X3) - 8 YYYY, Z3 = 2 Y Z,
// T3 = 16 YYYY T, which saves three squarings for one product per doubling
// after the first. Infinity stays infinity; n is public, nothing else
// steers the work. r may alias p.
template <int N>
inline void dbl_n(const Curve<N>& c, Jac<N>& r, const Jac<N>& p, int n) {
  if (c.a_minus3) {
    dbl<N>(c, r, p);
    for (int i = 1; i < n; ++i) dbl<N>(c, r, r);
    return;
  }
  const FieldCt<N>& f = c.fp;
  Int<N> x = p.x, y = p.y, z = p.z, t, xx, yy, yyyy, s, m;
  f.sqr(t, z);
  f.sqr(t, t);
  f.mul(t, t, c.a);
  for (int i = 0; i < n; ++i) {
    f.sqr(xx, x);
    f.sqr(yy, y);
    f.sqr(yyyy, yy);
    f.add(s, x, yy);
    f.sqr(s, s);
    f.sub(s, s, xx);
    f.sub(s, s, yyyy);
    f.add(s, s, s);
    f.add(m, xx, xx);
    f.add(m, m, xx);
    f.add(m, m, t);
    f.mul(z, y, z);
    f.add(z, z, z);
    f.sqr(x, m);
    f.sub(x, x, s);
    f.sub(x, x, s);
    f.sub(s, s, x);
    f.mul(s, s, m);
    f.add(yyyy, yyyy, yyyy);
    f.add(yyyy, yyyy, yyyy);
    f.add(yyyy, yyyy, yyyy);  // 8 YYYY
    f.sub(y, s, yyyy);
    if (i + 1 < n) {
      f.mul(t, t, yyyy);
      f.add(t, t, t);
    }
  }
  r = {x, y, z};
}

// Mixed addition p + b for b affine: Z1Z1 = Z1^2, U2 = X2 Z1Z1,
// S2 = Y2 Z1 Z1Z1, H = U2 - X1, I = 4H^2, J = H I, rr = 2(S2 - Y1),
// V = X1 I, X3 = rr^2 - J - 2V, Y3 = rr(V - X3) - 2 Y1 J,
// Z3 = (Z1 + H)^2 - Z1Z1 - H^2. Wrong for p at infinity and for p = b (then
// h and rr come out 0); p = -b gives z = 0. h and rr are returned for the
// complete form. r may alias p (every read of p comes first).
template <int N>
inline void madd(const Curve<N>& c, Jac<N>& r, const Jac<N>& p, const Aff<N>& b, Int<N>* h_out = nullptr,
                 Int<N>* rr_out = nullptr) {
  const FieldCt<N>& f = c.fp;
  Int<N> z1z1, u2, s2, h, hh, i, j, rr, v, t;
  f.sqr(z1z1, p.z);
  f.mul(u2, b.x, z1z1);
  f.mul(s2, b.y, p.z);
  f.mul(s2, s2, z1z1);
  f.sub(h, u2, p.x);
  f.sqr(hh, h);
  f.add(i, hh, hh);
  f.add(i, i, i);
  f.mul(j, h, i);
  f.sub(rr, s2, p.y);
  f.add(rr, rr, rr);
  f.mul(v, p.x, i);
  f.mul(s2, j, p.y);  // Y1 J
  f.add(t, p.z, h);
  if (h_out != nullptr) *h_out = h;
  if (rr_out != nullptr) *rr_out = rr;
  f.sqr(r.z, t);
  f.sub(r.z, r.z, z1z1);
  f.sub(r.z, r.z, hh);
  f.sqr(r.x, rr);
  f.sub(r.x, r.x, j);
  f.sub(r.x, r.x, v);
  f.sub(r.x, r.x, v);
  f.sub(t, v, r.x);
  f.mul(t, t, rr);
  f.add(s2, s2, s2);
  f.sub(r.y, t, s2);
}

template <int N>
inline void cmov(Jac<N>& r, const Jac<N>& a, uint64_t mask) {
  math::ct::cmov<N>(r.x, a.x, mask);
  math::ct::cmov<N>(r.y, a.y, mask);
  math::ct::cmov<N>(r.z, a.z, mask);
}

// p + b for every p (infinity included) and b affine, not at infinity: the
// doubling is computed beside the sum and chosen by masks when p = b.
template <int N>
inline void madd_complete(const Curve<N>& c, Jac<N>& r, const Jac<N>& p, const Aff<N>& b) {
  Jac<N> sum, twice;
  Int<N> h, rr;
  madd<N>(c, sum, p, b, &h, &rr);
  dbl<N>(c, twice, p);
  const uint64_t p_inf = math::ct::is_zero_mask<N>(p.z);
  const uint64_t same = math::ct::is_zero_mask<N>(h) & math::ct::is_zero_mask<N>(rr) & ~p_inf;
  cmov<N>(sum, twice, same);
  const Jac<N> lifted{b.x, b.y, c.fp.one};
  cmov<N>(sum, lifted, p_inf);
  r = sum;
}

// The affine point in Montgomery form, constant-time (z must not be 0).
template <int N>
inline Aff<N> to_affine(const Curve<N>& c, const Jac<N>& p) {
  Int<N> zi, zi2;
  c.fp.inv(zi, p.z);
  c.fp.sqr(zi2, zi);
  Aff<N> r;
  c.fp.mul(r.x, p.x, zi2);
  c.fp.mul(zi2, zi2, zi);
  c.fp.mul(r.y, p.y, zi2);
  return r;
}

// ---- recoding ----

// k (odd, below 2^N) as M signed odd digits of W bits: k = sum d_i 2^(W i),
// each d_i odd in [-(2^W - 1), 2^W - 1]. Each digit is the low W + 1 bits
// minus 2^W, subtracted before the shift; no branch.
template <int N, int W, int M>
inline void recode(const Int<N>& k, int8_t (&digits)[M]) {
  static_assert(W * M >= N + 1, "enough digits for N bits");
  constexpr int K = Int<N>::kWords;
  uint64_t v[K + 1];
  for (int i = 0; i < K; ++i) v[i] = k.words[i];
  v[K] = 0;
  for (int i = 0; i < M - 1; ++i) {
    const int64_t d = static_cast<int64_t>(v[0] & ((uint64_t{1} << (W + 1)) - 1)) - (int64_t{1} << W);
    digits[i] = static_cast<int8_t>(d);
    // v -= d: add -d, sign-extended over every word.
    const uint64_t nd = static_cast<uint64_t>(-d), ext = static_cast<uint64_t>((-d) >> 63);
    unsigned __int128 s = static_cast<unsigned __int128>(v[0]) + nd;
    v[0] = static_cast<uint64_t>(s);
    uint64_t c = static_cast<uint64_t>(s >> 64);
    for (int j = 1; j <= K; ++j) {
      s = static_cast<unsigned __int128>(v[j]) + ext + c;
      v[j] = static_cast<uint64_t>(s);
      c = static_cast<uint64_t>(s >> 64);
    }
    for (int j = 0; j < K; ++j) v[j] = (v[j] >> W) | (v[j + 1] << (64 - W));
    v[K] >>= W;
  }
  digits[M - 1] = static_cast<int8_t>(v[0]);
  vrt_memset_s(v, sizeof v, 0, sizeof v);
}

// The entry |d| of T odd multiples, negated for d < 0: every entry is read.
template <int N, int T>
inline Aff<N> lookup(const Curve<N>& c, const Aff<N>* table, int8_t d) {
  const uint64_t dd = static_cast<uint64_t>(static_cast<int64_t>(d));
  const uint64_t neg = uint64_t{0} - (dd >> 63);
  const uint64_t abs = (dd ^ neg) - neg;
  const uint64_t idx = (abs - 1) >> 1;
  Aff<N> r{};
  for (int j = 0; j < T; ++j) {
    const uint64_t m = math::ct::zero_mask(static_cast<uint64_t>(j) ^ idx);
    for (int w = 0; w < Int<N>::kWords; ++w) {
      r.x.words[w] |= table[j].x.words[w] & m;
      r.y.words[w] |= table[j].y.words[w] & m;
    }
  }
  c.fp.cneg(r.y, r.y, neg);
  return r;
}

// The odd representative: k when odd, q - k when even (mask all ones).
template <int N>
inline uint64_t make_odd(const Curve<N>& c, Int<N>& k) {
  const uint64_t even = (k.words[0] & 1) - 1;
  Int<N> alt;
  math::ct::sub_mask<N>(alt, c.fq.m, k);
  math::ct::cmov<N>(k, alt, even);
  return even;
}

// ---- the fixed-base table of a curve ----

// Positions i = 0 .. M-1 of the odd multiples (2j + 1) 2^(W i) G,
// j = 0 .. T-1, affine in Montgomery form: k*G is one mixed addition per
// position and no doubling.
template <int N>
struct BaseTable {
  static constexpr int kW = 6;
  static constexpr int kT = 1 << (kW - 1);
  static constexpr int kM = (N + 1 + kW - 1) / kW;
  Aff<N> e[kM][kT];
};

// ---- variable-time helpers for public points ----

template <int N>
inline bool is_inf(const Jac<N>& p) {
  return p.z.is_zero();
}

// p + b with the exceptional cases by branches (public data).
template <int N>
inline void madd_var(const Curve<N>& c, Jac<N>& r, const Jac<N>& p, const Aff<N>& b) {
  if (is_inf(p)) {
    r = {b.x, b.y, c.fp.one};
    return;
  }
  Int<N> h, rr;
  Jac<N> s;
  madd<N>(c, s, p, b, &h, &rr);
  if (h.is_zero()) {
    if (rr.is_zero())
      dbl<N>(c, r, p);
    else
      r = Jac<N>{};
    return;
  }
  r = s;
}

// Full Jacobian addition p + o (public data): U1 = X1 Z2^2, U2 = X2 Z1^2,
// S1 = Y1 Z2^3, S2 = Y2 Z1^3, H = U2 - U1, I = (2H)^2, J = H I,
// rr = 2(S2 - S1), V = U1 I; X3 = rr^2 - J - 2V, Y3 = rr(V - X3) - 2 S1 J,
// Z3 = ((Z1 + Z2)^2 - Z1^2 - Z2^2) H.
template <int N>
inline void add_var(const Curve<N>& c, Jac<N>& r, const Jac<N>& p, const Jac<N>& o) {
  if (is_inf(p)) {
    r = o;
    return;
  }
  if (is_inf(o)) {
    r = p;
    return;
  }
  const FieldCt<N>& f = c.fp;
  Int<N> z1z1, z2z2, u1, u2, s1, s2, h, i, j, rr, v, x3, y3, z3;
  f.sqr(z1z1, p.z);
  f.sqr(z2z2, o.z);
  f.mul(u1, p.x, z2z2);
  f.mul(u2, o.x, z1z1);
  f.mul(s1, p.y, o.z);
  f.mul(s1, s1, z2z2);
  f.mul(s2, o.y, p.z);
  f.mul(s2, s2, z1z1);
  f.sub(h, u2, u1);
  f.sub(rr, s2, s1);
  if (h.is_zero()) {
    if (rr.is_zero())
      dbl<N>(c, r, p);
    else
      r = Jac<N>{};
    return;
  }
  f.add(i, h, h);
  f.sqr(i, i);
  f.mul(j, h, i);
  f.add(rr, rr, rr);
  f.mul(v, u1, i);
  f.sqr(x3, rr);
  f.sub(x3, x3, j);
  f.sub(x3, x3, v);
  f.sub(x3, x3, v);
  f.sub(y3, v, x3);
  f.mul(y3, y3, rr);
  f.mul(s1, s1, j);
  f.add(s1, s1, s1);
  f.sub(y3, y3, s1);
  f.add(z3, p.z, o.z);
  f.sqr(z3, z3);
  f.sub(z3, z3, z1z1);
  f.sub(z3, z3, z2z2);
  f.mul(z3, z3, h);
  r = {x3, y3, z3};
}

// Normalises n Jacobian points (none at infinity) to affine with one
// inversion (public data).
template <int N>
inline void batch_affine_var(const Curve<N>& c, const Jac<N>* in, Aff<N>* out, int n) {
  const FieldCt<N>& f = c.fp;
  Int<N> acc[64];
  acc[0] = in[0].z;
  for (int i = 1; i < n; ++i) f.mul(acc[i], acc[i - 1], in[i].z);
  Int<N> inv;
  f.inv_var(inv, acc[n - 1]);
  for (int i = n - 1; i >= 0; --i) {
    Int<N> zi = inv;
    if (i > 0) {
      f.mul(zi, inv, acc[i - 1]);
      f.mul(inv, inv, in[i].z);
    }
    Int<N> zi2;
    f.sqr(zi2, zi);
    f.mul(out[i].x, in[i].x, zi2);
    f.mul(zi2, zi2, zi);
    f.mul(out[i].y, in[i].y, zi2);
  }
}

// Fills a base table for the affine point g (Montgomery form; public).
template <int N>
void build_base_table(const Curve<N>& c, const Aff<N>& g, BaseTable<N>& t) {
  constexpr int kT = BaseTable<N>::kT;
  Jac<N> b{g.x, g.y, c.fp.one};
  Jac<N> row[kT];
  for (int i = 0; i < BaseTable<N>::kM; ++i) {
    if (i > 0)
      for (int d = 0; d < BaseTable<N>::kW; ++d) dbl<N>(c, b, b);
    Jac<N> twice;
    dbl<N>(c, twice, b);
    row[0] = b;
    for (int j = 1; j < kT; ++j) add_var<N>(c, row[j], row[j - 1], twice);
    batch_affine_var<N>(c, row, t.e[i], kT);
  }
}

// ---- secret scalars ----

// k*G for 0 < k < q by the base table, constant-time; Jacobian result.
template <int N>
Jac<N> mul_base_ct(const Curve<N>& c, const BaseTable<N>& t, const Int<N>& scalar) {
  constexpr int kM = BaseTable<N>::kM, kT = BaseTable<N>::kT, kW = BaseTable<N>::kW;
  Int<N> k = scalar;
  const uint64_t flip = make_odd<N>(c, k);
  int8_t digits[kM];
  recode<N, kW, kM>(k, digits);
  Aff<N> e = lookup<N, kT>(c, t.e[0], digits[0]);
  Jac<N> r{e.x, e.y, c.fp.one};
  for (int i = 1; i < kM; ++i) {
    e = lookup<N, kT>(c, t.e[i], digits[i]);
    // The partial sum and the entry cannot meet while 2^(W(i+1)) < q.
    if (kW * (i + 1) >= c.q_bits)
      madd_complete<N>(c, r, r, e);
    else
      madd<N>(c, r, r, e);
  }
  c.fp.cneg(r.y, r.y, flip);
  vrt_memset_s(digits, sizeof digits, 0, sizeof digits);
  vrt_memset_s(&k, sizeof k, 0, sizeof k);
  vrt_memset_s(&e, sizeof e, 0, sizeof e);
  return r;
}

// k*P for 0 < k < q and a public affine P of order q, constant-time in k:
// the odd multiples P .. 31P, then five doublings and one mixed addition per
// digit from the top.
template <int N>
Jac<N> mul_var_base_ct(const Curve<N>& c, const Aff<N>& p, const Int<N>& scalar) {
  constexpr int kW = 5, kT = 1 << (kW - 1), kM = (N + 1 + kW - 1) / kW;
  Aff<N> table[kT];
  {
    Jac<N> row[kT], twice;
    row[0] = {p.x, p.y, c.fp.one};
    dbl<N>(c, twice, row[0]);
    for (int j = 1; j < kT; ++j) add_var<N>(c, row[j], row[j - 1], twice);
    batch_affine_var<N>(c, row, table, kT);
  }
  Int<N> k = scalar;
  const uint64_t flip = make_odd<N>(c, k);
  int8_t digits[kM];
  recode<N, kW, kM>(k, digits);
  Aff<N> e = lookup<N, kT>(c, table, digits[kM - 1]);
  Jac<N> r{e.x, e.y, c.fp.one};
  for (int i = kM - 2; i >= 0; --i) {
    dbl_n<N>(c, r, r, kW);
    e = lookup<N, kT>(c, table, digits[i]);
    // 2^W times the partial scalar and the digit cannot meet while
    // 2^(W(M-i)) < q/2.
    if (kW * (kM - i) >= c.q_bits - 1)
      madd_complete<N>(c, r, r, e);
    else
      madd<N>(c, r, r, e);
  }
  c.fp.cneg(r.y, r.y, flip);
  vrt_memset_s(digits, sizeof digits, 0, sizeof digits);
  vrt_memset_s(&k, sizeof k, 0, sizeof k);
  vrt_memset_s(&e, sizeof e, 0, sizeof e);
  return r;
}

// ---- public scalars (verification) ----

// An odd k' below 2^N with k' = k or k' = -k modulo q, for a public k below
// 2^N; true when k' is the negation.
template <int N>
inline bool odd_representative_var(const Curve<N>& c, Int<N>& k) {
  bool flip = false;
  if (!k.is_odd()) {
    if (k >= c.fq.m) {  // keep the odd representative below 2^N
      k -= c.fq.m;
    } else {
      Int<N> alt = c.fq.m;
      alt -= k;
      k = alt;
      flip = true;
    }
    if (!k.is_odd()) {  // k - q of an even k >= q is odd: cannot happen twice
      Int<N> alt = c.fq.m;
      alt -= k;
      k = alt;
      flip = !flip;
    }
  }
  return flip;
}

// The width-W non-adjacent form of a public scalar: odd digits in
// {+-1, .. +-(2^(W-1) - 1)} or 0, any two nonzero digits at least W apart,
// least significant first, k = sum digits[i] 2^i; returns their count (at
// most N + 1, 0 for k = 0). The number moves by whole runs of zeros, not
// bit by bit; one word above it takes the carry of a negative digit.
template <int W, int N>
inline int wnaf_digits_var(const Int<N>& scalar, int8_t (&digits)[N + 1]) {
  static_assert(W >= 2 && W <= 8, "digits fit in int8_t");
  constexpr int K = Int<N>::kWords;
  uint64_t w[K + 1];
  for (int i = 0; i < K; ++i) w[i] = scalar.words[i];
  w[K] = 0;
  auto shift = [&w](int n) {  // 0 < n < 64
    for (int i = 0; i < K; ++i) w[i] = (w[i] >> n) | (w[i + 1] << (64 - n));
    w[K] >>= n;
  };
  auto zero = [&w]() {
    uint64_t any = 0;
    for (int i = 0; i <= K; ++i) any |= w[i];
    return any == 0;
  };
  int len = 0;
  while (!zero()) {
    if ((w[0] & 1) == 0) {
      const int run = w[0] == 0 ? 63 : __builtin_ctzll(w[0]);
      for (int j = 0; j < run; ++j) digits[len++] = 0;
      shift(run);
      continue;
    }
    int digit = static_cast<int>(w[0] & ((1u << W) - 1));
    if (digit >= (1 << (W - 1))) digit -= 1 << W;
    if (digit > 0) {
      w[0] -= static_cast<uint64_t>(digit);  // clears the low W bits
    } else {
      unsigned char c = __builtin_add_overflow(w[0], static_cast<uint64_t>(-digit), &w[0]);
      for (int i = 1; i <= K && c; ++i) c = __builtin_add_overflow(w[i], uint64_t{1}, &w[i]);
    }
    digits[len++] = static_cast<int8_t>(digit);
    shift(1);
    if (zero()) break;
    // The next W - 1 digits are zero; the next nonzero one is still below N + 1.
    for (int j = 0; j < W - 1; ++j) digits[len++] = 0;
    shift(W - 1);
  }
  return len;
}

template <int N>
inline int wnaf5_digits_var(const Int<N>& scalar, int8_t (&digits)[N + 1]) {
  return wnaf_digits_var<5, N>(scalar, digits);
}

// k*G by the base table, variable-time (k public, any value below 2^N).
template <int N>
Jac<N> mul_base_var(const Curve<N>& c, const BaseTable<N>& t, const Int<N>& scalar) {
  constexpr int kM = BaseTable<N>::kM, kW = BaseTable<N>::kW;
  if (scalar.is_zero()) return Jac<N>{};
  Int<N> k = scalar;
  const bool flip = odd_representative_var<N>(c, k);
  int8_t digits[kM];
  recode<N, kW, kM>(k, digits);
  Jac<N> r{};
  for (int i = 0; i < kM; ++i) {
    const int d = digits[i];
    Aff<N> e = t.e[i][((d < 0 ? -d : d) - 1) >> 1];
    if (d < 0) c.fp.neg(e.y, e.y);
    madd_var<N>(c, r, r, e);
  }
  if (flip) c.fp.neg(r.y, r.y);
  return r;
}

// k*P by the width-5 non-adjacent form, variable-time (k and P public).
template <int N>
Jac<N> mul_wnaf_var(const Curve<N>& c, const Aff<N>& p, const Int<N>& scalar) {
  constexpr int kW = 5, kOdd = 1 << (kW - 2);
  int8_t digits[N + 1];
  const int len = wnaf5_digits_var<N>(scalar, digits);
  if (len == 0) return Jac<N>{};
  Aff<N> table[kOdd];
  {
    Jac<N> row[kOdd], twice;
    row[0] = {p.x, p.y, c.fp.one};
    dbl<N>(c, twice, row[0]);
    for (int j = 1; j < kOdd; ++j) add_var<N>(c, row[j], row[j - 1], twice);
    batch_affine_var<N>(c, row, table, kOdd);
  }
  // The top digit is nonzero; each later nonzero digit follows the run of
  // doublings since the one before it.
  Jac<N> r{};
  int run = 0;
  for (int i = len - 1; i >= 0; --i) {
    if (!is_inf(r)) ++run;
    const int digit = digits[i];
    if (digit != 0) {
      if (run > 0) dbl_n<N>(c, r, r, run);
      run = 0;
      Aff<N> e = table[((digit < 0 ? -digit : digit) - 1) / 2];
      if (digit < 0) c.fp.neg(e.y, e.y);
      madd_var<N>(c, r, r, e);
    }
  }
  if (run > 0) dbl_n<N>(c, r, r, run);
  return r;
}

// Whether the x of a point, given as num / den + offset (Montgomery form,
// den not zero), is r + j q below p for some j >= 0: the test x mod q = r
// of verification, with one product per candidate in place of an inversion.
// Public values, variable-time.
template <int N>
inline bool x_matches_var(const Curve<N>& c, const Int<N>& num, const Int<N>& den, const Int<N>& offset,
                          const Int<N>& r) {
  const FieldCt<N>& f = c.fp;
  const Int<N>& q = c.fq.m;
  Int<N> cand = r;
  while (cand < f.m) {
    Int<N> m, rhs;
    f.to_mont(m, cand);
    f.sub(m, m, offset);
    f.mul(rhs, m, den);
    if (rhs == num) return true;
    if (math::ct::add_carry<N>(cand, cand, q) != 0) break;  // past 2^N, so past p
  }
  return false;
}

// Whether x mod q = r for a Jacobian point (not at infinity): x = X / Z^2.
template <int N>
inline bool jac_x_matches_var(const Curve<N>& c, const Jac<N>& p, const Int<N>& r) {
  Int<N> zz;
  c.fp.sqr(zz, p.z);
  return x_matches_var<N>(c, p.x, zz, Int<N>(), r);
}

}  // namespace vrt::ec::ctm
