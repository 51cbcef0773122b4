// The GOST 28147-89 modes over the cipher context: ECB, counter (gamma), CBC,
// CFB and the MAC's steps, with byte-granular streaming for the stream modes.
//
// Every request is a loop of steps over all lanes of the block record at
// once: fetch (complete each lane's current block from its input), transform
// (one call of the record's operation for every lane), store (hand back what
// each lane consumed). A lane whose data end inside a block keeps the
// partial input and, in the stream modes, its register from before the step,
// so the next call recomputes that block with the completed input.
#include <cstring>

#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/wipe.h"
#include "gost89/gost89_core.h"
#include "gost89/gost89_ctx.h"
#include "gost89/internal.h"
#include "vrt.h"

namespace {

using vrt::gost89::kKeyRecordSize;
using vrt::gost89::record_lanes;
using vrt::gost89::Request;
using vrt::gost89::reverse8;
using vrt::gost89::usable;

// Overwrites the key words of n records, and their mask words where the key
// was masked: with 0xEE for a context used before the random source exists
// (the constant a caller asked for), else with zeros.
void wipe_records(gost89_key_t* recs, uint32_t n, bool constant) {
  const bool masked = (recs[0].flags & (GOST89_KEY_XOR | GOST89_KEY_ADD)) != 0;
  const size_t bytes = masked ? sizeof recs[0].key + sizeof recs[0].mask : sizeof recs[0].key;
  for (uint32_t i = 0; i < n; ++i) {
    if (constant)
      vrt_memset_s(recs[i].key, static_cast<int64_t>(bytes), 0xEE, bytes);
    else
      vrt::wipe_temporary(recs[i].key, bytes);
  }
}

void wipe_keys(Gost89Ctx* ctx) { wipe_records(ctx->keys, record_lanes(ctx), ctx->const_reset != 0); }

inline void run_hook(vrt_block_hook_fn hook, Gost89Ctx* ctx) {
  if (hook != nullptr) hook(ctx);
}

// Copies a masked key record into a lane's expanded key record.
void load_record(gost89_key_t* rec, const genkey_t* g, bool reversed) {
  for (int j = 0; j < 8; ++j) rec->key[j] = vrt::load_le32(g->key.data + 4 * j);
  if (g->mask.data != nullptr && g->mask.length >= 32)
    for (int j = 0; j < 8; ++j) rec->mask[j] = vrt::load_le32(g->mask.data + 4 * j);
  rec->flags = g->kind;
  if (reversed) {
    rec->flags |= GOST89_KEY_REVERSED;
    // Plain and XOR-masked words can be reversed here; additive ones only
    // after unmasking, which the block operations do.
    if (!(rec->flags & GOST89_KEY_ADD) || (rec->flags & GOST89_KEY_XOR)) {
      uint32_t k[8], m[8];
      for (int j = 0; j < 8; ++j) {
        k[j] = __builtin_bswap32(rec->key[7 - j]);
        m[j] = __builtin_bswap32(rec->mask[7 - j]);
      }
      std::memcpy(rec->key, k, sizeof k);
      std::memcpy(rec->mask, m, sizeof m);
      vrt_memset_s(k, sizeof k, 0, sizeof k);
    }
  }
}

// Loads every lane's key record. Lanes the call gives no key (skipped lanes
// without one, lanes beyond the call) get the first loaded record, so that
// the eight-block operations see one key throughout.
uint32_t load_keys(Gost89Ctx* ctx) {
  run_hook(ctx->alg->hook_begin, ctx);
  const uint32_t lanes = record_lanes(ctx);
  const bool reversed = (ctx->flags & VRT_GOST89_FLAG_REVERSED) != 0;
  int first = -1;
  uint32_t loaded = 0;
  for (uint64_t i = 0; i < ctx->vec_count; ++i) {
    const genkey_t* g = ctx->vec[i].key;
    if (g == nullptr) continue;
    load_record(&ctx->keys[i], g, reversed);
    loaded |= 1u << i;
    if (first < 0) first = static_cast<int>(i);
  }
  run_hook(ctx->alg->hook_after_key, ctx);
  for (uint32_t i = 0; i < lanes; ++i) {
    if (static_cast<int>(i) == first) continue;
    if (loaded & (1u << i)) {
      if (std::memcmp(&ctx->keys[i], &ctx->keys[first], kKeyRecordSize) != 0) return VRT_ERROR_BAD_PARAMETERS;
    } else {
      std::memcpy(&ctx->keys[i], &ctx->keys[first], kKeyRecordSize);
    }
  }
  return VRT_SUCCESS;
}

// The descriptor scan of every request; only a MAC request may go without
// output.
uint32_t scan(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count, bool mac) {
  if (!usable(ctx) || (vecs == nullptr && count != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  if (count > ctx->alg->lanes) return VRT_ERROR_INVALID_ARGUMENT;
  for (uint64_t i = 0; i < count; ++i) {
    const Gost89Vec& d = vecs[i];
    if (d.status & VRT_VEC_SKIP) continue;
    const genkey_t* g = d.key;
    if (g == nullptr || g->key.data == nullptr || g->key.length != 32) return VRT_ERROR_INVALID_ARGUMENT;
    if (d.len != 0 && (d.in == nullptr || (d.out == nullptr && !mac)))
      return VRT_ERROR_INVALID_ARGUMENT;
  }
  ctx->vec = vecs;
  ctx->vec_count = count;
  ctx->finished = ctx->partial = ctx->skipped = 0;
  uint32_t done = 0;
  for (uint64_t i = 0; i < count; ++i) {
    Gost89Vec& d = vecs[i];
    d.status &= ~uint32_t{0xFF};
    const uint32_t bit = 1u << i;
    if (d.status & VRT_VEC_SKIP) {
      ctx->skipped |= bit;
      d.status |= VRT_VEC_FINISHED;
      ++done;
    } else if (d.len == 0) {
      ctx->finished |= bit;
      d.status |= VRT_VEC_FINISHED;
      ++done;
    } else {
      d.status |= VRT_VEC_ACTIVE;
      if (d.len % 8 != 0) {
        d.status |= VRT_VEC_PARTIAL;
        ctx->partial |= bit;
      }
    }
  }
  return done == count ? VRT_ERROR_NO_DATA : VRT_SUCCESS;
}

enum class Op { kEcbEncrypt, kEcbDecrypt, kCbcEncrypt, kCbcDecrypt, kCfbEncrypt, kCfbDecrypt, kCtr, kMac };

// Advances one lane's counter: N1 += C2 mod 2^32, N2 += C1 mod 2^32 - 1.
inline void counter_step(uint8_t* reg) {
  constexpr uint32_t kC2 = 0x01010101, kC1 = 0x01010104;
  vrt::store_le32(reg, vrt::load_le32(reg) + kC2);
  uint64_t s = uint64_t{vrt::load_le32(reg + 4)} + kC1;
  vrt::store_le32(reg + 4, static_cast<uint32_t>(s + (s >> 32)));
}

// One transform over all lanes of the record.
void transform(Gost89Ctx* ctx, Op op) {
  const vrt_block_alg_t* a = ctx->alg;
  const gost89_key_t* k = ctx->keys;
  const gost89_sbox_t* s = ctx->sbox;
  uint8_t tmp[64];
  switch (op) {
    case Op::kEcbEncrypt:
      a->encrypt.gost89(ctx->in_block, ctx->out_block, k, s);
      break;
    case Op::kEcbDecrypt:
      a->decrypt.gost89(ctx->in_block, ctx->out_block, k, s);
      break;
    case Op::kCbcEncrypt:
      a->xor_block(ctx->in_block, ctx->reg, tmp);
      a->encrypt.gost89(tmp, ctx->out_block, k, s);
      a->copy_block(ctx->out_block, ctx->reg);
      break;
    case Op::kCbcDecrypt:
      a->decrypt.gost89(ctx->in_block, ctx->out_block, k, s);
      a->xor_block(ctx->out_block, ctx->reg, ctx->out_block);
      a->copy_block(ctx->in_block, ctx->reg);
      break;
    case Op::kCfbEncrypt:
      a->encrypt.gost89(ctx->reg, tmp, k, s);
      a->xor_block(ctx->in_block, tmp, ctx->reg);
      a->copy_block(ctx->reg, ctx->out_block);
      break;
    case Op::kCfbDecrypt:
      a->encrypt.gost89(ctx->reg, tmp, k, s);
      a->xor_block(ctx->in_block, tmp, ctx->out_block);
      a->copy_block(ctx->in_block, ctx->reg);
      break;
    case Op::kCtr:
      for (uint64_t i = 0; i < a->lanes; ++i) counter_step(ctx->reg + 8 * i);
      a->encrypt.gost89(ctx->reg, tmp, k, s);
      a->xor_block(ctx->in_block, tmp, ctx->out_block);
      break;
    case Op::kMac:
      a->mac_block.gost89(ctx->in_block, ctx->reg, k, s);
      a->copy_block(ctx->reg, ctx->out_block);
      break;
  }
  vrt_memset_s(tmp, sizeof tmp, 0, sizeof tmp);
}

// The loop of steps. keep: the stream modes, whose register is restored for
// a lane that ends inside a block. Returns 0 when every lane of the call is
// finished, else 9.
uint32_t run_steps(Gost89Ctx* ctx, Op op, bool keep) {
  const bool mac = op == Op::kMac;
  const bool reversed = (ctx->flags & VRT_GOST89_FLAG_REVERSED) != 0;
  const uint32_t lanes = record_lanes(ctx);
  const uint32_t live = ctx->skipped | ctx->finished;
  for (;;) {
    // Fetch. A lane that takes no part in this step (skipped, empty, beyond
    // the call) keeps its register through the transform, as does a partial
    // one in the stream modes.
    uint32_t taking = 0, restore = 0;
    uint8_t take[8] = {}, fill[8] = {};
    for (uint32_t i = 0; i < lanes; ++i) {
      const uint32_t bit = 1u << i;
      if (i >= ctx->vec_count || (live & bit) || ctx->vec[i].len == 0) {
        restore |= bit;
        continue;
      }
      Gost89Vec& d = ctx->vec[i];
      const uint32_t p = ctx->lane_fill[i];
      const uint32_t t = d.len < 8 - p ? static_cast<uint32_t>(d.len) : 8 - p;
      std::memcpy(ctx->in_block + 8 * i + p, d.in, t);
      if (p + t != 8) {
        d.status |= VRT_VEC_PARTIAL;
        ctx->partial |= bit;
        if (keep) restore |= bit;
        if (mac) std::memset(ctx->in_block + 8 * i + p + t, 0, 8 - p - t);
      }
      d.status |= VRT_VEC_ACTIVE;
      taking |= bit;
      take[i] = static_cast<uint8_t>(t);
      fill[i] = static_cast<uint8_t>(p);
    }
    if (taking == 0) break;
    if (reversed)
      for (uint32_t i = 0; i < lanes; ++i)
        if (taking & (1u << i)) reverse8(ctx->in_block + 8 * i);
    // A lane that takes no part also keeps its output block, which holds its
    // MAC in MAC mode.
    uint8_t idle_out[64];
    for (uint32_t i = 0; i < lanes; ++i) {
      if (restore & (1u << i)) std::memcpy(ctx->reg_saved + 8 * i, ctx->reg + 8 * i, 8);
      if (!(taking & (1u << i))) std::memcpy(idle_out + 8 * i, ctx->out_block + 8 * i, 8);
    }

    transform(ctx, op);

    for (uint32_t i = 0; i < lanes; ++i) {
      if (restore & (1u << i)) std::memcpy(ctx->reg + 8 * i, ctx->reg_saved + 8 * i, 8);
      if (!(taking & (1u << i))) std::memcpy(ctx->out_block + 8 * i, idle_out + 8 * i, 8);
    }
    if (reversed)
      for (uint32_t i = 0; i < lanes; ++i)
        if (taking & (1u << i)) reverse8(ctx->out_block + 8 * i);
    // Store.
    bool any_finished = false;
    for (uint32_t i = 0; i < lanes; ++i) {
      if (!(taking & (1u << i))) continue;
      Gost89Vec& d = ctx->vec[i];
      const uint32_t p = fill[i], t = take[i];
      d.in += t;
      d.len -= t;
      if (!mac) {
        std::memcpy(d.out, ctx->out_block + 8 * i + p, t);
        d.out += t;
      } else if (d.out != nullptr) {
        std::memcpy(d.out, ctx->out_block + 8 * i, 8);
      }
      ctx->lane_fill[i] = static_cast<uint8_t>((p + t) % 8);
      if (d.len == 0) {
        d.status |= VRT_VEC_FINISHED;
        ctx->finished |= 1u << i;
        any_finished = true;
      }
    }
    if (any_finished) break;
  }
  ctx->finished |= ctx->skipped;
  const uint32_t all = ctx->vec_count >= 32 ? ~0u : (1u << ctx->vec_count) - 1;
  return (ctx->finished & all) == all ? VRT_SUCCESS : VRT_ERROR_NO_DATA;
}

// The first counter value after an IV is E(IV).
void counter_start(Gost89Ctx* ctx) {
  if (ctx->iv_taken == 0) return;
  ctx->alg->encrypt.gost89(ctx->reg, ctx->reg_saved, ctx->keys, ctx->sbox);
  for (uint64_t i = 0; i < ctx->alg->lanes; ++i)
    if (ctx->iv_taken & (1u << i)) std::memcpy(ctx->reg + 8 * i, ctx->reg_saved + 8 * i, 8);
  ctx->iv_taken = 0;
}

// One-lane counter mode over groups of up to eight blocks: the blocks of the
// keystream do not depend on each other, so they go through the eight-block
// record in one call. With the vector record a group of four or more blocks
// costs no more than one of eight; with the portable one only full groups
// pay. Leaves the rest (and a lane inside a block) to the other paths; the
// result is the same.
void counter_bulk(Gost89Ctx* ctx) {
  if (ctx->alg->lanes != 1 || ctx->vec_count != 1 || ctx->skipped || ctx->lane_fill[0] != 0 ||
      (ctx->flags & VRT_GOST89_FLAG_REVERSED))
    return;
  const vrt_block_alg_t* g8 = vrtpGost89AlgG8ptr;
  const bool vector = g8 == &vrtpGost89AlgAvxG8 || g8 == &vrtpGost89AlgAvx512G8;
  const uint64_t min_group = vector ? 32 : 64;
  Gost89Vec& d = ctx->vec[0];
  if (d.len < min_group) return;
  // The vector record reads only the first key record; the portable one
  // takes one per block, so it gets copies.
  const bool copies = !vector;
  gost89_key_t keys[8];
  if (copies)
    for (auto& k : keys) std::memcpy(&k, &ctx->keys[0], sizeof k);
  const gost89_key_t* k = copies ? keys : ctx->keys;
  // Sixteen blocks in one 512-bit chain cost about what eight do.
  if (vector && vrt::gost89::sixteen_blocks()) {
    uint8_t counters16[128], stream16[128];
    while (d.len >= 128) {
      for (int j = 0; j < 16; ++j) {
        counter_step(ctx->reg);
        std::memcpy(counters16 + 8 * j, ctx->reg, 8);
      }
      __gost89avx512_encrypt16(counters16, stream16, ctx->keys, ctx->sbox->cpu);
      for (int j = 0; j < 128; j += 8) vrt::store_le64(d.out + j, vrt::load_le64(d.in + j) ^ vrt::load_le64(stream16 + j));
      d.in += 128;
      d.out += 128;
      d.len -= 128;
    }
    vrt_memset_s(stream16, sizeof stream16, 0, sizeof stream16);
  }
  uint8_t counters[64] = {}, stream[64];
  while (d.len >= min_group) {
    const uint64_t blocks = d.len >= 64 ? 8 : d.len / 8;
    for (uint64_t j = 0; j < blocks; ++j) {
      counter_step(ctx->reg);
      std::memcpy(counters + 8 * j, ctx->reg, 8);
    }
    g8->encrypt.gost89(counters, stream, k, ctx->sbox);
    for (uint64_t j = 0; j < 8 * blocks; j += 8)
      vrt::store_le64(d.out + j, vrt::load_le64(d.in + j) ^ vrt::load_le64(stream + j));
    d.in += 8 * blocks;
    d.out += 8 * blocks;
    d.len -= 8 * blocks;
  }
  d.status |= VRT_VEC_ACTIVE;
  if (d.len == 0) {
    d.status |= VRT_VEC_FINISHED;
    ctx->finished |= 1u;
  }
  if (copies) wipe_records(keys, 8, ctx->const_reset != 0);
  vrt_memset_s(stream, sizeof stream, 0, sizeof stream);
}

// The eight-block records that read one key record for all eight blocks
// and beat eight single blocks.
bool vector_eight(const vrt_block_alg_t* g8) { return g8 == &vrtpGost89AlgAvxG8 || g8 == &vrtpGost89AlgAvx512G8; }

// One lane at a block boundary with whole blocks to go, bytes in their own
// order, on a scalar record: the blocks run here without the record's call
// per block, the key words unmasked once for all of them; the independent
// blocks of ECB and of CBC and CFB decryption go through the eight-block
// vector record eight at a time where there is one. The result is the same;
// the step loop takes the partial block that may be left.
void lane_bulk(Gost89Ctx* ctx, Op op) {
  const vrt_block_alg_t* a = ctx->alg;
  if (a->lanes != 1 || ctx->vec_count != 1 || ctx->skipped || ctx->lane_fill[0] != 0 ||
      (ctx->flags & VRT_GOST89_FLAG_REVERSED) || op == Op::kCtr)
    return;
  if (a != &vrtpGost89AlgAluG1 && a != &vrtpGost89AlgG1) return;
  Gost89Vec& d = ctx->vec[0];
  uint64_t blocks = d.len / 8;
  if (blocks == 0) return;
  const uint8_t* in = d.in;
  uint8_t* out = d.out;
  uint8_t* reg = ctx->reg;
  const uint32_t* t = &ctx->sbox->tables[0][0];
  const bool parallel = op == Op::kEcbEncrypt || op == Op::kEcbDecrypt || op == Op::kCbcDecrypt || op == Op::kCfbDecrypt;
  const vrt_block_alg_t* g8 = vrtpGost89AlgG8ptr;
  if (parallel && vector_eight(g8)) {
    uint8_t x[64], y[64];
    for (; blocks >= 8; blocks -= 8, in += 64, out += 64) {
      switch (op) {
        case Op::kEcbEncrypt:
          g8->encrypt.gost89(in, out, ctx->keys, ctx->sbox);
          break;
        case Op::kEcbDecrypt:
          g8->decrypt.gost89(in, out, ctx->keys, ctx->sbox);
          break;
        case Op::kCbcDecrypt:
          // The chain comes from the input, which the output may overwrite.
          std::memcpy(x, reg, 8);
          std::memcpy(x + 8, in, 56);
          std::memcpy(reg, in + 56, 8);
          g8->decrypt.gost89(in, y, ctx->keys, ctx->sbox);
          for (int j = 0; j < 64; j += 8) vrt::store_le64(out + j, vrt::load_le64(y + j) ^ vrt::load_le64(x + j));
          break;
        default:  // CFB decryption
          std::memcpy(x, reg, 8);
          std::memcpy(x + 8, in, 56);
          std::memcpy(reg, in + 56, 8);
          std::memcpy(y, in, 64);
          g8->encrypt.gost89(x, x, ctx->keys, ctx->sbox);
          for (int j = 0; j < 64; j += 8) vrt::store_le64(out + j, vrt::load_le64(y + j) ^ vrt::load_le64(x + j));
          break;
      }
    }
    vrt::wipe_temporary(x, sizeof x);
    vrt::wipe_temporary(y, sizeof y);
  }
  if (blocks != 0) {
    uint32_t k[8];
    vrt::gost89::unmask_key(&ctx->keys[0], k);
    uint32_t r1 = vrt::load_le32(reg), r2 = vrt::load_le32(reg + 4);
    for (; blocks > 0; --blocks, in += 8) {
      const uint32_t x1 = vrt::load_le32(in), x2 = vrt::load_le32(in + 4);
      uint32_t n1, n2;
      switch (op) {
        case Op::kEcbEncrypt:
          n1 = x1, n2 = x2;
          vrt::gost89::encrypt_words<true>(t, k, n1, n2);
          break;
        case Op::kEcbDecrypt:
          n1 = x1, n2 = x2;
          vrt::gost89::decrypt_words<true>(t, k, n1, n2);
          break;
        case Op::kCbcEncrypt:
          n1 = x1 ^ r1, n2 = x2 ^ r2;
          vrt::gost89::encrypt_words<true>(t, k, n1, n2);
          r1 = n1, r2 = n2;
          break;
        case Op::kCbcDecrypt:
          n1 = x1, n2 = x2;
          vrt::gost89::decrypt_words<true>(t, k, n1, n2);
          n1 ^= r1, n2 ^= r2;
          r1 = x1, r2 = x2;
          break;
        case Op::kCfbEncrypt:
          n1 = r1, n2 = r2;
          vrt::gost89::encrypt_words<true>(t, k, n1, n2);
          n1 ^= x1, n2 ^= x2;
          r1 = n1, r2 = n2;
          break;
        case Op::kCfbDecrypt:
          n1 = r1, n2 = r2;
          vrt::gost89::encrypt_words<true>(t, k, n1, n2);
          n1 ^= x1, n2 ^= x2;
          r1 = x1, r2 = x2;
          break;
        default:  // MAC
          r1 ^= x1, r2 ^= x2;
          vrt::gost89::mac_words<true>(t, k, r1, r2);
          continue;
      }
      vrt::store_le32(out, n1);
      vrt::store_le32(out + 4, n2);
      out += 8;
    }
    vrt::store_le32(reg, r1);
    vrt::store_le32(reg + 4, r2);
    vrt::wipe_temporary(k, sizeof k);
  }
  const uint64_t done = static_cast<uint64_t>(in - d.in);
  if (op == Op::kMac) {
    std::memcpy(ctx->out_block, reg, 8);
    if (d.out != nullptr) std::memcpy(d.out, reg, 8);
  } else {
    d.out = out;
  }
  d.in = in;
  d.len -= done;
  d.status |= VRT_VEC_ACTIVE;
  if (d.len == 0) {
    d.status |= VRT_VEC_FINISHED;
    ctx->finished |= 1u;
  }
}

// Every lane of the record at a block boundary with whole blocks to go: the
// whole blocks they all have run without the step loop's bookkeeping,
// gathered from and scattered to the caller's buffers. The result is the
// same; the step loop takes what is left.
void lanes_bulk(Gost89Ctx* ctx, Op op) {
  const vrt_block_alg_t* a = ctx->alg;
  const uint32_t lanes = record_lanes(ctx);
  if (ctx->vec_count != lanes || ctx->skipped || (ctx->flags & VRT_GOST89_FLAG_REVERSED)) return;
  uint64_t blocks = UINT64_MAX;
  for (uint32_t i = 0; i < lanes; ++i) {
    if (ctx->lane_fill[i] != 0) return;
    const uint64_t b = ctx->vec[i].len / 8;
    if (b < blocks) blocks = b;
  }
  if (blocks == 0 || blocks == UINT64_MAX) return;

  const gost89_key_t* k = ctx->keys;
  const gost89_sbox_t* s = ctx->sbox;
  uint8_t* reg = ctx->reg;
  uint8_t x[64], t[64];
  const size_t bytes = 8 * lanes;
  for (uint64_t step = 0; step < blocks; ++step) {
    for (uint32_t i = 0; i < lanes; ++i) std::memcpy(x + 8 * i, ctx->vec[i].in + 8 * step, 8);
    switch (op) {
      case Op::kEcbEncrypt:
        a->encrypt.gost89(x, t, k, s);
        break;
      case Op::kEcbDecrypt:
        a->decrypt.gost89(x, t, k, s);
        break;
      case Op::kCbcEncrypt:
        a->xor_block(x, reg, x);
        a->encrypt.gost89(x, reg, k, s);
        std::memcpy(t, reg, bytes);
        break;
      case Op::kCbcDecrypt:
        a->decrypt.gost89(x, t, k, s);
        a->xor_block(t, reg, t);
        std::memcpy(reg, x, bytes);
        break;
      case Op::kCfbEncrypt:
        a->encrypt.gost89(reg, t, k, s);
        a->xor_block(x, t, reg);
        std::memcpy(t, reg, bytes);
        break;
      case Op::kCfbDecrypt:
        a->encrypt.gost89(reg, t, k, s);
        a->xor_block(x, t, t);
        std::memcpy(reg, x, bytes);
        break;
      case Op::kCtr:
        for (uint32_t i = 0; i < lanes; ++i) counter_step(reg + 8 * i);
        a->encrypt.gost89(reg, t, k, s);
        a->xor_block(x, t, t);
        break;
      case Op::kMac:
        a->mac_block.gost89(x, reg, k, s);
        break;
    }
    if (op != Op::kMac)
      for (uint32_t i = 0; i < lanes; ++i) std::memcpy(ctx->vec[i].out + 8 * step, t + 8 * i, 8);
  }
  vrt_memset_s(x, sizeof x, 0, sizeof x);
  vrt_memset_s(t, sizeof t, 0, sizeof t);
  if (op == Op::kMac) std::memcpy(ctx->out_block, reg, bytes);
  for (uint32_t i = 0; i < lanes; ++i) {
    Gost89Vec& d = ctx->vec[i];
    d.in += 8 * blocks;
    if (op != Op::kMac)
      d.out += 8 * blocks;
    else if (d.out != nullptr)
      std::memcpy(d.out, reg + 8 * i, 8);
    d.len -= 8 * blocks;
    d.status |= VRT_VEC_ACTIVE;
    if (d.len == 0) {
      d.status |= VRT_VEC_FINISHED;
      ctx->finished |= 1u << i;
    }
  }
}

// The whole-block paths, then the step loop for what they leave.
uint32_t run_mode(Gost89Ctx* ctx, Op op, bool keep) {
  const uint32_t empty_at_start = ctx->finished;
  if (op == Op::kCtr) counter_bulk(ctx);
  lane_bulk(ctx, op);
  lanes_bulk(ctx, op);
  const uint32_t all = (1u << ctx->vec_count) - 1;
  if (((ctx->finished | ctx->skipped) & all) == all) return VRT_SUCCESS;
  // A lane that ran out in the whole-block pass ends the call, as a lane
  // that runs out in the step loop does.
  if (ctx->finished & ~empty_at_start) return VRT_ERROR_NO_DATA;
  return run_steps(ctx, op, keep);
}

}  // namespace

uint32_t vrt::gost89::request(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count, Request what) {
  uint32_t st = scan(ctx, vecs, count, what == Request::kMac);
  if (st != VRT_SUCCESS) return st;
  st = load_keys(ctx);
  if (st == VRT_SUCCESS) {
    const bool enc = what == Request::kEncrypt;
    const uint32_t mode = ctx->mode;
    const bool whole_blocks = mode == VRT_GOST89_MODE_ECB || mode == VRT_GOST89_MODE_CBC;
    if (what == Request::kMac) {
      st = mode == VRT_GOST89_MODE_MAC ? run_mode(ctx, Op::kMac, true) : VRT_ERROR_UNSUPPORTED;
    } else if (whole_blocks && ctx->partial != 0) {
      st = VRT_ERROR_LENGTH;  // before any step: nothing written
    } else if (mode == VRT_GOST89_MODE_ECB) {
      st = run_mode(ctx, enc ? Op::kEcbEncrypt : Op::kEcbDecrypt, false);
    } else if (mode == VRT_GOST89_MODE_CBC) {
      st = run_mode(ctx, enc ? Op::kCbcEncrypt : Op::kCbcDecrypt, false);
    } else if (mode == VRT_GOST89_MODE_CFB) {
      st = run_mode(ctx, enc ? Op::kCfbEncrypt : Op::kCfbDecrypt, true);
    } else if (mode == VRT_GOST89_MODE_CTR) {
      counter_start(ctx);
      st = run_mode(ctx, Op::kCtr, true);
    } else {
      st = VRT_ERROR_UNSUPPORTED;
    }
    run_hook(ctx->alg->hook_after_work, ctx);
  }
  // Lanes with different keys return here too: the records are wiped first.
  wipe_keys(ctx);
  run_hook(ctx->alg->hook_end, ctx);
  return st;
}

extern "C" {

VRT_API uint32_t vrtpGost89Encrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count) {
  return request(ctx, vecs, count, Request::kEncrypt);
}
VRT_API uint32_t vrtpGost89Decrypt(Gost89Ctx* ctx, Gost89Vec* vecs, uint64_t count) {
  return request(ctx, vecs, count, Request::kDecrypt);
}
VRT_API uint32_t vrtpGost89EncryptSimple(Gost89Ctx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                         uint64_t len) {
  if (key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost89Vec d{len, in, out, key, nullptr, 0};
  return request(ctx, &d, 1, Request::kEncrypt);
}
VRT_API uint32_t vrtpGost89DecryptSimple(Gost89Ctx* ctx, const genkey_t* key, const uint8_t* in, uint8_t* out,
                                         uint64_t len) {
  if (key == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost89Vec d{len, in, out, key, nullptr, 0};
  return request(ctx, &d, 1, Request::kDecrypt);
}
VRT_FORWARD(Gost89Encrypt);
VRT_FORWARD(Gost89Decrypt);
VRT_FORWARD(Gost89EncryptSimple);
VRT_FORWARD(Gost89DecryptSimple);
}  // extern "C"
