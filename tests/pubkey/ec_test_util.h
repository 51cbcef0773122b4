// Helpers of the curve suites: a loaded curve with its base point, and an
// independent affine reference on GMP (the textbook group law, one inversion
// per operation) to check the library's points against.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/pubkey_test_util.h"

namespace vrt::test {

// One curve of each shape: the sets that name the same curve are left out.
inline const std::vector<Parameter>& DistinctCurves256() {
  static const std::vector<Parameter> v = {VRT_PARAM_CRYPTOPRO_TEST, VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_CRYPTOPRO_B,
                                           VRT_PARAM_CRYPTOPRO_C, VRT_PARAM_TC26_256_A};
  return v;
}
inline const std::vector<Parameter>& DistinctCurves512() {
  static const std::vector<Parameter> v = {VRT_PARAM_TC26_512_TEST, VRT_PARAM_TC26_512_A, VRT_PARAM_TC26_512_B,
                                           VRT_PARAM_TC26_512_C};
  return v;
}
template <int N>
const std::vector<Parameter>& DistinctCurves() {
  if constexpr (N == 256)
    return DistinctCurves256();
  else
    return DistinctCurves512();
}

// A curve of a parameter set with its base point (Jacobian, z = one).
template <int N>
struct TestCurve {
  Parameter set = 0;
  const sign2012_par_t* rec = nullptr;
  std::unique_ptr<vrt::ec::CurveParams<N>> params;
  vrt::ec::Point<N> g;

  explicit TestCurve(Parameter s) : set(s), rec(vrt::ec::parameter_record(s)) {
    params = std::make_unique<vrt::ec::CurveParams<N>>();
    EXPECT_EQ(params->init(rec), VRT_SUCCESS);
    g = vrt::ec::Point<N>::from_affine(*params, vrt::ec::record_number<N>(rec->x),
                                       vrt::ec::record_number<N>(rec->y));
  }
  const vrt::math::Int<N>& q() const { return params->q; }
  const vrt::math::Int<N>& p() const { return params->p; }
};

// A point's affine coordinates as "x,y" hex, or "inf".
template <int N>
std::string Affine(const vrt::ec::Point<N>& pt) {
  if (pt.is_infinity()) return "inf";
  return HexInt(pt.get_value_x()) + "," + HexInt(pt.get_value_y());
}

#if defined(VRT_HAVE_GMP)
// The affine group law on GMP numbers, written from the textbook.
struct RefCurve {
  Mpz p, a;
  struct Pt {
    bool inf = true;
    Mpz x, y;
  };

  template <int N>
  explicit RefCurve(const vrt::ec::CurveParams<N>& c) : p(c.p), a(c.a) {}
  RefCurve(const Mpz& p_, const Mpz& a_) : p(p_), a(a_) {}

  Pt Add(const Pt& P, const Pt& Q) const {
    if (P.inf) return Q;
    if (Q.inf) return P;
    Mpz l, t, u;
    if (mpz_cmp(P.x, Q.x) == 0) {
      mpz_add(t, P.y, Q.y);
      mpz_mod(t, t, p);
      if (mpz_sgn(t.get()) == 0) return Pt{};
      // l = (3x^2 + a) / (2y)
      mpz_mul(t, P.x, P.x);
      mpz_mul_ui(t, t, 3);
      mpz_add(t, t, a);
      mpz_mul_ui(u, P.y, 2);
    } else {
      mpz_sub(t, Q.y, P.y);
      mpz_sub(u, Q.x, P.x);
    }
    mpz_mod(u, u, p);
    EXPECT_NE(mpz_invert(u, u, p), 0);
    mpz_mul(l, t, u);
    mpz_mod(l, l, p);
    Pt r;
    r.inf = false;
    mpz_mul(r.x, l, l);
    mpz_sub(r.x, r.x, P.x);
    mpz_sub(r.x, r.x, Q.x);
    mpz_mod(r.x, r.x, p);
    mpz_sub(r.y, P.x, r.x);
    mpz_mul(r.y, r.y, l);
    mpz_sub(r.y, r.y, P.y);
    mpz_mod(r.y, r.y, p);
    return r;
  }

  Pt Neg(const Pt& P) const {
    if (P.inf) return P;
    Pt r = P;
    mpz_sub(r.y, p, P.y);
    mpz_mod(r.y, r.y, p);
    return r;
  }

  // Left-to-right double-and-add.
  Pt Mul(const Mpz& k, const Pt& P) const {
    Pt r;
    for (long i = static_cast<long>(mpz_sizeinbase(k, 2)) - 1; i >= 0; --i) {
      r = Add(r, r);
      if (mpz_tstbit(k, static_cast<mp_bitcnt_t>(i))) r = Add(r, P);
    }
    return r;
  }

  template <int N>
  static Pt From(const vrt::math::Int<N>& x, const vrt::math::Int<N>& y) {
    Pt r;
    r.inf = false;
    r.x = Mpz(x);
    r.y = Mpz(y);
    return r;
  }

  template <int N>
  static std::string Str(const Pt& P) {
    if (P.inf) return "inf";
    return HexInt(P.x.ToInt<N>()) + "," + HexInt(P.y.ToInt<N>());
  }
};
#endif

}  // namespace vrt::test
