// Kuznyechik: the standard's examples, the rules of every exported table,
// the schedules, the record and the schedule functions on a context.
#include <gtest/gtest.h>

#include <cstring>

#include "cipher15/internal.h"
#include "cipher15/kuznechik_reference.h"
#include "common/file_test.h"
#include "common/test_util.h"
#include "frame/bytes.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::FileTest;
using vrt::test::Hex;
using vrt::test::RandomBytes;
namespace kz = vrt::test::kz;

std::string HexBlock(const kz::Block& b) { return Hex(b.data(), b.size()); }

TEST(Kuznechik, StandardExamples) {
  vrt::test::FileTestRun("cipher15/kuznechik.txt", [](FileTest& t) {
    const Bytes key = t.GetBytes("Key"), pt = t.GetBytes("Plaintext"), ct = t.GetBytes("Ciphertext");
    ASSERT_EQ(key.size(), 32u);
    ASSERT_EQ(pt.size(), 16u);
    uint8_t enc[160], dec[160];
    kuznechik_arch_schedule_encrypt(enc, key.data());
    kuznechik_arch_schedule_decrypt(dec, key.data());
    if (t.Has("RoundKeys")) {
      EXPECT_EQ(Hex(enc, 160), Hex(t.GetBytes("RoundKeys")));
    }

    // The decryption schedule: K1 and K10 as they are, L^-1 of the others.
    EXPECT_EQ(Hex(dec, 16), Hex(enc, 16));
    EXPECT_EQ(Hex(dec + 144, 16), Hex(enc + 144, 16));
    for (int i = 1; i <= 8; ++i)
      EXPECT_EQ(Hex(dec + 16 * i, 16), HexBlock(kz::LInverse(kz::FromBytes(enc + 16 * i)))) << "K" << i + 1;

    uint8_t block[16];
    std::memcpy(block, pt.data(), 16);
    kuznechik_arch_encrypt_block(enc, block);
    EXPECT_EQ(Hex(block, 16), Hex(ct));
    kuznechik_arch_decrypt_block(dec, block);
    EXPECT_EQ(Hex(block, 16), Hex(pt));

    // The record operations, out of place and in place.
    uint8_t out[16];
    gost15KZN_encrypt_block(pt.data(), out, nullptr, nullptr, enc);
    EXPECT_EQ(Hex(out, 16), Hex(ct));
    gost15KZN_decrypt_block(out, out, nullptr, nullptr, dec);
    EXPECT_EQ(Hex(out, 16), Hex(pt));
  });
}

TEST(Kuznechik, PublishedTransformSteps) {
  vrt::test::FileTestRun("cipher15/kuznechik_transforms.txt", [](FileTest& t) {
    const std::string op = t.GetText("Transform");
    const kz::Block in = kz::FromBytes(t.GetBytes("Input").data());
    const std::string want = Hex(t.GetBytes("Output"));
    if (op == "S") {
      EXPECT_EQ(HexBlock(kz::S(in)), want);
    } else if (op == "R") {
      EXPECT_EQ(HexBlock(kz::R(in)), want);
    } else if (op == "L") {
      EXPECT_EQ(HexBlock(kz::L(in)), want);
      // L is linear, so the matrix rows give it too.
      kz::Block m{};
      for (int p = 0; p < 16; ++p)
        for (int i = 0; i < 16; ++i) m[i] ^= kz::Mul(in[p], LTransformationMatrix[p][i]);
      EXPECT_EQ(HexBlock(m), want);
    } else {
      ADD_FAILURE() << "unknown transform " << op;
    }
  });
}

TEST(KuznechikTables, SubstitutionAndField) {
  const uint8_t start[4] = {252, 238, 221, 17};
  EXPECT_EQ(Hex(Pi, 4), Hex(start, 4));
  for (int x = 0; x < 256; ++x) ASSERT_EQ(InversedPi[Pi[x]], x);
  uint8_t v = 1;
  for (int i = 0; i < 255; ++i) {
    ASSERT_EQ(exponentialTable[i], v) << i;
    ASSERT_EQ(logarithmicTable[v], i) << int{v};
    v = kz::Mul(v, 2);
  }
  EXPECT_EQ(v, 1);  // 2 generates the whole multiplicative group
  EXPECT_EQ(exponentialTable[255], 1);
  EXPECT_EQ(logarithmicTable[0], 0);
}

TEST(KuznechikTables, MatricesAndRoundConstants) {
  for (int p = 0; p < 16; ++p) {
    kz::Block e{};
    e[p] = 1;
    EXPECT_EQ(Hex(LTransformationMatrix[p], 16), HexBlock(kz::L(e))) << p;
    EXPECT_EQ(Hex(inversedLTransformationMatrix[p], 16), HexBlock(kz::LInverse(e))) << p;
  }
  // C1 as the standard prints it, and C1 is row 15 of the matrix.
  EXPECT_EQ(Hex(roundConstants[0], 16), "6ea276726c487ab85d27bd10dd849401");
  EXPECT_EQ(Hex(roundConstants[0], 16), Hex(LTransformationMatrix[15], 16));
  for (int i = 1; i <= 32; ++i) {
    kz::Block v{};
    v[15] = static_cast<uint8_t>(i);
    const kz::Block c = kz::L(v);
    EXPECT_EQ(Hex(roundConstants[i - 1], 16), HexBlock(c)) << i;
    EXPECT_EQ(roundConstantsLeft[i - 1], vrt::load_le64(c.data())) << i;
    EXPECT_EQ(roundConstantsRight[i - 1], vrt::load_le64(c.data() + 8)) << i;
  }
}

// Every entry of the four LS tables from its rule, with the reference L.
TEST(KuznechikTables, PrecomputedTablesFollowTheirRule) {
  for (int p = 0; p < 16; ++p) {
    for (int b = 0; b < 256; ++b) {
      kz::Block f{}, g{};
      f[p] = Pi[b];
      g[p] = InversedPi[b];
      f = kz::L(f);
      g = kz::LInverse(g);
      const int i = 256 * p + b;
      ASSERT_EQ(precomputedLSTableLeft[i], vrt::load_le64(f.data())) << p << "," << b;
      ASSERT_EQ(precomputedLSTableRight[i], vrt::load_le64(f.data() + 8)) << p << "," << b;
      ASSERT_EQ(precomputedInversedLSTableLeft[i], vrt::load_le64(g.data())) << p << "," << b;
      ASSERT_EQ(precomputedInversedLSTableRight[i], vrt::load_le64(g.data() + 8)) << p << "," << b;
    }
  }
  // One entry by hand: [15][1] is L of the block with Pi[1] in byte 15.
  kz::Block e{};
  e[15] = Pi[1];
  const kz::Block want = kz::L(e);
  uint8_t got[16];
  vrt::store_le64(got, precomputedLSTableLeft[15 * 256 + 1]);
  vrt::store_le64(got + 8, precomputedLSTableRight[15 * 256 + 1]);
  EXPECT_EQ(Hex(got, 16), HexBlock(want));
}

// The table-driven cipher against the direct reference on random keys and
// blocks, both schedules.
TEST(Kuznechik, MatchesReferenceOnRandomInputs) {
  for (int n = 0; n < 64; ++n) {
    const Bytes key = RandomBytes(32), pt = RandomBytes(16);
    uint8_t enc[160], dec[160];
    kuznechik_arch_schedule_encrypt(enc, key.data());
    kuznechik_arch_schedule_decrypt(dec, key.data());
    auto ref = kz::Schedule(key.data());
    for (int i = 0; i < 10; ++i) ASSERT_EQ(Hex(enc + 16 * i, 16), HexBlock(ref[i]));
    uint8_t block[16];
    std::memcpy(block, pt.data(), 16);
    kuznechik_arch_encrypt_block(enc, block);
    ASSERT_EQ(Hex(block, 16), HexBlock(kz::Encrypt(key.data(), kz::FromBytes(pt.data()))));
    kuznechik_arch_decrypt_block(dec, block);
    ASSERT_EQ(Hex(block, 16), Hex(pt));
    // And decryption against the reference on the same random block.
    std::memcpy(block, pt.data(), 16);
    kuznechik_arch_decrypt_block(dec, block);
    ASSERT_EQ(Hex(block, 16), HexBlock(kz::Decrypt(key.data(), kz::FromBytes(pt.data()))));
  }
}

TEST(Kuznechik, SchedulesArePaired) {
  const Bytes key = RandomBytes(32), pt = RandomBytes(16);
  uint8_t enc[160], dec[160], block[16];
  kuznechik_arch_schedule_encrypt(enc, key.data());
  kuznechik_arch_schedule_decrypt(dec, key.data());
  std::memcpy(block, pt.data(), 16);
  kuznechik_arch_encrypt_block(dec, block);  // wrong schedule
  kuznechik_arch_decrypt_block(dec, block);
  EXPECT_NE(Hex(block, 16), Hex(pt));
  std::memcpy(block, pt.data(), 16);
  kuznechik_arch_encrypt_block(enc, block);
  kuznechik_arch_decrypt_block(enc, block);  // wrong schedule
  EXPECT_NE(Hex(block, 16), Hex(pt));
}

TEST(Kuznechik, RecordShapeAndOperations) {
  const vrt_block_alg_t& r = GOST15_G1_KUZNECHIK;
  static_assert(sizeof(vrt_block_alg_t) == 88, "eleven 64-bit slots");
  EXPECT_EQ(r.lanes, 1u);
  EXPECT_EQ(r.block_size, 16u);
  EXPECT_EQ(r.hook_begin, nullptr);
  EXPECT_EQ(r.hook_end, nullptr);
  EXPECT_EQ(r.hook_after_key, nullptr);
  EXPECT_EQ(r.hook_after_work, nullptr);
  EXPECT_EQ(r.mac_block.gost15, gost15KZN_mac_block);
  EXPECT_EQ(r.encrypt.gost15, gost15KZN_encrypt_block);
  EXPECT_EQ(r.decrypt.gost15, gost15KZN_decrypt_block);
  EXPECT_EQ(r.xor_block, gost15KZN_xor_block);
  EXPECT_EQ(r.copy_block, gost15KZN_copy_block);

  const Bytes a = RandomBytes(16), b = RandomBytes(16);
  uint8_t x[16], want[16];
  for (int i = 0; i < 16; ++i) want[i] = a[i] ^ b[i];
  r.xor_block(a.data(), b.data(), x);
  EXPECT_EQ(Hex(x, 16), Hex(want, 16));
  std::memcpy(x, a.data(), 16);
  r.xor_block(x, b.data(), x);  // out aliases a
  EXPECT_EQ(Hex(x, 16), Hex(want, 16));
  std::memcpy(x, b.data(), 16);
  r.xor_block(a.data(), x, x);  // out aliases b
  EXPECT_EQ(Hex(x, 16), Hex(want, 16));
  r.copy_block(a.data(), x);
  EXPECT_EQ(Hex(x, 16), Hex(a));
}

// The schedule functions work on the context's round-key area and only for
// 16-byte blocks; the clean leaves no round key behind.
TEST(Kuznechik, ScheduleManagementOnContext) {
  const Bytes key = RandomBytes(32);
  uint8_t enc[160], dec[160];
  kuznechik_arch_schedule_encrypt(enc, key.data());
  kuznechik_arch_schedule_decrypt(dec, key.data());

  Gost15Ctx ctx{};
  ctx.block_size = 16;
  gost15_key_shedule_encrypt(&ctx, key.data());
  EXPECT_EQ(Hex(ctx.round_keys, 160), Hex(enc, 160));
  gost15_key_shedule_decrypt(&ctx, key.data());
  EXPECT_EQ(Hex(ctx.round_keys, 160), Hex(dec, 160));
  ASSERT_EQ(gost15_key_shedule_clean(&ctx), VRT_SUCCESS);
  for (int i = 0; i < 10; ++i) {
    for (int j = 0; j < 10; ++j) {
      EXPECT_NE(Hex(ctx.round_keys + 16 * i, 16), Hex(enc + 16 * j, 16));
      EXPECT_NE(Hex(ctx.round_keys + 16 * i, 16), Hex(dec + 16 * j, 16));
    }
  }
  EXPECT_EQ(Hex(ctx.round_keys, 160), std::string(320, '0'));  // cleared

  Gost15Ctx magma{};
  magma.block_size = 8;
  std::memset(magma.round_keys, 0x5a, sizeof magma.round_keys);
  gost15_key_shedule_encrypt(&magma, key.data());
  gost15_key_shedule_decrypt(&magma, key.data());
  EXPECT_EQ(gost15_key_shedule_clean(&magma), VRT_SUCCESS);
  EXPECT_EQ(Hex(magma.round_keys, 160), Hex(Bytes(160, 0x5a)));

  gost15_key_shedule_encrypt(nullptr, key.data());
  gost15_key_shedule_encrypt(&ctx, nullptr);
  EXPECT_EQ(gost15_key_shedule_clean(nullptr), VRT_SUCCESS);
}

}  // namespace

namespace {

// Every block variant equals the portable one, in place and out of place.
TEST(Kuznechik, VariantsEqualThePortableOne) {
  struct Variant {
    const char* name;
    vrt::cipher15::KuznechikBlockFn enc, dec;
    vrt::cipher15::KuznechikScheduleFn schedule_enc, schedule_dec;
    bool usable;
  };
  const Variant variants[] = {
      {"avx", vrt::cipher15::kuznechik_encrypt_avx, vrt::cipher15::kuznechik_decrypt_avx,
       vrt::cipher15::kuznechik_schedule_encrypt_avx, vrt::cipher15::kuznechik_schedule_decrypt_avx,
       (vrtpInstance.cpu_detected & VRT_CPU_AVX) != 0},
      {"avx512", vrt::cipher15::kuznechik_encrypt_avx512, vrt::cipher15::kuznechik_decrypt_avx512,
       vrt::cipher15::kuznechik_schedule_encrypt_avx512, vrt::cipher15::kuznechik_schedule_decrypt_avx512,
       (vrtpInstance.cpu_detected & vrt::cipher15::kKuznechikAvx512Features) ==
           vrt::cipher15::kKuznechikAvx512Features},
  };
  for (const Variant& v : variants) {
    if (!v.usable) continue;
    SCOPED_TRACE(v.name);
    for (int n = 0; n < 256; ++n) {
      const Bytes key = RandomBytes(32), in = RandomBytes(16);
      uint8_t enc[160], dec[160], venc[160], vdec[160], want[16], got[16];
      vrt::cipher15::kuznechik_schedule_encrypt_portable(enc, key.data());
      vrt::cipher15::kuznechik_schedule_decrypt_portable(dec, key.data());
      v.schedule_enc(venc, key.data());
      v.schedule_dec(vdec, key.data());
      ASSERT_EQ(Hex(venc, 160), Hex(enc, 160));
      ASSERT_EQ(Hex(vdec, 160), Hex(dec, 160));
      vrt::cipher15::kuznechik_encrypt_portable(enc, in.data(), want);
      v.enc(enc, in.data(), got);
      ASSERT_EQ(Hex(got, 16), Hex(want, 16));
      vrt::cipher15::kuznechik_decrypt_portable(dec, in.data(), want);
      std::memcpy(got, in.data(), 16);
      v.dec(dec, got, got);
      ASSERT_EQ(Hex(got, 16), Hex(want, 16));
    }
  }
}

}  // namespace

namespace {

// The many-block forms of every variant equal the portable single block on
// every count around their group sizes (four blocks per register, up to
// sixteen side by side, batches of 64 and the partial batches from 28
// blocks of the AVX-512 form), in place and out of place.
TEST(Kuznechik, ManyBlockFormsEqualSingleBlocks) {
  struct Variant {
    const char* name;
    vrt::cipher15::KuznechikBlocksFn enc, dec;
    bool usable;
  };
  const Variant variants[] = {
      {"portable", vrt::cipher15::kuznechik_encrypt_blocks_portable, vrt::cipher15::kuznechik_decrypt_blocks_portable,
       true},
      {"avx", vrt::cipher15::kuznechik_encrypt_blocks_avx, vrt::cipher15::kuznechik_decrypt_blocks_avx,
       (vrtpInstance.cpu_detected & VRT_CPU_AVX) != 0},
      {"avx512", vrt::cipher15::kuznechik_encrypt_blocks_avx512, vrt::cipher15::kuznechik_decrypt_blocks_avx512,
       (vrtpInstance.cpu_detected & vrt::cipher15::kKuznechikAvx512Features) ==
           vrt::cipher15::kKuznechikAvx512Features},
      {"dispatched", vrt::cipher15::kuznechik_encrypt_blocks, vrt::cipher15::kuznechik_decrypt_blocks, true},
  };
  const Bytes key = RandomBytes(32);
  uint8_t enc[160], dec[160];
  vrt::cipher15::kuznechik_schedule_encrypt_portable(enc, key.data());
  vrt::cipher15::kuznechik_schedule_decrypt_portable(dec, key.data());
  for (const Variant& v : variants) {
    if (!v.usable) continue;
    for (size_t count : {0, 1, 2, 3, 4, 5, 7, 8, 9, 11, 15, 16, 17, 27, 28, 31, 63, 64, 65, 91, 92, 128, 130}) {
      SCOPED_TRACE(std::string(v.name) + " " + std::to_string(count) + " blocks");
      const Bytes in = RandomBytes(16 * count + 1);
      Bytes want_e(16 * count), want_d(16 * count);
      for (size_t b = 0; b < count; ++b) {
        vrt::cipher15::kuznechik_encrypt_portable(enc, in.data() + 16 * b, want_e.data() + 16 * b);
        vrt::cipher15::kuznechik_decrypt_portable(dec, in.data() + 16 * b, want_d.data() + 16 * b);
      }
      Bytes out(16 * count + 1, 0xa5);
      v.enc(enc, in.data(), out.data(), count);
      ASSERT_EQ(Hex(out.data(), 16 * count), Hex(want_e));
      ASSERT_EQ(out[16 * count], 0xa5);
      v.dec(dec, in.data(), out.data(), count);
      ASSERT_EQ(Hex(out.data(), 16 * count), Hex(want_d));
      Bytes buf(in.begin(), in.end() - 1);
      v.enc(enc, buf.data(), buf.data(), count);
      ASSERT_EQ(Hex(buf), Hex(want_e));
    }
  }
}

}  // namespace

namespace {

// Counter blocks through every variant equal the portable cipher on the
// counters built one by one: either half, advancing across the wrap of
// the half (the other half stays), as key stream and XORed into data, on
// counts around the group sizes; the counter is left advanced.
TEST(Kuznechik, CounterRunsEqualSingleBlocks) {
  struct Variant {
    const char* name;
    vrt::cipher15::KuznechikCountersFn fn;
    bool usable;
  };
  const Variant variants[] = {
      {"generic", vrt::cipher15::kuznechik_encrypt_counters_generic, true},
      {"avx512", vrt::cipher15::kuznechik_encrypt_counters_avx512,
       (vrtpInstance.cpu_detected & vrt::cipher15::kKuznechikAvx512Features) ==
           vrt::cipher15::kKuznechikAvx512Features},
  };
  const Bytes key = RandomBytes(32);
  uint8_t rk[160];
  vrt::cipher15::kuznechik_schedule_encrypt_portable(rk, key.data());
  for (const Variant& v : variants) {
    if (!v.usable) continue;
    for (int half : {0, 1}) {
      for (size_t count : {1, 2, 3, 5, 16, 17, 29, 30, 64, 67, 130}) {
        SCOPED_TRACE(std::string(v.name) + " half " + std::to_string(half) + " " + std::to_string(count));
        Bytes start = RandomBytes(16);
        // Near the top of the half, so that the run wraps it.
        vrt::store_be64(start.data() + 8 * half, ~uint64_t{0} - 2);
        const Bytes data = RandomBytes(16 * count);
        Bytes want(16 * count), ctr = start;
        for (size_t b = 0; b < count; ++b) {
          vrt::cipher15::kuznechik_encrypt_portable(rk, ctr.data(), want.data() + 16 * b);
          uint8_t* h = ctr.data() + 8 * half;
          vrt::store_be64(h, vrt::load_be64(h) + 1);
        }
        Bytes c = start, stream(16 * count);
        v.fn(rk, c.data(), half, nullptr, stream.data(), count);
        ASSERT_EQ(Hex(stream), Hex(want));
        ASSERT_EQ(Hex(c), Hex(ctr));
        Bytes buf = data;
        c = start;
        v.fn(rk, c.data(), half, buf.data(), buf.data(), count);
        for (size_t i = 0; i < buf.size(); ++i) ASSERT_EQ(buf[i], data[i] ^ want[i]) << i;
      }
    }
  }
}

}  // namespace

namespace {

constexpr size_t kStackScan = 16384;

// Sanitizer builds keep their locals in memory, in frames of other sizes:
// what the stack holds afterwards is a property of the release build.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

__attribute__((noinline)) void ClearStack() {
  uint8_t buf[kStackScan];
  std::memset(buf, 0, sizeof buf);
  __asm__ __volatile__("" : : "r"(buf) : "memory");
}

// Whether the stack below the caller holds one of the 8-byte needles (reads
// the leftovers of the frames that ran there).
__attribute__((noinline)) bool StackHolds(const std::vector<Bytes>& needles) {
  uint8_t buf[kStackScan];
  __asm__ __volatile__("" : : "r"(buf) : "memory");
  for (const Bytes& n : needles)
    for (size_t off = 0; off + n.size() <= sizeof buf; ++off)
      if (std::memcmp(buf + off, n.data(), n.size()) == 0) return true;
  return false;
}

// The AVX-512 runs leave no round key on the stack, in either
// representation or as the repeated bytes of the sliced layout, after runs
// of every size class.
TEST(Kuznechik, Avx512RunsLeaveNoRoundKeyOnTheStack) {
  const uint32_t need = vrt::cipher15::kKuznechikAvx512Features;
  if ((vrtpInstance.cpu_detected & need) != need) GTEST_SKIP() << "no AVX-512 VBMI with GFNI here";
  if (kSanitized) GTEST_SKIP() << "frames of a sanitizer build";
  const Bytes key = RandomBytes(32);
  uint8_t enc[160], dec[160];
  vrt::cipher15::kuznechik_schedule_encrypt_portable(enc, key.data());
  vrt::cipher15::kuznechik_schedule_decrypt_portable(dec, key.data());
  std::vector<Bytes> needles;
  for (const uint8_t* rk : {enc, dec}) {
    for (int i = 0; i < 10; ++i) {
      Bytes k(rk + 16 * i, rk + 16 * i + 16), other = k;
      vrt::cipher15::kuznechik_avx512_other_form(other.data(), other.size());
      for (const Bytes& form : {k, other}) {
        needles.emplace_back(form.begin(), form.begin() + 8);
        needles.emplace_back(form.begin() + 8, form.end());
        Bytes repeated;
        for (int b = 0; b < 2; ++b) repeated.insert(repeated.end(), 4, form[3 + b]);
        needles.push_back(repeated);
      }
    }
  }
  Bytes buf = RandomBytes(16 * 200);
  uint8_t ctr[16] = {};
  for (size_t blocks : {1, 3, 7, 16, 29, 40, 64, 100}) {
    SCOPED_TRACE(blocks);
    ClearStack();
    vrt::cipher15::kuznechik_encrypt_blocks_avx512(enc, buf.data(), buf.data(), blocks);
    EXPECT_FALSE(StackHolds(needles)) << "encryption";
    ClearStack();
    vrt::cipher15::kuznechik_decrypt_blocks_avx512(dec, buf.data(), buf.data(), blocks);
    EXPECT_FALSE(StackHolds(needles)) << "decryption";
    ClearStack();
    vrt::cipher15::kuznechik_encrypt_counters_avx512(enc, ctr, 1, buf.data(), buf.data(), blocks);
    EXPECT_FALSE(StackHolds(needles)) << "counters";
    ClearStack();
    vrt::cipher15::kuznechik_encrypt_avx512(enc, buf.data(), buf.data());
    uint8_t rk[160];
    vrt::cipher15::kuznechik_schedule_encrypt_avx512(rk, key.data());
    vrt_memset_s(rk, sizeof rk, 0, sizeof rk);
    EXPECT_FALSE(StackHolds(needles)) << "one block and the schedule";
  }
}

}  // namespace
