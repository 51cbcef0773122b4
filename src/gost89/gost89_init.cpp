// Set-up and tear-down of the GOST 28147-89 layer within the library
// lifecycle: expansion of the built-in S-box sets, the S-box lock, and the
// choice of the block variant from the enabled processor features.
#include <atomic>

#include "gost89/internal.h"
#include "vrt.h"

namespace {

// Nibble r of S_i from a packed set.
inline uint8_t entry(const uint8_t* packed, int i, int r) {
  const uint8_t b = packed[4 * r + i / 2];
  return static_cast<uint8_t>((i & 1) ? b >> 4 : b & 15u);
}

}  // namespace

extern "C" {

VRT_API uint32_t gost89_init(vrtp_instance_t* instance) {
  uint32_t st = gost89_sbox_init();
  if (st == VRT_SUCCESS) st = gost89_arch_init(instance);
  if (st != VRT_SUCCESS) gost89_cleanup(instance);
  return st;
}

VRT_API void gost89_cleanup(vrtp_instance_t* instance) {
  gost89_arch_cleanup(instance);
  gost89_sbox_cleanup();
}

}  // extern "C"

namespace {
std::atomic<bool> g_sixteen{false};
}  // namespace

bool vrt::gost89::sixteen_blocks() { return g_sixteen.load(std::memory_order_relaxed); }

extern "C" {

VRT_API uint32_t gost89_arch_init(vrtp_instance_t* instance) {
  vrtpGost89AlgG1ptr = &vrtpGost89AlgAluG1;
  return gost89_avx_init(instance);
}

VRT_API void gost89_arch_cleanup(vrtp_instance_t*) {}

// With AVX the eight-block record is the vector one. A single block stays on
// the scalar scheduled record: one block broadcast across a vector runs a
// longer dependency chain per round (shifts, masks, four shuffles and their
// merge) than four table lookups, and the serial modes (CFB encryption, the
// MAC) are bound by that chain. The AVX single-block record stays for the
// tests and for callers that want no data-dependent memory access.
VRT_API uint32_t gost89_avx_init(vrtp_instance_t* instance) {
  if (instance == nullptr) return VRT_SUCCESS;
  g_sixteen = (instance->cpu_enabled & VRT_CPU_AVX512VBMI) != 0;
  if (instance->cpu_enabled & VRT_CPU_AVX) vrtpGost89AlgG8ptr = &vrtpGost89AlgAvxG8;
  // One 256-bit chain for all eight blocks, ternary selects and a native
  // rotate: a shorter round than two 128-bit chains.
  if (instance->cpu_enabled & VRT_CPU_AVX512VL) vrtpGost89AlgG8ptr = &vrtpGost89AlgAvx512G8;
  return VRT_SUCCESS;
}

VRT_API uint32_t gost89_arch_init_sbox(gost89_sbox_t* sbox) {
  return gost89_avx_init_sbox(sbox) == VRT_SUCCESS ? VRT_SUCCESS : VRT_ERROR_FAILED;
}

// Table m pairs S_2m (low nibble) with S_7-2m (high nibble): (S0, S7),
// (S2, S5), (S4, S3), (S6, S1). Written whether or not the processor has
// AVX, so a set expanded once serves every variant.
VRT_API uint32_t gost89_avx_init_sbox(gost89_sbox_t* sbox) {
  for (int m = 0; m < 4; ++m)
    for (int j = 0; j < 16; ++j)
      sbox->cpu[16 * m + j] =
          static_cast<uint8_t>(entry(sbox->packed, 2 * m, j) | (entry(sbox->packed, 7 - 2 * m, j) << 4));
  return VRT_SUCCESS;
}

}  // extern "C"
