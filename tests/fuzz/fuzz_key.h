// The library initialised once and a fixed 32-byte key held as callers hold
// it, for the fuzz targets that carry a restored state on.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "vrt.h"

namespace vrt::fuzz {

inline const genkey_t* InitAndKey() {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();
  static genkey_t key = [] {
    genkey_t g{};
    uint8_t plain[32] = {7};
    binstr_t b;
    __binstr_init(&b, plain, sizeof plain);
    if (genkey_alloc(&g, 32, 0) != VRT_SUCCESS || genkey_load(&g, &b, nullptr) != VRT_SUCCESS) std::abort();
    return g;
  }();
  return &key;
}

}  // namespace vrt::fuzz
