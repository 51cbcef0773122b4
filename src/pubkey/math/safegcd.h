// Modular inversion by Bernstein-Yang divsteps ("safegcd"), for an odd
// modulus M of N bits (N = 256 or 512).
//
// Numbers are held in signed 62-bit limbs (value = sum v[i] * 2^(62 i); the
// low limbs in [0, 2^62), the top one signed). Each round runs 62 divsteps
// on the low 64 bits of f and g alone, collecting them in a 2x2 matrix that
// is then applied to the full f, g and to the coefficients d, e, where
// f = d*x and g = e*x (mod M) throughout. When g reaches 0, f = +-gcd(M, x)
// and d*f is the inverse.
//
// inverse_ct runs a fixed number of rounds (enough for any input, see
// kRoundsCt) with no branch and no memory address depending on the input:
// for secret values. inverse_var stops as soon as g is zero and skips runs
// of divsteps at once: variable-time, for public values only. jacobi_var
// runs a variant of the same steps that keeps both numbers non-negative and
// follows the sign of the Jacobi symbol.
#pragma once

#include <cstdint>

#include "pubkey/math/int.h"

namespace vrt::math::safegcd {

using i128 = __int128;
constexpr uint64_t kM62 = (uint64_t{1} << 62) - 1;

// Limbs for N bits: room for N + 2 bits with a sign.
template <int N>
constexpr int kLimbs = (N + 2 + 61) / 62;

template <int N>
struct S62 {
  int64_t v[kLimbs<N>];
};

// The modulus in limbs, with M^-1 mod 2^62.
template <int N>
struct Modulus {
  S62<N> m;
  uint64_t m_inv62 = 0;
};

template <int N>
inline S62<N> to_s62(const Int<N>& x) {
  S62<N> r{};
  constexpr int L = kLimbs<N>;
  for (int i = 0; i < L; ++i) {
    const int bit = 62 * i, w = bit / 64, s = bit % 64;
    uint64_t lo = w < Int<N>::kWords ? x.words[w] >> s : 0;
    uint64_t hi = (s != 0 && w + 1 < Int<N>::kWords) ? x.words[w + 1] << (64 - s) : 0;
    r.v[i] = static_cast<int64_t>((lo | hi) & kM62);
  }
  return r;
}

// The value of normalised limbs (all in [0, 2^62), value below 2^N).
template <int N>
inline Int<N> from_s62(const S62<N>& a) {
  Int<N> r;
  constexpr int L = kLimbs<N>;
  for (int i = 0; i < L; ++i) {
    const uint64_t v = static_cast<uint64_t>(a.v[i]);
    const int bit = 62 * i, w = bit / 64, s = bit % 64;
    if (w < Int<N>::kWords) r.words[w] |= v << s;
    if (s > 2 && w + 1 < Int<N>::kWords) r.words[w + 1] |= v >> (64 - s);
  }
  return r;
}

template <int N>
Modulus<N> make_modulus(const Int<N>& m) {
  Modulus<N> r;
  r.m = to_s62<N>(m);
  uint64_t inv = m.words[0];  // Newton: 3, 6, 12, 24, 48, 96 bits
  for (int i = 0; i < 5; ++i) inv *= 2 - m.words[0] * inv;
  r.m_inv62 = inv & kM62;
  return r;
}

// The transition matrix of 62 divsteps, scaled by 2^62:
// 2^62 [f'; g'] = [u v; q r] [f; g]. |u| + |v| <= 2^62, likewise q, r.
struct Trans {
  int64_t u, v, q, r;
};

// 62 divsteps without branches. With delta > 0 and g odd the step is
// (f, g) = (g, (g - f) / 2) and delta becomes 1 - delta (kHalf: 2 - delta,
// the variant that starts from delta = 1/2, held here as delta + 1/2); any
// other odd g takes (g + f) / 2, an even g halves, and delta grows by one.
// The loop keeps e = -delta, whose sign is the test and which the exchange
// turns into ~e - 1 (kHalf) or ~e, so that the chain through delta is four
// operations; the sign of f is chosen from delta alone, so the chain through
// g is one test, one masked add and one shift per step. kSteps < 62 runs
// that many and scales the matrix up to 2^62 all the same.
template <bool kHalf = false, int kSteps = 62>
inline int64_t divsteps_62_ct(int64_t delta, uint64_t f, uint64_t g, Trans& t) {
  static_assert(kSteps >= 1 && kSteps <= 62);
  uint64_t u = 1, v = 0, q = 0, r = 1;
  uint64_t e = uint64_t{0} - static_cast<uint64_t>(delta);
  for (int i = 0; i < kSteps; ++i) {
    uint64_t c1 = static_cast<uint64_t>(static_cast<int64_t>(e) >> 63);  // delta > 0
    const uint64_t c2 = uint64_t{0} - (g & 1);
    const uint64_t x = (f ^ c1) - c1, y = (u ^ c1) - c1, z = (v ^ c1) - c1;
    g += x & c2;
    q += y & c2;
    r += z & c2;
    c1 &= c2;  // the exchange
    if constexpr (kHalf) e = (e ^ c1) - 1;
    else e = (e ^ c1) - 1 - c1;
    f += g & c1;
    u += q & c1;
    v += r & c1;
    g >>= 1;
    u <<= 1;
    v <<= 1;
  }
  constexpr int kScale = 62 - kSteps;
  t = {static_cast<int64_t>(u << kScale), static_cast<int64_t>(v << kScale), static_cast<int64_t>(q << kScale),
       static_cast<int64_t>(r << kScale)};
  return -static_cast<int64_t>(e);
}

// The multiple of an odd f that clears the low six bits of g: kFold holds
// w = -g / f mod 64 at index (f >> 1 mod 32) * 64 + (g mod 64). One lookup
// is shorter than a product by an inverse of f on the chain through g that
// the variable-time steps wait on.
struct FoldTable {
  uint8_t v[32 * 64];
  constexpr FoldTable() : v{} {
    for (uint32_t i = 0; i < 32; ++i) {
      const uint32_t a = 2 * i + 1;
      uint32_t x = a;  // a * a = 1 mod 8; each step doubles the bits
      for (int k = 0; k < 2; ++k) x = x * (2 - a * x);
      for (uint32_t g = 0; g < 64; ++g) v[i * 64 + g] = static_cast<uint8_t>((0u - g * x) & 63);
    }
  }
};
inline constexpr FoldTable kFold{};
constexpr int kFoldBits = 6;

// w with g + w f = 0 mod 2^limit, for odd f and limit <= kFoldBits (mask =
// 2^limit - 1).
inline uint64_t fold_multiple(uint64_t f, uint64_t g, uint64_t mask) {
  return kFold.v[((f << 5) & 0x7c0) | (g & 63)] & mask;
}

// The same 62 divsteps, variable-time: a run of even g is one shift, and
// while delta stays non-positive up to kFoldBits steps that add f to g fold
// into one multiple of f.
inline int64_t divsteps_62_var(int64_t delta, uint64_t f, uint64_t g, Trans& t) {
  uint64_t u = 1, v = 0, q = 0, r = 1;
  int i = 62;
  for (;;) {
    const int zeros = __builtin_ctzll(g | (~uint64_t{0} << i));
    g >>= zeros;
    u <<= zeros;
    v <<= zeros;
    delta += zeros;
    i -= zeros;
    if (i == 0) break;
    // g is odd.
    if (delta > 0) {
      delta = -delta;
      const uint64_t tf = f, tu = u, tv = v;
      f = g;
      g = uint64_t{0} - tf;
      u = q;
      v = r;
      q = uint64_t{0} - tu;
      r = uint64_t{0} - tv;
    }
    // The next min(1 - delta, i, kFoldBits) steps cannot swap: clear that
    // many low bits of g with one multiple of f.
    int limit = static_cast<int>(1 - delta);
    if (limit > i) limit = i;
    if (limit > kFoldBits) limit = kFoldBits;
    const uint64_t w = fold_multiple(f, g, (uint64_t{1} << limit) - 1);
    g += f * w;
    q += u * w;
    r += v * w;
  }
  t = {static_cast<int64_t>(u), static_cast<int64_t>(v), static_cast<int64_t>(q), static_cast<int64_t>(r)};
  return delta;
}

// [f; g] = t [f; g] / 2^62 (exact), on the low len limbs (the rest zero).
template <int N>
inline void update_fg(S62<N>& f, S62<N>& g, const Trans& t, int len = kLimbs<N>) {
  i128 cf = static_cast<i128>(t.u) * f.v[0] + static_cast<i128>(t.v) * g.v[0];
  i128 cg = static_cast<i128>(t.q) * f.v[0] + static_cast<i128>(t.r) * g.v[0];
  cf >>= 62;
  cg >>= 62;
  for (int i = 1; i < len; ++i) {
    cf += static_cast<i128>(t.u) * f.v[i] + static_cast<i128>(t.v) * g.v[i];
    cg += static_cast<i128>(t.q) * f.v[i] + static_cast<i128>(t.r) * g.v[i];
    f.v[i - 1] = static_cast<int64_t>(static_cast<uint64_t>(cf) & kM62);
    g.v[i - 1] = static_cast<int64_t>(static_cast<uint64_t>(cg) & kM62);
    cf >>= 62;
    cg >>= 62;
  }
  f.v[len - 1] = static_cast<int64_t>(cf);
  g.v[len - 1] = static_cast<int64_t>(cg);
}

// [d; e] = t [d; e] / 2^62 mod M, with d and e kept in (-2M, M): a negative
// input first counts as itself plus M, and a multiple of M makes each sum
// divisible by 2^62. No branch.
template <int N>
inline void update_de(S62<N>& d, S62<N>& e, const Trans& t, const Modulus<N>& mod) {
  constexpr int L = kLimbs<N>;
  const int64_t sd = d.v[L - 1] >> 63, se = e.v[L - 1] >> 63;
  int64_t md = (t.u & sd) + (t.v & se);
  int64_t me = (t.q & sd) + (t.r & se);
  i128 cd = static_cast<i128>(t.u) * d.v[0] + static_cast<i128>(t.v) * e.v[0];
  i128 ce = static_cast<i128>(t.q) * d.v[0] + static_cast<i128>(t.r) * e.v[0];
  md -= static_cast<int64_t>((mod.m_inv62 * static_cast<uint64_t>(cd) + static_cast<uint64_t>(md)) & kM62);
  me -= static_cast<int64_t>((mod.m_inv62 * static_cast<uint64_t>(ce) + static_cast<uint64_t>(me)) & kM62);
  cd += static_cast<i128>(mod.m.v[0]) * md;
  ce += static_cast<i128>(mod.m.v[0]) * me;
  cd >>= 62;
  ce >>= 62;
  for (int i = 1; i < L; ++i) {
    cd += static_cast<i128>(t.u) * d.v[i] + static_cast<i128>(t.v) * e.v[i] + static_cast<i128>(mod.m.v[i]) * md;
    ce += static_cast<i128>(t.q) * d.v[i] + static_cast<i128>(t.r) * e.v[i] + static_cast<i128>(mod.m.v[i]) * me;
    d.v[i - 1] = static_cast<int64_t>(static_cast<uint64_t>(cd) & kM62);
    e.v[i - 1] = static_cast<int64_t>(static_cast<uint64_t>(ce) & kM62);
    cd >>= 62;
    ce >>= 62;
  }
  d.v[L - 1] = static_cast<int64_t>(cd);
  e.v[L - 1] = static_cast<int64_t>(ce);
}

// Carries signed limbs into the normal form (low limbs in [0, 2^62)).
template <int N>
inline void carry(S62<N>& a) {
  constexpr int L = kLimbs<N>;
  for (int i = 0; i < L - 1; ++i) {
    a.v[i + 1] += a.v[i] >> 62;
    a.v[i] = static_cast<int64_t>(static_cast<uint64_t>(a.v[i]) & kM62);
  }
}

// a += M where mask is all ones.
template <int N>
inline void add_masked(S62<N>& a, const Modulus<N>& mod, int64_t mask) {
  for (int i = 0; i < kLimbs<N>; ++i) a.v[i] += mod.m.v[i] & mask;
  carry<N>(a);
}

// sign * d mod M in [0, M) for d in (-2M, M) (limbs in any signed form) and
// sign = the sign mask of f (all ones for f < 0). No branch.
template <int N>
inline Int<N> normalize(S62<N> d, int64_t sign, const Modulus<N>& mod) {
  constexpr int L = kLimbs<N>;
  carry<N>(d);
  add_masked<N>(d, mod, d.v[L - 1] >> 63);  // (-M, M)
  for (int i = 0; i < L; ++i) d.v[i] = (d.v[i] ^ sign) - sign;
  carry<N>(d);
  add_masked<N>(d, mod, d.v[L - 1] >> 63);  // [0, M)
  return from_s62<N>(d);
}

// Divsteps that reach g = 0 for any input below 2^N, run in rounds of 62
// and a shorter last one. 256 bits take the delta = 1/2 variant, for which
// 590 divsteps suffice (a convex-hull bound computed by P. Wuille, as against
// 724 for delta = 1); other widths the delta = 1 steps and the bound
// floor((49 N + 80) / 17) of Bernstein and Yang.
template <int N>
constexpr bool kHalfCt = N == 256;
template <int N>
constexpr int kStepsCt = kHalfCt<N> ? 590 : (49 * N + 80) / 17;
template <int N>
constexpr int kRoundsCt = (kStepsCt<N> + 61) / 62;  // the last one shorter

// x^-1 mod M for 0 <= x < M with gcd(x, M) = 1; 0 for x = 0. Constant-time.
template <int N>
Int<N> inverse_ct(const Int<N>& x, const Modulus<N>& mod) {
  S62<N> f = mod.m, g = to_s62<N>(x), d{}, e{};
  e.v[0] = 1;
  int64_t delta = 1;
  for (int round = 0; round < kRoundsCt<N>; ++round) {
    Trans t;
    const uint64_t f64 = static_cast<uint64_t>(f.v[0]) | (static_cast<uint64_t>(f.v[1]) << 62);
    const uint64_t g64 = static_cast<uint64_t>(g.v[0]) | (static_cast<uint64_t>(g.v[1]) << 62);
    if (round + 1 < kRoundsCt<N>)
      delta = divsteps_62_ct<kHalfCt<N>>(delta, f64, g64, t);
    else
      delta = divsteps_62_ct<kHalfCt<N>, kStepsCt<N> - 62 * (kRoundsCt<N> - 1)>(delta, f64, g64, t);
    update_de<N>(d, e, t, mod);
    update_fg<N>(f, g, t);
  }
  // f = +-1 now; its sign decides.
  const Int<N> r = normalize<N>(d, f.v[kLimbs<N> - 1] >> 63, mod);
  // The working values held the secret: clear them.
  vrt_memset_s(&f, sizeof f, 0, sizeof f);
  vrt_memset_s(&g, sizeof g, 0, sizeof g);
  vrt_memset_s(&d, sizeof d, 0, sizeof d);
  vrt_memset_s(&e, sizeof e, 0, sizeof e);
  return r;
}

// x^-1 mod M for 0 <= x < M; 0 when there is none (x = 0 or a common
// factor). f and g shrink as the steps go: once the top limbs of both carry
// only a sign, they fold into the limbs below and the rounds work on fewer
// limbs. Variable-time: public values only.
template <int N>
Int<N> inverse_var(const Int<N>& x, const Modulus<N>& mod) {
  S62<N> f = mod.m, g = to_s62<N>(x), d{}, e{};
  e.v[0] = 1;
  int64_t delta = 1;
  int len = kLimbs<N>;
  for (;;) {
    int64_t any = 0;
    for (int i = 0; i < len; ++i) any |= g.v[i];
    if (any == 0) break;
    Trans t;
    delta = divsteps_62_var(delta, static_cast<uint64_t>(f.v[0]) | (static_cast<uint64_t>(f.v[1]) << 62),
                            static_cast<uint64_t>(g.v[0]) | (static_cast<uint64_t>(g.v[1]) << 62), t);
    update_de<N>(d, e, t, mod);
    update_fg<N>(f, g, t, len);
    const int64_t fn = f.v[len - 1], gn = g.v[len - 1];
    if (len > 2 && ((fn ^ (fn >> 63)) | (gn ^ (gn >> 63))) == 0) {
      f.v[len - 2] += static_cast<int64_t>(static_cast<uint64_t>(fn) << 62);
      g.v[len - 2] += static_cast<int64_t>(static_cast<uint64_t>(gn) << 62);
      --len;
    }
  }
  // gcd = |f| must be 1.
  const int64_t sign = f.v[len - 1] >> 63;
  S62<N> af = f;
  for (int i = 0; i < len; ++i) af.v[i] = (af.v[i] ^ sign) - sign;
  for (int i = 0; i < len - 1; ++i) {
    af.v[i + 1] += af.v[i] >> 62;
    af.v[i] = static_cast<int64_t>(static_cast<uint64_t>(af.v[i]) & kM62);
  }
  int64_t rest = af.v[0] ^ 1;
  for (int i = 1; i < len; ++i) rest |= af.v[i];
  if (rest != 0) return Int<N>();
  return normalize<N>(d, sign, mod);
}

// 62 steps of the variant that keeps f and g non-negative: with delta > 0
// and g odd, (f, g) = (g, (g + f) / 2). The Jacobi symbol (g / f) changes
// sign at each halving when f = 3 or 5 mod 8, and at each exchange when f
// and g are both 3 mod 4 (reciprocity); parity (bit 0, in and out) counts
// those changes. Variable-time.
inline int64_t posdivsteps_62_var(int64_t delta, uint64_t f, uint64_t g, Trans& t, unsigned& parity) {
  uint64_t u = 1, v = 0, q = 0, r = 1;
  unsigned jac = parity;
  int i = 62;
  for (;;) {
    const int zeros = __builtin_ctzll(g | (~uint64_t{0} << i));
    g >>= zeros;
    u <<= zeros;
    v <<= zeros;
    delta += zeros;
    i -= zeros;
    jac ^= static_cast<unsigned>(zeros & ((f >> 1) ^ (f >> 2)));
    if (i == 0) break;
    if (delta > 0) {
      delta = -delta;
      jac ^= static_cast<unsigned>((f & g) >> 1);
      const uint64_t tf = f, tu = u, tv = v;
      f = g;
      g = tf;
      u = q;
      v = r;
      q = tu;
      r = tv;
    }
    int limit = static_cast<int>(1 - delta);
    if (limit > i) limit = i;
    if (limit > kFoldBits) limit = kFoldBits;
    const uint64_t w = fold_multiple(f, g, (uint64_t{1} << limit) - 1);
    g += f * w;
    q += u * w;
    r += v * w;
  }
  t = {static_cast<int64_t>(u), static_cast<int64_t>(v), static_cast<int64_t>(q), static_cast<int64_t>(r)};
  parity = jac & 1;
  return delta;
}

// The Jacobi symbol (x / m) for an odd m > 0 and 0 <= x < 2^N: 1, -1, or 0
// when they share a factor. Both numbers stay non-negative, the larger of
// f and g falls at each exchange, and the loop ends at f = 1 or at g = 0 or
// g = f (a common factor). Variable-time: public values only.
template <int N>
int jacobi_var(const Int<N>& x, const Int<N>& m) {
  constexpr int L = kLimbs<N>;
  S62<N> f = to_s62<N>(m), g = to_s62<N>(x);
  int64_t delta = 1;
  unsigned parity = 0;
  for (;;) {
    int64_t zero = 0, same = 0, one = f.v[0] ^ 1;
    for (int i = 0; i < L; ++i) {
      zero |= g.v[i];
      same |= f.v[i] ^ g.v[i];
      if (i > 0) one |= f.v[i];
    }
    if (one == 0) return parity ? -1 : 1;
    if (zero == 0 || same == 0) return 0;
    Trans t;
    delta = posdivsteps_62_var(delta, static_cast<uint64_t>(f.v[0]) | (static_cast<uint64_t>(f.v[1]) << 62),
                               static_cast<uint64_t>(g.v[0]) | (static_cast<uint64_t>(g.v[1]) << 62), t, parity);
    update_fg<N>(f, g, t);
  }
}

}  // namespace vrt::math::safegcd

namespace vrt::math::detail {
// a^-1 mod an odd m > a, variable-time (Int::inverse).
template <int N>
Int<N> inverse_divsteps(const Int<N>& a, const Int<N>& m) {
  const safegcd::Modulus<N> mod = safegcd::make_modulus<N>(m);
  return safegcd::inverse_var<N>(a, mod);
}
}  // namespace vrt::math::detail
