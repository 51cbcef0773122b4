// Magma: the standard's examples, its round function over the tc26 Z set,
// the record, and the OMAC subkey step of both ciphers.
#include <gtest/gtest.h>

#include <cstring>

#include "cipher15/internal.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::RandomBytes;

const gost89_sbox_t* ZSet() { return vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z); }

TEST(Magma, StandardExamples) {
  ASSERT_EQ(vrtpGost89SboxInitialized(ZSet()), 1u);
  vrt::test::FileTestRun("cipher15/magma.txt", [](FileTest& t) {
    const Bytes key = t.GetBytes("Key"), pt = t.GetBytes("Plaintext"), ct = t.GetBytes("Ciphertext");
    uint8_t out[8];
    gost15Magma_encrypt_block(pt.data(), out, key.data(), ZSet(), nullptr);
    EXPECT_EQ(Hex(out, 8), Hex(ct));
    gost15Magma_decrypt_block(out, out, key.data(), ZSet(), nullptr);  // in place
    EXPECT_EQ(Hex(out, 8), Hex(pt));
    std::memcpy(out, pt.data(), 8);
    GOST15_G1_MAGMA.encrypt.gost15(out, out, key.data(), ZSet(), nullptr);
    EXPECT_EQ(Hex(out, 8), Hex(ct));
  });
}

// t and g of the standard, from the expanded tables of the tc26 Z set: the
// tables give g[k](a) = t(a + k) <<< 11 directly.
TEST(Magma, RoundFunctionFromTheZSet) {
  const uint32_t* t = &ZSet()->tables[0][0];
  auto f = [t](uint32_t x) { return t[x & 255] ^ t[256 + ((x >> 8) & 255)] ^ t[512 + ((x >> 16) & 255)] ^ t[768 + (x >> 24)]; };
  vrt::test::FileTestRun("cipher15/magma_transforms.txt", [&](FileTest& ft) {
    const std::string op = ft.GetText("Transform");
    const uint32_t in = vrt::load_be32(ft.GetBytes("Input").data());
    const uint32_t want = vrt::load_be32(ft.GetBytes("Output").data());
    if (op == "t") {
      const uint32_t g = f(in);
      EXPECT_EQ((g >> 11) | (g << 21), want);
    } else if (op == "g") {
      EXPECT_EQ(f(in + vrt::load_be32(ft.GetBytes("RoundKey").data())), want);
    } else {
      ADD_FAILURE() << "unknown transform " << op;
    }
  });
}

TEST(Magma, RecordShapeAndOperations) {
  const vrt_block_alg_t& r = GOST15_G1_MAGMA;
  EXPECT_EQ(r.lanes, 1u);
  EXPECT_EQ(r.block_size, 8u);
  EXPECT_EQ(r.hook_begin, nullptr);
  EXPECT_EQ(r.hook_end, nullptr);
  EXPECT_EQ(r.hook_after_key, nullptr);
  EXPECT_EQ(r.hook_after_work, nullptr);
  EXPECT_EQ(r.mac_block.gost15, gost15Magma_mac_block);
  EXPECT_EQ(r.encrypt.gost15, gost15Magma_encrypt_block);
  EXPECT_EQ(r.decrypt.gost15, gost15Magma_decrypt_block);
  EXPECT_EQ(r.xor_block, gost15Magma_xor_block);
  EXPECT_EQ(r.copy_block, gost15Magma_copy_block);
  const Bytes a = RandomBytes(8), b = RandomBytes(8);
  uint8_t x[8], want[8];
  for (int i = 0; i < 8; ++i) want[i] = a[i] ^ b[i];
  std::memcpy(x, a.data(), 8);
  r.xor_block(x, b.data(), x);
  EXPECT_EQ(Hex(x, 8), Hex(want, 8));
  r.copy_block(b.data(), x);
  EXPECT_EQ(Hex(x, 8), Hex(b));
}

// Magma reads the key and the S-box set only: the round-key argument is
// neither read nor written.
TEST(Magma, IgnoresTheRoundKeyArea) {
  const Bytes key = RandomBytes(32), pt = RandomBytes(8);
  uint8_t a[8], b[8];
  uint8_t area[160];
  std::memset(area, 0xa5, sizeof area);
  gost15Magma_encrypt_block(pt.data(), a, key.data(), ZSet(), area);
  gost15Magma_encrypt_block(pt.data(), b, key.data(), ZSet(), nullptr);
  EXPECT_EQ(Hex(a, 8), Hex(b, 8));
  EXPECT_EQ(Hex(area, sizeof area), Hex(Bytes(160, 0xa5)));
}

TEST(OmacSubkeys, BitShiftLeft) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {"80", "00"},
      {"01", "02"},
      {"8001", "0002"},
      {"0080", "0100"},
      {"ffffffffffffffff", "fffffffffffffffe"},
      {"94bec15e269cf1e5", "297d82bc4d39e3ca"},
  };
  for (const Case& c : cases) {
    Bytes b = vrt::test::FromHex(c.in);
    vrt::cipher15::bit_shift_left(b.data(), b.size());
    EXPECT_EQ(Hex(b), c.out) << c.in;
  }
}

// K1 and K2 of the standard's MAC examples, and the four ways the step is
// called: from R or from K1, for a message that ends on a block boundary
// or not, in place or not.
TEST(OmacSubkeys, StandardExamples) {
  vrt::test::FileTestRun("cipher15/omac_subkeys.txt", [](FileTest& t) {
    const bool kz = t.GetText("Cipher") == "Kuznyechik";
    const size_t n = kz ? 16 : 8;
    const Bytes key = t.GetBytes("Key"), k1 = t.GetBytes("K1"), k2 = t.GetBytes("K2");
    uint8_t r[16] = {}, rk[160];
    kuznechik_arch_schedule_encrypt(rk, key.data());
    const vrt_block_alg_t& alg = kz ? GOST15_G1_KUZNECHIK : GOST15_G1_MAGMA;
    alg.encrypt.gost15(r, r, key.data(), ZSet(), rk);  // R = E(0)
    for (uint64_t len : {uint64_t{0}, uint64_t{n}, uint64_t{3 * n}, uint64_t{1}, uint64_t{n + 1}, uint64_t{2 * n - 1}}) {
      const bool whole = len % n == 0;
      uint8_t dst[16];
      std::memset(dst, 0xcc, sizeof dst);
      alg.mac_block.gost15(r, dst, len, 0);
      EXPECT_EQ(Hex(dst, n), Hex(whole ? k1 : k2)) << "from R, len " << len;
      uint8_t inplace[16];
      std::memcpy(inplace, r, n);
      alg.mac_block.gost15(inplace, inplace, len, 0);
      EXPECT_EQ(Hex(inplace, n), Hex(whole ? k1 : k2)) << "from R in place, len " << len;

      std::memset(dst, 0xcc, sizeof dst);
      alg.mac_block.gost15(k1.data(), dst, len, 1);
      EXPECT_EQ(Hex(dst, n), whole ? Hex(Bytes(n, 0xcc)) : Hex(k2)) << "from K1, len " << len;
      std::memcpy(inplace, k1.data(), n);
      alg.mac_block.gost15(inplace, inplace, len, 1);
      EXPECT_EQ(Hex(inplace, n), Hex(whole ? k1 : k2)) << "from K1 in place, len " << len;
    }
  });
}

// When the top bit is set the constant goes into the last byte.
TEST(OmacSubkeys, ConstantFollowsTheTopBit) {
  uint8_t kz[16] = {0x80}, mg[8] = {0x80}, out[16];
  gost15KZN_mac_block(kz, out, 16, 0);
  EXPECT_EQ(Hex(out, 16), "00000000000000000000000000000087");
  gost15Magma_mac_block(mg, out, 8, 0);
  EXPECT_EQ(Hex(out, 8), "000000000000001b");
  // K2 from R = 0x40..: K1 = 0x80.. (no constant), K2 = 0x00..87.
  uint8_t r[16] = {0x40};
  gost15KZN_mac_block(r, out, 5, 0);
  EXPECT_EQ(Hex(out, 16), "00000000000000000000000000000087");
}

}  // namespace
