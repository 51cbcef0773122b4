// Constant-time helpers: masks, selects and comparisons whose running time
// does not depend on the values compared. Everything that decides on secret
// data (tags, MACs, key masks) goes through these.
#pragma once

#include <cstddef>
#include <cstdint>

namespace vrt::ct {

// MemorySanitizer reports a poisoned operand of an asm statement as if the
// statement branched on it; under it the barriers below are left out, which
// can only make the checked code branch more, never less.
#if defined(__has_feature)
#if __has_feature(memory_sanitizer)
#define VRT_CT_MSAN 1
#endif
#endif
#ifndef VRT_CT_MSAN
#define VRT_CT_MSAN 0
#endif

// Hides a value from the optimiser so that it cannot turn mask arithmetic
// back into branches.
inline uint64_t value_barrier(uint64_t v) {
#if !VRT_CT_MSAN
  __asm__("" : "+r"(v) : :);
#endif
  return v;
}

inline uint32_t value_barrier32(uint32_t v) {
#if !VRT_CT_MSAN
  __asm__("" : "+r"(v) : :);
#endif
  return v;
}

// All-ones when v is zero, else zero.
inline uint64_t is_zero_mask(uint64_t v) {
  return uint64_t{0} - value_barrier((~v & (v - 1)) >> 63);
}

// 0 when the n bytes at a and b are equal, else 1; reads every byte.
inline uint32_t memdiff(const void* a, const void* b, size_t n) {
  const auto* x = static_cast<const uint8_t*>(a);
  const auto* y = static_cast<const uint8_t*>(b);
  uint32_t acc = 0;
  for (size_t i = 0; i < n; ++i) acc |= static_cast<uint32_t>(x[i] ^ y[i]);
  acc = value_barrier32(acc);
  return (acc | (0u - acc)) >> 31;
}

// a when mask is all-ones, b when it is zero.
inline uint64_t select(uint64_t mask, uint64_t a, uint64_t b) {
  return (value_barrier(mask) & a) | (~mask & b);
}

}  // namespace vrt::ct
