// The cipher context and its modes: the published mode examples, the
// register and counter rules against a plain model, the request check, the
// continuation of the register across calls, and key hygiene.
#include <gtest/gtest.h>

#include <cstddef>
#include <algorithm>
#include <cstring>
#include <vector>

#include "cipher15/internal.h"
#include "cipher15/modes_helpers.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Crypt;
using vrt::test::Ctx15;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::MaskedKey;
using vrt::test::Model;
using vrt::test::NewCtx15;
using vrt::test::OutputLength;
using vrt::test::RandomBytes;
using vrt::test::RandomSize;
using vrt::test::Vec;

const uint32_t kKinds[] = {0u, GOST89_KEY_XOR, GOST89_KEY_ADD};
const size_t kBlockSizes[] = {16, 8};

static_assert(sizeof(Gost15Vec) == 88, "eleven 8-byte fields");
static_assert(offsetof(Gost15Vec, iv_len) == 40 && offsetof(Gost15Vec, chain_flags) == 72 &&
                  offsetof(Gost15Vec, status) == 80,
              "descriptor layout");

TEST(Gost15Modes, PublishedExamples) {
  vrt::test::FileTestRun("cipher15/modes.txt", [](FileTest& t) {
    const size_t n = t.GetText("Cipher") == "kuznyechik" ? 16 : 8;
    const uint32_t mode = vrt::test::ModeFromName(t.GetText("Mode"));
    const Bytes key = t.GetBytes("Key"), pt = t.GetBytes("Plaintext"), ct = t.GetBytes("Ciphertext");
    const Bytes iv = t.Has("IV") ? t.GetBytes("IV") : Bytes();
    for (uint32_t kind : kKinds) {
      MaskedKey k(key, kind);
      EXPECT_EQ(Hex(Crypt(n, mode, true, k.get(), iv, pt)), Hex(ct)) << "kind " << kind;
      EXPECT_EQ(Hex(Crypt(n, mode, false, k.get(), iv, ct)), Hex(pt)) << "kind " << kind;
    }
    MaskedKey k(key, GOST89_KEY_XOR);
    // In place, and through the private-context helpers.
    Ctx15 ctx = NewCtx15(n, mode);
    Bytes buf = pt;
    ASSERT_EQ(vrtGost15EncryptSimple(ctx.get(), k.get(), buf.data(), buf.data(), buf.size(), iv.data(), iv.size()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(buf), Hex(ct));
    ASSERT_EQ(vrtGost15DecryptSimple(ctx.get(), k.get(), buf.data(), buf.data(), buf.size(), iv.data(), iv.size()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(buf), Hex(pt));
    Bytes out(ct.size());
    ASSERT_EQ(gost15_encrypt_example(pt.data(), pt.size(), k.get(), iv.data(), iv.size(), mode,
                                     static_cast<uint32_t>(n), 0, out.data()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(ct));
    ASSERT_EQ(gost15_decrypt_example(ct.data(), ct.size(), k.get(), iv.data(), iv.size(), mode,
                                     static_cast<uint32_t>(n), 0, out.data()),
              VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(pt));
    // Every prefix the mode can take ends in the final step at a different
    // place: each must give the prefix of the ciphertext.
    const size_t step = vrt::test::Padded(mode) ? n : 1;
    for (size_t len = step; len < pt.size(); len += step) {
      const Bytes p(pt.begin(), pt.begin() + len), c(ct.begin(), ct.begin() + len);
      EXPECT_EQ(Hex(Crypt(n, mode, true, k.get(), iv, p)), Hex(c)) << len << " bytes";
      EXPECT_EQ(Hex(Crypt(n, mode, false, k.get(), iv, c)), Hex(p)) << len << " bytes";
    }
  });
}

// The register of CBC, CFB and OFB at every length a mode takes, the
// counter, and ECB, against the plain model on random keys and messages.
TEST(Gost15Modes, EveryModeMatchesThePlainModel) {
  for (size_t n : kBlockSizes) {
    struct Case {
      uint32_t mode;
      std::vector<size_t> iv_lengths;
    };
    const Case cases[] = {
        {VRT_GOST15_MODE_ECB, {0}},
        {VRT_GOST15_MODE_CTR, {n / 2, n, 3 * n}},
        {VRT_GOST15_MODE_CBC, {n, 2 * n, 3 * n, 240}},
        {VRT_GOST15_MODE_OFB, {n, 2 * n, 3 * n, 240}},
        // The register need not be whole blocks: a block's IV block may
        // start inside the IV and end inside the data.
        {VRT_GOST15_MODE_CFB, {n, n + 1, 20, 2 * n + 3, 3 * n, 255}},
    };
    for (const Case& c : cases) {
      for (size_t m : c.iv_lengths) {
        for (size_t len : vrt::test::AwkwardLengths(n)) {
          if (len == 0) continue;
          const Bytes key = RandomBytes(32), iv = RandomBytes(m), msg = RandomBytes(len);
          const Model model(n, key);
          MaskedKey k(key, GOST89_KEY_ADD);
          SCOPED_TRACE(std::string(vrt::test::NameOf(c.mode)) + " n=" + std::to_string(n) + " m=" +
                       std::to_string(m) + " len=" + std::to_string(len));
          const Bytes ct = Crypt(n, c.mode, true, k.get(), iv, msg);
          ASSERT_EQ(Hex(ct), Hex(model.Run(c.mode, true, iv, msg)));
          // Padded modes decrypt whole blocks; the rest any length.
          const Bytes back = Crypt(n, c.mode, false, k.get(), iv, ct);
          Bytes want = msg;
          if (vrt::test::Padded(c.mode)) want.resize(ct.size(), 0);
          ASSERT_EQ(Hex(back), Hex(want));
        }
      }
    }
  }
}

TEST(Gost15Modes, CfbRegisterOfTwentyBytes) {
  // The second block's IV block is the last 4 IV bytes and the first 12
  // bytes of the first ciphertext block.
  const Bytes key = RandomBytes(32), iv = RandomBytes(20), msg = RandomBytes(32);
  MaskedKey k(key, GOST89_KEY_XOR);
  const Bytes ct = Crypt(16, VRT_GOST15_MODE_CFB, true, k.get(), iv, msg);
  const Model model(16, key);
  Bytes r2(iv.begin() + 16, iv.end());
  r2.insert(r2.end(), ct.begin(), ct.begin() + 12);
  const Bytes g2 = model.E(r2);
  Bytes c2(16);
  for (size_t i = 0; i < 16; ++i) c2[i] = msg[16 + i] ^ g2[i];
  EXPECT_EQ(Hex(ct.data() + 16, 16), Hex(c2));
}

TEST(Gost15Modes, Ctr15CarriesBigEndian) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"0000000000000000", "0000000000000001"},
      {"00000000000000ff", "0000000000000100"},
      {"12ffffffffffffff", "1300000000000000"},
      {"ffffffffffffffff", "0000000000000000"},
      {"0000000000000000ffffffffffffffff", "00000000000000010000000000000000"},
      {"ffffffffffffffffffffffffffffffff", "00000000000000000000000000000000"},
      {"000102030405060708090a0b0c0d0eff", "000102030405060708090a0b0c0d0f00"},
      {"00ffff", "010000"},
  };
  for (const Case& c : cases) {
    Bytes b = vrt::test::FromHex(c.in);
    CTR15(b.data(), b.size());
    EXPECT_EQ(Hex(b), c.out) << c.in;
  }
}

// A counter whose low half is all ones carries into the high half; the
// caller hands a whole counter block with the full-counter flag.
TEST(Gost15Modes, WholeCounterBlockCarriesAcrossItsHalves) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), msg = RandomBytes(5 * n + 3);
    Bytes counter = RandomBytes(n);
    for (size_t i = n / 2; i < n; ++i) counter[i] = 0xff;
    counter[n - 1] = 0xfe;
    MaskedKey k(key, 0);
    Ctx15 ctx = NewCtx15(n, VRT_GOST15_MODE_CTR);
    Bytes out(msg.size());
    Gost15Vec v{};
    v.len = msg.size();
    v.in = msg.data();
    v.out = out.data();
    v.key = k.get();
    v.iv = counter.data();
    v.iv_len = n;
    v.chain_flags = VRT_GOST15_CHAIN_FULL_COUNTER;
    ASSERT_EQ(vrtGost15Encrypt(ctx.get(), &v, 1), VRT_SUCCESS);
    EXPECT_EQ(Hex(out), Hex(Model(n, key).Run(VRT_GOST15_MODE_CTR, true, {}, msg, counter)));
    // A whole counter block needs n IV bytes.
    v = Vec(msg.size(), msg.data(), out.data(), k.get(), counter.data(), n - 1);
    v.chain_flags = VRT_GOST15_CHAIN_FULL_COUNTER;
    EXPECT_EQ(vrtGost15Encrypt(ctx.get(), &v, 1), VRT_ERROR_LENGTH);
  }
}

TEST(Gost15Modes, CounterTakesHalfABlockOfIv) {
  const Bytes key = RandomBytes(32), msg = RandomBytes(40);
  MaskedKey k(key, GOST89_KEY_XOR);
  Bytes iv1 = RandomBytes(16), iv2 = iv1;
  for (size_t i = 8; i < 16; ++i) iv2[i] ^= 0x5a;
  EXPECT_EQ(Hex(Crypt(16, VRT_GOST15_MODE_CTR, true, k.get(), iv1, msg)),
            Hex(Crypt(16, VRT_GOST15_MODE_CTR, true, k.get(), iv2, msg)));
  EXPECT_EQ(Hex(Crypt(16, VRT_GOST15_MODE_CTR, true, k.get(), Bytes(iv1.begin(), iv1.begin() + 8), msg)),
            Hex(Crypt(16, VRT_GOST15_MODE_CTR, true, k.get(), iv2, msg)));
}

// With the reversed-IV flag the counter block formed from the IV has its
// first 8 bytes reversed: for Magma IV || 00000000 becomes 00000000 ||
// reverse(IV).
TEST(Gost15Modes, ReversedIvFlagReversesTheFirstEightCounterBytes) {
  for (size_t n : kBlockSizes) {
    const Bytes key = RandomBytes(32), iv = RandomBytes(n / 2), msg = RandomBytes(3 * n + 1);
    MaskedKey k(key, GOST89_KEY_ADD);
    Bytes counter = iv;
    counter.resize(n, 0);
    std::reverse(counter.begin(), counter.begin() + 8);
    EXPECT_EQ(Hex(Crypt(n, VRT_GOST15_MODE_CTR, true, k.get(), iv, msg, VRT_GOST15_FLAG_IV_REVERSED)),
              Hex(Model(n, key).Run(VRT_GOST15_MODE_CTR, true, {}, msg, counter)))
        << n;
    // The flag changes nothing in the modes without a counter.
    const Bytes civ = RandomBytes(n);
    EXPECT_EQ(Hex(Crypt(n, VRT_GOST15_MODE_CBC, true, k.get(), civ, msg, VRT_GOST15_FLAG_IV_REVERSED)),
              Hex(Crypt(n, VRT_GOST15_MODE_CBC, true, k.get(), civ, msg)));
  }
}

// One context, several messages: every one-shot call starts from its own IV
// alone, whatever the previous message left in the context.
TEST(Gost15Modes, OneShotCallsOnOneContextAreIndependent) {
  for (size_t n : kBlockSizes) {
    for (const auto& m : vrt::test::kModes) {
      const Bytes key = RandomBytes(32);
      MaskedKey k(key, GOST89_KEY_XOR);
      Ctx15 ctx = NewCtx15(n, m.mode);
      for (int i = 0; i < 4; ++i) {
        const size_t iv_len = m.mode == VRT_GOST15_MODE_ECB ? 0 : m.mode == VRT_GOST15_MODE_CTR ? n : 2 * n;
        const Bytes iv = RandomBytes(iv_len), msg = RandomBytes(RandomSize(1, 5 * n));
        Bytes out(OutputLength(m.mode, msg.size(), n));
        ASSERT_EQ(vrtGost15EncryptSimple(ctx.get(), k.get(), msg.data(), out.data(), msg.size(), iv.data(), iv.size()),
                  VRT_SUCCESS);
        EXPECT_EQ(Hex(out), Hex(Crypt(n, m.mode, true, k.get(), iv, msg))) << m.name << " message " << i;
      }
    }
  }
}

// Procedure-1 padding in ECB and CBC: an incomplete last block is
// completed with zeros and a whole block written; a whole last block is not
// padded. The stream modes write exactly the input length. Nothing is
// written past what the call reports.
TEST(Gost15Modes, OutputLengths) {
  for (size_t n : kBlockSizes) {
    for (const auto& m : vrt::test::kModes) {
      for (size_t len : {size_t{1}, n - 1, n, n + 1, 3 * n}) {
        const Bytes key = RandomBytes(32), msg = RandomBytes(len), iv = RandomBytes(vrt::test::DefaultIvLength(m.mode, n));
        MaskedKey k(key, 0);
        Ctx15 ctx = NewCtx15(n, m.mode);
        Bytes out(len + 2 * n, 0xa5);
        Gost15Vec v = Vec(len, msg.data(), out.data(), k.get(), iv.empty() ? nullptr : iv.data(), iv.size());
        ASSERT_EQ(vrtGost15Encrypt(ctx.get(), &v, 1), VRT_SUCCESS);
        const size_t want = OutputLength(m.mode, len, n);
        EXPECT_EQ(static_cast<size_t>(v.out - out.data()), want) << m.name << " " << len;
        EXPECT_EQ(v.len, 0u);
        EXPECT_EQ(v.in, msg.data() + len);
        EXPECT_EQ(Hex(out.data() + want, out.size() - want), Hex(Bytes(out.size() - want, 0xa5)))
            << m.name << " " << len;
        uint32_t bits = VRT_VEC_ACTIVE | VRT_VEC_FINISHED | (len <= n ? VRT_VEC_PARTIAL : 0);
        EXPECT_EQ(v.status, bits) << m.name << " " << len;
        if (vrt::test::Padded(m.mode) && len % n != 0) {
          Bytes padded = msg;
          padded.resize(want, 0);
          EXPECT_EQ(Hex(out.data(), want), Hex(Crypt(n, m.mode, true, k.get(), iv, padded)));
        }
      }
    }
  }
}

// The request check: each refusal with its status and nothing written.
TEST(Gost15Modes, RequestCheck) {
  struct Case {
    const char* what;
    size_t n;
    uint32_t mode;
    bool encrypt;
    size_t len;
    size_t iv_len;
    uint32_t status;
  };
  const Case cases[] = {
      {"ECB, nothing to do", 16, VRT_GOST15_MODE_ECB, true, 0, 0, VRT_ERROR_NO_DATA},
      {"CBC without data", 16, VRT_GOST15_MODE_CBC, true, 0, 16, VRT_ERROR_INVALID_ARGUMENT},
      {"CTR without data", 8, VRT_GOST15_MODE_CTR, false, 0, 4, VRT_ERROR_INVALID_ARGUMENT},
      {"CTR IV under n/2", 16, VRT_GOST15_MODE_CTR, true, 20, 7, VRT_ERROR_LENGTH},
      {"CTR IV under n/2", 8, VRT_GOST15_MODE_CTR, true, 20, 3, VRT_ERROR_LENGTH},
      {"CTR IV of n/2", 16, VRT_GOST15_MODE_CTR, true, 20, 8, VRT_SUCCESS},
      {"CBC IV not whole blocks", 16, VRT_GOST15_MODE_CBC, true, 32, 24, VRT_ERROR_LENGTH},
      {"OFB IV not whole blocks", 16, VRT_GOST15_MODE_OFB, true, 32, 24, VRT_ERROR_LENGTH},
      {"CBC IV of 3n", 8, VRT_GOST15_MODE_CBC, true, 32, 24, VRT_SUCCESS},
      {"CBC register beyond 255", 16, VRT_GOST15_MODE_CBC, true, 32, 256, VRT_ERROR_LENGTH},
      {"OFB register beyond 255", 8, VRT_GOST15_MODE_OFB, false, 32, 256, VRT_ERROR_LENGTH},
      {"CFB IV under n", 16, VRT_GOST15_MODE_CFB, true, 32, 15, VRT_ERROR_LENGTH},
      {"CFB IV of 20", 16, VRT_GOST15_MODE_CFB, true, 32, 20, VRT_SUCCESS},
      {"CFB register of 255", 8, VRT_GOST15_MODE_CFB, true, 32, 255, VRT_SUCCESS},
      {"CFB register beyond 255", 8, VRT_GOST15_MODE_CFB, true, 32, 256, VRT_ERROR_LENGTH},
      {"ECB decryption of a ragged length", 16, VRT_GOST15_MODE_ECB, false, 17, 0, VRT_ERROR_LENGTH},
      {"CBC decryption of a ragged length", 8, VRT_GOST15_MODE_CBC, false, 15, 8, VRT_ERROR_LENGTH},
      {"ECB encryption of a ragged length", 16, VRT_GOST15_MODE_ECB, true, 17, 0, VRT_SUCCESS},
      {"MAC mode", 16, VRT_GOST15_MODE_MAC, true, 32, 0, VRT_ERROR_UNSUPPORTED},
      {"OMAC-ACPKM mode", 8, VRT_GOST15_MODE_OMAC_ACPKM, false, 32, 0, VRT_ERROR_UNSUPPORTED},
  };
  for (const Case& c : cases) {
    const Bytes key = RandomBytes(32), msg = RandomBytes(c.len + 1), iv = RandomBytes(c.iv_len + 1);
    MaskedKey k(key, GOST89_KEY_XOR);
    Ctx15 ctx = NewCtx15(c.n, c.mode);
    Bytes out(c.len + 2 * c.n, 0xa5);
    const uint32_t st = c.encrypt ? vrtGost15EncryptSimple(ctx.get(), k.get(), msg.data(), out.data(), c.len, iv.data(), c.iv_len)
                                  : vrtGost15DecryptSimple(ctx.get(), k.get(), msg.data(), out.data(), c.len, iv.data(), c.iv_len);
    EXPECT_EQ(st, c.status) << c.what << " n=" << c.n;
    if (st != VRT_SUCCESS) {
      EXPECT_EQ(Hex(out), Hex(Bytes(out.size(), 0xa5))) << c.what;
    }
  }
}

TEST(Gost15Modes, NullAndMalformedArguments) {
  const Bytes key = RandomBytes(32), msg = RandomBytes(32), iv = RandomBytes(16);
  MaskedKey k(key, GOST89_KEY_XOR);
  MaskedKey short_key(RandomBytes(16), GOST89_KEY_XOR);
  genkey_t empty{};
  Ctx15 ctx = NewCtx15(16, VRT_GOST15_MODE_CBC);
  Bytes out(48, 0xa5);
  auto enc = [&](Gost15Ctx* c, const genkey_t* g, const uint8_t* in, uint8_t* o, const uint8_t* ivp) {
    return vrtGost15EncryptSimple(c, g, in, o, 32, ivp, 16);
  };
  EXPECT_EQ(enc(nullptr, k.get(), msg.data(), out.data(), iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), nullptr, msg.data(), out.data(), iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), &empty, msg.data(), out.data(), iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), short_key.get(), msg.data(), out.data(), iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), k.get(), nullptr, out.data(), iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), k.get(), msg.data(), nullptr, iv.data()), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(enc(ctx.get(), k.get(), msg.data(), out.data(), nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15DecryptSimple(ctx.get(), &empty, msg.data(), out.data(), 32, iv.data(), 16),
            VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(Hex(out), Hex(Bytes(48, 0xa5)));

  // The vector calls check their descriptors the same way.
  Gost15Vec v[2] = {};
  v[0] = Vec(32, msg.data(), out.data(), nullptr, iv.data(), 16);
  EXPECT_EQ(vrtGost15Encrypt(ctx.get(), v, 1), VRT_ERROR_INVALID_ARGUMENT);
  v[0].key = short_key.get();
  EXPECT_EQ(vrtGost15Encrypt(ctx.get(), v, 1), VRT_ERROR_INVALID_ARGUMENT);
  v[0].key = k.get();
  v[0].in = nullptr;
  EXPECT_EQ(vrtGost15Decrypt(ctx.get(), v, 1), VRT_ERROR_INVALID_ARGUMENT);
  v[0].in = msg.data();
  v[1] = v[0];
  EXPECT_EQ(vrtGost15Encrypt(ctx.get(), v, 2), VRT_ERROR_INVALID_ARGUMENT);  // one lane
  EXPECT_EQ(vrtGost15Encrypt(ctx.get(), nullptr, 1), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15Encrypt(ctx.get(), v, 0), VRT_ERROR_NO_DATA);
  Ctx15 ecb = NewCtx15(8, VRT_GOST15_MODE_ECB);
  EXPECT_EQ(vrtGost15Encrypt(ecb.get(), nullptr, 0), VRT_ERROR_NO_DATA);
  EXPECT_EQ(Hex(out), Hex(Bytes(48, 0xa5)));

  // A skipped lane is left alone: nothing written and its IV not taken.
  Ctx15 ctr = NewCtx15(16, VRT_GOST15_MODE_CTR);
  v[0] = Vec(32, msg.data(), out.data(), k.get(), iv.data(), 16);
  v[0].status = VRT_VEC_SKIP;
  EXPECT_EQ(vrtGost15Encrypt(ctr.get(), v, 1), VRT_ERROR_NO_DATA);
  EXPECT_EQ(v[0].status, VRT_VEC_SKIP | VRT_VEC_FINISHED);
  EXPECT_EQ(v[0].iv, iv.data());
  EXPECT_EQ(ctr->iv_len, 0);
  EXPECT_EQ(Hex(out), Hex(Bytes(48, 0xa5)));

  // A context that was never given a mode serves no request.
  Gost15Ctx* bare = nullptr;
  ASSERT_EQ(vrtGost15CtxAllocInitialized(&bare, 1, 16), VRT_SUCCESS);
  Ctx15 owned(bare);
  EXPECT_EQ(vrtGost15EncryptSimple(bare, k.get(), msg.data(), out.data(), 32, iv.data(), 16), VRT_ERROR_UNSUPPORTED);
  EXPECT_EQ(Hex(out), Hex(Bytes(48, 0xa5)));
}

TEST(Gost15Modes, Lifecycle) {
  Gost15Ctx* c = reinterpret_cast<Gost15Ctx*>(1);
  EXPECT_EQ(vrtGost15CtxAlloc(nullptr, 1, 16), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15CtxAlloc(&c, 2, 16), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(vrtGost15CtxAlloc(&c, 1, 12), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15CtxAllocInitialized(&c, 1, 32), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c, nullptr);
  EXPECT_EQ(vrtGost15CtxInit(nullptr, 1), VRT_ERROR_INVALID_ARGUMENT);
  vrtGost15CtxFree(nullptr);

  ASSERT_EQ(vrtGost15CtxAlloc(&c, 1, 16), VRT_SUCCESS);
  Ctx15 owned(c);
  EXPECT_EQ(vrtGost15SetMode(c, VRT_GOST15_MODE_CTR, 0), VRT_ERROR_INVALID_ARGUMENT);  // not initialised
  EXPECT_EQ(vrtGost15CtxInit(c, 2), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c->alg, nullptr);
  ASSERT_EQ(vrtGost15CtxInit(c, 1), VRT_SUCCESS);
  EXPECT_EQ(c->alg, &GOST15_G1_KUZNECHIK);
  EXPECT_EQ(c->block_size, 16u);
  for (uint32_t bad : {0u, 0x01000100u, 0x01000109u, VRT_GOST89_MODE_CTR | 0x10u})
    EXPECT_EQ(vrtGost15SetMode(c, bad, 0), VRT_ERROR_INVALID_ARGUMENT) << std::hex << bad;
  EXPECT_EQ(c->mode, 0u);
  for (uint32_t mode = VRT_GOST15_MODE_MAC; mode <= VRT_GOST15_MODE_OMAC_ACPKM; ++mode)
    EXPECT_EQ(vrtGost15SetMode(c, mode, 0), VRT_SUCCESS) << std::hex << mode;

  Gost15Ctx* m = nullptr;
  ASSERT_EQ(vrtGost15CtxAllocInitialized(&m, 1, 8), VRT_SUCCESS);
  EXPECT_EQ(m->alg, &GOST15_G1_MAGMA);
  EXPECT_EQ(m->sbox, vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z));
  vrtGost15CtxFree(m);
}

// Magma needs its S-box set: without it no cipher is chosen and nothing
// runs.
TEST(Gost15Modes, MagmaNeedsItsSboxSet) {
  gost89_sbox_t& z = vrtpGost89Sboxtc26_gost_28147_param_Z;
  const uint32_t tag = z.tag;
  Gost15Ctx* c = nullptr;
  ASSERT_EQ(vrtGost15CtxAlloc(&c, 1, 8), VRT_SUCCESS);
  Ctx15 owned(c);
  z.tag = 0;
  const uint32_t st = vrtGost15CtxInit(c, 1);
  Gost15Ctx* other = reinterpret_cast<Gost15Ctx*>(1);
  const uint32_t st2 = vrtGost15CtxAllocInitialized(&other, 1, 8);
  z.tag = tag;
  EXPECT_EQ(st, VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(c->alg, nullptr);
  EXPECT_EQ(st2, VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(other, nullptr);
  const Bytes key = RandomBytes(32), msg = RandomBytes(8);
  MaskedKey k(key, 0);
  Bytes out(8);
  EXPECT_EQ(vrtGost15SetMode(c, VRT_GOST15_MODE_ECB, 0), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(vrtGost15EncryptSimple(c, k.get(), msg.data(), out.data(), 8, nullptr, 0), VRT_ERROR_INVALID_ARGUMENT);
}

// A message fed in pieces that continue from the context's own register
// (the counter block, or R) equals the one-shot result, in every mode and
// both directions, with a stream flag holding the final step back until the
// last piece. The reversed-IV flag applies to the caller's IV only.
TEST(Gost15Modes, RegisterContinuesAcrossCalls) {
  for (size_t n : kBlockSizes) {
    for (const auto& m : vrt::test::kModes) {
      for (bool encrypt : {true, false}) {
        for (uint32_t flags : {0u, VRT_GOST15_FLAG_IV_REVERSED}) {
          const uint32_t stream = encrypt ? VRT_GOST15_FLAG_ENCRYPT_STREAM : VRT_GOST15_FLAG_DECRYPT_STREAM;
          const size_t iv_len = m.mode == VRT_GOST15_MODE_ECB   ? 0
                                : m.mode == VRT_GOST15_MODE_CTR ? n / 2
                                : m.mode == VRT_GOST15_MODE_CFB ? n + 3
                                                                : 2 * n;
          size_t len = RandomSize(1, 12 * n);
          if (vrt::test::Padded(m.mode) && !encrypt) len = (len + n - 1) / n * n;
          const Bytes key = RandomBytes(32), iv = RandomBytes(iv_len), msg = RandomBytes(len);
          MaskedKey k(key, GOST89_KEY_ADD);
          const Bytes want = Crypt(n, m.mode, encrypt, k.get(), iv, msg, flags);
          SCOPED_TRACE(std::string(m.name) + (encrypt ? " enc" : " dec") + " n=" + std::to_string(n) +
                       " flags=" + std::to_string(flags) + " len=" + std::to_string(len));
          // The last piece either runs with the stream closed, so that its
          // call ends in the final step, or stays in the stream and a
          // separate final step closes it, as a stream's Final does.
          for (bool separate_final : {false, true}) {
            SCOPED_TRACE(separate_final ? "separate final step" : "final step in the last call");
            Ctx15 ctx = NewCtx15(n, m.mode, flags | stream);
            Bytes out(OutputLength(m.mode, len, n), 0xa5);
            size_t off = 0, written = 0;
            bool first = true;
            while (off < len) {
              const size_t piece = std::min(len - off, RandomSize(1, 3 * n));
              const bool last = off + piece == len;
              if (last && !separate_final) ctx->flags &= ~stream;
              Gost15Vec v = Vec(piece, msg.data() + off, out.data() + written, k.get(), iv.data(), iv.size());
              if (!first && m.mode != VRT_GOST15_MODE_ECB) {
                v.iv = ctx->saved_iv;
                v.iv_len = ctx->iv_len;
                if (m.mode == VRT_GOST15_MODE_CTR) v.chain_flags = VRT_GOST15_CHAIN_FULL_COUNTER;
              }
              const uint32_t st = encrypt ? vrtGost15Encrypt(ctx.get(), &v, 1) : vrtGost15Decrypt(ctx.get(), &v, 1);
              ASSERT_EQ(st, VRT_SUCCESS) << "piece at " << off;
              written = static_cast<size_t>(v.out - out.data());
              // Everything but the bytes held back is out.
              if (!last) {
                ASSERT_EQ(written + ctx->tail_len, off + piece);
              }
              off += piece;
              first = false;
            }
            if (separate_final) {
              ctx->flags &= ~stream;
              Gost15Vec v = Vec(0, nullptr, out.data() + written, k.get(), nullptr, 0);
              ASSERT_EQ(vrt::cipher15::attach_single(ctx.get(), &v), VRT_SUCCESS);
              const vrt::cipher15::Direction dir =
                  encrypt ? vrt::cipher15::Direction::kEncrypt : vrt::cipher15::Direction::kDecrypt;
              ASSERT_EQ(vrt::cipher15::run_frame(ctx.get(), encrypt ? gost15_encrypt_final : gost15_decrypt_final, dir),
                        VRT_SUCCESS);
              written = static_cast<size_t>(v.out - out.data());
            }
            EXPECT_EQ(written, out.size());
            EXPECT_EQ(Hex(out), Hex(want));
          }
        }
      }
    }
  }
}

// After every call the context holds no byte pattern of the key: not the
// plain key (its words in either byte order), its stored form or its mask
// (4-byte words), and not a round key of either schedule (8-byte halves).
// The key buffer and the round-key area are cleared to zeros.
void ExpectNoKeyMaterial(const Gost15Ctx* ctx, const std::vector<Bytes>& words, const std::vector<Bytes>& halves) {
  const auto* mem = reinterpret_cast<const uint8_t*>(ctx);
  const size_t size = vrt::cipher15::ctx_alloc_size(ctx->block_size);
  for (const Bytes& w : words)
    for (size_t i = 0; i + 4 <= w.size(); i += 4)
      for (size_t off = 0; off + 4 <= size; ++off)
        ASSERT_NE(std::memcmp(mem + off, w.data() + i, 4), 0) << "key word " << i / 4 << " at offset " << off;
  for (const Bytes& h : halves)
    for (size_t i = 0; i + 8 <= h.size(); i += 8)
      for (size_t off = 0; off + 8 <= size; ++off)
        ASSERT_NE(std::memcmp(mem + off, h.data() + i, 8), 0) << "round-key half " << i / 8 << " at offset " << off;
}

TEST(Gost15Modes, NoKeyMaterialSurvivesACall) {
  for (size_t n : kBlockSizes) {
    for (uint32_t kind : kKinds) {
      for (const auto& m : vrt::test::kModes) {
        for (bool encrypt : {true, false}) {
          // Long enough for the batched paths and the eight-block Magma record.
          const Bytes key = RandomBytes(32), msg = RandomBytes(20 * n), iv = RandomBytes(vrt::test::DefaultIvLength(m.mode, n));
          MaskedKey k(key, kind);
          std::vector<Bytes> words = {key, Bytes(k.get()->key.data, k.get()->key.data + 32)};
          if (kind != 0) words.emplace_back(k.get()->mask.data, k.get()->mask.data + 32);
          // Key words may also sit byte-reversed, as in a GOST 28147-89 key record.
          Bytes swapped = key;
          for (size_t i = 0; i < 32; i += 4) std::reverse(swapped.begin() + i, swapped.begin() + i + 4);
          words.push_back(swapped);
          std::vector<Bytes> halves;
          if (n == 16) {
            Bytes enc(160), dec(160);
            kuznechik_arch_schedule_encrypt(enc.data(), key.data());
            kuznechik_arch_schedule_decrypt(dec.data(), key.data());
            halves = {enc, dec};
          }
          Ctx15 ctx = NewCtx15(n, m.mode);
          Bytes out(msg.size());
          const uint32_t st =
              encrypt ? vrtGost15EncryptSimple(ctx.get(), k.get(), msg.data(), out.data(), msg.size(), iv.data(), iv.size())
                      : vrtGost15DecryptSimple(ctx.get(), k.get(), msg.data(), out.data(), msg.size(), iv.data(), iv.size());
          ASSERT_EQ(st, VRT_SUCCESS);
          SCOPED_TRACE(std::string(m.name) + " n=" + std::to_string(n) + " kind=" + std::to_string(kind));
          ExpectNoKeyMaterial(ctx.get(), words, halves);
          EXPECT_EQ(Hex(ctx->key_buf, 32), std::string(64, '0'));
          if (n == 16) {
            EXPECT_EQ(Hex(ctx->round_keys, 160), std::string(320, '0'));
          }
        }
      }
    }
  }
}

}  // namespace

namespace {

// Magma takes whole batches of eight blocks through the eight-block GOST
// 28147-89 record in use when that is an AVX one; every such record, and
// the block-by-block path with the portable record, give the same answers.
TEST(Gost15Modes, MagmaEightBlockRecordsEqualSingleBlocks) {
  const vrt_block_alg_t* saved = vrtpGost89AlgG8ptr;
  struct Record {
    const char* name;
    const vrt_block_alg_t* alg;
    bool usable;
  };
  const Record records[] = {
      {"portable", &vrtpGost89AlgG8, true},
      {"avx", &vrtpGost89AlgAvxG8, (vrtpInstance.cpu_enabled & VRT_CPU_AVX) != 0},
      {"avx512", &vrtpGost89AlgAvx512G8, (vrtpInstance.cpu_enabled & VRT_CPU_AVX512VL) != 0},
  };
  for (bool encrypt : {true, false}) {
    for (const auto& m : vrt::test::kModes) {
      const Bytes key = RandomBytes(32), iv = RandomBytes(vrt::test::DefaultIvLength(m.mode, 8) * 2 + 8);
      const Bytes civ(iv.begin(), iv.begin() + (m.mode == VRT_GOST15_MODE_ECB ? 0 : m.mode == VRT_GOST15_MODE_CTR ? 4 : 16));
      const Bytes msg = RandomBytes(8 * 40 + (vrt::test::Padded(m.mode) ? 0 : 5));
      MaskedKey k(key, GOST89_KEY_XOR);
      vrtpGost89AlgG8ptr = &vrtpGost89AlgG8;
      const Bytes want = Model(8, key).Run(m.mode, encrypt, civ, msg);
      for (const Record& r : records) {
        if (!r.usable) continue;
        vrtpGost89AlgG8ptr = r.alg;
        const Bytes got = Crypt(8, m.mode, encrypt, k.get(), civ, msg);
        EXPECT_EQ(Hex(got), Hex(want)) << m.name << (encrypt ? " enc " : " dec ") << r.name;
      }
    }
  }
  vrtpGost89AlgG8ptr = saved;
}

}  // namespace

namespace {

// Every Kuznyechik variant the processor can run gives the same messages in
// every mode, CTR-ACPKM, OMAC and MGM: the modes take the variant's single
// blocks, many-block runs and counter runs, on message lengths across their
// group sizes (four blocks per register, 64 per sliced batch) and with tails.
TEST(Gost15Modes, EveryKuznyechikVariantGivesTheSameMessages) {
  const uint32_t sets[] = {0, VRT_CPU_AVX, vrtpInstance.cpu_enabled};
  const Bytes key = RandomBytes(32), iv = RandomBytes(32);
  MaskedKey k(key, GOST89_KEY_ADD);
  auto run_all = [&](const Bytes& msg) {
    const size_t len = msg.size();
    std::vector<Bytes> out;
    for (const auto& m : vrt::test::kModes) {
      const Bytes civ(iv.begin(), iv.begin() + static_cast<long>(vrt::test::DefaultIvLength(m.mode, 16)));
      Bytes ct = Crypt(16, m.mode, true, k.get(), civ, msg);
      out.push_back(ct);
      if (vrt::test::Padded(m.mode)) out.push_back(Crypt(16, m.mode, false, k.get(), civ, ct));
      else out.push_back(Crypt(16, m.mode, false, k.get(), civ, msg));
    }
    Ctx15 acpkm = NewCtx15(16, VRT_GOST15_MODE_CTR_ACPKM);
    EXPECT_EQ(vrtGost15SetParametersACPKM(acpkm.get(), 48, 0), VRT_SUCCESS);
    Bytes ct(len);
    EXPECT_EQ(vrtGost15EncryptSimple(acpkm.get(), k.get(), msg.data(), ct.data(), len, iv.data(), 8), VRT_SUCCESS);
    out.push_back(ct);
    Ctx15 mac = NewCtx15(16, VRT_GOST15_MODE_MAC);
    Bytes tag(16);
    EXPECT_EQ(vrtGost15MACSimple(mac.get(), k.get(), msg.data(), len), VRT_SUCCESS);
    EXPECT_EQ(vrtGost15MACGetValue(mac.get(), k.get(), tag.data()), VRT_SUCCESS);
    out.push_back(tag);
    AeadCtx* aead = nullptr;
    EXPECT_EQ(vrtAEADCtxAllocInitialized(&aead, 1, 16), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADSetNonce(aead, iv.data()), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADEncryptSimple(aead, k.get(), msg.data(), ct.data(), len, msg.data(), len / 3), VRT_SUCCESS);
    EXPECT_EQ(vrtAEADImitGetValue(aead, tag.data(), 16), VRT_SUCCESS);
    vrtAEADCtxFree(aead);
    out.push_back(ct);
    out.push_back(tag);
    return out;
  };
  for (size_t len : {1, 16, 17, 63, 64, 65, 250, 477, 1024, 1025, 2000, 3333}) {
    SCOPED_TRACE(len);
    const Bytes msg = RandomBytes(len);
    std::vector<Bytes> want;
    for (uint32_t set : sets) {
      vrt::cipher15::kuznechik_arch_init(set);
      const std::vector<Bytes> got = run_all(msg);
      if (want.empty()) want = got;
      for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(Hex(got[i]), Hex(want[i])) << "set " << set << " output " << i;
    }
  }
  vrt::cipher15::kuznechik_arch_init(vrtpInstance.cpu_enabled);
}

}  // namespace
