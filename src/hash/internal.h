// What the other folders may call in the hash subsystem.
#pragma once

#include <cstdint>

namespace vrt::hash {

// The Streebog compression g_N(h, m): h = E(LPS(h ^ N), m) ^ h ^ m, all
// values little-endian 64-bit words; h may not alias N or m.
using CompressFn = void (*)(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);

// The compression chosen at initialisation (portable before it).
void streebog_g(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);
CompressFn streebog_compress();

// The variants: eight 2 KB tables, indexed by data; and one on AVX-512 VBMI
// with GFNI, whose byte permutes and affine products take the same time for
// any data. Only call the second where both features are enabled.
void streebog_g_portable(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);
void streebog_g_avx512(uint64_t h[8], const uint64_t N[8], const uint64_t m[8]);

// Picks the variant from the enabled processor features; run by library
// initialisation.
void streebog_arch_init(uint32_t cpu_enabled);

}  // namespace vrt::hash
