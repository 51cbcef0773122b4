// The signature engine for 256 and 512 bits.
#include "pubkey/signer/context.h"

#include <cstring>

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
  Point<N> t = Point<N>::from_affine(params, x, y);
  t.mul_point_wnaf(params.q);
  return t.is_infinity();
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
  if (k.is_zero() || k >= q) return VRT_ERROR_INVALID_ARGUMENT;

  Point<N> w = base;
  multiply(w, k);
  ++multiplications;
  Int<N> r = w.get_value_x();
  reduce_q(r);
  if (r.is_zero()) return VRT_ERROR_FAILED;

  signer::UnmaskedKey<N> d(secret_key);
  Int<N> t = d.value;
  signer::WipeOnExit<Int<N>> wipe_t(t);
  reduce_q(t);
  if (t.is_zero()) return VRT_ERROR_FAILED;
  t.mod(q) *= r;  // r*d
  k.mod(q) *= e;  // k*e
  t.mod(q) += k;
  if (t.is_zero()) return VRT_ERROR_FAILED;
  t.to_be_bytes(signature, kBytes);
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

  const Int<N> e = digest_scalar(digest);
  const Int<N> v = e.inverse(q);
  Int<N> z1 = s;
  z1.mod(q) *= v;
  Int<N> z2 = q - r;
  z2.mod(q) *= v;

  Point<N> w = base;
  multiply(w, z1);
  Point<N> u = public_key;
  multiply(u, z2);
  multiplications += 2;
  w += u;
  Int<N> rr = w.get_value_x();
  reduce_q(rr);
  return rr == r && !w.is_infinity() ? VRT_SUCCESS : VRT_ERROR_FAILED;
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
  Point<N> qp = base;
  {
    signer::UnmaskedKey<N> d(secret_key);
    // A multiple of q would make Q the point at infinity: no key at all.
    Int<N> dq = d.value;
    reduce_q(dq);
    const bool zero = dq.is_zero();
    signer::wipe(&dq, sizeof dq);
    if (zero) return VRT_ERROR_FAILED;
    multiply(qp, d.value);
    ++multiplications;
  }
  set_public_key(qp);
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
  Point<N> k = Point<N>::from_affine(params, x, y);
  if (!params.cofactor.is_one()) {
    k.mul_point_wnaf(params.cofactor);
    if (k.is_infinity()) return VRT_ERROR_INVALID_ARGUMENT;  // P had small order
  }
  Int<N> t = Int<N>::from_le_bytes(ukm, kBytes);
  signer::WipeOnExit<Int<N>> wipe_t(t);
  {
    signer::UnmaskedKey<N> d(secret_key);
    t.mod(params.q) *= d.value;  // divided by q: u needs no reduction first
  }
  k.mul_point_wnaf(t);
  ++multiplications;
  k.make_affine();
  if (k.is_infinity()) return VRT_ERROR_INVALID_ARGUMENT;
  write_point<N>(result, k.get_value_x(), k.get_value_y());
  return VRT_SUCCESS;
}

template class Context<256>;
template class Context<512>;

}  // namespace vrt::ec
