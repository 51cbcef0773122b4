// The GOST 28147-89 context: modes, streaming, lanes, flags, key wiping and
// bad requests.
#include <gtest/gtest.h>

#include <cstring>

#include "frame/bytes.h"
#include "gost89/ctx_helpers.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Ctx;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::NewCtx;
using vrt::test::RandomBytes;
using vrt::test::RunLane;

constexpr uintptr_t kZ = VRT_GOST89_SBOX_TC26_Z;
constexpr uintptr_t kA = VRT_GOST89_SBOX_CRYPTOPRO_A;

// E under a plain key through the block record, for reference values.
Bytes Encrypt1(const Bytes& key, const Bytes& block, uintptr_t sbox = kZ) {
  gost89_key_t k{};
  for (int j = 0; j < 8; ++j) k.key[j] = vrt::load_le32(key.data() + 4 * j);
  Bytes out(8);
  gost89_encrypt_block(block.data(), out.data(), &k, vrtpGost89SboxPointer(sbox));
  return out;
}

Bytes Xor(Bytes a, const Bytes& b) {
  for (size_t i = 0; i < a.size(); ++i) a[i] ^= b[i];
  return a;
}

Bytes Reverse8(Bytes b) {
  for (size_t i = 0; i + 8 <= b.size(); i += 8) std::reverse(b.begin() + i, b.begin() + i + 8);
  return b;
}

const uint32_t kStreamModes[] = {VRT_GOST89_MODE_CTR, VRT_GOST89_MODE_CFB, VRT_GOST89_MODE_MAC};
const uint32_t kAllModes[] = {VRT_GOST89_MODE_ECB, VRT_GOST89_MODE_CBC, VRT_GOST89_MODE_CTR,
                              VRT_GOST89_MODE_CFB, VRT_GOST89_MODE_MAC};

TEST(Gost89Ctx, SelfTestsPass) {
  EXPECT_EQ(gost89_self_test(&vrtpInstance), VRT_SUCCESS);
  EXPECT_EQ(gost89_self_test_NVQ_SBOXes(&vrtpInstance), VRT_SUCCESS);
}

TEST(Gost89Ctx, ContextSizes) {
  EXPECT_EQ(VRT_GOST89_CTX_SIZE(1), 328u);
  EXPECT_EQ(VRT_GOST89_CTX_SIZE(8), 984u);
  // Caller memory of exactly that size serves, with the work area inside it.
  for (uint32_t lanes : {1u, 8u}) {
    std::vector<uint8_t> mem(VRT_GOST89_CTX_SIZE(lanes) + 16);
    auto* ctx = reinterpret_cast<Gost89Ctx*>((reinterpret_cast<uintptr_t>(mem.data()) + 15) & ~uintptr_t{15});
    ASSERT_EQ(vrtGost89CtxInit(ctx, lanes, kZ), VRT_SUCCESS);
    auto* end = reinterpret_cast<uint8_t*>(ctx) + VRT_GOST89_CTX_SIZE(lanes);
    EXPECT_LE(ctx->reg_saved + 8 * lanes, end);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(ctx->keys) % 16, 0u);
  }
}

TEST(Gost89Ctx, CounterStartsFromTheEncryptedIv) {
  Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(16);
  MaskedKey k(key, 0);
  Bytes out = RunLane(kZ, VRT_GOST89_MODE_CTR, true, k.get(), &iv, msg);
  // Counter 1 = E(IV) advanced once by (C2, C1); counter 2 once more.
  Bytes c = Encrypt1(key, iv);
  uint8_t* p = c.data();
  for (int block = 0; block < 2; ++block) {
    vrt::store_le32(p, vrt::load_le32(p) + 0x01010101u);
    uint64_t s = uint64_t{vrt::load_le32(p + 4)} + 0x01010104u;
    vrt::store_le32(p + 4, static_cast<uint32_t>(s + (s >> 32)));
    Bytes want = Xor(Bytes(msg.begin() + 8 * block, msg.begin() + 8 * block + 8), Encrypt1(key, c));
    EXPECT_EQ(Hex(out.data() + 8 * block, 8), Hex(want)) << "block " << block;
  }
}

TEST(Gost89Ctx, CounterAddsC1ModuloTwoToThe32MinusOne) {
  Bytes key = RandomBytes(32), iv = RandomBytes(8);
  MaskedKey k(key, 0);
  struct {
    uint32_t n2, next;
  } const cases[] = {{0xFEFEFEFCu, 1u}, {0xFEFEFEFBu, 0xFFFFFFFFu}, {0, 0x01010104u}, {0xFFFFFFFFu, 0x01010104u}};
  for (const auto& c : cases) {
    Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_CTR);
    ASSERT_EQ(vrtGost89SetStateSimple(ctx.get(), iv.data()), VRT_SUCCESS);
    uint8_t in[8] = {}, out[8];
    ASSERT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), in, out, 8), VRT_SUCCESS);
    // Put the counter where the carry matters and take the next block.
    vrt::store_le32(ctx->reg, 7);
    vrt::store_le32(ctx->reg + 4, c.n2);
    ASSERT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), in, out, 8), VRT_SUCCESS);
    EXPECT_EQ(vrt::load_le32(ctx->reg + 4), c.next) << std::hex << c.n2;
    Bytes counter(8);
    vrt::store_le32(counter.data(), 7 + 0x01010101u);
    vrt::store_le32(counter.data() + 4, c.next);
    EXPECT_EQ(Hex(out, 8), Hex(Encrypt1(key, counter)));
  }
}

TEST(Gost89Ctx, StreamModesTakeAnyCuts) {
  const std::vector<std::vector<size_t>> cuts = {{1}, {3}, {5}, {7}, {1, 3, 5, 7}, {8}, {9, 2}, {64, 1}};
  for (uint32_t mode : kStreamModes) {
    for (size_t len : {1u, 7u, 8u, 9u, 63u, 200u}) {
      Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(len);
      MaskedKey k(key, GOST89_KEY_XOR);
      Bytes whole = RunLane(kA, mode, true, k.get(), &iv, msg);
      for (const auto& c : cuts)
        EXPECT_EQ(Hex(RunLane(kA, mode, true, k.get(), &iv, msg, c)), Hex(whole)) << mode << " len " << len;
      for (size_t n = 0; n < 3; ++n) {
        std::vector<size_t> random_cuts;
        for (int i = 0; i < 50; ++i) random_cuts.push_back(vrt::test::RandomSize(1, 20));
        EXPECT_EQ(Hex(RunLane(kA, mode, true, k.get(), &iv, msg, random_cuts)), Hex(whole));
      }
      if (mode != VRT_GOST89_MODE_MAC) {
        Bytes back = RunLane(kA, mode, false, k.get(), &iv, whole, {3, 5});
        EXPECT_EQ(Hex(back), Hex(msg)) << mode;
      }
    }
  }
}

TEST(Gost89Ctx, MacPadsAPartialBlockWithoutAbsorbingIt) {
  Bytes key = RandomBytes(32), msg = RandomBytes(13);
  MaskedKey k(key, 0);
  Bytes padded = msg;
  padded.resize(16, 0);
  EXPECT_EQ(Hex(RunLane(kZ, VRT_GOST89_MODE_MAC, true, k.get(), nullptr, msg)),
            Hex(RunLane(kZ, VRT_GOST89_MODE_MAC, true, k.get(), nullptr, padded)));
  // The MAC of a prefix, then the rest: the padded block was not absorbed.
  Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_MAC);
  ASSERT_EQ(vrtGost89MACSimple(ctx.get(), k.get(), msg.data(), 13), VRT_SUCCESS);
  Bytes more = RandomBytes(11), all = msg;
  all.insert(all.end(), more.begin(), more.end());
  ASSERT_EQ(vrtGost89MACSimple(ctx.get(), k.get(), more.data(), more.size()), VRT_SUCCESS);
  Bytes mac(8);
  ASSERT_EQ(vrtGost89MACGetValue(ctx.get(), mac.data()), VRT_SUCCESS);
  EXPECT_EQ(Hex(mac), Hex(RunLane(kZ, VRT_GOST89_MODE_MAC, true, k.get(), nullptr, all)));
}

TEST(Gost89Ctx, WholeBlockModesRefusePartialInput) {
  Bytes key = RandomBytes(32), msg = RandomBytes(12);
  MaskedKey k(key, 0);
  for (uint32_t mode : {VRT_GOST89_MODE_ECB, VRT_GOST89_MODE_CBC}) {
    Ctx ctx = NewCtx(1, kZ, mode);
    Bytes out(12, 0x5a);
    EXPECT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), msg.data(), out.data(), 12), VRT_ERROR_LENGTH);
    EXPECT_EQ(vrtGost89DecryptSimple(ctx.get(), k.get(), msg.data(), out.data(), 12), VRT_ERROR_LENGTH);
    EXPECT_EQ(Hex(out), Hex(Bytes(12, 0x5a)));
  }
}

TEST(Gost89Ctx, RequestsWithNothingToDo) {
  Bytes key = RandomBytes(32), buf(8);
  MaskedKey k(key, 0);
  Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_CFB);
  EXPECT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), buf.data(), buf.data(), 0), VRT_ERROR_NO_DATA);
  Gost89Vec d{8, buf.data(), buf.data(), k.get(), nullptr, VRT_VEC_SKIP};
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), &d, 1), VRT_ERROR_NO_DATA);
  EXPECT_EQ(d.len, 8u);
  EXPECT_EQ(d.status & VRT_VEC_FINISHED, VRT_VEC_FINISHED);
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), &d, 0), VRT_ERROR_NO_DATA);
}

TEST(Gost89Ctx, SkippedLaneIsProcessedInTheNextCall) {
  Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(40);
  MaskedKey k(key, 0);
  Bytes want = RunLane(kZ, VRT_GOST89_MODE_CFB, true, k.get(), &iv, msg);
  Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_CFB);
  ASSERT_EQ(vrtGost89SetStateSimple(ctx.get(), iv.data()), VRT_SUCCESS);
  Bytes out(40);
  Gost89Vec d{40, msg.data(), out.data(), k.get(), nullptr, VRT_VEC_SKIP};
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), &d, 1), VRT_ERROR_NO_DATA);
  d.status = 0;
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), &d, 1), VRT_SUCCESS);
  EXPECT_EQ(d.len, 0u);
  EXPECT_EQ(d.status & (VRT_VEC_FINISHED | VRT_VEC_ACTIVE), VRT_VEC_FINISHED | VRT_VEC_ACTIVE);
  EXPECT_EQ(Hex(out), Hex(want));
}

TEST(Gost89Ctx, BadRequestsAreRefused) {
  Bytes key = RandomBytes(32), buf(16);
  MaskedKey k(key, 0);
  Gost89Ctx* c = nullptr;
  EXPECT_EQ(vrtGost89CtxAlloc(&c, 2), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(vrtGost89CtxAllocInitialized(&c, 1, 0), VRT_ERROR_INVALID_ARGUMENT);  // no set
  EXPECT_EQ(c, nullptr);
  // A context whose initialisation failed refuses everything.
  std::vector<uint8_t> mem(VRT_GOST89_CTX_SIZE(8));
  auto* bad = reinterpret_cast<Gost89Ctx*>(mem.data());
  EXPECT_EQ(vrtGost89CtxInit(bad, 4, kZ), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89SetMode(bad, VRT_GOST89_MODE_ECB, 0), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89EncryptSimple(bad, k.get(), buf.data(), buf.data(), 8), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89SetStateSimple(bad, buf.data()), VRT_ERROR_INVALID_ARGUMENT);

  Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_ECB);
  for (uint32_t mode : {0u, 0x01000104u, 0x01000107u, 0x01000100u})
    EXPECT_EQ(vrtGost89SetMode(ctx.get(), mode, 0), VRT_ERROR_INVALID_ARGUMENT) << mode;
  EXPECT_EQ(ctx->mode, VRT_GOST89_MODE_ECB);  // unchanged
  EXPECT_EQ(vrtGost89MACGetValue(ctx.get(), buf.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89MACSimple(ctx.get(), k.get(), buf.data(), 8), VRT_ERROR_UNSUPPORTED);
  Gost89Vec two[2] = {{8, buf.data(), buf.data(), k.get(), nullptr, 0}, {8, buf.data(), buf.data(), k.get(), nullptr, 0}};
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), two, 2), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89SetState(ctx.get(), two, 2), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89EncryptSimple(ctx.get(), nullptr, buf.data(), buf.data(), 8), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), nullptr, buf.data(), 8), VRT_ERROR_INVALID_ARGUMENT);
  MaskedKey short_key(RandomBytes(16), 0);
  EXPECT_EQ(vrtGost89EncryptSimple(ctx.get(), short_key.get(), buf.data(), buf.data(), 8), VRT_ERROR_INVALID_ARGUMENT);
  // No mode: a fresh context refuses requests.
  Gost89Ctx* fresh = nullptr;
  ASSERT_EQ(vrtGost89CtxAllocInitialized(&fresh, 1, kZ), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89EncryptSimple(fresh, k.get(), buf.data(), buf.data(), 8), VRT_ERROR_UNSUPPORTED);
  vrtGost89CtxFree(fresh);
  // Constant wiping is for contexts used before initialisation only.
  EXPECT_EQ(vrtGost89SetMemResetWithConst(ctx.get()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(ctx->const_reset, 0);
  EXPECT_EQ(vrtGost89SetMemResetWithConst(nullptr), VRT_ERROR_INVALID_ARGUMENT);
}

TEST(Gost89Ctx, MaskedKindsAndReversedOrderAgreeWithPlainKeys) {
  Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(64);
  MaskedKey plain(key, 0);
  for (uint32_t mode : kAllModes) {
    Bytes want = RunLane(kA, mode, true, plain.get(), &iv, msg);
    Bytes want_rev = RunLane(kA, mode, true, plain.get(), &iv, msg, {SIZE_MAX}, VRT_GOST89_FLAG_REVERSED);
    for (uint32_t kind : {GOST89_KEY_XOR, GOST89_KEY_ADD, GOST89_KEY_XOR | GOST89_KEY_ADD}) {
      MaskedKey k(key, kind);
      EXPECT_EQ(Hex(RunLane(kA, mode, true, k.get(), &iv, msg)), Hex(want)) << mode << " kind " << kind;
      EXPECT_EQ(Hex(RunLane(kA, mode, true, k.get(), &iv, msg, {SIZE_MAX}, VRT_GOST89_FLAG_REVERSED)),
                Hex(want_rev))
          << mode << " reversed, kind " << kind;
    }
  }
}

TEST(Gost89Ctx, ReversedFlagIsTheByteReversedCipher) {
  // With the flag, encrypting equals encrypting the byte-reversed blocks with
  // the byte-reversed key without it, and reversing the result.
  Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(48);
  Bytes rkey(key.rbegin(), key.rend());
  MaskedKey k(key, 0), rk(rkey, 0);
  for (uint32_t mode : kAllModes) {
    Bytes riv = Reverse8(iv);
    Bytes with = RunLane(kZ, mode, true, k.get(), &iv, msg, {SIZE_MAX}, VRT_GOST89_FLAG_REVERSED);
    Bytes without = RunLane(kZ, mode, true, rk.get(), &riv, Reverse8(msg));
    EXPECT_EQ(Hex(with), Hex(Reverse8(without))) << mode;
  }
}

// Eight lanes, one key, their own IVs and messages, against eight one-lane
// runs; lengths equal, then unequal (the call returns 9 until all are done).
TEST(Gost89Ctx, EightLanesEqualEightSingleLanes) {
  Bytes key = RandomBytes(32);
  MaskedKey k(key, GOST89_KEY_ADD);
  for (uint32_t mode : kAllModes) {
    for (bool equal : {true, false}) {
      const bool whole = mode == VRT_GOST89_MODE_ECB || mode == VRT_GOST89_MODE_CBC;
      std::vector<Bytes> ivs, msgs, outs;
      for (int i = 0; i < 8; ++i) {
        ivs.push_back(RandomBytes(8));
        size_t len = equal ? 256 : (whole ? 8 * (3 + 5 * i) : 13 + 17 * i);
        msgs.push_back(RandomBytes(len));
        outs.emplace_back(mode == VRT_GOST89_MODE_MAC ? 0 : len);
      }
      Ctx ctx = NewCtx(8, kZ, mode);
      Gost89Vec vecs[8];
      for (int i = 0; i < 8; ++i)
        vecs[i] = {msgs[i].size(), msgs[i].data(), outs[i].data(), k.get(), ivs[i].data(), 0};
      ASSERT_EQ(vrtGost89SetState(ctx.get(), vecs, 8), VRT_SUCCESS);
      auto request = mode == VRT_GOST89_MODE_MAC ? vrtGost89MAC : vrtGost89Encrypt;
      uint32_t st;
      int calls = 0;
      while ((st = request(ctx.get(), vecs, 8)) == VRT_ERROR_NO_DATA && ++calls < 100) {
      }
      ASSERT_EQ(st, VRT_SUCCESS) << mode;
      if (!equal) {
        EXPECT_GT(calls, 0);  // the shortest lane ended the first call
      }
      Bytes macs(64);
      if (mode == VRT_GOST89_MODE_MAC) {
        ASSERT_EQ(vrtGost89MACGetValue(ctx.get(), macs.data()), VRT_SUCCESS);
      }
      for (int i = 0; i < 8; ++i) {
        Bytes single = RunLane(kZ, mode, true, k.get(), &ivs[i], msgs[i]);
        const std::string got = mode == VRT_GOST89_MODE_MAC ? Hex(macs.data() + 8 * i, 8) : Hex(outs[i]);
        EXPECT_EQ(got, Hex(single)) << mode << " lane " << i << (equal ? "" : " unequal");
      }
    }
  }
}

TEST(Gost89Ctx, LanesWithDifferentKeysAreRefused) {
  Bytes buf(64);
  MaskedKey a(RandomBytes(32), 0), b(RandomBytes(32), 0);
  Ctx ctx = NewCtx(8, kZ, VRT_GOST89_MODE_ECB);
  Gost89Vec vecs[8];
  for (int i = 0; i < 8; ++i) vecs[i] = {8, buf.data() + 8 * i, buf.data() + 8 * i, i == 5 ? b.get() : a.get(), nullptr, 0};
  Bytes before = buf;
  EXPECT_EQ(vrtGost89Encrypt(ctx.get(), vecs, 8), VRT_ERROR_BAD_PARAMETERS);
  EXPECT_EQ(Hex(buf), Hex(before));
}

// After a call no word of the key, of its stored form or of its mask is left
// anywhere in the context.
void ExpectNoKeyWords(const Gost89Ctx* ctx, uint32_t lanes, const std::vector<const uint8_t*>& secrets) {
  const auto* mem = reinterpret_cast<const uint8_t*>(ctx);
  const size_t size = VRT_GOST89_CTX_SIZE(lanes);
  for (const uint8_t* s : secrets)
    for (int w = 0; w < 8; ++w)
      for (size_t off = 0; off + 4 <= size; ++off)
        ASSERT_NE(std::memcmp(mem + off, s + 4 * w, 4), 0) << "key word " << w << " at offset " << off;
}

TEST(Gost89Ctx, KeysAreWipedAfterEveryCall) {
  for (uint32_t kind : {0u, GOST89_KEY_XOR, GOST89_KEY_ADD}) {
    for (uint32_t lanes : {1u, 8u}) {
      for (uint32_t mode : kAllModes) {
        Bytes key = RandomBytes(32), iv = RandomBytes(8), msg = RandomBytes(64 * lanes), out(64 * lanes);
        MaskedKey k(key, kind);
        Ctx ctx = NewCtx(lanes, kZ, mode, kind == GOST89_KEY_ADD ? VRT_GOST89_FLAG_REVERSED : 0);
        std::vector<Gost89Vec> vecs(lanes);
        for (uint32_t i = 0; i < lanes; ++i) vecs[i] = {64, msg.data() + 64 * i, out.data() + 64 * i, k.get(), iv.data(), 0};
        ASSERT_EQ(vrtGost89SetState(ctx.get(), vecs.data(), lanes), VRT_SUCCESS);
        uint32_t st = mode == VRT_GOST89_MODE_MAC ? vrtGost89MAC(ctx.get(), vecs.data(), lanes)
                                                  : vrtGost89Encrypt(ctx.get(), vecs.data(), lanes);
        ASSERT_EQ(st, VRT_SUCCESS);
        std::vector<const uint8_t*> secrets = {key.data(), k.get()->key.data};
        if (kind != 0) secrets.push_back(k.get()->mask.data);
        ExpectNoKeyWords(ctx.get(), lanes, secrets);
      }
    }
  }
}

TEST(Gost89Ctx, ConstantWipeFillsTheKeyWordsWith0xEE) {
  Bytes key = RandomBytes(32), msg = RandomBytes(16), out(16);
  MaskedKey k(key, GOST89_KEY_XOR);
  Ctx ctx = NewCtx(1, kZ, VRT_GOST89_MODE_ECB);
  ctx->const_reset = 1;  // what vrtGost89SetMemResetWithConst does before initialisation
  ASSERT_EQ(vrtGost89EncryptSimple(ctx.get(), k.get(), msg.data(), out.data(), 16), VRT_SUCCESS);
  EXPECT_EQ(Hex(ctx->keys[0].key, 32), std::string(64, 'e'));
  EXPECT_EQ(Hex(ctx->keys[0].mask, 32), std::string(64, 'e'));
  ExpectNoKeyWords(ctx.get(), 1, {key.data(), k.get()->key.data, k.get()->mask.data});
}

}  // namespace
