#include "common/test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

namespace vrt::test {

std::string Hex(const void* data, size_t len) {
  static const char kDigits[] = "0123456789abcdef";
  const auto* p = static_cast<const uint8_t*>(data);
  std::string s;
  s.reserve(2 * len);
  for (size_t i = 0; i < len; ++i) {
    s.push_back(kDigits[p[i] >> 4]);
    s.push_back(kDigits[p[i] & 15]);
  }
  return s;
}

Bytes FromHex(const std::string& hex) {
  Bytes out;
  int hi = -1;
  for (char c : hex) {
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    int v = (c >= '0' && c <= '9')   ? c - '0'
            : (c >= 'a' && c <= 'f') ? c - 'a' + 10
            : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                                     : -1;
    if (v < 0) {
      ADD_FAILURE() << "bad hex digit '" << c << "' in " << hex;
      return {};
    }
    if (hi < 0) {
      hi = v;
    } else {
      out.push_back(static_cast<uint8_t>(hi << 4 | v));
      hi = -1;
    }
  }
  if (hi >= 0) ADD_FAILURE() << "odd number of hex digits in " << hex;
  return out;
}

Bytes Reversed(Bytes b) {
  std::reverse(b.begin(), b.end());
  return b;
}

uint64_t TestSeed() {
  static const uint64_t seed = [] {
    const char* env = std::getenv("VRT_TEST_SEED");
    return env != nullptr ? std::strtoull(env, nullptr, 0) : uint64_t{0x5eed0f1157a11ce5};
  }();
  return seed;
}

std::mt19937_64& Rng() {
  static std::mt19937_64 rng(TestSeed());
  return rng;
}

Bytes RandomBytes(size_t n) {
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(Rng()());
  return b;
}

size_t RandomSize(size_t lo, size_t hi) {
  return std::uniform_int_distribution<size_t>(lo, hi)(Rng());
}

std::vector<size_t> AwkwardLengths(size_t block) {
  std::vector<size_t> v = {0, 1, block - 1, block, block + 1, 2 * block - 1, 2 * block,
                           3 * block + 5, 1000, 4096, 4097, 8191};
  std::sort(v.begin(), v.end());
  v.erase(std::unique(v.begin(), v.end()), v.end());
  return v;
}

}  // namespace vrt::test
