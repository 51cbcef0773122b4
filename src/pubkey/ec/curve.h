// The curve parameter sets and the curve constants of the point arithmetic.
//
// Every curve is y^2 = x^3 + a*x + b over GF(p) with a base point of prime
// order q; the exported records (vrt.h, gost3410_param_*) hold the numbers
// as published, and CurveParams<N> holds what the point code needs of them,
// with a and one in Montgomery form.
#pragma once

#include <cstdint>

#include "pubkey/math/int.h"
#include "vrt.h"

namespace vrt::ec {

using math::Int;
using math::MontContext;
using math::MontInt;

// The record of a parameter set, or null for a value outside 0..13.
const sign2012_par_t* parameter_record(Parameter set);

// The key size of a parameter set (256 or 512), 0 outside the table.
uint32_t parameter_bits(Parameter set);

// A number of a record (64 little-endian bytes) in N bits.
template <int N>
Int<N> record_number(const uint8_t (&field)[64]) {
  return Int<N>::from_le_bytes(field, N / 8);
}

// The constants of one curve. The Montgomery values point at the mont
// member, so a CurveParams neither copies nor moves; a point refers to it
// by address and it must outlive the point.
template <int N>
struct CurveParams {
  Int<N> a;
  Int<N> p;
  Int<N> q;
  Int<N> cofactor;     // m / q: 1 or 4
  MontContext<N> mont;  // p and n'
  MontInt<N> a_mont;   // a in Montgomery form
  MontInt<N> one;      // R mod p
  MontInt<N> b_mont;   // b in Montgomery form, from the base point

  CurveParams() = default;
  CurveParams(const CurveParams&) = delete;
  CurveParams& operator=(const CurveParams&) = delete;

  // Loads the numbers of a record of N bits. Returns 0, or
  // VRT_ERROR_INVALID_ARGUMENT (nothing loaded) when the record is null or of
  // another size.
  uint32_t init(const sign2012_par_t* rec) {
    if (rec == nullptr || rec->bits != static_cast<uint32_t>(N)) return VRT_ERROR_INVALID_ARGUMENT;
    a = record_number<N>(rec->a);
    p = record_number<N>(rec->p);
    q = record_number<N>(rec->q);
    // m may be a bit longer than N (4q on a 256-bit curve with q near
    // 2^254): divide in 512 or 1024 bits.
    Int<2 * N> m = Int<2 * N>::from_le_bytes(rec->m, 64), rem;
    m.div(q.template resize<2 * N>(), rem);
    cofactor = m.template resize<N>();
    mont = MontContext<N>(p);
    a_mont = MontInt<N>(a, &mont);
    one = MontInt<N>(Int<N>(1), &mont);
    // The records leave b out; the base point lies on the curve, so
    // b = y^2 - x^3 - a*x.
    const MontInt<N> gx(record_number<N>(rec->x), &mont), gy(record_number<N>(rec->y), &mont);
    b_mont = gy;
    b_mont *= gy;
    MontInt<N> t = gx;
    t *= gx;
    t += a_mont;
    t *= gx;
    b_mont -= t;
    return VRT_SUCCESS;
  }

  // True when (x, y) is an affine point of the curve: both coordinates below
  // p, y^2 = x^3 + a*x + b, and not the pair (0, 0) that stands for the
  // point at infinity. Not constant-time (public data only).
  bool contains(const Int<N>& x, const Int<N>& y) const {
    if (x >= p || y >= p || (x.is_zero() && y.is_zero())) return false;
    const MontInt<N> mx(x, &mont), my(y, &mont);
    MontInt<N> lhs = my;
    lhs *= my;
    MontInt<N> rhs = mx;
    rhs *= mx;
    rhs += a_mont;
    rhs *= mx;
    rhs += b_mont;
    return lhs == rhs;
  }
};

extern template struct CurveParams<256>;
extern template struct CurveParams<512>;

}  // namespace vrt::ec
