// Interoperability with other implementations, on every parameter set each
// one has: our signatures verify there and theirs here, and VKO gives the
// same key.
//
// How the peers' layouts map onto ours (digest little-endian, signature
// s || r each big-endian, public key x || y each little-endian):
// - OpenSSL GOST engine (EVP_PKEY gost2012_256 / gost2012_512 with the
//   paramset control): takes the digest bytes as we do (it reads them as a
//   little-endian number) and writes the signature exactly as we do,
//   s || r big-endian; its keys are EC_KEYs set from BIGNUMs, so our
//   little-endian numbers are reversed into them. EVP_PKEY_derive with an
//   8-byte UKM returns Streebog-256 of the shared point in our x || y
//   little-endian layout.
// - libgcrypt ((flags gost) ecc): the digest is an MPI, so it gets our
//   digest bytes reversed; the signature is (r, s) MPIs and the public key
//   the uncompressed point 04 || x || y, all big-endian.
// - Nettle gostdsa (CryptoPro A and TC26 512-bit A only): takes the digest
//   bytes as we do; the signature is (r, s) and the key (x, y) as GMP
//   numbers. gostdsa_vko writes the shared point as we do.
// - GMP: the textbook affine arithmetic of ec_test_util.h computes the VKO
//   point (UKM * cofactor * d mod q) * P on every set.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/file_test.h"
#include "pubkey/ec_test_util.h"
#include "pubkey/signer_test_util.h"

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
#include <nettle/ecc-curve.h>
#include <nettle/ecc.h>
#include <nettle/gostdsa.h>
#endif

namespace {

using namespace vrt::test;

// Random cases per set and direction; the reference signer takes part in
// one of them.
constexpr int kCases = 4;

struct Signed {
  Bytes digest, sig;
};

// A key pair of ours and some of its signatures, by either signer.
struct OurKey {
  Parameter set;
  Bytes d, pub;
  std::vector<Signed> sigs;
  explicit OurKey(Parameter which) : set(which), d(RandomScalar(which)) {
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      Handle h(set, impl);
      MaskedKey key(d);
      EXPECT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
      EXPECT_EQ(h.CreatePublic(), VRT_SUCCESS);
      pub = h.ExportPublic();
      for (int i = 0; i < (impl == Impl::kCxx ? kCases : 1); ++i) {
        Signed one;
        one.digest = RandomBytes(KeyBytes(set));
        EXPECT_EQ(h.Sign(one.digest, RandomScalar(set), &one.sig), VRT_SUCCESS);
        sigs.push_back(one);
      }
    }
  }
  Bytes X() const { return Bytes(pub.begin(), pub.begin() + pub.size() / 2); }
  Bytes Y() const { return Bytes(pub.begin() + pub.size() / 2, pub.end()); }
};

// Whether a signature made elsewhere verifies here: in the engine, and in
// the (slow) reference signer too when asked.
void ExpectVerifiesHere(Parameter set, const Bytes& pub, const Signed& s, bool reference) {
  for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
    if (impl == Impl::kFallback && !reference) break;
    Handle h(set, impl);
    ASSERT_EQ(h.ImportPublic(pub), VRT_SUCCESS) << ImplName(impl);
    EXPECT_EQ(h.Verify(s.digest, s.sig), VRT_SUCCESS) << ImplName(impl);
    Bytes bad = s.sig;
    bad[bad.size() - 1] ^= 1;
    EXPECT_EQ(h.Verify(s.digest, bad), VRT_ERROR_FAILED) << ImplName(impl);
  }
}

// The stored self-test cases on XchA and 512-bit B, as our data file holds
// them; the peers must accept them too.
struct StoredCase {
  Parameter set;
  Bytes pub;
  Signed s;
};
std::vector<StoredCase> StoredCases() {
  std::vector<StoredCase> v;
  vrt::test::FileTestRun("pubkey/sign2012.txt", [&](vrt::test::FileTest& t) {
    StoredCase c;
    c.set = static_cast<Parameter>(t.GetInt("Set"));
    t.GetText("D");
    t.GetText("K");
    c.s.digest = LE(t.GetText("E"));
    c.pub = Concat(LE(t.GetText("X")), LE(t.GetText("Y")));
    c.s.sig = Concat(FromHex(t.GetText("S")), FromHex(t.GetText("R")));
    v.push_back(c);
  });
  return v;
}

#if defined(VRT_HAVE_GMP)
Mpz MpzLE(const Bytes& le) {
  Mpz r;
  mpz_import(r, le.size(), -1, 1, 0, 0, le.data());
  return r;
}

#endif

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

// The engine's paramset names; it has no 512-bit test set.
const char* const kEngineParamset[VRT_PARAM_COUNT] = {"0",   "A",   "B",   "C",     "XA", "XB", "TCA",
                                                      "TCB", "TCC", "TCD", nullptr, "A",  "B",  "C"};

BIGNUM* BnLE(const Bytes& le) {
  Bytes be = Reversed(le);
  return BN_bin2bn(be.data(), static_cast<int>(be.size()), nullptr);
}

struct PkeyFree {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
using Pkey = std::unique_ptr<EVP_PKEY, PkeyFree>;

// An engine key of set: generated, then given our secret (if any) and
// public key.
Pkey EngineKey(Parameter set, const Bytes& d, const Bytes& pub) {
  const int nid = KeyBytes(set) == 32 ? NID_id_GostR3410_2012_256 : NID_id_GostR3410_2012_512;
  EVP_PKEY_CTX* kc = EVP_PKEY_CTX_new_id(nid, GostEngine());
  EVP_PKEY* raw = nullptr;
  if (kc == nullptr || EVP_PKEY_keygen_init(kc) != 1 ||
      EVP_PKEY_CTX_ctrl_str(kc, "paramset", kEngineParamset[set]) <= 0 || EVP_PKEY_keygen(kc, &raw) != 1) {
    ADD_FAILURE() << "engine key generation on " << SetName(set);
    EVP_PKEY_CTX_free(kc);
    return nullptr;
  }
  EVP_PKEY_CTX_free(kc);
  Pkey key(raw);
  EC_KEY* ec = static_cast<EC_KEY*>(EVP_PKEY_get0(raw));
  const EC_GROUP* group = EC_KEY_get0_group(ec);
  const size_t L = KeyBytes(set);
  BIGNUM* x = BnLE(Bytes(pub.begin(), pub.begin() + L));
  BIGNUM* y = BnLE(Bytes(pub.begin() + L, pub.end()));
  EC_POINT* q = EC_POINT_new(group);
  EXPECT_EQ(EC_POINT_set_affine_coordinates(group, q, x, y, nullptr), 1);
  EXPECT_EQ(EC_KEY_set_public_key(ec, q), 1);
  if (!d.empty()) {
    BIGNUM* bd = BnLE(d);
    EXPECT_EQ(EC_KEY_set_private_key(ec, bd), 1);
    BN_clear_free(bd);
  }
  EC_POINT_free(q);
  BN_free(x);
  BN_free(y);
  return key;
}

TEST(SignerPeers, OpensslGostEngine) {
  if (GostEngine() == nullptr) GTEST_SKIP() << "the OpenSSL gost engine is not available";
  for (Parameter set : AllSets()) {
    if (kEngineParamset[set] == nullptr) continue;
    SCOPED_TRACE(SetName(set));
    const size_t L = KeyBytes(set);
    // Ours, verified there.
    OurKey ours(set);
    Pkey pk = EngineKey(set, {}, ours.pub);
    ASSERT_NE(pk, nullptr);
    EVP_PKEY_CTX* vc = EVP_PKEY_CTX_new(pk.get(), GostEngine());
    ASSERT_EQ(EVP_PKEY_verify_init(vc), 1);
    for (const Signed& s : ours.sigs) {
      EXPECT_EQ(EVP_PKEY_verify(vc, s.sig.data(), s.sig.size(), s.digest.data(), L), 1);
      Bytes bad = s.sig;
      bad[3] ^= 0x40;
      EXPECT_NE(EVP_PKEY_verify(vc, bad.data(), bad.size(), s.digest.data(), L), 1);
    }
    EVP_PKEY_CTX_free(vc);
    // Theirs, verified here: the engine signs with our key.
    Pkey sk = EngineKey(set, ours.d, ours.pub);
    EVP_PKEY_CTX* sc = EVP_PKEY_CTX_new(sk.get(), GostEngine());
    ASSERT_EQ(EVP_PKEY_sign_init(sc), 1);
    for (int i = 0; i < kCases; ++i) {
      Signed s;
      s.digest = RandomBytes(L);
      s.sig.resize(2 * L);
      size_t len = s.sig.size();
      ASSERT_EQ(EVP_PKEY_sign(sc, s.sig.data(), &len, s.digest.data(), L), 1);
      ASSERT_EQ(len, 2 * L);
      ExpectVerifiesHere(set, ours.pub, s, i == 0);
    }
    EVP_PKEY_CTX_free(sc);
  }
  // The stored self-test cases verify there.
  for (const StoredCase& c : StoredCases()) {
    if (kEngineParamset[c.set] == nullptr) continue;
    Pkey pk = EngineKey(c.set, {}, c.pub);
    EVP_PKEY_CTX* vc = EVP_PKEY_CTX_new(pk.get(), GostEngine());
    ASSERT_EQ(EVP_PKEY_verify_init(vc), 1);
    EXPECT_EQ(EVP_PKEY_verify(vc, c.s.sig.data(), c.s.sig.size(), c.s.digest.data(), c.s.digest.size()), 1)
        << SetName(c.set);
    EVP_PKEY_CTX_free(vc);
  }
}

// VKO: the engine derives Streebog-256 of the shared point for an 8-byte
// UKM; ours, zero-extended to L bytes, gives the same from both sides.
TEST(SignerPeers, OpensslGostEngineVko) {
  if (GostEngine() == nullptr) GTEST_SKIP() << "the OpenSSL gost engine is not available";
  for (Parameter set : AllSets()) {
    if (kEngineParamset[set] == nullptr) continue;
    SCOPED_TRACE(SetName(set));
    const size_t L = KeyBytes(set);
    const Bytes da = RandomScalar(set), db = RandomScalar(set);
    const Bytes qa = PublicKeyOf(set, da), qb = PublicKeyOf(set, db);
    Bytes ukm8 = RandomBytes(8);
    ukm8[7] |= 0x80;  // a full 8 bytes
    Pkey a = EngineKey(set, da, qa), b = EngineKey(set, {}, qb);
    EVP_PKEY_CTX* c = EVP_PKEY_CTX_new(a.get(), GostEngine());
    ASSERT_EQ(EVP_PKEY_derive_init(c), 1);
    ASSERT_EQ(EVP_PKEY_derive_set_peer(c, b.get()), 1);
    ASSERT_EQ(EVP_PKEY_CTX_ctrl(c, -1, EVP_PKEY_OP_DERIVE, EVP_PKEY_CTRL_SET_IV, 8, ukm8.data()), 1);
    Bytes theirs(64);
    size_t len = theirs.size();
    ASSERT_EQ(EVP_PKEY_derive(c, theirs.data(), &len), 1);
    theirs.resize(len);
    EVP_PKEY_CTX_free(c);
    ASSERT_EQ(len, 32u);
    Bytes ukm = ukm8;
    ukm.resize(L, 0);
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      Handle h(set, impl);
      MaskedKey key(db);
      ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
      Bytes point;
      ASSERT_EQ(h.Vko(ukm, qa, &point), VRT_SUCCESS);
      EXPECT_EQ(Hex(Streebog(point, 32)), Hex(theirs)) << ImplName(impl);
    }
  }
}
#endif

// ---- libgcrypt ----

#if defined(VRT_HAVE_GCRYPT)
const char* const kGcryptCurve[VRT_PARAM_COUNT] = {
    "GOST2001-test",       "GOST2001-CryptoPro-A", "GOST2001-CryptoPro-B", "GOST2001-CryptoPro-C",
    "1.2.643.2.2.36.0",    "1.2.643.2.2.36.1",     "GOST2012-256-A",       "1.2.643.7.1.2.1.1.2",
    "1.2.643.7.1.2.1.1.3", "1.2.643.7.1.2.1.1.4",  "GOST2012-512-test",    "GOST2012-512-tc26-A",
    "GOST2012-512-tc26-B", "GOST2012-512-tc26-C"};

struct Sexp {
  gcry_sexp_t s = nullptr;
  ~Sexp() { gcry_sexp_release(s); }
};

// (data (flags gost) (value ...)): the digest as a big-endian MPI.
void GcryptData(Sexp* out, const Bytes& digest) {
  Bytes be = Reversed(digest);
  ASSERT_EQ(gcry_sexp_build(&out->s, nullptr, "(data(flags gost)(value %b))", static_cast<int>(be.size()), be.data()),
            0u);
}

Bytes BEFromMpi(gcry_sexp_t sig, const char* name, size_t L) {
  gcry_sexp_t tok = gcry_sexp_find_token(sig, name, 0);
  EXPECT_NE(tok, nullptr) << name;
  gcry_mpi_t m = gcry_sexp_nth_mpi(tok, 1, GCRYMPI_FMT_USG);
  Bytes buf(L);
  size_t n = 0;
  EXPECT_EQ(gcry_mpi_print(GCRYMPI_FMT_USG, buf.data(), buf.size(), &n, m), 0u);
  Bytes be(L - n, 0);  // left-pad to L bytes
  be.insert(be.end(), buf.begin(), buf.begin() + n);
  gcry_mpi_release(m);
  gcry_sexp_release(tok);
  return be;
}

void GcryptPublic(Sexp* out, Parameter set, const Bytes& pub) {
  const size_t L = KeyBytes(set);
  Bytes point = {0x04};
  Bytes x = Reversed(Bytes(pub.begin(), pub.begin() + L)), y = Reversed(Bytes(pub.begin() + L, pub.end()));
  point.insert(point.end(), x.begin(), x.end());
  point.insert(point.end(), y.begin(), y.end());
  ASSERT_EQ(gcry_sexp_build(&out->s, nullptr, "(public-key(ecc(curve %s)(flags gost)(q %b)))", kGcryptCurve[set],
                            static_cast<int>(point.size()), point.data()),
            0u);
}

TEST(SignerPeers, Libgcrypt) {
  gcry_check_version(nullptr);
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set) + " " + kGcryptCurve[set]);
    const size_t L = KeyBytes(set);
    OurKey ours(set);
    Sexp pub;
    GcryptPublic(&pub, set, ours.pub);
    for (const Signed& s : ours.sigs) {
      Sexp data, sig;
      GcryptData(&data, s.digest);
      const Bytes sb(s.sig.begin(), s.sig.begin() + L), rb(s.sig.begin() + L, s.sig.end());
      ASSERT_EQ(gcry_sexp_build(&sig.s, nullptr, "(sig-val(gost(r %b)(s %b)))", static_cast<int>(L), rb.data(),
                                static_cast<int>(L), sb.data()),
                0u);
      EXPECT_EQ(gcry_pk_verify(sig.s, data.s, pub.s), 0u);
    }
    // Theirs, with our secret key.
    Sexp priv;
    Bytes dbe = Reversed(ours.d);
    ASSERT_EQ(gcry_sexp_build(&priv.s, nullptr, "(private-key(ecc(curve %s)(flags gost)(d %b)))",
                              kGcryptCurve[set], static_cast<int>(L), dbe.data()),
              0u);
    for (int i = 0; i < kCases; ++i) {
      Signed s;
      s.digest = RandomBytes(L);
      Sexp data, sig;
      GcryptData(&data, s.digest);
      ASSERT_EQ(gcry_pk_sign(&sig.s, data.s, priv.s), 0u);
      s.sig = Concat(BEFromMpi(sig.s, "s", L), BEFromMpi(sig.s, "r", L));
      ExpectVerifiesHere(set, ours.pub, s, i == 0);
    }
  }
  for (const StoredCase& c : StoredCases()) {
    const size_t L = KeyBytes(c.set);
    Sexp pub, data, sig;
    GcryptPublic(&pub, c.set, c.pub);
    GcryptData(&data, c.s.digest);
    ASSERT_EQ(gcry_sexp_build(&sig.s, nullptr, "(sig-val(gost(r %b)(s %b)))", static_cast<int>(L),
                              c.s.sig.data() + L, static_cast<int>(L), c.s.sig.data()),
              0u);
    EXPECT_EQ(gcry_pk_verify(sig.s, data.s, pub.s), 0u) << SetName(c.set);
  }
}
#endif

// ---- Nettle ----

#if defined(VRT_HAVE_NETTLE) && defined(VRT_HAVE_GMP)
const ecc_curve* NettleCurve(Parameter set) {
  switch (set) {
    case VRT_PARAM_CRYPTOPRO_A:
      return nettle_get_gost_gc256b();
    case VRT_PARAM_TC26_512_A:
      return nettle_get_gost_gc512a();
    default:
      return nullptr;
  }
}

Bytes BEFromMpz(mpz_srcptr v, size_t L) {
  Bytes be(L, 0);
  size_t n = (mpz_sizeinbase(v, 2) + 7) / 8;
  mpz_export(be.data() + (L - n), &n, 1, 1, 0, 0, v);
  return be;
}

void NettleRandom(void*, size_t n, uint8_t* out) {
  Bytes r = RandomBytes(n);
  std::memcpy(out, r.data(), n);
}

TEST(SignerPeers, Nettle) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_A}) {
    SCOPED_TRACE(SetName(set));
    const size_t L = KeyBytes(set);
    const ecc_curve* curve = NettleCurve(set);
    OurKey ours(set);
    ecc_point pub;
    ecc_point_init(&pub, curve);
    Mpz x = MpzLE(ours.X()), y = MpzLE(ours.Y());
    ASSERT_EQ(ecc_point_set(&pub, x, y), 1);
    dsa_signature sig;
    dsa_signature_init(&sig);
    for (const Signed& s : ours.sigs) {
      Mpz r = MpzLE(Reversed(Bytes(s.sig.begin() + L, s.sig.end()))), ss = MpzLE(Reversed(Bytes(s.sig.begin(), s.sig.begin() + L)));
      mpz_set(sig.r, r);
      mpz_set(sig.s, ss);
      EXPECT_EQ(gostdsa_verify(&pub, L, s.digest.data(), &sig), 1);
    }
    ecc_scalar key;
    ecc_scalar_init(&key, curve);
    Mpz d = MpzLE(ours.d);
    ASSERT_EQ(ecc_scalar_set(&key, d), 1);
    for (int i = 0; i < kCases; ++i) {
      Signed s;
      s.digest = RandomBytes(L);
      gostdsa_sign(&key, nullptr, NettleRandom, L, s.digest.data(), &sig);
      s.sig = Concat(BEFromMpz(sig.s, L), BEFromMpz(sig.r, L));
      ExpectVerifiesHere(set, ours.pub, s, i == 0);
    }
    // VKO: Nettle writes the shared point as we do.
    const Bytes db = RandomScalar(set), qb = PublicKeyOf(set, db), ukm = RandomBytes(L);
    ecc_point peer;
    ecc_point_init(&peer, curve);
    Mpz px = MpzLE(Bytes(qb.begin(), qb.begin() + L)), py = MpzLE(Bytes(qb.begin() + L, qb.end()));
    ASSERT_EQ(ecc_point_set(&peer, px, py), 1);
    Bytes theirs(2 * L);
    gostdsa_vko(&key, &peer, L, ukm.data(), theirs.data());
    Handle h(set);
    MaskedKey mk(db);
    ASSERT_EQ(h.ImportSecret(mk.get()), VRT_SUCCESS);
    Bytes point;
    ASSERT_EQ(h.Vko(ukm, ours.pub, &point), VRT_SUCCESS);
    EXPECT_EQ(Hex(point), Hex(theirs));
    ecc_point_clear(&peer);
    ecc_scalar_clear(&key);
    dsa_signature_clear(&sig);
    ecc_point_clear(&pub);
  }
}
#endif

// ---- GMP ----

#if defined(VRT_HAVE_GMP)
// The VKO point by independent arithmetic on every set: UKM * cofactor * d
// reduced modulo q, times the peer's point.
TEST(SignerPeers, VkoAgainstGmp) {
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set));
    const sign2012_par_t* rec = Record(set);
    const size_t L = KeyBytes(set);
    const Bytes d = RandomScalar(set), peer_d = RandomScalar(set), peer = PublicKeyOf(set, peer_d);
    const Bytes ukm = RandomBytes(L);
    Mpz p = MpzLE(Bytes(rec->p, rec->p + L)), a = MpzLE(Bytes(rec->a, rec->a + L)), q = MpzLE(Bytes(rec->q, rec->q + L));
    Mpz m = MpzLE(Bytes(rec->m, rec->m + 64)), c, t;
    mpz_fdiv_q(c, m, q);
    mpz_mul(t, MpzLE(ukm), c);
    mpz_mul(t, t, MpzLE(d));
    mpz_mod(t, t, q);
    RefCurve ref(p, a);
    RefCurve::Pt P;
    P.inf = false;
    P.x = MpzLE(Bytes(peer.begin(), peer.begin() + L));
    P.y = MpzLE(Bytes(peer.begin() + L, peer.end()));
    RefCurve::Pt K = ref.Mul(t, P);
    ASSERT_FALSE(K.inf);
    Bytes want(2 * L, 0);
    size_t n = 0;
    mpz_export(want.data(), &n, -1, 1, 0, 0, K.x);
    mpz_export(want.data() + L, &n, -1, 1, 0, 0, K.y);
    Handle h(set);
    MaskedKey key(d);
    ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
    Bytes point;
    ASSERT_EQ(h.Vko(ukm, peer, &point), VRT_SUCCESS);
    EXPECT_EQ(Hex(point), Hex(want));
  }
}
#endif

}  // namespace
