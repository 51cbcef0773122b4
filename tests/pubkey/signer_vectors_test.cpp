// Known answers: the signature examples and the stored cases through both
// signers and the reference entry points, the VKO example, and the
// self-test with every expected value corrupted in turn.
#include <gtest/gtest.h>

#include "common/file_test.h"
#include "pubkey/internal.h"
#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;

struct SignCase {
  Parameter set;
  Bytes d, digest, nonce, pub, sig;
};

SignCase ReadSignCase(FileTest& t) {
  SignCase c;
  c.set = static_cast<Parameter>(t.GetInt("Set"));
  c.d = LE(t.GetText("D"));
  c.digest = LE(t.GetText("E"));
  c.nonce = LE(t.GetText("K"));
  c.pub = Concat(LE(t.GetText("X")), LE(t.GetText("Y")));
  c.sig = Concat(FromHex(t.GetText("S")), FromHex(t.GetText("R")));
  return c;
}

TEST(SignerVectors, BothSignersAllMaskKinds) {
  FileTestRun("pubkey/sign2012.txt", [](FileTest& t) {
    const SignCase c = ReadSignCase(t);
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
        SCOPED_TRACE(std::string(ImplName(impl)) + " kind " + std::to_string(kind));
        Handle h(c.set, impl);
        ASSERT_EQ(h.init_status(), VRT_SUCCESS);
        MaskedKey key(c.d, kind);
        ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
        ASSERT_EQ(h.CreatePublic(), VRT_SUCCESS);
        EXPECT_EQ(Hex(h.ExportPublic()), Hex(c.pub));
        Bytes sig;
        ASSERT_EQ(h.Sign(c.digest, c.nonce, &sig), VRT_SUCCESS);
        EXPECT_EQ(Hex(sig), Hex(c.sig));
        EXPECT_EQ(h.Verify(c.digest, c.sig), VRT_SUCCESS);
        if (impl == Impl::kFallback) break;  // the reference is slow; one kind shows the import
      }
      // A handle that only holds the public key verifies the published signature.
      Handle v(c.set, impl);
      ASSERT_EQ(v.ImportPublic(c.pub), VRT_SUCCESS);
      EXPECT_EQ(v.Verify(c.digest, c.sig), VRT_SUCCESS);
    }
  });
}

// Both integer paths give the same keys and signatures.
TEST(SignerVectors, PortableAndBmi2Paths) {
  FileTestRun("pubkey/sign2012.txt", [](FileTest& t) {
    const SignCase c = ReadSignCase(t);
    ForEachPath([&] {
      Handle h(c.set);
      MaskedKey key(c.d);
      ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
      ASSERT_EQ(h.CreatePublic(), VRT_SUCCESS);
      EXPECT_EQ(Hex(h.ExportPublic()), Hex(c.pub));
      Bytes sig;
      ASSERT_EQ(h.Sign(c.digest, c.nonce, &sig), VRT_SUCCESS);
      EXPECT_EQ(Hex(sig), Hex(c.sig));
      EXPECT_EQ(h.Verify(c.digest, c.sig), VRT_SUCCESS);
    });
  });
}

// The reference entry points on their own context.
TEST(SignerVectors, ReferenceFunctions) {
  FileTestRun("pubkey/sign2012.txt", [](FileTest& t) {
    const SignCase c = ReadSignCase(t);
    const sign2012_par_t* par = Record(c.set);
    const size_t L = c.d.size();
    Bytes pub(2 * L);
    ASSERT_EQ(sign2012_generate_pair_example(c.d.data(), pub.data(), par), VRT_SUCCESS);
    EXPECT_EQ(Hex(pub), Hex(c.pub));

    Sign2012Ctx* ctx = nullptr;
    ASSERT_EQ(sign2012_ctx_alloc(&ctx, L, 0, 2 * L, L), VRT_SUCCESS);
    ASSERT_EQ(__sign2012_ctx_init(ctx, par), VRT_SUCCESS);
    binstr_t d, q, k;
    __binstr_init(&d, const_cast<uint8_t*>(c.d.data()), L);
    __binstr_init(&q, const_cast<uint8_t*>(c.pub.data()), 2 * L);
    __binstr_init(&k, const_cast<uint8_t*>(c.nonce.data()), L);
    ASSERT_EQ(sign2012_info_load(ctx, &d, nullptr, &q, &k), VRT_SUCCESS);
    Bytes sig(2 * L);
    ASSERT_EQ(sign2012_sign(ctx, c.digest.data(), sig.data()), VRT_SUCCESS);
    EXPECT_EQ(Hex(sig), Hex(c.sig));
    EXPECT_EQ(sign2012_verify(ctx, c.digest.data(), c.sig.data()), VRT_SUCCESS);
    // With flags bit 0 clear the halves are little-endian, both ways.
    Bytes le = c.sig;
    if (L == 32)
      sign2001_rotate_DS_RFC4490(le.data());
    else
      sign2012_rotate_DS_TC26(le.data());
    EXPECT_EQ(Hex(Bytes(le.begin(), le.begin() + L)), Hex(Reversed(Bytes(c.sig.begin(), c.sig.begin() + L))));
    ctx->flags = 0;
    EXPECT_EQ(sign2012_verify(ctx, c.digest.data(), le.data()), VRT_SUCCESS);
    EXPECT_EQ(sign2012_verify(ctx, c.digest.data(), c.sig.data()), VRT_ERROR_FAILED);
    ASSERT_EQ(sign2012_sign(ctx, c.digest.data(), sig.data()), VRT_SUCCESS);
    EXPECT_EQ(Hex(sig), Hex(le));
    sign2012_ctx_free(ctx);
  });
}

struct VkoCase {
  Parameter set;
  Bytes ukm, da, qa, db, qb, kek256, kek512;
};

VkoCase ReadVkoCase(FileTest& t) {
  VkoCase c;
  c.set = static_cast<Parameter>(t.GetInt("Set"));
  c.ukm = t.GetBytes("UKM");
  c.da = t.GetBytes("DA");
  c.qa = t.GetBytes("QA");
  c.db = t.GetBytes("DB");
  c.qb = t.GetBytes("QB");
  c.kek256 = t.GetBytes("KEK256");
  c.kek512 = t.GetBytes("KEK512");
  return c;
}

TEST(SignerVectors, Vko) {
  FileTestRun("pubkey/vko2012.txt", [](FileTest& t) {
    const VkoCase c = ReadVkoCase(t);
    const size_t L = KeyBytes(c.set);
    // The published public keys belong to the published secrets.
    EXPECT_EQ(Hex(PublicKeyOf(c.set, c.da)), Hex(c.qa));
    EXPECT_EQ(Hex(PublicKeyOf(c.set, c.db)), Hex(c.qb));
    Bytes ukm = c.ukm;
    ukm.resize(L, 0);  // zero-extended to L bytes
    for (Impl impl : {Impl::kCxx, Impl::kFallback}) {
      SCOPED_TRACE(ImplName(impl));
      for (const auto& [secret, peer] : {std::pair{c.da, c.qb}, std::pair{c.db, c.qa}}) {
        Handle h(c.set, impl);
        MaskedKey key(secret);
        ASSERT_EQ(h.ImportSecret(key.get()), VRT_SUCCESS);
        Bytes point;
        ASSERT_EQ(h.Vko(ukm, peer, &point), VRT_SUCCESS);
        EXPECT_EQ(Hex(Streebog(point, 32)), Hex(c.kek256));
        EXPECT_EQ(Hex(Streebog(point, 64)), Hex(c.kek512));
      }
    }
    for (uint32_t out_len : {32u, 64u}) {
      Bytes out(out_len);
      ASSERT_EQ(sign2012_VKO_example(c.ukm.data(), c.ukm.size(), c.da.data(), c.qb.data(), out_len, Record(c.set),
                                     out.data()),
                VRT_SUCCESS);
      EXPECT_EQ(Hex(out), Hex(out_len == 32 ? c.kek256 : c.kek512));
    }
  });
}

TEST(SignerSelfTest, Passes) { EXPECT_EQ(sign2012_self_test(nullptr), VRT_SUCCESS); }

// One flipped byte in any expected value of a case makes it fail with 1: the
// 256-bit vector case (cheap), and each field of the VKO case once.
TEST(SignerSelfTest, CorruptedExpectationsFail) {
  FileTestRun("pubkey/sign2012.txt", [](FileTest& t) {
    SignCase c = ReadSignCase(t);
    if (c.set != VRT_PARAM_CRYPTOPRO_TEST) return;
    auto run = [&] {
      vrt::signer::SignSelfTestCase sc{Record(c.set), c.d.data(), c.pub.data(), c.digest.data(), c.nonce.data(),
                                       c.sig.data()};
      return vrt::signer::run_sign_self_test_case(sc);
    };
    ASSERT_EQ(run(), VRT_SUCCESS);
    for (Bytes* field : {&c.pub, &c.sig}) {
      for (size_t at : {size_t{0}, field->size() / 2 + 1, field->size() - 1}) {
        (*field)[at] ^= 0x10;
        EXPECT_EQ(run(), VRT_ERROR_FAILED) << "byte " << at;
        (*field)[at] ^= 0x10;
      }
    }
  });
  FileTestRun("pubkey/vko2012.txt", [](FileTest& t) {
    VkoCase c = ReadVkoCase(t);
    auto run = [&] {
      vrt::signer::VkoSelfTestCase vc{Record(c.set), c.ukm.data(), c.ukm.size(), c.da.data(), c.qa.data(),
                                      c.db.data(), c.qb.data(), 32, c.kek256.data()};
      return vrt::signer::run_vko_self_test_case(vc);
    };
    ASSERT_EQ(run(), VRT_SUCCESS);
    c.kek256[31] ^= 1;
    EXPECT_EQ(run(), VRT_ERROR_FAILED);
    c.kek256[31] ^= 1;
    c.ukm[0] ^= 1;  // another UKM, another key
    EXPECT_EQ(run(), VRT_ERROR_FAILED);
  });
}

}  // namespace
