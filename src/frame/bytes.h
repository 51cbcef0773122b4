// Byte-order and unaligned-access helpers shared by every subsystem.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vrt {

inline uint64_t load_le64(const void* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;  // x86-64 is little-endian
}

inline void store_le64(void* p, uint64_t v) { std::memcpy(p, &v, 8); }

inline uint32_t load_le32(const void* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}

inline void store_le32(void* p, uint32_t v) { std::memcpy(p, &v, 4); }

inline uint64_t load_be64(const void* p) { return __builtin_bswap64(load_le64(p)); }
inline void store_be64(void* p, uint64_t v) { store_le64(p, __builtin_bswap64(v)); }
inline uint32_t load_be32(const void* p) { return __builtin_bswap32(load_le32(p)); }
inline void store_be32(void* p, uint32_t v) { store_le32(p, __builtin_bswap32(v)); }

// Parses a hexadecimal digit at compile time; used to enter published
// constants exactly as the standards print them.
constexpr uint8_t hex_nibble(char c) {
  return static_cast<uint8_t>(c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                     : throw "bad hex digit");
}

// A byte array parsed at compile time from hex. Printed numbers (most
// significant byte first) become little-endian with reversed = true.
template <size_t N>
struct HexBytes {
  uint8_t b[N];
};

template <size_t N>
constexpr HexBytes<N> hex_bytes(const char (&hex)[2 * N + 1], bool reversed = false) {
  HexBytes<N> r{};
  for (size_t i = 0; i < N; ++i) {
    uint8_t v = static_cast<uint8_t>((hex_nibble(hex[2 * i]) << 4) | hex_nibble(hex[2 * i + 1]));
    r.b[reversed ? N - 1 - i : i] = v;
  }
  return r;
}

}  // namespace vrt
