// KDF, KDF_TREE, KEG and the TLS and IPsec PRFs: published vectors, each
// written out over the one-call HMAC, the limits of their arguments, refused
// calls and key hygiene.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "common/file_test.h"
#include "common/masked_key.h"
#include "common/test_util.h"
#include "frame/internal.h"
#include "hash/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::RandomBytes;

binstr_t Str(const Bytes& b) {
  binstr_t s;
  __binstr_init(&s, const_cast<uint8_t*>(b.data()), b.size());
  return s;
}

Bytes Hmac(uint32_t alg, const Bytes& key, const Bytes& msg) {
  Bytes mac(alg == VRT_ALG_HMAC2012_512 ? 64 : 32);
  binstr_t k = Str(key), m = Str(msg);
  EXPECT_EQ(alg == VRT_ALG_HMAC2012_512 ? vrtGostHmac2012_512(mac.data(), &k, &m)
                                        : vrtGostHmac2012_256(mac.data(), &k, &m),
            VRT_SUCCESS);
  return mac;
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes r;
  for (const Bytes& p : parts) r.insert(r.end(), p.begin(), p.end());
  return r;
}

uint32_t AlgOf(FileTest& t) {
  std::string s = t.GetText("Algorithm");
  if (s == "streebog512") return VRT_ALG_HMAC2012_512;
  EXPECT_EQ(s, "streebog256");
  return VRT_ALG_HMAC2012_256;
}

// ---- models over the one-call HMAC ----

Bytes TreeModel(const Bytes& key, const Bytes& label, const Bytes& seed, uint32_t R, uint64_t L) {
  Bytes lfield;
  for (uint64_t v = L; v != 0 || lfield.empty(); v >>= 8) lfield.insert(lfield.begin(), static_cast<uint8_t>(v));
  Bytes out;
  for (uint32_t i = 1; out.size() < L / 8; ++i) {
    Bytes counter;
    for (uint32_t j = 0; j < R; ++j) counter.insert(counter.begin(), static_cast<uint8_t>(i >> (8 * j)));
    Bytes mac = Hmac(VRT_ALG_HMAC2012_256, key, Cat({counter, label, Bytes{0}, seed, lfield}));
    out.insert(out.end(), mac.begin(), mac.end());
  }
  out.resize(L / 8);
  return out;
}

Bytes TlsModel(uint32_t alg, const Bytes& key, const Bytes& label, const Bytes& seed, size_t n) {
  Bytes s = Cat({label, seed}), a = s, out;
  while (out.size() < n) {
    a = Hmac(alg, key, a);
    Bytes block = Hmac(alg, key, Cat({a, s}));
    out.insert(out.end(), block.begin(), block.end());
  }
  out.resize(n);
  return out;
}

Bytes IpsecModel(uint32_t alg, const Bytes& key, const Bytes& seed, size_t n, bool plus) {
  Bytes t, out;
  for (uint32_t i = 1; out.size() < n; ++i) {
    t = Hmac(alg, key, plus ? Cat({t, seed, Bytes{static_cast<uint8_t>(i)}}) : Cat({t, seed}));
    out.insert(out.end(), t.begin(), t.end());
  }
  out.resize(n);
  return out;
}

// ---- the functions under test ----

Bytes Tree(const genkey_t* key, const Bytes& label, const Bytes& seed, uint32_t R, uint64_t L,
           uint32_t want = VRT_SUCCESS) {
  Bytes out(L / 8 + 1, 0xee);
  EXPECT_EQ(vrtKDFTree256(key, label.data(), label.size(), seed.data(), seed.size(), R, L, out.data()), want);
  EXPECT_EQ(out.back(), 0xee) << "wrote past L / 8 bytes";
  out.pop_back();
  return out;
}

Bytes Tls(uint32_t alg, const genkey_t* key, const Bytes& label, const Bytes& seed, size_t n) {
  Bytes out(n);
  EXPECT_EQ(vrtPRFTLS(key, label.data(), label.size(), seed.data(), seed.size(), alg, n, out.data()), VRT_SUCCESS);
  return out;
}

Bytes Ipsec(uint32_t alg, const genkey_t* key, const Bytes& seed, size_t n, bool plus) {
  Bytes out(n);
  binstr_t s = Str(seed);
  EXPECT_EQ(plus ? vrtPRFIPsecPrfPlus(key, &s, alg, n, out.data()) : vrtPRFIPsecKeyMat(key, &s, alg, n, out.data()),
            VRT_SUCCESS);
  return out;
}

TEST(Kdf, PublishedVectors) {
  vrt::test::FileTestRun("hash/kdf.txt", [](FileTest& t) {
    const std::string fn = t.GetText("Function");
    Bytes key = t.GetBytes("Key");
    Bytes want = t.GetBytes("Output");
    MaskedKey k(key);
    if (fn == "kdf256" || fn == "kdftree256") {
      Bytes label = t.GetBytes("Label"), seed = t.GetBytes("Seed");
      if (fn == "kdf256") {
        Bytes out(32);
        ASSERT_EQ(vrtKDF256(k.get(), label.data(), label.size(), seed.data(), seed.size(), out.data()), VRT_SUCCESS);
        EXPECT_EQ(Hex(out), Hex(want));
      } else {
        uint32_t R = static_cast<uint32_t>(t.GetInt("R"));
        EXPECT_EQ(Hex(Tree(k.get(), label, seed, R, 8 * want.size())), Hex(want));
        EXPECT_EQ(Hex(TreeModel(key, label, seed, R, 8 * want.size())), Hex(want));
      }
    } else if (fn == "prftls") {
      uint32_t alg = AlgOf(t);
      Bytes label = t.GetBytes("Label"), seed = t.GetBytes("Seed");
      EXPECT_EQ(Hex(Tls(alg, k.get(), label, seed, want.size())), Hex(want));
      EXPECT_EQ(Hex(TlsModel(alg, key, label, seed, want.size())), Hex(want));
    } else {
      ASSERT_TRUE(fn == "keymat" || fn == "prfplus") << fn;
      uint32_t alg = AlgOf(t);
      Bytes seed = t.GetBytes("Seed");
      bool plus = fn == "prfplus";
      EXPECT_EQ(Hex(Ipsec(alg, k.get(), seed, want.size(), plus)), Hex(want));
      EXPECT_EQ(Hex(IpsecModel(alg, key, seed, want.size(), plus)), Hex(want));
    }
  });
}

TEST(Kdf, SelfTestPasses) { EXPECT_EQ(prf_self_test(&vrtpInstance), VRT_SUCCESS); }

TEST(Kdf, EveryKeyKindAndLengthGivesTheSameKeys) {
  // Plain, XOR- and add-masked records hold the same key; keys longer than
  // the HMAC block take the hashed path.
  for (size_t klen : {1, 31, 32, 64, 65, 100}) {
    Bytes key = RandomBytes(klen), label = RandomBytes(5), seed = RandomBytes(12);
    Bytes tree = TreeModel(key, label, seed, 1, 512);
    Bytes tls = TlsModel(VRT_ALG_HMAC2012_512, key, label, seed, 100);
    Bytes plus = IpsecModel(VRT_ALG_HMAC2012_256, key, seed, 70, true);
    for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
      MaskedKey k(key, kind);
      EXPECT_EQ(Hex(Tree(k.get(), label, seed, 1, 512)), Hex(tree)) << klen << " kind " << kind;
      EXPECT_EQ(Hex(Tls(VRT_ALG_HMAC2012_512, k.get(), label, seed, 100)), Hex(tls)) << klen << " kind " << kind;
      EXPECT_EQ(Hex(Ipsec(VRT_ALG_HMAC2012_256, k.get(), seed, 70, true)), Hex(plus)) << klen << " kind " << kind;
    }
  }
}

TEST(Kdf, TreeLengthLimitsForEveryCounterSize) {
  Bytes key = RandomBytes(32), label = {1, 2}, seed = {3};
  MaskedKey k(key);
  uint8_t out[1];
  for (uint32_t R = 1; R <= 4; ++R) {
    const uint64_t max = vrt::hash::kdf_tree_max_bits(R);
    EXPECT_EQ(max, 256 * ((uint64_t{1} << (8 * R)) - 1));
    EXPECT_EQ(vrtKDFTree256(k.get(), label.data(), 2, seed.data(), 1, R, max + 1, out), VRT_ERROR_INVALID_ARGUMENT)
        << "R = " << R;
  }
  // R = 1 and 2 are run up to their largest length (65280 bits, and 2 MiB of
  // output), which numbers blocks up to 255 and 65535.
  for (uint32_t R : {1u, 2u}) {
    const uint64_t max = vrt::hash::kdf_tree_max_bits(R);
    Bytes got = Tree(k.get(), label, seed, R, max);
    ASSERT_EQ(got.size(), max / 8);
    // The last block is the MAC under the largest counter.
    Bytes counter = R == 1 ? Bytes{0xff} : Bytes{0xff, 0xff};
    Bytes lfield = R == 1 ? Bytes{0xff, 0x00} : Bytes{0xff, 0xff, 0x00};
    Bytes last = Hmac(VRT_ALG_HMAC2012_256, key, Cat({counter, label, Bytes{0}, seed, lfield}));
    EXPECT_EQ(Hex(got.data() + got.size() - 32, 32), Hex(last)) << "R = " << R;
  }
  for (uint32_t R : {0u, 5u, 100u}) EXPECT_EQ(Tree(k.get(), label, seed, R, 256, VRT_ERROR_INVALID_ARGUMENT).size(), 32u);
}

TEST(Kdf, TreeOutputLengthAndLengthField) {
  Bytes key = RandomBytes(32), label = RandomBytes(4), seed = RandomBytes(8);
  MaskedKey k(key);
  // The L field is one byte up to 255 and two from 256; lengths that are not
  // whole bytes give L / 8 bytes; below 8 bits nothing at all.
  for (uint64_t L : {1, 7, 8, 9, 255, 256, 257, 263, 264, 511, 512, 1000, 65535, 65536}) {
    if (L > vrt::hash::kdf_tree_max_bits(2)) continue;
    EXPECT_EQ(Hex(Tree(k.get(), label, seed, 2, L)), Hex(TreeModel(key, label, seed, 2, L))) << "L = " << L;
  }
  EXPECT_EQ(Tree(k.get(), label, seed, 1, 7).size(), 0u);
  // L = 257 writes the 32 bytes of the first block and no more.
  Bytes one = Tree(k.get(), label, seed, 1, 257);
  EXPECT_EQ(Hex(one), Hex(Hmac(VRT_ALG_HMAC2012_256, key, Cat({Bytes{1}, label, Bytes{0}, seed, Bytes{1, 1}}))));
  // L = 255 has a one-byte field, L = 256 a two-byte one.
  Bytes b255 = Tree(k.get(), label, seed, 1, 255);
  Bytes mac255 = Hmac(VRT_ALG_HMAC2012_256, key, Cat({Bytes{1}, label, Bytes{0}, seed, Bytes{0xff}}));
  EXPECT_EQ(Hex(b255), Hex(mac255.data(), 31));
  Bytes b256 = Tree(k.get(), label, seed, 1, 256);
  EXPECT_EQ(Hex(b256), Hex(Hmac(VRT_ALG_HMAC2012_256, key, Cat({Bytes{1}, label, Bytes{0}, seed, Bytes{1, 0}}))));
  // KDF is the tree with R = 1 and L = 256.
  Bytes kdf(32);
  ASSERT_EQ(vrtKDF256(k.get(), label.data(), label.size(), seed.data(), seed.size(), kdf.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(kdf), Hex(b256));
}

TEST(Kdf, TreeRefusesBadArguments) {
  Bytes key = RandomBytes(32), label = {1}, seed = {2};
  MaskedKey k(key);
  genkey_t empty{};
  uint8_t out[64];
  std::memset(out, 0xee, sizeof out);
  auto call = [&](const genkey_t* kk, const uint8_t* l, uint64_t ll, const uint8_t* s, uint64_t sl, uint8_t* o) {
    return vrtKDFTree256(kk, l, ll, s, sl, 1, 512, o);
  };
  EXPECT_EQ(call(nullptr, label.data(), 1, seed.data(), 1, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(&empty, label.data(), 1, seed.data(), 1, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), nullptr, 1, seed.data(), 1, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), label.data(), 0, seed.data(), 1, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), label.data(), 1, nullptr, 1, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), label.data(), 1, seed.data(), 0, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), label.data(), 1, seed.data(), 1, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(out[0], 0xee);
  // Lengths no allocation can meet are refused or reported, never read.
  EXPECT_EQ(call(k.get(), label.data(), UINT64_MAX - 3, seed.data(), 10, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(call(k.get(), label.data(), uint64_t{1} << 62, seed.data(), 1, out), VRT_ERROR_NO_MEMORY);
  EXPECT_EQ(out[0], 0xee);
}

TEST(Kdf, PrfOutputIsAPrefixAtAnyLength) {
  Bytes key = RandomBytes(32), label = RandomBytes(13), seed = RandomBytes(32);
  MaskedKey k(key);
  for (uint32_t alg : {VRT_ALG_HMAC2012_256, VRT_ALG_HMAC2012_512}) {
    Bytes tls = Tls(alg, k.get(), label, seed, 300);
    Bytes keymat = Ipsec(alg, k.get(), seed, 300, false);
    Bytes plus = Ipsec(alg, k.get(), seed, 300, true);
    EXPECT_EQ(Hex(tls), Hex(TlsModel(alg, key, label, seed, 300)));
    EXPECT_EQ(Hex(keymat), Hex(IpsecModel(alg, key, seed, 300, false)));
    EXPECT_EQ(Hex(plus), Hex(IpsecModel(alg, key, seed, 300, true)));
    for (size_t n : {1, 31, 32, 33, 40, 63, 64, 65, 129}) {
      EXPECT_EQ(Hex(Tls(alg, k.get(), label, seed, n)), Hex(tls.data(), n)) << n;
      EXPECT_EQ(Hex(Ipsec(alg, k.get(), seed, n, false)), Hex(keymat.data(), n)) << n;
      EXPECT_EQ(Hex(Ipsec(alg, k.get(), seed, n, true)), Hex(plus.data(), n)) << n;
    }
  }
}

TEST(Kdf, PrfPlusCounterWrapsPastBlock255) {
  Bytes key = RandomBytes(32), seed = RandomBytes(16);
  MaskedKey k(key);
  const size_t n = 32 * 258;
  EXPECT_EQ(Hex(Ipsec(VRT_ALG_HMAC2012_256, k.get(), seed, n, true)),
            Hex(IpsecModel(VRT_ALG_HMAC2012_256, key, seed, n, true)));
}

TEST(Kdf, PrfsRefuseBadArguments) {
  Bytes key = RandomBytes(32), label = {1}, seed = {2, 3};
  MaskedKey k(key);
  genkey_t empty{};
  binstr_t s = Str(seed), no_seed{0, seed.data()}, null_seed{2, nullptr};
  uint8_t out[64];
  std::memset(out, 0xee, sizeof out);
  const uint32_t alg = VRT_ALG_HMAC2012_256;
  EXPECT_EQ(vrtPRFTLS(nullptr, label.data(), 1, seed.data(), 2, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(&empty, label.data(), 1, seed.data(), 2, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), nullptr, 1, seed.data(), 2, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 0, seed.data(), 2, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 1, nullptr, 2, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 1, seed.data(), 0, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 1, seed.data(), 2, alg, 0, out), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 1, seed.data(), 2, alg, 8, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  for (uint32_t bad : {VRT_ALG_HMAC94, VRT_ALG_HASH2012_256, 0u}) {
    EXPECT_EQ(vrtPRFTLS(k.get(), label.data(), 1, seed.data(), 2, bad, 8, out), VRT_ERROR_UNSUPPORTED) << bad;
    EXPECT_EQ(vrtPRFIPsecKeyMat(k.get(), &s, bad, 8, out), VRT_ERROR_UNSUPPORTED) << bad;
    EXPECT_EQ(vrtPRFIPsecPrfPlus(k.get(), &s, bad, 8, out), VRT_ERROR_UNSUPPORTED) << bad;
  }
  for (auto fn : {vrtPRFIPsecKeyMat, vrtPRFIPsecPrfPlus}) {
    EXPECT_EQ(fn(nullptr, &s, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(&empty, &s, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(k.get(), nullptr, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(k.get(), &no_seed, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(k.get(), &null_seed, alg, 8, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(k.get(), &s, alg, 0, out), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(fn(k.get(), &s, alg, 8, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  }
  EXPECT_EQ(out[0], 0xee);
}

TEST(Kdf, CallsLeaveTheMaskedKeyAsItWasAndWipeWhatTheyUnmasked) {
  Bytes key = RandomBytes(32), label = {1}, seed = {2, 3};
  MaskedKey k(key, GOST89_KEY_ADD);
  Bytes stored(k.get()->key.data, k.get()->key.data + 32), mask(k.get()->mask.data, k.get()->mask.data + 32);
  binstr_t s = Str(seed);
  uint8_t out[100];
  auto wipes = [](auto fn) {
    const uint64_t before = vrt::frame::memreset_requests();
    EXPECT_EQ(fn(), VRT_SUCCESS);
    return vrt::frame::memreset_requests() - before;
  };
  // The key block (two requests for 64 bytes) and the hash checksum at
  // least; a kept-back partial block one more.
  EXPECT_GE(wipes([&] { return vrtKDFTree256(k.get(), label.data(), 1, seed.data(), 2, 1, 520, out); }), 5u);
  EXPECT_GE(wipes([&] { return vrtPRFTLS(k.get(), label.data(), 1, seed.data(), 2, VRT_ALG_HMAC2012_256, 40, out); }),
            5u);
  EXPECT_GE(wipes([&] { return vrtPRFIPsecKeyMat(k.get(), &s, VRT_ALG_HMAC2012_512, 100, out); }), 5u);
  EXPECT_GE(wipes([&] { return vrtPRFIPsecPrfPlus(k.get(), &s, VRT_ALG_HMAC2012_256, 10, out); }), 5u);
  EXPECT_EQ(Hex(k.get()->key.data, 32), Hex(stored));
  EXPECT_EQ(Hex(k.get()->mask.data, 32), Hex(mask));
}

// ---- KEG ----

struct Pair {
  Bytes secret, public_key;
};

Pair MakePair(const sign2012_par_t* par) {
  const size_t L = par->bits / 8;
  Pair p{RandomBytes(L), Bytes(2 * L)};
  p.secret[L - 1] &= 0x0f;  // below q
  EXPECT_EQ(sign2012_generate_pair_example(p.secret.data(), p.public_key.data(), par), VRT_SUCCESS);
  return p;
}

Bytes Keg(const Pair& mine, const Pair& peer, const Bytes& h, const sign2012_par_t* par,
          uint32_t want = VRT_SUCCESS) {
  Bytes out(64, 0xee);
  EXPECT_EQ(vrtKEG(mine.secret.data(), peer.public_key.data(), h.data(), par, out.data()), want);
  return out;
}

Bytes Vko(const Bytes& ukm, const Pair& mine, const Pair& peer, uint32_t n, const sign2012_par_t* par) {
  Bytes out(n);
  EXPECT_EQ(sign2012_VKO_example(ukm.data(), ukm.size(), mine.secret.data(), peer.public_key.data(), n, par,
                                 out.data()),
            VRT_SUCCESS);
  return out;
}

TEST(Keg, PublishedVkoExampleOnA512BitCurve) {
  // The UKM of the RFC 7836 example, read as a little-endian number, placed
  // so that h[15..0] gives it back.
  vrt::test::FileTestRun("pubkey/vko2012.txt", [](FileTest& t) {
    ASSERT_EQ(t.GetInt("Set"), 11u);
    Bytes ukm = t.GetBytes("UKM");
    Pair a{t.GetBytes("DA"), t.GetBytes("QA")}, b{t.GetBytes("DB"), t.GetBytes("QB")};
    Bytes kek512 = t.GetBytes("KEK512");
    (void)t.GetBytes("KEK256");
    Bytes h = RandomBytes(32);
    ukm.resize(16, 0);
    for (int i = 0; i < 16; ++i) h[i] = ukm[15 - i];
    const sign2012_par_t* par = &gost3410_param_tc26_gost_3410_12_512_paramSetA;
    EXPECT_EQ(Hex(Keg(a, b, h, par)), Hex(kek512));
    EXPECT_EQ(Hex(Keg(b, a, h, par)), Hex(kek512));
  });
}

TEST(Keg, TwoHundredFiftySixBitCurvesRunKdfTreeOnTheVkoKey) {
  for (const sign2012_par_t* par : {&gost3410_param_tc26_gost_3410_12_256_paramSetA,
                                    &gost3410_param_GostR3410_2001_CryptoPro_A_ParamSet}) {
    Pair a = MakePair(par), b = MakePair(par);
    Bytes h = RandomBytes(32);
    Bytes ukm(h.rbegin() + 16, h.rend());  // h[15], ..., h[0]
    Bytes vko = Vko(ukm, a, b, 32, par);
    Bytes want = TreeModel(vko, Bytes{'k', 'd', 'f', ' ', 't', 'r', 'e', 'e'}, Bytes(h.begin() + 16, h.begin() + 24),
                           1, 512);
    EXPECT_EQ(Hex(Keg(a, b, h, par)), Hex(want));
    EXPECT_EQ(Hex(Keg(b, a, h, par)), Hex(want));
    // Bytes 24..31 of h take no part.
    Bytes h2 = h;
    h2[30] ^= 0x40;
    EXPECT_EQ(Hex(Keg(a, b, h2, par)), Hex(want));
    // A record that is no built-in one (a reserved byte set) goes through
    // the reference code instead of a signer handle: the same key.
    sign2012_par_t own = *par;
    own.reserved[0] = 1;
    EXPECT_EQ(Hex(Keg(a, b, h, &own)), Hex(want));
  }
}

TEST(Keg, ZeroUkmBytesMeanUkmOne) {
  // The UKM is built the same way for both curve sizes; one curve shows it.
  const sign2012_par_t* par = &gost3410_param_tc26_gost_3410_12_256_paramSetB;
  Pair a = MakePair(par), b = MakePair(par);
  Bytes h = RandomBytes(32);
  std::fill(h.begin(), h.begin() + 16, 0);
  Bytes h_one = h;
  h_one[15] = 1;  // UKM 1 given explicitly
  EXPECT_EQ(Hex(Keg(a, b, h, par)), Hex(Keg(a, b, h_one, par)));
  Bytes one(16, 0);
  one[0] = 1;
  Bytes out(64);
  ASSERT_EQ(vrtpKEG_VKO(a.secret.data(), b.public_key.data(), h.data(), 32, par, out.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(out.data(), 32), Hex(Vko(one, a, b, 32, par)));
}

TEST(Keg, RefusesBadArgumentsAndPeerKeysOffTheCurve) {
  const sign2012_par_t* par = &gost3410_param_tc26_gost_3410_12_256_paramSetA;
  Pair a = MakePair(par), b = MakePair(par);
  Bytes h = RandomBytes(32), out(64, 0xee);
  EXPECT_EQ(vrtKEG(nullptr, b.public_key.data(), h.data(), par, out.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKEG(a.secret.data(), nullptr, h.data(), par, out.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKEG(a.secret.data(), b.public_key.data(), nullptr, par, out.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKEG(a.secret.data(), b.public_key.data(), h.data(), nullptr, out.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKEG(a.secret.data(), b.public_key.data(), h.data(), par, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  sign2012_par_t odd = *par;
  odd.bits = 384;
  EXPECT_EQ(vrtKEG(a.secret.data(), b.public_key.data(), h.data(), &odd, out.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(out[0], 0xee);
  // Peer keys that are no points of the curve: a changed coordinate, and the
  // all-zero encoding; on the 512-bit curve built from its base point.
  const sign2012_par_t* big = &gost3410_param_tc26_gost_3410_12_512_paramSetA;
  Pair g512{Bytes(64, 0), Bytes(128)};
  g512.secret[0] = 5;
  std::copy(big->x, big->x + 64, g512.public_key.begin());
  std::copy(big->y, big->y + 64, g512.public_key.begin() + 64);
  for (auto [p, mine, peer] : {std::tuple{par, a, b}, std::tuple{big, g512, g512}}) {
    Pair off = peer;
    off.public_key[0] ^= 1;
    Pair zero = peer;
    std::fill(zero.public_key.begin(), zero.public_key.end(), 0);
    EXPECT_EQ(Hex(Keg(mine, off, h, p, VRT_ERROR_INVALID_ARGUMENT)), Hex(Bytes(64, 0xee))) << p->bits;
    EXPECT_EQ(Hex(Keg(mine, zero, h, p, VRT_ERROR_INVALID_ARGUMENT)), Hex(Bytes(64, 0xee))) << p->bits;
  }
}

}  // namespace
