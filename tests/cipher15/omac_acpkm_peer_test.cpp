// OMAC-ACPKM against OpenSSL's GOST provider, whose MAC
// kuznyechik-ctr-acpkm-omac is OMAC-ACPKM on Kuznyechik with fixed sizes:
// sections of 4 KiB (N = 4096) and a key generator whose own sections are
// 4 KiB too. We take generator frames only of whole 48-byte key packets, so
// the comparison uses T* = 768: both generators give the same first 16 key
// packets (up to 16 message sections, 64 KiB), and the messages here stay
// within five sections. Random keys and messages of awkward lengths around
// the block and section boundaries, fed in one piece and in random pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "cipher15/modes_helpers.h"
#include "cipher15/openssl_peer.h"
#include "common/test_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#include <openssl/params.h>
#endif

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;
#if defined(VRT_HAVE_OPENSSL)
using vrt::test::FetchedMac;
#endif

constexpr uint64_t kSection = 4096;
constexpr uint64_t kFrame = 16 * 48;  // agrees with the peer's for 16 packets

#if defined(VRT_HAVE_OPENSSL)
Bytes PeerMac(EVP_MAC* m, const Bytes& key, const Bytes& msg) {
  EVP_MAC_CTX* ctx = EVP_MAC_CTX_new(m);
  size_t size = 16, got = 0;
  const OSSL_PARAM params[] = {OSSL_PARAM_construct_size_t("size", &size), OSSL_PARAM_END};
  Bytes mac(16);
  EXPECT_EQ(EVP_MAC_init(ctx, key.data(), key.size(), params), 1);
  EXPECT_EQ(EVP_MAC_update(ctx, msg.data(), msg.size()), 1);
  EXPECT_EQ(EVP_MAC_final(ctx, mac.data(), &got, mac.size()), 1);
  EVP_MAC_CTX_free(ctx);
  mac.resize(got);
  return mac;
}

Bytes OurMac(const genkey_t* key, const Bytes& msg, bool pieces) {
  vrt::test::Ctx15 ctx = vrt::test::NewCtx15(16, VRT_GOST15_MODE_OMAC_ACPKM);
  EXPECT_EQ(vrtGost15SetParametersACPKM(ctx.get(), kSection, kFrame), VRT_SUCCESS);
  for (size_t off = 0; off < msg.size();) {
    const size_t piece = pieces ? std::min(msg.size() - off, RandomSize(1, 700)) : msg.size();
    EXPECT_EQ(vrtGost15MACUpdate(ctx.get(), key, msg.data() + off, piece), VRT_SUCCESS);
    off += piece;
  }
  Bytes mac(16);
  EXPECT_EQ(vrtGost15MACGetValue(ctx.get(), key, mac.data()), VRT_SUCCESS);
  return mac;
}
#endif

TEST(Gost15OmacAcpkmPeer, MatchesOpenSsl) {
#if !defined(VRT_HAVE_OPENSSL)
  GTEST_SKIP() << "OpenSSL not available";
#else
  FetchedMac fetched("kuznyechik-ctr-acpkm-omac");
  EVP_MAC* m = fetched.m;
  if (m == nullptr) GTEST_SKIP() << "OpenSSL GOST provider without kuznyechik-ctr-acpkm-omac";
  const size_t lengths[] = {0,          1,          15,         16,         17,         47,
                            48,         kSection - 1, kSection, kSection + 1, kSection + 16,
                            2 * kSection, 3 * kSection + 5, 5 * kSection - 16, 5 * kSection};
  for (size_t len : lengths) {
    const Bytes key = RandomBytes(32), msg = RandomBytes(len);
    MaskedKey k(key, GOST89_KEY_ADD);
    const Bytes want = PeerMac(m, key, msg);
    EXPECT_EQ(Hex(OurMac(k.get(), msg, false)), Hex(want)) << "len " << len;
    EXPECT_EQ(Hex(OurMac(k.get(), msg, true)), Hex(want)) << "len " << len << " in pieces";
  }
#endif
}

}  // namespace
