// Shared fixtures of the cipher-context tests: masked keys, contexts, the
// one-shot calls, and a deliberately plain model of the modes written from
// their definitions over the record's single-block operations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "common/masked_key.h"
#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test {

struct Ctx15Deleter {
  void operator()(Gost15Ctx* c) const { vrtGost15CtxFree(c); }
};
using Ctx15 = std::unique_ptr<Gost15Ctx, Ctx15Deleter>;

inline Ctx15 NewCtx15(size_t n, uint32_t mode, uint32_t flags = 0) {
  Gost15Ctx* c = nullptr;
  EXPECT_EQ(vrtGost15CtxAllocInitialized(&c, 1, static_cast<uint32_t>(n)), VRT_SUCCESS);
  EXPECT_EQ(vrtGost15SetMode(c, mode, flags), VRT_SUCCESS);
  return Ctx15(c);
}

struct ModeName {
  const char* name;
  uint32_t mode;
};
inline const ModeName kModes[] = {{"ECB", VRT_GOST15_MODE_ECB},
                                  {"CBC", VRT_GOST15_MODE_CBC},
                                  {"CFB", VRT_GOST15_MODE_CFB},
                                  {"OFB", VRT_GOST15_MODE_OFB},
                                  {"CTR", VRT_GOST15_MODE_CTR}};

inline uint32_t ModeFromName(const std::string& name) {
  for (const ModeName& m : kModes)
    if (name == m.name) return m.mode;
  ADD_FAILURE() << "unknown mode " << name;
  return 0;
}

inline const char* NameOf(uint32_t mode) {
  for (const ModeName& m : kModes)
    if (m.mode == mode) return m.name;
  return "?";
}

inline bool Padded(uint32_t mode) { return mode == VRT_GOST15_MODE_ECB || mode == VRT_GOST15_MODE_CBC; }

// A descriptor with the other fields zero.
inline Gost15Vec Vec(uint64_t len, const uint8_t* in, uint8_t* out, const genkey_t* key, const uint8_t* iv,
                     uint64_t iv_len) {
  Gost15Vec v{};
  v.len = len;
  v.in = in;
  v.out = out;
  v.key = key;
  v.iv = iv;
  v.iv_len = iv_len;
  return v;
}

// Bytes a one-shot call writes for len input bytes.
inline size_t OutputLength(uint32_t mode, size_t len, size_t n) {
  return Padded(mode) ? (len + n - 1) / n * n : len;
}

// The IV length the tests use by default: n/2 for CTR, none for ECB, n else.
inline size_t DefaultIvLength(uint32_t mode, size_t n) {
  return mode == VRT_GOST15_MODE_CTR ? n / 2 : mode == VRT_GOST15_MODE_ECB ? 0 : n;
}

// One message through a fresh context's Simple call; st receives the
// status (the test fails on a nonzero one unless st is given).
inline Bytes Crypt(size_t n, uint32_t mode, bool encrypt, const genkey_t* key, const Bytes& iv, const Bytes& in,
                   uint32_t flags = 0, uint32_t* st = nullptr) {
  Ctx15 ctx = NewCtx15(n, mode, flags);
  Bytes out(OutputLength(mode, in.size(), n));
  const uint8_t dummy = 0;
  const uint8_t* ip = in.empty() ? &dummy : in.data();
  uint8_t sink = 0;
  uint8_t* op = out.empty() ? &sink : out.data();
  const uint8_t* ivp = iv.empty() ? nullptr : iv.data();
  uint32_t s = encrypt ? vrtGost15EncryptSimple(ctx.get(), key, ip, op, in.size(), ivp, iv.size())
                       : vrtGost15DecryptSimple(ctx.get(), key, ip, op, in.size(), ivp, iv.size());
  if (st != nullptr)
    *st = s;
  else
    EXPECT_EQ(s, VRT_SUCCESS) << NameOf(mode) << " n=" << n << " len=" << in.size();
  return out;
}

// The plain model: every block through the record's block functions, the
// register kept as a byte string that grows by one block per block and is
// read n bytes at a time from its front.
class Model {
 public:
  Model(size_t n, const Bytes& key) : n_(n), key_(key) {
    if (n == 16) {
      kuznechik_arch_schedule_encrypt(enc_rk_, key.data());
      kuznechik_arch_schedule_decrypt(dec_rk_, key.data());
    }
  }
  Bytes E(const Bytes& x) const { return Apply(true, x); }
  Bytes D(const Bytes& x) const { return Apply(false, x); }

  // ctr: the initial counter block (n bytes).
  Bytes Run(uint32_t mode, bool encrypt, const Bytes& iv, const Bytes& msg, const Bytes& ctr = {}) const {
    const size_t n = n_;
    Bytes padded = msg;
    padded.resize((msg.size() + n - 1) / n * n, 0);
    Bytes out, reg = iv, counter = ctr;
    if (mode == VRT_GOST15_MODE_CTR && counter.empty()) {
      counter.assign(iv.begin(), iv.begin() + n / 2);
      counter.resize(n, 0);
    }
    size_t pos = 0;  // the front of the register
    for (size_t off = 0; off < padded.size(); off += n) {
      const Bytes x(padded.begin() + off, padded.begin() + off + n);
      const Bytes r = mode == VRT_GOST15_MODE_CTR || mode == VRT_GOST15_MODE_ECB
                          ? Bytes()
                          : Bytes(reg.begin() + pos, reg.begin() + pos + n);
      pos += n;
      Bytes y;
      switch (mode) {
        case VRT_GOST15_MODE_ECB:
          y = encrypt ? E(x) : D(x);
          break;
        case VRT_GOST15_MODE_CBC:
          if (encrypt) {
            y = E(Xor(x, r));
            Append(reg, y);
          } else {
            y = Xor(D(x), r);
            Append(reg, x);
          }
          break;
        case VRT_GOST15_MODE_CFB:
          y = Xor(x, E(r));
          Append(reg, encrypt ? y : x);
          break;
        case VRT_GOST15_MODE_OFB: {
          const Bytes g = E(r);
          y = Xor(x, g);
          Append(reg, g);
          break;
        }
        case VRT_GOST15_MODE_CTR:
          y = Xor(x, E(counter));
          for (size_t i = n; i-- > 0;)
            if (++counter[i] != 0) break;
          break;
      }
      Append(out, y);
    }
    out.resize(OutputLength(mode, msg.size(), n));
    return out;
  }

 private:
  static Bytes Xor(const Bytes& a, const Bytes& b) {
    Bytes r(a.size());
    for (size_t i = 0; i < a.size(); ++i) r[i] = a[i] ^ b[i];
    return r;
  }
  static void Append(Bytes& a, const Bytes& b) { a.insert(a.end(), b.begin(), b.end()); }
  Bytes Apply(bool encrypt, const Bytes& x) const {
    Bytes y(n_);
    if (n_ == 16) {
      (encrypt ? GOST15_G1_KUZNECHIK.encrypt : GOST15_G1_KUZNECHIK.decrypt)
          .gost15(x.data(), y.data(), nullptr, nullptr, encrypt ? enc_rk_ : dec_rk_);
    } else {
      const gost89_sbox_t* z = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
      (encrypt ? GOST15_G1_MAGMA.encrypt : GOST15_G1_MAGMA.decrypt).gost15(x.data(), y.data(), key_.data(), z, nullptr);
    }
    return y;
  }
  size_t n_;
  Bytes key_;
  uint8_t enc_rk_[160] = {};
  uint8_t dec_rk_[160] = {};
};

}  // namespace vrt::test
