// The GOST R 34.13-2015 modes over the cipher context: ECB, CBC, CFB, OFB
// and CTR, and CTR with ACPKM key change, with the register of the feedback
// modes, the data movers of the worker loop and the final steps.
//
// Every worker runs the whole blocks of a request but the last 1..n bytes,
// which always go through the tail and the final step: a stream cut
// anywhere then meets the same final block as the whole message.
//
// The register R of CBC, CFB and OFB is m bytes of context memory, oldest
// first: each block takes R's first n bytes as its IV block, and R moves on
// by one block, taking in the ciphertext (CBC, CFB) or the gamma (OFB). The
// chain therefore never has to be read back from the caller's buffers,
// which in-place decryption overwrites.
#include <array>
#include <cstring>
#include <initializer_list>

#include "cipher15/internal.h"
#include "frame/bytes.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

enum class Op { kEcbEnc, kEcbDec, kCbcEnc, kCbcDec, kCfbEnc, kCfbDec, kOfb, kCtr, kCtrAcpkm };

constexpr uint32_t mode_of(Op op) {
  switch (op) {
    case Op::kEcbEnc:
    case Op::kEcbDec:
      return VRT_GOST15_MODE_ECB;
    case Op::kCbcEnc:
    case Op::kCbcDec:
      return VRT_GOST15_MODE_CBC;
    case Op::kCfbEnc:
    case Op::kCfbDec:
      return VRT_GOST15_MODE_CFB;
    case Op::kOfb:
      return VRT_GOST15_MODE_OFB;
    case Op::kCtr:
      return VRT_GOST15_MODE_CTR;
    case Op::kCtrAcpkm:
      return VRT_GOST15_MODE_CTR_ACPKM;
  }
  return 0;
}

constexpr bool feedback(Op op) {
  return op == Op::kCbcEnc || op == Op::kCbcDec || op == Op::kCfbEnc || op == Op::kCfbDec || op == Op::kOfb;
}

// out = a XOR b over n (8 or 16) bytes; out may be a or b.
inline void xor_block(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t n) {
  const uint64_t w0 = load_le64(a) ^ load_le64(b);
  if (n == 16) store_le64(out + 8, load_le64(a + 8) ^ load_le64(b + 8));
  store_le64(out, w0);
}

// The context's cipher as the record's block functions take it.
struct Cipher {
  gost15_block_fn enc, dec;
  const void* key;
  const gost89_sbox_t* sbox;
  const void* round_keys;
  void E(const void* in, void* out) const { enc(in, out, key, sbox, round_keys); }
  void D(const void* in, void* out) const { dec(in, out, key, sbox, round_keys); }
};

Cipher cipher_of(const Gost15Ctx* c) {
  return {c->alg->encrypt.gost15, c->alg->decrypt.gost15, c->key_buf, c->sbox, c->round_keys};
}

// R moves on by one block: its oldest n bytes go, b comes in at the end.
inline void shift_register(Gost15Ctx* c, const uint8_t* b, size_t n) {
  uint8_t* r = c->saved_iv;
  const size_t m = c->iv_len;
  if (m > n) std::memmove(r, r + n, m - n);
  std::memcpy(r + m - n, b, n);
}

// The context's cipher on many whole blocks at once, where the cipher has a
// faster form for them than block by block: Kuznyechik's grouped passes,
// and for Magma the eight-block GOST 28147-89 operations on AVX, which run
// the same network on the byte-reversed block with the key words of the
// Magma key. Their key record is filled on first use and its key words
// wiped when the object goes.
class Wide {
 public:
  explicit Wide(Gost15Ctx* c) : c_(c) {}
  ~Wide() {
    if (!keyed_) return;
    gost89_key_t* rec = c_->wide_key;
    wipe_temporary(rec->key, sizeof rec->key);
    if (eight_->hook_end != nullptr) eight_->hook_end(c_);
  }
  Wide(const Wide&) = delete;
  Wide& operator=(const Wide&) = delete;

  void encrypt(const uint8_t* in, uint8_t* out, uint64_t blocks) { run(true, in, out, blocks); }
  void decrypt(const uint8_t* in, uint8_t* out, uint64_t blocks) { run(false, in, out, blocks); }
  // The key in the context's key buffer changed: the key record is filled
  // again on its next use.
  void rekey() { keyed_ = false; }

 private:
  void run(bool enc, const uint8_t* in, uint8_t* out, uint64_t blocks) {
    if (c_->block_size == 16) {
      (enc ? kuznechik_encrypt_blocks : kuznechik_decrypt_blocks)(c_->round_keys, in, out, blocks);
      return;
    }
    if (blocks >= 8 && eight_available()) {
      key_record();
      const gost89_block_fn f = enc ? eight_->encrypt.gost89 : eight_->decrypt.gost89;
      for (; blocks >= 8; blocks -= 8, in += 64, out += 64) {
        for (int j = 0; j < 64; j += 8) store_le64(out + j, load_be64(in + j));
        f(out, out, c_->wide_key, c_->sbox);
        for (int j = 0; j < 64; j += 8) store_be64(out + j, load_le64(out + j));
      }
    }
    const gost15_block_fn f = enc ? c_->alg->encrypt.gost15 : c_->alg->decrypt.gost15;
    for (; blocks > 0; --blocks, in += 8, out += 8) f(in, out, c_->key_buf, c_->sbox, nullptr);
  }

  // The eight-block records that take one key record for all eight blocks
  // and beat eight single blocks.
  bool eight_available() const { return eight_ == &vrtpGost89AlgAvxG8 || eight_ == &vrtpGost89AlgAvx512G8; }

  void key_record() {
    if (keyed_) return;
    if (eight_->hook_begin != nullptr) eight_->hook_begin(c_);
    gost89_key_t* rec = c_->wide_key;
    for (int j = 0; j < 8; ++j) rec->key[j] = load_be32(c_->key_buf + 4 * j);
    std::memset(rec->mask, 0, sizeof rec->mask);
    rec->flags = 0;
    keyed_ = true;
  }

  Gost15Ctx* c_;
  const vrt_block_alg_t* eight_ = vrtpGost89AlgG8ptr;
  bool keyed_ = false;
};

inline void xor_bytes(const uint8_t* a, const uint8_t* b, uint8_t* out, size_t len) {
  for (size_t i = 0; i < len; i += 8) store_le64(out + i, load_le64(a + i) ^ load_le64(b + i));
}

// One mode: block() takes one block x to y (y may equal x); blocks() runs
// whole blocks between the caller's buffers, in batches where the blocks'
// cipher calls do not depend on each other. t and s are context scratch
// blocks, cleared when the call ends; *batch_used grows to the bytes of
// the batches used, which the call clears too.
template <Op op>
struct Step {
  Gost15Ctx* c;
  Cipher k;
  Wide* wide;
  size_t n;
  uint8_t* t;
  uint8_t* s;
  size_t* batch_used;

  Step(Gost15Ctx* ctx, Wide* w, size_t* used)
      : c(ctx), k(cipher_of(ctx)), wide(w), n(ctx->block_size), t(ctx->spare), s(ctx->reg_saved), batch_used(used) {}

  void block(const uint8_t* x, uint8_t* y) const {
    const uint8_t* r = c->saved_iv;
    switch (op) {
      case Op::kEcbEnc:
        k.E(x, y);
        break;
      case Op::kEcbDec:
        k.D(x, y);
        break;
      case Op::kCbcEnc:
        xor_block(x, r, t, n);
        k.E(t, t);
        shift_register(c, t, n);
        std::memcpy(y, t, n);
        break;
      case Op::kCbcDec:
        std::memcpy(s, x, n);
        k.D(x, t);
        xor_block(t, r, y, n);
        shift_register(c, s, n);
        break;
      case Op::kCfbEnc:
        k.E(r, t);
        xor_block(x, t, t, n);
        shift_register(c, t, n);
        std::memcpy(y, t, n);
        break;
      case Op::kCfbDec:
        std::memcpy(s, x, n);
        k.E(r, t);
        xor_block(s, t, y, n);
        shift_register(c, s, n);
        break;
      case Op::kOfb:
        k.E(r, t);
        shift_register(c, t, n);
        xor_block(x, t, y, n);
        break;
      case Op::kCtr:
        k.E(c->reg, t);
        CTR15(c->reg, n);
        xor_block(x, t, y, n);
        break;
      case Op::kCtrAcpkm:
        if (c->acpkm_left == 0) next_section();
        k.E(c->reg, t);
        CTR15(c->reg, n);
        xor_block(x, t, y, n);
        c->acpkm_left -= n;
        break;
    }
  }

  // CTR-ACPKM: the key of the next section, before its first block. The
  // section size is a nonzero multiple of n (the request check refuses
  // anything else), so a section holds at least one block.
  void next_section() const {
    acpkm_convert(c, c->key_buf, c->round_keys);
    wide->rekey();
    ++c->acpkm_sections;
    c->acpkm_left = c->acpkm_section;
  }

  uint64_t batch_blocks() const { return kBatchBytes / n; }

  void use_batch(uint64_t blocks) const {
    if (blocks * n > *batch_used) *batch_used = static_cast<size_t>(blocks * n);
  }

  // count counter blocks encrypted together into gamma and XORed into the
  // data. Kuznyechik counts in its many-block counter runs, split where the
  // low half of the counter wraps so that the carry reaches the high half
  // as CTR15 carries it; Magma through the batch.
  void gamma(const uint8_t* in, uint8_t* out, uint64_t count) const {
    if (n == 16) {
      while (count > 0) {
        const uint64_t to_wrap = ~load_be64(c->reg + 8) + 1;  // blocks until the low half wraps; 0: 2^64
        const uint64_t g = to_wrap != 0 && to_wrap < count ? to_wrap : count;
        kuznechik_encrypt_counters(c->round_keys, c->reg, 1, in, out, g);
        if (load_be64(c->reg + 8) == 0 && g == to_wrap) store_be64(c->reg, load_be64(c->reg) + 1);
        in += g * n;
        out += g * n;
        count -= g;
      }
      return;
    }
    while (count > 0) {
      const uint64_t g = count < batch_blocks() ? count : batch_blocks();
      use_batch(g);
      for (uint64_t j = 0; j < g; ++j) {
        std::memcpy(c->batch + j * n, c->reg, n);
        CTR15(c->reg, n);
      }
      wide->encrypt(c->batch, c->batch, g);
      xor_bytes(in, c->batch, out, g * n);
      in += g * n;
      out += g * n;
      count -= g;
    }
  }

  void blocks(const uint8_t* in, uint8_t* out, uint64_t count) const {
    switch (op) {
      case Op::kEcbEnc:
        wide->encrypt(in, out, count);
        return;
      case Op::kEcbDec:
        wide->decrypt(in, out, count);
        return;
      case Op::kCtr:
        gamma(in, out, count);
        return;
      case Op::kCtrAcpkm:
        // Runs never cross a section: the key changes between them.
        while (count > 0) {
          if (c->acpkm_left == 0) next_section();
          uint64_t g = count;
          if (g > c->acpkm_left / n) g = c->acpkm_left / n;
          gamma(in, out, g);
          c->acpkm_left -= g * n;
          in += g * n;
          out += g * n;
          count -= g;
        }
        return;
      case Op::kCbcDec:
      case Op::kCfbDec:
        // The IV blocks of a batch are known from the ciphertext in advance:
        // the batch's ciphertext is copied first (the output may overwrite
        // it), the register walked over it, then the cipher runs on all of
        // them together.
        while (count > 0) {
          const uint64_t g = count < batch_blocks() ? count : batch_blocks();
          use_batch(g);
          std::memcpy(c->batch, in, g * n);
          for (uint64_t j = 0; j < g; ++j) {
            std::memcpy(c->batch_iv + j * n, c->saved_iv, n);
            shift_register(c, c->batch + j * n, n);
          }
          if (op == Op::kCbcDec) {
            wide->decrypt(c->batch, out, g);
            xor_bytes(out, c->batch_iv, out, g * n);
          } else {
            wide->encrypt(c->batch_iv, c->batch_iv, g);
            xor_bytes(c->batch, c->batch_iv, out, g * n);
          }
          in += g * n;
          out += g * n;
          count -= g;
        }
        return;
      default:
        for (; count > 0; --count, in += n, out += n) block(in, out);
        return;
    }
  }
};

// Clears what the message left in the context once its final step is done:
// the block buffers (gamma, plaintext, counter), the tail and the register.
void end_message(Gost15Ctx* c) {
  const size_t n = c->block_size;
  for (uint8_t* b : {c->in_block, c->out_block, c->reg, c->reg_saved, c->spare})
    vrt_memset_s(b, static_cast<int64_t>(n), 0, n);
  vrt_memset_s(c->tail_buf, sizeof c->tail_buf, 0, sizeof c->tail_buf);
  if (c->saved_iv != nullptr && c->saved_iv != c->reg) vrt_memset_s(c->saved_iv, c->iv_len, 0, c->iv_len);
  c->tail_len = 0;
  c->lane_fill[0] = 0;
  // The next message starts with the key as given.
  if (c->mode == VRT_GOST15_MODE_CTR_ACPKM) {
    c->acpkm_sections = 0;
    c->acpkm_left = c->acpkm_section;
    c->omac_sections_left = 0;
  }
}

// The final step of the context's mode on lane 0: x is the tail zero-filled
// to a block; ECB and CBC write a whole block, the stream modes the bytes
// held. Decryption in ECB and CBC needs a whole block held (12 otherwise).
uint32_t final_step(Gost15Ctx* c, Gost15Vec& v, Direction dir) {
  const size_t n = c->block_size;
  const size_t held = c->tail_len;
  if (held == 0) {
    end_message(c);
    return VRT_SUCCESS;
  }
  const bool enc = dir == Direction::kEncrypt;
  uint8_t* x = c->in_block;
  uint8_t* y = c->out_block;
  std::memcpy(x, c->tail, held);
  std::memset(x + held, 0, n - held);
  Wide wide(c);
  size_t unused = 0;
  size_t written = held;
  switch (c->mode) {
    case VRT_GOST15_MODE_ECB:
      if (!enc && held != n) return VRT_ERROR_LENGTH;
      if (enc)
        Step<Op::kEcbEnc>(c, &wide, &unused).block(x, y);
      else
        Step<Op::kEcbDec>(c, &wide, &unused).block(x, y);
      written = n;
      break;
    case VRT_GOST15_MODE_CBC:
      if (!enc && held != n) return VRT_ERROR_LENGTH;
      if (enc)
        Step<Op::kCbcEnc>(c, &wide, &unused).block(x, y);
      else
        Step<Op::kCbcDec>(c, &wide, &unused).block(x, y);
      written = n;
      break;
    case VRT_GOST15_MODE_CFB:
      // Only the bytes held are ciphertext; the register is not needed after
      // the last block, so the decryption of it is the one of OFB.
      if (enc)
        Step<Op::kCfbEnc>(c, &wide, &unused).block(x, y);
      else
        Step<Op::kOfb>(c, &wide, &unused).block(x, y);
      break;
    case VRT_GOST15_MODE_OFB:
      Step<Op::kOfb>(c, &wide, &unused).block(x, y);
      break;
    case VRT_GOST15_MODE_CTR:
      Step<Op::kCtr>(c, &wide, &unused).block(x, y);
      break;
    case VRT_GOST15_MODE_CTR_ACPKM:
      Step<Op::kCtrAcpkm>(c, &wide, &unused).block(x, y);
      break;
    default:
      return VRT_ERROR_UNSUPPORTED;
  }
  std::memcpy(v.out, y, written);
  v.out += written;
  end_message(c);
  return VRT_SUCCESS;
}

// Keeps the register bookkeeping after blocks of a feedback mode: how much
// of the caller's IV R still holds.
void consume_register(Gost15Ctx* c, Gost15Vec& v, uint64_t blocks) {
  if (!(c->saved_flags & 1)) {
    const uint64_t used = blocks * c->block_size;
    if (used >= c->iv_left) {
      c->iv_left = 255;
      c->saved_flags |= 1;
    } else {
      c->iv_left = static_cast<uint8_t>(c->iv_left - used);
    }
  }
  if (c->saved_flags & 1) v.chain_flags |= VRT_GOST15_CHAIN_FROM_DATA;
}

void schedule(Gost15Ctx* c, bool decrypt) {
  if (decrypt)
    gost15_key_shedule_decrypt(c, c->key_buf);
  else
    gost15_key_shedule_encrypt(c, c->key_buf);
}

// CTR-ACPKM needs a section of whole blocks, and a position in it, before
// any block runs: a zero or ragged section would never move on.
bool acpkm_ready(const Gost15Ctx* c) {
  const uint64_t n = c->block_size;
  return c->acpkm_section != 0 && c->acpkm_section % n == 0 && c->acpkm_left <= c->acpkm_section &&
         c->acpkm_left % n == 0;
}

template <Op op>
uint32_t worker(Gost15Ctx* c, Direction dir) {
  if (c == nullptr || c->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (c->mode != mode_of(op)) return VRT_ERROR_UNSUPPORTED;
  if (op == Op::kCtrAcpkm && !acpkm_ready(c)) return VRT_ERROR_BAD_PARAMETERS;
  // ECB and CBC decryption run the inverse cipher; every other mode only
  // ever encrypts.
  schedule(c, op == Op::kEcbDec || op == Op::kCbcDec);
  const size_t n = c->block_size;
  uint32_t st = VRT_SUCCESS;
  size_t batch_used = 0;
  {
    Wide wide(c);
    const Step<op> step(c, &wide, &batch_used);
    for (uint64_t i = 0; i < c->vec_count && st == VRT_SUCCESS; ++i) {
      const uint32_t bit = 1u << i;
      if ((c->skipped | c->finished) & bit) continue;
      Gost15Vec& v = c->vec[i];
      const uint64_t blocks = gost15_run_lane(
          c, v, true, [&](const uint8_t* x, uint8_t* y) { step.block(x, y); },
          [&](const uint8_t* in, uint8_t* out, uint64_t count) { step.blocks(in, out, count); });
      v.status |= VRT_VEC_FINISHED;
      c->finished |= bit;
      if (feedback(op)) consume_register(c, v, blocks);
      if (!gost15_stream_open(c, dir)) st = final_step(c, v, dir);
    }
  }
  vrt_memset_s(c->spare, static_cast<int64_t>(n), 0, n);
  vrt_memset_s(c->reg_saved, static_cast<int64_t>(n), 0, n);
  if (batch_used != 0) {
    vrt_memset_s(c->batch, static_cast<int64_t>(batch_used), 0, batch_used);
    vrt_memset_s(c->batch_iv, static_cast<int64_t>(batch_used), 0, batch_used);
  }
  gost15_key_shedule_clean(c);
  return st;
}

uint32_t final_only(Gost15Ctx* c, Direction dir) {
  if (c == nullptr || c->alg == nullptr || c->vec == nullptr || c->vec_count == 0)
    return VRT_ERROR_INVALID_ARGUMENT;
  const uint32_t mode = c->mode;
  if (mode < VRT_GOST15_MODE_ECB || mode > VRT_GOST15_MODE_CTR_ACPKM) return VRT_ERROR_UNSUPPORTED;
  if (mode == VRT_GOST15_MODE_CTR_ACPKM && !acpkm_ready(c)) return VRT_ERROR_BAD_PARAMETERS;
  const bool inverse = dir == Direction::kDecrypt && (mode == VRT_GOST15_MODE_ECB || mode == VRT_GOST15_MODE_CBC);
  schedule(c, inverse);
  const uint32_t st = final_step(c, c->vec[0], dir);
  gost15_key_shedule_clean(c);
  return st;
}

}  // namespace

// The 32 bytes the ACPKM key conversion encrypts.
constexpr auto kAcpkmConstant = [] {
  std::array<uint8_t, 32> d{};
  for (size_t i = 0; i < d.size(); ++i) d[i] = static_cast<uint8_t>(0x80 + i);
  return d;
}();

void acpkm_convert(Gost15Ctx* c, uint8_t* key, uint8_t* round_keys) {
  const size_t n = c->block_size;
  const gost15_block_fn enc = c->alg->encrypt.gost15;
  if (n == 16) {
    // Kuznyechik reads only the round keys: the new key can take the old
    // one's place block by block, then gets its own schedule.
    enc(kAcpkmConstant.data(), key, nullptr, nullptr, round_keys);
    enc(kAcpkmConstant.data() + 16, key + 16, nullptr, nullptr, round_keys);
    kuznechik_arch_schedule_encrypt(round_keys, key);
    return;
  }
  // Magma reads the key for every block: the new key is collected aside.
  uint8_t* fresh = c->batch;
  for (size_t i = 0; i < 32; i += 8) enc(kAcpkmConstant.data() + i, fresh + i, key, c->sbox, nullptr);
  std::memcpy(key, fresh, 32);
  vrt_memset_s(fresh, 32, 0, 32);
}

void write_cipher_blob(uint8_t* out, uint64_t n, const CipherBlob& b) {
  store_le64(out, cipher_blob_size(n, b.m));
  store_le32(out + 8, b.mode);
  store_le32(out + 12, b.flags);
  out[16] = b.tail_len;
  std::memcpy(out + 17, b.tail, n);
  out[17 + n] = b.m;
  store_le64(out + 18 + n, b.section);
  store_le64(out + 26 + n, b.sections);
  store_le64(out + 34 + n, b.left);
  if (b.m != 0) std::memcpy(out + 42 + n, b.reg, b.m);
}

size_t gost15_vio_fetch(Gost15Ctx* ctx, Gost15Vec& v) {
  const size_t n = ctx->block_size;
  const size_t fill = ctx->lane_fill[0];
  const size_t taken = n - fill;
  std::memcpy(ctx->in_block + fill, v.in, taken);
  return taken;
}

void gost15_vio_store(Gost15Ctx* ctx, Gost15Vec& v, size_t taken, bool write) {
  const size_t n = ctx->block_size;
  v.in += taken;
  v.len -= taken;
  if (write) {
    std::memcpy(v.out, ctx->out_block, n);
    v.out += n;
  }
  ctx->lane_fill[0] = 0;
}

void gost15_save(Gost15Ctx* ctx, Gost15Vec& v) {
  const size_t fill = ctx->lane_fill[0];
  const size_t len = static_cast<size_t>(v.len);  // at most n - fill here
  std::memcpy(ctx->in_block + fill, v.in, len);
  std::memcpy(ctx->tail, ctx->in_block, fill + len);
  // Nothing of earlier blocks stays behind the bytes held.
  std::memset(ctx->tail + fill + len, 0, ctx->block_size - fill - len);
  ctx->tail_len = static_cast<uint8_t>(fill + len);
  ctx->lane_fill[0] = ctx->tail_len;
  v.in += len;
  v.len = 0;
}

}  // namespace vrt::cipher15

using vrt::cipher15::Direction;
using vrt::cipher15::Op;

extern "C" {

VRT_API uint32_t gost15_ecb_encrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kEcbEnc>(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_ecb_decrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kEcbDec>(ctx, Direction::kDecrypt); }
VRT_API uint32_t gost15_cbc_encrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kCbcEnc>(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_cbc_decrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kCbcDec>(ctx, Direction::kDecrypt); }
VRT_API uint32_t gost15_cfb_encrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kCfbEnc>(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_cfb_decrypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kCfbDec>(ctx, Direction::kDecrypt); }
// The counter and OFB modes are their own inverse: one worker serves both
// directions, and either direction's open stream holds back its final step.
VRT_API uint32_t gost15_ctr_crypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kCtr>(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_ofb_crypt(Gost15Ctx* ctx) { return vrt::cipher15::worker<Op::kOfb>(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_ctr_acpkm_crypt(Gost15Ctx* ctx) {
  return vrt::cipher15::worker<Op::kCtrAcpkm>(ctx, Direction::kEncrypt);
}

// The key buffer of lane 0 becomes the next ACPKM key; the Kuznyechik
// schedule is computed for the current key first and left for the new one.
VRT_API uint32_t gost15_key_conversion_ACPKM(Gost15Ctx* ctx) {
  if (ctx == nullptr || ctx->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  gost15_key_shedule_encrypt(ctx, ctx->key_buf);
  vrt::cipher15::acpkm_convert(ctx, ctx->key_buf, ctx->round_keys);
  return VRT_SUCCESS;
}

// Brings a freshly unmasked CTR-ACPKM key to the section the message is in:
// the conversion once per key change done so far. The schedule it needed
// is wiped; the worker computes its own.
VRT_API uint32_t gost15_key_prepare_ctr_acpkm(Gost15Ctx* ctx) {
  if (ctx == nullptr || ctx->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->mode != VRT_GOST15_MODE_CTR_ACPKM || ctx->acpkm_sections == 0) return VRT_SUCCESS;
  gost15_key_shedule_encrypt(ctx, ctx->key_buf);
  for (uint64_t i = 0; i < ctx->acpkm_sections; ++i) vrt::cipher15::acpkm_convert(ctx, ctx->key_buf, ctx->round_keys);
  gost15_key_shedule_clean(ctx);  // zero-filled should the generator fail
  return VRT_SUCCESS;
}

VRT_API uint32_t gost15_encrypt_final(Gost15Ctx* ctx) { return vrt::cipher15::final_only(ctx, Direction::kEncrypt); }
VRT_API uint32_t gost15_decrypt_final(Gost15Ctx* ctx) { return vrt::cipher15::final_only(ctx, Direction::kDecrypt); }

VRT_API void CTR15(uint8_t* ctr, uint64_t block_size) {
  if (ctr == nullptr) return;
  if (block_size == 16) {
    const uint64_t lo = vrt::load_be64(ctr + 8) + 1;
    vrt::store_be64(ctr + 8, lo);
    if (lo == 0) vrt::store_be64(ctr, vrt::load_be64(ctr) + 1);
  } else if (block_size == 8) {
    vrt::store_be64(ctr, vrt::load_be64(ctr) + 1);
  } else {
    for (uint64_t i = block_size; i-- > 0;)
      if (++ctr[i] != 0) break;
  }
}

}  // extern "C"
