// Masked key records.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;

binstr_t Str(Bytes& b) {
  binstr_t s;
  __binstr_init(&s, b.data(), b.size());
  return s;
}

Bytes Unmasked(const genkey_t& g) {
  Bytes out(g.key.length);
  genkey_t tmp{};
  __binstr_init(&tmp.key, out.data(), out.size());
  genkey_unmask_to(&g, &tmp);
  return out;
}

// Allocates, loads and masks a key the way every user does.
void Make(genkey_t* g, Bytes plain, Bytes mask, uint32_t kind) {
  ASSERT_EQ(genkey_alloc(g, plain.size(), kind), VRT_SUCCESS);
  binstr_t p = Str(plain), m = Str(mask);
  ASSERT_EQ(genkey_load(g, &p, &m), VRT_SUCCESS);
  genkey_mask(g);
}

TEST(Genkey, LayoutPutsTheMask4096BytesAfterTheKey) {
  for (uint32_t kind : {1u, 2u, 3u}) {
    genkey_t g;
    ASSERT_EQ(genkey_alloc(&g, 32, kind), VRT_SUCCESS);
    EXPECT_EQ(g.kind, kind);
    EXPECT_EQ(g.filler.data, g.key.data + 32);
    EXPECT_EQ(g.filler.length, 4096u);
    EXPECT_EQ(g.mask.data, g.key.data + 32 + 4096);
    EXPECT_EQ(g.mask.length, 32u);
    genkey_free(&g);
  }
  genkey_t plain;
  ASSERT_EQ(genkey_alloc(&plain, 32, 0), VRT_SUCCESS);
  EXPECT_EQ(plain.filler.data, nullptr);
  EXPECT_EQ(plain.filler.length, 0u);
  EXPECT_EQ(plain.mask.data, nullptr);
  genkey_free(&plain);
}

TEST(Genkey, MaskingArithmetic) {
  // XOR, addition per word without carry between words, XOR winning over
  // addition when both bits are set.
  const Bytes plain = vrt::test::FromHex("ffffffff00000000ffffffff12345678");
  const Bytes mask = vrt::test::FromHex("01000000ffffffff0100000001010101");
  struct {
    uint32_t kind;
    const char* stored;
  } const cases[] = {
      {0, "ffffffff00000000ffffffff12345678"},
      {1, "fefffffffffffffffeffffff13355779"},
      {2, "00000000ffffffff0000000013355779"},
      {3, "fefffffffffffffffeffffff13355779"},
  };
  for (const auto& c : cases) {
    genkey_t g;
    Make(&g, plain, mask, c.kind);
    EXPECT_EQ(Hex(g.key.data, g.key.length), Hex(vrt::test::FromHex(c.stored))) << "kind " << c.kind;
    EXPECT_EQ(Hex(Unmasked(g)), Hex(plain)) << "kind " << c.kind;
    genkey_unmask(&g);
    EXPECT_EQ(Hex(g.key.data, g.key.length), Hex(plain)) << "kind " << c.kind;
    genkey_free(&g);
  }
}

TEST(Genkey, RandomKeysRoundTripAndRemask) {
  for (uint32_t kind : {0u, 1u, 2u}) {
    for (size_t len : {4u, 32u, 64u, 100u}) {
      Bytes plain = RandomBytes(len), mask = RandomBytes(len);
      genkey_t g;
      Make(&g, plain, mask, kind);
      if (kind != 0) {
        EXPECT_NE(Hex(g.key.data, len), Hex(plain));
      }
      for (int i = 0; i < 3; ++i) {
        Bytes delta = RandomBytes(len);
        binstr_t d = Str(delta);
        Bytes stored_before(g.key.data, g.key.data + len);
        genkey_remask(&g, &d);
        if (kind != 0) {
          EXPECT_NE(Hex(g.key.data, len), Hex(stored_before));
        }
        EXPECT_EQ(Hex(Unmasked(g)), Hex(plain)) << "kind " << kind << " len " << len;
      }
      genkey_free(&g);
    }
  }
}

TEST(Genkey, LengthsNotMultipleOf4StayPlain) {
  Bytes plain = RandomBytes(30), mask = RandomBytes(30);
  genkey_t g;
  Make(&g, plain, mask, GOST89_KEY_XOR);
  EXPECT_EQ(Hex(g.key.data, 30), Hex(plain));
  EXPECT_EQ(Hex(Unmasked(g)), Hex(plain));  // the copy out still yields the key
  genkey_free(&g);
}

TEST(Genkey, LoadFillsTheFillerAndKeepsAnAbsentMask) {
  Bytes plain = RandomBytes(32), mask = RandomBytes(32);
  genkey_t g;
  ASSERT_EQ(genkey_alloc(&g, 32, GOST89_KEY_ADD), VRT_SUCCESS);
  binstr_t p = Str(plain), m = Str(mask);
  ASSERT_EQ(genkey_load(&g, &p, nullptr), VRT_SUCCESS);
  EXPECT_EQ(Hex(g.mask.data, 32), std::string(64, '0'));  // still the zeroed allocation
  EXPECT_NE(Hex(g.filler.data, 4096), std::string(8192, '0'));
  std::string filler1 = Hex(g.filler.data, 4096);
  binstr_t no_data{};
  ASSERT_EQ(genkey_load(&g, &p, &no_data), VRT_SUCCESS);
  EXPECT_EQ(Hex(g.mask.data, 32), std::string(64, '0'));
  EXPECT_NE(Hex(g.filler.data, 4096), filler1);  // fresh filler on every load
  ASSERT_EQ(genkey_load(&g, &p, &m), VRT_SUCCESS);
  EXPECT_EQ(Hex(g.mask.data, 32), Hex(mask));
  genkey_free(&g);
}

TEST(Genkey, BadArgumentsAreRefused) {
  Bytes plain = RandomBytes(32), shorter = RandomBytes(16);
  binstr_t p = Str(plain), s = Str(shorter), null_data{};
  genkey_t g;
  EXPECT_EQ(genkey_alloc(nullptr, 32, 1), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(genkey_alloc(&g, UINT64_MAX / 2, 1), VRT_ERROR_INVALID_ARGUMENT);  // size overflows
  EXPECT_EQ(g.key.data, nullptr);
  EXPECT_EQ(genkey_alloc(&g, UINT64_MAX / 4, 1), VRT_ERROR_NO_MEMORY);
  EXPECT_EQ(g.key.data, nullptr);
  EXPECT_EQ(g.kind, 0u);  // left zeroed
  EXPECT_EQ(genkey_load(&g, &p, nullptr), VRT_ERROR_INVALID_ARGUMENT);  // no allocation
  ASSERT_EQ(genkey_alloc(&g, 32, 1), VRT_SUCCESS);
  EXPECT_EQ(genkey_load(nullptr, &p, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(genkey_load(&g, nullptr, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(genkey_load(&g, &null_data, nullptr), VRT_ERROR_INVALID_ARGUMENT);
  // A source shorter than the record would be read past its end.
  EXPECT_EQ(genkey_load(&g, &s, nullptr), VRT_ERROR_LENGTH);
  EXPECT_EQ(genkey_load(&g, &p, &s), VRT_ERROR_LENGTH);
  EXPECT_EQ(Hex(g.key.data, 32), std::string(64, '0'));
  genkey_free(&g);
  genkey_free(&g);  // the second free does nothing
  EXPECT_EQ(g.key.data, nullptr);
  EXPECT_EQ(g.key.length, 32u);  // lengths and kind stay behind
  EXPECT_EQ(g.kind, 1u);
}

TEST(Genkey, WipeOverwritesKeyAndMaskButNotTheFiller) {
  Bytes plain = RandomBytes(32), mask = RandomBytes(32);
  genkey_t g;
  Make(&g, plain, mask, GOST89_KEY_XOR);
  std::string key = Hex(g.key.data, 32), msk = Hex(g.mask.data, 32), fill = Hex(g.filler.data, 4096);
  genkey_wipe(&g);
  EXPECT_NE(Hex(g.key.data, 32), key);
  EXPECT_NE(Hex(g.mask.data, 32), msk);
  EXPECT_EQ(Hex(g.filler.data, 4096), fill);
  genkey_free(&g);
}

TEST(Genkey, Pairs) {
  genkey_pair_t p;
  ASSERT_EQ(genkey_pair_alloc(&p, 64, GOST89_KEY_ADD, 128), VRT_SUCCESS);
  EXPECT_EQ(p.public_key.length, 128u);
  EXPECT_EQ(p.secret.key.length, 64u);
  Bytes plain = RandomBytes(64), mask = RandomBytes(64);
  binstr_t sp = Str(plain), sm = Str(mask);
  ASSERT_EQ(genkey_pair_sec_load(&p, &sp, &sm), VRT_SUCCESS);
  genkey_mask(&p.secret);
  EXPECT_EQ(Hex(Unmasked(p.secret)), Hex(plain));
  std::memset(p.public_key.data, 0, 128);
  genkey_pair_wipe(&p);
  EXPECT_NE(Hex(p.public_key.data, 128), std::string(256, '0'));
  genkey_pair_free(&p);
  EXPECT_EQ(p.public_key.data, nullptr);
  EXPECT_EQ(p.secret.key.data, nullptr);
  genkey_pair_free(&p);

  // A failing public allocation releases the secret too.
  EXPECT_EQ(genkey_pair_alloc(&p, 32, 1, UINT64_MAX), VRT_ERROR_NO_MEMORY);
  EXPECT_EQ(p.secret.key.data, nullptr);
  EXPECT_EQ(p.public_key.data, nullptr);
  EXPECT_EQ(genkey_pair_alloc(nullptr, 32, 1, 64), VRT_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(genkey_pair_sec_load(nullptr, &sp, nullptr), VRT_ERROR_INVALID_ARGUMENT);
}

}  // namespace
