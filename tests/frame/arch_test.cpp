// The dispatch table and its word-array primitives, checked against a
// byte-at-a-time reference on random and boundary operands.
#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "frame/internal.h"
#include "vrt.h"

namespace {

using vrt::test::Bytes;
using vrt::test::Hex;
using vrt::test::RandomBytes;

// Reference arithmetic on little-endian byte arrays.
uint32_t RefAdd(uint8_t* r, const uint8_t* a, const uint8_t* b, size_t n, uint32_t c) {
  for (size_t i = 0; i < n; ++i) {
    uint32_t s = a[i] + b[i] + c;
    r[i] = static_cast<uint8_t>(s);
    c = s >> 8;
  }
  return c;
}
uint32_t RefSub(uint8_t* r, const uint8_t* a, const uint8_t* b, size_t n, uint32_t br) {
  for (size_t i = 0; i < n; ++i) {
    int s = a[i] - b[i] - static_cast<int>(br);
    br = s < 0;
    r[i] = static_cast<uint8_t>(s);
  }
  return br;
}
uint32_t RefCmp(const uint8_t* a, const uint8_t* b, size_t n) {
  for (size_t i = n; i-- > 0;) {
    if (a[i] < b[i]) return 0;
    if (a[i] > b[i]) return 4;
  }
  return 2;
}

struct Width {
  size_t bytes;
  vrt_add_fn add, sub;
  vrt_cmp_fn cmp;
  vrt_shift_fn shl, shr;
  vrt_xor_fn xr;
  vrt_modop_fn add_mod, sub_mod;
  uint64_t (*fast_add)(void*, const void*, const void*, uint64_t);
  vrt_xor_fn fast_xor;
};

const Width kWidths[] = {
    {32, add256, sub256, cmp256, shl256_1, shr256_1, xor256, add256_mod, sub256_mod, __add256, __xor256},
    {64, add512, sub512, cmp512, shl512_1, shr512_1, xor512, add512_mod, sub512_mod, __add512, __xor512},
};

// Random operands plus the values where carries and borrows run the whole way.
std::vector<Bytes> Operands(size_t n) {
  std::vector<Bytes> v = {Bytes(n, 0), Bytes(n, 0xff)};
  Bytes one(n, 0);
  one[0] = 1;
  v.push_back(one);
  Bytes top(n, 0);
  top[n - 1] = 0x80;
  v.push_back(top);
  Bytes low_zero(n, 0xff);  // leading (low) zero words
  std::memset(low_zero.data(), 0, n / 2);
  v.push_back(low_zero);
  for (int i = 0; i < 40; ++i) v.push_back(RandomBytes(n));
  return v;
}

TEST(Arch, TableHoldsTheX86VariantsInFourSlots) {
  const vrtp_arch_table_t& t = vrtpInstance.arch;
  EXPECT_EQ(reinterpret_cast<void*>(t.add256), reinterpret_cast<void*>(__add256));
  EXPECT_EQ(reinterpret_cast<void*>(t.add512), reinterpret_cast<void*>(__add512));
  EXPECT_EQ(t.xor256, __xor256);
  EXPECT_EQ(t.xor512, __xor512);
  EXPECT_EQ(t.cmp256, cmp256);
  EXPECT_EQ(t.cmp512, cmp512);
  EXPECT_EQ(t.sub256, sub256);
  EXPECT_EQ(t.sub512, sub512);
  EXPECT_EQ(t.shl256_1, shl256_1);
  EXPECT_EQ(t.shl512_1, shl512_1);
  EXPECT_EQ(t.shr256_1, shr256_1);
  EXPECT_EQ(t.shr512_1, shr512_1);
  EXPECT_EQ(t.add256_mod, add256_mod);
  EXPECT_EQ(t.add512_mod, add512_mod);
  EXPECT_EQ(t.sub256_mod, sub256_mod);
  EXPECT_EQ(t.sub512_mod, sub512_mod);
}

TEST(Arch, FeatureWordMatchesTheProcessor) {
  EXPECT_EQ(vrtpInstance.cpu_enabled, vrtpInstance.cpu_detected);
  __builtin_cpu_init();
  struct {
    uint32_t bit;
    bool has;
  } const features[] = {
      {VRT_CPU_AVX, __builtin_cpu_supports("avx") != 0},
      {VRT_CPU_AVX2, __builtin_cpu_supports("avx2") != 0},
      {VRT_CPU_SSSE3, __builtin_cpu_supports("ssse3") != 0},
      {VRT_CPU_SSE42, __builtin_cpu_supports("sse4.2") != 0},
      {VRT_CPU_BMI2, __builtin_cpu_supports("bmi2") != 0},
      {VRT_CPU_GFNI, __builtin_cpu_supports("gfni") != 0},
      {VRT_CPU_PCLMUL, __builtin_cpu_supports("pclmul") != 0},
      {VRT_CPU_VPCLMUL, __builtin_cpu_supports("vpclmulqdq") != 0},
  };
  for (const auto& f : features) EXPECT_EQ((vrtpInstance.cpu_detected & f.bit) != 0, f.has) << f.bit;
  // The AVX-512 bit also needs the system to save the 512-bit state, which
  // the compiler's probe also checks.
  bool vbmi = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
              __builtin_cpu_supports("avx512vbmi");
  EXPECT_EQ((vrtpInstance.cpu_detected & VRT_CPU_AVX512VBMI) != 0, vbmi);
  bool vl = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
  EXPECT_EQ((vrtpInstance.cpu_detected & VRT_CPU_AVX512VL) != 0, vl);
  uint32_t regs[4];
  __get_cpuid(regs, 0);
  EXPECT_GE(regs[0], 1u);  // highest standard leaf
  // ADX: leaf 7, EBX bit 19, read here with the instruction itself (not
  // every compiler's probe knows the name).
  bool adx = false;
  if (regs[0] >= 7) {
    uint32_t a = 7, b, c = 0, d;
    __asm__("cpuid" : "+a"(a), "=b"(b), "+c"(c), "=d"(d));
    adx = (b >> 19) & 1;
  }
  EXPECT_EQ((vrtpInstance.cpu_detected & VRT_CPU_ADX) != 0, adx);
}

TEST(Arch, CleanupClearsOnlyTheLayerFlag) {
  vrtp_instance_t copy = vrtpInstance;
  copy.arch_state = 1;
  vrtpArchCleanup(&copy);
  EXPECT_EQ(copy.arch_state, 0u);
  vrtpArchCleanup(&copy);
  EXPECT_EQ(copy.arch_state, 0u);
  EXPECT_EQ(copy.arch.add512, vrtpInstance.arch.add512);  // the table keeps its values
  EXPECT_EQ(copy.cpu_enabled, vrtpInstance.cpu_enabled);
}

TEST(Arch, AddAndSubtractMatchTheReference) {
  for (const Width& w : kWidths) {
    const size_t n = w.bytes;
    auto ops = Operands(n);
    for (const Bytes& a : ops) {
      for (size_t k = 0; k < 6; ++k) {
        const Bytes& b = ops[(k * 7 + a[0]) % ops.size()];
        for (int c = 0; c < 2; ++c) {
          Bytes want(n), got(n), fast(n);
          uint32_t want_c = RefAdd(want.data(), a.data(), b.data(), n, c);
          EXPECT_EQ(w.add(got.data(), a.data(), b.data(), c), want_c);
          EXPECT_EQ(Hex(got), Hex(want));
          // The 64-bit variant reads only bit 0 of its carry argument.
          EXPECT_EQ(w.fast_add(fast.data(), a.data(), b.data(), c | 0xf0), want_c);
          EXPECT_EQ(Hex(fast), Hex(want));
          want_c = RefSub(want.data(), a.data(), b.data(), n, c);
          EXPECT_EQ(w.sub(got.data(), a.data(), b.data(), c), want_c);
          EXPECT_EQ(Hex(got), Hex(want));
        }
      }
    }
  }
}

TEST(Arch, ResultsMayAliasOperands) {
  for (const Width& w : kWidths) {
    const size_t n = w.bytes;
    Bytes a = RandomBytes(n), b = RandomBytes(n), want(n);
    RefAdd(want.data(), a.data(), b.data(), n, 1);
    Bytes r = a;
    w.add(r.data(), r.data(), b.data(), 1);
    EXPECT_EQ(Hex(r), Hex(want));
    r = b;
    w.fast_add(r.data(), a.data(), r.data(), 1);
    EXPECT_EQ(Hex(r), Hex(want));
    r = a;
    w.shl(r.data(), r.data(), 0);
    w.shr(r.data(), r.data(), a[n - 1] >> 7);
    EXPECT_EQ(Hex(r), Hex(a));
  }
}

TEST(Arch, CompareShiftAndXorMatchTheReference) {
  for (const Width& w : kWidths) {
    const size_t n = w.bytes;
    auto ops = Operands(n);
    for (const Bytes& a : ops) {
      EXPECT_EQ(w.cmp(a.data(), a.data()), 2u);
      for (const Bytes& b : {ops[3], ops[a[1] % ops.size()]}) {
        EXPECT_EQ(w.cmp(a.data(), b.data()), RefCmp(a.data(), b.data(), n));
        Bytes x(n), y(n), want(n);
        for (size_t i = 0; i < n; ++i) want[i] = a[i] ^ b[i];
        EXPECT_EQ(w.xr(x.data(), a.data(), b.data()), x.data());
        EXPECT_EQ(w.fast_xor(y.data(), a.data(), b.data()), y.data());
        EXPECT_EQ(Hex(x), Hex(want));
        EXPECT_EQ(Hex(y), Hex(want));
      }
      for (int bit_in = 0; bit_in < 2; ++bit_in) {
        // a << 1 is a + a; a >> 1 undoes the shift given the bit shifted out.
        Bytes doubled(n), shifted(n), back(n);
        uint32_t carry = RefAdd(doubled.data(), a.data(), a.data(), n, bit_in);
        EXPECT_EQ(w.shl(shifted.data(), a.data(), bit_in), carry);
        EXPECT_EQ(Hex(shifted), Hex(doubled));
        EXPECT_EQ(w.shr(back.data(), shifted.data(), static_cast<int>(carry)), static_cast<uint32_t>(bit_in));
        EXPECT_EQ(Hex(back), Hex(a));
      }
    }
  }
}

TEST(Arch, ModularAddAndSubtractStayBelowTheModulus) {
  for (const Width& w : kWidths) {
    const size_t n = w.bytes;
    for (int trial = 0; trial < 200; ++trial) {
      Bytes p = RandomBytes(n);
      p[n - 1] |= (trial % 2) ? 0x80 : 0x01;  // moduli near 2^N and far below it
      p[0] |= 1;
      auto below = [&](Bytes v) {
        while (RefCmp(v.data(), p.data(), n) != 0) v[n - 1] >>= 1;
        return v;
      };
      Bytes pm1 = p;
      pm1[0] ^= 1;  // p - 1 (p is odd)
      Bytes a = trial < 20 ? pm1 : below(RandomBytes(n));
      Bytes b = trial < 10 ? pm1 : below(RandomBytes(n));
      Bytes sum(n), got(n), diff(n);
      uint32_t carry = RefAdd(sum.data(), a.data(), b.data(), n, 0);
      if (carry || RefCmp(sum.data(), p.data(), n) >= 2) RefSub(sum.data(), sum.data(), p.data(), n, 0);
      w.add_mod(got.data(), a.data(), b.data(), p.data());
      EXPECT_EQ(Hex(got), Hex(sum));
      if (RefSub(diff.data(), a.data(), b.data(), n, 0)) RefAdd(diff.data(), diff.data(), p.data(), n, 0);
      w.sub_mod(got.data(), a.data(), b.data(), p.data());
      EXPECT_EQ(Hex(got), Hex(diff));
      // (a - b) + b = a
      w.add_mod(got.data(), got.data(), b.data(), p.data());
      EXPECT_EQ(Hex(got), Hex(a));
    }
  }
}

}  // namespace
