// GOST R 34.10-2012 signatures and VKO per second through the signer
// handles, beside the OpenSSL GOST engine, libgcrypt and Nettle on the same
// curves: CryptoPro A and TC26 256-bit A (256 bits), TC26 512-bit A.
//
// "sign", "verify" and "vko" are ours as a default handle works (constant-
// time signing and VKO over the shared per-curve tables); "keygen" a fresh
// handle that imports a masked key and creates and exports its public key;
// "first_verify" a fresh handle that imports a public key and verifies one
// signature (beside the peers' steady verification); "verify_key_table"
// with the opt-in table of the public key; "sign_tables"/"verify_tables"
// with both opt-in 80 MiB tables (signing with them is not constant-time);
// "sign_fallback"/"verify_fallback" the reference signer; "signer_init"
// handle creation with the opt-in signing table; "rss_per_handle" the
// resident memory of a keyed handle; "init_run_tests" library start-up with
// the self-tests. Our
// signing draws each nonce from the library's generator inside the loop,
// as a caller would; the peers draw theirs internally. VKO is the shared
// point (the OpenSSL engine also hashes it, about a microsecond).
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "bench_util.h"
#include "keys/internal.h"
#include "pubkey/ec/curve.h"
#include "pubkey/signer/signer.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/ec.h>
#include <openssl/engine.h>
#include <openssl/evp.h>
#endif
#if defined(VRT_HAVE_GCRYPT)
#include <gcrypt.h>
#endif
#if defined(VRT_HAVE_NETTLE)
#include <gmp.h>
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#endif

namespace {

using Bytes = std::vector<uint8_t>;

struct Curve {
  const char* label;  // size field of the benchmark names
  Parameter set;
  const char* engine_paramset;
  const char* gcrypt_name;
  bool nettle;
};

const Curve kCurves[] = {
    {"cryptopro-a-256", VRT_PARAM_CRYPTOPRO_A, "A", "GOST2001-CryptoPro-A", true},
    {"tc26-a-256", VRT_PARAM_TC26_256_A, "TCA", "GOST2012-256-A", false},
    {"tc26-a-512", VRT_PARAM_TC26_512_A, "A", "GOST2012-512-tc26-A", true},
};

size_t KeyBytes(Parameter set) { return vrt::ec::parameter_bits(set) / 8; }

// A fixed pseudo-random byte string.
Bytes Pattern(size_t n, uint64_t seed) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 6364136223846793005ull + 1442695040888963407ull;
    b[i] = static_cast<uint8_t>(seed >> 56);
  }
  return b;
}

// A number below q: the pattern shortened to q's length, then halved until
// it fits.
Bytes Scalar(Parameter set, uint64_t seed) {
  const size_t L = KeyBytes(set);
  const sign2012_par_t* rec = vrt::ec::parameter_record(set);
  Bytes b = Pattern(L, seed);
  b[L - 1] &= rec->q[L - 1];
  while (b[L - 1] >= rec->q[L - 1] && b[L - 1] != 0) b[L - 1] >>= 1;
  return b;
}

void SeedGenerator() {
  static const bool seeded = [] {
    random_seed_t seed{};
    Bytes s = Pattern(sizeof seed, 99);
    std::memcpy(&seed, s.data(), sizeof seed);
    return random_set_custom_seed(nullptr, &seed, nullptr) == VRT_SUCCESS;
  }();
  (void)seeded;
}

// A fresh nonce below q from the main generator: random bytes with the top
// byte cut to q's length, drawn again when still too large.
void DrawNonce(Parameter set, uint8_t* k) {
  const size_t L = KeyBytes(set);
  const sign2012_par_t* rec = vrt::ec::parameter_record(set);
  uint8_t top = rec->q[L - 1];
  uint8_t mask = 0xff;
  while ((mask >> 1) >= top && mask != 0) mask >>= 1;
  for (;;) {
    random_generate(nullptr, k, L, nullptr, nullptr);
    k[L - 1] &= mask;
    vrt::math::Int<512> kv = vrt::math::Int<512>::from_le_bytes(k, L), q = vrt::ec::record_number<512>(rec->q);
    if (!kv.is_zero() && kv < q) return;
  }
}

// Sets the table switches for the creation of one handle.
class Tables {
 public:
  explicit Tables(bool on) : sign_(vrt::flags::precomp_sign), verify_(vrt::flags::precomp_verify) {
    vrt::flags::precomp_sign = on;
    vrt::flags::precomp_verify = on;
  }
  ~Tables() {
    vrt::flags::precomp_sign = sign_;
    vrt::flags::precomp_verify = verify_;
  }

 private:
  bool sign_, verify_;
};

enum class Kind { kTables, kNoTables, kFallback };

// A handle with a key pair, made outside the timed loops.
struct Keyed {
  SignerHandle* h = nullptr;
  Bytes d, pub;
  Keyed(Parameter set, Kind kind) : d(Scalar(set, 7)) {
    Tables t(kind == Kind::kTables);
    const bool build = vrt::flags::supported_build;
    vrt::flags::supported_build = kind != Kind::kFallback;
    vrtSignerInit(&h, set);
    vrt::flags::supported_build = build;
    genkey_t key{};
    genkey_alloc(&key, d.size(), 0);
    std::memcpy(key.key.data, d.data(), d.size());
    vrtSignerImportSecretKey(h, &key);
    genkey_free(&key);
    vrtSignerCreatePublicKey(h);
    pub.resize(2 * d.size());
    vrtSignerExportPublicKey(h, pub.data());
  }
  ~Keyed() { vrtSignerRelease(h); }
};

Keyed& Cached(Parameter set, Kind kind) {
  static std::vector<std::unique_ptr<Keyed>> cache[3][VRT_PARAM_COUNT];
  auto& slot = cache[static_cast<int>(kind)][set];
  if (slot.empty()) slot.push_back(std::make_unique<Keyed>(set, kind));
  return *slot[0];
}

void Sign(benchmark::State& state, Parameter set, Kind kind) {
  SeedGenerator();
  Keyed& k = Cached(set, kind);
  const size_t L = KeyBytes(set);
  const Bytes digest = Pattern(L, 3);
  uint8_t nonce[64], sig[128];
  for (auto _ : state) {
    DrawNonce(set, nonce);
    if (vrtSignerSign(k.h, digest.data(), nonce, sig) != VRT_SUCCESS) return state.SkipWithError("sign failed");
    benchmark::DoNotOptimize(sig);
  }
}

void Verify(benchmark::State& state, Parameter set, Kind kind) {
  SeedGenerator();
  Keyed& k = Cached(set, kind);
  const size_t L = KeyBytes(set);
  const Bytes digest = Pattern(L, 3);
  uint8_t nonce[64], sig[128];
  DrawNonce(set, nonce);
  vrtSignerSign(Cached(set, Kind::kNoTables).h, digest.data(), nonce, sig);
  // The verifying handle holds only the public key, and its table.
  SignerHandle* v = nullptr;
  {
    Tables t(kind == Kind::kTables);
    const bool build = vrt::flags::supported_build;
    vrt::flags::supported_build = kind != Kind::kFallback;
    vrtSignerInit(&v, set);
    vrt::flags::supported_build = build;
    vrtSignerImportPublicKey(v, Cached(set, Kind::kNoTables).pub.data());
  }
  for (auto _ : state) {
    if (vrtSignerVerify(v, digest.data(), sig) != VRT_SUCCESS) return state.SkipWithError("verify failed");
  }
  vrtSignerRelease(v);
}

void Vko(benchmark::State& state, Parameter set) {
  Keyed& k = Cached(set, Kind::kNoTables);
  const size_t L = KeyBytes(set);
  const Bytes other = Scalar(set, 11);
  SignerHandle* p = nullptr;
  {
    Tables t(false);
    vrtSignerInit(&p, set);
    genkey_t key{};
    genkey_alloc(&key, L, 0);
    std::memcpy(key.key.data, other.data(), L);
    vrtSignerImportSecretKey(p, &key);
    genkey_free(&key);
    vrtSignerCreatePublicKey(p);
  }
  Bytes peer_pub(2 * L);
  vrtSignerExportPublicKey(p, peer_pub.data());
  vrtSignerRelease(p);
  Bytes ukm(L, 0);
  const Bytes u = Pattern(8, 5);
  std::memcpy(ukm.data(), u.data(), 8);
  uint8_t out[128];
  for (auto _ : state) {
    if (vrtSignerGenerateVKO(k.h, ukm.data(), peer_pub.data(), out) != VRT_SUCCESS)
      return state.SkipWithError("VKO failed");
    benchmark::DoNotOptimize(out);
  }
}

// What a caller making a key pair does: a fresh handle, the masked secret
// imported, the public key created and exported, the handle released.
void KeyGen(benchmark::State& state, Parameter set) {
  const size_t L = KeyBytes(set);
  const Bytes d = Scalar(set, 17);
  genkey_t key{};
  genkey_alloc(&key, L, GOST89_KEY_XOR);
  Bytes mask = Pattern(L, 23);
  binstr_t pd, pm;
  __binstr_init(&pd, const_cast<uint8_t*>(d.data()), L);
  __binstr_init(&pm, mask.data(), L);
  genkey_load(&key, &pd, &pm);
  genkey_mask(&key);
  uint8_t pub[128];
  for (auto _ : state) {
    SignerHandle* h = nullptr;
    if (vrtSignerInit(&h, set) != VRT_SUCCESS || vrtSignerImportSecretKey(h, &key) != VRT_SUCCESS ||
        vrtSignerCreatePublicKey(h) != VRT_SUCCESS || vrtSignerExportPublicKey(h, pub) != VRT_SUCCESS)
      return state.SkipWithError("key generation failed");
    vrtSignerRelease(h);
    benchmark::DoNotOptimize(pub);
  }
  genkey_free(&key);
}

// A verifier that has only the signer's public key (a certificate): a fresh
// handle, the key imported, one signature verified, the handle released.
void FirstVerify(benchmark::State& state, Parameter set) {
  SeedGenerator();
  Keyed& k = Cached(set, Kind::kNoTables);
  const size_t L = KeyBytes(set);
  const Bytes digest = Pattern(L, 3);
  uint8_t nonce[64], sig[128];
  DrawNonce(set, nonce);
  vrtSignerSign(k.h, digest.data(), nonce, sig);
  for (auto _ : state) {
    SignerHandle* h = nullptr;
    if (vrtSignerInit(&h, set) != VRT_SUCCESS || vrtSignerImportPublicKey(h, k.pub.data()) != VRT_SUCCESS ||
        vrtSignerVerify(h, digest.data(), sig) != VRT_SUCCESS)
      return state.SkipWithError("verify failed");
    vrtSignerRelease(h);
  }
}

// Verification with the opt-in table of the public key only.
void VerifyKeyTable(benchmark::State& state, Parameter set) {
  SeedGenerator();
  Keyed& k = Cached(set, Kind::kNoTables);
  const size_t L = KeyBytes(set);
  const Bytes digest = Pattern(L, 3);
  uint8_t nonce[64], sig[128];
  DrawNonce(set, nonce);
  vrtSignerSign(k.h, digest.data(), nonce, sig);
  SignerHandle* v = nullptr;
  vrtSignerInit(&v, set);
  vrtSignerImportPublicKey(v, k.pub.data());
  if (vrtSignerPrecomputeVerify(v) != VRT_SUCCESS) return state.SkipWithError("no table");
  for (auto _ : state) {
    if (vrtSignerVerify(v, digest.data(), sig) != VRT_SUCCESS) return state.SkipWithError("verify failed");
  }
  vrtSignerRelease(v);
}

long RssKib() {
  FILE* f = std::fopen("/proc/self/statm", "r");
  long size = 0, rss = 0;
  if (f != nullptr) {
    if (std::fscanf(f, "%ld %ld", &size, &rss) != 2) rss = 0;
    std::fclose(f);
  }
  return rss * 4;
}

// The memory a handle with a key pair holds beyond the shared tables: RSS
// growth over 200 handles that signed once, per handle.
void RssPerHandle(benchmark::State& state, Parameter set) {
  SeedGenerator();
  const size_t L = KeyBytes(set);
  const Bytes d = Scalar(set, 29), digest = Pattern(L, 3);
  uint8_t nonce[64], sig[128];
  Cached(set, Kind::kNoTables);  // the shared tables exist
  double per = 0;
  for (auto _ : state) {
    std::vector<SignerHandle*> hs(200, nullptr);
    const long before = RssKib();
    for (auto& h : hs) {
      vrtSignerInit(&h, set);
      genkey_t key{};
      genkey_alloc(&key, L, 0);
      std::memcpy(key.key.data, d.data(), L);
      vrtSignerImportSecretKey(h, &key);
      genkey_free(&key);
      vrtSignerCreatePublicKey(h);
      DrawNonce(set, nonce);
      vrtSignerSign(h, digest.data(), nonce, sig);
    }
    per = static_cast<double>(RssKib() - before) / static_cast<double>(hs.size());
    for (auto h : hs) vrtSignerRelease(h);
  }
  state.counters["rss_kib_per_handle"] = per;
}

// Library start-up with the self-tests (after a clean-up).
void InitRunTests(benchmark::State& state) {
  for (auto _ : state) {
    vrtCleanup();
    if (vrtInitRunTests() != VRT_SUCCESS) return state.SkipWithError("self-test failed");
  }
}

void Init(benchmark::State& state, Parameter set, bool tables) {
  for (auto _ : state) {
    Tables t(tables);
    SignerHandle* h = nullptr;
    if (vrtSignerInit(&h, set) != VRT_SUCCESS) return state.SkipWithError("init failed");
    benchmark::DoNotOptimize(h);
    vrtSignerRelease(h);
  }
}

// ---- OpenSSL GOST engine ----

#if defined(VRT_HAVE_OPENSSL)
ENGINE* GostEngine() {
  static ENGINE* e = [] {
    ENGINE_load_builtin_engines();
    ENGINE* eng = ENGINE_by_id("gost");
    if (eng != nullptr && ENGINE_init(eng) == 1) {
      ENGINE_register_pkey_asn1_meths(eng);
      ENGINE_register_pkey_meths(eng);
      return eng;
    }
    return static_cast<ENGINE*>(nullptr);
  }();
  return e;
}

BIGNUM* BnLE(const uint8_t* le, size_t n) {
  Bytes be(le, le + n);
  std::reverse(be.begin(), be.end());
  return BN_bin2bn(be.data(), static_cast<int>(n), nullptr);
}

// An engine key with our key pair (d may be null for a public key only).
EVP_PKEY* EngineKey(const Curve& c, const uint8_t* d, const Bytes& pub) {
  const size_t L = KeyBytes(c.set);
  EVP_PKEY_CTX* kc = EVP_PKEY_CTX_new_id(L == 32 ? NID_id_GostR3410_2012_256 : NID_id_GostR3410_2012_512,
                                         GostEngine());
  EVP_PKEY* key = nullptr;
  if (kc == nullptr || EVP_PKEY_keygen_init(kc) != 1 || EVP_PKEY_CTX_ctrl_str(kc, "paramset", c.engine_paramset) <= 0 ||
      EVP_PKEY_keygen(kc, &key) != 1) {
    EVP_PKEY_CTX_free(kc);
    return nullptr;
  }
  EVP_PKEY_CTX_free(kc);
  EC_KEY* ec = static_cast<EC_KEY*>(EVP_PKEY_get0(key));
  const EC_GROUP* g = EC_KEY_get0_group(ec);
  BIGNUM *x = BnLE(pub.data(), L), *y = BnLE(pub.data() + L, L);
  EC_POINT* q = EC_POINT_new(g);
  EC_POINT_set_affine_coordinates(g, q, x, y, nullptr);
  EC_KEY_set_public_key(ec, q);
  if (d != nullptr) {
    BIGNUM* bd = BnLE(d, L);
    EC_KEY_set_private_key(ec, bd);
    BN_free(bd);
  }
  EC_POINT_free(q);
  BN_free(x);
  BN_free(y);
  return key;
}

void OsslSign(benchmark::State& state, const Curve& c, bool verify) {
  if (GostEngine() == nullptr) return state.SkipWithError("no gost engine");
  Keyed& k = Cached(c.set, Kind::kNoTables);
  const size_t L = KeyBytes(c.set);
  EVP_PKEY* key = EngineKey(c, k.d.data(), k.pub);
  if (key == nullptr) return state.SkipWithError("engine key");
  EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(key, GostEngine());
  const Bytes digest = Pattern(L, 3);
  uint8_t sig[128];
  size_t len = 2 * L;
  EVP_PKEY_sign_init(ctx);
  EVP_PKEY_sign(ctx, sig, &len, digest.data(), L);
  if (verify) EVP_PKEY_verify_init(ctx);
  for (auto _ : state) {
    int ok;
    if (verify) {
      ok = EVP_PKEY_verify(ctx, sig, 2 * L, digest.data(), L);
    } else {
      len = 2 * L;
      ok = EVP_PKEY_sign(ctx, sig, &len, digest.data(), L);
    }
    if (ok != 1) return state.SkipWithError("engine failed");
  }
  EVP_PKEY_CTX_free(ctx);
  EVP_PKEY_free(key);
}

// A key pair as the engine makes it: keygen with the parameter set, the
// public key written out.
void OsslKeyGen(benchmark::State& state, const Curve& c) {
  if (GostEngine() == nullptr) return state.SkipWithError("no gost engine");
  const size_t L = KeyBytes(c.set);
  for (auto _ : state) {
    EVP_PKEY_CTX* kc = EVP_PKEY_CTX_new_id(L == 32 ? NID_id_GostR3410_2012_256 : NID_id_GostR3410_2012_512,
                                           GostEngine());
    EVP_PKEY* key = nullptr;
    if (kc == nullptr || EVP_PKEY_keygen_init(kc) != 1 ||
        EVP_PKEY_CTX_ctrl_str(kc, "paramset", c.engine_paramset) <= 0 || EVP_PKEY_keygen(kc, &key) != 1)
      return state.SkipWithError("keygen failed");
    const EC_KEY* ec = static_cast<const EC_KEY*>(EVP_PKEY_get0(key));
    uint8_t out[2 * 64 + 1];
    EC_POINT_point2oct(EC_KEY_get0_group(ec), EC_KEY_get0_public_key(ec), POINT_CONVERSION_UNCOMPRESSED, out,
                       sizeof out, nullptr);
    benchmark::DoNotOptimize(out);
    EVP_PKEY_free(key);
    EVP_PKEY_CTX_free(kc);
  }
}

void OsslVko(benchmark::State& state, const Curve& c) {
  if (GostEngine() == nullptr) return state.SkipWithError("no gost engine");
  Keyed& k = Cached(c.set, Kind::kNoTables);
  EVP_PKEY* mine = EngineKey(c, k.d.data(), k.pub);
  Keyed peer(c.set, Kind::kNoTables);
  EVP_PKEY* theirs = EngineKey(c, nullptr, peer.pub);
  const Bytes ukm = Pattern(8, 5);
  uint8_t out[64];
  for (auto _ : state) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(mine, GostEngine());
    size_t len = sizeof out;
    if (EVP_PKEY_derive_init(ctx) != 1 || EVP_PKEY_derive_set_peer(ctx, theirs) != 1 ||
        EVP_PKEY_CTX_ctrl(ctx, -1, EVP_PKEY_OP_DERIVE, EVP_PKEY_CTRL_SET_IV, 8, const_cast<uint8_t*>(ukm.data())) !=
            1 ||
        EVP_PKEY_derive(ctx, out, &len) != 1)
      return state.SkipWithError("derive failed");
    EVP_PKEY_CTX_free(ctx);
    benchmark::DoNotOptimize(out);
  }
  EVP_PKEY_free(mine);
  EVP_PKEY_free(theirs);
}
#endif

// ---- libgcrypt ----

#if defined(VRT_HAVE_GCRYPT)
void GcryptSign(benchmark::State& state, const Curve& c, bool verify) {
  gcry_check_version(nullptr);
  Keyed& k = Cached(c.set, Kind::kNoTables);
  const size_t L = KeyBytes(c.set);
  Bytes dbe(k.d.rbegin(), k.d.rend());
  Bytes point = {0x04};  // 04 || x || y, big-endian
  for (size_t i = 0; i < L; ++i) point.push_back(k.pub[L - 1 - i]);
  for (size_t i = 0; i < L; ++i) point.push_back(k.pub[2 * L - 1 - i]);
  gcry_sexp_t priv = nullptr, pub = nullptr, data = nullptr, sig = nullptr;
  gcry_sexp_build(&priv, nullptr, "(private-key(ecc(curve %s)(flags gost)(d %b)))", c.gcrypt_name,
                  static_cast<int>(L), dbe.data());
  gcry_sexp_build(&pub, nullptr, "(public-key(ecc(curve %s)(flags gost)(q %b)))", c.gcrypt_name,
                  static_cast<int>(point.size()), point.data());
  const Bytes digest = Pattern(L, 3);
  Bytes be(digest.rbegin(), digest.rend());
  gcry_sexp_build(&data, nullptr, "(data(flags gost)(value %b))", static_cast<int>(L), be.data());
  if (gcry_pk_sign(&sig, data, priv) != 0) return state.SkipWithError("gcrypt sign failed");
  for (auto _ : state) {
    if (verify) {
      if (gcry_pk_verify(sig, data, pub) != 0) return state.SkipWithError("gcrypt verify failed");
    } else {
      gcry_sexp_t s = nullptr;
      if (gcry_pk_sign(&s, data, priv) != 0) return state.SkipWithError("gcrypt sign failed");
      gcry_sexp_release(s);
    }
  }
  for (gcry_sexp_t x : {priv, pub, data, sig}) gcry_sexp_release(x);
}

// The VKO point multiplication: d*u*P with libgcrypt's point arithmetic.
void GcryptVko(benchmark::State& state, const Curve& c) {
  gcry_check_version(nullptr);
  gcry_ctx_t ctx = nullptr;
  if (gcry_mpi_ec_new(&ctx, nullptr, c.gcrypt_name) != 0) return state.SkipWithError("no curve");
  const size_t L = KeyBytes(c.set);
  Keyed peer(c.set, Kind::kNoTables);
  Bytes xbe(peer.pub.rend() - L, peer.pub.rend()), ybe(peer.pub.rbegin(), peer.pub.rbegin() + L);
  gcry_mpi_t x = nullptr, y = nullptr, k = nullptr;
  gcry_mpi_scan(&x, GCRYMPI_FMT_USG, xbe.data(), L, nullptr);
  gcry_mpi_scan(&y, GCRYMPI_FMT_USG, ybe.data(), L, nullptr);
  Bytes kb = Scalar(c.set, 13);
  std::reverse(kb.begin(), kb.end());
  gcry_mpi_scan(&k, GCRYMPI_FMT_USG, kb.data(), L, nullptr);
  gcry_mpi_point_t p = gcry_mpi_point_new(0), r = gcry_mpi_point_new(0);
  gcry_mpi_point_set(p, x, y, GCRYMPI_CONST_ONE);
  gcry_mpi_t ax = gcry_mpi_new(0), ay = gcry_mpi_new(0);
  for (auto _ : state) {
    gcry_mpi_ec_mul(r, k, p, ctx);
    gcry_mpi_ec_get_affine(ax, ay, r, ctx);
  }
  for (gcry_mpi_t v : {x, y, k, ax, ay}) gcry_mpi_release(v);
  gcry_mpi_point_release(p);
  gcry_mpi_point_release(r);
  gcry_ctx_release(ctx);
}
#endif

// ---- Nettle ----

#if defined(VRT_HAVE_NETTLE)
const ecc_curve* NettleCurve(Parameter set) {
  return set == VRT_PARAM_CRYPTOPRO_A ? nettle_get_gost_gc256b() : nettle_get_gost_gc512a();
}

void MpzLE(mpz_t r, const uint8_t* le, size_t n) {
  mpz_init(r);
  mpz_import(r, n, -1, 1, 0, 0, le);
}

void NettleRandom(void*, size_t n, uint8_t* out) { random_generate(nullptr, out, n, nullptr, nullptr); }

void NettleSign(benchmark::State& state, const Curve& c, bool verify) {
  SeedGenerator();
  Keyed& k = Cached(c.set, Kind::kNoTables);
  const size_t L = KeyBytes(c.set);
  const ecc_curve* curve = NettleCurve(c.set);
  ecc_scalar key;
  ecc_point pub;
  ecc_scalar_init(&key, curve);
  ecc_point_init(&pub, curve);
  mpz_t d, x, y;
  MpzLE(d, k.d.data(), L);
  MpzLE(x, k.pub.data(), L);
  MpzLE(y, k.pub.data() + L, L);
  ecc_scalar_set(&key, d);
  ecc_point_set(&pub, x, y);
  dsa_signature sig;
  dsa_signature_init(&sig);
  const Bytes digest = Pattern(L, 3);
  gostdsa_sign(&key, nullptr, NettleRandom, L, digest.data(), &sig);
  for (auto _ : state) {
    if (verify) {
      if (gostdsa_verify(&pub, L, digest.data(), &sig) != 1) return state.SkipWithError("nettle verify failed");
    } else {
      gostdsa_sign(&key, nullptr, NettleRandom, L, digest.data(), &sig);
    }
  }
  dsa_signature_clear(&sig);
  ecc_scalar_clear(&key);
  ecc_point_clear(&pub);
  mpz_clears(d, x, y, nullptr);
}

void NettleVko(benchmark::State& state, const Curve& c) {
  Keyed& k = Cached(c.set, Kind::kNoTables);
  const size_t L = KeyBytes(c.set);
  const ecc_curve* curve = NettleCurve(c.set);
  Keyed peer(c.set, Kind::kNoTables);
  ecc_scalar key;
  ecc_point pub;
  ecc_scalar_init(&key, curve);
  ecc_point_init(&pub, curve);
  mpz_t d, x, y;
  MpzLE(d, k.d.data(), L);
  MpzLE(x, peer.pub.data(), L);
  MpzLE(y, peer.pub.data() + L, L);
  ecc_scalar_set(&key, d);
  ecc_point_set(&pub, x, y);
  Bytes ukm(L, 0);
  const Bytes u = Pattern(8, 5);
  std::memcpy(ukm.data(), u.data(), 8);
  uint8_t out[128];
  for (auto _ : state) {
    gostdsa_vko(&key, &pub, L, ukm.data(), out);
    benchmark::DoNotOptimize(out);
  }
  ecc_scalar_clear(&key);
  ecc_point_clear(&pub);
  mpz_clears(d, x, y, nullptr);
}
#endif

void RegisterAll() {
  auto reg = [](const std::string& name, auto fn) {
    return benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(benchmark::kMicrosecond);
  };
  for (const Curve& c : kCurves) {
    const std::string n = c.label;
    const Parameter set = c.set;
    reg("sign/vrt/" + n, [set](benchmark::State& s) { Sign(s, set, Kind::kNoTables); });
    reg("verify/vrt/" + n, [set](benchmark::State& s) { Verify(s, set, Kind::kNoTables); });
    reg("vko/vrt/" + n, [set](benchmark::State& s) { Vko(s, set); });
    reg("keygen/vrt/" + n, [set](benchmark::State& s) { KeyGen(s, set); });
    reg("first_verify/vrt/" + n, [set](benchmark::State& s) { FirstVerify(s, set); });
    reg("verify_key_table/vrt/" + n, [set](benchmark::State& s) { VerifyKeyTable(s, set); });
    reg("sign_tables/vrt/" + n, [set](benchmark::State& s) { Sign(s, set, Kind::kTables); });
    reg("verify_tables/vrt/" + n, [set](benchmark::State& s) { Verify(s, set, Kind::kTables); });
    reg("rss_per_handle/vrt/" + n, [set](benchmark::State& s) { RssPerHandle(s, set); })->Iterations(1);
    reg("sign_fallback/vrt/" + n, [set](benchmark::State& s) { Sign(s, set, Kind::kFallback); })
        ->MinTime(0.5);
    reg("verify_fallback/vrt/" + n, [set](benchmark::State& s) { Verify(s, set, Kind::kFallback); })
        ->MinTime(0.5);
    reg("signer_init/vrt/" + n, [set](benchmark::State& s) { Init(s, set, true); })
        ->Unit(benchmark::kMillisecond)
        ->Iterations(KeyBytes(set) == 32 ? 3 : 20);
    reg("signer_init_no_tables/vrt/" + n, [set](benchmark::State& s) { Init(s, set, false); });
#if defined(VRT_HAVE_OPENSSL)
    reg("sign/openssl-gost/" + n, [&c](benchmark::State& s) { OsslSign(s, c, false); });
    reg("verify/openssl-gost/" + n, [&c](benchmark::State& s) { OsslSign(s, c, true); });
    // First verification stands beside the peers' steady verification.
    reg("first_verify/openssl-gost/" + n, [&c](benchmark::State& s) { OsslSign(s, c, true); });
    reg("keygen/openssl-gost/" + n, [&c](benchmark::State& s) { OsslKeyGen(s, c); });
    reg("vko/openssl-gost/" + n, [&c](benchmark::State& s) { OsslVko(s, c); });
#endif
#if defined(VRT_HAVE_GCRYPT)
    reg("sign/gcrypt/" + n, [&c](benchmark::State& s) { GcryptSign(s, c, false); });
    reg("verify/gcrypt/" + n, [&c](benchmark::State& s) { GcryptSign(s, c, true); });
    reg("first_verify/gcrypt/" + n, [&c](benchmark::State& s) { GcryptSign(s, c, true); });
    reg("vko/gcrypt/" + n, [&c](benchmark::State& s) { GcryptVko(s, c); });
#endif
#if defined(VRT_HAVE_NETTLE)
    if (c.nettle) {
      reg("sign/nettle/" + n, [&c](benchmark::State& s) { NettleSign(s, c, false); });
      reg("verify/nettle/" + n, [&c](benchmark::State& s) { NettleSign(s, c, true); });
      reg("first_verify/nettle/" + n, [&c](benchmark::State& s) { NettleSign(s, c, true); });
      reg("vko/nettle/" + n, [&c](benchmark::State& s) { NettleVko(s, c); });
    }
#endif
  }
}

const int kRegistered = (RegisterAll(), 0);
// Last: it tears the library down and brings it up again.
const int kRegisteredInit = (benchmark::RegisterBenchmark("init_run_tests/vrt/all", InitRunTests)
                                 ->Unit(benchmark::kMillisecond)
                                 ->Iterations(5),
                             0);

}  // namespace

VRT_BENCH_MAIN()
