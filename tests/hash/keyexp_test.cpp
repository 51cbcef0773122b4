// KExp15 / KImp15 over both ciphers and the TC26 key wrap: the published
// exports, round trips on random keys of every record kind, every changed
// byte of an export or a wrapped key refused with the output record left as
// it was, size queries and length statuses, and key hygiene.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

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
using vrt::test::RandomSize;

// The plain key of a record.
Bytes Plain(const genkey_t* g) {
  Bytes out(g->key.length);
  genkey_t view{};
  __binstr_init(&view.key, out.data(), out.size());
  genkey_unmask_to(g, &view);
  return out;
}

// Everything a record holds (stored key, filler, mask), to see that a call
// left it as it was.
Bytes Everything(const genkey_t* g) {
  const size_t n = g->kind != 0 ? 2 * g->key.length + VRT_GENKEY_FILLER_SIZE : g->key.length;
  return Bytes(g->key.data, g->key.data + n);
}

// An output record of n bytes of the given kind with a random mask and a
// random stored value.
struct OutKey {
  genkey_t g{};
  OutKey(size_t n, uint32_t kind) {
    EXPECT_EQ(genkey_alloc(&g, n, kind), VRT_SUCCESS);
    Bytes junk = RandomBytes(n), mask = RandomBytes(n);
    binstr_t j, m;
    __binstr_init(&j, junk.data(), n);
    __binstr_init(&m, mask.data(), n);
    EXPECT_EQ(genkey_load(&g, &j, kind != 0 ? &m : nullptr), VRT_SUCCESS);
  }
  ~OutKey() { genkey_free(&g); }
};

struct Kexp {
  size_t n;        // block size
  size_t iv_len;   // n / 2 as the recommendation uses it
};
const Kexp kCiphers[] = {{8, 4}, {16, 8}};

Bytes Export(const genkey_t* key, const genkey_t* enc, const genkey_t* mac, const Bytes& iv, size_t n) {
  uint64_t len = 0;
  EXPECT_EQ(vrtKExp15(key, enc, mac, iv.data(), iv.size(), n, nullptr, &len), VRT_SUCCESS);
  EXPECT_EQ(len, key->key.length + n);
  Bytes out(len);
  EXPECT_EQ(vrtKExp15(key, enc, mac, iv.data(), iv.size(), n, out.data(), &len), VRT_SUCCESS);
  return out;
}

uint32_t Import(const Bytes& exported, const genkey_t* enc, const genkey_t* mac, const Bytes& iv, size_t n,
                genkey_t* out) {
  return vrtKImp15(exported.data(), exported.size(), enc, mac, iv.data(), iv.size(), n, out);
}

TEST(KExp15, PublishedExamples) {
  int cases = 0;
  vrt::test::FileTestRun("hash/kexp15.txt", [&](FileTest& t) {
    const size_t n = t.GetInt("BlockSize");
    Bytes key = t.GetBytes("Key"), iv = t.GetBytes("IV"), want = t.GetBytes("Export");
    MaskedKey k(key), enc(t.GetBytes("EncKey"), GOST89_KEY_ADD), mac(t.GetBytes("MacKey"), 0);
    EXPECT_EQ(Hex(Export(k.get(), enc.get(), mac.get(), iv, n)), Hex(want));
    // The import: a size query on an empty record, then into a record of
    // that size.
    genkey_t query{};
    ASSERT_EQ(Import(want, enc.get(), mac.get(), iv, n, &query), VRT_SUCCESS);
    EXPECT_EQ(query.key.length, key.size());
    OutKey out(query.key.length, GOST89_KEY_XOR);
    ASSERT_EQ(Import(want, enc.get(), mac.get(), iv, n, &out.g), VRT_SUCCESS);
    EXPECT_EQ(Hex(Plain(&out.g)), Hex(key));
    EXPECT_NE(Hex(out.g.key.data, key.size()), Hex(key)) << "the imported key is stored masked";
    ++cases;
  });
  EXPECT_EQ(cases, 2);
}

TEST(KExp15, SelfTestPasses) { EXPECT_EQ(KeyDistribution_self_test(&vrtpInstance), VRT_SUCCESS); }

TEST(KExp15, RoundTripsOnRandomKeysOfEveryKindAndLength) {
  for (const Kexp& c : kCiphers) {
    for (size_t klen : {1, 15, 16, 31, 32, 33, 64, 100}) {
      for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
        Bytes key = RandomBytes(klen), iv = RandomBytes(c.iv_len);
        MaskedKey k(key, kind), enc(RandomBytes(32), kind), mac(RandomBytes(32), GOST89_KEY_XOR);
        Bytes e = Export(k.get(), enc.get(), mac.get(), iv, c.n);
        ASSERT_EQ(e.size(), klen + c.n);
        OutKey out(klen, kind);
        ASSERT_EQ(Import(e, enc.get(), mac.get(), iv, c.n, &out.g), VRT_SUCCESS) << c.n << " " << klen;
        EXPECT_EQ(Hex(Plain(&out.g)), Hex(key)) << c.n << " " << klen << " kind " << kind;
        // The masked record was read, not changed.
        EXPECT_EQ(Hex(Plain(k.get())), Hex(key));
      }
    }
  }
}

TEST(KExp15, EveryChangedByteIsRefusedAndTheRecordLeftAsItWas) {
  for (const Kexp& c : kCiphers) {
    Bytes key = RandomBytes(32), iv = RandomBytes(c.iv_len);
    MaskedKey k(key), enc(RandomBytes(32)), mac(RandomBytes(32));
    const Bytes good = Export(k.get(), enc.get(), mac.get(), iv, c.n);
    OutKey out(32, GOST89_KEY_XOR);
    const Bytes before = Everything(&out.g);
    for (size_t i = 0; i < good.size(); ++i) {
      for (uint8_t delta : {uint8_t{0x01}, uint8_t{0x80}, static_cast<uint8_t>(RandomSize(1, 255))}) {
        Bytes bad = good;
        bad[i] ^= delta;
        ASSERT_EQ(Import(bad, enc.get(), mac.get(), iv, c.n, &out.g), VRT_ERROR_FAILED) << c.n << " byte " << i;
        ASSERT_EQ(Hex(Everything(&out.g)), Hex(before)) << c.n << " byte " << i;
      }
    }
    // Another IV or MAC key: refused alike.
    Bytes iv2 = iv;
    iv2[0] ^= 1;
    EXPECT_EQ(Import(good, enc.get(), mac.get(), iv2, c.n, &out.g), VRT_ERROR_FAILED);
    MaskedKey other(RandomBytes(32));
    EXPECT_EQ(Import(good, enc.get(), other.get(), iv, c.n, &out.g), VRT_ERROR_FAILED);
    EXPECT_EQ(Hex(Everything(&out.g)), Hex(before));
    ASSERT_EQ(Import(good, enc.get(), mac.get(), iv, c.n, &out.g), VRT_SUCCESS);
  }
}

TEST(KExp15, SizeQueriesAndLengthStatuses) {
  for (const Kexp& c : kCiphers) {
    Bytes key = RandomBytes(32), iv = RandomBytes(c.iv_len);
    MaskedKey k(key), enc(RandomBytes(32)), mac(RandomBytes(32));
    const size_t T = 32 + c.n;
    Bytes out(T + 1, 0xee);
    for (uint64_t wrong : {uint64_t{0}, uint64_t{T - 1}, uint64_t{T + 1}, uint64_t{32}}) {
      uint64_t len = wrong;
      EXPECT_EQ(vrtKExp15(k.get(), enc.get(), mac.get(), iv.data(), iv.size(), c.n, out.data(), &len),
                VRT_ERROR_LENGTH)
          << wrong;
      EXPECT_EQ(len, wrong);
    }
    EXPECT_EQ(out[0], 0xee) << "a refused export wrote";
    const Bytes good = Export(k.get(), enc.get(), mac.get(), iv, c.n);
    for (size_t klen : {31u, 33u}) {
      OutKey wrong(klen, GOST89_KEY_XOR);
      const Bytes before = Everything(&wrong.g);
      EXPECT_EQ(Import(good, enc.get(), mac.get(), iv, c.n, &wrong.g), VRT_ERROR_LENGTH) << klen;
      EXPECT_EQ(Hex(Everything(&wrong.g)), Hex(before));
    }
    // An export no longer than the tag holds no key.
    genkey_t query{};
    for (size_t len : {c.n, c.n - 1, size_t{1}}) {
      Bytes shorter(good.begin(), good.begin() + static_cast<long>(len));
      EXPECT_EQ(Import(shorter, enc.get(), mac.get(), iv, c.n, &query), VRT_ERROR_LENGTH) << len;
    }
    EXPECT_EQ(query.key.length, 0u);
    // The query of a one-byte key.
    Bytes one(good.begin(), good.begin() + static_cast<long>(c.n + 1));
    EXPECT_EQ(Import(one, enc.get(), mac.get(), iv, c.n, &query), VRT_SUCCESS);
    EXPECT_EQ(query.key.length, 1u);
  }
}

TEST(KExp15, RefusesMissingArgumentsAndOtherBlockSizes) {
  Bytes key = RandomBytes(32), iv = RandomBytes(8);
  MaskedKey k(key), enc(RandomBytes(32)), mac(RandomBytes(32));
  genkey_t empty{};
  const Bytes good = Export(k.get(), enc.get(), mac.get(), iv, 16);
  uint64_t len = 48;
  Bytes out(48, 0xee);
  auto exp = [&](const genkey_t* kk, const genkey_t* e, const genkey_t* m, const uint8_t* v, uint64_t vl,
                 uint64_t n, uint64_t* l) { return vrtKExp15(kk, e, m, v, vl, n, out.data(), l); };
  EXPECT_EQ(exp(nullptr, enc.get(), mac.get(), iv.data(), 8, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(&empty, enc.get(), mac.get(), iv.data(), 8, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(k.get(), nullptr, mac.get(), iv.data(), 8, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(k.get(), enc.get(), &empty, iv.data(), 8, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(k.get(), enc.get(), mac.get(), nullptr, 8, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(k.get(), enc.get(), mac.get(), iv.data(), 0, 16, &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(exp(k.get(), enc.get(), mac.get(), iv.data(), 8, 16, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  for (uint64_t n : {0u, 4u, 12u, 32u})
    EXPECT_EQ(exp(k.get(), enc.get(), mac.get(), iv.data(), 8, n, &len), VRT_ERROR_INVALID_ARGUMENT) << n;
  EXPECT_EQ(out[0], 0xee);
  EXPECT_EQ(len, 48u);
  OutKey dst(32, GOST89_KEY_XOR);
  const Bytes before = Everything(&dst.g);
  auto imp = [&](const uint8_t* e, uint64_t el, const genkey_t* ek, const genkey_t* mk, const uint8_t* v,
                 uint64_t vl, uint64_t n, genkey_t* o) { return vrtKImp15(e, el, ek, mk, v, vl, n, o); };
  EXPECT_EQ(imp(nullptr, 48, enc.get(), mac.get(), iv.data(), 8, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 0, enc.get(), mac.get(), iv.data(), 8, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, &empty, mac.get(), iv.data(), 8, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, enc.get(), nullptr, iv.data(), 8, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, enc.get(), mac.get(), nullptr, 8, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, enc.get(), mac.get(), iv.data(), 0, 16, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, enc.get(), mac.get(), iv.data(), 8, 16, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(imp(good.data(), 48, enc.get(), mac.get(), iv.data(), 8, 32, &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(Hex(Everything(&dst.g)), Hex(before));
}

// ---- TC26 key wrap ----

Bytes Wrap(const Bytes& ukm, const genkey_t* kek, const genkey_t* key) {
  uint64_t len = 0;
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), ukm.size(), kek, key, nullptr, &len), VRT_SUCCESS);
  EXPECT_EQ(len, ukm.size() + 36);
  Bytes out(len + 3, 0xee);
  len = out.size();
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), ukm.size(), kek, key, out.data(), &len), VRT_SUCCESS);
  EXPECT_EQ(len, ukm.size() + 36) << "the length written";
  EXPECT_EQ(out[ukm.size() + 36], 0xee) << "wrote past the wrapped key";
  out.resize(ukm.size() + 36);
  return out;
}

// The format from the public pieces: the UKM, the key in ECB under
// KDF(KEK, 26 bd b8 78, UKM), 4 bytes of the GOST 28147-89 MAC with the
// first 8 UKM bytes as IV, all on the tc26 Z set.
Bytes WrapModel(const Bytes& ukm, const Bytes& kek, const Bytes& key) {
  MaskedKey k(kek);
  const uint8_t label[4] = {0x26, 0xbd, 0xb8, 0x78};
  Bytes kek_ukm(32);
  EXPECT_EQ(vrtKDF256(k.get(), label, 4, ukm.data(), ukm.size(), kek_ukm.data()), VRT_SUCCESS);
  MaskedKey d(kek_ukm);
  Gost89Ctx* ctx = nullptr;
  EXPECT_EQ(vrtGost89CtxAllocInitialized(&ctx, 1, VRT_GOST89_SBOX_TC26_Z), VRT_SUCCESS);
  Bytes enc(32), mac(8);
  EXPECT_EQ(vrtGost89SetMode(ctx, VRT_GOST89_MODE_ECB, 0), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89EncryptSimple(ctx, d.get(), key.data(), enc.data(), 32), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SetMode(ctx, VRT_GOST89_MODE_MAC, 0), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SetStateSimple(ctx, ukm.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89MACSimple(ctx, d.get(), key.data(), 32), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89MACGetValue(ctx, mac.data()), VRT_SUCCESS);
  vrtGost89CtxFree(ctx);
  Bytes out = ukm;
  out.insert(out.end(), enc.begin(), enc.end());
  out.insert(out.end(), mac.begin(), mac.begin() + 4);
  return out;
}

TEST(KeyWrapTC26, MatchesTheModelAndRoundTripsForEveryUkmLengthAndKind) {
  for (size_t u = 8; u <= 16; ++u) {
    for (uint32_t kind : {GOST89_KEY_XOR, GOST89_KEY_ADD}) {
      Bytes kek = RandomBytes(32), key = RandomBytes(32), ukm = RandomBytes(u);
      MaskedKey kk(kek, kind == GOST89_KEY_XOR ? 0 : kind), k(key, kind);
      Bytes w = Wrap(ukm, kk.get(), k.get());
      EXPECT_EQ(Hex(w), Hex(WrapModel(ukm, kek, key))) << "UKM " << u;
      OutKey out(32, kind);
      ASSERT_EQ(vrtKeyUnwrapTC26(kk.get(), w.data(), w.size(), &out.g), VRT_SUCCESS) << u;
      EXPECT_EQ(Hex(Plain(&out.g)), Hex(key)) << u;
      EXPECT_NE(Hex(out.g.key.data, 32), Hex(key)) << "the unwrapped key is stored masked";
    }
  }
}

TEST(KeyWrapTC26, EveryChangedByteIsRefusedAndTheRecordLeftAsItWas) {
  for (size_t u : {8u, 13u, 16u}) {
    Bytes kek = RandomBytes(32), key = RandomBytes(32), ukm = RandomBytes(u);
    MaskedKey kk(kek), k(key);
    const Bytes good = Wrap(ukm, kk.get(), k.get());
    OutKey out(32, GOST89_KEY_XOR);
    const Bytes before = Everything(&out.g);
    for (size_t i = 0; i < good.size(); ++i) {
      for (uint8_t delta : {uint8_t{0x01}, uint8_t{0x80}, static_cast<uint8_t>(RandomSize(1, 255))}) {
        Bytes bad = good;
        bad[i] ^= delta;
        ASSERT_EQ(vrtKeyUnwrapTC26(kk.get(), bad.data(), bad.size(), &out.g), VRT_ERROR_FAILED) << u << " byte " << i;
        ASSERT_EQ(Hex(Everything(&out.g)), Hex(before)) << "an unauthenticated key reached the record, byte " << i;
      }
    }
    MaskedKey other(RandomBytes(32));
    EXPECT_EQ(vrtKeyUnwrapTC26(other.get(), good.data(), good.size(), &out.g), VRT_ERROR_FAILED);
    EXPECT_EQ(Hex(Everything(&out.g)), Hex(before));
  }
}

TEST(KeyWrapTC26, SizeQueriesAndRefusals) {
  Bytes kek = RandomBytes(32), key = RandomBytes(32), ukm = RandomBytes(17);
  MaskedKey kk(kek), k(key), plain_key(key, 0), short_key(RandomBytes(31));
  Bytes out(60, 0xee);
  for (size_t u = 8; u <= 16; ++u) {
    uint64_t len = 0;
    EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), u, kk.get(), k.get(), out.data(), &len), VRT_SUCCESS) << "*out_len 0";
    EXPECT_EQ(len, u + 36);
    len = 1000;
    EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), u, kk.get(), k.get(), nullptr, &len), VRT_SUCCESS);
    EXPECT_EQ(len, u + 36);
    len = u + 35;
    EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), u, kk.get(), k.get(), out.data(), &len), VRT_ERROR_BUFFER_TOO_SMALL) << u;
    EXPECT_EQ(len, u + 35);
  }
  EXPECT_EQ(out[0], 0xee);
  uint64_t len = 60;
  for (size_t u : {0u, 7u, 17u})
    EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), u, kk.get(), k.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT) << u;
  EXPECT_EQ(vrtKeyWrapTC26(nullptr, 8, kk.get(), k.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, nullptr, k.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, kk.get(), nullptr, out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, kk.get(), k.get(), out.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
  // A record without a mask, or of another length (it would not fit the
  // 32-byte key the wrap holds).
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, kk.get(), plain_key.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, kk.get(), short_key.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(out[0], 0xee);
  genkey_t empty{};
  EXPECT_EQ(vrtKeyWrapTC26(ukm.data(), 8, &empty, k.get(), out.data(), &len), VRT_ERROR_INVALID_ARGUMENT);

  const Bytes good = Wrap(Bytes(ukm.begin(), ukm.begin() + 8), kk.get(), k.get());
  OutKey dst(32, GOST89_KEY_ADD);
  const Bytes before = Everything(&dst.g);
  Bytes longer(60, 0);
  for (size_t n : {0u, 43u, 53u, 60u})
    EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), longer.data(), n, &dst.g), VRT_ERROR_INVALID_ARGUMENT) << n;
  EXPECT_EQ(vrtKeyUnwrapTC26(nullptr, good.data(), good.size(), &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), nullptr, good.size(), &dst.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), good.data(), good.size(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
  OutKey plain_out(32, 0), short_out(16, GOST89_KEY_XOR);
  EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), good.data(), good.size(), &plain_out.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), good.data(), good.size(), &short_out.g), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(Hex(Everything(&dst.g)), Hex(before));
  EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), good.data(), good.size(), &dst.g), VRT_SUCCESS);
  EXPECT_EQ(Hex(Plain(&dst.g)), Hex(key));
}

// ---- hygiene ----

// Whether fresh heap blocks of the given sizes (served from what the call
// just freed) hold an 8-byte piece of the key.
bool FreedBlocksHold(const Bytes& key, std::initializer_list<size_t> sizes) {
  bool found = false;
  std::vector<void*> blocks;
  for (size_t n : sizes) {
    for (int i = 0; i < 4; ++i) {
      auto* p = static_cast<uint8_t*>(std::malloc(n));
      blocks.push_back(p);
      for (size_t off = 0; off + 8 <= key.size(); off += 4)
        for (size_t at = 0; at + 8 <= n; ++at)
          if (std::memcmp(p + at, key.data() + off, 8) == 0) found = true;
    }
  }
  for (void* p : blocks) std::free(p);
  return found;
}

TEST(KeyExportHygiene, TemporariesAreWipedBeforeTheyAreFreed) {
  for (const Kexp& c : kCiphers) {
    Bytes key = RandomBytes(32), iv = RandomBytes(c.iv_len);
    MaskedKey k(key), enc(RandomBytes(32)), mac(RandomBytes(32));
    uint64_t before = vrt::frame::memreset_requests();
    Bytes e = Export(k.get(), enc.get(), mac.get(), iv, c.n);
    EXPECT_GT(vrt::frame::memreset_requests(), before);
    EXPECT_FALSE(FreedBlocksHold(key, {c.iv_len + 32, 32 + c.n, c.n})) << "export, n = " << c.n;
    OutKey out(32, GOST89_KEY_XOR);
    before = vrt::frame::memreset_requests();
    ASSERT_EQ(Import(e, enc.get(), mac.get(), iv, c.n, &out.g), VRT_SUCCESS);
    EXPECT_GT(vrt::frame::memreset_requests(), before);
    EXPECT_FALSE(FreedBlocksHold(key, {32 + c.n, c.iv_len + 32, c.n})) << "import, n = " << c.n;
    // A refused import wipes the decrypted key too.
    e[3] ^= 1;
    Bytes changed = key;
    changed[3] ^= 1;  // what the decryption gives for that change (CTR)
    ASSERT_EQ(Import(e, enc.get(), mac.get(), iv, c.n, &out.g), VRT_ERROR_FAILED);
    EXPECT_FALSE(FreedBlocksHold(changed, {32 + c.n, c.iv_len + 32, c.n})) << "refused import, n = " << c.n;
  }
}

TEST(KeyExportHygiene, WrapAndUnwrapWipeTheirKeyEncryptionKey) {
  Bytes kek = RandomBytes(32), key = RandomBytes(32), ukm = RandomBytes(8);
  MaskedKey kk(kek), k(key);
  const uint8_t label[4] = {0x26, 0xbd, 0xb8, 0x78};
  Bytes kek_ukm(32);
  ASSERT_EQ(vrtKDF256(kk.get(), label, 4, ukm.data(), ukm.size(), kek_ukm.data()), VRT_SUCCESS);
  uint64_t before = vrt::frame::memreset_requests();
  Bytes w = Wrap(ukm, kk.get(), k.get());
  EXPECT_GT(vrt::frame::memreset_requests(), before);
  EXPECT_FALSE(FreedBlocksHold(kek_ukm, {32})) << "KEK(UKM) left by the wrap";
  OutKey out(32, GOST89_KEY_XOR);
  for (int change = 0; change < 2; ++change) {
    before = vrt::frame::memreset_requests();
    Bytes in = w;
    in[in.size() - 1] ^= static_cast<uint8_t>(change);
    EXPECT_EQ(vrtKeyUnwrapTC26(kk.get(), in.data(), in.size(), &out.g), change ? VRT_ERROR_FAILED : VRT_SUCCESS);
    EXPECT_GT(vrt::frame::memreset_requests(), before);
    EXPECT_FALSE(FreedBlocksHold(kek_ukm, {32})) << "KEK(UKM) left by the unwrap";
  }
}

TEST(KeyExportHygiene, ImportDecisionCopiesOnlyOnAgreement) {
  Bytes plain = RandomBytes(32), tag = RandomBytes(16), out = RandomBytes(32);
  const Bytes old = out;
  Bytes other = tag;
  other[15] ^= 0x40;
  EXPECT_EQ(vrt::hash::copy_if_tags_match(out.data(), plain.data(), 32, tag.data(), other.data(), 16),
            VRT_ERROR_FAILED);
  EXPECT_EQ(Hex(out), Hex(old));
  EXPECT_EQ(vrt::hash::copy_if_tags_match(out.data(), plain.data(), 32, tag.data(), tag.data(), 16), VRT_SUCCESS);
  EXPECT_EQ(Hex(out), Hex(plain));
}

}  // namespace
