// The signature engine for 256 and 512 bits.
#include "pubkey/signer/context.h"

#include <cstring>
#include <type_traits>

#include "pubkey/ec/edwards.h"
#include "pubkey/ec/quarter.h"
#include "pubkey/ec/shared.h"
#include "pubkey/math/declassify.h"
#include "pubkey/signer/secret.h"

namespace vrt::ec {

namespace {

template <int N>
Parameter default_set() {
  return N == 256 ? VRT_PARAM_CRYPTOPRO_A : VRT_PARAM_TC26_512_A;
}

// The two little-endian halves of a 2L-byte point.
template <int N>
void read_point(const uint8_t* in, Int<N>& x, Int<N>& y) {
  x = Int<N>::from_le_bytes(in, N / 8);
  y = Int<N>::from_le_bytes(in + N / 8, N / 8);
}

template <int N>
void write_point(uint8_t* out, const Int<N>& x, const Int<N>& y) {
  x.to_le_bytes(out, N / 8);
  y.to_le_bytes(out + N / 8, N / 8);
}

}  // namespace

template <int N>
Context<N>::Context(Parameter set) {
  const sign2012_par_t* rec = parameter_record(set);
  if (rec == nullptr || rec->bits != static_cast<uint32_t>(N)) rec = parameter_record(default_set<N>());
  params.init(rec);
  base = Point<N>::from_affine(params, record_number<N>(rec->x), record_number<N>(rec->y));
  public_key = Point<N>::infinity(params);
  const Parameter own = rec == parameter_record(set) ? set : default_set<N>();
  shared_set = canonical_set(own);
  if (const ctm::Curve<N>* c = shared_curve<N>(shared_set))
    ct = *c;
  else
    init_curve<N>(shared_set, ct);
}

template <int N>
Int<N> Context<N>::reduce_q_ct(const Int<N>& x) const {
  // x < p < 5q on every curve (q > p/4 - 2 sqrt(p)): four masked subtractions.
  Int<N> r = x;
  for (int i = 0; i < 4; ++i) {
    Int<N> d;
    const uint64_t borrow = math::ct::sub_mask<N>(d, r, params.q);
    math::ct::cmov<N>(r, d, ~borrow);
  }
  return r;
}

template <int N>
void Context<N>::mul_base_secret(const Int<N>& k, Int<N>& x, Int<N>& y) const {
  if (ct.edwards) {
    // Complete additions in the Edwards form of the curve (edwards.h).
    if (const ctm::EdBaseTable<N>* ed = shared_edwards_table<N>(shared_set)) {
      ctm::Aff<N> a = ctm::ed_mul_base_ct<N>(ct, *ed, k);
      ct.fp.from_mont(x, a.x);
      ct.fp.from_mont(y, a.y);
      signer::wipe(&a, sizeof a);
      return;
    }
  }
  const ctm::BaseTable<N>* table = shared_base_table<N>(shared_set);
  ctm::Jac<N> w = table != nullptr ? ctm::mul_base_ct<N>(ct, *table, k)
                                   : ctm::mul_var_base_ct<N>(ct, ctm::Aff<N>{ct.gx, ct.gy}, k);
  ctm::Aff<N> a = ctm::to_affine<N>(ct, w);
  ct.fp.from_mont(x, a.x);
  ct.fp.from_mont(y, a.y);
  signer::wipe(&w, sizeof w);
  signer::wipe(&a, sizeof a);
}

namespace {

// The sum of the entries that the windows of k select from a handle's own
// fixed-base table (public k).
template <int N, int W>
ctm::Jac<N> window_sum_var(const ctm::Curve<N>& c, const PrecompWindow<N, W>& t, const Int<N>& k) {
  ctm::Jac<N> r{};
  for (int i = 0; i < PrecompWindow<N, W>::kPositions; ++i) {
    const uint32_t win = static_cast<uint32_t>(k.words[(W * i) / 64] >> ((W * i) % 64)) & ((1u << W) - 1);
    if (win == 0) continue;
    const RawPoint<N>& e = t.entry(i, win);
    ctm::madd_var<N>(c, r, r, ctm::Aff<N>{e.x.value, e.y.value});
  }
  return r;
}

template <int N>
using HandleTable = std::conditional_t<N == 256, PrecompWindow<256, 16>, PrecompWindow<512, 8>>;

// k times a point through its own table when it has one; null otherwise.
template <int N>
const HandleTable<N>* table_of(const Point<N>& pt) {
  if (pt.mul_mode != 1 || pt.precomp == nullptr) return nullptr;
  return dynamic_cast<const HandleTable<N>*>(pt.precomp);
}

}  // namespace

template <int N>
bool Context<N>::double_mul_matches(const Int<N>& z1, const Int<N>& z2, const Int<N>& r) const {
  if (ct.edwards && table_of<N>(base) == nullptr && table_of<N>(public_key) == nullptr) {
    // Complete additions in the Edwards form of the curve (edwards.h).
    if (const ctm::EdBaseTable<N>* ed = shared_edwards_table<N>(shared_set))
      return ctm::ed_double_mul_matches_var<N>(ct, *ed, ctm::Aff<N>{public_key.x.value, public_key.y.value}, z1, z2,
                                               r);
  }
  ctm::Jac<N> a, b;
  if (const HandleTable<N>* t = table_of<N>(base)) {
    a = window_sum_var<N>(ct, *t, z1);
  } else if (const ctm::BaseTable<N>* shared = shared_base_table<N>(shared_set)) {
    a = ctm::mul_base_var<N>(ct, *shared, z1);
  } else {
    a = ctm::mul_wnaf_var<N>(ct, ctm::Aff<N>{ct.gx, ct.gy}, z1);
  }
  if (const HandleTable<N>* t = table_of<N>(public_key)) {
    b = window_sum_var<N>(ct, *t, z2);
  } else {
    // Q is held with z = one.
    b = ctm::mul_wnaf_var<N>(ct, ctm::Aff<N>{public_key.x.value, public_key.y.value}, z2);
  }
  ctm::add_var<N>(ct, a, a, b);
  if (ctm::is_inf<N>(a)) return false;
  return ctm::jac_x_matches_var<N>(ct, a, r);
}

template <int N>
void Context<N>::multiply(Point<N>& point, const Int<N>& k) {
  if (point.mul_mode == 1 && point.precomp != nullptr)
    point *= k;
  else
    point.mul_point_wnaf(k);
}

template <int N>
bool Context<N>::acceptable(const Int<N>& x, const Int<N>& y) const {
  if (!params.contains(x, y)) return false;
  if (params.cofactor.is_one()) return true;  // the whole group has prime order q
  // With cofactor 4 the curve also has points of order 2 and 4; a peer key
  // with such a part would be multiplied by a scalar reduced modulo q, and
  // the result would tell its sender bits of the secret key.
  ctm::Aff<N> a;
  ct.fp.to_mont(a.x, x);
  ct.fp.to_mont(a.y, y);
  if (ct.quarter_test) {
    // Two quadratic characters where the curve allows (quarter.h).
    const int in = ctm::quarter_in_group_var<N>(ct, a);
    if (in >= 0) return in == 1;
  }
  return ctm::is_inf<N>(ctm::mul_wnaf_var<N>(ct, a, params.q));
}

template <int N>
void Context<N>::reduce_q(Int<N>& x) const {
  while (x >= params.q) x -= params.q;
}

template <int N>
Int<N> Context<N>::digest_scalar(const uint8_t* digest) const {
  Int<N> e = Int<N>::from_le_bytes(digest, kBytes);
  reduce_q(e);
  if (e.is_zero()) e = Int<N>(1);
  return e;
}

template <int N>
uint32_t Context<N>::sign(const uint8_t* digest, const uint8_t* nonce, uint8_t* signature) {
  if (secret_key == nullptr) return VRT_ERROR_NOT_INITIALIZED;
  const Int<N>& q = params.q;
  const Int<N> e = digest_scalar(digest);
  Int<N> k;
  signer::WipeOnExit<Int<N>> wipe_k(k);  // k and d give each other away
  std::memcpy(k.words, nonce, kBytes);    // no staging copy (x86-64 is little-endian)
  {
    Int<N> t;
    const uint64_t below = math::ct::sub_mask<N>(t, k, q);
    if (vrt::ct::public_value(math::ct::is_zero_mask<N>(k) | ~below) != 0) return VRT_ERROR_INVALID_ARGUMENT;
  }

  Int<N> r;
  if (table_of<N>(base) != nullptr) {
    // The opt-in signing table: fast, not constant-time.
    Point<N> w = base;
    multiply(w, k);
    r = w.get_value_x();
    reduce_q(r);
  } else {
    Int<N> x, y;
    mul_base_secret(k, x, y);
    r = reduce_q_ct(x);
    signer::wipe(&x, sizeof x);
    signer::wipe(&y, sizeof y);
  }
  ++multiplications;
  vrt::ct::declassify(&r, sizeof r);  // the signature publishes r
  if (r.is_zero()) return VRT_ERROR_FAILED;

  // s = d*r + k*e mod q: d and k brought into Montgomery form modulo q
  // (which reduces them), then one product with each plain factor.
  const math::FieldCt<N>& fq = ct.fq;
  Int<N> dm, km;
  signer::WipeOnExit<Int<N>> wipe_dm(dm), wipe_km(km);
  {
    signer::UnmaskedKey<N> d(secret_key);
    fq.to_mont(dm, d.value);
  }
  if (vrt::ct::public_value(math::ct::is_zero_mask<N>(dm)) != 0) return VRT_ERROR_FAILED;
  fq.to_mont(km, k);
  fq.mul(dm, dm, r);  // d*r
  fq.mul(km, km, e);  // k*e
  fq.add(dm, dm, km);
  if (vrt::ct::public_value(math::ct::is_zero_mask<N>(dm)) != 0) return VRT_ERROR_FAILED;
  dm.to_be_bytes(signature, kBytes);
  r.to_be_bytes(signature + kBytes, kBytes);
  return VRT_SUCCESS;
}

template <int N>
uint32_t Context<N>::verify(const uint8_t* digest, const uint8_t* signature) {
  if (!has_public_key()) return VRT_ERROR_FAILED;
  const Int<N>& q = params.q;
  const Int<N> s = Int<N>::from_be_bytes(signature, kBytes);
  const Int<N> r = Int<N>::from_be_bytes(signature + kBytes, kBytes);
  if (r.is_zero() || r >= q || s.is_zero() || s >= q) return VRT_ERROR_FAILED;

  // v = 1/e, z1 = s v and z2 = -r v modulo q; two Montgomery products
  // each (a b / R, then times R^2 / R) in place of long divisions.
  const math::FieldCt<N>& fq = ct.fq;
  const Int<N> v = math::safegcd::inverse_var<N>(digest_scalar(digest), fq.by);
  Int<N> z1, z2;
  fq.mul(z1, s, v);
  fq.mul(z1, z1, fq.r2);
  fq.mul(z2, q - r, v);
  fq.mul(z2, z2, fq.r2);

  multiplications += 2;
  return double_mul_matches(z1, z2, r) ? VRT_SUCCESS : VRT_ERROR_FAILED;
}

template <int N>
void Context<N>::set_public_key(const Point<N>& point) {
  public_key = point;
  public_key.make_affine();  // one inversion now saves one per export and verification
  public_key.make_jacobian();
  public_key.mul_mode = 0;
  public_key.precomp = nullptr;
  if (pending_verify_table != nullptr) {
    pending_verify_table->generate(public_key, params.mont);
    public_key.mul_mode = 1;
    public_key.precomp = pending_verify_table;
  }
}

template <int N>
uint32_t Context<N>::create_public_key() {
  if (secret_key == nullptr) return VRT_ERROR_NOT_INITIALIZED;
  Int<N> x, y;
  {
    // d mod q (through Montgomery form and back); a multiple of q would make
    // Q the point at infinity: no key at all.
    Int<N> dq;
    signer::WipeOnExit<Int<N>> wipe_dq(dq);
    {
      signer::UnmaskedKey<N> d(secret_key);
      ct.fq.to_mont(dq, d.value);
    }
    ct.fq.from_mont(dq, dq);
    if (vrt::ct::public_value(math::ct::is_zero_mask<N>(dq)) != 0) return VRT_ERROR_FAILED;
    mul_base_secret(dq, x, y);
    ++multiplications;
  }
  // Q is public from here on.
  vrt::ct::declassify(&x, sizeof x);
  vrt::ct::declassify(&y, sizeof y);
  set_public_key(Point<N>::from_affine(params, x, y));
  return VRT_SUCCESS;
}

template <int N>
uint32_t Context<N>::import_public_key(const uint8_t* key) {
  Int<N> x, y;
  read_point<N>(key, x, y);
  if (!acceptable(x, y)) return VRT_ERROR_INVALID_ARGUMENT;
  set_public_key(Point<N>::from_affine(params, x, y));
  return VRT_SUCCESS;
}

template <int N>
uint32_t Context<N>::export_public_key(uint8_t* key) const {
  if (!has_public_key()) return VRT_ERROR_NOT_INITIALIZED;
  write_point<N>(key, public_key.get_value_x(), public_key.get_value_y());
  return VRT_SUCCESS;
}

template <int N>
uint32_t Context<N>::generate_vko(const uint8_t* ukm, const uint8_t* peer_public_key, uint8_t* result) {
  if (secret_key == nullptr) return VRT_ERROR_NOT_INITIALIZED;
  Int<N> x, y;
  read_point<N>(peer_public_key, x, y);
  if (!params.contains(x, y)) return VRT_ERROR_INVALID_ARGUMENT;
  // (u * cofactor * d mod q) * P, computed as (u * d mod q) * (cofactor * P):
  // the same point for every P of order q, and a part of small order in a
  // hostile P drops out instead of showing through the result.
  ctm::Aff<N> peer;
  ct.fp.to_mont(peer.x, x);
  ct.fp.to_mont(peer.y, y);
  if (!params.cofactor.is_one()) {
    // A cofactor 2^s (4 on the sets that have one) is s doublings in a row.
    int ones = 0;
    for (int w = 0; w < Int<N>::kWords; ++w) ones += __builtin_popcountll(params.cofactor.words[w]);
    ctm::Jac<N> m;
    if (ones == 1) {
      m = ctm::Jac<N>{peer.x, peer.y, ct.fp.one};
      const int s = static_cast<int>(params.cofactor.bit_length()) - 1;
      if (s > 0) ctm::dbl_n<N>(ct, m, m, s);
    } else {
      m = ctm::mul_wnaf_var<N>(ct, peer, params.cofactor);
    }
    if (ctm::is_inf<N>(m)) return VRT_ERROR_INVALID_ARGUMENT;  // P had small order
    Int<N> zi, zi2;
    ct.fp.inv_var(zi, m.z);
    ct.fp.sqr(zi2, zi);
    ct.fp.mul(peer.x, m.x, zi2);
    ct.fp.mul(zi2, zi2, zi);
    ct.fp.mul(peer.y, m.y, zi2);
  }
  // t = u*d mod q: both in Montgomery form modulo q (u needs no reduction
  // first), their product brought back.
  Int<N> t, dm;
  signer::WipeOnExit<Int<N>> wipe_t(t), wipe_dm(dm);
  ct.fq.to_mont(t, Int<N>::from_le_bytes(ukm, kBytes));
  {
    signer::UnmaskedKey<N> d(secret_key);
    ct.fq.to_mont(dm, d.value);
  }
  ct.fq.mul(t, t, dm);
  ct.fq.from_mont(t, t);
  // A zero product makes the shared point the point at infinity.
  if (vrt::ct::public_value(math::ct::is_zero_mask<N>(t)) != 0) return VRT_ERROR_INVALID_ARGUMENT;
  ctm::Aff<N> a;
  ctm::Jac<N> k{};
  if (ct.edwards) {
    // Complete additions in the Edwards form of the curve (edwards.h).
    a = ctm::ed_mul_var_base_ct<N>(ct, peer, t);
  } else {
    k = ctm::mul_var_base_ct<N>(ct, peer, t);
    a = ctm::to_affine<N>(ct, k);
  }
  ++multiplications;
  ct.fp.from_mont(x, a.x);
  ct.fp.from_mont(y, a.y);
  write_point<N>(result, x, y);
  signer::wipe(&k, sizeof k);
  signer::wipe(&a, sizeof a);
  signer::wipe(&x, sizeof x);
  signer::wipe(&y, sizeof y);
  return VRT_SUCCESS;
}

template class Context<256>;
template class Context<512>;

}  // namespace vrt::ec
