// Public-key arithmetic: field products and inversion, scalar multiplication,
// fixed-base multiplication and table generation; ours beside GMP (field
// operations), libgcrypt and OpenSSL (point multiplication) where they have
// the same operation. Curves: CryptoPro A (256 bits) and TC26 512-bit A.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "pubkey/ec/curve.h"
#include "pubkey/ec/point.h"
#include "pubkey/ec/precomp.h"
#include "pubkey/math/field_ct.h"
#include "vrt.h"

#if defined(VRT_HAVE_GMP)
#include <gmp.h>
#endif
#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_OPENSSL)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/bn.h>
#include <openssl/ec.h>
#endif

namespace {

using vrt::ec::CurveParams;
using vrt::ec::Point;
using vrt::math::Int;
using vrt::math::MontInt;

// The benchmark curves, loaded once.
template <int N>
struct Curve {
  const sign2012_par_t* rec;
  CurveParams<N> params;
  Point<N> g;
  Curve() : rec(vrt::ec::parameter_record(N == 256 ? VRT_PARAM_CRYPTOPRO_A : VRT_PARAM_TC26_512_A)) {
    params.init(rec);
    g = Point<N>::from_affine(params, vrt::ec::record_number<N>(rec->x), vrt::ec::record_number<N>(rec->y));
  }
  static Curve& get() {
    static Curve c;
    return c;
  }
};

// A fixed pseudo-random number below bound.
template <int N>
Int<N> Below(const Int<N>& bound, uint64_t seed) {
  Int<N> r;
  for (int i = 0; i < Int<N>::kWords; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    r.words[i] = seed ^ (seed >> 29);
  }
  while (r >= bound) r >>= 1;
  return r;
}

// Sets the integer path for one benchmark run: portable, or the BMI2
// routines with (where the processor has it) or without the ADCX/ADOX
// Montgomery products.
bool HaveBmi2() { return (vrtpInstance.cpu_enabled & VRT_CPU_BMI2) != 0; }
bool HaveAdx() { return HaveBmi2() && (vrtpInstance.cpu_enabled & VRT_CPU_ADX) != 0; }

class Path {
 public:
  explicit Path(bool fast, bool adx = true) : saved_(vrt::flags::supported_asm), saved_adx_(vrt::flags::supported_adx) {
    vrt::flags::supported_asm = fast;
    vrt::flags::supported_adx = fast && adx && HaveAdx();
  }
  ~Path() {
    vrt::flags::supported_asm = saved_;
    vrt::flags::supported_adx = saved_adx_;
  }

 private:
  bool saved_, saved_adx_;
};

template <int N>
void FieldMul(benchmark::State& state, bool fast, bool adx = true) {
  if (fast && !HaveBmi2()) return state.SkipWithError("no BMI2");
  if (fast && adx && !HaveAdx()) return state.SkipWithError("no ADX");
  Path path(fast, adx);
  auto& c = Curve<N>::get();
  MontInt<N> a(Below<N>(c.params.p, 1), &c.params.mont), b(Below<N>(c.params.p, 2), &c.params.mont);
  for (auto _ : state) {
    a *= b;
    benchmark::DoNotOptimize(a);
  }
}

// The generic Montgomery product as the field code dispatched it for every
// modulus before the shorter one of 2^N - c: the BMI2 routine at 256 bits,
// the ADCX/ADOX one at 512 where the processor has ADX.
template <int N>
void FieldMulGeneric(benchmark::State& state) {
  if (!HaveBmi2()) return state.SkipWithError("no BMI2");
  auto& c = Curve<N>::get();
  Int<N> a = MontInt<N>(Below<N>(c.params.p, 1), &c.params.mont).value;
  const Int<N> b = MontInt<N>(Below<N>(c.params.p, 2), &c.params.mont).value;
  const uint64_t n0 = c.params.mont.mont_inverse;
  for (auto _ : state) {
    if (N == 512 && HaveAdx())
      vrt::math::mont_mul_512_adx_to(a.words, a.words, b.words, n0, c.params.p.words);
    else if constexpr (N == 256)
      vrt::math::mont_mul_256_to(a.words, a.words, b.words, n0, c.params.p.words);
    else
      vrt::math::mont_mul_512_to(a.words, a.words, b.words, n0, c.params.p.words);
    benchmark::DoNotOptimize(a);
  }
}

// The shorter product and squaring of p = 2^N - c (the benchmark curves) or,
// with plus, of p = 2^(N-1) + c (CryptoPro B, TC26 512-bit B).
template <int N>
void FieldMulSpecial(benchmark::State& state, bool square, bool plus) {
  if (!HaveBmi2()) return state.SkipWithError("no BMI2");
  Int<N> p;
  if (plus) {
    p.set_bit(N - 1);
    p += Int<N>(N == 256 ? 3225 : 111);
  } else {
    p = Curve<N>::get().params.p;
  }
  const vrt::math::SpecialModulus sm = vrt::math::SpecialModulus::of<N / 64>(p.words);
  Int<N> a = Below<N>(p, 1);
  const Int<N> b = Below<N>(p, 2);
  for (auto _ : state) {
    if (square)
      sm.sqr<N>(a.words, a.words);
    else
      sm.mul<N>(a.words, a.words, b.words);
    benchmark::DoNotOptimize(a);
  }
}

// The same product's throughput: four independent chains, as the products of
// a point formula that do not wait on each other, set beside the MULX floor
// below (mulx_x32/vrt against mulx_x32/floor; mulx_x128 at 512 bits).
template <int N>
void FieldMulSpecialThroughput(benchmark::State& state, bool square) {
  if (!HaveBmi2()) return state.SkipWithError("no BMI2");
  const Int<N> p = Curve<N>::get().params.p;
  const vrt::math::SpecialModulus sm = vrt::math::SpecialModulus::of<N / 64>(p.words);
  Int<N> a[4] = {Below<N>(p, 1), Below<N>(p, 3), Below<N>(p, 4), Below<N>(p, 5)};
  const Int<N> b = Below<N>(p, 2);
  while (state.KeepRunningBatch(4)) {
    for (Int<N>& x : a) {
      if (square)
        sm.sqr<N>(x.words, x.words);
      else
        sm.mul<N>(x.words, x.words, b.words);
    }
    benchmark::DoNotOptimize(a);
  }
}

// The floor of a Montgomery product: its (N/64)^2 * 2 MULX alone (one row of
// a*b and one of m*p per word), back to back and independent, so that only
// the multiplier's throughput counts.
template <int N>
__attribute__((target("bmi2"))) void MulxFloor(benchmark::State& state) {
  if (!HaveBmi2()) return state.SkipWithError("no BMI2");
  uint64_t x = 0x9e3779b97f4a7c15u, y = 0xc2b2ae3d27d4eb4fu;
  for (auto _ : state) {
    if constexpr (N == 256)
      __asm__ volatile(".rept 32\n\tmulxq %[x], %%rax, %%rcx\n\t.endr" : : [x] "r"(x), "d"(y) : "rax", "rcx");
    else
      __asm__ volatile(".rept 128\n\tmulxq %[x], %%rax, %%rcx\n\t.endr" : : [x] "r"(x), "d"(y) : "rax", "rcx");
  }
}

// Inputs for the inversions: a ring of pseudo-random numbers below p, so that
// no branch predictor learns one input (a caller inverts a new number each
// time).
constexpr int kRing = 256;
template <int N>
const std::vector<Int<N>>& Ring() {
  static const std::vector<Int<N>> r = [] {
    std::vector<Int<N>> v;
    for (int i = 0; i < kRing; ++i) v.push_back(Below<N>(Curve<N>::get().params.p, 100 + i));
    return v;
  }();
  return r;
}

template <int N>
void FieldInv(benchmark::State& state, bool fast) {
  if (fast && !HaveBmi2()) return state.SkipWithError("no BMI2");
  Path path(fast);
  auto& c = Curve<N>::get();
  const auto& xs = Ring<N>();
  size_t i = 0;
  for (auto _ : state) {
    Int<N> r = xs[i++ % kRing].inverse(c.params.p);
    benchmark::DoNotOptimize(r);
  }
}

// The constant-time inversion that secret points take (input and output in
// Montgomery form).
template <int N>
void FieldInvCt(benchmark::State& state) {
  auto& c = Curve<N>::get();
  static const vrt::math::FieldCt<N> f(c.params.p);
  const auto& xs = Ring<N>();
  size_t i = 0;
  for (auto _ : state) {
    Int<N> r;
    f.inv(r, xs[i++ % kRing]);
    benchmark::DoNotOptimize(r);
  }
}

// The quadratic character of a public number (public-key import on the
// cofactor-4 curves): the Jacobi symbol by the non-negative divsteps.
template <int N>
void Legendre(benchmark::State& state) {
  auto& c = Curve<N>::get();
  const auto& xs = Ring<N>();
  size_t i = 0;
  for (auto _ : state) {
    int r = vrt::math::safegcd::jacobi_var<N>(xs[i++ % kRing], c.params.p);
    benchmark::DoNotOptimize(r);
  }
}

template <int N>
void ToMont(benchmark::State& state) {
  auto& c = Curve<N>::get();
  Int<N> x = Below<N>(c.params.p, 4);
  for (auto _ : state) {
    MontInt<N> m(x, &c.params.mont);
    benchmark::DoNotOptimize(m);
    x.words[0] ^= 2;
  }
}

template <int N>
void MulPoint(benchmark::State& state, bool fast) {
  if (fast && !HaveBmi2()) return state.SkipWithError("no BMI2");
  Path path(fast);
  auto& c = Curve<N>::get();
  Point<N> p = c.g;
  p.mul_point(Below<N>(c.params.q, 5));  // an arbitrary point, z = one
  p.make_affine();
  p.make_jacobian();
  const Int<N> k = Below<N>(c.params.q, 6);
  for (auto _ : state) {
    Point<N> r = p;
    r.mul_point(k);
    benchmark::DoNotOptimize(r);
  }
}

// The windowed multiplication that VKO and table-less verification use.
template <int N>
void MulPointWnaf(benchmark::State& state) {
  auto& c = Curve<N>::get();
  Point<N> p = c.g;
  p.mul_point(Below<N>(c.params.q, 5));
  p.make_affine();
  p.make_jacobian();
  const Int<N> k = Below<N>(c.params.q, 6);
  for (auto _ : state) {
    Point<N> r = p;
    r.mul_point_wnaf(k);
    benchmark::DoNotOptimize(r);
  }
}

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// The table of G, generated once per process.
template <int N>
auto& FixedTable() {
  using T = std::conditional_t<N == 256, vrt::ec::PrecompW16<256>, vrt::ec::PrecompW8<512>>;
  struct Holder {
    std::unique_ptr<void, FreeDeleter> mem{std::malloc(T::kTableBytes)};
    T table{mem.get()};
    Holder() { table.generate(Curve<N>::get().g, Curve<N>::get().params.mont); }
  };
  static Holder h;
  return h.table;
}

template <int N>
void FixedBase(benchmark::State& state) {
  auto& c = Curve<N>::get();
  auto& t = FixedTable<N>();
  Int<N> k = Below<N>(c.params.q, 7);
  for (auto _ : state) {
    Point<N> r = t * k;
    benchmark::DoNotOptimize(r);
    k.words[1] += 0x9e3779b97f4a7c15ull;  // a different walk through the table each time
  }
}

template <int N>
void TableGen(benchmark::State& state) {
  using T = std::conditional_t<N == 256, vrt::ec::PrecompW16<256>, vrt::ec::PrecompW8<512>>;
  auto& c = Curve<N>::get();
  std::unique_ptr<void, FreeDeleter> mem{std::malloc(T::kTableBytes)};
  T table(mem.get());
  for (auto _ : state) {
    uint32_t st = table.generate(c.g, c.params.mont);
    if (st != VRT_SUCCESS) state.SkipWithError("generate failed");
    benchmark::ClobberMemory();
  }
  state.counters["points"] = static_cast<double>(T::kTableEntries);
}

#if defined(VRT_HAVE_GMP)
template <int N>
struct GmpField {
  mpz_t p, a, b, t;
  GmpField() {
    auto& c = Curve<N>::get();
    mpz_inits(p, a, b, t, nullptr);
    mpz_import(p, N / 64, -1, 8, 0, 0, c.params.p.words);
    Int<N> x = Below<N>(c.params.p, 1), y = Below<N>(c.params.p, 2);
    mpz_import(a, N / 64, -1, 8, 0, 0, x.words);
    mpz_import(b, N / 64, -1, 8, 0, 0, y.words);
  }
  ~GmpField() { mpz_clears(p, a, b, t, nullptr); }
};

template <int N>
void GmpMul(benchmark::State& state) {
  GmpField<N> f;
  for (auto _ : state) {
    mpz_mul(f.t, f.a, f.b);
    mpz_mod(f.a, f.t, f.p);
    benchmark::DoNotOptimize(f.a);
  }
}

template <int N>
void GmpSqr(benchmark::State& state) {
  GmpField<N> f;
  for (auto _ : state) {
    mpz_mul(f.t, f.a, f.a);
    mpz_mod(f.a, f.t, f.p);
    benchmark::DoNotOptimize(f.a);
  }
}

// mpz_invert and mpz_jacobi on the same ring of inputs as ours.
template <int N>
struct GmpRing {
  mpz_t p, t;
  mpz_t x[kRing];
  GmpRing() {
    mpz_inits(p, t, nullptr);
    mpz_import(p, N / 64, -1, 8, 0, 0, Curve<N>::get().params.p.words);
    for (int i = 0; i < kRing; ++i) {
      mpz_init(x[i]);
      mpz_import(x[i], N / 64, -1, 8, 0, 0, Ring<N>()[i].words);
    }
  }
  ~GmpRing() {
    mpz_clears(p, t, nullptr);
    for (auto& v : x) mpz_clear(v);
  }
};

template <int N>
void GmpInv(benchmark::State& state) {
  GmpRing<N> f;
  size_t i = 0;
  for (auto _ : state) {
    mpz_invert(f.t, f.x[i++ % kRing], f.p);
    benchmark::DoNotOptimize(f.t);
  }
}

// GMP's constant-time inversion, mpn_sec_invert, with the bound 2N on the
// bits of its operands; it overwrites its input, so each call copies one.
template <int N>
void GmpSecInv(benchmark::State& state) {
  constexpr mp_size_t n = N / 64;
  mp_limb_t m[n], a[n], r[n];
  std::vector<mp_limb_t> scratch(mpn_sec_invert_itch(n));
  std::copy(Curve<N>::get().params.p.words, Curve<N>::get().params.p.words + n, m);
  const auto& xs = Ring<N>();
  size_t i = 0;
  for (auto _ : state) {
    const Int<N>& x = xs[i++ % kRing];
    std::copy(x.words, x.words + n, a);
    const int ok = mpn_sec_invert(r, a, m, n, 2 * N, scratch.data());
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(r);
  }
}

template <int N>
void GmpJacobi(benchmark::State& state) {
  GmpRing<N> f;
  size_t i = 0;
  for (auto _ : state) {
    int r = mpz_jacobi(f.x[i++ % kRing], f.p);
    benchmark::DoNotOptimize(r);
  }
}

// Inversion by Fermat, a^(p-2) mod p.
template <int N>
void GmpPowmInv(benchmark::State& state) {
  GmpField<N> f;
  mpz_t e;
  mpz_init(e);
  mpz_sub_ui(e, f.p, 2);
  for (auto _ : state) {
    mpz_powm(f.t, f.a, e, f.p);
    benchmark::DoNotOptimize(f.t);
  }
  mpz_clear(e);
}

template <int N>
void GmpToMont(benchmark::State& state) {
  GmpField<N> f;
  for (auto _ : state) {
    mpz_mul_2exp(f.t, f.a, N);
    mpz_mod(f.t, f.t, f.p);
    benchmark::DoNotOptimize(f.t);
  }
}
#endif

#if defined(VRT_HAVE_GCRYPT)
template <int N>
void GcryptMul(benchmark::State& state, bool base) {
  gcry_check_version(nullptr);
  auto& c = Curve<N>::get();
  gcry_ctx_t ctx = nullptr;
  if (gcry_mpi_ec_new(&ctx, nullptr, N == 256 ? "GOST2001-CryptoPro-A" : "GOST2012-512-tc26-A") != 0)
    return state.SkipWithError("curve not in libgcrypt");
  auto mpi = [](const Int<N>& v) {
    uint8_t be[N / 8];
    v.to_be_bytes(be, sizeof be);
    gcry_mpi_t m = nullptr;
    gcry_mpi_scan(&m, GCRYMPI_FMT_USG, be, sizeof be, nullptr);
    return m;
  };
  gcry_mpi_point_t g = gcry_mpi_ec_get_point("g", ctx, 1);
  gcry_mpi_point_t p = gcry_mpi_point_new(0);
  gcry_mpi_t k5 = mpi(Below<N>(c.params.q, 5));
  gcry_mpi_ec_mul(p, k5, g, ctx);
  gcry_mpi_t k = mpi(Below<N>(c.params.q, base ? 7 : 6));
  gcry_mpi_point_t r = gcry_mpi_point_new(0);
  for (auto _ : state) {
    gcry_mpi_ec_mul(r, k, base ? g : p, ctx);
    benchmark::DoNotOptimize(r);
  }
  gcry_mpi_point_release(r);
  gcry_mpi_point_release(p);
  gcry_mpi_point_release(g);
  gcry_mpi_release(k);
  gcry_mpi_release(k5);
  gcry_ctx_release(ctx);
}
#endif

#if defined(VRT_HAVE_OPENSSL)
// The curve as an OpenSSL prime-field group; b computed from the base point.
template <int N>
struct OsslCurve {
  BN_CTX* bn = BN_CTX_new();
  EC_GROUP* group = nullptr;
  EC_POINT* g = nullptr;
  static BIGNUM* Bn(const Int<N>& v) {
    uint8_t be[N / 8];
    v.to_be_bytes(be, sizeof be);
    return BN_bin2bn(be, sizeof be, nullptr);
  }
  explicit OsslCurve(bool precompute) {
    auto& c = Curve<N>::get();
    BIGNUM *p = Bn(c.params.p), *a = Bn(c.params.a), *q = Bn(c.params.q), *h = Bn(c.params.cofactor);
    BIGNUM *x = Bn(vrt::ec::record_number<N>(c.rec->x)), *y = Bn(vrt::ec::record_number<N>(c.rec->y));
    BIGNUM *b = BN_new(), *t = BN_new();
    BN_mod_sqr(b, y, p, bn);  // b = y^2 - x^3 - a x
    BN_mod_sqr(t, x, p, bn);
    BN_mod_mul(t, t, x, p, bn);
    BN_mod_sub(b, b, t, p, bn);
    BN_mod_mul(t, a, x, p, bn);
    BN_mod_sub(b, b, t, p, bn);
    group = EC_GROUP_new_curve_GFp(p, a, b, bn);
    g = EC_POINT_new(group);
    EC_POINT_set_affine_coordinates(group, g, x, y, bn);
    EC_GROUP_set_generator(group, g, q, h);
    if (precompute) EC_GROUP_precompute_mult(group, bn);
    for (BIGNUM* v : {p, a, q, h, x, y, b, t}) BN_free(v);
  }
  ~OsslCurve() {
    EC_POINT_free(g);
    EC_GROUP_free(group);
    BN_CTX_free(bn);
  }
};

template <int N>
void OpensslMul(benchmark::State& state, bool base) {
  auto& c = Curve<N>::get();
  OsslCurve<N> oc(base);
  BIGNUM* k5 = OsslCurve<N>::Bn(Below<N>(c.params.q, 5));
  BIGNUM* k = OsslCurve<N>::Bn(Below<N>(c.params.q, base ? 7 : 6));
  EC_POINT* p = EC_POINT_new(oc.group);
  EC_POINT_mul(oc.group, p, nullptr, oc.g, k5, oc.bn);
  EC_POINT* r = EC_POINT_new(oc.group);
  for (auto _ : state) {
    int ok = base ? EC_POINT_mul(oc.group, r, k, nullptr, nullptr, oc.bn)
                  : EC_POINT_mul(oc.group, r, nullptr, p, k, oc.bn);
    if (!ok) state.SkipWithError("EC_POINT_mul failed");
    benchmark::DoNotOptimize(r);
  }
  EC_POINT_free(r);
  EC_POINT_free(p);
  BN_free(k);
  BN_free(k5);
}
#endif

template <int N>
void RegisterWidth() {
  const std::string n = std::to_string(N);
  auto reg = [](const std::string& name, auto fn) { return benchmark::RegisterBenchmark(name.c_str(), fn); };
  reg("field_mul/vrt/" + n, [](benchmark::State& s) { FieldMul<N>(s, true); });
  reg("field_mul_bmi2/vrt/" + n, [](benchmark::State& s) { FieldMul<N>(s, true, false); });
  reg("field_mul_portable/vrt/" + n, [](benchmark::State& s) { FieldMul<N>(s, false); });
  reg("field_mul_generic/vrt/" + n, [](benchmark::State& s) { FieldMulGeneric<N>(s); });
  reg("field_mul_special/vrt/" + n, [](benchmark::State& s) { FieldMulSpecial<N>(s, false, false); });
  reg("field_sqr_special/vrt/" + n, [](benchmark::State& s) { FieldMulSpecial<N>(s, true, false); });
  reg("field_mul_special_plus/vrt/" + n, [](benchmark::State& s) { FieldMulSpecial<N>(s, false, true); });
  reg("field_sqr_special_plus/vrt/" + n, [](benchmark::State& s) { FieldMulSpecial<N>(s, true, true); });
  const std::string mulx = N == 256 ? "mulx_x32" : "mulx_x128";
  reg(mulx + "/floor/" + n, [](benchmark::State& s) { MulxFloor<N>(s); });
  reg(mulx + "/vrt/" + n, [](benchmark::State& s) { FieldMulSpecialThroughput<N>(s, false); });
  reg(mulx + "_sqr/vrt/" + n, [](benchmark::State& s) { FieldMulSpecialThroughput<N>(s, true); });
  reg(mulx + "_sqr/floor/" + n, [](benchmark::State& s) { MulxFloor<N>(s); });
  reg("field_inv/vrt/" + n, [](benchmark::State& s) { FieldInv<N>(s, true); });
  reg("field_inv_portable/vrt/" + n, [](benchmark::State& s) { FieldInv<N>(s, false); });
  reg("field_inv_ct/vrt/" + n, [](benchmark::State& s) { FieldInvCt<N>(s); });
  reg("legendre/vrt/" + n, [](benchmark::State& s) { Legendre<N>(s); });
  reg("to_mont/vrt/" + n, [](benchmark::State& s) { ToMont<N>(s); });
  reg("mul_point/vrt/" + n, [](benchmark::State& s) { MulPoint<N>(s, true); })->Unit(benchmark::kMicrosecond);
  reg("mul_point_portable/vrt/" + n, [](benchmark::State& s) { MulPoint<N>(s, false); })
      ->Unit(benchmark::kMicrosecond);
  reg("mul_point_wnaf/vrt/" + n, [](benchmark::State& s) { MulPointWnaf<N>(s); })->Unit(benchmark::kMicrosecond);
  reg("fixed_base/vrt/" + n, [](benchmark::State& s) { FixedBase<N>(s); })->Unit(benchmark::kMicrosecond);
  reg(std::string(N == 256 ? "table_gen_w16" : "table_gen_w8") + "/vrt/" + n,
      [](benchmark::State& s) { TableGen<N>(s); })
      ->Unit(benchmark::kMillisecond)
      ->Iterations(N == 256 ? 3 : 20);
#if defined(VRT_HAVE_GMP)
  reg("field_mul/gmp/" + n, [](benchmark::State& s) { GmpMul<N>(s); });
  reg("field_mul_generic/gmp/" + n, [](benchmark::State& s) { GmpMul<N>(s); });
  reg("field_mul_special/gmp/" + n, [](benchmark::State& s) { GmpMul<N>(s); });
  reg("field_sqr_special/gmp/" + n, [](benchmark::State& s) { GmpSqr<N>(s); });
  reg("field_inv/gmp/" + n, [](benchmark::State& s) { GmpInv<N>(s); });
  reg("field_inv/gmp-powm/" + n, [](benchmark::State& s) { GmpPowmInv<N>(s); });
  reg("legendre/gmp/" + n, [](benchmark::State& s) { GmpJacobi<N>(s); });
  reg("field_inv_ct/gmp/" + n, [](benchmark::State& s) { GmpInv<N>(s); });
  reg("field_inv_ct/gmp-sec/" + n, [](benchmark::State& s) { GmpSecInv<N>(s); });
  reg("to_mont/gmp/" + n, [](benchmark::State& s) { GmpToMont<N>(s); });
#endif
#if defined(VRT_HAVE_GCRYPT)
  reg("mul_point/gcrypt/" + n, [](benchmark::State& s) { GcryptMul<N>(s, false); })->Unit(benchmark::kMicrosecond);
  reg("fixed_base/gcrypt/" + n, [](benchmark::State& s) { GcryptMul<N>(s, true); })->Unit(benchmark::kMicrosecond);
#endif
#if defined(VRT_HAVE_OPENSSL)
  reg("mul_point/openssl/" + n, [](benchmark::State& s) { OpensslMul<N>(s, false); })
      ->Unit(benchmark::kMicrosecond);
  reg("fixed_base/openssl/" + n, [](benchmark::State& s) { OpensslMul<N>(s, true); })
      ->Unit(benchmark::kMicrosecond);
#endif
}

const int kRegistered = (RegisterWidth<256>(), RegisterWidth<512>(), 0);

}  // namespace

VRT_BENCH_MAIN()
