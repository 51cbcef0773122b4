// Benchmark helpers: peer comparison and the main every bench program uses.
//
// Benchmarks are registered as "<algorithm>/<implementation>/<size>", where
// the implementation "vrt" is this library and every other one a peer. After
// the run a table gives, per algorithm and size, our throughput, each peer's,
// and our speed over the fastest peer's.
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "vrt.h"

namespace vrt::bench {

// The sizes every throughput benchmark walks unless it says otherwise.
inline const std::vector<int64_t> kSizes = {16, 64, 256, 1024, 1350, 8192, 16384, 1 << 20};

// A buffer aligned to 64 bytes, filled with a fixed pattern.
std::vector<uint8_t>& Buffer(size_t n);

// A 32-byte key held as callers hold it: additively masked with a random
// mask, so every call under test pays for the unmasking.
class MaskedKey {
 public:
  explicit MaskedKey(const uint8_t key[32]);
  ~MaskedKey();
  MaskedKey(const MaskedKey&) = delete;
  MaskedKey& operator=(const MaskedKey&) = delete;
  genkey_t* get() { return &g_; }

 private:
  genkey_t g_;
};

// Initialises the library, runs the registered benchmarks with the peer
// table reporter, cleans up. Returns the process exit code.
int Main(int argc, char** argv);

}  // namespace vrt::bench

#define VRT_BENCH_MAIN() \
  int main(int argc, char** argv) { return vrt::bench::Main(argc, argv); }
