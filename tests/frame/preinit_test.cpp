// Calls made before the library was ever initialised: the dispatch table
// holds the portable routines from the start, so the hashes, HMAC and the
// cipher contexts compute the same results as afterwards, and what needs
// the initialisation (the generators, the GOST 28147-89 tables) refuses
// with a status. This binary never calls vrtInit before its checks.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Hex;

const std::string kMessage = "012345678901234567890123456789012345678901234567890123456789012";

std::string Streebog512(const std::string& msg) {
  hash2012_ctx_t ctx;
  EXPECT_EQ(vrtGostHash2012Init(&ctx, 512), VRT_SUCCESS);
  EXPECT_EQ(vrtGostHash2012Update(&ctx, reinterpret_cast<const uint8_t*>(msg.data()), msg.size()), VRT_SUCCESS);
  uint8_t d[64];
  EXPECT_EQ(vrtGostHash2012Finalize(&ctx, d), VRT_SUCCESS);
  return Hex(d, 64);
}

std::string Hash94(const std::string& msg) {
  hash94_ctx_t ctx;
  const uint32_t st = vrtGostHash94Init(&ctx, 0, nullptr);
  if (st != VRT_SUCCESS) return "init " + std::to_string(st);
  EXPECT_EQ(vrtGostHash94Update(&ctx, reinterpret_cast<const uint8_t*>(msg.data()), msg.size()), VRT_SUCCESS);
  uint8_t d[32];
  EXPECT_EQ(vrtGostHash94Finalize(&ctx, d), VRT_SUCCESS);
  return Hex(d, 32);
}

std::string Hmac256(const std::string& msg) {
  uint8_t k[32];
  for (int i = 0; i < 32; ++i) k[i] = static_cast<uint8_t>(i);
  binstr_t key{32, k};
  binstr_t data{msg.size(), reinterpret_cast<uint8_t*>(const_cast<char*>(msg.data()))};
  uint8_t mac[32];
  EXPECT_EQ(vrtGostHmac2012_256(mac, &key, &data), VRT_SUCCESS);
  return Hex(mac, 32);
}

// Kuznyechik CTR under a plain key record (no mask to draw).
std::string KuznyechikCtr(const std::string& msg, uint32_t* status) {
  uint8_t kb[32];
  for (int i = 0; i < 32; ++i) kb[i] = static_cast<uint8_t>(0x40 + i);
  genkey_t key{};
  __binstr_init(&key.key, kb, 32);
  Gost15Ctx* ctx = nullptr;
  *status = vrtGost15CtxAllocInitialized(&ctx, 1, 16);
  if (*status != VRT_SUCCESS) return "";
  *status = vrtGost15SetMode(ctx, VRT_GOST15_MODE_CTR, 0);
  uint8_t out[64] = {};
  const uint8_t iv[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  if (*status == VRT_SUCCESS)
    *status = vrtGost15EncryptSimple(ctx, &key, reinterpret_cast<const uint8_t*>(msg.data()), out, msg.size(), iv, 8);
  vrtGost15CtxFree(ctx);
  return Hex(out, msg.size());
}

TEST(BeforeInit, PrimitivesComputeOrRefuse) {
  ASSERT_EQ(vrtStatus(), VRT_ERROR_NOT_INITIALIZED);
  // Everything that needs no initialisation, before it.
  const std::string streebog = Streebog512(kMessage);
  const std::string hmac = Hmac256(kMessage);
  uint32_t ctr_status = 0;
  const std::string ctr = KuznyechikCtr(kMessage, &ctr_status);
  EXPECT_EQ(ctr_status, VRT_SUCCESS);
  // GOST R 34.11-94 needs its expanded S-box set: a clean 3 until then.
  const std::string h94 = Hash94(kMessage);
  EXPECT_EQ(h94, "init 3");

  // What needs the library refuses cleanly.
  uint8_t buf[32];
  EXPECT_NE(random_generate(nullptr, buf, sizeof buf, nullptr, nullptr), VRT_SUCCESS);
  Gost15Ctx* magma = nullptr;
  EXPECT_EQ(vrtGost15CtxAllocInitialized(&magma, 1, 8), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(magma, nullptr);
  Gost89Ctx* g89 = nullptr;
  EXPECT_NE(vrtGost89CtxAllocInitialized(&g89, 1, VRT_GOST89_SBOX_TC26_Z), VRT_SUCCESS);
  if (g89 != nullptr) vrtGost89CtxFree(g89);
  EXPECT_EQ(vrtGost89SboxInit(VRT_GOST89_SBOX_TC26_Z, nullptr), VRT_ERROR_NOT_INITIALIZED);

  // The same results once the library is up.
  ASSERT_EQ(vrtInit(), VRT_SUCCESS);
  EXPECT_EQ(Streebog512(kMessage), streebog);
  EXPECT_EQ(Hmac256(kMessage), hmac);
  EXPECT_EQ(KuznyechikCtr(kMessage, &ctr_status), ctr);
  EXPECT_EQ(Hash94(kMessage).size(), 64u);
  vrtCleanup();
}

}  // namespace
