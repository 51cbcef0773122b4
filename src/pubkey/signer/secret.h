// Short-lived plain copies of secret keys and the wiping of them.
//
// A secret scalar is unmasked from its genkey_t straight into the words of
// an Int<N> on the stack (no byte buffer in between, so no second copy is
// left in a callee's frame) and overwritten when its scope ends, whichever
// way the operation leaves.
#pragma once

#include <cstddef>
#include <cstdint>

#include "pubkey/math/int.h"
#include "vrt.h"

namespace vrt::signer {

// Overwrites n bytes with random bytes from the wipe generator, or with
// zeros when that generator cannot serve (the library not yet initialised):
// the secret is gone either way.
inline void wipe(void* p, size_t n) {
  if (n == 0) return;
  if (vrt_memreset_s(p, static_cast<int64_t>(n)) != VRT_SUCCESS)
    vrt_memset_s(p, static_cast<int64_t>(n), 0, n);
}

// Wipes an object when the scope ends.
template <typename T>
class WipeOnExit {
 public:
  explicit WipeOnExit(T& v) : v_(v) {}
  ~WipeOnExit() { wipe(&v_, sizeof v_); }
  WipeOnExit(const WipeOnExit&) = delete;
  WipeOnExit& operator=(const WipeOnExit&) = delete;

 private:
  T& v_;
};

// The plain value of a masked key of N/8 bytes, read as a little-endian
// number; wiped on destruction.
template <int N>
class UnmaskedKey {
 public:
  explicit UnmaskedKey(const genkey_t* key) {
    genkey_t view{};
    __binstr_init(&view.key, value.words, sizeof value.words);
    genkey_unmask_to(key, &view);
  }
  ~UnmaskedKey() { wipe(value.words, sizeof value.words); }
  UnmaskedKey(const UnmaskedKey&) = delete;
  UnmaskedKey& operator=(const UnmaskedKey&) = delete;

  math::Int<N> value;
};

}  // namespace vrt::signer
