// Byte strings: a length and an address.
#include <cstdlib>
#include <cstring>

#include "frame/ct.h"
#include "vrt.h"

extern "C" {

VRT_API void __binstr_init(binstr_t* b, void* data, uint64_t length) {
  if (b == nullptr) return;
  b->data = static_cast<uint8_t*>(data);
  b->length = length;
}

VRT_API uint32_t binstr_alloc(binstr_t* b, uint64_t length) {
  if (b == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  // A zero-length string still gets a block of its own, so that an allocated
  // string is never mistaken for an empty record.
  void* p = std::malloc(length != 0 ? length : 1);
  if (p == nullptr) return VRT_ERROR_NO_MEMORY;
  b->data = static_cast<uint8_t*>(p);
  b->length = length;
  return VRT_SUCCESS;
}

VRT_API uint32_t binstr_realloc(binstr_t* b, uint64_t length) {
  if (b == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  void* p = std::realloc(b->data, length != 0 ? length : 1);
  if (p == nullptr) return VRT_ERROR_NO_MEMORY;
  b->data = static_cast<uint8_t*>(p);
  b->length = length;
  return VRT_SUCCESS;
}

VRT_API void binstr_free(binstr_t* b) {
  if (b == nullptr || b->data == nullptr) return;
  std::free(b->data);
  b->data = nullptr;
  b->length = 0;
}

VRT_API uint32_t binstr_dup(binstr_t* dst, const binstr_t* src) {
  if (dst == nullptr || src == nullptr || (src->data == nullptr && src->length != 0))
    return VRT_ERROR_INVALID_ARGUMENT;
  uint32_t st = binstr_alloc(dst, src->length);
  if (st != VRT_SUCCESS) return st;
  if (src->length != 0) std::memcpy(dst->data, src->data, src->length);
  return VRT_SUCCESS;
}

VRT_API uint32_t binstr_available(const binstr_t* b, uint64_t offset, uint64_t count) {
  if (b == nullptr) return 0;
  uint64_t end;
  if (__builtin_add_overflow(offset, count, &end)) return 0;
  return end <= b->length ? 1 : 0;
}

VRT_API uint32_t binstr_equals(const binstr_t* a, const binstr_t* b) {
  if (a == nullptr || b == nullptr) return 0;
  if (a->length != b->length) return 0;
  if (a->length == 0) return 1;
  if (a->data == nullptr || b->data == nullptr) return a->data == b->data ? 1 : 0;
  return vrt::ct::memdiff(a->data, b->data, a->length) == 0 ? 1 : 0;
}

VRT_API uint32_t binstr_contains(const binstr_t* a, const binstr_t* b) {
  if (a == nullptr || b == nullptr) return 1;
  const auto a_start = reinterpret_cast<uintptr_t>(a->data);
  const auto b_start = reinterpret_cast<uintptr_t>(b->data);
  if (b_start < a_start) return 1;
  return (b_start - a_start) + b->length > a->length ? 1 : 0;
}

VRT_API uint32_t binstr_copy(binstr_t* b, const void* src, uint64_t count) {
  if (b == nullptr || b->data == nullptr || src == nullptr) return VRT_ERROR_INVALID_ARGUMENT;
  if (count != b->length) return VRT_ERROR_LENGTH;
  std::memmove(b->data, src, count);
  return VRT_SUCCESS;
}

}  // extern "C"
