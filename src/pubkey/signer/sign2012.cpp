// The reference implementation: GOST R 34.10-2012 (and 2001) on
// little-endian word arrays through the processor-dispatch table,
// self-contained and independent of the signer engine. The exported point
// functions (doubling, addition) are affine and divide once each by the
// binary extended Euclidean algorithm; the modular products of scalars are
// shift-and-add loops. Scalar multiplication walks the same points in
// Jacobian coordinates over a Montgomery field of its own and inverts once
// at the end (reference_jacobian.h). The point at infinity is (0, 0).
//
// It serves the fallback signer, the signature self-test and the key
// agreement code; its byte formats are those of the engine, except that
// sign2012_sign reduces the nonce modulo q instead of refusing it.
//
// Timing: not constant-time (every loop and branch follows the data, the
// secret key and the nonce included).
#include <cstdlib>
#include <cstring>

#include "frame/internal.h"
#include "pubkey/internal.h"
#include "pubkey/signer/reference_jacobian.h"
#include "pubkey/signer/secret.h"
#include "vrt.h"

namespace {

using vrt::signer::WipeOnExit;

const vrtp_arch_table_t& arch() { return vrtpInstance.arch; }

bool arch_ready() {
  const vrtp_arch_table_t& t = arch();
  return vrt::frame::dispatch_set_up() && t.cmp256 != nullptr && t.cmp512 != nullptr && t.add256 != nullptr && t.add512 != nullptr &&
         t.sub256 != nullptr && t.sub512 != nullptr && t.shl512_1 != nullptr && t.shr256_1 != nullptr &&
         t.shr512_1 != nullptr && t.add256_mod != nullptr && t.add512_mod != nullptr &&
         t.sub256_mod != nullptr && t.sub512_mod != nullptr;
}

constexpr uint32_t kLess = 0, kEqual = 2;

// ---- numbers of N bits (L = N/8 bytes) ----

template <int N>
uint32_t cmp(const void* a, const void* b) {
  return N == 256 ? arch().cmp256(a, b) : arch().cmp512(a, b);
}
template <int N>
uint32_t cmp0(const void* a) {
  return cmp<N>(a, N == 256 ? static_cast<const void*>(C256_0) : C512_0);
}
template <int N>
uint32_t cmp1(const void* a) {
  return cmp<N>(a, N == 256 ? static_cast<const void*>(C256_1) : C512_1);
}
template <int N>
uint32_t add(void* r, const void* a, const void* b) {
  return N == 256 ? arch().add256(r, a, b, 0) : arch().add512(r, a, b, 0);
}
template <int N>
uint32_t sub(void* r, const void* a, const void* b) {
  return N == 256 ? arch().sub256(r, a, b, 0) : arch().sub512(r, a, b, 0);
}
template <int N>
uint32_t shr1(void* r, const void* a, int bit_in) {
  return N == 256 ? arch().shr256_1(r, a, bit_in) : arch().shr512_1(r, a, bit_in);
}
template <int N>
void add_mod(void* r, const void* a, const void* b, const void* m) {
  if (N == 256)
    arch().add256_mod(r, a, b, m);
  else
    arch().add512_mod(r, a, b, m);
}
template <int N>
void sub_mod(void* r, const void* a, const void* b, const void* m) {
  if (N == 256)
    arch().sub256_mod(r, a, b, m);
  else
    arch().sub512_mod(r, a, b, m);
}

bool is_odd(const void* x) { return (static_cast<const uint8_t*>(x)[0] & 1) != 0; }

// Index of the highest set bit plus one; 0 for zero.
template <int N>
int bit_length(const void* x) {
  const auto* b = static_cast<const uint8_t*>(x);
  for (int i = N / 8 - 1; i >= 0; --i)
    if (b[i] != 0) return 8 * i + 32 - __builtin_clz(b[i]);
  return 0;
}

template <int N>
void set_small(void* x, uint8_t v) {
  std::memset(x, 0, N / 8);
  static_cast<uint8_t*>(x)[0] = v;
}

// x = x mod m by repeated subtraction (m is p or q, both above 2^(N-3)).
template <int N>
void mod_p(void* x, const void* m) {
  while (cmp<N>(x, m) >= kEqual) sub<N>(x, x, m);
}

// r = a*b mod m, right to left over the bits of b: r += A for every set
// bit, A doubling from one bit to the next.
template <int N>
void mul_mod(void* r, const void* a, const void* b, const void* m) {
  uint8_t acc[N / 8] = {}, aa[N / 8], bb[N / 8];
  std::memcpy(aa, a, sizeof aa);
  std::memcpy(bb, b, sizeof bb);
  mod_p<N>(aa, m);  // the doubling below needs A < m
  // The bits of B from bit 0 up to its highest set one, read in place of
  // shifting them out.
  const int bits = bit_length<N>(bb);
  for (int i = 0; i < bits; ++i) {
    if ((bb[i / 8] >> (i % 8)) & 1) add_mod<N>(acc, acc, aa, m);
    if (i + 1 < bits) add_mod<N>(aa, aa, aa, m);
  }
  std::memcpy(r, acc, sizeof acc);
  // One operand may be the secret key: no copy of it stays behind.
  vrt_memset_s(aa, sizeof aa, 0, sizeof aa);
  vrt_memset_s(bb, sizeof bb, 0, sizeof bb);
  vrt_memset_s(acc, sizeof acc, 0, sizeof acc);
}

// c = c/2 mod m (m odd): m is added to an odd c first, its carry becoming
// the top bit of the shift.
template <int N>
void halve_mod(void* c, const void* m) {
  uint32_t top = 0;
  if (is_odd(c)) top = add<N>(c, c, m);
  shr1<N>(c, c, static_cast<int>(top));
}

// x = b/x mod m (b = 1 when null) by the binary extended Euclidean
// algorithm; 0 when x is 0 mod m (no inverse).
template <int N>
void div_mod(void* x, const void* b, const void* m) {
  uint8_t u[N / 8], v[N / 8], x1[N / 8], x2[N / 8] = {};
  std::memcpy(u, x, sizeof u);
  mod_p<N>(u, m);
  if (cmp0<N>(u) == kEqual) {
    std::memset(x, 0, N / 8);
    return;
  }
  std::memcpy(v, m, sizeof v);
  if (b != nullptr) {
    std::memcpy(x1, b, sizeof x1);
    mod_p<N>(x1, m);
  } else {
    set_small<N>(x1, 1);
  }
  while (cmp1<N>(u) != kEqual && cmp1<N>(v) != kEqual) {
    while (!is_odd(u)) {
      shr1<N>(u, u, 0);
      halve_mod<N>(x1, m);
    }
    while (!is_odd(v)) {
      shr1<N>(v, v, 0);
      halve_mod<N>(x2, m);
    }
    const uint32_t c = cmp<N>(u, v);
    // u = v only when they share a factor, which a prime m rules out; stop
    // rather than halve zero for ever.
    if (c == kEqual) {
      std::memset(x, 0, N / 8);
      return;
    }
    if (c > kEqual) {
      sub<N>(u, u, v);
      sub_mod<N>(x1, x1, x2, m);
    } else {
      sub<N>(v, v, u);
      sub_mod<N>(x2, x2, x1, m);
    }
  }
  std::memcpy(x, cmp1<N>(u) == kEqual ? x1 : x2, N / 8);
}

// ---- affine points: 2L bytes, x then y ----

template <int N>
bool is_inf(const uint8_t* pt) {
  return cmp0<N>(pt) == kEqual && cmp0<N>(pt + N / 8) == kEqual;
}

// P = 2P: l = (3x^2 + a)/(2y), x3 = l^2 - 2x, y3 = l(x - x3) - y. A point
// with y = 0 doubles to infinity.
template <int N>
void dbl(uint8_t* pt, const void* a, const void* p) {
  constexpr int L = N / 8;
  uint8_t* x = pt;
  uint8_t* y = pt + L;
  if (is_inf<N>(pt)) return;
  if (cmp0<N>(y) == kEqual) {
    std::memset(pt, 0, 2 * L);
    return;
  }
  uint8_t num[L], t[L], den[L], x3[L], y3[L];
  mul_mod<N>(t, x, x, p);
  add_mod<N>(num, t, t, p);
  add_mod<N>(num, num, t, p);
  add_mod<N>(num, num, a, p);
  add_mod<N>(den, y, y, p);
  div_mod<N>(den, num, p);  // den = lambda
  mul_mod<N>(x3, den, den, p);
  sub_mod<N>(x3, x3, x, p);
  sub_mod<N>(x3, x3, x, p);
  sub_mod<N>(t, x, x3, p);
  mul_mod<N>(y3, den, t, p);
  sub_mod<N>(y3, y3, y, p);
  std::memcpy(x, x3, L);
  std::memcpy(y, y3, L);
}

// P = P + Q.
template <int N>
void add_pt(uint8_t* pt, const uint8_t* qt, const void* a, const void* p) {
  constexpr int L = N / 8;
  if (is_inf<N>(qt)) return;
  if (is_inf<N>(pt)) {
    std::memmove(pt, qt, 2 * L);
    return;
  }
  uint8_t* x = pt;
  uint8_t* y = pt + L;
  const uint8_t* qx = qt;
  const uint8_t* qy = qt + L;
  uint8_t num[L], den[L], x3[L], y3[L];
  if (cmp<N>(x, qx) == kEqual) {
    add_mod<N>(num, y, qy, p);
    if (cmp0<N>(num) == kEqual)
      std::memset(pt, 0, 2 * L);
    else
      dbl<N>(pt, a, p);
    return;
  }
  sub_mod<N>(num, qy, y, p);
  sub_mod<N>(den, qx, x, p);
  div_mod<N>(den, num, p);  // lambda
  mul_mod<N>(x3, den, den, p);
  sub_mod<N>(x3, x3, x, p);
  sub_mod<N>(x3, x3, qx, p);
  sub_mod<N>(num, x, x3, p);
  mul_mod<N>(y3, den, num, p);
  sub_mod<N>(y3, y3, y, p);
  std::memcpy(x, x3, L);
  std::memcpy(y, y3, L);
}

// (out_x, out_y) = k*G, right to left over the 32-bit words of k, each from
// bit 0, in affine coordinates: one division per addition and doubling.
// Only for a modulus without a Montgomery form (even); mul_k below gives
// the same points faster for every other one. The doublings stop after the
// highest set bit: the result is the same.
template <int N>
void mul_k_affine(const void* k, const void* g, void* out_x, void* out_y, const void* a, const void* p) {
  constexpr int L = N / 8;
  uint8_t r[2 * L] = {}, b[2 * L], kk[L];
  std::memcpy(b, g, sizeof b);
  std::memcpy(kk, k, sizeof kk);
  int top = -1;
  for (int i = 0; i < N; ++i)
    if ((kk[i / 8] >> (i % 8)) & 1) top = i;
  for (int w = 0; w < N / 32 && 32 * w <= top; ++w) {
    uint32_t word;
    std::memcpy(&word, kk + 4 * w, 4);
    for (int i = 0; i < 32 && 32 * w + i <= top; ++i) {
      if ((word >> i) & 1) add_pt<N>(r, b, a, p);
      if (32 * w + i < top) dbl<N>(b, a, p);
    }
  }
  vrt::signer::wipe(kk, sizeof kk);
  if (out_x != nullptr) std::memcpy(out_x, r, L);
  if (out_y != nullptr) std::memcpy(out_y, r + L, L);
  vrt::signer::wipe(r, sizeof r);
}

// (out_x, out_y) = k*G by the same right-to-left walk in Jacobian
// coordinates over the reference Montgomery field, with one inversion at
// the end (reference_jacobian.h): the affine walk's points, without its
// divisions. Coordinates and a are taken modulo p.
template <int N>
void mul_k(const void* k, const void* g, void* out_x, void* out_y, const void* a, const void* p) {
  constexpr int L = N / 8;
  using Curve = vrt::signer::reference::JacobianCurve<N>;
  vrt::signer::reference::MontField<N> field;
  if (!field.init(arch(), p)) {
    mul_k_affine<N>(k, g, out_x, out_y, a, p);
    return;
  }
  typename Curve::Elem gx, gy, aa, rx, ry;
  uint8_t kk[L];
  std::memcpy(gx, g, L);
  std::memcpy(gy, static_cast<const uint8_t*>(g) + L, L);
  std::memcpy(aa, a, L);
  mod_p<N>(gx, p);
  mod_p<N>(gy, p);
  mod_p<N>(aa, p);
  std::memcpy(kk, k, sizeof kk);
  const Curve curve(field, aa);
  typename Curve::Point base, r;
  curve.from_affine(base, gx, gy);
  curve.mul(r, kk, base);
  curve.to_affine(rx, ry, r);
  vrt::signer::wipe(kk, sizeof kk);
  vrt::signer::wipe(&r, sizeof r);
  if (out_x != nullptr) std::memcpy(out_x, rx, L);
  if (out_y != nullptr) std::memcpy(out_y, ry, L);
  vrt::signer::wipe(rx, sizeof rx);
  vrt::signer::wipe(ry, sizeof ry);
}

// f(x, y) = y^2 - x^3 - a*x mod p: b for every point of the curve.
template <int N>
void curve_b(void* out, const void* x, const void* y, const void* a, const void* p) {
  constexpr int L = N / 8;
  uint8_t t[L], u[L];
  mul_mod<N>(t, x, x, p);
  add_mod<N>(t, t, a, p);
  mul_mod<N>(t, t, x, p);  // x^3 + a x
  mul_mod<N>(u, y, y, p);
  sub_mod<N>(out, u, t, p);
}

// The cofactor m/q of a record; m of a 256-bit curve may need 257 bits, so
// both numbers are taken at their full 512-bit width. False when q does not
// divide m.
bool cofactor(const sign2012_par_t* par, uint8_t (&c)[64]) {
  return sign2012_div_complete_512_bit(c, par->m, par->q) == 0;
}

// An affine point of the curve: coordinates below p on the curve equation,
// not (0, 0).
template <int N>
bool on_curve(const sign2012_par_t* par, const uint8_t* pt) {
  constexpr int L = N / 8;
  const uint8_t* x = pt;
  const uint8_t* y = pt + L;
  if (cmp<N>(x, par->p) != kLess || cmp<N>(y, par->p) != kLess || is_inf<N>(pt)) return false;
  uint8_t f[L], fg[L];
  curve_b<N>(f, x, y, par->a, par->p);
  curve_b<N>(fg, par->x, par->y, par->a, par->p);
  return cmp<N>(f, fg) == kEqual;
}

// A point of the curve in the group of order q: with a cofactor above 1,
// q*P must also be the point at infinity.
template <int N>
bool in_group(const sign2012_par_t* par, const uint8_t* pt) {
  constexpr int L = N / 8;
  if (!on_curve<N>(par, pt)) return false;
  uint8_t c[64], t[2 * L];
  if (!cofactor(par, c)) return false;
  if (cmp1<512>(c) == kEqual) return true;
  mul_k<N>(par->q, pt, t, t + L, par->a, par->p);
  return is_inf<N>(t);
}

// ---- the operations ----

void rotate_halves(uint8_t* sig, int half) {
  for (int h = 0; h < 2; ++h) {
    uint8_t* s = sig + h * half;
    for (int i = 0; i < half / 2; ++i) {
      uint8_t t = s[i];
      s[i] = s[half - 1 - i];
      s[half - 1 - i] = t;
    }
  }
}

// The context's checks shared by every operation: 3 for missing parts or a
// record of another size, 6 before initialisation.
template <int N>
uint32_t check_ctx(const Sign2012Ctx* ctx) {
  if (ctx == nullptr || ctx->par == nullptr || ctx->keys == nullptr ||
      ctx->par->bits != static_cast<uint32_t>(N))
    return VRT_ERROR_INVALID_ARGUMENT;
  if (!arch_ready()) return VRT_ERROR_NOT_INITIALIZED;
  return VRT_SUCCESS;
}

// The secret d, unmasked into a stack buffer wiped on destruction; valid
// only when the key pair holds a key of L bytes.
template <int N>
struct PlainKey {
  uint8_t d[N / 8] = {};
  bool ok = false;
  explicit PlainKey(const genkey_pair_t* keys) {
    if (keys->secret.key.data == nullptr || keys->secret.key.length != N / 8) return;
    genkey_t view{};
    __binstr_init(&view.key, d, sizeof d);
    genkey_unmask_to(&keys->secret, &view);
    ok = true;
  }
  ~PlainKey() { vrt::signer::wipe(d, sizeof d); }
  PlainKey(const PlainKey&) = delete;
  PlainKey& operator=(const PlainKey&) = delete;
};

template <int N>
void base_point(uint8_t* g, const sign2012_par_t* par) {
  std::memcpy(g, par->x, N / 8);
  std::memcpy(g + N / 8, par->y, N / 8);
}

// e = digest mod q, 1 in place of 0.
template <int N>
void digest_scalar(uint8_t* e, const uint8_t* digest, const void* q) {
  std::memcpy(e, digest, N / 8);
  mod_p<N>(e, q);
  if (cmp0<N>(e) == kEqual) set_small<N>(e, 1);
}

template <int N>
uint32_t create_ds(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature) {
  constexpr int L = N / 8;
  uint32_t st = check_ctx<N>(ctx);
  if (st != VRT_SUCCESS) return st;
  if (digest == nullptr || signature == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const sign2012_par_t* par = ctx->par;
  PlainKey<N> key(ctx->keys);
  if (!key.ok) return VRT_ERROR_INVALID_ARGUMENT;

  uint8_t e[L], k[L] = {}, dq[L], rd[L], ke[L], r[L], s[L], g[2 * L];
  WipeOnExit<uint8_t[L]> w1(k), w2(dq), w3(rd), w4(ke), w5(s);
  digest_scalar<N>(e, digest, par->q);
  std::memcpy(dq, key.d, L);
  mod_p<N>(dq, par->q);
  if (cmp0<N>(dq) == kEqual) return VRT_ERROR_FAILED;
  if (ctx->nonce.data != nullptr)
    std::memcpy(k, ctx->nonce.data, ctx->nonce.length < size_t{L} ? ctx->nonce.length : size_t{L});
  mod_p<N>(k, par->q);

  base_point<N>(g, par);
  mul_k<N>(k, g, r, nullptr, par->a, par->p);
  mod_p<N>(r, par->q);
  mul_mod<N>(rd, r, dq, par->q);
  mul_mod<N>(ke, k, e, par->q);
  add_mod<N>(s, rd, ke, par->q);
  if (cmp0<N>(r) == kEqual || cmp0<N>(s) == kEqual) return VRT_ERROR_SIGNATURE;

  std::memcpy(signature, s, L);
  std::memcpy(signature + L, r, L);
  if (ctx->flags & SIGN2012_FLAG_BIG_ENDIAN) rotate_halves(signature, L);
  return VRT_SUCCESS;
}

template <int N>
uint32_t check_ds(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature) {
  constexpr int L = N / 8;
  uint32_t st = check_ctx<N>(ctx);
  if (st != VRT_SUCCESS) return st;
  if (digest == nullptr || signature == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const sign2012_par_t* par = ctx->par;
  const binstr_t& pub = ctx->keys->public_key;
  if (pub.data == nullptr || pub.length < size_t{2 * L}) return VRT_ERROR_FAILED;

  uint8_t sig[2 * L];
  std::memcpy(sig, signature, sizeof sig);
  if (ctx->flags & SIGN2012_FLAG_BIG_ENDIAN) rotate_halves(sig, L);
  const uint8_t* s = sig;
  const uint8_t* r = sig + L;
  if (cmp0<N>(s) == kEqual || cmp<N>(s, par->q) != kLess || cmp0<N>(r) == kEqual ||
      cmp<N>(r, par->q) != kLess)
    return VRT_ERROR_FAILED;

  uint8_t e[L], v[L], z1[L], z2[L], t[L], g[2 * L], w[2 * L], u[2 * L];
  digest_scalar<N>(e, digest, par->q);
  std::memcpy(v, e, L);
  div_mod<N>(v, nullptr, par->q);
  mul_mod<N>(z1, s, v, par->q);
  mul_mod<N>(t, r, v, par->q);
  sub_mod<N>(z2, N == 256 ? static_cast<const void*>(C256_0) : C512_0, t, par->q);
  base_point<N>(g, par);
  mul_k<N>(z1, g, w, w + L, par->a, par->p);
  mul_k<N>(z2, pub.data, u, u + L, par->a, par->p);
  add_pt<N>(w, u, par->a, par->p);
  mod_p<N>(w, par->q);
  return cmp<N>(w, r) == kEqual ? VRT_SUCCESS : VRT_ERROR_FAILED;
}

template <int N>
uint32_t gen_pub_key(Sign2012Ctx* ctx) {
  constexpr int L = N / 8;
  uint32_t st = check_ctx<N>(ctx);
  if (st != VRT_SUCCESS) return st;
  binstr_t& pub = ctx->keys->public_key;
  if (pub.data == nullptr || pub.length < size_t{2 * L}) return VRT_ERROR_INVALID_ARGUMENT;
  PlainKey<N> key(ctx->keys);
  if (!key.ok) return VRT_ERROR_INVALID_ARGUMENT;
  uint8_t dq[L], g[2 * L];
  WipeOnExit<uint8_t[L]> w(dq);
  std::memcpy(dq, key.d, L);
  mod_p<N>(dq, ctx->par->q);
  if (cmp0<N>(dq) == kEqual) return VRT_ERROR_FAILED;  // Q would be the point at infinity
  base_point<N>(g, ctx->par);
  mul_k<N>(dq, g, pub.data, pub.data + L, ctx->par->a, ctx->par->p);
  return VRT_SUCCESS;
}

template <int N>
uint32_t gen_key_pair(Sign2012Ctx* ctx, const uint8_t* random) {
  constexpr int L = N / 8;
  if (ctx == nullptr || ctx->par == nullptr || ctx->keys == nullptr || ctx->keys->public_key.data == nullptr ||
      random == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  uint32_t st = check_ctx<N>(ctx);
  if (st != VRT_SUCCESS) return st;
  genkey_t& secret = ctx->keys->secret;
  if (secret.key.data == nullptr || secret.key.length != size_t{L} || ctx->keys->public_key.length < size_t{2 * L})
    return VRT_ERROR_INVALID_ARGUMENT;
  uint8_t d[L], g[2 * L];
  WipeOnExit<uint8_t[L]> w(d);
  std::memcpy(d, random, L);
  if (cmp0<N>(d) == kEqual) return VRT_ERROR_INVALID_ARGUMENT;
  mod_p<N>(d, ctx->par->q);
  if (cmp0<N>(d) == kEqual) return VRT_ERROR_FAILED;
  base_point<N>(g, ctx->par);
  uint8_t* pub = ctx->keys->public_key.data;
  mul_k<N>(d, g, pub, pub + L, ctx->par->a, ctx->par->p);
  std::memcpy(secret.key.data, d, L);
  genkey_mask(&secret);
  return VRT_SUCCESS;
}

template <int N>
uint32_t vko(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key) {
  constexpr int L = N / 8;
  uint32_t st = check_ctx<N>(ctx);
  if (st != VRT_SUCCESS) return st;
  if (result == nullptr || peer_key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const sign2012_par_t* par = ctx->par;
  if (!on_curve<N>(par, peer_key)) return VRT_ERROR_INVALID_ARGUMENT;
  PlainKey<N> key(ctx->keys);
  if (!key.ok) return VRT_ERROR_INVALID_ARGUMENT;

  uint8_t u[L], c[64], t[L], pc[2 * L], k[2 * L];
  WipeOnExit<uint8_t[L]> w1(t);
  WipeOnExit<uint8_t[2 * L]> w2(k);
  set_small<N>(u, 1);
  if (ctx->nonce.data != nullptr && ctx->nonce.length > 0)
    std::memcpy(u, ctx->nonce.data, ctx->nonce.length < size_t{L} ? ctx->nonce.length : size_t{L});
  if (!cofactor(par, c)) return VRT_ERROR_INVALID_ARGUMENT;
  // (u * c * d mod q) * P as (u * d mod q) * (c * P): the same point for
  // every P of order q, while a part of small order in a hostile P drops
  // out instead of showing through the result.
  std::memcpy(pc, peer_key, sizeof pc);
  if (cmp1<512>(c) != kEqual) {
    mul_k<N>(c, peer_key, pc, pc + L, par->a, par->p);
    if (is_inf<N>(pc)) return VRT_ERROR_INVALID_ARGUMENT;  // P had small order
  }
  mul_mod<N>(t, key.d, u, par->q);
  mul_k<N>(t, pc, k, k + L, par->a, par->p);
  if (is_inf<N>(k)) return VRT_ERROR_INVALID_ARGUMENT;  // a key everyone can compute
  std::memcpy(result, k, sizeof k);
  return VRT_SUCCESS;
}

}  // namespace

namespace vrt::signer {

bool reference_ready() { return arch_ready(); }

bool reference_public_key_valid(const sign2012_par_t* par, const uint8_t* point) {
  if (par == nullptr || point == nullptr || !arch_ready()) return false;
  if (par->bits == 256) return in_group<256>(par, point);
  if (par->bits == 512) return in_group<512>(par, point);
  return false;
}

}  // namespace vrt::signer

extern "C" {

// ---- context management ----

VRT_API uint32_t sign2012_ctx_alloc(Sign2012Ctx** out, uint64_t key_len, uint32_t kind, uint64_t public_len,
                                    uint64_t nonce_len) {
  if (out == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  *out = nullptr;
  auto* ctx = static_cast<Sign2012Ctx*>(std::calloc(1, sizeof(Sign2012Ctx)));
  if (ctx == nullptr) return VRT_ERROR_NO_MEMORY;
  ctx->keys = static_cast<genkey_pair_t*>(std::calloc(1, sizeof(genkey_pair_t)));
  if (ctx->keys == nullptr) {
    std::free(ctx);
    return VRT_ERROR_NO_MEMORY;
  }
  uint32_t st = genkey_pair_alloc(ctx->keys, key_len, kind, public_len);
  if (st == VRT_SUCCESS && nonce_len > 0) st = binstr_alloc(&ctx->nonce, nonce_len);
  if (st != VRT_SUCCESS) {
    sign2012_ctx_free(ctx);
    return st;
  }
  if (ctx->keys->public_key.data != nullptr) std::memset(ctx->keys->public_key.data, 0, public_len);
  if (ctx->nonce.data != nullptr) std::memset(ctx->nonce.data, 0, nonce_len);
  *out = ctx;
  return VRT_SUCCESS;
}

VRT_API void sign2012_ctx_free(Sign2012Ctx* ctx) {
  if (ctx == nullptr) return;
  if (ctx->keys != nullptr) {
    genkey_pair_free(ctx->keys);
    std::free(ctx->keys);
  }
  // The nonce of a signature gives the secret key away.
  if (ctx->nonce.data != nullptr) vrt::signer::wipe(ctx->nonce.data, ctx->nonce.length);
  binstr_free(&ctx->nonce);
  std::free(ctx);
}

VRT_API uint32_t __sign2012_ctx_init(Sign2012Ctx* ctx, const sign2012_par_t* par) {
  if (ctx == nullptr || par == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->par = par;
  ctx->flags = SIGN2012_FLAG_BIG_ENDIAN;
  return VRT_SUCCESS;
}

VRT_API uint32_t sign2012_info_load(Sign2012Ctx* ctx, const binstr_t* secret, const binstr_t* secret_mask,
                                    const binstr_t* public_key, const binstr_t* nonce) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (secret == nullptr && public_key == nullptr && nonce == nullptr) return VRT_ERROR_FAILED;
  if ((secret != nullptr || public_key != nullptr) && ctx->keys == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  uint32_t st;
  if (secret != nullptr && (st = genkey_load(&ctx->keys->secret, secret, secret_mask)) != VRT_SUCCESS) return st;
  if (public_key != nullptr &&
      (st = binstr_copy(&ctx->keys->public_key, public_key->data, public_key->length)) != VRT_SUCCESS)
    return st;
  if (nonce != nullptr && (st = binstr_copy(&ctx->nonce, nonce->data, nonce->length)) != VRT_SUCCESS) return st;
  return VRT_SUCCESS;
}

// ---- the operations by key size ----

VRT_API uint32_t sign2001_create_DS(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature) {
  return create_ds<256>(ctx, digest, signature);
}
VRT_API uint32_t sign2012_create_DS(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature) {
  return create_ds<512>(ctx, digest, signature);
}
VRT_API uint32_t sign2001_check_DS(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature) {
  return check_ds<256>(ctx, digest, signature);
}
VRT_API uint32_t sign2012_check_DS_512_bit(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature) {
  return check_ds<512>(ctx, digest, signature);
}
VRT_API uint32_t sign2001_gen_pub_key(Sign2012Ctx* ctx) { return gen_pub_key<256>(ctx); }
VRT_API uint32_t sign2012_gen_pub_key(Sign2012Ctx* ctx) { return gen_pub_key<512>(ctx); }
VRT_API uint32_t sign2001_gen_key_pair(Sign2012Ctx* ctx, const uint8_t* random) {
  return gen_key_pair<256>(ctx, random);
}
VRT_API uint32_t sign2012_gen_key_pair(Sign2012Ctx* ctx, const uint8_t* random) {
  return gen_key_pair<512>(ctx, random);
}
VRT_API uint32_t sign2001_VKO_256(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key) {
  return vko<256>(ctx, result, peer_key);
}
VRT_API uint32_t sign2012_VKO_512(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key) {
  return vko<512>(ctx, result, peer_key);
}

// ---- the common entry points ----

#define SIGN2012_DISPATCH(ctx, call256, call512)                              \
  do {                                                                        \
    if ((ctx) == nullptr || (ctx)->par == nullptr) return VRT_ERROR_INVALID_ARGUMENT; \
    if ((ctx)->par->bits == 256) return call256;                              \
    if ((ctx)->par->bits == 512) return call512;                              \
    return VRT_ERROR_INVALID_ARGUMENT;                                        \
  } while (0)

VRT_API uint32_t sign2012_sign(Sign2012Ctx* ctx, const uint8_t* digest, uint8_t* signature) {
  SIGN2012_DISPATCH(ctx, sign2001_create_DS(ctx, digest, signature), sign2012_create_DS(ctx, digest, signature));
}
VRT_API uint32_t sign2012_verify(Sign2012Ctx* ctx, const uint8_t* digest, const uint8_t* signature) {
  SIGN2012_DISPATCH(ctx, sign2001_check_DS(ctx, digest, signature),
                    sign2012_check_DS_512_bit(ctx, digest, signature));
}
VRT_API uint32_t sign2012_create_pub_key(Sign2012Ctx* ctx) {
  SIGN2012_DISPATCH(ctx, sign2001_gen_pub_key(ctx), sign2012_gen_pub_key(ctx));
}
VRT_API uint32_t sign2012_generate_pair(Sign2012Ctx* ctx, const uint8_t* secret) {
  SIGN2012_DISPATCH(ctx, sign2001_gen_key_pair(ctx, secret), sign2012_gen_key_pair(ctx, secret));
}
VRT_API uint32_t sign2012_generate_VKO(Sign2012Ctx* ctx, uint8_t* result, const uint8_t* peer_key) {
  SIGN2012_DISPATCH(ctx, sign2001_VKO_256(ctx, result, peer_key), sign2012_VKO_512(ctx, result, peer_key));
}

#undef SIGN2012_DISPATCH

VRT_API uint32_t sign2012_generate_pair_example(const uint8_t* secret, uint8_t* public_out,
                                                const sign2012_par_t* par) {
  if (secret == nullptr || public_out == nullptr || par == nullptr || (par->bits != 256 && par->bits != 512))
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t len = par->bits / 8;
  Sign2012Ctx* ctx = nullptr;
  uint32_t st = sign2012_ctx_alloc(&ctx, len, 0, 2 * len, len);
  if (st != VRT_SUCCESS) return st;
  st = __sign2012_ctx_init(ctx, par);
  if (st == VRT_SUCCESS) st = sign2012_generate_pair(ctx, secret);
  if (st == VRT_SUCCESS) std::memcpy(public_out, ctx->keys->public_key.data, 2 * len);
  sign2012_ctx_free(ctx);
  return st;
}

VRT_API uint32_t sign2012_VKO_example(const uint8_t* ukm, uint64_t ukm_len, const uint8_t* secret,
                                      const uint8_t* peer_key, uint32_t out_len, const sign2012_par_t* par,
                                      uint8_t* out) {
  if (secret == nullptr || peer_key == nullptr || out == nullptr || par == nullptr ||
      (par->bits != 256 && par->bits != 512) || (ukm == nullptr && ukm_len != 0) || ukm_len > par->bits / 8 ||
      (out_len != 32 && out_len != 64))
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t len = par->bits / 8;
  Sign2012Ctx* ctx = nullptr;
  uint32_t st = sign2012_ctx_alloc(&ctx, len, 0, 2 * len, ukm_len);
  if (st != VRT_SUCCESS) return st;
  binstr_t sec, nonce;
  __binstr_init(&sec, const_cast<uint8_t*>(secret), len);
  __binstr_init(&nonce, const_cast<uint8_t*>(ukm), ukm_len);
  uint8_t point[128];
  st = __sign2012_ctx_init(ctx, par);
  if (st == VRT_SUCCESS) st = sign2012_info_load(ctx, &sec, nullptr, nullptr, ukm_len != 0 ? &nonce : nullptr);
  if (st == VRT_SUCCESS) st = sign2012_generate_VKO(ctx, point, peer_key);
  if (st == VRT_SUCCESS) st = hash2012_example(point, 2 * len, out, out_len);
  vrt::signer::wipe(point, sizeof point);
  sign2012_ctx_free(ctx);
  return st;
}

VRT_API void sign2001_rotate_DS_RFC4490(uint8_t* sig) {
  if (sig != nullptr) rotate_halves(sig, 32);
}
VRT_API void sign2012_rotate_DS_TC26(uint8_t* sig) {
  if (sig != nullptr) rotate_halves(sig, 64);
}

// ---- the arithmetic, one family per width ----

VRT_API uint32_t sign2001_cmp_256_bit(const void* a, const void* b) { return cmp<256>(a, b); }
VRT_API uint32_t sign2001_cmp_0_256_bit(const void* a) { return cmp0<256>(a); }
VRT_API uint32_t sign2001_cmp_1_256_bit(const void* a) { return cmp1<256>(a); }
VRT_API uint32_t sign2001_add_256_bit(void* r, const void* a, const void* b) { return add<256>(r, a, b); }
VRT_API uint32_t sign2001_sub_256_bit(void* r, const void* a, const void* b) { return sub<256>(r, a, b); }
VRT_API uint32_t sign2001_shr_256_bit(void* r, const void* a) { return shr1<256>(r, a, 0); }
VRT_API void sign2001_mod_p_256_bit(void* x, const void* m) { mod_p<256>(x, m); }
VRT_API void sign2001_add_mod_p_256_bit(void* r, const void* a, const void* b, const void* m) {
  add_mod<256>(r, a, b, m);
}
VRT_API void sign2001_sub_mod_p_256_bit(void* r, const void* a, const void* b, const void* m) {
  sub_mod<256>(r, a, b, m);
}
VRT_API void sign2001_mul_mod_p_256_bit(void* r, const void* a, const void* b, const void* m) {
  mul_mod<256>(r, a, b, m);
}
VRT_API void sign2001_div_mod_p_256_bit(void* x, const void* b, const void* m) { div_mod<256>(x, b, m); }
VRT_API void sign2001_mul_2_EP_256_bit(void* point, const void* a, const void* p) {
  dbl<256>(static_cast<uint8_t*>(point), a, p);
}
VRT_API void sign2001_add_EP_256_bit(void* point, const void* other, const void* a, const void* p) {
  add_pt<256>(static_cast<uint8_t*>(point), static_cast<const uint8_t*>(other), a, p);
}
VRT_API void sign2001_mul_k_EP_256_bit(const void* k, const void* g, void* out_x, void* out_y, const void* a,
                                       const void* p) {
  mul_k<256>(k, g, out_x, out_y, a, p);
}

VRT_API uint32_t sign2012_cmp_512_bit(const void* a, const void* b) { return cmp<512>(a, b); }
VRT_API uint32_t sign2012_cmp_0_512_bit(const void* a) { return cmp0<512>(a); }
VRT_API uint32_t sign2012_cmp_1_512_bit(const void* a) { return cmp1<512>(a); }
VRT_API uint32_t sign2012_add_512_bit(void* r, const void* a, const void* b) { return add<512>(r, a, b); }
VRT_API uint32_t sign2012_sub_512_bit(void* r, const void* a, const void* b) { return sub<512>(r, a, b); }
VRT_API uint32_t sign2012_shr_512_bit(void* r, const void* a) { return shr1<512>(r, a, 0); }
VRT_API uint32_t sign2012_shl_512_bit(void* r, const void* a) { return arch().shl512_1(r, a, 0); }
VRT_API void sign2012_mod_p_512_bit(void* x, const void* m) { mod_p<512>(x, m); }
VRT_API void sign2012_add_mod_p_512_bit(void* r, const void* a, const void* b, const void* m) {
  add_mod<512>(r, a, b, m);
}
VRT_API void sign2012_sub_mod_p_512_bit(void* r, const void* a, const void* b, const void* m) {
  sub_mod<512>(r, a, b, m);
}
VRT_API void sign2012_mul_mod_p_512_bit(void* r, const void* a, const void* b, const void* m) {
  mul_mod<512>(r, a, b, m);
}
VRT_API void sign2012_div_mod_p_512_bit(void* x, const void* b, const void* m) { div_mod<512>(x, b, m); }
VRT_API void sign2012_mul_2_EP_512_bit(void* point, const void* a, const void* p) {
  dbl<512>(static_cast<uint8_t*>(point), a, p);
}
VRT_API void sign2012_add_EP_512_bit(void* point, const void* other, const void* a, const void* p) {
  add_pt<512>(static_cast<uint8_t*>(point), static_cast<const uint8_t*>(other), a, p);
}
VRT_API void sign2012_mul_k_EP_512_bit(const void* k, const void* g, void* out_x, void* out_y, const void* a,
                                       const void* p) {
  mul_k<512>(k, g, out_x, out_y, a, p);
}

VRT_API uint32_t sign2012_div_complete_512_bit(void* quot, const void* a, const void* b) {
  uint8_t rest[64], q[64] = {};
  std::memcpy(rest, a, sizeof rest);
  // A zero divisor never divides; a remainder below b ends the count.
  if (cmp<512>(b, C512_0) == kEqual) {
    std::memcpy(quot, q, sizeof q);
    return 1;
  }
  while (cmp<512>(rest, C512_0) != kEqual) {
    if (cmp<512>(rest, b) == kLess) break;
    sub<512>(rest, rest, b);
    add<512>(q, q, C512_1);
  }
  std::memcpy(quot, q, sizeof q);
  return cmp<512>(rest, C512_0) == kEqual ? 0 : 1;
}

}  // extern "C"
