// A masked key record as callers hold it, owning its allocation.
#pragma once

#include <gtest/gtest.h>

#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test {

// Holds plain under a random mask of the given kind (plain for kind 0).
class MaskedKey {
 public:
  MaskedKey(const Bytes& plain, uint32_t kind = GOST89_KEY_XOR) {
    EXPECT_EQ(genkey_alloc(&g_, plain.size(), kind), VRT_SUCCESS);
    Bytes mask = RandomBytes(plain.size());
    binstr_t src, msk;
    __binstr_init(&src, const_cast<uint8_t*>(plain.data()), plain.size());
    __binstr_init(&msk, mask.data(), mask.size());
    EXPECT_EQ(genkey_load(&g_, &src, kind != 0 ? &msk : nullptr), VRT_SUCCESS);
    genkey_mask(&g_);
  }
  ~MaskedKey() { genkey_free(&g_); }
  MaskedKey(const MaskedKey&) = delete;
  MaskedKey& operator=(const MaskedKey&) = delete;
  const genkey_t* get() const { return &g_; }

 private:
  genkey_t g_{};
};

}  // namespace vrt::test
