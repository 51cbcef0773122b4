// The MAC modes of the cipher context: OMAC (the MAC of GOST R 34.13-2015)
// and OMAC-ACPKM, whose section keys come from the ACPKM-Master generator,
// with the MAC state blob and the one-message helpers.
//
// The CBC-MAC chain runs in reg; like the cipher modes the last 1..n bytes
// of the data so far wait in the tail for the final step, which pads them
// and folds in the subkey.
//
// OMAC-ACPKM. The ACPKM-Master generator is CTR-ACPKM under the MAC key
// with section size T* (the frame), counter block ff..ff 00..00, over zero
// bytes; its output is read as key packets of 32 key bytes and n bytes of
// subkey material K1. Section i of the message (N bytes, N / n blocks) runs
// under the key of packet i, and the last block takes its subkey from the
// K1 of its own packet. The context holds no key between calls: each call
// takes the generator back to the current packet from the MAC key and the
// packet count, and keeps the generator's position between calls as the
// state blob of a CTR-ACPKM encryption stream (master_state) whose held
// back block is the current packet's K1.
#include <cstring>
#include <initializer_list>
#include <new>

#include "cipher15/internal.h"
#include "frame/bytes.h"
#include "frame/forward.h"
#include "frame/wipe.h"
#include "vrt.h"

namespace vrt::cipher15 {
namespace {

bool mac_mode(uint32_t mode) { return mode == VRT_GOST15_MODE_MAC || mode == VRT_GOST15_MODE_OMAC_ACPKM; }

// The sizes of OMAC-ACPKM: sections of whole blocks, and a generator frame
// of whole key packets.
bool omac_acpkm_ready(const Gost15Ctx* c) {
  const uint64_t n = c->block_size;
  return c->acpkm_section != 0 && c->acpkm_section % n == 0 && c->acpkm_frame != 0 &&
         c->acpkm_frame % (n + 32) == 0;
}

inline void xor_into(uint8_t* r, const uint8_t* x, size_t n) {
  store_le64(r, load_le64(r) ^ load_le64(x));
  if (n == 16) store_le64(r + 8, load_le64(r + 8) ^ load_le64(x + 8));
}

inline void encrypt(const Gost15Ctx* c, const void* in, void* out) {
  c->alg->encrypt.gost15(in, out, c->key_buf, c->sbox, c->round_keys);
}

void wipe(void* p, size_t size) { wipe_temporary(p, size); }

// ---- the ACPKM-Master generator of one call ----

// Lives in the register area (the MAC modes take no IV) for the length of
// one call, and is wiped before the call returns.
struct Master {
  alignas(16) uint8_t round_keys[kRoundKeysSize];  // schedule of key (Kuznyechik)
  uint8_t key[kKeySize];                           // the generator's key in its current section
  uint8_t k1[16];                                  // K1 of the current packet
  uint8_t counter[16];                             // the next counter block
  uint64_t next_block;                             // index of the next generator block
  uint64_t key_section;                            // generator section the key belongs to
};
static_assert(sizeof(Master) <= ((kMaxRegister + 15) & ~size_t{15}), "fits the register area");

// Generator blocks per key packet: 3 for Kuznyechik, 5 for Magma.
uint64_t packet_blocks(uint64_t n) { return (n + 32) / n; }

uint64_t master_blob_size(uint64_t n) { return cipher_blob_size(n, n); }

// The counter block of the generator's first block: n/2 bytes ff, then 0.
void start_counter(uint8_t* ctr, uint64_t n) {
  std::memset(ctr, 0xff, n / 2);
  std::memset(ctr + n / 2, 0, n / 2);
}

// ctr += v as n-byte big-endian integers.
void add_counter(uint8_t* ctr, uint64_t n, uint64_t v) {
  unsigned carry = 0;
  for (uint64_t i = n; i-- > 0;) {
    const unsigned sum = ctr[i] + static_cast<unsigned>(v & 0xff) + carry;
    ctr[i] = static_cast<uint8_t>(sum);
    carry = sum >> 8;
    v >>= 8;
  }
}

// The index of the generator block whose counter is ctr (the inverse of
// add_counter from the start counter), when it fits 64 bits.
bool counter_index(const uint8_t* ctr, uint64_t n, uint64_t* index) {
  uint8_t start[16];
  start_counter(start, n);
  // ctr - start as an n-byte number; the top n - 8 bytes must come out zero.
  uint8_t diff[16];
  int borrow = 0;
  for (uint64_t i = n; i-- > 0;) {
    const int d = ctr[i] - start[i] - borrow;
    diff[i] = static_cast<uint8_t>(d);
    borrow = d < 0;
  }
  if (borrow != 0) return false;
  for (uint64_t i = 0; i + 8 < n; ++i)
    if (diff[i] != 0) return false;
  *index = load_be64(diff + n - 8);
  return true;
}

// The generator section of block j: the key changes before the first block
// of every section after the first.
uint64_t section_of(uint64_t j, uint64_t n, uint64_t frame) {
  return static_cast<uint64_t>(static_cast<unsigned __int128>(j) * n / frame);
}

// The generator's key-change counters once it has run j blocks, as a
// CTR-ACPKM context keeps them (sections done, bytes left in the section).
void position_after(uint64_t j, uint64_t n, uint64_t frame, uint64_t* sections, uint64_t* left) {
  if (j == 0) {
    *sections = 0;
    *left = frame;
    return;
  }
  const uint64_t per = frame / n;
  *sections = (j - 1) / per;
  *left = frame - ((j - 1) % per + 1) * n;
}

// The generator at its first block, keyed with the MAC key.
void master_start(Gost15Ctx* c, Master* g, const uint8_t* mac_key) {
  std::memcpy(g->key, mac_key, kKeySize);
  if (c->block_size == 16) kuznechik_arch_schedule_encrypt(g->round_keys, g->key);
  start_counter(g->counter, c->block_size);
  g->next_block = 0;
  g->key_section = 0;
}

// One generator block to out, with the key change before it when it opens
// a section.
void master_block(Gost15Ctx* c, Master* g, uint8_t* out) {
  const uint64_t n = c->block_size;
  const uint64_t s = section_of(g->next_block, n, c->acpkm_frame);
  for (; g->key_section < s; ++g->key_section) acpkm_convert(c, g->key, g->round_keys);
  c->alg->encrypt.gost15(g->counter, out, g->key, c->sbox, g->round_keys);
  CTR15(g->counter, n);
  ++g->next_block;
}

// Takes the next key packet (gost15_key_update): its key becomes the lane's
// key, with its schedule, and its K1 is kept.
void key_update(Gost15Ctx* c, Master* g) {
  const uint64_t n = c->block_size;
  for (uint64_t i = 0; i < kKeySize; i += n) master_block(c, g, c->key_buf + i);
  master_block(c, g, g->k1);
  gost15_key_shedule_encrypt(c, c->key_buf);
}

// A new section key when the current one has served its blocks
// (gost15_key_master_ACPKM_update).
inline void master_update(Gost15Ctx* c, Master* g) {
  if (c->omac_sections_left != 0) return;
  key_update(c, g);
  ++c->master_count;
  c->omac_sections_left = c->acpkm_section / c->block_size;
}

// Brings the generator back to the current packet at the start of a call
// (gost15_key_restore): from the MAC key in the key buffer it runs to the
// start of packet master_count and takes that packet again. The position
// comes from master_state, which must agree with the packet count; without
// it (after a MAC state restore) the count alone gives it.
uint32_t key_restore(Gost15Ctx* c, Master* g) {
  const uint64_t n = c->block_size, per_packet = packet_blocks(n);
  master_start(c, g, c->key_buf);
  const uint64_t count = c->master_count;
  if (count == 0) return VRT_SUCCESS;
  if (count > UINT64_MAX / per_packet) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t held = count * per_packet - 1;  // the block of the packet's K1
  if (c->master_state.data != nullptr && c->master_state.length == master_blob_size(n)) {
    const uint8_t* b = c->master_state.data;
    uint64_t index = 0, sections = 0, left = 0;
    position_after(held, n, c->acpkm_frame, &sections, &left);
    if (load_le32(b + 8) != VRT_GOST15_MODE_CTR_ACPKM || b[16] != n || b[17 + n] != n ||
        load_le64(b + 18 + n) != c->acpkm_frame || load_le64(b + 26 + n) != sections ||
        load_le64(b + 34 + n) != left || !counter_index(b + 42 + n, n, &index) || index != held)
      return VRT_ERROR_INVALID_ARGUMENT;
  }
  const uint64_t first = held + 1 - per_packet;
  const uint64_t s = section_of(first, n, c->acpkm_frame);
  for (; g->key_section < s; ++g->key_section) acpkm_convert(c, g->key, g->round_keys);
  add_counter(g->counter, n, first);
  g->next_block = first;
  key_update(c, g);
  return VRT_SUCCESS;
}

// Keeps the generator's position as a CTR-ACPKM stream blob whose held-back
// block is the current packet's K1, copies its counters into the context
// (unless the call failed before it took any data) and wipes the generator
// (gost15_key_master_ACPKM_final).
void master_final(Gost15Ctx* c, Master* g, bool keep) {
  const uint64_t n = c->block_size;
  if (keep && c->master_count != 0 && c->master_state.data != nullptr) {
    const uint64_t held = c->master_count * packet_blocks(n) - 1;
    uint64_t sections = 0, left = 0;
    position_after(held, n, c->acpkm_frame, &sections, &left);
    uint8_t ctr[16], zeros[16] = {};
    start_counter(ctr, n);
    add_counter(ctr, n, held);
    CipherBlob b{};
    b.mode = VRT_GOST15_MODE_CTR_ACPKM;
    b.flags = VRT_GOST15_FLAG_ENCRYPT_STREAM;
    b.tail_len = static_cast<uint8_t>(n);
    b.tail = zeros;
    b.m = static_cast<uint8_t>(n);
    b.section = c->acpkm_frame;
    b.sections = sections;
    b.left = left;
    b.reg = ctr;
    write_cipher_blob(c->master_state.data, n, b);
    c->master_section = sections;
    c->acpkm_left = left;
  }
  wipe(g, sizeof *g);
}

// The generator blob is allocated before any data is taken, so that a
// failing allocation consumes nothing.
uint32_t reserve_master_state(Gost15Ctx* c) {
  const uint64_t size = master_blob_size(c->block_size);
  if (c->master_state.data != nullptr && c->master_state.length == size) return VRT_SUCCESS;
  binstr_free(&c->master_state);
  if (binstr_alloc(&c->master_state, size) != VRT_SUCCESS) return VRT_ERROR_NO_MEMORY;
  std::memset(c->master_state.data, 0, size);
  return VRT_SUCCESS;
}

// ---- workers ----

// The chain over one lane's whole blocks but the last 1..n bytes.
// per_block runs before every block (the section change of OMAC-ACPKM);
// blocks_left tells how many blocks may follow without it.
template <class Before, class Run>
void mac_lane(Gost15Ctx* c, Gost15Vec& v, Before&& before, Run&& run_blocks) {
  const size_t n = c->block_size;
  uint8_t* r = c->reg;
  const uint64_t blocks = gost15_run_lane(
      c, v, false,
      [&](const uint8_t* x, uint8_t*) {
        before();
        xor_into(r, x, n);
        encrypt(c, r, r);
      },
      [&](const uint8_t* in, uint8_t*, uint64_t count) { run_blocks(in, count); });
  // The chain value is the only output a MAC request has before its final
  // step.
  if (v.out != nullptr && blocks != 0) std::memcpy(v.out, r, n);
}

uint32_t mac_worker(Gost15Ctx* c) {
  if (c == nullptr || c->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (c->mode != VRT_GOST15_MODE_MAC) return VRT_ERROR_UNSUPPORTED;
  const size_t n = c->block_size;
  gost15_key_shedule_encrypt(c, c->key_buf);
  uint8_t* r = c->reg;
  for (uint64_t i = 0; i < c->vec_count; ++i) {
    const uint32_t bit = 1u << i;
    if ((c->skipped | c->finished) & bit) continue;
    Gost15Vec& v = c->vec[i];
    mac_lane(
        c, v, [] {},
        [&](const uint8_t* in, uint64_t count) {
          for (; count > 0; --count, in += n) {
            xor_into(r, in, n);
            encrypt(c, r, r);
          }
        });
    v.status |= VRT_VEC_FINISHED;
    c->finished |= bit;
  }
  gost15_key_shedule_clean(c);
  return VRT_SUCCESS;
}

uint32_t omac_acpkm_worker(Gost15Ctx* c) {
  if (c == nullptr || c->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (c->mode != VRT_GOST15_MODE_OMAC_ACPKM) return VRT_ERROR_UNSUPPORTED;
  if (!omac_acpkm_ready(c)) return VRT_ERROR_BAD_PARAMETERS;
  const size_t n = c->block_size;
  Master* g = new (gost15_register_area(c)) Master;
  uint32_t st = key_restore(c, g);
  if (st == VRT_SUCCESS) st = reserve_master_state(c);
  uint8_t* r = c->reg;
  for (uint64_t i = 0; i < c->vec_count && st == VRT_SUCCESS; ++i) {
    const uint32_t bit = 1u << i;
    if ((c->skipped | c->finished) & bit) continue;
    Gost15Vec& v = c->vec[i];
    mac_lane(
        c, v,
        [&] {
          master_update(c, g);
          --c->omac_sections_left;
        },
        [&](const uint8_t* in, uint64_t count) {
          while (count > 0) {
            master_update(c, g);
            const uint64_t run = count < c->omac_sections_left ? count : c->omac_sections_left;
            for (uint64_t j = 0; j < run; ++j, in += n) {
              xor_into(r, in, n);
              encrypt(c, r, r);
            }
            c->omac_sections_left -= run;
            count -= run;
          }
        });
    v.status |= VRT_VEC_FINISHED;
    c->finished |= bit;
  }
  master_final(c, g, st == VRT_SUCCESS);
  gost15_key_shedule_clean(c);
  return st;
}

// The final step of both MAC modes on lane 0: the tail padded with 0x80
// and zeros unless it is a whole block, XORed into the chain with the
// subkey, encrypted; n bytes to the lane's output. K1 serves a whole last
// block, K2 a padded one (the empty message is the padded block 80 00 ..).
uint32_t mac_final(Gost15Ctx* c) {
  if (c == nullptr || c->alg == nullptr || c->vec == nullptr || c->vec_count == 0 || c->vec[0].out == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (!mac_mode(c->mode)) return VRT_ERROR_UNSUPPORTED;
  const bool acpkm = c->mode == VRT_GOST15_MODE_OMAC_ACPKM;
  if (acpkm && !omac_acpkm_ready(c)) return VRT_ERROR_BAD_PARAMETERS;
  const size_t n = c->block_size;
  const size_t held = c->tail_len;
  // The subkey step takes K2 for any length that is not whole blocks.
  const uint64_t sub_len = held == n ? n : 1;
  uint8_t* x = c->in_block;
  uint8_t* sub = c->reg_saved;
  uint32_t st = VRT_SUCCESS;
  Master* g = nullptr;
  if (acpkm) {
    // The last block may open a section of its own.
    g = new (gost15_register_area(c)) Master;
    st = key_restore(c, g);
    if (st == VRT_SUCCESS) {
      master_update(c, g);
      std::memcpy(sub, g->k1, n);  // gost15_key_final
      c->alg->mac_block.gost15(sub, sub, sub_len, 1);
    }
  } else {
    gost15_key_shedule_encrypt(c, c->key_buf);
    std::memset(sub, 0, n);
    encrypt(c, sub, sub);  // R = E(0)
    c->alg->mac_block.gost15(sub, sub, sub_len, 0);
  }
  if (st == VRT_SUCCESS) {
    std::memcpy(x, c->tail, held);
    std::memset(x + held, 0, n - held);
    if (held < n) x[held] = 0x80;
    uint8_t* y = c->out_block;
    std::memcpy(y, x, n);
    xor_into(y, c->reg, n);
    xor_into(y, sub, n);
    encrypt(c, y, y);
    std::memcpy(c->vec[0].out, y, n);
  }
  if (g != nullptr) wipe(g, sizeof *g);
  gost15_key_shedule_clean(c);
  vrt_memset_s(c->out_block, static_cast<int64_t>(n), 0, n);
  vrt_memset_s(sub, static_cast<int64_t>(n), 0, n);
  if (st != VRT_SUCCESS) return st;  // the message stays as it was
  // The context is ready for the next message.
  for (uint8_t* b : {c->in_block, c->reg, c->spare}) vrt_memset_s(b, static_cast<int64_t>(n), 0, n);
  vrt_memset_s(c->tail_buf, sizeof c->tail_buf, 0, sizeof c->tail_buf);
  c->tail_len = 0;
  c->lane_fill[0] = 0;
  if (acpkm) {
    c->master_count = 0;
    c->master_section = 0;
    c->acpkm_left = 0;
    c->omac_sections_left = 0;
    binstr_free(&c->master_state);
  }
  return VRT_SUCCESS;
}

uint32_t mac_request(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count) {
  if (ctx == nullptr || ctx->alg == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  // Checked before the request check, which would take an IV into a
  // cipher mode's register.
  if (!mac_mode(ctx->mode)) return VRT_ERROR_UNSUPPORTED;
  if (ctx->mode == VRT_GOST15_MODE_OMAC_ACPKM && !omac_acpkm_ready(ctx)) return VRT_ERROR_BAD_PARAMETERS;
  const uint32_t st = check_request(ctx, vec, count, Direction::kMac);
  if (st != VRT_SUCCESS) return st;
  return run_frame(ctx, ctx->mode == VRT_GOST15_MODE_MAC ? mac_worker : omac_acpkm_worker, Direction::kMac);
}

constexpr uint64_t mac_blob_size(uint64_t n) { return 2 * n + 53; }

}  // namespace
}  // namespace vrt::cipher15

extern "C" {

VRT_API uint32_t gost15_mac(Gost15Ctx* ctx) { return vrt::cipher15::mac_worker(ctx); }
VRT_API uint32_t gost15_omac_acpkm(Gost15Ctx* ctx) { return vrt::cipher15::omac_acpkm_worker(ctx); }
VRT_API uint32_t gost15_mac_final(Gost15Ctx* ctx) { return vrt::cipher15::mac_final(ctx); }

VRT_API uint32_t vrtpGost15MAC(Gost15Ctx* ctx, Gost15Vec* vec, uint64_t count) {
  return vrt::cipher15::mac_request(ctx, vec, count);
}

VRT_API uint32_t vrtpGost15MACSimple(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* data, uint64_t len) {
  if (ctx == nullptr || key == nullptr || key->key.data == nullptr || data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost15Vec v{};
  v.len = len;
  v.in = data;
  v.key = key;
  return vrtpGost15MAC(ctx, &v, 1);
}

VRT_API uint32_t vrtpGost15MACUpdate(Gost15Ctx* ctx, const genkey_t* key, const uint8_t* data, uint64_t len) {
  return vrtpGost15MACSimple(ctx, key, data, len);
}

VRT_API uint32_t vrtpGost15MACGetValue(Gost15Ctx* ctx, const genkey_t* key, uint8_t* mac) {
  using namespace vrt::cipher15;
  if (ctx == nullptr || ctx->alg == nullptr || key == nullptr || key->key.data == nullptr || mac == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  if (!mac_mode(ctx->mode)) return VRT_ERROR_INVALID_ARGUMENT;
  if (ctx->mode == VRT_GOST15_MODE_OMAC_ACPKM && !omac_acpkm_ready(ctx)) return VRT_ERROR_BAD_PARAMETERS;
  Gost15Vec v{};
  v.out = mac;
  v.key = key;
  const uint32_t st = attach_single(ctx, &v);
  if (st != VRT_SUCCESS) return st;
  return run_frame(ctx, gost15_mac_final, Direction::kMac);
}

VRT_API uint32_t vrtpGost15MACSaveState(Gost15Ctx* ctx, uint8_t* blob, uint64_t* size) {
  using namespace vrt::cipher15;
  if (ctx == nullptr || ctx->alg == nullptr || size == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (!mac_mode(ctx->mode)) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (blob == nullptr) {
    *size = mac_blob_size(n);
    return VRT_SUCCESS;
  }
  if (*size != mac_blob_size(n)) return VRT_ERROR_INVALID_ARGUMENT;
  vrt::store_le32(blob, ctx->mode);
  blob[4] = ctx->tail_len;
  std::memcpy(blob + 5, ctx->tail, n);
  std::memcpy(blob + 5 + n, ctx->reg, n);
  uint8_t* p = blob + 5 + 2 * n;
  for (uint64_t v : {ctx->acpkm_section, ctx->acpkm_frame, ctx->master_section, ctx->acpkm_left, ctx->master_count,
                     ctx->omac_sections_left}) {
    vrt::store_le64(p, v);
    p += 8;
  }
  return VRT_SUCCESS;
}

VRT_API uint32_t vrtpGost15MACRestoreState(Gost15Ctx* ctx, const uint8_t* blob, uint64_t size) {
  using namespace vrt::cipher15;
  if (ctx == nullptr || blob == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  const uint64_t n = ctx->block_size;
  if (n != 8 && n != 16) return VRT_ERROR_INVALID_ARGUMENT;
  if (size != mac_blob_size(n)) return VRT_ERROR_LENGTH;

  // Checked before the context is touched: a state some message can be in.
  const uint32_t mode = vrt::load_le32(blob);
  const uint8_t tail_len = blob[4];
  const uint8_t* tail = blob + 5;
  const uint8_t* chain = blob + 5 + n;
  const uint8_t* p = blob + 5 + 2 * n;
  const uint64_t section = vrt::load_le64(p), frame = vrt::load_le64(p + 8), master_section = vrt::load_le64(p + 16),
                 left = vrt::load_le64(p + 24), count = vrt::load_le64(p + 32), sections_left = vrt::load_le64(p + 40);
  if (!mac_mode(mode) || tail_len > n) return VRT_ERROR_INVALID_ARGUMENT;
  // Before the first byte there is no chain and no packet.
  if (tail_len == 0) {
    for (uint64_t i = 0; i < n; ++i)
      if (chain[i] != 0) return VRT_ERROR_INVALID_ARGUMENT;
    if (count != 0) return VRT_ERROR_INVALID_ARGUMENT;
  }
  if (mode == VRT_GOST15_MODE_MAC) {
    if (section != 0 || frame != 0 || master_section != 0 || left != 0 || count != 0 || sections_left != 0)
      return VRT_ERROR_INVALID_ARGUMENT;
  } else {
    if (section == 0 || section % n != 0 || frame == 0 || frame % (n + 32) != 0) return VRT_ERROR_INVALID_ARGUMENT;
    if (count == 0) {
      if (master_section != 0 || left != 0 || sections_left != 0) return VRT_ERROR_INVALID_ARGUMENT;
      // Every block takes its key from a packet: without one no block has
      // run, so there is no chain value either.
      for (uint64_t i = 0; i < n; ++i)
        if (chain[i] != 0) return VRT_ERROR_INVALID_ARGUMENT;
    } else {
      const uint64_t per_packet = packet_blocks(n);
      if (count > UINT64_MAX / per_packet || sections_left >= section / n) return VRT_ERROR_INVALID_ARGUMENT;
      uint64_t want_sections = 0, want_left = 0;
      position_after(count * per_packet - 1, n, frame, &want_sections, &want_left);
      if (master_section != want_sections || left != want_left) return VRT_ERROR_INVALID_ARGUMENT;
      // The next call brings the generator back through every key change
      // it made: a blob may ask for a bounded number of them.
      if (want_sections > kMaxRestoredSections) return VRT_ERROR_INVALID_ARGUMENT;
    }
  }
  if (n == 8 && !vrtpGost89SboxInitialized(vrtpGost89SboxPointer(VRT_GOST89_SBOX_TC26_Z)))
    return VRT_ERROR_INVALID_ARGUMENT;

  uint32_t st = vrtpGost15CtxInit(ctx, 1);
  if (st == VRT_SUCCESS) st = vrtpGost15SetMode(ctx, mode, 0);
  if (st == VRT_SUCCESS && mode == VRT_GOST15_MODE_OMAC_ACPKM) st = vrtpGost15SetParametersACPKM(ctx, section, frame);
  if (st != VRT_SUCCESS) return st;
  std::memcpy(ctx->tail, tail, n);
  ctx->tail_len = tail_len;
  std::memcpy(ctx->in_block, tail, tail_len);
  ctx->lane_fill[0] = tail_len;
  std::memcpy(ctx->reg, chain, n);
  // The generator blob is rebuilt from these by the next call.
  ctx->master_section = master_section;
  ctx->acpkm_left = left;
  ctx->master_count = count;
  ctx->omac_sections_left = sections_left;
  return VRT_SUCCESS;
}

VRT_FORWARD(Gost15MAC);
VRT_FORWARD(Gost15MACSimple);
VRT_FORWARD(Gost15MACUpdate);
VRT_FORWARD(Gost15MACGetValue);
VRT_FORWARD(Gost15MACSaveState);
VRT_FORWARD(Gost15MACRestoreState);

VRT_API uint32_t gost15_mac_entire_example(const binstr_t* message, const genkey_t* key, uint32_t mode, uint8_t* mac,
                                           uint32_t block_size, uint64_t section_size, uint64_t frame_size) {
  if (message == nullptr || (message->data == nullptr && message->length != 0)) return VRT_ERROR_INVALID_ARGUMENT;
  Gost15Ctx* ctx = nullptr;
  uint32_t st = vrtpGost15CtxAllocInitialized(&ctx, 1, block_size);
  if (st == VRT_SUCCESS) st = vrtpGost15SetMode(ctx, mode, 0);
  if (st == VRT_SUCCESS && mode == VRT_GOST15_MODE_OMAC_ACPKM)
    st = vrtpGost15SetParametersACPKM(ctx, section_size, frame_size);
  // An empty message has its MAC too: the final step alone.
  if (st == VRT_SUCCESS && message->length != 0) st = vrtpGost15MACSimple(ctx, key, message->data, message->length);
  if (st == VRT_SUCCESS) st = vrtpGost15MACGetValue(ctx, key, mac);
  vrtpGost15CtxFree(ctx);
  return st;
}

VRT_API uint32_t gost15_mac_stream_final_example(const genkey_t* key, uint32_t block_size, uint8_t* mac,
                                                 const binstr_t* state) {
  if (state == nullptr || state->data == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  Gost15Ctx* ctx = nullptr;
  uint32_t st = vrtpGost15CtxAllocInitialized(&ctx, 1, block_size);
  if (st == VRT_SUCCESS) st = vrtpGost15MACRestoreState(ctx, state->data, state->length);
  if (st == VRT_SUCCESS) st = vrtpGost15MACGetValue(ctx, key, mac);
  vrtpGost15CtxFree(ctx);
  return st;
}

}  // extern "C"
