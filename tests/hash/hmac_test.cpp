// HMAC over the three hashes: published vectors, the construction itself for
// every key-length class, streaming, refused calls and key hygiene.
#include <gtest/gtest.h>

#include <cstring>

#include "common/file_test.h"
#include "common/test_util.h"
#include "frame/internal.h"
#include "hash/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::RandomBytes;

struct Alg {
  const char* name;
  uint32_t id;
  size_t digest;
  size_t block;
  uint32_t (*one_shot)(uint8_t*, const binstr_t*, const binstr_t*);
};

const Alg kAlgs[] = {
    {"streebog256", VRT_ALG_HMAC2012_256, 32, 64, vrtGostHmac2012_256},
    {"streebog512", VRT_ALG_HMAC2012_512, 64, 64, vrtGostHmac2012_512},
    {"gost94", VRT_ALG_HMAC94, 32, 32, vrtGostHmac94},
};

const Alg& AlgNamed(const std::string& name) {
  for (const Alg& a : kAlgs)
    if (name == a.name) return a;
  ADD_FAILURE() << "unknown algorithm " << name;
  return kAlgs[0];
}

binstr_t Str(const Bytes& b) {
  binstr_t s;
  __binstr_init(&s, const_cast<uint8_t*>(b.data()), b.size());
  return s;
}

Bytes OneShot(const Alg& a, const Bytes& key, const Bytes& msg) {
  Bytes mac(a.digest);
  binstr_t k = Str(key), m = Str(msg);
  EXPECT_EQ(a.one_shot(mac.data(), &k, &m), VRT_SUCCESS);
  return mac;
}

// The plain hash the construction is built on.
Bytes Hash(const Alg& a, const Bytes& msg) {
  Bytes d(a.digest);
  if (a.id == VRT_ALG_HMAC94) {
    hash94_ctx_t c;
    EXPECT_EQ(vrtGostHash94Init(&c, 0, nullptr), VRT_SUCCESS);
    EXPECT_EQ(vrtGostHash94Update(&c, msg.data(), msg.size()), VRT_SUCCESS);
    EXPECT_EQ(vrtGostHash94Finalize(&c, d.data()), VRT_SUCCESS);
  } else {
    EXPECT_EQ(hash2012_example(msg.data(), msg.size(), d.data(), static_cast<uint32_t>(a.digest)), VRT_SUCCESS);
  }
  return d;
}

// RFC 2104 written out over the plain hash.
Bytes Model(const Alg& a, Bytes key, const Bytes& msg) {
  if (key.size() > a.block) key = Hash(a, key);
  key.resize(a.block, 0);
  Bytes inner(key), outer(key);
  for (auto& b : inner) b ^= 0x36;
  for (auto& b : outer) b ^= 0x5c;
  inner.insert(inner.end(), msg.begin(), msg.end());
  Bytes d = Hash(a, inner);
  outer.insert(outer.end(), d.begin(), d.end());
  return Hash(a, outer);
}

TEST(Hmac, PublishedVectors) {
  vrt::test::FileTestRun("hash/hmac.txt", [](FileTest& t) {
    const Alg& a = AlgNamed(t.GetText("Algorithm"));
    Bytes key = t.GetBytes("Key"), msg = t.GetBytes("Input");
    std::string want = Hex(t.GetBytes("Mac"));
    EXPECT_EQ(Hex(OneShot(a, key, msg)), want);
    EXPECT_EQ(Hex(Model(a, key, msg)), want);
  });
}

TEST(Hmac, SelfTestsPass) {
  EXPECT_EQ(hmac2012_self_test(&vrtpInstance), VRT_SUCCESS);
  EXPECT_EQ(hmac94_self_test(&vrtpInstance), VRT_SUCCESS);
}

TEST(Hmac, EveryKeyLengthClassFollowsTheConstruction) {
  // Empty, shorter than, equal to and one past the block (which is then
  // hashed), and much longer.
  for (const Alg& a : kAlgs) {
    for (size_t klen : {0, 1, 31, 32, 33, 63, 64, 65, 200}) {
      Bytes key = RandomBytes(klen), msg = RandomBytes(klen * 3 % 150);
      EXPECT_EQ(Hex(OneShot(a, key, msg)), Hex(Model(a, key, msg))) << a.name << " key " << klen;
    }
  }
}

TEST(Hmac, LongKeyEqualsItsDigest) {
  for (const Alg& a : kAlgs) {
    Bytes key = RandomBytes(a.block + 1), msg = RandomBytes(20);
    EXPECT_EQ(Hex(OneShot(a, key, msg)), Hex(OneShot(a, Hash(a, key), msg))) << a.name;
  }
}

TEST(Hmac, StreamingInPiecesEqualsOneShot) {
  for (const Alg& a : kAlgs) {
    Bytes key = RandomBytes(40), msg = RandomBytes(300);
    std::string want = Hex(OneShot(a, key, msg));
    for (size_t piece : {1, 7, 32, 64, 65, 300}) {
      hmac_ctx_t ctx;
      auto* c = reinterpret_cast<uint8_t*>(&ctx);
      binstr_t k = Str(key);
      ASSERT_EQ(vrtHMACInit(c, &k, a.id), VRT_SUCCESS);
      for (size_t off = 0; off < msg.size(); off += piece) {
        binstr_t d;
        __binstr_init(&d, msg.data() + off, std::min(piece, msg.size() - off));
        ASSERT_EQ(vrtHMACUpdate(c, &d), VRT_SUCCESS);
      }
      Bytes mac(a.digest);
      ASSERT_EQ(vrtHMACFinalize(c, mac.data()), VRT_SUCCESS);
      EXPECT_EQ(Hex(mac), want) << a.name << " pieces of " << piece;
    }
  }
}

TEST(Hmac, ContextAfterTheFinalStepRefusesMore) {
  for (const Alg& a : kAlgs) {
    Bytes key = RandomBytes(32), msg = RandomBytes(10);
    hmac_ctx_t ctx;
    auto* c = reinterpret_cast<uint8_t*>(&ctx);
    binstr_t k = Str(key), m = Str(msg);
    ASSERT_EQ(vrtHMACInit(c, &k, a.id), VRT_SUCCESS);
    ASSERT_EQ(vrtHMACUpdate(c, &m), VRT_SUCCESS);
    Bytes mac(a.digest), again(a.digest, 0xee);
    ASSERT_EQ(vrtHMACFinalize(c, mac.data()), VRT_SUCCESS);
    EXPECT_EQ(vrtHMACUpdate(c, &m), VRT_ERROR_NOT_INITIALIZED) << a.name;
    EXPECT_EQ(vrtHMACFinalize(c, again.data()), VRT_ERROR_NOT_INITIALIZED) << a.name;
    EXPECT_EQ(Hex(again), Hex(Bytes(a.digest, 0xee))) << a.name << ": nothing written";
    // Initialised again, it computes a fresh MAC.
    ASSERT_EQ(vrtHMACInit(c, &k, a.id), VRT_SUCCESS);
    ASSERT_EQ(vrtHMACUpdate(c, &m), VRT_SUCCESS);
    ASSERT_EQ(vrtHMACFinalize(c, again.data()), VRT_SUCCESS);
    EXPECT_EQ(Hex(again), Hex(mac)) << a.name;
  }
}

TEST(Hmac, RefusedCalls) {
  Bytes key = RandomBytes(32), msg = RandomBytes(8);
  binstr_t k = Str(key), m = Str(msg), no_bytes{5, nullptr};
  hmac_ctx_t ctx;
  auto* c = reinterpret_cast<uint8_t*>(&ctx);
  uint8_t mac[64];

  // Identifiers of the plain hashes and others are not HMAC algorithms.
  for (uint32_t bad : {0u, VRT_ALG_HASH2012_256, VRT_ALG_HASH2012_512, 0x2010100u, 0x2010104u}) {
    std::memset(&ctx, 0xab, sizeof ctx);
    EXPECT_EQ(vrtHMACInit(c, &k, bad), VRT_ERROR_UNSUPPORTED) << bad;
    EXPECT_EQ(ctx.hmac_ops, nullptr);
    EXPECT_EQ(vrtHMACUpdate(c, &m), VRT_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(vrtHMACFinalize(c, mac), VRT_ERROR_INVALID_ARGUMENT);
  }
  // A missing key fails for every algorithm and leaves an unusable context.
  for (const Alg& a : kAlgs) {
    EXPECT_EQ(vrtHMACInit(c, nullptr, a.id), VRT_ERROR_FAILED) << a.name;
    EXPECT_EQ(vrtHMACUpdate(c, &m), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(vrtHMACInit(c, &no_bytes, a.id), VRT_ERROR_FAILED) << a.name;
    EXPECT_EQ(vrtHMACFinalize(c, mac), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(vrtHMACInit(nullptr, &k, a.id), VRT_ERROR_FAILED) << a.name;
  }
  EXPECT_EQ(vrtHMACInit(nullptr, &k, 0), VRT_ERROR_UNSUPPORTED);

  // A zeroed context, and one of garbage, were never initialised.
  std::memset(&ctx, 0, sizeof ctx);
  EXPECT_EQ(vrtHMACUpdate(c, &m), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACFinalize(c, mac), VRT_ERROR_INVALID_ARGUMENT);
  std::memset(&ctx, 0x5a, sizeof ctx);
  EXPECT_EQ(vrtHMACUpdate(c, &m), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACFinalize(c, mac), VRT_ERROR_INVALID_ARGUMENT);

  ASSERT_EQ(vrtHMACInit(c, &k, VRT_ALG_HMAC2012_256), VRT_SUCCESS);
  EXPECT_EQ(vrtHMACUpdate(nullptr, &m), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACUpdate(c, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACUpdate(c, &no_bytes), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACFinalize(c, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtHMACFinalize(nullptr, mac), VRT_ERROR_INVALID_ARGUMENT);

  // The one-call functions check their arguments and write nothing.
  for (const Alg& a : kAlgs) {
    std::memset(mac, 0xee, sizeof mac);
    EXPECT_EQ(a.one_shot(nullptr, &k, &m), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(a.one_shot(mac, nullptr, &m), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(a.one_shot(mac, &k, nullptr), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(a.one_shot(mac, &no_bytes, &m), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(a.one_shot(mac, &k, &no_bytes), VRT_ERROR_INVALID_ARGUMENT) << a.name;
    EXPECT_EQ(mac[0], 0xee);
    binstr_t empty{0, nullptr};
    EXPECT_EQ(a.one_shot(mac, &empty, &empty), VRT_SUCCESS) << a.name;
  }
}

// True when any 8-byte run of needle occurs in the n bytes at hay.
bool Contains(const void* hay, size_t n, const Bytes& needle) {
  const auto* h = static_cast<const uint8_t*>(hay);
  for (size_t i = 0; i + 8 <= needle.size(); ++i)
    for (size_t j = 0; j + 8 <= n; ++j)
      if (std::memcmp(h + j, needle.data() + i, 8) == 0) return true;
  return false;
}

// The key, and the key under each pad, as they would sit in a key block.
std::vector<Bytes> KeyForms(const Bytes& key, size_t block) {
  Bytes k = key;
  k.resize(block, 0);
  Bytes ki = k, ko = k;
  for (auto& b : ki) b ^= 0x36;
  for (auto& b : ko) b ^= 0x5c;
  return {key, ki, ko};
}

TEST(Hmac, FinalStepLeavesNoKeyInTheContext) {
  for (const Alg& a : kAlgs) {
    Bytes key = RandomBytes(a.block), msg = RandomBytes(50);
    hmac_ctx_t ctx;
    auto* c = reinterpret_cast<uint8_t*>(&ctx);
    binstr_t k = Str(key), m = Str(msg);
    ASSERT_EQ(vrtHMACInit(c, &k, a.id), VRT_SUCCESS);
    // While the stream is open the key block is there (the final step needs
    // it): this is what the check below would find.
    EXPECT_TRUE(Contains(&ctx, sizeof ctx, key)) << a.name;
    ASSERT_EQ(vrtHMACUpdate(c, &m), VRT_SUCCESS);
    Bytes mac(a.digest);
    const uint64_t before = vrt::frame::memreset_requests();
    ASSERT_EQ(vrtHMACFinalize(c, mac.data()), VRT_SUCCESS);
    EXPECT_GT(vrt::frame::memreset_requests(), before) << a.name << ": key bytes wiped with random bytes";
    for (const Bytes& form : KeyForms(key, a.block)) EXPECT_FALSE(Contains(&ctx, sizeof ctx, form)) << a.name;
  }
}

TEST(Hmac, OneCallFunctionsWipeTheirContext) {
  for (const Alg& a : kAlgs) {
    const uint64_t before = vrt::frame::memreset_requests();
    OneShot(a, RandomBytes(32), RandomBytes(10));
    EXPECT_GT(vrt::frame::memreset_requests(), before) << a.name;
  }
}

TEST(Hmac, KeyedFormEqualsTheOneCallFunctions) {
  for (const Alg& a : kAlgs) {
    for (size_t klen : {0, 32, 64, 65, 100}) {
      Bytes key = RandomBytes(klen), x = RandomBytes(33), y = RandomBytes(70), z = RandomBytes(1);
      vrt::hash::HmacKeyed k;
      ASSERT_EQ(vrt::hash::hmac_keyed_init(&k, a.id, key.data(), key.size()), VRT_SUCCESS);
      Bytes all = x;
      all.insert(all.end(), y.begin(), y.end());
      all.insert(all.end(), z.begin(), z.end());
      // Twice with the same set-up: each MAC starts from the keyed states.
      for (int round = 0; round < 2; ++round) {
        Bytes mac(a.digest);
        vrt::hash::hmac_keyed_mac(&k, x.data(), x.size(), y.data(), y.size(), z.data(), z.size(), mac.data());
        EXPECT_EQ(Hex(mac), Hex(OneShot(a, key, all))) << a.name << " key " << klen;
      }
      // The MAC may be written over its first part.
      Bytes inplace = x;
      inplace.resize(std::max(x.size(), a.digest));
      vrt::hash::hmac_keyed_mac(&k, inplace.data(), x.size(), nullptr, 0, nullptr, 0, inplace.data());
      EXPECT_EQ(Hex(inplace.data(), a.digest), Hex(OneShot(a, key, x))) << a.name;
      vrt::hash::hmac_keyed_wipe(&k);
      if (key.size() >= 8) {
        for (const Bytes& form : KeyForms(key, a.block))
          EXPECT_FALSE(Contains(&k, sizeof k, form)) << a.name << " key " << klen;
      }
    }
  }
  vrt::hash::HmacKeyed k;
  EXPECT_EQ(vrt::hash::hmac_keyed_init(&k, VRT_ALG_HASH2012_256, nullptr, 0), VRT_ERROR_UNSUPPORTED);
}

TEST(Hmac, OperationsRecords) {
  EXPECT_EQ(vrtpHmacOpsGost2012_256.digest_size, 32u);
  EXPECT_EQ(vrtpHmacOpsGost2012_256.block_size, 64u);
  EXPECT_EQ(vrtpHmacOpsGost2012_512.digest_size, 64u);
  EXPECT_EQ(vrtpHmacOpsGost2012_512.block_size, 64u);
  EXPECT_EQ(vrtpHmacOpsGost94.digest_size, 32u);
  EXPECT_EQ(vrtpHmacOpsGost94.block_size, 32u);
  EXPECT_EQ(sizeof(hmac_ctx_t), size_t{VRT_HMAC_CTX_SIZE});
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(vrtpHMACIPadding[i], 0x36);
    EXPECT_EQ(vrtpHMACOPadding[i], 0x5c);
  }
}

}  // namespace
