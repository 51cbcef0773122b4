// The GOST R 34.12-2015 cipher context: allocation and set-up, the request
// check every call starts with, the call frame that brings the key in and
// wipes it again, and the public one-shot functions.
#include <cstdlib>
#include <cstring>

#include "cipher15/internal.h"
#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

constexpr uint64_t kLanes = 1;

size_t round16(size_t n) { return (n + 15) & ~size_t{15}; }

// Work area, in order: lane fill bytes (lanes rounded up to 16), key buffers
// (32 bytes per lane), in_block, out_block, reg, reg_saved (n bytes per lane
// each), one spare block, then the register R of the feedback modes, the two
// batches of the whole-block paths and the wide key record.
size_t area_size(uint64_t n) {
  return round16(kLanes) + kKeySize * kLanes + 5 * round16(n * kLanes) + round16(kMaxRegister) +
         2 * kBatchBytes + round16(sizeof(gost89_key_t));
}

uint8_t* area_start(Gost15Ctx* ctx) {
  const auto base = reinterpret_cast<uintptr_t>(ctx) + sizeof(Gost15Ctx);
  return reinterpret_cast<uint8_t*>((base + 15) & ~uintptr_t{15});
}

void lay_out(Gost15Ctx* ctx) {
  const size_t n = ctx->block_size;
  uint8_t* p = area_start(ctx);
  ctx->area = p;
  ctx->lane_fill = p;
  p += round16(kLanes);
  ctx->key_buf = p;
  p += kKeySize * kLanes;
  ctx->in_block = p;
  p += round16(n * kLanes);
  ctx->out_block = p;
  p += round16(n * kLanes);
  ctx->reg = p;
  p += round16(n * kLanes);
  ctx->reg_saved = p;
  p += round16(n * kLanes);
  ctx->spare = p;
  p += round16(n * kLanes);
  p += round16(kMaxRegister);  // the register R
  ctx->batch = p;
  p += kBatchBytes;
  ctx->batch_iv = p;
  p += kBatchBytes;
  ctx->wide_key = reinterpret_cast<gost89_key_t*>(p);
  ctx->tail = ctx->tail_buf;
}

// The batches are scratch that every use fills before it reads and clears
// after it, zero from allocation on: they are left out.
void clear_area(Gost15Ctx* ctx) { std::memset(ctx->area, 0, static_cast<size_t>(ctx->batch - ctx->area)); }

bool known_mode(uint32_t mode) { return mode >= VRT_GOST15_MODE_MAC && mode <= VRT_GOST15_MODE_OMAC_ACPKM; }

bool counter_mode(uint32_t mode) { return mode == VRT_GOST15_MODE_CTR || mode == VRT_GOST15_MODE_CTR_ACPKM; }

// The modes that take an IV; a context whose mode was never set takes none
// (and its request is refused as unsupported).
bool takes_iv(uint32_t mode) {
  return counter_mode(mode) || mode == VRT_GOST15_MODE_OFB || mode == VRT_GOST15_MODE_CBC ||
         mode == VRT_GOST15_MODE_CFB;
}

// The IV length rules of each mode; 0 or 12.
uint32_t check_iv(const Gost15Ctx* ctx, const Gost15Vec& v) {
  const uint64_t n = ctx->block_size, m = v.iv_len;
  switch (ctx->mode) {
    case VRT_GOST15_MODE_CTR:
    case VRT_GOST15_MODE_CTR_ACPKM:
      if (v.chain_flags & VRT_GOST15_CHAIN_FULL_COUNTER) return m < n ? VRT_ERROR_LENGTH : VRT_SUCCESS;
      return m < n / 2 ? VRT_ERROR_LENGTH : VRT_SUCCESS;
    case VRT_GOST15_MODE_OFB:
    case VRT_GOST15_MODE_CBC:
      return m == 0 || m % n != 0 || m > kMaxRegister ? VRT_ERROR_LENGTH : VRT_SUCCESS;
    case VRT_GOST15_MODE_CFB:
      return m < n || m > kMaxRegister ? VRT_ERROR_LENGTH : VRT_SUCCESS;
    default:
      return VRT_SUCCESS;
  }
}

// Takes a checked IV into the context and points the descriptor at the
// context's copy.
void take_iv(Gost15Ctx* ctx, Gost15Vec& v) {
  const size_t n = ctx->block_size;
  if (counter_mode(ctx->mode)) {
    if (v.chain_flags & VRT_GOST15_CHAIN_FULL_COUNTER) {
      std::memmove(ctx->reg, v.iv, n);
    } else {
      // The counter block is IV || 0 whatever the context held before; only
      // a counter formed from the caller's IV is reversed, so a continued
      // counter carries on unchanged.
      std::memmove(ctx->reg, v.iv, n / 2);
      std::memset(ctx->reg + n / 2, 0, n / 2);
      if (ctx->flags & VRT_GOST15_FLAG_IV_REVERSED) vrt::store_le64(ctx->reg, __builtin_bswap64(vrt::load_le64(ctx->reg)));
    }
    ctx->saved_iv = ctx->reg;
    ctx->iv_len = static_cast<uint8_t>(n);
    ctx->iv_left = static_cast<uint8_t>(n);
  } else {
    uint8_t* r = gost15_register_area(ctx);
    const size_t m = v.iv_len;
    std::memmove(r, v.iv, m);
    ctx->saved_iv = r;
    ctx->iv_len = static_cast<uint8_t>(m);
    // A register that continues a stream may already hold only data.
    if (v.iv != r) {
      ctx->iv_left = static_cast<uint8_t>(m);
      ctx->saved_flags = 0;
    }
  }
  v.iv = ctx->saved_iv;
  v.iv_len = ctx->iv_len;
  v.chain_flags &= ~VRT_GOST15_CHAIN_FROM_DATA;
  if (ctx->saved_flags & 1) v.chain_flags |= VRT_GOST15_CHAIN_FROM_DATA;
}

inline void run_hook(vrt_block_hook_fn hook, Gost15Ctx* ctx) {
  if (hook != nullptr) hook(ctx);
}

// Clears the key buffers: a key must not survive the call.
void wipe_keys(Gost15Ctx* ctx) { wipe_temporary(ctx->key_buf, kKeySize * kLanes); }

Worker worker_for(uint32_t mode, Direction dir) {
  const bool enc = dir == Direction::kEncrypt;
  switch (mode) {
    case VRT_GOST15_MODE_ECB:
      return enc ? gost15_ecb_encrypt : gost15_ecb_decrypt;
    case VRT_GOST15_MODE_CBC:
      return enc ? gost15_cbc_encrypt : gost15_cbc_decrypt;
    case VRT_GOST15_MODE_CFB:
      return enc ? gost15_cfb_encrypt : gost15_cfb_decrypt;
    case VRT_GOST15_MODE_OFB:
      return gost15_ofb_crypt;
    case VRT_GOST15_MODE_CTR:
      return gost15_ctr_crypt;
    case VRT_GOST15_MODE_CTR_ACPKM:
      return gost15_ctr_acpkm_crypt;
    default:
      return nullptr;
  }
}

uint32_t cipher_request(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count, Direction dir) {
  // CTR-ACPKM without its section size would change the key once and never
  // again: refused before the request touches the context.
  if (ctx != nullptr && ctx->alg != nullptr && ctx->mode == VRT_GOST15_MODE_CTR_ACPKM && ctx->acpkm_section == 0)
    return VRT_ERROR_BAD_PARAMETERS;
  uint32_t st = check_request(ctx, vec, count, dir);
  if (st != VRT_SUCCESS) return st;
  Worker w = worker_for(ctx->mode, dir);
  if (w == nullptr) return VRT_ERROR_UNSUPPORTED;
  return run_frame(ctx, w, dir);
}

// One message through the vector call fn: a single descriptor.
uint32_t simple_request(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out, uint64_t len,
                        const uint8_t* iv, uint64_t iv_len, uint32_t (*fn)(Gost15Ctx*, Gost15Vec*, uint64_t)) {
  if (ctx == nullptr || key == nullptr || key->key.data == nullptr || in == nullptr || out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  Gost15Vec v{};
  v.len = len;
  v.in = in;
  v.out = out;
  v.key = key;
  v.iv = iv;
  v.iv_len = iv_len;
  return fn(ctx, &v, 1);
}

}  // namespace

size_t ctx_alloc_size(uint64_t block_size) { return sizeof(Gost15Ctx) + 15 + area_size(block_size); }

uint32_t check_request(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count, Direction dir) {
  if (ctx == nullptr || ctx->alg == nullptr || (vec == nullptr && count != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  if (count > ctx->alg->lanes) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->vec = vec;
  ctx->vec_count = count;
  ctx->iv_taken = 0;
  ctx->skipped = ctx->finished = ctx->partial = 0;
  const uint64_t n = ctx->block_size;
  const bool mac = dir == Direction::kMac;
  const bool with_iv = takes_iv(ctx->mode);
  if (with_iv && count == 0) return VRT_ERROR_NO_DATA;

  // Everything is validated before anything is taken, so a refused request
  // leaves the context as it was.
  for (uint64_t i = 0; i < count; ++i) {
    const Gost15Vec& v = vec[i];
    if (v.status & VRT_VEC_SKIP) continue;
    if (with_iv && (v.iv == nullptr || v.len == 0)) return VRT_ERROR_INVALID_ARGUMENT;
    if (v.len == 0) continue;
    const genkey_t* g = v.key;
    // The key is unmasked into a 32-byte buffer: any other length would
    // overrun it or leave part of it stale.
    if (g == nullptr || g->key.data == nullptr || g->key.length != kKeySize) return VRT_ERROR_INVALID_ARGUMENT;
    if (v.in == nullptr || (v.out == nullptr && !mac)) return VRT_ERROR_INVALID_ARGUMENT;
    if (with_iv) {
      const uint32_t st = check_iv(ctx, v);
      if (st != VRT_SUCCESS) return st;
    }
    // Decryption in the padded modes takes whole blocks: a ragged end would
    // decrypt zero-filled garbage into a whole block past the input's end.
    if (dir == Direction::kDecrypt && (ctx->mode == VRT_GOST15_MODE_ECB || ctx->mode == VRT_GOST15_MODE_CBC) &&
        !gost15_stream_open(ctx, dir) && (ctx->lane_fill[i] + v.len) % n != 0)
      return VRT_ERROR_LENGTH;
  }

  uint32_t done = 0;
  for (uint64_t i = 0; i < count; ++i) {
    Gost15Vec& v = vec[i];
    const uint32_t bit = 1u << i;
    v.status &= ~uint32_t{0xFF};
    if (v.status & VRT_VEC_SKIP) {
      ctx->skipped |= bit;
      v.status |= VRT_VEC_FINISHED;
      ++done;
      continue;
    }
    if (with_iv) {
      take_iv(ctx, v);
      ctx->iv_taken |= bit;
    }
    if (v.len == 0) {
      ctx->finished |= bit;
      v.status |= VRT_VEC_FINISHED;
      ++done;
      continue;
    }
    if (ctx->lane_fill[i] + v.len <= n) {
      ctx->partial |= bit;
      v.status |= VRT_VEC_PARTIAL;
    }
    v.status |= VRT_VEC_ACTIVE;
  }
  return done == count ? VRT_ERROR_NO_DATA : VRT_SUCCESS;
}

uint32_t attach_single(Gost15Ctx* ctx, Gost15Vec* vec) {
  if (ctx == nullptr || ctx->alg == nullptr || vec == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const genkey_t* g = vec->key;
  if (g == nullptr || g->key.data == nullptr || g->key.length != kKeySize) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->vec = vec;
  ctx->vec_count = 1;
  ctx->iv_taken = 0;
  ctx->skipped = ctx->finished = ctx->partial = 0;
  return VRT_SUCCESS;
}

void acpkm_hold_key(Gost15Ctx* ctx) {
  genkey_t& k = ctx->acpkm_key;
  if (k.key.data == nullptr && genkey_alloc(&k, kKeySize, GOST89_KEY_XOR) != VRT_SUCCESS) {
    ctx->acpkm_key_sections = 0;
    return;
  }
  vrt_memreset_s(k.mask.data, static_cast<int64_t>(kKeySize));
  genkey_t plain = k;
  __binstr_init(&plain.key, ctx->key_buf, kKeySize);
  genkey_mask_to(&plain, &k);
  ctx->acpkm_key_sections = ctx->acpkm_sections;
}

void acpkm_drop_key(Gost15Ctx* ctx, bool release) {
  if (ctx->acpkm_key_sections != 0 && ctx->acpkm_key.key.data != nullptr) genkey_wipe(&ctx->acpkm_key);
  ctx->acpkm_key_sections = 0;
  if (release) genkey_free(&ctx->acpkm_key);
}

uint32_t run_frame(Gost15Ctx* ctx, Worker worker, Direction dir) {
  const vrt_block_alg_t* a = ctx->alg;
  run_hook(a->hook_begin, ctx);
  for (uint64_t i = 0; i < ctx->vec_count; ++i) {
    const Gost15Vec& v = ctx->vec[i];
    if ((ctx->skipped | ctx->finished) & (1u << i)) continue;
    genkey_t plain{};
    __binstr_init(&plain.key, ctx->key_buf + kKeySize * i, kKeySize);
    // A CTR-ACPKM stream past its first section continues under the
    // section key it holds; without one the caller's key is brought to the
    // section the message is in.
    const bool held = ctx->mode == VRT_GOST15_MODE_CTR_ACPKM && ctx->acpkm_sections != 0 &&
                      ctx->acpkm_key_sections == ctx->acpkm_sections && ctx->acpkm_key.key.data != nullptr;
    genkey_unmask_to(held ? &ctx->acpkm_key : v.key, &plain);
    if (ctx->mode == VRT_GOST15_MODE_CTR_ACPKM && !held) gost15_key_prepare_ctr_acpkm(ctx);
  }
  run_hook(a->hook_after_key, ctx);
  for (uint64_t i = 0; i < ctx->vec_count; ++i) {
    Gost15Vec& v = ctx->vec[i];
    v.chain_src = dir == Direction::kEncrypt ? v.out : v.in;
    v.data_src = dir == Direction::kDecrypt ? v.out : v.in;
  }
  const uint32_t st = worker(ctx);
  run_hook(a->hook_after_work, ctx);
  // The key buffer now holds the key of the section the stream stopped in.
  if (ctx->mode == VRT_GOST15_MODE_CTR_ACPKM) {
    if (ctx->acpkm_sections != 0)
      acpkm_hold_key(ctx);
    else
      acpkm_drop_key(ctx, false);
  }
  wipe_keys(ctx);
  run_hook(a->hook_end, ctx);
  return st;
}

}  // namespace vrt::cipher15

using vrt::cipher15::Direction;

extern "C" {

VRT_API uint32_t vrtpGost15CtxAlloc(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size) {
  if (ctx_out == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  *ctx_out = nullptr;
  if (lanes != 1 || (block_size != 8 && block_size != 16)) return VRT_ERROR_INVALID_ARGUMENT;
  void* p = std::calloc(1, vrt::cipher15::ctx_alloc_size(block_size));
  if (p == nullptr) return VRT_ERROR_NO_MEMORY;
  auto* ctx = static_cast<Gost15Ctx*>(p);
  ctx->block_size = block_size;
  *ctx_out = ctx;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15CtxInit(Gost15Ctx* ctx, uint32_t lanes) {
  if (ctx == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  // The generator state is the context's own allocation; clearing the
  // header must not leak it.
  binstr_free(&ctx->master_state);
  vrt::cipher15::acpkm_drop_key(ctx, true);
  std::memset(ctx, 0, sizeof *ctx);
  ctx->block_size = n;
  if (lanes != 1 || (n != 8 && n != 16)) return VRT_ERROR_INVALID_ARGUMENT;
  if (n == 8) {
    const gost89_sbox_t* z = vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z);
    if (!vrtpGost89SboxInitialized(z)) return VRT_ERROR_INVALID_ARGUMENT;
    ctx->sbox = z;
    ctx->alg = &GOST15_G1_MAGMA;
  } else {
    ctx->alg = &GOST15_G1_KUZNECHIK;
  }
  vrt::cipher15::lay_out(ctx);
  vrt::cipher15::clear_area(ctx);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15CtxAllocInitialized(Gost15Ctx** ctx_out, uint32_t lanes, uint32_t block_size) {
  uint32_t st = vrtpGost15CtxAlloc(ctx_out, lanes, block_size);
  if (st != VRT_SUCCESS) return st;
  st = vrtpGost15CtxInit(*ctx_out, lanes);
  if (st != VRT_SUCCESS) {
    vrtpGost15CtxFree(*ctx_out);
    *ctx_out = nullptr;
  }
  return st;
}

VRT_API void vrtpGost15CtxFree(Gost15Ctx* ctx) {
  if (ctx == nullptr) return;
  binstr_free(&ctx->master_state);
  vrt::cipher15::acpkm_drop_key(ctx, true);
  std::free(ctx);
}

VRT_API uint32_t vrtpGost15SetMode(Gost15Ctx* ctx, uint32_t mode, uint32_t flags) {
  if (ctx == nullptr || ctx->alg == nullptr || !vrt::cipher15::known_mode(mode)) return VRT_ERROR_INVALID_ARGUMENT;
  ctx->mode = mode;
  ctx->flags = flags;
  vrt::cipher15::acpkm_drop_key(ctx, false);
  vrt::cipher15::clear_area(ctx);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15SetParametersACPKM(Gost15Ctx* ctx, uint64_t section_size, uint64_t frame_size) {
  if (ctx == nullptr || ctx->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (section_size % n != 0 || frame_size % (n + 32) != 0) return VRT_ERROR_BAD_PARAMETERS;
  // Changing the sizes under way would cut the message into other
  // sections than it started with.
  if ((ctx->flags & (VRT_GOST15_FLAG_ENCRYPT_STREAM | VRT_GOST15_FLAG_DECRYPT_STREAM)) != 0)
    return VRT_ERROR_INVALID_ARGUMENT;
  switch (ctx->mode) {
    case VRT_GOST15_MODE_CTR_ACPKM:
      if (section_size == 0) return VRT_ERROR_BAD_PARAMETERS;
      ctx->acpkm_left = section_size;
      break;
    case VRT_GOST15_MODE_OMAC_ACPKM:
      // A section of no blocks, or a generator that never changes its own
      // key, is no OMAC-ACPKM.
      if (section_size == 0 || frame_size == 0) return VRT_ERROR_BAD_PARAMETERS;
      if (ctx->tail_len != 0 || ctx->master_count != 0) return VRT_ERROR_INVALID_ARGUMENT;
      ctx->omac_sections_left = 0;
      break;
    default:
      return VRT_ERROR_FAILED;
  }
  ctx->acpkm_section = section_size;
  ctx->acpkm_frame = frame_size;
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15Encrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count) {
  return vrt::cipher15::cipher_request(ctx, vec, count, Direction::kEncrypt);
}

VRT_API uint32_t vrtpGost15Decrypt(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count) {
  return vrt::cipher15::cipher_request(ctx, vec, count, Direction::kDecrypt);
}

VRT_API uint32_t vrtpGost15EncryptSimple(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                         uint64_t len, const uint8_t* iv, uint64_t iv_len) {
  return vrt::cipher15::simple_request(ctx, key, in, out, len, iv, iv_len, vrtpGost15Encrypt);
}

VRT_API uint32_t vrtpGost15DecryptSimple(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                         uint64_t len, const uint8_t* iv, uint64_t iv_len) {
  return vrt::cipher15::simple_request(ctx, key, in, out, len, iv, iv_len, vrtpGost15Decrypt);
}

VRT_FORWARD(Gost15CtxAlloc);
VRT_FORWARD(Gost15CtxInit);
VRT_FORWARD(Gost15CtxAllocInitialized);
VRT_FORWARD(Gost15CtxFree);
VRT_FORWARD(Gost15SetMode);
VRT_FORWARD(Gost15SetParametersACPKM);
VRT_FORWARD(Gost15Encrypt);
VRT_FORWARD(Gost15Decrypt);
VRT_FORWARD(Gost15EncryptSimple);
VRT_FORWARD(Gost15DecryptSimple);

static uint32_t run_example(bool encrypt, const uint8_t* in, uint64_t len, const genkey_t* key, const uint8_t* iv,
                            uint64_t iv_len, uint32_t mode, uint32_t block_size, uint64_t acpkm_section,
                            uint8_t* out) {
  Gost15Ctx* ctx = nullptr;
  uint32_t st = vrtpGost15CtxAllocInitialized(&ctx, 1, block_size);
  if (st == VRT_SUCCESS) st = vrtpGost15SetMode(ctx, mode, 0);
  if (st == VRT_SUCCESS && mode == VRT_GOST15_MODE_CTR_ACPKM) st = vrtpGost15SetParametersACPKM(ctx, acpkm_section, 0);
  if (st == VRT_SUCCESS)
    st = encrypt ? vrtpGost15EncryptSimple(ctx, key, in, out, len, iv, iv_len)
                 : vrtpGost15DecryptSimple(ctx, key, in, out, len, iv, iv_len);
  vrtpGost15CtxFree(ctx);
  return st;
}

VRT_API uint32_t gost15_encrypt_example(const uint8_t* in, uint64_t len, const genkey_t* key, const uint8_t* iv,
                                        uint64_t iv_len, uint32_t mode, uint32_t block_size,
                                        uint64_t acpkm_section, uint8_t* out) {
  return run_example(true, in, len, key, iv, iv_len, mode, block_size, acpkm_section, out);
}

VRT_API uint32_t gost15_decrypt_example(const uint8_t* in, uint64_t len, const genkey_t* key, const uint8_t* iv,
                                        uint64_t iv_len, uint32_t mode, uint32_t block_size,
                                        uint64_t acpkm_section, uint8_t* out) {
  return run_example(false, in, len, key, iv, iv_len, mode, block_size, acpkm_section, out);
}

}  // extern "C"
