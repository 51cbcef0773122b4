// PBKDF2 as the tests call it, and a plain model of RFC 8018 over the
// one-call HMAC functions.
#pragma once

#include <gtest/gtest.h>

#include <cstring>

#include "common/test_util.h"
#include "vrt.h"

namespace vrt::test {

inline binstr_t Str(const Bytes& b) {
  binstr_t s;
  __binstr_init(&s, const_cast<uint8_t*>(b.data()), b.size());
  return s;
}

inline Bytes HmacOf(uint32_t alg, const Bytes& key, const Bytes& msg) {
  Bytes mac(alg == VRT_ALG_HMAC2012_512 ? 64 : 32);
  binstr_t k = Str(key), m = Str(msg);
  EXPECT_EQ(alg == VRT_ALG_HMAC2012_512 ? vrtGostHmac2012_512(mac.data(), &k, &m) : vrtGostHmac94(mac.data(), &k, &m),
            VRT_SUCCESS);
  return mac;
}

inline Bytes Pbkdf2Model(uint32_t alg, const Bytes& password, const Bytes& salt, uint64_t c, size_t dk_len) {
  Bytes out;
  for (uint32_t i = 1; out.size() < dk_len; ++i) {
    Bytes s = salt;
    for (int b = 3; b >= 0; --b) s.push_back(static_cast<uint8_t>(i >> (8 * b)));
    Bytes u = HmacOf(alg, password, s), t = u;
    for (uint64_t j = 1; j < c; ++j) {
      u = HmacOf(alg, password, u);
      for (size_t b = 0; b < t.size(); ++b) t[b] ^= u[b];
    }
    out.insert(out.end(), t.begin(), t.end());
  }
  out.resize(dk_len);
  return out;
}

// The key vrtPKCS5DeriveKeyNoCheck derives into a record of the given kind
// (under a random mask), unmasked; want is the status expected.
inline Bytes Pbkdf2(uint32_t alg, const Bytes& password, const Bytes& salt, uint64_t c, size_t dk_len,
                    uint32_t kind = 0, uint32_t salt_mode = 0, uint32_t want = VRT_SUCCESS) {
  genkey_t key;
  EXPECT_EQ(genkey_alloc(&key, dk_len, kind), VRT_SUCCESS);
  if (kind != 0) {
    Bytes zeros(dk_len), mask = RandomBytes(dk_len);
    binstr_t z = Str(zeros), m = Str(mask);
    EXPECT_EQ(genkey_load(&key, &z, &m), VRT_SUCCESS);
  }
  binstr_t pw = Str(password), sa = Str(salt);
  pkcs5_params_t p{};
  p.kdf = VRT_ALG_PBKDF2;
  p.prf = alg;
  p.iterations = c;
  p.password = &pw;
  p.salt = &sa;
  p.salt_mode = salt_mode;
  EXPECT_EQ(vrtPKCS5DeriveKeyNoCheck(&p, &key), want);
  Bytes out(dk_len);
  genkey_t plain{};
  __binstr_init(&plain.key, out.data(), out.size());
  if (dk_len != 0) genkey_unmask_to(&key, &plain);
  genkey_free(&key);
  return out;
}

}  // namespace vrt::test
