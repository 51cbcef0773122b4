// The GOST 28147-89 known-answer self-tests: one-lane ECB round trips
// through the cipher context.
#include <cstring>
#include <initializer_list>

#include "frame/bytes.h"
#include "frame/selftest.h"
#include "vrt.h"

extern "C" {

// A one-lane ECB round trip under an unmasked key; 1 when the ciphertext
// (if expected is given) or the decryption differs.
static uint32_t ecb_round_trip(uintptr_t sbox_id, const uint8_t key[32], const uint8_t plain[16],
                               const uint8_t* expected) {
  uint8_t kbytes[32], ct[16], back[16];
  std::memcpy(kbytes, key, sizeof kbytes);
  genkey_t k{};
  k.key = binstr_t{sizeof kbytes, kbytes};
  Gost89Ctx* ctx = nullptr;
  uint32_t st = vrtpGost89CtxAllocInitialized(&ctx, 1, sbox_id);
  if (st == VRT_SUCCESS) st = vrtpGost89SetMode(ctx, VRT_GOST89_MODE_ECB, 0);
  if (st == VRT_SUCCESS) st = vrtpGost89EncryptSimple(ctx, &k, plain, ct, sizeof ct);
  if (st == VRT_SUCCESS && expected != nullptr) st = vrt::selftest_compare(ct, expected, sizeof ct);
  if (st == VRT_SUCCESS) st = vrtpGost89DecryptSimple(ctx, &k, ct, back, sizeof back);
  if (st == VRT_SUCCESS) st = vrt::selftest_compare(back, plain, sizeof back);
  vrtpGost89CtxFree(ctx);
  vrt_memreset_s(kbytes, sizeof kbytes);
  return st;
}

VRT_API uint32_t gost89_self_test(vrtp_instance_t*) {
  // The Magma example key and blocks of GOST R 34.12-2015 and 34.13-2015 in
  // this cipher's byte order (every key word and each block reversed).
  static constexpr auto kKey =
      vrt::hex_bytes<32>("ccddeeff8899aabb4455667700112233f3f2f1f0f7f6f5f4fbfaf9f8fffefdfc");
  static constexpr auto kPlain = vrt::hex_bytes<16>("1032547698badcfe590a133c6bf0de92");
  static constexpr auto kCipher = vrt::hex_bytes<16>("3dcad8c2e501e94ea072f394043f072b");
  return ecb_round_trip(VRT_GOST89_SBOX_TC26_Z, kKey.b, kPlain.b, kCipher.b);
}

VRT_API uint32_t gost89_self_test_NVQ_SBOXes(vrtp_instance_t*) {
  static constexpr auto kKey =
      vrt::hex_bytes<32>("0123456789abcdeffedcba9876543210f0e1d2c3b4a5968778695a4b3c2d1e0f");
  static constexpr auto kPlain = vrt::hex_bytes<16>("00112233445566778899aabbccddeeff");
  for (uintptr_t id : {VRT_GOST89_SBOX_NVQ_A, VRT_GOST89_SBOX_NVQ_003, VRT_GOST89_SBOX_NVQ_006}) {
    uint32_t st = ecb_round_trip(id, kKey.b, kPlain.b, nullptr);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}

}  // extern "C"
