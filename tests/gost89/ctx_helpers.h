// Shared fixtures of the GOST 28147-89 context tests.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "common/masked_key.h"
#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test {

struct CtxDeleter {
  void operator()(Gost89Ctx* c) const { vrtGost89CtxFree(c); }
};
using Ctx = std::unique_ptr<Gost89Ctx, CtxDeleter>;

inline Ctx NewCtx(uint32_t lanes, uintptr_t sbox, uint32_t mode, uint32_t flags = 0) {
  Gost89Ctx* c = nullptr;
  EXPECT_EQ(vrtGost89CtxAllocInitialized(&c, lanes, sbox), VRT_SUCCESS);
  EXPECT_EQ(vrtGost89SetMode(c, mode, flags), VRT_SUCCESS);
  return Ctx(c);
}

// One lane through the public API, the message cut into the given pieces
// (cycled). Returns the output (the MAC for MAC mode).
inline Bytes RunLane(uintptr_t sbox, uint32_t mode, bool encrypt, const genkey_t* key, const Bytes* iv,
                     const Bytes& msg, const std::vector<size_t>& pieces = {SIZE_MAX}, uint32_t flags = 0) {
  Ctx ctx = NewCtx(1, sbox, mode, flags);
  if (iv != nullptr) {
    EXPECT_EQ(vrtGost89SetStateSimple(ctx.get(), iv->data()), VRT_SUCCESS);
  }
  Bytes out(msg.size());
  size_t off = 0;
  for (size_t i = 0; off < msg.size(); ++i) {
    size_t n = std::min(pieces[i % pieces.size()], msg.size() - off);
    if (n == 0) continue;
    uint32_t st;
    if (mode == VRT_GOST89_MODE_MAC) {
      st = vrtGost89MACSimple(ctx.get(), key, msg.data() + off, n);
    } else if (encrypt) {
      st = vrtGost89EncryptSimple(ctx.get(), key, msg.data() + off, out.data() + off, n);
    } else {
      st = vrtGost89DecryptSimple(ctx.get(), key, msg.data() + off, out.data() + off, n);
    }
    EXPECT_EQ(st, VRT_SUCCESS) << "piece at " << off;
    off += n;
  }
  if (mode == VRT_GOST89_MODE_MAC) {
    Bytes mac(8);
    EXPECT_EQ(vrtGost89MACGetValue(ctx.get(), mac.data()), VRT_SUCCESS);
    return mac;
  }
  return out;
}

}  // namespace vrt::test
