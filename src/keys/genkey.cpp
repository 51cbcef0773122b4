// Masked key records: the key masked word by word with a random mask that
// lives 4096 bytes of random filler away from it in the same allocation.
#include <cstdlib>
#include <cstring>

#include "frame/bytes.h"
#include "vrt.h"

namespace {

// Masking works on whole 32-bit words; other lengths are kept plainly.
bool maskable(uint64_t length) { return length != 0 && length % 4 == 0; }

// The operation a kind stands for: XOR wins over addition.
enum class Op { kCopy, kXor, kAdd, kSub };

Op mask_op(uint32_t kind, uint64_t length, bool unmask) {
  if (!maskable(length)) return Op::kCopy;
  if (kind & GOST89_KEY_XOR) return Op::kXor;
  if (kind & GOST89_KEY_ADD) return unmask ? Op::kSub : Op::kAdd;
  return Op::kCopy;
}

// dst = src (op) mask over length bytes. The words are loaded before they
// are stored, so dst may equal src.
void apply(uint8_t* dst, const uint8_t* src, const uint8_t* mask, uint64_t length, Op op) {
  if (op == Op::kCopy) {
    if (dst != src) std::memmove(dst, src, length);
    return;
  }
  for (uint64_t i = 0; i < length; i += 4) {
    uint32_t k = vrt::load_le32(src + i), m = vrt::load_le32(mask + i);
    uint32_t r = op == Op::kXor ? k ^ m : op == Op::kAdd ? k + m : k - m;
    vrt::store_le32(dst + i, r);
  }
}

// dst's key bytes = src's key bytes masked (or unmasked) under src's mask and
// kind; a record without a mask is copied as it is.
void transform(const genkey_t* src, genkey_t* dst, bool unmask) {
  if (src == nullptr || dst == nullptr || src->key.data == nullptr || dst->key.data == nullptr) return;
  Op op = mask_op(src->kind, src->key.length, unmask);
  if (src->mask.data == nullptr) op = Op::kCopy;
  apply(dst->key.data, src->key.data, src->mask.data, src->key.length, op);
}

}  // namespace

extern "C" {

VRT_API uint32_t genkey_alloc(genkey_t* g, uint64_t length, uint32_t kind) {
  if (g == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  std::memset(g, 0, sizeof *g);
  uint64_t total = length;
  if (kind != 0) {
    if (length > (UINT64_MAX - VRT_GENKEY_FILLER_SIZE) / 2) return VRT_ERROR_INVALID_ARGUMENT;
    total = 2 * length + VRT_GENKEY_FILLER_SIZE;
  }
  auto* base = static_cast<uint8_t*>(std::calloc(total != 0 ? total : 1, 1));
  if (base == nullptr) return VRT_ERROR_NO_MEMORY;
  __binstr_init(&g->key, base, length);
  if (kind != 0) {
    __binstr_init(&g->filler, base + length, VRT_GENKEY_FILLER_SIZE);
    __binstr_init(&g->mask, base + length + VRT_GENKEY_FILLER_SIZE, length);
  }
  g->kind = kind;
  return VRT_SUCCESS;
}

VRT_API uint32_t genkey_load(genkey_t* g, const binstr_t* src, const binstr_t* mask_src) {
  if (g == nullptr || g->key.data == nullptr || src == nullptr || src->data == nullptr)
    return VRT_ERROR_INVALID_ARGUMENT;
  // The record decides how many bytes are copied; a source that declares
  // fewer would be read past its end.
  const bool with_mask = mask_src != nullptr && mask_src->data != nullptr && g->mask.data != nullptr;
  if (src->length < g->key.length || (with_mask && mask_src->length < g->mask.length))
    return VRT_ERROR_LENGTH;
  std::memmove(g->key.data, src->data, g->key.length);
  if (with_mask) std::memmove(g->mask.data, mask_src->data, g->mask.length);
  if (g->filler.data != nullptr) vrt_memreset_s(g->filler.data, static_cast<int64_t>(g->filler.length));
  return VRT_SUCCESS;
}

VRT_API void genkey_mask_to(const genkey_t* src, genkey_t* dst) { transform(src, dst, false); }

VRT_API void genkey_mask(genkey_t* g) { genkey_mask_to(g, g); }

VRT_API void genkey_unmask_to(const genkey_t* src, genkey_t* dst) { transform(src, dst, true); }

VRT_API void genkey_unmask(genkey_t* g) { genkey_unmask_to(g, g); }

VRT_API void genkey_remask(genkey_t* g, const binstr_t* delta) {
  if (g == nullptr || delta == nullptr || delta->data == nullptr || g->key.data == nullptr ||
      g->mask.data == nullptr || delta->length < g->key.length)
    return;
  Op op = mask_op(g->kind, g->key.length, false);
  if (op == Op::kCopy) return;
  // key' = key (op) delta and mask' = mask (op) delta keep key (unop) mask.
  apply(g->key.data, g->key.data, delta->data, g->key.length, op);
  apply(g->mask.data, g->mask.data, delta->data, g->mask.length, op);
}

VRT_API void genkey_wipe(genkey_t* g) {
  if (g == nullptr) return;
  if (g->key.data != nullptr) vrt_memreset_s(g->key.data, static_cast<int64_t>(g->key.length));
  if (g->mask.data != nullptr) vrt_memreset_s(g->mask.data, static_cast<int64_t>(g->mask.length));
}

VRT_API void genkey_free(genkey_t* g) {
  if (g == nullptr || g->key.data == nullptr) return;
  genkey_wipe(g);
  std::free(g->key.data);
  g->key.data = nullptr;
  g->filler.data = nullptr;
  g->mask.data = nullptr;
}

VRT_API uint32_t genkey_pair_alloc(genkey_pair_t* p, uint64_t secret_length, uint32_t kind,
                                   uint64_t public_length) {
  if (p == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  std::memset(p, 0, sizeof *p);
  uint32_t st = genkey_alloc(&p->secret, secret_length, kind);
  if (st == VRT_SUCCESS) st = binstr_alloc(&p->public_key, public_length);
  if (st != VRT_SUCCESS) genkey_pair_free(p);
  return st;
}

VRT_API void genkey_pair_free(genkey_pair_t* p) {
  if (p == nullptr) return;
  binstr_free(&p->public_key);
  genkey_free(&p->secret);
}

VRT_API void genkey_pair_wipe(genkey_pair_t* p) {
  if (p == nullptr) return;
  genkey_wipe(&p->secret);
  if (p->public_key.data != nullptr)
    vrt_memreset_s(p->public_key.data, static_cast<int64_t>(p->public_key.length));
}

VRT_API uint32_t genkey_pair_sec_load(genkey_pair_t* p, const binstr_t* src, const binstr_t* mask_src) {
  if (p == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  return genkey_load(&p->secret, src, mask_src);
}

}  // extern "C"
