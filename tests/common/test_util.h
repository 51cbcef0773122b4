// Small helpers shared by every test suite.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace vrt::test {

using Bytes = std::vector<uint8_t>;

// Lower-case hex of a byte range; tests compare these strings so that a
// mismatch prints both values.
std::string Hex(const void* data, size_t len);
inline std::string Hex(const Bytes& b) { return Hex(b.data(), b.size()); }

// Parses hex (whitespace ignored); aborts the test on a bad digit.
Bytes FromHex(const std::string& hex);

Bytes Reversed(Bytes b);

// The suite's random source: fixed seed (VRT_TEST_SEED overrides it), so a
// failing run can be repeated.
std::mt19937_64& Rng();
uint64_t TestSeed();
Bytes RandomBytes(size_t n);
// Uniform in [lo, hi].
size_t RandomSize(size_t lo, size_t hi);

// The lengths every differential test walks for a block of n bytes: 0, 1,
// n-1, n, n+1, a few multiples and several KiB.
std::vector<size_t> AwkwardLengths(size_t block);

}  // namespace vrt::test
