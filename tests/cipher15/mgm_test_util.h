// Helpers of the MGM tests: masked keys, owned contexts, and the public
// requests wrapped so that a test reads as the message it checks.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "cipher15/mgm.h"
#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test::mgm {

// A key masked as callers hold it (XOR with a random mask).
struct Key {
  genkey_t g{};
  Bytes plain;
  explicit Key(const Bytes& k) : plain(k) {
    EXPECT_EQ(genkey_alloc(&g, k.size(), GOST89_KEY_XOR), VRT_SUCCESS);
    Bytes mask = RandomBytes(k.size());
    binstr_t kb, mb;
    __binstr_init(&kb, plain.data(), plain.size());
    __binstr_init(&mb, mask.data(), mask.size());
    EXPECT_EQ(genkey_load(&g, &kb, &mb), VRT_SUCCESS);
    genkey_mask(&g);
  }
  ~Key() { genkey_free(&g); }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;
};

// An initialised context that frees itself.
struct Ctx {
  AeadCtx* c = nullptr;
  explicit Ctx(uint64_t n) { EXPECT_EQ(vrtAEADCtxAllocInitialized(&c, 1, n), VRT_SUCCESS); }
  ~Ctx() { vrtAEADCtxFree(c); }
  Ctx(const Ctx&) = delete;
  Ctx& operator=(const Ctx&) = delete;
  operator AeadCtx*() const { return c; }  // NOLINT: reads as the context itself
};

struct Sealed {
  Bytes text;  // ciphertext or plaintext
  Bytes tag;
};

// One-call encryption on a fresh context.
inline Sealed Seal(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& pt) {
  Ctx ctx(n);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  Sealed s{Bytes(pt.size()), Bytes(n)};
  EXPECT_EQ(vrtAEADEncryptSimple(ctx, key, pt.data(), s.text.data(), pt.size(), aad.data(), aad.size()),
            VRT_SUCCESS);
  EXPECT_EQ(vrtAEADImitGetValue(ctx, s.tag.data(), n), VRT_SUCCESS);
  return s;
}

// One-call decryption on a fresh context; out keeps its bytes unless the tag
// matches.
inline uint32_t Open(uint64_t n, const genkey_t* key, const Bytes& nonce, const Bytes& aad, const Bytes& ct,
                     const Bytes& tag, Bytes& out) {
  Ctx ctx(n);
  EXPECT_EQ(vrtAEADSetNonce(ctx, nonce.data()), VRT_SUCCESS);
  EXPECT_EQ(vrtAEADImitSetValue(ctx, tag.data(), tag.size()), VRT_SUCCESS);
  out.resize(ct.size());
  return vrtAEADDecryptSimple(ctx, key, ct.data(), out.data(), ct.size(), aad.data(), aad.size());
}

// The saved state of ctx.
inline Bytes Save(AeadCtx* ctx) {
  uint64_t size = 0;
  EXPECT_EQ(vrtAEADSaveState(ctx, nullptr, &size), VRT_SUCCESS);
  Bytes blob(size);
  EXPECT_EQ(vrtAEADSaveState(ctx, blob.data(), &size), VRT_SUCCESS);
  return blob;
}

// Cuts len into random pieces (some may be empty); the piece lengths.
inline std::vector<size_t> RandomCuts(size_t len, size_t max_pieces) {
  std::vector<size_t> pieces;
  size_t left = len;
  const size_t count = RandomSize(1, max_pieces);
  for (size_t i = 0; i + 1 < count && left > 0; ++i) {
    const size_t p = RandomSize(0, left);
    pieces.push_back(p);
    left -= p;
  }
  pieces.push_back(left);
  return pieces;
}

}  // namespace vrt::test::mgm
