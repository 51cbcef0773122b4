// The x86-64 half of the dispatch layer: the CPUID probe and the 64-bit-word
// variants of add and XOR that replace the generic ones.
#include <immintrin.h>

#include "frame/bytes.h"
#include "frame/internal.h"
#include "vrt.h"

namespace {

template <int Words64>
uint64_t add64(void* r, const void* a, const void* b, uint64_t carry) {
  auto* rp = static_cast<uint8_t*>(r);
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  unsigned long long w[Words64];
  unsigned char c = static_cast<unsigned char>(carry & 1);
  for (int i = 0; i < Words64; ++i)
    c = _addcarry_u64(c, vrt::load_le64(ap + 8 * i), vrt::load_le64(bp + 8 * i), &w[i]);
  for (int i = 0; i < Words64; ++i) vrt::store_le64(rp + 8 * i, w[i]);
  return c;
}

template <int Words64>
void* xor64(void* r, const void* a, const void* b) {
  auto* rp = static_cast<uint8_t*>(r);
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  for (int i = 0; i < Words64 / 2; ++i) {
    __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(ap + 16 * i));
    __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bp + 16 * i));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(rp + 16 * i), _mm_xor_si128(x, y));
  }
  return r;
}

}  // namespace

extern "C" {

VRT_API uint64_t __add256(void* r, const void* a, const void* b, uint64_t carry) {
  return add64<4>(r, a, b, carry);
}
VRT_API uint64_t __add512(void* r, const void* a, const void* b, uint64_t carry) {
  return add64<8>(r, a, b, carry);
}
VRT_API void* __xor256(void* r, const void* a, const void* b) { return xor64<4>(r, a, b); }
VRT_API void* __xor512(void* r, const void* a, const void* b) { return xor64<8>(r, a, b); }

VRT_API void __get_cpuidex(uint32_t regs[4], uint32_t leaf, uint32_t subleaf) {
  uint32_t a, b, c, d;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(leaf), "c"(subleaf));
  regs[0] = a;
  regs[1] = b;
  regs[2] = c;
  regs[3] = d;
}

VRT_API void __get_cpuid(uint32_t regs[4], uint32_t leaf) { __get_cpuidex(regs, leaf, 0); }

VRT_API uint32_t vrtpArchInitCustom(vrtp_instance_t* instance) {
  // The add slots take (int carry_in) and return a u32 carry; the 64-bit-word
  // variants take a u64 and return a u64. Under the x86-64 calling convention
  // both arguments travel in the same register, of which the variant reads
  // only bit 0, and its 0/1 result is read from the low half of the same
  // return register, so the slot type serves both.
  using Generic = void (*)(void);
  instance->arch.add256 = reinterpret_cast<vrt_add_fn>(reinterpret_cast<Generic>(__add256));
  instance->arch.xor256 = __xor256;
  instance->arch.add512 = reinterpret_cast<vrt_add_fn>(reinterpret_cast<Generic>(__add512));
  instance->arch.xor512 = __xor512;

  uint32_t regs[4];
  uint32_t features = instance->cpu_detected;  // only ever set, never cleared
  __get_cpuid(regs, 1);
  const bool osxsave = (regs[2] & (1u << 27)) != 0;
  if (regs[2] & (1u << 28)) features |= VRT_CPU_AVX;
  if (regs[2] & (1u << 9)) features |= VRT_CPU_SSSE3;
  if (regs[2] & (1u << 20)) features |= VRT_CPU_SSE42;
  if (regs[2] & (1u << 30)) features |= VRT_CPU_RDRAND;
  if (regs[2] & (1u << 1)) features |= VRT_CPU_PCLMUL;
  __get_cpuid(regs, 0);
  if (regs[0] >= 7) {
    __get_cpuidex(regs, 7, 0);
    if (regs[1] & (1u << 5)) features |= VRT_CPU_AVX2;
    if (regs[1] & (1u << 8)) features |= VRT_CPU_BMI2;
    if (regs[1] & (1u << 19)) features |= VRT_CPU_ADX;
    if (regs[2] & (1u << 8)) features |= VRT_CPU_GFNI;
    if (regs[2] & (1u << 10)) features |= VRT_CPU_VPCLMUL;
    // AVX-512 F (EBX 16), BW (EBX 30), VBMI (ECX 1), VL (EBX 31), and the
    // system saving the opmask and all 512-bit register state (XCR0 bits 1,
    // 2, 5, 6, 7).
    const bool vbmi = (regs[1] & (1u << 16)) && (regs[1] & (1u << 30)) && (regs[2] & (1u << 1));
    const bool vl = (regs[1] & (1u << 16)) && (regs[1] & (1u << 31));
    if ((vbmi || vl) && osxsave) {
      uint32_t lo, hi;
      __asm__ volatile("xgetbv" : "=a"(lo), "=d"(hi) : "c"(0));
      if ((lo & 0xE6u) == 0xE6u) {
        if (vbmi) features |= VRT_CPU_AVX512VBMI;
        if (vl) features |= VRT_CPU_AVX512VL;
      }
    }
  }
  instance->cpu_detected = features;
  instance->cpu_enabled = features;
  return VRT_SUCCESS;
}

VRT_API void vrtpArchCleanupCustom(void) {}

}  // extern "C"
