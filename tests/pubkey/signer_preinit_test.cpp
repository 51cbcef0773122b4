// A handle made before the library's first initialisation: it is the
// reference signer, refuses to compute until the dispatch table exists, and
// interoperates with the engine afterwards. Runs without the usual
// initialising main.
#include <gtest/gtest.h>

#include "pubkey/signer_test_util.h"

namespace {

using namespace vrt::test;

TEST(SignerBeforeInit, ReferenceSignerUntilInitialised) {
  ASSERT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  const Parameter set = VRT_PARAM_TC26_256_B;
  SignerHandle* h = nullptr;
  ASSERT_EQ(vrtSignerInit(&h, set), VRT_SUCCESS);
  ASSERT_NE(dynamic_cast<vrt::SignerFallback<256>*>(h->signer), nullptr);
  EXPECT_EQ(h->sign_mem, nullptr) << "no tables before initialisation";

  const Bytes d = RandomScalar(set), digest = RandomBytes(32), nonce = RandomScalar(set);
  {
    // A plain key needs a random mask, which the generator cannot give yet.
    genkey_t plain{};
    ASSERT_EQ(genkey_alloc(&plain, 32, 0), VRT_SUCCESS);
    std::memcpy(plain.key.data, d.data(), 32);
    EXPECT_NE(vrtSignerImportSecretKey(h, &plain), VRT_SUCCESS);
    genkey_free(&plain);
  }
  MaskedKey key(d);
  ASSERT_EQ(vrtSignerImportSecretKey(h, key.get()), VRT_SUCCESS);
  Bytes sig(64), pub(64);
  EXPECT_EQ(vrtSignerCreatePublicKey(h), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtSignerSign(h, digest.data(), nonce.data(), sig.data()), VRT_ERROR_NOT_INITIALIZED);
  EXPECT_EQ(vrtSignerImportPublicKey(h, pub.data()), VRT_ERROR_NOT_INITIALIZED);

  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  ASSERT_EQ(vrtSignerCreatePublicKey(h), VRT_SUCCESS);
  ASSERT_EQ(vrtSignerExportPublicKey(h, pub.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(pub), Hex(PublicKeyOf(set, d)));
  ASSERT_EQ(vrtSignerSign(h, digest.data(), nonce.data(), sig.data()), VRT_SUCCESS);
  {
    Handle engine(set);
    ASSERT_NE(dynamic_cast<vrt::SignerCxx<256>*>(engine.get()->signer), nullptr);
    ASSERT_EQ(engine.ImportPublic(pub), VRT_SUCCESS);
    EXPECT_EQ(engine.Verify(digest, sig), VRT_SUCCESS);
  }
  vrtSignerRelease(h);
  vrtCleanup();
}

}  // namespace
