// The MGM known-answer self-test: the published examples for Kuznyechik and
// Magma (41 bytes of associated data, 67 of text), each encrypted and
// decrypted as a stream cut into pieces with the state saved and restored
// into the other of two contexts between every two pieces, and in one call.
#include <cstring>

#include "frame/bytes.h"
#include "frame/selftest.h"
#include "vrt.h"

namespace {

constexpr auto kKzKey = vrt::hex_bytes<32>("8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
constexpr auto kMgKey = vrt::hex_bytes<32>("ffeeddccbbaa99887766554433221100f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");
constexpr auto kKzAad = vrt::hex_bytes<41>(
    "0202020202020202010101010101010104040404040404040303030303030303ea0505050505050505");
constexpr auto kKzNonce = vrt::hex_bytes<16>("1122334455667700ffeeddccbbaa9988");
constexpr auto kKzText = vrt::hex_bytes<67>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a002233"
    "445566778899aabbcceeff0a0011aabbcc");
constexpr auto kKzCipher = vrt::hex_bytes<67>(
    "a9757b8147956e9055b8a33de89f42fc8075d2212bf9fd5bd3f7069aadc16b39497ab15915a6ba85936b5d0ea9f6851cc6"
    "0c14d4d3f883d0ab94420695c76deb2c7552");
constexpr auto kKzTag = vrt::hex_bytes<16>("cf5d656f40c34f5c46e8bb0e29fcdb4c");
constexpr auto kMgAad = vrt::hex_bytes<41>(
    "01010101010101010202020202020202030303030303030304040404040404040505050505050505ea");
constexpr auto kMgNonce = vrt::hex_bytes<8>("12def06b3c130a59");
constexpr auto kMgText = vrt::hex_bytes<67>(
    "ffeeddccbbaa998811223344556677008899aabbcceeff0a001122334455667799aabbcceeff0a001122334455667788aa"
    "bbcceeff0a00112233445566778899aabbcc");
constexpr auto kMgCipher = vrt::hex_bytes<67>(
    "c795066c5f9ea03b85113342459185ae1f2e00d6bf2b785d940470b8bb9c8e7d9a5dd3731f7ddc70ec27cb0ace6fa57670"
    "f65c646abb75d547aa37c3bcb5c34e03bb9c");
constexpr auto kMgTag = vrt::hex_bytes<8>("a7928069aa10fd10");

struct Case {
  uint64_t block_size;
  const uint8_t* key;
  const uint8_t* nonce;
  const uint8_t* aad;
  const uint8_t* text;
  const uint8_t* cipher;
  const uint8_t* tag;
};

constexpr uint64_t kAadCuts[] = {0, 17, 41};
constexpr uint64_t kTextCuts[] = {0, 13, 40, 67};
constexpr uint64_t kMessage = 67;

#define VRT_STEP(call)                      \
  do {                                      \
    const uint32_t step_status = (call);    \
    if (step_status != VRT_SUCCESS) return step_status; \
  } while (0)

// Both contexts and the key of one case, released on every way out.
struct Scope {
  genkey_t key{};
  AeadCtx* ctx[2] = {nullptr, nullptr};
  ~Scope() {
    vrtAEADCtxFree(ctx[0]);
    vrtAEADCtxFree(ctx[1]);
    genkey_free(&key);
  }
};

// Saves the live context and restores the state into the other one, which
// then carries on.
uint32_t hand_over(Scope& s, int& live) {
  uint8_t blob[256];
  uint64_t size = 0;
  VRT_STEP(vrtAEADSaveState(s.ctx[live], nullptr, &size));
  if (size > sizeof blob) return VRT_ERROR_FAILED;
  VRT_STEP(vrtAEADSaveState(s.ctx[live], blob, &size));
  live ^= 1;
  return vrtAEADRestoreState(s.ctx[live], blob, size);
}

uint32_t run_case(const Case& c) {
  const uint64_t n = c.block_size;
  Scope s;
  binstr_t plain;
  __binstr_init(&plain, const_cast<uint8_t*>(c.key), 32);
  VRT_STEP(genkey_alloc(&s.key, 32, 0));
  VRT_STEP(genkey_load(&s.key, &plain, nullptr));
  VRT_STEP(vrtAEADCtxAllocInitialized(&s.ctx[0], 1, n));
  VRT_STEP(vrtAEADCtxAllocInitialized(&s.ctx[1], 1, n));
  uint8_t out[kMessage], tag[16];
  int live = 0;

  // Streamed encryption.
  VRT_STEP(vrtAEADSetNonce(s.ctx[live], c.nonce));
  for (size_t i = 0; i + 1 < sizeof kAadCuts / sizeof kAadCuts[0]; ++i) {
    VRT_STEP(vrtAEADEncryptUpdate(s.ctx[live], &s.key, c.aad + kAadCuts[i], kAadCuts[i + 1] - kAadCuts[i],
                                  VRT_AEAD_KIND_AAD, nullptr, nullptr));
    VRT_STEP(hand_over(s, live));
  }
  uint64_t written = 0;
  for (size_t i = 0; i + 1 < sizeof kTextCuts / sizeof kTextCuts[0]; ++i) {
    const uint64_t len = kTextCuts[i + 1] - kTextCuts[i];
    uint64_t produced = 0;
    VRT_STEP(vrtAEADEncryptUpdate(s.ctx[live], &s.key, c.text + kTextCuts[i], len, VRT_AEAD_KIND_TEXT, nullptr,
                                  &produced));
    if (written + produced > kMessage) return VRT_ERROR_FAILED;
    VRT_STEP(vrtAEADEncryptUpdate(s.ctx[live], &s.key, c.text + kTextCuts[i], len, VRT_AEAD_KIND_TEXT,
                                  out + written, &produced));
    written += produced;
    VRT_STEP(hand_over(s, live));
  }
  uint64_t rest = kMessage - written;
  VRT_STEP(vrtAEADEncryptFinal(s.ctx[live], &s.key, out + written, &rest, tag, n));
  VRT_STEP(vrt::selftest_compare(out, c.cipher, kMessage));
  VRT_STEP(vrt::selftest_compare(tag, c.tag, n));

  // One call.
  std::memset(out, 0, sizeof out);
  std::memset(tag, 0, sizeof tag);
  VRT_STEP(vrtAEADCtxInit(s.ctx[live], 1));
  VRT_STEP(vrtAEADSetNonce(s.ctx[live], c.nonce));
  VRT_STEP(vrtAEADEncryptSimple(s.ctx[live], &s.key, c.text, out, kMessage, c.aad, sizeof kKzAad.b));
  VRT_STEP(vrtAEADImitGetValue(s.ctx[live], tag, n));
  VRT_STEP(vrt::selftest_compare(out, c.cipher, kMessage));
  VRT_STEP(vrt::selftest_compare(tag, c.tag, n));

  // Streamed decryption: the ciphertext travels in the saved state.
  std::memset(out, 0, sizeof out);
  VRT_STEP(vrtAEADCtxInit(s.ctx[live], 1));
  VRT_STEP(vrtAEADSetNonce(s.ctx[live], c.nonce));
  VRT_STEP(vrtAEADImitSetValue(s.ctx[live], c.tag, n));
  for (size_t i = 0; i + 1 < sizeof kAadCuts / sizeof kAadCuts[0]; ++i) {
    VRT_STEP(vrtAEADDecryptUpdate(s.ctx[live], &s.key, c.aad + kAadCuts[i], kAadCuts[i + 1] - kAadCuts[i],
                                  VRT_AEAD_KIND_AAD));
    VRT_STEP(hand_over(s, live));
  }
  for (size_t i = 0; i + 1 < sizeof kTextCuts / sizeof kTextCuts[0]; ++i) {
    VRT_STEP(vrtAEADDecryptUpdate(s.ctx[live], &s.key, c.cipher + kTextCuts[i], kTextCuts[i + 1] - kTextCuts[i],
                                  VRT_AEAD_KIND_TEXT));
    VRT_STEP(hand_over(s, live));
  }
  uint64_t capacity = kMessage;
  VRT_STEP(vrtAEADDecryptFinal(s.ctx[live], &s.key, out, &capacity));
  VRT_STEP(vrt::selftest_compare(out, c.text, kMessage));

  // One call.
  std::memset(out, 0, sizeof out);
  VRT_STEP(vrtAEADCtxInit(s.ctx[live], 1));
  VRT_STEP(vrtAEADSetNonce(s.ctx[live], c.nonce));
  VRT_STEP(vrtAEADImitSetValue(s.ctx[live], c.tag, n));
  VRT_STEP(vrtAEADDecryptSimple(s.ctx[live], &s.key, c.cipher, out, kMessage, c.aad, sizeof kKzAad.b));
  return vrt::selftest_compare(out, c.text, kMessage);
}

#undef VRT_STEP

}  // namespace

extern "C" VRT_API uint32_t aead_self_test(vrtp_instance_t*) {
  const Case cases[] = {
      {16, kKzKey.b, kKzNonce.b, kKzAad.b, kKzText.b, kKzCipher.b, kKzTag.b},
      {8, kMgKey.b, kMgNonce.b, kMgAad.b, kMgText.b, kMgCipher.b, kMgTag.b},
  };
  for (const Case& c : cases) {
    const uint32_t st = run_case(c);
    if (st != VRT_SUCCESS) return st;
  }
  return VRT_SUCCESS;
}
