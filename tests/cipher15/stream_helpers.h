// Fixtures of the stream, saved-state and MAC tests: contexts with their
// ACPKM sizes, one-shot references, state blobs, and the scan for key
// material left in memory.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "cipher15/internal.h"
#include "cipher15/modes_helpers.h"
#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test {

struct StreamMode {
  const char* name;
  uint32_t mode;
};
// Every cipher mode of the context.
inline const StreamMode kStreamModes[] = {{"ECB", VRT_GOST15_MODE_ECB}, {"CBC", VRT_GOST15_MODE_CBC},
                                          {"CFB", VRT_GOST15_MODE_CFB}, {"OFB", VRT_GOST15_MODE_OFB},
                                          {"CTR", VRT_GOST15_MODE_CTR}, {"CTR-ACPKM", VRT_GOST15_MODE_CTR_ACPKM}};

inline bool CounterMode(uint32_t mode) { return mode == VRT_GOST15_MODE_CTR || mode == VRT_GOST15_MODE_CTR_ACPKM; }

// A context in mode with flags; the ACPKM modes also get their sizes.
inline Ctx15 NewModeCtx(size_t n, uint32_t mode, uint32_t flags = 0, uint64_t section = 0, uint64_t frame = 0) {
  Ctx15 ctx = NewCtx15(n, mode, flags);
  if (mode == VRT_GOST15_MODE_CTR_ACPKM || mode == VRT_GOST15_MODE_OMAC_ACPKM) {
    EXPECT_EQ(vrtGost15SetParametersACPKM(ctx.get(), section, frame), VRT_SUCCESS);
  }
  return ctx;
}

// The IV length the stream tests use: n/2 for the counter modes, none for
// ECB, 2n + 3 for CFB (a register that is not whole blocks), 2n else.
inline size_t StreamIvLength(uint32_t mode, size_t n) {
  return CounterMode(mode) ? n / 2 : mode == VRT_GOST15_MODE_ECB ? 0 : mode == VRT_GOST15_MODE_CFB ? 2 * n + 3 : 2 * n;
}

// One message through a fresh context's Simple call.
inline Bytes OneShot(size_t n, uint32_t mode, uint64_t section, bool encrypt, const genkey_t* key, const Bytes& iv,
                     const Bytes& in, uint32_t flags = 0) {
  Ctx15 ctx = NewModeCtx(n, mode, flags, section);
  Bytes out(OutputLength(mode, in.size(), n));
  const uint8_t* ivp = iv.empty() ? nullptr : iv.data();
  const uint32_t st = encrypt ? vrtGost15EncryptSimple(ctx.get(), key, in.data(), out.data(), in.size(), ivp, iv.size())
                              : vrtGost15DecryptSimple(ctx.get(), key, in.data(), out.data(), in.size(), ivp, iv.size());
  EXPECT_EQ(st, VRT_SUCCESS) << "one-shot, len " << in.size();
  return out;
}

inline Bytes SaveState(Gost15Ctx* ctx) {
  uint64_t size = 0;
  EXPECT_EQ(vrtGost15SaveState(ctx, nullptr, &size), VRT_SUCCESS);
  Bytes blob(size);
  EXPECT_EQ(vrtGost15SaveState(ctx, blob.data(), &size), VRT_SUCCESS);
  return blob;
}

inline Bytes SaveMacState(Gost15Ctx* ctx) {
  uint64_t size = 0;
  EXPECT_EQ(vrtGost15MACSaveState(ctx, nullptr, &size), VRT_SUCCESS);
  Bytes blob(size);
  EXPECT_EQ(vrtGost15MACSaveState(ctx, blob.data(), &size), VRT_SUCCESS);
  return blob;
}

// A fresh context of block size n holding the saved state blob.
inline Ctx15 Restored(size_t n, const Bytes& blob, bool mac = false) {
  Gost15Ctx* c = nullptr;
  EXPECT_EQ(vrtGost15CtxAllocInitialized(&c, 1, static_cast<uint32_t>(n)), VRT_SUCCESS);
  EXPECT_EQ(mac ? vrtGost15MACRestoreState(c, blob.data(), blob.size()) : vrtGost15RestoreState(c, blob.data(), blob.size()),
            VRT_SUCCESS);
  return Ctx15(c);
}

// Fails when any width-byte window of any pattern occurs in mem.
inline void ExpectNoPattern(const uint8_t* mem, size_t size, const std::vector<Bytes>& patterns, size_t width,
                            const std::string& what) {
  for (size_t p = 0; p < patterns.size(); ++p)
    for (size_t i = 0; i + width <= patterns[p].size(); i += width)
      for (size_t off = 0; off + width <= size; ++off)
        ASSERT_NE(std::memcmp(mem + off, patterns[p].data() + i, width), 0)
            << what << ": pattern " << p << " word " << i / width << " at offset " << off;
}

// The key in every form a context may have held it: plain, its words
// byte-reversed (a GOST 28147-89 key record), and for Kuznyechik both
// schedules in 8-byte halves.
struct KeyForms {
  std::vector<Bytes> words;   // compared in 4-byte windows
  std::vector<Bytes> halves;  // compared in 8-byte windows
};
inline void AddKeyForms(KeyForms& f, size_t n, const Bytes& key) {
  f.words.push_back(key);
  Bytes swapped = key;
  for (size_t i = 0; i < 32; i += 4) std::reverse(swapped.begin() + i, swapped.begin() + i + 4);
  f.words.push_back(swapped);
  if (n == 16) {
    Bytes enc(160), dec(160);
    kuznechik_arch_schedule_encrypt(enc.data(), key.data());
    kuznechik_arch_schedule_decrypt(dec.data(), key.data());
    f.halves.push_back(enc);
    f.halves.push_back(dec);
  }
}

// No form of any key in the context's allocation.
inline void ExpectNoKeyIn(const Gost15Ctx* ctx, const KeyForms& f, const std::string& what) {
  const auto* mem = reinterpret_cast<const uint8_t*>(ctx);
  const size_t size = vrt::cipher15::ctx_alloc_size(ctx->block_size);
  ExpectNoPattern(mem, size, f.words, 4, what);
  ExpectNoPattern(mem, size, f.halves, 8, what);
  if (ctx->master_state.data != nullptr) {
    ExpectNoPattern(ctx->master_state.data, ctx->master_state.length, f.words, 4, what + " (generator state)");
  }
  // The held CTR-ACPKM section key: masked, its mask and filler no key.
  const genkey_t& held = ctx->acpkm_key;
  for (const binstr_t* b : {&held.key, &held.filler, &held.mask}) {
    if (b->data != nullptr) ExpectNoPattern(b->data, b->length, f.words, 4, what + " (held section key)");
  }
}

// Random piece sizes that add up to at least len: empty pieces, pieces
// inside a block and pieces of several blocks.
inline std::vector<size_t> RandomPieces(size_t len, size_t n) {
  std::vector<size_t> pieces;
  for (size_t sum = 0; sum < len;) {
    const size_t p = RandomSize(0, 3 * n + 1);
    pieces.push_back(p);
    sum += p;
  }
  return pieces;
}

}  // namespace vrt::test
