// Base64 of whole buffers, ours (bytes to wide text and back) beside
// OpenSSL's EVP_EncodeBlock / EVP_DecodeBlock (bytes to narrow text).
#include <stdexcept>
#include <string>
#include <vector>

#include "bench_util.h"
#include "vrt.h"

#if defined(VRT_HAVE_OPENSSL)
#include <openssl/evp.h>
#endif

namespace {

const std::vector<int64_t> kTextSizes = {64, 1024, 16384, 1 << 20};

// Bytes processed are counted on the binary side, the same for both ways.
void SetBytes(benchmark::State& state, size_t n) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

void OursEncode(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& data = vrt::bench::Buffer(n);
  for (auto _ : state) {
    std::wstring text = Encode(data.data(), n);
    benchmark::DoNotOptimize(text.data());
  }
  SetBytes(state, n);
}

void OursDecode(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const std::wstring text = Encode(vrt::bench::Buffer(n).data(), n);
  for (auto _ : state) {
    std::vector<unsigned char> data = Decode(text);
    if (data.size() != n) state.SkipWithError("Decode lost bytes");
    benchmark::DoNotOptimize(data.data());
  }
  SetBytes(state, n);
}

#if defined(VRT_HAVE_OPENSSL)
void OpenSslEncode(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& data = vrt::bench::Buffer(n);
  for (auto _ : state) {
    // A fresh output per call, as the wide string is for ours.
    std::vector<unsigned char> text((n + 2) / 3 * 4 + 1);
    EVP_EncodeBlock(text.data(), data.data(), static_cast<int>(n));
    benchmark::DoNotOptimize(text.data());
  }
  SetBytes(state, n);
}

void OpenSslDecode(benchmark::State& state) {
  const size_t n = static_cast<size_t>(state.range(0));
  const auto& data = vrt::bench::Buffer(n);
  std::vector<unsigned char> text((n + 2) / 3 * 4 + 1);
  const int len = EVP_EncodeBlock(text.data(), data.data(), static_cast<int>(n));
  for (auto _ : state) {
    std::vector<unsigned char> out(static_cast<size_t>(len) / 4 * 3);
    if (EVP_DecodeBlock(out.data(), text.data(), len) < 0) state.SkipWithError("EVP_DecodeBlock failed");
    benchmark::DoNotOptimize(out.data());
  }
  SetBytes(state, n);
}
#endif

void Register() {
  auto reg = [](const char* name, void (*fn)(benchmark::State&)) {
    benchmark::RegisterBenchmark(name, fn)->ArgsProduct({kTextSizes});
  };
  reg("base64-encode/vrt", OursEncode);
  reg("base64-decode/vrt", OursDecode);
#if defined(VRT_HAVE_OPENSSL)
  reg("base64-encode/openssl", OpenSslEncode);
  reg("base64-decode/openssl", OpenSslDecode);
#endif
}

const int kRegistered = (Register(), 0);

}  // namespace

VRT_BENCH_MAIN()
