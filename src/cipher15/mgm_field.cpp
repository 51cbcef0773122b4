// The arithmetic of MGM: multiplication in GF(2^128) and GF(2^64), the two
// half-block counters and the length block, for both ciphers.
//
// Field elements are big-endian byte strings: bit i of the number is the
// coefficient of x^i. The portable multiplication is shift-and-add over the
// bits of b from the least significant, with the reduction constant folded
// in whenever a bit falls off the top of a; every step runs whatever the
// bits are, through masks, since H (one operand of every product) is secret.
#include <atomic>
#include <initializer_list>

#include "cipher15/mgm.h"
#include "frame/bytes.h"
#include "frame/ct.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

// a = a * x for a 128-bit (hi, lo) element, reduced.
inline void times_x128(uint64_t& hi, uint64_t& lo) {
  const uint64_t carry = 0 - (hi >> 63);
  hi = (hi << 1) | (lo >> 63);
  lo = (lo << 1) ^ (carry & 0x87);
}

std::atomic<GfMulFn> g_mul128{gf128_mul_portable};
std::atomic<GfMulFn> g_mul64{gf64_mul_portable};
std::atomic<GfMulSumFn> g_mul_sum128{gf128_mul_sum_portable};

}  // namespace

void gf128_mul_portable(void* out, const void* a, const void* b) {
  const auto* pa = static_cast<const uint8_t*>(a);
  const auto* pb = static_cast<const uint8_t*>(b);
  uint64_t ah = load_be64(pa), al = load_be64(pa + 8);
  const uint64_t bh = load_be64(pb), bl = load_be64(pb + 8);
  uint64_t rh = 0, rl = 0;
  for (const uint64_t word : {bl, bh}) {
    for (int i = 0; i < 64; ++i) {
      const uint64_t m = 0 - ct::value_barrier((word >> i) & 1);
      rh ^= ah & m;
      rl ^= al & m;
      times_x128(ah, al);
    }
  }
  auto* po = static_cast<uint8_t*>(out);
  store_be64(po, rh);
  store_be64(po + 8, rl);
}

void gf64_mul_portable(void* out, const void* a, const void* b) {
  uint64_t x = load_be64(a);
  const uint64_t y = load_be64(b);
  uint64_t r = 0;
  for (int i = 0; i < 64; ++i) {
    r ^= x & (0 - ct::value_barrier((y >> i) & 1));
    x = (x << 1) ^ ((0 - (x >> 63)) & 0x1B);
  }
  store_be64(out, r);
}

void gf128_mul_sum_portable(void* sum, const void* h, const void* x, size_t count) {
  const auto* a = static_cast<const uint8_t*>(h);
  const auto* b = static_cast<const uint8_t*>(x);
  auto* s = static_cast<uint8_t*>(sum);
  uint8_t p[16];
  for (size_t i = 0; i < count; ++i) {
    gf128_mul_portable(p, a + 16 * i, b + 16 * i);
    store_le64(s, load_le64(s) ^ load_le64(p));
    store_le64(s + 8, load_le64(s + 8) ^ load_le64(p + 8));
  }
}

void gf128_mul_sum(void* sum, const void* h, const void* x, size_t count) {
  g_mul_sum128.load(std::memory_order_relaxed)(sum, h, x, count);
}

void mgm_arch_init(uint32_t cpu_enabled) {
  const bool clmul = (cpu_enabled & VRT_CPU_PCLMUL) != 0;
  const uint32_t wide = VRT_CPU_PCLMUL | VRT_CPU_VPCLMUL | VRT_CPU_AVX512VBMI;  // VBMI: F and BW with their state
  g_mul128.store(clmul ? gf128_mul_pclmul : gf128_mul_portable, std::memory_order_release);
  g_mul64.store(clmul ? gf64_mul_pclmul : gf64_mul_portable, std::memory_order_release);
  g_mul_sum128.store((cpu_enabled & wide) == wide ? gf128_mul_sum_vpclmul
                     : clmul                       ? gf128_mul_sum_pclmul
                                                   : gf128_mul_sum_portable,
                     std::memory_order_release);
}

}  // namespace vrt::cipher15

extern "C" {

VRT_API void mulGaloisField128(void* out, const void* a, const void* b) {
  vrt::cipher15::g_mul128.load(std::memory_order_relaxed)(out, a, b);
}

VRT_API void mulGaloisField64(void* out, const void* a, const void* b) {
  vrt::cipher15::g_mul64.load(std::memory_order_relaxed)(out, a, b);
}

VRT_API void kuznechikCounterL(void* block) { vrt::store_be64(block, vrt::load_be64(block) + 1); }

VRT_API void kuznechikCounterR(void* block) {
  auto* p = static_cast<uint8_t*>(block) + 8;
  vrt::store_be64(p, vrt::load_be64(p) + 1);
}

VRT_API void magmaCounterL(void* block) { vrt::store_be32(block, vrt::load_be32(block) + 1); }

VRT_API void magmaCounterR(void* block) {
  auto* p = static_cast<uint8_t*>(block) + 4;
  vrt::store_be32(p, vrt::load_be32(p) + 1);
}

VRT_API void kuznechikConcatLen(void* out, uint64_t aad_len, uint64_t text_len, uint64_t count) {
  auto* p = static_cast<uint8_t*>(out);
  for (uint64_t i = 0; i < count; ++i, p += 16) {
    vrt::store_be64(p, aad_len * 8);
    vrt::store_be64(p + 8, text_len * 8);
  }
}

VRT_API void magmaConcatLen(void* out, uint64_t aad_len, uint64_t text_len, uint64_t count) {
  auto* p = static_cast<uint8_t*>(out);
  for (uint64_t i = 0; i < count; ++i, p += 8) vrt::store_be64(p, ((aad_len * 8) << 32) + text_len * 8);
}

}  // extern "C"
