// The signer interface: handle creation and the factory, bad arguments and
// the order of calls, refused points and signatures, nonce and digest
// edges, agreement of the two signers on every set, twin sets, the tables
// (the 80 MiB ones built twice in this binary), allocation failures, and key
// hygiene in the handle and on the stack.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "pubkey/ec/shared.h"
#include "pubkey/ec_test_util.h"
#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;
using vrt::math::Int;

const Parameter kSets256And512[] = {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_A,
                                    VRT_PARAM_TC26_512_C};

template <int N>
vrt::SignerCxx<N>* Cxx(const Handle& h) {
  return dynamic_cast<vrt::SignerCxx<N>*>(h.get()->signer);
}

uint64_t Multiplications(const Handle& h) {
  if (auto* s = Cxx<256>(h)) return s->context().multiplications;
  if (auto* s = Cxx<512>(h)) return s->context().multiplications;
  ADD_FAILURE() << "not a SignerCxx";
  return 0;
}

// A handle of set with a fresh random key and its public key.
struct KeyedHandle {
  Bytes d;
  Handle h;
  Bytes pub;
  KeyedHandle(Parameter set, Impl impl, bool tables = false, Bytes secret = {})
      : d(secret.empty() ? RandomScalar(set) : secret), h(set, impl, tables) {
    EXPECT_EQ(h.init_status(), VRT_SUCCESS);
    MaskedKey key(d);
    EXPECT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
    EXPECT_EQ(h.CreatePublic(), VRT_SUCCESS);
    pub = h.ExportPublic();
  }
};

TEST(SignerInterface, FactoryAndHandles) {
  EXPECT_EQ(vrtSignerInit(nullptr, VRT_PARAM_CRYPTOPRO_A), VRT_ERROR_INVALID_ARGUMENT);
  for (Parameter set : AllSets()) {
    Handle cxx(set), ref(set, Impl::kFallback);
    EXPECT_EQ(cxx.init_status(), VRT_SUCCESS) << set;
    EXPECT_EQ(ref.init_status(), VRT_SUCCESS) << set;
    const bool wide = KeyBytes(set) == 64;
    EXPECT_EQ(cxx.get()->signer != nullptr &&
                  (wide ? Cxx<512>(cxx) != nullptr : Cxx<256>(cxx) != nullptr),
              true)
        << set;
    EXPECT_NE(wide ? static_cast<void*>(dynamic_cast<vrt::SignerFallback<512>*>(ref.get()->signer))
                   : static_cast<void*>(dynamic_cast<vrt::SignerFallback<256>*>(ref.get()->signer)),
              nullptr)
        << set;
  }
  for (Parameter set : {Parameter{14}, Parameter{0x80000000u}, ~Parameter{0}}) {
    SignerHandle* h = nullptr;
    EXPECT_EQ(vrtSignerInit(&h, set), VRT_ERROR_UNSUPPORTED);
    ASSERT_NE(h, nullptr) << "the empty handle stays stored";
    EXPECT_EQ(h->signer, nullptr);
    vrtSignerRelease(h);
  }
  vrtSignerRelease(nullptr);
  struct Row {
    Parameter set;
    bool build;
    uint32_t want;
  };
  for (const Row& r : {Row{0, true, vrt::kCxx256}, Row{9, true, vrt::kCxx256}, Row{10, true, vrt::kCxx512},
                       Row{13, true, vrt::kCxx512}, Row{0, false, vrt::kFallback256},
                       Row{9, false, vrt::kFallback256}, Row{10, false, vrt::kFallback512},
                       Row{13, false, vrt::kFallback512}, Row{14, true, vrt::kUnsupported},
                       Row{14, false, vrt::kUnsupported}}) {
    Switches sw(r.build, false, false);
    EXPECT_EQ(vrt::check_implementation(r.set), r.want) << r.set << " " << r.build;
  }
}

// Every null pointer, and a handle whose signer was never made, gives 3.
TEST(SignerInterface, NullArguments) {
  for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
    KeyedHandle k(VRT_PARAM_CRYPTOPRO_A, impl);
    SignerHandle* h = k.h.get();
    SignerHandle* empty = nullptr;
    EXPECT_EQ(vrtSignerInit(&empty, 14), VRT_ERROR_UNSUPPORTED);
    uint8_t buf[64] = {}, out[64];
    MaskedKey key(k.d);
    for (SignerHandle* bad : {static_cast<SignerHandle*>(nullptr), empty}) {
      EXPECT_EQ(vrtSignerSign(bad, buf, buf, out), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerVerify(bad, buf, buf), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerCreatePublicKey(bad), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerImportSecretKey(bad, key.get()), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerImportPublicKey(bad, k.pub.data()), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerExportPublicKey(bad, out), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(vrtSignerGenerateVKO(bad, buf, k.pub.data(), out), VRT_ERROR_INVALID_ARGUMENT);
    }
    vrtSignerRelease(empty);
    EXPECT_EQ(vrtSignerSign(h, nullptr, buf, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerSign(h, buf, nullptr, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerSign(h, buf, buf, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerVerify(h, nullptr, buf), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerVerify(h, buf, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerImportSecretKey(h, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerImportPublicKey(h, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerExportPublicKey(h, nullptr), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerGenerateVKO(h, nullptr, k.pub.data(), out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerGenerateVKO(h, buf, nullptr, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtSignerGenerateVKO(h, buf, k.pub.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
    // None of that disturbed the keys.
    Bytes digest = RandomBytes(32), sig;
    ASSERT_EQ(k.h.Sign(digest, RandomScalar(k.h.set()), &sig), VRT_SUCCESS);
    EXPECT_EQ(k.h.Verify(digest, sig), VRT_SUCCESS);
  }
}

// Signing, public-key creation and VKO need a secret key; export and
// verification need a public key. Nothing is written meanwhile.
TEST(SignerInterface, OrderOfCalls) {
  for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
    for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_A}) {
      SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set));
      const size_t L = KeyBytes(set);
      Handle h(set, impl);
      KeyedHandle peer(set, Impl::kCxx);
      const Bytes digest = RandomBytes(L), nonce = RandomScalar(set);
      Bytes sig, point;
      EXPECT_EQ(h.Sign(digest, nonce, &sig), VRT_ERROR_NOT_INITIALIZED);
      EXPECT_EQ(Hex(sig), Hex(Bytes(2 * L, 0)));
      EXPECT_EQ(h.CreatePublic(), VRT_ERROR_NOT_INITIALIZED);
      EXPECT_EQ(h.Vko(Small(set, 1), peer.pub, &point), VRT_ERROR_NOT_INITIALIZED);
      EXPECT_EQ(Hex(point), Hex(Bytes(2 * L, 0)));
      uint32_t st = 0;
      Bytes out = h.ExportPublic(&st);
      EXPECT_EQ(st, VRT_ERROR_NOT_INITIALIZED);
      EXPECT_EQ(Hex(out), Hex(Bytes(2 * L, 0)));
      ASSERT_EQ(peer.h.Sign(digest, nonce, &sig), VRT_SUCCESS);
      EXPECT_EQ(h.Verify(digest, sig), VRT_ERROR_FAILED);
      // A public key alone verifies but does not sign.
      ASSERT_EQ(h.ImportPublic(peer.pub), VRT_SUCCESS);
      EXPECT_EQ(h.Verify(digest, sig), VRT_SUCCESS);
      EXPECT_EQ(h.Sign(digest, nonce, &sig), VRT_ERROR_NOT_INITIALIZED);
      EXPECT_EQ(Hex(h.ExportPublic()), Hex(peer.pub));
    }
  }
}

TEST(SignerInterface, SecretKeyRecords) {
  for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
    SCOPED_TRACE(ImplName(impl));
    const Parameter set = VRT_PARAM_CRYPTOPRO_A;
    KeyedHandle k(set, impl);
    MaskedKey short_key(Bytes(31, 7)), long_key(Bytes(64, 7));
    EXPECT_EQ(k.h.ImportSecret(short_key.get()), VRT_ERROR_LENGTH);
    EXPECT_EQ(k.h.ImportSecret(long_key.get()), VRT_ERROR_LENGTH);
    genkey_t no_bytes{};
    no_bytes.key.length = 32;
    EXPECT_EQ(k.h.ImportSecret(&no_bytes), VRT_ERROR_INVALID_ARGUMENT);
    // The refused records left the key in place.
    ASSERT_EQ(k.h.CreatePublic(), VRT_SUCCESS);
    EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(k.pub));
    // A second key replaces the first.
    const Bytes d2 = RandomScalar(set);
    MaskedKey key2(d2, GOST89_KEY_ADD);
    ASSERT_EQ(k.h.ImportSecret(key2.get()), VRT_SUCCESS);
    ASSERT_EQ(k.h.CreatePublic(), VRT_SUCCESS);
    EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(PublicKeyOf(set, d2)));
    // A key that is a multiple of q has no public key.
    MaskedKey zero(Bytes(32, 0)), q(OrderLE(set));
    for (const MaskedKey* bad : {&zero, &q}) {
      ASSERT_EQ(k.h.ImportSecret(bad->get()), VRT_SUCCESS);
      EXPECT_EQ(k.h.CreatePublic(), VRT_ERROR_FAILED);
      EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(PublicKeyOf(set, d2))) << "the previous public key stays";
      Bytes sig;
      EXPECT_NE(k.h.Sign(RandomBytes(32), RandomScalar(set), &sig), VRT_SUCCESS);
    }
  }
}

// Points that are not on the curve: a coordinate of p or more, off the
// equation, the all-zero encoding of the point at infinity. Refused by key
// import (the old key stays) and by VKO (nothing written).
TEST(SignerInterface, PointsOffTheCurveAreRefused) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_TEST, VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_A, VRT_PARAM_TC26_512_C}) {
    const size_t L = KeyBytes(set);
    const sign2012_par_t* rec = Record(set);
    const Bytes p(rec->p, rec->p + L);
    KeyedHandle good(set, Impl::kCxx);
    const Bytes x(good.pub.begin(), good.pub.begin() + L), y(good.pub.begin() + L, good.pub.end());
    std::vector<std::pair<std::string, Bytes>> bad = {
        {"infinity", Bytes(2 * L, 0)},
        {"x = p", Concat(p, y)},
        {"y = p", Concat(x, p)},
        {"all ones", Bytes(2 * L, 0xff)},
    };
    Bytes y1 = y;
    y1[0] ^= 1;
    bad.push_back({"y off the equation", Concat(x, y1)});
    Bytes x1 = x;
    x1[L - 1] ^= 0x20;
    bad.push_back({"x off the equation", Concat(x1, y)});
    // x + p, y + p: the same residues, but not below p.
    auto plus_p = [&](const Bytes& v) {
      Bytes r(L);
      unsigned carry = 0;
      for (size_t i = 0; i < L; ++i) {
        unsigned s = v[i] + p[i] + carry;
        r[i] = static_cast<uint8_t>(s);
        carry = s >> 8;
      }
      return std::pair{r, carry == 0};
    };
    if (auto [xp, ok] = plus_p(x); ok) bad.push_back({"x + p", Concat(xp, y)});
    if (auto [yp, ok] = plus_p(y); ok) bad.push_back({"y + p", Concat(x, yp)});

    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      KeyedHandle k(set, impl);
      const Bytes digest = RandomBytes(L);
      Bytes sig;
      ASSERT_EQ(k.h.Sign(digest, RandomScalar(set), &sig), VRT_SUCCESS);
      for (const auto& [name, point] : bad) {
        SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set) + " " + name);
        EXPECT_EQ(k.h.ImportPublic(point), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(k.pub));
        EXPECT_EQ(k.h.Verify(digest, sig), VRT_SUCCESS);
        Bytes out;
        EXPECT_EQ(k.h.Vko(Small(set, 1), point, &out), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(out), Hex(Bytes(2 * L, 0)));
        uint8_t kek[32] = {};
        EXPECT_EQ(sign2012_VKO_example(Small(set, 1).data(), 8, k.d.data(), point.data(), 32, Record(set), kek),
                  VRT_ERROR_INVALID_ARGUMENT);
      }
      // And a good key after all that.
      ASSERT_EQ(k.h.ImportPublic(good.pub), VRT_SUCCESS);
      Bytes sig2;
      ASSERT_EQ(good.h.Sign(digest, RandomScalar(set), &sig2), VRT_SUCCESS);
      EXPECT_EQ(k.h.Verify(digest, sig2), VRT_SUCCESS);
    }
  }
}

#if defined(VRT_HAVE_GMP)
// A cofactor-4 set in independent arithmetic: its numbers, b from G, points
// lifted from an x (the root by one exponentiation, p = 3 mod 4) and written
// as public-key bytes.
struct CofactorCurve {
  explicit CofactorCurve(Parameter set) : L(KeyBytes(set)), ref(Num(Record(set)->p), Num(Record(set)->a)) {
    const sign2012_par_t* rec = Record(set);
    p = Num(rec->p);
    a = Num(rec->a);
    q = Num(rec->q);
    G.inf = false;
    G.x = Num(rec->x);
    G.y = Num(rec->y);
    Mpz t;
    // b = gy^2 - gx^3 - a gx
    mpz_mul(b, G.y, G.y);
    mpz_pow_ui(t, G.x, 3);
    mpz_sub(b, b, t);
    mpz_mul(t, a, G.x);
    mpz_sub(b, b, t);
    mpz_mod(b, b, p);
    mpz_add_ui(root_exp, p, 1);
    mpz_fdiv_q_2exp(root_exp, root_exp, 2);
  }
  Mpz Num(const uint8_t* le) const { return NumN(le, L); }
  static Mpz NumN(const uint8_t* le, size_t n) {
    Mpz r;
    mpz_import(r, n, -1, 1, 0, 0, le);
    return r;
  }
  // A point of the curve with this x and y != 0, if there is one.
  bool Lift(const Mpz& x, RefCurve::Pt* P) const {
    Mpz f, y, t;
    mpz_pow_ui(f, x, 3);
    mpz_mul(t, a, x);
    mpz_add(f, f, t);
    mpz_add(f, f, b);
    mpz_mod(f, f, p);
    mpz_powm(y, f, root_exp, p);
    mpz_mul(t, y, y);
    mpz_mod(t, t, p);
    if (mpz_cmp(t, f) != 0 || mpz_cmp_ui(y.get(), 0) == 0) return false;
    P->inf = false;
    P->x = x;
    P->y = y;
    return true;
  }
  Bytes Key(const RefCurve::Pt& P) const {
    Bytes point(2 * L, 0);
    size_t n = 0;
    mpz_export(point.data(), &n, -1, 1, 0, 0, P.x);
    mpz_export(point.data() + L, &n, -1, 1, 0, 0, P.y);
    return point;
  }
  size_t L;
  RefCurve ref;
  Mpz p, a, q, b, root_exp;
  RefCurve::Pt G;
};

// On the curves with cofactor 4 the curve also holds points of order 2 and
// 4 and sums with them. Import takes only keys of order q. VKO multiplies
// the peer key by the cofactor first: a part of small order drops out (the
// result is that of the key's part of order q), and a point of small order
// alone is refused, since its shared point would be known to everybody.
TEST(SignerInterface, PointsOutsideTheGroupOfOrderQ) {
  for (Parameter set : {VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_C}) {
    SCOPED_TRACE(SetName(set));
    const CofactorCurve cc(set);
    const size_t L = cc.L;
    const Mpz& q = cc.q;
    const RefCurve& ref = cc.ref;
    ASSERT_EQ(mpz_fdiv_ui(cc.p, 4), 3u);  // square roots by one exponentiation
    auto bytes = [&](const RefCurve::Pt& P) { return cc.Key(P); };
    std::vector<RefCurve::Pt> mixed, small;  // order 2q or 4q; order 2 or 4
    for (unsigned long xs = 1; mixed.size() < 2 && xs < 400; ++xs) {
      RefCurve::Pt P;
      if (!cc.Lift(Mpz(xs), &P)) continue;  // no point with this x
      RefCurve::Pt T = ref.Mul(q, P);
      if (T.inf) continue;
      mixed.push_back(P);
      small.push_back(T);
    }
    ASSERT_FALSE(mixed.empty());
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(ImplName(impl));
      KeyedHandle k(set, impl);
      for (size_t i = 0; i < mixed.size(); ++i) {
        const Bytes ukm = RandomBytes(L);
        Bytes out;
        EXPECT_EQ(k.h.Vko(ukm, bytes(small[i]), &out), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(out), Hex(Bytes(2 * L, 0)));
        EXPECT_EQ(k.h.ImportPublic(bytes(small[i])), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(k.h.ImportPublic(bytes(mixed[i])), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(k.pub));
        // (u d mod q) (4 P): the small part is gone.
        ASSERT_EQ(k.h.Vko(ukm, bytes(mixed[i]), &out), VRT_SUCCESS);
        Mpz s = cc.Num(ukm.data());
        mpz_mul(s, s, cc.Num(k.d.data()));
        mpz_mod(s, s, q);
        RefCurve::Pt want = ref.Mul(s, ref.Mul(Mpz(4), mixed[i]));
        EXPECT_EQ(Hex(out), Hex(bytes(want)));
        if (impl == Impl::kFallback) break;  // the reference is slow
      }
    }
  }
}

// On those two curves import decides membership of the group of order q by
// quadratic characters, not by a multiplication. Every coset of that group
// (a part of order 1, 2 or 4 beside it) and both signs of y, on points
// built from k G and on points of random x, against q P by independent
// arithmetic.
TEST(SignerInterface, ImportSortsEveryCosetOfTheGroupOfOrderQ) {
  for (Parameter set : {VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_C}) {
    SCOPED_TRACE(SetName(set));
    const CofactorCurve cc(set);
    const size_t L = cc.L;
    const Mpz &p = cc.p, &q = cc.q;
    const RefCurve& ref = cc.ref;
    const RefCurve::Pt& G = cc.G;
    auto lift = [&](const Mpz& x, RefCurve::Pt* P) { return cc.Lift(x, P); };
    auto bytes = [&](const RefCurve::Pt& P) { return cc.Key(P); };
    auto num = [&](const uint8_t* le, size_t) { return cc.Num(le); };
    auto neg = [&](RefCurve::Pt P) {
      mpz_sub(P.y, p, P.y);
      return P;
    };
    // T4 of order 4 (q times a point whose part of even order has order 4).
    RefCurve::Pt T4;
    T4.inf = true;
    for (unsigned long xs = 1; T4.inf && xs < 400; ++xs) {
      RefCurve::Pt P;
      if (!lift(Mpz(xs), &P)) continue;
      RefCurve::Pt S = ref.Mul(q, P);
      if (!S.inf && mpz_cmp_ui(S.y.get(), 0) != 0) T4 = S;
    }
    ASSERT_FALSE(T4.inf);
    const RefCurve::Pt T2 = ref.Add(T4, T4);
    ASSERT_EQ(mpz_cmp_ui(T2.y.get(), 0), 0);

    std::vector<RefCurve::Pt> points = {T2, T4, neg(T4)};
    for (int i = 0; i < 4; ++i) {
      Bytes kb = RandomBytes(L);
      const RefCurve::Pt K = ref.Mul(num(kb.data(), L), G);
      for (const RefCurve::Pt& P : {K, ref.Add(K, T2), ref.Add(K, T4), ref.Add(K, neg(T4))}) {
        points.push_back(P);
        points.push_back(neg(P));
      }
    }
    for (int got = 0; got < 40;) {
      Bytes xb = RandomBytes(L);
      Mpz x = num(xb.data(), L);
      mpz_mod(x, x, p);
      RefCurve::Pt P;
      if (!lift(x, &P)) continue;
      points.push_back(P);
      ++got;
    }
    const bool fast = L == 32 ? vrt::ec::shared_curve<256>(set)->quarter_test
                              : vrt::ec::shared_curve<512>(set)->quarter_test;
    EXPECT_TRUE(fast) << "the curve's constants for the character test were not found";
    const bool edwards = L == 32 ? vrt::ec::shared_curve<256>(set)->edwards : vrt::ec::shared_curve<512>(set)->edwards;
    EXPECT_TRUE(edwards) << "VKO does not take the Edwards form of the curve";
    KeyedHandle k(set, Impl::kCxx);
    int seen[3] = {};  // order q; 2q; 4q or 2 or 4
    for (const RefCurve::Pt& P : points) {
      const RefCurve::Pt S = ref.Mul(q, P);
      const bool in = S.inf;
      ++seen[in ? 0 : (mpz_cmp_ui(S.y.get(), 0) == 0 ? 1 : 2)];
      EXPECT_EQ(k.h.ImportPublic(bytes(P)), in ? VRT_SUCCESS : VRT_ERROR_INVALID_ARGUMENT) << Hex(bytes(P));
      if (in) {
        EXPECT_EQ(Hex(k.h.ExportPublic()), Hex(bytes(P)));
      }
    }
    EXPECT_GE(seen[0], 8);
    EXPECT_GE(seen[1], 4);
    EXPECT_GE(seen[2], 8);
  }
}
#endif

// r or s of 0, q or more is refused before any multiplication.
TEST(SignerInterface, SignatureOutOfRange) {
  for (Parameter set : kSets256And512) {
    const size_t L = KeyBytes(set);
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set));
      KeyedHandle k(set, impl);
      const Bytes digest = RandomBytes(L);
      Bytes sig;
      ASSERT_EQ(k.h.Sign(digest, RandomScalar(set), &sig), VRT_SUCCESS);
      const Bytes s(sig.begin(), sig.begin() + L), r(sig.begin() + L, sig.end());
      const Bytes q = Reversed(OrderLE(set));  // big-endian
      Bytes q1 = q;
      q1[L - 1] += 1;
      const std::vector<Bytes> out_of_range = {Bytes(L, 0), q, q1, Bytes(L, 0xff)};
      const uint64_t before = impl == Impl::kCxx ? Multiplications(k.h) : 0;
      for (const Bytes& v : out_of_range) {
        EXPECT_EQ(k.h.Verify(digest, Concat(v, r)), VRT_ERROR_FAILED);
        EXPECT_EQ(k.h.Verify(digest, Concat(s, v)), VRT_ERROR_FAILED);
      }
      if (impl == Impl::kCxx) {
        EXPECT_EQ(Multiplications(k.h), before) << "a multiplication ran";
      }
      EXPECT_EQ(k.h.Verify(digest, sig), VRT_SUCCESS);
    }
  }
}

// One flipped bit anywhere in the digest, s, r or the public key is caught.
TEST(SignerInterface, FlippedBitsAreRejected) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_B, VRT_PARAM_TC26_512_B}) {
    const size_t L = KeyBytes(set);
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set));
      KeyedHandle k(set, impl);
      const Bytes digest = RandomBytes(L);
      Bytes sig;
      ASSERT_EQ(k.h.Sign(digest, RandomScalar(set), &sig), VRT_SUCCESS);
      ASSERT_EQ(k.h.Verify(digest, sig), VRT_SUCCESS);
      const int tries = impl == Impl::kCxx ? 12 : 3;
      for (int i = 0; i < tries; ++i) {
        const size_t bit = RandomSize(0, 8 * L - 1);
        Bytes dg = digest;
        dg[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        EXPECT_EQ(k.h.Verify(dg, sig), VRT_ERROR_FAILED) << "digest bit " << bit;
        const size_t sbit = RandomSize(0, 16 * L - 1);
        Bytes sg = sig;
        sg[sbit / 8] ^= static_cast<uint8_t>(1 << (sbit % 8));
        EXPECT_EQ(k.h.Verify(digest, sg), VRT_ERROR_FAILED) << (sbit < 8 * L ? "s" : "r") << " bit " << sbit;
      }
      for (int i = 0; i < tries; ++i) {
        const size_t bit = RandomSize(0, 16 * L - 1);
        Bytes pub = k.pub;
        pub[bit / 8] ^= static_cast<uint8_t>(1 << (bit % 8));
        Handle v(set, impl);
        const uint32_t st = v.ImportPublic(pub);
        // Almost always off the curve; on it, it is another key.
        if (st == VRT_SUCCESS)
          EXPECT_EQ(v.Verify(digest, sig), VRT_ERROR_FAILED) << "key bit " << bit;
        else
          EXPECT_EQ(st, VRT_ERROR_INVALID_ARGUMENT);
      }
    }
  }
}

// A nonce of 0 or q or more is refused by the engine with 3 and the output
// stays untouched; q - 1 signs. The reference reduces it modulo q.
TEST(SignerInterface, NonceEdges) {
  for (Parameter set : kSets256And512) {
    const size_t L = KeyBytes(set);
    const Bytes q = OrderLE(set);
    Bytes q_minus_1 = q, q_plus_1 = q;
    q_minus_1[0] -= 1;
    q_plus_1[0] += 1;
    const Bytes digest = RandomBytes(L);
    KeyedHandle cxx(set, Impl::kCxx);
    KeyedHandle ref(set, Impl::kFallback, false, cxx.d);
    for (const Bytes& k : {Bytes(L, 0), q, q_plus_1, Bytes(L, 0xff)}) {
      Bytes sig(2 * L, 0x5a);
      EXPECT_EQ(vrtSignerSign(cxx.h.get(), digest.data(), k.data(), sig.data()), VRT_ERROR_INVALID_ARGUMENT);
      EXPECT_EQ(Hex(sig), Hex(Bytes(2 * L, 0x5a)));
    }
    Bytes sig, ref_sig;
    ASSERT_EQ(cxx.h.Sign(digest, q_minus_1, &sig), VRT_SUCCESS);
    EXPECT_EQ(cxx.h.Verify(digest, sig), VRT_SUCCESS);
    ASSERT_EQ(ref.h.Sign(digest, q_minus_1, &ref_sig), VRT_SUCCESS);
    EXPECT_EQ(Hex(ref_sig), Hex(sig));
    // The reference: q reduces to 0 (r = 0), q + 1 signs as 1.
    Bytes out(2 * L, 0x5a);
    EXPECT_EQ(vrtSignerSign(ref.h.get(), digest.data(), q.data(), out.data()), VRT_ERROR_SIGNATURE);
    EXPECT_EQ(Hex(out), Hex(Bytes(2 * L, 0x5a)));
    ASSERT_EQ(ref.h.Sign(digest, q_plus_1, &ref_sig), VRT_SUCCESS);
    ASSERT_EQ(cxx.h.Sign(digest, Small(set, 1), &sig), VRT_SUCCESS);
    EXPECT_EQ(Hex(ref_sig), Hex(sig));
  }
}

// A digest of zero, of q and of 1 all give e = 1: with one nonce they make
// the same signature, which verifies for each of them.
TEST(SignerInterface, DigestEdges) {
  for (Parameter set : kSets256And512) {
    const size_t L = KeyBytes(set);
    KeyedHandle cxx(set, Impl::kCxx);
    KeyedHandle ref(set, Impl::kFallback, false, cxx.d);
    const Bytes nonce = RandomScalar(set);
    Bytes q_plus_1 = OrderLE(set);
    q_plus_1[0] += 1;
    const std::vector<Bytes> ones = {Bytes(L, 0), OrderLE(set), Small(set, 1)};
    Bytes want;
    ASSERT_EQ(cxx.h.Sign(ones[0], nonce, &want), VRT_SUCCESS);
    for (const Bytes& digest : ones) {
      Bytes sig;
      ASSERT_EQ(cxx.h.Sign(digest, nonce, &sig), VRT_SUCCESS);
      EXPECT_EQ(Hex(sig), Hex(want));
      EXPECT_EQ(cxx.h.Verify(digest, want), VRT_SUCCESS);
      EXPECT_EQ(ref.h.Verify(digest, want), VRT_SUCCESS);
    }
    ASSERT_EQ(ref.h.Sign(OrderLE(set), nonce, &want), VRT_SUCCESS);
    Bytes sig;
    ASSERT_EQ(cxx.h.Sign(Bytes(L, 0), nonce, &sig), VRT_SUCCESS);
    EXPECT_EQ(Hex(want), Hex(sig));
    // q + 1 reduces to 1 as well; 2 does not.
    EXPECT_EQ(cxx.h.Verify(q_plus_1, sig), VRT_SUCCESS);
    EXPECT_EQ(cxx.h.Verify(Small(set, 2), sig), VRT_ERROR_FAILED);
  }
}

// On all fourteen sets the engine and the reference make the same public
// key, the same signature for the same nonce, verify each other, and agree
// on VKO.
TEST(SignerInterface, BothSignersAgreeOnEverySet) {
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set));
    const size_t L = KeyBytes(set);
    KeyedHandle cxx(set, Impl::kCxx);
    KeyedHandle ref(set, Impl::kFallback, false, cxx.d);
    EXPECT_EQ(Hex(ref.pub), Hex(cxx.pub));
    const Bytes digest = RandomBytes(L), nonce = RandomScalar(set);
    Bytes s1, s2;
    ASSERT_EQ(cxx.h.Sign(digest, nonce, &s1), VRT_SUCCESS);
    ASSERT_EQ(ref.h.Sign(digest, nonce, &s2), VRT_SUCCESS);
    EXPECT_EQ(Hex(s1), Hex(s2));
    const Bytes nonce2 = RandomScalar(set);
    ASSERT_EQ(ref.h.Sign(digest, nonce2, &s2), VRT_SUCCESS);
    EXPECT_EQ(cxx.h.Verify(digest, s2), VRT_SUCCESS);
    EXPECT_EQ(ref.h.Verify(digest, s1), VRT_SUCCESS);
    // Twice signed with different nonces, both verify elsewhere.
    Handle only_pub(set, Impl::kFallback);
    ASSERT_EQ(only_pub.ImportPublic(cxx.pub), VRT_SUCCESS);
    EXPECT_EQ(only_pub.Verify(digest, s1), VRT_SUCCESS);

    KeyedHandle peer(set, Impl::kCxx);
    const Bytes ukm = RandomBytes(L);  // any L bytes, even above q
    Bytes v1, v2, v3;
    ASSERT_EQ(cxx.h.Vko(ukm, peer.pub, &v1), VRT_SUCCESS);
    ASSERT_EQ(ref.h.Vko(ukm, peer.pub, &v2), VRT_SUCCESS);
    ASSERT_EQ(peer.h.Vko(ukm, cxx.pub, &v3), VRT_SUCCESS);
    EXPECT_EQ(Hex(v1), Hex(v2));
    EXPECT_EQ(Hex(v1), Hex(v3));
  }
}

// A UKM or key product that is a multiple of q makes the shared point the
// point at infinity, a key everybody knows: refused.
TEST(SignerInterface, VkoDegenerateUkm) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_C}) {
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set));
      const size_t L = KeyBytes(set);
      KeyedHandle k(set, impl), peer(set, Impl::kCxx);
      for (const Bytes& ukm : {Bytes(L, 0), OrderLE(set)}) {
        Bytes out;
        EXPECT_EQ(k.h.Vko(ukm, peer.pub, &out), VRT_ERROR_INVALID_ARGUMENT);
        EXPECT_EQ(Hex(out), Hex(Bytes(2 * L, 0)));
      }
      // u and u + q give the same key.
      Bytes u = Small(set, 5), uq = OrderLE(set);
      uq[0] += 5;
      Bytes a, b;
      ASSERT_EQ(k.h.Vko(u, peer.pub, &a), VRT_SUCCESS);
      ASSERT_EQ(k.h.Vko(uq, peer.pub, &b), VRT_SUCCESS);
      EXPECT_EQ(Hex(a), Hex(b));
    }
  }
}

// Sets that name the same curve share keys and signatures.
TEST(SignerInterface, TwinSetsInteroperate) {
  const std::vector<std::vector<Parameter>> twins = {
      {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_CRYPTOPRO_XCHA, VRT_PARAM_TC26_256_B},
      {VRT_PARAM_CRYPTOPRO_B, VRT_PARAM_TC26_256_C},
      {VRT_PARAM_CRYPTOPRO_C, VRT_PARAM_CRYPTOPRO_XCHB, VRT_PARAM_TC26_256_D}};
  for (const auto& group : twins) {
    const Bytes d = RandomScalar(group[0]);
    for (Parameter signer_set : group) {
      KeyedHandle k(signer_set, Impl::kCxx, false, d);
      const Bytes digest = RandomBytes(32);
      Bytes sig;
      ASSERT_EQ(k.h.Sign(digest, RandomScalar(signer_set), &sig), VRT_SUCCESS);
      for (Parameter other : group) {
        SCOPED_TRACE(SetName(signer_set) + " to " + SetName(other));
        EXPECT_EQ(Hex(PublicKeyOf(other, d)), Hex(k.pub));
        Handle v(other, other == signer_set ? Impl::kFallback : Impl::kCxx);
        ASSERT_EQ(v.ImportPublic(k.pub), VRT_SUCCESS);
        EXPECT_EQ(v.Verify(digest, sig), VRT_SUCCESS);
      }
    }
  }
}

// A later key replaces an earlier one, for creation and import alike.
TEST(SignerInterface, PublicKeyReplacement) {
  const Parameter set = VRT_PARAM_TC26_512_B;
  KeyedHandle a(set, Impl::kCxx), b(set, Impl::kCxx);
  const Bytes digest = RandomBytes(64);
  Bytes sa, sb;
  ASSERT_EQ(a.h.Sign(digest, RandomScalar(set), &sa), VRT_SUCCESS);
  ASSERT_EQ(b.h.Sign(digest, RandomScalar(set), &sb), VRT_SUCCESS);
  Handle v(set);
  ASSERT_EQ(v.ImportPublic(a.pub), VRT_SUCCESS);
  EXPECT_EQ(v.Verify(digest, sa), VRT_SUCCESS);
  ASSERT_EQ(v.ImportPublic(b.pub), VRT_SUCCESS);
  EXPECT_EQ(v.Verify(digest, sa), VRT_ERROR_FAILED);
  EXPECT_EQ(v.Verify(digest, sb), VRT_SUCCESS);
  MaskedKey ka(a.d);
  ASSERT_EQ(v.ImportSecret(ka.get()), VRT_SUCCESS);
  ASSERT_EQ(v.CreatePublic(), VRT_SUCCESS);
  EXPECT_EQ(v.Verify(digest, sa), VRT_SUCCESS);
  EXPECT_EQ(v.Verify(digest, sb), VRT_ERROR_FAILED);
}

// ---- tables ----

// The default tables on a 256-bit set: 80 MiB for signing at creation and
// 80 MiB for verification at the first public key (the two 80 MiB builds
// of this binary). Results equal those of a handle without tables.
TEST(SignerTables, Default256) {
  const Parameter set = VRT_PARAM_CRYPTOPRO_A;
  KeyedHandle plain(set, Impl::kCxx);
  KeyedHandle tabled(set, Impl::kCxx, true, plain.d);
  SignerHandle* h = tabled.h.get();
  ASSERT_NE(h->sign_ctx, nullptr);
  ASSERT_NE(h->sign_mem, nullptr);
  ASSERT_NE(h->verify_ctx, nullptr);
  ASSERT_NE(h->verify_mem, nullptr);
  EXPECT_EQ(Cxx<256>(tabled.h)->context().base.mul_mode, 1u);
  EXPECT_EQ(Cxx<256>(tabled.h)->context().public_key.mul_mode, 1u);
  EXPECT_EQ(Hex(tabled.pub), Hex(plain.pub));
  for (int i = 0; i < 24; ++i) {
    const Bytes digest = RandomBytes(32), nonce = i == 0 ? Small(set, 1) : RandomScalar(set);
    Bytes s1, s2;
    ASSERT_EQ(tabled.h.Sign(digest, nonce, &s1), VRT_SUCCESS);
    ASSERT_EQ(plain.h.Sign(digest, nonce, &s2), VRT_SUCCESS);
    EXPECT_EQ(Hex(s1), Hex(s2));
    EXPECT_EQ(tabled.h.Verify(digest, s2), VRT_SUCCESS);
    Bytes bad = s2;
    bad[RandomSize(0, bad.size() - 1)] ^= 0x04;
    EXPECT_EQ(tabled.h.Verify(digest, bad), VRT_ERROR_FAILED);
  }
  // VKO does not use the tables and agrees.
  KeyedHandle peer(set, Impl::kCxx);
  const Bytes ukm = RandomBytes(32);
  Bytes v1, v2;
  ASSERT_EQ(tabled.h.Vko(ukm, peer.pub, &v1), VRT_SUCCESS);
  ASSERT_EQ(plain.h.Vko(ukm, peer.pub, &v2), VRT_SUCCESS);
  EXPECT_EQ(Hex(v1), Hex(v2));
}

// The 2.25 MiB tables on every 512-bit set; a second public key reuses the
// verification memory and gets a table of its own.
TEST(SignerTables, Tables512) {
  for (Parameter set : DistinctCurves512()) {
    SCOPED_TRACE(SetName(set));
    KeyedHandle plain(set, Impl::kCxx);
    KeyedHandle tabled(set, Impl::kCxx, true, plain.d);
    EXPECT_EQ(Hex(tabled.pub), Hex(plain.pub));
    const Bytes digest = RandomBytes(64), nonce = RandomScalar(set);
    Bytes s1, s2;
    ASSERT_EQ(tabled.h.Sign(digest, nonce, &s1), VRT_SUCCESS);
    ASSERT_EQ(plain.h.Sign(digest, nonce, &s2), VRT_SUCCESS);
    EXPECT_EQ(Hex(s1), Hex(s2));
    EXPECT_EQ(tabled.h.Verify(digest, s1), VRT_SUCCESS);

    void* mem = tabled.h.get()->verify_mem;
    KeyedHandle other(set, Impl::kCxx);
    Bytes so;
    ASSERT_EQ(other.h.Sign(digest, nonce, &so), VRT_SUCCESS);
    ASSERT_EQ(tabled.h.ImportPublic(other.pub), VRT_SUCCESS);
    EXPECT_EQ(tabled.h.get()->verify_mem, mem) << "no second allocation";
    EXPECT_EQ(Cxx<512>(tabled.h)->context().public_key.mul_mode, 1u);
    EXPECT_EQ(tabled.h.Verify(digest, so), VRT_SUCCESS);
    EXPECT_EQ(tabled.h.Verify(digest, s1), VRT_ERROR_FAILED);
    // The reference asks for no tables at all.
    KeyedHandle ref(set, Impl::kFallback, true, plain.d);
    EXPECT_EQ(ref.h.get()->sign_mem, nullptr);
    EXPECT_EQ(ref.h.get()->verify_mem, nullptr);
  }
}

// ---- allocation failures ----

class FailAllocation {
 public:
  explicit FailAllocation(int index) { vrt::signer::fail_allocation(index); }
  ~FailAllocation() { vrt::signer::fail_allocation(-1); }
};

TEST(SignerInterface, AllocationFailures) {
  const Parameter set = VRT_PARAM_TC26_512_A;
  {
    FailAllocation f(0);  // the handle
    SignerHandle* h = reinterpret_cast<SignerHandle*>(1);
    EXPECT_EQ(vrtSignerInit(&h, set), VRT_ERROR_NO_MEMORY);
    EXPECT_EQ(h, nullptr);
  }
  {
    FailAllocation f(1);  // the signer
    SignerHandle* h = nullptr;
    EXPECT_EQ(vrtSignerInit(&h, set), VRT_ERROR_NO_MEMORY);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(h->signer, nullptr);
    EXPECT_EQ(vrtSignerCreatePublicKey(h), VRT_ERROR_INVALID_ARGUMENT);
    vrtSignerRelease(h);
  }
  // Tables are optional: without their memory the handle works by the
  // general multiplication.
  const Bytes d = RandomScalar(set), digest = RandomBytes(64), nonce = RandomScalar(set);
  KeyedHandle plain(set, Impl::kCxx, false, d);
  Bytes want;
  ASSERT_EQ(plain.h.Sign(digest, nonce, &want), VRT_SUCCESS);
  for (int index : {2, 3}) {  // the signing table's object block, then its memory
    SCOPED_TRACE(index);
    FailAllocation f(index);
    Handle h(set, Impl::kCxx, true);
    ASSERT_EQ(h.init_status(), VRT_SUCCESS);
    EXPECT_TRUE(h.get()->sign_ctx == nullptr || h.get()->sign_mem == nullptr);
    EXPECT_EQ(Cxx<512>(h)->context().base.mul_mode, 0u);
    MaskedKey key(d);
    ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
    Bytes sig;
    ASSERT_EQ(h.Sign(digest, nonce, &sig), VRT_SUCCESS);
    EXPECT_EQ(Hex(sig), Hex(want));
  }
  {
    Handle h(set, Impl::kCxx, true);
    FailAllocation f(1);  // the verification table's memory
    ASSERT_EQ(h.ImportPublic(plain.pub), VRT_SUCCESS);
    EXPECT_EQ(h.get()->verify_mem, nullptr);
    EXPECT_EQ(h.Verify(digest, want), VRT_SUCCESS);
  }
}

// ---- key hygiene ----

// The handle and its signer never hold the plain key (nor a nonce) after a
// call: the copy is masked, the temporaries wiped.
TEST(SignerHygiene, NoPlainKeyInTheHandle) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_A}) {
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
        SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set) + " kind " + std::to_string(kind));
        const size_t L = KeyBytes(set);
        const Bytes d = RandomScalar(set), nonce = RandomScalar(set);
        Handle h(set, impl);
        KeyedHandle peer(set, Impl::kCxx);
        {
          MaskedKey key(d, kind);
          ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
        }
        ASSERT_EQ(h.CreatePublic(), VRT_SUCCESS);
        Bytes sig, point;
        ASSERT_EQ(h.Sign(RandomBytes(L), nonce, &sig), VRT_SUCCESS);
        ASSERT_EQ(h.Vko(RandomBytes(L), peer.pub, &point), VRT_SUCCESS);
        const size_t size = impl == Impl::kCxx
                                ? (L == 32 ? sizeof(vrt::SignerCxx<256>) : sizeof(vrt::SignerCxx<512>))
                                : (L == 32 ? sizeof(vrt::SignerFallback<256>) : sizeof(vrt::SignerFallback<512>));
        const void* obj = dynamic_cast<void*>(h.get()->signer);
        const Bytes halves[] = {Bytes(d.begin(), d.begin() + L / 2), Bytes(d.begin() + L / 2, d.end())};
        for (const Bytes& needle : {d, Reversed(d), halves[0], halves[1], nonce, Reversed(nonce)}) {
          EXPECT_FALSE(Contains(obj, size, needle)) << Hex(needle);
          EXPECT_FALSE(Contains(h.get(), sizeof(SignerHandle), needle));
        }
      }
    }
  }
}

constexpr size_t kStackScan = 128 * 1024;

// Zeroes the stack below the caller, so that what is found there afterwards
// was left by the calls in between.
__attribute__((noinline)) void ClearStack() {
  uint8_t buf[kStackScan];
  std::memset(buf, 0, sizeof buf);
  __asm__ __volatile__("" : : "r"(buf) : "memory");
}

// Whether the stack below the caller holds needle (reads the leftovers of
// the frames that ran there).
__attribute__((noinline)) bool StackHolds(const Bytes& needle) {
  uint8_t buf[kStackScan];
  __asm__ __volatile__("" : : "r"(buf) : "memory");
  return Contains(buf, kStackScan, needle);
}

// No plain copy of the key is left in the stack frames of the operations.
TEST(SignerHygiene, NoPlainKeyOnTheStack) {
  for (Parameter set : {VRT_PARAM_CRYPTOPRO_A, VRT_PARAM_TC26_512_A}) {
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(std::string(ImplName(impl)) + " " + SetName(set));
      const size_t L = KeyBytes(set);
      const Bytes d = RandomScalar(set), digest = RandomBytes(L), nonce = RandomScalar(set), ukm = RandomBytes(L);
      KeyedHandle peer(set, Impl::kCxx);
      Handle h(set, impl);
      {
        MaskedKey key(d);
        ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
      }
      Bytes sig, point;
      struct Op {
        const char* name;
        std::function<uint32_t()> run;
      };
      const Op ops[] = {
          {"create", [&] { return h.CreatePublic(); }},
          {"sign", [&] { return h.Sign(digest, nonce, &sig); }},
          {"vko", [&] { return h.Vko(ukm, peer.pub, &point); }},
      };
      for (const Op& op : ops) {
        ClearStack();
        ASSERT_EQ(op.run(), VRT_SUCCESS) << op.name;
        EXPECT_FALSE(StackHolds(d)) << op.name;
        EXPECT_FALSE(StackHolds(Bytes(d.begin(), d.begin() + L / 2))) << op.name;
        EXPECT_FALSE(StackHolds(Bytes(d.begin() + L / 2, d.end()))) << op.name;
        EXPECT_FALSE(StackHolds(Reversed(d))) << op.name;
      }
    }
  }
}

}  // namespace

// The character test and the Edwards form are taken only on the two sets
// with cofactor 4; on every other curve neither set of constants exists.
TEST(SignerInterface, CofactorFourConstantsOnlyWhereTheyExist) {
  for (Parameter set : AllSets()) {
    SCOPED_TRACE(SetName(set));
    const bool four = set == VRT_PARAM_TC26_256_A || set == VRT_PARAM_TC26_512_C;
    if (KeyBytes(set) == 32) {
      const auto* c = vrt::ec::shared_curve<256>(set);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->quarter_test, four);
      EXPECT_EQ(c->edwards, four);
    } else {
      const auto* c = vrt::ec::shared_curve<512>(set);
      ASSERT_NE(c, nullptr);
      EXPECT_EQ(c->quarter_test, four);
      EXPECT_EQ(c->edwards, four);
    }
  }
}

// On the twisted Edwards sets signing, public-key creation, verification and
// VKO run in the Edwards form: the same signatures, keys, answers and shared
// points as the reference, for small, large and random nonces and keys.
TEST(SignerInterface, EdwardsFormMatchesTheReference) {
  for (Parameter set : {VRT_PARAM_TC26_256_A, VRT_PARAM_TC26_512_C}) {
    SCOPED_TRACE(SetName(set));
    const size_t L = KeyBytes(set);
    Bytes q_minus_2 = OrderLE(set);
    q_minus_2[0] -= 2;
    for (const Bytes& d : {Small(set, 1), Small(set, 2), q_minus_2, RandomScalar(set)}) {
      KeyedHandle cxx(set, Impl::kCxx, false, d);
      KeyedHandle ref(set, Impl::kFallback, false, d);
      EXPECT_EQ(Hex(cxx.pub), Hex(ref.pub));
      const Bytes digest = RandomBytes(L);
      for (const Bytes& k : {Small(set, 2), Small(set, 3), q_minus_2, RandomScalar(set)}) {
        Bytes sig, ref_sig;
        ASSERT_EQ(cxx.h.Sign(digest, k, &sig), VRT_SUCCESS);
        ASSERT_EQ(ref.h.Sign(digest, k, &ref_sig), VRT_SUCCESS);
        EXPECT_EQ(Hex(sig), Hex(ref_sig));
        // Verification in the Edwards form, by a handle that holds only the key.
        Handle v(set);
        ASSERT_EQ(v.ImportPublic(ref.pub), VRT_SUCCESS);
        EXPECT_EQ(v.Verify(digest, ref_sig), VRT_SUCCESS);
        Bytes other = digest;
        other[0] ^= 1;
        EXPECT_EQ(v.Verify(other, ref_sig), VRT_ERROR_FAILED);
        Bytes forged = ref_sig;
        forged[L - 1] ^= 1;  // s
        EXPECT_EQ(v.Verify(digest, forged), VRT_ERROR_FAILED);
        EXPECT_EQ(ref.h.Verify(other, ref_sig), VRT_ERROR_FAILED);
      }
      const Bytes peer = PublicKeyOf(set, RandomScalar(set)), ukm = RandomBytes(L);
      Bytes out, ref_out;
      ASSERT_EQ(cxx.h.Vko(ukm, peer, &out), VRT_SUCCESS);
      ASSERT_EQ(ref.h.Vko(ukm, peer, &ref_out), VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(ref_out));
    }
  }
}
