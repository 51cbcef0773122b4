// The compare step every known-answer self-test shares.
#pragma once

#include <cstddef>
#include <cstring>

#include "vrt.h"

namespace vrt {

// VRT_SUCCESS when the n bytes at got equal the expected answer, else
// VRT_ERROR_FAILED.
inline uint32_t selftest_compare(const void* got, const void* expected, size_t n) {
  return std::memcmp(got, expected, n) == 0 ? VRT_SUCCESS : VRT_ERROR_FAILED;
}

}  // namespace vrt
