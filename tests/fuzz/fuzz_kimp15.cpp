// KImp15 on untrusted exports, for Magma and Kuznyechik under the keys of
// the R 1323565.1.017-2018 example. Byte 0 chooses the cipher (bit 0) and
// the form of the rest (bit 1):
//   raw: an export to import; an accepted one exports back to the same
//        bytes, a refused one (1 or 12) leaves the output record as it was;
//   key: a key of 1..64 bytes, exported and imported back (it must come out
//        unchanged), then the export with one byte changed (the last input
//        byte says which), which must be refused with the record untouched.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "vrt.h"

namespace {

const uint8_t kEnc[32] = {0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x2b, 0x2c, 0x2d, 0x2e, 0x2f,
                          0x38, 0x39, 0x3a, 0x3b, 0x3c, 0x3d, 0x3e, 0x3f, 0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37};
const uint8_t kMac[32] = {0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07,
                          0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x1b, 0x1c, 0x1d, 0x1e, 0x1f};
const uint8_t kMagmaIv[4] = {0x67, 0xbe, 0xd6, 0x54};
const uint8_t kKuzIv[8] = {0x09, 0x09, 0x47, 0x2d, 0xd9, 0xf2, 0x6b, 0xe8};

genkey_t Load(const uint8_t* p, size_t n, uint32_t kind) {
  genkey_t g{};
  binstr_t b;
  __binstr_init(&b, const_cast<uint8_t*>(p), n);
  if (genkey_alloc(&g, n, kind) != VRT_SUCCESS || genkey_load(&g, &b, nullptr) != VRT_SUCCESS) std::abort();
  genkey_mask(&g);
  return g;
}

std::vector<uint8_t> Stored(const genkey_t* g) {
  const size_t n = g->kind != 0 ? 2 * g->key.length + VRT_GENKEY_FILLER_SIZE : g->key.length;
  return std::vector<uint8_t>(g->key.data, g->key.data + n);
}

std::vector<uint8_t> Plain(const genkey_t* g) {
  std::vector<uint8_t> out(g->key.length);
  genkey_t view{};
  __binstr_init(&view.key, out.data(), out.size());
  genkey_unmask_to(g, &view);
  return out;
}

// Imports e; checks the record is untouched on refusal. Returns the status.
uint32_t ImportChecked(const genkey_t* enc, const genkey_t* mac, const uint8_t* iv, size_t iv_len, size_t n,
                       const uint8_t* e, size_t e_len, std::vector<uint8_t>* plain) {
  genkey_t query{};
  uint32_t st = vrtKImp15(e, e_len, enc, mac, iv, iv_len, n, &query);
  if (st != VRT_SUCCESS) {
    if (st != VRT_ERROR_LENGTH && st != VRT_ERROR_INVALID_ARGUMENT) std::abort();
    return st;
  }
  if (query.key.length != e_len - n) std::abort();
  genkey_t out = Load(std::vector<uint8_t>(query.key.length, 0x5a).data(), query.key.length, GOST89_KEY_XOR);
  const std::vector<uint8_t> before = Stored(&out);
  st = vrtKImp15(e, e_len, enc, mac, iv, iv_len, n, &out);
  if (st == VRT_SUCCESS) {
    *plain = Plain(&out);
  } else {
    if (st != VRT_ERROR_FAILED) std::abort();
    if (Stored(&out) != before) std::abort();  // an unauthenticated key reached the record
  }
  genkey_free(&out);
  return st;
}

std::vector<uint8_t> Export(const genkey_t* key, const genkey_t* enc, const genkey_t* mac, const uint8_t* iv,
                            size_t iv_len, size_t n) {
  uint64_t len = 0;
  if (vrtKExp15(key, enc, mac, iv, iv_len, n, nullptr, &len) != VRT_SUCCESS) std::abort();
  std::vector<uint8_t> out(len);
  if (vrtKExp15(key, enc, mac, iv, iv_len, n, out.data(), &len) != VRT_SUCCESS) std::abort();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = vrtInit() == VRT_SUCCESS;
  if (!ready) std::abort();
  static genkey_t enc = Load(kEnc, 32, GOST89_KEY_ADD), mac = Load(kMac, 32, GOST89_KEY_XOR);
  if (size < 1) return 0;
  const size_t n = (data[0] & 1) ? 16 : 8;
  const uint8_t* iv = n == 16 ? kKuzIv : kMagmaIv;
  const size_t iv_len = n / 2;
  const uint8_t* rest = data + 1;
  const size_t rest_len = size - 1;
  std::vector<uint8_t> plain;
  if ((data[0] & 2) == 0) {
    if (ImportChecked(&enc, &mac, iv, iv_len, n, rest, rest_len, &plain) == VRT_SUCCESS) {
      genkey_t key = Load(plain.data(), plain.size(), GOST89_KEY_XOR);
      if (Export(&key, &enc, &mac, iv, iv_len, n) != std::vector<uint8_t>(rest, rest + rest_len)) std::abort();
      genkey_free(&key);
    }
    return 0;
  }
  if (rest_len < 1 || rest_len > 64) return 0;
  genkey_t key = Load(rest, rest_len, (data[0] & 4) ? GOST89_KEY_ADD : 0);
  std::vector<uint8_t> e = Export(&key, &enc, &mac, iv, iv_len, n);
  genkey_free(&key);
  if (ImportChecked(&enc, &mac, iv, iv_len, n, e.data(), e.size(), &plain) != VRT_SUCCESS) std::abort();
  if (plain != std::vector<uint8_t>(rest, rest + rest_len)) std::abort();
  e[rest[rest_len - 1] % e.size()] ^= static_cast<uint8_t>(1 + (data[0] >> 3));
  if (ImportChecked(&enc, &mac, iv, iv_len, n, e.data(), e.size(), &plain) != VRT_ERROR_FAILED) std::abort();
  return 0;
}
