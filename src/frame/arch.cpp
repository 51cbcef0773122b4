// The processor-dispatch table and its generic word-array primitives.
//
// add/sub walk the numbers as 32-bit words, the modular operations, shifts,
// comparisons and XORs as 64-bit words; both views are of the same
// little-endian bytes and give the same results. Every primitive reads its
// operands fully before it writes the result, so the result may alias
// either operand.
#include <atomic>

#include "frame/bytes.h"
#include "frame/internal.h"
#include "vrt.h"

namespace {

// Set once the processor probe has chosen the table's routines (never
// cleared: the table outlives vrtCleanup).
std::atomic<bool> g_dispatch_set_up{false};

using vrt::load_le32;
using vrt::load_le64;
using vrt::store_le32;
using vrt::store_le64;

template <int Words32>
uint32_t add_words(void* r, const void* a, const void* b, uint32_t carry) {
  auto* rp = static_cast<uint8_t*>(r);
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  uint64_t c = carry;
  for (int i = 0; i < Words32; ++i) {
    c += uint64_t{load_le32(ap + 4 * i)} + load_le32(bp + 4 * i);
    store_le32(rp + 4 * i, static_cast<uint32_t>(c));
    c >>= 32;
  }
  return static_cast<uint32_t>(c);
}

template <int Words32>
uint32_t sub_words(void* r, const void* a, const void* b, uint32_t borrow) {
  auto* rp = static_cast<uint8_t*>(r);
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  uint64_t br = borrow;
  for (int i = 0; i < Words32; ++i) {
    uint64_t d = uint64_t{load_le32(ap + 4 * i)} - load_le32(bp + 4 * i) - br;
    store_le32(rp + 4 * i, static_cast<uint32_t>(d));
    br = (d >> 63) & 1;
  }
  return static_cast<uint32_t>(br);
}

template <int Words64>
uint32_t cmp_words(const void* a, const void* b) {
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  for (int i = Words64 - 1; i >= 0; --i) {
    uint64_t x = load_le64(ap + 8 * i), y = load_le64(bp + 8 * i);
    if (x < y) return 0;
    if (x > y) return 4;
  }
  return 2;
}

// Shift of a 256-bit number by one bit; returns the bit shifted out. All
// four words are in registers before the first store (r may alias a), and
// no stack copy is made: a reload of a wider copy would stall on the
// stores that made it.
uint32_t shl256(void* r, const void* a, uint32_t bit_in) {
  const auto* ap = static_cast<const uint8_t*>(a);
  auto* rp = static_cast<uint8_t*>(r);
  const uint64_t w0 = load_le64(ap), w1 = load_le64(ap + 8), w2 = load_le64(ap + 16), w3 = load_le64(ap + 24);
  store_le64(rp, (w0 << 1) | (bit_in ? 1u : 0u));
  store_le64(rp + 8, (w1 << 1) | (w0 >> 63));
  store_le64(rp + 16, (w2 << 1) | (w1 >> 63));
  store_le64(rp + 24, (w3 << 1) | (w2 >> 63));
  return static_cast<uint32_t>(w3 >> 63);
}

uint32_t shr256(void* r, const void* a, uint32_t bit_in) {
  const auto* ap = static_cast<const uint8_t*>(a);
  auto* rp = static_cast<uint8_t*>(r);
  const uint64_t w0 = load_le64(ap), w1 = load_le64(ap + 8), w2 = load_le64(ap + 16), w3 = load_le64(ap + 24);
  store_le64(rp, (w0 >> 1) | (w1 << 63));
  store_le64(rp + 8, (w1 >> 1) | (w2 << 63));
  store_le64(rp + 16, (w2 >> 1) | (w3 << 63));
  store_le64(rp + 24, (w3 >> 1) | (bit_in ? uint64_t{1} << 63 : 0));
  return static_cast<uint32_t>(w0 & 1);
}

template <int Words64>
void* xor_words(void* r, const void* a, const void* b) {
  auto* rp = static_cast<uint8_t*>(r);
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  for (int i = 0; i < Words64; ++i) store_le64(rp + 8 * i, load_le64(ap + 8 * i) ^ load_le64(bp + 8 * i));
  return r;
}

// Stores w words from registers: a vector copy of the staged words would
// stall on the scalar stores that made them.
template <int W>
inline void store_words(void* r, uint64_t (&t)[W]) {
  auto* rp = static_cast<uint8_t*>(r);
  for (int i = 0; i < W; ++i) {
    uint64_t v = t[i];
    __asm__("" : "+r"(v));
    store_le64(rp + 8 * i, v);
  }
}

// r = a + b, then r - p when the addition carried or r >= p. The words
// are taken 64 bits at a time (the same numbers as the 32-bit view, in half
// the steps); r may alias a, b or p.
template <int Words32>
uint32_t add_mod(void* r, const void* a, const void* b, const void* p) {
  constexpr int W = Words32 / 2;
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  const auto* pp = static_cast<const uint8_t*>(p);
  uint64_t t[W], m[W];
  unsigned __int128 c = 0;
  for (int i = 0; i < W; ++i) {
    m[i] = load_le64(pp + 8 * i);
    c += static_cast<unsigned __int128>(load_le64(ap + 8 * i)) + load_le64(bp + 8 * i);
    t[i] = static_cast<uint64_t>(c);
    c >>= 64;
  }
  bool reduce = c != 0;
  if (!reduce) {
    reduce = true;  // equal to p reduces too
    for (int i = W - 1; i >= 0; --i)
      if (t[i] != m[i]) {
        reduce = t[i] > m[i];
        break;
      }
  }
  if (reduce) {
    uint64_t br = 0;
    for (int i = 0; i < W; ++i) {
      unsigned __int128 d = static_cast<unsigned __int128>(t[i]) - m[i] - br;
      t[i] = static_cast<uint64_t>(d);
      br = static_cast<uint64_t>(d >> 64) & 1;
    }
  }
  store_words<W>(r, t);
  return 0;
}

template <int Words32>
uint32_t sub_mod(void* r, const void* a, const void* b, const void* p) {
  constexpr int W = Words32 / 2;
  const auto* ap = static_cast<const uint8_t*>(a);
  const auto* bp = static_cast<const uint8_t*>(b);
  const auto* pp = static_cast<const uint8_t*>(p);
  uint64_t t[W], m[W];
  uint64_t br = 0;
  for (int i = 0; i < W; ++i) {
    m[i] = load_le64(pp + 8 * i);
    unsigned __int128 d = static_cast<unsigned __int128>(load_le64(ap + 8 * i)) - load_le64(bp + 8 * i) - br;
    t[i] = static_cast<uint64_t>(d);
    br = static_cast<uint64_t>(d >> 64) & 1;
  }
  if (br) {
    unsigned __int128 c = 0;
    for (int i = 0; i < W; ++i) {
      c += static_cast<unsigned __int128>(t[i]) + m[i];
      t[i] = static_cast<uint64_t>(c);
      c >>= 64;
    }
  }
  store_words<W>(r, t);
  return 0;
}

}  // namespace

namespace vrt::frame {
bool dispatch_set_up() { return g_dispatch_set_up.load(std::memory_order_acquire); }
}  // namespace vrt::frame

extern "C" {

VRT_API uint32_t add256(void* r, const void* a, const void* b, int carry_in) {
  return add_words<8>(r, a, b, carry_in ? 1 : 0);
}
VRT_API uint32_t add512(void* r, const void* a, const void* b, int carry_in) {
  return add_words<16>(r, a, b, carry_in ? 1 : 0);
}
VRT_API uint32_t sub256(void* r, const void* a, const void* b, int borrow_in) {
  return sub_words<8>(r, a, b, borrow_in ? 1 : 0);
}
VRT_API uint32_t sub512(void* r, const void* a, const void* b, int borrow_in) {
  return sub_words<16>(r, a, b, borrow_in ? 1 : 0);
}
VRT_API uint32_t cmp256(const void* a, const void* b) { return cmp_words<4>(a, b); }
VRT_API uint32_t cmp512(const void* a, const void* b) {
  // High halves first; equal high halves defer to the low halves.
  uint32_t hi = cmp256(static_cast<const uint8_t*>(a) + 32, static_cast<const uint8_t*>(b) + 32);
  return hi != 2 ? hi : cmp256(a, b);
}
VRT_API uint32_t shl256_1(void* r, const void* a, int bit_in) { return shl256(r, a, bit_in != 0); }
VRT_API uint32_t shl512_1(void* r, const void* a, int bit_in) {
  uint32_t mid = shl256(r, a, bit_in != 0);
  return shl256(static_cast<uint8_t*>(r) + 32, static_cast<const uint8_t*>(a) + 32, mid);
}
VRT_API uint32_t shr256_1(void* r, const void* a, int bit_in) { return shr256(r, a, bit_in != 0); }
VRT_API uint32_t shr512_1(void* r, const void* a, int bit_in) {
  uint32_t mid = shr256(static_cast<uint8_t*>(r) + 32, static_cast<const uint8_t*>(a) + 32, bit_in != 0);
  return shr256(r, a, mid);
}
VRT_API void* xor256(void* r, const void* a, const void* b) { return xor_words<4>(r, a, b); }
VRT_API void* xor512(void* r, const void* a, const void* b) { return xor_words<8>(r, a, b); }
VRT_API uint32_t add256_mod(void* r, const void* a, const void* b, const void* p) {
  return add_mod<8>(r, a, b, p);
}
VRT_API uint32_t add512_mod(void* r, const void* a, const void* b, const void* p) {
  return add_mod<16>(r, a, b, p);
}
VRT_API uint32_t sub256_mod(void* r, const void* a, const void* b, const void* p) {
  return sub_mod<8>(r, a, b, p);
}
VRT_API uint32_t sub512_mod(void* r, const void* a, const void* b, const void* p) {
  return sub_mod<16>(r, a, b, p);
}

VRT_API uint32_t vrtpArchInit(vrtp_instance_t* instance) {
  vrtp_arch_table_t& t = instance->arch;
  t.cmp256 = cmp256;
  t.cmp512 = cmp512;
  t.add256 = add256;
  t.add512 = add512;
  t.sub256 = sub256;
  t.sub512 = sub512;
  t.shl256_1 = shl256_1;
  t.shl512_1 = shl512_1;
  t.shr256_1 = shr256_1;
  t.shr512_1 = shr512_1;
  t.xor256 = xor256;
  t.xor512 = xor512;
  t.add256_mod = add256_mod;
  t.add512_mod = add512_mod;
  t.sub256_mod = sub256_mod;
  t.sub512_mod = sub512_mod;
  uint32_t st = vrtpArchInitCustom(instance);
  if (st == VRT_SUCCESS) {
    instance->arch_state |= 1u;
    g_dispatch_set_up.store(true, std::memory_order_release);
  }
  return st;
}

VRT_API void vrtpArchCleanup(vrtp_instance_t* instance) {
  if (instance->arch_state & 1u) {
    vrtpArchCleanupCustom();
    instance->arch_state &= ~1u;
  }
}

}  // extern "C"
