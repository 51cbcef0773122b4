// The TC26 key unwrap on untrusted bytes, under a fixed key-encryption key.
// Byte 0 chooses the form of the rest:
//   even: a wrapped key to unwrap; an accepted one wraps back to the same
//         bytes, a refused one leaves the output record as it was;
//   odd:  a UKM of 8..16 bytes (byte 1 says how many) and a 32-byte key,
//         wrapped and unwrapped (the key must come back), then the wrapped
//         key with one byte changed (the last input byte says which), which
//         must be refused with the record untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vrt.h"

namespace {

genkey_t Load(const uint8_t* p, size_t n, uint32_t kind) {
  genkey_t g{};
  binstr_t b;
  __binstr_init(&b, const_cast<uint8_t*>(p), n);
  std::vector<uint8_t> mask(n, 0xa5);
  binstr_t m;
  __binstr_init(&m, mask.data(), n);
  if (genkey_alloc(&g, n, kind) != VRT_SUCCESS || genkey_load(&g, &b, &m) != VRT_SUCCESS) std::abort();
  genkey_mask(&g);
  return g;
}

std::vector<uint8_t> Stored(const genkey_t* g) {
  return std::vector<uint8_t>(g->key.data, g->key.data + 2 * g->key.length + VRT_GENKEY_FILLER_SIZE);
}

std::vector<uint8_t> Plain(const genkey_t* g) {
  std::vector<uint8_t> out(g->key.length);
  genkey_t view{};
  __binstr_init(&view.key, out.data(), out.size());
  genkey_unmask_to(g, &view);
  return out;
}

uint32_t UnwrapChecked(const genkey_t* kek, const uint8_t* w, size_t n, std::vector<uint8_t>* plain) {
  const uint8_t junk[32] = {0x5a};
  genkey_t out = Load(junk, 32, GOST89_KEY_ADD);
  const std::vector<uint8_t> before = Stored(&out);
  const uint32_t st = vrtKeyUnwrapTC26(kek, w, n, &out);
  if (st == VRT_SUCCESS) {
    *plain = Plain(&out);
  } else {
    if (st != VRT_ERROR_FAILED && st != VRT_ERROR_INVALID_ARGUMENT) std::abort();
    if ((n < 44 || n > 52) && st != VRT_ERROR_INVALID_ARGUMENT) std::abort();
    if (Stored(&out) != before) std::abort();  // an unauthenticated key reached the record
  }
  genkey_free(&out);
  return st;
}

std::vector<uint8_t> Wrap(const genkey_t* kek, const uint8_t* ukm, size_t ukm_len, const genkey_t* key) {
  std::vector<uint8_t> out(ukm_len + 36);
  uint64_t len = out.size();
  if (vrtKeyWrapTC26(ukm, ukm_len, kek, key, out.data(), &len) != VRT_SUCCESS || len != out.size()) std::abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();
  static const uint8_t kKek[32] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15,
                                   16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31};
  static genkey_t kek = Load(kKek, 32, GOST89_KEY_XOR);
  if (size < 1) return 0;
  std::vector<uint8_t> plain;
  if ((data[0] & 1) == 0) {
    if (UnwrapChecked(&kek, data + 1, size - 1, &plain) == VRT_SUCCESS) {
      genkey_t key = Load(plain.data(), 32, GOST89_KEY_XOR);
      if (Wrap(&kek, data + 1, size - 1 - 36, &key) != std::vector<uint8_t>(data + 1, data + size)) std::abort();
      genkey_free(&key);
    }
    return 0;
  }
  if (size < 2) return 0;
  const size_t ukm_len = 8 + data[1] % 9;
  if (size < 2 + ukm_len + 32 + 1) return 0;
  const uint8_t* ukm = data + 2;
  const uint8_t* k = ukm + ukm_len;
  genkey_t key = Load(k, 32, (data[0] & 2) ? GOST89_KEY_ADD : GOST89_KEY_XOR);
  std::vector<uint8_t> w = Wrap(&kek, ukm, ukm_len, &key);
  genkey_free(&key);
  if (UnwrapChecked(&kek, w.data(), w.size(), &plain) != VRT_SUCCESS) std::abort();
  if (plain != std::vector<uint8_t>(k, k + 32)) std::abort();
  w[data[size - 1] % w.size()] ^= static_cast<uint8_t>(1 + (data[0] >> 2));
  if (UnwrapChecked(&kek, w.data(), w.size(), &plain) != VRT_ERROR_FAILED) std::abort();
  return 0;
}
