// Streams over the cipher context: Update calls that hold back the last
// 1..n bytes, the Final that runs the final step on them, and the state
// blob that carries an unfinished stream into another context.
//
// A stream opens with the first Update of a direction that brings data: the
// caller's IV is taken then. Later Updates continue from the context's own
// register (the counter block, or R) and ignore their IV arguments.
#include <cstring>

#include "cipher15/internal.h"
#include "frame/bytes.h"
#include "frame/forward.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

constexpr uint32_t kStreamBits = VRT_GOST15_FLAG_ENCRYPT_STREAM | VRT_GOST15_FLAG_DECRYPT_STREAM;

bool cipher_mode(uint32_t mode) { return mode >= VRT_GOST15_MODE_ECB && mode <= VRT_GOST15_MODE_CTR_ACPKM; }
bool counter_mode(uint32_t mode) { return mode == VRT_GOST15_MODE_CTR || mode == VRT_GOST15_MODE_CTR_ACPKM; }
bool padded_mode(uint32_t mode) { return mode == VRT_GOST15_MODE_ECB || mode == VRT_GOST15_MODE_CBC; }

uint32_t stream_bit(Direction dir) {
  return dir == Direction::kEncrypt ? VRT_GOST15_FLAG_ENCRYPT_STREAM : VRT_GOST15_FLAG_DECRYPT_STREAM;
}

uint32_t stream_update(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint64_t in_len, const uint8_t* iv,
                       uint64_t iv_len, uint8_t* out, uint64_t* out_len, Direction dir) {
  if (ctx == nullptr || ctx->alg == nullptr || out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (in_len > UINT64_MAX - n) return VRT_ERROR_INVALID_ARGUMENT;
  // At least one byte, and a whole block when the data so far ends on a
  // block boundary, waits for the final step.
  const uint64_t total = ctx->tail_len + in_len;
  const uint64_t produced = total == 0 ? 0 : total % n != 0 ? total - total % n : total - n;
  if (out == nullptr) {
    *out_len = produced;
    return VRT_SUCCESS;
  }
  if (*out_len < produced) return VRT_ERROR_NO_MEMORY;
  if (key == nullptr || key->key.data == nullptr || (in == nullptr && in_len != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  if (!cipher_mode(ctx->mode)) return VRT_ERROR_UNSUPPORTED;
  const uint32_t own = stream_bit(dir);
  // The held-back bytes of one direction are no input of the other.
  if ((ctx->flags & kStreamBits & ~own) != 0) return VRT_ERROR_INVALID_ARGUMENT;
  // An empty piece changes nothing, and opens no stream.
  if (in_len == 0) return VRT_SUCCESS;

  Gost15Vec v{};
  v.len = in_len;
  v.in = in;
  v.out = out;
  v.key = key;
  const bool opening = (ctx->flags & own) == 0;
  if (!opening) {
    if (ctx->mode != VRT_GOST15_MODE_ECB) {
      if (ctx->saved_iv == nullptr || ctx->iv_len == 0) return VRT_ERROR_INVALID_ARGUMENT;
      v.iv = ctx->saved_iv;
      v.iv_len = ctx->iv_len;
      if (counter_mode(ctx->mode)) v.chain_flags = VRT_GOST15_CHAIN_FULL_COUNTER;
    }
  } else {
    v.iv = iv;
    v.iv_len = iv_len;
    ctx->flags |= own;
  }
  const uint32_t st = dir == Direction::kEncrypt ? vrtpGost15Encrypt(ctx, &v, 1) : vrtpGost15Decrypt(ctx, &v, 1);
  // A refused first piece leaves no stream open (the check changed nothing
  // else).
  if (st != VRT_SUCCESS && opening) ctx->flags &= ~own;
  return st;
}

uint32_t stream_final(Gost15Ctx* ctx, const genkey_t* key, uint8_t* out, uint64_t* out_len, Direction dir) {
  if (ctx == nullptr || ctx->alg == nullptr || out_len == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!cipher_mode(ctx->mode)) return VRT_ERROR_UNSUPPORTED;
  const uint64_t n = ctx->block_size;
  const uint64_t size = padded_mode(ctx->mode) ? n : ctx->tail_len;
  if (out == nullptr) {
    *out_len = size;
    return VRT_SUCCESS;
  }
  if (*out_len < size) return VRT_ERROR_NO_MEMORY;
  if (key == nullptr || key->key.data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint32_t own = stream_bit(dir);
  if ((ctx->flags & own) == 0) return VRT_ERROR_FAILED;
  if (ctx->mode != VRT_GOST15_MODE_ECB && (ctx->saved_iv == nullptr || ctx->iv_len == 0))
    return VRT_ERROR_INVALID_ARGUMENT;
  // ECB and CBC decrypt whole blocks: a ragged stream stays open for the
  // rest of its last block.
  if (dir == Direction::kDecrypt && padded_mode(ctx->mode) && ctx->tail_len != n) return VRT_ERROR_LENGTH;

  Gost15Vec v{};
  v.out = out;
  v.key = key;
  uint32_t st = attach_single(ctx, &v);
  if (st != VRT_SUCCESS) return st;
  ctx->flags &= ~own;
  return run_frame(ctx, dir == Direction::kEncrypt ? gost15_encrypt_final : gost15_decrypt_final, dir);
}

// Whether a register of m bytes is one the mode takes (or none, m = 0).
bool register_fits(uint32_t mode, uint64_t n, uint64_t m) {
  if (m == 0) return true;
  switch (mode) {
    case VRT_GOST15_MODE_ECB:
      return false;
    case VRT_GOST15_MODE_CTR:
    case VRT_GOST15_MODE_CTR_ACPKM:
      return m == n;
    case VRT_GOST15_MODE_CBC:
    case VRT_GOST15_MODE_OFB:
      return m % n == 0;
    default:  // CFB
      return m >= n;
  }
}

// Whether a CTR-ACPKM stream can stand where the blob says: the key
// changes before the first block of every section after the first, so a
// stream in section s (s key changes done) with left bytes of it to go has
// run s * N + (N - left) bytes, and a section is only entered to run a
// block in it. The counter block (IV || 0, its low half counting the
// blocks) must have counted at least those blocks; a caller's full counter
// block only starts higher. Magma's 8-byte counter is read whole: its
// reversed-IV form starts the count in the low half at the IV. Without a
// register the stream has run nothing.
// The key changes are bounded as well: the first call after the restore
// makes them all again.
bool acpkm_position_possible(uint64_t n, uint64_t section, uint64_t sections, uint64_t left, const uint8_t* reg) {
  if (sections > kMaxRestoredSections || (sections != 0 && left == section)) return false;
  const unsigned __int128 run = static_cast<unsigned __int128>(sections) * section + (section - left);
  if (reg == nullptr) return run == 0;
  const uint64_t counted = n == 16 ? vrt::load_be64(reg + 8) : vrt::load_be64(reg);
  return run / n <= counted;
}

}  // namespace
}  // namespace vrt::cipher15

using vrt::cipher15::Direction;

extern "C" {

VRT_API uint32_t vrtpGost15EncryptUpdate(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint64_t in_len,
                                         const uint8_t* iv, uint64_t iv_len, uint8_t* out, uint64_t* out_len) {
  return vrt::cipher15::stream_update(ctx, key, in, in_len, iv, iv_len, out, out_len, Direction::kEncrypt);
}

VRT_API uint32_t vrtpGost15DecryptUpdate(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* in, uint64_t in_len,
                                         const uint8_t* iv, uint64_t iv_len, uint8_t* out, uint64_t* out_len) {
  return vrt::cipher15::stream_update(ctx, key, in, in_len, iv, iv_len, out, out_len, Direction::kDecrypt);
}

VRT_API uint32_t vrtpGost15EncryptFinal(Gost15Ctx* ctx, const genkey_t* key, uint8_t* out, uint64_t* out_len) {
  return vrt::cipher15::stream_final(ctx, key, out, out_len, Direction::kEncrypt);
}

VRT_API uint32_t vrtpGost15DecryptFinal(Gost15Ctx* ctx, const genkey_t* key, uint8_t* out, uint64_t* out_len) {
  return vrt::cipher15::stream_final(ctx, key, out, out_len, Direction::kDecrypt);
}

VRT_API uint32_t vrtpGost15SaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size) {
  using namespace vrt::cipher15;
  if (ctx == nullptr || ctx->alg == nullptr || size == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!cipher_mode(ctx->mode)) return VRT_ERROR_UNSUPPORTED;
  const uint64_t n = ctx->block_size;
  const uint8_t m = ctx->saved_iv != nullptr ? ctx->iv_len : 0;
  const uint64_t total = cipher_blob_size(n, m);
  if (blob == nullptr) {
    *size = total;
    return VRT_SUCCESS;
  }
  if (*size != total) return VRT_ERROR_INVALID_ARGUMENT;
  CipherBlob b{};
  b.mode = ctx->mode;
  b.flags = ctx->flags;
  b.tail_len = ctx->tail_len;
  b.tail = ctx->tail;
  b.m = m;
  b.section = ctx->acpkm_section;
  b.sections = ctx->acpkm_sections;
  b.left = ctx->acpkm_left;
  b.reg = ctx->saved_iv;
  write_cipher_blob(blob, n, b);
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15RestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size) {
  using namespace vrt::cipher15;
  if (ctx == nullptr || blob == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (n != 8 && n != 16) return VRT_ERROR_INVALID_ARGUMENT;
  if (size < 8 || vrt::load_le64(blob) != size || size < cipher_blob_size(n, 0)) return VRT_ERROR_LENGTH;
  const uint8_t m = blob[17 + n];
  if (cipher_blob_size(n, m) != size) return VRT_ERROR_LENGTH;

  // Everything is checked before the context is touched: a refused blob
  // leaves it as it was. The content must be a state a stream can be in.
  const uint32_t mode = vrt::load_le32(blob + 8);
  const uint32_t flags = vrt::load_le32(blob + 12);
  const uint8_t tail_len = blob[16];
  const uint8_t* tail = blob + 17;
  const uint64_t section = vrt::load_le64(blob + 18 + n);
  const uint64_t sections = vrt::load_le64(blob + 26 + n);
  const uint64_t left = vrt::load_le64(blob + 34 + n);
  const uint8_t* reg = blob + 42 + n;
  const uint32_t stream = flags & kStreamBits;
  if (!cipher_mode(mode) || (flags & ~(kStreamBits | VRT_GOST15_FLAG_IV_REVERSED)) != 0 || stream == kStreamBits)
    return VRT_ERROR_INVALID_ARGUMENT;
  // An open stream holds 1..n bytes; a closed one none.
  if (tail_len > n || (stream != 0) != (tail_len != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  if (!register_fits(mode, n, m) || (stream != 0 && mode != VRT_GOST15_MODE_ECB && m == 0))
    return VRT_ERROR_INVALID_ARGUMENT;
  if (mode == VRT_GOST15_MODE_CTR_ACPKM) {
    if (section == 0 || section % n != 0 || left > section || left % n != 0) return VRT_ERROR_INVALID_ARGUMENT;
    if (!acpkm_position_possible(n, section, sections, left, m != 0 ? reg : nullptr))
      return VRT_ERROR_INVALID_ARGUMENT;
  } else if (section != 0 || sections != 0 || left != 0) {
    return VRT_ERROR_INVALID_ARGUMENT;
  }
  if (n == 8 && !vrtpGost89SboxInitialized(vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z)))
    return VRT_ERROR_INVALID_ARGUMENT;

  uint32_t st = vrtpGost15CtxInit(ctx, 1);
  if (st == VRT_SUCCESS) st = vrtpGost15SetMode(ctx, mode, flags);
  if (st != VRT_SUCCESS) return st;
  std::memcpy(ctx->tail, tail, n);
  ctx->tail_len = tail_len;
  std::memcpy(ctx->in_block, tail, tail_len);
  ctx->lane_fill[0] = tail_len;
  if (m != 0) {
    uint8_t* r = counter_mode(mode) ? ctx->reg : gost15_register_area(ctx);
    std::memcpy(r, reg, m);
    ctx->saved_iv = r;
    ctx->iv_len = m;
    ctx->iv_left = m;
  }
  ctx->acpkm_section = section;
  ctx->acpkm_sections = sections;
  ctx->acpkm_left = left;
  return VRT_SUCCESS;
}

VRT_FORWARD(Gost15EncryptUpdate);
VRT_FORWARD(Gost15DecryptUpdate);
VRT_FORWARD(Gost15EncryptFinal);
VRT_FORWARD(Gost15DecryptFinal);
VRT_FORWARD(Gost15SaveState);
VRT_FORWARD(Gost15RestoreState);

}  // extern "C"
