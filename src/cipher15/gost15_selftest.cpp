// The known-answer self-test of the cipher context: the mode examples of
// Kuznyechik and Magma (ECB, CBC, CFB, OFB, CTR, and CTR-ACPKM) fed as
// streams in four pieces, each piece in a context restored from the state
// the previous one saved, every prefix closed in a further context and
// compared with the one-shot result of the same bytes; then the MAC
// examples (OMAC, OMAC-ACPKM), in one piece and in pieces through saved
// states.
#include <cstring>

#include "frame/bytes.h"
#include "frame/selftest.h"
#include "vrt.h"

namespace {

using vrt::hex_bytes;

#define VRT_STEP(call)                                  \
  do {                                                  \
    const uint32_t step_status = (call);                \
    if (step_status != VRT_SUCCESS) return step_status; \
  } while (0)

constexpr auto kKzKey = hex_bytes<32>("8899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
constexpr auto kMgKey = hex_bytes<32>("ffeeddccbbaa99887766554433221100f0f1f2f3f4f5f6f7f8f9fafbfcfdfeff");

constexpr auto kKzText = hex_bytes<64>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a00"
    "2233445566778899aabbcceeff0a0011");
constexpr auto kKzIv32 = hex_bytes<32>("1234567890abcef0a1b2c3d4e5f0011223344556677889901213141516171819");
constexpr auto kKzCtrIv = hex_bytes<8>("1234567890abcef0");
constexpr auto kKzEcb = hex_bytes<64>(
    "7f679d90bebc24305a468d42b9d4edcdb429912c6e0032f9285452d76718d08bf0ca33549d247ceef3f5a5313bd4b157"
    "d0b09ccde830b9eb3a02c4c5aa8ada98");
constexpr auto kKzCbc = hex_bytes<64>(
    "689972d4a085fa4d90e52e3d6d7dcc272826e661b478eca6af1e8e448d5ea5acfe7babf1e91999e85640e8b0f49d90d0"
    "167688065a895c631a2d9a1560b63970");
constexpr auto kKzCtr = hex_bytes<64>(
    "f195d8bec10ed1dbd57b5fa240bda1b885eee733f6a13e5df33ce4b33c45dee4a5eae88be6356ed3d5e877f13564a3a5"
    "cb91fab1f20cbab6d1c6d15820bdba73");
constexpr auto kKzCfb = hex_bytes<64>(
    "81800a59b1842b24ff1f795e897abd95ed5b47a7048cfab48fb521369d9326bf79f2a8eb5cc68d38842d264e97a238b5"
    "4ffebecd4e922de6c75bd9dd44fbf4d1");
constexpr auto kKzOfb = hex_bytes<64>(
    "81800a59b1842b24ff1f795e897abd95ed5b47a7048cfab48fb521369d9326bf66a257ac3ca0b8b1c80fe7fc10288a13"
    "203ebbc066138660a0292243f6903150");

constexpr auto kMgText = hex_bytes<32>("92def06b3c130a59db54c704f8189d204a98fb2e67a8024c8912409b17b57e41");
constexpr auto kMgIv16 = hex_bytes<16>("1234567890abcdef234567890abcdef1");
constexpr auto kMgIv24 = hex_bytes<24>("1234567890abcdef234567890abcdef134567890abcdef12");
constexpr auto kMgCtrIv = hex_bytes<4>("12345678");
constexpr auto kMgEcb = hex_bytes<32>("2b073f0494f372a0de70e715d3556e4811d8d9e9eacfbc1e7c68260996c67efb");
constexpr auto kMgCbc = hex_bytes<32>("96d1b05eea683919aff76129abb937b95058b4a1c4bc001920b78b1a7cd7e667");
constexpr auto kMgCtr = hex_bytes<32>("4e98110c97b7b93c3e250d93d6e85d69136d868807b2dbef568eb680ab52a12d");
constexpr auto kMgCfb = hex_bytes<32>("db37e0e266903c830d46644c1f9a089c24bdd2035315d38bbcc0321421075505");
constexpr auto kMgOfb = hex_bytes<32>("db37e0e266903c830d46644c1f9a089ca0f83062430e327ec824efb8bd4fdb05");

// CTR-ACPKM, both under the Kuznyechik example key.
constexpr auto kAcpkmKzText = hex_bytes<112>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a00"
    "2233445566778899aabbcceeff0a001133445566778899aabbcceeff0a001122445566778899aabbcceeff0a00112233"
    "5566778899aabbcceeff0a0011223344");
constexpr auto kAcpkmKzCipher = hex_bytes<112>(
    "f195d8bec10ed1dbd57b5fa240bda1b885eee733f6a13e5df33ce4b33c45dee44bceeb8f646f4c55001706275e85e800"
    "587c4df568d094393e4834afd0805046cf30f57686aeece11cfc6c316b8a896edffd07ec813636460c4f3b743423163e"
    "6409a9c282fac8d469d221e7fbd6de5d");
constexpr auto kAcpkmMgText = hex_bytes<56>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a00"
    "2233445566778899");
constexpr auto kAcpkmMgCipher = hex_bytes<56>(
    "2ab81deeeb1e4cab68e104c4bd6b94eac72c67af6c2e5b6b0eafb61770f1b32ea1ae71149eed1382abd467180672ec6f"
    "84a2f15b3fca72c1");

struct CipherCase {
  uint32_t block_size;
  uint32_t mode;
  uint64_t section;  // CTR-ACPKM
  const uint8_t* key;
  const uint8_t* iv;
  uint64_t iv_len;
  const uint8_t* plain;
  const uint8_t* cipher;
  uint64_t len;
};

// Piece lengths before the last piece, which takes the rest of the message.
constexpr uint64_t kKzEncPieces[] = {12, 16, 16};
constexpr uint64_t kKzDecPieces[] = {9, 17, 18};
constexpr uint64_t kMgEncPieces[] = {6, 8, 8};
constexpr uint64_t kMgDecPieces[] = {5, 9, 9};
constexpr size_t kFirstPieces = 3;
constexpr size_t kMaxMessage = 112;
constexpr size_t kMaxBlob = 42 + 16 + 32;

// A plain key record and the contexts of one case, released on every way
// out.
struct Scope {
  genkey_t key{};
  Gost15Ctx* ctx = nullptr;
  Gost15Ctx* closer = nullptr;
  ~Scope() {
    vrtGost15CtxFree(ctx);
    vrtGost15CtxFree(closer);
    genkey_free(&key);
  }
};

uint32_t load_key(genkey_t* g, const uint8_t* key) {
  binstr_t plain;
  __binstr_init(&plain, const_cast<uint8_t*>(key), 32);
  VRT_STEP(genkey_alloc(g, 32, 0));
  return genkey_load(g, &plain, nullptr);
}

uint32_t fresh(Gost15Ctx** ctx, uint32_t n) {
  vrtGost15CtxFree(*ctx);
  *ctx = nullptr;
  return vrtGost15CtxAllocInitialized(ctx, 1, n);
}

uint32_t run_cipher_case(const CipherCase& c, bool encrypt) {
  const uint32_t n = c.block_size;
  const uint8_t* in = encrypt ? c.plain : c.cipher;
  const uint8_t* want = encrypt ? c.cipher : c.plain;
  const uint64_t* first = n == 16 ? (encrypt ? kKzEncPieces : kKzDecPieces) : (encrypt ? kMgEncPieces : kMgDecPieces);
  auto update = encrypt ? vrtGost15EncryptUpdate : vrtGost15DecryptUpdate;
  auto close = encrypt ? vrtGost15EncryptFinal : vrtGost15DecryptFinal;
  auto example = encrypt ? gost15_encrypt_example : gost15_decrypt_example;

  Scope s;
  VRT_STEP(load_key(&s.key, c.key));
  uint8_t out[kMaxMessage + 16], closed[kMaxMessage + 16], reference[kMaxMessage + 16], blob[kMaxBlob];
  uint64_t blob_size = 0, written = 0, offset = 0;
  for (size_t piece = 0; piece <= kFirstPieces; ++piece) {
    const uint64_t len = piece < kFirstPieces ? first[piece] : c.len - offset;
    // The piece in a context of its own: set up for the first, restored
    // from the previous piece's state for the others.
    VRT_STEP(fresh(&s.ctx, n));
    if (piece == 0) {
      VRT_STEP(vrtGost15SetMode(s.ctx, c.mode, 0));
      if (c.mode == VRT_GOST15_MODE_CTR_ACPKM) VRT_STEP(vrtGost15SetParametersACPKM(s.ctx, c.section, 0));
    } else {
      VRT_STEP(vrtGost15RestoreState(s.ctx, blob, blob_size));
    }
    uint64_t produced = 0;
    VRT_STEP(update(s.ctx, &s.key, in + offset, len, c.iv, c.iv_len, nullptr, &produced));
    if (written + produced > c.len) return VRT_ERROR_FAILED;
    VRT_STEP(update(s.ctx, &s.key, in + offset, len, c.iv, c.iv_len, out + written, &produced));
    written += produced;
    offset += len;
    VRT_STEP(vrtGost15SaveState(s.ctx, nullptr, &blob_size));
    if (blob_size > sizeof blob) return VRT_ERROR_FAILED;
    VRT_STEP(vrtGost15SaveState(s.ctx, blob, &blob_size));

    // The stream so far, closed elsewhere, is the one-shot result of the
    // same bytes; ECB and CBC decryption refuse a ragged end either way.
    VRT_STEP(fresh(&s.closer, n));
    VRT_STEP(vrtGost15RestoreState(s.closer, blob, blob_size));
    uint64_t rest = 0;
    VRT_STEP(close(s.closer, &s.key, nullptr, &rest));
    if (written + rest > sizeof closed) return VRT_ERROR_FAILED;
    std::memcpy(closed, out, written);
    const uint32_t closed_status = close(s.closer, &s.key, closed + written, &rest);
    const uint32_t one_shot = example(in, offset, &s.key, c.iv, c.iv_len, c.mode, n, c.section, reference);
    if (closed_status != one_shot) return VRT_ERROR_FAILED;
    if (one_shot == VRT_SUCCESS) VRT_STEP(vrt::selftest_compare(closed, reference, written + rest));
    if (piece == kFirstPieces) {
      if (written + rest != c.len) return VRT_ERROR_FAILED;
      VRT_STEP(vrt::selftest_compare(closed, want, c.len));
    }
  }
  return VRT_SUCCESS;
}

// ---- MAC ----

// The MAC examples of the modes standard (8 and 4 bytes printed).
constexpr auto kKzMac = hex_bytes<8>("336f4d296059fbe3");
constexpr auto kMgMac = hex_bytes<4>("154e7210");
// The MAC inside the published key export examples: under the MAC key,
// of IV || key (the Kuznyechik example key), whole MAC values.
constexpr auto kExportMacKey = hex_bytes<32>("08090a0b0c0d0e0f0001020304050607101112131415161718191a1b1c1d1e1f");
constexpr auto kKzExportText = hex_bytes<40>(
    "0909472dd9f26be88899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
constexpr auto kKzExportMac = hex_bytes<16>("10022ade94ee55b434d2077f5a13aff4");
constexpr auto kMgExportText = hex_bytes<36>(
    "67bed6548899aabbccddeeff0011223344556677fedcba98765432100123456789abcdef");
constexpr auto kMgExportMac = hex_bytes<8>("75a76618e90f4973");
// OMAC-ACPKM under the Kuznyechik example key: Magma with N = 16, T* = 80,
// Kuznyechik with N = 32, T* = 96.
constexpr auto kOaMg1Text = hex_bytes<12>("1122334455667700ffeeddcc");
constexpr auto kOaMg1Mac = hex_bytes<8>("a0540e3730acbcf3");
constexpr auto kOaMg2Text = hex_bytes<40>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a1122334455667788");
constexpr auto kOaMg2Mac = hex_bytes<8>("34008dad5496bb8e");
constexpr auto kOaKz1Text = hex_bytes<24>("1122334455667700ffeeddccbbaa99880011223344556677");
constexpr auto kOaKz1Mac = hex_bytes<16>("b5367f47b62b995eeb2a648c5843145e");
constexpr auto kOaKz2Text = hex_bytes<80>(
    "1122334455667700ffeeddccbbaa998800112233445566778899aabbcceeff0a112233445566778899aabbcceeff0a00"
    "2233445566778899aabbcceeff0a001133445566778899aabbcceeff0a001122");
constexpr auto kOaKz2Mac = hex_bytes<16>("fbb8dcee45bea67c35f58c5700898e5d");

struct MacCase {
  uint32_t block_size;
  uint32_t mode;
  uint64_t section, frame;  // OMAC-ACPKM
  const uint8_t* key;
  const uint8_t* text;
  uint64_t len;
  const uint8_t* mac;
  uint64_t mac_len;  // the leftmost bytes compared
};

constexpr size_t kMaxMacBlob = 2 * 16 + 53;

// The leftmost mac_len bytes of the n-byte MAC value; a longer expected
// MAC than the value holds is refused, not read past.
uint32_t compare_mac(const uint8_t* got, uint64_t n, const uint8_t* expected, uint64_t mac_len) {
  if (mac_len == 0 || mac_len > n) return VRT_ERROR_INVALID_ARGUMENT;
  return vrt::selftest_compare(got, expected, mac_len);
}

uint32_t run_mac_case(const MacCase& c) {
  const uint32_t n = c.block_size;
  Scope s;
  VRT_STEP(load_key(&s.key, c.key));
  uint8_t mac[16];
  binstr_t message;
  __binstr_init(&message, const_cast<uint8_t*>(c.text), c.len);
  VRT_STEP(gost15_mac_entire_example(&message, &s.key, c.mode, mac, n, c.section, c.frame));
  VRT_STEP(compare_mac(mac, n, c.mac, c.mac_len));

  // Three pieces of about a third each, each in a context of its own.
  const uint64_t cuts[] = {0, c.len / 3, c.len - c.len / 3, c.len};
  uint8_t blob[kMaxMacBlob];
  uint64_t blob_size = 0;
  for (size_t piece = 0; piece + 1 < sizeof cuts / sizeof cuts[0]; ++piece) {
    VRT_STEP(fresh(&s.ctx, n));
    if (piece == 0) {
      VRT_STEP(vrtGost15SetMode(s.ctx, c.mode, 0));
      if (c.mode == VRT_GOST15_MODE_OMAC_ACPKM) VRT_STEP(vrtGost15SetParametersACPKM(s.ctx, c.section, c.frame));
    } else {
      VRT_STEP(vrtGost15MACRestoreState(s.ctx, blob, blob_size));
    }
    if (cuts[piece + 1] > cuts[piece])
      VRT_STEP(vrtGost15MACUpdate(s.ctx, &s.key, c.text + cuts[piece], cuts[piece + 1] - cuts[piece]));
    VRT_STEP(vrtGost15MACSaveState(s.ctx, nullptr, &blob_size));
    if (blob_size > sizeof blob) return VRT_ERROR_FAILED;
    VRT_STEP(vrtGost15MACSaveState(s.ctx, blob, &blob_size));
  }
  std::memset(mac, 0, sizeof mac);
  binstr_t state;
  __binstr_init(&state, blob, blob_size);
  VRT_STEP(gost15_mac_stream_final_example(&s.key, n, mac, &state));
  return compare_mac(mac, n, c.mac, c.mac_len);
}

}  // namespace

extern "C" VRT_API uint32_t gost15_self_test(vrtp_instance_t*) {
  constexpr uint32_t K = 16, M = 8;
  const CipherCase ciphers[] = {
      {K, VRT_GOST15_MODE_ECB, 0, kKzKey.b, nullptr, 0, kKzText.b, kKzEcb.b, 64},
      {K, VRT_GOST15_MODE_CBC, 0, kKzKey.b, kKzIv32.b, 32, kKzText.b, kKzCbc.b, 64},
      {K, VRT_GOST15_MODE_CTR, 0, kKzKey.b, kKzCtrIv.b, 8, kKzText.b, kKzCtr.b, 64},
      {K, VRT_GOST15_MODE_CFB, 0, kKzKey.b, kKzIv32.b, 32, kKzText.b, kKzCfb.b, 64},
      {K, VRT_GOST15_MODE_OFB, 0, kKzKey.b, kKzIv32.b, 32, kKzText.b, kKzOfb.b, 64},
      {M, VRT_GOST15_MODE_ECB, 0, kMgKey.b, nullptr, 0, kMgText.b, kMgEcb.b, 32},
      {M, VRT_GOST15_MODE_CBC, 0, kMgKey.b, kMgIv24.b, 24, kMgText.b, kMgCbc.b, 32},
      {M, VRT_GOST15_MODE_CTR, 0, kMgKey.b, kMgCtrIv.b, 4, kMgText.b, kMgCtr.b, 32},
      {M, VRT_GOST15_MODE_CFB, 0, kMgKey.b, kMgIv16.b, 16, kMgText.b, kMgCfb.b, 32},
      {M, VRT_GOST15_MODE_OFB, 0, kMgKey.b, kMgIv16.b, 16, kMgText.b, kMgOfb.b, 32},
      {M, VRT_GOST15_MODE_CTR_ACPKM, 16, kKzKey.b, kMgCtrIv.b, 4, kAcpkmMgText.b, kAcpkmMgCipher.b, 56},
      {K, VRT_GOST15_MODE_CTR_ACPKM, 32, kKzKey.b, kKzCtrIv.b, 8, kAcpkmKzText.b, kAcpkmKzCipher.b, 112},
  };
  for (const CipherCase& c : ciphers) {
    VRT_STEP(run_cipher_case(c, true));
    VRT_STEP(run_cipher_case(c, false));
  }
  const MacCase macs[] = {
      {K, VRT_GOST15_MODE_MAC, 0, 0, kKzKey.b, kKzText.b, 64, kKzMac.b, 8},
      {M, VRT_GOST15_MODE_MAC, 0, 0, kMgKey.b, kMgText.b, 32, kMgMac.b, 4},
      {K, VRT_GOST15_MODE_MAC, 0, 0, kExportMacKey.b, kKzExportText.b, 40, kKzExportMac.b, 16},
      {M, VRT_GOST15_MODE_MAC, 0, 0, kExportMacKey.b, kMgExportText.b, 36, kMgExportMac.b, 8},
      {M, VRT_GOST15_MODE_OMAC_ACPKM, 16, 80, kKzKey.b, kOaMg1Text.b, 12, kOaMg1Mac.b, 8},
      {M, VRT_GOST15_MODE_OMAC_ACPKM, 16, 80, kKzKey.b, kOaMg2Text.b, 40, kOaMg2Mac.b, 8},
      {K, VRT_GOST15_MODE_OMAC_ACPKM, 32, 96, kKzKey.b, kOaKz1Text.b, 24, kOaKz1Mac.b, 16},
      {K, VRT_GOST15_MODE_OMAC_ACPKM, 32, 96, kKzKey.b, kOaKz2Text.b, 80, kOaKz2Mac.b, 16},
  };
  for (const MacCase& c : macs) VRT_STEP(run_mac_case(c));
  return VRT_SUCCESS;
}

#undef VRT_STEP
